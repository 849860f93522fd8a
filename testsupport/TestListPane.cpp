#include "testsupport/TestListPane.h"

#include <string>

#include "ui/PaneFocus.h"

TestListPane::TestListPane(const PaneSite& site)
    : CommonListbox(site.parent, site.tabPanelIndex, site.bounds, nullptr) {}

void TestListPane::SetColumns(std::initializer_list<const char*> widths) {
  SetColumnCount(int32_t(widths.size()));
  int32_t column = 0;
  for (const char* width : widths) {
    StringRef text = StringRef::Adopt(StringFromASCII(width));
    SetColumnExpression(kWidthExpression, column++, text.get());
  }
  LayoutColumns();
}

void TestListPane::InvalidateCells(int32_t row, int32_t column) {
  Log("InvalidateCells(" + std::to_string(row) + "," + std::to_string(column) + ")");
}

void TestListPane::ColumnResized(int32_t column) {
  Log("ColumnResized(" + std::to_string(column) + ")");
}

void TestListPane::HeaderPressed(int32_t column) {
  Log("HeaderPressed(" + std::to_string(column) + ")");
}

int32_t TestListPane::RowHeight(int32_t row) {
  return rowHeight > 0 ? rowHeight : CommonListbox::RowHeight(row);
}

bool TestListPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (!HeadingsMouseDown(x, y, modifiers)) return false;
  if (GetMouseCapturePane() == this) SetColumnDragging(true);
  return true;
}

void TestListPane::MouseDrag(int32_t x, int32_t y, uint32_t) {
  if (ColumnDragging()) HeadingsMouseDrag(x, y);
}

void TestListPane::MouseUp(int32_t, int32_t, uint32_t) {
  if (!ColumnDragging()) return;
  SetColumnDragging(false);
  HeadingsMouseUp();
  SetMouseCapturePane(nullptr);
}

TestListPane* PlaceTestList(RuntimeObject* window, const MacRect& bounds, ObjectRef* control) {
  static int placed = 0;
  const std::string name = "List" + std::to_string(++placed);
  TestListPane* pane = nullptr;
  ObjectRef made = PlaceControl(window, name.c_str(), bounds, [&](const PaneSite& site) {
    return pane = new TestListPane(site);
  });
  if (control) *control = made;
  return pane;
}
