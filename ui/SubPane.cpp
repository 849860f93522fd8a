// Sub-panes: the pane tree, flags, geometry and the base operations.
#include "ui/SubPane.h"

#include <algorithm>
#include <string>

#include "core/RuntimeObjectFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "ui/DeferredUpdate.h"
#include "ui/PaneFocus.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPane.h"
#include "ui/WinUtil.h"
#include "ui/WindowSystem.h"
#include "ui/win32windows.h"

namespace {

constexpr int32_t kEdgeMargin = 4;

bool RectInside(const MacRect& inner, const MacRect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

bool ContainsPoint(const MacRect& rect, int32_t x, int32_t y) {
  return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

int32_t Area(const MacRect& rect) {
  return (int32_t(rect.right) - rect.left) * (int32_t(rect.bottom) - rect.top);
}

int16_t Shifted(int16_t value, int32_t delta) {
  return int16_t(std::clamp<int32_t>(value + delta, INT16_MIN, INT16_MAX));
}

// Locks panes for a call that may close their window.
class PaneSnapshot {
 public:
  explicit PaneSnapshot(const std::vector<SubPane*>& panes) : panes_(panes) {
    for (SubPane* pane : panes_) pane->Lock();
  }
  ~PaneSnapshot() {
    for (SubPane* pane : panes_) pane->Unlock();
  }
  PaneSnapshot(const PaneSnapshot&) = delete;
  PaneSnapshot& operator=(const PaneSnapshot&) = delete;
  const std::vector<SubPane*>& panes() const { return panes_; }

 private:
  std::vector<SubPane*> panes_;
};

}  // namespace

void PaneDelegate::Notify(SubPane*, int32_t, int32_t) {}

SubPane::SubPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                 const StringRecord* name, const char* windowClass, uint32_t style,
                 uint32_t exStyle)
    : Pane(bounds), tabPanelIndex_(tabPanelIndex) {
  JoinTree(parent);
  if (windowClass) MakeNativeWindow(name, windowClass, style, exStyle);
}

SubPane::SubPane(SubPane* parent, const MacRect& bounds) : Pane(bounds) { JoinTree(parent); }

void SubPane::JoinTree(SubPane* parent) {
  if (!parent) return;
  parent_ = parent;
  parent->children_.push_back(this);
  active_ = parent->IsActive();
  if (WindowPane* top = TopWindowPane()) top->AddPane(this);
}

void SubPane::MakeNativeWindow(const StringRecord* name, const char* windowClass, uint32_t style,
                               uint32_t exStyle) {
  HWND nativeParent = nullptr;
  for (SubPane* owner = parent_; owner && !nativeParent; owner = owner->parent_) {
    nativeParent = owner->window_;
  }
  if (!nativeParent) return;
  const POINT origin = NativeOrigin();
  const uint32_t shown = parent_->ChildOnCurrentPage(this) ? WS_VISIBLE : 0;
  HWND created = CreateWindowAuto(exStyle, windowClass, name,
                                  style | WS_CHILD | shown | WS_CLIPSIBLINGS,
                                  bounds_.left - origin.x, bounds_.top - origin.y, Width(),
                                  Height(), nativeParent, nullptr, this);
  if (!created) return;
  if (!window_) AttachWindow(created);
  SetWindowPos(created, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  UpdateNativeEnabled();
}

SubPane::~SubPane() {
  LeaveRoles();
  for (SubPane* child : children_) child->parent_ = nullptr;
  children_.clear();
  if (parent_) parent_->RemoveChild(this);
  RuntimeUnlockObject(cursor_);
  if (HWND window = window_) {
    DetachPaneWindowMessages(window, this);
    window_ = nullptr;
    DestroyWindow(window);
  }
}

void SubPane::LeaveRoles() {
  PaneForgetGraphicsPorts(this);
  ForgetInputRoles(this);
  if (CurrentDrawingPane() == this) ReleaseCurrentDrawingPane();
  WindowPane::ForgetPane(this);
  RemoveDeferredUpdatesOf(this);
  RemoveWindowShortcuts(this);
  if (window_) RemoveWindowShortcuts(window_);
}

SubPane* SubPane::GetTopPane(SubPane* pane) {
  if (!pane) return nullptr;
  while (SubPane* owner = pane->GetOwner()) pane = owner;
  return pane;
}

WindowPane* SubPane::TopWindowPane() { return dynamic_cast<WindowPane*>(GetTopPane(this)); }

bool SubPane::IsShown() const {
  return visible_ && (!parent_ || (parent_->ChildOnCurrentPage(this) && parent_->IsShown()));
}
bool SubPane::IsEnabled() const { return enabled_ && (!parent_ || parent_->IsEnabled()); }

void SubPane::SetPaneCursor(RuntimeObject* cursor) {
  RuntimeLockObject(cursor);
  RuntimeUnlockObject(cursor_);
  cursor_ = cursor;
}

// ---- Lifetime ----

void SubPane::LockOwnerChain(OwnerChain* chain) {
  for (SubPane* pane = this; pane; pane = pane->GetOwner()) {
    pane->Lock();
    chain->push_back(pane);
  }
}

bool SubPane::UnlockOwnerChain(OwnerChain* chain) {
  bool firstDisposed = false;
  for (size_t i = 0; i < chain->size(); ++i) {
    const bool disposed = (*chain)[i]->Unlock();
    if (i == 0) firstDisposed = disposed;
  }
  chain->clear();
  return firstDisposed;
}

// ---- Drawing ----

bool SubPane::HasNativeWindow() const { return true; }
void SubPane::Draw(GraphicsPort*) {}

void SubPane::RedrawInTopWindow(const MacRect& rect, UINT flags) {
  SubPane* top = GetTopPane(this);
  if (HWND window = top->window_) {
    RECT area{rect.left - top->Left(), rect.top - top->Top(), rect.right - top->Left(),
              rect.bottom - top->Top()};
    RedrawWindow(window, &area, nullptr, flags | RDW_INVALIDATE | RDW_ALLCHILDREN);
  }
}

void SubPane::Redraw() { RedrawInTopWindow(GetRedrawBounds(), RDW_ERASE | RDW_UPDATENOW); }

void SubPane::Invalidate(bool erase) { InvalidateRect(bounds_, erase); }

void SubPane::InvalidateRect(const MacRect& rect, bool erase) {
  MacRect adjusted = rect;
  AdjustRedrawRect(&adjusted);
  RedrawInTopWindow(adjusted, erase ? RDW_ERASE : 0);
}

bool SubPane::AdjustRedrawRect(MacRect*) { return false; }

MacRect SubPane::GetRedrawBounds() {
  MacRect rect = bounds_;
  AdjustRedrawRect(&rect);
  return rect;
}

void SubPane::Validate() {
  if (window_) ::ValidateRect(window_, nullptr);
}

void SubPane::ValidateRect(const MacRect& rect) {
  if (!window_) return;
  RECT area{rect.left - Left(), rect.top - Top(), rect.right - Left(), rect.bottom - Top()};
  ::ValidateRect(window_, &area);
}

void SubPane::EraseBackground() {
  uint32_t token = 0;
  HDC dc = paintDC_ ? paintDC_ : AcquireDC(&token);
  if (!dc) return;
  RECT rect{bounds_.left, bounds_.top, bounds_.right, bounds_.bottom};
  FillRect(dc, &rect, CachedSolidBrush(BackgroundColor()));
  if (dc != paintDC_) ReleaseDC(token);
}

HDC SubPane::AcquireDC(uint32_t* releaseToken) {
  if (releaseToken) *releaseToken = 0;
  if (paintDC_) return paintDC_;
  if (!window_) return nullptr;
  HDC dc = GetDC(window_);
  if (!dc) return nullptr;
  SetWindowOrgEx(dc, Left(), Top(), nullptr);
  if (releaseToken) *releaseToken = uint32_t(reinterpret_cast<uintptr_t>(dc));
  return dc;
}

void SubPane::ReleaseDC(uint32_t releaseToken) {
  // The paint DC's token is 0: EndPaint gives that one back.
  if (releaseToken == 0) return;
  HDC dc = reinterpret_cast<HDC>(uintptr_t(releaseToken));
  SetWindowOrgEx(dc, 0, 0, nullptr);
  ::ReleaseDC(window_, dc);
}

COLORREF SubPane::BackgroundColor() {
  SubPane* owner = GetOwner();
  return owner ? owner->BackgroundColor() : SystemColor(COLOR_BTNFACE);
}

bool SubPane::BaselineOffset(int32_t* offset) {
  if (offset) *offset = 0;
  return false;
}

void SubPane::SetTextFont(const FontDescriptor&) {}

// ---- Geometry ----

POINT SubPane::NativeOrigin() {
  for (SubPane* owner = parent_; owner; owner = owner->parent_) {
    if (owner->window_) return POINT{owner->Left(), owner->Top()};
  }
  return POINT{0, 0};
}

void SubPane::ShiftDescendants(int32_t dx, int32_t dy) {
  for (SubPane* child : children_) {
    MacRect& rect = child->bounds_;
    rect = MacRect{Shifted(rect.top, dy), Shifted(rect.left, dx), Shifted(rect.bottom, dy),
                   Shifted(rect.right, dx)};
    child->ShiftDescendants(dx, dy);
  }
}

void SubPane::SetBounds(const MacRect& rect, bool redraw) {
  const int32_t dx = int32_t(rect.left) - bounds_.left;
  const int32_t dy = int32_t(rect.top) - bounds_.top;
  bounds_ = rect;
  if (dx || dy) ShiftDescendants(dx, dy);
  if (window_ && parent_) {
    const POINT origin = NativeOrigin();
    MoveWindow(window_, rect.left - origin.x, rect.top - origin.y, Width(), Height(),
               redraw ? TRUE : FALSE);
  }
}

void SubPane::GetClippedBounds(MacRect* out) {
  MacRect clipped = bounds_;
  for (SubPane* owner = GetOwner(); owner; owner = owner->GetOwner()) {
    if (!MacSectRect(&clipped, &owner->bounds_, &clipped)) break;
  }
  *out = clipped;
}

void SubPane::Scroll(const MacRect& rect, int32_t dx, int32_t dy) {
  if (!window_) return;
  RECT area{rect.left - Left(), rect.top - Top(), rect.right - Left(), rect.bottom - Top()};
  ScrollWindowEx(window_, dx, dy, &area, &area, nullptr, nullptr, SW_INVALIDATE);
}

void SubPane::ResizeRedrawEdges(const MacRect& oldBounds) {
  const int16_t top = std::min(oldBounds.top, bounds_.top);
  const int16_t bottom = std::max(oldBounds.bottom, bounds_.bottom);
  const int16_t left = std::min(oldBounds.left, bounds_.left);
  const int16_t right = std::max(oldBounds.right, bounds_.right);
  if (oldBounds.right != bounds_.right) {
    const int32_t from = std::min(oldBounds.right, bounds_.right) - kEdgeMargin;
    InvalidateRect(MacRect{top, Shifted(int16_t(from), 0), bottom, right}, true);
  }
  if (oldBounds.bottom != bounds_.bottom) {
    const int32_t from = std::min(oldBounds.bottom, bounds_.bottom) - kEdgeMargin;
    InvalidateRect(MacRect{Shifted(int16_t(from), 0), left, bottom, right}, true);
  }
}

void SubPane::ShowNative(bool show) {
  if (!window_ || !parent_) return;
  ShowWindow(window_, show && parent_->ChildOnCurrentPage(this) ? SW_SHOWNA : SW_HIDE);
}

// ---- Mouse ----

SubPane* SubPane::ChildAt(int32_t x, int32_t y, bool enabledOnly) {
  for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
    SubPane* pane = *child;
    if (!pane->IsVisible() || !ChildOnCurrentPage(pane)) continue;
    if (enabledOnly && !pane->IsEnabled()) continue;
    if (ContainsPoint(pane->bounds_, x, y)) return pane;
  }
  return nullptr;
}

bool SubPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  SubPane* child = ChildAt(x, y, true);
  if (!child) return false;
  OwnerChainLock lock(child);
  return child->MouseDown(x, y, modifiers);
}

bool SubPane::RightMouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  SubPane* child = ChildAt(x, y, true);
  if (!child) return false;
  OwnerChainLock lock(child);
  return child->RightMouseDown(x, y, modifiers);
}

void SubPane::MouseDrag(int32_t, int32_t, uint32_t) {}
void SubPane::MouseUp(int32_t, int32_t, uint32_t) {}
void SubPane::MouseEnter(int32_t, int32_t, uint32_t) {}
void SubPane::MouseMove(int32_t, int32_t, uint32_t) {}
void SubPane::MouseLeave() {}

bool SubPane::MouseWheel(int32_t x, int32_t y, int32_t delta, uint32_t modifiers) {
  SubPane* owner = GetOwner();
  return owner ? owner->MouseWheel(x, y, delta, modifiers) : false;
}

RuntimeObject* SubPane::AdjustCursor(int32_t x, int32_t y) {
  if (SubPane* child = ChildAt(x, y, false)) {
    if (RuntimeObject* cursor = child->AdjustCursor(x, y)) return cursor;
  }
  return cursor_;
}

bool SubPane::DetectDrag(int32_t x, int32_t y) {
  SubPane* top = GetTopPane(this);
  if (!top->window_) return false;
  POINT point{x - top->Left(), y - top->Top()};
  ClientToScreen(top->window_, &point);
  return DragDetect(top->window_, point) != FALSE;
}

// ---- Keys ----

bool SubPane::CharacterEntry(uint32_t, uint32_t) { return false; }
bool SubPane::HandleKey(uint32_t, uint32_t, uint32_t) { return false; }
bool SubPane::KeyToOwner() { return true; }
bool SubPane::ArrowKeysMoveFocus() { return true; }
void SubPane::SelectOnKeyboardFocus() {}
bool SubPane::GetAcceptTabs() { return false; }
bool SubPane::IsListCellEditor() { return false; }
bool SubPane::IsMultiLine() { return false; }

void SubPane::ActivateShortcut(uint32_t kind) {
  if ((kind & 0xFFFF) != kShortcutControl) return;
  HWND window = GetNativeHandle();
  if (window && CStringCompareNoCase(WindowClassName(window).c_str(), "Button") == 0) {
    SendMessageAuto(window, BM_CLICK, 0, 0);
  } else {
    SetFocusPane(this);
  }
}

// ---- Focus ----

void SubPane::TakeFocus() {
  if (!CanAcceptFocus()) return;
  if (WindowPane* top = TopWindowPane()) top->SetFocusedControl(this);
  HWND window = GetNativeHandle();
  if (window && GetFocus() != window) SetFocus(window);
}

void SubPane::LoseFocus() {}
bool SubPane::CanAcceptFocus() { return false; }

// ---- State ----

void SubPane::SetEnabled(bool enabled, bool redraw) {
  BroadcastStateChange(enabled ? kPaneEnable : kPaneDisable);
  if (redraw) Invalidate(true);
}

void SubPane::BroadcastStateChange(int32_t code) {
  switch (code) {
    case kPaneEnable:
    case kPaneDisable: {
      enabled_ = code == kPaneEnable;
      UpdateNativeEnabled();
      const bool enabled = IsEnabled();
      for (SubPane* child : std::vector<SubPane*>(children_)) child->OwnerEnabledChanged(enabled);
      break;
    }
    case kPaneShow:
    case kPaneHide: {
      visible_ = code == kPaneShow;
      ShowNative(visible_);
      const bool shown = IsShown();
      for (SubPane* child : std::vector<SubPane*>(children_)) child->OwnerShownChanged(shown);
      break;
    }
    default:
      break;
  }
}

void SubPane::OwnerShownChanged(bool) {
  const bool shown = IsShown();
  for (SubPane* child : std::vector<SubPane*>(children_)) child->OwnerShownChanged(shown);
}

void SubPane::OwnerEnabledChanged(bool) {
  UpdateNativeEnabled();
  const bool enabled = IsEnabled();
  for (SubPane* child : std::vector<SubPane*>(children_)) child->OwnerEnabledChanged(enabled);
}

void SubPane::UpdateNativeEnabled() {
  // A top window's native enabling belongs to modal windows.
  if (window_ && parent_) EnableWindow(window_, IsEnabled() ? TRUE : FALSE);
}

void SubPane::Activate() {
  active_ = true;
  for (SubPane* child : std::vector<SubPane*>(children_)) child->Activate();
}

void SubPane::Deactivate() {
  active_ = false;
  for (SubPane* child : std::vector<SubPane*>(children_)) child->Deactivate();
}

void SubPane::Close() {
  closing_ = true;
  if (GetMouseCapturePane() == this) SetMouseCapturePane(nullptr);
  if (GetFocusPane() == this) SetFocusPane(nullptr);
}

void SubPane::Idle() {}

// ---- Tree ----

SubPane* SubPane::GetOwner() { return parent_; }

void SubPane::Reparent(SubPane* newParent) {
  if (!newParent || newParent == parent_) return;
  for (SubPane* owner = newParent; owner; owner = owner->GetOwner()) {
    if (owner == this) {
      AssertionFailed(131, 4, "SubPane", __LINE__, "newParent outside the pane",
                      "a pane cannot be re-parented into itself");
      return;
    }
  }
  // A window that will be hidden under its new owner moves hidden.
  if (window_ && !(visible_ && newParent->ChildOnCurrentPage(this))) ShowWindow(window_, SW_HIDE);
  if (parent_) parent_->RemoveChild(this);
  parent_ = newParent;
  newParent->children_.push_back(this);
  if (window_) {
    HWND nativeParent = nullptr;
    for (SubPane* owner = parent_; owner && !nativeParent; owner = owner->parent_) {
      nativeParent = owner->window_;
    }
    if (nativeParent) {
      SetParent(window_, nativeParent);
      const POINT origin = NativeOrigin();
      SetWindowPos(window_, HWND_TOP, bounds_.left - origin.x, bounds_.top - origin.y, Width(),
                   Height(), SWP_NOACTIVATE);
    }
  }
  ShowNative(visible_);
  OwnerEnabledChanged(newParent->IsEnabled());
  OwnerShownChanged(newParent->IsShown());
  if (newParent->IsActive() != active_) {
    if (active_) {
      Deactivate();
    } else {
      Activate();
    }
  }
}

void SubPane::EmbedInEnclosingPane() {
  SubPane* owner = GetOwner();
  if (!owner) return;
  SubPane* best = nullptr;
  for (SubPane* sibling : std::vector<SubPane*>(owner->children_)) {
    if (sibling == this || !sibling->Encloses(this)) continue;
    if (!best || Area(sibling->bounds_) < Area(best->bounds_)) best = sibling;
  }
  if (best) Reparent(best);
}

void SubPane::RemoveChild(SubPane* child) {
  auto found = std::find(children_.begin(), children_.end(), child);
  if (found == children_.end()) return;
  children_.erase(found);
  child->parent_ = nullptr;
}

void SubPane::ReembedAll() {}
bool SubPane::Encloses(SubPane*) { return false; }

void SubPane::ForEachLeaf(const std::function<void(SubPane*)>& callback) {
  if (children_.empty()) {
    callback(this);
    return;
  }
  for (SubPane* child : std::vector<SubPane*>(children_)) child->ForEachLeaf(callback);
}

SubPane* SubPane::WorkingPane() { return this; }
SubPane* SubPane::RepresentativePane() { return this; }
bool SubPane::IsTabPanel() { return false; }
bool SubPane::IsPagePanel() { return false; }
bool SubPane::ChildOnCurrentPage(const SubPane*) const { return true; }
HWND SubPane::GetNativeHandle() { return window_; }

// ---- Buttons ----

SubPane* SubPane::DefaultButtonCandidate() { return nullptr; }
SubPane* SubPane::CancelButtonCandidate() { return nullptr; }
bool SubPane::CanBeDefaultButton() { return false; }
void SubPane::PressButton() {}
void SubPane::SetDefaultButton(SubPane*) {}
void SubPane::RadioGroupNotify(SubPane*) {}

// ---- Drag and drop ----

SubPane* SubPane::FindDropTarget(int32_t x, int32_t y, RuntimeObject* dragItem) {
  SubPane* child = ChildAt(x, y, true);
  return child ? child->FindDropTarget(x, y, dragItem) : this;
}

void SubPane::TrackDrag(int32_t, int32_t, RuntimeObject*) {
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void SubPane::DragExit(RuntimeObject*) {}
void SubPane::MakeDragImage(GraphicsPort*) {}

void SubPane::BroadcastDragImage(GraphicsPort* port) {
  for (SubPane* child : std::vector<SubPane*>(children_)) {
    if (child->IsVisible()) child->BroadcastDragImage(port);
  }
}

// ---- Menus ----

void SubPane::EnableMenuItems() {
  if (SubPane* owner = GetOwner()) owner->EnableMenuItems();
}

bool SubPane::AskOwner(RuntimeObject* menuItem) {
  SubPane* owner = GetOwner();
  return owner ? owner->AskOwner(menuItem) : false;
}

bool SubPane::HandleMenuItem(RuntimeObject* menuItem) {
  SubPane* owner = GetOwner();
  return owner ? owner->HandleMenuItem(menuItem) : false;
}

// ---- Native messages ----

bool SubPane::ControlNotification(int32_t, UINT, WPARAM, LPARAM) { return false; }

bool SubPane::HandleNotify(NMHDR* header, LRESULT* result) {
  *result = 0;
  return ControlNotification(int32_t(header->code), WM_NOTIFY, 0,
                             reinterpret_cast<LPARAM>(header));
}

LRESULT SubPane::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PaneDefaultMessage(this, window, message, wParam, lParam);
}

void SubPane::NotifyDelegate(int32_t code, int32_t argument) {
  if (delegate_) delegate_->Notify(this, code, argument);
}

void SubPane::AttachWindow(HWND window) { window_ = window; }

void SubPane::ForgetWindow() {
  if (window_) RemoveWindowShortcuts(window_);
  window_ = nullptr;
}

void AttachPaneWindow(SubPane* pane, HWND window) { pane->AttachWindow(window); }
void ForgetPaneWindow(SubPane* pane) { pane->ForgetWindow(); }

void PaneSetDelegate(SubPane* pane, PaneDelegate* delegate) {
  if (!pane) return;
  if (pane->delegate_ && pane->delegate_ != delegate) {
    AssertionFailed(131, 4, "SubPane", __LINE__, "no delegate yet",
                    "a pane's delegate is set once");
    return;
  }
  pane->delegate_ = delegate;
}

std::vector<SubPane*> PaneGroupSiblings(SubPane* pane) {
  SubPane* owner = pane ? pane->GetOwner() : nullptr;
  if (!owner) return {};
  std::vector<SubPane*> siblings;
  for (SubPane* sibling : owner->Children()) {
    if (sibling != pane) siblings.push_back(sibling);
  }
  SubPane* enclosing = nullptr;
  for (SubPane* sibling : siblings) {
    if (!RectInside(pane->Bounds(), sibling->Bounds())) continue;
    if (!enclosing || Area(sibling->Bounds()) < Area(enclosing->Bounds())) enclosing = sibling;
  }
  std::vector<SubPane*> group;
  for (SubPane* sibling : siblings) {
    if (sibling == enclosing) continue;
    if (enclosing && !RectInside(sibling->Bounds(), enclosing->Bounds())) continue;
    group.push_back(sibling);
  }
  return group;
}

void PaneNotifyGroupSiblings(SubPane* pane) {
  PaneSnapshot locked(PaneGroupSiblings(pane));
  for (SubPane* sibling : locked.panes()) sibling->RadioGroupNotify(pane);
}

NativePane::NativePane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                       const StringRecord* name, const char* windowClass, uint32_t style,
                       uint32_t exStyle)
    : SubPane(parent, tabPanelIndex, bounds, name, windowClass, style, exStyle) {}

NativePane::~NativePane() = default;

bool NativePane::CanAcceptFocus() {
  return GetNativeHandle() && IsVisible() && IsShown() && IsEnabled() && !IsClosing();
}
