// The CheckBox control: a Win32 "BUTTON" in check-box style on the shared
// pane pair (ControlPattern.h), with data binding (kind 4), the bound parts
// "getCheckedAction" and "getUncheckedAction" (Sys$CheckBoxAction objects),
// and data and action receivers.
//
// A click, the space bar and Value set from code all run one Action
// sequence: Value := the native state; unless the sequence is running
// already (the in-action flag) or the control has left its window: the data
// receivers, the "Action" handler, then the checked- or unchecked-action
// receivers, stopping as soon as the control loses its sink or its window.
// Booleans are stored and sent as 0 or 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controls/ButtonPane.h"
#include "core/Layout.h"
#include "ui/Binding.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

class CheckBoxEventSink;

// The check-box object; property records point at these fields.
struct CheckBoxFields {
  RuntimeControl control;
  StringRecord* dataSource;  // locked
  StringRecord* dataField;   // locked; read by the generic string getter
  ButtonState<CheckBoxEventSink> button;
  ReceiverList dataReceivers;
  ReceiverList checkedReceivers;
  ReceiverList uncheckedReceivers;
};
static_assert(!kLayoutIs32Bit || offsetof(CheckBoxFields, dataSource) == 64, "own fields at 64");
static_assert(!kLayoutIs32Bit || offsetof(CheckBoxFields, button) == 72, "caption at 72");
static_assert(!kLayoutIs32Bit || offsetof(CheckBoxFields, dataReceivers) == 96, "lists at 96");
static_assert(!kLayoutIs32Bit || sizeof(CheckBoxFields) == 108, "a check box is 108 bytes");

// The Sys$CheckBoxAction object: a bound part of a check box.
using CheckBoxActionFields = ButtonActionFields;

// "CheckBox" (superclass RectControl), built on the first request; it
// implements BooleanProvider, dataNotifier and bindingPartInterface.
ObjectDefinition* GetCheckBoxClassDefinition();
// "Sys$CheckBoxAction" (no superclass), implementing actionSource.
ObjectDefinition* GetCheckBoxActionClassDefinition();

// The part of a check box's host pane that a DataControl pushes a field
// through (kind 4).
class CheckBoxBindingPart : public BoundControlPart {
 public:
  virtual void SetValue(uint8_t value) = 0;
  virtual uint8_t GetValue() = 0;
  virtual void SetCaption(const StringRecord* caption) = 0;
  virtual void SetTextFont(const FontDescriptor& font) = 0;

 protected:
  ~CheckBoxBindingPart() = default;
};

// The check box's sink: Action runs the Action sequence; the mouse and focus
// events run the control's handlers.
class CheckBoxEventSink : public ControlHandlerSink {
 public:
  using ControlHandlerSink::ControlHandlerSink;
  void Action(SubPane* hostPane) override;
};

// The host pane with its DataSource binding. BindDataSource binds the
// control to the DataControl the pane's DataSource name names (after
// unbinding any binding); UnbindDataSource unbinds. The pane unbinds when it
// closes or goes.
class CheckBoxPane : public ButtonHostPane, public CheckBoxBindingPart {
 public:
  CheckBoxPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds);

  // The DataSource name (borrowed) and the bound DataControl (nil: none).
  StringRecord* DataSourceName() const { return binding_.Name(); }
  void SetDataSourceName(StringRecord* name) override { binding_.SetName(name); }
  RuntimeObject* BoundDataControl() const { return binding_.DataControl(); }

  void BindDataSource() override;
  void UnbindDataSource() override;
  void Close() override;

 protected:
  ~CheckBoxPane() override;

 private:
  DataSourceBinding binding_;
};

// The Win32 host pane: value, caption and font go to the native check box.
class CheckBoxPaneWin32 : public CheckBoxPane {
 public:
  using CheckBoxPane::CheckBoxPane;
  // The native SetValue: BM_SETCHECK, then the Action sequence.
  void SetValue(uint8_t value) override { SetButtonValue(value); }
  // BM_GETCHECK of the native window (0 without one).
  uint8_t GetValue() override { return ButtonValue(); }
  void SetCaption(const StringRecord* caption) override { SetNativeCaption(caption); }
  void SetTextFont(const FontDescriptor& font) override { ButtonHostPane::SetTextFont(font); }

 protected:
  ~CheckBoxPaneWin32() override = default;
};

// The native pane over the "BUTTON" (BS_CHECKBOX | BS_NOTIFY: the pane does
// the toggling). BN_CLICKED toggles unless a "MouseDown" handler took the
// press; BN_SETFOCUS makes it its window's focused control.
class NativeCheckBoxPane : public NativeButtonPane {
 public:
  NativeCheckBoxPane(CheckBoxPane* host, ControlEventSink* sink, const FontDescriptor& font,
                     const StringRecord* caption, uint8_t value);
  // BM_SETCHECK with the value (0 or 1), then the sink's Action.
  void SetValue(uint8_t value) override;

 protected:
  ~NativeCheckBoxPane() override = default;
  bool ControlNotify(int32_t code) override;
};

// The host pane of a new check box under parentPane: host and native pane,
// linked, the value set, the caption's mnemonic registered.
constexpr auto CreateCheckBoxPane =
    CreateButtonPanes<CheckBoxPaneWin32, NativeCheckBoxPane, ControlEventSink>;

extern "C" {
// The class's "CreatePane": sink, panes, re-parenting into the parent
// control's pane, then the DataSource binding.
void CheckBoxCreatePane(RuntimeObject* control);
void CheckBoxDestruct(RuntimeObject* control);

StringRecord* CheckBoxDataSourceGetter(RuntimeObject* control, uint32_t index);
void CheckBoxDataSourceSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
void CheckBoxDataFieldSetter(RuntimeObject* control, uint32_t index, StringRecord* name);

bool checkBoxGetBoolean(RuntimeObject* control);
void checkBoxSetBoolean(RuntimeObject* control, uint8_t value);
void checkBoxAddDataNotificationReceiver(RuntimeObject* control, RuntimeObject* receiver);
void checkBoxRemoveDataNotificationReceiver(RuntimeObject* control, RuntimeObject* receiver);
void CheckBoxActionDestruct(RuntimeObject* part);

// The font accessors checkBoxTextFontGetter ... checkBoxUnderlineSetter.
StringRecord* checkBoxTextFontGetter(RuntimeObject* control, uint32_t index);
void checkBoxTextFontSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
int32_t checkBoxTextSizeGetter(RuntimeObject* control, uint32_t index);
void checkBoxTextSizeSetter(RuntimeObject* control, uint32_t index, int32_t size);
bool checkBoxBoldGetter(RuntimeObject* control, uint32_t index);
void checkBoxBoldSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool checkBoxItalicGetter(RuntimeObject* control, uint32_t index);
void checkBoxItalicSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool checkBoxUnderlineGetter(RuntimeObject* control, uint32_t index);
void checkBoxUnderlineSetter(RuntimeObject* control, uint32_t index, uint8_t value);
}
RUNTIME_BUTTON_ENTRY_DECLARATIONS(checkBox, cba)
