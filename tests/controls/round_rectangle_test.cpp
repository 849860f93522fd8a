// The RoundRectangle control on screen: its fill rounded by OvalWidth x
// OvalHeight as GDI rounds the same box, its border in BorderColor over the
// fill, each property change redrawn, and presses ignored while disabled.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/LineControl.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"
#include "testsupport/WindowCapture.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;
constexpr int32_t kLeft = 20, kTop = 30, kWidth = 140, kHeight = 90;
constexpr int32_t kMargin = 2;  // edges may differ by this much

// Which pixels of the box GDI's RoundRect fills, top row first.
std::vector<bool> GdiRounded(int32_t ovalWidth, int32_t ovalHeight) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ oldBrush = SelectObject(dc, red);
  RoundRect(dc, 0, 0, kWidth + 1, kHeight + 1, ovalWidth, ovalHeight);
  GdiFlush();
  std::vector<bool> filled;
  const auto* pixels = static_cast<const uint32_t*>(bits);
  for (int32_t i = 0; i < kWidth * kHeight; ++i) filled.push_back((pixels[i] & 0xFFFFFF) == kRed);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBitmap);
  DeleteObject(red);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return filled;
}

WindowCapture Captured(const ControlTestWindow& window) {
  RedrawWindow(window.Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  return WindowCapture::OfClient(window.Handle());
}

// The control's pixels that disagree with GDI's fill away from its edges.
int32_t MismatchesWithGdi(const WindowCapture& capture, int32_t ovalWidth, int32_t ovalHeight) {
  const std::vector<bool> gdi = GdiRounded(ovalWidth, ovalHeight);
  auto filled = [&](int32_t x, int32_t y) { return bool(gdi[size_t(y * kWidth + x)]); };
  int32_t mismatches = 0;
  for (int32_t y = kMargin; y < kHeight - kMargin; ++y) {
    for (int32_t x = kMargin; x < kWidth - kMargin; ++x) {
      bool uniform = true;
      for (int32_t dy = -kMargin; dy <= kMargin; ++dy) {
        for (int32_t dx = -kMargin; dx <= kMargin; ++dx) {
          uniform = uniform && filled(x + dx, y + dy) == filled(x, y);
        }
      }
      const bool red = capture.Pixel(kLeft + x, kTop + y) == kRed;
      mismatches += uniform && red != filled(x, y);
    }
  }
  return mismatches;
}

class RoundRectangleTest : public WindowSystemTest {
 protected:
  static std::vector<ControlDescription> Controls() {
    ControlDescription round =
        Described(GetRoundRectangleClassDefinition(), "Round1", Rect(kLeft, kTop, kWidth, kHeight));
    round.prepare = [](RuntimeObject* control) {
      SetProperty<uint32_t>(control, "FillColor", kRed);
      SetProperty<uint32_t>(control, "BorderColor", kBlue);
      SetProperty<int32_t>(control, "BorderWidth", 0);
    };
    return {round};
  }
};

TEST_F(RoundRectangleTest, TheFillIsRoundedAsGdiRoundsTheSameBox) {
  ControlTestWindow window(Controls());
  RuntimeObject* round = window.Control("Round1");
  for (auto [ovalWidth, ovalHeight] : {std::pair{60, 20}, {20, 60}, {0, 0}, {140, 90}}) {
    SetProperty<int32_t>(round, "OvalWidth", ovalWidth);
    SetProperty<int32_t>(round, "OvalHeight", ovalHeight);
    EXPECT_EQ(GetProperty<int32_t>(round, "OvalWidth"), ovalWidth);
    const WindowCapture capture = Captured(window);
    EXPECT_EQ(capture.Pixel(kLeft + kWidth / 2, kTop + kHeight / 2), kRed);
    EXPECT_EQ(MismatchesWithGdi(capture, ovalWidth, ovalHeight), 0)
        << ovalWidth << " x " << ovalHeight;
  }
}

TEST_F(RoundRectangleTest, TheBorderLiesOverTheFillInItsColourAndWidth) {
  ControlTestWindow window(Controls());
  RuntimeObject* round = window.Control("Round1");
  SetProperty<int32_t>(round, "OvalWidth", 40);
  SetProperty<int32_t>(round, "OvalHeight", 40);
  const int32_t middle = kLeft + kWidth / 2;
  for (int32_t width : {3, -3}) {
    SetProperty<int32_t>(round, "BorderWidth", width);
    const WindowCapture capture = Captured(window);
    EXPECT_EQ(capture.Pixel(middle, kTop + 1), kBlue) << width;
    EXPECT_EQ(capture.Pixel(middle, kTop + 5), kRed) << width;
    EXPECT_EQ(capture.Pixel(kLeft + 1, kTop + kHeight / 2), kBlue) << width;
  }
  SetProperty<uint32_t>(round, "BorderColor", kGreen);
  SetProperty<uint32_t>(round, "FillColor", kBlue);
  const WindowCapture recoloured = Captured(window);
  EXPECT_EQ(recoloured.Pixel(middle, kTop + 1), kGreen);
  EXPECT_EQ(recoloured.Pixel(middle, kTop + kHeight / 2), kBlue);

  SetProperty<uint8_t>(round, "Enabled", 0);
  EXPECT_FALSE(window.Pane("Round1")->MouseDown(middle, kTop + 20, 0));
}

}  // namespace
