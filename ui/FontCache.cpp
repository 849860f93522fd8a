// Font descriptors, the font-name map and the reference-counted font cache.
#include "ui/FontCache.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "ui/Conversions.h"
#include "ui/WinUtil.h"

namespace {

constexpr int16_t kDefaultSize = 12;
constexpr const char* kDefaultFaceName = "System";

struct FaceMapping {
  const char* name;
  const char* face;
};
constexpr FaceMapping kFaceMap[] = {
    {"System", "MS Sans Serif"},    {"Application", "MS Sans Serif"},
    {"Geneva", "MS Sans Serif"},    {"Courier", "Courier New"},
    {"Times", "Times New Roman"},   {"Helvetica", "Arial"},
    {"Osaka", "MS UI Gothic"},
};

// Made once at start-up and kept for the whole run.
StringRecord* defaultFontName = nullptr;

struct FontKey {
  std::wstring face;  // mapped, upper-cased
  int16_t size;
  uint8_t bold;
  uint8_t italic;
  uint8_t underline;
  BYTE charset;
  int32_t pixelsPerInch;  // of the target the size is measured on
  bool operator==(const FontKey& other) const {
    return face == other.face && size == other.size && bold == other.bold &&
           italic == other.italic && underline == other.underline &&
           charset == other.charset && pixelsPerInch == other.pixelsPerInch;
  }
};

struct CachedFont {
  FontKey key;
  HFONT font;
  int32_t references;
};

std::vector<CachedFont>& Cache() {
  static std::vector<CachedFont> cache;
  return cache;
}

// The Windows face for a descriptor's name: the default font for an empty
// one, then the font-name map.
std::wstring FaceOf(const StringRecord* name) {
  StringRef chosen = StringRef::Retain(const_cast<StringRecord*>(name));
  if (StringLength(chosen.get()) == 0) {
    chosen = defaultFontName ? StringRef::Retain(defaultFontName)
                             : StringRef::Adopt(StringFromASCII(kDefaultFaceName));
  }
  StringRef mapped = StringRef::Adopt(MapFontName(chosen.get()));
  std::wstring face = StringToWide(mapped.get());
  if (face.size() >= LF_FACESIZE) face.resize(LF_FACESIZE - 1);
  return face;
}

std::wstring UpperCased(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(&text[0], DWORD(text.size()));
  return text;
}

// Read once: the screen's resolution stays for the session.
int32_t ScreenHeightPixelsPerInch() {
  static const int32_t pixelsPerInch = ScreenPixelsPerInch().y;
  return pixelsPerInch;
}

template <class LogFont>
LogFont LogFontOf(const FontKey& key) {
  LogFont font{};
  font.lfHeight = -MulDiv(key.size, key.pixelsPerInch, 72);
  font.lfWeight = key.bold ? FW_BOLD : FW_NORMAL;
  font.lfItalic = key.italic;
  font.lfUnderline = key.underline;
  font.lfCharSet = key.charset;
  return font;
}

HFONT CreateFontFor(const std::wstring& face, const FontKey& key) {
  if (IsWindowsNT()) {
    LOGFONTW font = LogFontOf<LOGFONTW>(key);
    face.copy(font.lfFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
  }
  LOGFONTA font = LogFontOf<LOGFONTA>(key);
  WideCharToMultiByte(SystemEncodingCodePage(), 0, face.c_str(), int(face.size()), font.lfFaceName,
                      LF_FACESIZE - 1, nullptr, nullptr);
  return CreateFontIndirectA(&font);
}

}  // namespace

extern "C" void FontDescriptorInit(FontDescriptor* descriptor) {
  descriptor->name = nullptr;
  descriptor->bold = 0;
  descriptor->italic = 0;
  descriptor->underline = 0;
  descriptor->size = kDefaultSize;
}

extern "C" bool FontDescriptorAssign(FontDescriptor* to, const FontDescriptor* from) {
  const bool same = StringCompareExact(to->name, from->name) == 0 &&
                    StringEncoding(to->name) == StringEncoding(from->name) &&
                    to->bold == from->bold && to->italic == from->italic &&
                    to->underline == from->underline && to->size == from->size;
  if (same) return false;
  StringAssign(&to->name, from->name);
  to->bold = from->bold;
  to->italic = from->italic;
  to->underline = from->underline;
  to->size = from->size;
  return true;
}

extern "C" uint32_t FontDescriptorStyleBits(const FontDescriptor* descriptor) {
  return (descriptor->bold ? 1u : 0u) | (descriptor->italic ? 2u : 0u) |
         (descriptor->underline ? 4u : 0u);
}

extern "C" void FontDescriptorDispose(FontDescriptor* descriptor) {
  RuntimeUnlockString(descriptor->name);
  FontDescriptorInit(descriptor);
}

extern "C" FontDescriptor TextStyleGetFontDescriptor(const TextStyle* style) {
  FontDescriptor descriptor;
  descriptor.name = StringAddRef(style->font);
  descriptor.bold = style->bold;
  descriptor.italic = style->italic;
  descriptor.underline = style->underline;
  descriptor.size = style->size;
  return descriptor;
}

extern "C" HFONT FontCacheAcquire(const FontDescriptor* descriptor) {
  return FontCacheAcquireAt(descriptor, 0);
}

extern "C" HFONT FontCacheAcquireAt(const FontDescriptor* descriptor, int32_t pixelsPerInch) {
  const std::wstring face = FaceOf(descriptor->name);
  FontKey key{UpperCased(face),
              descriptor->size > 0 ? descriptor->size : kDefaultSize,
              uint8_t(descriptor->bold ? 1 : 0),
              uint8_t(descriptor->italic ? 1 : 0),
              uint8_t(descriptor->underline ? 1 : 0),
              CharsetForSystemScript(),
              pixelsPerInch > 0 ? pixelsPerInch : ScreenHeightPixelsPerInch()};
  std::vector<CachedFont>& cache = Cache();
  for (CachedFont& cached : cache) {
    if (cached.key == key) {
      ++cached.references;
      return cached.font;
    }
  }
  HFONT font = CreateFontFor(face, key);
  if (!font) return nullptr;
  cache.push_back({std::move(key), font, 1});
  return font;
}

extern "C" void FontCacheRelease(HFONT font) {
  if (!font) return;
  std::vector<CachedFont>& cache = Cache();
  auto found = std::find_if(cache.begin(), cache.end(),
                            [font](const CachedFont& cached) { return cached.font == font; });
  if (found == cache.end()) {
    AssertionFailed(131, 4, "FontCache", __LINE__, "font from the cache",
                    "a font the cache did not hand out was released");
    return;
  }
  if (--found->references > 0) return;
  DeleteObject(found->font);
  cache.erase(found);
}

const char* MappedFontFace(const char* name) {
  if (!name) return nullptr;
  for (const FaceMapping& mapping : kFaceMap) {
    if (CStringCompareNoCase(mapping.name, name) == 0) return mapping.face;
  }
  return nullptr;
}

StringRecord* MapFontName(const StringRecord* name) {
  const std::string text = StringToStdUTF8(name);
  if (const char* face = MappedFontFace(text.c_str())) return StringFromASCII(face);
  return StringAddRef(const_cast<StringRecord*>(name));
}

void InitDefaultFont() {
  if (!defaultFontName) defaultFontName = StringFromASCII(kDefaultFaceName);
}

FontDescriptor DefaultFontDescriptor() {
  FontDescriptor descriptor;
  FontDescriptorInit(&descriptor);
  descriptor.name = StringAddRef(defaultFontName);
  return descriptor;
}

const TextStyle& DefaultTextStyle() {
  static const TextStyle style{nullptr, 10, 0, 0, 0};
  return style;
}

size_t FontCacheCount() { return Cache().size(); }
