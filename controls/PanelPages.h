// The pages of the two panels, the tab panel and the page panel. The controls
// placed on a panel carry a page index counted from 1 (their pane's
// tab-panel index) and only those of the current page show; a child on no
// page (an index below 1) always shows.
//
// The rule lives in the window system's shown state: the panel answers
// ChildOnCurrentPage, so IsShown, a child's native show and the passing of
// presses follow it, also for controls made or shown later. A page switch
// shows or hides natively only the children of the old and the new page.
// Hiding a panel or switching its page takes the focus from a pane of the
// panel that is no longer shown.
#pragma once

#include <cstdint>
#include <utility>

#include "ui/SubPane.h"

// Whether the child joins the panel by its place: a page index of 1 or more
// and bounds inside the panel's.
bool PanelEncloses(const SubPane* panel, const SubPane* child);
// After the panel's page changed from oldPage to newPage: the children of
// both pages are shown or hidden natively and their own children told, then
// the focus leaves the panel when it is no longer shown.
void SwitchPanelPage(SubPane* panel, int32_t oldPage, int32_t newPage);
// Clears the focus pane when it is the panel or lies inside it, and is not
// shown.
void LeavePanelFocusIfHidden(SubPane* panel);

// A panel pane over Base (a SubPane kind): the current page and the rule.
template <class Base>
class PagedPane : public Base {
 public:
  using Base::Base;

  // The current page, from 1; 0 or less shows no page.
  int32_t Page() const { return page_; }

  bool ChildOnCurrentPage(const SubPane* child) const override {
    return child->TabPanelIndex() < 1 || child->TabPanelIndex() == page_;
  }
  bool Encloses(SubPane* child) override { return PanelEncloses(this, child); }
  void BroadcastStateChange(int32_t code) override {
    Base::BroadcastStateChange(code);
    if (code == kPaneHide) LeavePanelFocusIfHidden(this);
  }

 protected:
  ~PagedPane() override = default;

  // Makes the page current (see SwitchPanelPage).
  void SetPage(int32_t page) {
    const int32_t old = std::exchange(page_, page);
    if (old != page) SwitchPanelPage(this, old, page);
  }

 private:
  int32_t page_ = 1;
};
