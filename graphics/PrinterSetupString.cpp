// The setup string's lines, both ways. The reader walks the text as the
// run-time's key/value splitter cuts it (fields at CR LF, a key before the
// first "=", a value up to the second), except that a device mode announced
// by a size is taken byte for byte.
#include "graphics/PrinterSetupString.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/basicstr.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFirstKey = "DoNotAlterThis";
constexpr std::string_view kVersion = "SetupString.1";
constexpr std::string_view kDevModeSizePS = "DevModeStructureSizePS";
constexpr std::string_view kDevModePS = "DevModeStructurePS";
constexpr std::string_view kDevModeSizePD = "DevModeStructureSizePD";
constexpr std::string_view kDevModePD = "DevModeStructurePD";
constexpr std::string_view kDriverName = "DriverName";
constexpr std::string_view kDeviceName = "DeviceName";
constexpr std::string_view kOutputName = "OutputName";
constexpr size_t kLargestBlock = 65535;  // 16-bit sizes and offsets
constexpr size_t kDeviceNamesHeaderSize = 8;

bool SameKey(std::string_view a, std::string_view b) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return upper(x) == upper(y); });
}

int32_t ReadNumber(std::string_view value) { return CStringToInt(std::string(value).c_str()); }

uint16_t ReadU16(const uint8_t* bytes) { return uint16_t(bytes[0] | bytes[1] << 8); }

void WriteU16(char* bytes, size_t value) {
  bytes[0] = char(value & 0xFF);
  bytes[1] = char(value >> 8 & 0xFF);
}

// ---- Writing ------------------------------------------------------------------------

class SetupStringWriter {
 public:
  void Line(std::string_view key, std::string_view value) {
    text_.append(key).append("=").append(value).append(kLineEnd);
  }
  void Number(std::string_view key, int32_t value) { Line(key, std::to_string(value)); }
  void Rect(const char* prefix, const PageSetupRect& rect) {
    const std::string p = prefix;
    Number(p + "Left", rect.left);
    Number(p + "Right", rect.right);
    Number(p + "Top", rect.top);
    Number(p + "Bottom", rect.bottom);
  }
  void Names(const std::optional<PrinterDeviceNames>& names) {
    if (!names) return;
    Line(kDriverName, names->driver);
    Line(kDeviceName, names->device);
    Line(kOutputName, names->output);
  }
  void DevMode(std::string_view sizeKey, std::string_view key,
               const std::optional<std::string>& bytes) {
    if (!bytes) return;
    Number(sizeKey, int32_t(bytes->size()));
    Line(key, *bytes);
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

// ---- Reading ------------------------------------------------------------------------

struct SetupLine {
  std::string_view key, value;
};

class SetupLineReader {
 public:
  explicit SetupLineReader(std::string_view text) : text_(text) {}

  // The next line that holds "=", or false at the end. rawSize(key) is the
  // number of bytes to take as the value as they stand; 0 for a value that
  // ends at the line's end or at a further "=".
  template <class RawSize>
  bool Next(SetupLine* line, RawSize rawSize) {
    while (!done_) {
      const size_t start = next_;
      size_t end = text_.find(kLineEnd, start);
      if (end == std::string_view::npos) end = text_.size();
      ContinueAfter(end);
      const size_t equals = text_.find('=', start);
      if (equals >= end) continue;
      line->key = text_.substr(start, equals - start);
      const size_t valueStart = equals + 1;
      if (const size_t raw = rawSize(line->key)) {
        const size_t valueEnd = std::min(text_.size(), valueStart + raw);
        line->value = text_.substr(valueStart, valueEnd - valueStart);
        const size_t lineEnd = text_.find(kLineEnd, valueEnd);
        ContinueAfter(lineEnd == std::string_view::npos ? text_.size() : lineEnd);
      } else {
        line->value = text_.substr(valueStart, end - valueStart);
        line->value = line->value.substr(0, line->value.find('='));
      }
      return true;
    }
    return false;
  }

 private:
  // The next line starts after the CR LF at lineEnd; none after the text.
  void ContinueAfter(size_t lineEnd) {
    done_ = lineEnd >= text_.size();
    next_ = done_ ? text_.size() : lineEnd + kLineEnd.size();
  }

  std::string_view text_;
  size_t next_ = 0;
  bool done_ = false;
};

// The ranges a setup string's numbers must keep; anything else refuses the
// text, so that a damaged or foreign one can never make a negative page.
// Resolutions are those a device mode can give (16-bit, at least 1 dot per
// inch); a maximum may also be -1, no cap. Margins are at most the longest
// paper a device mode can describe.
constexpr int32_t kLargestResolution = 32767;
constexpr int32_t kLargestPageSetupValue = 327670;  // hundredths of a millimetre
constexpr int32_t kLargestPage = 65535;

using NumberStore = bool (*)(PrinterSettings* settings, int32_t value);

bool Within(int32_t value, int32_t least, int32_t most) { return value >= least && value <= most; }

template <int32_t PrinterSettings::*Field>
bool StoreResolution(PrinterSettings* settings, int32_t value) {
  if (!Within(value, 1, kLargestResolution)) return false;
  settings->*Field = value;
  return true;
}

template <int32_t PrinterSettings::*Field>
bool StoreMaximum(PrinterSettings* settings, int32_t value) {
  if (CarriedMaximumResolution(value) != value) return false;
  settings->*Field = value;
  return true;
}

template <PageSetupRect PrinterSettings::*Rect, int32_t PageSetupRect::*Side>
bool StoreMargin(PrinterSettings* settings, int32_t value) {
  if (!Within(value, 0, kLargestPageSetupValue)) return false;
  settings->*Rect.*Side = value;
  return true;
}

template <int32_t PrinterSettings::*Field>
bool StoreFlags(PrinterSettings* settings, int32_t value) {
  settings->*Field = value;
  return true;
}

template <uint16_t PrinterSettings::*Field>
bool StorePage(PrinterSettings* settings, int32_t value) {
  if (!Within(value, 0, kLargestPage)) return false;
  settings->*Field = uint16_t(value);
  return true;
}

struct NumberKey {
  std::string_view key;
  NumberStore store;
};

using S = PrinterSettings;
using R = PageSetupRect;
const NumberKey kNumberKeys[] = {
    {"ActualHorizontalResolution", StoreResolution<&S::horizontalResolution>},
    {"ActualVerticalResolution", StoreResolution<&S::verticalResolution>},
    {"MaxHorizontalResolution", StoreMaximum<&S::maxHorizontalResolution>},
    {"MaxVerticalResolution", StoreMaximum<&S::maxVerticalResolution>},
    {"MarginLeft", StoreMargin<&S::margins, &R::left>},
    {"MarginTop", StoreMargin<&S::margins, &R::top>},
    {"MarginRight", StoreMargin<&S::margins, &R::right>},
    {"MarginBottom", StoreMargin<&S::margins, &R::bottom>},
    {"MinMarginLeft", StoreMargin<&S::minMargins, &R::left>},
    {"MinMarginTop", StoreMargin<&S::minMargins, &R::top>},
    {"MinMarginRight", StoreMargin<&S::minMargins, &R::right>},
    {"MinMarginBottom", StoreMargin<&S::minMargins, &R::bottom>},
    {"PageSetupFlags", StoreFlags<&S::pageSetupFlags>},
    {"PrintSetupFlags", StoreFlags<&S::printFlags>},
    {"FromPage", StorePage<&S::fromPage>},
    {"ToPage", StorePage<&S::toPage>},
    {"MinPage", StorePage<&S::minPage>},
    {"MaxPage", StorePage<&S::maxPage>},
};

enum class Stored { kNotANumber, kTaken, kRefused };

Stored StoreNumber(const SetupLine& line, PrinterSettings* settings) {
  for (const NumberKey& entry : kNumberKeys) {
    if (!SameKey(line.key, entry.key)) continue;
    return entry.store(settings, ReadNumber(line.value)) ? Stored::kTaken : Stored::kRefused;
  }
  return Stored::kNotANumber;
}

// A device mode's field values that no device answers: each field named in
// dmFields must hold a value of its kind, and the names must end inside
// their arrays.
bool DevModeFieldsInRange(const std::string& mode) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(mode.data());
  auto i16 = [&](size_t offset) { return int32_t(int16_t(ReadU16(bytes + offset))); };
  const uint32_t fields = uint32_t(ReadU16(bytes + kDevModeFieldsOffset)) |
                          uint32_t(ReadU16(bytes + kDevModeFieldsOffset + 2)) << 16;
  if (!std::memchr(bytes, 0, kDevModeNameLength)) return false;
  if ((fields & kDevModeFormName) &&
      !std::memchr(bytes + kDevModeFormNameOffset, 0, kDevModeNameLength)) {
    return false;
  }
  for (const DevModeFieldRange& range : kDevModeFieldRanges) {
    if (!(fields & range.field)) continue;
    const int32_t value = i16(range.offset);
    const bool user = range.leastUser && value >= range.leastUser;
    if (!user && !Within(value, range.least, range.most)) return false;
  }
  return true;
}

// A size line's value as a carried size; 0 for one that cannot be.
size_t CarriedSizeOf(std::string_view value) {
  const int32_t size = ReadNumber(value);
  if (!Within(size, int32_t(kMinimumCarriedDevModeSize), int32_t(kLargestBlock))) return 0;
  return size_t(size);
}

// A device mode of `size` bytes from a value of at most as many.
std::string DevModeOfValue(std::string_view value, size_t size) {
  std::string block(size, '\0');
  std::copy_n(value.begin(), std::min(size, value.size()), block.begin());
  WriteU16(&block[kDevModeSizeOffset], size);
  WriteU16(&block[kDevModeDriverExtraOffset], 0);
  return block;
}

size_t DeviceNamesBlockSize(const PrinterDeviceNames& names) {
  return kDeviceNamesHeaderSize + names.driver.size() + names.device.size() + names.output.size() +
         3;
}

}  // namespace

std::string WritePrinterSetupString(const PrinterSettings& settings) {
  SetupStringWriter out;
  out.Line(kFirstKey, kVersion);
  out.Number("ActualHorizontalResolution", settings.horizontalResolution);
  out.Number("ActualVerticalResolution", settings.verticalResolution);
  out.Number("MaxHorizontalResolution", settings.maxHorizontalResolution);
  out.Number("MaxVerticalResolution", settings.maxVerticalResolution);
  if (settings.pageSetupValid) {
    out.Rect("Margin", settings.margins);
    out.Rect("MinMargin", settings.minMargins);
    out.Number("PageSetupFlags", settings.pageSetupFlags);
    out.DevMode(kDevModeSizePS, kDevModePS, settings.pageSetupDevMode);
    out.Names(settings.pageSetupNames);
  }
  if (settings.printValid) {
    out.Number("PrintSetupFlags", settings.printFlags);
    out.Number("FromPage", settings.fromPage);
    out.Number("ToPage", settings.toPage);
    out.Number("MinPage", settings.minPage);
    out.Number("MaxPage", settings.maxPage);
    out.Names(settings.printNames);
    out.DevMode(kDevModeSizePD, kDevModePD, settings.printDevMode);
  }
  return out.Take();
}

bool ReadPrinterSetupString(std::string_view text, PrinterSettings* settings) {
  if (text.find(kLineEnd) == std::string_view::npos) return false;
  size_t sizePS = 0, sizePD = 0;
  auto rawSize = [&](std::string_view key) -> size_t {
    if (SameKey(key, kDevModePS)) return sizePS;
    return SameKey(key, kDevModePD) ? sizePD : 0;
  };
  SetupLineReader reader(text);
  SetupLine line;
  if (!reader.Next(&line, rawSize) || !SameKey(line.key, kFirstKey)) return false;

  // Read into a copy: a refused text leaves the settings as they were.
  PrinterSettings read = *settings;
  read.pageSetupValid = false;
  read.printValid = false;
  PrinterDeviceNames names;
  while (reader.Next(&line, rawSize)) {
    const Stored number = StoreNumber(line, &read);
    if (number == Stored::kRefused) return false;
    if (number == Stored::kTaken) continue;
    if (SameKey(line.key, kDevModeSizePS) || SameKey(line.key, kDevModeSizePD)) {
      const size_t size = CarriedSizeOf(line.value);
      if (!size) return false;
      (SameKey(line.key, kDevModeSizePS) ? sizePS : sizePD) = size;
    } else if (SameKey(line.key, kDevModePS) && sizePS) {
      read.pageSetupDevMode = DevModeOfValue(line.value, sizePS);
      if (!DevModeFieldsInRange(*read.pageSetupDevMode)) return false;
      read.pageSetupValid = true;
    } else if (SameKey(line.key, kDevModePD) && sizePD) {
      read.printDevMode = DevModeOfValue(line.value, sizePD);
      if (!DevModeFieldsInRange(*read.printDevMode)) return false;
    } else if (SameKey(line.key, kDriverName)) {
      names.driver = line.value;
    } else if (SameKey(line.key, kDeviceName)) {
      names.device = line.value;
    } else if (SameKey(line.key, kOutputName)) {
      names.output = line.value;
    }
  }
  if ((!names.driver.empty() || !names.device.empty()) &&
      DeviceNamesBlockSize(names) <= kLargestBlock) {
    read.pageSetupNames = names;
    read.printNames = std::move(names);
  }
  *settings = std::move(read);
  return true;
}

int32_t CarriedMaximumResolution(int32_t value) {
  if (value == -1) return value;
  return value < 1 ? PrinterSettings().maxHorizontalResolution
                   : std::min(value, kLargestResolution);
}

size_t CarriedDevModeSize(const uint8_t* block, size_t blockSize) {
  if (!block || blockSize < kDevModeDriverExtraOffset) return 0;
  return std::min<size_t>(ReadU16(block + kDevModeSizeOffset), blockSize);
}

std::optional<std::string> DeviceNamesBlock(const PrinterDeviceNames& names) {
  if (DeviceNamesBlockSize(names) > kLargestBlock) return std::nullopt;
  std::string block(kDeviceNamesHeaderSize, '\0');
  const std::string* texts[] = {&names.driver, &names.device, &names.output};
  for (size_t i = 0; i < std::size(texts); ++i) {
    WriteU16(&block[2 * i], block.size());
    block.append(*texts[i]).push_back('\0');
  }
  return block;
}

PrinterDeviceNames ReadDeviceNamesBlock(const uint8_t* block, size_t blockSize) {
  PrinterDeviceNames names;
  if (!block || blockSize < kDeviceNamesHeaderSize) return names;
  auto text = [&](size_t field) {
    const size_t offset = ReadU16(block + 2 * field);
    if (offset >= blockSize) return std::string();
    const auto* start = reinterpret_cast<const char*>(block + offset);
    const void* nul = std::memchr(start, 0, blockSize - offset);
    return std::string(start, nul ? static_cast<const char*>(nul) - start : blockSize - offset);
  };
  names.driver = text(0);
  names.device = text(1);
  names.output = text(2);
  return names;
}
