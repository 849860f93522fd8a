// The texts made from engine values without a string: doubles at two
// decimals against the fixed formatter, at ties, edges and every exponent.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "database/api/DBValue.h"

namespace {

std::string MadeText(double number) {
  const DBValueView view{kDBDouble, reinterpret_cast<const uint8_t*>(&number), sizeof number};
  char text[kDBMadeTextRoom];
  const int32_t length = DBMadeValueText(view, text);
  return length < 0 ? "<full>" : std::string(text, size_t(length));
}

// The model: the fixed two-decimal text, leading zeros and zero decimals
// dropped; numbers that show nothing that way read in full.
std::string ModelText(double number) {
  if (!std::isfinite(number)) return "<full>";
  char digits[400];
  const char* end =
      std::to_chars(digits, digits + sizeof digits, std::fabs(number), std::chars_format::fixed, 2).ptr;
  std::string whole(digits, size_t(end - 3 - digits));
  whole.erase(0, whole.find_first_not_of('0') == std::string::npos ? whole.size()
                                                                   : whole.find_first_not_of('0'));
  std::string decimals(end - 2, 2);
  if (decimals[1] == '0') decimals.resize(decimals[0] == '0' ? 0 : 1);
  if (whole.empty() && decimals.empty()) return "<full>";
  return (number < 0 ? "-" : "") + whole + (decimals.empty() ? "" : "." + decimals);
}

TEST(DbApiValueText, DoublesAtTwoDecimalsMatchTheFixedFormatter) {
  const double edges[] = {0.5, 0.125, 0.375, 0.625, 2.675, 0.005, 0.015, 0.004999999999999999,
                          -0.005, 1e-300, 4.9e-324, -0.0, 0.0, 99.995, 99.994999,
                          4503599627370495.5, 4503599627370496.0, 9007199254740993.0,
                          45035996273704.955, 1e15 + 0.125, 1.7976931348623157e308,
                          std::numeric_limits<double>::infinity(), std::nan("")};
  for (const double number : edges) {
    EXPECT_EQ(MadeText(number), ModelText(number)) << number;
    EXPECT_EQ(MadeText(-number), ModelText(-number)) << -number;
  }
  // Exact ties at the third decimal round to the even hundredth.
  EXPECT_EQ(MadeText(0.125), ".12");
  EXPECT_EQ(MadeText(0.375), ".38");
  EXPECT_EQ(MadeText(-1.625), "-1.62");
  std::mt19937_64 random(5);
  for (int i = 0; i < 200000; ++i) {
    // Random bits over every exponent, and whole numbers of hundredths and
    // eighths of small size, where ties and carries lie.
    uint64_t bits = random();
    double number;
    std::memcpy(&number, &bits, sizeof number);
    if (i % 3 == 1) number = std::ldexp(double(int64_t(random() % 2000000) - 1000000), -int(random() % 12));
    if (i % 3 == 2) number = double(int64_t(random() % 100000000) - 50000000) / 100;
    ASSERT_EQ(MadeText(number), ModelText(number)) << number;
  }
}

}  // namespace
