// The built-in engine as applications reach it: the TOVADatabaseOldFormat
// class over FolderItems, schema listings, and reference records
// opened beside the program, also from a folder whose name is outside the
// ANSI code page.
#include <cstdlib>
#include <map>

#include "database/api/DBRegistry.h"
#include "database/api/Database.h"
#include "database/api/DatabaseHooks.h"
#include "database/api/RecordSet.h"
#include "database/engine/BuiltInDatabase.h"
#include "files/runFolderItem.h"
#include "testsupport/PropertyAccess.h"
#include "tests/database/dbengine_support.h"

namespace {

StringRef Wide(const std::wstring& text) {
  return StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(text.data()), int32_t(text.size())));
}

ObjectRef Item(const std::wstring& path) {
  return ObjectRef::Adopt(RuntimeGetFolderItem(Wide(path).get()));
}

// An engine database file with the tables, each of one NOT NULL integer
// key column "x".
void MakeFile(const std::wstring& path, std::vector<const char*> tables = {}) {
  EngineLists lists;
  DBEngineDatabase* db = CreateEngineDatabaseAt(Wide(path).get(), Win32DatabaseStorage());
  ASSERT_NE(db, nullptr);
  const uint8_t key = 0;
  for (const char* table : tables)
    EXPECT_TRUE(CreateTable(*db, lists.S(table), lists.Columns({{"x", 3, 0}}), &key, 1));
  EXPECT_TRUE(CloseEngineDatabase(db));
}

// Column 0 of every row of the set, from where it stands.
std::vector<std::string> FirstColumn(RuntimeObject* set) {
  std::vector<std::string> texts;
  for (RecordSetFields* fields = RecordSetArgument(set); !fields->eof; cursorMoveNext(set)) {
    const CursorValue value = RecordSetCursor(fields).ColumnValue(0);
    texts.push_back(StringBytes(StringRef::Adopt(DBValueText(value.view())).get()));
  }
  return texts;
}

class DbEngineBuiltIn : public HostTest, public EngineLists {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    wchar_t temp[MAX_PATH + 1];
    folder_ = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)) + L"dbengine_" +
              std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    for (auto path = made_.rbegin(); path != made_.rend(); ++path)
      DeleteFileW(path->c_str()) || RemoveDirectoryW(path->c_str());
    RemoveDirectoryW(folder_.c_str());
    HostTest::TearDown();
  }
  // A path in the test's folder, removed after the test.
  std::wstring Made(const std::wstring& name) {
    made_.push_back(folder_ + L"\\" + name);
    return made_.back();
  }
  ObjectRef Database(const std::wstring& path) {
    ObjectRef database = ObjectRef::Adopt(CreateInstance(GetBuiltInDatabaseClassDefinition()));
    SetProperty<RuntimeObject*>(database.get(), "DatabaseFile", Item(path).get());
    return database;
  }
  static DBEngineDatabase& Engine(RuntimeObject* database) {
    return *reinterpret_cast<DBEngineDatabase*>(DatabaseArgument(database)->handle);
  }

  std::wstring folder_;
  std::vector<std::wstring> made_;
};

TEST_F(DbEngineBuiltIn, CreateDatabaseFileEmptiesTheFileAndMakesTheSystemTables) {
  const std::wstring path = Made(L"made.db");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, "not a database", 14, &written, nullptr);
  CloseHandle(file);
  ObjectRef database = Database(path);
  EXPECT_TRUE(CallMethod<bool>(database.get(), "CreateDatabaseFile"));
  CallMethod(database.get(), "Close");
  DBFile* db = OpenDatabaseFileAt(Wide(path).get(), Win32DatabaseStorage());
  ASSERT_NE(db, nullptr);
  std::map<uint32_t, std::string> trees;
  std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(*db, nullptr, nullptr, 0, {});
  while (directory->NextMatching()) {
    const uint8_t* record = directory->CurrentEntry();
    trees[EntryRecordId(record)].assign(reinterpret_cast<const char*>(DirectoryName(record)),
                                        DirectoryNameLength(record));
  }
  directory.reset();
  CloseDatabaseFile(db);
  EXPECT_EQ((std::map<uint32_t, std::string>{{1, "sys$tables"}, {2, "sys$fields"}, {3, "sys$blob"}}),
            trees);
}

TEST_F(DbEngineBuiltIn, ConnectNeedsAFileAndASecondConnectKeepsOneDatabase) {
  ObjectRef bare = ObjectRef::Adopt(CreateInstance(GetBuiltInDatabaseClassDefinition()));
  EXPECT_FALSE(CallMethod<bool>(bare.get(), "Connect"));
  EXPECT_EQ(1, databaseErrorCodeGetter(bare.get(), 0));
  EXPECT_EQ("A Database file was not specified",
            StringBytes(StringRef::Adopt(databaseErrorMessageGetter(bare.get(), 0)).get()));

  const std::wstring path = Made(L"connect.db");
  MakeFile(path, {"t"});
  ObjectRef database = Database(path);
  EXPECT_TRUE(CallMethod<bool>(database.get(), "Connect"));
  EXPECT_TRUE(CallMethod<bool>(database.get(), "Connect"));
  EXPECT_TRUE(DBShutdownContextHolds(database.get()));
  // Had the first connection stayed, this one would only read.
  DatabaseEngine(DatabaseArgument(database.get())).InsertRecord(S("t"), Values({{"x", "5"}}));
  EXPECT_EQ(0, databaseErrorCodeGetter(database.get(), 0));
  EXPECT_EQ(std::vector<std::string>{"5"}, RowTexts(OpenTableCursor(Engine(database.get()), S("t"), All(), nullptr)));
  CallMethod(database.get(), "Close");
}

TEST_F(DbEngineBuiltIn, SchemaListingsOnlyRead) {
  const std::wstring path = Made(L"schema.db");
  MakeFile(path, {"a", "b"});
  ObjectRef database = ObjectRef::Adopt(openTOVADatabase(Item(path).get()));
  ASSERT_TRUE(database);
  ObjectRef tables = ObjectRef::Adopt(databaseTableSchema(database.get()));
  cursorDeleteRecord(tables.get());
  EXPECT_EQ(kDBErrorNotUpdatable, databaseErrorCodeGetter(database.get(), 0));
  cursorClose(tables.get());
  tables = ObjectRef::Adopt(databaseTableSchema(database.get()));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), FirstColumn(tables.get()));
  ObjectRef fields = ObjectRef::Adopt(databaseFieldSchema(database.get(), S("a")));
  ASSERT_TRUE(fields);
  RecordSetFields* set = RecordSetArgument(fields.get());
  std::string row;
  for (int32_t column = 0; column < 5; ++column) {
    const CursorValue value = RecordSetCursor(set).ColumnValue(column);
    row += StringBytes(StringRef::Adopt(DBValueText(value.view())).get()) + " ";
  }
  EXPECT_EQ("x 3 true true 0 ", row);
  databaseClose(database.get());
}

const char kReference[] = "ZDisk:Folder:other.dat\x01sub:db.dat\x01unused";

TEST_F(DbEngineBuiltIn, ReferenceRecordsOpenBesideTheProgram) {
  const std::u16string programFolder = StringToStdUTF16(StringRef::Adopt(ProgramFolder()).get());
  const std::wstring program(programFolder.begin(), programFolder.end());
  const std::wstring sub = program + L"sub", file = sub + L"\\db.dat";
  CreateDirectoryW(sub.c_str(), nullptr);
  MakeFile(file);
  const auto* record = reinterpret_cast<const uint8_t*>(kReference);
  ObjectRef database = ObjectRef::Adopt(OpenBuiltInDatabase(
      uint32_t(reinterpret_cast<uintptr_t>(record)), uint32_t(sizeof kReference - 1)));
  EXPECT_TRUE(database);
  databaseClose(database.get());
  DeleteFileW(file.c_str());
  RemoveDirectoryW(sub.c_str());

  // A copy of this program in a folder "Ωmega" opens its own sub\db.dat.
  const std::wstring omega = Made(L"\u03A9mega"), omegaSub = Made(L"\u03A9mega\\sub");
  CreateDirectoryW(omega.c_str(), nullptr);
  CreateDirectoryW(omegaSub.c_str(), nullptr);
  MakeFile(Made(L"\u03A9mega\\sub\\db.dat"));
  const std::wstring copy = Made(L"\u03A9mega\\database_tests.exe");
  wchar_t self[MAX_PATH + 1];
  ASSERT_TRUE(CopyFileW(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH + 1)).c_str(),
                        copy.c_str(), FALSE));
  std::wstring command = L"\"" + copy + L"\" --gtest_filter=DbEngineReferenceChild.*";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  SetEnvironmentVariableW(L"DBENGINE_REFERENCE_CHILD", L"1");
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  SetEnvironmentVariableW(L"DBENGINE_REFERENCE_CHILD", nullptr);
  WaitForSingleObject(process.hProcess, 120000);
  DWORD code = ~0u;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(0u, code);
}

// Run by the test above in the copy of the program.
TEST(DbEngineReferenceChild, OpensTheFileBesideItself) {
  if (!std::getenv("DBENGINE_REFERENCE_CHILD")) GTEST_SKIP() << "runs in a copy of the program";
  const auto* record = reinterpret_cast<const uint8_t*>(kReference);
  ObjectRef database = ObjectRef::Adopt(OpenReferenceRecord(record, sizeof kReference - 1));
  ASSERT_TRUE(database);
  databaseClose(database.get());
}

}  // namespace
