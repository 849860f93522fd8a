// The list box pane: row store and folders, events, keys and receivers,
// attributes and borders, binding, teardown. Whole event logs are compared.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/PushButton.h"
#include "core/string.h"
#include "graphics/PictureClass.h"
#include "testsupport/DataControlStandIn.h"
#include "testsupport/TestListBox.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"

namespace {

using Lines = std::vector<std::string>;
using ListRowsTest = ListBoxTest;

StringRef Text(const char* text) { return StringRef::Adopt(StringFromUTF8(text)); }
ObjectRef NewPicture() { return ObjectRef::Adopt(CreateInstance(PictureClassDefinition())); }

TEST_F(ListRowsTest, RowsKeepTheirCellsAndObjectsAndEndAnEditAsRowsChange) {
  UseTestCellEditor(true);
  runListbox* list = NewList("List1");
  list->SetColumnCount(3);
  for (const char* text : {"r0", "r1", "r2", "r3", "r4", "r5"}) AddTextRow(list, text);
  EXPECT_EQ(list->InsertRowRecord(-5, nullptr, 0, -1), 0);
  list->RemoveRowRecord(0);
  EXPECT_EQ(RowTexts(list), (Lines{"r0", "r1", "r2", "r3", "r4", "r5"}));
  list->FindCell(1, 3, true);
  ListBoxCell* made = list->FindCell(1, 2, true);
  EXPECT_EQ(list->FindCell(1, 2, true), made);
  std::vector<int32_t> columns;
  for (ListBoxCell* cell = list->GetRowCells(1); cell; cell = cell->next)
    columns.push_back(cell->column);
  EXPECT_EQ(columns, (std::vector<int32_t>{0, 3, 2}));

  ObjectRef first = NewPicture(), second = NewPicture();
  list->SetRowPicture(3, first.get());
  list->SetRowPicture(3, first.get());
  EXPECT_EQ(first->refCount, 2);
  list->SetRowPicture(3, second.get());
  EXPECT_EQ(first->refCount * 10 + second->refCount, 12);

  // An edit on (2, 1) is committed when other rows come or go, dropped when
  // its own row goes.
  list->EditCell(2, 1);
  SetWindowTextW(list->CellEditor()->Window(), L"edited");
  AddTextRow(list, "r6");
  list->EditCell(2, 1);
  list->RemoveRowRecord(5);
  list->EditCell(2, 1);
  list->RowsRemoved(2, 1);
  EXPECT_EQ(TakeLog(),
            (Lines{"EndEdit(2,1,commit)", "EndEdit(2,1,commit)", "EndEdit(2,1,cancel)"}));
  EXPECT_EQ(CellTextOf(list, 2, 1), "edited");
  EXPECT_EQ(list->EditRow(), -1);
}

TEST_F(ListRowsTest, FoldersCollapseAsOneRemovalAndSurviveHandlersThatMoveRows) {
  runListbox* list = NewList("List1");
  list->SetHierarchical(true);
  for (bool removeFolder : {false, true}) {
    list->RemoveAllRows();
    AddTextRow(list, "a", 0, 1);
    AddTextRow(list, "a1", 1);
    AddTextRow(list, "a2", 2);
    AddTextRow(list, "b");
    if (removeFolder) {
      OnListEvent("CollapseRow", [](runListbox* pane, const std::vector<int32_t>&, int32_t*) {
        pane->RemoveRowRecord(0);
        return false;
      });
    }
    TakeLog();
    list->TakeInvalidations();
    EXPECT_TRUE(list->CollapseFolder(0));
    EXPECT_EQ(TakeLog(), Lines{"CollapseRow(0)"});
    EXPECT_EQ(RowTexts(list), removeFolder ? (Lines{"a1", "a2", "b"}) : (Lines{"a", "b"}));
    EXPECT_EQ(TakeInvalidationLines(list).back(), removeFolder ? "Cells(-1,-1)" : "FromRow(0,-1)");
  }
  OnListEvent("CollapseRow", {});

  list->RemoveAllRows();
  for (int16_t state : {-1, -1, 0, -1, -1, 0}) AddTextRow(list, "r", 0, state);
  OnListEvent("ExpandRow", [](runListbox* pane, const std::vector<int32_t>& row, int32_t*) {
    if (row[0] == 2) pane->ExpandFolder(5);
    Log(std::to_string(pane->ExpansionDepth()) + " " + std::to_string(pane->ExpandingRow()));
    return false;
  });
  TakeLog();
  EXPECT_TRUE(list->ExpandFolder(2));
  EXPECT_EQ(TakeLog(), (Lines{"ExpandRow(2)", "ExpandRow(5)", "2 5", "1 2"}));

  // 10,000 children at the top of 100,000 rows: added in place, collapsed
  // as one removal, so the two selected among them change the selection once.
  list->RemoveAllRows();
  AddTextRow(list, "top", 0, 0);
  for (int i = 1; i < 90000; ++i) AddTextRow(list, "x");
  OnListEvent("ExpandRow", [](runListbox* pane, const std::vector<int32_t>&, int32_t*) {
    for (int i = 0; i < 10000; ++i) {
      ListBoxCell* cell = NewListBoxCell(0);
      cell->text = StringFromUTF8("c" + std::to_string(i));
      pane->AddRowPlaced(cell, -1);
    }
    return false;
  });
  list->ExpandFolder(0);
  ASSERT_EQ(list->RowCount(), 100000);
  EXPECT_EQ(CellTextOf(list, 10000, 0) + CellTextOf(list, 10001, 0), "c9999x");
  EXPECT_EQ(list->RowDepth(10000), 1);
  list->SetRowSelected(5, true);
  list->SetRowSelected(9000, true);
  TakeLog();
  list->CollapseFolder(0);
  EXPECT_EQ(TakeLog(), (Lines{"CollapseRow(0)", "Change"}));
  EXPECT_EQ(list->RowCount() * 10 + list->SelectedRowCount(), 900000);
}

TEST_F(ListRowsTest, KeysReachFoldersAndEveryReceiverHearsEachChangeOnce) {
  runListbox* flat = NewList("Flat", Rect(10, 10, 100, 160));
  runListbox* tree = NewList("Tree", Rect(150, 10, 100, 160));
  tree->SetHierarchical(true);
  for (runListbox* list : {flat, tree}) {
    AddTextRow(list, "f", 0, 0);
    AddTextRow(list, "x");
    list->SelectOnlyRow(0, false);
  }
  TakeLog();
  EXPECT_FALSE(flat->HandleKey(VK_RIGHT, 29, 0));
  EXPECT_TRUE(tree->HandleKey(VK_RIGHT, 29, 0));
  EXPECT_TRUE(tree->KeyToOwner(VK_LEFT, 28, 0));
  EXPECT_EQ(TakeLog(), (Lines{"KeyDown(29)", "KeyDown(29)", "ExpandRow(0)", "CollapseRow(0)"}));
  OnListEvent("KeyDown", [](runListbox*, const std::vector<int32_t>&, int32_t*) { return true; });
  EXPECT_TRUE(flat->HandleKey(VK_DOWN, 31, 0));
  EXPECT_EQ(flat->FirstSelectedRow(), 0);

  // A Change handler that selects raises no second Change; a receiver that
  // removes itself (held only by the list) leaves the next one called.
  ObjectRef second = NewSelectionReceiver("second");
  ObjectRef first =
      NewSelectionReceiver("first", [flat](RuntimeObject* self, const std::string& method) {
        if (method == "selectionChanged") flat->RemoveSelectionReceiver(self);
      });
  flat->AddSelectionReceiver(first.get());
  flat->AddSelectionReceiver(second.get());
  first = ObjectRef();
  OnListEvent("Change", [](runListbox* pane, const std::vector<int32_t>&, int32_t*) {
    pane->SelectOnlyRow(0, false);
    return false;
  });
  TakeLog();
  flat->SelectOnlyRow(1, false);
  SetFocusPane(flat);
  SetFocusPane(nullptr);
  EXPECT_EQ(TakeLog(),
            (Lines{"first.selectionChanging", "second.selectionChanging", "Change",
                   "first.selectionChanging", "second.selectionChanging", "first.selectionChanged",
                   "second.selectionChanged", "GotFocus", "LostFocus"}));
}

TEST_F(ListRowsTest, EdgesShowTheLargerSideRowsAreNeverFlatAndScrollingKeepsWidths) {
  runListbox* list = NewList("List1", Rect(10, 10, 200, 160), [](ListboxFields* fields) {
    fields->gridLinesHorizontal = 3;
    fields->columnTypes[1] = 2;
  });
  AddTextRow(list, "a");
  AddTextRow(list, "b");
  const struct {
    uint8_t own, facing;
    int32_t shown;
  } cases[] = {{0, 0, 3}, {1, 0, 1}, {1, 3, 3}, {0, 4, 4}};
  for (const auto& c : cases) {
    list->SetCellBorderStyle(kCellTop, 1, 0, c.own);
    list->SetCellBorderStyle(kCellBottom, 0, 0, c.facing);
    EXPECT_EQ(list->CellBorderStyle(kCellTop, 1, 0, true), c.shown) << int(c.own) << int(c.facing);
  }
  EXPECT_EQ(list->CellBorderStyle(kCellTop, 0, 0, true), 3);
  EXPECT_EQ(
      list->CellBorderStyle(kCellBottom, 2, 0, true) + list->CellBorderStyle(kCellTop, 0, 64, true),
      0);
  EXPECT_EQ(list->EffectiveCellType(0, 1), 2);
  list->FindCell(0, 1, true)->cellType = 3;
  EXPECT_EQ(list->EffectiveCellType(0, 1) * 10 + list->EffectiveCellType(0, 64), 30);

  ObjectRef made = ObjectRef::Adopt(CreateInstance(GetListboxClassDefinition()));
  ListboxFields* fields = ObjectFields<ListboxFields>(made.get());
  EXPECT_EQ(fields->defaultRowHeight, -1);
  WindowAddControl(window_.get(), made.get());
  runListbox* plain = ListBoxPaneOf(made.get());
  const int32_t line = plain->CommonListbox::RowHeight(-1);
  EXPECT_EQ(plain->RowHeight(-1), line);
  plain->SetHierarchical(true);
  plain->FontChanged();
  EXPECT_EQ(plain->RowHeight(-1), std::max(line, 18));
  fields->defaultRowHeight = 0;
  EXPECT_EQ(plain->RowHeight(-1), 1);

  // A dragged width laid out again from its text would come back as 49.
  runListbox* wide = NewList("Wide", Rect(10, 10, 154, 60));
  wide->SetColumnCount(2);
  wide->SetColumnExpression(kWidthExpression, 0, Text("25%").get());
  wide->LayoutColumns();
  wide->SetColumnWidthActual(0, 50);
  wide->SetScrollPositionX(10);
  EXPECT_EQ(wide->ColumnWidth(0), 50);
  EXPECT_EQ(wide->ColumnLeft(0), wide->GetContentRect().left - 10);
}

TEST_F(ListRowsTest, ADataSourceBindsOnceByNameAndBoundRowsReleaseTheirObjects) {
  ObjectRef data = NewDataControlStandIn("Data1");
  WindowAddControl(window_.get(), data.get());
  ObjectRef button = ObjectRef::Adopt(CreateInstance(GetPushButtonClassDefinition()));
  ControlSetName(button.get(), Text("Button1").get());
  WindowAddControl(window_.get(), button.get());
  runListbox* list = NewList("List1");
  for (const char* name : {"data1", "Data1", "Button1", "Data1"}) {
    list->SetDataSourceName(Text(name).get());
    list->BindDataSource();
    const std::vector<BoundControl> expected{{list->Control(), kBoundListBox}};
    EXPECT_EQ(DataStandInBoundControls(data.get()),
              name[0] == 'B' ? std::vector<BoundControl>{} : expected);
  }
  ObjectRef provider = NewListProviderStandIn(1, {"a", "b"});
  {
    BoundRow row(provider.get(), 0);
    EXPECT_EQ(provider->refCount, 2);
    EXPECT_EQ(StringToStdUTF8(row.Text(1).get()) + "|" + StringToStdUTF8(row.Text(3).get()), "b|");
  }
  EXPECT_EQ(provider->refCount, 1);
  CloseAllWindows();
  EXPECT_TRUE(DataStandInBoundControls(data.get()).empty());
}

TEST_F(ListRowsTest, AClosedWindowLeavesNoRowsReceiversProvidersOrEditor) {
  const uint32_t objects = RuntimeLiveObjectCount();
  UseTestCellEditor(true);
  runListbox* list = NewList("List1");
  for (int row = 0; row < 3; ++row) list->SetRowPicture(AddTextRow(list, "r"), NewPicture().get());
  list->AddSelectionReceiver(NewSelectionReceiver("r").get());
  list->EditCell(1, 0);
  runListbox* bound = NewList("List2", Rect(220, 10, 60, 100));
  BindProviderRows(bound, NewListProviderStandIn(2, {"a"}).get());
  EXPECT_EQ(bound->RowCount(), 2);
  CloseAllWindows();
  RunPendingTurns();
  EXPECT_EQ(RuntimeLiveObjectCount(), objects);
  EXPECT_EQ(Pane::LiveCount(), PanesBeforeTest());
}

}  // namespace
