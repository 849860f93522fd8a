// The container side of an embedded OLE object: the client site (which is
// also the in-place site and the control site: one object, one IUnknown),
// the in-place frame, and the event sink.
//
// Each object starts with one reference (its maker's), frees itself when its
// count falls to 0, and reaches the container through a pane pointer that
// Detach clears: from then on it answers as it would without a pane (no
// window, no rectangles, nothing fired), so an object that keeps a site or a
// sink after the container let it go never reaches a closed pane.
#pragma once
#include <windows.h>
// after <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <cstdint>

struct StringRecord;
class OLEContainerPane;

// One counted reference to a COM interface, released when the holder goes.
template <class Interface>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(Interface* owned) : ptr_(owned) {}
  // A reference of its own to a borrowed interface (nil: none).
  static ComRef Retain(Interface* borrowed) {
    if (borrowed) borrowed->AddRef();
    return ComRef(borrowed);
  }
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  Interface* get() const { return ptr_; }
  Interface* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  void reset(Interface* owned = nullptr) {
    Interface* old = ptr_;
    ptr_ = owned;
    if (old) old->Release();
  }
  // Drops the held reference and gives the slot for QueryInterface and the
  // like.
  void** out() { return reinterpret_cast<void**>(put()); }
  Interface** put() {
    reset();
    return &ptr_;
  }
  // Holds the object's interface iid; true when it answered with one.
  bool QueryFrom(IUnknown* object, REFIID iid) {
    return object && SUCCEEDED(object->QueryInterface(iid, out())) && ptr_;
  }

 private:
  Interface* ptr_ = nullptr;
};

// The count, the pane link and the live count shared by the three objects.
class OLESiteObject {
 public:
  OLESiteObject(const OLESiteObject&) = delete;
  OLESiteObject& operator=(const OLESiteObject&) = delete;

  // Site, frame and sink objects alive in the process (for tests).
  static int32_t LiveCount();

 protected:
  explicit OLESiteObject(OLEContainerPane* pane);
  virtual ~OLESiteObject();
  ULONG Retain() { return ++count_; }
  // Deletes the object at 0.
  ULONG Drop();

  OLEContainerPane* pane_;  // not owned; nil once detached

 private:
  ULONG count_ = 1;
};

// The event sink: an IDispatch advised on the object's event connection
// point, whose Invoke raises "EventTriggered". It also answers
// QueryInterface for the event interface it is connected as.
class OLEEventSink : public IDispatch, public OLESiteObject {
 public:
  explicit OLEEventSink(OLEContainerPane* pane) : OLESiteObject(pane) {}

  // Advises the sink on the object's event source: the default source its
  // class information names, else the first connection point it lists.
  // Nothing without connection points.
  void Connect(IUnknown* object);
  bool IsConnected() const { return cookie_ != 0; }
  // Unadvises, lets the connection point go and forgets the pane.
  void Detach();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return Retain(); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  // With a pane that is not being emptied: the event's name from the
  // object's type information (an unknown event fires nothing), its
  // arguments in their natural order at elements 1 to count, then
  // "EventTriggered" with the pane locked; by-reference arguments of the
  // integer, real, string, dispatch and Boolean types are written back from
  // the elements afterwards, even when the handler closed the window. S_OK.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                   VARIANT*, EXCEPINFO*, UINT*) override;

 private:
  ~OLEEventSink() override;
  // A new string; nil when the name cannot be found.
  StringRecord* EventName(DISPID member);
  void SeekEventInfo();

  ComRef<IConnectionPointContainer> points_;
  ComRef<IConnectionPoint> point_;
  DWORD cookie_ = 0;  // 0: not advised
  IID eventInterface_ = IID_NULL;
  ComRef<ITypeInfo> eventInfo_;  // looked up once
  bool eventInfoSought_ = false;
};

// The frame: the pane's top window, with no tool space and no menus.
class OLEInPlaceFrame : public IOleInPlaceFrame, public OLESiteObject {
 public:
  explicit OLEInPlaceFrame(OLEContainerPane* pane) : OLESiteObject(pane) {}
  void Detach() { pane_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return Retain(); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(); }
  // The pane's top window; E_FAIL without one.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_OK; }

 private:
  ~OLEInPlaceFrame() override = default;
};

// The client site, in-place site and control site of one object. It makes
// the frame and the sink and holds one reference to each.
class OLEClientSite : public IOleClientSite,
                      public IOleInPlaceSite,
                      public IOleControlSite,
                      public OLESiteObject {
 public:
  explicit OLEClientSite(OLEContainerPane* pane);

  OLEEventSink* Sink() const { return sink_; }
  // Detaches the sink, the frame and the site itself.
  void Detach();

  // IUnknown, for all three faces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return Retain(); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  // "ShowObject" with the pane locked; S_OK.
  HRESULT STDMETHODCALLTYPE ShowObject() override;
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleInPlaceSite
  // The pane's window; E_FAIL without one.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  // The frame, no document window, both rectangles the whole pane, the top
  // window as frame window with no accelerators.
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                             IOleInPlaceUIWindow** document, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  // The object keeps the whole pane, whatever it asked for.
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override;

  // IOleControlSite
  HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** control) override;
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }

 private:
  ~OLEClientSite() override;

  OLEInPlaceFrame* frame_;
  OLEEventSink* sink_;
};
