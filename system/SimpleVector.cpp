// Index checks and taking items off a SimpleVector.
#include "system/SimpleVector.h"

#include "core/diagnostics.h"

void* SimpleVector::At(uint32_t index) const {
  if (index >= items_.count) {
    AssertionFailed(131, 4, "SimpleVector", __LINE__, "index < count", nullptr);
    return nullptr;
  }
  return items_.block[index];
}

int32_t SimpleVector::LastIndexOf(const void* item) const {
  for (uint32_t i = items_.count; i > 0; --i) {
    if (items_.block[i - 1] == item) return int32_t(i - 1);
  }
  return -1;
}

void* SimpleVector::TakeLast() {
  if (items_.count == 0 || items_.count > items_.capacity) {
    AssertionFailed(131, 4, "SimpleVector", 264, "0", nullptr);
    return nullptr;
  }
  return items_.RemoveAt(items_.count - 1);
}
