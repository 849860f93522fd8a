#include "testsupport/UiTestSupport.h"

#include <iterator>
#include <memory>

#include "core/string.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/runctl.h"
#include "ui/window.h"

namespace {

std::vector<std::string> logEntries;
std::vector<std::string> destroyedPanes;

struct TestControlFields {
  RuntimeControl control;
  PaneFactory* factory;  // owned
};

void DestroyTestControl(RuntimeObject* object) {
  auto* fields = reinterpret_cast<TestControlFields*>(object);
  delete fields->factory;
  fields->factory = nullptr;
}

void TestControlCreatePane(RuntimeObject* object) {
  auto* fields = reinterpret_cast<TestControlFields*>(object);
  if (!fields->factory || !*fields->factory) return;
  RuntimeControl& control = fields->control;
  SubPane* pane =
      (*fields->factory)(PaneSite{object, control.parentPane, control.tabPanelIndex, control.bounds});
  control.pane = pane;
  RuntimeObject* parent = control.parentControl;
  if (pane && parent && ControlFields(parent)->pane) pane->Reparent(ControlFields(parent)->pane);
}

std::string At(const std::string& name, const char* operation, int32_t x, int32_t y) {
  return name + "." + operation + " " + std::to_string(x) + "," + std::to_string(y);
}

INPUT MouseInput(DWORD flags, LONG dx = 0, LONG dy = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  input.mi.dwFlags = flags;
  return input;
}

}  // namespace

MacRect Rect(int left, int top, int width, int height) {
  return MacRect{int16_t(top), int16_t(left), int16_t(top + height), int16_t(left + width)};
}

void Log(const std::string& entry) { logEntries.push_back(entry); }

std::vector<std::string> TakeLog() { return std::exchange(logEntries, {}); }

ObjectDefinition* GetTestControlClassDefinition() {
  static EventImplementation createPane{nullptr, "CreatePane",
                                        reinterpret_cast<void*>(&TestControlCreatePane)};
  static ObjectDefinition* definition = [] {
    static ObjectDefinition testControl;
    ObjectDefinitionSetName(&testControl, "TestControl");
    testControl.superclass = GetRectControlClassDefinition();
    testControl.instanceSize = sizeof(TestControlFields);
    testControl.destructor = DestroyTestControl;
    testControl.eventImplementations = &createPane;
    return &testControl;
  }();
  return definition;
}

ObjectRef PlaceControl(RuntimeObject* window, const char* name, const MacRect& bounds,
                       PaneFactory factory, RuntimeObject* parentControl) {
  ObjectRef control = ObjectRef::Adopt(CreateInstance(GetTestControlClassDefinition()));
  auto* fields = reinterpret_cast<TestControlFields*>(control.get());
  StringRef controlName = StringRef::Adopt(StringFromASCII(name));
  ControlSetName(control.get(), controlName.get());
  fields->control.bounds = bounds;
  fields->control.parentControl = parentControl;
  fields->factory = new PaneFactory(std::move(factory));
  WindowAddControl(window, control.get());
  return control;
}

SubPane* PaneOf(RuntimeObject* control) { return control ? ControlFields(control)->pane : nullptr; }

HWND NativeOf(RuntimeObject* control) {
  SubPane* pane = PaneOf(control);
  return pane ? pane->GetNativeHandle() : nullptr;
}

ObjectRef OpenTestWindow(ClassBuilder* windowClass, bool show) {
  ObjectRef window = ObjectRef::Adopt(windowClass ? windowClass->NewInstance()
                                                  : CreateInstance(GetWindowClassDefinition()));
  WindowFields* fields = WindowFieldsOf(window.get());
  fields->width = 300;
  fields->height = 200;
  fields->visible = show ? 1 : 0;
  WindowOpen(window.get());
  if (show) {
    HWND handle = WindowHandle(window.get());
    RuntimeTestEnvironment::RunUntil([handle] { return IsWindowVisible(handle) != FALSE; }, 2000);
    MakeForeground(handle);
    RunPendingTurns();
  }
  return window;
}

void RunPendingTurns() {
  for (int turn = 0; turn < 50; ++turn) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) return;
    RuntimeRunTurn(0);
  }
}

RecordingPane::RecordingPane(const std::string& name, const PaneSite& site,
                             const char* windowClass)
    : SubPane(site.parent, site.tabPanelIndex, site.bounds, nullptr, windowClass, 0, 0),
      name_(name) {}

RecordingPane::~RecordingPane() { destroyedPanes.push_back(name_); }

std::vector<std::string> RecordingPane::TakeDestroyed() { return std::exchange(destroyedPanes, {}); }

void RecordingPane::Draw(GraphicsPort* port) {
  lastPort = port;
  Log(name_ + ".Draw");
}

bool RecordingPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  Log(At(name_, "MouseDown", x, y));
  if (captureOnMouseDown) SetMouseCapturePane(this);
  return answerMouseDown || SubPane::MouseDown(x, y, modifiers);
}

void RecordingPane::MouseDrag(int32_t x, int32_t y, uint32_t) { Log(At(name_, "MouseDrag", x, y)); }
void RecordingPane::MouseUp(int32_t x, int32_t y, uint32_t) { Log(At(name_, "MouseUp", x, y)); }
void RecordingPane::MouseEnter(int32_t, int32_t, uint32_t) {
  if (logPointer) Log(name_ + ".MouseEnter");
}

void RecordingPane::MouseLeave() {
  if (logPointer) Log(name_ + ".MouseLeave");
}

bool RecordingPane::CharacterEntry(uint32_t codePoint, uint32_t) {
  Log(name_ + ".Character " + std::to_string(codePoint));
  return answerKeys;
}

bool RecordingPane::HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t) {
  Log(name_ + ".Key " + std::to_string(virtualKey) + " " + std::to_string(keyChar));
  return answerKeys;
}

void RecordingPane::TakeFocus() {
  Log(name_ + ".TakeFocus");
  SubPane::TakeFocus();
}

void RecordingPane::LoseFocus() { Log(name_ + ".LoseFocus"); }

bool RecordingPane::CanAcceptFocus() { return acceptsFocus && !IsClosing(); }

SubPane* RecordingPane::DefaultButtonCandidate() { return defaultCandidate ? this : nullptr; }
SubPane* RecordingPane::CancelButtonCandidate() { return cancelCandidate ? this : nullptr; }
void RecordingPane::PressButton() { Log(name_ + ".Press"); }

void RecordingPane::ActivateShortcut(uint32_t kind) {
  Log(name_ + ".Shortcut " + std::to_string(kind));
}

void RecordingPane::RadioGroupNotify(SubPane* sender) {
  auto* recording = dynamic_cast<RecordingPane*>(sender);
  Log(name_ + ".Group " + (recording ? recording->name() : std::string("?")));
}

RecordingControlPane::RecordingControlPane(const std::string& name, const PaneSite& site,
                                           const char* windowClass, uint32_t style,
                                           const StringRecord* caption)
    : ControlPane(site.parent, site.tabPanelIndex, site.bounds, caption, windowClass, style, 0),
      name_(name) {}

bool RecordingControlPane::ControlNotification(int32_t code, UINT, WPARAM, LPARAM) {
  Log(name_ + ".Notify " + std::to_string(code));
  return true;
}

bool RecordingControlPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  Log(At(name_, "MouseDown", x, y));
  return answerMouseDown || ControlPaneForwardMouseDown(this, x, y, modifiers);
}

bool RecordingControlPane::GetAcceptTabs() { return acceptTabs; }

void RecordingControlPane::TakeFocus() {
  Log(name_ + ".TakeFocus");
  ControlPane::TakeFocus();
}

void RecordingControlPane::LoseFocus() { Log(name_ + ".LoseFocus"); }

void PostClick(HWND window, int x, int y) {
  const LPARAM point = MAKELPARAM(x, y);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageW(window, WM_LBUTTONUP, 0, point);
}

void PostKey(HWND window, UINT virtualKey, bool alt, bool extended) {
  const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  LPARAM lParam = 1 | (LPARAM(scan) << 16);
  if (extended) lParam |= LPARAM(1) << 24;
  if (alt) lParam |= LPARAM(1) << 29;
  PostMessageW(window, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, lParam);
  PostMessageW(window, alt ? WM_SYSKEYUP : WM_KEYUP, virtualKey,
               lParam | (LPARAM(1) << 30) | (LPARAM(1) << 31));
}

void SendMouseMove(POINT screen) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
                           LONG((screen.x * 65535LL + (width - 1) / 2) / (width - 1)),
                           LONG((screen.y * 65535LL + (height - 1) / 2) / (height - 1)));
  SendInput(1, &input, sizeof input);
  SetCursorPos(screen.x, screen.y);
}

void SendMouseButton(bool down, bool right) {
  const DWORD flags = right ? (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP)
                            : (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
  INPUT input = MouseInput(flags);
  SendInput(1, &input, sizeof input);
}

void SendKey(WORD virtualKey, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.wScan = WORD(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof input);
}

void SendCharacterKey(wchar_t character) {
  INPUT inputs[2] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = character;
    input.ki.dwFlags = KEYEVENTF_UNICODE;
  }
  inputs[1].ki.dwFlags |= KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof inputs[0]);
}

void SetKeyboardStateHolding(const std::vector<BYTE>& virtualKeys) {
  BYTE state[256] = {};
  for (BYTE key : virtualKeys) state[key] = 0x80;
  SetKeyboardState(state);
}

POINT ScreenPointOf(HWND window, int x, int y) {
  POINT point{x, y};
  ClientToScreen(window, &point);
  return point;
}

bool MakeForeground(HWND window) {
  SetForegroundWindow(window);
  RunPendingTurns();
  return GetForegroundWindow() == window;
}

COLORREF ReadWindowPixel(HWND window, int x, int y) {
  UpdateWindow(window);
  HDC dc = GetDC(window);
  COLORREF color = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return color;
}

void WindowSystemTest::SetUp() {
  HostTest::SetUp();
  TakeLog();
  RecordingPane::TakeDestroyed();
  livePanes_ = Pane::LiveCount();
}

void WindowSystemTest::TearDown() {
  CloseAllWindows();
  SetMouseCapturePane(nullptr);
  SetFocusPane(nullptr);
  SetKeyboardStateHolding({});
  RunPendingTurns();
  EXPECT_EQ(Pane::LiveCount(), livePanes_) << "panes were left alive";
  HostTest::TearDown();
}
