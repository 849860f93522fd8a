// Dates: calendar arithmetic, the Date class, SQL text and Win32 file times.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/Date.h"
#include "core/DateImpWin32.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"

bool operator==(const DateFields& a, const DateFields& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}
std::ostream& operator<<(std::ostream& out, const DateFields& f) {
  return out << f.year << '-' << f.month << '-' << f.day << ' ' << f.hour << ':' << f.minute
             << ':' << f.second;
}

namespace {

double Seconds(int32_t year, int32_t month, int32_t day, int32_t hour = 0, int32_t minute = 0,
               int32_t second = 0) {
  return DateSecondsFromFields({year, month, day, hour, minute, second});
}

double SecondsOf(RuntimeObject* date) { return dateTotalSecondsGetter(date, 0); }

ObjectRef FromSQL(const char* text) {
  StringRef string = StringRef::Adopt(StringFromASCII(text));
  return ObjectRef::Adopt(DateFromSQLString(string.get()));
}

std::string SQLText(RuntimeObject* date) {
  StringRef text = StringRef::Adopt(DateToSQLString(date));
  return StringBytes(text.get());
}

// ---- Calendar -------------------------------------------------------------------

TEST(DateCalendar, EpochAndKnownInstants) {
  EXPECT_EQ(Seconds(1904, 1, 1), 0.0);
  EXPECT_EQ(Seconds(2001, 1, 1), 3061152000.0);
  EXPECT_EQ(Seconds(1970, 1, 1), 2082844800.0);
  EXPECT_EQ(DateFieldsFromSeconds(-0.5), (DateFields{1903, 12, 31, 23, 59, 59}));
  EXPECT_EQ(DateFieldsFromSeconds(3061152000.75), (DateFields{2001, 1, 1, 0, 0, 0}));
}

// Walks a thousand years day by day with the textbook leap rule and checks
// both directions against it.
TEST(DateCalendar, AgreesWithTheLeapYearRuleDayByDay) {
  auto isLeap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int year = 1600, month = 1, day = 1;
  double seconds = Seconds(1600, 1, 1, 6, 30, 15);
  while (year < 2600) {
    const DateFields expected{year, month, day, 6, 30, 15};
    ASSERT_EQ(DateFieldsFromSeconds(seconds), expected);
    ASSERT_EQ(DateSecondsFromFields(expected), seconds) << expected;
    seconds += 86400;
    const int length = month == 2 && isLeap(year) ? 29 : monthDays[month - 1];
    if (++day > length) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
}

TEST(DateCalendar, OutOfRangeFieldsCarryOver) {
  EXPECT_EQ(Seconds(2023, 13, 1), Seconds(2024, 1, 1));
  EXPECT_EQ(Seconds(2024, 0, 1), Seconds(2023, 12, 1));
  EXPECT_EQ(Seconds(2024, -11, 1), Seconds(2023, 1, 1));
  EXPECT_EQ(Seconds(2024, 3, 0), Seconds(2024, 2, 29));
  EXPECT_EQ(Seconds(1900, 2, 29), Seconds(1900, 3, 1));
  EXPECT_EQ(Seconds(2024, 1, 1, 0, 0, 60), Seconds(2024, 1, 1, 0, 1, 0));
  EXPECT_EQ(Seconds(2024, 1, 1, -1, 0, 0), Seconds(2023, 12, 31, 23, 0, 0));
  EXPECT_EQ(Seconds(2024, 1, 1, 0, 0, 86400 * 366), Seconds(2025, 1, 1));
}

TEST(DateCalendar, ExtremeSecondsGiveValidFields) {
  for (double seconds : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300}) {
    const DateFields fields = DateFieldsFromSeconds(seconds);
    EXPECT_TRUE(fields.month >= 1 && fields.month <= 12 && fields.day >= 1 && fields.day <= 31)
        << seconds;
  }
  EXPECT_EQ(DateFieldsFromSeconds(std::nan("")), (DateFields{1904, 1, 1, 0, 0, 0}));
}

// ---- The Date class ---------------------------------------------------------------

TEST(DateClass, NewDateHoldsTheCurrentTime) {
  ObjectRef date = ObjectRef::Adopt(CreateInstance(GetDateClassDefinition()));
  ASSERT_TRUE(date);
  EXPECT_NEAR(SecondsOf(date.get()), DateNowSeconds(), 2.0);
  EXPECT_EQ(RuntimeLookupClass("date"), ObjectClassOf(date.get()));
}

TEST(DateClass, FieldPropertiesCarryOverAndKeepTheFraction) {
  ObjectRef date = ObjectRef::Adopt(NewDateFromFields(2024, 2, 29, 12, 0, 0));
  PropertyAccess year{}, month{}, total{};
  ASSERT_TRUE(FindPropertyAccess(date.get(), "Year", &year));
  ASSERT_TRUE(FindPropertyAccess(date.get(), "month", &month));
  ASSERT_TRUE(FindPropertyAccess(date.get(), "TotalSeconds", &total));
  auto getField = reinterpret_cast<int32_t (*)(RuntimeObject*, uint32_t)>(year.getter);
  auto setField = reinterpret_cast<void (*)(RuntimeObject*, uint32_t, int32_t)>(year.setter);
  auto setTotal = reinterpret_cast<void (*)(RuntimeObject*, uint32_t, double)>(total.setter);

  setTotal(date.get(), total.parameter, SecondsOf(date.get()) + 0.25);
  EXPECT_EQ(getField(date.get(), year.parameter), 2024);
  setField(date.get(), year.parameter, 2023);  // no 29th of February in 2023
  EXPECT_EQ(SecondsOf(date.get()), Seconds(2023, 3, 1, 12, 0, 0) + 0.25);
  setField(date.get(), month.parameter, 13);
  EXPECT_EQ(SecondsOf(date.get()), Seconds(2024, 1, 1, 12, 0, 0) + 0.25);
  EXPECT_EQ(dateFieldGetter(date.get(), kDateHour), 12);
  EXPECT_EQ(dateFieldGetter(date.get(), kDateDay), 1);
}

TEST(DateClass, NilDateRaisesNilObjectException) {
  EXPECT_EQ(dateTotalSecondsGetter(nullptr, 0), 0.0);
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_TRUE(ObjectIsADefinition(exception.get(), GetNilObjectExceptionClassDefinition()));
}

// ---- SQL text ---------------------------------------------------------------------

TEST(DateSQL, TextIsUnpaddedAndRoundTrips) {
  ObjectRef date = ObjectRef::Adopt(NewDateFromFields(2024, 3, 5, 7, 4, 9));
  EXPECT_EQ(SQLText(date.get()), "2024-3-5 7:4:9");
  EXPECT_EQ(DateToSQLString(nullptr), nullptr);

  for (double seconds : {Seconds(2024, 12, 31, 23, 59, 59), Seconds(1, 1, 1), Seconds(1903, 6, 30),
                         Seconds(9999, 2, 28, 12, 0, 1), Seconds(-44, 3, 15, 10, 0, 0)}) {
    ObjectRef original = ObjectRef::Adopt(NewDateFromSeconds(seconds));
    const std::string text = SQLText(original.get());
    ObjectRef back = FromSQL(text.c_str());
    ASSERT_TRUE(back) << text;
    EXPECT_EQ(SecondsOf(back.get()), seconds) << text;
  }
}

TEST(DateSQL, ReadsPaddedPartialAndFractionalText) {
  EXPECT_EQ(SecondsOf(FromSQL("2024-03-05 07:04:09").get()), Seconds(2024, 3, 5, 7, 4, 9));
  EXPECT_EQ(SecondsOf(FromSQL("  2024-03-05 ").get()), Seconds(2024, 3, 5));
  EXPECT_EQ(SecondsOf(FromSQL("2024-03-05 10:30").get()), Seconds(2024, 3, 5, 10, 30, 0));
  EXPECT_EQ(SecondsOf(FromSQL("2024-03-05 10:30:00.25").get()),
            Seconds(2024, 3, 5, 10, 30, 0) + 0.25);
  EXPECT_EQ(SecondsOf(FromSQL("2024-13-01").get()), Seconds(2025, 1, 1));
}

TEST(DateSQL, RejectsTextThatIsNotADate) {
  EXPECT_EQ(DateFromSQLString(nullptr), nullptr);
  for (const char* text : {"", "2024-03", "2024-xx-05", "2024--05", "2024-3-5 7:x",
                           "2024-3-5 1:2:3:4", "12345678901-1-1", "2024-3-5 10:00:00.",
                           "+2024-3-5", "2024-3-5T10:00:00"}) {
    EXPECT_FALSE(FromSQL(text)) << text;
  }
}

// ---- Win32 file times ----------------------------------------------------------

class DateImpWin32Test : public testing::Test {
 protected:
  void TearDown() override { delete date_; }

  static FILETIME FileTimeOf(const SYSTEMTIME& utc) {
    FILETIME fileTime{};
    EXPECT_TRUE(SystemTimeToFileTime(&utc, &fileTime));
    return fileTime;
  }
  // The local seconds of a UTC time, through the time zone rules in force at
  // that instant.
  static double LocalSecondsOf(const SYSTEMTIME& utc) {
    SYSTEMTIME local{};
    EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    return Seconds(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                   local.wSecond) + local.wMilliseconds / 1000.0;
  }

  DateImpWin32* date_ = NewDateImpWin32();
};

TEST_F(DateImpWin32Test, UnsetReadsAsNow) {
  ASSERT_NE(date_, nullptr);
  EXPECT_NEAR(date_->GetTotalSeconds(), DateNowSeconds(), 2.0);
  date_->SetTotalSeconds(12.5);
  EXPECT_EQ(date_->GetTotalSeconds(), 12.5);
}

TEST_F(DateImpWin32Test, FileTimesRoundTripThroughLocalTime) {
  // Winter and summer, so that a daylight-saving offset shows if there is one.
  for (SYSTEMTIME utc : {SYSTEMTIME{2021, 1, 0, 15, 14, 30, 15, 500},
                         SYSTEMTIME{2021, 7, 0, 15, 14, 30, 15, 0},
                         SYSTEMTIME{1904, 1, 0, 2, 0, 0, 0, 0}}) {
    const FILETIME fileTime = FileTimeOf(utc);
    date_->SetFromFileTime(fileTime);
    EXPECT_EQ(date_->GetTotalSeconds(), LocalSecondsOf(utc)) << utc.wMonth;
    FILETIME back{};
    date_->ToFileTime(&back);
    EXPECT_EQ(back.dwLowDateTime, fileTime.dwLowDateTime) << utc.wMonth;
    EXPECT_EQ(back.dwHighDateTime, fileTime.dwHighDateTime) << utc.wMonth;
  }
}

TEST_F(DateImpWin32Test, TimesBeforeFileTimesBeginGiveZero) {
  date_->SetTotalSeconds(Seconds(1500, 1, 1));
  FILETIME fileTime{1, 1};
  date_->ToFileTime(&fileTime);
  EXPECT_EQ(fileTime.dwLowDateTime, 0u);
  EXPECT_EQ(fileTime.dwHighDateTime, 0u);
}

}  // namespace
