// Shapes drawn through Graphics.DrawObject into a white 200 x 200 32-bit
// picture (interior and exterior pixels read back) and onto the metafile
// pane (which primitive drew); pictures' Objects through DrawPicture.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

#include "PictureTestSupport.h"
#include "graphics/GdiObjects.h"
#include "graphics/GraphicsPort.h"
#include "graphics/ShapePlotter.h"
#include "testsupport/DrawingTestPanes.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;

using Points = std::initializer_list<std::pair<int32_t, int32_t>>;

struct Box {
  int32_t left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
  bool Empty() const { return right < left; }
};

ObjectRef Shape(ObjectDefinition* kind, double x, double y, double width = 0, double height = 0) {
  ObjectRef shape = NewShape(kind);
  ShapeOf(shape)->x = x;
  ShapeOf(shape)->y = y;
  if (width || height) {
    FieldsOf<RectShapeFields>(shape)->width = width;
    FieldsOf<RectShapeFields>(shape)->height = height;
  }
  ShapeOf(shape)->fillColor = kRed;
  ShapeOf(shape)->borderColor = kBlue;
  return shape;
}

ObjectRef Text(const char* text, double x, double y, double rotation) {
  ObjectRef shape = Shape(GetStringShapeDefinition(), x, y);
  FieldsOf<StringShapeFields>(shape)->text = StringFromASCII(text);
  FieldsOf<StringShapeFields>(shape)->textSize = 20;
  ShapeOf(shape)->fillColor = 0;
  ShapeOf(shape)->rotation = rotation;
  return shape;
}

// A 40 x 40 picture, red on the left half and blue on the right.
ObjectRef RedBlueImage() {
  ObjectRef image = NewPicture(40, 40, 32);
  ObjectRef graphics = GraphicsOf(image);
  graphicsForeColorSetter(graphics.get(), 0, kRed);
  RuntimeGraphicsFillRect(graphics.get(), 0, 0, 20, 40);
  graphicsForeColorSetter(graphics.get(), 0, kBlue);
  RuntimeGraphicsFillRect(graphics.get(), 20, 0, 20, 40);
  return image;
}

ObjectRef Pixmap(const ObjectRef& image, double x, double y) {
  ObjectRef shape = Shape(GetPixmapShapeDefinition(), x, y);
  PixmapShapeImageCtor(shape.get(), image.get());
  return shape;
}

class ShapePlotterTest : public PictureTest {
 protected:
  void SetUp() override {
    PictureTest::SetUp();
    TakeRecordedBoxes();
  }
  void TearDown() override {
    EXPECT_TRUE(TakeRecordedBoxes().empty()) << "an assertion was reported";
    PictureTest::TearDown();
  }
  void Draw(const ObjectRef& shape, int32_t dx = 0, int32_t dy = 0) {
    RuntimeGraphicsDrawObjectXY(graphics_.get(), shape.get(), dx, dy);
  }
  void Clear() { PaintWhole(canvas_, kWhite); }
  uint32_t At(int32_t x, int32_t y) const { return Colour(canvas_, x, y); }
  // The box of the pixels that are not white.
  Box Ink() const {
    Box box;
    for (int32_t y = 0; y < 200; ++y) {
      for (int32_t x = 0; x < 200; ++x) {
        if (At(x, y) == kWhite) continue;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
               std::max(box.bottom, y)};
      }
    }
    return box;
  }
  // Every pixel that is not white lies in the box (edges included).
  void ExpectInkWithin(double left, double top, double right, double bottom) const {
    const Box ink = Ink();
    EXPECT_TRUE(ink.left >= left && ink.right <= right && ink.top >= top && ink.bottom <= bottom)
        << ink.left << "," << ink.top << " .. " << ink.right << "," << ink.bottom;
  }
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < 200; ++y) {
      for (int32_t x = 0; x < 200; ++x) pixels.push_back(At(x, y));
    }
    return pixels;
  }

  ObjectRef canvas_ = NewPicture(200, 200, 32);
  ObjectRef graphics_ = GraphicsOf(canvas_);
};

TEST_F(ShapePlotterTest, RectanglesFillAndBorderAroundTheirOutline) {
  ObjectRef rect = Shape(GetRectShapeDefinition(), 100, 100, 100, 60);  // x 50..150, y 70..130
  Object2DFields* style = ShapeOf(rect);
  Draw(rect);
  EXPECT_EQ(At(100, 100), kRed);
  for (auto [x, y] : Points{{47, 100}, {153, 100}, {100, 67}, {100, 133}}) {
    EXPECT_EQ(At(x, y), kWhite) << x << "," << y;
  }
  style->border = 1;
  Draw(rect);
  for (auto [x, y] : Points{{50, 100}, {150, 100}, {100, 70}, {100, 130}}) {
    EXPECT_EQ(At(x, y), kBlue) << x << "," << y;
  }
  Clear();
  style->borderWidth = 5;
  Draw(rect);
  for (int32_t d : {-1, 1}) {
    EXPECT_EQ(At(50 + d, 100), kBlue);
    EXPECT_EQ(At(100, 130 + d), kBlue);
    EXPECT_NE(At(50 + 4 * d, 100), kBlue);
    EXPECT_NE(At(100, 130 + 4 * d), kBlue);
  }
  Clear();
  style->fill = 0.49;
  style->border = 0;
  Draw(rect);
  EXPECT_EQ(Ink().Empty(), true);
}

TEST_F(ShapePlotterTest, OvalsAndStringsChooseTheirPrimitive) {
  MetafileTestPane* pane = new MetafileTestPane(400, 200);
  GraphicsPort* port = new GraphicsPort(pane);
  graphics_ = ObjectRef::Adopt(&WrapGraphicsPort(port)->header);
  ObjectRef oval = Shape(GetOvalShapeDefinition(), 100, 100, 80, 40);
  for (double rotation : {kPi / 2, kPi / 4}) {
    const bool ellipse = rotation == kPi / 2;
    ShapeOf(oval)->rotation = rotation;
    Draw(oval);
    std::vector<uint32_t> types = pane->TakeRecordTypes();
    EXPECT_EQ(std::count(types.begin(), types.end(), uint32_t(EMR_ELLIPSE)), ellipse ? 1 : 0);
    EXPECT_EQ(std::count(types.begin(), types.end(), uint32_t(EMR_POLYGON16)), ellipse ? 0 : 1);
  }
  for (double rotation : {0.0005, 2 * kPi, kPi / 2}) {
    ObjectRef text = Text("Plotted", 150, 80, rotation);
    ShapePlotterApplyTextStyle(port, FieldsOf<StringShapeFields>(text));
    const int32_t width = port->StringWidth(FieldsOf<StringShapeFields>(text)->text);
    Draw(text);
    std::vector<RecordedText> records = pane->TakeText();
    if (rotation == kPi / 2) {
      EXPECT_TRUE(records.empty());
      continue;
    }
    ASSERT_EQ(records.size(), 1u) << rotation;
    EXPECT_EQ(records[0].text, L"Plotted");
    EXPECT_EQ(records[0].x, 150 - width / 2);
    EXPECT_EQ(records[0].y, 80);
  }
  graphics_ = ObjectRef();
  pane->Unlock();
}

TEST_F(ShapePlotterTest, TurnedTextStandsUpInsideItsBounds) {
  ObjectRef text = Text("Turned text", 100, 100, kPi / 2);
  Draw(text);
  GraphicsPort* port = reinterpret_cast<GraphicsObject*>(graphics_.get())->port;
  ShapePlotterApplyTextStyle(port, FieldsOf<StringShapeFields>(text));
  const int32_t halfWidth = port->StringWidth(FieldsOf<StringShapeFields>(text)->text) / 2;
  const int32_t ascent = port->TextAscent();
  const Box ink = Ink();
  EXPECT_GT(ink.bottom - ink.top, 2 * (ink.right - ink.left));
  ExpectInkWithin(100 - ascent - 3, 100 - halfWidth - 3, 100 + ascent + 3, 100 + halfWidth + 3);
}

TEST_F(ShapePlotterTest, PixmapsTurnAndClipTheirSourceWithoutMirroring) {
  ObjectRef image = RedBlueImage();
  ObjectRef pixmap = Pixmap(image, 100, 100);  // the box 80..119
  auto* fields = FieldsOf<PixmapShapeFields>(pixmap);
  ShapeOf(pixmap)->rotation = kPi / 2;
  Draw(pixmap);
  EXPECT_EQ(At(100, 88), kRed);
  EXPECT_EQ(At(100, 112), kBlue);
  for (auto [x, y] : Points{{100, 55}, {100, 145}, {55, 100}, {145, 100}}) {
    EXPECT_EQ(At(x, y), kWhite) << x << "," << y;
  }
  Clear();
  ShapeOf(pixmap)->rotation = 0;
  fields->sourceLeft = -10;
  Draw(pixmap);
  EXPECT_EQ(At(88, 100), kWhite);
  EXPECT_EQ(At(92, 100), kRed);
  EXPECT_EQ(At(112, 100), kBlue);
  ShapeOf(pixmap)->border = 1;
  ShapeOf(pixmap)->borderColor = kGreen;
  for (auto [left, height] : Points{{-40, 40}, {200, 40}, {0, -5}}) {
    Clear();
    fields->sourceLeft = left;
    fields->sourceHeight = height;
    Draw(pixmap);
    const std::vector<uint32_t> pixels = Pixels();
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), kRed) + std::count(pixels.begin(), pixels.end(), kBlue), 0);
    EXPECT_EQ(At(80, 100), kGreen);
  }
}

TEST_F(ShapePlotterTest, GroupsAreDrawnTo128LevelsDeep) {
  for (int32_t levels : {128, 129}) {
    Clear();
    ObjectRef inner = Shape(GetRectShapeDefinition(), 100, 100, 20, 20);
    for (int32_t level = 0; level < levels; ++level) {
      ObjectRef group = NewShape(GetGroup2DDefinition());
      Group2DAppend(group.get(), inner.get());
      inner = group;
    }
    Draw(inner);
    EXPECT_EQ(At(100, 100), levels == 128 ? kRed : kWhite) << levels;
  }
}

double Seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(ShapePlotterTest, DegenerateAndHostileShapesFinishAtOnceAndStayInPlace) {
  ObjectRef capsule = Shape(GetRoundRectShapeDefinition(), 100, 100, 100, 40);
  FieldsOf<RoundRectShapeFields>(capsule)->cornerWidth = 100;
  FieldsOf<RoundRectShapeFields>(capsule)->cornerHeight = 40;
  ObjectRef arc = Shape(GetArcShapeDefinition(), 100, 100, 60, 60);
  FieldsOf<ArcShapeFields>(arc)->arcAngle = 0;
  ObjectRef flat = Shape(GetRectShapeDefinition(), 100, 100, 0, 50);
  ObjectRef figure = NewShape(GetFigureShapeDefinition());
  FigureShapeAddLine(figure.get(), 60, 60, 140, 60);
  FigureShapeAddLine(figure.get(), 140, 60, 140, 60);
  FigureShapeAddLine(figure.get(), 140, 60, 100, 140);
  for (const ObjectRef& shape : {capsule, arc, flat, figure}) {
    Clear();
    ShapeOf(shape)->border = 1;
    ShapeOf(shape)->borderWidth = 4;
    EXPECT_LT(Seconds([&] { Draw(shape); }), 1.0);
    ShapeBox bounds{};
    ASSERT_TRUE(ShapeBounds(shape.get(), &bounds));
    ExpectInkWithin(bounds.left - 4, bounds.top - 4, bounds.right + 4, bounds.bottom + 4);
  }

  auto liveCounts = [] {
    GraphicsPort::UnfocusCurrent();
    std::vector<int32_t> counts;
    for (int32_t kind = 0; kind < int32_t(GdiKind::kCount); ++kind) counts.push_back(GdiLiveCount(GdiKind(kind)));
    return counts;
  };
  ObjectRef image = RedBlueImage();
  const std::vector<int32_t> baseline = liveCounts();
  const std::function<void(Object2DFields*)> hostile[] = {
      [](Object2DFields* s) { s->x = 1e300; },
      [](Object2DFields* s) { s->y = -1e300; },
      [](Object2DFields* s) { s->scale = INFINITY; },
      [](Object2DFields* s) { reinterpret_cast<RectShapeFields*>(s)->width = NAN; },
      [](Object2DFields* s) { s->borderWidth = 1e9; }};
  for (size_t i = 0; i < std::size(hostile); ++i) {
    for (ObjectRef shape : {Shape(GetRectShapeDefinition(), 100, 100, 50, 50),
                            Shape(GetOvalShapeDefinition(), 100, 100, 50, 50), Pixmap(image, 100, 100)}) {
      ShapeOf(shape)->border = 1;
      hostile[i](ShapeOf(shape));
      EXPECT_LT(Seconds([&] { Draw(shape); }), 1.0) << i;
    }
  }
  EXPECT_LT(Seconds([&] { Draw(Text("NaN", 100, 100, NAN)); }), 1.0);
  EXPECT_EQ(liveCounts(), baseline);
}

TEST_F(ShapePlotterTest, OffsetsMoveThePixelsButNeverTheShape) {
  ObjectRef rect = Shape(GetRectShapeDefinition(), 60, 60, 40, 20);
  ShapeOf(rect)->rotation = 0.3;
  ShapeOf(rect)->border = 1;
  ShapeOf(rect)->borderWidth = 3;
  auto fieldBytes = [&] {
    const auto* bytes = reinterpret_cast<const uint8_t*>(rect.get());
    return std::vector<uint8_t>(bytes, bytes + sizeof(RectShapeFields));
  };
  const std::vector<uint8_t> fields = fieldBytes();
  Draw(rect);
  const std::vector<uint32_t> unmoved = Pixels();
  Clear();
  Draw(rect, 10, 5);
  for (int32_t y = 5; y < 200; ++y) {
    for (int32_t x = 10; x < 200; ++x) ASSERT_EQ(At(x, y), unmoved[size_t((y - 5) * 200 + x - 10)]);
  }
  EXPECT_EQ(fieldBytes(), fields);

  ObjectRef twice = NewShape(GetGroup2DDefinition());
  Group2DAppend(twice.get(), rect.get());
  Group2DAppend(twice.get(), rect.get());
  Clear();
  Draw(rect, 10, 0);
  const std::vector<uint32_t> once = Pixels();
  Clear();
  Draw(twice, 10, 0);
  EXPECT_EQ(Pixels(), once);

  graphicsTextFontSetter(graphics_.get(), 0, StringRef::Adopt(StringFromASCII("Courier")).get());
  graphicsTextSizeSetter(graphics_.get(), 0, 17);
  graphicsForeColorSetter(graphics_.get(), 0, 0x123456);
  graphicsPenWidthSetter(graphics_.get(), 0, 3);
  Draw(Text("state", 100, 100, 0));
  Draw(Text("state", 100, 100, 1));
  StringRef font = StringRef::Adopt(graphicsTextFontGetter(graphics_.get(), 0));
  EXPECT_EQ(StringToStdUTF8(font.get()), "Courier");
  EXPECT_EQ(graphicsTextSizeGetter(graphics_.get(), 0), 17);
  EXPECT_EQ(graphicsForeColorGetter(graphics_.get(), 0), 0x123456u);
  EXPECT_EQ(graphicsPenWidthGetter(graphics_.get(), 0), 3);
}

TEST_F(ShapePlotterTest, PicturesDrawTheirObjectsUnscaledInsideTheDestination) {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef rect = Shape(GetRectShapeDefinition(), 10, 5, 20, 10);
  Group2DAppend(group.get(), rect.get());
  ObjectRef vector = NewPicture(100, 50, 0);
  pictureObjectsSetter(vector.get(), 0, group.get());
  const int32_t D = kDrawPictureDefaultSize;
  const struct {
    int32_t x, y, w1, h1, sx, sy, w2, h2;
    Box red;
  } cases[] = {{30, 40, D, D, 0, 0, D, D, {30, 40, 49, 49}},
               {30, 40, 15, 50, 0, 0, D, D, {30, 40, 44, 49}},
               {30, 40, 100, 50, 10, 5, 100, 50, {30, 40, 39, 44}},
               {100, 0, 200, 100, 0, 0, 100, 50, {100, 0, 119, 9}}};
  for (const auto& c : cases) {
    Clear();
    RuntimeGraphicsDrawPicture(graphics_.get(), vector.get(), c.x, c.y, c.w1, c.h1, c.sx, c.sy, c.w2,
                               c.h2);
    for (int32_t y = 0; y < 200; ++y) {
      for (int32_t x = 0; x < 200; ++x) {
        // Two pixels clear of the box's edges, either way.
        auto within = [&](int32_t margin) {
          return x >= c.red.left - margin && x <= c.red.right + margin &&
                 y >= c.red.top - margin && y <= c.red.bottom + margin;
        };
        const bool red = At(x, y) == kRed;
        if ((within(-2) && !red) || (!within(2) && red)) ADD_FAILURE() << c.x << ": " << x << "," << y;
      }
    }
  }
  ObjectRef green = NewPicture(100, 50, 32);
  PaintWhole(green, kGreen);
  pictureObjectsSetter(green.get(), 0, group.get());
  Clear();
  RuntimeGraphicsDrawPicture(graphics_.get(), green.get(), 30, 40, D, D, 0, 0, D, D);
  EXPECT_EQ(At(40, 45), kRed);
  EXPECT_EQ(At(80, 70), kGreen);
}

}  // namespace
