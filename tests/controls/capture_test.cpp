// The window capture the control tests inspect: it holds what the screen
// shows, child controls included, and is written as a BMP file.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "testsupport/UiTestSupport.h"
#include "testsupport/WindowCapture.h"

namespace {

constexpr uint32_t kBlack = 0x000000;

class WindowCaptureTest : public WindowSystemTest {
 protected:
  void SetUp() override {
    WindowSystemTest::SetUp();
    window_ = OpenTestWindow();
    box_ = PlaceControl(window_.get(), "Box", Rect(10, 10, 100, 20), [](const PaneSite& site) {
      return new RecordingControlPane("Box", site, "BUTTON", BS_CHECKBOX);
    });
    RunPendingTurns();
  }
  void TearDown() override {
    box_ = ObjectRef();
    window_ = ObjectRef();
    TakeLog();
    WindowSystemTest::TearDown();
  }
  HWND Top() const { return GetAncestor(NativeOf(box_.get()), GA_ROOT); }
  // The inside of the 13 x 13 check square at the box's left edge,
  // vertically centred, in the top window's client coordinates.
  RECT GlyphInterior() const {
    POINT origin{0, 0};
    MapWindowPoints(NativeOf(box_.get()), Top(), &origin, 1);
    const int top = origin.y + (20 - 13) / 2;
    return RECT{origin.x + 2, top + 2, origin.x + 11, top + 11};
  }
  static bool Holds(const std::vector<uint32_t>& colours, uint32_t colour) {
    return std::find(colours.begin(), colours.end(), colour) != colours.end();
  }

  ObjectRef window_;
  ObjectRef box_;
};

TEST_F(WindowCaptureTest, HoldsTheClientAreaWithItsChildControls) {
  RECT client;
  GetClientRect(Top(), &client);
  SendMessageW(NativeOf(box_.get()), BM_SETCHECK, BST_CHECKED, 0);
  WindowCapture checked = WindowCapture::OfClient(Top());
  EXPECT_EQ(checked.Width(), client.right);
  EXPECT_EQ(checked.Height(), client.bottom);
  EXPECT_TRUE(Holds(checked.ColoursIn(GlyphInterior()), kBlack));
  EXPECT_EQ(checked.Pixel(-1, 0), 0xFF000000u);
  EXPECT_EQ(checked.Pixel(0, checked.Height()), 0xFF000000u);

  SendMessageW(NativeOf(box_.get()), BM_SETCHECK, BST_UNCHECKED, 0);
  WindowCapture unchecked = WindowCapture::OfClient(Top());
  EXPECT_FALSE(Holds(unchecked.ColoursIn(GlyphInterior()), kBlack));
}

TEST_F(WindowCaptureTest, IsWrittenAsABmpOfTheClientsSizeBottomRowFirst) {
  SendMessageW(NativeOf(box_.get()), BM_SETCHECK, BST_CHECKED, 0);
  WindowCapture capture = WindowCapture::OfClient(Top());
  ASSERT_TRUE(capture.WriteBmp("window_capture_test.bmp"));

  std::ifstream in("window_capture_test.bmp", std::ios::binary);
  std::vector<char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const size_t headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  ASSERT_EQ(file.size(), headers + size_t(capture.Width()) * size_t(capture.Height()) * 4);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  BITMAPINFOHEADER info;
  std::memcpy(&info, file.data() + sizeof(BITMAPFILEHEADER), sizeof info);
  EXPECT_EQ(info.biWidth, capture.Width());
  EXPECT_EQ(info.biHeight, capture.Height());
  EXPECT_EQ(info.biBitCount, 32);

  // The file's last row is the capture's top row.
  const RECT glyph = GlyphInterior();
  for (int y = glyph.top; y < glyph.bottom; ++y) {
    for (int x = glyph.left; x < glyph.right; ++x) {
      uint32_t stored;
      const size_t row = size_t(capture.Height() - 1 - y);
      std::memcpy(&stored, file.data() + headers + (row * size_t(capture.Width()) + size_t(x)) * 4,
                  4);
      ASSERT_EQ(stored & 0xFFFFFF, capture.Pixel(x, y)) << x << "," << y;
    }
  }
}

TEST_F(WindowCaptureTest, AWindowWithoutAClientAreaGivesAnEmptyCapture) {
  WindowCapture none = WindowCapture::OfClient(nullptr);
  EXPECT_EQ(none.Width(), 0);
  EXPECT_EQ(none.Height(), 0);
  EXPECT_TRUE(none.ColoursIn(RECT{0, 0, 10, 10}).empty());
}

}  // namespace
