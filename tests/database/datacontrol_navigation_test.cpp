// The DataControl opening on a query and moving through its rows, by its
// methods and by real clicks on its buttons.
#include <algorithm>
#include <utility>

#include "database/results/ValueOrder.h"
#include "host/runtimemainloop.h"
#include "testsupport/FakeDBEngine.h"
#include "tests/database/datacontrol_support.h"

TEST(DataControlGeometry, ButtonsAreAsWideAsTheHeightAFifthOfTheWidthOr35AtMost) {
  struct Case {
    int32_t width, height, expected;
  };
  for (const Case& c : {Case{100, 20, 20}, Case{300, 60, 35}, Case{50, 30, 10}, Case{300, 30, 30}}) {
    EXPECT_EQ(NavigatorButtonWidth(c.width, c.height), c.expected) << c.width << " x " << c.height;
  }
}

TEST_F(DataControlTest, OpensOnTheFirstRowAndShowsItInEveryBoundControl) {
  Open();
  EXPECT_TRUE(window_->OpeningLog().empty());
  const std::vector<std::pair<int, int>> expected = {{0, 30}, {30, 60}, {240, 270}, {270, 300}};
  for (uint8_t button = kFirstButton; button <= kLastButton; ++button) {
    const MacRect r = Pane()->ButtonRect(button);
    EXPECT_EQ(std::make_pair(int(r.left), int(r.right)), expected[button - 1]);
    EXPECT_EQ(r.bottom - r.top, 30);
  }
  EXPECT_EQ(Row(), 1);
  EXPECT_EQ(RecordCount(), 3);
  EXPECT_EQ(Shown(), "1|Ann|n1|Red|checked");
  EXPECT_FALSE(Pane()->BackEnabled());
  EXPECT_TRUE(Pane()->ForwardEnabled());
  EXPECT_EQ(CallMethod<int32_t>(Data(), "FieldCount"), 5);
  std::vector<std::string> names;
  for (int32_t column = 0; column <= 5; ++column) {
    StringRef name = StringRef::Adopt(CallMethod<StringRecord*>(Data(), "GetField", column));
    names.push_back(StringToStdUTF8(name.get()));
  }
  EXPECT_EQ(names.back(), "");
  names.pop_back();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Lines{"color", "flag", "id", "name", "note"}));
  EXPECT_TRUE(TakeLog().empty());
}

TEST_F(DataControlTest, AClickOnNextMovesAndMovingWithoutEditsWritesNothing) {
  Open();
  const std::string before = FileBytes();
  ClickButton(kNextButton);
  EXPECT_EQ(TakeLog(), (Lines{"Data1.MoveNext", "Data1.Reposition(1)"}));
  EXPECT_EQ(Row(), 2);
  // "yes" is no "true": the box is unchecked, and that is no edit.
  EXPECT_EQ(Shown(), "2|Bob|n2|Green|unchecked");
  EXPECT_TRUE(Pane()->BackEnabled());
  Call("MoveNext");
  // "blue" is no row of the pop-up: nothing selected, and nothing written.
  EXPECT_EQ(Shown(), "3|Cy|n3||unchecked");
  EXPECT_FALSE(Pane()->ForwardEnabled());
  Call("MovePrevious");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Reposition(2)", "Data1.Reposition(1)"}));
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(Column("select color from people where id = 3"), "blue");
  EXPECT_EQ(Column("select flag from people where id = 2"), "yes");
}

TEST_F(DataControlTest, EachMoveReachesItsRow) {
  Open();
  struct Step {
    const char* method;
    int32_t row;
  };
  for (const Step& step : {Step{"MoveLast", 3}, Step{"MovePrevious", 2}, Step{"MoveFirst", 1},
                           Step{"MoveLast", 3}, Step{"MoveNext", 3}, Step{"MovePrevious", 2}}) {
    Call(step.method);
    EXPECT_EQ(Row(), step.row) << step.method;
  }
  CallMethod(Data(), "MoveTo", 3);
  EXPECT_EQ(Row(), 3);
  EXPECT_EQ(Shown("NameField"), "Cy");

  // Past the last record: Row is one more than the count, the controls show
  // nothing, and there is nothing to save or delete.
  CallMethod(Data(), "MoveTo", 10);
  EXPECT_EQ(Row(), 4);
  EXPECT_EQ(Shown(), "||||unchecked");
  TakeLog();
  Type("NameField", "Nobody");
  Call("Delete");
  Call("MoveFirst");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Reposition(0)"}));
  EXPECT_EQ(RecordCount(), 3);
  EXPECT_EQ(Column("select name from people order by id"), "Ann|Bob|Cy");
}

TEST_F(DataControlTest, MovesThatDoNotMove) {
  Open();
  CallMethod(Data(), "MoveTo", 1);
  CallMethod(Data(), "MoveTo", 0);
  Call("MovePrevious");
  Call("MoveFirst");
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_EQ(Row(), 1);

  // Pressed on next, released off it.
  const MacRect next = Pane()->ButtonRect(kNextButton);
  window_->RealDrag(Pane()->GetNativeHandle(), next.left + 5, 15, -100, 0);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_EQ(Row(), 1);

  // A disabled side takes no press.
  ClickButton(kPreviousButton);
  EXPECT_TRUE(TakeLog().empty());

  window_->AnswerEvent("Data1", "MoveNext", true);
  ClickButton(kNextButton);
  EXPECT_EQ(TakeLog(), (Lines{"Data1.MoveNext"}));
  EXPECT_EQ(Row(), 1);
}

TEST_F(DataControlTest, AOneRowQueryGreysBothSides) {
  Open(Descriptions("people", "select * from people where id = 2"));
  EXPECT_EQ(RecordCount(), 1);
  EXPECT_FALSE(Pane()->BackEnabled());
  EXPECT_FALSE(Pane()->ForwardEnabled());
  EXPECT_EQ(Shown(), "2|Bob|n2|Green|unchecked");
}

TEST_F(DataControlTest, AListSelectsTheRowOfTheFieldIgnoringCaseAndIsDisabledWhenReadOnly) {
  std::vector<ControlDescription> controls = Descriptions();
  ControlDescription list =
      Described(GetBoundTestListClassDefinition(), "ColorList", Rect(150, 70, 100, 60));
  list.plain = true;
  list.dataSource = "Data1";
  list.dataField = "color";
  list.prepare = [](RuntimeObject* control) { BoundTestSetRows(control, {"blue", "RED"}); };
  controls.push_back(list);
  Open(std::move(controls));
  EXPECT_EQ(Shown("ColorList"), "RED");
  Call("MoveNext");
  EXPECT_EQ(Shown("ColorList"), "");
  Call("MoveNext");
  EXPECT_EQ(Shown("ColorList"), "blue");
  SetProperty<bool>(Data(), "ReadOnly", true);
  EXPECT_FALSE(GetProperty<bool>(window_->Control("ColorList"), "Enabled"));
  EXPECT_FALSE(GetProperty<bool>(window_->Control("ColorPopup"), "Enabled"));
}

// An ordered query is sorted when it runs; moving back and counting rewind
// its rows, until a change through the database makes the next move run it
// again and show the new order.
TEST_F(DataControlTest, AnOrderedQueryIsSortedOnceUntilTheDatabaseChanges) {
  Open(Descriptions("people", "select * from people order by name desc"));
  const uint64_t opened = ValueCompareCount();
  EXPECT_EQ(RecordCount(), 3);
  Call("MoveLast");
  Call("MovePrevious");
  EXPECT_EQ(Shown("NameField"), "Bob");
  Call("MoveFirst");
  EXPECT_EQ(Shown("NameField"), "Cy");
  Call("MoveNext");
  EXPECT_EQ(ValueCompareCount(), opened) << "sorted again without a change";

  Exec("update people set name = 'Al' where id = 3");
  Call("MovePrevious");
  EXPECT_GT(ValueCompareCount(), opened);
  EXPECT_EQ(Row(), 1);
  EXPECT_EQ(Shown("NameField"), "Bob");
  Call("MoveLast");
  EXPECT_EQ(Shown("NameField"), "Al");
  // A new query text waits for the next move, as before.
  SetProperty<StringRecord*>(Data(), "SQLQuery", Text("select * from people order by name").get());
  Call("MovePrevious");
  EXPECT_EQ(Shown("NameField"), "Ann");
}

// A row changed in a background step while an ordered query's rows drain
// is shown by the moves back that follow: the rows sorted before the
// change are not kept.
namespace {
RuntimeObject* gDatabaseChangedWhileDraining = nullptr;
}  // namespace

TEST_F(DataControlTest, AChangeMadeWhileTheQueryDrainsIsNotRewoundAway) {
  gDatabaseChangedWhileDraining = db_.get();
  RuntimeSetBackgroundSocketPoll(true);
  SetSocketPollHook([](bool) {
    if (RuntimeObject* db = std::exchange(gDatabaseChangedWhileDraining, nullptr)) {
      StringRef sql = StringRef::Adopt(StringFromUTF8("update people set name = 'Zed' where id = 1"));
      CallMethod(db, "SQLExecute", sql.get());
    }
    return true;
  });
  Open(Descriptions("people", "select * from people order by name"));
  SetSocketPollHook(nullptr);
  RuntimeSetBackgroundSocketPoll(false);
  ASSERT_EQ(nullptr, gDatabaseChangedWhileDraining) << "no background step while the rows drained";
  Call("MoveNext");
  Call("MovePrevious");
  EXPECT_EQ(Shown("NameField"), "Bob");
  Call("MoveLast");
  EXPECT_EQ(Shown("NameField"), "Zed");
}

// A query text set in a background step while the rows drain is not the
// text those rows came from: a move back runs it, as any new text; so too
// when a new table name set there runs the new text at once, inside the
// run, whose own rows then stand.
namespace {
RuntimeObject* gDataControlRequeriedWhileDraining = nullptr;
const char* gQuerySetWhileDraining = nullptr;
bool gTableNameSetWhileDraining = false;
}  // namespace

TEST_F(DataControlTest, AQueryTextSetWhileTheRowsDrainRunsAtTheNextMoveBack) {
  Open(Descriptions("people", "select * from people order by name"));
  RuntimeSetBackgroundSocketPoll(true);
  SetSocketPollHook([](bool) {
    if (RuntimeObject* control = std::exchange(gDataControlRequeriedWhileDraining, nullptr)) {
      StringRef sql = StringRef::Adopt(StringFromUTF8(gQuerySetWhileDraining));
      SetProperty<StringRecord*>(control, "SQLQuery", sql.get());
      StringRef table = StringRef::Adopt(StringFromUTF8("people"));
      if (gTableNameSetWhileDraining) SetProperty<StringRecord*>(control, "TableName", table.get());
    }
    return true;
  });
  const struct {
    const char* query;
    bool tableName;
    const char* first;
    const char* second;
  } cases[] = {{"select * from people order by name desc", false, "Cy", "Bob"},
               {"select * from people order by name", true, "Ann", "Bob"}};
  for (const auto& c : cases) {
    gDataControlRequeriedWhileDraining = Data();
    gQuerySetWhileDraining = c.query;
    gTableNameSetWhileDraining = c.tableName;
    Call("RunQuery");
    ASSERT_EQ(nullptr, gDataControlRequeriedWhileDraining) << "no background step while the rows drained";
    Call("MoveNext");
    Call("MoveLast");
    Call("MovePrevious");
    EXPECT_EQ(Shown("NameField"), c.second) << c.query;
    Call("MoveFirst");
    EXPECT_EQ(Shown("NameField"), c.first) << c.query;
  }
  SetSocketPollHook(nullptr);
  RuntimeSetBackgroundSocketPoll(false);
}

// Another engine's data may change behind this process: its query runs
// again at every move back, even when its result could be rewound.
TEST_F(DataControlTest, AnotherEnginesQueryRunsAgainOnEachMoveBack) {
  FakeDBEngine engine;
  int selects = 0;
  engine.select = [&](const std::string&) {
    ++selects;
    FakeRows rows = {{FakeInteger(1), FakeText("a")}, {FakeInteger(2), FakeText("b")}};
    return engine.AddCursor({"id", "name"}, rows, FakeAllSlotsBut({kCursorEdit})).NewSet();
  };
  ObjectRef builtIn = std::move(db_);
  db_ = ObjectRef::Adopt(engine.NewDatabase());
  Open();
  Call("MoveNext");
  EXPECT_EQ(Shown("NameField"), "b");
  const int before = selects;
  Call("MovePrevious");
  EXPECT_EQ(selects, before + 1);
  EXPECT_EQ(Shown("NameField"), "a");
  window_.reset();
  databaseClose(db_.get());
  db_ = std::move(builtIn);
}
