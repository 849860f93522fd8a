// The column heading pane and the list controls' appearance colours.
#include "controls/listbox/ColumnHeadingPane.h"

#include <iterator>

#include "controls/PaneFont.h"
#include "core/RuntimeArrayFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "ui/PaneFocus.h"
#include "ui/Theme.h"
#include "ui/WinUtil.h"
#include "ui/win32windows.h"

namespace {

enum AppearanceColorIndex : int32_t {
  kFrameColor = 0,
  kFillColor = 1,
  kTextColor = 2,
  kLightBevelColor = 5,
  kDarkBevelColor = 6,
};

// Each colour is a system colour, or a fixed grey level when there is none.
struct AppearanceEntry {
  int systemColor;  // -1: the fixed level
  uint16_t level;
};
constexpr AppearanceEntry kAppearanceColors[] = {
    {-1, 0},      {COLOR_BTNFACE, 0},      {COLOR_BTNTEXT, 0},  {-1, 0xFFFF},
    {-1, 0xAAAA}, {COLOR_BTNHIGHLIGHT, 0}, {COLOR_BTNSHADOW, 0}};

constexpr RGBColor16 kWhite{0xFFFF, 0xFFFF, 0xFFFF};
// The sort triangle of a themed heading.
constexpr RGBColor16 kThemedTriangle{0xAC00, 0xA800, 0x9900};
constexpr int kHeaderItemPart = 1;
enum HeaderItemState : int { kHeaderNormal = 1, kHeaderHot = 2, kHeaderPressed = 3 };

RGBColor16 AppearanceColor(int32_t index) {
  RGBColor16 colour{};
  GetAppearanceColor(index, &colour, nullptr);
  return colour;
}

RGBColor16 OneThird(const RGBColor16& colour) {
  return {uint16_t(colour.red / 3), uint16_t(colour.green / 3), uint16_t(colour.blue / 3)};
}

bool ThemesOn() { return IsWindowsXP() && UxIsAppThemed(); }

}  // namespace

void HeadingListener::TrackBegin(ColumnHeadingPane*, int32_t, int32_t) {}
void HeadingListener::HeadingClicked(ColumnHeadingPane*) {}
void HeadingListener::HeadingPressed(ColumnHeadingPane*) {}
void HeadingListener::HeadingMouse(ColumnHeadingPane*, int32_t, int32_t) {}

void GetAppearanceColor(int32_t index, RGBColor16* components, uint32_t* colour) {
  RGBColor16 value{0, 0, 0};
  if (index < 0 || index >= int32_t(std::size(kAppearanceColors))) {
    AssertionFailed(131, 4, "ColumnHeadingPane", __LINE__, "index in 0...6", nullptr);
  } else if (const AppearanceEntry& entry = kAppearanceColors[index]; entry.systemColor < 0) {
    value = {entry.level, entry.level, entry.level};
  } else {
    const COLORREF system = GetSysColor(entry.systemColor);
    value = {uint16_t(GetRValue(system) * 257), uint16_t(GetGValue(system) * 257),
             uint16_t(GetBValue(system) * 257)};
  }
  if (components) *components = value;
  if (colour) {
    *colour = uint32_t(value.red / 257) << 16 | uint32_t(value.green / 257) << 8 |
              uint32_t(value.blue / 257);
  }
}

// ---- The pane ----

namespace {
int32_t headingsMade = 0;
int32_t headingsAlive = 0;
}  // namespace

int32_t ColumnHeadingPane::Constructions() { return headingsMade; }
int32_t ColumnHeadingPane::LiveCount() { return headingsAlive; }

ColumnHeadingPane::ColumnHeadingPane(HeadingListener* owner, const FontDescriptor& font,
                                     SubPane* parent, const MacRect& bounds,
                                     StringRecord* caption)
    : SubPane(parent, parent ? parent->TabPanelIndex() : 0, bounds, nullptr, kPaneClassName, 0,
              0),
      owner_(owner),
      caption_(StringRef::Retain(caption)) {
  PaneSetFontMapped(this, font);
  ++headingsMade;
  ++headingsAlive;
}

ColumnHeadingPane::~ColumnHeadingPane() {
  --headingsAlive;
  if (picture_) PictureRelease(picture_);
}

void ColumnHeadingPane::SetCaption(StringRecord* caption) {
  caption_ = StringRef::Retain(caption);
  Invalidate(false);
}

void ColumnHeadingPane::SetSortMark(int32_t mark) {
  if (mark != sortMark_) {
    sortMark_ = mark;
  } else if (mark == 1) {
    direction_ = direction_ == kSortAscending ? kSortDescending : kSortAscending;
  } else {
    return;
  }
  if (IsVisible() && IsShown()) Invalidate(false);
}

void ColumnHeadingPane::SetPicture(NativePicture* picture) {
  if (picture) PictureRetain(picture);
  if (picture_) PictureRelease(picture_);
  picture_ = picture;
  Invalidate(false);
}

bool ColumnHeadingPane::Contains(int32_t x, int32_t y) const {
  const MacRect& bounds = Bounds();
  return x >= bounds.left && x < bounds.right && y >= bounds.top && y < bounds.bottom;
}

// ---- Drawing ----

void ColumnHeadingPane::DrawNow() {
  if (GraphicsPort* port = PaneNewGraphicsPort(this)) {
    Draw(port);
    PaneDeleteGraphicsPort(port);
  }
}

void ColumnHeadingPane::Draw(GraphicsPort* port) {
  port->Focus();
  MacRect clipped{};
  GetClippedBounds(&clipped);
  if (clipped.left >= clipped.right || clipped.top >= clipped.bottom) return;
  ForeColorScope colour(port);
  const bool themed = IsWindowsXP() && DrawThemed(port);
  if (!themed) DrawClassic(port);
  if (picture_) DrawPicture(port);
  DrawSortTriangle(port, themed);
}

bool ColumnHeadingPane::DrawThemed(GraphicsPort* port) {
  HDC dc = port->GetDC();
  HANDLE theme = dc ? UxOpenThemeData(WindowFromDC(dc), L"Header") : nullptr;
  if (!theme) return false;
  const int state = SortedOrPressed() ? kHeaderPressed : hot_ ? kHeaderHot : kHeaderNormal;
  const MacRect& bounds = Bounds();
  const RECT area{bounds.left - port->OriginX(), bounds.top + 1 - port->OriginY(),
                  bounds.right - port->OriginX(), bounds.bottom - port->OriginY()};
  const HRESULT drawn = UxDrawThemeBackground(theme, dc, kHeaderItemPart, state, &area, nullptr);
  UxCloseThemeData(theme);
  if (FAILED(drawn)) return false;
  DrawCaption(port, true);
  return true;
}

void ColumnHeadingPane::DrawClassic(GraphicsPort* port) {
  ForeColorScope colour(port);
  const bool down = SortedOrPressed();
  const RGBColor16 light = AppearanceColor(kLightBevelColor);
  const RGBColor16 dark = AppearanceColor(kDarkBevelColor);
  const MacRect& bounds = Bounds();
  const int32_t left = bounds.left, top = bounds.top, right = bounds.right,
                bottom = bounds.bottom;

  MacRect face = bounds;
  MacInsetRect(&face, 2, 2);
  port->SetForeColor(down ? dark : AppearanceColor(kFillColor));
  port->FillRect(face);

  port->SetForeColor(down ? dark : light);
  port->MoveTo(left + 1, bottom - 2);
  port->LineTo(left + 1, top + 1);
  port->LineTo(right - 2, top + 1);
  port->SetForeColor(down ? light : dark);
  port->LineTo(right - 2, bottom - 2);
  port->LineTo(left + 1, bottom - 2);

  if (down) {
    port->SetForeColor(AppearanceColor(kFrameColor));
    port->FrameRect(bounds);
  } else {
    port->SetForeColor(OneThird(dark));
    port->MoveTo(left, bottom - 1);
    port->LineTo(right - 1, bottom - 1);
    port->LineTo(right - 1, top);
    port->SetForeColor(OneThird(light));
    port->LineTo(left, top);
    port->LineTo(left, bottom - 1);
  }
  DrawCaption(port, false);
}

void ColumnHeadingPane::DrawCaption(GraphicsPort* port, bool themed) {
  RGBColor16 colour = AppearanceColor(kTextColor);
  int32_t offset = 0;
  if (pressed_ && themed) offset = 1;
  if (pressed_ && !themed) colour = kWhite;
  port->SetForeColor(colour);
  StringRecord* caption = caption_.get();
  const int32_t width = Width();
  const int32_t baseline = Top() + (Height() + port->TextAscent()) / 2 - 1 + offset;
  const int32_t captionWidth = port->StringWidth(caption);
  if (captionWidth < width - offset - 10) {
    port->DrawStringAt(caption, Left() + (width - captionWidth) / 2 + offset, baseline);
  } else {
    StringRef ellipsis = StringRef::Adopt(StringFromASCII("..."));
    port->DrawStringTruncated(caption, Left() + offset + 5, baseline, width - 10, ellipsis.get());
  }
}

void ColumnHeadingPane::DrawPicture(GraphicsPort* port) {
  int32_t width = 0, height = 0;
  picture_->GetSize(&width, &height);
  MacRect area = Bounds();
  MacInsetRect(&area, int16_t((Width() - width) / 2), int16_t((Height() - height) / 2));
  MacOffsetRect(&area, int16_t(-port->OriginX()), int16_t(-port->OriginY()));
  PictureDrawInGraphics(picture_, port, MacRect{0, 0, int16_t(height), int16_t(width)}, area, true);
}

void ColumnHeadingPane::DrawSortTriangle(GraphicsPort* port, bool themed) {
  Pane* target = port->Target();
  if (sortMark_ == 0 || direction_ == 0 || !target) return;
  if (port->StringWidth(caption_.get()) / 2 >= Width() / 2 - 15) return;
  const int32_t w = Width(), m = (Height() - 4) / 2;
  const bool ascending = direction_ == kSortAscending;
  const int32_t base = ascending ? m + 4 : m, apex = ascending ? m : m + 4;
  const int32_t corners[8] = {w - 15, base, w - 11, apex, w - 7, base, w - 15, base};
  // Heading coordinates, as the port's target counts them.
  const int32_t dx = Left() - target->Left(), dy = Top() - target->Top();
  ArrayRef points = ArrayRef::Adopt(CreateArray(1, kArrayInt32, 8));
  for (int32_t i = 0; i < 8; ++i) {
    *static_cast<int32_t*>(FindArrayElement(points.get(), i + 1)) = corners[i] + (i % 2 ? dy : dx);
  }
  if (themed) port->SetForeColor(kThemedTriangle);
  port->Polygon(points.get(), true);
}

// ---- Mouse and state ----

bool ColumnHeadingPane::MouseDown(int32_t x, int32_t y, uint32_t) {
  if (!IsEnabled() || !Contains(x, y)) return false;
  OwnerChainLock lock(this);
  pressed_ = 1;
  if (owner_) owner_->HeadingPressed(this);
  if (IsClosing()) return true;
  DrawNow();
  SetMouseCapturePane(this);
  return true;
}

void ColumnHeadingPane::MouseDrag(int32_t x, int32_t y, uint32_t) {
  const uint8_t inside = Contains(x, y) ? 1 : 0;
  if (inside == pressed_) return;
  pressed_ = inside;
  DrawNow();
}

void ColumnHeadingPane::MouseUp(int32_t x, int32_t y, uint32_t) {
  // The release point decides, as a move there would have.
  const bool click = pressed_ && Contains(x, y);
  if (!pressed_) return;
  pressed_ = 0;
  DrawNow();
  if (!click || !owner_) return;
  OwnerChainLock lock(this);
  owner_->HeadingClicked(this);
}

void ColumnHeadingPane::SetHot(bool hot) {
  if (!IsEnabled()) return;
  hot_ = hot ? 1 : 0;
  if (ThemesOn()) DrawNow();
}

void ColumnHeadingPane::MouseEnter(int32_t, int32_t, uint32_t) { SetHot(true); }
void ColumnHeadingPane::MouseLeave() { SetHot(false); }

void ColumnHeadingPane::MouseMove(int32_t x, int32_t y, uint32_t) {
  if (!IsEnabled() || !owner_) return;
  OwnerChainLock lock(this);
  owner_->TrackBegin(this, x, y);
  if (!IsClosing()) owner_->HeadingMouse(this, x, y);
}

void ColumnHeadingPane::SetEnabled(bool enabled, bool redraw) {
  if (enabled == IsEnabled()) return;
  SubPane::SetEnabled(enabled, redraw);
  if (IsVisible() && IsShown()) DrawNow();
}

void ColumnHeadingPane::BroadcastDragImage(GraphicsPort* port) {
  Draw(port);
  SubPane::BroadcastDragImage(port);
}
