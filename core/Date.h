// The Date class and date arithmetic. A date is a double of seconds since
// 1904-01-01 00:00 local time.
#pragma once
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
struct StringRecord;

struct DateObject {
  RuntimeObject header;
  double totalSeconds;  // set to the current time when the object is made
};

struct DateFields {
  int32_t year, month, day, hour, minute, second;
};

extern "C" {
ObjectDefinition* GetDateClassDefinition();
double dateTotalSecondsGetter(RuntimeObject* date, uint32_t parameter);
void dateTotalSecondsSetter(RuntimeObject* date, uint32_t parameter, double seconds);

// A new Date (the caller's) of local fields; out-of-range fields carry over
// (month 13 is January of the next year, second 60 the next minute).
RuntimeObject* NewDateFromFields(int32_t year, int32_t month, int32_t day, int32_t hour,
                                 int32_t minute, int32_t second);
// "Y-M-D h:m:s", numbers unpadded; nil gives "".
StringRecord* DateToSQLString(RuntimeObject* date);
// Fields split at " ", "-" and ":" in the order year, month, day, hour,
// minute, second (missing ones 0); nil when there is no year, month and day.
RuntimeObject* DateFromSQLString(const StringRecord* text);
}

// Calendar arithmetic (proleptic Gregorian, no time zone involved).
double DateSecondsFromFields(const DateFields& fields);
DateFields DateFieldsFromSeconds(double seconds);
// The current local time in seconds since 1904.
double DateNowSeconds();
