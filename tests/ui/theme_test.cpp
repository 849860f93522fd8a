// Themed drawing: the classic glyphs read back from a 32-bit DIB section,
// and the theme layer's calls recorded through a fake table.
#include "ui/Theme.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testsupport/RuntimeTestEnvironment.h"
#include "ui/WinUtil.h"

namespace {

constexpr int kSize = 40;
constexpr uint32_t kUntouched = 0x00123456;  // a DIB pixel no system colour gives
const RECT kBox{10, 12, 26, 28};

// A memory DC over a 32-bit top-down DIB section filled with kUntouched.
class Canvas {
 public:
  Canvas() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = -kSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ =
        CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    std::fill(bits_, bits_ + kSize * kSize, kUntouched);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  uint32_t At(int x, int y) {
    GdiFlush();
    return bits_[y * kSize + x] & 0xFFFFFF;
  }
  bool Is(int x, int y, int colorIndex) { return At(x, y) == Dib(GetSysColor(colorIndex)); }
  static uint32_t Dib(COLORREF color) {
    return (uint32_t(GetRValue(color)) << 16) | (uint32_t(GetGValue(color)) << 8) |
           GetBValue(color);
  }
  // Whether every pixel outside the rectangle is untouched.
  bool OutsideUntouched(const RECT& rect) {
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
        if (!inside && At(x, y) != kUntouched) return false;
      }
    }
    return true;
  }
  // The bounds of the pixels of the colour inside the rectangle.
  RECT BoundsOf(int colorIndex, const RECT& rect) {
    RECT found{kSize, kSize, -1, -1};
    for (int y = rect.top; y < rect.bottom; ++y) {
      for (int x = rect.left; x < rect.right; ++x) {
        if (!Is(x, y, colorIndex)) continue;
        found = RECT{std::min<LONG>(found.left, x), std::min<LONG>(found.top, y),
                     std::max<LONG>(found.right, x + 1), std::max<LONG>(found.bottom, y + 1)};
      }
    }
    return found;
  }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  uint32_t* bits_ = nullptr;
};

using DrawingTest = HostTest;

TEST_F(DrawingTest, CheckBoxIsAFramedWindowFillWithATickWhenChecked) {
  Canvas canvas;
  DrawCheckBoxGlyph(canvas.dc(), kBox.left, kBox.top, kBox.right, kBox.bottom, false);
  for (int i = 0; i < 16; ++i) {
    EXPECT_TRUE(canvas.Is(kBox.left + i, kBox.top, COLOR_WINDOWTEXT)) << i;
    EXPECT_TRUE(canvas.Is(kBox.left + i, kBox.bottom - 1, COLOR_WINDOWTEXT)) << i;
    EXPECT_TRUE(canvas.Is(kBox.left, kBox.top + i, COLOR_WINDOWTEXT)) << i;
    EXPECT_TRUE(canvas.Is(kBox.right - 1, kBox.top + i, COLOR_WINDOWTEXT)) << i;
  }
  const RECT inside{kBox.left + 1, kBox.top + 1, kBox.right - 1, kBox.bottom - 1};
  for (int y = inside.top; y < inside.bottom; ++y) {
    for (int x = inside.left; x < inside.right; ++x) ASSERT_TRUE(canvas.Is(x, y, COLOR_WINDOW));
  }

  DrawCheckBoxGlyph(canvas.dc(), kBox.left, kBox.top, kBox.right, kBox.bottom, true);
  const RECT inset{kBox.left + 2, kBox.top + 2, kBox.right - 2, kBox.bottom - 2};
  const RECT tick = canvas.BoundsOf(COLOR_WINDOWTEXT, inside);
  EXPECT_GE(tick.left, inset.left);
  EXPECT_GE(tick.top, inset.top);
  EXPECT_LE(tick.right, inset.right);
  EXPECT_LE(tick.bottom, inset.bottom);
  EXPECT_GT(tick.right - tick.left, 4);
  EXPECT_TRUE(canvas.OutsideUntouched(kBox));
}

TEST_F(DrawingTest, DisclosureTrianglePointsRightCollapsedAndDownExpanded) {
  Canvas collapsed, expanded;
  DrawDisclosureTriangle(collapsed.dc(), kBox.left, kBox.top, kBox.right, kBox.bottom, false);
  DrawDisclosureTriangle(expanded.dc(), kBox.left, kBox.top, kBox.right, kBox.bottom, true);
  const RECT right = collapsed.BoundsOf(COLOR_WINDOWTEXT, kBox);
  const RECT down = expanded.BoundsOf(COLOR_WINDOWTEXT, kBox);
  EXPECT_GT(right.bottom - right.top, right.right - right.left);
  EXPECT_GT(down.right - down.left, down.bottom - down.top);
  EXPECT_TRUE(collapsed.OutsideUntouched(kBox));
  EXPECT_TRUE(expanded.OutsideUntouched(kBox));
}

TEST_F(DrawingTest, EditFrameAndNavigationButtonsStayInsideTheirRectangle) {
  Canvas frame;
  DrawEditFrame(frame.dc(), kBox.left, kBox.top, kBox.right, kBox.bottom, true);
  EXPECT_TRUE(frame.OutsideUntouched(kBox));
  EXPECT_NE(frame.At(kBox.left, kBox.top), kUntouched);
  EXPECT_EQ(frame.At((kBox.left + kBox.right) / 2, (kBox.top + kBox.bottom) / 2), kUntouched);

  for (int32_t glyph : {0, 1, 4, 5, 9}) {
    for (int32_t state : {0, 1, 2, 3}) {
      Canvas button;
      DrawNavigationButton(button.dc(), kBox.left, kBox.top, kBox.right, kBox.bottom, glyph, state);
      EXPECT_TRUE(button.OutsideUntouched(kBox)) << glyph << " " << state;
      const int ink = state == 3 ? COLOR_GRAYTEXT : COLOR_BTNTEXT;
      const RECT marks =
          button.BoundsOf(ink, RECT{kBox.left + 3, kBox.top + 3, kBox.right - 3, kBox.bottom - 3});
      EXPECT_EQ(marks.right > marks.left, glyph != 9) << glyph << " " << state;
    }
  }
}

// ---- The theme layer ----

std::vector<std::string> themeCalls;
HANDLE openAnswer = reinterpret_cast<HANDLE>(0x7E);

BOOL WINAPI FakeIsAppThemed() { return TRUE; }
HANDLE WINAPI FakeOpen(HWND, LPCWSTR classList) {
  std::string name;
  for (const wchar_t* c = classList; *c; ++c) name += char(*c);
  themeCalls.push_back("open " + name);
  return openAnswer;
}
HRESULT WINAPI FakeDraw(HANDLE, HDC, int part, int state, const RECT* rect, const RECT*) {
  themeCalls.push_back("draw " + std::to_string(part) + " " + std::to_string(state) + " " +
                       std::to_string(rect->left) + "," + std::to_string(rect->top) + "," +
                       std::to_string(rect->right) + "," + std::to_string(rect->bottom));
  return S_OK;
}
HRESULT WINAPI FakeClose(HANDLE) {
  themeCalls.push_back("close");
  return S_OK;
}
const ThemeLayer kFakeLayer{FakeIsAppThemed, FakeOpen, FakeDraw, FakeClose};

class ThemeLayerTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    themeCalls.clear();
    openAnswer = reinterpret_cast<HANDLE>(0x7E);
    UxSetThemeLayerForTesting(&kFakeLayer);
    SetWindowsXPForTest(1);
  }
  void TearDown() override {
    SetWindowsXPForTest(-1);
    UxSetThemeLayerForTesting(nullptr);
    HostTest::TearDown();
  }
  Canvas canvas_;
};

std::vector<std::string> Themed(const char* className, int part, int state) {
  return {std::string("open ") + className,
          "draw " + std::to_string(part) + " " + std::to_string(state) + " 10,12,26,28", "close"};
}

TEST_F(ThemeLayerTest, EachFunctionOpensDrawsAndClosesItsPart) {
  HDC dc = canvas_.dc();
  const auto [l, t, r, b] = kBox;
  DrawCheckBoxGlyph(dc, l, t, r, b, false);
  EXPECT_EQ(std::exchange(themeCalls, {}), Themed("Button", 3, 1));
  DrawCheckBoxGlyph(dc, l, t, r, b, true);
  EXPECT_EQ(std::exchange(themeCalls, {}), Themed("Button", 3, 5));
  DrawDisclosureTriangle(dc, l, t, r, b, false);
  EXPECT_EQ(std::exchange(themeCalls, {}), Themed("TreeView", 2, 1));
  DrawDisclosureTriangle(dc, l, t, r, b, true);
  EXPECT_EQ(std::exchange(themeCalls, {}), Themed("TreeView", 2, 2));
  DrawEditFrame(dc, l, t, r, b, true);
  EXPECT_EQ(std::exchange(themeCalls, {}), Themed("Edit", 1, 1));
  DrawEditFrame(dc, l, t, r, b, false);
  EXPECT_EQ(std::exchange(themeCalls, {}), Themed("Edit", 1, 4));
  DrawNavigationButton(dc, l, t, r, b, 5, 2);
  EXPECT_EQ(std::exchange(themeCalls, {}), Themed("Button", 1, 3));
  // The run-time draws the glyph over the themed face.
  EXPECT_TRUE(canvas_.BoundsOf(COLOR_BTNTEXT, kBox).right > 0);
  EXPECT_TRUE(canvas_.OutsideUntouched(kBox));
}

TEST_F(ThemeLayerTest, WithoutAThemeTheClassicPixelsAppear) {
  openAnswer = nullptr;
  DrawCheckBoxGlyph(canvas_.dc(), kBox.left, kBox.top, kBox.right, kBox.bottom, false);
  EXPECT_EQ(themeCalls, std::vector<std::string>{"open Button"});
  EXPECT_TRUE(canvas_.Is(kBox.left, kBox.top, COLOR_WINDOWTEXT));
  EXPECT_TRUE(canvas_.Is(kBox.left + 5, kBox.top + 5, COLOR_WINDOW));
}

TEST_F(ThemeLayerTest, OffVersionFiveOneNoThemeEntryIsCalled) {
  SetWindowsXPForTest(0);
  const auto [l, t, r, b] = kBox;
  DrawCheckBoxGlyph(canvas_.dc(), l, t, r, b, true);
  DrawDisclosureTriangle(canvas_.dc(), l, t, r, b, true);
  DrawEditFrame(canvas_.dc(), l, t, r, b, true);
  DrawNavigationButton(canvas_.dc(), l, t, r, b, 0, 0);
  EXPECT_TRUE(themeCalls.empty());
  EXPECT_TRUE(UxIsAppThemed());
  UxSetThemeLayerForTesting(nullptr);
  EXPECT_EQ(UxOpenThemeData(nullptr, L"Button"), nullptr) << "no theme library off version 5.1";
}

}  // namespace
