// The object model: classes built from definition records, a language
// subclass made by the class builder, lifetimes, events, interfaces,
// registration, the generic accessors and the value types.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "core/utility.h"
#include "testsupport/ClassBuilder.h"

namespace {

// ---- A small built-in hierarchy: Shape, Square (a Shape), BooleanProvider --

struct ShapeFields {
  RuntimeObject header;
  int32_t sides;
  StringRecord* title;
  RuntimeObject* partner;
};
const uint32_t kTitleAt = offsetof(ShapeFields, title);
const uint32_t kPartnerAt = offsetof(ShapeFields, partner);

std::vector<std::string> g_log;

void ShapeInit(RuntimeObject* object) {
  // Fields are zero before any initialiser runs.
  g_log.push_back(ObjectFields<ShapeFields>(object)->sides == 0 ? "Shape+" : "Shape+dirty");
}
void ShapeFinal(RuntimeObject* object) {
  auto* fields = ObjectFields<ShapeFields>(object);
  StringRecordRelease(fields->title);
  RuntimeUnlockObject(fields->partner);
  g_log.push_back("Shape-");
}
void SquareInit(RuntimeObject*) { g_log.push_back("Square+"); }
void SquareFinal(RuntimeObject*) { g_log.push_back("Square-"); }
void MySquareInit(RuntimeObject*) { g_log.push_back("MySquare+"); }
void MySquareFinal(RuntimeObject*) { g_log.push_back("MySquare-"); }

template <class Function>
void* Address(Function* function) {
  return reinterpret_cast<void*>(function);
}

// The compiled handlers of the language subclass.
std::vector<int32_t> g_mouseDowns;  // object's sides, x, y of each call
bool OnMouseDown(RuntimeObject* object, int32_t x, int32_t y) {
  g_mouseDowns.insert(g_mouseDowns.end(), {ObjectFields<ShapeFields>(object)->sides, x, y});
  return x > y;
}
void OnResized(RuntimeObject*, int32_t) {}
void OnClose(RuntimeObject*) {}
void OnOpen(RuntimeObject*) {}

bool GetBooleanFalse(RuntimeObject*) { return false; }
bool GetBooleanTrue(RuntimeObject*) { return true; }

MethodRecord Method(const char* name, void* function) {
  MethodRecord record{};
  record.name = name;
  record.function = function;
  return record;
}

struct Definitions {
  Definitions() {
    ObjectDefinitionSetName(&shape, "TestShape");
    shape.instanceSize = sizeof(ShapeFields);
    shape.initialiser = ShapeInit;
    shape.destructor = ShapeFinal;
    BuildEventDefinitions(&shape, shapeEvents, 2);
    BuildPropertyDefinitions(&shape, shapeProperties, 2);

    ObjectDefinitionSetName(&square, "TestSquare");
    square.superclass = &shape;
    square.instanceSize = sizeof(ShapeFields);
    square.initialiser = SquareInit;
    square.destructor = SquareFinal;
    BuildEventDefinitions(&square, squareEvents, 2);

    ObjectDefinitionSetName(&provider, "BooleanProvider");
    provider.isInterface = true;
    BuildMethodDefinitions(&provider, &providerMethod, 1);
  }

  ObjectDefinition shape, square, provider;
  EventRecord shapeEvents[2] = {
      {0, "Open", "", nullptr, 0},
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
  };
  EventRecord squareEvents[2] = {
      {0, "Resized", "Width As Integer", nullptr, 0},
      {0, "Close", "", nullptr, 0},
  };
  PropertyRecord shapeProperties[2] = {
      {kPropertyPassesParameter, "Title", &kStringType, Address(stringGetter), "stringGetter",
       Address(stringSetter), "stringSetter", kTitleAt},
      {kPropertyPassesParameter, "Partner", &shape, Address(objGetter), "objGetter",
       Address(objSetter), "objSetter", kPartnerAt},
  };
  MethodRecord providerMethod = Method("getBoolean", nullptr);
};

class ObjectModel : public testing::Test {
 protected:
  ObjectModel() {
    g_log.clear();
    g_mouseDowns.clear();
    mySquare.Handle("MouseDown", &OnMouseDown).Handle("Resized", &OnResized);
  }
  void TearDown() override {
    EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart) << "objects leaked";
    EXPECT_FALSE(RuntimeExceptionPending());
    EXPECT_TRUE(TakeRecordedBoxes().empty()) << "unexpected assertion";
  }

  ObjectRef NewShape() { return ObjectRef::Adopt(CreateInstance(&defs.shape)); }
  ObjectRef NewMySquare() { return ObjectRef::Adopt(mySquare.NewInstance()); }

  const uint32_t liveAtStart = RuntimeLiveObjectCount();
  Definitions defs;
  ClassBuilder mySquare{&defs.square, "MySquare", 16, MySquareInit, MySquareFinal};
};

using ObjectLifetime = ObjectModel;
using ObjectClassTests = ObjectModel;
using ObjectEvents = ObjectModel;
using ObjectInterfaces = ObjectModel;
using ObjectRegistry = ObjectModel;
using ObjectAccessors = ObjectModel;

// ---- Lifetime ----------------------------------------------------------------

TEST_F(ObjectLifetime, CreationRunsInitialisersBaseFirstAndLastUnlockDestroysMostDerivedFirst) {
  RuntimeObject* object = mySquare.NewInstance();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->refCount, 1);
  EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart + 1);
  EXPECT_EQ(ObjectClassOf(object), mySquare.Class());
  EXPECT_EQ(object->eventTable, reinterpret_cast<void**>(mySquare.Class()->eventHandlers));
  EXPECT_EQ(*mySquare.Extra<int64_t>(object), 0);
  EXPECT_EQ(g_log, (std::vector<std::string>{"Shape+", "Square+", "MySquare+"}));

  g_log.clear();
  RuntimeLockObject(object);
  EXPECT_EQ(object->refCount, 2);
  RuntimeUnlockObject(object);
  EXPECT_TRUE(g_log.empty());
  EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart + 1);

  RuntimeUnlockObject(object);
  EXPECT_EQ(g_log, (std::vector<std::string>{"MySquare-", "Square-", "Shape-"}));
  EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart);
}

TEST_F(ObjectLifetime, FreeingAnObjectKeepsItsNeighboursLinked) {
  ObjectRef a = NewShape();
  RuntimeObject* b = CreateInstance(&defs.shape);
  ObjectRef c = NewShape();
  RuntimeUnlockObject(b);
  const bool aThenC = a->next == c.get() && c->previous == a.get();
  const bool cThenA = c->next == a.get() && a->previous == c.get();
  EXPECT_TRUE(aThenC || cThenA);
}

TEST_F(ObjectLifetime, StaticObjectIsNeverCountedOrFreed) {
  RuntimeObject* object = CreateInstance(&defs.shape);
  object->refCount = 0;
  g_log.clear();
  RuntimeLockObject(object);
  RuntimeUnlockObject(object);
  RuntimeUnlockObject(object);
  EXPECT_EQ(object->refCount, 0);
  EXPECT_TRUE(g_log.empty());
  EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart + 1);

  // A static object that never came from the allocator.
  ShapeFields literal{};
  literal.header.runtimeClass = RuntimeClassOfDefinition(&defs.shape);
  RuntimeUnlockObject(&literal.header);
  EXPECT_TRUE(g_log.empty());

  object->refCount = 1;
  RuntimeUnlockObject(object);
  EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart);
}

TEST_F(ObjectLifetime, NilAndInterfacesMakeNoObject) {
  EXPECT_EQ(CreateInstance(nullptr), nullptr);
  EXPECT_EQ(CreateInstance(&defs.provider), nullptr);
  EXPECT_EQ(RuntimeNewObject(nullptr), nullptr);
  EXPECT_EQ(RuntimeNewObject(RuntimeClassOfDefinition(&defs.provider)), nullptr);
  EXPECT_EQ(ObjectClassOf(nullptr), nullptr);
  RuntimeLockObject(nullptr);
  RuntimeUnlockObject(nullptr);
}

int g_selfLockingFinals = 0;
void SelfLockingFinal(RuntimeObject* object) {
  ++g_selfLockingFinals;
  RuntimeLockObject(object);  // handing itself to code that keeps and drops it
  RuntimeUnlockObject(object);
}

TEST_F(ObjectLifetime, DestructorHandingItselfAroundIsNotDestroyedTwice) {
  ClassBuilder builder(&defs.shape, "SelfLocking", 0, nullptr, SelfLockingFinal);
  g_selfLockingFinals = 0;
  RuntimeUnlockObject(builder.NewInstance());
  EXPECT_EQ(g_selfLockingFinals, 1);
}

// A class that keeps its last dropped object: destroyed as any other at the
// drop, made again as new without the allocator, one at a time, freed with
// its class; its subclasses do not keep theirs.
TEST_F(ObjectLifetime, AKeptSpareIsDestroyedThenMadeAgainAsNewAndGoesWithItsClass) {
  const uint64_t bytesAtStart = RuntimeLiveBytes();
  {
    Definitions keeping;
    RuntimeClassKeepSpare(RuntimeClassOfDefinition(&keeping.shape));
    RuntimeObject* first = CreateInstance(&keeping.shape);
    RuntimeObject* second = CreateInstance(&keeping.shape);
    ObjectRef partner = ObjectRef::Adopt(CreateInstance(&keeping.square));
    auto* fields = ObjectFields<ShapeFields>(first);
    fields->sides = 4;
    fields->title = StringFromASCII("square");
    fields->partner = partner.get();
    RuntimeLockObject(partner.get());
    g_log.clear();
    RuntimeUnlockObject(first);
    RuntimeUnlockObject(second);
    EXPECT_EQ(g_log, (std::vector<std::string>{"Shape-", "Shape-"}));
    EXPECT_EQ(partner->refCount, 1);
    EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart + 1);
    const uint64_t bytesKept = RuntimeLiveBytes();

    g_log.clear();
    RuntimeObject* again = CreateInstance(&keeping.shape);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->refCount, 1);
    EXPECT_EQ(again->runtimeClass, RuntimeClassOfDefinition(&keeping.shape));
    EXPECT_EQ(ObjectFields<ShapeFields>(again)->title, nullptr);
    EXPECT_EQ(ObjectFields<ShapeFields>(again)->partner, nullptr);
    EXPECT_EQ(g_log, (std::vector<std::string>{"Shape+"}));  // its fields zero
    EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart + 2);
    EXPECT_EQ(RuntimeLiveBytes(), bytesKept);
    RuntimeObject* other = CreateInstance(&keeping.shape);
    EXPECT_NE(other, again);
    EXPECT_GT(RuntimeLiveBytes(), bytesKept);
    RuntimeUnlockObject(other);
    RuntimeUnlockObject(again);

    const uint64_t bytesBefore = RuntimeLiveBytes();
    partner = ObjectRef();
    EXPECT_LT(RuntimeLiveBytes(), bytesBefore);
    EXPECT_EQ(RuntimeLiveObjectCount(), liveAtStart);
  }
  EXPECT_EQ(RuntimeLiveBytes(), bytesAtStart);
}

// ---- Classes -------------------------------------------------------------------

TEST_F(ObjectClassTests, ClassesAreMadeParentFirstFromTheirDefinitions) {
  RuntimeClass* mine = mySquare.Class();
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine, RuntimeClassOfDefinition(mySquare.Definition()));
  EXPECT_EQ(mine->parent, defs.square.runtimeClass);
  EXPECT_EQ(mine->parent->parent, defs.shape.runtimeClass);
  EXPECT_EQ(mine->parent->parent->parent, nullptr);
  EXPECT_STREQ(StringCStr(mine->name), "MySquare");
  EXPECT_EQ(mine->instanceSize, mySquare.ExtraOffset() + 16);
  EXPECT_EQ(mine->definition, mySquare.Definition());
  EXPECT_EQ(RuntimeClassOfDefinition(nullptr), nullptr);
}

TEST_F(ObjectClassTests, IsaFollowsTheClassChain) {
  ObjectRef mine = NewMySquare();
  ObjectRef shape = NewShape();
  EXPECT_TRUE(ObjectIsADefinition(mine.get(), &defs.shape));
  EXPECT_TRUE(ObjectIsADefinition(mine.get(), &defs.square));
  EXPECT_TRUE(ObjectIsADefinition(mine.get(), mySquare.Definition()));
  EXPECT_FALSE(ObjectIsADefinition(shape.get(), &defs.square));
  EXPECT_FALSE(ObjectIsADefinition(nullptr, &defs.shape));
  EXPECT_FALSE(ObjectIsADefinition(mine.get(), nullptr));

  EXPECT_TRUE(RuntimeObjectIsa(mine.get(), RuntimeClassOfDefinition(&defs.square)));
  EXPECT_FALSE(RuntimeObjectIsa(shape.get(), RuntimeClassOfDefinition(&defs.square)));
  EXPECT_FALSE(RuntimeObjectIsa(nullptr, RuntimeClassOfDefinition(&defs.shape)));
  EXPECT_FALSE(RuntimeClassIsa(RuntimeClassOfDefinition(&defs.shape), nullptr));

  // Interfaces: IsA asks whether the object implements it.
  EXPECT_FALSE(ObjectIsADefinition(mine.get(), &defs.provider));
  mySquare.Implements(&defs.provider);
  EXPECT_TRUE(ObjectIsADefinition(mine.get(), &defs.provider));
  EXPECT_TRUE(RuntimeObjectIsa(mine.get(), RuntimeClassOfDefinition(&defs.provider)));
}

// ---- Events --------------------------------------------------------------------

TEST_F(ObjectEvents, SlotsContinueAfterTheSuperclasss) {
  EXPECT_EQ(defs.shapeEvents[0].slot, 0u);
  EXPECT_EQ(defs.shapeEvents[1].slot, 1u);
  EXPECT_EQ(defs.squareEvents[0].slot, 2u);
  EXPECT_EQ(defs.squareEvents[1].slot, 3u);
  EXPECT_EQ(defs.square.TotalEventCount(), 4u);
  EXPECT_EQ(mySquare.Class()->eventCount, 4u);
  EXPECT_EQ(defs.square.FindEvent("mousedown")->record, &defs.shapeEvents[1]);
  EXPECT_EQ(defs.shape.FindEvent("Resized"), nullptr);
}

TEST_F(ObjectEvents, SubclassHandlerIsFoundBySlotAndByName) {
  ObjectRef mine = NewMySquare();
  EventHandler mouseDown = FindEventHandler(mine.get(), &defs.shapeEvents[1]);
  EXPECT_EQ(mouseDown, Address(OnMouseDown));
  EXPECT_EQ(FindEventHandler(mine.get(), "mouseDOWN"), mouseDown);
  EXPECT_EQ(FindEventHandlerAtSlot(mine.get(), 2), Address(OnResized));

  // Called as an event source calls it: the object first, then the parameters.
  ObjectFields<ShapeFields>(mine.get())->sides = 4;
  auto handler = reinterpret_cast<bool (*)(RuntimeObject*, int32_t, int32_t)>(mouseDown);
  EXPECT_TRUE(handler(mine.get(), 7, 3));
  EXPECT_EQ(g_mouseDowns, (std::vector<int32_t>{4, 7, 3}));

  EXPECT_EQ(FindEventHandler(mine.get(), "Open"), nullptr);
  EXPECT_EQ(FindEventHandler(mine.get(), "NoSuchEvent"), nullptr);
  EXPECT_EQ(FindEventHandlerAtSlot(mine.get(), 4), nullptr);
  EXPECT_EQ(FindEventHandler(nullptr, &defs.shapeEvents[1]), nullptr);
  EXPECT_EQ(FindEventHandler(nullptr, "MouseDown"), nullptr);
  EXPECT_EQ(FindEventHandler(NewShape().get(), &defs.shapeEvents[1]), nullptr);
}

TEST_F(ObjectEvents, LanguageSubclassInheritsItsParentsHandlersInItsOwnTable) {
  ClassBuilder child(mySquare.Definition(), "MySquareChild");
  child.Handle("Close", &OnClose);
  ObjectRef grandchild = ObjectRef::Adopt(child.NewInstance());
  ObjectRef parent = NewMySquare();
  EXPECT_EQ(FindEventHandler(grandchild.get(), "MouseDown"), Address(OnMouseDown));
  EXPECT_EQ(FindEventHandler(grandchild.get(), "Close"), Address(OnClose));
  EXPECT_EQ(FindEventHandler(parent.get(), "Close"), nullptr);
}

TEST_F(ObjectEvents, HandlerInstalledLaterReachesLiveObjectsAndSubclassesMadeBefore) {
  ObjectRef mine = NewMySquare();
  mySquare.Handle("Open", &OnOpen);
  EXPECT_EQ(FindEventHandler(mine.get(), "Open"), Address(OnOpen));

  ObjectDefinition inheriting, overriding;
  inheriting.superclass = overriding.superclass = &defs.square;
  RuntimeClass* inheritingClass = RuntimeClassOfDefinition(&inheriting);
  RuntimeClass* overridingClass = RuntimeClassOfDefinition(&overriding);
  RuntimeClassSetEventHandler(overridingClass, 3, Address(OnClose));
  RuntimeClassSetEventHandler(RuntimeClassOfDefinition(&defs.square), 3, Address(OnOpen));
  EXPECT_EQ(inheritingClass->eventHandlers[3], Address(OnOpen));
  EXPECT_EQ(overridingClass->eventHandlers[3], Address(OnClose));
  EXPECT_EQ(mySquare.Class()->eventHandlers[3], Address(OnOpen));
  EXPECT_EQ(RuntimeClassOfDefinition(&defs.shape)->eventCount, 2u);
}

TEST_F(ObjectEvents, BadSlotsAndNamesAreReported) {
  RuntimeClassSetEventHandler(mySquare.Class(), 4, Address(OnOpen));
  std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Failed Assertion");
  RuntimeClassSetEventHandler(nullptr, 0, Address(OnOpen));

  mySquare.Handle("Clicked", &OnOpen);
  boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("no event named \"Clicked\""), std::string::npos);
}

// ---- Interfaces ------------------------------------------------------------------

TEST_F(ObjectInterfaces, MethodIsFoundByItsShortName) {
  MethodRecord methods[] = {Method("Refresh", Address(OnOpen)),
                            Method("getBoolean", Address(GetBooleanTrue))};
  mySquare.Methods(methods, 2);
  ObjectRef mine = NewMySquare();
  EXPECT_EQ(FindInterfaceMethod(mine.get(), &defs.provider, "getBoolean"), nullptr)
      << "the class does not implement the interface yet";

  mySquare.Implements(&defs.provider);  // after the class was made
  EXPECT_EQ(FindInterfaceMethod(mine.get(), &defs.provider, "getBoolean"),
            Address(GetBooleanTrue));
  EXPECT_EQ(FindInterfaceMethod(mine.get(), &defs.provider, "BooleanProvider.GETBOOLEAN"),
            Address(GetBooleanTrue));
  EXPECT_EQ(FindInterfaceMethod(mine.get(), &defs.provider, "getString"), nullptr);
  EXPECT_EQ(FindInterfaceMethod(nullptr, &defs.provider, "getBoolean"), nullptr);

  // A method named for this interface wins over another's of the same short name.
  MethodRecord qualified[] = {Method("Other.getBoolean", Address(OnOpen)),
                              Method("BooleanProvider.getBoolean", Address(GetBooleanFalse))};
  ClassBuilder child(mySquare.Definition(), "MySquareChild");
  child.Methods(qualified, 2);
  ObjectRef grandchild = ObjectRef::Adopt(child.NewInstance());
  EXPECT_EQ(FindInterfaceMethod(grandchild.get(), &defs.provider, "getBoolean"),
            Address(GetBooleanFalse));
}

TEST_F(ObjectInterfaces, AncestorsAndDerivedInterfacesCount) {
  ObjectDefinition triState;
  ObjectDefinitionSetName(&triState, "TriStateProvider");
  triState.isInterface = true;
  triState.superclass = &defs.provider;
  defs.square.AddInterface(&triState);
  defs.square.AddInterface(&triState);  // a repeat is ignored
  EXPECT_EQ(defs.square.interfaceCount, 1u);

  MethodRecord method = Method("TriStateProvider.getBoolean", Address(GetBooleanTrue));
  BuildMethodDefinitions(&defs.square, &method, 1);
  ObjectRef mine = NewMySquare();
  EXPECT_TRUE(ObjectImplementsInterface(mine.get(), &triState));
  EXPECT_TRUE(ObjectImplementsInterface(mine.get(), &defs.provider));
  EXPECT_EQ(FindInterfaceMethod(mine.get(), &defs.provider, "getBoolean"),
            Address(GetBooleanTrue));
  EXPECT_FALSE(ObjectImplementsInterface(NewShape().get(), &defs.provider));
}

// ---- Registration ------------------------------------------------------------------

TEST_F(ObjectRegistry, ClassesAreLookedUpByNameIgnoringCase) {
  RegisterIntrinsicClass(&defs.square);
  RegisterIntrinsicClass(&defs.square);  // harmless
  RuntimeClass* square = RuntimeClassOfDefinition(&defs.square);
  EXPECT_EQ(RuntimeLookupClass("testsquare"), square);
  StringRef name = StringRef::Adopt(StringFromASCII("TESTSQUARE"));
  EXPECT_EQ(RuntimeLookupClass(name.get()), square);
  EXPECT_EQ(RuntimeLookupClass("TestShape"), nullptr) << "never registered";
  EXPECT_EQ(RuntimeLookupClass(static_cast<const char*>(nullptr)), nullptr);

  // Taken names are refused; destroyed definitions are forgotten.
  {
    ObjectDefinition impostor;
    ObjectDefinitionSetName(&impostor, "TestSquare");
    RegisterIntrinsicClass(&impostor);
    ASSERT_EQ(TakeRecordedBoxes().size(), 1u);
    EXPECT_EQ(RuntimeLookupClass("TestSquare"), RuntimeClassOfDefinition(&defs.square));

    ObjectDefinition nameless;
    RegisterIntrinsicClass(&nameless);
    ASSERT_EQ(TakeRecordedBoxes().size(), 1u);

    ObjectDefinition ephemeral;
    ObjectDefinitionSetName(&ephemeral, "Ephemeral");
    RegisterIntrinsicClass(&ephemeral);
    EXPECT_NE(RuntimeLookupClass("Ephemeral"), nullptr);
  }
  EXPECT_EQ(RuntimeLookupClass("Ephemeral"), nullptr);
}

// ---- Generic accessors -------------------------------------------------------------

typedef StringRecord* (*StringGetter)(RuntimeObject*, uint32_t);
typedef void (*StringSetter)(RuntimeObject*, uint32_t, StringRecord*);

TEST_F(ObjectAccessors, StringSetterReleasesTheOldValueAndRetainsTheNew) {
  ObjectRef mine = NewMySquare();
  PropertyAccess title{};
  ASSERT_TRUE(FindPropertyAccess(mine.get(), "title", &title));
  auto get = reinterpret_cast<StringGetter>(title.getter);
  auto set = reinterpret_cast<StringSetter>(title.setter);

  StringRef first = StringRef::Adopt(StringFromASCII("first"));
  StringRef second = StringRef::Adopt(StringFromASCII("second"));
  set(mine.get(), title.parameter, first.get());
  EXPECT_EQ(first->refCount, 2);
  {
    StringRef read = StringRef::Adopt(get(mine.get(), title.parameter));
    EXPECT_EQ(read.get(), first.get());
    EXPECT_EQ(first->refCount, 3) << "a getter hands out a new reference";
  }
  set(mine.get(), title.parameter, second.get());
  EXPECT_EQ(first->refCount, 1);
  EXPECT_EQ(second->refCount, 2);
  set(mine.get(), title.parameter, nullptr);
  EXPECT_EQ(second->refCount, 1);
  EXPECT_FALSE(FindPropertyAccess(mine.get(), "NoSuchProperty", &title));
  EXPECT_FALSE(FindPropertyAccess(nullptr, "Title", &title));
}

TEST_F(ObjectAccessors, AssigningAFieldTheValueItHoldsKeepsItAlive) {
  ObjectRef mine = NewMySquare();
  stringSetter(mine.get(), kTitleAt, StringRef::Adopt(StringFromASCII("only here")).get());
  StringRecord* held = ObjectFields<ShapeFields>(mine.get())->title;
  ASSERT_EQ(held->refCount, 1) << "the field holds the only reference";
  stringSetter(mine.get(), kTitleAt, held);
  EXPECT_EQ(ObjectFields<ShapeFields>(mine.get())->title, held);
  EXPECT_EQ(held->refCount, 1);
  EXPECT_STREQ(StringCStr(held), "only here");

  objSetter(mine.get(), kPartnerAt, NewShape().get());
  RuntimeObject* partner = ObjectFields<ShapeFields>(mine.get())->partner;
  ASSERT_EQ(partner->refCount, 1);
  g_log.clear();
  objSetter(mine.get(), kPartnerAt, partner);
  EXPECT_TRUE(g_log.empty()) << "the partner was destroyed";
  EXPECT_EQ(partner->refCount, 1);
  {
    ObjectRef read = ObjectRef::Adopt(objGetter(mine.get(), kPartnerAt));
    EXPECT_EQ(read.get(), partner);
    EXPECT_EQ(partner->refCount, 2);
  }
  objSetter(mine.get(), kPartnerAt, nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"Shape-"}));
}

TEST_F(ObjectAccessors, ScalarFieldsRoundTripAtAnyOffset) {
  ObjectRef mine = NewMySquare();
  RuntimeObject* o = mine.get();
  const uint32_t at = mySquare.ExtraOffset();
  shortSetter(o, at, -300);
  EXPECT_EQ(shortGetter(o, at), -300);
  boolSetter(o, at + 2, 2);
  EXPECT_EQ(byteGetter(o, at + 2), 1) << "a Boolean is one byte, 1, whatever byte arrives";
  byteSetter(o, at + 2, 0);
  EXPECT_FALSE(boolGetter(o, at + 2));
  colorSetter(o, at + 4, 0x00FF8000);
  EXPECT_EQ(colorGetter(o, at + 4), 0x00FF8000u);
  EXPECT_EQ(shortGetter(o, at), -300) << "neighbouring fields untouched";
  doubleSetter(o, at + 7, -0.5);  // an odd offset
  EXPECT_EQ(doubleGetter(o, at + 7), -0.5);
  intSetter(o, at + 12, -4);
  EXPECT_EQ(intGetter(o, at + 12), -4);
}

TEST_F(ObjectAccessors, FieldsOutsideTheInstanceAreReportedAndUntouched) {
  ObjectRef mine = NewMySquare();
  RuntimeObject* o = mine.get();
  const RuntimeObject header = *o;
  const uint32_t size = mySquare.Class()->instanceSize;

  intSetter(o, 12, 99);  // the reference count
  EXPECT_EQ(intGetter(o, 0), 0);
  doubleSetter(o, size - 4, 1.0);
  stringSetter(o, size, nullptr);
  objSetter(o, 0xFFFFFFFCu, o);  // offset + size wraps around
  EXPECT_EQ(std::memcmp(&header, o, sizeof header), 0);
  EXPECT_EQ(TakeRecordedBoxes().size(), 5u);
  EXPECT_EQ(intGetter(o, size - 4), 0);
  EXPECT_TRUE(TakeRecordedBoxes().empty()) << "the last four bytes are a field";
}

TEST_F(ObjectAccessors, NilObjectRaisesNilObjectException) {
  EXPECT_EQ(intGetter(nullptr, 24), 0);
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_TRUE(ObjectIsADefinition(exception.get(), GetNilObjectExceptionClassDefinition()));
  stringSetter(nullptr, 24, nullptr);
  ObjectRef second = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_NE(second.get(), nullptr);
}

// ---- Value types -----------------------------------------------------------------

std::string ToText(const ValueTypeDescriptor& type, const void* value) {
  StringRef text = StringRef::Adopt(type.toText(value));
  return StringBytes(text.get());
}

template <class T>
T FromText(const ValueTypeDescriptor& type, const char* text) {
  T value{};
  StringRef record = StringRef::Adopt(StringFromASCII(text));
  type.fromText(record.get(), &value);
  return value;
}

TEST(ObjectValueTypes, NumbersBooleansAndColoursRoundTripThroughText) {
  const int32_t integer = -42;
  EXPECT_EQ(ToText(kIntegerType, &integer), "-42");
  EXPECT_EQ(FromText<int32_t>(kIntegerType, "-42"), -42);
  EXPECT_EQ(FromText<int32_t>(kIntegerType, "1e12"), INT32_MAX);

  const uint8_t yes = 1;
  EXPECT_EQ(ToText(kBooleanType, &yes), "True");
  EXPECT_EQ(FromText<uint8_t>(kBooleanType, "true"), 1);
  EXPECT_EQ(FromText<uint8_t>(kBooleanType, "2"), 1);
  EXPECT_EQ(FromText<uint8_t>(kBooleanType, "no"), 0);

  for (double value : {0.1, -2.5e-7, 1234567.0, 1e300}) {
    StringRef text = StringRef::Adopt(kDoubleType.toText(&value));
    double back = 0;
    kDoubleType.fromText(text.get(), &back);
    EXPECT_DOUBLE_EQ(back, value) << StringBytes(text.get());
  }
  const float single = 0.1f;
  EXPECT_EQ(ToText(kSingleType, &single), "0.1");
  EXPECT_EQ(FromText<float>(kSingleType, "1e300"), std::numeric_limits<float>::infinity());

  const uint32_t orange = 0x00FF8000;
  EXPECT_EQ(ToText(kColorType, &orange), "&h00FF8000");
  EXPECT_EQ(FromText<uint32_t>(kColorType, "&h00FF8000"), orange);
  EXPECT_EQ(FromText<uint32_t>(kColorType, "&hFFFFFFFF"), 0xFFFFFFFFu);
}

TEST(ObjectValueTypes, OnlyStringsAreCounted) {
  StringRef text = StringRef::Adopt(StringFromASCII("held"));
  StringRecord* slot = nullptr;
  kStringType.fromText(text.get(), &slot);
  EXPECT_EQ(slot, text.get());
  EXPECT_EQ(text->refCount, 2);
  StringRecord* copy = slot;
  kStringType.retain(&copy);
  EXPECT_EQ(text->refCount, 3);
  EXPECT_EQ(ToText(kStringType, &copy), "held");
  kStringType.release(&copy);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(text->refCount, 2);
  kStringType.release(&slot);
  EXPECT_EQ(text->refCount, 1);
  kStringType.release(&slot);  // nil: nothing

  int32_t number = 5;
  kIntegerType.retain(&number);
  kIntegerType.release(&number);
  EXPECT_EQ(number, 5);

  EXPECT_TRUE(TypeIsValueType(&kColorType));
  ObjectDefinition definition;
  EXPECT_FALSE(TypeIsValueType(&definition));
  EXPECT_FALSE(TypeIsValueType(nullptr));
}

}  // namespace
