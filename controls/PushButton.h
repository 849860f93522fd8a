// The PushButton control: a Win32 "BUTTON" in push-button style on the
// shared pane pair (ControlPattern.h), with the Default and Cancel roles
// (Enter and Escape), the Push method and action receivers.
//
// A click, Enter on the default button, Escape on the cancel button and
// Push all end in the sink's Action: the action receivers are told, then
// the "Action" handler runs. A disabled button does nothing.
//
// The pane pair works with any sink: CreatePushButton serves the control
// and any other owner of a button (a message dialog passes its own sink and
// no control object).
#pragma once

#include <cstddef>
#include <cstdint>

#include "controls/ControlPattern.h"
#include "core/Layout.h"
#include "ui/Binding.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

class PushButtonEventSink;
class NativePushButtonPane;

// The push-button object; property records point at these fields.
struct PushButtonFields {
  RuntimeControl control;
  StringRecord* caption;
  PushButtonEventSink* sink;  // owned; made by CreatePane
  uint8_t isDefault;          // 0 or 1
  uint8_t isCancel;           // 0 or 1
  TextStyle textStyle;
  ReceiverList actionReceivers;
};
static_assert(!kLayoutIs32Bit || offsetof(PushButtonFields, caption) == 64, "own fields at 64");
static_assert(!kLayoutIs32Bit || offsetof(PushButtonFields, isDefault) == 72, "Default at 72");
static_assert(!kLayoutIs32Bit || offsetof(PushButtonFields, textStyle) == 76, "text style at 76");
static_assert(!kLayoutIs32Bit || sizeof(PushButtonFields) == 92, "a push button is 92 bytes");

// "PushButton" (superclass RectControl), built on the first request; it
// implements actionSource.
ObjectDefinition* GetPushButtonClassDefinition();

// The push button's sink: Action tells the action receivers, then runs the
// "Action" handler, and stops between the two when the control has lost its
// sink or left its window; the mouse and focus events run their handlers.
class PushButtonEventSink : public ControlHandlerSink {
 public:
  using ControlHandlerSink::ControlHandlerSink;
  void Action(SubPane* hostPane) override;
};

// The host pane.
class PushButtonPaneWin32 : public ControlHostPane {
 public:
  PushButtonPaneWin32(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds);

  // The Default role (value 0 or not): the window chooses its default
  // button again at once.
  virtual void SetDefault(uint8_t value);
  // The Cancel role; nothing changes on the screen.
  virtual void SetCancel(uint8_t value);
  // Presses the button as Enter would, under the pattern's hold.
  virtual void Push();
  virtual void SetCaption(const StringRecord* caption);
  void SetTextFont(const FontDescriptor& font) override;

 protected:
  ~PushButtonPaneWin32() override = default;

 private:
  NativePushButtonPane* NativeButton() const;
};

// The native pane over the "BUTTON" (BS_PUSHBUTTON). It is the window's
// default-button candidate while its Default flag is set and it is enabled
// and shown (the cancel candidate likewise with Cancel), it shows the
// default look (BS_DEFPUSHBUTTON) exactly while the window chooses it, and
// a focused push button is chosen.
class NativePushButtonPane : public NativeControlPane {
 public:
  NativePushButtonPane(PushButtonPaneWin32* host, ControlEventSink* sink,
                       const FontDescriptor& font, const StringRecord* caption);

  bool IsDefault() const { return isDefault_ != 0; }
  bool IsCancel() const { return isCancel_ != 0; }
  void SetDefaultFlag(uint8_t value) { isDefault_ = value != 0 ? 1 : 0; }
  void SetCancelFlag(uint8_t value) { isCancel_ = value != 0 ? 1 : 0; }

  SubPane* DefaultButtonCandidate() override;
  SubPane* CancelButtonCandidate() override;
  bool CanBeDefaultButton() override;
  void SetDefaultButton(SubPane* chosen) override;
  // Focus moving onto or away from the button makes the window choose its
  // default button again.
  void TakeFocus() override;
  void LoseFocus() override;
  // So does a change of the button's own or its owners' visibility or
  // enabling (the window's top window shown at last, the button disabled).
  void BroadcastStateChange(int32_t code) override;
  void OwnerShownChanged(bool shown) override;
  void OwnerEnabledChanged(bool enabled) override;

 protected:
  ~NativePushButtonPane() override = default;
  // BN_CLICKED: the sink's Action unless a "MouseDown" handler took the
  // press; the mouse-handled flag is cleared in every case.
  bool ControlNotify(int32_t code) override;
  // Enabled and with a sink: the sink's Action.
  void Press() override;

 private:
  bool IsAvailable();
  // A default button, or the focused one, that became available or not.
  void AvailabilityChanged();

  uint8_t isDefault_ = 0;
  uint8_t isCancel_ = 0;
};

// The host pane of a new push button under parentPane: host and native
// pane, linked to each other and to the sink (any sink; nil raises
// nothing), the caption's mnemonic registered. The window's pane tree owns
// both panes.
PushButtonPaneWin32* CreatePushButton(ControlEventSink* sink, const FontDescriptor& font,
                                      SubPane* parentPane, int32_t tabPanelIndex,
                                      const MacRect& bounds, const StringRecord* caption);

extern "C" {
// The class's "CreatePane": sink, panes, re-parenting into the parent
// control's pane, then the Default and Cancel roles.
void PushButtonCreatePane(RuntimeObject* control);
// Clears the action receivers, releases the caption and the font name and
// deletes the sink (which leaves the panes first).
void PushButtonDestruct(RuntimeObject* control);

StringRecord* pushButtonTitleGetter(RuntimeObject* control, uint32_t index);
void pushButtonTitleSetter(RuntimeObject* control, uint32_t index, StringRecord* caption);
// Booleans arrive as any byte and are stored and passed on as 0 or 1.
bool pushButtonDefaultGetter(RuntimeObject* control, uint32_t index);
void pushButtonDefaultSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool pushButtonCancelGetter(RuntimeObject* control, uint32_t index);
void pushButtonCancelSetter(RuntimeObject* control, uint32_t index, uint8_t value);
void pushButtonPush(RuntimeObject* control);
void pbAddActionNotificationReceiver(RuntimeObject* control, RuntimeObject* receiver);
void pbRemoveActionNotificationReceiver(RuntimeObject* control, RuntimeObject* receiver);

// The font entry points pushButtonTextFontGetter ... pushButtonUnderlineSetter
// are generated with the class's records (RUNTIME_TEXT_STYLE_ACCESSORS).
}
