// The pieces every built-in control is made of, built once and shared by the
// check box, the push button and the controls after them:
//
//   - ControlClassDefinition: a class definition built once from static
//     tables, with the class's "CreatePane" implementation;
//   - ControlEventSink: the small object through which a control's panes
//     raise its language events, and SinkLink, a pane's non-owning link to it;
//   - ControlHostPane and NativeControlPane: the pane pair of a native
//     control, a host on a "KV_Pane" window (the pane the control object
//     holds and the rest of the system sees) and a ControlPane over the
//     Win32 control, child of the host, with the forwarding between them and
//     the mouse-handled flag;
//   - DataSourceBinding: binding a control to the DataControl its DataSource
//     names;
//   - CallControlHandler: the one way a language handler of a control is
//     called, and ControlCallGuard, the hold every entry into the panes takes.
//
// Lifetime. Both panes belong to the window's pane tree: its teardown
// disposes of each exactly once (the host never deletes the native pane).
// From the moment a native message, a key or a press reaches the pair until
// that call returns, the control object is held and both panes are locked
// (ControlCallGuard), so a handler may close the window: the panes go at the
// outermost Unlock and the control once the call is over, and nothing touches
// either after that. The control owns its sink; the
// sink's destructor detaches it from every pane still linked to it, and a pane
// without a sink raises nothing.
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/SmartRef.h"
#include "ui/ControlPane.h"
#include "ui/SubPane.h"
#include "ui/runctl.h"

struct FontDescriptor;
struct StringRecord;
class ControlHostPane;
class NativeControlPane;
class SinkLink;

// ---- Class definitions ------------------------------------------------------

// What a control class is built from. The tables are the class's own static
// arrays (event records get their slots written back, so no two classes
// share one).
struct ControlClassTables {
  const char* name;
  uint32_t instanceSize;  // the whole control object
  ObjectInitialiser initialiser;
  ObjectDestructor destructor;
  void (*createPane)(RuntimeObject* control);  // the "CreatePane" answer
  EventRecord* events;
  int32_t eventCount;
  const PropertyRecord* properties;
  int32_t propertyCount;
  const MethodRecord* methods;
  int32_t methodCount;
  std::initializer_list<ObjectDefinition*> interfaces;
};

// A control class's definition: superclass RectControl, flags byte 1, the
// tables, the interfaces and the "CreatePane" implementation. Built by the
// constructor; keep one as a function-local static so that it is built on
// the first request and lives for the run:
//
//   ObjectDefinition* GetCheckBoxClassDefinition() {
//     static ControlClassDefinition definition(tables);
//     return definition.get();
//   }
class ControlClassDefinition {
 public:
  explicit ControlClassDefinition(const ControlClassTables& tables);
  ControlClassDefinition(const ControlClassDefinition&) = delete;
  ControlClassDefinition& operator=(const ControlClassDefinition&) = delete;
  ObjectDefinition* get() { return &definition_; }

 private:
  ObjectDefinition definition_;
  EventImplementation createPane_{};
};

// The five events of a button-like control, in slot order: "Action",
// "MouseDown" and "MouseUp" ("X As Integer, Y As Integer", "Boolean"),
// "GotFocus", "LostFocus". A fresh copy for each class's static table.
std::array<EventRecord, 5> StandardControlEventRecords();

// ---- Handlers ---------------------------------------------------------------

// The one way a control's language handler is called: FindEventHandler on
// the control, then the handler with the control first and the event's
// parameters, the control held for the length of the call. Without a
// control or a handler: nothing, and Result's zero (false).
template <class Result = void, class... Parameters>
Result CallControlHandler(RuntimeObject* control, const char* eventName,
                          Parameters... parameters) {
  EventHandler handler = control ? FindEventHandler(control, eventName) : nullptr;
  if (!handler) return Result();
  ObjectRef hold = ObjectRef::Retain(control);
  return reinterpret_cast<Result (*)(RuntimeObject*, Parameters...)>(handler)(control,
                                                                                parameters...);
}

// A method of an interface the object implements, called as compiled code
// calls it; the fallback when the object has no such method.
template <class Result, class... Arguments>
Result CallInterface(RuntimeObject* object, ObjectDefinition* interfaceDefinition,
                     const char* method, Result fallback, Arguments... arguments) {
  void* function = FindInterfaceMethod(object, interfaceDefinition, method);
  if (!function) return fallback;
  return reinterpret_cast<Result (*)(RuntimeObject*, Arguments...)>(function)(object, arguments...);
}

// ---- Panes that hold their control ----------------------------------------

// The pane a control's panes are made in: its Parent control's pane when
// that has one (the framework makes parents first), else the control's
// parent pane (its window's). Made there, a pane needs no move later (a
// native window that moves costs more than one made in place).
SubPane* ControlParentPane(RuntimeObject* control);

// The last steps of a "CreatePane": the pane becomes the control's, and moves
// into ControlParentPane when it was made elsewhere.
void AdoptControlPane(RuntimeObject* control, SubPane* pane);

// The control's "MouseDown" handler at the point made relative to the pane,
// with the pane's owner chain locked. True when the press is used: the
// handler answered true (the pane then captures the mouse for the drag and
// the release) or closed the window. False without a control or handler.
bool RunMouseDownHandler(SubPane* pane, RuntimeObject* control, int32_t x, int32_t y);
// "MouseDrag" or "MouseUp" in the same way; nothing once the pane is closing.
void RunMouseHandler(SubPane* pane, RuntimeObject* control, const char* event, int32_t x,
                     int32_t y);

// ---- Event sinks ------------------------------------------------------------

// The sink shape: five operations, each given the host pane; x and y are
// relative to the control's top-left corner. The defaults do nothing (the
// mouse ones answer false). The control is not counted: it owns the sink.
class ControlEventSink {
 public:
  explicit ControlEventSink(RuntimeObject* control);
  // Detaches the sink from every pane still linked to it.
  virtual ~ControlEventSink();
  ControlEventSink(const ControlEventSink&) = delete;
  ControlEventSink& operator=(const ControlEventSink&) = delete;

  RuntimeObject* Control() const { return control_; }

  virtual void Action(SubPane* hostPane);
  virtual bool MouseDown(SubPane* hostPane, int32_t x, int32_t y);
  virtual bool MouseUp(SubPane* hostPane, int32_t x, int32_t y);
  virtual void GotFocus(SubPane* hostPane);
  virtual void LostFocus(SubPane* hostPane);

 private:
  friend class SinkLink;
  RuntimeObject* control_;
  std::vector<SinkLink*> links_;
};

// A sink that raises the control's "MouseDown", "MouseUp", "GotFocus" and
// "LostFocus" handlers (CallControlHandler); each class adds its Action.
class ControlHandlerSink : public ControlEventSink {
 public:
  using ControlEventSink::ControlEventSink;
  bool MouseDown(SubPane* hostPane, int32_t x, int32_t y) override;
  bool MouseUp(SubPane* hostPane, int32_t x, int32_t y) override;
  void GotFocus(SubPane* hostPane) override;
  void LostFocus(SubPane* hostPane) override;
};

// A pane's link to a sink it does not own: cleared when the sink goes, and
// taken out of the sink's list when the link goes first.
class SinkLink {
 public:
  SinkLink() = default;
  ~SinkLink() { Detach(); }
  SinkLink(const SinkLink&) = delete;
  SinkLink& operator=(const SinkLink&) = delete;

  // Links to the sink (nil: none), leaving the previous one.
  void Attach(ControlEventSink* sink);
  void Detach();
  ControlEventSink* get() const { return sink_; }

 private:
  ControlEventSink* sink_ = nullptr;
};

// ---- The hold of a call into the panes --------------------------------------

// Holds, for a scope, the control of the pane's sink (a counted reference)
// and locks the pane's owner chain (native pane, host, ... window pane). The
// panes are unlocked first, then the control is released, so when this is the
// outermost lock a pane whose window closed in the scope is disposed of while
// its control still lives. Nil holds nothing.
class ControlCallGuard {
 public:
  explicit ControlCallGuard(NativeControlPane* pane);
  ControlCallGuard(SubPane* pane, RuntimeObject* control);  // a control's only pane
  ControlCallGuard(const ControlCallGuard&) = delete;
  ControlCallGuard& operator=(const ControlCallGuard&) = delete;

 private:
  ObjectRef control_;    // released last
  OwnerChainLock panes_;
};

// Sets a control's in-action flag for a scope and clears it on every way out.
// The flag lies in the control object, which the scope holds.
class InActionScope {
 public:
  InActionScope(RuntimeObject* control, uint8_t* flag);
  ~InActionScope() { *flag_ = 0; }
  InActionScope(const InActionScope&) = delete;
  InActionScope& operator=(const InActionScope&) = delete;

 private:
  ObjectRef control_;
  uint8_t* flag_;
};

// ---- The pane pair ----------------------------------------------------------

// The host: a NativePane on a "KV_Pane" window with an empty name, over the
// control's bounds. Its native pane is a child; the host forwards focus,
// bounds and the native handle to it.
class ControlHostPane : public NativePane {
 public:
  ControlHostPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds);

  // Nil once the native pane is gone.
  NativeControlPane* Native() const { return native_; }
  ControlEventSink* Sink() const { return sink_.get(); }
  // The sink's control; nil without a sink.
  RuntimeObject* Control() const;

  // Working pane: the native pane (the host without one).
  SubPane* WorkingPane() override;
  // Focus goes to the native pane.
  void TakeFocus() override;
  // The native pane's visible, shown and enabled flags all set.
  bool CanAcceptFocus() override;
  // Own bounds, then the native pane's with the same rectangle and flag.
  void SetBounds(const MacRect& rect, bool redraw) override;
  HWND GetNativeHandle() override;

  // The caption of the native control, and its mnemonic shortcut: the
  // native window's one "Alt+" entry is replaced, or removed for a caption
  // without a mnemonic.
  void SetNativeCaption(const StringRecord* caption);
  // The native control's font (made through the font-name map).
  void SetNativeFont(const FontDescriptor& font);

 protected:
  ~ControlHostPane() override;

 private:
  friend class NativeControlPane;
  NativeControlPane* native_ = nullptr;  // not owned: the tree disposes of it
  SinkLink sink_;
};

// The native pane: a ControlPane over the Win32 control, child of the host,
// with the host's bounds and tab-panel index. It holds the sink (not owned)
// and the mouse-handled flag, turns presses, releases and focus into the
// sink's events, and answers the host as its representative pane.
//
// Every entry that can run language code (messages, notifications, presses,
// focus) runs under a ControlCallGuard.
class NativeControlPane : public ControlPane {
 public:
  // Makes the control window (the font set, the caption as text), links host
  // and native pane both ways, links both to the sink and registers the
  // caption's mnemonic shortcut for the native window.
  NativeControlPane(ControlHostPane* host, ControlEventSink* sink, const FontDescriptor& font,
                    const StringRecord* caption, const char* windowClass, uint32_t style);

  // Nil once the host is gone.
  ControlHostPane* Host() const { return host_; }
  ControlEventSink* Sink() const { return sink_.get(); }
  RuntimeObject* Control() const;
  bool MouseHandled() const { return mouseHandled_ != 0; }
  void SetMouseHandled(bool handled) { mouseHandled_ = handled ? 1 : 0; }
  // The host, or the pane itself without one: what the sink is given.
  SubPane* EventPane();

  SubPane* RepresentativePane() override;
  // Disabled: false. Else the sink's MouseDown (x, y made relative to the
  // pane) is stored as the mouse-handled flag; true keeps the press from the
  // control, false hands it on (ControlPaneForwardMouseDown).
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  // SetFocus on the window, then the sink's GotFocus unless closing.
  void TakeFocus() override;
  // The sink's LostFocus unless closing.
  void LoseFocus() override;
  // Under the guard: ControlNotify.
  bool ControlNotification(int32_t code, UINT message, WPARAM wParam, LPARAM lParam) override;
  // Under the guard: Press.
  void PressButton() override;
  // Under the guard. A button release (client or non-client, left or right)
  // with the mouse-handled flag set: the flag := the sink's MouseUp at the
  // release point (relative to the control), cleared when the point is
  // outside the pane; without the flag it stays clear. Then
  // ControlPaneHandleMessage (which makes the pane the focus pane on
  // WM_SETFOCUS).
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  ~NativeControlPane() override;
  // A notification code from the control (BN_CLICKED ...); true when used.
  virtual bool ControlNotify(int32_t code);
  // A press through the window's keys (Enter, Escape) or the host's Push.
  virtual void Press();

 private:
  friend class ControlHostPane;
  ControlHostPane* host_ = nullptr;  // not owned
  SinkLink sink_;
  uint8_t mouseHandled_ = 0;
};

// The text's lines (new UTF-16 strings), split at CR, LF or CR LF; an empty
// text is one empty line.
std::vector<StringRef> SplitLines(const StringRecord* text);

// After a resize from oldBounds: what the change uncovered, then the whole
// pane, is drawn again (for panes that draw all of themselves from their size).
void RedrawWholeAfterResize(SubPane* pane, const MacRect& oldBounds);

// ---- Binding by DataSource name ---------------------------------------------

// The DataControl a DataSource names in the window: the first of the
// window's controls (insertion order) whose Name equals the name, ignoring
// case, when it plays the DataControl role. Nil for an empty name, a nil
// window, an unknown name, or a control of that name that is no DataControl.
RuntimeObject* FindDataControl(RuntimeObject* window, const StringRecord* name);

// A bindable pane's DataSource name and its binding. It holds a reference to
// the bound DataControl from bind to unbind, and unbinds when it goes, so
// teardown order does not matter. A control is in the DataControl's list at
// most once.
class DataSourceBinding {
 public:
  DataSourceBinding() = default;
  ~DataSourceBinding() { Unbind(); }
  DataSourceBinding(const DataSourceBinding&) = delete;
  DataSourceBinding& operator=(const DataSourceBinding&) = delete;

  StringRecord* Name() const { return name_.get(); }
  void SetName(StringRecord* name);
  RuntimeObject* DataControl() const { return dataControl_.get(); }

  // Unbinds first; then, when the name is not empty and the control is in
  // a window, binds the control with the kind to the DataControl the name
  // names (if any) and refreshes the DataControl's bound controls.
  void Bind(RuntimeObject* control, uint8_t kind);
  // Takes the control out of the DataControl's list and drops the link.
  void Unbind();

 private:
  StringRef name_;
  ObjectRef dataControl_;
  RuntimeObject* control_ = nullptr;  // not counted: it holds the pane
  uint8_t kind_ = 0;
};

// The interface part of a bound control's pane that a DataControl pushes its
// fields through; each bindable class derives its own with the operations
// its kind needs (CheckBox.h: CheckBoxBindingPart for kind 4).
class BoundControlPart {
 public:
  virtual void BindDataSource() = 0;
  virtual void UnbindDataSource() = 0;
  // The name Bind looks for (borrowed: the pane keeps its own reference).
  virtual void SetDataSourceName(StringRecord* name) = 0;

 protected:
  ~BoundControlPart() = default;
};
// The part of the control's pane; nil when the control has no pane or the
// pane is not bindable.
BoundControlPart* BoundControlPartOf(RuntimeObject* control);

// The DataSource and DataField setters of every bindable control: the field
// takes the name; then, with a bindable pane, a new DataSource is bound
// afresh by its name, and a new DataField binds again (the DataControl
// pushes the field into the control).
void SetBoundDataSource(RuntimeObject* control, StringRecord** field, StringRecord* name);
void SetBoundDataField(RuntimeObject* control, StringRecord** field, StringRecord* name);
