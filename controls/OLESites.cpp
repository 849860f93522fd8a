// The site objects of the OLE container and its event sink.
#include "controls/OLESites.h"

#include "controls/OLEContainer.h"
#include "core/RuntimeArrayFoundation.h"
#include "core/SmartRef.h"
#include "core/Variant.h"
#include "core/string.h"
#include "system/OLEObject.h"
#include "ui/WinUtil.h"

namespace {

int32_t liveSiteObjects = 0;

// The default source the object's class information names, else the first
// point the container lists.
HRESULT FindEventSource(IUnknown* object, IConnectionPointContainer* points,
                        IConnectionPoint** point) {
  ComRef<IProvideClassInfo2> classInfo;
  IID source;
  if (classInfo.QueryFrom(object, IID_IProvideClassInfo2) &&
      SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)) &&
      SUCCEEDED(points->FindConnectionPoint(source, point)) && *point) {
    return S_OK;
  }
  *point = nullptr;
  ComRef<IEnumConnectionPoints> listed;
  if (FAILED(points->EnumConnectionPoints(listed.put())) || !listed) return E_FAIL;
  if (listed->Next(1, point, nullptr) == S_OK && *point) return S_OK;
  *point = nullptr;
  return E_FAIL;
}

// The event's arguments (the last one first in DISPPARAMS) at elements 1 to
// count, in their natural order; element 0 stays nil, as does any value
// without a language form.
RuntimeArray* ArgumentArray(const VARIANT* arguments, UINT count) {
  RuntimeArray* elements = CreateArray(1, kArrayObject, int32_t(count));
  if (!elements) return nullptr;
  for (UINT i = 0; i < count; ++i) {
    ObjectRef value = ObjectRef::Adopt(OLEVariantToVariant(&arguments[i]));
    ObjectArraySetElement(elements, int32_t(count - i), value.get());
  }
  return elements;
}

// The IDispatch of the element's OLEObject with a reference for the caller;
// nil when the element holds none.
IDispatch* RetainedDispatchOf(RuntimeObject* element) {
  ObjectRef object = ObjectRef::Adopt(variantToObject(element));
  if (!object || !ObjectIsADefinition(object.get(), GetOLEObjectClassDefinition())) return nullptr;
  IDispatch* dispatch = ObjectFields<OLEObjectFields>(object.get())->dispatch;
  if (dispatch) dispatch->AddRef();
  return dispatch;
}

// Writes a by-reference argument back from its element. A replaced string or
// dispatch is freed or released; other types are left as they are.
void WriteBack(VARIANT& argument, RuntimeObject* element) {
  switch (argument.vt) {
    case VT_I2 | VT_BYREF:
      *argument.piVal = SHORT(variantToInt(element));
      break;
    case VT_I4 | VT_BYREF:
      *argument.plVal = variantToInt(element);
      break;
    case VT_R4 | VT_BYREF:
      *argument.pfltVal = float(variantToDouble(element));
      break;
    case VT_R8 | VT_BYREF:
      *argument.pdblVal = variantToDouble(element);
      break;
    case VT_BSTR | VT_BYREF: {
      StringRef text = StringRef::Adopt(variantToString(element));
      const std::wstring wide = StringToWide(text.get());
      BSTR fresh = SysAllocStringLen(wide.data(), UINT(wide.size()));
      if (!fresh) break;
      SysFreeString(*argument.pbstrVal);
      *argument.pbstrVal = fresh;
      break;
    }
    case VT_DISPATCH | VT_BYREF: {
      IDispatch* old = *argument.ppdispVal;
      *argument.ppdispVal = RetainedDispatchOf(element);
      if (old) old->Release();
      break;
    }
    case VT_BOOL | VT_BYREF:
      *argument.pboolVal = variantToBoolean(element) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      break;
  }
}

// Answers a QueryInterface with the interface, adding a reference.
template <class Interface>
HRESULT Answer(Interface* face, void** object) {
  face->AddRef();
  *object = face;
  return S_OK;
}

HRESULT NoInterface(void** object) {
  *object = nullptr;
  return E_NOINTERFACE;
}

}  // namespace

// ---- The shared count ----

OLESiteObject::OLESiteObject(OLEContainerPane* pane) : pane_(pane) { ++liveSiteObjects; }

OLESiteObject::~OLESiteObject() { --liveSiteObjects; }

int32_t OLESiteObject::LiveCount() { return liveSiteObjects; }

ULONG OLESiteObject::Drop() {
  const ULONG count = --count_;
  if (count == 0) delete this;
  return count;
}

// ---- The event sink ----

OLEEventSink::~OLEEventSink() { Detach(); }

void OLEEventSink::Connect(IUnknown* object) {
  if (!points_.QueryFrom(object, IID_IConnectionPointContainer) ||
      FAILED(FindEventSource(object, points_.get(), point_.put())) ||
      FAILED(point_->GetConnectionInterface(&eventInterface_)) ||
      FAILED(point_->Advise(static_cast<IDispatch*>(this), &cookie_))) {
    cookie_ = 0;
    eventInterface_ = IID_NULL;
    point_.reset();
    points_.reset();
  }
}

void OLEEventSink::Detach() {
  pane_ = nullptr;
  if (cookie_ && point_) point_->Unadvise(cookie_);
  cookie_ = 0;
  point_.reset();
  points_.reset();
}

HRESULT OLEEventSink::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch ||
      (iid == eventInterface_ && eventInterface_ != IID_NULL)) {
    return Answer(static_cast<IDispatch*>(this), object);
  }
  return NoInterface(object);
}

void OLEEventSink::SeekEventInfo() {
  eventInfoSought_ = true;
  ComRef<IDispatch> dispatch;
  ComRef<ITypeInfo> objectInfo;
  ComRef<ITypeLib> library;
  UINT index = 0;
  IOleObject* object = pane_ ? pane_->Object() : nullptr;
  if (dispatch.QueryFrom(object, IID_IDispatch) &&
      SUCCEEDED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, objectInfo.put())) &&
      objectInfo && SUCCEEDED(objectInfo->GetContainingTypeLib(library.put(), &index)) &&
      library) {
    library->GetTypeInfoOfGuid(eventInterface_, eventInfo_.put());
  }
}

StringRecord* OLEEventSink::EventName(DISPID member) {
  if (!eventInfoSought_) SeekEventInfo();
  if (!eventInfo_) return nullptr;
  BSTR name = nullptr;
  UINT found = 0;
  if (FAILED(eventInfo_->GetNames(member, &name, 1, &found)) || found == 0 || !name) return nullptr;
  StringRecord* text = SysStringLen(name) ? StringFromWide(name, SysStringLen(name)) : nullptr;
  SysFreeString(name);
  return text;
}

HRESULT OLEEventSink::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*,
                             EXCEPINFO*, UINT*) {
  OLEContainerPane* pane = pane_;
  if (!pane || !pane->EventHook() || pane->IsDestroying()) return S_OK;
  // The handler may close the window, which lets the sink go.
  const auto hold = ComRef<IDispatch>::Retain(this);
  StringRef name = StringRef::Adopt(EventName(member));
  if (!name) return S_OK;
  VARIANT* arguments = parameters ? parameters->rgvarg : nullptr;
  const UINT count = arguments ? parameters->cArgs : 0;
  ArrayRef elements = ArrayRef::Adopt(ArgumentArray(arguments, count));
  if (!elements) return S_OK;
  {
    OwnerChainLock lock(pane);
    pane->EventHook()->FireEventTriggered(name.get(), elements.get());
  }
  // Only the caller's arguments and the array are touched from here on.
  const int32_t last = RuntimeUBound(elements.get());
  for (UINT i = 0; i < count; ++i) {
    if (int32_t(count - i) > last) continue;  // the handler shortened the array
    ObjectRef element = ObjectRef::Adopt(RuntimeDirectReadObjectArray(elements.get(), count - i));
    WriteBack(arguments[i], element.get());
  }
  return S_OK;
}

// ---- The frame ----

HRESULT OLEInPlaceFrame::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow ||
      iid == IID_IOleInPlaceFrame) {
    return Answer(static_cast<IOleInPlaceFrame*>(this), object);
  }
  return NoInterface(object);
}

HRESULT OLEInPlaceFrame::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = pane_ ? pane_->FrameWindow() : nullptr;
  return *window ? S_OK : E_FAIL;
}

// ---- The client site ----

OLEClientSite::OLEClientSite(OLEContainerPane* pane)
    : OLESiteObject(pane), frame_(new OLEInPlaceFrame(pane)), sink_(new OLEEventSink(pane)) {}

OLEClientSite::~OLEClientSite() {
  frame_->Release();
  sink_->Release();
}

void OLEClientSite::Detach() {
  sink_->Detach();
  frame_->Detach();
  pane_ = nullptr;
}

HRESULT OLEClientSite::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
    return Answer(static_cast<IOleClientSite*>(this), object);
  }
  if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
    return Answer(static_cast<IOleInPlaceSite*>(this), object);
  }
  if (iid == IID_IOleControlSite) return Answer(static_cast<IOleControlSite*>(this), object);
  return NoInterface(object);
}

HRESULT OLEClientSite::GetContainer(IOleContainer** container) {
  if (!container) return E_POINTER;
  *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT OLEClientSite::ShowObject() {
  OLEContainerPane* pane = pane_;
  if (!pane || !pane->EventHook()) return S_OK;
  const auto hold = ComRef<IOleClientSite>::Retain(this);
  OwnerChainLock lock(pane);
  pane->EventHook()->FireShowObject();
  return S_OK;
}

HRESULT OLEClientSite::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = pane_ ? pane_->NativeWindow() : nullptr;
  return *window ? S_OK : E_FAIL;
}

HRESULT OLEClientSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                        LPRECT position, LPRECT clip,
                                        LPOLEINPLACEFRAMEINFO info) {
  if (!frame || !document || !position || !clip || !info) return E_POINTER;
  *document = nullptr;
  if (!pane_) {
    *frame = nullptr;
    return E_FAIL;
  }
  frame_->AddRef();
  *frame = frame_;
  *position = *clip = pane_->ObjectRect();
  info->fMDIApp = FALSE;
  info->hwndFrame = pane_->FrameWindow();
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

HRESULT OLEClientSite::OnPosRectChange(LPCRECT) {
  IOleObject* object = pane_ ? pane_->Object() : nullptr;
  ComRef<IOleInPlaceObject> inPlace;
  if (inPlace.QueryFrom(object, IID_IOleInPlaceObject)) {
    const RECT whole = pane_->ObjectRect();
    inPlace->SetObjectRects(&whole, &whole);
  }
  return S_OK;
}

HRESULT OLEClientSite::GetExtendedControl(IDispatch** control) {
  if (!control) return E_POINTER;
  *control = nullptr;
  return E_NOTIMPL;
}
