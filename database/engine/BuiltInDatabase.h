// The built-in engine as applications reach it: Databases made over a file
// (newTOVADatabase, openTOVADatabase), the opener of the project's reference
// records (filling the database classes' built-in opener slot), and the class
// "TOVADatabaseOldFormat", a Database with a DatabaseFile property and the
// methods Connect and CreateDatabaseFile.
//
// A FolderItem names its file by its absolute path; anything else names
// none.
//
// Reference record: the byte 'Z', then three fields separated by the byte 1.
// A non-empty second field is a path relative to the program's folder, its
// ":" read as "\"; otherwise the file name of the first (after its last ":"
// or "\") is taken. Field 3 is not used.
#pragma once
#include <cstdint>

struct ObjectDefinition;
struct RuntimeObject;
struct StringRecord;

ObjectDefinition* GetBuiltInDatabaseClassDefinition();

// A connected Database (the caller's) over the file of the path, or nil.
RuntimeObject* OpenBuiltInDatabaseAt(const StringRecord* path);
// The folder of the running program file, with its final "\".
StringRecord* ProgramFolder();
// The Database a reference record names, or nil.
RuntimeObject* OpenReferenceRecord(const uint8_t* record, uint32_t length);

// Registers the class and the entry points and fills the opener slot. A
// second call changes nothing.
void RegisterBuiltInDatabase();

extern "C" {
// A Database over a new (or emptied) file with the three system tables, or
// over the existing file; nil on failure.
RuntimeObject* newTOVADatabase(RuntimeObject* folderItem);
RuntimeObject* openTOVADatabase(RuntimeObject* folderItem);

RuntimeObject* TOVADatabaseFolderItemGetter(RuntimeObject* database, uint32_t parameter);
void TOVADatabaseFolderItemSetter(RuntimeObject* database, uint32_t parameter,
                                  RuntimeObject* folderItem);
// Close the present connection as Database.Close does, then open (or make)
// the DatabaseFile and take its engine database over. Without a
// DatabaseFile: error 1, "A Database file was not specified". True on
// success.
bool TOVADatabaseConnect(RuntimeObject* database);
bool TOVADatabaseCreateDatabaseFile(RuntimeObject* database);
}
