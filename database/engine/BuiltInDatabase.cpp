// Databases of the built-in engine: over FolderItems, paths and reference
// records, and the class TOVADatabaseOldFormat.
#include "database/engine/BuiltInDatabase.h"

#include <windows.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "database/Win32StorageAdapter.h"
#include "database/api/DBRegistry.h"
#include "database/api/Database.h"
#include "database/api/DatabaseHooks.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/EngineTable.h"
#include "files/runFolderItem.h"
#include "host/relocentry.h"

namespace {

struct BuiltInDatabaseFields {
  DatabaseFields database;
  RuntimeObject* databaseFile;  // held
};

BuiltInDatabaseFields* FieldsOf(RuntimeObject* object) {
  return ObjectFields<BuiltInDatabaseFields>(object);
}

BuiltInDatabaseFields* BuiltInArgument(RuntimeObject* object) {
  return InstanceArgument<BuiltInDatabaseFields>(
      object, GetBuiltInDatabaseClassDefinition(), "TOVADatabaseOldFormat", __LINE__,
      "ObjectIsADefinition(database, TOVADatabaseOldFormat)");
}

StringRef PathOf(RuntimeObject* folderItem) { return StringRef::Adopt(FolderItemPathOf(folderItem)); }

void InitialiseBuiltIn(RuntimeObject* object) {
  FieldsOf(object)->database.definition = BuiltInEngineTable();
}

void DestroyBuiltIn(RuntimeObject* object) {
  RuntimeUnlockObject(std::exchange(FieldsOf(object)->databaseFile, nullptr));
}

ObjectDefinition* MakeDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      {kPropertyPassesParameter, "DatabaseFile", GetFolderItemClassDefinition(),
       RUNTIME_ENTRY(TOVADatabaseFolderItemGetter), RUNTIME_ENTRY(TOVADatabaseFolderItemSetter), 0},
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("Connect", &kBooleanType, nullptr, 0, RUNTIME_ENTRY(TOVADatabaseConnect)),
      MakeMethodRecord("CreateDatabaseFile", &kBooleanType, nullptr, 0,
                       RUNTIME_ENTRY(TOVADatabaseCreateDatabaseFile)),
  };
  FillClassDefinition(&definition, "TOVADatabaseOldFormat", sizeof(BuiltInDatabaseFields),
                      InitialiseBuiltIn, DestroyBuiltIn, properties, methods);
  definition.superclass = GetDatabaseClassDefinition();
  return &definition;
}

// Closes the database's connection, then takes over the engine database of
// what `open` gives for its DatabaseFile (released afterwards).
bool Reconnect(RuntimeObject* database, RuntimeObject* (*open)(RuntimeObject*)) {
  BuiltInDatabaseFields* self = BuiltInArgument(database);
  if (!self) return false;
  DatabaseClearError(database);
  if (!self->databaseFile) {
    TOVADatabaseSetError(database, 1, "A Database file was not specified");
    return false;
  }
  databaseClose(database);
  ObjectRef opened = ObjectRef::Adopt(open(self->databaseFile));
  DatabaseFields* source = opened ? ObjectFields<DatabaseFields>(opened.get()) : nullptr;
  if (!source || !source->handle) return false;
  DBShutdownContextRemoveDatabase(opened.get());
  self->database.handle = std::exchange(source->handle, 0);
  self->database.definition = std::exchange(source->definition, nullptr);
  DBShutdownContextAddDatabase(GetDBShutdownContext(), database);
  return true;
}

RuntimeObject* OpenReferenceWords(uint32_t address, uint32_t length) {
  return OpenReferenceRecord(reinterpret_cast<const uint8_t*>(uintptr_t(address)), length);
}

}  // namespace

ObjectDefinition* GetBuiltInDatabaseClassDefinition() {
  static ObjectDefinition* const definition = MakeDefinition();
  return definition;
}

RuntimeObject* OpenBuiltInDatabaseAt(const StringRecord* path) {
  return NewBuiltInDatabaseObject(OpenEngineDatabaseAt(path, Win32DatabaseStorage()));
}

StringRecord* ProgramFolder() {
  // The wide form: the ANSI one names a wrong folder outside the code page.
  std::vector<wchar_t> name(MAX_PATH);
  DWORD length = 0;
  for (;;) {
    length = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
    if (length < name.size() || name.size() >= 32768) break;
    name.resize(name.size() * 2);
  }
  while (length > 0 && name[length - 1] != L'\\') --length;
  return StringFromUTF16(reinterpret_cast<const uint16_t*>(name.data()), int32_t(length));
}

RuntimeObject* OpenReferenceRecord(const uint8_t* record, uint32_t length) {
  if (!record || length < 1 || record[0] != 'Z') return nullptr;
  std::vector<std::string> fields(1);
  for (uint32_t i = 1; i < length; ++i) {
    if (record[i] == 1) {
      fields.emplace_back();
    } else {
      fields.back() += char(record[i]);
    }
  }
  std::string relative = fields.size() > 1 ? fields[1] : "";
  if (relative.empty()) {
    relative = fields[0].substr(fields[0].find_last_of(":\\") + 1);
  } else {
    for (char& c : relative)
      if (c == ':') c = '\\';
  }
  if (relative.empty()) return nullptr;
  StringRef folder = StringRef::Adopt(ProgramFolder());
  StringRef name = StringRef::Adopt(NewString(relative, kEncodingASCII));
  StringRef path = StringRef::Adopt(StringConcat(folder.get(), name.get()));
  return OpenBuiltInDatabaseAt(path.get());
}

void RegisterBuiltInDatabase() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(GetBuiltInDatabaseClassDefinition());
  static const EntryPoint entries[] = {
      {"newTOVADatabase", reinterpret_cast<void*>(&newTOVADatabase)},
      {"openTOVADatabase", reinterpret_cast<void*>(&openTOVADatabase)},
  };
  RegisterEntryPoints(entries, std::size(entries));
  SetBuiltInDatabaseOpener(OpenReferenceWords);
}

extern "C" {

RuntimeObject* newTOVADatabase(RuntimeObject* folderItem) {
  StringRef path = PathOf(folderItem);
  if (!path) return nullptr;
  return NewBuiltInDatabaseObject(CreateEngineDatabaseAt(path.get(), Win32DatabaseStorage()));
}

RuntimeObject* openTOVADatabase(RuntimeObject* folderItem) {
  StringRef path = PathOf(folderItem);
  return path ? OpenBuiltInDatabaseAt(path.get()) : nullptr;
}

RuntimeObject* TOVADatabaseFolderItemGetter(RuntimeObject* database, uint32_t) {
  BuiltInDatabaseFields* self = BuiltInArgument(database);
  if (!self) return nullptr;
  RuntimeLockObject(self->databaseFile);
  return self->databaseFile;
}

void TOVADatabaseFolderItemSetter(RuntimeObject* database, uint32_t, RuntimeObject* folderItem) {
  BuiltInDatabaseFields* self = BuiltInArgument(database);
  if (!self) return;
  RuntimeLockObject(folderItem);
  RuntimeUnlockObject(std::exchange(self->databaseFile, folderItem));
}

bool TOVADatabaseConnect(RuntimeObject* database) { return Reconnect(database, openTOVADatabase); }

bool TOVADatabaseCreateDatabaseFile(RuntimeObject* database) {
  return Reconnect(database, newTOVADatabase);
}

}  // extern "C"
