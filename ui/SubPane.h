// Sub-panes: the panes behind every on-screen element of a window, each over
// a native child window, in a tree whose root is the window pane.
//
// Coordinates: a pane's bounds and the (x, y) of every mouse operation are in
// the client coordinates of the pane's top window. A pane's native window
// sits at its bounds less the top-left of the pane whose window is its native
// parent. A pane whose window could not be made lives without one; the
// operations that need the window then do nothing.
//
// Lifetime (see Pane): Unlock is the only way a pane is disposed of. Every
// message a window procedure routes to a pane runs with the pane's owner
// chain locked, so a handler may close its own window: the panes survive
// until the outermost Unlock. Disposing of a pane leaves every role it holds
// (focus, capture, the pane under the pointer, the current drawing pane, its
// window's focused control and default button), drops its deferred updates
// and shortcuts, detaches its remaining children (each dies by its own
// Unlock) and destroys its native window when it still holds one.
//
// The operations below carry the defaults of the base pane; control panes
// override what they need.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/pane.h"

struct FontDescriptor;
struct RuntimeObject;
class SubPane;
class WindowPane;

// State-change codes of BroadcastStateChange.
enum PaneStateChange : int32_t {
  kPaneEnable = 5,
  kPaneDisable = 6,
  kPaneShow = 7,
  kPaneHide = 8,
};

// A pane's delegate: told of the pane's notifications (NotifyDelegate).
class PaneDelegate {
 public:
  virtual ~PaneDelegate() = default;
  virtual void Notify(SubPane* pane, int32_t code, int32_t argument);
};

// The panes that LockOwnerChain locked, from the pane outwards.
using OwnerChain = std::vector<SubPane*>;

class SubPane : public Pane {
 public:
  // Makes the pane under parent (nil: a root) and, when windowClass is given,
  // its native window of that class with the name as its text, as a child of
  // the parent's window: visible unless off the parent's current page
  // (WS_CHILD, WS_VISIBLE and WS_CLIPSIBLINGS are added to style) and on top
  // of its siblings. The run-time's own classes
  // ("KV_Pane", "KV_CanvasPane") route their messages to the pane. A
  // tab-panel page index of 0 or less means on no page. A pane made under a
  // window's tree joins that window's list of panes.
  SubPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds, const StringRecord* name,
          const char* windowClass, uint32_t style, uint32_t exStyle);

  // The outermost owner (the window pane when the pane is in a window).
  static SubPane* GetTopPane(SubPane* pane);
  // The window pane of the pane's tree; nil when the top is no window pane.
  WindowPane* TopWindowPane();

  // ---- Flags ----
  // Visible: the pane's own flag; shown: visible, on its owner's current page
  // and with all owners shown.
  bool IsVisible() const { return visible_; }
  bool IsShown() const;
  // The pane's own flag and all owners enabled.
  bool IsEnabled() const;
  bool IsActive() const { return active_; }
  bool IsClosing() const { return closing_; }
  int32_t TabPanelIndex() const { return tabPanelIndex_; }
  const std::vector<SubPane*>& Children() const { return children_; }
  HWND NativeWindow() const { return window_; }
  // The cursor shown over the pane (a cursor object; the pane keeps a
  // reference); nil lets the owner's or the default show.
  void SetPaneCursor(RuntimeObject* cursor);

  // ---- Lifetime ----
  void LockOwnerChain(OwnerChain* chain);
  // Unlocks exactly the recorded panes, the pane first; true when the first
  // (the pane itself) was disposed of.
  static bool UnlockOwnerChain(OwnerChain* chain);

  // ---- Drawing ----
  bool HasNativeWindow() const override;
  virtual void Draw(GraphicsPort* port);
  // Repaints the pane now.
  virtual void Redraw();
  virtual void Invalidate(bool erase);
  // Adjusts the rectangle (AdjustRedrawRect), then invalidates it in the top
  // window with its children, so marks drawn outside the pane's own window
  // repaint too.
  virtual void InvalidateRect(const MacRect& rect, bool erase);
  // May grow a rectangle to cover what the pane draws outside it; true when
  // it changed it.
  virtual bool AdjustRedrawRect(MacRect* rect);
  // The bounds as AdjustRedrawRect leaves them.
  virtual MacRect GetRedrawBounds();
  void Validate() override;
  void ValidateRect(const MacRect& rect) override;
  // Fills the pane with its background colour.
  void EraseBackground() override;
  HDC AcquireDC(uint32_t* releaseToken) override;
  void ReleaseDC(uint32_t releaseToken) override;
  // The colour the pane's background shows: the owner's; a window pane
  // answers its backdrop.
  virtual COLORREF BackgroundColor();
  // The text baseline from the pane's top; false (and 0) when the pane has
  // no text.
  virtual bool BaselineOffset(int32_t* offset);
  virtual void SetTextFont(const FontDescriptor& font);

  // ---- Geometry ----
  // Moves the pane (and its descendants with it) and its native window.
  virtual void SetBounds(const MacRect& rect, bool redraw);
  // The bounds clipped by every owner's.
  virtual void GetClippedBounds(MacRect* out);
  virtual void Scroll(const MacRect& rect, int32_t dx, int32_t dy);
  // Invalidates what a change from oldBounds uncovered or covered anew.
  virtual void ResizeRedrawEdges(const MacRect& oldBounds);
  virtual void ShowNative(bool show);

  // ---- Mouse ----
  // The base passes a press to the topmost visible enabled child under the
  // point and answers true when that child took it.
  virtual bool MouseDown(int32_t x, int32_t y, uint32_t modifiers);
  virtual bool RightMouseDown(int32_t x, int32_t y, uint32_t modifiers);
  virtual void MouseDrag(int32_t x, int32_t y, uint32_t modifiers);
  virtual void MouseUp(int32_t x, int32_t y, uint32_t modifiers);
  virtual void MouseEnter(int32_t x, int32_t y, uint32_t modifiers);
  virtual void MouseMove(int32_t x, int32_t y, uint32_t modifiers);
  virtual void MouseLeave();
  // The base passes the wheel to the owner; true when used.
  virtual bool MouseWheel(int32_t x, int32_t y, int32_t delta, uint32_t modifiers);
  // The cursor object to show at the point: the children's first, then the
  // pane's own; nil for none.
  virtual RuntimeObject* AdjustCursor(int32_t x, int32_t y);
  // Whether the mouse, pressed at (x, y), moved far enough to start a drag.
  virtual bool DetectDrag(int32_t x, int32_t y);

  // ---- Keys ----
  // A character typed (a Unicode code point); true when used.
  virtual bool CharacterEntry(uint32_t codePoint, uint32_t modifiers);
  // A key without a character of its own (arrows, function keys ...) with
  // its key character (VirtualKeyToKeyChar); true when used.
  virtual bool HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers);
  // Whether a key the pane did not use goes on to its owner.
  virtual bool KeyToOwner();
  // Whether the arrow keys move the focus away from this pane.
  virtual bool ArrowKeysMoveFocus();
  // Called on a pane that Tab or an arrow key is about to focus.
  virtual void SelectOnKeyboardFocus();
  virtual bool GetAcceptTabs();
  // A list's in-place cell editor: Enter and Escape are its own, never the
  // window's default or cancel button's.
  virtual bool IsListCellEditor();
  virtual bool IsMultiLine();
  // A window shortcut registered for the pane fired. Kind 1 (a control's
  // window) clicks a "BUTTON" and focuses anything else.
  virtual void ActivateShortcut(uint32_t kind);

  // ---- Focus ----
  // Makes the pane its window's focused control when it accepts the focus,
  // and gives its native window the keyboard focus.
  virtual void TakeFocus();
  virtual void LoseFocus();
  virtual bool CanAcceptFocus();

  // ---- State ----
  // The base broadcasts kPaneEnable / kPaneDisable.
  virtual void SetEnabled(bool enabled, bool redraw);
  // Enable, disable, show or hide the pane: its own flag changes, its native
  // window follows, and every child is told that its owner changed (its own
  // flags stay, its effective state and native window follow).
  virtual void BroadcastStateChange(int32_t code);
  virtual void OwnerShownChanged(bool shown);
  virtual void OwnerEnabledChanged(bool enabled);
  virtual void Activate();
  virtual void Deactivate();
  // Marks the pane closing and gives up the capture and the focus.
  virtual void Close();
  virtual void Idle();

  // ---- Tree ----
  virtual SubPane* GetOwner();
  // Moves the pane (with its native window) under another parent, keeping
  // its bounds; its native window is then shown as its flag and the new
  // owner's page say.
  virtual void Reparent(SubPane* newParent);
  // Re-parents the pane into the smallest sibling that Encloses it.
  virtual void EmbedInEnclosingPane();
  virtual void RemoveChild(SubPane* child);
  virtual void ReembedAll();
  virtual bool Encloses(SubPane* pane);
  virtual void ForEachLeaf(const std::function<void(SubPane*)>& callback);
  // The pane that does the work (a host answers its native pane) and the one
  // that stands for the control (a native pane answers its host).
  virtual SubPane* WorkingPane();
  virtual SubPane* RepresentativePane();
  virtual bool IsTabPanel();
  virtual bool IsPagePanel();
  // Whether the child is on the pane's current page. Panels answer for the
  // children placed on their pages; every other pane answers true. A child
  // off the page is not shown, its native window stays hidden and presses
  // pass it by.
  virtual bool ChildOnCurrentPage(const SubPane* child) const;
  virtual HWND GetNativeHandle();

  // ---- Buttons ----
  // The pane when it is a default (cancel) button now; nil otherwise.
  virtual SubPane* DefaultButtonCandidate();
  virtual SubPane* CancelButtonCandidate();
  // Whether the pane, when focused, takes the default button's role.
  virtual bool CanBeDefaultButton();
  virtual void PressButton();
  // The window's choice of default button, passed to every pane.
  virtual void SetDefaultButton(SubPane* chosen);
  virtual void RadioGroupNotify(SubPane* sender);

  // ---- Drag and drop ----
  virtual SubPane* FindDropTarget(int32_t x, int32_t y, RuntimeObject* dragItem);
  virtual void TrackDrag(int32_t x, int32_t y, RuntimeObject* dragItem);
  virtual void DragExit(RuntimeObject* dragItem);
  virtual void MakeDragImage(GraphicsPort* port);
  virtual void BroadcastDragImage(GraphicsPort* port);

  // ---- Menus (passed to the owner) ----
  virtual void EnableMenuItems();
  virtual bool AskOwner(RuntimeObject* menuItem);
  virtual bool HandleMenuItem(RuntimeObject* menuItem);

  // ---- Native messages ----
  // A notification from the pane's control (WM_COMMAND, WM_NOTIFY,
  // WM_DRAWITEM, WM_HSCROLL, WM_VSCROLL) with its code; true when used.
  virtual bool ControlNotification(int32_t code, UINT message, WPARAM wParam, LPARAM lParam);
  // WM_NOTIFY; the base calls ControlNotification with the header's code.
  virtual bool HandleNotify(NMHDR* header, LRESULT* result);
  // Every message of the pane's window: the run-time's default handling.
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Tells the delegate; a pane may act on a notification itself first.
  virtual void NotifyDelegate(int32_t code, int32_t argument);
  PaneDelegate* Delegate() const { return delegate_; }

  // The topmost visible child under the point (enabled ones only when asked).
  SubPane* ChildAt(int32_t x, int32_t y, bool enabledOnly);

 protected:
  // A pane without a native window of its own yet (the window pane makes its
  // top window itself).
  SubPane(SubPane* parent, const MacRect& bounds);
  ~SubPane() override;

  // The native window, once made; the run-time's own classes attach it when
  // it is created.
  void AttachWindow(HWND window);
  // The window was destroyed under the pane: forget it.
  virtual void ForgetWindow();
  // The point where the pane's window sits in its native parent.
  POINT NativeOrigin();

 private:
  friend void PaneSetDelegate(SubPane* pane, PaneDelegate* delegate);
  friend void AttachPaneWindow(SubPane* pane, HWND window);
  friend void ForgetPaneWindow(SubPane* pane);
  friend class WindowPane;

  void JoinTree(SubPane* parent);
  // Invalidates the rectangle (top-window coordinates) in the top window and
  // its children, with the extra RedrawWindow flags.
  void RedrawInTopWindow(const MacRect& rect, UINT flags);
  void MakeNativeWindow(const StringRecord* name, const char* windowClass, uint32_t style,
                        uint32_t exStyle);
  void ShiftDescendants(int32_t dx, int32_t dy);
  void UpdateNativeEnabled();
  void LeaveRoles();

  SubPane* parent_ = nullptr;
  std::vector<SubPane*> children_;
  HWND window_ = nullptr;
  int32_t tabPanelIndex_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  bool active_ = false;
  bool closing_ = false;
  PaneDelegate* delegate_ = nullptr;
  RuntimeObject* cursor_ = nullptr;  // owned reference
};

// The common native pane: a sub-pane over a native window that can take the
// keyboard focus while it is shown and enabled. Control panes derive from it.
class NativePane : public SubPane {
 public:
  NativePane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
             const StringRecord* name, const char* windowClass, uint32_t style, uint32_t exStyle);
  bool CanAcceptFocus() override;

 protected:
  ~NativePane() override;
};

// Locks a pane's owner chain for a scope.
class OwnerChainLock {
 public:
  explicit OwnerChainLock(SubPane* pane) {
    if (pane) pane->LockOwnerChain(&chain_);
  }
  ~OwnerChainLock() { SubPane::UnlockOwnerChain(&chain_); }
  OwnerChainLock(const OwnerChainLock&) = delete;
  OwnerChainLock& operator=(const OwnerChainLock&) = delete;

 private:
  OwnerChain chain_;
};

// Sets the pane's delegate, once: a second delegate is reported through
// AssertionFailed and ignored. The pane does not own it.
void PaneSetDelegate(SubPane* pane, PaneDelegate* delegate);
// The pane's group among its siblings: the smallest sibling whose rectangle
// encloses the pane gives the siblings inside it, other than itself (all
// other siblings when none encloses the pane), in the owner's child order.
std::vector<SubPane*> PaneGroupSiblings(SubPane* pane);
// Calls the radio-group notification of every pane of the pane's group.
void PaneNotifyGroupSiblings(SubPane* pane);
// Attaching and forgetting the native window of a pane, for the window
// procedures.
void AttachPaneWindow(SubPane* pane, HWND window);
void ForgetPaneWindow(SubPane* pane);
