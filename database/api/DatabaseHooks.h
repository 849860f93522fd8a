// Slots through which the database classes reach code that lands above or
// beside them: the SQL front-end, the built-in engine's opener and a JPEG
// codec. Each is filled once at start-up (tests fill them with fakes);
// setting one gives back the previous function. An empty slot answers as
// stated.
#pragma once
#include <cstdint>

struct RuntimeObject;
struct StringRecord;

// The SQL front-end, for engines that take no SQL text themselves. Select
// gives a RecordSet (the caller's reference) or nil; empty: nil. Execute runs
// one statement; empty: nothing. Both borrow their arguments.
using SQLSelectHook = RuntimeObject* (*)(RuntimeObject* database, StringRecord* text);
using SQLExecuteHook = void (*)(RuntimeObject* database, StringRecord* text);
SQLSelectHook SetSQLSelectHook(SQLSelectHook hook);
SQLExecuteHook SetSQLExecuteHook(SQLExecuteHook hook);
RuntimeObject* RunSQLSelectHook(RuntimeObject* database, StringRecord* text);
void RunSQLExecuteHook(RuntimeObject* database, StringRecord* text);

// The built-in engine's opener: a connected Database (the caller's
// reference) from a database's two words of connection data; empty: nil.
using BuiltInDatabaseOpener = RuntimeObject* (*)(uint32_t word1, uint32_t word2);
BuiltInDatabaseOpener SetBuiltInDatabaseOpener(BuiltInDatabaseOpener opener);
RuntimeObject* OpenBuiltInDatabase(uint32_t word1, uint32_t word2);

// JPEG bytes of a Picture and back. Encode fills *bytes (a new reference) and
// says whether it could; decode gives a Picture (the caller's) or nil.
// Empty: encoding fails and decoding gives nil.
struct JPEGCodec {
  bool (*encode)(RuntimeObject* picture, StringRecord** bytes);
  RuntimeObject* (*decode)(const StringRecord* bytes);
};
JPEGCodec SetJPEGCodec(JPEGCodec codec);
bool EncodeJPEG(RuntimeObject* picture, StringRecord** bytes);
// Nil for empty bytes as well.
RuntimeObject* DecodeJPEG(const StringRecord* bytes);
