// The StyledTextPrinter class.
#include "controls/editfield/StyledTextPrinter.h"

#include <richedit.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "controls/editfield/EditField.h"
#include "controls/editfield/RichEditPane.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "ui/FontCache.h"
#include "ui/WinUtil.h"

namespace {

constexpr const char* kSource = "win32EditControl";
constexpr int32_t kTwipsPerInch = 1440;

// The control's own layout.
class ControlFormatter : public StyledTextFormatter {
 public:
  LONG Measure(HWND window, HDC dc, const RECT& page, const RECT& block, LONG from) override {
    FORMATRANGE range{};
    range.hdc = dc;
    range.hdcTarget = dc;
    range.rcPage = page;
    range.rc = block;
    range.chrg = CHARRANGE{from, -1};
    return LONG(SendMessageW(window, EM_FORMATRANGE, 0, reinterpret_cast<LPARAM>(&range)));
  }
  void Display(HWND window, const RECT& block) override {
    RECT band = block;
    SendMessageW(window, EM_DISPLAYBAND, 0, reinterpret_cast<LPARAM>(&band));
  }
  void Reset(HWND window) override { SendMessageW(window, EM_FORMATRANGE, 0, 0); }
  // The A line's 1.0 control has no EM_GETTEXTLENGTHEX; its positions
  // follow the bytes of its text.
  LONG CharacterCount(HWND window) override {
    if (!IsWindowsNT()) return LONG(GetWindowTextLengthA(window));
    GETTEXTLENGTHEX request{GTL_NUMCHARS, 1200};
    return LONG(SendMessageW(window, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&request), 0));
  }
};

StyledTextFormatter*& InstalledFormatter() {
  static StyledTextFormatter* installed = nullptr;
  return installed;
}

StyledTextFormatter& Formatter() {
  static ControlFormatter own;
  StyledTextFormatter* installed = InstalledFormatter();
  return installed ? *installed : own;
}

StyledTextPrinterFields* FieldsOf(RuntimeObject* printer) {
  return ObjectFields<StyledTextPrinterFields>(printer);
}

void Report(int32_t line, const char* condition, const char* text) {
  AssertionFailed(131, 4, kSource, line, condition, text);
}

// The target's DC for one block, given back and its mapping mode restored
// on every way out.
class BlockDC {
 public:
  explicit BlockDC(Pane* target) : target_(target), dc_(target->AcquireDC(&token_)) {
    if (dc_) mapMode_ = SetMapMode(dc_, MM_TEXT);
  }
  ~BlockDC() {
    if (!dc_) return;
    SetMapMode(dc_, mapMode_);
    target_->ReleaseDC(token_);
  }
  BlockDC(const BlockDC&) = delete;
  BlockDC& operator=(const BlockDC&) = delete;
  HDC get() const { return dc_; }

 private:
  Pane* target_;
  uint32_t token_ = 0;
  HDC dc_;
  int mapMode_ = MM_TEXT;
};

// ---- The plain-text fallback ----

// A font made for one block (the shared cache's are sized for the screen).
struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using BlockFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The field's face and size for the fallback, at the DC's resolution.
HFONT FallbackFont(RichEditPane* pane, HDC dc) {
  RuntimeObject* control = pane->OwnerControl();
  const TextStyle* style = control ? &ObjectFields<EditFieldFields>(control)->textStyle : nullptr;
  const std::string name = style && StringLength(style->font) ? StringToStdUTF8(style->font)
                                                               : "System";
  const char* mapped = MappedFontFace(name.c_str());
  StringRef face = StringRef::Adopt(StringFromUTF8(mapped ? mapped : name));
  const std::wstring wide = StringToWide(face.get());
  const int size = style && style->size > 0 ? style->size : 12;
  LOGFONTW font{};
  font.lfHeight = -MulDiv(size, GetDeviceCaps(dc, LOGPIXELSY), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(font.lfFaceName, wide.c_str(), LF_FACESIZE - 1);
  return CreateFontIndirectW(&font);
}

// How many characters of `text` from `start` make the next line in `width`
// pixels: up to a CR (which it takes too), else to the last space that
// fits, else as many as fit (one at least). `shown` is the part to draw.
size_t NextLine(HDC dc, const std::u16string& text, size_t start, int width, size_t* shown) {
  size_t end = text.find(u'\r', start);
  const bool brokenByReturn = end != std::u16string::npos;
  if (!brokenByReturn) end = text.size();
  const auto* line = reinterpret_cast<const wchar_t*>(text.data() + start);
  int fit = 0;
  SIZE extent{};
  GetTextExtentExPointW(dc, line, int(end - start), std::max(width, 0), &fit, nullptr, &extent);
  if (size_t(fit) >= end - start) {
    *shown = end - start;
    return end - start + (brokenByReturn ? 1 : 0);
  }
  // A space at the end of what fits may go: it is not drawn.
  const size_t space = text.rfind(u' ', start + size_t(fit));
  if (space != std::u16string::npos && space > start) {
    *shown = space - start;
    return space - start + 1;
  }
  *shown = std::max<size_t>(size_t(fit), 1);
  return *shown;
}

// Draws the text from `from` into the device rectangle; the characters
// used.
LONG DrawPlainText(RichEditPane* pane, HDC dc, const RECT& area, LONG from) {
  const std::u16string text = pane->Access().Text(GT_DEFAULT);
  if (from < 0 || size_t(from) >= text.size()) return 0;
  BlockFont font(FallbackFont(pane, dc));
  HGDIOBJ previousFont = SelectObject(dc, font.get());
  const COLORREF previousColor = SetTextColor(dc, RGB(0, 0, 0));
  const int previousMode = SetBkMode(dc, TRANSPARENT);
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int lineHeight = std::max<int>(metrics.tmHeight + metrics.tmExternalLeading, 1);
  size_t at = size_t(from);
  int top = area.top;
  bool first = true;
  while (at < text.size() && (first || top + lineHeight <= area.bottom)) {
    size_t shown = 0;
    const size_t used = NextLine(dc, text, at, area.right - area.left, &shown);
    TextOutW(dc, area.left, top, reinterpret_cast<const wchar_t*>(text.data() + at), int(shown));
    at += used;
    top += lineHeight;
    first = false;
  }
  RestoreDC(dc, saved);
  SetBkMode(dc, previousMode);
  SetTextColor(dc, previousColor);
  SelectObject(dc, previousFont);
  return LONG(at) - from;
}

// The block, clipped to the target; false when nothing of it is left.
bool ClipBlock(const MacRect& bounds, int32_t* x, int32_t* y, int32_t* w, int32_t* h) {
  *x = std::max<int32_t>(*x, bounds.left);
  if (int64_t(*x) + *w > bounds.right) *w = bounds.right - *x;
  *y = std::max<int32_t>(*y, bounds.top);
  if (int64_t(*y) + *h > bounds.bottom) *h = bounds.bottom - *y;
  return *w > 0 && *h > 0;
}

RECT Twips(int32_t x, int32_t y, int32_t w, int32_t h, int32_t hres, int32_t vres) {
  RECT block;
  block.left = MulDiv(x, kTwipsPerInch, hres);
  block.right = block.left + MulDiv(w, kTwipsPerInch, hres);
  block.top = MulDiv(y, kTwipsPerInch, vres);
  block.bottom = block.top + MulDiv(h, kTwipsPerInch, vres);
  return block;
}

RECT DevicePixels(HDC dc, const RECT& twips) {
  const int dpiX = GetDeviceCaps(dc, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  return RECT{MulDiv(twips.left, dpiX, kTwipsPerInch), MulDiv(twips.top, dpiY, kTwipsPerInch),
              MulDiv(twips.right, dpiX, kTwipsPerInch), MulDiv(twips.bottom, dpiY, kTwipsPerInch)};
}

void DrawOneBlock(StyledTextPrinterFields* fields, GraphicsPort* port, Pane* target, int32_t x,
                  int32_t y, int32_t height) {
  int32_t w = fields->width;
  int32_t h = height;
  if (!ClipBlock(target->Bounds(), &x, &y, &w, &h)) return;
  BlockDC dc(target);
  if (!dc.get()) {
    Report(1917, "printerDC", "Unable to get a graphics context for the printer");
    return;
  }
  RichEditPane* pane = fields->pane;
  HWND window = pane->NativeWindow();
  const RECT page{0, 0, MulDiv(GetDeviceCaps(dc.get(), HORZRES), kTwipsPerInch,
                               GetDeviceCaps(dc.get(), LOGPIXELSX)),
                  MulDiv(GetDeviceCaps(dc.get(), VERTRES), kTwipsPerInch,
                         GetDeviceCaps(dc.get(), LOGPIXELSY))};
  const RECT block =
      Twips(x, y, w, h, port->HorizontalResolution(), port->VerticalResolution());
  StyledTextFormatter& formatter = Formatter();
  const LONG count = formatter.CharacterCount(window);
  const LONG measured = formatter.Measure(window, dc.get(), page, block, fields->next);
  if (measured > fields->next) {
    formatter.Display(window, block);
    fields->next = measured;
  } else if (fields->next < count) {
    fields->next += DrawPlainText(pane, dc.get(), DevicePixels(dc.get(), block), fields->next);
  }
  if (count <= fields->next) {
    formatter.Reset(window);
    fields->eof = 1;
  }
}

}  // namespace

StyledTextFormatter* SetStyledTextFormatter(StyledTextFormatter* formatter) {
  return std::exchange(InstalledFormatter(), formatter);
}

ObjectDefinition* GetStyledTextPrinterClassDefinition() {
  static const PropertyRecord properties[] = {
      {0, "EOF", &kBooleanType, RUNTIME_ENTRY(styledPrinterEOF), nullptr, nullptr, 0},
      {0, "Width", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(styledPrinterWidthSetter),
       offsetof(StyledTextPrinterFields, width)},
  };
  static const ParameterRecord block[] = {
      {"x", &kIntegerType, 0}, {"y", &kIntegerType, 0}, {"height", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("DrawBlock", nullptr, block, 3, RUNTIME_ENTRY(styledPrinterDrawBlock)),
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    FillClassDefinition(&definition, "StyledTextPrinter", sizeof(StyledTextPrinterFields),
                        nullptr, StyledTextPrinterDestruct, properties, methods);
    definition.flags = 1;
    return &definition;
  }();
  return made;
}

void InitStyledTextPrinterClass() { RegisterIntrinsicClass(GetStyledTextPrinterClassDefinition()); }

RuntimeObject* NewStyledTextPrinterOf(RichEditPane* pane, RuntimeObject* graphics, int32_t width) {
  if (!graphics) {
    Report(1850, "dest", "Trying to set up a styled text printer object with a nil Graphics object");
    return nullptr;
  }
  RuntimeObject* printer = CreateInstance(GetStyledTextPrinterClassDefinition());
  if (!printer) {
    Report(1855, "retVal", "Could not create a style text printer object");
    return nullptr;
  }
  StyledTextPrinterFields* fields = FieldsOf(printer);
  RuntimeLockObject(graphics);
  fields->graphics = graphics;
  fields->width = width;
  fields->pane = pane;
  pane->AddPrinter(printer);
  Formatter().Reset(pane->NativeWindow());
  return printer;
}

void DetachStyledTextPrinter(RuntimeObject* printer) { FieldsOf(printer)->pane = nullptr; }

extern "C" void StyledTextPrinterDestruct(RuntimeObject* printer) {
  StyledTextPrinterFields* fields = FieldsOf(printer);
  if (fields->pane) fields->pane->RemovePrinter(printer);
  fields->pane = nullptr;
  RuntimeUnlockObject(std::exchange(fields->graphics, nullptr));
}

extern "C" bool styledPrinterEOF(RuntimeObject* printer, uint32_t) {
  return printer && FieldsOf(printer)->eof;
}

extern "C" void styledPrinterWidthSetter(RuntimeObject* printer, uint32_t, int32_t width) {
  if (printer) FieldsOf(printer)->width = width;
}

extern "C" void styledPrinterDrawBlock(RuntimeObject* printer, int32_t x, int32_t y,
                                       int32_t height) {
  if (!printer) {
    Report(1897, "obj", "Styled text printer passed in to DrawBlock was nil");
    return;
  }
  StyledTextPrinterFields* fields = FieldsOf(printer);
  if (!fields->graphics) {
    Report(1898, "obj->dest", "Styled text printer has a nil graphics object");
    return;
  }
  if (!fields->pane) {
    Report(1899, "obj->mEditControl", "Styled text printer has no edit control");
    fields->eof = 1;
    return;
  }
  ObjectRef hold = ObjectRef::Retain(printer);
  GraphicsPort* port = reinterpret_cast<GraphicsObject*>(fields->graphics)->port;
  if (!port) {
    Report(1908, "gfx", "The internal graphics object was nil");
    return;
  }
  Pane* target = port->Target();
  if (!target) {
    Report(1912, "graphicsPane", "The internal graphics object does not have a pane");
    return;
  }
  DrawOneBlock(fields, port, target, x, y, height);
}
