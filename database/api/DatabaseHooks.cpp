// The database classes' hook slots.
#include "database/api/DatabaseHooks.h"

#include <utility>

#include "core/string.h"

namespace {

SQLSelectHook selectHook = nullptr;
SQLExecuteHook executeHook = nullptr;
BuiltInDatabaseOpener builtInOpener = nullptr;
JPEGCodec jpegCodec{};

}  // namespace

SQLSelectHook SetSQLSelectHook(SQLSelectHook hook) { return std::exchange(selectHook, hook); }

SQLExecuteHook SetSQLExecuteHook(SQLExecuteHook hook) { return std::exchange(executeHook, hook); }

RuntimeObject* RunSQLSelectHook(RuntimeObject* database, StringRecord* text) {
  return selectHook ? selectHook(database, text) : nullptr;
}

void RunSQLExecuteHook(RuntimeObject* database, StringRecord* text) {
  if (executeHook) executeHook(database, text);
}

BuiltInDatabaseOpener SetBuiltInDatabaseOpener(BuiltInDatabaseOpener opener) {
  return std::exchange(builtInOpener, opener);
}

RuntimeObject* OpenBuiltInDatabase(uint32_t word1, uint32_t word2) {
  return builtInOpener ? builtInOpener(word1, word2) : nullptr;
}

JPEGCodec SetJPEGCodec(JPEGCodec codec) { return std::exchange(jpegCodec, codec); }

bool EncodeJPEG(RuntimeObject* picture, StringRecord** bytes) {
  return jpegCodec.encode && jpegCodec.encode(picture, bytes);
}

RuntimeObject* DecodeJPEG(const StringRecord* bytes) {
  if (!jpegCodec.decode || StringLength(bytes) == 0) return nullptr;
  return jpegCodec.decode(bytes);
}
