// The shape transforms, setters and outline builders with any doubles (NaN,
// infinities, 1e308 and the like taken straight from the input): no crash,
// no hang, and every outline within the point caps and free of non-finite
// coordinates.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "graphics/ShapeGeometry.h"
#include "graphics/Shapes2D.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The largest outline a builder may give: a figure of three cubic curves.
constexpr uint32_t kMostPoints = 3 * (kMaxCurveSegments + 2) + kMaxOvalSegments + 8;

double Number(fuzz::Reader& input) { return input.Take<double>(); }

void FillBase(fuzz::Reader& input, RuntimeObject* shape) {
  auto* fields = reinterpret_cast<Object2DFields*>(shape);
  fields->x = Number(input);
  fields->y = Number(input);
  fields->rotation = Number(input);
  fields->scale = Number(input);
}

RuntimeObject* NewBoxShape(fuzz::Reader& input) {
  static ObjectDefinition* (*const kinds[])() = {GetRectShapeDefinition, GetOvalShapeDefinition,
                                                 GetRoundRectShapeDefinition,
                                                 GetArcShapeDefinition};
  const int kind = input.Take<uint8_t>() % 4;
  RuntimeObject* shape = CreateInstance(kinds[kind]());
  FillBase(input, shape);
  auto* rect = reinterpret_cast<RectShapeFields*>(shape);
  rect->width = Number(input);
  rect->height = Number(input);
  if (kind == 1 || kind == 3) reinterpret_cast<OvalShapeFields*>(shape)->segments = input.Take<int32_t>();
  if (kind == 2) {
    auto* round = reinterpret_cast<RoundRectShapeFields*>(shape);
    round->cornerWidth = Number(input);
    round->cornerHeight = Number(input);
    round->segments = input.Take<int32_t>();
  }
  if (kind == 3) {
    auto* arc = reinterpret_cast<ArcShapeFields*>(shape);
    arc->startAngle = Number(input);
    arc->arcAngle = Number(input);
  }
  return shape;
}

RuntimeObject* NewFigure(fuzz::Reader& input) {
  RuntimeObject* figure = CreateInstance(GetFigureShapeDefinition());
  const int curves = input.Take<uint8_t>() % 4;
  for (int i = 0; i < curves; ++i) {
    float v[8];
    for (float& value : v) value = input.Take<float>();
    switch (input.Take<uint8_t>() % 3) {
      case 0: FigureShapeAddLine(figure, v[0], v[1], v[2], v[3]); break;
      case 1: FigureShapeAddQuad(figure, v[0], v[1], v[2], v[3], v[4], v[5]); break;
      default: FigureShapeAddCubic(figure, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    }
  }
  return figure;
}

void CheckOutline(const RuntimeObject* shape) {
  PointList list;
  list.Init(kPointListStep);
  ShapeOutline(shape, &list);
  if (list.count > kMostPoints) fuzz::Fail("outline over the point cap");
  for (uint32_t i = 0; i < list.count; ++i)
    if (!std::isfinite(list.block[i].x) || !std::isfinite(list.block[i].y))
      fuzz::Fail("outline with a non-finite point");
  list.Dispose();
  ShapeBox box;
  ShapeBounds(shape, &box);
}

void Exercise(fuzz::Reader& input, RuntimeObject* shape) {
  const auto* fields = reinterpret_cast<const Object2DFields*>(shape);
  Object2DWorldToLocal(fields, Object2DLocalToWorld(fields, {Number(input), Number(input)}));
  ShapeContains(shape, Number(input), Number(input));
  CheckOutline(shape);
  Object2DSetPosition(shape, Number(input), Number(input));
  Object2DSetScale(shape, Number(input));
  Object2DSetRotation(shape, Number(input));
  CheckOutline(shape);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InitObject2DClasses();  // once; later calls change nothing
  fuzz::Reader input(data, size);
  RuntimeObject* box = NewBoxShape(input);
  RuntimeObject* figure = NewFigure(input);
  RuntimeObject* group = CreateInstance(GetGroup2DDefinition());
  FillBase(input, group);
  Group2DAppend(group, box);
  Group2DAppend(group, figure);
  Exercise(input, box);
  Exercise(input, figure);
  Exercise(input, group);
  RuntimeUnlockObject(group);
  RuntimeUnlockObject(figure);
  RuntimeUnlockObject(box);
  fuzz::FailOnRecordedBoxes();
  return 0;
}
