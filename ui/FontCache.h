// Fonts: the font descriptor, a control's stored text style, the font-name
// map and the shared font cache.
//
// Applications written for the language name classic faces ("Geneva",
// "Times" ...); the font-name map turns them into Windows faces. Every HFONT
// the run-time makes from a descriptor comes from the cache, which maps the
// face and keys the font by mapped face (case ignored), size, the three styles
// and the character set of the system script.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"

struct StringRecord;

// {name, bold, italic, underline, size}. The name is a counted reference
// owned by whoever holds the descriptor (FontDescriptorDispose releases it).
struct FontDescriptor {
  StringRecord* name;
  uint8_t bold;
  uint8_t italic;
  uint8_t underline;
  int16_t size;
};
static_assert(!kLayoutIs32Bit || sizeof(FontDescriptor) == 12, "FontDescriptor is 12 bytes");
static_assert(offsetof(FontDescriptor, size) == sizeof(void*) + 4, "size follows the styles");

// A control's stored text style {name, size, bold, italic, underline}; the
// control owns the name.
struct TextStyle {
  StringRecord* font;
  int16_t size;
  uint8_t bold;
  uint8_t italic;
  uint8_t underline;
};
static_assert(!kLayoutIs32Bit || sizeof(TextStyle) == 12, "TextStyle is 12 bytes");
static_assert(offsetof(TextStyle, bold) == sizeof(void*) + 2, "styles follow the size");

extern "C" {
// No name, styles off, size 12 (whatever the descriptor held is not released).
void FontDescriptorInit(FontDescriptor* descriptor);
// Copies from into to when anything differs (the name compared byte for
// byte); true when it copied. The name is shared with one more reference.
bool FontDescriptorAssign(FontDescriptor* to, const FontDescriptor* from);
// Bold 1, italic 2, underline 4.
uint32_t FontDescriptorStyleBits(const FontDescriptor* descriptor);
// Releases the name and leaves the descriptor as FontDescriptorInit does.
void FontDescriptorDispose(FontDescriptor* descriptor);

// The descriptor of a stored style; its name is a new reference.
FontDescriptor TextStyleGetFontDescriptor(const TextStyle* style);

// An HFONT for the descriptor, shared: equal keys give the same font, one
// more reference each time. An empty name is the default font ("System"),
// a size of 0 or less the default size 12. Null only when GDI fails.
// Sizes are points on the screen: its dots per inch give the height.
HFONT FontCacheAcquire(const FontDescriptor* descriptor);
// The same with the size in points of a target of pixelsPerInch logical
// units per inch (a printer page); 0 or less for the screen's.
HFONT FontCacheAcquireAt(const FontDescriptor* descriptor, int32_t pixelsPerInch);
// Drops one reference; the font is deleted at the last. A font the cache did
// not hand out is reported through AssertionFailed and not deleted.
void FontCacheRelease(HFONT font);
}

// A descriptor that releases its name when it goes out of scope.
class ScopedFontDescriptor {
 public:
  ScopedFontDescriptor() { FontDescriptorInit(&descriptor_); }
  explicit ScopedFontDescriptor(const FontDescriptor& adopted) : descriptor_(adopted) {}
  ~ScopedFontDescriptor() { FontDescriptorDispose(&descriptor_); }
  ScopedFontDescriptor(const ScopedFontDescriptor&) = delete;
  ScopedFontDescriptor& operator=(const ScopedFontDescriptor&) = delete;
  FontDescriptor& get() { return descriptor_; }
  const FontDescriptor& get() const { return descriptor_; }

 private:
  FontDescriptor descriptor_;
};

// The font-name map: "System", "Application" and "Geneva" give "MS Sans
// Serif", "Courier" "Courier New", "Times" "Times New Roman", "Helvetica"
// "Arial", "Osaka" "MS UI Gothic"; whole names only, case ignored. Null for
// any other name.
const char* MappedFontFace(const char* name);
// The face stored for a name: the mapped face as a new string, or the name
// itself with one more reference.
StringRecord* MapFontName(const StringRecord* name);

// The default font, which an empty name stands for: "System" at 12 points,
// set at start-up. The name given back is a new reference.
void InitDefaultFont();
FontDescriptor DefaultFontDescriptor();
// The default text style of controls: no name (the default font), size 10.
const TextStyle& DefaultTextStyle();

// Fonts the cache holds now (for tests and leak checks).
size_t FontCacheCount();
