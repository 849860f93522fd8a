// Socket blocks come from the run-time allocator; in the test flavour freed
// ones go through the poisoned quarantine first.
#include "system/SocketMemory.h"

#include <cstring>
#include <deque>

#include "core/diagnostics.h"
#include "core/utility.h"

namespace {

#ifdef SOCKET_BLOCK_QUARANTINE

constexpr uint8_t kPoison = 0xDD;
// Enough freed blocks held back to outlive every dangling use in one test.
constexpr size_t kQuarantineLength = 512;

std::deque<void*>& Quarantine() {
  static std::deque<void*> held;
  return held;
}

void Poison(void* block) { std::memset(block, kPoison, RuntimeBlockSize(block)); }

bool CheckPoison(void* block) {
  const auto* bytes = static_cast<const uint8_t*>(block);
  const uint32_t size = RuntimeBlockSize(block);
  for (uint32_t i = 0; i < size; ++i) {
    if (bytes[i] != kPoison) {
      AssertionFailed(131, 4, "SocketMemory", __LINE__, "freed block unchanged",
                      "A socket block was written after it was freed.");
      Poison(block);  // so that one fault is reported once
      return false;
    }
  }
  return true;
}

void Release(void* block) {
  Poison(block);
  auto& held = Quarantine();
  held.push_back(block);
  if (held.size() <= kQuarantineLength) return;
  void* oldest = held.front();
  held.pop_front();
  CheckPoison(oldest);
  RuntimeFree(oldest);
}

#else

void Release(void* block) { RuntimeFree(block); }

#endif

}  // namespace

void* AllocateSocketBlock(size_t size) { return RuntimeAlloc(uint32_t(size)); }

void FreeSocketBlock(void* block) {
  if (block) Release(block);
}

int32_t CheckSocketQuarantine() {
  int32_t damaged = 0;
#ifdef SOCKET_BLOCK_QUARANTINE
  for (void* block : Quarantine()) {
    if (!CheckPoison(block)) ++damaged;
  }
#endif
  return damaged;
}
