// The DataControl tests' fixture: a scratch built-in database file with the
// table people, and a window with the DataControl "Data1" over it and five
// bound controls (test edits on id and name, a test label on note, a test
// pop-up with "Red" and "Green" on color, a real CheckBox on flag). Rows are
// checked through SQL on the same Database, file bytes through a second
// handle.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/CheckBox.h"
#include "core/string.h"
#include "database/Win32StorageAdapter.h"
#include "database/api/Database.h"
#include "database/api/DatabaseField.h"
#include "database/api/RecordSet.h"
#include "database/datacontrol/DataControl.h"
#include "database/datacontrol/DataControlPane.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/EngineTable.h"
#include "testsupport/BoundTestControls.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"

using Lines = std::vector<std::string>;

class DataControlTest : public WindowSystemTest {
 protected:
  static constexpr const char* kPath = "datacontrol_people.db";

  void SetUp() override {
    WindowSystemTest::SetUp();
    DeleteFileA(kPath);
    db_ = ObjectRef::Adopt(NewBuiltInDatabaseObject(
        CreateEngineDatabaseAt(Text(kPath).get(), Win32DatabaseStorage())));
    ASSERT_TRUE(db_);
    Exec("create table people (id integer not null, name varchar(20), note varchar(20), "
         "flag varchar(10), color varchar(10), primary key (id))");
    Exec("insert into people (id, name, note, flag, color) values (1, 'Ann', 'n1', 'TRUE', 'red')");
    Exec("insert into people (id, name, note, flag, color) values (2, 'Bob', 'n2', 'yes', 'Green')");
    Exec("insert into people (id, name, note, flag, color) values (3, 'Cy', 'n3', 'false', 'blue')");
    databaseCommit(db_.get());
  }
  void TearDown() override {
    window_.reset();
    if (db_) databaseClose(db_.get());
    db_ = ObjectRef();
    DeleteFileA(kPath);
    WindowSystemTest::TearDown();
  }

  static StringRef Text(const std::string& text) {
    return StringRef::Adopt(StringFromUTF8(text));
  }
  void Exec(const std::string& sql) {
    CallMethod(db_.get(), "SQLExecute", Text(sql).get());
    ASSERT_EQ(ErrorCode(), 0) << sql;
  }
  int32_t ErrorCode() { return databaseErrorCodeGetter(db_.get(), 0); }

  // The first column of every row the query gives, joined by "|".
  std::string Column(const std::string& sql) {
    ObjectRef set = ObjectRef::Adopt(databaseSelect(db_.get(), Text(sql).get()));
    if (!set) return "no set";
    std::string texts;
    for (; !RecordSetArgument(set.get())->eof; cursorMoveNext(set.get())) {
      ObjectRef field = ObjectRef::Adopt(cursorGetFieldByIndex(set.get(), 1));
      StringRef text = StringRef::Adopt(fieldStringValueGetter(field.get(), 0));
      texts += (texts.empty() ? "" : "|") + StringToStdUTF8(text.get());
    }
    return texts;
  }

  // The file's bytes, read through a handle of its own.
  static std::string FileBytes() {
    HANDLE file = CreateFileA(kPath, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "no file";
    std::string bytes;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
  }
  // Header word 12 of the file: 1 while a transaction is open.
  static uint32_t TransactionWord() {
    const std::string bytes = FileBytes();
    if (bytes.size() < 16) return 0xFFFFFFFF;
    uint32_t word = 0;
    for (int i = 12; i < 16; ++i) word = word << 8 | uint8_t(bytes[i]);
    return word;
  }

  // The descriptions of the fixture's window; `query` empty leaves SQLQuery
  // unset, `table` empty TableName.
  std::vector<ControlDescription> Descriptions(const std::string& table = "people",
                                               const std::string& query = "select * from people") {
    RuntimeObject* database = db_.get();
    ControlDescription data =
        Described(GetDataControlClassDefinition(), "Data1", Rect(0, 0, 300, 30));
    data.caption = "People";
    data.prepare = [database, table, query](RuntimeObject* control) {
      if (!table.empty()) SetProperty<StringRecord*>(control, "TableName", Text(table).get());
      if (!query.empty()) SetProperty<StringRecord*>(control, "SQLQuery", Text(query).get());
      SetProperty<uint32_t>(control, "TextColor", 0x0000FF);
      SetProperty<RuntimeObject*>(control, "Database", database);
    };
    auto bound = [](ObjectDefinition* definition, const char* name, const MacRect& bounds,
                    const char* field) {
      ControlDescription description = Described(definition, name, bounds);
      description.plain = true;
      description.dataSource = "Data1";
      description.dataField = field;
      return description;
    };
    ControlDescription popup =
        bound(GetBoundTestPopupClassDefinition(), "ColorPopup", Rect(10, 130, 100, 20), "color");
    popup.prepare = [](RuntimeObject* control) { BoundTestSetRows(control, {"Red", "Green"}); };
    return {data,
            bound(GetBoundTestEditClassDefinition(), "IdField", Rect(10, 40, 100, 20), "id"),
            bound(GetBoundTestEditClassDefinition(), "NameField", Rect(10, 70, 100, 20), "name"),
            bound(GetBoundTestLabelClassDefinition(), "NoteLabel", Rect(10, 100, 100, 20), "note"),
            popup,
            bound(GetCheckBoxClassDefinition(), "FlagBox", Rect(150, 40, 100, 20), "flag")};
  }
  void Open(std::vector<ControlDescription> descriptions) {
    window_ = std::make_unique<ControlTestWindow>(std::move(descriptions));
  }
  void Open() { Open(Descriptions()); }

  RuntimeObject* Data() { return window_->Control("Data1"); }
  DataControlPane* Pane() { return DataControlPaneOf(Data()); }
  std::string Shown(const char* name) { return BoundTestText(window_->Control(name)); }
  // id, name, note, colour and the box, as the controls show them.
  std::string Shown() {
    return Shown("IdField") + "|" + Shown("NameField") + "|" + Shown("NoteLabel") + "|" +
           Shown("ColorPopup") + "|" + (Checked() ? "checked" : "unchecked");
  }
  bool Checked() { return GetProperty<bool>(window_->Control("FlagBox"), "Value"); }
  void Type(const char* name, const std::string& text) {
    BoundTestSetText(window_->Control(name), text);
  }
  void Call(const char* method) { CallMethod(Data(), method); }
  int32_t Row() { return CallMethod<int32_t>(Data(), "Row"); }
  int32_t RecordCount() { return CallMethod<int32_t>(Data(), "RecordCount"); }
  // A real click in the middle of a button (1 first ... 4 last).
  void ClickButton(uint8_t button) {
    const MacRect r = Pane()->ButtonRect(button);
    window_->RealClick("Data1", (r.left + r.right) / 2, 15);
  }

  ObjectRef db_;
  std::unique_ptr<ControlTestWindow> window_;
};
