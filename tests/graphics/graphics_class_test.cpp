// The Graphics class called as compiled code calls it, through its entry
// points and property records: drawing into a 32-bit picture pre-filled red
// with a black fore colour, text on the metafile pane, the pane offset on a
// real sub-pane, and Graphics objects that outlive their target.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <vector>

#include "core/RuntimeArrayFoundation.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "testsupport/DrawingTestPanes.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/UiTestSupport.h"
#include "testsupport/WindowCapture.h"
#include "ui/FontCache.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowPane.h"

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr int32_t D = kDrawPictureDefaultSize;

RuntimeObject* AsObject(GraphicsObject* graphics) { return &graphics->header; }
RuntimeObject* AsObject(PictureObject* picture) { return &picture->header; }
StringRef Text(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }
ObjectRef Wrap(GraphicsPort* port) { return ObjectRef::Adopt(AsObject(WrapGraphicsPort(port))); }

ArrayRef IntArray(std::initializer_list<int32_t> values) {
  ArrayRef array = ArrayRef::Adopt(CreateArray(1, kArrayInt32, int32_t(values.size()) - 1));
  int32_t index = 0;
  for (int32_t value : values) {
    *static_cast<int32_t*>(FindArrayElement(array.get(), index++)) = value;
  }
  return array;
}

void PutPixel(BitmapPicture* picture, int32_t x, int32_t y, uint32_t rgb) {
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  ASSERT_TRUE(picture->GetPixels(&depth, &base, &rowBytes));
  std::memcpy(base + size_t(y) * size_t(rowBytes) + size_t(x) * 4, &rgb, 4);
}

uint32_t PixelOf(BitmapPicture* picture, int32_t x, int32_t y) {
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  if (!picture->GetPixels(&depth, &base, &rowBytes)) return 0xFF000000;
  uint32_t pixel = 0;
  std::memcpy(&pixel, base + size_t(y) * size_t(rowBytes) + size_t(x) * 4, 4);
  return pixel & 0xFFFFFF;
}

// A 32-bit picture, pre-filled red, with a Graphics over its own port.
class Canvas {
 public:
  Canvas(int32_t width, int32_t height)
      : width_(width),
        height_(height),
        picture_(BitmapPicture::Create(width, height, 32)),
        graphics_(Wrap(picture_->NewGraphics())) {
    Fill(kRed);
  }
  ~Canvas() {
    graphics_ = ObjectRef();
    PictureRelease(picture_);
  }

  RuntimeObject* g() const { return graphics_.get(); }
  uint32_t Pixel(int32_t x, int32_t y) const { return PixelOf(picture_, x, y); }
  void Fill(uint32_t rgb) {
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) PutPixel(picture_, x, y, rgb);
    }
    picture_->Touch();
  }
  // Every pixel against the expectation; the first few misses are reported.
  void Expect(const std::function<uint32_t(int32_t, int32_t)>& expected, const char* what) const {
    int misses = 0;
    for (int32_t y = 0; y < height_ && misses < 5; ++y) {
      for (int32_t x = 0; x < width_ && misses < 5; ++x) {
        if (Pixel(x, y) == expected(x, y)) continue;
        ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is " << std::hex << Pixel(x, y)
                      << ", expected " << expected(x, y);
        ++misses;
      }
    }
  }
  // The smallest rectangle {left, top, right, bottom} (inclusive) of pixels
  // that are not red; all -1 when there is none.
  std::vector<int32_t> InkBox() const {
    std::vector<int32_t> box{-1, -1, -1, -1};
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) {
        if (Pixel(x, y) == kRed) continue;
        if (box[0] < 0 || x < box[0]) box[0] = x;
        if (box[1] < 0) box[1] = y;
        box[2] = std::max(box[2], x);
        box[3] = y;
      }
    }
    return box;
  }

 private:
  int32_t width_, height_;
  BitmapPicture* picture_;
  ObjectRef graphics_;
};

class GraphicsClassTest : public HostTest {};

// ---- Shapes and lines ---------------------------------------------------------

TEST_F(GraphicsClassTest, LinesIncludeBothEndsWhicheverWayTheyAreDrawn) {
  Canvas forward(40, 20), backward(40, 20);
  RuntimeGraphicsDrawLine(forward.g(), 0, 0, 10, 10);
  RuntimeGraphicsDrawLine(forward.g(), 3, 15, 30, 12);
  RuntimeGraphicsDrawLine(backward.g(), 10, 10, 0, 0);
  RuntimeGraphicsDrawLine(backward.g(), 30, 12, 3, 15);
  forward.Expect([&](int32_t x, int32_t y) { return backward.Pixel(x, y); }, "reversed lines");
  for (int32_t i = 0; i <= 10; ++i) EXPECT_EQ(forward.Pixel(i, i), kBlack) << i;
  EXPECT_EQ(forward.Pixel(3, 15), kBlack);
  EXPECT_EQ(forward.Pixel(30, 12), kBlack);
  EXPECT_EQ(forward.Pixel(11, 11), kRed);

  // Any other pen draws the port's own line, with no pixel added: a 1 x 2
  // pen draws one row below the points, so an added end pixel would show.
  Canvas tall(40, 20), plain(40, 20);
  SetProperty<int32_t>(tall.g(), "PenHeight", 2);
  RuntimeGraphicsDrawLine(tall.g(), 20, 5, 2, 5);
  GraphicsPort* port = ObjectFields<GraphicsObject>(plain.g())->port;
  port->SetPenSize(1, 2);
  port->MoveTo(2, 5);
  port->LineTo(20, 5);
  tall.Expect([&](int32_t x, int32_t y) { return plain.Pixel(x, y); }, "1 x 2 pen");
  EXPECT_EQ(tall.Pixel(20, 5), kRed);
  EXPECT_EQ(tall.Pixel(19, 6), kBlack);
}

TEST_F(GraphicsClassTest, ShapesFillTheirRectangleAndPolygonsTheirPoints) {
  using Shape = void (*)(RuntimeObject*, int32_t, int32_t, int32_t, int32_t);
  const Shape shapes[] = {RuntimeGraphicsDrawRect, RuntimeGraphicsFillRect, RuntimeGraphicsDrawOval,
                          RuntimeGraphicsFillOval};
  for (Shape shape : shapes) {
    Canvas canvas(60, 40);
    shape(canvas.g(), 10, 5, 30, 20);
    EXPECT_EQ(canvas.InkBox(), (std::vector<int32_t>{10, 5, 39, 24}));
  }
  Canvas rounded(60, 40);
  RuntimeGraphicsFillRoundRect(rounded.g(), 10, 5, 30, 20, 8, 8);
  EXPECT_EQ(rounded.InkBox(), (std::vector<int32_t>{10, 5, 39, 24}));
  EXPECT_EQ(rounded.Pixel(10, 5), kRed);  // a rounded corner
  RuntimeGraphicsClearRect(rounded.g(), 0, 0, 5, 5);
  EXPECT_EQ(rounded.Pixel(4, 4), kWhite);
  EXPECT_EQ(rounded.Pixel(5, 5), kRed);

  Canvas polygon(60, 40);
  RuntimeArray* none = nullptr;
  graphicsFillPolygon(polygon.g(), none);
  graphicsFillPolygon(polygon.g(), IntArray({7}).get());
  EXPECT_EQ(polygon.InkBox(), (std::vector<int32_t>{-1, -1, -1, -1}));
  // Element 0 is not a coordinate.
  graphicsFillPolygon(polygon.g(), IntArray({99, 10, 10, 30, 10, 30, 30}).get());
  EXPECT_EQ(polygon.InkBox(), (std::vector<int32_t>{10, 10, 30, 30}));
}

TEST_F(GraphicsClassTest, RectanglesSaturateInsteadOfWrapping) {
  Canvas canvas(100, 20);
  RuntimeGraphicsFillRect(canvas.g(), 0, 0, 40000, 10);
  RuntimeGraphicsFillRect(canvas.g(), -40000, 10, 40010, 10);
  canvas.Expect([](int32_t x, int32_t y) { return y < 10 || x < 10 ? kBlack : kRed; },
                "saturated rectangles");

  // Sums past the 32-bit range neither wrap nor trap.
  Canvas extremes(20, 20);
  RuntimeGraphicsFillRect(extremes.g(), INT_MAX, INT_MAX, INT_MAX, INT_MAX);
  RuntimeGraphicsDrawLine(extremes.g(), INT_MAX, 0, INT_MAX, 10);
  SetProperty<int32_t>(extremes.g(), "PenWidth", 4);
  SetProperty<int32_t>(extremes.g(), "PenHeight", 4);
  RuntimeGraphicsDrawLine(extremes.g(), INT_MAX, INT_MAX, INT_MAX, INT_MIN);
  RuntimeGraphicsDrawString(extremes.g(), Text("A").get(), INT_MAX, INT_MIN, INT_MAX);
  graphicsPixelSetter(extremes.g(), INT_MIN, 0, kBlack);
  extremes.Expect([](int32_t, int32_t) { return kRed; }, "out-of-range drawing");
  RuntimeGraphicsFillRect(extremes.g(), INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_EQ(extremes.Pixel(0, 0), kRed);
}

// ---- DrawPicture -------------------------------------------------------------

uint32_t ColumnColour(int32_t x) { return x % 10 == 0 ? kWhite : 0x000040u | uint32_t(x) << 8; }

// 100 x 50, one colour per column, every tenth column white.
ObjectRef StripedPicture() {
  BitmapPicture* native = BitmapPicture::Create(100, 50, 32);
  for (int32_t y = 0; y < 50; ++y) {
    for (int32_t x = 0; x < 100; ++x) PutPixel(native, x, y, ColumnColour(x));
  }
  native->Touch();
  return ObjectRef::Adopt(AsObject(WrapNativePicture(native)));
}

struct DrawPictureCase {
  const char* what;
  int32_t x, y, w1, h1, sx, sy, w2, h2;
  std::function<uint32_t(int32_t, int32_t)> expected;
};

TEST_F(GraphicsClassTest, PicturesAreClippedToTheImageAndNeverMirrored) {
  auto unscaled = [](int32_t x, int32_t y) { return x < 100 && y < 50 ? ColumnColour(x) : kRed; };
  auto red = [](int32_t, int32_t) { return kRed; };
  const DrawPictureCase cases[] = {
      {"1:1", 0, 0, D, D, 0, 0, D, D, unscaled},
      {"source size from the destination, clipped", 0, 0, 200, 100, 0, 0, D, D, unscaled},
      {"doubled", 0, 0, 200, 100, 0, 0, 100, 50,
       [](int32_t x, int32_t y) { return x < 200 && y < 100 ? ColumnColour(x / 2) : kRed; }},
      {"source left of the image", 0, 0, 50, 50, -10, 0, 50, 50,
       [](int32_t x, int32_t y) {
         return x >= 10 && x < 50 && y < 50 ? ColumnColour(x - 10) : kRed;
       }},
      {"source wholly left", 0, 0, 50, 50, -60, 0, 50, 50, red},
      {"source wholly right", 0, 0, 50, 50, 120, 0, 50, 50, red},
      {"negative height", 0, 10, 50, -5, 0, 0, 50, 50, red},
      {"source above the image", 0, 0, 50, 50, 0, -50, 50, 50, red},
      {"extreme source", 0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX, red},
      {"extreme position", INT_MIN, INT_MAX, D, D, 0, 0, D, D, red},
  };
  ObjectRef picture = StripedPicture();
  for (const DrawPictureCase& c : cases) {
    Canvas canvas(220, 110);
    RuntimeGraphicsDrawPicture(canvas.g(), picture.get(), c.x, c.y, c.w1, c.h1, c.sx, c.sy, c.w2,
                               c.h2);
    canvas.Expect(c.expected, c.what);
  }

  SetProperty<int32_t>(picture.get(), "Transparent", 1);
  Canvas transparent(220, 110);
  RuntimeGraphicsDrawPicture(transparent.g(), picture.get(), 0, 0, D, D, 0, 0, D, D);
  transparent.Expect(
      [](int32_t x, int32_t y) { return x < 100 && y < 50 && x % 10 ? ColumnColour(x) : kRed; },
      "transparent");

  // Nil and vector pictures draw nothing.
  RuntimeGraphicsDrawPicture(transparent.g(), nullptr, 0, 0, D, D, 0, 0, D, D);
  ObjectRef vector = ObjectRef::Adopt(newPicture(100, 50, 0));
  Canvas untouched(50, 50);
  RuntimeGraphicsDrawPicture(untouched.g(), vector.get(), 0, 0, D, D, 0, 0, D, D);
  untouched.Expect(red, "vector picture");
}

// ---- Properties and text --------------------------------------------------------

TEST_F(GraphicsClassTest, PropertiesKeepWhatTheyDoNotSet) {
  Canvas canvas(10, 10);
  RuntimeObject* g = canvas.g();
  SetProperty<uint32_t>(g, "ForeColor", 0xFF8000);
  EXPECT_EQ(GetProperty<uint32_t>(g, "ForeColor"), 0xFF8000u);
  RuntimeGraphicsFillRect(g, 0, 0, 1, 1);
  EXPECT_EQ(canvas.Pixel(0, 0), 0xFF8000u);

  SetProperty(g, "Italic", true);
  SetProperty(g, "Bold", true);
  EXPECT_TRUE(GetProperty<bool>(g, "Italic"));
  SetProperty(g, "Italic", false);
  EXPECT_TRUE(GetProperty<bool>(g, "Bold"));
  EXPECT_FALSE(GetProperty<bool>(g, "Underline"));

  SetProperty<int32_t>(g, "PenWidth", 5);
  SetProperty<int32_t>(g, "PenHeight", 3);
  EXPECT_EQ(GetProperty<int32_t>(g, "PenWidth"), 5);
  EXPECT_EQ(GetProperty<int32_t>(g, "PenHeight"), 3);

  SetProperty(g, "UseOldRenderer", false);
  EXPECT_TRUE(GetProperty<bool>(g, "UseOldRenderer"));

  // Compiled code passes a Boolean as whatever byte it holds; any byte but 0
  // is True.
  GraphicsPort* port = ObjectFields<GraphicsObject>(g)->port;
  port->SetTextStyle(0);
  for (uint8_t byte : {uint8_t(2), uint8_t(0x80), uint8_t(0xFF)}) {
    SetProperty<uint8_t>(g, "Underline", byte);
    EXPECT_EQ(port->TextStyle(), 4u) << int(byte);
    SetProperty<uint8_t>(g, "Underline", 0);
    EXPECT_EQ(port->TextStyle(), 0u);
    SetProperty<uint8_t>(g, "UseOldRenderer", byte);
  }
  EXPECT_TRUE(GetProperty<bool>(g, "UseOldRenderer"));

  for (const char* name : {"Copies", "FirstPage", "LastPage"}) {
    EXPECT_EQ(GetProperty<int32_t>(g, name), 0) << name;
  }
}

TEST_F(GraphicsClassTest, StringsStandOnTheirBaseline) {
  Canvas canvas(60, 40);
  RuntimeGraphicsDrawString(canvas.g(), Text("A").get(), 0, 20, 0);
  EXPECT_EQ(canvas.InkBox()[3], 19);
  Canvas wrapped(60, 40);
  RuntimeGraphicsDrawString(wrapped.g(), Text("A").get(), 0, 20, 50);
  EXPECT_EQ(wrapped.InkBox()[3], 19);

  MetafileTestPane* pane = new MetafileTestPane(400, 200);
  {
    ObjectRef g = Wrap(new GraphicsPort(pane));
    const int32_t ascent = RuntimeGraphicsTextAscent(g.get());
    const int32_t lineHeight = RuntimeGraphicsTextHeight(g.get());
    RuntimeGraphicsDrawString(g.get(), Text("one\ntwo").get(), 10, 40, 0);
    std::vector<RecordedText> lines = pane->TakeText();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, L"one");
    EXPECT_EQ(lines[0].y, 40 - ascent);
    EXPECT_EQ(lines[1].y - lines[0].y, lineHeight);

    // A width wraps between words.
    StringRef words = Text("one two");
    RuntimeGraphicsDrawString(g.get(), words.get(), 10, 40,
                              RuntimeGraphicsStringWidth(g.get(), words.get()) - 1);
    lines = pane->TakeText();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].text, L"two");

    EXPECT_EQ(RuntimeGraphicsStringHeight(g.get(), Text("one\ntwo").get(), 500), 2 * lineHeight);
    EXPECT_EQ(RuntimeGraphicsStringWidth(g.get(), nullptr), 0);
    EXPECT_EQ(RuntimeGraphicsStringHeight(g.get(), nullptr, 100), 0);
    RuntimeGraphicsDrawString(g.get(), nullptr, 10, 40, 0);
    EXPECT_TRUE(pane->TakeText().empty());
  }
  pane->Unlock();
}

// ---- Targets that go away, and nil --------------------------------------------------

// Everything a Graphics without target does: nothing, 0, and no assertion.
void ExpectInert(RuntimeObject* g) {
  RuntimeGraphicsFillRect(g, 0, 0, 10, 10);
  RuntimeGraphicsDrawLine(g, 0, 0, 10, 10);
  RuntimeGraphicsDrawString(g, Text("A").get(), 0, 20, 0);
  graphicsFillPolygon(g, IntArray({0, 1, 1, 5, 1, 5, 5}).get());
  graphicsPixelSetter(g, 1, 1, kBlack);
  graphicsDrawStopIcon(g, 0, 0);
  RuntimeGraphicsNextPage(g);
  EXPECT_EQ(GetProperty<int32_t>(g, "Width"), 0);
  EXPECT_EQ(GetProperty<int32_t>(g, "Height"), 0);
  EXPECT_EQ(graphicsPixelGetter(g, 1, 1), 0u);
  EXPECT_EQ(RuntimeGraphicsStringWidth(g, Text("A").get()), 0);
  EXPECT_EQ(RuntimeGraphicsTextHeight(g) + RuntimeGraphicsTextAscent(g), 0);
  int32_t left = -1, top = -1;
  GraphicsPaneTopLeft(g, &left, &top);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(top, 0);
  EXPECT_FALSE(RuntimeExceptionPending());
}

TEST_F(GraphicsClassTest, AKeptGraphicsOutlivesItsPictureAndItsPane) {
  ObjectRef picture = ObjectRef::Adopt(newPicture(20, 20, 32));
  ObjectRef kept = ObjectRef::Adopt(GetProperty<RuntimeObject*>(picture.get(), "Graphics"));
  ASSERT_TRUE(kept);
  EXPECT_EQ(GetProperty<int32_t>(kept.get(), "Width"), 20);
  picture = ObjectRef();
  ExpectInert(kept.get());

  DIBTestPane* pane = new DIBTestPane(20, 20);
  ObjectRef onPane = Wrap(new GraphicsPort(pane));
  RuntimeGraphicsFillRect(onPane.get(), 0, 0, 5, 5);
  pane->Unlock();
  ExpectInert(onPane.get());
}

TEST_F(GraphicsClassTest, ReleasingAGraphicsDeletesItsPort) {
  const size_t fonts = FontCacheCount();
  DIBTestPane* pane = new DIBTestPane(20, 20);
  {
    ObjectRef g = Wrap(new GraphicsPort(pane));
    EXPECT_GT(RuntimeGraphicsTextHeight(g.get()), 0);
    EXPECT_EQ(pane->OpenDCs(), 1);
  }
  EXPECT_EQ(pane->OpenDCs(), 0);
  EXPECT_EQ(FontCacheCount(), fonts);
  pane->Unlock();
}

TEST_F(GraphicsClassTest, ANilGraphicsRaisesAndDrawsNothing) {
  RuntimeGraphicsFillRect(nullptr, 0, 0, 10, 10);
  ObjectRef raised = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_TRUE(ObjectIsADefinition(raised.get(), GetNilObjectExceptionClassDefinition()));
  EXPECT_EQ(graphicsForeColorGetter(nullptr, 0), 0u);
  raised = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_TRUE(ObjectIsADefinition(raised.get(), GetNilObjectExceptionClassDefinition()));
}

// ---- A sub-pane in a real window --------------------------------------------------

class GraphicsClassWindowTest : public WindowSystemTest {};

TEST_F(GraphicsClassWindowTest, CoordinatesAreThePanes) {
  ObjectRef window = OpenTestWindow();
  HWND handle = WindowHandle(window.get());
  WindowPaneOf(window.get())->SetBackdrop(true, RGB(0, 200, 0));
  ObjectRef control =
      PlaceControl(window.get(), "Sub", MacRect{50, 100, 120, 200},
                   [](const PaneSite& site) { return new RecordingPane("Sub", site); });
  RedrawWindow(handle, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RunPendingTurns();

  ObjectRef g = Wrap(PaneNewGraphicsPort(PaneOf(control.get())));
  int32_t left = 0, top = 0;
  GraphicsPaneTopLeft(g.get(), &left, &top);
  EXPECT_EQ(left, 100);
  EXPECT_EQ(top, 50);
  EXPECT_EQ(GetProperty<int32_t>(g.get(), "Width"), 100);

  RuntimeGraphicsFillRect(g.get(), 0, 0, 10, 10);
  graphicsPixelSetter(g.get(), 12, 3, 0x0000C8);
  GraphicsPort::UnfocusCurrent();
  WindowCapture shot = WindowCapture::OfClient(handle);
  EXPECT_EQ(shot.Pixel(100, 50), kBlack);
  EXPECT_EQ(shot.Pixel(109, 59), kBlack);
  EXPECT_NE(shot.Pixel(110, 59), kBlack);
  EXPECT_NE(shot.Pixel(109, 60), kBlack);
  EXPECT_EQ(shot.Pixel(112, 53), 0x0000C8u);
  EXPECT_EQ(graphicsPixelGetter(g.get(), 0, 0), kBlack);
  EXPECT_EQ(graphicsPixelGetter(g.get(), 12, 3), 0x0000C8u);
  // The pane's offset is added to polygon points without overflowing.
  graphicsFillPolygon(g.get(), IntArray({0, INT32_MAX, INT32_MAX, INT32_MAX - 5, 0, 0, 0}).get());
  graphicsDrawPolygon(g.get(), IntArray({0, INT32_MAX, 0, 0, INT32_MAX}).get());

  Canvas canvas(5, 5);
  GraphicsPaneTopLeft(canvas.g(), &left, &top);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(top, 0);
}

}  // namespace
