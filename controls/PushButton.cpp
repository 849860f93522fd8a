#include "controls/PushButton.h"

#include <iterator>
#include <utility>

#include "core/InstanceArgument.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"

namespace {

PushButtonFields* FieldsOf(RuntimeObject* control) {
  return reinterpret_cast<PushButtonFields*>(control);
}

// The fields of a push button; nil for nil (NilObjectException raised) or
// for another class's object (reported).
PushButtonFields* Checked(RuntimeObject* control) {
  return InstanceArgument<PushButtonFields>(control, GetPushButtonClassDefinition(), "PushButton",
                                            __LINE__, "ObjectIsADefinition(control, PushButton)");
}

PushButtonPaneWin32* PaneOf(PushButtonFields* fields) {
  return dynamic_cast<PushButtonPaneWin32*>(fields->control.pane);
}

// Default or Cancel: the pane is told first (any byte counts as 0 or 1),
// then the field stores the flag.
void SetRole(RuntimeObject* control, uint8_t PushButtonFields::*field,
             void (PushButtonPaneWin32::*tellPane)(uint8_t), uint8_t value) {
  PushButtonFields* fields = Checked(control);
  if (!fields) return;
  const uint8_t flag = value != 0 ? 1 : 0;
  if (PushButtonPaneWin32* pane = PaneOf(fields)) (pane->*tellPane)(flag);
  fields->*field = flag;
}

void InitialisePushButton(RuntimeObject* control) {
  TextStyle& style = FieldsOf(control)->textStyle;
  style = DefaultTextStyle();
  style.font = StringAddRef(style.font);
}

void ChooseDefaultButtonAgain(SubPane* pane) {
  if (!pane->IsClosing()) WindowUpdateDefaultButton(SubPane::GetTopPane(pane));
}

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(pushButton, PushButtonFields, textStyle)

ObjectDefinition* GetPushButtonClassDefinition() {
  static std::array<EventRecord, 5> events = StandardControlEventRecords();
  static const PropertyRecord properties[] = {
      {0, "Caption", &kStringType, RUNTIME_ENTRY(pushButtonTitleGetter),
       RUNTIME_ENTRY(pushButtonTitleSetter), 0},
      {0, "Default", &kBooleanType, RUNTIME_ENTRY(pushButtonDefaultGetter),
       RUNTIME_ENTRY(pushButtonDefaultSetter), 0},
      {0, "Cancel", &kBooleanType, RUNTIME_ENTRY(pushButtonCancelGetter),
       RUNTIME_ENTRY(pushButtonCancelSetter), 0},
      RUNTIME_TEXT_STYLE_PROPERTIES(pushButton),
  };
  static const ParameterRecord receiver[] = {
      {"receiver", GetActionNotificationReceiverInterfaceDefinition(), 0},
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("addActionNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(pbAddActionNotificationReceiver)),
      MakeMethodRecord("removeActionNotificationReceiver", nullptr, receiver, 1,
                       RUNTIME_ENTRY(pbRemoveActionNotificationReceiver)),
      MakeMethodRecord("Push", nullptr, nullptr, 0, RUNTIME_ENTRY(pushButtonPush)),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "PushButton", sizeof(PushButtonFields), InitialisePushButton, PushButtonDestruct,
      PushButtonCreatePane, events.data(), int32_t(events.size()), properties,
      int32_t(std::size(properties)), methods, int32_t(std::size(methods)),
      {GetActionSourceInterfaceDefinition()}});
  return definition.get();
}

// ---- The sink ----

void PushButtonEventSink::Action(SubPane*) {
  RuntimeObject* control = Control();
  if (!control) return;
  ObjectRef hold = ObjectRef::Retain(control);
  PushButtonFields* fields = FieldsOf(control);
  NotifyPerformAction(&fields->actionReceivers);
  // A receiver may have closed the window (or replaced the panes and their
  // sink): then the handler has nothing left to act on.
  if (fields->sink != this || !fields->control.window) return;
  CallControlHandler(control, "Action");
}

// ---- The host pane ----

PushButtonPaneWin32::PushButtonPaneWin32(SubPane* parent, int32_t tabPanelIndex,
                                         const MacRect& bounds)
    : ControlHostPane(parent, tabPanelIndex, bounds) {}

NativePushButtonPane* PushButtonPaneWin32::NativeButton() const {
  return static_cast<NativePushButtonPane*>(Native());
}

void PushButtonPaneWin32::SetDefault(uint8_t value) {
  NativePushButtonPane* native = NativeButton();
  if (!native) return;
  native->SetDefaultFlag(value);
  ChooseDefaultButtonAgain(this);
}

void PushButtonPaneWin32::SetCancel(uint8_t value) {
  if (NativePushButtonPane* native = NativeButton()) native->SetCancelFlag(value);
}

void PushButtonPaneWin32::Push() {
  if (NativePushButtonPane* native = NativeButton()) native->PressButton();
}

void PushButtonPaneWin32::SetCaption(const StringRecord* caption) { SetNativeCaption(caption); }

void PushButtonPaneWin32::SetTextFont(const FontDescriptor& font) { SetNativeFont(font); }

// ---- The native pane ----

NativePushButtonPane::NativePushButtonPane(PushButtonPaneWin32* host, ControlEventSink* sink,
                                           const FontDescriptor& font,
                                           const StringRecord* caption)
    : NativeControlPane(host, sink, font, caption, "BUTTON", BS_PUSHBUTTON) {}

bool NativePushButtonPane::IsAvailable() { return IsEnabled() && IsVisible() && IsShown(); }

SubPane* NativePushButtonPane::DefaultButtonCandidate() {
  return IsDefault() && IsAvailable() ? this : nullptr;
}

SubPane* NativePushButtonPane::CancelButtonCandidate() {
  return IsCancel() && IsAvailable() ? this : nullptr;
}

bool NativePushButtonPane::CanBeDefaultButton() { return IsAvailable(); }

void NativePushButtonPane::SetDefaultButton(SubPane* chosen) {
  HWND window = NativeWindow();
  if (!window) return;
  const bool looksDefault = (GetWindowLongAuto(window, GWL_STYLE) & BS_DEFPUSHBUTTON) != 0;
  if (chosen == this && !looksDefault) {
    SendMessageAuto(window, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  } else if (chosen != this && looksDefault) {
    SendMessageAuto(window, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  }
}

void NativePushButtonPane::TakeFocus() {
  ControlCallGuard guard(this);
  NativeControlPane::TakeFocus();
  ChooseDefaultButtonAgain(this);
}

void NativePushButtonPane::LoseFocus() {
  ControlCallGuard guard(this);
  ChooseDefaultButtonAgain(this);
  NativeControlPane::LoseFocus();
}

void NativePushButtonPane::BroadcastStateChange(int32_t code) {
  NativeControlPane::BroadcastStateChange(code);
  AvailabilityChanged();
}

void NativePushButtonPane::OwnerShownChanged(bool shown) {
  NativeControlPane::OwnerShownChanged(shown);
  AvailabilityChanged();
}

void NativePushButtonPane::OwnerEnabledChanged(bool enabled) {
  NativeControlPane::OwnerEnabledChanged(enabled);
  AvailabilityChanged();
}

void NativePushButtonPane::AvailabilityChanged() {
  if (IsDefault() || GetFocusPane() == this) ChooseDefaultButtonAgain(this);
}

bool NativePushButtonPane::ControlNotify(int32_t code) {
  if (code != BN_CLICKED) return false;
  const bool takenByMouseDown = MouseHandled();
  SetMouseHandled(false);
  if (!takenByMouseDown) {
    if (ControlEventSink* sink = Sink()) sink->Action(EventPane());
  }
  return true;
}

void NativePushButtonPane::Press() {
  if (!IsEnabled()) return;
  if (ControlEventSink* sink = Sink()) sink->Action(EventPane());
}

PushButtonPaneWin32* CreatePushButton(ControlEventSink* sink, const FontDescriptor& font,
                                      SubPane* parentPane, int32_t tabPanelIndex,
                                      const MacRect& bounds, const StringRecord* caption) {
  auto* host = new PushButtonPaneWin32(parentPane, tabPanelIndex, bounds);
  new NativePushButtonPane(host, sink, font, caption);
  return host;
}

// ---- The class side ----

extern "C" void PushButtonCreatePane(RuntimeObject* control) {
  PushButtonFields* fields = Checked(control);
  if (!fields) return;
  RuntimeControl& common = fields->control;
  // A second "CreatePane" makes new panes: the old sink leaves the old ones.
  delete std::exchange(fields->sink, new PushButtonEventSink(control));
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&fields->textStyle));
  PushButtonPaneWin32* pane =
      CreatePushButton(fields->sink, font.get(), ControlParentPane(control), common.tabPanelIndex,
                       common.bounds, fields->caption);
  AdoptControlPane(control, pane);
  pane->SetDefault(fields->isDefault);
  pane->SetCancel(fields->isCancel);
}

extern "C" void PushButtonDestruct(RuntimeObject* control) {
  PushButtonFields* fields = FieldsOf(control);
  ReceiverListClear(&fields->actionReceivers);
  RuntimeUnlockString(std::exchange(fields->caption, nullptr));
  RuntimeUnlockString(std::exchange(fields->textStyle.font, nullptr));
  delete std::exchange(fields->sink, nullptr);
}

extern "C" StringRecord* pushButtonTitleGetter(RuntimeObject* control, uint32_t) {
  PushButtonFields* fields = Checked(control);
  return fields ? StringAddRef(fields->caption) : nullptr;
}

extern "C" void pushButtonTitleSetter(RuntimeObject* control, uint32_t, StringRecord* caption) {
  PushButtonFields* fields = Checked(control);
  if (!fields) return;
  StringAssign(&fields->caption, caption);
  if (PushButtonPaneWin32* pane = PaneOf(fields)) pane->SetCaption(caption);
}

extern "C" bool pushButtonDefaultGetter(RuntimeObject* control, uint32_t) {
  PushButtonFields* fields = Checked(control);
  return fields && fields->isDefault != 0;
}

extern "C" void pushButtonDefaultSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  SetRole(control, &PushButtonFields::isDefault, &PushButtonPaneWin32::SetDefault, value);
}

extern "C" bool pushButtonCancelGetter(RuntimeObject* control, uint32_t) {
  PushButtonFields* fields = Checked(control);
  return fields && fields->isCancel != 0;
}

extern "C" void pushButtonCancelSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  SetRole(control, &PushButtonFields::isCancel, &PushButtonPaneWin32::SetCancel, value);
}

extern "C" void pushButtonPush(RuntimeObject* control) {
  PushButtonFields* fields = Checked(control);
  if (!fields) return;
  if (PushButtonPaneWin32* pane = PaneOf(fields)) pane->Push();
}

extern "C" void pbAddActionNotificationReceiver(RuntimeObject* control, RuntimeObject* receiver) {
  if (PushButtonFields* fields = Checked(control)) {
    ReceiverListAdd(&fields->actionReceivers, receiver);
  }
}

extern "C" void pbRemoveActionNotificationReceiver(RuntimeObject* control,
                                                   RuntimeObject* receiver) {
  if (PushButtonFields* fields = Checked(control)) {
    ReceiverListRemove(&fields->actionReceivers, receiver);
  }
}
