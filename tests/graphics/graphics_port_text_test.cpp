// The port's text read back from an enhanced metafile: the exact strings and
// reference points drawn. The same tests run again with KV_FORCE_ANSI=1 (the
// A line of the system calls), which must record the same.
#include <gtest/gtest.h>

#include <string>

#include "core/SmartRef.h"
#include "core/string.h"
#include "graphics/GraphicsPort.h"
#include "testsupport/DrawingTestPanes.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

StringRef Text(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }
StringRef Utf8(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

class GraphicsPortText : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    pane_ = new MetafileTestPane(400, 200);
    port_ = new GraphicsPort(pane_);
  }
  void TearDown() override {
    delete port_;
    pane_->Unlock();
    HostTest::TearDown();
  }

  int32_t Width(const StringRef& text) { return port_->StringWidth(text.get()); }

  MetafileTestPane* pane_ = nullptr;
  GraphicsPort* port_ = nullptr;
};

TEST_F(GraphicsPortText, TruncationDrawsTheKeptTextThenTheSuffix) {
  StringRef suffix = Text("...");
  int32_t kept = Width(Text("Hel"));
  port_->DrawStringTruncated(Text("Hello world").get(), 5, 20, kept + Width(suffix), suffix.get());
  std::vector<RecordedText> records = pane_->TakeText();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, L"Hel");
  EXPECT_EQ(records[0].x, 5);
  EXPECT_EQ(records[0].y, 20);
  EXPECT_EQ(records[1].text, L"...");
  EXPECT_EQ(records[1].x, 5 + kept);
  EXPECT_EQ(records[1].y, 20);

  port_->DrawStringTruncated(Text("Hello").get(), 5, 20, 1000, suffix.get());
  records = pane_->TakeText();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].text, L"Hello");
}

TEST_F(GraphicsPortText, TruncationNeverSplitsACharacter) {
  std::string accents;
  for (int i = 0; i < 25; ++i) accents += "\xC3\xA9";
  StringRef suffix = Text("...");
  port_->DrawStringTruncated(Utf8(accents).get(), 0, 20, Width(Utf8("\xC3\xA9\xC3\xA9")),
                             suffix.get());
  std::vector<RecordedText> records = pane_->TakeText();
  ASSERT_FALSE(records.empty());
  for (const RecordedText& record : records) {
    if (record.text == L"...") continue;
    EXPECT_EQ(record.text.find_first_not_of(L'\u00E9'), std::wstring::npos);
  }

  std::u16string units = u"abcdefghijklmnopqrstuvwxyz0123";
  StringRef wide = StringRef::Adopt(NewString(units.data(), units.size() * 2, kEncodingUTF16));
  port_->DrawStringTruncated(wide.get(), 0, 20, Width(Text("abcd")), Text("").get());
  records = pane_->TakeText();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::wstring(L"abcdefghijklmnopqrstuvwxyz0123").rfind(records[0].text, 0), 0u);
}

// Whether a UTF-16 text holds a surrogate without its partner.
bool HasLoneSurrogate(const std::wstring& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
    const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
    if (low) return true;
    if (high && !(i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)) {
      return true;
    }
    if (high) ++i;
  }
  return false;
}

TEST_F(GraphicsPortText, TruncatedUTF16KeepsSurrogatePairsWhole) {
  const std::u16string units = u"ab\U0001F600\U0001F600\U0001F600";
  StringRef wide = StringRef::Adopt(NewString(units.data(), units.size() * 2, kEncodingUTF16));
  StringRef none = Text("");
  for (int32_t width = 0; width <= Width(wide); ++width) {
    port_->DrawStringTruncated(wide.get(), 0, 20, width, none.get());
    for (const RecordedText& record : pane_->TakeText()) {
      EXPECT_FALSE(HasLoneSurrogate(record.text)) << width;
    }
  }
}

TEST_F(GraphicsPortText, DroppingTheLastCharacterTakesWholeCharacters) {
  StringRef utf8 = StringRef::Adopt(StringDropLastCharacter(Utf8("a\xC3\xA9").get()));
  EXPECT_EQ(StringLength(utf8.get()), 1u);
  std::u16string units = u"ab";
  StringRef wide = StringRef::Adopt(NewString(units.data(), 4, kEncodingUTF16));
  StringRef shorter = StringRef::Adopt(StringDropLastCharacter(wide.get()));
  EXPECT_EQ(StringLength(shorter.get()), 2u);
  StringRef empty = StringRef::Adopt(StringDropLastCharacter(Text("").get()));
  EXPECT_EQ(StringLength(empty.get()), 0u);
}

TEST_F(GraphicsPortText, StringsSitOnTheirBaselineLessTheOrigin) {
  port_->SetOrigin(2, 3);
  MacRect clip{0, 0, 50, 60};
  port_->DrawStringAt(Text("abc").get(), 10, 20);
  port_->DrawStringAt(Text("clipped").get(), 10, 40, &clip);
  std::vector<RecordedText> records = pane_->TakeText();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, L"abc");
  EXPECT_EQ(records[0].x, 8);
  EXPECT_EQ(records[0].y, 17);
  EXPECT_EQ(records[1].options & ETO_CLIPPED, uint32_t(ETO_CLIPPED));
}

TEST_F(GraphicsPortText, TextBoxesAlignAndMeasureByLines) {
  MacRect box{10, 20, 100, 300};
  StringRef text = Text("Left text");
  port_->DrawTextBox(text.get(), box, 0);
  port_->DrawTextBox(text.get(), box, 3);
  port_->DrawTextBox(text.get(), box, 2);
  std::vector<RecordedText> records = pane_->TakeText();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].text, L"Left text");
  EXPECT_EQ(records[1].text, records[0].text);
  EXPECT_EQ(records[1].x, records[0].x);
  EXPECT_EQ(records[1].y, records[0].y);
  EXPECT_GT(records[2].x, records[0].x);

  EXPECT_EQ(port_->TextBoxHeight(Text("one\ntwo").get(), 500), 2 * port_->TextHeight());
}

}  // namespace
