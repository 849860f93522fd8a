// StyledTextPrinter: block geometry and EOF through a scripted formatter,
// a whole text printed by the real control into a picture, and a printer
// whose field's window has closed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/editfield/EditField.h"
#include "controls/editfield/StyledTextPrinter.h"
#include "core/string.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/DrawingTestPanes.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/StyledTextFakes.h"
#include "testsupport/UiTestSupport.h"

namespace {

class StyledTextPrinterTest : public WindowSystemTest {
 protected:
  // A Graphics over a white picture of that size.
  void MakePicture(int16_t width, int16_t height) {
    picture_ = new DIBTestPane(width, height);
    picture_->Fill(0xFFFFFF);
    graphics_ = ObjectRef::Adopt(&WrapGraphicsPort(new GraphicsPort(picture_))->header);
  }
  void TearDown() override {
    graphics_ = ObjectRef();
    if (picture_) picture_->Unlock();
    WindowSystemTest::TearDown();
  }

  ObjectRef NewPrinter(RuntimeObject* field, int32_t width) {
    return ObjectRef::Adopt(
        CallMethod<RuntimeObject*>(field, "styledTextPrinter", graphics_.get(), width));
  }

  DIBTestPane* picture_ = nullptr;
  ObjectRef graphics_;
};

std::vector<ControlDescription> OneField(const std::string& text) {
  ControlDescription field =
      Described(GetEditFieldClassDefinition(), "Field1", Rect(10, 10, 260, 60));
  field.plain = true;
  field.prepare = [text](RuntimeObject* control) {
    SetProperty<uint8_t>(control, "Styled", 1);
    SetProperty<uint8_t>(control, "MultiLine", 1);
    SetProperty<int32_t>(control, "LimitText", 0);
    SetProperty<StringRecord*>(control, "Text", StringRef::Adopt(StringFromUTF8(text)).get());
  };
  return {field};
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void DrawBlock(RuntimeObject* printer, int32_t x, int32_t y, int32_t height) {
  CallMethod(printer, "DrawBlock", x, y, height);
}

bool AtEnd(RuntimeObject* printer) { return GetProperty<bool>(printer, "EOF"); }

TEST_F(StyledTextPrinterTest, BlocksAreClippedToTheTargetInTwipsAndEofFollowsTheCount) {
  ControlTestWindow window(OneField("some text"));
  MakePicture(200, 300);
  ScriptedFormatter formatter(1000, {400, 800, 1000});
  ObjectRef printer = NewPrinter(window.Control("Field1"), 100);
  ASSERT_TRUE(printer);
  EXPECT_EQ(formatter.resets, 1);

  DrawBlock(printer.get(), -10, 250, 100);
  ASSERT_EQ(formatter.measured.size(), 1u);
  EXPECT_TRUE(SameRect(formatter.measured[0], RECT{0, 5000, 2000, 6000}));
  EXPECT_FALSE(AtEnd(printer.get()));

  // A block left without area draws and moves nothing.
  DrawBlock(printer.get(), 0, 300, 50);
  EXPECT_EQ(formatter.measured.size(), 1u);

  SetProperty<int32_t>(printer.get(), "Width", 50);
  DrawBlock(printer.get(), 0, 0, 72);
  ASSERT_EQ(formatter.measured.size(), 2u);
  EXPECT_TRUE(SameRect(formatter.measured[1], RECT{0, 0, 1000, 1440}));
  EXPECT_EQ(formatter.froms, (std::vector<LONG>{0, 400}));
  EXPECT_FALSE(AtEnd(printer.get()));
  DrawBlock(printer.get(), 0, 0, 72);
  EXPECT_TRUE(AtEnd(printer.get()));
  EXPECT_EQ(formatter.displayed.size(), 3u);
  EXPECT_EQ(picture_->OpenDCs(), 0);
}

TEST_F(StyledTextPrinterTest, ARealTextPrintsInAFewBlocksEachInsideItsRectangle) {
  std::string text;
  for (int paragraph = 0; paragraph < 3; ++paragraph) {
    for (int word = 0; word < 150; ++word) text += "word" + std::to_string(word) + " ";
    text += "\r";
  }
  ControlTestWindow window(OneField(text));
  MakePicture(600, 800);
  ObjectRef printer = NewPrinter(window.Control("Field1"), 400);
  // At resolution 72 a memory DC's 96 dpi makes the block 400 x 200 units
  // 533 x 267 pixels from (0, 133).
  const RECT device{0, 133, 533, 400};
  int blocks = 0;
  while (!AtEnd(printer.get()) && blocks < 25) {
    picture_->Fill(0xFFFFFF);
    uint32_t token = 0;
    HDC held = picture_->AcquireDC(&token);
    const int mapMode = SetMapMode(held, MM_ANISOTROPIC);
    DrawBlock(printer.get(), 0, 100, 200);
    EXPECT_EQ(GetMapMode(held), MM_ANISOTROPIC);
    SetMapMode(held, mapMode);
    picture_->ReleaseDC(token);
    ++blocks;
    int inked = 0;
    for (int y = 0; y < 800; y += 2) {
      for (int x = 0; x < 600; x += 2) {
        if (picture_->Pixel(x, y) == 0xFFFFFF) continue;
        ++inked;
        const POINT point{x, y};
        ASSERT_TRUE(PtInRect(&device, point)) << x << "," << y << " block " << blocks;
      }
    }
    EXPECT_GT(inked, 0) << "block " << blocks;
  }
  EXPECT_TRUE(AtEnd(printer.get()));
  EXPECT_GE(blocks, 2);
  EXPECT_LE(blocks, 20);
  EXPECT_EQ(picture_->OpenDCs(), 0);
}

TEST_F(StyledTextPrinterTest, AfterTheWindowClosesDrawBlockReportsAndEnds) {
  ObjectRef printer;
  {
    ControlTestWindow window(OneField("gone soon"));
    MakePicture(200, 200);
    printer = NewPrinter(window.Control("Field1"), 100);
    EXPECT_EQ(CallMethod<RuntimeObject*>(window.Control("Field1"), "styledTextPrinter",
                                         static_cast<RuntimeObject*>(nullptr), 100),
              nullptr);
    const std::vector<std::string> texts = RuntimeTestEnvironment::TakeRecordedTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("nil Graphics object"), std::string::npos);
  }
  RunPendingTurns();
  DrawBlock(printer.get(), 0, 0, 50);
  EXPECT_TRUE(AtEnd(printer.get()));
  const std::vector<std::string> texts = RuntimeTestEnvironment::TakeRecordedTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("Styled text printer has no edit control"), std::string::npos);
  EXPECT_EQ(picture_->OpenDCs(), 0);
}

}  // namespace
