// The OLEContainer control.
#include "controls/OLEContainer.h"

#include <olectl.h>

#include <iterator>
#include <string>
#include <utility>

#include "controls/ControlPattern.h"
#include "core/InstanceArgument.h"
#include "core/SmartRef.h"
#include "system/DynLib.h"
#include "system/OLEObject.h"
#include "ui/Conversions.h"
#include "ui/WinUtil.h"
#include "ui/win32windows.h"

namespace {

OLEContainerFields* FieldsOf(RuntimeObject* control) {
  return ObjectFields<OLEContainerFields>(control);
}

// The fields of a container; nil for nil (NilObjectException raised) or for
// another class's object (reported).
OLEContainerFields* Checked(RuntimeObject* control) {
  return InstanceArgument<OLEContainerFields>(control, GetOLEContainerClassDefinition(),
                                              "OLEContainer", __LINE__,
                                              "ObjectIsADefinition(control, OLEContainer)");
}

// The pane of a checked container; nil without one or once it is closing.
OLEContainerPane* PaneOf(RuntimeObject* control) {
  OLEContainerFields* fields = Checked(control);
  auto* pane = fields ? dynamic_cast<OLEContainerPane*>(fields->control.pane) : nullptr;
  return pane && !pane->IsClosing() ? pane : nullptr;
}

// "{...}" is read as a class identifier, anything else as a programmatic
// identifier. False for an empty identifier or one with a NUL inside (which
// the system would read only up to the NUL).
bool ClassOfIdentifier(const StringRecord* identifier, CLSID* classID) {
  std::wstring text = StringToWide(identifier);
  if (text.empty() || text.find(L'\0') != std::wstring::npos) return false;
  const HRESULT result = text[0] == L'{' ? CLSIDFromString(&text[0], classID)
                                         : CLSIDFromProgID(text.c_str(), classID);
  return SUCCEEDED(result);
}

// A new OLEObject holding its own reference to the dispatch.
RuntimeObject* NewContent(IDispatch* dispatch) {
  RuntimeObject* content = CreateInstance(GetOLEObjectClassDefinition());
  if (!content) return nullptr;
  dispatch->AddRef();
  ObjectFields<OLEObjectFields>(content)->dispatch = dispatch;
  return content;
}

// Whether the object's verbs include UI activation; the listing ends at the
// first failure.
bool HasUIActivateVerb(IOleObject* object) {
  ComRef<IEnumOLEVERB> verbs;
  if (FAILED(object->EnumVerbs(verbs.put())) || !verbs) return false;
  OLEVERB verb{};
  while (verbs->Next(1, &verb, nullptr) == S_OK) {
    CoTaskMemFree(verb.lpszVerbName);
    if (verb.lVerb == OLEIVERB_UIACTIVATE) return true;
  }
  return false;
}

// The system's modal property frame for the object's pages, owned by the
// pane's top window. It is loaded when first needed.
void ShowPropertyFrame(OLEContainerPane* pane, const StringRecord* caption, IOleObject* object,
                       CAUUID* pages) {
  static DynLib library("olepro32.dll");
  auto create = library.Find<decltype(&OleCreatePropertyFrame)>("OleCreatePropertyFrame");
  if (!create) return;
  const std::wstring title = StringToWide(caption);
  IUnknown* objects[] = {object};
  create(pane->FrameWindow(), 0, 0, title.c_str(), 1, objects, pages->cElems, pages->pElems,
         LOCALE_USER_DEFAULT, 0, nullptr);
}

}  // namespace

// ---- Class definition ----

ObjectDefinition* GetOLEContainerClassDefinition() {
  static EventRecord events[] = {
      {0, "ShowObject", "", nullptr, 0},
      {0, "EventTriggered", "eventName as string, parameters() as variant", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      {kPropertyGenericGetter, "ProgramID", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), offsetof(OLEContainerFields, programID)},
      {kPropertyReadOnly, "Content", GetOLEObjectClassDefinition(),
       RUNTIME_ENTRY(OLEContainerContentGetter), nullptr, nullptr, 0},
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("Create", &kBooleanType, nullptr, 0,
                       RUNTIME_ENTRY(OLEContainerCreateObject)),
      MakeMethodRecord("Destroy", nullptr, nullptr, 0, RUNTIME_ENTRY(OLEContainerDestroyObject)),
      MakeMethodRecord("ShowPropertyPages", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(OLEContainerShowPropertyPages)),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "OLEContainer", sizeof(OLEContainerFields), nullptr, OLEContainerDestruct,
      OLEContainerCreatePane, events, int32_t(std::size(events)), properties,
      int32_t(std::size(properties)), methods, int32_t(std::size(methods)), {}});
  return definition.get();
}

// ---- The hook ----

void OLEEventHook::FireEventTriggered(StringRecord* name, RuntimeArray* parameters) {
  CallControlHandler(control_, "EventTriggered", name, parameters);
}

void OLEEventHook::FireShowObject() { CallControlHandler(control_, "ShowObject"); }

// ---- The pane ----

OLEContainerPane::OLEContainerPane(RuntimeObject* control, SubPane* parent, int32_t tabPanelIndex,
                                   const MacRect& bounds)
    : NativePane(parent, tabPanelIndex, bounds, nullptr, kCanvasPaneClassName, 0,
                 WS_EX_TRANSPARENT),
      hook_(std::make_unique<OLEEventHook>(control)) {}

OLEContainerPane::~OLEContainerPane() { OLEContainerDestroy(this); }

RECT OLEContainerPane::ObjectRect() const { return RECT{0, 0, Width(), Height()}; }

HWND OLEContainerPane::FrameWindow() {
  SubPane* top = GetTopPane(this);
  return top ? top->NativeWindow() : nullptr;
}

bool OLEContainerPane::CanAcceptFocus() {
  return object_ && uiActivatable_ && !destroying_ && NativePane::CanAcceptFocus();
}

void OLEContainerPane::TakeFocus() {
  if (!CanAcceptFocus()) return;
  const auto object = ComRef<IOleObject>::Retain(object_.get());
  NativePane::TakeFocus();
  // The whole pane, in the pane's window: where the object already is.
  RECT whole = ObjectRect();
  object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, clientSite_.get(), 0, NativeWindow(), &whole);
  // An object that was UI-active already leaves the keyboard focus in the
  // pane's window, where no key reaches it: it goes to the object's window.
  HWND objectWindow = nullptr;
  if (GetFocus() == NativeWindow() && inPlaceObject_ &&
      SUCCEEDED(inPlaceObject_->GetWindow(&objectWindow)) && objectWindow) {
    SetFocus(objectWindow);
  }
}

void OLEContainerPane::LoseFocus() {
  if (uiActivatable_ && inPlaceObject_) inPlaceObject_->UIDeactivate();
}

bool OLEContainerPane::ArrowKeysMoveFocus() { return false; }

void OLEContainerPane::SetBounds(const MacRect& rect, bool redraw) {
  NativePane::SetBounds(rect, redraw);
  if (!object_ || destroying_) return;
  int32_t width = Width();
  int32_t height = Height();
  ConvertPixelsHimetric(&width, &height, true);
  SIZEL extent{width, height};
  object_->SetExtent(DVASPECT_CONTENT, &extent);
  if (inPlaceObject_) {
    const RECT whole = ObjectRect();
    inPlaceObject_->SetObjectRects(&whole, &whole);
  }
}

void OLEContainerPane::Close() {
  // The focus goes first, so a UI-active object is deactivated while it is
  // still whole.
  NativePane::Close();
  OLEContainerDestroy(this);
}

// ---- Making and emptying ----

bool OLEContainerCreate(OLEContainerPane* pane, const StringRecord* identifier) {
  OLEContainerDestroy(pane);
  CLSID classID;
  if (pane->destroying_ || pane->IsClosing() || !ClassOfIdentifier(identifier, &classID) ||
      FAILED(CoCreateInstance(classID, nullptr,
                              CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                              IID_IOleObject, pane->object_.out())) ||
      !pane->object_) {
    return false;
  }
  // Handlers run from here on (ShowObject, events) and may empty or replace
  // the object, or close the window.
  OwnerChainLock lock(pane);
  const auto object = ComRef<IOleObject>::Retain(pane->object_.get());
  if (pane->dispatch_.QueryFrom(object.get(), IID_IDispatch)) {
    pane->content_ = NewContent(pane->dispatch_.get());
  }
  auto* site = new OLEClientSite(pane);
  pane->clientSite_.reset(site);
  site->Sink()->Connect(object.get());
  ComRef<IPersistStreamInit> persist;
  if (persist.QueryFrom(object.get(), IID_IPersistStreamInit)) persist->InitNew();
  HRESULT shown = object->SetClientSite(site);
  if (SUCCEEDED(shown)) {
    pane->uiActivatable_ = HasUIActivateVerb(object.get()) ? 1 : 0;
    RECT whole = pane->ObjectRect();
    shown = object->DoVerb(OLEIVERB_SHOW, nullptr, site, 0, pane->NativeWindow(), &whole);
  }
  if (pane->object_.get() != object.get()) return false;
  pane->inPlaceObject_.QueryFrom(object.get(), IID_IOleInPlaceObject);
  return SUCCEEDED(shown);
}

void OLEContainerDestroy(OLEContainerPane* pane) {
  if (pane->destroying_) return;
  pane->destroying_ = 1;
  // Unhooked first: whatever the object keeps from here on answers without
  // the pane, and fires nothing.
  if (pane->clientSite_) pane->clientSite_->Detach();
  if (pane->inPlaceObject_) pane->inPlaceObject_->InPlaceDeactivate();
  if (IOleObject* object = pane->object_.get()) {
    object->SetClientSite(nullptr);
    object->Close(OLECLOSE_NOSAVE);
  }
  pane->dispatch_.reset();
  pane->inPlaceObject_.reset();
  pane->clientSite_.reset();
  pane->object_.reset();
  pane->uiActivatable_ = 0;
  pane->destroying_ = 0;
  RuntimeUnlockObject(std::exchange(pane->content_, nullptr));
}

IDispatch* OLEContainerEventSink(RuntimeObject* control) {
  OLEContainerPane* pane = PaneOf(control);
  OLEClientSite* site = pane ? pane->ClientSite() : nullptr;
  if (!site || !site->Sink()->IsConnected()) return nullptr;
  site->Sink()->AddRef();
  return site->Sink();
}

// ---- Entry points ----

extern "C" void OLEContainerCreatePane(RuntimeObject* control) {
  RuntimeControl& common = FieldsOf(control)->control;
  auto* pane = new OLEContainerPane(control, ControlParentPane(control), common.tabPanelIndex,
                                    common.bounds);
  AdoptControlPane(control, pane);
  if (StringLength(FieldsOf(control)->programID) > 0) {
    OLEContainerCreate(pane, FieldsOf(control)->programID);
  }
}

extern "C" void OLEContainerDestruct(RuntimeObject* control) {
  RuntimeUnlockString(std::exchange(FieldsOf(control)->programID, nullptr));
}

extern "C" RuntimeObject* OLEContainerContentGetter(RuntimeObject* control, uint32_t) {
  OLEContainerPane* pane = PaneOf(control);
  RuntimeObject* content = pane ? pane->Content() : nullptr;
  RuntimeLockObject(content);
  return content;
}

extern "C" bool OLEContainerCreateObject(RuntimeObject* control) {
  OLEContainerPane* pane = PaneOf(control);
  if (!pane) return false;
  // A handler may assign ProgramID while the object is made.
  StringRef identifier = StringRef::Retain(FieldsOf(control)->programID);
  return OLEContainerCreate(pane, identifier.get());
}

extern "C" void OLEContainerDestroyObject(RuntimeObject* control) {
  if (OLEContainerPane* pane = PaneOf(control)) OLEContainerDestroy(pane);
}

extern "C" void OLEContainerShowPropertyPages(RuntimeObject* control) {
  OLEContainerPane* pane = PaneOf(control);
  if (!pane || !pane->Object()) return;
  const auto object = ComRef<IOleObject>::Retain(pane->Object());
  ComRef<ISpecifyPropertyPages> specifier;
  CAUUID pages{};
  if (!specifier.QueryFrom(object.get(), IID_ISpecifyPropertyPages) ||
      FAILED(specifier->GetPages(&pages))) {
    return;
  }
  if (pages.cElems > 0 && pages.pElems) {
    // The frame is modal: the window may close while it runs.
    OwnerChainLock lock(pane);
    ShowPropertyFrame(pane, FieldsOf(control)->control.name, object.get(), &pages);
  }
  CoTaskMemFree(pages.pElems);
}
