// RecordSet and DatabaseField over the fake cursor: fallbacks, conversions,
// edits and their write-back, moves, closing.
#include <cmath>
#include <random>

#include "core/Date.h"
#include "core/basicstr.h"
#include "core/diagnostics.h"
#include "core/Variant.h"
#include "core/RuntimeExceptionFoundation.h"
#include "database/api/DBInterface.h"
#include "database/api/DBRegistry.h"
#include "database/api/DBValue.h"
#include "database/api/Database.h"
#include "database/api/DatabaseField.h"
#include "database/api/DatabaseHooks.h"
#include "database/api/RecordSet.h"
#include "graphics/PictureClass.h"
#include "host/RuntimeMain.h"
#include "tests/database/dbapi_support.h"

namespace {

using DbApiSetTest = DbApiTest;

ObjectRef NewSet(FakeCursor& cursor) { return ObjectRef::Adopt(cursor.NewSet()); }

bool Eof(RuntimeObject* set) { return GetProperty<bool>(set, "EOF"); }

// The calls that write: statements, UpdateFields, Update, DeleteRecord.
std::string Writes(FakeDBEngine& engine) {
  std::string writes;
  for (const std::string& entry : engine.log) {
    for (const char* slot : {"ExecuteSQL", "UpdateFields", "Update(", "DeleteRecord"}) {
      if (entry.rfind(slot, 0) == 0) writes += (writes.empty() ? "" : "; ") + entry;
    }
  }
  engine.log.clear();
  return writes;
}

TEST_F(DbApiSetTest, TablesAreCheckedAndEmptySlotsGiveTheirFallbacks) {
  FakeDBEngine engine;
  FakeCursor& rows = engine.AddCursor({"a"}, {{FakeInteger(1)}, {FakeInteger(2)}});
  EXPECT_EQ(engine.table.words[1] | rows.table.words[1], 0u);
  DBEngineDefinition oldEngine = engine.table;
  DBCursorDefinition oldCursor = rows.table;
  oldEngine.words[0] = oldCursor.words[0] = 3;
  EXPECT_EQ(TOVAdbCursorFromDBCursor(0, &rows.table), nullptr);
  EXPECT_EQ(TOVAdbCursorFromDBCursor(reinterpret_cast<DBHandle>(&rows), &oldCursor), nullptr);
  EXPECT_EQ(TOVAdbDatabaseFromDBDatabase(0, &engine.table), nullptr);
  EXPECT_EQ(TOVAdbDatabaseFromDBDatabase(reinterpret_cast<DBHandle>(&engine), &oldEngine),
            nullptr);
  ObjectRef set = NewSet(rows);
  EXPECT_EQ(engine.TakeLog(), "MoveNext(c1)");
  EXPECT_FALSE(GetProperty<bool>(set.get(), "BOF") || Eof(set.get()));

  ObjectRef bare = NewSet(engine.AddCursor({"a"}, {{FakeInteger(1)}}, 0));
  ASSERT_TRUE(bare);
  EXPECT_EQ(GetProperty<int32_t>(bare.get(), "FieldCount"), 0);
  EXPECT_EQ(CallMethod<int32_t>(bare.get(), "RecordCount"), -1);
  EXPECT_EQ(CallMethod<int32_t>(bare.get(), "ColumnType", 0), -1);
  EXPECT_TRUE(GetProperty<bool>(bare.get(), "BOF") && Eof(bare.get()));
  EXPECT_EQ(CallMethod<RuntimeObject*>(bare.get(), "IdxField", 1), nullptr);
  EXPECT_EQ(engine.TakeLog(), "");

  FakeCursor& unnamed = engine.AddCursor({"x", "y"}, {{FakeInteger(1), FakeText("two")}},
                                         FakeAllSlotsBut({kCursorColumnName}));
  ObjectRef named = NewSet(unnamed);
  ObjectRef field = Field(named.get(), "FIELD2");
  ASSERT_TRUE(field);
  EXPECT_EQ(Text(GetProperty<StringRecord*>(field.get(), "Name")), "field2");
  EXPECT_EQ(Text(GetProperty<StringRecord*>(field.get(), "StringValue")), "two");
}

TEST_F(DbApiSetTest, ValuesConvertByTheirCode) {
  struct Case {
    const char* column;
    FakeValue value;
    const char* text;  // StringValue
    double number;     // DoubleValue
    int32_t integer;   // IntegerValue
    bool boolean;      // BooleanValue
    int32_t kind;      // VarType of Value
    const char* date;  // DateValue as SQL text
  };
  const Case cases[] = {
      {"small", FakeSmallInt(-7), "-7", -7, -7, true, kVariantInteger, "1-1-1 0:0:0"},
      {"int", FakeInteger(42), "42", 42, 42, true, kVariantInteger, "1-1-1 0:0:0"},
      {"text", FakeText("True 3"), "True 3", 0, 0, true, kVariantString, "1-1-1 0:0:0"},
      {"single", FakeSingle(0.1f), "0.1", 0.1f, 0, true, kVariantDouble, "1-1-1 0:0:0"},
      {"two", FakeDouble(2.0), "2", 2, 2, true, kVariantDouble, "1-1-1 0:0:0"},
      {"quarter", FakeDouble(-2.25), "-2.25", -2.25, -2, true, kVariantDouble, "1-1-1 0:0:0"},
      {"date", FakeWords(kDBDate, {2024, 1, 5}), "2024-01-05", 0, 0, false, kVariantDate,
       "2024-1-5 0:0:0"},
      {"old", FakeWords(kDBDate, {1500, 3, 4}), "1500-03-04", 0, 0, false, kVariantDate,
       "1500-3-4 0:0:0"},
      {"leap", FakeWords(kDBDate, {2023, 2, 29}), "2023-02-29", 0, 0, false, kVariantDate,
       "2023-3-1 0:0:0"},
      {"time", FakeWords(kDBTime, {25, 0, 0}), "25:00:00", 0, 0, false, kVariantDate,
       "1-1-2 1:0:0"},
      {"stamp", FakeWords(kDBTimeStamp, {2024, 1, 5, 9, 5, 0}), "2024-01-05 09:05:00", 0, 0,
       false, kVariantDate, "2024-1-5 9:5:0"},
      {"zero", FakeDouble(0), "0", 0, 0, false, kVariantDouble, "1-1-1 0:0:0"},
      {"tiny", FakeDouble(-0.001), "-0.001", -0.001, 0, true, kVariantDouble, "1-1-1 0:0:0"},
      {"flag", FakeBoolean(true), "true", 1, 1, true, kVariantBoolean, "1-1-1 0:0:0"},
      {"blob", FakeText("xyz", kDBBlob), "xyz", 0, 0, false, kVariantString, "1-1-1 0:0:0"},
      {"short", FakeValue{kDBInteger, std::string(2, '\x05')}, "NULL", 0, 0, false, kVariantNil,
       "1-1-1 0:0:0"},
      {"odd", FakeText("abc", 11), "NULL", 0, 0, false, kVariantNil, "1-1-1 0:0:0"},
      {"null", FakeNull(), "NULL", 0, 0, false, kVariantNil, "1-1-1 0:0:0"},
  };
  FakeDBEngine engine;
  std::vector<std::string> columns;
  std::vector<FakeValue> row;
  for (const Case& c : cases) {
    columns.push_back(c.column);
    row.push_back(c.value);
  }
  ObjectRef set = NewSet(engine.AddCursor(columns, {row}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    ObjectRef field = Field(set.get(), c.column);
    RuntimeObject* f = field.get();
    EXPECT_EQ(Text(GetProperty<StringRecord*>(f, "StringValue")), c.text);
    EXPECT_EQ(Text(CallMethod<StringRecord*>(f, "getString")), c.text);
    EXPECT_DOUBLE_EQ(GetProperty<double>(f, "DoubleValue"), c.number);
    EXPECT_EQ(GetProperty<int32_t>(f, "IntegerValue"), c.integer);
    EXPECT_EQ(GetProperty<bool>(f, "BooleanValue"), c.boolean);
    ObjectRef value = ObjectRef::Adopt(GetProperty<RuntimeObject*>(f, "Value"));
    EXPECT_EQ(VarType(value.get()), c.kind);
    ObjectRef date = ObjectRef::Adopt(GetProperty<RuntimeObject*>(f, "DateValue"));
    EXPECT_EQ(Text(DateToSQLString(date.get())), c.date);
  }
  ObjectRef blob = Field(set.get(), "blob");
  EXPECT_EQ(Text(GetProperty<StringRecord*>(blob.get(), "NativeValue")), "xyz");
  CallMethod(set.get(), "MoveNext");
  EXPECT_EQ(Text(GetProperty<StringRecord*>(blob.get(), "StringValue")), "NULL");
}

// A field's reads check the object they are given: nil leaves
// NilObjectException pending, an object of another class is a caller's fault,
// and an object of the field's parent class reads like a field.
TEST_F(DbApiSetTest, FieldReadsCheckTheirObject) {
  FakeDBEngine engine;
  ObjectRef set = NewSet(engine.AddCursor({"a", "b"}, {{FakeInteger(7), FakeText("seven")}}));
  TakeRecordedBoxes();
  EXPECT_EQ(fieldStringValueGetter(nullptr, 0), nullptr);
  ObjectRef nil = ObjectRef::Adopt(RuntimeTakePendingException());
  EXPECT_TRUE(ObjectIsADefinition(nil.get(), GetNilObjectExceptionClassDefinition()));
  EXPECT_EQ(fieldStringValueGetter(set.get(), 0), nullptr);
  EXPECT_EQ(fieldDoubleValueGetter(set.get(), 0), 0);
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Failed Assertion");
  EXPECT_EQ(RuntimePendingException(), nullptr);

  ObjectRef parent = ObjectRef::Adopt(CreateInstance(GetDatabaseCursorFieldClassDefinition()));
  RuntimeLockObject(set.get());
  ObjectFields<DatabaseFieldFields>(parent.get())->set = set.get();
  ObjectFields<DatabaseFieldFields>(parent.get())->column = 1;
  EXPECT_EQ(Text(GetProperty<StringRecord*>(parent.get(), "StringValue")), "seven");
  ObjectRef field = Field(set.get(), "a");
  EXPECT_EQ(Text(GetProperty<StringRecord*>(field.get(), "StringValue")), "7");
  EXPECT_TRUE(TakeRecordedBoxes().empty());
}

// A field the application makes itself belongs to no set: it reads nothing
// and keeps no edit, as a field of a closed set.
TEST_F(DbApiSetTest, AFieldMadeWithoutASetReadsNothing) {
  for (ObjectDefinition* definition :
       {GetDatabaseFieldClassDefinition(), GetDatabaseCursorFieldClassDefinition()}) {
    ObjectRef field = ObjectRef::Adopt(CreateInstance(definition));
    RuntimeObject* made = field.get();
    EXPECT_EQ(fieldStringValueGetter(made, 0), nullptr);
    EXPECT_EQ(fieldIntegerValueGetter(made, 0), 0);
    EXPECT_EQ(fieldDoubleValueGetter(made, 0), 0);
    EXPECT_FALSE(fieldBooleanValueGetter(made, 0));
    EXPECT_EQ(fieldValueGetter(made, 0), nullptr);
    EXPECT_EQ(fieldNativeValueGetter(made, 0), nullptr);
    EXPECT_EQ(cursorFieldNameGetter(made, 0), nullptr);
    StringRef text = StringRef::Adopt(StringFromASCII("kept"));
    fieldStringValueSetter(made, 0, text.get());
    fieldIntegerValueSetter(made, 0, 5);
    EXPECT_EQ(databaseCursorFieldGetString(made), nullptr);
  }
  EXPECT_EQ(RuntimePendingException(), nullptr);
  EXPECT_TRUE(TakeRecordedBoxes().empty());
}

// Fields are made and dropped at every value read: one dropped gives its set
// back at once and the next made reads its own column, while a field still
// held keeps its column and its set.
TEST_F(DbApiSetTest, FieldsDroppedAndMadeAgainLeaveHeldOnesAndTheSetAlone) {
  FakeDBEngine engine;
  FakeCursor& cursor = engine.AddCursor(
      {"a", "b"}, {{FakeInteger(1), FakeText("one")}, {FakeInteger(2), FakeText("two")}});
  bool closed = false;
  cursor.onClose = [&closed] { closed = true; };
  ObjectRef set = NewSet(cursor);
  ObjectRef held = ObjectRef::Adopt(cursorGetFieldByIndex(set.get(), 2));
  for (int round = 0; round < 3; ++round) {
    RuntimeObject* dropped = cursorGetFieldByIndex(set.get(), 1);
    EXPECT_EQ(Text(fieldStringValueGetter(dropped, 0)), "1");
    RuntimeUnlockObject(dropped);
    EXPECT_EQ(set->refCount, 2);
  }
  ObjectRef made = ObjectRef::Adopt(cursorGetFieldByIndex(set.get(), 1));
  EXPECT_NE(made.get(), held.get());
  EXPECT_EQ(made->refCount, 1);
  EXPECT_EQ(Text(fieldStringValueGetter(made.get(), 0)), "1");
  EXPECT_EQ(Text(fieldStringValueGetter(held.get(), 0)), "one");
  cursorMoveNext(set.get());
  EXPECT_EQ(Text(fieldStringValueGetter(made.get(), 0)), "2");
  EXPECT_EQ(Text(fieldStringValueGetter(held.get(), 0)), "two");

  set = ObjectRef();
  EXPECT_FALSE(closed) << "a held field keeps its set";
  made = ObjectRef();
  held = ObjectRef();
  EXPECT_TRUE(closed);
}

// Dates, times and timestamps read as their stored words, zero-padded: the
// year to four digits, the rest to two, wider words in full.
TEST_F(DbApiSetTest, DateWordsReadAsPaddedText) {
  const struct {
    int32_t type;
    std::vector<uint16_t> words;
    const char* text;
  } cases[] = {{kDBDate, {5, 1, 2}, "0005-01-02"},
               {kDBDate, {65535, 100, 0}, "65535-100-00"},
               {kDBTime, {0, 0, 0}, "00:00:00"},
               {kDBTime, {123, 4, 5}, "123:04:05"},
               {kDBTimeStamp, {10000, 1, 1, 23, 59, 7}, "10000-01-01 23:59:07"}};
  for (const auto& c : cases) {
    const FakeValue value = FakeWords(c.type, c.words);
    const DBValueView view = CheckedValue(value.type, value.bytes.data(), int32_t(value.bytes.size()));
    EXPECT_EQ(Text(DBValueText(view)), c.text);
  }
}

// Doubles read as the number format "-#.0#" shows them with a final ".0"
// dropped: rounding at the second decimal, huge and negative values, and
// random values checked against the general formatter.
TEST_F(DbApiSetTest, DoublesReadAsTwoDecimalText) {
  const auto text = [](double number) {
    const DBValueView view{kDBDouble, reinterpret_cast<const uint8_t*>(&number), sizeof number};
    return Text(DBValueText(view));
  };
  const struct {
    double number;
    const char* text;
  } cases[] = {{0.5, ".5"},     {0.05, ".05"},    {-0.25, "-.25"}, {2.005, "2"},
               {2.675, "2.67"}, {1.995, "2"},     {-3.0, "-3"},    {10.1, "10.1"},
               {1e20, "100000000000000000000"},   {-0.004, "-0.004"}, {0.009, ".01"}};
  for (const auto& c : cases) EXPECT_EQ(text(c.number), c.text) << c.number;
  EXPECT_EQ(text(1.7976931348623157e308).size(), 309u);
  StringRef format = StringRef::Adopt(StringFromASCII("-#.0#"));
  std::mt19937 random(11);
  for (int i = 0; i < 20000; ++i) {
    const double number = std::ldexp(double(int32_t(random())), int(random() % 40) - 36);
    StringRef shown;
    FormatNumber(shown.out(), number, format.get());
    std::string expected = Text(StringAddRef(shown.get()));
    if (expected == ".0") continue;  // read in full instead, as above
    if (expected.size() > 2 && expected.compare(expected.size() - 2, 2, ".0") == 0) expected.resize(expected.size() - 2);
    ASSERT_EQ(text(number), expected) << number;
  }
}

// An engine's value one byte shorter than its type needs reads as null, never
// past its end; one of the full length reads as a value.
TEST_F(DbApiSetTest, ValuesShorterThanTheirTypeReadAsNull) {
  const struct {
    int32_t type;
    size_t length;
  } types[] = {{kDBSmallInt, 2}, {kDBInteger, 4}, {kDBFloat, 4},     {kDBDouble, 8},
               {kDBDate, 6},     {kDBTime, 6},    {kDBTimeStamp, 12}, {kDBBoolean, 1}};
  std::vector<std::string> columns;
  FakeRows rows(1);
  for (const auto& t : types) {
    for (size_t length : {t.length - 1, t.length}) {
      columns.push_back(std::to_string(t.type) + "_" + std::to_string(length));
      rows[0].push_back(FakeValue{t.type, std::string(length, '\0')});
    }
  }
  FakeDBEngine engine;
  ObjectRef set = NewSet(engine.AddCursor(columns, rows));
  for (size_t i = 0; i < columns.size(); ++i) {
    ObjectRef field = Field(set.get(), columns[i].c_str());
    ObjectRef value = ObjectRef::Adopt(GetProperty<RuntimeObject*>(field.get(), "Value"));
    EXPECT_EQ(VarType(value.get()) == kVariantNil, i % 2 == 0) << columns[i];
  }
}

TEST_F(DbApiSetTest, EditsArePendingUntilTheNextMove) {
  FakeDBEngine engine;
  ObjectRef db = ObjectRef::Adopt(engine.NewDatabase());
  FakeCursor& cursor = engine.AddCursor(
      {"name", "flag"}, {{FakeText("one"), FakeBoolean(false)}, {FakeText("two"), FakeNull()}});
  ObjectRef set = Select(db.get(), engine, cursor);
  ObjectRef flag = Field(set.get(), "flag");
  SetProperty<uint8_t>(flag.get(), "BooleanValue", 1);
  EXPECT_FALSE(GetProperty<bool>(flag.get(), "BooleanValue"));

  CallMethod(set.get(), "Edit");
  SetProperty<uint8_t>(flag.get(), "BooleanValue", 1);
  EXPECT_TRUE(GetProperty<bool>(flag.get(), "BooleanValue"));
  EXPECT_EQ(Text(GetProperty<StringRecord*>(flag.get(), "StringValue")), "true");
  CallMethod(set.get(), "Update");
  EXPECT_EQ(Writes(engine), "Update(c1, 1=true)");
  EXPECT_EQ(Text(GetProperty<StringRecord*>(flag.get(), "StringValue")), "true");
  CallMethod(set.get(), "MoveNext");
  EXPECT_EQ(Text(GetProperty<StringRecord*>(flag.get(), "StringValue")), "NULL");
}

// Edits of a (to "it's") then b (to NULL) handed on by each kind of set.
TEST_F(DbApiSetTest, UpdatesWithoutTheSlotGoThroughTheDatabase) {
  using Locators = std::map<int32_t, std::pair<std::string, std::string>>;
  const Locators oneRow = {{0, {"t!a", "id=1"}}, {1, {"t!b", "id=1"}}};
  struct Case {
    const char* name;
    uint32_t engineSlots;
    uint32_t cursorSlots;
    Locators locators;
    const char* writes;
    int32_t error;
  };
  const uint32_t noUpdate = FakeAllSlotsBut({kCursorUpdate});
  const uint32_t statements = FakeAllSlotsBut({kEngineUpdateFields});
  const Case cases[] = {
      {"cursor slot", statements, FakeAllSlotsBut({}), {}, "Update(c1, 1=NULL, 0=it's)", 0},
      {"UpdateFields", FakeAllSlotsBut({}), noUpdate, oneRow,
       "UpdateFields(db, t!a @ id=1 = it's, t!b @ id=1 = NULL)", 0},
      {"one row", statements, noUpdate, oneRow,
       "ExecuteSQL(db, UPDATE [t] SET [a] = 'it''s', [b] = NULL WHERE id=1)", 0},
      {"two tables", statements, noUpdate, {{0, {"t!a", "id=1"}}, {1, {"U!b", "k='x'"}}},
       "ExecuteSQL(db, UPDATE [U] SET [b] = NULL WHERE k='x'); "
       "ExecuteSQL(db, UPDATE [t] SET [a] = 'it''s' WHERE id=1)", 0},
      {"no locators", statements, noUpdate, {}, "", kDBErrorNotUpdatable},
      {"one locator", statements, noUpdate, {{1, {"t!b", "id=1"}}}, "", kDBErrorNotUpdatable},
      {"no table", statements, noUpdate, {{0, {"a", "id=1"}}, {1, {"b", "id=1"}}}, "",
       kDBErrorNotUpdatable},
      {"no row", statements, noUpdate, {{0, {"t!a", ""}}, {1, {"t!b", "id=1"}}}, "",
       kDBErrorNotUpdatable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDBEngine engine(c.engineSlots);
    ObjectRef db = ObjectRef::Adopt(engine.NewDatabase());
    FakeCursor& cursor =
        engine.AddCursor({"a", "b"}, {{FakeText("1"), FakeText("2")}}, c.cursorSlots);
    cursor.locators = c.locators;
    ObjectRef set = Select(db.get(), engine, cursor);
    CallMethod(set.get(), "Edit");
    SetProperty(Field(set.get(), "a").get(), "StringValue", S("it's"));
    SetProperty<RuntimeObject*>(Field(set.get(), "b").get(), "Value", nullptr);
    engine.log.clear();
    CallMethod(set.get(), "Update");
    EXPECT_EQ(Writes(engine), c.writes);
    EXPECT_EQ(databaseErrorCodeGetter(db.get(), 0), c.error);
  }
}

TEST_F(DbApiSetTest, RefusedOrImpossibleWritesChangeNothing) {
  FakeDBEngine engine(FakeAllSlotsBut({kEngineUpdateFields}));
  ObjectRef db = ObjectRef::Adopt(engine.NewDatabase());
  FakeCursor& cursor =
      engine.AddCursor({"a", "b"}, {{FakeText("1"), FakeText("2")}},
                       FakeAllSlotsBut({kCursorDeleteRecord, kCursorUpdate}));
  cursor.locators = {{0, {"t!a", "id=1"}}, {1, {"u!b", "id=1"}}};
  ObjectRef set = Select(db.get(), engine, cursor);

  // The first statement's failure ends the write-back and stays readable.
  engine.onExecute = [&engine](const std::string&) { engine.lastErrorCode = 2005; };
  CallMethod(set.get(), "Edit");
  SetProperty(Field(set.get(), "a").get(), "StringValue", S("x"));
  SetProperty(Field(set.get(), "b").get(), "StringValue", S("y"));
  CallMethod(set.get(), "Update");
  EXPECT_EQ(Writes(engine), "ExecuteSQL(db, UPDATE [u] SET [b] = 'y' WHERE id=1)");
  EXPECT_EQ(databaseErrorCodeGetter(db.get(), 0), 2005);
  engine.lastErrorCode = 0;

  CallMethod(set.get(), "DeleteRecord");
  EXPECT_EQ(Writes(engine), "");
  EXPECT_EQ(Text(databaseErrorMessageGetter(db.get(), 0)), "Record set is not updatable");

  // A picture that cannot be encoded leaves the pending text as it was.
  SetJPEGCodec({[](RuntimeObject*, StringRecord**) { return false; }, nullptr});
  ObjectRef picture = ObjectRef::Adopt(newPicture(2, 2, 32));
  CallMethod(set.get(), "Edit");
  SetProperty(Field(set.get(), "a").get(), "JPEGValue", picture.get());
  EXPECT_EQ(Text(GetProperty<StringRecord*>(Field(set.get(), "a").get(), "StringValue")), "x");

  CallMethod(set.get(), "MoveNext");
  ASSERT_TRUE(Eof(set.get()));
  CallMethod(set.get(), "Edit");
  SetProperty(Field(set.get(), "a").get(), "StringValue", S("z"));
  engine.log.clear();
  CallMethod(set.get(), "Update");
  EXPECT_EQ(engine.TakeLog(), "");
}

TEST_F(DbApiSetTest, MovingBackStandsOnARowAgain) {
  struct Case {
    size_t rows;
    uint32_t slots;
    bool eofAfterMoveFirst;
  };
  const FakeRows three = {{FakeText("r1")}, {FakeText("r2")}, {FakeText("r3")}};
  for (const Case& c : {Case{3, FakeAllSlotsBut({}), false}, Case{0, FakeAllSlotsBut({}), true},
                        Case{3, FakeAllSlotsBut({kCursorMoveFirst}), true}}) {
    FakeDBEngine engine;
    ObjectRef set = NewSet(engine.AddCursor({"a"}, FakeRows(three.begin(), three.begin() + c.rows),
                                            c.slots));
    while (!Eof(set.get())) CallMethod(set.get(), "MoveNext");
    CallMethod(set.get(), "MoveFirst");
    EXPECT_EQ(Eof(set.get()), c.eofAfterMoveFirst);
    if (!c.eofAfterMoveFirst) {
      EXPECT_EQ(Text(GetProperty<StringRecord*>(Field(set.get(), "a").get(), "StringValue")), "r1");
    }
  }
}

TEST_F(DbApiSetTest, ASchemaSetKeptPastItsDatabaseCallsNothing) {
  FakeDBEngine engine;
  FakeCursor& cursor = engine.AddCursor({"name"}, {{FakeText("t")}, {FakeText("u")}});
  engine.schema = [&cursor](const std::string&) { return cursor.NewSet(); };
  ObjectRef db = ObjectRef::Adopt(engine.NewDatabase());
  ObjectRef set = ObjectRef::Adopt(CallMethod<RuntimeObject*>(db.get(), "TableSchema"));
  ObjectRef name = Field(set.get(), "name");
  engine.log.clear();
  CallMethod(db.get(), "Close");
  CallMethod(db.get(), "Close");
  EXPECT_EQ(engine.TakeLog(), "Close(c1); CloseDatabase(db)");

  CallMethod(set.get(), "MoveNext");
  EXPECT_TRUE(Eof(set.get()));
  EXPECT_EQ(Text(GetProperty<StringRecord*>(name.get(), "StringValue")), "NULL");
  CallMethod(set.get(), "Close");
  name = set = db = ObjectRef();
  EXPECT_EQ(engine.TakeLog(), "");
}

TEST_F(DbApiSetTest, ShutdownClosesEverySetBeforeAnyDatabase) {
  FakeDBEngine engine;
  ObjectRef first = ObjectRef::Adopt(engine.NewDatabase());
  ObjectRef second = ObjectRef::Adopt(engine.NewDatabase());
  ObjectRef sets[3];
  for (ObjectRef& set : sets) set = Select(first.get(), engine, engine.AddCursor({"a"}, {}));
  // Closing c3 (the newest, closed first) drops the last reference to c2.
  engine.cursors[2]->onClose = [&sets] { sets[1] = ObjectRef(); };
  engine.log.clear();
  RunShutdownHooks();
  EXPECT_EQ(engine.TakeLog(), "Close(c3); Close(c2); Close(c1); CloseDatabase(db); CloseDatabase(db)");
  EXPECT_FALSE(DBShutdownContextHolds(first.get()));
}

}  // namespace
