// The Listbox class as compiled code uses it: members found by name, panes
// made from stored properties, rows added by the language, index checks,
// headings and sorting, list data binding and the bound parts, teardown.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controls/listbox/ListBinding.h"
#include "controls/listbox/ListBoxMembers.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/DataControlStandIn.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RecordingReceivers.h"
#include "testsupport/TestListBox.h"
#include "ui/RuntimeWindow.h"

namespace {

using Lines = std::vector<std::string>;
using Answer = std::pair<int32_t, std::string>;
using TextAnswer = std::pair<std::string, std::string>;
using ListClassTest = ListBoxTest;

StringRef Text(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

// What the last call left pending, taken: "" for nothing.
std::string Raised() {
  ObjectRef pending = ObjectRef::Adopt(RuntimeTakePendingException());
  if (!pending) return "";
  return ObjectIsADefinition(pending.get(), GetOutOfBoundsExceptionClassDefinition())
             ? "OutOfBounds"
             : "other";
}

// A member's result with what it raised.
template <class... Arguments>
Answer Call(RuntimeObject* list, const char* member, Arguments... arguments) {
  const int32_t result = CallMethod<int32_t>(list, member, arguments...);
  return {result, Raised()};
}
template <class... Arguments>
TextAnswer CallText(RuntimeObject* list, const char* member, Arguments... arguments) {
  StringRef text = StringRef::Adopt(CallMethod<StringRecord*>(list, member, arguments...));
  return {StringToStdUTF8(text.get()), Raised()};
}
std::string PropertyText(RuntimeObject* object, const char* name) {
  return StringToStdUTF8(StringRef::Adopt(GetProperty<StringRecord*>(object, name)).get());
}

template <class Member>
int32_t CountOf(const Member* member) {
  int32_t count = 0;
  for (; member; member = member->next) ++count;
  return count;
}

// Each row as its cells' texts joined by "|", in the cells' order.
Lines RowCells(runListbox* list) {
  Lines rows;
  for (int32_t row = 0; row < list->RowCount(); ++row) {
    std::string text;
    for (const ListBoxCell* cell = list->GetRowCells(row); cell; cell = cell->next) {
      text += (cell == list->GetRowCells(row) ? "" : "|") + StringToStdUTF8(cell->text);
    }
    rows.push_back(text);
  }
  return rows;
}

// A plain list whose properties are set before the window makes its pane.
runListbox* PlaceList(RuntimeObject* window, const char* name,
                      const std::function<void(RuntimeObject*)>& set) {
  ObjectRef list = ObjectRef::Adopt(CreateInstance(GetListboxClassDefinition()));
  ControlSetName(list.get(), Text(name).get());
  ControlFields(list.get())->bounds = Rect(10, 10, 200, 100);
  set(list.get());
  WindowAddControl(window, list.get());
  return ListBoxPaneOf(list.get());
}

TEST_F(ListClassTest, TheClassHasItsMembersAndPanesTakeWhatWasStored) {
  ObjectDefinition* definition = RuntimeLookupClass("Listbox")->definition;
  EXPECT_EQ(CountOf(definition->events) * 10000 + CountOf(definition->properties) * 100 +
                CountOf(definition->methods),
            243239);
  for (const char* name :
       {"ListColumn", "listSelectionProvider", "Sys$ListboxAction", "listColumnValueProvider"}) {
    EXPECT_NE(RuntimeLookupClass(name), nullptr) << name;
  }
  RuntimeObject* list = NewList("List1")->Control();
  for (ObjectDefinition* implemented :
       {GetListSelectionNotifierInterfaceDefinition(),
        GetListDataNotificationReceiverInterfaceDefinition(),
        GetBindingPartInterfaceInterfaceDefinition(), GetListInterfaceInterfaceDefinition()}) {
    EXPECT_TRUE(ObjectImplementsInterface(list, implemented));
  }
  ObjectRef unplaced = ObjectRef::Adopt(CreateInstance(GetListboxClassDefinition()));
  for (RuntimeObject* target : {list, unplaced.get()}) {
    std::vector<int32_t> counts;
    for (int32_t count : {0, 100, -1}) {
      SetProperty<int32_t>(target, "ColumnCount", count);
      counts.push_back(GetProperty<int32_t>(target, "ColumnCount"));
    }
    EXPECT_EQ(counts, (std::vector<int32_t>{1, 64, 64}));
  }
  SetProperty<int32_t>(list, "ColumnCount", 3);
  SetProperty<StringRecord*>(list, "ColumnWidths", Text("50, 2*").get());
  EXPECT_EQ(PropertyText(list, "ColumnWidths"), "50, 2*, 1*");

  std::string rows;
  for (int row = 0; row < 20; ++row) rows += "r" + std::to_string(row) + "\r";
  runListbox* pane = PlaceList(window_.get(), "List2", [&](RuntimeObject* stored) {
    SetProperty<int32_t>(stored, "ColumnCount", 3);
    SetProperty<StringRecord*>(stored, "ColumnWidths", Text("50, *").get());
    SetProperty<StringRecord*>(stored, "InitialValue", Text(rows).get());
    SetProperty<int32_t>(stored, "ScrollPosition", 5);
    for (const char* flag : {"ScrollBarVertical", "Enabled", "Visible"}) {
      SetProperty<uint8_t>(stored, flag, flag[0] == 'S');
    }
  });
  EXPECT_EQ(pane->ColumnCount(), 3);
  EXPECT_EQ(PropertyText(pane->Control(), "ColumnWidths"), "50, *, 1*");
  EXPECT_EQ(pane->RowCount(), 20);
  EXPECT_EQ(pane->TopRow(), 5);
  EXPECT_NE(pane->VerticalScrollBar(), nullptr);
  EXPECT_FALSE(pane->IsEnabled());
  EXPECT_FALSE(pane->IsVisible());
}

TEST_F(ListClassTest, LanguageRowsFollowTheExpandingRowAndInitialValuesCutIntoCells) {
  runListbox* pane = NewList("List1");
  RuntimeObject* list = pane->Control();
  SetProperty<uint8_t>(list, "Hierarchical", 1);
  std::vector<int32_t> lastIndexes;
  OnListEvent("ExpandRow", [&](runListbox* expanding, const std::vector<int32_t>&, int32_t*) {
    for (const char* child : {"c1", "c2"}) {
      CallMethod<void>(expanding->Control(), "AddRow", Text(child).get());
      lastIndexes.push_back(GetProperty<int32_t>(list, "LastIndex"));
    }
    return false;
  });
  CallMethod<void>(list, "AddFolder", Text("f").get());
  CallMethod<void>(list, "AddRow", Text("x").get());
  AssignMethod(list, "Expanded", 0, uint8_t(1));
  CallMethod<void>(list, "AddRow", Text("y").get());
  lastIndexes.push_back(GetProperty<int32_t>(list, "LastIndex"));
  CallMethod<void>(list, "InsertRow", -5, Text("i").get());
  CallMethod<void>(list, "InsertRow", pane->RowCount() + 10, Text("end").get());
  EXPECT_EQ(RowTexts(pane), (Lines{"i", "f", "c1", "c2", "x", "y", "end"}));
  std::vector<int32_t> depths;
  for (int32_t row = 0; row < pane->RowCount(); ++row) depths.push_back(pane->RowDepth(row));
  EXPECT_EQ(depths, (std::vector<int32_t>{0, 0, 1, 1, 0, 0, 0}));
  EXPECT_EQ(lastIndexes, (std::vector<int32_t>{1, 2, 4}));

  struct Case {
    bool heading;
    std::string text;
    Lines rows;
    Lines headings;
  };
  std::string wide;
  for (int column = 0; column < 70; ++column) wide += std::to_string(column) + "\t";
  const Case cases[] = {
      {false, "a\tb\r\nc", {"a|b", "c"}, {"0", "1", "2"}},
      {true, "Name\t\tSize\rx", {"x"}, {"Name", "1", "Size"}},
      {false, "x\ty\t", {"x|y"}, {"0", "1", "2"}},
      {false, std::string("n\0l\rz\n\r", 7), {std::string("n\0l", 3), "z\n"}, {"0", "1", "2"}},
  };
  for (const Case& c : cases) {
    const std::string name = "Loaded" + std::to_string(&c - cases);
    runListbox* loaded = PlaceList(window_.get(), name.c_str(), [&](RuntimeObject* stored) {
      SetProperty<uint8_t>(stored, "HasHeading", c.heading);
      SetProperty<StringRecord*>(stored, "InitialValue", Text(c.text).get());
    });
    EXPECT_EQ(RowCells(loaded), c.rows) << c.text;
    Lines headings;
    for (int32_t k = 0; k < 3; ++k) headings.push_back(StringToStdUTF8(loaded->HeadingCaption(k)));
    EXPECT_EQ(headings, c.headings) << c.text;
  }
  runListbox* wideList = PlaceList(window_.get(), "Wide", [&](RuntimeObject* stored) {
    SetProperty<StringRecord*>(stored, "InitialValue", Text(wide).get());
  });
  const std::string cells = RowCells(wideList).at(0);
  EXPECT_EQ(std::count(cells.begin(), cells.end(), '|'), 63);
}

TEST_F(ListClassTest, CellsAndColumnsAreCheckedAndTheEdgeStopsAtSixtyFourColumns) {
  UseTestCellEditor(true);
  runListbox* pane = NewList("List1");
  RuntimeObject* list = pane->Control();
  for (const char* row : {"r0", "r1", "r2", "r3"}) CallMethod<void>(list, "AddRow", Text(row).get());
  pane->TakeInvalidations();
  AssignMethod(list, "CellBold", 1, 3, uint8_t(1));
  EXPECT_NE(pane->FindCell(1, 3, false), nullptr);
  EXPECT_EQ(TakeInvalidationLines(pane), (Lines{"Cells(1,3)"}));
  AssignMethod(list, "CellBold", 1, 3, uint8_t(1));
  EXPECT_EQ(TakeInvalidationLines(pane), Lines{});
  EXPECT_EQ(Call(list, "CellBold", 1, 3), Answer(1, ""));
  EXPECT_EQ(CallText(list, "Cell", 1, 300), TextAnswer("", "OutOfBounds"));

  // Texts are kept as given and reach the headings as they are.
  StringRef greeting = Text("Gr\xC3\xBC\xC3\x9F" "e");
  AssignMethod(list, "Cell", 0, 1, greeting.get());
  StringRef back = StringRef::Adopt(CallMethod<StringRecord*>(list, "Cell", 0, 1));
  EXPECT_EQ(StringEncoding(back.get()), StringEncoding(greeting.get()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(StringData(back.get())), StringLength(back.get())),
            "Gr\xC3\xBC\xC3\x9F" "e");
  SetProperty<uint8_t>(list, "HasHeading", 1);
  AssignMethod(list, "Heading", 0, greeting.get());
  EXPECT_EQ(StringToStdUTF16(pane->HeadingPane(0)->Caption()), u"Gr\u00FC\u00DFe");

  SetProperty<int32_t>(list, "ColumnCount", 2);
  SetProperty<int32_t>(list, "ListIndex", 0);
  CallMethod<void>(list, "EditCell", 2, 1);
  SetWindowTextW(pane->CellEditor()->Window(), L"edited");
  EXPECT_EQ(GetProperty<int32_t>(list, "ListIndex"), 2);
  EXPECT_EQ(CallText(list, "Cell", 2, 1), TextAnswer("edited", ""));

  SetProperty<int32_t>(list, "ColumnCount", 64);
  std::vector<uint8_t> directions;
  for (int32_t k = 0; k < 64; ++k) directions.push_back(pane->ColumnSortDirection(k));
  const double stars = pane->Columns().StarTotal();
  EXPECT_EQ(Call(list, "CellBorderTop", 0, 64), Answer(-1, "OutOfBounds"));
  EXPECT_EQ(CallText(list, "Heading", 64), TextAnswer("", "OutOfBounds"));
  EXPECT_EQ(Call(list, "ColumnSortDirection", 64), Answer(1, "OutOfBounds"));
  AssignMethod(list, "ColumnSortDirection", 64, -1);
  EXPECT_EQ(Raised(), "OutOfBounds");
  CallMethod<void>(list, "EditCell", 0, 64);
  EXPECT_EQ(Raised(), "OutOfBounds");
  EXPECT_EQ(pane->EditRow(), 2);
  for (int32_t k = 0; k < 64; ++k) EXPECT_EQ(pane->ColumnSortDirection(k), directions[size_t(k)]);
  EXPECT_EQ(pane->Columns().StarTotal(), stars);
  SetProperty<int32_t>(list, "ColumnCount", 3);
  EXPECT_EQ(Call(list, "CellBorderTop", 0, 3), Answer(0, ""));

  auto picture = CallMethod<RuntimeObject*>(list, "RowPicture", pane->RowCount());
  EXPECT_EQ(std::make_pair(picture, Raised()),
            std::make_pair(static_cast<RuntimeObject*>(nullptr), std::string("OutOfBounds")));
}

TEST_F(ListClassTest, HeadingsReadBackAsSetAndPressingOneSortsByItsColumn) {
  runListbox* pane = NewList("List1");
  RuntimeObject* list = pane->Control();
  SetProperty<int32_t>(list, "ColumnCount", 4);
  AssignMethod(list, "Heading", -1, Text("A\t\tC").get());
  EXPECT_EQ(CallText(list, "Heading", -1), TextAnswer("A\t1\tC\t3", ""));

  SetProperty<uint8_t>(list, "HasHeading", 1);
  for (const char* row : {"r0", "r1"}) CallMethod<void>(list, "AddRow", Text(row).get());
  AssignMethod(list, "Cell", 0, 1, Text("b").get());
  AssignMethod(list, "Cell", 1, 1, Text("a").get());
  TakeLog();
  CallMethod<void>(list, "PressHeader", 1);
  EXPECT_EQ(pane->HeadingPane(1)->GetSortMark(), 1);
  Lines log = TakeLog();
  log.erase(std::remove_if(log.begin(), log.end(),
                           [](const std::string& line) { return line.rfind("Compare", 0) == 0; }),
            log.end());
  EXPECT_EQ(log, (Lines{"HeaderPressed(1)", "SortColumn(1)"}));
  EXPECT_EQ(RowTexts(pane), (Lines{"r1", "r0"}));
}

TEST_F(ListClassTest, ASortMadeWithoutTheHeadingShowsItsArrowWhenTheHeadingDoes) {
  runListbox* pane = NewList("List1");
  RuntimeObject* list = pane->Control();
  SetProperty<int32_t>(list, "ColumnCount", 3);
  for (const char* row : {"r0", "r1"}) CallMethod<void>(list, "AddRow", Text(row).get());
  AssignMethod(list, "Cell", 0, 2, Text("a").get());
  AssignMethod(list, "Cell", 1, 2, Text("b").get());
  AssignMethod(list, "ColumnSortDirection", 2, int32_t(-1));
  SetProperty<int32_t>(list, "SortedColumn", 2);
  CallMethod<void>(list, "Sort");
  ASSERT_EQ(RowTexts(pane), (Lines{"r1", "r0"}));
  // Shown, hidden and shown again: the sorted column keeps its arrow.
  for (uint8_t shown : {1, 0, 1}) SetProperty<uint8_t>(list, "HasHeading", shown);
  std::vector<int32_t> marks;
  for (int32_t column = 0; column < 3; ++column) {
    ASSERT_NE(pane->HeadingPane(column), nullptr) << column;
    marks.push_back(pane->HeadingPane(column)->GetSortMark());
  }
  EXPECT_EQ(marks, (std::vector<int32_t>{0, 0, 1}));
  EXPECT_EQ(pane->HeadingPane(2)->SortDirection(), kSortDescending);
}

TEST_F(ListClassTest, ColumnWidthsGiveTheSameWidthsFromTheSameTextInEveryEncoding) {
  runListbox* pane = NewList("List1");
  RuntimeObject* list = pane->Control();
  SetProperty<int32_t>(list, "ColumnCount", 4);
  const StringRef utf8 = Text(" 50, 25%,2* ,40");
  const StringRef texts[] = {utf8, StringRef::Adopt(StringToUTF16(utf8.get())),
                             StringRef::Adopt(StringFromASCII(" 50, 25%,2* ,40")),
                             StringRef::Adopt(StringToSystemEncoding(utf8.get()))};
  std::vector<int32_t> first;
  for (const StringRef& text : texts) {
    SCOPED_TRACE(StringEncoding(text.get()));
    SetProperty<StringRecord*>(list, "ColumnWidths", Text("10,10,10,10").get());
    SetProperty<StringRecord*>(list, "ColumnWidths", text.get());
    EXPECT_EQ(Raised(), "");
    EXPECT_EQ(PropertyText(list, "ColumnWidths"), "50, 25%, 2*, 40");
    std::vector<int32_t> widths;
    for (int32_t column = 0; column < 4; ++column) widths.push_back(pane->ColumnWidth(column));
    if (first.empty()) first = widths;
    EXPECT_EQ(widths, first);
  }
  EXPECT_EQ(first[0], 50);
  EXPECT_EQ(first[3], 40);
}

TEST_F(ListClassTest, BoundPartsFollowTheSelectionAndTheirColumn) {
  UseTestCellEditor(true);
  runListbox* pane = NewList("List1");
  RuntimeObject* list = pane->Control();
  SetProperty<int32_t>(list, "ColumnCount", 3);
  for (int row = 0; row < 5; ++row) CallMethod<void>(list, "AddRow", Text("r").get());
  AssignMethod(list, "Cell", 3, 2, Text("c32").get());
  auto part = [&](const char* name) {
    return ObjectRef::Adopt(CallMethod<RuntimeObject*>(list, "getBoundPart", Text(name).get()));
  };
  ObjectRef focus = part("GOTFOCUSACTION");
  ASSERT_TRUE(ObjectIsADefinition(focus.get(), GetListboxActionClassDefinition()));
  EXPECT_EQ(ObjectFields<ListboxActionFields>(focus.get())->kind, 1);
  EXPECT_EQ(part("foo").get(), nullptr);
  std::vector<int32_t> columns;
  for (const char* name : {"columnValueProvider_2", "columnValueProvider_", "columnValueProvider_999"})
    columns.push_back(ObjectFields<ListColumnValueProviderFields>(part(name).get())->column);
  EXPECT_EQ(columns, (std::vector<int32_t>{2, 0, 999}));

  ObjectRef column = part("columnValueProvider_2"), beyond = part("columnValueProvider_999");
  auto read = [](RuntimeObject* provider) {
    return StringToStdUTF8(StringRef::Adopt(lcvpGetString(provider)).get()) + Raised();
  };
  lcvpSetString(column.get(), Text("lost").get());
  EXPECT_EQ(read(column.get()) + "|" + CellTextOf(pane, 3, 2), "|c32");
  SetProperty<int32_t>(list, "ListIndex", 3);
  EXPECT_EQ(read(column.get()) + "|" + read(beyond.get()), "c32|");
  lcvpSetString(column.get(), Text("new").get());
  EXPECT_EQ(CellTextOf(pane, 3, 2), "new");

  ObjectRef selection = part("getSelectionProvider");
  ObjectRef heard = NewRecordingReceiver("s"), columnHeard = NewRecordingReceiver("c");
  listSelectionAddDataNotificationReceiver(selection.get(), heard.get());
  lcvpAddDataNotificationReceiver(column.get(), columnHeard.get());
  std::vector<bool> selected;
  for (int32_t row : {-1, 1, -1}) {
    SetProperty<int32_t>(list, "ListIndex", row);
    selected.push_back(listSelectionGetBoolean(selection.get()));
  }
  CallMethod<void>(list, "EditCell", 2, 1);
  selected.push_back(listSelectionGetBoolean(selection.get()));
  EXPECT_EQ(selected, (std::vector<bool>{false, true, false, true}));
  Lines heardLines = TakeLog();
  heardLines.erase(std::remove(heardLines.begin(), heardLines.end(), "Change"), heardLines.end());
  EXPECT_EQ(heardLines, (Lines{"c.DataChanged", "s.DataChanged", "c.DataChanged",
                               "s.DataChanged", "c.DataChanged", "s.DataChanged"}));
  lcvpRemoveDataNotificationReceiver(column.get(), columnHeard.get());
  EXPECT_EQ(columnHeard->refCount, 1);
}

TEST_F(ListClassTest, BindingReplacesTheRowsAndReadsThemFromTheProvider) {
  runListbox* pane = NewList("List1");
  RuntimeObject* list = pane->Control();
  for (const char* row : {"a", "b", "c"}) CallMethod<void>(list, "AddRow", Text(row).get());
  ObjectRef provider = NewListProviderStandIn(5, {"f1", "f2", "f3"});
  CallMethod<void>(list, "BindList", provider.get());
  EXPECT_EQ(pane->RowCount(), 5);
  TakeGetRowCalls(provider.get());
  EXPECT_EQ(CallText(list, "List", 2), TextAnswer("f1", ""));
  EXPECT_EQ(TakeGetRowCalls(provider.get()), (std::vector<int32_t>{3}));
  EXPECT_EQ(CallText(list, "Cell", 2, 4), TextAnswer("", ""));
  EXPECT_EQ(provider->refCount, 2);
  CallMethod<void>(list, "AddRow", Text("z").get());
  EXPECT_EQ(pane->RowCount(), 5);

  std::vector<int32_t> counts;
  ObjectRef smaller = NewListProviderStandIn(2, {"g"});
  for (RuntimeObject* data : {smaller.get(), static_cast<RuntimeObject*>(nullptr), provider.get()}) {
    CallMethod<void>(list, "BindList", data);
    counts.push_back(pane->RowCount());
  }
  SetListProviderRows(provider.get(), 7, {"f1"});
  for (int reload = 0; reload < 2; ++reload) CallMethod<void>(list, "listDataReload");
  counts.push_back(pane->RowCount());
  CallMethod<void>(list, "listDataRemovedRow", pane->RowCount());
  counts.push_back(pane->RowCount());
  EXPECT_EQ(Raised(), "OutOfBounds");
  EXPECT_EQ(counts, (std::vector<int32_t>{2, 0, 5, 7, 7}));
  EXPECT_EQ(smaller->refCount, 1);

  static ClassBuilder uncounted(nullptr, "UncountedListProvider");
  uncounted.Implements(GetListDataProviderInterfaceDefinition());
  ObjectRef bare = ObjectRef::Adopt(uncounted.NewInstance());
  CallMethod<void>(list, "BindList", bare.get());
  EXPECT_EQ(pane->RowCount(), 0);
  // Notifications about rows an empty list does not have change nothing.
  CallMethod<void>(list, "listDataRemovedRow", 0);
  EXPECT_EQ(Raised(), "OutOfBounds");
  CallMethod<void>(list, "listDataInsertedRow", 1);
  EXPECT_EQ(Raised(), "OutOfBounds");
  EXPECT_EQ(pane->RowCount(), 0);
  runListbox* early = PlaceList(window_.get(), "List2", [&](RuntimeObject* stored) {
    CallMethod<void>(stored, "BindList", provider.get());
  });
  EXPECT_EQ(early->RowCount(), 7);
}

TEST_F(ListClassTest, ClosingReleasesEveryProviderPartAndBinding) {
  const uint32_t objects = RuntimeLiveObjectCount();
  ObjectRef provider = NewListProviderStandIn(3, {"a"});
  ObjectRef data = NewDataControlStandIn("Data1");
  WindowAddControl(window_.get(), data.get());
  RuntimeObject* list = NewList("List1")->Control();
  SetProperty<StringRecord*>(list, "DataSource", Text("Data1").get());
  for (int twice = 0; twice < 2; ++twice) {
    SetProperty<StringRecord*>(list, "DataField", Text("Name").get());
  }
  EXPECT_EQ(DataStandInBoundControls(data.get()).size(), 1u);
  CallMethod<void>(list, "BindList", provider.get());
  std::vector<ObjectRef> parts;
  for (const char* name : {"getSelectionProvider", "gotFocusAction", "columnValueProvider_1"}) {
    parts.push_back(
        ObjectRef::Adopt(CallMethod<RuntimeObject*>(list, "getBoundPart", Text(name).get())));
  }
  lcvpAddDataNotificationReceiver(parts[2].get(), NewRecordingReceiver("c").get());
  lbaAddActionNotificationReceiver(parts[1].get(), NewRecordingReceiver("a").get());
  ObjectRef unplaced = ObjectRef::Adopt(CreateInstance(GetListboxClassDefinition()));
  CallMethod<void>(unplaced.get(), "BindList", provider.get());
  unplaced = ObjectRef();
  CloseAllWindows();
  RunPendingTurns();
  parts.clear();
  EXPECT_EQ(provider->refCount, 1);
  provider = data = ObjectRef();
  EXPECT_EQ(RuntimeLiveObjectCount(), objects);
}

}  // namespace
