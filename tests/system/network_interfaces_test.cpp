// Network interface queries against the platform's own IP helper library.
#include "tests/system/SystemTestSupport.h"

#include <cctype>

#include "core/string.h"
#include "system/NetworkInterfaces.h"

namespace {

TEST(DottedQuadTest, FieldsAddIntoTheirBytesWhateverTheirSize) {
  EXPECT_EQ(ParseDottedQuad("10.0.0.1"), 0x0A000001u);
  EXPECT_EQ(ParseDottedQuad("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseDottedQuad("1.2.3"), 0x01020300u);
  EXPECT_EQ(ParseDottedQuad("1.2.3.256"), 0x01020400u);
  EXPECT_EQ(ParseDottedQuad(" 1. 2.x3.4junk"), 0x01020004u);
  EXPECT_EQ(ParseDottedQuad("1.2.3.4.5"), 0x01020304u);
  EXPECT_EQ(ParseDottedQuad(""), 0u);
  EXPECT_EQ(ParseDottedQuad(nullptr), 0u);
}

bool IsMACText(const std::string& text) {
  if (text.empty()) return true;
  if (text.size() % 3 != 2) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i % 3 == 2 ? c != ':' : !(std::isdigit(uint8_t(c)) || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return true;
}

class NetworkInterfacesTest : public SocketTest {};

TEST_F(NetworkInterfacesTest, EveryListedInterfaceHasWellFormedAnswers) {
  const int32_t last = GetLastInterfaceIndex();
  EXPECT_GE(last, -1);
  EXPECT_EQ(GetNetworkInterfaceCount(), last + 1);
  for (int32_t index = 0; index <= last; ++index) {
    StringRef mac = StringRef::Adopt(GetInterfaceMACAddress(index));
    ASSERT_TRUE(mac) << index;
    EXPECT_TRUE(IsMACText(StringBytes(mac.get()))) << StringBytes(mac.get());
  }
  // Past the last one: the fallbacks.
  EXPECT_EQ(GetInterfaceMACAddress(last + 1), nullptr);
  EXPECT_EQ(GetInterfaceSubnetMask(last + 1), 0u);
  EXPECT_EQ(GetInterfaceIPAddress(last + 1), GetLocalHostAddress());
  EXPECT_EQ(GetInterfaceBroadcastAddress(0), 0xFFFFFFFFu);
}

}  // namespace
