// ScrollableCursor: rows drained from a set into the spool, read back by
// number; the spool's bytes; damaged bytes; spools on real temporary files.
#include <windows.h>

#include "database/api/DatabaseRecord.h"
#include "database/results/RowSpool.h"
#include "database/results/ScrollableCursor.h"
#include "tests/database/dbresult_support.h"

namespace {

using DbResultCursor = DbResultTest;
using Texts = std::vector<std::string>;

// Row r of the cursor as its column texts; {"nil"} when there is none.
Texts RowTexts(RuntimeObject* cursor, int32_t row) {
  ObjectRef record = ObjectRef::Adopt(ScrollableCursorGetRow(cursor, row));
  if (!record) return {"nil"};
  Texts texts;
  for (int32_t column = 1; column <= recordFieldCount(record.get()); ++column) {
    StringRef text = StringRef::Adopt(recordGetIndString(record.get(), column));
    texts.push_back(StringBytes(text.get()));
  }
  return texts;
}

TEST_F(DbResultCursor, RowsOfAFakeSetComeBackByNumberWithTheirSpoolBytes) {
  FakeDBEngine engine;
  FakeCursor& empty = engine.AddCursor({"a"}, {});
  ObjectRef emptySet = ObjectRef::Adopt(empty.NewSet());
  ObjectRef none = ObjectRef::Adopt(NewScrollableCursor(emptySet.get()));
  EXPECT_EQ(ScrollableCursorGetCount(none.get()), 0);
  EXPECT_EQ(RowTexts(none.get(), 1), Texts{"nil"});

  // Without a locator slot: one 0 per column after the texts.
  FakeCursor& plain = engine.AddCursor({"a", "b"}, {{FakeText("x"), FakeNull()}, {FakeInteger(7), FakeText("yz")}},
                                       FakeAllSlotsBut({kCursorGetColumnLocator}));
  ObjectRef plainSet = ObjectRef::Adopt(plain.NewSet());
  ObjectRef cursor = ObjectRef::Adopt(NewScrollableCursor(plainSet.get()));
  ASSERT_EQ(ScrollableCursorGetCount(cursor.get()), 2);
  EXPECT_EQ(RowTexts(cursor.get(), 1), (Texts{"x", ""}));
  EXPECT_EQ(RowTexts(cursor.get(), 2), (Texts{"7", "yz"}));
  for (int32_t outside : {0, 3, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(RowTexts(cursor.get(), outside), Texts{"nil"}) << outside;
    EXPECT_EQ(ScrollableCursorRowBytes(cursor.get(), outside), "") << outside;
  }
  EXPECT_EQ(ScrollableCursorRowBytes(cursor.get(), 1), std::string("\x01x\x00\x00\x00", 5));
  EXPECT_TRUE(RecordSetArgument(plainSet.get())->eof);
  EXPECT_NE(RecordSetArgument(plainSet.get())->handle, 0u) << "the set stays open";

  // Locators: names numbered once per cursor, a row's repeated condition as -j.
  FakeCursor& located = engine.AddCursor({"a", "b", "c"}, {{FakeText("1"), FakeText("2"), FakeText("3")}});
  located.locators = {{0, {"t!a", "k=1"}}, {1, {"t!b", "k=1"}}, {2, {"u!c", "j=2"}}};
  ObjectRef locatedSet = ObjectRef::Adopt(located.NewSet());
  ObjectRef withLocators = ObjectRef::Adopt(NewScrollableCursor(locatedSet.get()));
  EXPECT_EQ(ScrollableCursorRowBytes(withLocators.get(), 1),
            std::string("\x01" "1\x01" "2\x01" "3") + "\x01\x03k=1" + "\x02\x41" + "\x03\x03j=2");
  engine.TakeLog();
}

// Rows read by number in any order come back whole at no more than two
// system reads each; a walk in order still reads the spool in big pieces.
TEST_F(DbResultCursor, SpooledRowsReadByNumberOrInOrder) {
  std::unique_ptr<RowSpool> spool = RowSpool::Make();
  ASSERT_TRUE(spool);
  std::vector<std::string> rows;
  size_t total = 0;
  for (int i = 0; i < 3000; ++i) {
    rows.push_back(std::string(size_t(i * 7919 % 300), char('a' + i % 26)) + std::to_string(i));
    total += rows.back().size();
    ASSERT_TRUE(spool->Append(rows.back().data(), rows.back().size()));
  }
  ASSERT_TRUE(spool->Flush());
  std::string bytes;
  for (int i = 0; i < 3000; ++i) {
    const int32_t row = int32_t(uint32_t(i) * 2654435761u % 3000);
    SpoolStreams::Reset();
    ASSERT_TRUE(spool->Read(row, &bytes)) << row;
    EXPECT_EQ(bytes, rows[size_t(row)]) << row;
    EXPECT_LE(SpoolStreams::reads, 2) << row;
  }
  SpoolStreams::Reset();
  for (int32_t row = 0; row < 3000; ++row) {
    ASSERT_TRUE(spool->Read(row, &bytes)) << row;
    ASSERT_EQ(bytes, rows[size_t(row)]) << row;
  }
  EXPECT_LE(SpoolStreams::reads, int64_t(total / kSpoolBufferSize + 4));
}

TEST_F(DbResultCursor, ASelectOfAThousandRowsGivesItsLastRowAndLocators) {
  ASSERT_EQ(Exec({"create table t (a integer not null, b varchar(20), c double, primary key (a))"}), "");
  std::vector<std::string> rows;
  for (int i = 1; i <= 1000; ++i)
    rows.push_back(std::to_string(i) + ", 'row " + std::to_string(i) + "', " + std::to_string(i) + ".5");
  Insert("t (a, b, c)", rows);
  ObjectRef set = Select("select * from t");
  ObjectRef cursor = ObjectRef::Adopt(NewScrollableCursor(set.get()));
  ASSERT_EQ(ScrollableCursorGetCount(cursor.get()), 1000);
  EXPECT_EQ(RowTexts(cursor.get(), 1000), (Texts{"1000", "row 1000", "1000.5"}));
  EXPECT_EQ(RowTexts(cursor.get(), 1), (Texts{"1", "row 1", "1.5"}));
  Texts names;
  for (LocatorName* node = ObjectFields<ScrollableCursorFields>(cursor.get())->namesHead; node; node = node->next)
    names.push_back(StringBytes(node->name));
  EXPECT_EQ(names, (Texts{"t!a", "t!b", "t!c"}));
}

TEST_F(DbResultCursor, DamagedOrUnwritableSpoolsGiveNoRowsAndReportIt) {
  FakeDBEngine engine;
  FakeCursor& source = engine.AddCursor({"a"}, {{FakeText("first")}, {FakeText("second")}});
  ObjectRef set = ObjectRef::Adopt(source.NewSet());
  ObjectRef cursor = ObjectRef::Adopt(NewScrollableCursor(set.get()));
  ASSERT_EQ(SpoolStreams::open.size(), 2u);
  EXPECT_EQ(RowTexts(cursor.get(), 2), Texts{"second"});
  // Row 1's stored length made to run past its bytes (row 2 is buffered,
  // row 1 is read afresh).
  MemoryFileStream* data = SpoolStreams::open[1];
  std::string bytes = data->Bytes();
  bytes[0] = 0x3F;
  data->ReplaceBytes(bytes);
  EXPECT_EQ(RowTexts(cursor.get(), 1), Texts{"nil"});

  // A failing write: no rows, and the set's database says why.
  ObjectRef database = ObjectRef::Adopt(engine.NewDatabase());
  FakeCursor& again = engine.AddCursor({"a"}, {{FakeText("x")}});
  ObjectRef owned = ObjectRef::Adopt(again.NewSet());
  RecordSetSetOrigin(owned.get(), database.get(), nullptr);
  SpoolStreams::failWrite = SpoolStreams::writes + 1;
  ObjectRef failed = ObjectRef::Adopt(NewScrollableCursor(owned.get()));
  EXPECT_EQ(ScrollableCursorGetCount(failed.get()), 0);
  EXPECT_EQ(RowTexts(failed.get(), 1), Texts{"nil"});
  EXPECT_EQ(databaseErrorCodeGetter(database.get(), 0), 210);
  engine.TakeLog();
}

// The "kvt*.tmp" files in the temporary folder.
int CountTemporaryFiles() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  std::wstring pattern = std::wstring(folder) + L"kvt*.tmp";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count; while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

// A small sorted result never touches the file system; one past the memory
// limit moves its spools to temporary files, reads back the same, and
// leaves no file once closed.
TEST_F(DbResultCursor, SpoolsStayInMemoryUntilLargeAndTheirFilesGoWithTheResult) {
  SetSpoolStreamFactory(nullptr);
  ASSERT_EQ(Exec({"create table t (a integer, b varchar(250))"}), "");
  Insert("t (a, b)", {"2, 'b'", "1, 'a'", "3, 'c'"});
  const int before = CountTemporaryFiles();
  {
    ObjectRef sorted = Select("select a, b from t order by b desc");
    ASSERT_TRUE(sorted) << Error();
    ObjectRef cursor = ObjectRef::Adopt(NewScrollableCursor(sorted.get()));
    EXPECT_EQ(CountTemporaryFiles(), before);
    EXPECT_EQ(RowTexts(cursor.get(), 1), (Texts{"3", "c"}));
    EXPECT_EQ(RowTexts(cursor.get(), 3), (Texts{"1", "a"}));
    cursorClose(sorted.get());
  }
  // About 1.4 MB of rows, sorting before the three above.
  const auto wide = [](int i) {
    std::string digits = std::to_string(i);
    return std::string(230, 'x') + std::string(6 - digits.size(), '0') + digits;
  };
  std::vector<std::string> rows;
  for (int i = 4; i < 6004; ++i) rows.push_back(std::to_string(i) + ", '" + wide(i) + "'");
  Insert("t (a, b)", rows);
  {
    ObjectRef sorted = Select("select a, b from t order by b desc");
    ASSERT_TRUE(sorted) << Error();
    ObjectRef cursor = ObjectRef::Adopt(NewScrollableCursor(sorted.get()));
    EXPECT_GT(CountTemporaryFiles(), before);
    ASSERT_EQ(ScrollableCursorGetCount(cursor.get()), 6003);
    EXPECT_EQ(RowTexts(cursor.get(), 1), (Texts{"6003", wide(6003)}));
    EXPECT_EQ(RowTexts(cursor.get(), 3000), (Texts{"3004", wide(3004)}));
    EXPECT_EQ(RowTexts(cursor.get(), 6000), (Texts{"4", wide(4)}));
    EXPECT_EQ(RowTexts(cursor.get(), 6003), (Texts{"1", "a"}));
    cursorClose(sorted.get());
  }
  EXPECT_LE(CountTemporaryFiles(), before);
}

}  // namespace
