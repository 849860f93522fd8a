// Edits written back, records inserted and deleted, the failures the
// database reports, commits, ReadOnly and the action parts.
#include <algorithm>
#include <functional>

#include "tests/database/datacontrol_support.h"

TEST_F(DataControlTest, AnEditIsValidatedWrittenAndReportedOnTheNextMove) {
  Open();
  Type("NameField", "Anne");
  ClickButton(kNextButton);
  EXPECT_EQ(TakeLog(), (Lines{"Data1.MoveNext", "Data1.Validate(1)", "Data1.Update",
                              "Data1.Reposition(1)"}));
  EXPECT_EQ(Column("select name from people order by id"), "Anne|Bob|Cy");
  EXPECT_EQ(Shown(), "2|Bob|n2|Green|unchecked");

  // Checked over "yes": written as "true", once.
  SetProperty<bool>(window_->Control("FlagBox"), "Value", true);
  Call("MoveNext");
  EXPECT_EQ(Column("select flag from people where id = 2"), "true");
  Call("MovePrevious");
  EXPECT_TRUE(Checked());
  TakeLog();
  Call("MovePrevious");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Reposition(0)"}));
}

TEST_F(DataControlTest, AValidateAnsweringTrueKeepsTheRowWhileTheControlsMoveOn) {
  Open();
  window_->AnswerEvent("Data1", "Validate", true);
  Type("NameField", "Anne");
  Call("MoveNext");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(1)", "Data1.Reposition(1)"}));
  EXPECT_EQ(Column("select name from people where id = 1"), "Ann");
  EXPECT_EQ(Shown("NameField"), "Bob");
}

// A save that takes the row out of the query, alone or on the way to
// another row: RecordCount then gives what a new run of the query gives,
// and the move goes no further than the rows left.
TEST_F(DataControlTest, ASaveThatTakesTheRowOutOfTheQueryCountsAndMovesOverTheRowsLeft) {
  Exec("insert into people (id, name) values (4, 'Di')");
  Exec("insert into people (id, name) values (5, 'Ed')");
  Open(Descriptions("people", "select * from people where name <> 'Zed'"));
  EXPECT_EQ(RecordCount(), 5);
  const struct {
    int32_t from;  // MoveTo first, unless 0
    const char* method;
    const char* shown;
    int32_t row;
    int32_t count;
  } steps[] = {{0, "Update", "Bob", 1, 4},
               {3, "MoveNext", "Ed", 3, 3},
               {1, "MoveLast", "Ed", 2, 2},
               {0, "MovePrevious", "Cy", 1, 1}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.method);
    CallMethod(Data(), "MoveTo", step.from);
    Type("NameField", "Zed");
    Call(step.method);
    EXPECT_EQ(Shown("NameField"), step.shown);
    EXPECT_EQ(Row(), step.row);
    EXPECT_EQ(RecordCount(), step.count);
  }
  EXPECT_EQ(Column("select name from people order by id"), "Zed|Zed|Cy|Zed|Zed");
}

// A save whose row moves away from the current position (it left the query,
// or its key changed) leaves the set on another row: the controls then show
// that row, so that the next save writes only what they showed; past the
// last record nothing is shown or written.
TEST_F(DataControlTest, ASaveThatMovesTheRowShowsTheRowTheSetStandsOn) {
  Open(Descriptions("people", "select * from people where name <> 'Zed'"));
  const struct {
    bool onLastRow;
    const char* field;
    const char* typed;
    const char* shown;
    const char* note;
    const char* notes;  // by id, after the note is saved
  } steps[] = {{false, "NameField", "Zed", "2|Bob|n2|Green|unchecked", "seen", "n1|seen|n3"},
               {false, "IdField", "7", "3|Cy|n3||unchecked", "seen too", "n1|seen too|seen"},
               {true, "NameField", "Zed", "||||unchecked", "lost", "n1|seen too|seen"}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.shown);
    if (step.onLastRow) Call("MoveLast");
    TakeLog();
    Type(step.field, step.typed);
    Call("Update");
    EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(1)", "Data1.Update"}));
    EXPECT_EQ(Shown(), step.shown);
    Type("NoteLabel", step.note);
    Call("Update");
    EXPECT_EQ(Column("select note from people order by id"), step.notes);
  }
  EXPECT_EQ(Column("select id from people order by id"), "1|3|7");
}

TEST_F(DataControlTest, MoveNextOnTheLastRowSavesButStays) {
  Open();
  Call("MoveLast");
  TakeLog();
  Type("NameField", "Cyd");
  Call("MoveNext");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(1)", "Data1.Update"}));
  EXPECT_EQ(Row(), 3);
  EXPECT_EQ(Column("select name from people where id = 3"), "Cyd");
  // The saved value is the control's new snapshot: no second save.
  Call("MoveNext");
  EXPECT_TRUE(TakeLog().empty());
}

TEST_F(DataControlTest, DeletingTheLastRowShowsTheNewLast) {
  Open();
  Call("MoveLast");
  TakeLog();
  Call("Delete");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(2)", "Data1.Reposition(1)", "Data1.Delete"}));
  EXPECT_EQ(Shown(), "2|Bob|n2|Green|unchecked");
  EXPECT_EQ(RecordCount(), 2);
  EXPECT_EQ(Row(), 2);
  EXPECT_EQ(Column("select id from people"), "1|2");
}

// A Validate handler that runs the query again or moves leaves the set on
// another row than the one the user asked to delete, even when it comes back
// to the same row number: the delete then removes nothing rather than the
// row the set stands on now.
TEST_F(DataControlTest, ADeleteWhoseValidateMovesTheSetRemovesNoOtherRow) {
  const struct {
    const char* name;
    std::function<void(RuntimeObject*)> handler;
    const char* ids;
    const char* shown;
  } cases[] = {
      {"RunQuery", [](RuntimeObject* data) { CallMethod(data, "RunQuery"); }, "1|2|3", "Ann"},
      {"MoveNext", [](RuntimeObject* data) { CallMethod(data, "MoveNext"); }, "1|2|3", "Cy"},
      {"a row put before, then back to row 2",
       [this](RuntimeObject* data) {
         Exec("insert into people (id, name) values (0, 'Al')");
         CallMethod(data, "RunQuery");
         CallMethod(data, "MoveTo", int32_t(2));
       },
       "0|1|2|3", "Ann"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Open();
    Call("MoveNext");
    window_->OnEvent("Data1", "Validate", c.handler);
    TakeLog();
    Call("Delete");
    const Lines log = TakeLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Data1.Delete"), 0);
    EXPECT_EQ(Column("select id from people order by id"), c.ids);
    EXPECT_EQ(Shown("NameField"), c.shown);
    window_.reset();
  }
}

TEST_F(DataControlTest, InsertStoresTheControlsAndClearsThemUnlessTheHandlerKeepsThem) {
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "kept" : "cleared");
    Open();
    window_->AnswerEvent("Data1", "Insert", keep);
    const std::string id = keep ? "5" : "4";
    Type("IdField", id);
    Type("NameField", "Dee");
    Call("Insert");
    EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(0)", "Data1.Insert"}));
    EXPECT_EQ(Column("select name from people where id = " + id), "Dee");
    EXPECT_EQ(Column("select flag from people where id = " + id), "true");
    EXPECT_EQ(Shown(), keep ? "5|Dee|n1|Red|checked" : "||||unchecked");
    // No set until the next query.
    EXPECT_EQ(Row(), 0);
    Call("RunQuery");
    EXPECT_EQ(RecordCount(), keep ? 5 : 4);
    window_.reset();
  }
}

TEST_F(DataControlTest, AFailedInsertKeepsEveryControlAndReportsNothing) {
  Open();
  Type("NameField", "Twin");
  Call("Insert");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(0)"}));
  EXPECT_EQ(ErrorCode(), 2005);
  EXPECT_EQ(Shown(), "1|Twin|n1|Red|checked");
  EXPECT_EQ(Column("select name from people order by id"), "Ann|Bob|Cy");
}

TEST_F(DataControlTest, ARefusedSaveFiresNoUpdateAndLeavesTheErrorAndTheNextRowEditable) {
  Open();
  int32_t errorInReposition = -1;
  RuntimeObject* database = db_.get();
  window_->OnEvent("Data1", "Reposition", [&](RuntimeObject*) {
    errorInReposition = databaseErrorCodeGetter(database, 0);
  });
  Type("IdField", "2");
  Call("MoveNext");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(1)", "Data1.Reposition(1)"}));
  EXPECT_EQ(errorInReposition, 2005);
  EXPECT_EQ(Column("select name from people order by id"), "Ann|Bob|Cy");
  EXPECT_EQ(Shown(), "2|Bob|n2|Green|unchecked");
  EXPECT_FALSE(BoundTestReadOnly(window_->Control("IdField")));
  EXPECT_TRUE(GetProperty<bool>(window_->Control("FlagBox"), "Enabled"));
  EXPECT_FALSE(GetProperty<bool>(Data(), "RecordLocked"));
}

// An ordered query's set holds copies of its rows: an edit and a delete
// reach the table's row it shows, and are refused when two rows alike in
// every column the query shows leave it unknown which one that is.
TEST_F(DataControlTest, ASortedResultChangesTheTableRowItShowsWhenOneRowAloneShowsSo) {
  Open();
  SetProperty<StringRecord*>(Data(), "SQLQuery",
                             Text("select * from people order by name").get());
  EXPECT_EQ(Shown("NameField"), "Ann");  // the new query waits
  Call("RunQuery");
  TakeLog();
  Type("NameField", "Zed");
  Call("MoveNext");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(1)", "Data1.Update", "Data1.Reposition(1)"}));
  EXPECT_EQ(ErrorCode(), 0);
  EXPECT_EQ(Column("select name from people order by id"), "Zed|Bob|Cy");
  EXPECT_EQ(Shown(), "3|Cy|n3||unchecked");
  Call("Delete");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(2)", "Data1.Reposition(1)", "Data1.Delete"}));
  EXPECT_EQ(ErrorCode(), 0);
  EXPECT_EQ(Column("select name from people order by id"), "Zed|Bob");
  EXPECT_EQ(Shown("NameField"), "Zed");

  // Refused: "Rob" typed over the first row of the query is not written.
  auto refusedEdit = [this](const char* query) {
    SetProperty<StringRecord*>(Data(), "SQLQuery", Text(query).get());
    Call("RunQuery");
    TakeLog();
    Type("NameField", "Rob");
    Call("MoveNext");
    EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(1)", "Data1.Reposition(1)"})) << query;
    EXPECT_EQ(ErrorCode(), kDBErrorNotUpdatable) << query;
  };
  Exec("insert into people (id, name) values (4, 'Bob')");
  refusedEdit("select name from people order by name");
  Call("Delete");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(2)"}));
  EXPECT_EQ(ErrorCode(), kDBErrorNotUpdatable);
  EXPECT_EQ(RecordCount(), 3);
  // The row found in another table than the column edited.
  Exec("create table tags (tag varchar(10) not null, primary key (tag))");
  Exec("insert into tags (tag) values ('x')");
  SetProperty<StringRecord*>(Data(), "TableName", Text("tags").get());
  refusedEdit("select * from people, tags order by name");
  EXPECT_EQ(Column("select name from people order by id"), "Zed|Bob|Bob");
}

// Two rows whose prices both read "1.25" are still two values: the row the
// sorted set shows is found by the value it holds, not by its text.
TEST_F(DataControlTest, ASortedResultFindsItsTableRowByValueNotByText) {
  Exec("alter table people add column price double");
  Exec("update people set price = 1.251 where id = 1");
  Exec("insert into people (id, name, price) values (4, 'Ann', 1.254)");
  Open();
  SetProperty<StringRecord*>(Data(), "SQLQuery",
                             Text("select name, price from people order by price desc").get());
  Call("RunQuery");
  TakeLog();
  Type("NameField", "Anne");
  Call("MoveNext");
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Validate(1)", "Data1.Update", "Data1.Reposition(1)"}));
  EXPECT_EQ(ErrorCode(), 0);
  EXPECT_EQ(Column("select name from people order by id"), "Ann|Bob|Cy|Anne");
}

TEST_F(DataControlTest, CommitFollowsEverySuccessfulChangeOnlyWhenAsked) {
  Open();
  SetProperty<bool>(Data(), "Commit", true);
  Type("NameField", "Anne");
  Call("MoveNext");
  EXPECT_EQ(TransactionWord(), 0u) << "after a save";
  Type("IdField", "4");
  Call("Insert");
  EXPECT_EQ(TransactionWord(), 0u) << "after an insert";
  Call("RunQuery");
  Call("Delete");
  EXPECT_EQ(TransactionWord(), 0u) << "after a delete";
  EXPECT_EQ(Column("select name from people order by id"), "Bob|Cy|Bob");

  SetProperty<bool>(Data(), "Commit", false);
  Type("NameField", "Bo");
  Call("MoveNext");
  EXPECT_EQ(TransactionWord(), 1u) << "after a save without Commit";
}

TEST_F(DataControlTest, ReadOnlyLocksTheControlsAndWritesNothing) {
  Open();
  SetProperty<bool>(Data(), "ReadOnly", true);
  EXPECT_TRUE(BoundTestReadOnly(window_->Control("IdField")));
  EXPECT_TRUE(BoundTestReadOnly(window_->Control("NameField")));
  EXPECT_FALSE(IsWindowEnabled(window_->Native("FlagBox")));
  const std::string before = FileBytes();
  Type("NameField", "Anne");
  Call("MoveNext");
  Call("MovePrevious");
  for (const char* method : {"Insert", "Update", "Delete", "NewRecord"}) Call(method);
  EXPECT_EQ(TakeLog(), (Lines{"Data1.Reposition(1)", "Data1.Reposition(0)"}));
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(RecordCount(), 3);

  SetProperty<bool>(Data(), "ReadOnly", false);
  EXPECT_FALSE(BoundTestReadOnly(window_->Control("NameField")));
  EXPECT_TRUE(IsWindowEnabled(window_->Native("FlagBox")));
}

TEST_F(DataControlTest, ActionPartsPerformTheirRecordAction) {
  Open();
  auto part = [&](const char* name) {
    return ObjectRef::Adopt(CallMethod<RuntimeObject*>(Data(), "getBoundPart", Text(name).get()));
  };
  struct Case {
    const char* name;
    int kind;  // -1: none
  };
  for (const Case& c : {Case{"getAddNewAction", 0}, Case{"GETUPDATEACTION", 1},
                        Case{"getNewRecordAction", 3}, Case{"getDeleteActions", -1}}) {
    ObjectRef action = part(c.name);
    ASSERT_EQ(action.get() != nullptr, c.kind >= 0) << c.name;
    if (action) {
      EXPECT_EQ(ObjectFields<DataControlActionFields>(action.get())->kind, c.kind);
    }
  }
  ObjectRef remove = part("GETDELETEACTION");
  SetProperty<bool>(Data(), "ReadOnly", true);
  CallMethod(remove.get(), "PerformAction");
  EXPECT_EQ(RecordCount(), 3);
  SetProperty<bool>(Data(), "ReadOnly", false);
  CallMethod(remove.get(), "PerformAction");
  EXPECT_EQ(RecordCount(), 2);
  EXPECT_EQ(Column("select id from people"), "2|3");
}

TEST_F(DataControlTest, AQueryRunsOnlyWithTableAndQueryAndStartsAgainOnTableOrDatabase) {
  Open(Descriptions("people", ""));
  EXPECT_EQ(Row(), 0);
  EXPECT_FALSE(Pane()->BackEnabled() || Pane()->ForwardEnabled());
  EXPECT_EQ(Shown(), "||||unchecked");
  window_.reset();

  Open(Descriptions("", "select * from people"));
  EXPECT_EQ(Row(), 0);
  EXPECT_EQ(RecordCount(), 0);
  EXPECT_FALSE(Pane()->BackEnabled() || Pane()->ForwardEnabled());
  SetProperty<StringRecord*>(Data(), "TableName", Text("people").get());
  EXPECT_EQ(Row(), 1);
  EXPECT_EQ(Shown(), "1|Ann|n1|Red|checked");
  SetProperty<StringRecord*>(Data(), "SQLQuery",
                             Text("select * from people where id = 3").get());
  EXPECT_EQ(Shown("NameField"), "Ann");
  SetProperty<RuntimeObject*>(Data(), "Database", db_.get());
  EXPECT_EQ(Shown("NameField"), "Cy");
  EXPECT_FALSE(Pane()->ForwardEnabled());
}

TEST_F(DataControlTest, AQueryTheDatabaseRefusesLeavesNoSetAndTheErrorReadable) {
  Open(Descriptions("people", "select * from nowhere"));
  EXPECT_EQ(Row(), 0);
  EXPECT_NE(ErrorCode(), 0);
  EXPECT_FALSE(Pane()->BackEnabled() || Pane()->ForwardEnabled());
  Call("MoveNext");
  Call("Delete");
  EXPECT_TRUE(TakeLog().empty());
}

TEST(DataControlWithoutPane, EveryMemberAnswersItsDefault) {
  ObjectRef data = ObjectRef::Adopt(CreateInstance(GetDataControlClassDefinition()));
  RuntimeObject* control = data.get();
  EXPECT_EQ(CallMethod<int32_t>(control, "Row"), 0);
  EXPECT_EQ(CallMethod<int32_t>(control, "RecordCount"), 0);
  EXPECT_EQ(CallMethod<int32_t>(control, "FieldCount"), 0);
  EXPECT_EQ(CallMethod<RuntimeObject*>(control, "RecordSet"), nullptr);
  EXPECT_FALSE(GetProperty<bool>(control, "RecordLocked"));
  for (const char* method : {"MoveNext", "MoveLast", "RunQuery", "Insert", "Delete", "Update",
                             "NewRecord", "ClearBoundControls"}) {
    CallMethod(control, method);
  }
  EXPECT_EQ(GetProperty<int32_t>(control, "kDelete"), 2);
  StringRef caption = StringRef::Adopt(StringFromASCII("People"));
  SetProperty<StringRecord*>(control, "Caption", caption.get());
  StringRef read = StringRef::Adopt(GetProperty<StringRecord*>(control, "Caption"));
  EXPECT_EQ(StringToStdUTF8(read.get()), "People");
}

TEST_F(DataControlTest, TypedTextReachesTheDatabaseOnlyAsValues) {
  Open();
  const std::string hostile = "x'); delete from people; --";
  Type("NameField", hostile);
  Call("MoveNext");
  EXPECT_EQ(Column("select name from people order by id"), hostile + "|Bob|Cy");
  Type("IdField", "9");
  Type("NameField", "O'Dee");
  Call("Insert");
  EXPECT_EQ(Column("select name from people where id = 9"), "O'Dee");
  EXPECT_EQ(Column("select id from people order by id"), "1|2|3|9");
}
