// The Date class, its calendar arithmetic and its SQL text forms.
#include "core/Date.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "core/platform.h"
#include "core/string.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// About a billion years either side of 1904: every year still fits 32 bits.
constexpr double kSecondsLimit = 36028797018963968.0;  // 2^55

int64_t FloorDivide(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (month
// 1 .. 12; the day may be any number and simply counts on). The calendar is
// taken in 400-year eras that begin on March 1, so that the leap day ends
// each year of the era.
constexpr int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
  int64_t year, month, day;
};

CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = FloorDivide(days, 146097);
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  return {yearOfEra + era * 400 + (month <= 2), month, dayOfYear - (153 * shiftedMonth + 2) / 5 + 1};
}

constexpr int64_t kEpochDays = DaysFromCivil(1904, 1, 1);

void ReportCallerFault(int32_t line, const char* condition) {
  AssertionFailed(131, 4, "Date", line, condition, "");
}

// The Date fields of an object; nil (raised or reported) for nil or for an
// object of another class.
DateObject* DateOf(RuntimeObject* date) {
  return InstanceArgument<DateObject>(date, GetDateClassDefinition(), "Date", __LINE__,
                                      "ObjectIsADefinition(date, GetDateClassDefinition())");
}

int32_t* FieldOf(DateFields& fields, uint32_t field) {
  switch (field) {
    case kDateYear: return &fields.year;
    case kDateMonth: return &fields.month;
    case kDateDay: return &fields.day;
    case kDateHour: return &fields.hour;
    case kDateMinute: return &fields.minute;
    case kDateSecond: return &fields.second;
    default: return nullptr;
  }
}

void InitialiseDate(RuntimeObject* date) {
  ObjectFields<DateObject>(date)->totalSeconds = DateNowSeconds();
}

const PropertyRecord kDateProperties[] = {
    {0, "TotalSeconds", &kDoubleType, reinterpret_cast<void*>(&dateTotalSecondsGetter),
     "dateTotalSecondsGetter", reinterpret_cast<void*>(&dateTotalSecondsSetter),
     "dateTotalSecondsSetter", 0},
#define DATE_FIELD_PROPERTY(name, field)                                                   \
  {kPropertyPassesParameter, name, &kIntegerType, reinterpret_cast<void*>(&dateFieldGetter), \
   "dateFieldGetter", reinterpret_cast<void*>(&dateFieldSetter), "dateFieldSetter", field}
    DATE_FIELD_PROPERTY("Year", kDateYear),
    DATE_FIELD_PROPERTY("Month", kDateMonth),
    DATE_FIELD_PROPERTY("Day", kDateDay),
    DATE_FIELD_PROPERTY("Hour", kDateHour),
    DATE_FIELD_PROPERTY("Minute", kDateMinute),
    DATE_FIELD_PROPERTY("Second", kDateSecond),
#undef DATE_FIELD_PROPERTY
};

ObjectDefinition* MakeDateDefinition() {
  static ObjectDefinition definition;
  ObjectDefinitionSetName(&definition, "Date");
  definition.instanceSize = sizeof(DateObject);
  definition.initialiser = InitialiseDate;
  BuildPropertyDefinitions(&definition, kDateProperties, int32_t(std::size(kDateProperties)));
  return &definition;
}

// ---- SQL text ---------------------------------------------------------------

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits only, at most nine of them (so the value fits 32 bits).
bool ParseWholeNumber(const std::string& text, int32_t* value) {
  if (text.empty() || text.size() > 9) return false;
  int32_t result = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    result = result * 10 + (c - '0');
  }
  *value = result;
  return true;
}

// Whole seconds with an optional fraction ("09", "09.25").
bool ParseSeconds(const std::string& text, double* value) {
  const size_t point = text.find('.');
  int32_t whole = 0;
  if (!ParseWholeNumber(text.substr(0, point), &whole)) return false;
  double fraction = 0;
  if (point != std::string::npos) {
    const std::string digits = text.substr(point + 1);
    if (digits.empty()) return false;
    double scale = 0.1;
    for (char c : digits) {
      if (!IsDigit(c)) return false;
      fraction += (c - '0') * scale;
      scale /= 10;
    }
  }
  *value = whole + fraction;
  return true;
}

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ' ' || c == '-' || c == ':') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

// ---- Calendar arithmetic ------------------------------------------------------

double DateSecondsFromFields(const DateFields& fields) {
  const int64_t monthIndex = int64_t(fields.month) - 1;
  const int64_t yearCarry = FloorDivide(monthIndex, 12);
  const int64_t days = DaysFromCivil(fields.year + yearCarry, monthIndex - yearCarry * 12 + 1,
                                     1) + (int64_t(fields.day) - 1) - kEpochDays;
  return double(days * kSecondsPerDay + int64_t(fields.hour) * 3600 +
                int64_t(fields.minute) * 60 + fields.second);
}

DateFields DateFieldsFromSeconds(double seconds) {
  if (std::isnan(seconds)) seconds = 0;
  seconds = std::fmin(std::fmax(seconds, -kSecondsLimit), kSecondsLimit);
  const int64_t total = int64_t(std::floor(seconds));
  const int64_t days = FloorDivide(total, kSecondsPerDay);
  const int64_t secondOfDay = total - days * kSecondsPerDay;
  const CivilDate date = CivilFromDays(days + kEpochDays);
  return {int32_t(date.year),          int32_t(date.month),
          int32_t(date.day),           int32_t(secondOfDay / 3600),
          int32_t(secondOfDay / 60 % 60), int32_t(secondOfDay % 60)};
}

double DateNowSeconds() {
  const platform::LocalTime now = platform::LocalNow();
  return DateSecondsFromFields({now.year, now.month, now.day, now.hour, now.minute, now.second});
}

RuntimeObject* NewDateFromSeconds(double seconds) {
  RuntimeObject* date = CreateInstance(GetDateClassDefinition());
  if (date) ObjectFields<DateObject>(date)->totalSeconds = seconds;
  return date;
}

extern "C" {

ObjectDefinition* GetDateClassDefinition() {
  static ObjectDefinition* const definition = MakeDateDefinition();
  return definition;
}

double dateTotalSecondsGetter(RuntimeObject* date, uint32_t) {
  DateObject* fields = DateOf(date);
  return fields ? fields->totalSeconds : 0;
}

void dateTotalSecondsSetter(RuntimeObject* date, uint32_t, double seconds) {
  if (DateObject* fields = DateOf(date)) fields->totalSeconds = seconds;
}

int32_t dateFieldGetter(RuntimeObject* date, uint32_t field) {
  DateObject* object = DateOf(date);
  if (!object) return 0;
  DateFields fields = DateFieldsFromSeconds(object->totalSeconds);
  int32_t* value = FieldOf(fields, field);
  if (!value) ReportCallerFault(__LINE__, "field <= kDateSecond");
  return value ? *value : 0;
}

void dateFieldSetter(RuntimeObject* date, uint32_t field, int32_t value) {
  DateObject* object = DateOf(date);
  if (!object) return;
  const double whole = std::floor(object->totalSeconds);
  const double fraction = std::isfinite(whole) ? object->totalSeconds - whole : 0;
  DateFields fields = DateFieldsFromSeconds(whole);
  int32_t* slot = FieldOf(fields, field);
  if (!slot) {
    ReportCallerFault(__LINE__, "field <= kDateSecond");
    return;
  }
  *slot = value;
  object->totalSeconds = DateSecondsFromFields(fields) + fraction;
}

RuntimeObject* NewDateFromFields(int32_t year, int32_t month, int32_t day, int32_t hour,
                                 int32_t minute, int32_t second) {
  return NewDateFromSeconds(DateSecondsFromFields({year, month, day, hour, minute, second}));
}

StringRecord* DateToSQLString(RuntimeObject* date) {
  if (!date) return nullptr;
  const DateFields fields = DateFieldsFromSeconds(dateTotalSecondsGetter(date, 0));
  char text[80];
  std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d", int(fields.year), int(fields.month),
                int(fields.day), int(fields.hour), int(fields.minute), int(fields.second));
  return StringFromASCII(text);
}

RuntimeObject* DateFromSQLString(const StringRecord* text) {
  std::string trimmed = TrimBlanks(StringToStdUTF8(text));
  const bool negativeYear = !trimmed.empty() && trimmed[0] == '-';
  if (negativeYear) trimmed.erase(0, 1);
  const std::vector<std::string> parts = SplitFields(trimmed);
  if (parts.size() < 3 || parts.size() > 6) return nullptr;

  DateFields fields{};
  for (size_t i = 0; i < parts.size() && i < 5; ++i) {
    if (!ParseWholeNumber(parts[i], FieldOf(fields, uint32_t(i)))) return nullptr;
  }
  double seconds = 0;
  if (parts.size() == 6 && !ParseSeconds(parts[5], &seconds)) return nullptr;
  if (negativeYear) fields.year = -fields.year;
  return NewDateFromSeconds(DateSecondsFromFields(fields) + seconds);
}

}  // extern "C"

#ifdef _WINDOWS_
#error "Date is portable: it must not include <windows.h>."
#endif
