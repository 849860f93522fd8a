// POSIX side of the core's operating-system seam, for the native test and
// fuzz programs. Boxes are answered without a user (the programs run in
// recording mode; one shown anyway is printed to standard error), code pages
// go through iconv with '?' for a character the page lacks, as the Win32
// side does.
#include <iconv.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>

#include "core/platform.h"

namespace platform {
namespace {

std::string IconvName(uint32_t codePage) {
  switch (codePage) {
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    case 10000: return "MACINTOSH";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    default: return "CP" + std::to_string(codePage);
  }
}

// One conversion descriptor per call: the programs are short and iconv's
// state must not leak between conversions.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts as much as it can; gives errno's value where it stopped (0 at
  // the end).
  int Step(const char*& in, size_t& inLeft, std::string& out) {
    char buffer[256];
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t done = iconv(cd_, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
    out.append(buffer, size_t(outPtr - buffer));
    if (done != size_t(-1)) return 0;
    return errno;
  }

 private:
  iconv_t cd_;
};

std::u16string FromUTF16LE(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = char16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
  }
  return units;
}

}  // namespace

int32_t ShowMessageBox(const std::u16string& text, const std::u16string&, uint32_t) {
  std::string narrow;
  for (char16_t unit : text) narrow += unit < 0x80 ? char(unit) : '?';
  std::fprintf(stderr, "message box: %s\n", narrow.c_str());
  return 1;
}

uint32_t CurrentThreadId() {
  static std::atomic<uint32_t> last{0};
  thread_local const uint32_t id = ++last;
  return id;
}

void WaitForShortLock(uint32_t attempt) {
  if (attempt < 128) {
    sched_yield();
  } else {
    usleep(1000);
  }
}

void ExitProcessNow(uint32_t exitCode) { _Exit(int(exitCode)); }

uint32_t DoubleClickTimeMs() { return 500; }

uint16_t UserDefaultLanguage() { return 0x0409; }

std::u16string CodePageToUTF16(uint32_t codePage, const char* bytes, size_t count) {
  if (count == 0) return {};
  Converter converter("UTF-16LE", IconvName(codePage));
  if (!converter.ok()) return std::u16string(count, u'\uFFFD');
  std::u16string result;
  const char* in = bytes;
  size_t left = count;
  while (left > 0) {
    std::string out;
    int stopped = converter.Step(in, left, out);
    result += FromUTF16LE(out);
    if (stopped == 0 || stopped == E2BIG) continue;
    // An invalid or truncated sequence: one replacement character per byte
    // passed over.
    result += u'\uFFFD';
    ++in;
    --left;
  }
  return result;
}

std::string UTF16ToCodePage(uint32_t codePage, const char16_t* units, size_t count) {
  if (count == 0) return {};
  Converter converter(IconvName(codePage), "UTF-16LE");
  if (!converter.ok()) return std::string(count, '?');
  std::string wide;
  for (size_t i = 0; i < count; ++i) {
    wide += char(units[i] & 0xFF);
    wide += char(units[i] >> 8);
  }
  std::string result;
  const char* in = wide.data();
  size_t left = wide.size();
  while (left > 0) {
    int stopped = converter.Step(in, left, result);
    if (stopped == 0 || stopped == E2BIG) continue;
    // A character the page lacks (or a lone surrogate): '?' for its unit.
    result += '?';
    in += 2;
    left = left >= 2 ? left - 2 : 0;
  }
  return result;
}

bool IsLeadByte(uint32_t codePage, uint8_t byte) {
  if (byte < 0x80) return false;
  Converter converter("UTF-16LE", IconvName(codePage));
  if (!converter.ok()) return false;
  const char single = char(byte);
  const char* in = &single;
  size_t left = 1;
  std::string out;
  return converter.Step(in, left, out) == EINVAL;
}

LocalTime LocalNow() {
  time_t now = time(nullptr);
  tm fields{};
  localtime_r(&now, &fields);
  return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
          fields.tm_hour,        fields.tm_min,     fields.tm_sec};
}

int64_t LocalOffsetSecondsAtUTC(int64_t utcSecondsSince1601) {
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
  time_t moment = time_t(utcSecondsSince1601 - kSecondsFrom1601To1970);
  tm fields{};
  if (!localtime_r(&moment, &fields)) return 0;
  return fields.tm_gmtoff;
}

}  // namespace platform
