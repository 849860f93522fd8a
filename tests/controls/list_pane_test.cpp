// The list base in a window: divider drags and cursors, headings, scroll
// bars and the ListColumn class, on the test list pane.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "controls/listbox/ListColumn.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "testsupport/TestListPane.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"

namespace {

using Lines = std::vector<std::string>;

StringRef Text(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }
std::string Bytes(StringRecord* owned) { return StringBytes(StringRef::Adopt(owned).get()); }

bool CursorIs(int32_t id) {
  return GetCursor() == LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

bool TookOutOfBounds() {
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  return ObjectIsADefinition(exception.get(), GetOutOfBoundsExceptionClassDefinition());
}

class ListPaneTest : public WindowSystemTest {
 protected:
  void SetUp() override {
    WindowSystemTest::SetUp();
    window_ = OpenTestWindow();
  }
  void TearDown() override {
    window_ = ObjectRef();
    WindowSystemTest::TearDown();
  }
  // A list whose content is width - 4 wide, heading shown.
  TestListPane* List(const MacRect& bounds, std::initializer_list<const char*> widths) {
    TestListPane* list = PlaceTestList(window_.get(), bounds, &control_);
    list->SetColumns(widths);
    list->SetHasHeading(true);
    TakeLog();
    return list;
  }
  std::vector<int32_t> Widths(TestListPane* list) {
    std::vector<int32_t> widths;
    for (int32_t i = 0; i < list->ColumnCount(); ++i) widths.push_back(list->ColumnWidth(i));
    return widths;
  }
  ObjectRef window_;
  ObjectRef control_;
};

TEST_F(ListPaneTest, DividerDragsMoveWidthBetweenNeighboursWithinTheirBounds) {
  TestListPane* list = List(Rect(5, 5, 404, 100), {"100", "100", "*"});
  list->SetAllColumnsResizable(true);
  const int32_t y = 15, divider = list->ColumnRight(0);
  auto drag = [&](int32_t from, int32_t dx) {
    EXPECT_TRUE(list->MouseDown(from, y, 0));
    EXPECT_EQ(GetMouseCapturePane(), list);
    list->MouseDrag(from + dx, y, 0);
  };
  drag(divider, 30);
  EXPECT_EQ(Widths(list), (std::vector<int32_t>{130, 70, 200}));
  EXPECT_EQ(StringBytes(list->GetColumnExpression(kWidthExpression, 0).get()), "130");
  EXPECT_EQ(StringBytes(list->GetColumnExpression(kWidthExpression, 1).get()), "70");
  EXPECT_TRUE(CursorIs(6601));
  list->MouseUp(divider + 30, y, 0);
  EXPECT_EQ(GetMouseCapturePane(), nullptr);
  EXPECT_EQ(list->HeadingPane(1)->Bounds().left, list->ColumnLeft(1));

  list->SetColumns({"100", "100", "*"});
  list->SetColumnExpression(kMinWidthExpression, 0, Text("80").get());
  drag(divider, -30);
  EXPECT_EQ(Widths(list), (std::vector<int32_t>{80, 120, 200}));
  EXPECT_TRUE(CursorIs(6603));
  list->MouseUp(divider - 30, y, 0);
  EXPECT_EQ(TakeLog(), (Lines{"ColumnResized(0)", "ColumnResized(0)"}));

  // The last column of a star layout has no neighbour to take from.
  const int32_t last = list->ColumnRight(2);
  list->AdjustHeadingCursor(last, y);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
  drag(last, 20);
  list->MouseUp(last + 20, y, 0);
  EXPECT_EQ(Widths(list), (std::vector<int32_t>{80, 120, 200}));
  EXPECT_EQ(TakeLog(), Lines{});
}

TEST_F(ListPaneTest, HeadingsTakeCaptionsSortClicksAndFollowTheEdgesReused) {
  const int32_t headingsBefore = ColumnHeadingPane::LiveCount();
  TestListPane* list = List(Rect(5, 5, 404, 100), {"50", "50", "50", "50"});
  list->SetHeading(-1, Text("A\t\tC\rX").get());
  std::string captions;
  for (int32_t k = 0; k < 4; ++k) captions += StringBytes(list->HeadingPane(k)->Caption());
  EXPECT_EQ(captions, "A1C3");

  auto click = [](SubPane* heading) {
    const MacRect& r = heading->Bounds();
    heading->MouseDown((r.left + r.right) / 2, r.top + 5, 0);
    heading->MouseUp((r.left + r.right) / 2, r.top + 5, 0);
  };
  std::vector<int> directions;
  for (int i = 0; i < 2; ++i) {
    click(list->HeadingPane(1));
    directions.push_back(list->ColumnSortDirection(1));
  }
  click(list->HeadingStrip()->Children().back());  // the right filler
  const int32_t sorted = list->SortedColumn();
  list->SetSortedColumn(64);
  list->SetSortedColumn(-2);
  list->SetColumnSortDirection(64, kSortDescending, true);
  list->SetHeading(64, Text("Z").get());
  EXPECT_EQ(TakeLog(), (Lines{"HeaderPressed(1)", "HeaderPressed(1)"}));
  EXPECT_EQ(directions, (std::vector<int>{kSortAscending, kSortDescending}));
  EXPECT_EQ(list->SortedColumn(), sorted);
  for (int32_t k = 0; k < 4; ++k) captions += StringBytes(list->HeadingPane(k)->Caption());
  EXPECT_EQ(captions, "A1C3A1C3");

  list->SetColumnCount(20);
  list->LayoutColumns();
  EXPECT_EQ(list->HeadingPaneCount(), 22);
  EXPECT_EQ(ColumnHeadingPane::LiveCount() - headingsBefore, 22);
  const int32_t made = ColumnHeadingPane::Constructions();
  for (int32_t step = 1; step <= 100; ++step) {
    list->SetScrollOffsetX(step * 13);
    list->ComputeColumnPositions();
    list->RebuildHeadings();
    for (int32_t k = 0; k < 20; ++k) {
      ASSERT_EQ(list->HeadingPane(k)->Bounds().left, list->ColumnLeft(k)) << step;
      ASSERT_EQ(list->HeadingPane(k)->Bounds().right, list->ColumnRight(k)) << step;
    }
  }
  EXPECT_EQ(ColumnHeadingPane::Constructions(), made);
  WindowClose(window_.get());
  RunPendingTurns();
  EXPECT_EQ(ColumnHeadingPane::LiveCount(), headingsBefore);
  EXPECT_EQ(Pane::LiveCount(), PanesBeforeTest());
}

int paints = 0;
LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR) {
  if (message == WM_PAINT) ++paints;
  return DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(ListPaneTest, ScrollBarsFollowRowsAndColumnsAndRepaintOncePerTurn) {
  TestListPane* rows = List(Rect(5, 5, 100, 164), {"*"});
  rows->SetHasHeading(false);
  rows->rowHeight = 16;
  rows->rowCount = 100;
  rows->ShowVerticalScrollBar();
  ScrollerPane* vertical = rows->VerticalScrollBar();
  EXPECT_EQ(ScrollerPaneGetMaximum(vertical), 90);
  EXPECT_EQ(ScrollerPaneGetPageStep(vertical), 9);

  TestListPane* columns = List(Rect(0, 175, 304, 60), {"200", "200", "200"});
  columns->ShowHorizontalScrollBar();
  EXPECT_EQ(ScrollerPaneGetMaximum(columns->HorizontalScrollBar()), 300);
  EXPECT_EQ(ScrollerPaneGetPageStep(columns->HorizontalScrollBar()), 280);

  RunPendingTurns();
  HWND bar = vertical->GetNativeHandle();
  paints = 0;
  ASSERT_TRUE(SetWindowSubclass(bar, CountPaints, 1, 0));
  int wrong = 0;
  for (int32_t i = 0; i < 10000; ++i) {
    rows->rowCount = i * 37 % 5000;
    rows->UpdateVerticalScrollBar();
    if (ScrollerPaneGetMaximum(vertical) != std::max(rows->rowCount - 10, 0)) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(paints, 0);
  RuntimeTestEnvironment::RunTurns(2);
  RunPendingTurns();
  EXPECT_TRUE(paints >= 1 && paints <= 2) << paints;
  RemoveWindowSubclass(bar, CountPaints, 1);
}

TEST_F(ListPaneTest, ListColumnsReadAndWriteThePaneWithinTheEdgeRange) {
  TestListPane* list = List(Rect(5, 5, 404, 100), {"100", "*", "2*"});
  const uint32_t objects = RuntimeLiveObjectCount();
  ObjectRef column = ObjectRef::Adopt(listColumnGetter(control_.get(), 1));
  EXPECT_EQ(Bytes(listColWidthExpressionGetter(column.get(), kWidthExpression)), "*");
  EXPECT_EQ(Bytes(listColWidthExpressionGetter(column.get(), kMinWidthExpression)), "0");
  EXPECT_EQ(Bytes(listColWidthExpressionGetter(column.get(), kMaxWidthExpression)), "-1");
  EXPECT_EQ(listColWidthActualGetter(column.get(), kWidthExpression), 100);
  EXPECT_EQ(listColWidthActualGetter(column.get(), kMaxWidthExpression), -1);

  ObjectRef first = ObjectRef::Adopt(listColumnGetter(control_.get(), 0));
  listColWidthExpressionSetter(first.get(), kWidthExpression, Text("50%").get());
  EXPECT_EQ(Widths(list), (std::vector<int32_t>{200, 66, 134}));
  EXPECT_EQ(list->HeadingPane(1)->Bounds().left, list->ColumnLeft(1));
  EXPECT_EQ(TakeLog(), Lines{"InvalidateCells(-1,-1)"});

  list->SetColumnCount(64);
  list->LayoutColumns();
  const std::vector<int32_t> widths = Widths(list);
  EXPECT_EQ(listColumnGetter(control_.get(), 64), nullptr);
  EXPECT_TRUE(TookOutOfBounds());
  listColumnSetter(control_.get(), 64, first.get());
  EXPECT_TRUE(TookOutOfBounds());
  EXPECT_EQ(Widths(list), widths);
  EXPECT_EQ(StringBytes(list->GetColumnExpression(kWidthExpression, 0).get()), "50%");
  column = ObjectRef();
  first = ObjectRef();
  EXPECT_EQ(RuntimeLiveObjectCount(), objects);
}

}  // namespace
