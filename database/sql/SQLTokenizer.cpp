// The tokenizer: one pass over the text, no token read twice but the one
// pushed back.
#include "database/sql/SQLTokenizer.h"

#include "core/TextEncoding.h"

namespace {

bool IsBlank(uint8_t byte) { return byte <= 32; }
bool IsDigit(uint8_t byte) { return byte >= '0' && byte <= '9'; }
bool IsLetter(uint8_t byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte >= 0x80;
}
bool EndsWord(uint8_t byte) {
  switch (byte) {
    case '(': case ')': case ',': case '<': case '>': case '=': case '.': return true;
    default: return IsBlank(byte);
  }
}
uint8_t Lower(uint8_t byte) { return byte >= 'A' && byte <= 'Z' ? uint8_t(byte + 32) : byte; }

}  // namespace

bool SQLToken::Is(const char* keyword) const {
  if (kind != SQLTokenKind::kWord && kind != SQLTokenKind::kSymbol) return false;
  size_t i = 0;
  for (; keyword[i]; ++i) {
    if (i == text.size() || Lower(uint8_t(text[i])) != Lower(uint8_t(keyword[i]))) return false;
  }
  return i == text.size();
}

SQLTokenizer::SQLTokenizer(const uint8_t* text, size_t length, uint32_t encoding)
    : text_(text), length_(length) {
  if (encoding == kEncodingASCII || encoding == kEncodingNone) encoding = GetSystemTextEncoding();
  if (encoding::IsDoubleByte(encoding)) doubleByteCodePage_ = encoding::CodePageOf(encoding);
  while (length_ && (text_[length_ - 1] == ';' || IsBlank(text_[length_ - 1]))) --length_;
}

bool SQLTokenizer::AtEnd() {
  NextToken();
  PushBack();
  return token_.IsEnd();
}

const SQLToken& SQLTokenizer::NextToken() {
  while (position_ < length_ && IsBlank(text_[position_])) ++position_;
  start_ = position_;
  token_.text = {};
  token_.source = text_ + start_;
  if (position_ == length_) {
    token_.kind = SQLTokenKind::kEnd;
    token_.sourceLength = 0;
    return token_;
  }
  const uint8_t first = text_[position_++];
  const uint8_t next = position_ < length_ ? text_[position_] : 0;
  if (first == '\'' || first == '"') {
    ReadQuoted(first);
  } else if (first == '[') {
    ReadBracketed();
  } else if (first == '<' || first == '>') {
    token_.kind = SQLTokenKind::kSymbol;
    if (next == '=' || (first == '<' && next == '>')) ++position_;
    Take(start_, position_);
  } else if (first == '(' || first == ')' || first == ',' || first == '.' || first == '=') {
    token_.kind = SQLTokenKind::kSymbol;
    Take(start_, position_);
  } else if (IsDigit(first) || first == '-') {
    ReadNumber();
  } else {
    token_.kind = SQLTokenKind::kWord;
    while (position_ < length_ && !EndsWord(text_[position_])) ++position_;
    Take(start_, position_);
  }
  token_.sourceLength = position_ - start_;
  return token_;
}

// The text is the source's bytes unless a doubled quote needs making single.
void SQLTokenizer::ReadQuoted(uint8_t quote) {
  token_.kind = SQLTokenKind::kQuoted;
  const size_t begin = position_;
  bool doubled = false;
  size_t end = length_;
  while (position_ < length_) {
    if (text_[position_++] != quote) continue;
    if (position_ < length_ && text_[position_] == quote) {
      doubled = true;
      ++position_;
    } else {
      end = position_ - 1;
      break;
    }
  }
  if (!doubled) return Take(begin, end);
  unquoted_.clear();
  for (size_t i = begin; i < end; ++i) {
    unquoted_.push_back(char(text_[i]));
    if (text_[i] == quote) ++i;
  }
  token_.text = unquoted_;
}

std::string_view SQLTokenizer::Rest() {
  while (position_ < length_ && IsBlank(text_[position_])) ++position_;
  return std::string_view(reinterpret_cast<const char*>(text_ + position_), length_ - position_);
}

// After the first byte (a digit or "-"). The exponent belongs to the number
// only when digits follow its letter, so "1e" stays the number 1 and the
// word "e".
void SQLTokenizer::ReadNumber() {
  token_.kind = SQLTokenKind::kNumber;
  bool point = false;
  bool digits = IsDigit(text_[start_]);
  for (; position_ < length_; ++position_) {
    const uint8_t byte = text_[position_];
    if (byte == '.' && !point) {
      point = true;
    } else if (IsDigit(byte)) {
      digits = true;
    } else {
      break;
    }
  }
  size_t exponent = position_;
  if (digits && exponent < length_ && Lower(text_[exponent]) == 'e') {
    ++exponent;
    if (exponent < length_ && (text_[exponent] == '+' || text_[exponent] == '-')) ++exponent;
    if (exponent < length_ && IsDigit(text_[exponent])) {
      while (exponent < length_ && IsDigit(text_[exponent])) ++exponent;
      position_ = exponent;
    }
  }
  Take(start_, position_);
}

void SQLTokenizer::ReadBracketed() {
  token_.kind = SQLTokenKind::kBracketed;
  const size_t begin = position_;
  while (position_ < length_ && text_[position_] != ']') {
    position_ += doubleByteCodePage_ ? encoding::DoubleByteCharacterLength(
                                           doubleByteCodePage_, text_ + position_, length_ - position_)
                                     : 1;
  }
  Take(begin, position_);
  if (position_ < length_) ++position_;
}

bool IsIdentifier(std::string_view text) {
  if (text.empty() || !IsLetter(uint8_t(text[0]))) return false;
  for (const char c : text) {
    const uint8_t byte = uint8_t(c);
    if (!IsLetter(byte) && !IsDigit(byte) && byte != '#' && byte != '_' && byte != ' ') return false;
  }
  return true;
}

bool IsIdentifier(const SQLToken& token) {
  return (token.kind == SQLTokenKind::kWord || token.kind == SQLTokenKind::kBracketed) &&
         IsIdentifier(token.text);
}

bool IsAllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!IsDigit(uint8_t(c))) return false;
  }
  return true;
}

bool SameSQLName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(uint8_t(a[i])) != Lower(uint8_t(b[i]))) return false;
  }
  return true;
}

#ifdef _WINDOWS_
#error "The SQL front-end stays portable: no <windows.h>."
#endif
