// The drawing port on a DIB test pane pre-filled red, fore colour black:
// patterns, pixels, clip and focus, polygons, fonts, dead panes, erasing,
// icons and GDI hygiene.
#include <gtest/gtest.h>

#include "core/RuntimeArrayFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/GdiObjects.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "testsupport/DrawingTestPanes.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "ui/FontCache.h"

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

struct GdiCounts {
  int32_t kinds[int(GdiKind::kCount)];
  size_t fonts;
  static GdiCounts Now() {
    GdiCounts counts{};
    for (int i = 0; i < int(GdiKind::kCount); ++i) counts.kinds[i] = GdiLiveCount(GdiKind(i));
    counts.fonts = FontCacheCount();
    return counts;
  }
};

void ExpectSameCounts(const GdiCounts& before, const GdiCounts& after) {
  for (int i = 0; i < int(GdiKind::kCount); ++i) {
    EXPECT_EQ(before.kinds[i], after.kinds[i]) << "GDI kind " << i;
  }
  EXPECT_EQ(before.fonts, after.fonts);
}

ArrayRef IntArray(std::initializer_list<int32_t> values) {
  ArrayRef array = ArrayRef::Adopt(CreateArray(1, kArrayInt32, int32_t(values.size()) - 1));
  int32_t index = 0;
  for (int32_t value : values) *static_cast<int32_t*>(FindArrayElement(array.get(), index++)) = value;
  return array;
}

StringRef Text(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }

class GraphicsPortTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    pane_ = new DIBTestPane(64, 64);
    {
      // The machinery's scratch region is made at the first focus and is
      // part of the baseline.
      GraphicsPort warm(pane_);
      warm.GetDC();
    }
    baseline_ = GdiCounts::Now();
    pane_->Fill(kRed);
    port_ = new GraphicsPort(pane_);
  }
  void TearDown() override {
    delete port_;
    GraphicsPort::UnfocusCurrent();
    ExpectSameCounts(baseline_, GdiCounts::Now());
    pane_->Unlock();
    HostTest::TearDown();
  }

  uint32_t Pixel(int x, int y) { return pane_->Pixel(x, y); }
  // Row y's pixels x0..x1, drawn fresh by the line from (ax, ay) to (bx, by).
  std::vector<uint32_t> LinePixels(int ax, int ay, int bx, int by) {
    pane_->Fill(kRed);
    port_->MoveTo(ax, ay);
    port_->LineTo(bx, by);
    std::vector<uint32_t> pixels;
    for (int y = 8; y < 24; ++y) {
      for (int x = 8; x < 24; ++x) pixels.push_back(Pixel(x, y));
    }
    return pixels;
  }

  DIBTestPane* pane_ = nullptr;
  GraphicsPort* port_ = nullptr;
  GdiCounts baseline_{};
};

TEST_F(GraphicsPortTest, PatternedLinesPaintForeAndWhiteEitherWay) {
  port_->SetPenPattern(1);
  std::vector<uint32_t> forward = LinePixels(10, 10, 20, 10);
  for (int x = 10; x <= 20; ++x) EXPECT_EQ(Pixel(x, 10), x % 2 ? kBlack : kWhite) << x;
  EXPECT_EQ(Pixel(9, 10), kRed);
  EXPECT_EQ(Pixel(21, 10), kRed);
  EXPECT_EQ(Pixel(10, 11), kRed);
  EXPECT_EQ(LinePixels(20, 10, 10, 10), forward);
  EXPECT_EQ(LinePixels(10, 20, 10, 10), LinePixels(10, 10, 10, 20));

  port_->SetForeColor({0x8080, 0x4040, 0x2020});
  HDC dc = port_->GetDC();
  SetTextColor(dc, RGB(0, 0, 255));
  SetBkColor(dc, RGB(0, 255, 0));
  LinePixels(10, 10, 20, 10);
  EXPECT_EQ(Pixel(11, 10), 0x804020u);
  EXPECT_EQ(Pixel(12, 10), kWhite);
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));

  port_->SetForeColor({0, 0, 0});
  LinePixels(0, 0, 20, 20);
  for (int i = 8; i < 20; ++i) EXPECT_EQ(Pixel(i, i), kBlack) << i;

  port_->PenNormal();
  LinePixels(30, 30, 30, 30);
  EXPECT_EQ(Pixel(30, 30), kRed);
}

TEST_F(GraphicsPortTest, PatternsAreAnchoredByOriginAndPhase) {
  port_->SetPenPattern(3);
  port_->SetOrigin(3, 0);
  EXPECT_EQ(port_->EffectivePattern()[0], 0x55);
  port_->FillRect({0, 3, 1, 19});
  for (int x = 3; x <= 18; ++x) EXPECT_EQ(Pixel(x - 3, 0), x % 2 ? kWhite : kBlack) << x;

  pane_->Fill(kRed);
  port_->SetPenPattern(2);
  port_->SetOrigin(0, 0);
  port_->SetPatternPhase(0, 1);
  EXPECT_EQ(port_->EffectivePattern()[0], 0x00);
  port_->FillRect({0, 0, 4, 4});
  EXPECT_EQ(Pixel(1, 0), kWhite);  // target row 0 is effective row 0
  EXPECT_EQ(Pixel(1, 1), kBlack);

  for (uint8_t kind : {0, 7}) {
    port_->SetPenPattern(kind);
    EXPECT_FALSE(port_->PatternActive());
    EXPECT_EQ(port_->EffectivePattern()[3], 0xFF);
  }
  port_->SetPenPattern(1);
  port_->PenNormal();
  EXPECT_FALSE(port_->PatternActive());
  EXPECT_EQ(port_->EffectivePattern()[1], 0x55);  // phase 1 shifts the rows
}

TEST_F(GraphicsPortTest, PixelsRoundTripThroughSixteenBitChannels) {
  port_->SetPixel(5, 6, {65535, 0, 32896});
  RGBColor16 colour{};
  ASSERT_TRUE(port_->GetPixel(5, 6, &colour));
  EXPECT_EQ(colour.red, 65535);
  EXPECT_EQ(colour.green, 0);
  EXPECT_EQ(colour.blue, 32896);
  port_->SetOrigin(2, 3);
  port_->SetPixel(7, 9, {0, 65535, 0});
  EXPECT_EQ(Pixel(5, 6), 0x00FF00u);
}

TEST_F(GraphicsPortTest, ShapesStayInsideTheirRectangles) {
  port_->FrameRect({10, 10, 30, 30});
  EXPECT_EQ(Pixel(10, 20), kBlack);
  EXPECT_EQ(Pixel(20, 20), kRed);
  port_->FillOval({40, 40, 60, 60});
  EXPECT_EQ(Pixel(50, 50), kBlack);
  EXPECT_EQ(Pixel(41, 41), kRed);
  port_->FillRoundRect({30, 60, 10, 40}, 6, 6);  // reversed corners are normalised
  EXPECT_EQ(Pixel(50, 20), kBlack);
  port_->FrameOval({0, 0, 8, 8});
  port_->FrameRoundRect({0, 50, 8, 60}, 4, 4);
  EXPECT_EQ(Pixel(4, 4), kRed);
  port_->SetOrigin(-5, 0);
  port_->FillRect({20, 0, 22, 2});
  EXPECT_EQ(Pixel(5, 20), kBlack);
  EXPECT_EQ(Pixel(4, 20), kRed);
}

TEST_F(GraphicsPortTest, PolygonsNeedCompletePairsAndAgreeWithTheirOutline) {
  for (auto values : {IntArray({0}), IntArray({0, 5})}) {
    port_->Polygon(values.get(), true);
    port_->Polygon(values.get(), false);
  }
  port_->Polygon(IntArray({0, 5, 5}).get(), false);
  EXPECT_EQ(Pixel(5, 5), kRed);

  ArrayRef triangle = IntArray({0, 10, 10, 50, 10, 10, 50});
  port_->Polygon(triangle.get(), false);
  EXPECT_EQ(Pixel(30, 10), kBlack);
  EXPECT_EQ(Pixel(10, 30), kBlack);
  EXPECT_EQ(Pixel(30, 30), kBlack);
  EXPECT_EQ(Pixel(20, 20), kRed);
  port_->Polygon(triangle.get(), true);
  EXPECT_EQ(Pixel(20, 20), kBlack);

  // At an origin the fill and the outline of one triangle land together.
  pane_->Fill(kRed);
  port_->SetOrigin(5, 5);
  port_->Polygon(triangle.get(), true);
  std::vector<uint32_t> filled;
  for (int y = 0; y < 64; ++y) filled.push_back(Pixel(5, y));
  EXPECT_EQ(Pixel(5, 5), kBlack);
  pane_->Fill(kRed);
  port_->Polygon(triangle.get(), false);
  EXPECT_EQ(Pixel(5, 5), kBlack);
  EXPECT_EQ(Pixel(5, 44), kBlack);
  EXPECT_EQ(filled[44], kBlack);
  EXPECT_EQ(filled[47], kRed);
}

TEST_F(GraphicsPortTest, EraseFollowsTheTarget) {
  port_->EraseRect({0, 0, 10, 10});
  EXPECT_EQ(Pixel(5, 5), kWhite);
  pane_->SetHasNativeWindow(true);
  port_->EraseRect({0, 0, 10, 10});
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(Pixel(5, 5), uint32_t(GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face)));
  EXPECT_EQ(Pixel(10, 10), kRed);
}

TEST_F(GraphicsPortTest, StandardIconsInkTheirSquare) {
  int size = GetSystemMetrics(SM_CXICON);
  DIBTestPane* big = new DIBTestPane(int16_t(size + 20), int16_t(size + 20));
  {
    GraphicsPort port(big);
    for (int kind = 0; kind < 4; ++kind) {
      big->Fill(kRed);
      port.DrawStandardIcon(kind, 10, 10);
      int inked = 0;
      for (int y = 10; y < 10 + size; ++y) {
        for (int x = 10; x < 10 + size; ++x) inked += big->Pixel(x, y) != kRed;
      }
      EXPECT_EQ(inked > 0, kind < 3) << kind;
      EXPECT_EQ(big->Pixel(9, 9), kRed);
      EXPECT_EQ(big->Pixel(10 + size, 10 + size), kRed);
    }
  }
  big->Unlock();
}

TEST_F(GraphicsPortTest, ClipIsInDeviceCoordinatesAndUndoneAtUnfocus) {
  DIBTestPane* sub = new DIBTestPane(200, 200);
  sub->SetTopLeft(100, 50);
  sub->Fill(kRed);
  uint32_t token = 0;
  HDC own = sub->AcquireDC(&token);  // keeps the DC open across unfocus
  CountedRegion ownClip(CreateRectRgn(0, 0, 150, 150));
  SelectClipRgn(own, ownClip.get());
  {
    GraphicsPort port(sub);
    port.SetClipRect({50, 100, 150, 200});
    HDC dc = port.GetDC();
    EXPECT_EQ(dc, own);
    CountedRegion clip(CreateRectRgn(0, 0, 0, 0));
    ASSERT_EQ(GetClipRgn(dc, clip.get()), 1);
    RECT box{};
    GetRgnBox(clip.get(), &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 100);
    EXPECT_EQ(box.bottom, 100);
    port.FillRect({50, 100, 250, 300});
    EXPECT_EQ(sub->Pixel(0, 0), kBlack);
    EXPECT_EQ(sub->Pixel(99, 99), kBlack);
    EXPECT_EQ(sub->Pixel(100, 99), kRed);
    EXPECT_EQ(sub->Pixel(99, 100), kRed);

    port.StringWidth(Text("font").get());
    EXPECT_NE(GetCurrentObject(own, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    port_->GetDC();  // another port takes the focus
    EXPECT_EQ(GetCurrentObject(own, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    ASSERT_EQ(GetClipRgn(own, clip.get()), 1);
    GetRgnBox(clip.get(), &box);
    EXPECT_EQ(box.right, 150);
    EXPECT_EQ(box.bottom, 150);
  }
  sub->ReleaseDC(token);
  sub->Unlock();
}

TEST_F(GraphicsPortTest, PortsWithOneFontShareTheCachedFont) {
  size_t fonts = FontCacheCount();
  GraphicsPort* second = new GraphicsPort(pane_);
  StringRef face = Text("Courier");
  for (GraphicsPort* port : {port_, second}) {
    port->SetTextFont(face.get());
    port->SetTextSize(13);
  }
  StringRef word = Text("Measure");
  int32_t width = port_->StringWidth(word.get());
  HGDIOBJ first = GetCurrentObject(port_->GetDC(), OBJ_FONT);
  second->StringWidth(word.get());
  EXPECT_EQ(GetCurrentObject(second->GetDC(), OBJ_FONT), first);
  EXPECT_EQ(FontCacheCount(), fonts + 1);
  second->SetTextSize(30);
  EXPECT_GT(second->StringWidth(word.get()), width);
  EXPECT_GT(second->TextHeight(), port_->TextHeight());
  delete second;
  delete port_;
  port_ = nullptr;
  EXPECT_EQ(FontCacheCount(), fonts);
}

TEST_F(GraphicsPortTest, PortsOfDeadPanesDrawNothing) {
  DIBTestPane* first = new DIBTestPane(16, 16);
  DIBTestPane* second = new DIBTestPane(16, 16);
  GraphicsPort* idle = new GraphicsPort(first);
  GraphicsPort* current = new GraphicsPort(second);
  idle->FillRect({0, 0, 4, 4});
  current->FillRect({0, 0, 4, 4});
  EXPECT_EQ(GraphicsPort::Current(), current);
  first->Unlock();
  second->Unlock();
  EXPECT_EQ(GraphicsPort::Current(), nullptr);
  EXPECT_EQ(GdiLiveCount(GdiKind::kDC), baseline_.kinds[int(GdiKind::kDC)]);
  for (GraphicsPort* port : {idle, current}) {
    EXPECT_EQ(port->Target(), nullptr);
    port->FillRect({0, 0, 4, 4});
    port->LineTo(3, 3);
    port->DrawStringTruncated(Text("gone").get(), 0, 0, 10, Text("...").get());
    EXPECT_EQ(port->StringWidth(Text("gone").get()), 0);
    std::vector<RecordedBox> boxes = TakeRecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Failed Assertion");
    EXPECT_NE(boxes[0].text.find("mPane"), std::string::npos);
  }
  delete idle;
  delete current;

  int32_t panes = Pane::LiveCount();
  GraphicsPort* owner = new GraphicsPort(new DIBTestPane(8, 8));
  owner->SetOwnsTarget(true);
  owner->FillRect({0, 0, 2, 2});
  EXPECT_NE(CurrentDrawingPane(), nullptr);
  delete owner;
  EXPECT_EQ(CurrentDrawingPane(), nullptr);
  EXPECT_EQ(Pane::LiveCount(), panes);
}

TEST_F(GraphicsPortTest, PaneFactoryCopiesThePaneFont) {
  pane_->SetTextFontName(Text("Arial").get());
  pane_->SetTextSize(15);
  pane_->SetTextStyleBits(5);
  GraphicsPort* port = PaneNewGraphicsPort(pane_);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(StringToStdUTF8(port->TextFont()), "Arial");
  EXPECT_EQ(port->TextSize(), 15);
  EXPECT_EQ(port->TextStyle(), 5u);
  PaneDeleteGraphicsPort(port);
}

TEST_F(GraphicsPortTest, ManyMixedOperationsLeaveNoGdiObjectsBehind) {
  GraphicsPort* other = new GraphicsPort(pane_);
  StringRef text = Text("Some text to draw");
  StringRef suffix = Text("...");
  ArrayRef triangle = IntArray({0, 1, 1, 30, 5, 10, 40});
  MacRect clip{0, 0, 40, 40};
  NativePicture* plain = BitmapPicture::Create(16, 16, 24);
  NativePicture* masked = BitmapPicture::Create(16, 16, 8);
  PictureEnsureMask(masked);
  for (int i = 0; i < 10000; ++i) {
    GraphicsPort* port = i % 7 == 0 ? other : port_;
    MacRect rect{int16_t(i % 20), int16_t(i % 30), int16_t(i % 20 + 20), int16_t(i % 30 + 25)};
    switch (i % 18) {
      case 0: port->FrameRect(rect); break;
      case 1: port->FillRect(rect); break;
      case 2: port->FrameOval(rect); break;
      case 3: port->FillOval(rect); break;
      case 4: port->FrameRoundRect(rect, 5, 5); break;
      case 5: port->FillRoundRect(rect, 5, 5); break;
      case 6: port->SetPenPattern(uint8_t(i % 4)); port->MoveTo(0, i % 50); port->LineTo(40, i % 50); break;
      case 7: port->Polygon(triangle.get(), i % 2 == 0); break;
      case 8: port->DrawStringAt(text.get(), 3, 20, i % 3 ? nullptr : &clip); break;
      case 9: port->DrawStringTruncated(text.get(), 0, 30, 40, suffix.get()); break;
      case 10: port->SetPixel(i % 60, 3, {0, 0, 0}); break;
      case 11: port->DrawStandardIcon(i % 3, 0, 0); break;
      case 12: port->SetClipRect(rect); port->EraseRect(rect); break;
      case 13: port->DrawPicture(i % 9, 2, plain, 0, 0, 16, 16, i % 2 == 0); break;
      case 14: port->DrawPictureScaled(1, 1, 30, 20, plain, 2, 2, 10, 10, false); break;
      case 15: port->DrawPictureScaled(1, 1, 20, 30, masked, 0, 0, 16, 16, false); break;
      case 16: {
        GraphicsPort* painter = plain->NewGraphics();
        painter->SetPixel(i % 16, 0, {0, 0, 0});
        delete painter;
        break;
      }
      default: port->SetClipRegion(nullptr); port->DrawTextBox(text.get(), rect, i % 3); break;
    }
  }
  port_->SetClipRegion(nullptr);
  PictureRelease(plain);
  PictureRelease(masked);
  delete other;
  GraphicsPort::UnfocusCurrent();
  GdiCounts now = GdiCounts::Now();
  for (int i = 0; i < int(GdiKind::kCount); ++i) EXPECT_EQ(now.kinds[i], baseline_.kinds[i]) << i;
}

}  // namespace
