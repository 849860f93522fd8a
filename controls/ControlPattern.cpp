// The shared pieces of the built-in controls.
#include "controls/ControlPattern.h"

#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "controls/DataControlRole.h"
#include "controls/Mnemonic.h"
#include "core/string.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/win32windows.h"

namespace {

bool IsButtonRelease(UINT message) {
  return message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_NCLBUTTONUP ||
         message == WM_NCRBUTTONUP;
}

bool IsNonClientRelease(UINT message) {
  return message == WM_NCLBUTTONUP || message == WM_NCRBUTTONUP;
}

bool ContainsPoint(const MacRect& rect, int32_t x, int32_t y) {
  return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

}  // namespace

// ---- Class definitions ----

ControlClassDefinition::ControlClassDefinition(const ControlClassTables& tables) {
  ObjectDefinitionSetName(&definition_, tables.name);
  definition_.superclass = GetRectControlClassDefinition();
  definition_.instanceSize = tables.instanceSize;
  definition_.initialiser = tables.initialiser;
  definition_.destructor = tables.destructor;
  definition_.flags = 1;
  createPane_ = EventImplementation{nullptr, "CreatePane", reinterpret_cast<void*>(tables.createPane)};
  definition_.eventImplementations = &createPane_;
  BuildEventDefinitions(&definition_, tables.events, tables.eventCount);
  BuildPropertyDefinitions(&definition_, tables.properties, tables.propertyCount);
  BuildMethodDefinitions(&definition_, tables.methods, tables.methodCount);
  for (ObjectDefinition* interfaceDefinition : tables.interfaces) {
    definition_.AddInterface(interfaceDefinition);
  }
}

std::array<EventRecord, 5> StandardControlEventRecords() {
  return {{
      {0, "Action", "", nullptr, 0},
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseUp", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "GotFocus", "", nullptr, 0},
      {0, "LostFocus", "", nullptr, 0},
  }};
}

// ---- Panes that hold their control ----

SubPane* ControlParentPane(RuntimeObject* control) {
  RuntimeControl* fields = ControlFields(control);
  RuntimeObject* parent = fields->parentControl;
  if (parent && ControlFields(parent)->pane) return ControlFields(parent)->pane;
  return fields->parentPane;
}

void AdoptControlPane(RuntimeObject* control, SubPane* pane) {
  ControlFields(control)->pane = pane;
  if (SubPane* parent = ControlParentPane(control)) pane->Reparent(parent);
}

bool RunMouseDownHandler(SubPane* pane, RuntimeObject* control, int32_t x, int32_t y) {
  if (!control || pane->IsClosing() || !FindEventHandler(control, "MouseDown")) return false;
  OwnerChainLock lock(pane);
  const bool handled =
      CallControlHandler<bool>(control, "MouseDown", x - pane->Left(), y - pane->Top());
  if (pane->IsClosing()) return true;
  if (handled) SetMouseCapturePane(pane);
  return handled;
}

void RunMouseHandler(SubPane* pane, RuntimeObject* control, const char* event, int32_t x,
                     int32_t y) {
  if (!control || pane->IsClosing()) return;
  OwnerChainLock lock(pane);
  CallControlHandler(control, event, x - pane->Left(), y - pane->Top());
}

// ---- Sinks ----

ControlEventSink::ControlEventSink(RuntimeObject* control) : control_(control) {}

ControlEventSink::~ControlEventSink() {
  // Each link clears itself out of links_ as it detaches.
  while (!links_.empty()) links_.back()->Detach();
}

void ControlEventSink::Action(SubPane*) {}
bool ControlEventSink::MouseDown(SubPane*, int32_t, int32_t) { return false; }
bool ControlEventSink::MouseUp(SubPane*, int32_t, int32_t) { return false; }
void ControlEventSink::GotFocus(SubPane*) {}
void ControlEventSink::LostFocus(SubPane*) {}

bool ControlHandlerSink::MouseDown(SubPane*, int32_t x, int32_t y) {
  return CallControlHandler<bool>(Control(), "MouseDown", x, y);
}

bool ControlHandlerSink::MouseUp(SubPane*, int32_t x, int32_t y) {
  return CallControlHandler<bool>(Control(), "MouseUp", x, y);
}

void ControlHandlerSink::GotFocus(SubPane*) { CallControlHandler(Control(), "GotFocus"); }
void ControlHandlerSink::LostFocus(SubPane*) { CallControlHandler(Control(), "LostFocus"); }

void SinkLink::Attach(ControlEventSink* sink) {
  if (sink == sink_) return;
  Detach();
  sink_ = sink;
  if (sink_) sink_->links_.push_back(this);
}

void SinkLink::Detach() {
  if (!sink_) return;
  auto& links = sink_->links_;
  links.erase(std::remove(links.begin(), links.end(), this), links.end());
  sink_ = nullptr;
}

// ---- Guards ----

ControlCallGuard::ControlCallGuard(NativeControlPane* pane)
    : control_(ObjectRef::Retain(pane ? pane->Control() : nullptr)), panes_(pane) {}
ControlCallGuard::ControlCallGuard(SubPane* pane, RuntimeObject* control)
    : control_(ObjectRef::Retain(control)), panes_(pane) {}

InActionScope::InActionScope(RuntimeObject* control, uint8_t* flag)
    : control_(ObjectRef::Retain(control)), flag_(flag) {
  *flag_ = 1;
}

// ---- The host pane ----

ControlHostPane::ControlHostPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds)
    : NativePane(parent, tabPanelIndex, bounds, nullptr, kPaneClassName, 0, 0) {}

ControlHostPane::~ControlHostPane() {
  if (native_) native_->host_ = nullptr;
}

RuntimeObject* ControlHostPane::Control() const { return Sink() ? Sink()->Control() : nullptr; }

SubPane* ControlHostPane::WorkingPane() {
  if (native_) return native_;
  return this;
}

void ControlHostPane::TakeFocus() {
  if (native_) SetFocusPane(native_);
}

bool ControlHostPane::CanAcceptFocus() { return native_ && native_->CanAcceptFocus(); }

void ControlHostPane::SetBounds(const MacRect& rect, bool redraw) {
  NativePane::SetBounds(rect, redraw);
  if (native_) native_->SetBounds(rect, redraw);
}

HWND ControlHostPane::GetNativeHandle() { return native_ ? native_->NativeWindow() : nullptr; }

void ControlHostPane::SetNativeCaption(const StringRecord* caption) {
  if (!native_) return;
  ControlPaneSetText(native_, caption);
  if (HWND window = native_->NativeWindow()) SetControlMnemonic(window, caption);
}

void ControlHostPane::SetNativeFont(const FontDescriptor& font) {
  if (native_) ControlPaneSetFont(native_, font);
}

// ---- The native pane ----

NativeControlPane::NativeControlPane(ControlHostPane* host, ControlEventSink* sink,
                                     const FontDescriptor& font, const StringRecord* caption,
                                     const char* windowClass, uint32_t style)
    : ControlPane(font, host, host->TabPanelIndex(), host->Bounds(), caption, windowClass, style,
                  0),
      host_(host) {
  host->native_ = this;
  host->sink_.Attach(sink);
  sink_.Attach(sink);
  if (HWND window = NativeWindow()) SetControlMnemonic(window, caption);
}

NativeControlPane::~NativeControlPane() {
  if (host_) host_->native_ = nullptr;
}

RuntimeObject* NativeControlPane::Control() const { return Sink() ? Sink()->Control() : nullptr; }

SubPane* NativeControlPane::EventPane() {
  if (host_) return host_;
  return this;
}

SubPane* NativeControlPane::RepresentativePane() { return EventPane(); }

bool NativeControlPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (!IsEnabled()) return false;
  ControlCallGuard guard(this);
  if (ControlEventSink* sink = Sink()) {
    SetMouseHandled(sink->MouseDown(EventPane(), x - Left(), y - Top()));
    if (MouseHandled()) return true;
  }
  return ControlPaneForwardMouseDown(this, x, y, modifiers);
}

void NativeControlPane::TakeFocus() {
  ControlCallGuard guard(this);
  ControlPane::TakeFocus();
  if (Sink() && !IsClosing()) Sink()->GotFocus(EventPane());
}

void NativeControlPane::LoseFocus() {
  ControlCallGuard guard(this);
  if (Sink() && !IsClosing()) Sink()->LostFocus(EventPane());
}

bool NativeControlPane::ControlNotification(int32_t code, UINT, WPARAM, LPARAM) {
  ControlCallGuard guard(this);
  return ControlNotify(code);
}

void NativeControlPane::PressButton() {
  ControlCallGuard guard(this);
  Press();
}

LRESULT NativeControlPane::HandleMessage(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  ControlCallGuard guard(this);
  if (IsButtonRelease(message)) {
    if (MouseHandled() && Sink()) {
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      // Non-client releases carry screen points.
      if (IsNonClientRelease(message) && window) ScreenToClient(window, &point);
      SetMouseHandled(Sink()->MouseUp(EventPane(), point.x, point.y));
      if (!ContainsPoint(Bounds(), point.x + Left(), point.y + Top())) SetMouseHandled(false);
    } else {
      SetMouseHandled(false);
    }
  }
  return ControlPaneHandleMessage(this, message, wParam, lParam);
}

bool NativeControlPane::ControlNotify(int32_t) { return false; }
void NativeControlPane::Press() {}

std::vector<StringRef> SplitLines(const StringRecord* text) {
  const std::u16string units = StringToStdUTF16(text);
  std::vector<StringRef> lines;
  size_t start = 0;
  for (size_t i = 0; i <= units.size(); ++i) {
    if (i < units.size() && units[i] != u'\r' && units[i] != u'\n') continue;
    lines.push_back(StringRef::Adopt(StringFromUTF16(
        reinterpret_cast<const uint16_t*>(units.data() + start), int32_t(i - start))));
    if (i + 1 < units.size() && units[i] == u'\r' && units[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  return lines;
}

void RedrawWholeAfterResize(SubPane* pane, const MacRect& oldBounds) {
  pane->ResizeRedrawEdges(oldBounds);
  pane->Invalidate(true);
}

// ---- Binding ----

RuntimeObject* FindDataControl(RuntimeObject* window, const StringRecord* name) {
  if (!window || StringLength(name) == 0) return nullptr;
  for (RuntimeObject* control : WindowControls(window)) {
    if (!IsControl(control) || StringCompareNoCase(ControlFields(control)->name, name) != 0) {
      continue;
    }
    return DataControlRoleOf(control) ? control : nullptr;
  }
  return nullptr;
}

void DataSourceBinding::SetName(StringRecord* name) { name_ = StringRef::Retain(name); }

void DataSourceBinding::Bind(RuntimeObject* control, uint8_t kind) {
  Unbind();
  if (!control) return;
  RuntimeObject* dataControl = FindDataControl(ControlFields(control)->window, name_.get());
  if (!dataControl) return;
  control_ = control;
  kind_ = kind;
  dataControl_ = ObjectRef::Retain(dataControl);
  DataControlAddBoundControl(dataControl, control, kind);
  DataControlRefreshBoundControls(dataControl);
}

void DataSourceBinding::Unbind() {
  if (!dataControl_) return;
  ObjectRef dataControl = std::move(dataControl_);
  DataControlRemoveBoundControl(dataControl.get(), control_, kind_);
  control_ = nullptr;
}

BoundControlPart* BoundControlPartOf(RuntimeObject* control) {
  if (!control || !IsControl(control)) return nullptr;
  return dynamic_cast<BoundControlPart*>(ControlFields(control)->pane);
}

void SetBoundDataSource(RuntimeObject* control, StringRecord** field, StringRecord* name) {
  StringAssign(field, name);
  if (BoundControlPart* part = BoundControlPartOf(control)) {
    part->UnbindDataSource();
    part->SetDataSourceName(name);
    part->BindDataSource();
  }
}

void SetBoundDataField(RuntimeObject* control, StringRecord** field, StringRecord* name) {
  StringAssign(field, name);
  if (BoundControlPart* part = BoundControlPartOf(control)) part->BindDataSource();
}
