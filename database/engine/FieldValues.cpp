// Value texts into fields, and table records built field by field.
#include "database/engine/FieldValues.h"

#include <charconv>
#include <string>

#include "core/basicstr.h"
#include "core/string.h"
#include "core/utility.h"
#include "database/storage/PageFormat.h"

namespace {

bool IsBlank(uint8_t byte) { return byte == ' '; }
bool IsDigit(uint8_t byte) { return byte >= '0' && byte <= '9'; }

// Integers stop growing here, far outside any range checked.
constexpr int64_t kSaturated = int64_t(1) << 40;

// Blanks, a sign and decimal digits up to the first other byte, as
// CStringToInt reads them (saturated far outside any range checked here);
// *stop, when given, is that byte's place.
int64_t ReadInteger(const uint8_t* text, const uint8_t* end, const uint8_t** stop = nullptr) {
  while (text < end && IsBlank(*text)) ++text;
  const bool negative = text < end && *text == '-';
  if (text < end && (*text == '-' || *text == '+')) ++text;
  int64_t value = 0;
  for (; text < end && IsDigit(*text); ++text)
    if (value < kSaturated) value = value * 10 + (*text - '0');
  if (stop) *stop = text;
  return negative ? -value : value;
}

// Blanks, then a number with an exponent ("1e1", "-2.5E-1") as the integer
// it truncates to, saturated as ReadInteger saturates; false for any other
// text. The digits are shifted by the exponent, never rounded through a
// double.
bool ReadExponentInteger(const uint8_t* text, const uint8_t* end, int64_t* value) {
  while (text < end && IsBlank(*text)) ++text;
  const bool negative = text < end && *text == '-';
  if (text < end && (*text == '-' || *text == '+')) ++text;
  std::string digits;
  size_t point = std::string::npos;
  for (; text < end && (IsDigit(*text) || (*text == '.' && point == std::string::npos)); ++text) {
    if (*text == '.') {
      point = digits.size();
    } else {
      digits.push_back(char(*text));
    }
  }
  if (digits.empty() || text == end || (*text != 'e' && *text != 'E')) return false;
  const bool negativeExponent = ++text < end && *text == '-';
  if (text < end && (*text == '-' || *text == '+')) ++text;
  if (text == end) return false;
  int64_t exponent = 0;
  for (; text < end && IsDigit(*text); ++text)
    if (exponent < 100000) exponent = exponent * 10 + (*text - '0');
  if (text != end) return false;
  // The number of digits before the point once the exponent has moved it.
  const int64_t whole = int64_t(point == std::string::npos ? digits.size() : point) +
                        (negativeExponent ? -exponent : exponent);
  int64_t result = 0;
  for (int64_t i = 0; i < whole && result < kSaturated; ++i) {
    if (size_t(i) >= digits.size() && result == 0) break;
    result = result * 10 + (size_t(i) < digits.size() ? digits[size_t(i)] - '0' : 0);
  }
  *value = negative ? -result : result;
  return true;
}

// Splits [text, end) at the separator into `wanted` (or, with `optional`,
// one fewer) fields, each read as an integer in -32768...65535.
bool ReadParts(const uint8_t* text, const uint8_t* end, uint8_t separator, int wanted,
               bool optional, int16_t parts[3]) {
  int count = 0;
  const uint8_t* field = text;
  for (const uint8_t* p = text;; ++p) {
    if (p < end && *p != separator) continue;
    if (count == wanted) return false;
    const int64_t value = ReadInteger(field, p);
    if (value < -32768 || value > 65535) return false;
    parts[count++] = int16_t(uint16_t(value));
    if (p == end) break;
    field = p + 1;
  }
  if (count == wanted - 1 && optional) {
    parts[count++] = 0;
  }
  return count == wanted;
}

// Three runs of one to five digits joined by the separator, nothing else,
// each at most 65535: read as ReadParts reads them. False for any other
// text, which ReadParts then reads.
bool ReadPlainParts(const uint8_t* text, const uint8_t* end, uint8_t separator, int16_t parts[3]) {
  uint32_t values[3];
  for (int i = 0; i < 3; ++i) {
    const uint8_t* start = text;
    uint32_t value = 0;
    while (text < end && IsDigit(*text) && text - start < 5) value = value * 10 + (*text++ - '0');
    if (text == start || value > 65535) return false;
    if (i < 2 && (text == end || *text++ != separator)) return false;
    values[i] = value;
  }
  if (text != end) return false;
  for (int i = 0; i < 3; ++i) parts[i] = int16_t(uint16_t(values[i]));
  return true;
}

void Trim(const uint8_t** text, const uint8_t** end) {
  while (*text < *end && IsBlank(**text)) ++*text;
  while (*end > *text && IsBlank((*end)[-1])) --*end;
}

// The bytes of a value text, UTF-16 texts read in their UTF-8 form (kept in
// the scratch string).
struct TextView {
  const uint8_t* bytes;
  size_t length;
};
TextView TextBytes(const StringRecord* text, std::string* scratch) {
  if (StringEncoding(text) != kEncodingUTF16) return {StringData(text), StringLength(text)};
  *scratch = StringToStdUTF8(text);
  return {reinterpret_cast<const uint8_t*>(scratch->data()), scratch->size()};
}

// The number a value text begins with, as StringVal reads it. A plain
// decimal (a sign, digits and one point, nothing else) is read in place;
// any other text goes to StringVal.
double ReadNumberText(const StringRecord* text) {
  if (StringEncoding(text) != kEncodingUTF16) {
    const char* p = reinterpret_cast<const char*>(StringData(text));
    const char* end = p + StringLength(text);
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    const char* start = p;
    bool digits = false, point = false;
    for (; p < end; ++p) {
      if (IsDigit(uint8_t(*p))) {
        digits = true;
      } else if (*p == '.' && !point) {
        point = true;
      } else {
        break;
      }
    }
    double value = 0;
    if (p == end && digits && std::from_chars(start, end, value).ec == std::errc())
      return negative ? -value : value;
  }
  return StringVal(text);
}

}  // namespace

bool IsColumnType(int32_t type) {
  switch (type) {
    case kDBFieldInt16:
    case kDBFieldInt32:
    case kDBFieldText:
    case kDBFieldSingle:
    case kDBFieldDouble:
    case kDBFieldDate:
    case kDBFieldTime:
    case kDBFieldBoolean:
    case kDBFieldBytes:
    case kDBFieldBlobId:
    case kDBFieldBlobId2: return true;
    default: return false;
  }
}

bool IsBlobType(int32_t type) {
  return type == kDBFieldBytes || type == kDBFieldBlobId || type == kDBFieldBlobId2;
}

uint8_t StoredFieldType(uint8_t columnType) {
  return columnType == kDBFieldBytes ? uint8_t(kDBFieldBlobId2) : columnType;
}

bool ParseDateText(const uint8_t* text, size_t length, int16_t parts[3]) {
  const uint8_t* end = text + length;
  if (ReadPlainParts(text, end, '-', parts)) return true;
  Trim(&text, &end);
  const uint8_t* blank = text;
  while (blank < end && !IsBlank(*blank)) ++blank;
  return ReadParts(text, blank, '-', 3, false, parts);
}

bool ParseTimeText(const uint8_t* text, size_t length, int16_t parts[3]) {
  const uint8_t* end = text + length;
  Trim(&text, &end);
  const uint8_t* blank = text;
  while (blank < end && !IsBlank(*blank)) ++blank;
  if (blank < end) text = blank + 1;
  return ReadParts(text, end, ':', 3, true, parts);
}

int64_t ReadIntegerText(const StringRecord* text) {
  if (StringEncoding(text) != kEncodingUTF16) {
    // Most texts are blanks, a sign and digits: when neither a point nor an
    // exponent follows the digits, no exponent reading can take the text.
    const uint8_t* bytes = StringData(text);
    const uint8_t* end = bytes + StringLength(text);
    const uint8_t* p = bytes;
    const int64_t value = ReadInteger(bytes, end, &p);
    if (p == end || (*p != '.' && *p != 'e' && *p != 'E')) return value;
  }
  std::string scratch;
  const TextView view = TextBytes(text, &scratch);
  int64_t value = 0;
  if (ReadExponentInteger(view.bytes, view.bytes + view.length, &value)) return value;
  return ReadInteger(view.bytes, view.bytes + view.length);
}

bool IsTrueText(const uint8_t* text, size_t length) {
  static const char kTrue[] = "true";
  if (length != 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if ((text[i] | 0x20) != kTrue[i]) return false;
  return true;
}

const char* ValueTextErrorText(DBValueTextError error) {
  switch (error) {
    case DBValueTextError::kInteger: return "Invalid integer value";
    case DBValueTextError::kDate: return "Invalid date format";
    case DBValueTextError::kTime: return "Invalid time format";
    default: return "";
  }
}

DBValueTextError ConvertValueText(uint8_t columnType, const StringRecord* text,
                                  DBFieldInput* field) {
  *field = DBFieldInput();
  field->type = StoredFieldType(columnType);
  std::string scratch;
  switch (columnType) {
    case kDBFieldInt16:
    case kDBFieldInt32: {
      const int64_t value = ReadIntegerText(text);
      const bool small = columnType == kDBFieldInt16;
      if (value < (small ? INT16_MIN : INT32_MIN) || value > (small ? INT16_MAX : INT32_MAX))
        return DBValueTextError::kInteger;
      if (small) {
        field->smallint = int16_t(value);
      } else {
        field->integer = int32_t(value);
      }
      return DBValueTextError::kNone;
    }
    case kDBFieldSingle: field->single = float(ReadNumberText(text)); return DBValueTextError::kNone;
    case kDBFieldDouble: field->real = ReadNumberText(text); return DBValueTextError::kNone;
    case kDBFieldDate:
    case kDBFieldTime: {
      const TextView view = TextBytes(text, &scratch);
      int16_t parts[3];
      const bool date = columnType == kDBFieldDate;
      if (!(date ? ParseDateText(view.bytes, view.length, parts)
                 : ParseTimeText(view.bytes, view.length, parts)))
        return date ? DBValueTextError::kDate : DBValueTextError::kTime;
      for (int i = 0; i < 3; ++i) field->parts[i] = uint16_t(parts[i]);
      return DBValueTextError::kNone;
    }
    case kDBFieldBoolean: {
      const TextView view = TextBytes(text, &scratch);
      field->boolean = IsTrueText(view.bytes, view.length);
      return DBValueTextError::kNone;
    }
    default:  // text and BLOBs
      field->text = text;
      return DBValueTextError::kNone;
  }
}

// ---- Records ---------------------------------------------------------------------

void DBRecordWriter::Begin() {
  bytes_.reserve(256);
  bytes_.assign(kDBRecordFieldsAt, 0);
}

void DBRecordWriter::AddField(uint8_t column, const DBFieldInput& field) {
  if (field.type == kDBFieldNone) return;
  // The value as the storage core reads a values block: numbers in place,
  // text and BLOB bytes by their string. Written in place, sized first: one
  // growth of the buffer at most, and none once it has held a row this long.
  const bool text = field.type == kDBFieldText || field.type == kDBFieldBytes;
  const auto* value = reinterpret_cast<const uint8_t*>(text ? static_cast<const void*>(&field.text)
                                                            : static_cast<const void*>(&field.smallint));
  size_t size = 0;
  const bool stored = ValueStoredSize(field.type, value, &size);
  const size_t at = bytes_.size();
  bytes_.resize(at + 2 + size);
  bytes_[at] = column;
  bytes_[at + 1] = field.type;
  if (stored) WriteStoredValue(field.type, value, bytes_.data() + at + 2);
}

void DBRecordWriter::AddStored(uint8_t column, uint8_t type, const uint8_t* stored,
                               uint32_t length) {
  bytes_.push_back(column);
  bytes_.push_back(type);
  bytes_.insert(bytes_.end(), stored, stored + length);
}

std::vector<uint8_t>& DBRecordWriter::Finish() {
  PutBigEndian16(bytes_.data(), uint16_t(bytes_.size() > 0xFFFF ? 0xFFFF : bytes_.size()));
  return bytes_;
}

#ifdef _WINDOWS_
#error "The engine's tables stay portable: no <windows.h>."
#endif
