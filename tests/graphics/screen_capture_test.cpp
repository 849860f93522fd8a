// Packed DIBs out of bitmaps and the screen, and painted back into DCs; the
// port in real windows (sub-pane offset and erase colours).
#include <gtest/gtest.h>

#include <vector>

#include "graphics/GlobalMemory.h"
#include "graphics/GraphicsPort.h"
#include "graphics/PackedDIB.h"
#include "graphics/ScreenCapture.h"
#include "host/Win32Handles.h"
#include "testsupport/DrawingTestPanes.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/UiTestSupport.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowPane.h"

namespace {

const uint32_t kRowColours[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080};

// A 4x4 24-bit packed DIB whose picture row r (from the top) is kRowColours[r].
GlobalBlock RowsDIB(bool topDown, bool coreHeader = false) {
  uint32_t header = coreHeader ? 12 : 40;
  GlobalBlock block = GlobalBlock::Allocate(header + 4 * 12);
  GlobalLockScope locked(block.get());
  uint8_t* bytes = locked.data();
  if (coreHeader) {
    BITMAPCOREHEADER core{12, 4, 4, 1, 24};
    memcpy(bytes, &core, sizeof core);
  } else {
    BITMAPINFOHEADER info{};
    info.biSize = 40;
    info.biWidth = 4;
    info.biHeight = topDown ? -4 : 4;
    info.biPlanes = 1;
    info.biBitCount = 24;
    memcpy(bytes, &info, sizeof info);
  }
  for (int row = 0; row < 4; ++row) {
    int stored = topDown ? row : 3 - row;
    for (int x = 0; x < 4; ++x) {
      uint8_t* pixel = bytes + header + stored * 12 + x * 3;
      pixel[0] = uint8_t(kRowColours[row]);
      pixel[1] = uint8_t(kRowColours[row] >> 8);
      pixel[2] = uint8_t(kRowColours[row] >> 16);
    }
  }
  return block;
}

// Paints into a fresh 8x8 pane and gives its pixels row by row.
std::vector<uint32_t> Painted(HGLOBAL dib, const RECT& destination, const RECT& source, int* result) {
  DIBTestPane* pane = new DIBTestPane(8, 8);
  pane->Fill(0xFFFFFF);
  uint32_t token = 0;
  HDC dc = pane->AcquireDC(&token);
  *result = PaintPackedDIB(dc, destination, dib, source, nullptr);
  pane->ReleaseDC(token);
  std::vector<uint32_t> pixels;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) pixels.push_back(pane->Pixel(x, y));
  }
  pane->Unlock();
  return pixels;
}

// The pixel (x, y) from the top of a 24-bit bottom-up packed DIB.
uint32_t DIBPixel(HGLOBAL dib, int x, int y) {
  GlobalLockScope locked(dib);
  PackedDIBView view;
  if (!ReadPackedDIB(locked.data(), locked.size(), &view)) return 0xFF000000;
  const uint8_t* pixel =
      locked.data() + view.pixelOffset + size_t(view.height - 1 - y) * view.stride + size_t(x) * 3;
  return uint32_t(pixel[2]) << 16 | uint32_t(pixel[1]) << 8 | pixel[0];
}

}  // namespace

TEST(PackedDIBUtilities, BitmapsOfEveryDepthBecomeDIBs) {
  EXPECT_EQ(BitmapToPackedDIB(nullptr, nullptr), nullptr);
  struct Case {
    UINT bits;
    uint16_t dibBits;
    uint32_t imageSize;
  } cases[] = {{1, 1, 12}, {4, 4, 12}, {8, 8, 24}, {16, 24, 48}, {24, 24, 48}, {32, 24, 48}};
  for (const Case& c : cases) {
    UniqueBitmap bitmap(CreateBitmap(5, 3, 1, c.bits, nullptr));
    ASSERT_TRUE(bitmap) << c.bits;
    GlobalBlock dib(BitmapToPackedDIB(bitmap.get(), nullptr));
    ASSERT_TRUE(dib) << c.bits;
    GlobalLockScope locked(dib.get());
    auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(locked.data());
    EXPECT_EQ(header->biBitCount, c.dibBits) << c.bits;
    EXPECT_EQ(header->biSizeImage, c.imageSize) << c.bits;
    PackedDIBView view;
    ASSERT_TRUE(ReadPackedDIB(locked.data(), locked.size(), &view)) << c.bits;
    if (c.bits == 8) {
      EXPECT_EQ(view.pixelOffset, 1064u);
    }
  }
}

TEST(PackedDIBUtilities, PaintsSourceRowsFromTheTopInEitherRowOrder) {
  for (bool topDown : {false, true}) {
    GlobalBlock dib = RowsDIB(topDown);
    int result = 0;
    std::vector<uint32_t> whole = Painted(dib.get(), {0, 0, 4, 4}, {0, 0, 4, 4}, &result);
    EXPECT_NE(result, 0);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(whole[y * 8 + 2], kRowColours[y]) << topDown << y;
    EXPECT_EQ(whole[4 * 8], 0xFFFFFFu);

    std::vector<uint32_t> upper = Painted(dib.get(), {0, 0, 4, 2}, {0, 0, 4, 2}, &result);
    EXPECT_EQ(upper[0], kRowColours[0]) << topDown;
    EXPECT_EQ(upper[8], kRowColours[1]) << topDown;
    EXPECT_EQ(upper[16], 0xFFFFFFu) << topDown;

    std::vector<uint32_t> stretched = Painted(dib.get(), {0, 0, 8, 4}, {0, 0, 4, 2}, &result);
    EXPECT_EQ(stretched[1 * 8 + 7], kRowColours[0]) << topDown;
    EXPECT_EQ(stretched[2 * 8 + 0], kRowColours[1]) << topDown;
    EXPECT_EQ(stretched[3 * 8 + 5], kRowColours[1]) << topDown;
  }
  int result = 1;
  Painted(nullptr, {0, 0, 4, 4}, {0, 0, 4, 4}, &result);
  EXPECT_EQ(result, 0);

  GlobalBlock core = RowsDIB(false, true);
  GlobalBlock twin = RowsDIB(false);
  EXPECT_EQ(Painted(core.get(), {0, 0, 4, 4}, {0, 0, 4, 4}, &result),
            Painted(twin.get(), {0, 0, 4, 4}, {0, 0, 4, 4}, &result));
}

TEST(PackedDIBUtilities, SystemPaletteSizeFollowsTheScreenDepth) {
  const uint32_t expected[][2] = {{1, 2}, {4, 16}, {8, 256}, {16, 1}, {24, 1}, {32, 1}};
  for (const auto& pair : expected) EXPECT_EQ(SystemPaletteEntryCount(pair[0]), pair[1]);
  int32_t palettes = GdiLiveCount(GdiKind::kPalette);
  {
    CountedPalette palette = CreateSystemPalette();
    ASSERT_TRUE(palette);
    WORD entries = 0;
    GetObjectW(palette.get(), sizeof entries, &entries);
    EXPECT_EQ(entries, 1);
  }
  EXPECT_EQ(GdiLiveCount(GdiKind::kPalette), palettes);
}

namespace {

// A sub-pane whose Draw fills its first 20 x 20 pixels through its port.
class FillingPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  void Draw(GraphicsPort* port) override {
    port->SetForeColor({0xFFFF, 0, 0xFFFF});
    port->FillRect({Top(), Left(), int16_t(Top() + 20), int16_t(Left() + 20)});
  }
};

class DrawingWindowTest : public WindowSystemTest {};

}  // namespace

TEST_F(DrawingWindowTest, CaptureGivesTheWindowsPixels) {
  ObjectRef window = OpenTestWindow();
  HWND handle = WindowHandle(window.get());
  ASSERT_NE(handle, nullptr);
  for (uint16_t mode : {0, 3}) EXPECT_EQ(CaptureWindowDIB(handle, mode), nullptr);
  EXPECT_EQ(CaptureWindowDIB(nullptr, 2), nullptr);
  EXPECT_EQ(CaptureScreenRectDIB({10, 10, 10, 40}), nullptr);

  RECT client{};
  GetClientRect(handle, &client);
  // The window paints green itself, so a late repaint keeps the colour.
  WindowPaneOf(window.get())->SetBackdrop(true, RGB(0, 200, 0));
  RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RunPendingTurns();
  {
    WindowDC dc(handle);
    CountedBrush green(CreateSolidBrush(RGB(0, 200, 0)));
    FillRect(dc.get(), &client, green.get());
  }
  GlobalBlock inside(CaptureWindowDIB(handle, 2));
  ASSERT_TRUE(inside);
  {
    GlobalLockScope locked(inside.get());
    auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(locked.data());
    EXPECT_EQ(header->biWidth, client.right);
    EXPECT_EQ(header->biHeight, client.bottom);
  }
  EXPECT_EQ(DIBPixel(inside.get(), client.right / 2, client.bottom / 2), 0x00C800u);

  RECT outer{};
  GetWindowRect(handle, &outer);
  GlobalBlock whole(CaptureWindowDIB(handle, 1));
  ASSERT_TRUE(whole);
  GlobalLockScope locked(whole.get());
  auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(locked.data());
  EXPECT_EQ(header->biWidth, outer.right - outer.left);
  EXPECT_EQ(header->biHeight, outer.bottom - outer.top);
}

TEST_F(DrawingWindowTest, SubPanesDrawAtTheirPlaceInTheWindow) {
  ObjectRef window = OpenTestWindow();
  ObjectRef control = PlaceControl(window.get(), "Filler", MacRect{50, 100, 120, 200},
                                   [](const PaneSite& site) { return new FillingPane("Filler", site); });
  HWND handle = WindowHandle(window.get());
  RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RunPendingTurns();
  GlobalBlock shot(CaptureWindowDIB(handle, 2));
  ASSERT_TRUE(shot);
  EXPECT_EQ(DIBPixel(shot.get(), 100, 50), 0xFF00FFu);
  EXPECT_EQ(DIBPixel(shot.get(), 119, 69), 0xFF00FFu);
  EXPECT_NE(DIBPixel(shot.get(), 120, 60), 0xFF00FFu);
  EXPECT_NE(DIBPixel(shot.get(), 110, 70), 0xFF00FFu);
}

TEST_F(DrawingWindowTest, ErasingAWindowPaneShowsItsBackdrop) {
  ObjectRef window = OpenTestWindow();
  HWND handle = WindowHandle(window.get());
  WindowPane* pane = WindowPaneOf(window.get());
  GraphicsPort* port = PaneNewGraphicsPort(pane);
  ASSERT_NE(port, nullptr);
  port->EraseRect({0, 0, 10, 10});
  GraphicsPort::UnfocusCurrent();
  EXPECT_EQ(ReadWindowPixel(handle, 5, 5), GetSysColor(COLOR_BTNFACE));
  pane->SetBackdrop(true, RGB(10, 20, 30));
  port->EraseRect({0, 0, 10, 10});
  GraphicsPort::UnfocusCurrent();
  HDC dc = GetDC(handle);
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(10, 20, 30));
  ReleaseDC(handle, dc);
  PaneDeleteGraphicsPort(port);
}
