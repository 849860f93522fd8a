// Language arrays: reference-counted records of 32-bit values, doubles,
// strings or objects, with one upper bound per dimension.
//
// CreateArray hands its caller one reference; RuntimeLockArray and
// RuntimeUnlockArray count it; the last unlock releases string and object
// elements and frees the array. Elements of multi-dimensional arrays are laid
// out row-major, and an element index counts them in that order. A bad index
// raises OutOfBoundsException; a nil array raises NilObjectException. Asking
// for an element of another type than the array holds (an integer of a string
// array), or appending to a multi-dimensional array, is a fault of the caller:
// it is reported through AssertionFailed and reads 0 / nil or changes nothing.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

struct RuntimeObject;
struct StringRecord;

enum ArrayElementType : int32_t {
  kArrayInt32 = 0,
  kArrayDouble = 1,
  kArrayString = 2,  // elements own one reference each
  kArrayObject = 3,  // elements own one reference each
};

struct RuntimeArray {
  int32_t refCount;
  int32_t elementType;
  int32_t dimensions;
  uint8_t* buffer;        // RuntimeAlloc block; nil while no element was ever held
  uint32_t bufferLength;  // bytes allocated
  int32_t growthStep;     // elements added when an append overflows (it grows
                          // with the array, so long runs of appends stay linear)
  int32_t upperBounds[1]; // `dimensions` entries; -1 for an empty dimension
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(!kLayoutIs32Bit || offsetof(RuntimeArray, upperBounds) == 24, "six words before the bounds");
#endif

extern "C" {
// Elements 0 .. upperBound in every dimension (upperBound -1 for empty),
// zero / nil filled. An upper bound below -1 raises OutOfBoundsException, a
// size beyond 2 GB OutOfMemoryException; both give nil.
RuntimeArray* CreateArray(int32_t dimensions, int32_t elementType, int32_t upperBound);
void RuntimeLockArray(RuntimeArray* array);    // nil ignored
void RuntimeUnlockArray(RuntimeArray* array);  // nil ignored

// Upper bound of the first dimension (-1 when empty); nil raises
// NilObjectException and gives 0.
int32_t RuntimeUBound(const RuntimeArray* array);
// Address of an element, or nil (with the exception raised) for a nil array
// or an index outside 0 .. UBound (of all elements, for several dimensions).
void* FindArrayElement(RuntimeArray* array, int32_t index);

int32_t RuntimeDirectReadIntArray(RuntimeArray* array, int32_t index);  // 0 when bad
// The element with one reference added (the caller's).
RuntimeObject* RuntimeDirectReadObjectArray(RuntimeArray* array, int32_t index);
// Stores object (new one locked, then the old one unlocked, so storing the
// element the slot already holds is safe).
void ObjectArraySetElement(RuntimeArray* array, int32_t index, RuntimeObject* object);
void IntegerArrayAppend(RuntimeArray* array, int32_t value);

// For the run-time's C++ code: string elements (new reference on read; the
// store keeps its own reference) and appends of any kind.
StringRecord* StringArrayGetElement(RuntimeArray* array, int32_t index);
void StringArraySetElement(RuntimeArray* array, int32_t index, const StringRecord* value);
void StringArrayAppend(RuntimeArray* array, const StringRecord* value);
void ObjectArrayAppend(RuntimeArray* array, RuntimeObject* object);
}
