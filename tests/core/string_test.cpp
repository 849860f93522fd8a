// The string record: counting, construction, combining, slicing, searching,
// comparing and case.
#include <gtest/gtest.h>

#include <cstring>

#include "core/SmartRef.h"
#include "core/string.h"

namespace {

StringRef Ascii(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }
std::string Bytes(const StringRef& string) { return StringBytes(string.get()); }

TEST(StringRecordTest, LengthByteCapsAt255AndBufferEndsInNul) {
  std::string text(300, 'x');
  StringRef string;
  StringFromBytes(string.out(), text.data(), int32_t(text.size()));
  EXPECT_EQ(string->length, 300u);
  EXPECT_EQ(string->buffer[0], 255);
  EXPECT_EQ(string->buffer[301], 0);
  EXPECT_EQ(string->encoding, kEncodingASCII);
}

}  // namespace
