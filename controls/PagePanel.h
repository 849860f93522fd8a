// The PagePanel control: pages of controls without tabs, switched by its
// Value alone. Page n (from 0) shows the children whose page index is n + 1
// (PanelPages.h); a negative Value shows none.
//
// The pane is a transparent "KV_CanvasPane" over the control's bounds. The
// control's "Change" runs with the pane locked and the control held, so a
// handler may close the window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controls/PanelPages.h"
#include "core/Layout.h"
#include "ui/runctl.h"

// The page-panel object; property records point at these fields.
struct PagePanelFields {
  RuntimeControl control;
  int32_t panelCount;  // 1 for a new panel
  int32_t value;       // the page (from 0) shown when the pane is made
};
static_assert(!kLayoutIs32Bit || offsetof(PagePanelFields, panelCount) == 64, "PanelCount at 64");
static_assert(!kLayoutIs32Bit || sizeof(PagePanelFields) == 72, "a page panel is 72 bytes");

// "PagePanel" (superclass RectControl), built on the first request.
ObjectDefinition* GetPagePanelClassDefinition();

class PagePanelPane : public PagedPane<NativePane> {
 public:
  // Shows page 1 (Value 0).
  PagePanelPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds);

  // Makes the page (from 1) current: its children show, the others hide.
  void ShowPage(int32_t page) { SetPage(page); }
  bool IsPagePanel() override;

 protected:
  ~PagePanelPane() override = default;
};

extern "C" {
// Value: the page from 0. Without a pane the kept value.
int32_t PagePanelValueGetter(RuntimeObject* control, uint32_t offset);
// A value at or above PanelCount becomes PanelCount - 1; there is no lower
// bound. With a pane its page shows, then "Change" runs, on every
// assignment; without one it is kept for the pane.
void PagePanelValueSetter(RuntimeObject* control, uint32_t offset, int32_t value);
// The class's "CreatePane": the pane showing the kept Value's page (clamped
// as the setter clamps, no Change), re-parented into the parent control's
// pane.
void PagePanelCreatePaneHook(RuntimeObject* control);
}
