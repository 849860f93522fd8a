// Test support for the window system and everything built on it: windows
// opened as an application opens them, controls placed in them whose
// "CreatePane" is a C++ function, recording panes, input (posted messages
// plus turns of the main loop, or real input through SendInput), keyboard
// state and pixel reading.
//
//   ObjectRef window = OpenTestWindow();
//   ObjectRef box = PlaceControl(window.get(), "Box", Rect(10, 10, 60, 30),
//       [](const PaneSite& site) { return new RecordingPane("Box", site); });
//   SendMessageW(NativeOf(box.get()), BM_CLICK, 0, 0);
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "ui/ControlPane.h"
#include "ui/SubPane.h"

// A rectangle from left, top, width and height.
MacRect Rect(int left, int top, int width, int height);

// ---- The log the recording panes write ----
void Log(const std::string& entry);
// The entries since the last call.
std::vector<std::string> TakeLog();

// ---- Controls whose panes are made by C++ ----
// Where a control's pane is to be made: the control, its parent pane (the
// window pane), its TabPanelIndex and bounds.
struct PaneSite {
  RuntimeObject* control;
  SubPane* parent;
  int32_t tabPanelIndex;
  MacRect bounds;
};
// Makes the control's pane; nil makes none.
using PaneFactory = std::function<SubPane*(const PaneSite& site)>;

// "TestControl", a subclass of RectControl whose "CreatePane" implementation
// calls the instance's factory, stores the pane in the control and, when the
// control has a parent control with a pane, re-parents the pane into it.
ObjectDefinition* GetTestControlClassDefinition();
// A new test control (the caller's reference) named `name` with the bounds,
// the factory and an optional parent control, added to the window.
ObjectRef PlaceControl(RuntimeObject* window, const char* name, const MacRect& bounds,
                       PaneFactory factory, RuntimeObject* parentControl = nullptr);
// The control's pane and its native window.
SubPane* PaneOf(RuntimeObject* control);
HWND NativeOf(RuntimeObject* control);

// ---- Windows ----
// A new Window (or instance of the builder's subclass of Window), 300 x 200,
// opened and, unless show is false, shown and made the foreground window
// (turns of the main loop run until it is visible).
ObjectRef OpenTestWindow(ClassBuilder* windowClass = nullptr, bool show = true);
// Turns of the main loop that do not wait, until no message is pending
// (at most 50).
void RunPendingTurns();

// ---- Recording panes ----
// A "KV_Pane" pane that logs "<name>.<operation>[ x,y]" for focus, mouse,
// keys, drawing, default and cancel presses and shortcuts, and answers as
// configured.
class RecordingPane : public SubPane {
 public:
  RecordingPane(const std::string& name, const PaneSite& site,
                const char* windowClass = "KV_Pane");

  bool acceptsFocus = false;
  bool answerMouseDown = false;
  bool captureOnMouseDown = false;
  bool defaultCandidate = false;
  bool cancelCandidate = false;
  bool answerKeys = false;
  // Enter and leave are logged only when asked: the real pointer may rest
  // anywhere on the display.
  bool logPointer = false;
  GraphicsPort* lastPort = nullptr;

  void Draw(GraphicsPort* port) override;
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseEnter(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseLeave() override;
  bool CharacterEntry(uint32_t codePoint, uint32_t modifiers) override;
  bool HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers) override;
  void TakeFocus() override;
  void LoseFocus() override;
  bool CanAcceptFocus() override;
  SubPane* DefaultButtonCandidate() override;
  SubPane* CancelButtonCandidate() override;
  void PressButton() override;
  void ActivateShortcut(uint32_t kind) override;
  void RadioGroupNotify(SubPane* sender) override;

  const std::string& name() const { return name_; }
  // Destructions of recording panes, by name, since the last call.
  static std::vector<std::string> TakeDestroyed();

 protected:
  ~RecordingPane() override;

 private:
  std::string name_;
};

// A control pane that logs "<name>.Notify <code>" and "<name>.MouseDown x,y",
// forwards the press to the control unless answerMouseDown is set, and
// answers GetAcceptTabs and CanAcceptFocus as configured.
class RecordingControlPane : public ControlPane {
 public:
  RecordingControlPane(const std::string& name, const PaneSite& site, const char* windowClass,
                       uint32_t style, const StringRecord* caption = nullptr);

  bool answerMouseDown = false;
  bool acceptTabs = false;

  bool ControlNotification(int32_t code, UINT message, WPARAM wParam, LPARAM lParam) override;
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  bool GetAcceptTabs() override;
  void TakeFocus() override;
  void LoseFocus() override;

 private:
  std::string name_;
};

// ---- Input ----
// Posted to the window: a press and release at the point (client
// coordinates of that window), keys (Alt sets lParam bit 29 and makes them
// system keys; extended sets bit 24).
void PostClick(HWND window, int x, int y);
void PostKey(HWND window, UINT virtualKey, bool alt = false, bool extended = false);
// Real input: SendInput moves, presses and releases at screen points, and
// keys. The window must be the foreground window.
void SendMouseMove(POINT screen);
void SendMouseButton(bool down, bool right = false);
void SendKey(WORD virtualKey, bool down);
// A character typed without a key of its own (KEYEVENTF_UNICODE: VK_PACKET).
void SendCharacterKey(wchar_t character);
// The thread's keyboard state with exactly these keys held.
void SetKeyboardStateHolding(const std::vector<BYTE>& virtualKeys);
// A window's client point on the screen.
POINT ScreenPointOf(HWND window, int x, int y);
// Makes the window the foreground window; true when it is.
bool MakeForeground(HWND window);

// ---- Pixels ----
// The colour at a client point, after the window has painted.
COLORREF ReadWindowPixel(HWND window, int x, int y);

// The fixture of window-system tests: the host's reset (HostTest) plus, after
// the test, every window closed, the focus and capture cleared and the
// keyboard state released; it fails a test that leaves panes alive.
class WindowSystemTest : public HostTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Pane::LiveCount() before the test: what closing its windows comes back to.
  int32_t PanesBeforeTest() const { return livePanes_; }

 private:
  int32_t livePanes_ = 0;
};
