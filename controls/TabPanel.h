// The TabPanel control: a row of tabs in a Win32 "SysTabControl32" over
// pages of controls. Tab n (from 0) shows the children whose page index is
// n + 1 (PanelPages.h). Each caption line is a tab; a tab's mnemonic is a
// window shortcut ("Alt+X") that selects it.
//
// One ControlPane holds the control directly (no host). Its events go
// through a TabPanelListener; the class's listener raises "Change",
// "MouseDown", "GotFocus" and "LostFocus", and the pane itself "MouseDrag"
// and "MouseUp", each with the pane locked and the control held, so a
// handler may close the window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controls/PanelPages.h"
#include "core/Layout.h"
#include "ui/ControlPane.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

// The tab-panel object; property records point at these fields.
struct TabPanelFields {
  RuntimeControl control;
  StringRecord* caption;  // locked; one tab per line
  int32_t tabPosition;    // 0 top, 1 bottom, 2 right, 3 left; read at creation
  int32_t value;          // the tab (from 0) selected when the pane is made
};
static_assert(!kLayoutIs32Bit || offsetof(TabPanelFields, caption) == 64, "Caption at 64");
static_assert(!kLayoutIs32Bit || sizeof(TabPanelFields) == 76, "a tab panel is 76 bytes");

// "TabPanel" (superclass RectControl), built on the first request.
ObjectDefinition* GetTabPanelClassDefinition();

class TabPanelPane;

// What a tab pane tells, in slot order. x and y are in window coordinates.
class TabPanelListener {
 public:
  virtual void TabSelected(TabPanelPane* pane) = 0;
  virtual void FocusGained(TabPanelPane* pane) = 0;
  virtual void FocusLost(TabPanelPane* pane) = 0;
  // True when the press was taken (the tabs then do not see it).
  virtual bool TabMouseDown(TabPanelPane* pane, int32_t x, int32_t y, uint32_t modifiers) = 0;

 protected:
  ~TabPanelListener() = default;
};

class TabPanelPane : public PagedPane<ControlPane> {
 public:
  // The tabs at the position (any other value than 1, 2 or 3 means top),
  // with no tab yet. The listener is not owned.
  TabPanelPane(TabPanelListener* listener, const FontDescriptor& font, SubPane* parent,
               int32_t tabPanelIndex, const MacRect& bounds, int32_t position);

  // The control whose handlers run (not counted); nil once closing.
  RuntimeObject* Control() const { return control_; }
  void SetControl(RuntimeObject* control) { control_ = control; }

  // Tab `index` (from 0): its text (W on NT, A in the system encoding) and
  // its "Alt+" shortcut, replaced or removed with the caption's mnemonic.
  // Nothing for a missing tab.
  virtual void SetTabCaption(int32_t index, const StringRecord* caption);
  // A new string: the whole caption (UTF-8 on NT, the system encoding
  // otherwise); empty for a missing tab.
  virtual StringRecord* GetTabCaption(int32_t index);
  // Selects the tab `n` (from 1) without telling anyone; its page shows.
  void SelectQuietly(int32_t n);
  // Removes tab `first` (from 0) and those after it, with their shortcuts.
  // A removed current tab leaves the last one left current, quietly; with
  // no tab left no page shows.
  void RemoveTabsFrom(int32_t first);

  // The listener first: a taken press goes no further. Otherwise the
  // children under the point, then the tabs.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  // "MouseDrag" and "MouseUp" at the point relative to the control.
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  // The keyboard focus, then FocusGained unless closing.
  void TakeFocus() override;
  void LoseFocus() override;
  // The arrow keys go to the tabs.
  bool ArrowKeysMoveFocus() override;
  // A tab's shortcut selects the tab.
  void ActivateShortcut(uint32_t kind) override;
  bool IsTabPanel() override;
  // TCN_SELCHANGE: the new page shows, then TabSelected.
  bool ControlNotification(int32_t code, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  void Close() override;

 protected:
  ~TabPanelPane() override = default;

 private:
  friend void TabPanelPaneSetSelectedTab(TabPanelPane* pane, int32_t n);
  friend void TabPanelPaneAppendTab(TabPanelPane* pane, const StringRecord* caption);
  // Sets the text of tab `index`, or inserts a tab there with it (the
  // control lays its tabs out once per message), and the tab's shortcut.
  void WriteTab(int32_t index, const StringRecord* caption, bool insert);
  // The native selection's page shows, then the listener hears of it.
  void SelectionChanged();

  TabPanelListener* listener_;
  RuntimeObject* control_ = nullptr;
};

TabPanelPane* CreateTabPanelPane(TabPanelListener* listener, const FontDescriptor& font,
                                 SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                                 int32_t position);
// The selected tab from 1; 0 when none is.
int32_t TabPanelPaneGetSelectedTab(TabPanelPane* pane);
// Selects the tab `n` (from 1), then TabSelected, also when it was selected.
void TabPanelPaneSetSelectedTab(TabPanelPane* pane, int32_t n);
int32_t TabPanelPaneTabCount(TabPanelPane* pane);
// A new last tab with the caption.
void TabPanelPaneAppendTab(TabPanelPane* pane, const StringRecord* caption);

extern "C" {
// The class's "CreatePane": the pane, one tab per caption line, the kept
// Value selected (clamped, no Change), re-parented into the parent control's
// pane.
void TabPanelCreatePaneHook(RuntimeObject* control);
void TabPanelDestruct(RuntimeObject* control);
// Caption: existing tabs take the new lines in order, extra lines append
// tabs and tabs beyond the lines go (RemoveTabsFrom).
void TabPanelCaptionSetter(RuntimeObject* control, uint32_t offset, StringRecord* caption);
// The tab count; without a pane, the tabs the caption will make.
int32_t TabPanelPanelCountGetter(RuntimeObject* control, uint32_t offset);
// Value, the selected tab from 0. With a pane it is clamped to the tabs and
// selected with Change; without one it is kept for the pane.
int32_t TabPanelValueGetter(RuntimeObject* control, uint32_t offset);
void TabPanelValueSetter(RuntimeObject* control, uint32_t offset, int32_t value);
}
