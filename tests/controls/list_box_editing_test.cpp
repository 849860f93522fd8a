// What the user does to a list box's cells and rows: the in-place cell
// editor (Return, Escape, clicks elsewhere, its events and place, the cells
// and lists it refuses, scrolling a cell into view, handlers that change
// the rows or close the window), cell clicks and check boxes, disclosure
// triangles, mouse events handed to the control, and dragging rows to a
// new place. Keys and clicks are posted and run through the main loop;
// drags run a script through the list's drag seam.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "controls/editfield/EditField.h"
#include "controls/listbox/ListBoxMembers.h"
#include "controls/PushButton.h"
#include "core/string.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/TestListBox.h"
#include "ui/Clipboard.h"
#include "ui/DragItem.h"
#include "ui/Menu.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"

namespace {

using Lines = std::vector<std::string>;

StringRef Text(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

std::string Adopted(StringRecord* text) { return StringToStdUTF8(StringRef::Adopt(text).get()); }

void ButtonAction(RuntimeObject*) { Log("Button.Action"); }

ClassBuilder& ButtonClass() {
  static ClassBuilder builder(GetPushButtonClassDefinition(), "TestButton");
  static const bool described = (builder.Handle("Action", &ButtonAction), true);
  (void)described;
  return builder;
}

class ListEditingTest : public ListBoxTest {
 protected:
  // "List1": 4 columns of 80 px, content 200 px high, rows r0 ... r7 with
  // cell (r, c) = "c<r><c>", column 1 editable, column 2 check boxes.
  runListbox* EditingList(const std::function<void(ListboxFields*)>& prepare = {}) {
    SetWindowPos(WindowHandle(window_.get()), nullptr, 0, 0, 420, 300,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    runListbox* list = NewList("List1", Rect(10, 10, 324, 204), prepare);
    RuntimeObject* control = list->Control();
    listColumnCountSetter(control, 0, 4);
    listColumnWidthsSetter(control, 0, Text("80, 80, 80, 80").get());
    listColumnTypeSetter(control, 1, 3);
    listColumnTypeSetter(control, 2, 2);
    for (int32_t row = 0; row < 8; ++row) {
      AddTextRow(list, "r" + std::to_string(row));
      for (int32_t column = 0; column < 4; ++column) {
        SetCellText(list, row, column, "c" + std::to_string(row) + std::to_string(column));
      }
    }
    RunPendingTurns();
    UpdateWindow(list->NativeWindow());
    TakeLog();
    return list;
  }

  // A point of the cell, dx and dy into it, in the list window's terms.
  static POINT CellPoint(runListbox* list, int32_t row, int32_t column, int32_t dx, int32_t dy) {
    const int32_t top = list->GetContentRect().top + (row - list->TopRow()) * list->RowHeight(-1);
    return POINT{list->ColumnLeft(column) + dx - list->Left(), top + dy - list->Top()};
  }
  static void Click(runListbox* list, int32_t row, int32_t column, int32_t dx, int32_t dy) {
    const POINT at = CellPoint(list, row, column, dx, dy);
    PostClick(list->NativeWindow(), at.x, at.y);
    RunPendingTurns();
  }
  // What the press of Click logs first.
  static std::string PressLine(runListbox* list, int32_t row, int32_t column, int32_t dx,
                               int32_t dy) {
    const POINT at = CellPoint(list, row, column, dx, dy);
    return "MouseDown(" + std::to_string(at.x) + "," + std::to_string(at.y) + ")";
  }
  static void Key(runListbox* list, UINT virtualKey) {
    PostKey(list->CellEditor()->Window(), virtualKey);
    RunPendingTurns();
  }
  static std::string ActiveText(runListbox* list) {
    ObjectRef cell = ObjectRef::Adopt(listActiveCellGetter(list->Control(), 0));
    return cell ? Adopted(editTextGetter(cell.get(), 0)) : "<nil>";
  }
  // The editor's rectangle in the list window's client terms.
  static RECT EditorPlace(runListbox* list) {
    RECT place;
    GetWindowRect(list->CellEditor()->Window(), &place);
    MapWindowPoints(nullptr, list->NativeWindow(), reinterpret_cast<POINT*>(&place), 2);
    return place;
  }
  static bool Parked(runListbox* list) {
    const RECT place = EditorPlace(list);
    return place.left == -10 && place.top == -10 && place.right == -10 && place.bottom == -10;
  }
  static bool OnlySelected(runListbox* list, int32_t row) {
    return list->SelectedRowCount() == 1 && list->IsRowSelected(row);
  }
};

// ---- The editor ----

TEST_F(ListEditingTest, ReturnCommitsTheTextAndGivesTheListTheFocusWithOrWithoutADefaultButton) {
  for (bool withDefaultButton : {false, true}) {
    SCOPED_TRACE(withDefaultButton);
    if (withDefaultButton) {
      ObjectRef button = ObjectRef::Adopt(ButtonClass().NewInstance());
      ObjectFields<PushButtonFields>(button.get())->control.bounds = Rect(340, 240, 60, 24);
      ObjectFields<PushButtonFields>(button.get())->isDefault = 1;
      WindowAddControl(window_.get(), button.get());
    }
    runListbox* list = EditingList();
    listEditCell(list->Control(), 2, 1);
    EXPECT_EQ(TakeLog(), (Lines{"CellGotFocus(2,1)"}));
    EXPECT_EQ(ActiveText(list), "c21");
    EXPECT_EQ(listSelectionGetter(list->Control(), 0), 2);
    UpdateWindow(list->NativeWindow());
    const RECT place = EditorPlace(list);
    const POINT corner = CellPoint(list, 2, 1, 0, 0);
    EXPECT_GE(place.left, corner.x);
    EXPECT_GE(place.top, corner.y);
    EXPECT_LE(place.right, corner.x + 80);
    EXPECT_LE(place.bottom, corner.y + list->RowHeight(-1));
    EXPECT_LT(place.left, place.right);

    ObjectRef cell = ObjectRef::Adopt(listActiveCellGetter(list->Control(), 0));
    editSelStartSetter(cell.get(), 0, 3);
    Key(list, 'X');
    EXPECT_EQ(TakeLog(), (Lines{"CellKeyDown(2,1,120)", "CellTextChange(2,1)"}));
    Key(list, VK_RETURN);
    EXPECT_EQ(TakeLog(), (Lines{"CellKeyDown(2,1,13)", "CellAction(2,1)", "CellLostFocus(2,1)",
                                "GotFocus"}));
    EXPECT_EQ(CellTextOf(list, 2, 1), "c21x");
    EXPECT_EQ(ActiveText(list), "<nil>");
    EXPECT_TRUE(Parked(list));
    EXPECT_EQ(GetFocusPane(), list);
    EXPECT_TRUE(OnlySelected(list, 2));
    // Editable again afterwards: the cell kept the column's type.
    EXPECT_EQ(list->EffectiveCellType(2, 1), 3);
    CloseAllWindows();
    window_ = OpenTestWindow();
  }
}

TEST_F(ListEditingTest, EscapeKeepsTheTextAndAClickElsewhereCommitsBeforeTheRowIsSelected) {
  runListbox* list = EditingList();
  list->EditCell(2, 1);
  ObjectRef cell = ObjectRef::Adopt(listActiveCellGetter(list->Control(), 0));
  editTextSetter(cell.get(), 0, Text("changed").get());
  TakeLog();
  Key(list, VK_ESCAPE);
  EXPECT_EQ(TakeLog(), (Lines{"CellKeyDown(2,1,27)", "CellLostFocus(2,1)", "GotFocus"}));
  EXPECT_EQ(CellTextOf(list, 2, 1), "c21");
  EXPECT_TRUE(Parked(list));

  list->EditCell(2, 1);
  editTextSetter(cell.get(), 0, Text("kept").get());
  TakeLog();
  Click(list, 5, 0, 20, 4);
  EXPECT_EQ(TakeLog(), (Lines{PressLine(list, 5, 0, 20, 4), "CellAction(2,1)", "CellLostFocus(2,1)",
                              "GotFocus", "CellClick(5,0,19,4)", "Change"}));
  EXPECT_EQ(CellTextOf(list, 2, 1), "kept");
  EXPECT_EQ(listSelectionGetter(list->Control(), 0), 5);

  // Editing another cell commits the open edit first; the row it left
  // selected is deselected for the new one.
  list->EditCell(1, 1);
  editTextSetter(cell.get(), 0, Text("first").get());
  TakeLog();
  list->EditCell(3, 1);
  EXPECT_EQ(TakeLog(),
            (Lines{"CellAction(1,1)", "CellLostFocus(1,1)", "Change", "CellGotFocus(3,1)"}));
  EXPECT_EQ(CellTextOf(list, 1, 1), "first");
  EXPECT_EQ(ActiveText(list), "c31");

  // A character beyond the first plane is one key; Tab moves the focus on,
  // which commits.
  TakeLog();
  PostMessageW(list->CellEditor()->Window(), WM_CHAR, 0xD83D, 1);
  PostMessageW(list->CellEditor()->Window(), WM_CHAR, 0xDE00, 1);
  RunPendingTurns();
  EXPECT_EQ(TakeLog(), (Lines{"CellKeyDown(3,1,55357)", "CellTextChange(3,1)"}));
  Key(list, VK_TAB);
  EXPECT_EQ(TakeLog(), (Lines{"CellAction(3,1)", "CellLostFocus(3,1)", "GotFocus"}));
  EXPECT_EQ(CellTextOf(list, 3, 1), "\xF0\x9F\x98\x80" "c31");
  EXPECT_EQ(GetFocusPane(), list);
}

TEST_F(ListEditingTest, CellsOutsideTheColumnsAndBoundListsOpenNoEditor) {
  runListbox* list = EditingList();
  SetFocusPane(list);
  TakeLog();
  list->EditCell(2, 4);
  list->EditCell(8, 0);
  list->EditCell(-1, 0);
  EXPECT_EQ(TakeLog(), Lines{});
  EXPECT_EQ(list->EditRow(), -1);
  EXPECT_EQ(GetFocusPane(), list);

  ObjectRef provider = NewListProviderStandIn(5, {"a", "b"});
  BindProviderRows(list, provider.get());
  listEditCell(list->Control(), 1, 1);
  EXPECT_EQ(list->EditRow(), -1);
  EXPECT_TRUE(Parked(list));
}

// ---- Clicks and check boxes ----

TEST_F(ListEditingTest, ClickingACellEditsItChecksItsBoxOrGoesOnToSelection) {
  runListbox* list = EditingList();
  SetFocusPane(list);
  TakeLog();
  Click(list, 3, 1, 20, 4);
  EXPECT_EQ(TakeLog(), (Lines{PressLine(list, 3, 1, 20, 4), "CellClick(3,1,19,4)", "LostFocus",
                              "CellGotFocus(3,1)"}));
  ObjectRef cell = ObjectRef::Adopt(listActiveCellGetter(list->Control(), 0));
  EXPECT_EQ(editSelStartGetter(cell.get(), 0), 0);
  EXPECT_EQ(editSelLengthGetter(cell.get(), 0), 3);
  list->EndCellEdit(false);
  SetFocusPane(list);

  struct Case {
    const char* what;
    int32_t row, column, dx;
    bool cellClickAnswers;
    Lines log;
    bool checked;
    int32_t selected;
  };
  const Case cases[] = {
      {"CellClick answering true", 3, 1, 20, true, {"CellClick(3,1,19,4)"}, false, -1},
      {"in the box's strip", 4, 2, 8, false, {"CellClick(4,2,7,4)", "CellAction(4,2)"}, true, -1},
      {"right of the strip", 4, 2, 30, false, {"CellClick(4,2,29,4)", "Change"}, false, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    list->SelectOnlyRow(-1, false);
    listCellCheckSetter(list->Control(), c.row, c.column, 0);
    OnListEvent("CellClick", [&](runListbox*, const std::vector<int32_t>&, int32_t*) {
      return c.cellClickAnswers;
    });
    TakeLog();
    Click(list, c.row, c.column, c.dx, 4);
    Lines log = c.log;
    log.insert(log.begin(), PressLine(list, c.row, c.column, c.dx, 4));
    EXPECT_EQ(TakeLog(), log);
    EXPECT_EQ(list->EditRow(), -1);
    EXPECT_EQ(listCellCheckGetter(list->Control(), c.row, c.column), c.checked);
    EXPECT_EQ(list->FirstSelectedRow(), c.selected);
  }
}

TEST_F(ListEditingTest, TheCheckBoxOfAChildRowLiesPastItsIndent) {
  runListbox* list = NewList("Tree", Rect(10, 10, 250, 150),
                             [](ListboxFields* fields) { fields->hierarchical = 1; });
  list->SetHierarchical(true);
  listColumnTypeSetter(list->Control(), 0, 2);
  AddTextRow(list, "folder", 0, 1);
  AddTextRow(list, "child", 1);
  RunPendingTurns();
  SetFocusPane(list);
  TakeLog();
  Click(list, 1, 0, 8, 4);
  EXPECT_FALSE(listCellCheckGetter(list->Control(), 1, 0));
  EXPECT_EQ(TakeLog(), (Lines{PressLine(list, 1, 0, 8, 4), "CellClick(1,0,7,4)", "Change"}));
  Click(list, 1, 0, 40, 4);
  EXPECT_TRUE(listCellCheckGetter(list->Control(), 1, 0));
  EXPECT_EQ(TakeLog(),
            (Lines{PressLine(list, 1, 0, 40, 4), "CellClick(1,0,39,4)", "CellAction(1,0)"}));
}

TEST_F(ListEditingTest, ABoundListHasNoEditableCells) {
  runListbox* list = EditingList();
  ObjectRef provider = NewListProviderStandIn(5, {"a", "b", "c", "d"});
  BindProviderRows(list, provider.get());
  RunPendingTurns();
  SetFocusPane(list);
  TakeLog();
  Click(list, 1, 1, 20, 4);
  EXPECT_EQ(TakeLog(), (Lines{PressLine(list, 1, 1, 20, 4), "CellClick(1,1,19,4)", "Change"}));
  EXPECT_EQ(list->EditRow(), -1);
  EXPECT_TRUE(OnlySelected(list, 1));
}

// ---- Disclosure ----

TEST_F(ListEditingTest, TheTriangleExpandsAndCollapsesAFolder) {
  runListbox* list = NewList("Tree", Rect(10, 10, 250, 150),
                             [](ListboxFields* fields) { fields->hierarchical = 1; });
  list->SetHierarchical(true);
  AddTextRow(list, "folder", 0, 0);
  AddTextRow(list, "after");
  OnListEvent("ExpandRow", [](runListbox* pane, const std::vector<int32_t>&, int32_t*) {
    for (const char* name : {"a", "b"}) {
      ListBoxCell* cell = NewListBoxCell(0);
      cell->text = StringFromUTF8(name);
      pane->AddRowPlaced(cell, -1);
    }
    return false;
  });
  RunPendingTurns();
  SetFocusPane(list);
  TakeLog();
  const int32_t middle = list->RowHeight(-1) / 2;
  const std::string press = PressLine(list, 0, 0, 8, middle);
  const std::string cellClick = "CellClick(0,0,7," + std::to_string(middle) + ")";
  Click(list, 0, 0, 8, middle);
  EXPECT_EQ(TakeLog(), (Lines{press, cellClick, "ExpandRow(0)"}));
  EXPECT_EQ(RowTexts(list), (Lines{"folder", "a", "b", "after"}));
  Click(list, 0, 0, 8, middle);
  EXPECT_EQ(TakeLog(), (Lines{press, cellClick, "CollapseRow(0)"}));
  EXPECT_EQ(RowTexts(list), (Lines{"folder", "after"}));

  // A handler removing the folder leaves the rows as it left them.
  Click(list, 0, 0, 8, middle);
  OnListEvent("CollapseRow", [](runListbox* pane, const std::vector<int32_t>&, int32_t*) {
    pane->RemoveRowRecord(0);
    return false;
  });
  TakeLog();
  Click(list, 0, 0, 8, middle);
  EXPECT_EQ(RowTexts(list), (Lines{"a", "b", "after"}));
}

// ---- Mouse forwarding ----

TEST_F(ListEditingTest, AMouseDownAnsweringTrueGetsTheDragsAndTheRelease) {
  runListbox* list = EditingList();
  OnListEvent("MouseDown", [](runListbox*, const std::vector<int32_t>&, int32_t*) { return true; });
  // Real input: the button stays down while the pointer moves.
  HWND window = list->NativeWindow();
  ASSERT_TRUE(MakeForeground(WindowHandle(window_.get())));
  SendMouseMove(ScreenPointOf(window, 30, 40));
  RunPendingTurns();
  TakeLog();
  SendMouseButton(true);
  SendMouseMove(ScreenPointOf(window, 35, 60));
  SendMouseButton(false);
  RunPendingTurns();
  Lines log = TakeLog();
  // A move may come twice (the input and the cursor's placing).
  log.erase(std::unique(log.begin(), log.end()), log.end());
  EXPECT_EQ(log, (Lines{"MouseDown(30,40)", "MouseDrag(35,60)", "MouseUp(35,60)"}));
  EXPECT_EQ(list->SelectedRowCount(), 0);

  // Answering false lets the list select.
  OnListEvent("MouseDown", {});
  Click(list, 2, 0, 20, 4);
  EXPECT_EQ(TakeLog(),
            (Lines{PressLine(list, 2, 0, 20, 4), "GotFocus", "CellClick(2,0,19,4)", "Change"}));

  OnListEvent("MouseDown", [](runListbox*, const std::vector<int32_t>&, int32_t*) {
    CloseAllWindows();
    return true;
  });
  Click(list, 2, 0, 20, 4);
  EXPECT_EQ(Pane::LiveCount(), PanesBeforeTest());
}

// ---- Scrolling into view ----

TEST_F(ListEditingTest, EditingScrollsTheCellIntoView) {
  struct Case {
    const char* what;
    int32_t contentHeight, columns, columnWidth, row, column;
    int32_t top, scrollX;
  };
  const Case cases[] = {
      {"below", 160, 1, 80, 50, 0, 41, 0},
      {"taller than the view", 10, 1, 80, 50, 0, 50, 0},
      {"right of the view", 160, 5, 200, 0, 3, 0, 498},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    runListbox* list = NewList(c.what, Rect(10, 10, 304, c.contentHeight + 4),
                               [](ListboxFields* fields) { fields->defaultRowHeight = 16; });
    listColumnCountSetter(list->Control(), 0, c.columns);
    std::string widths;
    for (int32_t column = 0; column < c.columns; ++column) {
      widths += (column ? "," : "") + std::to_string(c.columnWidth);
    }
    listColumnWidthsSetter(list->Control(), 0, Text(widths).get());
    for (int32_t row = 0; row < 100; ++row) AddTextRow(list, "r" + std::to_string(row));
    RunPendingTurns();
    // The content is 300 wide and as high as the case says, the bars aside.
    const MacRect content = list->GetContentRect();
    const MacRect bounds = list->Bounds();
    list->SetBounds(MacRect{bounds.top, bounds.left,
                            int16_t(bounds.bottom + c.contentHeight - (content.bottom - content.top)),
                            int16_t(bounds.right + 300 - (content.right - content.left))},
                    true);
    ASSERT_EQ(list->GetContentRect().bottom - list->GetContentRect().top, c.contentHeight);
    ASSERT_EQ(list->GetContentRect().right - list->GetContentRect().left, 300);
    list->EditCell(c.row, c.column);
    EXPECT_EQ(list->TopRow(), c.top);
    EXPECT_EQ(listScrollPositionXGetter(list->Control(), 0), c.scrollX);
    if (c.row == 50 && c.contentHeight == 160) {
      list->EditCell(5, 0);
      EXPECT_EQ(list->TopRow(), 5);
    }
    list->EndCellEdit(false);
  }
}

// ---- Handlers that change the rows ----

TEST_F(ListEditingTest, ACellActionHandlerRemovingTheRowOrClosingTheWindowEndsTheEditSafely) {
  runListbox* list = EditingList();
  OnListEvent("CellAction", [](runListbox* pane, const std::vector<int32_t>& arguments, int32_t*) {
    pane->RemoveRowRecord(arguments[0]);
    return false;
  });
  list->EditCell(2, 1);
  TakeLog();
  Key(list, VK_RETURN);
  EXPECT_EQ(TakeLog(), (Lines{"CellKeyDown(2,1,13)", "CellAction(2,1)", "GotFocus"}));
  EXPECT_EQ(RowTexts(list), (Lines{"c00", "c10", "c30", "c40", "c50", "c60", "c70"}));
  EXPECT_EQ(list->SelectedRowCount(), 0);
  EXPECT_EQ(list->EditRow(), -1);

  OnListEvent("CellAction", [](runListbox*, const std::vector<int32_t>&, int32_t*) {
    CloseAllWindows();
    return false;
  });
  list->EditCell(3, 1);
  TakeLog();
  Key(list, VK_RETURN);
  EXPECT_EQ(TakeLog(), (Lines{"CellKeyDown(3,1,13)", "CellAction(3,1)"}));
  EXPECT_EQ(Pane::LiveCount(), PanesBeforeTest());
}

// ---- Reordering rows by dragging ----

TEST_F(ListEditingTest, DroppingDraggedRowsMovesThemOnceUnlessTheListOrAHandlerKeepsThem) {
  struct Case {
    const char* what;
    enum Kind { kFlat, kHierarchical, kBound, kHandlerKeeps } kind;
    // The pointer's visible row and where in it (-1: below the last row).
    int32_t overRow;
    bool lowerHalf;
    bool tracked;
    Lines events;  // after the press's own lines
    Lines rows;
  };
  const Lines unmoved{"c00", "c10", "c20", "c30", "c40", "c50", "c60", "c70"};
  const Case cases[] = {
      {"lower half of row 5", Case::kFlat, 5, true, true,
       {"DragRow(obj,2)", "DragReorderRows(4)", "Change", "Change"},
       {"c00", "c10", "c40", "c50", "c20", "c30", "c60", "c70"}},
      {"upper half of row 3", Case::kFlat, 3, false, true, {"DragRow(obj,2)", "Change"}, unmoved},
      {"below the last row", Case::kFlat, -1, false, true,
       {"DragRow(obj,2)", "DragReorderRows(6)", "Change", "Change"},
       {"c00", "c10", "c40", "c50", "c60", "c70", "c20", "c30"}},
      {"no tracking step", Case::kFlat, 5, true, false, {"DragRow(obj,2)", "Change"}, unmoved},
      {"hierarchical", Case::kHierarchical, 5, true, true,
       {"DragRow(obj,2)", "DragReorderRows(4)", "Change"}, unmoved},
      {"handler keeps them", Case::kHandlerKeeps, 5, true, true,
       {"DragRow(obj,2)", "DragReorderRows(4)", "Change"}, unmoved},
      {"bound", Case::kBound, 5, true, true, {"DragRow(obj,2)", "DragReorderRows(4)", "Change"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    runListbox* list = EditingList([&](ListboxFields* fields) {
      fields->selectionType = 1;
      fields->hierarchical = c.kind == Case::kHierarchical ? 1 : 0;
    });
    list->SetHierarchical(c.kind == Case::kHierarchical);
    list->SetDragReorderEnabled(true);
    ObjectRef provider;
    if (c.kind == Case::kBound) {
      provider = NewListProviderStandIn(8, {"a", "b"});
      BindProviderRows(list, provider.get());
      RunPendingTurns();
    }
    if (c.kind == Case::kHandlerKeeps) {
      OnListEvent("DragReorderRows",
                  [](runListbox*, const std::vector<int32_t>&, int32_t*) { return true; });
    }
    list->SetRowSelected(2, true);
    list->SetRowSelected(3, true);
    SetFocusPane(list);
    const int32_t h = list->RowHeight(-1);
    const MacRect content = list->GetContentRect();
    ListDragScript script;
    if (c.tracked) {
      const POINT over = c.overRow < 0 ? POINT{40, content.top - list->Top() + 8 * h + 5}
                                       : CellPoint(list, c.overRow, 0, 40, c.lowerHalf ? h - 3 : 2);
      script.points.push_back(over);
    }
    // The mark along row 5's bottom, read before anything paints over it.
    std::vector<COLORREF> mark;
    script.afterStep = [&](size_t) {
      HDC dc = GetDC(list->NativeWindow());
      const int32_t y = content.top + 6 * h - list->Top();
      for (int32_t x = content.left + 4; x < content.left + 60; x += 8) {
        mark.push_back(GetPixel(dc, x - list->Left(), y));
      }
      ReleaseDC(list->NativeWindow(), dc);
    };
    UseScriptedListDrag(list, script);
    TakeLog();
    Click(list, 2, 0, 20, 4);
    Lines log = TakeLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Lines(log.begin() + 2, log.end()), c.events);
    EXPECT_EQ(ScriptedDragCount(), 1);
    if (c.kind != Case::kBound) EXPECT_EQ(RowTexts(list), c.rows);
    if (c.kind == Case::kFlat && c.rows != unmoved && c.overRow == 5) {
      EXPECT_EQ(list->SelectedRowCount(), 2);
      EXPECT_TRUE(list->IsRowSelected(4) && list->IsRowSelected(5));
      EXPECT_EQ(mark, std::vector<COLORREF>(mark.size(), RGB(0, 0, 0)));
      EXPECT_FALSE(mark.empty());
    }
    OnListEvent("DragReorderRows", {});
    CloseAllWindows();
    window_ = OpenTestWindow();
  }
}

TEST_F(ListEditingTest, DraggingRowsNearTheEdgesScrollsARowAStepAndACancelMovesNothing) {
  runListbox* list = EditingList([](ListboxFields* fields) { fields->verticalScrollBar = 1; });
  for (int32_t row = 8; row < 40; ++row) AddTextRow(list, "c" + std::to_string(row) + "0");
  list->SetDragReorderEnabled(true);
  // The bar takes the new rows at the turn's end.
  RuntimeTestEnvironment::RunTurns(1);
  RunPendingTurns();
  ASSERT_NE(list->VerticalScrollBar(), nullptr);
  const int32_t height = int32_t(list->Bounds().bottom) - list->Bounds().top;
  ListDragScript script;
  script.points = {{40, height - 2}, {40, height - 2}, {40, height - 2}, {40, 2}};
  script.drop = false;
  std::vector<int32_t> tops;
  script.afterStep = [&](size_t) { tops.push_back(list->TopRow()); };
  UseScriptedListDrag(list, script);
  SetFocusPane(list);
  TakeLog();
  Click(list, 0, 0, 20, 4);
  EXPECT_EQ(tops, (std::vector<int32_t>{1, 2, 3, 2}));
  const Lines log = TakeLog();
  EXPECT_EQ(Lines(log.begin() + 2, log.end()), (Lines{"DragRow(obj,0)", "Change"}));
  EXPECT_EQ(CellTextOf(list, 0, 0), "c00");
}

TEST_F(ListEditingTest, AnyDragHeldOverTheEdgesScrollsTheListAsARowDragDoes) {
  runListbox* list = EditingList([](ListboxFields* fields) { fields->verticalScrollBar = 1; });
  for (int32_t row = 8; row < 40; ++row) AddTextRow(list, "c" + std::to_string(row) + "0");
  RuntimeTestEnvironment::RunTurns(1);
  RunPendingTurns();
  ASSERT_NE(list->VerticalScrollBar(), nullptr);
  // An item from elsewhere, tracked as the drag loop tracks it.
  ObjectRef item = ObjectRef::Adopt(NewDragItem(0, 0, 20, 10));
  SubPane* top = SubPane::GetTopPane(list);
  auto trackAt = [&](int32_t y) {
    SubPane* target = top->FindDropTarget(list->Left() + 40, list->Top() + y, item.get());
    EXPECT_EQ(target, list) << y;
    if (target) target->TrackDrag(list->Left() + 40 - target->Left(), y, item.get());
    return list->TopRow();
  };
  const int32_t height = int32_t(list->Bounds().bottom) - list->Bounds().top;
  std::vector<int32_t> tops;
  for (int32_t y : {height - 2, height - 2, height / 2, 2}) tops.push_back(trackAt(y));
  EXPECT_EQ(tops, (std::vector<int32_t>{1, 2, 2, 1}));
  // Over the heading row and the horizontal bar, which are the list's edges.
  list->SetHasHeading(true);
  list->ShowHorizontalScrollBar();
  RunPendingTurns();
  tops.clear();
  for (int32_t y : {height - list->ScrollBarWidth() + 2, ScrollingListPane::kHeadingHeight - 3,
                    ScrollingListPane::kHeadingHeight + 4}) {
    tops.push_back(trackAt(y));
  }
  EXPECT_EQ(tops, (std::vector<int32_t>{2, 1, 1}));
  list->DragExit(item.get());
}

TEST_F(ListEditingTest, ADragRowAnsweringFalseRunsNoDragOutOfTheList) {
  runListbox* list = EditingList();
  list->SetDragEnabled(true);
  UseScriptedListDrag(list, ListDragScript{});
  SetFocusPane(list);
  TakeLog();
  Click(list, 2, 0, 20, 4);
  EXPECT_EQ(ScriptedDragCount(), 0);
  const Lines log = TakeLog();
  EXPECT_EQ(Lines(log.begin() + 2, log.end()), (Lines{"DragRow(obj,2)", "Change"}));
  OnListEvent("DragRow", [](runListbox*, const std::vector<int32_t>&, int32_t*) { return true; });
  Click(list, 3, 0, 20, 4);
  EXPECT_EQ(ScriptedDragCount(), 1);
  EXPECT_TRUE(OnlySelected(list, 3));
}

void CALLBACK ReleaseButton(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  SendMouseButton(false);
}

TEST_F(ListEditingTest, ARealDragReordersTheRows) {
  runListbox* list = EditingList([](ListboxFields* fields) { fields->selectionType = 1; });
  list->SetDragReorderEnabled(true);
  list->SetRowSelected(2, true);
  list->SetRowSelected(3, true);
  ASSERT_TRUE(MakeForeground(WindowHandle(window_.get())));
  SetFocusPane(list);
  TakeLog();
  const int32_t h = list->RowHeight(-1);
  const POINT press = CellPoint(list, 2, 0, 20, 4);
  const POINT over = CellPoint(list, 5, 0, 20, h - 3);
  SendMouseMove(ScreenPointOf(list->NativeWindow(), press.x, press.y));
  SendMouseButton(true);
  SendMouseMove(ScreenPointOf(list->NativeWindow(), press.x, press.y + h));
  SendMouseMove(ScreenPointOf(list->NativeWindow(), over.x, over.y));
  // The release comes while the drag's own loop runs.
  SetTimer(nullptr, 0, 50, &ReleaseButton);
  RunPendingTurns();
  const Lines log = TakeLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "DragReorderRows(4)"), log.end());
  EXPECT_EQ(RowTexts(list), (Lines{"c00", "c10", "c40", "c50", "c20", "c30", "c60", "c70"}));
}

// ---- The Edit menu in the editor ----

TEST_F(ListEditingTest, TheEditMenuCutsFromTheCellEditor) {
  ControlTestWindow window({Described(GetListboxClassDefinition(), "List1", Rect(10, 10, 200, 120))});
  runListbox* list = ListBoxPaneOf(window.Control("List1"));
  AddTextRow(list, "abc");
  list->EditCell(0, 0);
  ObjectRef cell = ObjectRef::Adopt(listActiveCellGetter(list->Control(), 0));
  editSelStartSetter(cell.get(), 0, 0);
  editSelLengthSetter(cell.get(), 0, 2);
  SendMessageW(window.Handle(), WM_INITMENU, reinterpret_cast<WPARAM>(GetMenu(window.Handle())), 0);
  RuntimeObject* cut = RuntimeMenuReference("EditCut");
  ASSERT_NE(cut, nullptr);
  EXPECT_TRUE(MenuItemEnabled(cut));
  SendMessageW(window.Handle(), WM_COMMAND, MenuItemCommandId(cut), 0);
  RuntimeUnlockObject(cut);
  EXPECT_EQ(ActiveText(list), "c");
  StringRef clipboard = StringRef::Adopt(clipboardTextGetter(nullptr, 0));
  EXPECT_EQ(StringToStdUTF8(clipboard.get()), "ab");
  list->EndCellEdit(true);
  EXPECT_EQ(CellTextOf(list, 0, 0), "c");
  TakeLog();
}

}  // namespace
