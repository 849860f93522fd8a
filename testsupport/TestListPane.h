// A list pane for tests of the list base: a CommonListbox whose list
// operations log "InvalidateCells(-1,-1)", "ColumnResized(0)" and
// "HeaderPressed(1)" (UiTestSupport.h's Log), with a settable row count and
// row height. The mouse goes to the heading row: a press on a divider
// starts the column drag, the release ends it and gives the capture back.
#pragma once
#include <initializer_list>

#include "controls/listbox/CommonListbox.h"
#include "testsupport/UiTestSupport.h"

class TestListPane : public CommonListbox {
 public:
  explicit TestListPane(const PaneSite& site);

  int32_t rowCount = 0;
  int32_t rowHeight = 0;  // 0: the font's line height

  // The width expressions of the columns, one per column, then the layout.
  void SetColumns(std::initializer_list<const char*> widths);

  void InvalidateCells(int32_t row, int32_t column) override;
  void ColumnResized(int32_t column) override;
  void HeaderPressed(int32_t column) override;
  int32_t RowCount() override { return rowCount; }
  int32_t RowHeight(int32_t row) override;
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;

 protected:
  ~TestListPane() override = default;
};

// A test control in the window whose pane is a new test list pane.
TestListPane* PlaceTestList(RuntimeObject* window, const MacRect& bounds,
                            ObjectRef* control = nullptr);
