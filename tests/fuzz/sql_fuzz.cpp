// Bytes as SQL statement text: the tokenizer must walk it to the end in
// linear time with every token inside the text, and the parser its first
// word names must end in success or an SQL error (a code and a message),
// never a recorded assertion.
#include <cstddef>
#include <cstdint>
#include <string>

#include "database/sql/SQLStatements.h"
#include "database/sql/SQLTokenizer.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void WalkTokens(const uint8_t* text, size_t length, uint32_t encoding) {
  SQLTokenizer tokens(text, length, encoding);
  size_t count = 0;
  for (const SQLToken* token = &tokens.NextToken(); !token->IsEnd(); token = &tokens.NextToken()) {
    if (token->source < text || token->source + token->sourceLength > text + length)
      fuzz::Fail("token outside the text");
    if (token->sourceLength == 0 || ++count > length) fuzz::Fail("tokenizer does not advance");
  }
}

bool Parse(SQLTokenizer& text, SQLError* error) {
  const SQLToken& first = text.NextToken();
  bool ignored = false;
  if (first.Is("select")) {
    SQLSelectStatement select;
    return ParseSelect(text, &select, error);
  }
  if (first.Is("create")) {
    SQLCreateTable create;
    return ParseCreateTable(text, &create, &ignored, error);
  }
  if (first.Is("alter")) {
    SQLAlterTable alter;
    return ParseAlterTable(text, &alter, &ignored, error);
  }
  if (first.Is("update")) {
    SQLUpdate update;
    return ParseUpdate(text, &update, error);
  }
  if (first.Is("delete")) {
    SQLDelete remove;
    return ParseDelete(text, &remove, error);
  }
  if (first.Is("insert")) {
    SQLInsert insert;
    return ParseInsert(text, &insert, error);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Also in a double-byte encoding, where a bracket's second byte is no "]".
  for (uint32_t encoding : {kEncodingASCII, kEncodingShiftJIS}) {
    WalkTokens(data, size, encoding);
    SQLTokenizer text(data, size, encoding);
    SQLError error;
    if (!Parse(text, &error) && (error.code == 0 || error.message.empty()))
      fuzz::Fail("a failed parse without its error");
  }
  fuzz::FailOnRecordedBoxes();
  return 0;
}
