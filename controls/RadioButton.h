// The RadioButton control: a Win32 "BUTTON" in radio-button style on the
// shared pane pair (ControlPattern.h), with the bound parts
// "getCheckedAction" and "getUncheckedAction" (Sys$RadioButtonAction
// objects).
//
// A group is the set of radio buttons with the same owner pane that lie
// inside one enclosing sibling (a group box, for instance) or, without one,
// all of the owner's radio buttons. Checking one (a click, the keyboard or
// Value from code) unchecks the others of its group: each of them tells its
// unchecked-action receivers; only the newly checked one runs "Action" and
// then tells its checked-action receivers.
//
// Focus moves the Windows way: Tab stops on the checked button of a group
// (on the first one when none is checked), an arrow key moves within the
// group and checks the button it lands on. A click checks once, on the
// release over the button; a press released elsewhere checks nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controls/ButtonPane.h"
#include "core/Layout.h"
#include "ui/Binding.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

class RadioButtonEventSink;

// The radio-button object; property records point at these fields.
struct RadioButtonFields {
  RuntimeControl control;
  ButtonState<RadioButtonEventSink> button;  // inAction: while Action or Deselected runs
  ReceiverList checkedReceivers;
  ReceiverList uncheckedReceivers;
};
static_assert(!kLayoutIs32Bit || offsetof(RadioButtonFields, button) == 64, "own fields at 64");
static_assert(!kLayoutIs32Bit || offsetof(RadioButtonFields, checkedReceivers) == 88,
              "lists at 88");
static_assert(!kLayoutIs32Bit || sizeof(RadioButtonFields) == 96, "a radio button is 96 bytes");

// The Sys$RadioButtonAction object: a bound part of a radio button.
using RadioButtonActionFields = ButtonActionFields;

// "RadioButton" (superclass RectControl), built on the first request; it
// implements bindingPartInterface.
ObjectDefinition* GetRadioButtonClassDefinition();
// "Sys$RadioButtonAction" (no superclass), implementing actionSource.
ObjectDefinition* GetRadioButtonActionClassDefinition();

// The radio button's sink: Action runs the "Action" handler, then tells the
// receivers of the state the button is in afterwards; Deselected tells the
// unchecked-action receivers (no language event). Neither runs again while
// one of them is under way for the control. The mouse and focus events run
// the control's handlers.
class RadioButtonEventSink : public ControlHandlerSink {
 public:
  using ControlHandlerSink::ControlHandlerSink;
  void Action(SubPane* hostPane) override;
  void Deselected(SubPane* hostPane);
};

// The host pane: value, caption and font go to the native radio button;
// its SetButtonValue makes the check, the group update, Action or
// Deselected.
class RadioButtonPaneWin32 : public ButtonHostPane {
 public:
  using ButtonHostPane::ButtonHostPane;
  // A button of the current group unchecks itself.
  void RadioGroupNotify(SubPane* sender) override;

 protected:
  // Leaves the current group when it names this button.
  ~RadioButtonPaneWin32() override;
};

// The native pane over the "BUTTON" (BS_RADIOBUTTON | BS_NOTIFY: the pane,
// not the button, sets the check).
class NativeRadioButtonPane : public NativeButtonPane {
 public:
  NativeRadioButtonPane(RadioButtonPaneWin32* host, RadioButtonEventSink* sink,
                        const FontDescriptor& font, const StringRecord* caption, uint8_t value);
  // BM_SETCHECK with the value; a check makes the button's owner the current
  // group and unchecks the rest of its group; then the sink's Action when
  // the button is checked, else its Deselected.
  void SetValue(uint8_t value) override;
  // Shown, visible and enabled, and then: while an arrow key is held, only
  // in the current group; otherwise only while the button's own focus and
  // click handling runs, when it is checked, or when it is the first button
  // of a group that has none checked.
  bool CanAcceptFocus() override;
  // The press is marked as under way while it is handed to the button.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;

 protected:
  ~NativeRadioButtonPane() override = default;
  // BN_CLICKED checks the button (unless a "MouseDown" handler took the
  // press); BN_SETFOCUS from the keyboard or code checks an unchecked one,
  // while during a press it only takes the focus.
  bool ControlNotify(int32_t code) override;

 private:
  bool PressUnderWay();
  RadioButtonPaneWin32* RadioHost() const;

  bool forwardingPress_ = false;
};

// The host pane of a new radio button under parentPane: host and native
// pane, linked, the value set without a group update, the caption's
// mnemonic registered.
constexpr auto CreateRadioButtonPane =
    CreateButtonPanes<RadioButtonPaneWin32, NativeRadioButtonPane, RadioButtonEventSink>;

// The owner pane of the current group (the group of the radio button most
// recently checked or focused while checked); nil when there is none, or
// once that button has gone. For tests.
SubPane* RadioButtonCurrentGroupForTesting();

extern "C" {
// The class's "CreatePane": sink, panes, re-parenting into the parent
// control's pane.
void RadioButtonCreatePane(RuntimeObject* control);
// Clears both receiver lists, releases the caption and the font name and
// deletes the sink (which leaves the panes first).
void RadioButtonDestruct(RuntimeObject* control);
void RadioButtonActionDestruct(RuntimeObject* part);

// The font entry points radioTextFontGetter ... radioUnderlineSetter are
// generated with the class's records (RUNTIME_TEXT_STYLE_ACCESSORS).
}
RUNTIME_BUTTON_ENTRY_DECLARATIONS(radio, kva)
