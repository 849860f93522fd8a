// The SQL front-end's tokenizer: statement text in, one token at a time out.
//
// The text is counted bytes (a 0 byte is an ordinary byte). Blanks are the
// bytes 0 to 32; bytes from 0x80 up are letters, so "café" is one word.
// Tokens:
//   symbols   "<", "<=", "<>", ">", ">=", "=", "(", ")", ",", "."
//   quoted    '...' or "...": the text between the quotes, a doubled quote
//             standing for one; an unclosed quote runs to the end
//   bracketed [...]: the text between the brackets (to the end without "]");
//             in a double-byte encoding the second byte of a character is
//             never the "]"
//   number    a digit or "-", then digits with at most one "." among them,
//             then an exponent ("e" or "E", a sign, digits) when digits
//             follow the letter: "1e1" and "-2.5E-3" are one token each,
//             "1.5.2" is "1.5", ".", "2"
//   word      anything else, up to a blank or one of "(),<>=."
// Trailing ";" and blanks are not part of the statement. Reading is linear
// in the text; PushBack returns to the start of the last token read.
//
// Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/string.h"

enum class SQLTokenKind : uint8_t { kEnd, kSymbol, kQuoted, kBracketed, kNumber, kWord };

struct SQLToken {
  SQLTokenKind kind = SQLTokenKind::kEnd;
  // Quoted and bracketed: without their delimiters. Valid until the next
  // token is read.
  std::string_view text;
  // The source bytes of the token as written (for messages).
  const uint8_t* source = nullptr;
  size_t sourceLength = 0;

  bool IsEnd() const { return kind == SQLTokenKind::kEnd; }
  // A word or symbol equal to the keyword, ASCII case ignored.
  bool Is(const char* keyword) const;
  std::string Written() const { return std::string(reinterpret_cast<const char*>(source), sourceLength); }
};

class SQLTokenizer {
 public:
  // The text's encoding; the default one and none stand for the system's.
  SQLTokenizer(const uint8_t* text, size_t length, uint32_t encoding = kEncodingASCII);
  const SQLToken& NextToken();
  // The next NextToken gives the last token again.
  void PushBack() { position_ = start_; }
  bool AtEnd();
  // The text from the next token on, as written (empty at the end).
  std::string_view Rest();

 private:
  void ReadQuoted(uint8_t quote);
  void ReadBracketed();
  void ReadNumber();
  void Take(size_t begin, size_t end) {
    token_.text = std::string_view(reinterpret_cast<const char*>(text_ + begin), end - begin);
  }

  const uint8_t* text_;
  size_t length_;
  size_t position_ = 0;
  size_t start_ = 0;
  uint32_t doubleByteCodePage_ = 0;  // 0: one byte per character
  SQLToken token_;
  std::string unquoted_;  // a quoted token's text with its doubled quotes made single
};

// Not empty; a letter (A-Z, a-z or a byte from 0x80) first, then letters,
// digits, "#", "_" and blanks (the byte 32).
bool IsIdentifier(std::string_view text);
// A word or bracketed token whose text is an identifier.
bool IsIdentifier(const SQLToken& token);
// Not empty and only 0-9.
bool IsAllDigits(std::string_view text);
// Names compare ignoring ASCII case.
bool SameSQLName(std::string_view a, std::string_view b);
