// The OLEContainer control: one OLE object (an ActiveX control, usually)
// embedded in the control's pane. The object is made from the ProgramID (a
// programmatic identifier, or a class identifier in braces) when the pane is
// made and by "Create"; it gets the container's sites (OLESites.h), is shown
// in place over the whole pane, is activated for the keyboard when the pane
// takes the focus, follows the pane's size, and hands its IDispatch to the
// language as Content (an OLEObject). Every event the object fires raises
// "EventTriggered" with the event's name and its arguments.
//
// Lifetime. The pane holds the object, its interfaces and the client site;
// OLEContainerDestroy gives all of them up, unhooking the sites and the sink
// from the pane first, so whatever the object keeps afterwards answers
// without reaching the pane. The pane runs it when it closes: windows close
// before the host's OleUninitialize, so each container is emptied while COM
// is up. Without COM no object can be made and the container stays empty.
#pragma once
#include <windows.h>
// after <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "controls/OLESites.h"
#include "core/Layout.h"
#include "ui/SubPane.h"
#include "ui/runctl.h"

struct RuntimeArray;
struct StringRecord;

// The container object; property records point at these fields.
struct OLEContainerFields {
  RuntimeControl control;
  StringRecord* programID;  // locked; read when the pane is made and by "Create"
};
static_assert(!kLayoutIs32Bit || offsetof(OLEContainerFields, programID) == 64, "ProgramID at 64");
static_assert(!kLayoutIs32Bit || sizeof(OLEContainerFields) == 68, "a container is 68 bytes");

// "OLEContainer" (superclass RectControl), built on the first request.
ObjectDefinition* GetOLEContainerClassDefinition();

// The container's language events: the control's handlers, when it has them.
// The control is not counted: it holds the pane that owns the hook.
class OLEEventHook {
 public:
  explicit OLEEventHook(RuntimeObject* control) : control_(control) {}
  // "EventTriggered" (control, name, parameters).
  void FireEventTriggered(StringRecord* name, RuntimeArray* parameters);
  // "ShowObject" (control).
  void FireShowObject();

 private:
  RuntimeObject* control_;
};

// The container's pane: a NativePane on a transparent "KV_CanvasPane" window,
// the embedded object's parent window.
class OLEContainerPane : public NativePane {
 public:
  OLEContainerPane(RuntimeObject* control, SubPane* parent, int32_t tabPanelIndex,
                   const MacRect& bounds);

  // Nil once the pane is closing: the sites then fire nothing.
  OLEEventHook* EventHook() const { return hook_.get(); }
  bool IsDestroying() const { return destroying_ != 0; }
  // Borrowed; nil for an empty container.
  RuntimeObject* Content() const { return content_; }
  IOleObject* Object() const { return object_.get(); }
  OLEClientSite* ClientSite() const { return clientSite_.get(); }
  // {0, 0, width, height}: the object's place in the pane's window.
  RECT ObjectRect() const;
  // The window of the pane's top pane; nil outside a window.
  HWND FrameWindow();

  // With a UI-activatable object: the pane's window takes the focus and the
  // object is UI-activated (which puts the keyboard focus inside it).
  void TakeFocus() override;
  // A UI-activatable object is UI-deactivated.
  void LoseFocus() override;
  // Only with a UI-activatable object, and the pane shown and enabled.
  bool CanAcceptFocus() override;
  // Arrow keys go to the object.
  bool ArrowKeysMoveFocus() override;
  // Moves the pane, then gives the object the new extent (HIMETRIC) and
  // in-place rectangles.
  void SetBounds(const MacRect& rect, bool redraw) override;
  // Empties the container, then closes the pane.
  void Close() override;

 protected:
  ~OLEContainerPane() override;

 private:
  friend bool OLEContainerCreate(OLEContainerPane* pane, const StringRecord* identifier);
  friend void OLEContainerDestroy(OLEContainerPane* pane);

  std::unique_ptr<OLEEventHook> hook_;
  RuntimeObject* content_ = nullptr;  // the OLEObject, locked
  ComRef<OLEClientSite> clientSite_;
  ComRef<IDispatch> dispatch_;
  ComRef<IOleObject> object_;
  ComRef<IOleInPlaceObject> inPlaceObject_;
  uint8_t uiActivatable_ = 0;  // the object has the UI-activate verb
  uint8_t destroying_ = 0;     // set while the object is torn down
};

// Empties the container, then makes the object of the identifier ("{...}": a
// class identifier, anything else a programmatic identifier), its Content
// when it has IDispatch, its sites and its event connection, and shows it in
// place. True when the object took the client site and was shown; a bad
// identifier or a failed creation leaves the container empty and gives
// false. Never raises.
bool OLEContainerCreate(OLEContainerPane* pane, const StringRecord* identifier);
// Empties the container: the event connection is dropped and the sites
// unhooked, the object deactivated, its client site cleared and the object
// closed without saving; every reference the pane held is released and
// Content unlocked. Nothing for an empty container or during a destroy.
void OLEContainerDestroy(OLEContainerPane* pane);

// For tests: the event sink of the control's object as an IDispatch (a new
// reference); nil without a pane, an object or an event connection.
IDispatch* OLEContainerEventSink(RuntimeObject* control);

extern "C" {
// The class's "CreatePane": the pane with its hook, made in the Parent
// control's pane when there is one, then the object when ProgramID is not
// empty.
void OLEContainerCreatePane(RuntimeObject* control);
// Releases ProgramID.
void OLEContainerDestruct(RuntimeObject* control);

// A nil container raises NilObjectException; another class's object is
// reported. Either gives nil, false or nothing.
//
// The container's OLEObject (a new reference); nil without a pane or an
// object with IDispatch.
RuntimeObject* OLEContainerContentGetter(RuntimeObject* control, uint32_t index);
// "Create": OLEContainerCreate with the current ProgramID; false without a
// pane.
bool OLEContainerCreateObject(RuntimeObject* control);
// "Destroy": OLEContainerDestroy.
void OLEContainerDestroyObject(RuntimeObject* control);
// "ShowPropertyPages": when the object names property pages, the system's
// modal property frame for them, owned by the control's window; otherwise
// nothing.
void OLEContainerShowPropertyPages(RuntimeObject* control);
}
