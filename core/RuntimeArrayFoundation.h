// Language arrays: reference-counted records of 32-bit values, doubles,
// strings or objects, with one upper bound per dimension.
//
// CreateArray hands its caller one reference; RuntimeLockArray and
// RuntimeUnlockArray count it; the last unlock releases string and object
// elements and frees the array. Elements of multi-dimensional arrays are laid
// out row-major. A bad index raises OutOfBoundsException; a nil array raises
// NilObjectException.
#pragma once
#include <cstdint>

struct RuntimeObject;
struct StringRecord;

enum ArrayElementType : int32_t {
  kArrayInt32 = 0,
  kArrayDouble = 1,
  kArrayString = 2,
  kArrayObject = 3,
};

struct RuntimeArray {
  int32_t refCount;
  int32_t elementType;
  int32_t dimensions;
  uint8_t* buffer;
  uint32_t bufferLength;  // bytes allocated
  int32_t growthStep;     // elements added when an append overflows
  int32_t upperBounds[1]; // `dimensions` entries; -1 for an empty dimension
};

extern "C" {
// Elements 0 .. upperBound in every dimension (upperBound -1 for empty),
// zero / nil filled.
RuntimeArray* CreateArray(int32_t dimensions, int32_t elementType, int32_t upperBound);
void RuntimeLockArray(RuntimeArray* array);
void RuntimeUnlockArray(RuntimeArray* array);

// Upper bound of the first dimension (-1 when empty); nil raises
// NilObjectException and gives 0.
int32_t RuntimeUBound(const RuntimeArray* array);
// Address of an element of a one-dimensional array, or nil (with the
// exception raised) for a nil array or an index outside 0 .. UBound.
void* FindArrayElement(RuntimeArray* array, int32_t index);

int32_t RuntimeDirectReadIntArray(RuntimeArray* array, int32_t index);  // 0 when bad
// The element with one reference added (the caller's).
RuntimeObject* RuntimeDirectReadObjectArray(RuntimeArray* array, int32_t index);
// Stores object (new one locked, then the old one unlocked).
void ObjectArraySetElement(RuntimeArray* array, int32_t index, RuntimeObject* object);
void IntegerArrayAppend(RuntimeArray* array, int32_t value);

// For the run-time's C++ code: string elements (new reference on read; the
// store keeps its own reference) and appends of any kind.
StringRecord* StringArrayGetElement(RuntimeArray* array, int32_t index);
void StringArraySetElement(RuntimeArray* array, int32_t index, const StringRecord* value);
void StringArrayAppend(RuntimeArray* array, const StringRecord* value);
void ObjectArrayAppend(RuntimeArray* array, RuntimeObject* object);
}
