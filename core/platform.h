// The operating-system services the core needs, kept behind one seam so that
// the rest of core/ (and the portable code built on it) holds no Win32 call.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A modal message box; answers with the values of MessageBoxAnswer.
int32_t ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                       uint32_t buttons);
[[noreturn]] void ExitProcessNow(uint32_t exitCode);
uint32_t DoubleClickTimeMs();
// The user's default language identifier (1041 Japanese, 1028 Chinese ...).
uint16_t UserDefaultLanguage();

// Conversions through a code page (932, 950, 1252 ...). Invalid or truncated
// input becomes replacement characters, and a character the code page lacks
// becomes '?' (never a look-alike); nothing is dropped silently.
std::u16string CodePageToUTF16(uint32_t codePage, const char* bytes, size_t count);
std::string UTF16ToCodePage(uint32_t codePage, const char16_t* units, size_t count);
// Characters in a double-byte code page: lead bytes start two-byte ones.
bool IsLeadByte(uint32_t codePage, uint8_t byte);

struct LocalTime {
  int32_t year, month, day, hour, minute, second;
};
LocalTime LocalNow();
// Offset of local time from UTC, in seconds, at a moment given as seconds
// since 1601-01-01 UTC (as file times count).
int64_t LocalOffsetSecondsAtUTC(int64_t utcSecondsSince1601);

// A lock held for a few instructions at a time (the allocator's, taken
// several times for every value a query hands out): taken with one
// interlocked exchange inline and given back with a plain store, where a
// system lock costs a call into the system library each way. A thread that
// finds it taken spins a little, then gives up its time slice until it is
// free (WaitForShortLock). Not recursive; constant-initialised, so it can be
// a function's static.
class ShortLock {
 public:
  constexpr ShortLock() = default;
  ShortLock(const ShortLock&) = delete;
  ShortLock& operator=(const ShortLock&) = delete;
  void Lock() {
    if (taken_.exchange(true, std::memory_order_acquire)) LockContended();
  }
  void Unlock() { taken_.store(false, std::memory_order_release); }

 private:
  void LockContended();
  std::atomic<bool> taken_{false};
};

// The calling thread's identifier: never 0, and no two threads alive at once
// share one.
uint32_t CurrentThreadId();

// Lets other threads run before the attempt'th retry of a taken lock: the
// processor's pause at first, then the rest of the time slice, then a short
// sleep, so that a holder of any priority gets to finish.
void WaitForShortLock(uint32_t attempt);

// Holds a ShortLock for a scope.
class ShortLockGuard {
 public:
  explicit ShortLockGuard(ShortLock& lock) : lock_(lock) { lock_.Lock(); }
  ~ShortLockGuard() { lock_.Unlock(); }
  ShortLockGuard(const ShortLockGuard&) = delete;
  ShortLockGuard& operator=(const ShortLockGuard&) = delete;

 private:
  ShortLock& lock_;
};

}  // namespace platform
