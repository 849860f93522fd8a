// The drawing port: focus and the DC, the pen-and-port state, shapes, lines
// and patterns, text and pixels.
#include "graphics/GraphicsPort.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "core/RuntimeArrayFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/NativePicture.h"
#include "graphics/Rect16.h"
#include "ui/FontCache.h"
#include "ui/SubPane.h"
#include "ui/WinUtil.h"
#include "ui/pane.h"

namespace {

// The process-wide state of the port machinery, touched only inside focus
// and unfocus.
std::recursive_mutex focusGuard;
GraphicsPort* currentPort = nullptr;
GraphicsPort* livePorts = nullptr;
CountedRegion* scratchRegion = nullptr;  // made once, lives with the process
bool dcHadClip = false;
bool clipApplied = false;
bool coreGraphicsTextFlag = false;

constexpr uint8_t kCheckerboard[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
constexpr uint8_t kRows[8] = {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
constexpr uint8_t kColumns[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};

enum ShapeKind { kRectangle, kOval, kRoundRect };

HRGN ScratchRegion() {
  if (!scratchRegion) scratchRegion = new CountedRegion(CreateRectRgn(0, 0, 0, 0));
  return scratchRegion->get();
}

void DrawShape(HDC dc, int kind, const RECT& r, int32_t cornerWidth, int32_t cornerHeight) {
  switch (kind) {
    case kOval:
      Ellipse(dc, r.left, r.top, r.right, r.bottom);
      break;
    case kRoundRect:
      RoundRect(dc, r.left, r.top, r.right, r.bottom, cornerWidth, cornerHeight);
      break;
    default:
      Rectangle(dc, r.left, r.top, r.right, r.bottom);
      break;
  }
}

// The text of a string for the W line, and for the A line in the system
// encoding.
std::wstring WideText(StringRecord* text) { return StringToWide(text); }
StringRef SystemText(StringRecord* text) { return StringRef::Adopt(StringToSystemEncoding(text)); }

// Halves a text at a character boundary, so that no character is split.
StringRef FirstHalf(StringRecord* text) {
  return StringRef::Adopt(StringLeft(text, StringLen(text) / 2));
}

}  // namespace

COLORREF RGBColorToColorRef(const RGBColor16& color) {
  return RGB(color.red >> 8, color.green >> 8, color.blue >> 8);
}

RGBColor16 RGBColorFromValue(uint32_t rgb) {
  return {uint16_t(((rgb >> 16) & 0xFF) * 257), uint16_t(((rgb >> 8) & 0xFF) * 257),
          uint16_t((rgb & 0xFF) * 257)};
}

void* GraphicsPort::operator new(size_t size) { return RuntimeAlloc(uint32_t(size)); }
void GraphicsPort::operator delete(void* block) { RuntimeFree(block); }

GraphicsPort::GraphicsPort(Pane* target)
    : target_(target), textFont_(StringRef::Adopt(StringFromASCII("System"))) {
  std::fill(std::begin(penPattern_), std::end(penPattern_), 0xFF);
  RebuildPattern();
  nextLive_ = livePorts;
  livePorts = this;
}

GraphicsPort::~GraphicsPort() {
  {
    std::lock_guard<std::recursive_mutex> lock(focusGuard);
    if (currentPort == this) UnfocusCurrent();
    for (GraphicsPort** link = &livePorts; *link; link = &(*link)->nextLive_) {
      if (*link == this) {
        *link = nextLive_;
        break;
      }
    }
  }
  if (font_) FontCacheRelease(font_);
  if (ownsTarget_ && target_) {
    if (CurrentDrawingPane() == target_) ReleaseCurrentDrawingPane();
    target_->Unlock();
  }
}

// ---- Focus and device context ----------------------------------------------

void GraphicsPort::Focus() {
  std::lock_guard<std::recursive_mutex> lock(focusGuard);
  if (currentPort == this) return;
  UnfocusCurrent();
  if (target_) MakeCurrentDrawingPane(target_);
  currentPort = this;
  HDC dc = EnsureDC();
  if (!dc) return;
  dcHadClip = GetClipRgn(dc, ScratchRegion()) == 1;
  SetBkMode(dc, TRANSPARENT);
  if (font_) SelectObject(dc, font_);
  if (clip_) ApplyClip();
}

HDC GraphicsPort::EnsureDC() {
  if (!target_) return nullptr;
  NoteGdiDrawing();
  if (target_->HasNativeWindow() && target_->PaintDC()) {
    dc_ = target_->PaintDC();
    dcHeld_ = false;
  } else if (!dc_) {
    dc_ = target_->AcquireDC(&releaseToken_);
    dcHeld_ = dc_ != nullptr;
  }
  return dc_;
}

HDC GraphicsPort::GetDC() {
  Focus();
  return EnsureDC();
}

void GraphicsPort::Unfocus() {
  DropKeptObjects();
  if (dc_) {
    if (clipApplied) SelectClipRgn(dc_, dcHadClip ? ScratchRegion() : nullptr);
    if (font_) SelectObject(dc_, GetStockObject(SYSTEM_FONT));
    if (dcHeld_) target_->ReleaseDC(releaseToken_);
  }
  clipApplied = false;
  dc_ = nullptr;
  dcHeld_ = false;
}

HPEN GraphicsPort::SolidPen(int32_t width) {
  const COLORREF colour = RGBColorToColorRef(foreColor_);
  for (KeptPen& kept : keptPens_) {
    if (kept.pen && kept.colour == colour && kept.width == width) return kept.pen.get();
  }
  KeptPen& slot = keptPens_[nextKeptPen_];
  nextKeptPen_ ^= 1;
  if (slot.pen.get() == penSelection_.selected) PutBack(&penSelection_);
  slot.pen.reset(CreatePen(PS_SOLID, width, colour));
  slot.colour = colour;
  slot.width = width;
  return slot.pen.get();
}

HBRUSH GraphicsPort::SolidBrush() {
  const COLORREF colour = RGBColorToColorRef(foreColor_);
  if (!keptBrush_ || keptBrushColour_ != colour) {
    PutBack(&brushSelection_);
    keptBrush_.reset(CreateSolidBrush(colour));
    keptBrushColour_ = colour;
  }
  return keptBrush_.get();
}

void GraphicsPort::KeepSelected(HDC dc, KeptSelection* kept, HGDIOBJ object) {
  if (kept->selected == object && kept->dc == dc) return;
  if (kept->dc != dc) PutBack(kept);
  HGDIOBJ previous = SelectObject(dc, object);
  if (!kept->selected) kept->original = previous;
  kept->selected = object;
  kept->dc = dc;
}

void GraphicsPort::PutBack(KeptSelection* kept) {
  if (kept->selected) SelectObject(kept->dc, kept->original);
  kept->selected = nullptr;
  kept->dc = nullptr;
}

void GraphicsPort::DropKeptObjects() {
  PutBack(&penSelection_);
  PutBack(&brushSelection_);
  for (KeptPen& kept : keptPens_) kept.pen.reset();
  keptBrush_.reset();
}

int32_t GraphicsPort::LiveCount() {
  int32_t count = 0;
  for (GraphicsPort* port = livePorts; port; port = port->nextLive_) ++count;
  return count;
}

GraphicsPort* GraphicsPort::Current() { return currentPort; }

void GraphicsPort::UnfocusCurrent() {
  std::lock_guard<std::recursive_mutex> lock(focusGuard);
  if (!currentPort) return;
  currentPort->Unfocus();
  currentPort = nullptr;
}

void GraphicsPort::ForgetPane(Pane* pane) {
  std::lock_guard<std::recursive_mutex> lock(focusGuard);
  if (currentPort && currentPort->target_ == pane) UnfocusCurrent();
  for (GraphicsPort* port = livePorts; port; port = port->nextLive_) {
    if (port->target_ != pane) continue;
    port->target_ = nullptr;
    port->ownsTarget_ = false;
  }
}

void GraphicsPort::ClearTarget() {
  std::lock_guard<std::recursive_mutex> lock(focusGuard);
  if (currentPort == this) UnfocusCurrent();
  if (ownsTarget_ && target_) target_->Unlock();
  target_ = nullptr;
  ownsTarget_ = false;
}

void GraphicsPort::ApplyClip() {
  if (currentPort != this || !dc_) return;
  CountedRegion combined;
  if (dcHadClip) {
    combined.reset(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(combined.get(), ScratchRegion(), nullptr, RGN_COPY);
    if (clip_) CombineRgn(combined.get(), combined.get(), clip_.get(), RGN_AND);
  } else if (clip_) {
    combined.reset(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(combined.get(), clip_.get(), nullptr, RGN_COPY);
  }
  SelectClipRgn(dc_, combined.get());
  clipApplied = true;
}

void GraphicsPort::ApplyFont() {
  if (!target_) {
    AssertionFailed(131, 4, "Graphics", __LINE__, "mPane", "");
    return;
  }
  if (fontCurrent_) return;
  FontDescriptor font{textFont_.get(), uint8_t(textStyle_ & 1), uint8_t((textStyle_ >> 1) & 1),
                      uint8_t((textStyle_ >> 2) & 1), Saturate16(textSize_)};
  HFONT newFont = FontCacheAcquireAt(&font, textResolution_);
  if (dc_ && newFont) SelectObject(dc_, newFont);
  if (font_) FontCacheRelease(font_);
  font_ = newFont;
  fontCurrent_ = true;
  metricsValid_ = false;
}

// ---- State -------------------------------------------------------------------

void GraphicsPort::SetTextFont(StringRecord* name) {
  textFont_ = StringRef::Retain(name);
  fontCurrent_ = false;
}

void GraphicsPort::SetTextSize(int32_t size) {
  textSize_ = size;
  fontCurrent_ = false;
}

void GraphicsPort::SetTextStyle(uint32_t style) {
  textStyle_ = style;
  fontCurrent_ = false;
}

void GraphicsPort::SetFont(const FontDescriptor& font) {
  SetTextFont(font.name);
  SetTextSize(font.size);
  SetTextStyle(FontDescriptorStyleBits(&font));
}

void GraphicsPort::SetPenSize(int32_t width, int32_t height) {
  penWidth_ = width;
  penHeight_ = height;
}

void GraphicsPort::PenNormal() {
  SetPenSize(1, 1);
  patternActive_ = false;
}

void GraphicsPort::SetPenPattern(uint8_t kind) {
  const uint8_t* rows = kind == 1 ? kCheckerboard : kind == 2 ? kRows : kind == 3 ? kColumns : nullptr;
  patternActive_ = rows != nullptr;
  if (rows) {
    std::copy(rows, rows + 8, penPattern_);
  } else {
    std::fill(std::begin(penPattern_), std::end(penPattern_), 0xFF);
  }
  RebuildPattern();
}

void GraphicsPort::SetOrigin(int32_t x, int32_t y) {
  originX_ = x;
  originY_ = y;
  RebuildPattern();
}

void GraphicsPort::SetPatternPhase(int32_t x, int32_t y) {
  phaseX_ = x;
  phaseY_ = y;
  RebuildPattern();
}

void GraphicsPort::RebuildPattern() {
  uint32_t v = uint32_t(originY_ + phaseY_) & 7;
  uint32_t h = uint32_t(originX_ + phaseX_) & 7;
  for (uint32_t i = 0; i < 8; ++i) {
    uint32_t row = penPattern_[(i + v) & 7];
    effectivePattern_[i] = uint8_t(((row << h) >> 8) | (row << h));
  }
}

void GraphicsPort::MoveTo(int32_t x, int32_t y) {
  penX_ = x;
  penY_ = y;
}

void GraphicsPort::SetClipRect(const MacRect& rect) {
  std::lock_guard<std::recursive_mutex> lock(focusGuard);
  int32_t dx = -originX_ - (target_ ? target_->Left() : 0);
  int32_t dy = -originY_ - (target_ ? target_->Top() : 0);
  MacRect device = OffsetRect16(rect, dx, dy);
  clip_.reset(CreateRectRgn(device.left, device.top, device.right, device.bottom));
  ApplyClip();
}

void GraphicsPort::SetClipRegion(HRGN region) {
  std::lock_guard<std::recursive_mutex> lock(focusGuard);
  if (region) {
    if (!clip_) clip_.reset(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(clip_.get(), region, nullptr, RGN_COPY);
  } else {
    clip_.reset();
  }
  ApplyClip();
}

void GraphicsPort::SetResolution(int32_t horizontal, int32_t vertical) {
  hResolution_ = horizontal;
  vResolution_ = vertical;
  textResolution_ = vertical;
  fontCurrent_ = false;
}

// ---- Shapes and lines ----------------------------------------------------------

RECT GraphicsPort::DeviceRect(const MacRect& rect, bool normalise) const {
  MacRect moved = OffsetRect16(rect, -originX_, -originY_);
  if (normalise) moved = NormalizeRect16(moved);
  return {moved.left, moved.top, moved.right, moved.bottom};
}

void GraphicsPort::FillWithPattern(HDC dc, const RECT& area) {
  WORD rows[8];
  for (int i = 0; i < 8; ++i) rows[i] = effectivePattern_[i];
  CountedPatternBitmap bits(CreateBitmap(8, 8, 1, 1, rows));
  CountedBrush brush(CreatePatternBrush(bits.get()));
  // A monochrome brush paints its set bits in the background colour and its
  // clear bits in the text colour.
  COLORREF oldBack = SetBkColor(dc, RGBColorToColorRef(foreColor_));
  COLORREF oldText = SetTextColor(dc, RGB(255, 255, 255));
  ::FillRect(dc, &area, brush.get());
  SetBkColor(dc, oldBack);
  SetTextColor(dc, oldText);
}

void GraphicsPort::LineTo(int32_t x, int32_t y) {
  HDC dc = GetDC();
  if (dc && patternActive_ && (x == penX_ || y == penY_)) {
    // Built from the ends' minimum and maximum, so that a line drawn
    // backwards covers the same pixels as one drawn forwards.
    RECT area{std::min(penX_, x) - originX_, std::min(penY_, y) - originY_,
              std::max(penX_, x) - originX_ + penWidth_, std::max(penY_, y) - originY_ + penHeight_};
    FillWithPattern(dc, area);
  } else if (dc) {
    KeepSelected(dc, &penSelection_, SolidPen((penWidth_ + penHeight_) / 2));
    int32_t hw = penWidth_ / 2, hh = penHeight_ / 2;
    MoveToEx(dc, penX_ - originX_ + hw, penY_ - originY_ + hh, nullptr);
    ::LineTo(dc, x - originX_ + hw, y - originY_ + hh);
  }
  MoveTo(x, y);
}

void GraphicsPort::DrawOutline(int kind, const MacRect& rect, int32_t cornerWidth,
                               int32_t cornerHeight) {
  HDC dc = GetDC();
  if (!dc) return;
  KeepSelected(dc, &penSelection_, SolidPen(penWidth_));
  ScopedSelect selectBrush(dc, GetStockObject(NULL_BRUSH));
  DrawShape(dc, kind, DeviceRect(rect, kind != kRectangle), cornerWidth, cornerHeight);
}

void GraphicsPort::DrawFilled(int kind, const MacRect& rect, int32_t cornerWidth,
                              int32_t cornerHeight) {
  HDC dc = GetDC();
  if (!dc) return;
  KeepSelected(dc, &penSelection_, SolidPen(kind == kOval ? 1 : penWidth_));
  KeepSelected(dc, &brushSelection_, SolidBrush());
  DrawShape(dc, kind, DeviceRect(rect, true), cornerWidth, cornerHeight);
}

void GraphicsPort::FrameRect(const MacRect& rect) { DrawOutline(kRectangle, rect, 0, 0); }
void GraphicsPort::FrameOval(const MacRect& rect) { DrawOutline(kOval, rect, 0, 0); }
void GraphicsPort::FillOval(const MacRect& rect) { DrawFilled(kOval, rect, 0, 0); }

void GraphicsPort::FrameRoundRect(const MacRect& rect, int32_t cornerWidth, int32_t cornerHeight) {
  DrawOutline(kRoundRect, rect, cornerWidth, cornerHeight);
}

void GraphicsPort::FillRoundRect(const MacRect& rect, int32_t cornerWidth, int32_t cornerHeight) {
  DrawFilled(kRoundRect, rect, cornerWidth, cornerHeight);
}

void GraphicsPort::FillRect(const MacRect& rect) {
  HDC dc = GetDC();
  if (!dc) return;
  RECT area = DeviceRect(rect, false);
  if (patternActive_) {
    FillWithPattern(dc, area);
    return;
  }
  ::FillRect(dc, &area, SolidBrush());
}

void GraphicsPort::EraseRect(const MacRect& rect) {
  HDC dc = GetDC();
  if (!dc) return;
  RECT area = DeviceRect(rect, false);
  if (!target_->HasNativeWindow()) {
    ::FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return;
  }
  auto* subPane = dynamic_cast<SubPane*>(target_);
  SubPane* top = SubPane::GetTopPane(subPane);
  COLORREF colour = top ? top->BackgroundColor() : GetSysColor(COLOR_BTNFACE);
  CountedBrush brush(CreateSolidBrush(colour));
  ::FillRect(dc, &area, brush.get());
}

void GraphicsPort::Polygon(RuntimeArray* coordinates, bool fill) {
  int32_t count = coordinates ? RuntimeUBound(coordinates) / 2 : 0;
  if (count < 1) return;
  HDC dc = GetDC();
  if (!dc) return;
  int32_t left = target_->Left(), top = target_->Top();
  std::vector<POINT> points(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    points[static_cast<size_t>(i)] = {
        LimitedCoordinate(int64_t(RuntimeDirectReadIntArray(coordinates, 2 * i + 1)) + left),
        LimitedCoordinate(int64_t(RuntimeDirectReadIntArray(coordinates, 2 * i + 2)) + top)};
  }
  if (fill) {
    for (POINT& point : points) point = {point.x - originX_, point.y - originY_};
    KeepSelected(dc, &penSelection_, SolidPen(1));
    KeepSelected(dc, &brushSelection_, SolidBrush());
    ::Polygon(dc, points.data(), count);
    return;
  }
  MoveTo(points[0].x, points[0].y);
  for (size_t i = 1; i < points.size(); ++i) LineTo(points[i].x, points[i].y);
  LineTo(points[0].x, points[0].y);
}

// ---- Text ----------------------------------------------------------------------

void GraphicsPort::DrawStringAt(StringRecord* text, int32_t x, int32_t y, const MacRect* clip) {
  Focus();
  ApplyFont();
  HDC dc = EnsureDC();
  if (!dc) return;
  COLORREF oldColour = SetTextColor(dc, RGBColorToColorRef(foreColor_));
  SetTextAlign(dc, TA_BASELINE);
  RECT clipRect{};
  if (clip) clipRect = {clip->left, clip->top, clip->right, clip->bottom};
  UINT options = clip ? ETO_CLIPPED : 0;
  x -= originX_;
  y -= originY_;
  if (IsWindowsNT()) {
    std::wstring wide = WideText(text);
    if (clip) {
      ExtTextOutW(dc, x, y, options, &clipRect, wide.data(), UINT(wide.size()), nullptr);
    } else {
      TextOutW(dc, x, y, wide.data(), int(wide.size()));
    }
  } else {
    StringRef system = SystemText(text);
    auto bytes = reinterpret_cast<const char*>(StringData(system.get()));
    int length = int(StringLength(system.get()));
    if (clip) {
      ExtTextOutA(dc, x, y, options, &clipRect, bytes, UINT(length), nullptr);
    } else {
      TextOutA(dc, x, y, bytes, length);
    }
  }
  SetTextColor(dc, oldColour);
}

int32_t GraphicsPort::DrawTextCall(HDC dc, StringRecord* text, RECT* area, UINT format) {
  if (IsWindowsNT()) {
    std::wstring wide = WideText(text);
    return DrawTextW(dc, wide.data(), int(wide.size()), area, format);
  }
  StringRef system = SystemText(text);
  return DrawTextA(dc, reinterpret_cast<const char*>(StringData(system.get())),
                   int(StringLength(system.get())), area, format);
}

void GraphicsPort::DrawBox(StringRecord* text, const MacRect& rect, int32_t alignment, UINT format) {
  Focus();
  ApplyFont();
  HDC dc = EnsureDC();
  if (!dc) return;
  COLORREF oldColour = SetTextColor(dc, RGBColorToColorRef(foreColor_));
  SetTextAlign(dc, 0);
  RECT area{rect.left, rect.top, rect.right, 32767};
  if (alignment == 1) format |= DT_CENTER;
  if (alignment == 2) format |= DT_RIGHT;
  DrawTextCall(dc, text, &area, format);
  SetTextAlign(dc, TA_BASELINE);
  SetTextColor(dc, oldColour);
}

void GraphicsPort::DrawTextBox(StringRecord* text, const MacRect& rect, int32_t alignment) {
  DrawBox(text, rect, alignment, DT_WORDBREAK | DT_NOPREFIX);
}

void GraphicsPort::DrawTextBoxMnemonic(StringRecord* text, const MacRect& rect, int32_t alignment) {
  DrawBox(text, rect, alignment, DT_WORDBREAK);
}

void GraphicsPort::DrawStringTruncated(StringRecord* text, int32_t x, int32_t y,
                                       int32_t maximumWidth, StringRecord* suffix,
                                       const MacRect* clip) {
  if (!target_) return;
  Focus();
  ApplyFont();
  uint32_t savedStyle = textStyle_;
  StringRef shown = StringRef::Retain(text);
  int32_t width = StringWidth(shown.get());
  if (width > maximumWidth) {
    SetTextStyle(textStyle_ | 8);
    width = StringWidth(shown.get());
  }
  StringRef tail;
  if (width > maximumWidth) {
    if (StringLength(shown.get()) > 20) {
      StringRef half = FirstHalf(shown.get());
      while (StringWidth(half.get()) > maximumWidth && StringLength(shown.get()) >= 21) {
        shown = half;
        half = FirstHalf(shown.get());
      }
      width = StringWidth(shown.get());
    }
    tail = StringRef::Retain(suffix);
    int32_t tailWidth = StringWidth(tail.get());
    while (StringLength(shown.get()) > 0 && width + tailWidth > maximumWidth) {
      shown = StringRef::Adopt(StringDropLastCharacter(shown.get()));
      width = StringWidth(shown.get());
    }
    while (StringLength(tail.get()) > 0 && width + tailWidth > maximumWidth) {
      tail = StringRef::Adopt(StringDropLastCharacter(tail.get()));
      tailWidth = StringWidth(tail.get());
    }
  }
  if (StringLength(shown.get()) > 0) DrawStringAt(shown.get(), x, y, clip);
  if (StringLength(tail.get()) > 0) DrawStringAt(tail.get(), x + width, y, clip);
  SetTextStyle(savedStyle);
}

void GraphicsPort::DrawStandardIcon(int32_t kind, int32_t x, int32_t y) {
  static const WORD kIcons[] = {32513, 32516, 32515};  // hand, asterisk, exclamation
  if (kind < 0 || kind > 2) return;
  HDC dc = GetDC();
  if (!dc) return;
  DrawIcon(dc, x - originX_, y - originY_, LoadIconA(nullptr, MAKEINTRESOURCEA(kIcons[kind])));
}

bool GraphicsPort::GetPixel(int32_t x, int32_t y, RGBColor16* color) {
  HDC dc = GetDC();
  if (!dc) return false;
  COLORREF pixel = ::GetPixel(dc, x - originX_, y - originY_);
  *color = {uint16_t(GetRValue(pixel) * 257), uint16_t(GetGValue(pixel) * 257),
            uint16_t(GetBValue(pixel) * 257)};
  return true;
}

void GraphicsPort::SetPixel(int32_t x, int32_t y, const RGBColor16& color) {
  HDC dc = GetDC();
  if (!dc) return;
  SetPixelV(dc, x - originX_, y - originY_,
            RGB(color.red / 257, color.green / 257, color.blue / 257));
}

void GraphicsPort::DrawPicture(int32_t x, int32_t y, NativePicture* picture, int32_t sourceLeft,
                               int32_t sourceTop, int32_t width, int32_t height, bool transparent) {
  DrawPictureScaled(x, y, width, height, picture, sourceLeft, sourceTop, width, height, transparent);
}

void GraphicsPort::DrawPictureScaled(int32_t x, int32_t y, int32_t width, int32_t height,
                                     NativePicture* picture, int32_t sourceLeft, int32_t sourceTop,
                                     int32_t sourceWidth, int32_t sourceHeight, bool transparent) {
  MacRect source = SaturatedRect16(sourceTop, sourceLeft, int64_t(sourceTop) + sourceHeight,
                                   int64_t(sourceLeft) + sourceWidth);
  int64_t left = int64_t(x) - originX_, top = int64_t(y) - originY_;
  MacRect destination = SaturatedRect16(top, left, top + height, left + width);
  PictureDrawInGraphics(picture, this, source, destination, transparent);
}

// ---- Measuring -------------------------------------------------------------------

int32_t GraphicsPort::StringWidth(StringRecord* text) {
  Focus();
  ApplyFont();
  HDC dc = EnsureDC();
  if (!dc) return 0;
  SIZE size{};
  if (IsWindowsNT()) {
    std::wstring wide = WideText(text);
    GetTextExtentPoint32W(dc, wide.data(), int(wide.size()), &size);
  } else {
    StringRef system = SystemText(text);
    GetTextExtentPoint32A(dc, reinterpret_cast<const char*>(StringData(system.get())),
                          int(StringLength(system.get())), &size);
  }
  return size.cx;
}

int32_t GraphicsPort::TextBoxHeight(StringRecord* text, int32_t width) {
  Focus();
  ApplyFont();
  HDC dc = EnsureDC();
  if (!dc) return 0;
  RECT area{0, 0, width, 32767};
  DrawTextCall(dc, text, &area, DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX | DT_END_ELLIPSIS);
  return area.bottom - area.top;
}

const TEXTMETRICA* GraphicsPort::Metrics() {
  Focus();
  ApplyFont();
  HDC dc = EnsureDC();
  if (!dc) return nullptr;
  if (!metricsValid_) {
    GetTextMetricsA(dc, &metrics_);
    metricsValid_ = true;
  }
  return &metrics_;
}

int32_t GraphicsPort::TextAscent() {
  const TEXTMETRICA* metrics = Metrics();
  return metrics ? metrics->tmAscent : 0;
}

int32_t GraphicsPort::TextLeading() {
  const TEXTMETRICA* metrics = Metrics();
  return metrics ? metrics->tmExternalLeading : 0;
}

int32_t GraphicsPort::TextHeight() {
  const TEXTMETRICA* metrics = Metrics();
  return metrics ? metrics->tmAscent + metrics->tmDescent : 0;
}

// ---- Savers ------------------------------------------------------------------------

void GraphicsPortStateSave(GraphicsPortState* state) {
  GraphicsPort* port = state->port;
  if (!port) return;
  state->foreColor = port->ForeColor();
  state->originX = port->OriginX();
  state->originY = port->OriginY();
  state->textFont = StringRef::Retain(port->TextFont());
  state->textSize = port->TextSize();
  state->textStyle = port->TextStyle();
  state->penWidth = port->PenWidth();
  state->penHeight = port->PenHeight();
  state->saved = true;
}

void GraphicsPortStateRestore(GraphicsPortState* state) {
  if (!state->saved || !state->port) return;
  GraphicsPort* port = state->port;
  port->SetForeColor(state->foreColor);
  port->SetOrigin(state->originX, state->originY);
  port->SetPenSize(state->penWidth, state->penHeight);
  port->SetTextFont(state->textFont.get());
  port->SetTextSize(state->textSize);
  port->SetTextStyle(state->textStyle);
  state->saved = false;
}

ClipStateSaver::ClipStateSaver(GraphicsPort* port) : port_(port) {
  if (port_ && port_->ClipRegion()) {
    copy_.reset(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(copy_.get(), port_->ClipRegion(), nullptr, RGN_COPY);
  }
}

void ClipStateSaver::Restore() {
  if (port_) port_->SetClipRegion(copy_.get());
  copy_.reset();
}

// ---- The window system's hooks ----------------------------------------------------

namespace {

GraphicsPort* NewPortForPane(Pane* pane) {
  auto* port = new GraphicsPort(pane);
  if (pane->TextFontName()) port->SetTextFont(pane->TextFontName());
  port->SetTextSize(pane->TextSize());
  port->SetTextStyle(pane->TextStyleBits());
  return port;
}

void DeletePort(GraphicsPort* port) { delete port; }

}  // namespace

void InstallGraphicsPortHooks() {
  PaneGraphicsHooks hooks;
  hooks.newPort = NewPortForPane;
  hooks.deletePort = DeletePort;
  hooks.unfocusCurrentPort = GraphicsPort::UnfocusCurrent;
  hooks.forgetPane = GraphicsPort::ForgetPane;
  SetPaneGraphicsHooks(hooks);
}

extern "C" void EnableCoreGraphicsTextOnOSX() { coreGraphicsTextFlag = true; }
