// The native side of windows: opening, closing, controls, the window list,
// modal windows and the main loop's window slots.
#include "ui/RuntimeWindow.h"

#include <algorithm>
#include <utility>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/StringMap.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/application.h"
#include "host/runtimemainloop.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/WindowPane.h"
#include "ui/runctl.h"

struct WindowState {
  WindowPane* pane = nullptr;
  HWND handle = nullptr;
  StringMap controls;  // key -> control (one reference each)
  std::vector<RuntimeObject*> nonVisualControls;  // one reference each
  bool open = false;
  bool closing = false;
  bool closed = false;
  bool showPending = false;
  bool modalRunning = false;
};

namespace {

constexpr int32_t kDefaultLeft = 40;
constexpr int32_t kDefaultTop = 60;
constexpr int32_t kDefaultSize = 300;

std::vector<RuntimeObject*> windowList;  // one reference each
ControlWindowCloseHook controlCloseHook = nullptr;
DocumentMenuBarHook documentMenuBarHook = nullptr;

WindowState* StateOf(RuntimeObject* window) {
  return window ? WindowFieldsOf(window)->state : nullptr;
}

using WindowHandler = void (*)(RuntimeObject*);

void FireEvent(RuntimeObject* window, const char* name) {
  if (EventHandler handler = FindEventHandler(window, name)) {
    reinterpret_cast<WindowHandler>(handler)(window);
  }
}

std::string ControlKey(RuntimeObject* control) {
  RuntimeControl* fields = ControlFields(control);
  std::string key = StringToStdUTF8(fields->name);
  if (fields->index >= 0) key += "(" + std::to_string(fields->index) + ")";
  return key;
}

int32_t ParentDepth(RuntimeObject* control, size_t limit) {
  int32_t depth = 0;
  for (RuntimeObject* parent = ControlFields(control)->parentControl;
       parent && size_t(depth) < limit; parent = ControlFields(parent)->parentControl) {
    ++depth;
  }
  return depth;
}

// The class's "CreatePane" answer; nil when it has none.
void* CreatePaneOf(RuntimeObject* control) {
  RuntimeClass* runtimeClass = ObjectClassOf(control);
  ObjectDefinition* definition = runtimeClass ? runtimeClass->definition : nullptr;
  return definition ? definition->FindEventImplementation("CreatePane") : nullptr;
}

void RaiseCreatePane(RuntimeObject* window, RuntimeObject* control) {
  RuntimeControl* fields = ControlFields(control);
  fields->window = window;
  fields->parentPane = StateOf(window)->pane;
  if (void* handler = CreatePaneOf(control)) reinterpret_cast<void (*)(RuntimeObject*)>(handler)(control);
}

void ApplyControlState(RuntimeObject* control) {
  RuntimeControl* fields = ControlFields(control);
  if (!fields->pane) return;
  fields->pane->SetEnabled(fields->enabled != 0, false);
  fields->pane->BroadcastStateChange(fields->visible ? kPaneShow : kPaneHide);
}

// A control on a panel's page without a Parent control joins the panel that
// encloses it.
void JoinEnclosingPanel(RuntimeObject* control) {
  RuntimeControl* fields = ControlFields(control);
  if (fields->pane && fields->tabPanelIndex >= 1 && !fields->parentControl) {
    fields->pane->EmbedInEnclosingPane();
  }
}

void MakePanes(RuntimeObject* window, std::vector<RuntimeObject*> controls) {
  std::vector<std::pair<int32_t, RuntimeObject*>> ordered;
  for (RuntimeObject* control : controls) {
    ordered.emplace_back(ParentDepth(control, controls.size()), control);
  }
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& entry : ordered) {
    if (!WindowIsOpen(window)) return;
    RaiseCreatePane(window, entry.second);
  }
  // A handler run while the panes were made (a bound control's first value)
  // may have closed the window and freed its controls.
  if (!WindowIsOpen(window)) return;
  for (RuntimeObject* control : controls) JoinEnclosingPanel(control);
  for (RuntimeObject* control : controls) ApplyControlState(control);
}

TopWindowSpec SpecOf(RuntimeObject* window) {
  WindowFields* fields = WindowFieldsOf(window);
  TopWindowSpec spec;
  spec.title = fields->title;
  if (fields->frame == kFrameModal) {
    spec.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    spec.exStyle = WS_EX_DLGMODALFRAME;
    spec.parent = GetDialogParentWindow();
  } else if (IsMDIMode() && GetMDIClientWindow()) {
    spec.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    spec.parent = GetMDIClientWindow();
    spec.mdiChild = true;
  } else {
    spec.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    spec.menu = documentMenuBarHook ? documentMenuBarHook() : nullptr;
  }
  RECT outer{0, 0, std::max(fields->width, 0), std::max(fields->height, 0)};
  AdjustWindowRectEx(&outer, spec.style, spec.menu != nullptr, spec.exStyle | (spec.mdiChild ? WS_EX_MDICHILD : 0));
  spec.x = fields->left;
  spec.y = fields->top;
  spec.width = outer.right - outer.left;
  spec.height = outer.bottom - outer.top;
  return spec;
}

void MoveToFront(RuntimeObject* window) {
  auto found = std::find(windowList.begin(), windowList.end(), window);
  if (found == windowList.end() || found == windowList.begin()) return;
  windowList.erase(found);
  windowList.insert(windowList.begin(), window);
}

void LeaveWindowList(RuntimeObject* window) {
  auto found = std::find(windowList.begin(), windowList.end(), window);
  if (found == windowList.end()) return;
  windowList.erase(found);
  RuntimeUnlockObject(window);
}

void DestroyTopWindow(HWND handle) {
  if (!handle || !IsWindow(handle)) return;
  if (GetWindowLongAuto(handle, GWL_EXSTYLE) & WS_EX_MDICHILD) {
    SendMessageAuto(GetParent(handle), WM_MDIDESTROY, reinterpret_cast<WPARAM>(handle), 0);
  } else {
    DestroyWindow(handle);
  }
}

void ShowNow(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  state->showPending = false;
  HWND handle = state->handle;
  if (!handle) return;
  ShowWindow(handle, SW_SHOW);
  if (GetWindowLongAuto(handle, GWL_EXSTYLE) & WS_EX_MDICHILD) {
    HWND client = GetParent(handle);
    // A child made active as it was created, before it was open, gets no
    // second activation message: it is activated here.
    if (reinterpret_cast<HWND>(SendMessageAuto(client, WM_MDIGETACTIVE, 0, 0)) == handle) {
      WindowActivated(window, true);
    } else {
      SendMessageAuto(client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(handle), 0);
    }
  } else {
    SetForegroundWindow(handle);
  }
}

// The list as it is now, each window held for the caller's loop.
std::vector<ObjectRef> WindowListSnapshot() {
  std::vector<ObjectRef> windows;
  for (RuntimeObject* window : windowList) windows.push_back(ObjectRef::Retain(window));
  return windows;
}

void ReleaseControls(WindowState* state) {
  std::vector<RuntimeObject*> controls;
  auto iterator = state->controls.NewIterator();
  void* value = nullptr;
  while (iterator->NextValue(&value)) controls.push_back(static_cast<RuntimeObject*>(value));
  state->controls.Clear();
  for (RuntimeObject* control : controls) RuntimeUnlockObject(control);
  for (RuntimeObject* control : std::exchange(state->nonVisualControls, {})) {
    RuntimeUnlockObject(control);
  }
}

}  // namespace

void InitialiseWindowObject(RuntimeObject* window) {
  WindowFields* fields = WindowFieldsOf(window);
  fields->state = new WindowState;
  fields->title = StringFromASCII("Untitled");
  fields->left = kDefaultLeft;
  fields->top = kDefaultTop;
  fields->width = kDefaultSize;
  fields->height = kDefaultSize;
  fields->visible = 1;
  fields->frame = kFrameDocument;
}

void DestroyWindowObject(RuntimeObject* window) {
  WindowFields* fields = WindowFieldsOf(window);
  if (fields->state) {
    ReleaseControls(fields->state);
    delete fields->state;
    fields->state = nullptr;
  }
  RuntimeUnlockString(fields->title);
  fields->title = nullptr;
}

bool WindowOpen(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  if (!state) return false;
  if (state->open || state->closed) return state->open;
  state->pane = new WindowPane(window, SpecOf(window));
  WindowFields* fields = WindowFieldsOf(window);
  state->pane->SetBackdrop(fields->hasBackColor != 0, ColorRefOfColor(fields->backColor));
  state->handle = state->pane->NativeWindow();
  state->open = true;
  RuntimeLockObject(window);
  windowList.insert(windowList.begin(), window);

  ObjectRef keep = ObjectRef::Retain(window);
  MakePanes(window, WindowControls(window));
  if (!state->open) return false;
  FireEvent(window, "Open");
  if (state->open && !state->closing && fields->visible) state->showPending = true;
  return state->open;
}

void WindowClose(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  if (!state || !state->open || state->closing) return;
  state->closing = true;
  ObjectRef keep = ObjectRef::Retain(window);
  FireEvent(window, "Close");

  const std::vector<RuntimeObject*> controls = WindowControls(window);
  if (controlCloseHook) {
    for (RuntimeObject* control : controls) controlCloseHook(control);
    const std::vector<RuntimeObject*> nonVisual = state->nonVisualControls;
    for (RuntimeObject* control : nonVisual) controlCloseHook(control);
  }
  WindowPane* windowPane = state->pane;
  const std::vector<SubPane*> panes = windowPane->Panes();
  for (SubPane* pane : panes) pane->Close();
  for (RuntimeObject* control : controls) {
    RuntimeControl* fields = ControlFields(control);
    fields->pane = nullptr;
    fields->parentPane = nullptr;
    fields->window = nullptr;
  }
  windowPane->DetachWindowObject();
  HWND handle = state->handle;
  state->pane = nullptr;
  state->handle = nullptr;
  state->showPending = false;
  for (auto pane = panes.rbegin(); pane != panes.rend(); ++pane) (*pane)->Unlock();
  DestroyTopWindow(handle);
  state->open = false;
  state->closing = false;
  state->closed = true;
  LeaveWindowList(window);
  ReleaseControls(state);
}

bool WindowIsOpen(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  return state && state->open;
}

void WindowShow(RuntimeObject* window) {
  if (!WindowOpen(window)) return;
  WindowFieldsOf(window)->visible = 1;
  ShowNow(window);
}

void WindowHide(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  if (!state || !state->open) return;
  state->showPending = false;
  if (state->handle) ShowWindow(state->handle, SW_HIDE);
}

void WindowShowModal(RuntimeObject* window) {
  if (!WindowOpen(window)) return;
  ObjectRef keep = ObjectRef::Retain(window);
  WindowState* state = StateOf(window);
  const bool wasRunning = state->modalRunning;
  state->modalRunning = true;
  std::vector<HWND> disabled;
  auto disable = [&](HWND other) {
    if (other && other != state->handle && IsWindowEnabled(other)) {
      EnableWindow(other, FALSE);
      disabled.push_back(other);
    }
  };
  for (RuntimeObject* other : windowList) {
    if (other != window) disable(WindowHandle(other));
  }
  // An MDI child running modally would go with its frame.
  if (IsMDIMode() && !IsChild(GetMDIFrameWindow(), state->handle)) disable(GetMDIFrameWindow());
  WindowShow(window);
  while (state->open && !RuntimeQuitRequested()) RuntimeRunTurn(INFINITE);
  for (HWND other : disabled) {
    if (IsWindow(other)) EnableWindow(other, TRUE);
  }
  state->modalRunning = wasRunning;
}

bool WindowIsModal(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  return state && (WindowFieldsOf(window)->frame == kFrameModal || state->modalRunning);
}

void WindowAddControl(RuntimeObject* window, RuntimeObject* control) {
  if (!window || !control) {
    RaiseNilObjectException();
    return;
  }
  WindowState* state = StateOf(window);
  if (state && !IsControl(control) && CreatePaneOf(control)) {
    // A non-visual control: held, with no pane and no key.
    std::vector<RuntimeObject*>& held = state->nonVisualControls;
    if (std::find(held.begin(), held.end(), control) != held.end()) return;
    RuntimeLockObject(control);
    held.push_back(control);
    return;
  }
  if (!IsControl(control) || !state) {
    AssertionFailed(131, 4, "RuntimeWindow", __LINE__, "a control of a window",
                    "only controls can be added to a window");
    return;
  }
  const std::string key = ControlKey(control);
  if (void* present = state->controls.Get(key)) {
    if (present != control) {
      AssertionFailed(131, 4, "RuntimeWindow", __LINE__, "unique control key",
                      ("a control named " + key + " is in the window already").c_str());
    }
    return;
  }
  RuntimeLockObject(control);
  state->controls.Set(key, control);
  ControlFields(control)->window = window;
  if (state->open && !state->closing) {
    RaiseCreatePane(window, control);
    ApplyControlState(control);
  }
}

std::vector<RuntimeObject*> WindowControls(RuntimeObject* window) {
  std::vector<RuntimeObject*> controls;
  WindowState* state = StateOf(window);
  if (!state) return controls;
  auto iterator = state->controls.NewIterator();
  void* value = nullptr;
  while (iterator->NextValue(&value)) controls.push_back(static_cast<RuntimeObject*>(value));
  return controls;
}

const StringMap* WindowControlMap(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  return state ? &state->controls : nullptr;
}

RuntimeObject* WindowFindControl(RuntimeObject* window, const std::string& key) {
  WindowState* state = StateOf(window);
  return state ? static_cast<RuntimeObject*>(state->controls.Get(key)) : nullptr;
}

WindowPane* WindowPaneOf(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  return state ? state->pane : nullptr;
}

HWND WindowHandle(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  return state ? state->handle : nullptr;
}

RuntimeObject* WindowOfPane(SubPane* pane) {
  WindowPane* windowPane = pane ? pane->TopWindowPane() : nullptr;
  return windowPane ? windowPane->WindowObject() : nullptr;
}

const std::vector<RuntimeObject*>& WindowList() { return windowList; }

RuntimeObject* FrontmostWindow() { return windowList.empty() ? nullptr : windowList.front(); }

HWND FrontmostWindowHandle() { return WindowHandle(FrontmostWindow()); }

HWND GetDialogParentWindow() {
  for (RuntimeObject* window : windowList) {
    HWND handle = WindowHandle(window);
    if (handle && WindowIsModal(window) && IsWindowVisible(handle)) return handle;
  }
  if (IsMDIMode()) return GetMDIFrameWindow();
  for (RuntimeObject* window : windowList) {
    HWND handle = WindowHandle(window);
    if (handle && !WindowIsModal(window) && IsWindowVisible(handle)) return handle;
  }
  return nullptr;
}

bool WindowActivated(RuntimeObject* window, bool active) {
  WindowState* state = StateOf(window);
  if (!state || !state->open || state->closing) return false;
  ObjectRef keep = ObjectRef::Retain(window);
  WindowPane* windowPane = state->pane;
  if (!active) {
    windowPane->Deactivate();
    FireEvent(window, "Deactivate");
    return false;
  }
  MoveToFront(window);
  windowPane->Activate();
  FireEvent(window, "Activate");
  if (!state->open || state->pane != windowPane) return false;
  SubPane* focused = windowPane->FocusedControl();
  if (!focused || !focused->CanAcceptFocus()) return false;
  SetFocusPane(focused);
  return true;
}

void WindowResized(RuntimeObject* window) {
  WindowState* state = StateOf(window);
  if (state && state->open && !state->closing) FireEvent(window, "Resized");
}

bool WindowFireKeyDown(RuntimeObject* window, uint32_t codePoint) {
  EventHandler handler = FindEventHandler(window, "KeyDown");
  if (!handler) return false;
  StringRef key = StringRef::Adopt(StringFromCodePoint(codePoint, kEncodingUTF8));
  return reinterpret_cast<bool (*)(RuntimeObject*, StringRecord*)>(handler)(window, key.get());
}

void WindowFireEnableMenuItems(RuntimeObject* window) { FireEvent(window, "EnableMenuItems"); }

ControlWindowCloseHook SetControlWindowCloseHook(ControlWindowCloseHook hook) {
  return std::exchange(controlCloseHook, hook);
}

DocumentMenuBarHook SetDocumentMenuBarHook(DocumentMenuBarHook hook) {
  return std::exchange(documentMenuBarHook, hook);
}

int OpenWindowCount() { return int(windowList.size()); }

void ShowDueWindows() {
  for (const ObjectRef& window : WindowListSnapshot()) {
    if (StateOf(window.get())->showPending) ShowNow(window.get());
  }
}

void CloseAllWindows() {
  for (const ObjectRef& window : WindowListSnapshot()) WindowClose(window.get());
}
