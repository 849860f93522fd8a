// The vector shape classes: initialisers, destroy functions, member lists,
// property and method entry points, and registration.
#include "graphics/Shapes2D.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <unordered_set>
#include <vector>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/ShapeGeometry.h"

namespace {

const char kSource[] = "Shapes2D";
const char kCycleMessage[] = "A group cannot contain itself.";
constexpr double kTwoPi = 6.28318530717958647692528676655900577;
constexpr double kHalfPi = 1.57079632679489661923132169163975144;

PictureSizeQuery g_pictureSize = nullptr;

void ReportCallerFault(int32_t line, const char* condition) {
  AssertionFailed(131, 4, kSource, line, condition, nullptr);
}

Object2DFields* ShapeOf(RuntimeObject* object) { return ObjectFields<Object2DFields>(object); }

bool IsContainer(RuntimeObject* shape) {
  const uint32_t tag = ShapeOf(shape)->tag;
  return tag == kTagGroup || tag == kTagFigure;
}

#define SHAPE_ARGUMENT(Fields, object, Class)                                          \
  InstanceArgument<Fields>(object, Get##Class##Definition(), kSource, __LINE__,         \
                           "ObjectIsADefinition(" #object ", Get" #Class "Definition())")

ShapeContainerFields* ContainerArgument(RuntimeObject* container) {
  if (container && ObjectIsADefinition(container, GetFigureShapeDefinition())) {
    return ObjectFields<ShapeContainerFields>(container);
  }
  return SHAPE_ARGUMENT(ShapeContainerFields, container, Group2D);
}

bool InRange(int32_t index, uint32_t limit) { return index >= 0 && uint32_t(index) < limit; }

// ---- Initialisers and destroy functions ---------------------------------------

void InitialiseObject2D(RuntimeObject* object) {
  Object2DFields* shape = ShapeOf(object);
  shape->tag = kTagObject2D;
  shape->scale = 1;
  shape->fill = 1;
  shape->border = 0;
  shape->borderWidth = 1;
}

void InitialiseRectShape(RuntimeObject* object) {
  auto* rect = ObjectFields<RectShapeFields>(object);
  rect->base.tag = kTagRect;
  rect->width = 100;
  rect->height = 100;
}

void InitialiseRoundRectShape(RuntimeObject* object) { ShapeOf(object)->tag = kTagRoundRect; }

void InitialiseOvalShape(RuntimeObject* object) { ShapeOf(object)->tag = kTagOval; }

void InitialiseArcShape(RuntimeObject* object) {
  auto* arc = ObjectFields<ArcShapeFields>(object);
  arc->base.base.base.tag = kTagArc;
  arc->startAngle = 0;
  arc->arcAngle = kHalfPi;
}

void InitialisePixmapShape(RuntimeObject* object) {
  auto* pixmap = ObjectFields<PixmapShapeFields>(object);
  pixmap->base.base.tag = kTagPixmap;
  pixmap->base.width = 0;
  pixmap->base.height = 0;
}

void DestroyPixmapShape(RuntimeObject* object) {
  auto* pixmap = ObjectFields<PixmapShapeFields>(object);
  RuntimeObject* image = pixmap->image;
  pixmap->image = nullptr;
  RuntimeUnlockObject(image);
}

void InitialiseStringShape(RuntimeObject* object) {
  auto* text = ObjectFields<StringShapeFields>(object);
  text->base.tag = kTagString;
  text->textSize = 12;
  text->textFont = StringFromASCII("System");
}

void DestroyStringShape(RuntimeObject* object) {
  auto* text = ObjectFields<StringShapeFields>(object);
  StringRecordRelease(text->text);
  text->text = nullptr;
  StringRecordRelease(text->textFont);
  text->textFont = nullptr;
}

void InitialiseCurveShape(RuntimeObject* object) {
  auto* curve = ObjectFields<CurveShapeFields>(object);
  curve->base.tag = kTagCurve;
  curve->x2 = 100;
  curve->y2 = 100;
  curve->base.fill = 0;
  curve->base.border = 1;
}

void InitialiseGroup2D(RuntimeObject* object) {
  auto* group = ObjectFields<ShapeContainerFields>(object);
  group->base.tag = kTagGroup;
  group->members.Init(kShapeMemberStep);
}

void InitialiseFigureShape(RuntimeObject* object) {
  auto* figure = ObjectFields<ShapeContainerFields>(object);
  figure->base.tag = kTagFigure;
  figure->members.Init(kShapeMemberStep);
}

// Containers whose last reference a destroy function dropped wait here for
// the outermost destroy, which releases them one after another: releasing a
// chain of nested groups never recurses through it.
ShapeMemberList g_releaseQueue;  // zero: step 0, no block
bool g_releasingQueue = false;

void ReleaseMember(RuntimeObject* member) {
  if (member && member->refCount == 1 && IsContainer(member) && g_releaseQueue.Append(member)) {
    return;
  }
  RuntimeUnlockObject(member);
}

// The list is detached first (count 0), so nothing the releases run sees a
// member that is gone.
void DestroyShapeContainer(RuntimeObject* object) {
  ShapeMemberList& members = ObjectFields<ShapeContainerFields>(object)->members;
  RuntimeObject** block = members.block;
  const uint32_t count = members.count;
  members.block = nullptr;
  members.count = 0;
  members.capacity = 0;
  for (uint32_t i = 0; i < count; ++i) ReleaseMember(block[i]);
  RuntimeFree(block);

  if (g_releasingQueue) return;
  g_releasingQueue = true;
  while (g_releaseQueue.count > 0) {
    RuntimeUnlockObject(g_releaseQueue.RemoveAt(g_releaseQueue.count - 1));
  }
  g_releaseQueue.Dispose();
  g_releasingQueue = false;
}

// ---- Member lists -------------------------------------------------------------

// Whether adding the candidate would make the container hold itself, at any
// depth. Each member list reachable from the candidate is read once.
bool WouldHoldItself(RuntimeObject* container, RuntimeObject* candidate) {
  if (candidate == container) return true;
  if (!candidate || !IsContainer(candidate)) return false;
  std::vector<RuntimeObject*> pending{candidate};
  std::unordered_set<RuntimeObject*> seen{candidate};
  while (!pending.empty()) {
    const ShapeMemberList& members = ObjectFields<ShapeContainerFields>(pending.back())->members;
    pending.pop_back();
    for (uint32_t i = 0; i < members.count; ++i) {
      RuntimeObject* member = members.block[i];
      if (member == container) return true;
      if (member && IsContainer(member) && seen.insert(member).second) pending.push_back(member);
    }
  }
  return false;
}

// Nil and shapes are accepted, a container that would hold itself raises, and
// anything else is reported.
bool AcceptableMember(RuntimeObject* container, RuntimeObject* shape) {
  if (shape && !ObjectIsADefinition(shape, GetObject2DDefinition())) {
    ReportCallerFault(__LINE__, "ObjectIsADefinition(shape, GetObject2DDefinition())");
    return false;
  }
  if (WouldHoldItself(container, shape)) {
    RaiseExceptionWithMessage(GetRuntimeExceptionClassDefinition(), kCycleMessage, 0);
    return false;
  }
  return true;
}

void InsertMember(ShapeContainerFields* container, uint32_t index, RuntimeObject* shape) {
  if (container->members.Insert(index, shape)) RuntimeLockObject(shape);
}

// The gap is closed and the list shrunk before the member is released, so a
// destructor the release runs sees the container without it.
void RemoveMember(ShapeContainerFields* container, uint32_t index) {
  RuntimeUnlockObject(container->members.RemoveAt(index));
}

// ---- Curves ---------------------------------------------------------------------

ShapePoint* ControlPoint(RuntimeObject* object, int32_t index) {
  auto* curve = SHAPE_ARGUMENT(CurveShapeFields, object, CurveShape);
  if (!curve) return nullptr;
  if (!InRange(index, 2)) {
    RaiseOutOfBoundsException();
    return nullptr;
  }
  return &curve->control[index];
}

struct CurveSpec {
  int32_t order;
  ShapePoint start, end, control0, control1;
};

// A new curve with the given points, appended to the figure; its other fields
// keep their defaults.
void AddCurve(RuntimeObject* figure, const CurveSpec& spec) {
  auto* fields = SHAPE_ARGUMENT(ShapeContainerFields, figure, FigureShape);
  if (!fields) return;
  RuntimeObject* object = CreateInstance(GetCurveShapeDefinition());
  if (!object) return;
  auto* curve = ObjectFields<CurveShapeFields>(object);
  curve->order = spec.order;
  curve->base.x = spec.start.x;
  curve->base.y = spec.start.y;
  curve->x2 = spec.end.x;
  curve->y2 = spec.end.y;
  curve->control[0] = spec.control0;
  curve->control[1] = spec.control1;
  InsertMember(fields, fields->members.count, object);
  RuntimeUnlockObject(object);
}

// The i686 build computes in the x87's 80 bits; storing rounds to the value
// a double field will hold.
double RoundedToDouble(double value) {
  volatile double stored = value;
  return stored;
}

// ---- Tables ---------------------------------------------------------------------

#define PLAIN(name, type, getter, setter, Fields, field)                                    \
  {kPropertyPassesParameter, name, type, RUNTIME_ENTRY(getter), RUNTIME_ENTRY(setter), \
   uint32_t(offsetof(Fields, field))}
#define ROUTED(name, type, getter, setter, Fields, field)                                   \
  {kPropertyPassesParameter | kPropertyGenericGetter, name, type, RUNTIME_ENTRY(getter), \
   RUNTIME_ENTRY(setter), uint32_t(offsetof(Fields, field))}

const PropertyRecord kObject2DProperties[] = {
    ROUTED("X", &kDoubleType, doubleGetter, Object2DDoubleSetter, Object2DFields, x),
    ROUTED("Y", &kDoubleType, doubleGetter, Object2DDoubleSetter, Object2DFields, y),
    ROUTED("Rotation", &kDoubleType, doubleGetter, Object2DDoubleSetter, Object2DFields, rotation),
    ROUTED("Scale", &kDoubleType, doubleGetter, Object2DDoubleSetter, Object2DFields, scale),
    PLAIN("Fill", &kDoubleType, doublePercentGetter, doublePercentSetter, Object2DFields, fill),
    PLAIN("Border", &kDoubleType, doublePercentGetter, doublePercentSetter, Object2DFields, border),
    PLAIN("FillColor", &kColorType, colorGetter, colorSetter, Object2DFields, fillColor),
    PLAIN("BorderColor", &kColorType, colorGetter, colorSetter, Object2DFields, borderColor),
    PLAIN("BorderWidth", &kDoubleType, doubleGetter, doubleSetter, Object2DFields, borderWidth),
};

const PropertyRecord kRectShapeProperties[] = {
    PLAIN("Width", &kDoubleType, doubleGetter, doubleSetter, RectShapeFields, width),
    PLAIN("Height", &kDoubleType, doubleGetter, doubleSetter, RectShapeFields, height),
};

const PropertyRecord kRoundRectShapeProperties[] = {
    PLAIN("CornerWidth", &kDoubleType, doubleGetter, doubleSetter, RoundRectShapeFields,
          cornerWidth),
    PLAIN("CornerHeight", &kDoubleType, doubleGetter, doubleSetter, RoundRectShapeFields,
          cornerHeight),
    PLAIN("Segments", &kIntegerType, intGetter, intSetter, RoundRectShapeFields, segments),
};

const PropertyRecord kOvalShapeProperties[] = {
    PLAIN("Segments", &kIntegerType, intGetter, intSetter, OvalShapeFields, segments),
};

const PropertyRecord kArcShapeProperties[] = {
    ROUTED("StartAngle", &kDoubleType, doubleGetter, ArcStartAngleSetter, ArcShapeFields,
           startAngle),
    PLAIN("ArcAngle", &kDoubleType, doubleGetter, doubleSetter, ArcShapeFields, arcAngle),
};

// Image's type is the Picture class, set when that class registers.
PropertyRecord g_pixmapShapeProperties[] = {
    PLAIN("Image", nullptr, objGetter, objSetter, PixmapShapeFields, image),
    PLAIN("SourceLeft", &kIntegerType, intGetter, intSetter, PixmapShapeFields, sourceLeft),
    PLAIN("SourceTop", &kIntegerType, intGetter, intSetter, PixmapShapeFields, sourceTop),
    PLAIN("SourceWidth", &kIntegerType, intGetter, intSetter, PixmapShapeFields, sourceWidth),
    PLAIN("SourceHeight", &kIntegerType, intGetter, intSetter, PixmapShapeFields, sourceHeight),
};
ParameterRecord g_pixmapImageParameter[] = {{"image", nullptr, 0}};

const PropertyRecord kStringShapeProperties[] = {
    PLAIN("Text", &kStringType, stringGetter, stringSetter, StringShapeFields, text),
    PLAIN("TextFont", &kStringType, stringGetter, stringSetter, StringShapeFields, textFont),
    PLAIN("TextSize", &kDoubleType, doubleGetter, doubleSetter, StringShapeFields, textSize),
    PLAIN("Bold", &kBooleanType, boolGetter, boolSetter, StringShapeFields, bold),
    PLAIN("Italic", &kBooleanType, boolGetter, boolSetter, StringShapeFields, italic),
    PLAIN("Underline", &kBooleanType, boolGetter, boolSetter, StringShapeFields, underline),
};

const PropertyRecord kCurveShapeProperties[] = {
    PLAIN("X2", &kDoubleType, doubleGetter, doubleSetter, CurveShapeFields, x2),
    PLAIN("Y2", &kDoubleType, doubleGetter, doubleSetter, CurveShapeFields, y2),
    ROUTED("Order", &kIntegerType, intGetter, CurveOrderSetter, CurveShapeFields, order),
    PLAIN("Segments", &kIntegerType, intGetter, intSetter, CurveShapeFields, segments),
};

const PropertyRecord kContainerProperties[] = {
    {kPropertyReadOnly, "Count", &kIntegerType, RUNTIME_ENTRY(Group2DCount), nullptr, nullptr, 0},
};

#undef PLAIN
#undef ROUTED

// The methods the member-list classes share, with their member type.
struct ContainerMethods {
  explicit ContainerMethods(const char* memberName, ObjectDefinition* memberType)
      : member{{memberName, memberType, 0}},
        indexAndMember{{"index", &kIntegerType, 0}, {memberName, memberType, 0}},
        records{
            MakeMethodRecord("Append", nullptr, member, 1, RUNTIME_ENTRY(Group2DAppend)),
            MakeMethodRecord("Insert", nullptr, indexAndMember, 2, RUNTIME_ENTRY(Group2DInsert)),
            MakeMethodRecord("Item", memberType, indexAndMember, 1, RUNTIME_ENTRY(Group2DGetItem),
                             RUNTIME_ENTRY(Group2DSetItem)),
            MakeMethodRecord("Remove", nullptr, member, 1, RUNTIME_ENTRY(Group2DRemoveByObject)),
            MakeMethodRecord("Remove", nullptr, indexAndMember, 1,
                             RUNTIME_ENTRY(Group2DRemoveByIndex))} {}

  ParameterRecord member[1];
  ParameterRecord indexAndMember[2];
  MethodRecord records[5];
};

struct ClassSpec {
  const char* name;
  ObjectDefinition* superclass;
  uint32_t instanceSize;
  ObjectInitialiser initialiser;
  ObjectDestructor destructor;
  const PropertyRecord* properties;
  int32_t propertyCount;
  const MethodRecord* methods;
  int32_t methodCount;
};

ObjectDefinition* FillDefinition(ObjectDefinition* definition, const ClassSpec& spec) {
  ObjectDefinitionSetName(definition, spec.name);
  definition->superclass = spec.superclass;
  definition->instanceSize = spec.instanceSize;
  definition->initialiser = spec.initialiser;
  definition->destructor = spec.destructor;
  BuildPropertyDefinitions(definition, spec.properties, spec.propertyCount);
  if (spec.methodCount) BuildMethodDefinitions(definition, spec.methods, spec.methodCount);
  return definition;
}

#define COUNTED(table) table, int32_t(std::size(table))

ObjectDefinition* MakeObject2D() {
  static ObjectDefinition definition;
  return FillDefinition(&definition, {"Object2D", nullptr, sizeof(Object2DFields),
                                      InitialiseObject2D, nullptr,
                                      COUNTED(kObject2DProperties), nullptr, 0});
}

ObjectDefinition* MakeRectShape() {
  static ObjectDefinition definition;
  static const ParameterRecord point[] = {{"x", &kDoubleType, 0}, {"y", &kDoubleType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Contains", &kBooleanType, point, 2, RUNTIME_ENTRY(RectShapeContains)),
  };
  return FillDefinition(&definition, {"RectShape", GetObject2DDefinition(),
                                      sizeof(RectShapeFields), InitialiseRectShape, nullptr,
                                      COUNTED(kRectShapeProperties), COUNTED(methods)});
}

ObjectDefinition* MakeRoundRectShape() {
  static ObjectDefinition definition;
  return FillDefinition(&definition, {"RoundRectShape", GetRectShapeDefinition(),
                                      sizeof(RoundRectShapeFields), InitialiseRoundRectShape,
                                      nullptr, COUNTED(kRoundRectShapeProperties), nullptr, 0});
}

ObjectDefinition* MakeOvalShape() {
  static ObjectDefinition definition;
  return FillDefinition(&definition, {"OvalShape", GetRectShapeDefinition(),
                                      sizeof(OvalShapeFields), InitialiseOvalShape, nullptr,
                                      COUNTED(kOvalShapeProperties), nullptr, 0});
}

ObjectDefinition* MakeArcShape() {
  static ObjectDefinition definition;
  return FillDefinition(&definition, {"ArcShape", GetOvalShapeDefinition(),
                                      sizeof(ArcShapeFields), InitialiseArcShape, nullptr,
                                      COUNTED(kArcShapeProperties), nullptr, 0});
}

ObjectDefinition* MakePixmapShape() {
  static ObjectDefinition definition;
  static const MethodRecord methods[] = {
      MakeMethodRecord("Constructor", nullptr, nullptr, 0, RUNTIME_ENTRY(PixmapShapeConstructor)),
      MakeMethodRecord("Constructor", nullptr, g_pixmapImageParameter, 1,
                       RUNTIME_ENTRY(PixmapShapeImageCtor)),
  };
  return FillDefinition(&definition, {"PixmapShape", GetRectShapeDefinition(),
                                      sizeof(PixmapShapeFields), InitialisePixmapShape,
                                      DestroyPixmapShape, COUNTED(g_pixmapShapeProperties),
                                      COUNTED(methods)});
}

ObjectDefinition* MakeStringShape() {
  static ObjectDefinition definition;
  return FillDefinition(&definition, {"StringShape", GetObject2DDefinition(),
                                      sizeof(StringShapeFields), InitialiseStringShape,
                                      DestroyStringShape, COUNTED(kStringShapeProperties),
                                      nullptr, 0});
}

ObjectDefinition* MakeCurveShape() {
  static ObjectDefinition definition;
  static const ParameterRecord index[] = {{"index", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("ControlX", &kDoubleType, index, 1, RUNTIME_ENTRY(CurveGetControlX),
                       RUNTIME_ENTRY(CurveSetControlX)),
      MakeMethodRecord("ControlY", &kDoubleType, index, 1, RUNTIME_ENTRY(CurveGetControlY),
                       RUNTIME_ENTRY(CurveSetControlY)),
  };
  return FillDefinition(&definition, {"CurveShape", GetObject2DDefinition(),
                                      sizeof(CurveShapeFields), InitialiseCurveShape, nullptr,
                                      COUNTED(kCurveShapeProperties), COUNTED(methods)});
}

ObjectDefinition* MakeGroup2D() {
  static ObjectDefinition definition;
  static const ContainerMethods methods("object2D", GetObject2DDefinition());
  return FillDefinition(&definition, {"Group2D", GetObject2DDefinition(),
                                      sizeof(ShapeContainerFields), InitialiseGroup2D,
                                      DestroyShapeContainer, COUNTED(kContainerProperties),
                                      COUNTED(methods.records)});
}

ObjectDefinition* MakeFigureShape() {
  static ObjectDefinition definition;
  static const ContainerMethods shared("curveShape", GetCurveShapeDefinition());
  static const ParameterRecord line[] = {{"x1", &kSingleType, 0},  {"y1", &kSingleType, 0},
                                         {"x2", &kSingleType, 0},  {"y2", &kSingleType, 0},
                                         {"cx1", &kSingleType, 0}, {"cy1", &kSingleType, 0},
                                         {"cx2", &kSingleType, 0}, {"cy2", &kSingleType, 0}};
  static const MethodRecord own[] = {
      MakeMethodRecord("AddLine", nullptr, line, 4, RUNTIME_ENTRY(FigureShapeAddLine)),
      MakeMethodRecord("AddQuad", nullptr, line, 6, RUNTIME_ENTRY(FigureShapeAddQuad)),
      MakeMethodRecord("AddCubic", nullptr, line, 8, RUNTIME_ENTRY(FigureShapeAddCubic)),
  };
  FillDefinition(&definition, {"FigureShape", GetObject2DDefinition(),
                               sizeof(ShapeContainerFields), InitialiseFigureShape,
                               DestroyShapeContainer, COUNTED(kContainerProperties),
                               COUNTED(shared.records)});
  BuildMethodDefinitions(&definition, COUNTED(own));
  return &definition;
}

#undef COUNTED

}  // namespace

extern "C" {

// ---- Classes -----------------------------------------------------------------------

#define DEFINITION_GETTER(Class)                                     \
  ObjectDefinition* Get##Class##Definition() {                       \
    static ObjectDefinition* const definition = Make##Class();       \
    return definition;                                               \
  }
DEFINITION_GETTER(Object2D)
DEFINITION_GETTER(RectShape)
DEFINITION_GETTER(RoundRectShape)
DEFINITION_GETTER(OvalShape)
DEFINITION_GETTER(ArcShape)
DEFINITION_GETTER(PixmapShape)
DEFINITION_GETTER(StringShape)
DEFINITION_GETTER(CurveShape)
DEFINITION_GETTER(Group2D)
DEFINITION_GETTER(FigureShape)
#undef DEFINITION_GETTER

void InitObject2DClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  ObjectDefinition* (*const definitions[])() = {
      GetObject2DDefinition,    GetRectShapeDefinition,  GetRoundRectShapeDefinition,
      GetOvalShapeDefinition,   GetArcShapeDefinition,   GetPixmapShapeDefinition,
      GetStringShapeDefinition, GetCurveShapeDefinition, GetGroup2DDefinition,
      GetFigureShapeDefinition,
  };
  for (auto definition : definitions) RegisterIntrinsicClass(definition());
}

// ---- Property accessors ---------------------------------------------------------------

double doublePercentGetter(RuntimeObject* object, uint32_t offset) {
  return doubleGetter(object, offset) * 100;
}

void doublePercentSetter(RuntimeObject* object, uint32_t offset, double value) {
  doubleSetter(object, offset, value * 0.01);
}

void Object2DDoubleSetter(RuntimeObject* object, uint32_t offset, double value) {
  Object2DFields* shape = SHAPE_ARGUMENT(Object2DFields, object, Object2D);
  if (!shape) return;
  switch (offset) {
    case offsetof(Object2DFields, x):
      Object2DSetPosition(object, value, shape->y);
      break;
    case offsetof(Object2DFields, y):
      Object2DSetPosition(object, shape->x, value);
      break;
    case offsetof(Object2DFields, rotation):
      Object2DSetRotation(object, value);
      break;
    case offsetof(Object2DFields, scale):
      Object2DSetScale(object, value);
      break;
    default:
      ReportCallerFault(__LINE__, "offset of X, Y, Rotation or Scale");
      break;
  }
}

// The remainder keeps the value's sign, so a negative one gets a whole turn
// added; a tiny negative value then rounds to 2 pi, which is stored as 0.
void ArcStartAngleSetter(RuntimeObject* arc, uint32_t offset, double value) {
  double angle = std::fmod(value, kTwoPi);
  if (angle < 0) angle = RoundedToDouble(angle + kTwoPi);
  if (angle >= kTwoPi) angle = 0;
  doubleSetter(arc, offset, angle);
}

void CurveOrderSetter(RuntimeObject* curve, uint32_t offset, int32_t value) {
  if (!curve) {
    RaiseNilObjectException();
    return;
  }
  if (value < 0 || value > 2) {
    RaiseOutOfBoundsException();
    return;
  }
  intSetter(curve, offset, value);
}

int32_t Group2DCount(RuntimeObject* container, uint32_t) {
  const ShapeContainerFields* fields = ContainerArgument(container);
  return fields ? int32_t(fields->members.count) : 0;
}

// ---- Methods ------------------------------------------------------------------------

bool RectShapeContains(RuntimeObject* shape, double x, double y) {
  return SHAPE_ARGUMENT(RectShapeFields, shape, RectShape) && ShapeContains(shape, x, y);
}

double CurveGetControlX(RuntimeObject* curve, int32_t index) {
  const ShapePoint* control = ControlPoint(curve, index);
  return control ? control->x : 0;
}

void CurveSetControlX(RuntimeObject* curve, int32_t index, double value) {
  if (ShapePoint* control = ControlPoint(curve, index)) control->x = value;
}

double CurveGetControlY(RuntimeObject* curve, int32_t index) {
  const ShapePoint* control = ControlPoint(curve, index);
  return control ? control->y : 0;
}

void CurveSetControlY(RuntimeObject* curve, int32_t index, double value) {
  if (ShapePoint* control = ControlPoint(curve, index)) control->y = value;
}

void Group2DAppend(RuntimeObject* container, RuntimeObject* shape) {
  ShapeContainerFields* fields = ContainerArgument(container);
  if (!fields || !AcceptableMember(container, shape)) return;
  InsertMember(fields, fields->members.count, shape);
}

void Group2DInsert(RuntimeObject* container, int32_t index, RuntimeObject* shape) {
  ShapeContainerFields* fields = ContainerArgument(container);
  if (!fields) return;
  if (!InRange(index, fields->members.count + 1)) {
    RaiseOutOfBoundsException();
    return;
  }
  if (AcceptableMember(container, shape)) InsertMember(fields, uint32_t(index), shape);
}

RuntimeObject* Group2DGetItem(RuntimeObject* container, int32_t index) {
  ShapeContainerFields* fields = ContainerArgument(container);
  if (!fields) return nullptr;
  if (!InRange(index, fields->members.count)) {
    RaiseOutOfBoundsException();
    return nullptr;
  }
  RuntimeObject* member = fields->members.block[index];
  RuntimeLockObject(member);
  return member;
}

// The new member is held before the old one is released: assigning a member
// its own place keeps it alive even when the list holds its only reference.
void Group2DSetItem(RuntimeObject* container, int32_t index, RuntimeObject* shape) {
  ShapeContainerFields* fields = ContainerArgument(container);
  if (!fields) return;
  if (!InRange(index, fields->members.count)) {
    RaiseOutOfBoundsException();
    return;
  }
  if (!AcceptableMember(container, shape)) return;
  RuntimeLockObject(shape);
  RuntimeObject* old = fields->members.block[index];
  fields->members.block[index] = shape;
  RuntimeUnlockObject(old);
}

void Group2DRemoveByObject(RuntimeObject* container, RuntimeObject* shape) {
  ShapeContainerFields* fields = ContainerArgument(container);
  if (!fields) return;
  for (uint32_t i = 0; i < fields->members.count; ++i) {
    if (fields->members.block[i] == shape) {
      RemoveMember(fields, i);
      return;
    }
  }
}

void Group2DRemoveByIndex(RuntimeObject* container, int32_t index) {
  ShapeContainerFields* fields = ContainerArgument(container);
  if (!fields) return;
  if (!InRange(index, fields->members.count)) {
    RaiseOutOfBoundsException();
    return;
  }
  RemoveMember(fields, uint32_t(index));
}

void FigureShapeAddLine(RuntimeObject* figure, float x1, float y1, float x2, float y2) {
  AddCurve(figure, {0, {x1, y1}, {x2, y2}, {0, 0}, {0, 0}});
}

void FigureShapeAddQuad(RuntimeObject* figure, float x1, float y1, float x2, float y2, float cx1,
                        float cy1) {
  AddCurve(figure, {1, {x1, y1}, {x2, y2}, {cx1, cy1}, {0, 0}});
}

void FigureShapeAddCubic(RuntimeObject* figure, float x1, float y1, float x2, float y2,
                         float cx1, float cy1, float cx2, float cy2) {
  AddCurve(figure, {2, {x1, y1}, {x2, y2}, {cx1, cy1}, {cx2, cy2}});
}

// CreateInstance has run the initialisers, which set the defaults.
void PixmapShapeConstructor(RuntimeObject* pixmap) {
  SHAPE_ARGUMENT(PixmapShapeFields, pixmap, PixmapShape);
}

void PixmapShapeImageCtor(RuntimeObject* object, RuntimeObject* image) {
  auto* pixmap = SHAPE_ARGUMENT(PixmapShapeFields, object, PixmapShape);
  if (!pixmap) return;
  int32_t width = 0;
  int32_t height = 0;
  const bool hasPicture = image && g_pictureSize && g_pictureSize(image, &width, &height);
  RuntimeObject* kept = hasPicture ? image : nullptr;
  RuntimeLockObject(kept);
  RuntimeObject* old = pixmap->image;
  pixmap->image = kept;
  RuntimeUnlockObject(old);
  if (!hasPicture) width = height = 0;
  pixmap->base.width = width;
  pixmap->base.height = height;
  if (hasPicture) {
    pixmap->sourceWidth = width;
    pixmap->sourceHeight = height;
  }
}

}  // extern "C"

PictureSizeQuery SetPictureSizeQuery(PictureSizeQuery query) {
  const PictureSizeQuery previous = g_pictureSize;
  g_pictureSize = query;
  return previous;
}

void SetPixmapShapePictureClass(ObjectDefinition* pictureDefinition) {
  g_pixmapShapeProperties[0].type = pictureDefinition;
  g_pixmapImageParameter[0].type = pictureDefinition;
}

bool ShapeContainerAdopt(RuntimeObject* container, RuntimeObject* const* shapes, uint32_t count) {
  bool isContainer = container && (ObjectIsADefinition(container, GetGroup2DDefinition()) ||
                                   ObjectIsADefinition(container, GetFigureShapeDefinition()));
  if (!isContainer) return false;
  ShapeMemberList& members = ObjectFields<ShapeContainerFields>(container)->members;
  // The capacity the growing rule reaches one append at a time.
  uint64_t needed = uint64_t(members.count) + count;
  uint64_t capacity = members.capacity;
  while (capacity < needed) {
    uint64_t growth = members.step ? members.step : capacity;
    capacity += growth < ShapeMemberList::kMinimumGrowth ? ShapeMemberList::kMinimumGrowth : growth;
  }
  if (capacity > ShapeMemberList::kMaximumCapacity || !members.SetCapacity(uint32_t(capacity))) {
    return false;
  }
  if (count) std::memcpy(members.block + members.count, shapes, count * sizeof(RuntimeObject*));
  members.count += count;
  return true;
}

#ifdef _WINDOWS_
#error "Shapes2D is portable: it must not include <windows.h>."
#endif
