// The clipboard's text: read as UTF-8, set as the line's native format, and
// empty when nothing is offered.
#include "ui/Clipboard.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

// The clipboard opened by a window of the test's own (an ownerless clipboard
// refuses new data).
class TestClipboard {
 public:
  TestClipboard()
      : owner_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                               nullptr)) {}
  ~TestClipboard() { DestroyWindow(owner_); }

  void Empty() {
    ASSERT_TRUE(OpenClipboard(owner_));
    EmptyClipboard();
    CloseClipboard();
  }
  void PutWide(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(owner_));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    EXPECT_NE(SetClipboardData(CF_UNICODETEXT, block), nullptr);
    CloseClipboard();
  }
  std::wstring Wide() {
    std::wstring text;
    if (!OpenClipboard(owner_)) return L"<not opened>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      text = static_cast<const wchar_t*>(GlobalLock(data));
      GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
  }

 private:
  HWND owner_;
};

StringRef ReadText() { return StringRef::Adopt(clipboardTextGetter(nullptr, 0)); }

using ClipboardTest = HostTest;

TEST_F(ClipboardTest, UnicodeTextComesBackAsLockedUtf8) {
  TestClipboard clipboard;
  clipboard.PutWide(L"Gr\u00FC\u00DFe \u65E5\u672C");
  StringRef text = ReadText();
  EXPECT_EQ(StringEncoding(text.get()), uint32_t(kEncodingUTF8));
  EXPECT_EQ(StringBytes(text.get()),
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(text->refCount, 1);
  EXPECT_TRUE(clipboardTextAvailableGetter(nullptr, 0));
}

TEST_F(ClipboardTest, SettingTextPutsItAsUnicodeText) {
  TestClipboard clipboard;
  StringRef text = StringRef::Adopt(StringFromUTF8("x\r\ny"));
  clipboardTextSetter(nullptr, 0, text.get());
  EXPECT_EQ(clipboard.Wide(), L"x\r\ny");
  EXPECT_EQ(StringBytes(ReadText().get()), "x\r\ny");
}

TEST_F(ClipboardTest, AnEmptyClipboardGivesAnEmptyString) {
  TestClipboard clipboard;
  clipboard.Empty();
  EXPECT_EQ(StringLength(ReadText().get()), 0u);
  EXPECT_FALSE(clipboardTextAvailableGetter(nullptr, 0));
  clipboardTextSetter(nullptr, 0, nullptr);
  EXPECT_EQ(StringLength(ReadText().get()), 0u);
}

TEST_F(ClipboardTest, TheClassIsRegisteredWithItsTextProperties) {
  ASSERT_NE(RuntimeLookupClass("Clipboard"), nullptr);
  ObjectRef clipboard = ObjectRef::Adopt(CreateInstance(GetClipboardClassDefinition()));
  PropertyAccess access{};
  ASSERT_TRUE(FindPropertyAccess(clipboard.get(), "Text", &access));
  EXPECT_EQ(access.getter, reinterpret_cast<void*>(&clipboardTextGetter));
  EXPECT_TRUE(FindPropertyAccess(clipboard.get(), "TextAvailable", &access));
}

// Also run with the A line forced: the text goes through CF_TEXT in the
// system encoding.
using AnsiLineClipboard = HostTest;

TEST_F(AnsiLineClipboard, TextRoundTripsThroughTheLinesFormat) {
  TestClipboard clipboard;
  StringRef text =
      StringRef::Adopt(StringFromUTF8("Gr\xC3\xBC\xC3\x9F"
                                      "e"));
  clipboardTextSetter(nullptr, 0, text.get());
  EXPECT_EQ(StringBytes(ReadText().get()),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(clipboard.Wide(), L"Gr\u00FC\u00DFe");
}

}  // namespace
