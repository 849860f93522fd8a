// The window pane: the root of a window's pane tree, over the window's top
// window (a "KVWindow", or an MDI child of the frame's client). Its bounds are
// the top window's client area (top-left 0, 0).
//
// It keeps what the window's panes share: the backdrop colour, the focused
// control (refocused when the window is activated again), the chosen default
// button, and the list of every pane made in the window in creation order,
// which the window's teardown disposes of.
#pragma once
#include <windows.h>

#include <cstddef>
#include <vector>

#include "ui/SubPane.h"

struct RuntimeObject;

// How a top window is made.
struct TopWindowSpec {
  const StringRecord* title = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = CW_USEDEFAULT;
  int y = CW_USEDEFAULT;
  int width = CW_USEDEFAULT;
  int height = CW_USEDEFAULT;
  // The owner of a top-level window, or the MDI client of an MDI child.
  HWND parent = nullptr;
  bool mdiChild = false;
  // The menu bar of a top-level window (the window owns it once made).
  HMENU menu = nullptr;
};

class WindowPane : public SubPane {
 public:
  // Makes the top window (hidden) for the window object (borrowed, nil for
  // none). Without a top window the pane lives without one.
  WindowPane(RuntimeObject* window, const TopWindowSpec& spec);

  // The window object; nil once the window is closed.
  RuntimeObject* WindowObject() const { return windowObject_; }
  void DetachWindowObject() { windowObject_ = nullptr; }
  bool IsMDIChild() const { return mdiChild_; }

  void SetBackdrop(bool hasBackColor, COLORREF color);
  bool HasBackColor() const { return hasBackColor_; }
  COLORREF BackColor() const { return backColor_; }

  SubPane* FocusedControl() const { return focusedControl_; }
  void SetFocusedControl(SubPane* pane) { focusedControl_ = pane; }
  // The default button WindowUpdateDefaultButton chose last.
  SubPane* ChosenDefaultButton() const { return chosenDefault_; }
  void SetChosenDefaultButton(SubPane* pane) { chosenDefault_ = pane; }

  // The window's panes in creation order (the window pane first).
  const std::vector<SubPane*>& Panes() const { return panes_; }
  void AddPane(SubPane* pane);
  // Inserts at the index (clamped to the end); a listed pane moves there.
  void InsertPaneAt(size_t index, SubPane* pane);
  void RemovePane(SubPane* pane);

  // The window panes alive now.
  static const std::vector<WindowPane*>& LiveWindowPanes();
  // Forgets a dying pane everywhere: lists, focused controls, default
  // buttons.
  static void ForgetPane(SubPane* pane);

  // The top window became visible or hidden.
  void TopWindowShown(bool shown);
  // The top window's client area changed size.
  void ClientResized(int width, int height);

  COLORREF BackgroundColor() override;
  // Keys no pane used fire the window's KeyDown event.
  bool CharacterEntry(uint32_t codePoint, uint32_t modifiers) override;
  bool HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers) override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  ~WindowPane() override;

 private:
  RuntimeObject* windowObject_;
  bool mdiChild_;
  bool hasBackColor_ = false;
  COLORREF backColor_ = 0;
  SubPane* focusedControl_ = nullptr;
  SubPane* chosenDefault_ = nullptr;
  std::vector<SubPane*> panes_;
};
