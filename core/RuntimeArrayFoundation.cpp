// Language arrays: layout, bounds checks, element ownership and growth.
#include "core/RuntimeArrayFoundation.h"

#include <algorithm>
#include <utility>

#include "core/RuntimeExceptionFoundation.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "core/utility.h"

namespace {

constexpr int32_t kFirstGrowthStep = 16;
// Far more than any program declares; keeps the header size trivially small.
constexpr int32_t kMaxDimensions = 64;
// Buffers stay below 2 GB, so every byte count fits the allocator's and
// MoveBytes's 32-bit sizes.
constexpr uint64_t kMaxBufferBytes = 0x7FFFFFFF;

void ReportCallerFault(int32_t line, const char* condition) {
  AssertionFailed(131, 4, "RuntimeArrayFoundation", line, condition, "");
}

bool IsElementType(int32_t type) { return type >= kArrayInt32 && type <= kArrayObject; }

bool HoldsReferences(const RuntimeArray* array) {
  return array->elementType == kArrayString || array->elementType == kArrayObject;
}

uint32_t ElementSize(int32_t type) {
  switch (type) {
    case kArrayDouble: return sizeof(double);
    case kArrayString: return sizeof(StringRecord*);
    case kArrayObject: return sizeof(RuntimeObject*);
    default: return sizeof(int32_t);
  }
}

// The bounds live past the declared one-entry array; reach them through a
// plain pointer.
int32_t* UpperBounds(RuntimeArray* array) { return array->upperBounds; }
const int32_t* UpperBounds(const RuntimeArray* array) { return array->upperBounds; }

// Elements in use: the product of every dimension's length. CreateArray and
// the appends keep it within the buffer, but the buffer length is checked
// too, so no index can reach past it.
uint32_t ElementCount(const RuntimeArray* array) {
  uint64_t count = 1;
  const int32_t* bounds = UpperBounds(array);
  for (int32_t i = 0; i < array->dimensions && count != 0; ++i) {
    count *= uint64_t(int64_t(bounds[i]) + 1);
    if (count > kMaxBufferBytes) return 0;
  }
  uint64_t held = array->bufferLength / ElementSize(array->elementType);
  return uint32_t(std::min(count, held));
}

// The element's address; raises for a nil array or a bad index.
uint8_t* ElementAddress(RuntimeArray* array, int32_t index) {
  if (!array) {
    RaiseNilObjectException();
    return nullptr;
  }
  if (index < 0 || uint32_t(index) >= ElementCount(array)) {
    RaiseOutOfBoundsException();
    return nullptr;
  }
  return array->buffer + size_t(index) * ElementSize(array->elementType);
}

// The same for an access that needs elements of one type.
uint8_t* TypedElementAddress(RuntimeArray* array, int32_t index, int32_t type, int32_t line) {
  if (array && array->elementType != type) {
    ReportCallerFault(line, "array->elementType == type");
    return nullptr;
  }
  return ElementAddress(array, index);
}

StringRecord** StringSlot(uint8_t* element) { return reinterpret_cast<StringRecord**>(element); }
RuntimeObject** ObjectSlot(uint8_t* element) {
  return reinterpret_cast<RuntimeObject**>(element);
}

// Drops the reference of every string or object slot of the buffer (unused
// slots are nil).
void ReleaseElements(RuntimeArray* array) {
  uint32_t slots = array->bufferLength / ElementSize(array->elementType);
  for (uint32_t i = 0; i < slots; ++i) {
    uint8_t* element = array->buffer + size_t(i) * ElementSize(array->elementType);
    if (array->elementType == kArrayString) {
      RuntimeUnlockString(std::exchange(*StringSlot(element), nullptr));
    } else {
      RuntimeUnlockObject(std::exchange(*ObjectSlot(element), nullptr));
    }
  }
}

// Makes room for one more element of a one-dimensional array and gives the
// new last element's address (zero), or nil when it cannot be added.
uint8_t* AppendSlot(RuntimeArray* array, int32_t type, int32_t line) {
  if (!array) {
    RaiseNilObjectException();
    return nullptr;
  }
  if (array->elementType != type || array->dimensions != 1) {
    ReportCallerFault(line, "array->elementType == type && array->dimensions == 1");
    return nullptr;
  }
  const uint32_t size = ElementSize(type);
  const uint64_t count = uint64_t(ElementCount(array));
  const uint64_t needed = (count + 1) * size;
  if (needed > kMaxBufferBytes) {
    RaiseExceptionOfDefinition(GetOutOfMemoryExceptionClassDefinition());
    return nullptr;
  }
  if (needed > array->bufferLength) {
    const uint64_t step = uint64_t(std::max(array->growthStep, 1));
    const uint64_t grown = std::min((count + step) * size, kMaxBufferBytes / size * size);
    auto* buffer = static_cast<uint8_t*>(RuntimeAlloc(uint32_t(grown)));
    MoveBytes(buffer, array->buffer, int32_t(array->bufferLength));
    RuntimeFree(array->buffer);
    array->buffer = buffer;
    array->bufferLength = uint32_t(grown);
    array->growthStep = int32_t(std::max(step, grown / size / 2));
  }
  UpperBounds(array)[0] = int32_t(count);
  return array->buffer + size_t(count) * size;
}

}  // namespace

extern "C" {

RuntimeArray* CreateArray(int32_t dimensions, int32_t elementType, int32_t upperBound) {
  if (dimensions < 1 || dimensions > kMaxDimensions || !IsElementType(elementType)) {
    ReportCallerFault(__LINE__, "valid dimensions and element type");
    return nullptr;
  }
  if (upperBound < -1) {
    RaiseOutOfBoundsException();
    return nullptr;
  }
  const uint32_t size = ElementSize(elementType);
  uint64_t bytes = size;
  for (int32_t i = 0; i < dimensions && bytes != 0; ++i) {
    bytes *= uint64_t(int64_t(upperBound) + 1);
    if (bytes > kMaxBufferBytes) {
      RaiseExceptionOfDefinition(GetOutOfMemoryExceptionClassDefinition());
      return nullptr;
    }
  }
  const size_t headerSize = offsetof(RuntimeArray, upperBounds) + sizeof(int32_t) * dimensions;
  auto* array = static_cast<RuntimeArray*>(RuntimeAlloc(uint32_t(headerSize)));
  array->refCount = 1;
  array->elementType = elementType;
  array->dimensions = dimensions;
  array->buffer = bytes ? static_cast<uint8_t*>(RuntimeAlloc(uint32_t(bytes))) : nullptr;
  array->bufferLength = uint32_t(bytes);
  array->growthStep = kFirstGrowthStep;
  std::fill_n(UpperBounds(array), dimensions, upperBound);
  return array;
}

void RuntimeLockArray(RuntimeArray* array) {
  if (array) ++array->refCount;
}

void RuntimeUnlockArray(RuntimeArray* array) {
  if (!array || --array->refCount > 0) return;
  if (HoldsReferences(array)) ReleaseElements(array);
  RuntimeFree(array->buffer);
  RuntimeFree(array);
}

int32_t RuntimeUBound(const RuntimeArray* array) {
  if (!array) {
    RaiseNilObjectException();
    return 0;
  }
  return UpperBounds(array)[0];
}

void* FindArrayElement(RuntimeArray* array, int32_t index) {
  return ElementAddress(array, index);
}

int32_t RuntimeDirectReadIntArray(RuntimeArray* array, int32_t index) {
  uint8_t* element = TypedElementAddress(array, index, kArrayInt32, __LINE__);
  return element ? *reinterpret_cast<int32_t*>(element) : 0;
}

RuntimeObject* RuntimeDirectReadObjectArray(RuntimeArray* array, int32_t index) {
  uint8_t* element = TypedElementAddress(array, index, kArrayObject, __LINE__);
  if (!element) return nullptr;
  RuntimeLockObject(*ObjectSlot(element));
  return *ObjectSlot(element);
}

void ObjectArraySetElement(RuntimeArray* array, int32_t index, RuntimeObject* object) {
  uint8_t* element = TypedElementAddress(array, index, kArrayObject, __LINE__);
  if (!element) return;
  RuntimeLockObject(object);
  RuntimeUnlockObject(std::exchange(*ObjectSlot(element), object));
}

void IntegerArrayAppend(RuntimeArray* array, int32_t value) {
  uint8_t* element = AppendSlot(array, kArrayInt32, __LINE__);
  if (element) *reinterpret_cast<int32_t*>(element) = value;
}

StringRecord* StringArrayGetElement(RuntimeArray* array, int32_t index) {
  uint8_t* element = TypedElementAddress(array, index, kArrayString, __LINE__);
  if (!element) return nullptr;
  RuntimeLockString(*StringSlot(element));
  return *StringSlot(element);
}

void StringArraySetElement(RuntimeArray* array, int32_t index, const StringRecord* value) {
  uint8_t* element = TypedElementAddress(array, index, kArrayString, __LINE__);
  if (!element) return;
  auto* shared = const_cast<StringRecord*>(value);
  RuntimeLockString(shared);
  RuntimeUnlockString(std::exchange(*StringSlot(element), shared));
}

void StringArrayAppend(RuntimeArray* array, const StringRecord* value) {
  uint8_t* element = AppendSlot(array, kArrayString, __LINE__);
  if (!element) return;
  auto* shared = const_cast<StringRecord*>(value);
  RuntimeLockString(shared);
  *StringSlot(element) = shared;
}

void ObjectArrayAppend(RuntimeArray* array, RuntimeObject* object) {
  uint8_t* element = AppendSlot(array, kArrayObject, __LINE__);
  if (!element) return;
  RuntimeLockObject(object);
  *ObjectSlot(element) = object;
}

}  // extern "C"

#ifdef _WINDOWS_
#error "RuntimeArrayFoundation is portable: it must not include <windows.h>."
#endif
