// Entries: what every page holds. Each starts with {u16 length, u8 state,
// 24-bit serial}; then, by the kind of page,
//   table record     u32 record id, then fields {u8 column, u8 type, value}
//   directory record u32 record id, u32 table root page, u32 name length n,
//                    n name bytes (entry length 18 + n)
//   interior entry   u16 record count, u32 child page, key bytes
// All numbers big-endian. Pointers to entries point into page or record bytes
// that the caller keeps alive.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/utility.h"
#include "database/storage/PageFormat.h"

class DBFile;

constexpr uint8_t kDBEntryLive = 'A';
constexpr uint8_t kDBEntryDeleted = 'D';
constexpr uint32_t kDBSerialMask = 0xFFFFFF;

constexpr uint32_t kDBEntryHeaderSize = 6;
constexpr uint32_t kDBRecordFieldsAt = 10;  // table records
constexpr uint32_t kDBDirectoryNameAt = 18;
constexpr uint32_t kDBInteriorKeyAt = 12;

// Read on every step of every walk: byte by byte, inline.
inline uint16_t EntryLength(const uint8_t* entry) { return uint16_t(entry[0] << 8 | entry[1]); }
inline uint8_t EntryState(const uint8_t* entry) { return entry[2]; }
inline uint32_t EntrySerial(const uint8_t* entry) {
  return (uint32_t(entry[3]) << 16) | (uint32_t(entry[4]) << 8) | entry[5];
}
// Sets the state and the low 24 bits of the serial.
void StampEntry(uint8_t* entry, uint8_t state, uint32_t serial);

// Table and directory records.
inline uint32_t EntryRecordId(const uint8_t* entry) { return DBRead32(entry + 6); }
inline void SetEntryRecordId(uint8_t* entry, uint32_t id) { PutBigEndian32(entry + 6, id); }

// Directory records.
inline uint32_t DirectoryRecordRoot(const uint8_t* entry) { return DBRead32(entry + 10); }
inline void SetDirectoryRecordRoot(uint8_t* entry, uint32_t root) { PutBigEndian32(entry + 10, root); }
inline uint32_t DirectoryNameLength(const uint8_t* entry) { return DBRead32(entry + 14); }
inline const uint8_t* DirectoryName(const uint8_t* entry) { return entry + kDBDirectoryNameAt; }
// A live directory record stamped with the serial.
std::vector<uint8_t> BuildDirectoryRecord(uint32_t serial, uint32_t recordId, uint32_t root,
                                          const uint8_t* name, uint32_t nameLength);

// Interior entries.
inline uint16_t InteriorCount(const uint8_t* entry) { return DBRead16(entry + 6); }
inline uint32_t InteriorChild(const uint8_t* entry) { return DBRead32(entry + 8); }
// A live interior entry stamped with the serial; the count saturates at
// 65,535.
std::vector<uint8_t> BuildInteriorEntry(uint32_t serial, uint32_t count, uint32_t child,
                                        const uint8_t* key, size_t keyLength);

// ---- Fields of table records ------------------------------------------------
enum DBFieldType : uint8_t {
  kDBFieldNone = 0,  // absent column
  kDBFieldInt16 = 2,
  kDBFieldInt32 = 3,
  kDBFieldText = 5,
  kDBFieldSingle = 6,
  kDBFieldDouble = 7,
  kDBFieldDate = 8,
  kDBFieldTime = 9,
  kDBFieldBoolean = 12,
  kDBFieldBytes = 14,
  kDBFieldBlobId = 15,
  kDBFieldBlobId2 = 16,
};

// The size of a stored value of the type whose bytes start at value, with
// `available` bytes left in the record; false for an unknown type or a value
// running past them.
bool StoredValueSize(uint8_t type, const uint8_t* value, size_t available, uint32_t* size);
// Whether every field of the record is whole and of a known type.
bool RecordFieldsValid(const uint8_t* record);

// One column of a record to build: its value lies at valueOffset in a block
// of host values: int16_t, int32_t (also BLOB ids), float, double, three
// uint16_t (year, month, day or hour, minute, second), one byte (boolean),
// or a StringRecord* (text and raw bytes; null writes length 0).
struct DBFieldListItem {
  uint32_t column;
  uint32_t type;
  int16_t valueOffset;
};

// Builds an unstamped record (state bytes and record id 0) with the fields in
// list order into `record`. The length is computed first; the u16 length
// field holds it when it fits (callers refuse records of 8175 bytes or more
// by the vector's size). An unknown type is an engine fault reported through
// the DBFile's adapter; the record is then empty and the result false.
bool BuildRecord(DBFile& db, const DBFieldListItem* items, size_t count, const void* values,
                 std::vector<uint8_t>* record);
// The stored form of one value from a values block (as BuildRecord writes it
// after the column and type bytes): its size (false for an unknown type),
// the value written at `out` (that many bytes; a known type), or appended.
bool ValueStoredSize(uint8_t type, const uint8_t* value, size_t* size);
void WriteStoredValue(uint8_t type, const uint8_t* value, uint8_t* out);
bool AppendStoredValue(uint8_t type, const uint8_t* value, std::vector<uint8_t>* out);

// A field read back. Numbers are copied into the value (the caller owns it);
// text and raw bytes point into the record.
struct DBFieldValue {
  uint8_t type = kDBFieldNone;
  const uint8_t* stored = nullptr;  // the stored value bytes
  uint32_t storedLength = 0;
  const uint8_t* bytes = nullptr;  // text and raw bytes
  uint32_t length = 0;
  int32_t integer = 0;  // types 2, 3, 15, 16 and the boolean byte
  double real = 0;      // types 6 and 7
  uint16_t parts[3] = {0, 0, 0};  // dates and times

  // As `*this = DBFieldValue()`, member by member: on the paths that read a
  // value per field the compiler's block fill of the whole costs more than
  // the read.
  void Clear() {
    type = kDBFieldNone;
    stored = nullptr;
    storedLength = 0;
    bytes = nullptr;
    length = 0;
    integer = 0;
    real = 0;
    parts[0] = parts[1] = parts[2] = 0;
  }
};

// The value of a stored field of the type, its `size` bytes at `stored`
// (sizes as StoredValueSize gives them).
void DecodeStoredValue(uint8_t type, const uint8_t* stored, uint32_t size, DBFieldValue* value);

enum class DBFieldLookup { kFound, kAbsent, kDamaged };
// The first field of the column. kDamaged for a field of unknown type or one
// running past the entry's length.
DBFieldLookup FindField(const uint8_t* record, uint8_t column, DBFieldValue* value);
// As FindField, without decoding: the type, and where the stored value lies
// in the record and its size.
DBFieldLookup LocateField(const uint8_t* record, uint8_t column, uint8_t* type,
                          const uint8_t** stored, uint32_t* size);
