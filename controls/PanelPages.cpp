// The page rule of the panels.
#include "controls/PanelPages.h"

#include <vector>

#include "ui/PaneFocus.h"

bool PanelEncloses(const SubPane* panel, const SubPane* child) {
  const MacRect& outer = panel->Bounds();
  const MacRect& inner = child->Bounds();
  return child->TabPanelIndex() >= 1 && inner.left >= outer.left && inner.top >= outer.top &&
         inner.right <= outer.right && inner.bottom <= outer.bottom;
}

void SwitchPanelPage(SubPane* panel, int32_t oldPage, int32_t newPage) {
  const bool panelShown = panel->IsShown();
  for (SubPane* child : std::vector<SubPane*>(panel->Children())) {
    const int32_t page = child->TabPanelIndex();
    if (page < 1 || (page != oldPage && page != newPage)) continue;
    child->ShowNative(child->IsVisible());
    child->OwnerShownChanged(panelShown && page == newPage);
  }
  LeavePanelFocusIfHidden(panel);
}

void LeavePanelFocusIfHidden(SubPane* panel) {
  SubPane* focus = GetFocusPane();
  if (!focus || focus->IsShown()) return;
  for (SubPane* owner = focus; owner; owner = owner->GetOwner()) {
    if (owner == panel) {
      SetFocusPane(nullptr);
      return;
    }
  }
}
