// Static class descriptions and the member records built from them.
//
// A built-in class is described once by an ObjectDefinition (usually a
// function-local static filled on first request) plus static tables of
// PropertyRecord, MethodRecord and EventRecord. BuildPropertyDefinitions,
// BuildMethodDefinitions and BuildEventDefinitions turn the tables into the
// definition's member lists; RegisterIntrinsicClass makes the class known by
// name. The run-time class is made from the definition on first use, so a
// definition's events are built before its class (or a subclass's) is made:
// the class's handler table has one slot per event of the chain at that time.
// Members and interfaces added later are seen by the class.
//
// Accessors: every property getter is called (object, parameter word) and
// every setter (object, parameter word, value); the parameter word is the
// record's last word (the field offset for the generic accessors; ignored by
// most others). Getters of strings and objects return a new reference that the
// caller releases; setters borrow the value and keep their own reference.
//
// The generic field accessors check their object: nil raises
// NilObjectException (getters then give zero / nil, setters store nothing);
// a field that would overlap the header or reach past the instance is
// reported through AssertionFailed and neither read nor written. Fields are
// read and written byte-wise, so any offset is safe.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct StringRecord;

// ---- Value types -----------------------------------------------------------
enum ValueKind : uint32_t {
  kValueString = 1,
  kValueInteger = 2,
  kValueBoolean = 3,
  kValueSingle = 4,
  kValueDouble = 5,
  kValueColor = 6,
};

// A value type {kind, name, to text, from text, release, retain}; `value`
// points at storage of the type (a StringRecord*, int32_t, uint8_t, float,
// double or uint32_t colour).
//
// Text forms: String itself; Integer decimal; Boolean "True" / "False" (read
// back ignoring case, any other text by its number, non-zero being True);
// Single with 7 and Double with 15 significant digits (fixed form from 1e-5
// to below 1e6, exponent form otherwise); Color "&h00RRGGBB". Numbers are
// read by StringVal; an Integer or Color out of range saturates, NaN gives 0.
// fromText of String stores a new reference and drops the old one; release
// drops the stored string and leaves nil; retain adds a reference to it. For
// every other type release and retain do nothing.
struct ValueTypeDescriptor {
  uint32_t kind;
  const char* name;
  StringRecord* (*toText)(const void* value);            // new reference
  void (*fromText)(const StringRecord* text, void* value);
  void (*release)(void* value);
  void (*retain)(void* value);
};
static_assert(!kLayoutIs32Bit || sizeof(ValueTypeDescriptor) == 24, "ValueTypeDescriptor is six words");

extern const ValueTypeDescriptor kStringType;
extern const ValueTypeDescriptor kIntegerType;
extern const ValueTypeDescriptor kBooleanType;
extern const ValueTypeDescriptor kSingleType;
extern const ValueTypeDescriptor kDoubleType;
extern const ValueTypeDescriptor kColorType;

// A member type: a ValueTypeDescriptor* or an ObjectDefinition* (both begin
// with a kind word; TypeIsValueType tells them apart). Nil means none.
typedef const void* MemberType;
bool TypeIsValueType(MemberType type);  // false for nil and class definitions

// ---- Static records (binary layouts fixed) ---------------------------------
enum PropertyFlags : uint32_t {
  kPropertyReadOnly = 0x1,
  kPropertyGenericGetter = 0x40,  // a setter used with the generic getter
  kPropertyPassesParameter = 0x80,
};

struct PropertyRecord {
  uint32_t flags;
  const char* name;
  MemberType type;
  void* getter;
  const char* getterName;
  void* setter;
  const char* setterName;
  uint32_t parameter;  // field offset, or the accessor's parameter
};
static_assert(!kLayoutIs32Bit || sizeof(PropertyRecord) == 32, "PropertyRecord is eight words");

enum ParameterFlags : uint32_t {
  kParameterByReference = 0x1,
  kParameterOptional = 0x100,
};

struct ParameterRecord {
  const char* name;
  MemberType type;
  uint32_t flags;
};
static_assert(!kLayoutIs32Bit || sizeof(ParameterRecord) == 12, "ParameterRecord is three words");

struct MethodRecord {
  const char* name;
  MemberType returnType;
  const ParameterRecord* parameters;
  uint32_t parameterCount;
  void* function;
  const char* functionName;
  void* setter;  // for assignable members
  const char* setterName;
  uint32_t flags;
  uint32_t reserved[10];
};
static_assert(!kLayoutIs32Bit || sizeof(MethodRecord) == 76, "MethodRecord is nineteen words");

struct EventRecord {
  uint32_t flags;
  const char* name;
  const char* parameters;  // "X As Integer, Y As Integer"
  const char* returnType;  // "Boolean", or null for none
  uint32_t slot;           // filled by BuildEventDefinitions
};
static_assert(!kLayoutIs32Bit || sizeof(EventRecord) == 20, "EventRecord is five words");

// A method record for C++ tables (spelled out here because the record's
// reserved words make aggregate initialisation noisy).
inline MethodRecord MakeMethodRecord(const char* name, MemberType returnType,
                                     const ParameterRecord* parameters, uint32_t parameterCount,
                                     void* function, const char* functionName,
                                     void* setter = nullptr, const char* setterName = nullptr) {
  MethodRecord record{};
  record.name = name;
  record.returnType = returnType;
  record.parameters = parameters;
  record.parameterCount = parameterCount;
  record.function = function;
  record.functionName = functionName;
  record.setter = setter;
  record.setterName = setterName;
  return record;
}

// A run-time function and its name, as the records' (function, name) pairs.
#define RUNTIME_ENTRY(function) reinterpret_cast<void*>(&function), #function

// A native answer to an event of the class ("CreatePane").
struct EventImplementation {
  EventImplementation* next;
  const char* eventName;
  void* handler;
};

// ---- Member definitions (built from the records, owned by the definition) --
struct PropertyDefinition {
  const PropertyDefinition* next;
  const PropertyRecord* record;
};
struct MethodDefinition {
  const MethodDefinition* next;
  const MethodRecord* record;
};
struct EventDefinition {
  const EventDefinition* next;
  EventRecord* record;
};

// ---- The definition ---------------------------------------------------------
enum : uint32_t { kObjectDefinitionKind = 0x4F424A44 };  // 'OBJD'

struct ObjectDefinition {
  // Empty: no name, instance size 24 (the header only); linked into the
  // global list of definitions. The destructor unlinks it (which also ends
  // its registration) and frees the member lists it built, its name and the
  // run-time class made from it: no object of the class, and no definition
  // of a subclass, may outlive it. Built-in definitions live for the run.
  //
  // instanceSize counts the whole instance: header, the superclass's fields
  // and this class's own.
  ObjectDefinition();
  ~ObjectDefinition();
  ObjectDefinition(const ObjectDefinition&) = delete;
  ObjectDefinition& operator=(const ObjectDefinition&) = delete;

  // Records an implemented interface; nil and repeats are ignored.
  void AddInterface(ObjectDefinition* interfaceDefinition);
  // Events of the whole chain: the superclass's count plus this class's.
  uint32_t TotalEventCount() const;
  // The named event of this class or an ancestor (case ignored), or nil.
  const EventDefinition* FindEvent(const char* name) const;
  const PropertyDefinition* FindProperty(const char* name) const;
  const MethodDefinition* FindMethod(const char* name) const;
  // The native handler of this class or an ancestor for the event, or nil.
  void* FindEventImplementation(const char* eventName) const;

  uint32_t kind = kObjectDefinitionKind;  // first word: see TypeIsValueType
  ObjectDefinition* superclass = nullptr;
  StringRecord* name = nullptr;  // owned; set with ObjectDefinitionSetName
  uint8_t flags = 0;
  bool isInterface = false;
  uint32_t instanceSize = 24;
  ObjectInitialiser initialiser = nullptr;
  ObjectDestructor destructor = nullptr;
  const PropertyDefinition* properties = nullptr;
  const MethodDefinition* methods = nullptr;
  const MethodDefinition* sharedMethods = nullptr;
  const EventDefinition* events = nullptr;
  uint32_t eventCount = 0;
  EventImplementation* eventImplementations = nullptr;  // borrowed
  ObjectDefinition** interfaces = nullptr;               // owned array
  uint32_t interfaceCount = 0;
  RuntimeClass* runtimeClass = nullptr;  // made on first use
  ObjectDefinition* previousDefinition = nullptr;
  ObjectDefinition* nextDefinition = nullptr;
  bool registered = false;  // by RegisterIntrinsicClass
};

// Sets the definition's name to a static string (count 0, owned by the
// definition) of the ASCII text; nil clears it.
void ObjectDefinitionSetName(ObjectDefinition* definition, const char* name);

// A definition of a root class: name, instance size, initialiser and
// destructor, properties and methods in table order.
template <size_t PropertyCount, size_t MethodCount>
ObjectDefinition* FillClassDefinition(ObjectDefinition* definition, const char* name,
                                      uint32_t instanceSize, ObjectInitialiser initialiser,
                                      ObjectDestructor destructor,
                                      const PropertyRecord (&properties)[PropertyCount],
                                      const MethodRecord (&methods)[MethodCount]);
// A definition of a subclass that adds no members of its own.
ObjectDefinition* FillSubclassDefinition(ObjectDefinition* definition, const char* name,
                                         ObjectDefinition* superclass);

extern "C" {
// Append the tables' members to the definition's lists, in table order.
// Event slots continue after the superclass's events (build the superclass
// first); each record's slot is written back.
void BuildEventDefinitions(ObjectDefinition* definition, EventRecord* records, int32_t count);
void BuildPropertyDefinitions(ObjectDefinition* definition, const PropertyRecord* records,
                              int32_t count);
void BuildMethodDefinitions(ObjectDefinition* definition, const MethodRecord* records,
                            int32_t count);
void BuildSharedMethodDefinitions(ObjectDefinition* definition, const MethodRecord* records,
                                  int32_t count);
// Makes the class known by its name to RuntimeLookupClass; registering the
// same definition twice is harmless, another definition of a taken name (or
// a definition without a name) is reported through AssertionFailed and
// ignored.
void RegisterIntrinsicClass(ObjectDefinition* definition);

// Generic field accessors: the parameter word is the field's byte offset
// from the start of the object.
int32_t intGetter(RuntimeObject* object, uint32_t offset);
void intSetter(RuntimeObject* object, uint32_t offset, int32_t value);
int16_t shortGetter(RuntimeObject* object, uint32_t offset);
void shortSetter(RuntimeObject* object, uint32_t offset, int16_t value);
uint8_t byteGetter(RuntimeObject* object, uint32_t offset);
void byteSetter(RuntimeObject* object, uint32_t offset, uint8_t value);
bool boolGetter(RuntimeObject* object, uint32_t offset);
// A Boolean arrives from compiled code as any byte and is stored as 0 or 1.
void boolSetter(RuntimeObject* object, uint32_t offset, uint8_t value);
double doubleGetter(RuntimeObject* object, uint32_t offset);
void doubleSetter(RuntimeObject* object, uint32_t offset, double value);
uint32_t colorGetter(RuntimeObject* object, uint32_t offset);
void colorSetter(RuntimeObject* object, uint32_t offset, uint32_t value);
StringRecord* stringGetter(RuntimeObject* object, uint32_t offset);
void stringSetter(RuntimeObject* object, uint32_t offset, StringRecord* value);
RuntimeObject* objGetter(RuntimeObject* object, uint32_t offset);
void objSetter(RuntimeObject* object, uint32_t offset, RuntimeObject* value);
}

// The accessor of a property of the object's class chain, read through its
// record, for the run-time's C++ code and tests: (getter, setter, parameter).
// False (and access untouched) when the object is nil or has no such
// property.
struct PropertyAccess {
  void* getter;
  void* setter;
  uint32_t parameter;
};
bool FindPropertyAccess(const RuntimeObject* object, const char* name, PropertyAccess* access);

template <size_t PropertyCount, size_t MethodCount>
ObjectDefinition* FillClassDefinition(ObjectDefinition* definition, const char* name,
                                      uint32_t instanceSize, ObjectInitialiser initialiser,
                                      ObjectDestructor destructor,
                                      const PropertyRecord (&properties)[PropertyCount],
                                      const MethodRecord (&methods)[MethodCount]) {
  ObjectDefinitionSetName(definition, name);
  definition->instanceSize = instanceSize;
  definition->initialiser = initialiser;
  definition->destructor = destructor;
  BuildPropertyDefinitions(definition, properties, int32_t(PropertyCount));
  BuildMethodDefinitions(definition, methods, int32_t(MethodCount));
  return definition;
}
