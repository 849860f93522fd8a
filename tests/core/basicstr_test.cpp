// Numbers as text: reading integers and numbers, printing and formatting.
#include "core/basicstr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/SmartRef.h"
#include "core/string.h"

namespace {

double Val(const std::string& text, uint32_t encoding = kEncodingASCII) {
  return StringVal(StringRef::Adopt(NewString(text, encoding)).get());
}

std::string Text(double value, int32_t digits, int32_t style = kNumberGeneral) {
  return StringBytes(StringRef::Adopt(NumberToString(value, digits, style)).get());
}

std::string Format(double value, const std::string& format) {
  StringRef result;
  FormatNumber(result.out(), value, StringRef::Adopt(StringFromUTF8(format)).get());
  return StringBytes(result.get());
}

TEST(NumberTextTest, CStringToInt) {
  EXPECT_EQ(CStringToInt("  -42abc"), -42);
  EXPECT_EQ(CStringToInt("\t+7"), 7);
  EXPECT_EQ(CStringToInt("x1"), 0);
  EXPECT_EQ(CStringToInt(nullptr), 0);
  EXPECT_EQ(CStringToInt("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(CStringToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(CStringToInt("-99999999999"), INT32_MIN);
}

TEST(NumberTextTest, StringValReadsTheLeadingNumber) {
  EXPECT_EQ(Val("25%"), 25);
  EXPECT_EQ(Val("2*"), 2);
  EXPECT_EQ(Val("1.5*"), 1.5);
  EXPECT_EQ(Val("  -1.5e3x"), -1500);
  EXPECT_EQ(Val(".5"), 0.5);
  EXPECT_EQ(Val("7."), 7);
  EXPECT_EQ(Val("1e"), 1);  // an exponent without digits is not read
  EXPECT_EQ(Val("1e+"), 1);
  EXPECT_EQ(Val("&h1F"), 31);
  EXPECT_EQ(Val("&HFF0000"), 16711680);
  EXPECT_EQ(Val("&hFFFFFFFF"), 4294967295.0);
  EXPECT_EQ(Val("&o17"), 15);
  EXPECT_EQ(Val("&b101z"), 5);
  EXPECT_EQ(Val("-&h10"), -16);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val("."), 0);
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(StringVal(nullptr), 0);
  EXPECT_EQ(Val("1e999"), HUGE_VAL);
  EXPECT_EQ(Val("1e-999"), 0);
  EXPECT_EQ(Val("inf"), 0);
  EXPECT_EQ(Val(std::string("4\0"
                            "2\0",
                            4),
                kEncodingUTF16),
            42);
}

TEST(NumberTextTest, GeneralStyleSwitchesFormAtTheLimits) {
  EXPECT_EQ(Text(1e-5, 7), "0.00001");
  EXPECT_EQ(Text(9.99e-6, 7), "9.99e-6");
  EXPECT_EQ(Text(999999, 7), "999999");
  EXPECT_EQ(Text(1e6, 7), "1e+6");
  EXPECT_EQ(Text(-1500000, 7), "-1.5e+6");
  EXPECT_EQ(Text(0, 7), "0");
  EXPECT_EQ(Text(-0.0, 7), "0");
  EXPECT_EQ(Text(50.0 * 100.0 / 150.0, 7), "33.33333");
  EXPECT_EQ(Text(123456.7, 7), "123456.7");
  EXPECT_EQ(Text(1.25e-300, 3), "1.25e-300");
}

TEST(NumberTextTest, DigitsBeyondADoubleGiveTheShortestExactText) {
  EXPECT_EQ(Text(0.1, 20), "0.1");
  EXPECT_EQ(Text(0.1 + 0.2, 20), "0.30000000000000004");
  EXPECT_EQ(Text(0.1 + 0.2, 15), "0.3");
  EXPECT_EQ(Text(1.0 / 3.0, 0), "0.3333333333333333");
}

TEST(NumberTextTest, OtherStylesAndSpecialValues) {
  EXPECT_EQ(Text(1.5e6, 7, kNumberFixed), "1500000");
  EXPECT_EQ(Text(1.5e-7, 7, kNumberFixed), "0.00000015");
  EXPECT_EQ(Text(12.5, 7, kNumberExponent), "1.25e+1");
  EXPECT_EQ(Text(NAN, 7), "NAN");
  EXPECT_EQ(Text(-INFINITY, 7), "-INF");
}

TEST(FormatNumberTest, DatabaseFormat) {
  EXPECT_EQ(Format(3, "-#.0#"), "3.0");
  EXPECT_EQ(Format(3.14159, "-#.0#"), "3.14");
  EXPECT_EQ(Format(-2.5, "-#.0#"), "-2.5");
  EXPECT_EQ(Format(0.5, "-#.0#"), ".5");
  EXPECT_EQ(Format(1234567.891, "-#.0#"), "1234567.89");
}

TEST(FormatNumberTest, Placeholders) {
  EXPECT_EQ(Format(1234567.891, "#,##0.00"), "1,234,567.89");
  EXPECT_EQ(Format(12, "#,##0"), "12");
  EXPECT_EQ(Format(5, "000"), "005");
  EXPECT_EQ(Format(0, "#"), "");
  EXPECT_EQ(Format(0, "0.##"), "0");
  EXPECT_EQ(Format(12345, "#"), "12345");
  EXPECT_EQ(Format(0.999, "0.00"), "1.00");
  EXPECT_EQ(Format(0.256, "0%"), "26%");
  EXPECT_EQ(Format(5551234, "###-####"), "555-1234");
  EXPECT_EQ(Format(3, "\\#0 \"items\""), "#3 items");
}

TEST(FormatNumberTest, ExponentsSignsAndSections) {
  EXPECT_EQ(Format(12345, "0.00e+00"), "1.23e+04");
  EXPECT_EQ(Format(0.000123, "0.0E-0"), "1.2E-4");
  EXPECT_EQ(Format(99999, "0.0e+0"), "1.0e+5");
  EXPECT_EQ(Format(0, "0.0e+0"), "0.0e+0");
  EXPECT_EQ(Format(-5, "#"), "-5");
  EXPECT_EQ(Format(5, "+#"), "+5");
  EXPECT_EQ(Format(-5, "+#"), "-5");
  EXPECT_EQ(Format(-0.001, "#.00"), ".00");
  EXPECT_EQ(Format(-5, "#;(#)"), "(5)");
  EXPECT_EQ(Format(0, "#;(#);\"zero\""), "zero");
  EXPECT_EQ(Format(-5, "#;;\"zero\""), "-5");
  EXPECT_EQ(Format(1.5, ""), "1.5");
  EXPECT_EQ(Format(2, "0 \xE2\x82\xAC"), "2 \xE2\x82\xAC");
}

TEST(FormatNumberTest, AnExponentFormWithMoreDigitsThanADoubleShowsThemAll) {
  // The exact value of a double runs to hundreds of digits.
  EXPECT_EQ(Format(1.5, "0." + std::string(70, '0') + "e+0"),
            "1.5" + std::string(69, '0') + "e+0");
  EXPECT_EQ(Format(0.1, "0." + std::string(60, '0') + "e+00"),
            "1.000000000000000055511151231257827021181583404541015625" + std::string(6, '0') +
                "e-01");
}

}  // namespace
