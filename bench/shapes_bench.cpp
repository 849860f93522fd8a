// Timings of the vector shapes: member-list appends and removals, outline
// building, hit tests and turning a group. Prints figures only; it checks
// nothing and is not run as a test.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "core/RuntimeObjectFoundation.h"
#include "core/SmartRef.h"
#include "graphics/ShapeGeometry.h"
#include "graphics/Shapes2D.h"

namespace {

double MillisecondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  return elapsed.count();
}

ObjectRef NewShape(ObjectDefinition* definition) {
  return ObjectRef::Adopt(CreateInstance(definition));
}

double TimeAppends(int32_t count, RuntimeObject* member) {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  return MillisecondsOf([&] {
    for (int32_t i = 0; i < count; ++i) Group2DAppend(group.get(), member);
  });
}

void BenchmarkMemberList() {
  ObjectRef rect = NewShape(GetRectShapeDefinition());
  const double small = TimeAppends(10000, rect.get());
  const double large = TimeAppends(100000, rect.get());
  std::printf("Group2DAppend   10,000: %9.2f ms\n", small);
  std::printf("Group2DAppend  100,000: %9.2f ms  (ratio %.1f for 10x the appends)\n", large,
              large / small);

  ObjectRef group = NewShape(GetGroup2DDefinition());
  for (int32_t i = 0; i < 100000; ++i) Group2DAppend(group.get(), rect.get());
  const double removals = MillisecondsOf([&] {
    for (int32_t i = 100000; i > 0; --i) Group2DRemoveByIndex(group.get(), i - 1);
  });
  std::printf("Group2DRemoveByIndex 100,000 from the end: %9.2f ms\n", removals);
}

void TimeOutlines(const char* label, RuntimeObject* shape) {
  PointList list;
  list.Init(kPointListStep);
  uint64_t points = 0;
  const double ms = MillisecondsOf([&] {
    for (int32_t i = 0; i < 10000; ++i) {
      ShapeOutline(shape, &list);
      points += list.count;
    }
  });
  std::printf("%-28s 10,000 builds of %4u points: %9.2f ms, %.1f M points/s\n", label,
              unsigned(list.count), ms, points / ms / 1000.0);
  list.Dispose();
}

void BenchmarkOutlines() {
  ObjectRef oval = NewShape(GetOvalShapeDefinition());
  ObjectFields<OvalShapeFields>(oval.get())->segments = 1024;
  TimeOutlines("oval", oval.get());

  ObjectRef roundRect = NewShape(GetRoundRectShapeDefinition());
  auto* corners = ObjectFields<RoundRectShapeFields>(roundRect.get());
  corners->cornerWidth = 30;
  corners->cornerHeight = 20;
  corners->segments = 1024;
  TimeOutlines("rounded rectangle", roundRect.get());

  ObjectRef cubic = NewShape(GetCurveShapeDefinition());
  auto* curve = ObjectFields<CurveShapeFields>(cubic.get());
  curve->order = 2;
  curve->segments = 512;
  curve->control[0] = {0, 100};
  curve->control[1] = {100, 0};
  TimeOutlines("cubic curve", cubic.get());
}

void BenchmarkHitTests() {
  struct Kind {
    const char* label;
    ObjectDefinition* (*definition)();
  };
  const Kind kinds[] = {{"rectangle", GetRectShapeDefinition},
                        {"oval", GetOvalShapeDefinition},
                        {"rounded rectangle", GetRoundRectShapeDefinition},
                        {"arc", GetArcShapeDefinition},
                        {"pixmap", GetPixmapShapeDefinition}};
  for (const Kind& kind : kinds) {
    ObjectRef shape = NewShape(kind.definition());
    auto* box = ObjectFields<RectShapeFields>(shape.get());
    box->width = 100;
    box->height = 60;
    if (kind.definition == GetRoundRectShapeDefinition) {
      ObjectFields<RoundRectShapeFields>(shape.get())->cornerWidth = 30;
      ObjectFields<RoundRectShapeFields>(shape.get())->cornerHeight = 30;
    }
    Object2DSetRotation(shape.get(), 0.3);
    int32_t inside = 0;
    const double ms = MillisecondsOf([&] {
      for (int32_t i = 0; i < 1000000; ++i) {
        inside += RectShapeContains(shape.get(), (i % 1000) * 0.12 - 60, (i / 1000) * 0.08 - 40);
      }
    });
    std::printf("Contains %-18s 1,000,000 calls: %9.2f ms (%d inside)\n", kind.label, ms, inside);
  }
}

void BenchmarkGroupTurn() {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  for (int32_t i = 0; i < 10000; ++i) {
    ObjectRef rect = NewShape(GetRectShapeDefinition());
    Object2DSetPosition(rect.get(), i % 100 * 10.0, i / 100 * 10.0);
    Group2DAppend(group.get(), rect.get());
  }
  const double ms = MillisecondsOf([&] { Object2DSetRotation(group.get(), 0.5); });
  std::printf("Rotation of a group of 10,000 rectangles: %9.3f ms\n", ms);
}

}  // namespace

int main() {
  InitObject2DClasses();
  BenchmarkMemberList();
  BenchmarkOutlines();
  BenchmarkHitTests();
  BenchmarkGroupTurn();
  return 0;
}
