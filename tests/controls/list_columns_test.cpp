// The column model without a window: layout, regeneration, pixel widths and
// hostile expression text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "controls/listbox/ListColumnModel.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

using Widths = std::vector<int32_t>;
using Texts = std::vector<std::string>;

StringRef Text(const std::string& bytes) {
  return StringRef::Adopt(NewString(bytes, kEncodingASCII));
}

// The pending exception's message ("" when none), taken.
std::string TakenMessage() {
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  if (!exception) return "";
  return StringBytes(StringRef::Adopt(exceptionMessageGetter(exception.get(), 0)).get());
}

struct Columns {
  ListColumnModel model{0};

  Columns(const Texts& widths, int32_t contentWidth, int32_t left = 0) {
    model.SetCount(int32_t(widths.size()));
    for (size_t i = 0; i < widths.size(); ++i) {
      EXPECT_TRUE(model.SetExpression(kWidthExpression, int32_t(i), Text(widths[i]).get(), 0));
    }
    model.Layout(contentWidth);
    model.ComputePositions(left, 0);
  }
  Widths Pixels() const {
    Widths widths;
    for (int32_t i = 0; i < model.Count(); ++i) widths.push_back(model.Record(i).width);
    return widths;
  }
  std::string Expression(int32_t column, int32_t contentWidth) {
    return StringBytes(model.Expression(kWidthExpression, column, contentWidth).get());
  }
};

using ColumnLayoutTest = HostTest;

TEST_F(ColumnLayoutTest, ExpressionsShareTheContentWidthWithEdgesInThirtyTwoBits) {
  const struct {
    Texts widths;
    int32_t contentWidth;
    Widths expected;
  } cases[] = {
      {{"100", "*", "2*"}, 400, {100, 100, 200}},
      {{"*", "*", "*"}, 100, {33, 33, 34}},
      {{"50%", "50%"}, 101, {50, 50}},
      {{"500", "*", "*"}, 400, {500, 0, 0}},  // no star share below 0
      {{"", "1*", "0*", "12.5"}, 100, {44, 44, 0, 12}},
  };
  for (const auto& c : cases) {
    Columns columns(c.widths, c.contentWidth);
    EXPECT_EQ(columns.Pixels(), c.expected) << c.widths[0] << " in " << c.contentWidth;
    for (int32_t i = 1; i < kListColumnLimit; ++i) {
      EXPECT_LE(columns.model.Record(i - 1).right, columns.model.Record(i).right);
    }
  }
  Columns wide(Texts(64, "600"), 400, 2);
  EXPECT_EQ(wide.model.Record(63).right, 38402);
}

TEST_F(ColumnLayoutTest, RefusedTextsStoreNothingAndDraggedWidthsReadBack) {
  Columns columns({"*", "100"}, 300);
  EXPECT_FALSE(columns.model.SetExpression(kWidthExpression, 0, Text("abc").get(), 300));
  EXPECT_EQ(TakenMessage(), "Unrecognized expression 'abc'");
  EXPECT_FALSE(columns.model.SetExpression(kMinWidthExpression, 0, Text("2*").get(), 300));
  EXPECT_EQ(TakenMessage(), "MinWidthExpression doesn't support the Asterisk ('*') format.");
  EXPECT_EQ(columns.Expression(0, 300), "*");
  // The star total survived the refusal: the drag takes from the neighbour.
  EXPECT_TRUE(columns.model.SetWidthActual(0, 150));
  EXPECT_EQ(columns.Pixels(), (Widths{150, 150}));
  EXPECT_EQ(columns.Expression(0, 300), "1*");
  EXPECT_EQ(columns.Expression(1, 300), "150");

  Columns zeroStar({"100", "0*"}, 300);
  EXPECT_FALSE(zeroStar.model.SetWidthActual(1, 50));
  EXPECT_EQ(zeroStar.Pixels(), (Widths{100, 0}));

  Columns stars({"*", "*"}, 250);
  stars.model.SetWidthActual(0, 100);
  EXPECT_EQ(stars.Expression(0, 250) + " " + stars.Expression(1, 250), "1* 1.5*");

  // A percentage reads back against the width it is read in, never at 0.
  Columns percent({"30%"}, 200);
  percent.model.SetWidthActual(0, 50);
  EXPECT_EQ(percent.Expression(0, 0), "30%");
  EXPECT_EQ(percent.Expression(0, 200), "25%");
  EXPECT_EQ(TakenMessage(), "");
}

TEST_F(ColumnLayoutTest, HostileTextEndsStoredAndValidOrRefused) {
  std::mt19937 random(45);
  auto number = [&](int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random);
  };
  const Texts spelled = {"1e999%",
                         "-1e999*",
                         "1e999*",
                         "1e-320*",
                         "nan*",
                         "NaN%",
                         "inf",
                         "-inf%",
                         "((((1))))*",
                         "&hFFFFFFFF",
                         "99999999999999999999",
                         "\xC3\xA9*",
                         std::string("12\0%", 4),
                         "",
                         "*",
                         " ",
                         "-",
                         "1e308%",
                         std::string(100000, '(') + "1*"};
  ListColumnModel model(300);
  model.SetCount(64);
  for (int32_t round = 0; round < 10000; ++round) {
    std::string bytes;
    if (round % 5 == 0) {
      bytes = spelled[size_t(round / 5) % spelled.size()];
    } else {
      bytes.resize(size_t(number(0, 24)));
      for (char& byte : bytes) byte = char(number(0, 255));
    }
    if (round == 7) bytes.assign(1 << 20, '9');
    const int32_t width = number(-50, 40000);
    const auto which = ColumnExpression(round % 3);
    const int32_t column = number(0, 63);
    const bool stored = model.SetExpression(which, column, Text(bytes).get(), width);
    EXPECT_EQ(TakenMessage().empty(), stored) << round;
    const WidthExpressionKind kind =
        ClassifyWidthExpression(model.Expression(which, column, width).get());
    ASSERT_TRUE(kind != kWidthInvalid && (which == kWidthExpression || kind != kWidthStar));
    if (round % 100 != 99) continue;
    model.SetCount(number(1, 64));
    model.Layout(width);
    model.SetWidthActual(number(0, 63), number(INT32_MIN, INT32_MAX));
    model.ComputePositions(number(-100, 100), number(-100000, 100000));
    for (int32_t i = 0; i < kListColumnLimit; ++i) {
      const ListColumnRecord& record = model.Record(i);
      ASSERT_TRUE(record.width >= 0 && record.width <= kColumnExtentLimit) << record.width;
      ASSERT_TRUE(record.minWidth >= 0 && record.maxWidth >= -1);
      ASSERT_LE(record.maxWidth, kColumnExtentLimit);
      ASSERT_LE(record.left, record.right);
      if (i > 0) {
        ASSERT_EQ(model.Record(i - 1).right, record.left);
      }
    }
  }
}

}  // namespace
