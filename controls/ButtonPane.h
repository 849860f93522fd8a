// What the check box and the radio button share: a Win32 "BUTTON" that
// never sets its own check (its native pane does, then tells what follows),
// a host pane that passes the value, caption and font on, the Caption,
// Value and getBoundPart entries, and the bound parts "getCheckedAction"
// and "getUncheckedAction", whose receivers hear when the button ends an
// action checked or unchecked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "controls/ControlPattern.h"
#include "core/Layout.h"
#include "ui/Binding.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

// Booleans arrive as any byte and are stored and sent as 0 or 1.
inline uint8_t AsBit(uint32_t value) { return value ? 1 : 0; }

// The fields both buttons keep after their own.
template <class Sink>
struct ButtonState {
  StringRecord* caption;  // locked
  Sink* sink;             // owned; made by CreatePane
  TextStyle textStyle;
  uint8_t value;     // 0 or 1: the last known check state
  uint8_t inAction;  // set while an action sequence runs
};
static_assert(!kLayoutIs32Bit || offsetof(ButtonState<void>, textStyle) == 8, "style at 8");
static_assert(!kLayoutIs32Bit || offsetof(ButtonState<void>, value) == 20, "Value at 20");
static_assert(!kLayoutIs32Bit || sizeof(ButtonState<void>) == 24, "six words");

// A new button: the default text style, its font name held.
template <class Sink>
void InitialiseButtonState(ButtonState<Sink>* state) {
  state->textStyle = DefaultTextStyle();
  RuntimeLockString(state->textStyle.font);
}

// A button going: the caption and the font name released and the sink
// deleted (it leaves its panes as it goes).
template <class Sink>
void ReleaseButtonState(ButtonState<Sink>* state) {
  RuntimeUnlockString(std::exchange(state->caption, nullptr));
  RuntimeUnlockString(std::exchange(state->textStyle.font, nullptr));
  delete std::exchange(state->sink, nullptr);
}

// The control has left its window: no Window, or its window is closing.
bool ControlHasLeftWindow(RuntimeObject* control);

// The native pane over the "BUTTON" (style given, with the check for a
// non-zero value).
class NativeButtonPane : public NativeControlPane {
 public:
  NativeButtonPane(ControlHostPane* host, ControlEventSink* sink, const FontDescriptor& font,
                   const StringRecord* caption, uint32_t style, uint8_t value);
  // BM_GETCHECK of the button; false without a window.
  bool IsChecked();
  // The check, then what the button does with it.
  virtual void SetValue(uint8_t value) = 0;

 protected:
  ~NativeButtonPane() override = default;
  // BM_SETCHECK with the value (0 or 1); nothing without a window.
  void SetCheck(uint8_t value);
};

// The host pane of a NativeButtonPane.
class ButtonHostPane : public ControlHostPane {
 public:
  using ControlHostPane::ControlHostPane;
  // The native pane's SetValue with the value as 0 or 1.
  void SetButtonValue(uint8_t value);
  // The native check as 0 or 1 (0 without a native window).
  uint8_t ButtonValue();
  void SetTextFont(const FontDescriptor& font) override;

 protected:
  ~ButtonHostPane() override = default;
};

// The host pane of a new button under parentPane: host and native pane
// (Host and Native), linked, the value set, the caption's mnemonic
// registered.
template <class Host, class Native, class Sink>
Host* CreateButtonPanes(Sink* sink, const FontDescriptor& font, SubPane* parentPane,
                        int32_t tabPanelIndex, const MacRect& bounds, const StringRecord* caption,
                        uint8_t value) {
  auto* host = new Host(parentPane, tabPanelIndex, bounds);
  new Native(host, sink, font, caption, value);
  return host;
}

// A bound part of a button (the class named by the button's header).
struct ButtonActionFields {
  RuntimeObject header;
  RuntimeObject* control;  // locked
  uint32_t checked;        // 1: "getCheckedAction", 0: "getUncheckedAction"
};
static_assert(!kLayoutIs32Bit || sizeof(ButtonActionFields) == 32, "header and two words");

// "getCheckedAction" or "getUncheckedAction" (case ignored): a new part of
// the class for the control (the caller's reference); any other name: nil.
RuntimeObject* NewButtonAction(ObjectDefinition* partClass, RuntimeObject* control,
                               const StringRecord* name);
// The part with a button; nil for none (NilObjectException for a nil part).
ButtonActionFields* ButtonActionOf(RuntimeObject* part);
// A part's destructor: its button is let go.
void ReleaseButtonAction(RuntimeObject* part);
// The part class `name` (no superclass) implementing actionSource, with
// addActionNotificationReceiver and removeActionNotificationReceiver at
// the entries (each as RUNTIME_ENTRY gives it). Made anew on each call.
ObjectDefinition* MakeButtonActionClass(const char* name, ObjectDestructor destructor, void* add,
                                        const char* addName, void* remove,
                                        const char* removeName);

// The checked- or unchecked-action receivers of the part's button, whose
// Fields name them checkedReceivers and uncheckedReceivers; nil as
// ButtonActionOf.
template <class Fields>
ReceiverList* ButtonActionReceivers(RuntimeObject* part) {
  ButtonActionFields* action = ButtonActionOf(part);
  if (!action) return nullptr;
  Fields* button = ObjectFields<Fields>(action->control);
  return action->checked ? &button->checkedReceivers : &button->uncheckedReceivers;
}

// Declares the entries RUNTIME_BUTTON_ENTRIES makes: Caption and Value
// (Booleans arrive as any byte and are stored and sent as 0 or 1),
// getBoundPart ("getCheckedAction" or "getUncheckedAction", case ignored:
// a new bound part, the caller's reference; any other name: nil) and the
// bound part's receiver methods.
#define RUNTIME_BUTTON_ENTRY_DECLARATIONS(prefix, actionPrefix)                                  \
  extern "C" {                                                                                   \
  StringRecord* prefix##TitleGetter(RuntimeObject* control, uint32_t index);                     \
  void prefix##TitleSetter(RuntimeObject* control, uint32_t index, StringRecord* caption);       \
  bool prefix##ValueGetter(RuntimeObject* control, uint32_t index);                              \
  void prefix##ValueSetter(RuntimeObject* control, uint32_t index, uint8_t value);               \
  RuntimeObject* prefix##GetBoundPart(RuntimeObject* control, StringRecord* name);               \
  void actionPrefix##AddActionNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver); \
  void actionPrefix##RemoveActionNotificationReceiver(RuntimeObject* part,                       \
                                                      RuntimeObject* receiver);                  \
  }

// The entries prefix##TitleGetter, prefix##TitleSetter, prefix##ValueGetter,
// prefix##ValueSetter and prefix##GetBoundPart of a button class whose
// Fields hold a ButtonState `button`, and the part class's
// prefix##Add/RemoveActionNotificationReceiver. In scope they need Checked
// (the control's fields, nil after reporting a nil or foreign object) and
// PaneOf (its ButtonHostPane, nil without one). Value is
// stored before the pane is told: the action that follows reads the native
// state back, and a Value set during it stays.
#define RUNTIME_BUTTON_ENTRIES(prefix, actionPrefix, Fields, partClass)                          \
  extern "C" StringRecord* prefix##TitleGetter(RuntimeObject* control, uint32_t) {               \
    Fields* fields = Checked(control);                                                           \
    return fields ? StringAddRef(fields->button.caption) : nullptr;                                \
  }                                                                                              \
  extern "C" void prefix##TitleSetter(RuntimeObject* control, uint32_t, StringRecord* caption) { \
    Fields* fields = Checked(control);                                                           \
    if (!fields) return;                                                                         \
    StringAssign(&fields->button.caption, caption);                                                \
    if (ButtonHostPane* pane = PaneOf(fields)) pane->SetNativeCaption(caption);                  \
  }                                                                                              \
  extern "C" bool prefix##ValueGetter(RuntimeObject* control, uint32_t) {                        \
    Fields* fields = Checked(control);                                                           \
    return fields && fields->button.value != 0;                                                    \
  }                                                                                              \
  extern "C" void prefix##ValueSetter(RuntimeObject* control, uint32_t, uint8_t value) {         \
    Fields* fields = Checked(control);                                                           \
    if (!fields) return;                                                                         \
    fields->button.value = AsBit(value);                                                           \
    if (ButtonHostPane* pane = PaneOf(fields)) pane->SetButtonValue(value);                      \
  }                                                                                              \
  extern "C" RuntimeObject* prefix##GetBoundPart(RuntimeObject* control, StringRecord* name) {   \
    return Checked(control) ? NewButtonAction(partClass(), control, name) : nullptr;             \
  }                                                                                              \
  extern "C" void actionPrefix##AddActionNotificationReceiver(RuntimeObject* part,               \
                                                              RuntimeObject* receiver) {         \
    if (ReceiverList* list = ButtonActionReceivers<Fields>(part)) ReceiverListAdd(list, receiver); \
  }                                                                                              \
  extern "C" void actionPrefix##RemoveActionNotificationReceiver(RuntimeObject* part,            \
                                                                 RuntimeObject* receiver) {      \
    if (ReceiverList* list = ButtonActionReceivers<Fields>(part)) {                              \
      ReceiverListRemove(list, receiver);                                                        \
    }                                                                                            \
  }

// The Caption and Value property records over those entries.
#define RUNTIME_BUTTON_PROPERTIES(prefix)                                                      \
  {0, "Caption", &kStringType, RUNTIME_ENTRY(prefix##TitleGetter),                             \
   RUNTIME_ENTRY(prefix##TitleSetter), 0},                                                     \
  {0, "Value", &kBooleanType, RUNTIME_ENTRY(prefix##ValueGetter),                              \
   RUNTIME_ENTRY(prefix##ValueSetter), 0}
