// Variant: type codes, conversions across them, and what a Variant owns.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/Date.h"
#include "core/SmartRef.h"
#include "core/Variant.h"
#include "core/string.h"
#include "testsupport/ClassBuilder.h"

namespace {

ObjectRef Own(RuntimeObject* object) { return ObjectRef::Adopt(object); }

std::string TextOf(RuntimeObject* variant) {
  StringRef text = StringRef::Adopt(variantToString(variant));
  return StringBytes(text.get());
}

ObjectRef VariantOfText(const char* text) {
  StringRef string = StringRef::Adopt(StringFromASCII(text));
  return Own(stringToVariant(string.get()));
}

TEST(Variant, TypeCodes) {
  ObjectRef date = Own(NewDateFromFields(2024, 1, 2, 3, 4, 5));
  ObjectRef other = Own(stringToVariant(nullptr));
  EXPECT_EQ(VarType(nullptr), 0);
  EXPECT_EQ(VarType(Own(intToVariant(1)).get()), 2);
  EXPECT_EQ(VarType(Own(doubleToVariant(1)).get()), 5);
  EXPECT_EQ(VarType(Own(DateToVariant(date.get())).get()), 7);
  EXPECT_EQ(VarType(Own(objectToVariant(date.get())).get()), 7);
  EXPECT_EQ(VarType(other.get()), 8);  // nil text is the empty string
  EXPECT_EQ(RuntimeLookupClass("Variant"), ObjectClassOf(other.get()));
  EXPECT_EQ(VarType(Own(booleanToVariant(false)).get()), 11);
  EXPECT_EQ(VarType(Own(colorToVariant(0)).get()), 16);
  EXPECT_EQ(objectToVariant(nullptr), nullptr);
  EXPECT_EQ(DateToVariant(nullptr), nullptr);

  // A Variant boxed again is the same Variant; other objects are Objects.
  ObjectRef same = Own(objectToVariant(other.get()));
  EXPECT_EQ(same.get(), other.get());
  ObjectRef boxed = Own(objectToVariant(Own(intToVariant(3)).get()));
  EXPECT_EQ(variantToInt(boxed.get()), 3);
}

TEST(Variant, TextConvertsToNumbersAndBooleans) {
  ObjectRef number = VariantOfText("3.5");
  EXPECT_EQ(variantToDouble(number.get()), 3.5);
  EXPECT_EQ(variantToInt(number.get()), 3);
  EXPECT_TRUE(variantToBoolean(number.get()));
  EXPECT_EQ(variantToInt(VariantOfText("-7.9").get()), -7);
  EXPECT_EQ(variantToInt(VariantOfText("abc").get()), 0);
  EXPECT_EQ(variantToInt(VariantOfText("1e12").get()), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(variantToColor(VariantOfText("&hFF8000").get()), 0xFF8000u);

  EXPECT_TRUE(variantToBoolean(VariantOfText("TRUE").get()));
  EXPECT_FALSE(variantToBoolean(VariantOfText("false").get()));
  EXPECT_FALSE(variantToBoolean(VariantOfText("0").get()));
  EXPECT_FALSE(variantToBoolean(VariantOfText("").get()));

  // Text read back from a window is UTF-16: the words are read all the same.
  StringRef wide = StringRef::Adopt(StringFromUTF16(
      reinterpret_cast<const uint16_t*>(u"True"), 4));
  EXPECT_TRUE(variantToBoolean(Own(stringToVariant(wide.get())).get()));
  uint8_t truth = 0;
  kBooleanType.fromText(wide.get(), &truth);
  EXPECT_EQ(truth, 1);
}

TEST(Variant, NumbersConvertAcrossTypes) {
  ObjectRef fraction = Own(doubleToVariant(-2.75));
  EXPECT_EQ(variantToInt(fraction.get()), -2);  // toward zero
  EXPECT_EQ(TextOf(fraction.get()), "-2.75");
  EXPECT_EQ(TextOf(Own(doubleToVariant(0.1)).get()), "0.1");
  EXPECT_EQ(variantToInt(Own(doubleToVariant(std::nan(""))).get()), 0);
  EXPECT_EQ(variantToInt(Own(doubleToVariant(-1e300)).get()), std::numeric_limits<int32_t>::min());

  ObjectRef integer = Own(intToVariant(-42));
  EXPECT_EQ(TextOf(integer.get()), "-42");
  EXPECT_EQ(variantToDouble(integer.get()), -42.0);
  EXPECT_EQ(variantToColor(integer.get()), uint32_t(-42));
  EXPECT_TRUE(variantToBoolean(integer.get()));
  EXPECT_FALSE(variantToBoolean(Own(intToVariant(0)).get()));

  ObjectRef truth = Own(booleanToVariant(true));
  EXPECT_EQ(TextOf(truth.get()), "True");
  EXPECT_EQ(variantToInt(truth.get()), 1);
  EXPECT_EQ(TextOf(Own(booleanToVariant(false)).get()), "False");
  EXPECT_EQ(variantToDouble(Own(booleanToVariant(false)).get()), 0.0);

  ObjectRef white = Own(colorToVariant(0xFFFFFFFF));
  EXPECT_EQ(variantToInt(white.get()), -1);  // the colour's 32 bits
  EXPECT_EQ(variantToDouble(white.get()), 4294967295.0);
  EXPECT_EQ(TextOf(Own(colorToVariant(0xFF0000)).get()), "&h00FF0000");
  EXPECT_EQ(variantToColor(Own(doubleToVariant(1e20)).get()), 0xFFFFFFFFu);
}

TEST(Variant, DatesConvertBySecondsAndSQLText) {
  ObjectRef date = Own(NewDateFromFields(2024, 2, 29, 13, 5, 0));
  ObjectRef variant = Own(DateToVariant(date.get()));
  EXPECT_EQ(date->refCount, 2);
  EXPECT_EQ(variantToDouble(variant.get()), dateTotalSecondsGetter(date.get(), 0));
  EXPECT_EQ(TextOf(variant.get()), "2024-2-29 13:5:0");

  ObjectRef held = Own(VariantToDate(variant.get()));
  EXPECT_EQ(held.get(), date.get());
  EXPECT_EQ(date->refCount, 3);

  ObjectRef fromSeconds = Own(VariantToDate(Own(doubleToVariant(86400.5)).get()));
  ASSERT_TRUE(fromSeconds);
  EXPECT_EQ(dateTotalSecondsGetter(fromSeconds.get(), 0), 86400.5);

  ObjectRef fromText = Own(VariantToDate(VariantOfText("2024-2-29 13:5:0").get()));
  ASSERT_TRUE(fromText);
  EXPECT_EQ(dateTotalSecondsGetter(fromText.get(), 0), dateTotalSecondsGetter(date.get(), 0));

  EXPECT_EQ(VariantToDate(VariantOfText("not a date").get()), nullptr);
  EXPECT_EQ(VariantToDate(Own(booleanToVariant(true)).get()), nullptr);
  EXPECT_EQ(VariantToDate(nullptr), nullptr);
}

TEST(Variant, HeldObjectsAndStringsAreOwned) {
  ClassBuilder plain(nullptr, "PlainObject");
  ObjectRef object = Own(plain.NewInstance());
  ObjectRef variant = Own(objectToVariant(object.get()));
  EXPECT_EQ(VarType(variant.get()), 9);
  EXPECT_EQ(object->refCount, 2);
  EXPECT_EQ(TextOf(variant.get()), "");
  EXPECT_EQ(variantToInt(variant.get()), 0);
  EXPECT_TRUE(variantToBoolean(variant.get()));

  ObjectRef taken = Own(variantToObject(variant.get()));
  EXPECT_EQ(taken.get(), object.get());
  EXPECT_EQ(object->refCount, 3);
  variant = ObjectRef();
  EXPECT_EQ(object->refCount, 2);

  StringRef text = StringRef::Adopt(StringFromASCII("owned"));
  ObjectRef textVariant = Own(stringToVariant(text.get()));
  EXPECT_EQ(text->refCount, 2);
  StringRef back = StringRef::Adopt(variantToString(textVariant.get()));
  EXPECT_EQ(back.get(), text.get());
  EXPECT_EQ(variantToObject(textVariant.get()), nullptr);
  back = StringRef();
  textVariant = ObjectRef();
  EXPECT_EQ(text->refCount, 1);
}

TEST(Variant, NilReadsAsZeroOfEveryType) {
  EXPECT_EQ(variantToInt(nullptr), 0);
  EXPECT_EQ(variantToDouble(nullptr), 0.0);
  EXPECT_EQ(variantToString(nullptr), nullptr);
  EXPECT_FALSE(variantToBoolean(nullptr));
  EXPECT_EQ(variantToColor(nullptr), 0u);
  EXPECT_EQ(variantToObject(nullptr), nullptr);
}

}  // namespace
