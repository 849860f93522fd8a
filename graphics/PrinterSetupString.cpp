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

// Nothing can be drawn at less than 1 dot per inch: such values are
// ignored, as is a maximum that is neither that nor -1 (no cap).
void TakeResolution(int32_t* field, int32_t value) {
  if (value >= 1) *field = value;
}
void TakeMaximum(int32_t* field, int32_t value) {
  if (value >= 1 || value == -1) *field = value;
}

using NumberStore = void (*)(PrinterSettings* settings, int32_t value);

struct NumberKey {
  std::string_view key;
  NumberStore store;
};

const NumberKey kNumberKeys[] = {
    {"ActualHorizontalResolution",
     [](PrinterSettings* s, int32_t v) { TakeResolution(&s->horizontalResolution, v); }},
    {"ActualVerticalResolution",
     [](PrinterSettings* s, int32_t v) { TakeResolution(&s->verticalResolution, v); }},
    {"MaxHorizontalResolution",
     [](PrinterSettings* s, int32_t v) { TakeMaximum(&s->maxHorizontalResolution, v); }},
    {"MaxVerticalResolution",
     [](PrinterSettings* s, int32_t v) { TakeMaximum(&s->maxVerticalResolution, v); }},
    {"MarginLeft", [](PrinterSettings* s, int32_t v) { s->margins.left = v; }},
    {"MarginTop", [](PrinterSettings* s, int32_t v) { s->margins.top = v; }},
    {"MarginRight", [](PrinterSettings* s, int32_t v) { s->margins.right = v; }},
    {"MarginBottom", [](PrinterSettings* s, int32_t v) { s->margins.bottom = v; }},
    {"MinMarginLeft", [](PrinterSettings* s, int32_t v) { s->minMargins.left = v; }},
    {"MinMarginTop", [](PrinterSettings* s, int32_t v) { s->minMargins.top = v; }},
    {"MinMarginRight", [](PrinterSettings* s, int32_t v) { s->minMargins.right = v; }},
    {"MinMarginBottom", [](PrinterSettings* s, int32_t v) { s->minMargins.bottom = v; }},
    {"PageSetupFlags", [](PrinterSettings* s, int32_t v) { s->pageSetupFlags = v; }},
    {"PrintSetupFlags", [](PrinterSettings* s, int32_t v) { s->printFlags = v; }},
    {"FromPage", [](PrinterSettings* s, int32_t v) { s->fromPage = uint16_t(v); }},
    {"ToPage", [](PrinterSettings* s, int32_t v) { s->toPage = uint16_t(v); }},
    {"MinPage", [](PrinterSettings* s, int32_t v) { s->minPage = uint16_t(v); }},
    {"MaxPage", [](PrinterSettings* s, int32_t v) { s->maxPage = uint16_t(v); }},
};

bool StoreNumber(const SetupLine& line, PrinterSettings* settings) {
  for (const NumberKey& entry : kNumberKeys) {
    if (!SameKey(line.key, entry.key)) continue;
    entry.store(settings, ReadNumber(line.value));
    return true;
  }
  return false;
}

// A size line's value as a carried size; 0 for one that cannot be.
size_t CarriedSizeOf(std::string_view value) {
  const int32_t size = ReadNumber(value);
  if (size < int32_t(kMinimumCarriedDevModeSize) || size > int32_t(kLargestBlock)) return 0;
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

  settings->pageSetupValid = false;
  settings->printValid = false;
  PrinterDeviceNames names;
  while (reader.Next(&line, rawSize)) {
    if (StoreNumber(line, settings)) continue;
    if (SameKey(line.key, kDevModeSizePS)) {
      sizePS = CarriedSizeOf(line.value);
    } else if (SameKey(line.key, kDevModeSizePD)) {
      sizePD = CarriedSizeOf(line.value);
    } else if (SameKey(line.key, kDevModePS) && sizePS) {
      settings->pageSetupDevMode = DevModeOfValue(line.value, sizePS);
      settings->pageSetupValid = true;
    } else if (SameKey(line.key, kDevModePD) && sizePD) {
      settings->printDevMode = DevModeOfValue(line.value, sizePD);
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
    settings->pageSetupNames = names;
    settings->printNames = std::move(names);
  }
  return true;
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
