// The shape classes: registration, defaults, accessors, constructors,
// ownership and the member lists of Group2D and FigureShape.
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ShapeTestSupport.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/FakePictureSize.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct ClassInfo {
  const char* name;
  ObjectDefinition* (*definition)();
  ObjectDefinition* (*superclass)();
  uint32_t tag;
};

const ClassInfo kClasses[] = {
    {"Object2D", GetObject2DDefinition, nullptr, 0x6F623244},
    {"RectShape", GetRectShapeDefinition, GetObject2DDefinition, 0x72656374},
    {"RoundRectShape", GetRoundRectShapeDefinition, GetRectShapeDefinition, 0x726F756E},
    {"OvalShape", GetOvalShapeDefinition, GetRectShapeDefinition, 0x6F76616C},
    {"ArcShape", GetArcShapeDefinition, GetOvalShapeDefinition, 0x61726320},
    {"PixmapShape", GetPixmapShapeDefinition, GetRectShapeDefinition, 0x70697820},
    {"StringShape", GetStringShapeDefinition, GetObject2DDefinition, 0x7374726E},
    {"CurveShape", GetCurveShapeDefinition, GetObject2DDefinition, 0x63757276},
    {"Group2D", GetGroup2DDefinition, GetObject2DDefinition, 0x67727570},
    {"FigureShape", GetFigureShapeDefinition, GetObject2DDefinition, 0x66696772},
};

uint32_t TagAtOffset24(RuntimeObject* object) {
  uint32_t tag;
  std::memcpy(&tag, reinterpret_cast<uint8_t*>(object) + 24, sizeof tag);
  return tag;
}

// Destructor calls of the recording subclasses, in order.
std::vector<RuntimeObject*> g_destroyed;
void RecordDestruction(RuntimeObject* object) { g_destroyed.push_back(object); }

using RegistrationTest = ShapeTest;

TEST_F(RegistrationTest, LookupFindsEachClassWithItsSuperclass) {
  for (const ClassInfo& info : kClasses) {
    SCOPED_TRACE(info.name);
    RuntimeClass* runtimeClass = RuntimeLookupClass(info.name);
    ASSERT_NE(runtimeClass, nullptr);
    EXPECT_EQ(runtimeClass->definition, info.definition());
    ObjectDefinition* superclass = info.superclass ? info.superclass() : nullptr;
    EXPECT_EQ(runtimeClass->parent ? runtimeClass->parent->definition : nullptr, superclass);
  }
  InitObject2DClasses();  // a second call changes nothing
  EXPECT_TRUE(TakeRecordedBoxes().empty());
}

TEST_F(RegistrationTest, NewInstancesCarryTheirTagAndOneReference) {
  for (const ClassInfo& info : kClasses) {
    SCOPED_TRACE(info.name);
    ObjectRef shape = NewShape(info.definition());
    ASSERT_TRUE(shape);
    EXPECT_EQ(shape->refCount, 1);
    EXPECT_EQ(TagAtOffset24(shape.get()), info.tag);
  }
  ClassBuilder myOval(GetOvalShapeDefinition(), "MyOval", 8);
  ObjectRef oval = ObjectRef::Adopt(myOval.NewInstance());
  EXPECT_EQ(TagAtOffset24(oval.get()), 0x6F76616Cu);
  EXPECT_EQ(ObjectFields<OvalShapeFields>(oval.get())->base.width, 100);
}

struct PropertyInfo {
  const char* name;
  const void* type;  // nil: not checked (the Picture class's, set by that class)
  bool readOnly;
};
struct MethodInfo {
  const char* name;
  uint32_t parameterCount;
  bool assignable;
};

void ExpectProperties(ObjectDefinition* definition, const std::vector<PropertyInfo>& expected) {
  size_t i = 0;
  for (const PropertyDefinition* p = definition->properties; p; p = p->next, ++i) {
    ASSERT_LT(i, expected.size()) << "extra property " << p->record->name;
    EXPECT_STREQ(p->record->name, expected[i].name);
    if (expected[i].type) {
      EXPECT_EQ(p->record->type, expected[i].type) << expected[i].name;
    }
    EXPECT_EQ((p->record->flags & kPropertyReadOnly) != 0, expected[i].readOnly)
        << expected[i].name;
    EXPECT_EQ(p->record->setter == nullptr, expected[i].readOnly) << expected[i].name;
  }
  EXPECT_EQ(i, expected.size());
}

void ExpectMethods(ObjectDefinition* definition, const std::vector<MethodInfo>& expected) {
  size_t i = 0;
  for (const MethodDefinition* m = definition->methods; m; m = m->next, ++i) {
    ASSERT_LT(i, expected.size()) << "extra method " << m->record->name;
    EXPECT_STREQ(m->record->name, expected[i].name);
    EXPECT_EQ(m->record->parameterCount, expected[i].parameterCount) << expected[i].name;
    EXPECT_EQ(m->record->setter != nullptr, expected[i].assignable) << expected[i].name;
  }
  EXPECT_EQ(i, expected.size());
}

TEST_F(RegistrationTest, MemberListsHoldTheClassesOwnMembers) {
  const void* d = &kDoubleType;
  const void* i = &kIntegerType;
  const void* c = &kColorType;
  const void* s = &kStringType;
  const void* b = &kBooleanType;
  ExpectProperties(GetObject2DDefinition(),
                   {{"X", d, false}, {"Y", d, false}, {"Rotation", d, false}, {"Scale", d, false},
                    {"Fill", d, false}, {"Border", d, false}, {"FillColor", c, false},
                    {"BorderColor", c, false}, {"BorderWidth", d, false}});
  ExpectProperties(GetRectShapeDefinition(), {{"Width", d, false}, {"Height", d, false}});
  ExpectProperties(GetRoundRectShapeDefinition(),
                   {{"CornerWidth", d, false}, {"CornerHeight", d, false}, {"Segments", i, false}});
  ExpectProperties(GetOvalShapeDefinition(), {{"Segments", i, false}});
  ExpectProperties(GetArcShapeDefinition(), {{"StartAngle", d, false}, {"ArcAngle", d, false}});
  ExpectProperties(GetPixmapShapeDefinition(),
                   {{"Image", nullptr, false}, {"SourceLeft", i, false}, {"SourceTop", i, false},
                    {"SourceWidth", i, false}, {"SourceHeight", i, false}});
  ExpectProperties(GetStringShapeDefinition(),
                   {{"Text", s, false}, {"TextFont", s, false}, {"TextSize", d, false},
                    {"Bold", b, false}, {"Italic", b, false}, {"Underline", b, false}});
  ExpectProperties(GetCurveShapeDefinition(), {{"X2", d, false}, {"Y2", d, false},
                                               {"Order", i, false}, {"Segments", i, false}});
  ExpectProperties(GetGroup2DDefinition(), {{"Count", i, true}});
  ExpectProperties(GetFigureShapeDefinition(), {{"Count", i, true}});

  ExpectMethods(GetObject2DDefinition(), {});
  ExpectMethods(GetRectShapeDefinition(), {{"Contains", 2, false}});
  ExpectMethods(GetPixmapShapeDefinition(), {{"Constructor", 0, false}, {"Constructor", 1, false}});
  ExpectMethods(GetCurveShapeDefinition(), {{"ControlX", 1, true}, {"ControlY", 1, true}});
  const std::vector<MethodInfo> memberList = {{"Append", 1, false}, {"Insert", 2, false},
                                              {"Item", 1, true},    {"Remove", 1, false},
                                              {"Remove", 1, false}};
  ExpectMethods(GetGroup2DDefinition(), memberList);
  std::vector<MethodInfo> figure = memberList;
  figure.insert(figure.end(), {{"AddLine", 4, false}, {"AddQuad", 6, false}, {"AddCubic", 8, false}});
  ExpectMethods(GetFigureShapeDefinition(), figure);

  // The member types: Object2D for a group, CurveShape for a figure.
  const MethodRecord* item = GetGroup2DDefinition()->FindMethod("Item")->record;
  EXPECT_EQ(item->returnType, GetObject2DDefinition());
  EXPECT_EQ(item->parameters[0].type, &kIntegerType);
  const MethodRecord* append = GetFigureShapeDefinition()->FindMethod("Append")->record;
  EXPECT_EQ(append->parameters[0].type, GetCurveShapeDefinition());
  const MethodRecord* addQuad = GetFigureShapeDefinition()->FindMethod("AddQuad")->record;
  EXPECT_EQ(addQuad->parameters[5].type, &kSingleType);
}

// ---- Defaults -----------------------------------------------------------------

using DefaultsTest = ShapeTest;

TEST_F(DefaultsTest, EveryClassReadsItsDefaultsThroughItsAccessors) {
  for (const ClassInfo& info : kClasses) {
    SCOPED_TRACE(info.name);
    ObjectRef shape = NewShape(info.definition());
    RuntimeObject* o = shape.get();
    const bool curve = info.definition == GetCurveShapeDefinition;
    EXPECT_EQ(GetDouble(o, "X"), 0);
    EXPECT_EQ(GetDouble(o, "Y"), 0);
    EXPECT_EQ(GetDouble(o, "Rotation"), 0);
    EXPECT_EQ(GetDouble(o, "Scale"), 1);
    EXPECT_NEAR(GetDouble(o, "Fill"), curve ? 0 : 100, 1e-12);
    EXPECT_NEAR(GetDouble(o, "Border"), curve ? 100 : 0, 1e-12);
    EXPECT_EQ(GetDouble(o, "BorderWidth"), 1);
    EXPECT_EQ(GetProperty<uint32_t>(o, "FillColor"), 0u);
    EXPECT_EQ(GetProperty<uint32_t>(o, "BorderColor"), 0u);
  }

  ObjectRef rect = NewShape(GetRectShapeDefinition());
  EXPECT_EQ(GetDouble(rect.get(), "Width"), 100);
  EXPECT_EQ(GetDouble(rect.get(), "Height"), 100);

  ObjectRef roundRect = NewShape(GetRoundRectShapeDefinition());
  EXPECT_EQ(GetDouble(roundRect.get(), "Width"), 100);
  EXPECT_EQ(GetDouble(roundRect.get(), "CornerWidth"), 0);
  EXPECT_EQ(GetDouble(roundRect.get(), "CornerHeight"), 0);
  EXPECT_EQ(GetProperty<int32_t>(roundRect.get(), "Segments"), 0);

  ObjectRef arc = NewShape(GetArcShapeDefinition());
  EXPECT_EQ(GetDouble(arc.get(), "Height"), 100);
  EXPECT_EQ(GetProperty<int32_t>(arc.get(), "Segments"), 0);
  EXPECT_EQ(GetDouble(arc.get(), "StartAngle"), 0);
  EXPECT_NEAR(GetDouble(arc.get(), "ArcAngle"), kPi / 2, 1e-15);

  ObjectRef pixmap = NewShape(GetPixmapShapeDefinition());
  EXPECT_EQ(GetDouble(pixmap.get(), "Width"), 0);
  EXPECT_EQ(GetDouble(pixmap.get(), "Height"), 0);
  EXPECT_FALSE(ObjectRef::Adopt(GetProperty<RuntimeObject*>(pixmap.get(), "Image")));
  for (const char* name : {"SourceLeft", "SourceTop", "SourceWidth", "SourceHeight"}) {
    EXPECT_EQ(GetProperty<int32_t>(pixmap.get(), name), 0) << name;
  }

  ObjectRef text = NewShape(GetStringShapeDefinition());
  EXPECT_EQ(GetDouble(text.get(), "TextSize"), 12);
  StringRef font = StringRef::Adopt(GetProperty<StringRecord*>(text.get(), "TextFont"));
  EXPECT_EQ(StringToStdUTF8(font.get()), "System");
  StringRef empty = StringRef::Adopt(GetProperty<StringRecord*>(text.get(), "Text"));
  EXPECT_EQ(StringLength(empty.get()), 0u);
  for (const char* name : {"Bold", "Italic", "Underline"}) {
    EXPECT_FALSE(GetProperty<bool>(text.get(), name)) << name;
  }

  ObjectRef curve = NewShape(GetCurveShapeDefinition());
  EXPECT_EQ(GetDouble(curve.get(), "X2"), 100);
  EXPECT_EQ(GetDouble(curve.get(), "Y2"), 100);
  EXPECT_EQ(GetProperty<int32_t>(curve.get(), "Order"), 0);
  EXPECT_EQ(GetProperty<int32_t>(curve.get(), "Segments"), 0);
  EXPECT_EQ(CurveGetControlX(curve.get(), 1), 0);

  for (ObjectDefinition* definition : {GetGroup2DDefinition(), GetFigureShapeDefinition()}) {
    ObjectRef container = NewShape(definition);
    EXPECT_EQ(GetProperty<int32_t>(container.get(), "Count"), 0);
    const ShapeMemberList& members = FieldsOf<ShapeContainerFields>(container)->members;
    EXPECT_EQ(members.step, 16u);
    EXPECT_EQ(members.capacity, 0u);
    EXPECT_EQ(members.block, nullptr);
  }
}

// ---- Accessors ------------------------------------------------------------------

using AccessorTest = ShapeTest;

TEST_F(AccessorTest, FillAndBorderAreStoredAsFractions) {
  ObjectRef rect = NewShape(GetRectShapeDefinition());
  SetDouble(rect.get(), "Fill", 50);
  EXPECT_NEAR(GetDouble(rect.get(), "Fill"), 50, 1e-12);
  EXPECT_NEAR(ShapeOf(rect)->fill, 0.5, 1e-12);
  SetDouble(rect.get(), "Fill", 49.9);
  EXPECT_NEAR(ShapeOf(rect)->fill, 0.499, 1e-12);
  SetDouble(rect.get(), "Border", 29);
  EXPECT_NEAR(ShapeOf(rect)->border, 0.29, 1e-12);
  EXPECT_NEAR(GetDouble(rect.get(), "Border"), 29, 1e-12);
}

TEST_F(AccessorTest, StartAngleIsReducedIntoOneTurn) {
  ObjectRef arc = NewShape(GetArcShapeDefinition());
  const struct {
    double set;
    double read;
  } cases[] = {{-kPi / 2, 3 * kPi / 2}, {7, 7 - 2 * kPi}, {-1e-20, 0}, {-1e-17, 0}, {2 * kPi, 0},
               {-4 * kPi - 1, 2 * kPi - 1}, {1, 1}};
  for (const auto& c : cases) {
    SetDouble(arc.get(), "StartAngle", c.set);
    const double read = GetDouble(arc.get(), "StartAngle");
    EXPECT_NEAR(read, c.read, 1e-12) << c.set;
    EXPECT_GE(read, 0) << c.set;
    EXPECT_LT(read, 2 * kPi) << c.set;
  }
  SetDouble(arc.get(), "ArcAngle", 7);
  EXPECT_EQ(GetDouble(arc.get(), "ArcAngle"), 7);
}

TEST_F(AccessorTest, OrderOutsideZeroToTwoRaisesAndKeepsOrder) {
  ObjectRef curve = NewShape(GetCurveShapeDefinition());
  SetProperty<int32_t>(curve.get(), "Order", 2);
  EXPECT_EQ(TakePendingExceptionClass(), "");
  for (int32_t bad : {3, -1}) {
    SetProperty<int32_t>(curve.get(), "Order", bad);
    EXPECT_EQ(TakePendingExceptionClass(), "OutOfBoundsException") << bad;
    EXPECT_EQ(GetProperty<int32_t>(curve.get(), "Order"), 2);
  }
}

TEST_F(AccessorTest, ControlPointsOutsideZeroAndOneRaise) {
  ObjectRef curve = NewShape(GetCurveShapeDefinition());
  CurveSetControlX(curve.get(), 0, 1);
  CurveSetControlY(curve.get(), 0, 2);
  CurveSetControlX(curve.get(), 1, 3);
  CurveSetControlY(curve.get(), 1, 4);
  EXPECT_EQ(TakePendingExceptionClass(), "");

  EXPECT_EQ(CurveGetControlX(curve.get(), 2), 0);
  EXPECT_EQ(TakePendingExceptionClass(), "OutOfBoundsException");
  EXPECT_EQ(CurveGetControlY(curve.get(), -1), 0);
  EXPECT_EQ(TakePendingExceptionClass(), "OutOfBoundsException");
  CurveSetControlX(curve.get(), 2, 9);
  EXPECT_EQ(TakePendingExceptionClass(), "OutOfBoundsException");
  CurveSetControlY(curve.get(), -1, 9);
  EXPECT_EQ(TakePendingExceptionClass(), "OutOfBoundsException");

  const auto* fields = FieldsOf<CurveShapeFields>(curve);
  EXPECT_EQ(fields->control[0].x, 1);
  EXPECT_EQ(fields->control[0].y, 2);
  EXPECT_EQ(fields->control[1].x, 3);
  EXPECT_EQ(fields->control[1].y, 4);
  EXPECT_EQ(CurveGetControlY(curve.get(), 1), 4);
}

TEST_F(AccessorTest, MovingACurveMovesItsEndAndControlPoints) {
  ObjectRef curve = NewShape(GetCurveShapeDefinition());
  SetDouble(curve.get(), "X", 5);
  EXPECT_EQ(GetDouble(curve.get(), "X"), 5);
  EXPECT_EQ(GetDouble(curve.get(), "X2"), 105);
  EXPECT_EQ(GetDouble(curve.get(), "Y2"), 100);
  for (int32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(CurveGetControlX(curve.get(), i), 5);
    EXPECT_EQ(CurveGetControlY(curve.get(), i), 0);
  }
}

TEST_F(AccessorTest, ShapeEntryPointsRefuseNilAndOtherObjects) {
  RectShapeContains(nullptr, 0, 0);
  EXPECT_EQ(TakePendingExceptionClass(), "NilObjectException");
  Group2DAppend(nullptr, nullptr);
  EXPECT_EQ(TakePendingExceptionClass(), "NilObjectException");

  // Only C++ code can pass an object that is not a shape: it is reported.
  ClassBuilder other(nullptr, "NotAShape", 64);
  ObjectRef stranger = ObjectRef::Adopt(other.NewInstance());
  ObjectRef group = NewShape(GetGroup2DDefinition());
  Group2DAppend(group.get(), stranger.get());
  EXPECT_EQ(ShapeOf(group)->tag, 0x67727570u);
  EXPECT_EQ(GetProperty<int32_t>(group.get(), "Count"), 0);
  EXPECT_EQ(stranger->refCount, 1);
  Object2DDoubleSetter(stranger.get(), 40, 1);
  EXPECT_EQ(CurveGetControlX(group.get(), 0), 0);
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  for (const RecordedBox& box : boxes) EXPECT_EQ(box.caption, "Failed Assertion");
}

// ---- PixmapShape constructors ------------------------------------------------------

class PixmapConstructorTest : public ShapeTest {
 protected:
  void SetUp() override {
    ShapeTest::SetUp();
    previous_ = SetPictureSizeQuery(FakePictureSize);
  }
  void TearDown() override {
    SetPictureSizeQuery(previous_);
    SetFakePicture(nullptr, 0, 0);
    ShapeTest::TearDown();
  }

  ClassBuilder pictureClass_{nullptr, "FakePicture", 4};

 private:
  PictureSizeQuery previous_ = nullptr;
};

TEST_F(PixmapConstructorTest, AnImageWithANativePictureSetsTheSize) {
  ObjectRef picture = ObjectRef::Adopt(pictureClass_.NewInstance());
  SetFakePicture(picture.get(), 30, 20);
  ObjectRef pixmap = NewShape(GetPixmapShapeDefinition());
  PixmapShapeImageCtor(pixmap.get(), picture.get());
  EXPECT_EQ(picture->refCount, 2);
  const auto* fields = FieldsOf<PixmapShapeFields>(pixmap);
  EXPECT_EQ(fields->image, picture.get());
  EXPECT_EQ(fields->base.width, 30);
  EXPECT_EQ(fields->base.height, 20);
  EXPECT_EQ(fields->sourceWidth, 30);
  EXPECT_EQ(fields->sourceHeight, 20);
  EXPECT_EQ(fields->sourceLeft, 0);
  EXPECT_EQ(fields->sourceTop, 0);
}

TEST_F(PixmapConstructorTest, WithoutANativePictureTheShapeHasNoImage) {
  ObjectRef picture = ObjectRef::Adopt(pictureClass_.NewInstance());
  ObjectRef answering = ObjectRef::Adopt(pictureClass_.NewInstance());
  SetFakePicture(answering.get(), 30, 20);
  struct Case {
    const char* what;
    RuntimeObject* image;
    PictureSizeQuery query;
  };
  const Case cases[] = {{"query answers false", picture.get(), FakePictureSize},
                        {"no query", answering.get(), nullptr},
                        {"nil image", nullptr, FakePictureSize}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetPictureSizeQuery(c.query);
    ObjectRef pixmap = NewShape(GetPixmapShapeDefinition());
    PixmapShapeImageCtor(pixmap.get(), c.image);
    const auto* fields = FieldsOf<PixmapShapeFields>(pixmap);
    EXPECT_EQ(fields->image, nullptr);
    EXPECT_EQ(fields->base.width, 0);
    EXPECT_EQ(fields->base.height, 0);
  }
  EXPECT_EQ(picture->refCount, 1);
  EXPECT_EQ(answering->refCount, 1);
}

// ---- Ownership --------------------------------------------------------------------

using OwnershipTest = ShapeTest;

TEST_F(OwnershipTest, DestroyingAShapeReleasesWhatItHolds) {
  ClassBuilder pictureClass(nullptr, "HeldPicture", 4);
  ObjectRef picture = ObjectRef::Adopt(pictureClass.NewInstance());
  ObjectRef pixmap = NewShape(GetPixmapShapeDefinition());
  SetProperty<RuntimeObject*>(pixmap.get(), "Image", picture.get());
  EXPECT_EQ(picture->refCount, 2);
  pixmap = ObjectRef();
  EXPECT_EQ(picture->refCount, 1);

  StringRef text = StringRef::Adopt(StringFromASCII("Hello"));
  StringRef font = StringRef::Adopt(StringFromASCII("Arial"));
  ObjectRef label = NewShape(GetStringShapeDefinition());
  SetProperty<StringRecord*>(label.get(), "Text", text.get());
  SetProperty<StringRecord*>(label.get(), "TextFont", font.get());
  EXPECT_EQ(text->refCount, 2);
  EXPECT_EQ(font->refCount, 2);
  label = ObjectRef();
  EXPECT_EQ(text->refCount, 1);
  EXPECT_EQ(font->refCount, 1);

  for (ObjectDefinition* definition : {GetGroup2DDefinition(), GetFigureShapeDefinition()}) {
    ObjectRef a = NewShape(GetCurveShapeDefinition());
    ObjectRef b = NewShape(GetCurveShapeDefinition());
    ObjectRef container = NewShape(definition);
    Group2DAppend(container.get(), a.get());
    Group2DAppend(container.get(), b.get());
    Group2DAppend(container.get(), a.get());
    EXPECT_EQ(a->refCount, 3);
    EXPECT_EQ(b->refCount, 2);
    container = ObjectRef();
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(b->refCount, 1);
  }
}

TEST_F(OwnershipTest, AssigningTheHeldValueAgainKeepsIt) {
  ClassBuilder pictureClass(nullptr, "OnlyHeldPicture", 4, nullptr, RecordDestruction);
  g_destroyed.clear();
  ObjectRef pixmap = NewShape(GetPixmapShapeDefinition());
  RuntimeObject* picture = pictureClass.NewInstance();
  SetProperty<RuntimeObject*>(pixmap.get(), "Image", picture);
  RuntimeUnlockObject(picture);  // the shape holds the only reference now
  SetProperty<RuntimeObject*>(pixmap.get(), "Image", FieldsOf<PixmapShapeFields>(pixmap)->image);
  EXPECT_TRUE(g_destroyed.empty());
  EXPECT_EQ(picture->refCount, 1);

  ObjectRef label = NewShape(GetStringShapeDefinition());
  StringRecord* text = StringFromASCII("only here");
  SetProperty<StringRecord*>(label.get(), "Text", text);
  StringRecordRelease(text);
  SetProperty<StringRecord*>(label.get(), "Text", FieldsOf<StringShapeFields>(label)->text);
  EXPECT_EQ(text->refCount, 1);
  EXPECT_STREQ(StringCStr(FieldsOf<StringShapeFields>(label)->text), "only here");
  StringRecord* font = FieldsOf<StringShapeFields>(label)->textFont;
  SetProperty<StringRecord*>(label.get(), "TextFont", font);
  EXPECT_EQ(font->refCount, 1);
  EXPECT_STREQ(StringCStr(FieldsOf<StringShapeFields>(label)->textFont), "System");

  pixmap = ObjectRef();
  EXPECT_EQ(g_destroyed, std::vector<RuntimeObject*>{picture});
}

// ---- Member lists -----------------------------------------------------------------

using GroupTest = ShapeTest;

int32_t CountOf(RuntimeObject* container) { return Group2DCount(container, 0); }

RuntimeObject* MemberAt(RuntimeObject* container, uint32_t index) {
  return reinterpret_cast<ShapeContainerFields*>(container)->members.block[index];
}

TEST_F(GroupTest, MembersAreCountedOnceEach) {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef rect = NewShape(GetRectShapeDefinition());
  ObjectRef oval = NewShape(GetOvalShapeDefinition());
  Group2DAppend(group.get(), rect.get());
  EXPECT_EQ(rect->refCount, 2);
  {
    ObjectRef item = ObjectRef::Adopt(Group2DGetItem(group.get(), 0));
    EXPECT_EQ(item.get(), rect.get());
    EXPECT_EQ(rect->refCount, 3);
  }
  Group2DAppend(group.get(), rect.get());
  Group2DRemoveByObject(group.get(), rect.get());
  EXPECT_EQ(CountOf(group.get()), 1);
  EXPECT_EQ(rect->refCount, 2);

  Group2DRemoveByObject(group.get(), oval.get());  // not a member
  EXPECT_EQ(CountOf(group.get()), 1);
  EXPECT_EQ(oval->refCount, 1);

  Group2DInsert(group.get(), 1, oval.get());  // at Count: appends
  EXPECT_EQ(MemberAt(group.get(), 1), oval.get());
  Group2DInsert(group.get(), 0, oval.get());
  EXPECT_EQ(MemberAt(group.get(), 0), oval.get());
  EXPECT_EQ(MemberAt(group.get(), 1), rect.get());
  EXPECT_EQ(oval->refCount, 3);

  Group2DRemoveByIndex(group.get(), 1);
  EXPECT_EQ(rect->refCount, 1);
  EXPECT_EQ(CountOf(group.get()), 2);
  Group2DRemoveByObject(group.get(), oval.get());
  EXPECT_EQ(oval->refCount, 2);
  EXPECT_EQ(CountOf(group.get()), 1);
}

TEST_F(GroupTest, CapacityGrowsAndShrinksByTheStep) {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef rect = NewShape(GetRectShapeDefinition());
  const ShapeMemberList& members = FieldsOf<ShapeContainerFields>(group)->members;
  Group2DAppend(group.get(), rect.get());
  EXPECT_EQ(members.capacity, 16u);
  for (int i = 2; i <= 16; ++i) Group2DAppend(group.get(), rect.get());
  EXPECT_EQ(members.capacity, 16u);
  Group2DAppend(group.get(), rect.get());
  EXPECT_EQ(members.capacity, 32u);
  for (int i = 18; i <= 50; ++i) Group2DAppend(group.get(), rect.get());
  EXPECT_EQ(members.capacity, 64u);
  while (CountOf(group.get()) > 32) Group2DRemoveByIndex(group.get(), 0);
  EXPECT_EQ(members.capacity, 64u);
  Group2DRemoveByIndex(group.get(), 31);
  EXPECT_EQ(members.capacity, 32u);
  EXPECT_EQ(rect->refCount, 32);
}

TEST_F(GroupTest, IndexesOutOfRangeRaiseAndChangeNothing) {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef a = NewShape(GetRectShapeDefinition());
  ObjectRef b = NewShape(GetOvalShapeDefinition());
  ObjectRef extra = NewShape(GetArcShapeDefinition());
  Group2DAppend(group.get(), a.get());
  Group2DAppend(group.get(), b.get());

  const struct {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"Insert(Count + 1)", [&] { Group2DInsert(group.get(), 3, extra.get()); }},
      {"Insert(-1)", [&] { Group2DInsert(group.get(), -1, extra.get()); }},
      {"Item(Count)", [&] { EXPECT_EQ(Group2DGetItem(group.get(), 2), nullptr); }},
      {"Item(-1)", [&] { EXPECT_EQ(Group2DGetItem(group.get(), -1), nullptr); }},
      {"Item(Count) =", [&] { Group2DSetItem(group.get(), 2, extra.get()); }},
      {"Item(-1) =", [&] { Group2DSetItem(group.get(), -1, extra.get()); }},
      {"Remove(Count)", [&] { Group2DRemoveByIndex(group.get(), 2); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.call();
    EXPECT_EQ(TakePendingExceptionClass(), "OutOfBoundsException");
    EXPECT_EQ(CountOf(group.get()), 2);
    EXPECT_EQ(MemberAt(group.get(), 0), a.get());
    EXPECT_EQ(MemberAt(group.get(), 1), b.get());
    EXPECT_EQ(a->refCount, 2);
    EXPECT_EQ(b->refCount, 2);
    EXPECT_EQ(extra->refCount, 1);
  }
}

TEST_F(GroupTest, ReplacingAMemberByItselfKeepsIt) {
  ClassBuilder recording(GetRectShapeDefinition(), "RecordingRect", 0, nullptr, RecordDestruction);
  g_destroyed.clear();
  ObjectRef group = NewShape(GetGroup2DDefinition());
  RuntimeObject* r = recording.NewInstance();
  Group2DAppend(group.get(), r);
  RuntimeUnlockObject(r);  // the group holds the only reference
  Group2DSetItem(group.get(), 0, MemberAt(group.get(), 0));
  EXPECT_TRUE(g_destroyed.empty());
  EXPECT_EQ(r->refCount, 1);
  EXPECT_EQ(MemberAt(group.get(), 0), r);

  ObjectRef other = NewShape(GetRectShapeDefinition());
  Group2DSetItem(group.get(), 0, other.get());
  EXPECT_EQ(g_destroyed, std::vector<RuntimeObject*>{r});
  EXPECT_EQ(other->refCount, 2);
}

// What a member's destructor sees of the group it is being removed from.
RuntimeObject* g_observedGroup = nullptr;
std::vector<int32_t> g_observedCounts;
std::vector<RuntimeObject*> g_observedItems;

void ObserveGroup(RuntimeObject*) {
  const int32_t count = CountOf(g_observedGroup);
  g_observedCounts.push_back(count);
  for (int32_t i = 0; i < count; ++i) {
    RuntimeObject* item = Group2DGetItem(g_observedGroup, i);
    g_observedItems.push_back(item);
    if (item) {
      EXPECT_GE(item->refCount, 2);  // alive: the group's and this one
    }
    RuntimeUnlockObject(item);
  }
}

TEST_F(GroupTest, AMemberDestroyedByRemoveSeesTheGroupWithoutIt) {
  ClassBuilder observing(GetRectShapeDefinition(), "ObservingRect", 0, nullptr, ObserveGroup);
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef a = NewShape(GetRectShapeDefinition());
  ObjectRef b = NewShape(GetOvalShapeDefinition());
  g_observedGroup = group.get();
  g_observedCounts.clear();
  g_observedItems.clear();
  for (int pass = 0; pass < 2; ++pass) {
    RuntimeObject* victim = observing.NewInstance();
    Group2DAppend(group.get(), a.get());
    Group2DAppend(group.get(), victim);
    Group2DAppend(group.get(), b.get());
    RuntimeUnlockObject(victim);  // the group holds the only reference
    if (pass == 0) {
      Group2DRemoveByIndex(group.get(), 1);
    } else {
      Group2DRemoveByObject(group.get(), victim);
    }
    Group2DRemoveByIndex(group.get(), 1);
    Group2DRemoveByIndex(group.get(), 0);
  }
  EXPECT_EQ(g_observedCounts, (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(g_observedItems, (std::vector<RuntimeObject*>{a.get(), b.get(), a.get(), b.get()}));
}

TEST_F(GroupTest, NilMembersAreKeptAndSkipped) {
  ObjectRef group = NewShape(GetGroup2DDefinition());
  ObjectRef r = NewShape(GetRectShapeDefinition());
  Group2DAppend(group.get(), r.get());
  Group2DAppend(group.get(), nullptr);
  Group2DInsert(group.get(), 0, nullptr);
  Group2DSetItem(group.get(), 1, nullptr);
  EXPECT_EQ(r->refCount, 1);
  ASSERT_EQ(CountOf(group.get()), 3);
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(Group2DGetItem(group.get(), i), nullptr);

  ObjectRef moved = NewShape(GetRectShapeDefinition());
  Object2DSetPosition(moved.get(), 20, 0);
  Group2DAppend(group.get(), moved.get());
  SetDouble(group.get(), "X", 10);
  SetDouble(group.get(), "Scale", 2);
  SetDouble(group.get(), "Rotation", 1);
  EXPECT_EQ(ShapeOf(moved)->scale, 2);
  EXPECT_EQ(ShapeOf(moved)->rotation, 1);
  EXPECT_NEAR(ShapeOf(moved)->x, 10 + 40 * std::cos(1.0), 1e-9);
  EXPECT_NEAR(ShapeOf(moved)->y, 40 * std::sin(1.0), 1e-9);

  Group2DRemoveByObject(group.get(), nullptr);
  ASSERT_EQ(CountOf(group.get()), 3);
  EXPECT_EQ(MemberAt(group.get(), 2), moved.get());
}

TEST_F(GroupTest, AGroupCannotContainItself) {
  ObjectRef g = NewShape(GetGroup2DDefinition());
  ObjectRef k = NewShape(GetGroup2DDefinition());
  ObjectRef h = NewShape(GetFigureShapeDefinition());
  Group2DAppend(g.get(), k.get());
  Group2DAppend(k.get(), nullptr);
  Group2DAppend(k.get(), h.get());  // g holds k, k holds h
  const int32_t gCount = g->refCount;

  const struct {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"g.Append(g)", [&] { Group2DAppend(g.get(), g.get()); }},
      {"g.Insert(0, g)", [&] { Group2DInsert(g.get(), 0, g.get()); }},
      {"g.Item(0) = g", [&] { Group2DSetItem(g.get(), 0, g.get()); }},
      {"h.Append(g)", [&] { Group2DAppend(h.get(), g.get()); }},
      {"h.Insert(0, k)", [&] { Group2DInsert(h.get(), 0, k.get()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.call();
    ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
    ASSERT_TRUE(exception);
    EXPECT_EQ(ObjectClassOf(exception.get())->definition, GetRuntimeExceptionClassDefinition());
    StringRef message = StringRef::Adopt(exceptionMessageGetter(exception.get(), 0));
    EXPECT_EQ(StringToStdUTF8(message.get()), "A group cannot contain itself.");
    EXPECT_EQ(CountOf(g.get()), 1);
    EXPECT_EQ(CountOf(h.get()), 0);
    EXPECT_EQ(g->refCount, gCount);
    EXPECT_EQ(k->refCount, 2);
  }
  // The same shape in two branches is no cycle.
  Group2DAppend(g.get(), h.get());
  EXPECT_EQ(CountOf(g.get()), 2);
}

TEST_F(GroupTest, MovingNestedGroupsStopsAtTheDepthLimit) {
  constexpr int kGroups = 131;  // G0 .. G130
  std::vector<ObjectRef> groups;
  std::vector<ObjectRef> rects;
  for (int k = 0; k < kGroups; ++k) {
    groups.push_back(NewShape(GetGroup2DDefinition()));
    rects.push_back(NewShape(GetRectShapeDefinition()));
    if (k > 0) Group2DAppend(groups[k - 1].get(), groups[k].get());
    Group2DAppend(groups[k].get(), rects[k].get());
  }
  SetDouble(groups[0].get(), "X", GetDouble(groups[0].get(), "X") + 10);
  EXPECT_EQ(ShapeOf(rects[127])->x, 10);
  EXPECT_EQ(ShapeOf(rects[128])->x, 0);
  EXPECT_EQ(ShapeOf(groups[128])->x, 10);
  EXPECT_EQ(ShapeOf(groups[129])->x, 0);
}

TEST_F(GroupTest, AVeryDeepChainMovesAndIsReleasedWithoutRecursion) {
  const uint32_t liveBefore = RuntimeLiveObjectCount();
  RuntimeObject* top = CreateInstance(GetGroup2DDefinition());
  RuntimeObject* previous = top;
  for (int i = 1; i < 100000; ++i) {
    RuntimeObject* next = CreateInstance(GetGroup2DDefinition());
    Group2DAppend(previous, next);
    RuntimeUnlockObject(next);
    previous = next;
  }
  EXPECT_EQ(RuntimeLiveObjectCount(), liveBefore + 100000);
  Object2DSetPosition(top, 10, 20);
  Object2DSetScale(top, 2);
  Object2DSetRotation(top, 1);
  ShapeBox box;
  EXPECT_FALSE(ShapeBounds(top, &box));
  RuntimeUnlockObject(top);
  EXPECT_EQ(RuntimeLiveObjectCount(), liveBefore);
}

// ---- Figures ------------------------------------------------------------------------

using FigureTest = ShapeTest;

TEST_F(FigureTest, AddLineQuadAndCubicAppendNewCurves) {
  ObjectRef figure = NewShape(GetFigureShapeDefinition());
  FigureShapeAddLine(figure.get(), 1, 2, 3, 4);
  FigureShapeAddQuad(figure.get(), 5, 6, 7, 8, 0.1f, 9);
  FigureShapeAddCubic(figure.get(), 10, 11, 12, 13, 14, 15, 16, 17);
  ASSERT_EQ(CountOf(figure.get()), 3);
  for (int32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    RuntimeObject* curve = MemberAt(figure.get(), uint32_t(i));
    EXPECT_EQ(curve->refCount, 1);
    EXPECT_TRUE(ObjectIsADefinition(curve, GetCurveShapeDefinition()));
    EXPECT_EQ(GetProperty<int32_t>(curve, "Order"), i);
    EXPECT_EQ(GetDouble(curve, "Fill"), 0);
    EXPECT_NEAR(GetDouble(curve, "Border"), 100, 1e-12);
    EXPECT_EQ(GetDouble(curve, "Scale"), 1);
  }
  ObjectRef quad = ObjectRef::Adopt(Group2DGetItem(figure.get(), 1));
  EXPECT_EQ(CurveGetControlX(quad.get(), 0), double(0.1f));
  EXPECT_EQ(GetDouble(quad.get(), "X"), 5);
  EXPECT_EQ(GetDouble(quad.get(), "Y2"), 8);
  const auto* cubic = reinterpret_cast<CurveShapeFields*>(MemberAt(figure.get(), 2));
  EXPECT_EQ(cubic->control[1].x, 16);
  EXPECT_EQ(cubic->control[1].y, 17);
}

}  // namespace
