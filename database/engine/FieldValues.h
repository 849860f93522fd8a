// The values of the engine's tables: the column types a table may have, the
// conversion of a value text into the field a record stores (row inserts and
// updates), the date and time texts, and a writer of table records.
//
// Value texts by column type:
//   2, 3       blanks, a sign and decimal digits up to the first other byte
//              (none reads 0), or a number with an exponent read whole, its
//              fraction dropped ("2.5e1" is 25); a value outside the
//              column's range (-32768...32767, or 32 bits) is refused
//   5          the bytes as they are
//   6, 7       the number the text begins with (0 when none); 6 is stored in
//              single precision
//   8          date: trimmed of blanks, the part before the first blank,
//              exactly three fields split at "-": year, month, day
//   9          time: trimmed, the part after the first blank (or all of it),
//              two or three fields split at ":": hour, minute, second (0)
//              Each field reads as an integer does and must lie in
//              -32768...65535; it is stored in 16 bits.
//   12         true when the text is "true" in any case
//   14, 15, 16 BLOBs: the bytes are written by the caller (Blob.h) and the
//              record holds the BLOB id, stored as type 16 for a column of
//              type 14 and as the column's type otherwise
// Type 10 (timestamp) is no column type of this engine.
//
// Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "database/storage/Record.h"

struct StringRecord;

bool IsColumnType(int32_t type);
bool IsBlobType(int32_t type);  // 14, 15, 16
// The field type a record stores for a column of the type.
uint8_t StoredFieldType(uint8_t columnType);

// The three parts of a date or time text; false when it does not read.
bool ParseDateText(const uint8_t* text, size_t length, int16_t parts[3]);
bool ParseTimeText(const uint8_t* text, size_t length, int16_t parts[3]);
// A value text as integer columns read it, before their range is checked;
// far beyond 32 bits the reading saturates.
int64_t ReadIntegerText(const StringRecord* text);
// "true" in any case.
bool IsTrueText(const uint8_t* text, size_t length);

// One field ready for a record: the stored type and the host value as
// AppendStoredValue reads it (text and BLOB bytes by their string).
struct DBFieldInput {
  uint8_t type = kDBFieldNone;  // kDBFieldNone: the field is left out
  union {
    int16_t smallint;
    int32_t integer;  // integers and BLOB ids
    float single;
    double real;
    uint16_t parts[3];
    uint8_t boolean;
  };
  const StringRecord* text = nullptr;
  DBFieldInput() : real(0) {}
};

// Why a value text was refused: 0, or the text of error 2003.
enum class DBValueTextError { kNone, kInteger, kDate, kTime };
const char* ValueTextErrorText(DBValueTextError error);

// The field of a value text for a column of the type. BLOB types give their
// stored type with the text kept; the caller writes the bytes and sets the id.
DBValueTextError ConvertValueText(uint8_t columnType, const StringRecord* text,
                                  DBFieldInput* field);

// Builds table records field by field into a buffer it reuses: the record
// header (state and id 0), then each field as added.
class DBRecordWriter {
 public:
  void Begin();
  // A field of type kDBFieldNone is left out.
  void AddField(uint8_t column, const DBFieldInput& field);
  // A field copied as stored (type and value bytes).
  void AddStored(uint8_t column, uint8_t type, const uint8_t* stored, uint32_t length);
  // The record, its length field set (saturated at 65,535: InsertRecord
  // refuses records that long by their size).
  std::vector<uint8_t>& Finish();

 private:
  std::vector<uint8_t> bytes_;
};
