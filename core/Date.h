// The Date class and date arithmetic. A date is a double of seconds since
// 1904-01-01 00:00 local time; fractions of a second are kept.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
struct StringRecord;

struct DateObject {
  RuntimeObject header;
  double totalSeconds;  // set to the current time when the object is made
};
static_assert(!kLayoutIs32Bit || offsetof(DateObject, totalSeconds) == 24, "the seconds follow the header");

struct DateFields {
  int32_t year, month, day, hour, minute, second;
};

// The parameter word of the field properties (Year ... Second).
enum DateField : uint32_t {
  kDateYear,
  kDateMonth,
  kDateDay,
  kDateHour,
  kDateMinute,
  kDateSecond,
};

extern "C" {
// Class "Date": properties TotalSeconds (Double) and Year, Month, Day, Hour,
// Minute, Second (Integer). Setting a field keeps the others and the fraction
// of a second; an out-of-range value carries over (Day 31 in April is May 1).
ObjectDefinition* GetDateClassDefinition();
// The accessors of a nil date raise NilObjectException (reading 0).
double dateTotalSecondsGetter(RuntimeObject* date, uint32_t parameter);
void dateTotalSecondsSetter(RuntimeObject* date, uint32_t parameter, double seconds);
// The field named by the parameter word (a DateField).
int32_t dateFieldGetter(RuntimeObject* date, uint32_t field);
void dateFieldSetter(RuntimeObject* date, uint32_t field, int32_t value);

// A new Date (the caller's) of local fields; out-of-range fields carry over
// (month 13 is January of the next year, second 60 the next minute, day 0 the
// last day of the month before).
RuntimeObject* NewDateFromFields(int32_t year, int32_t month, int32_t day, int32_t hour,
                                 int32_t minute, int32_t second);
// "Y-M-D h:m:s", numbers unpadded, whole seconds; nil gives "" (nil).
StringRecord* DateToSQLString(RuntimeObject* date);
// Fields split at " ", "-" and ":" in the order year, month, day, hour,
// minute, second (missing ones 0), blanks around the text ignored; a leading
// "-" makes the year negative and the seconds may carry a fraction
// ("10:00:00.25"). Nil when there is no year, month and day, when a field is
// not a number or when more than six fields are given. Out-of-range fields
// carry over as in NewDateFromFields.
RuntimeObject* DateFromSQLString(const StringRecord* text);
}

// A new Date (the caller's) of a number of seconds since 1904.
RuntimeObject* NewDateFromSeconds(double seconds);

// Calendar arithmetic (proleptic Gregorian, no time zone involved). Fields
// out of range carry over; seconds read as the whole second they fall in
// (NaN as 0, values beyond a billion years as that limit).
double DateSecondsFromFields(const DateFields& fields);
DateFields DateFieldsFromSeconds(double seconds);
// The current local time in seconds since 1904.
double DateNowSeconds();
