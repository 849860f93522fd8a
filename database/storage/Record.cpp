#include "database/storage/Record.h"

#include <cstring>

#include "core/SmartRef.h"
#include "core/string.h"
#include "database/storage/DBFile.h"
#include "database/storage/PageFormat.h"

void StampEntry(uint8_t* entry, uint8_t state, uint32_t serial) {
  entry[2] = state;
  entry[3] = uint8_t(serial >> 16);
  entry[4] = uint8_t(serial >> 8);
  entry[5] = uint8_t(serial);
}

namespace {

// Entry length field for a length that may not fit it.
uint16_t LengthField(size_t length) { return length > 0xFFFF ? 0xFFFF : uint16_t(length); }

template <class T>
T ValueAt(const uint8_t* values) {
  T value;
  std::memcpy(&value, values, sizeof value);
  return value;
}

}  // namespace

std::vector<uint8_t> BuildDirectoryRecord(uint32_t serial, uint32_t recordId, uint32_t root,
                                          const uint8_t* name, uint32_t nameLength) {
  std::vector<uint8_t> entry(kDBDirectoryNameAt);
  PutBigEndian16(entry.data(), LengthField(kDBDirectoryNameAt + size_t(nameLength)));
  StampEntry(entry.data(), kDBEntryLive, serial);
  SetEntryRecordId(entry.data(), recordId);
  SetDirectoryRecordRoot(entry.data(), root);
  PutBigEndian32(entry.data() + 14, nameLength);
  entry.insert(entry.end(), name, name + nameLength);
  return entry;
}

std::vector<uint8_t> BuildInteriorEntry(uint32_t serial, uint32_t count, uint32_t child,
                                        const uint8_t* key, size_t keyLength) {
  std::vector<uint8_t> entry(kDBInteriorKeyAt);
  PutBigEndian16(entry.data(), LengthField(kDBInteriorKeyAt + keyLength));
  StampEntry(entry.data(), kDBEntryLive, serial);
  PutBigEndian16(entry.data() + 6, uint16_t(count > 0xFFFF ? 0xFFFF : count));
  PutBigEndian32(entry.data() + 8, child);
  entry.insert(entry.end(), key, key + keyLength);
  return entry;
}

namespace {

// The size of a value of a fixed-size type; 0 for text, raw bytes and
// unknown types.
uint32_t FixedValueSize(uint8_t type) {
  switch (type) {
    case kDBFieldInt16: return 2;
    case kDBFieldInt32:
    case kDBFieldBlobId:
    case kDBFieldBlobId2:
    case kDBFieldSingle: return 4;
    case kDBFieldDouble: return 8;
    case kDBFieldDate:
    case kDBFieldTime: return 6;
    case kDBFieldBoolean: return 1;
    default: return 0;
  }
}

bool IsTextType(uint8_t type) { return type == kDBFieldText || type == kDBFieldBytes; }

}  // namespace

bool StoredValueSize(uint8_t type, const uint8_t* value, size_t available, uint32_t* size) {
  if (IsTextType(type)) {
    if (available < 4) return false;
    const uint32_t length = DBRead32(value);
    if (length > available - 4) return false;
    *size = 4 + length;
    return true;
  }
  *size = FixedValueSize(type);
  return *size != 0 && *size <= available;
}

namespace {

// Walks the fields of a record; visit(column, type, value, size) returns
// false to stop. Gives false when a field is damaged.
template <class Visit>
bool WalkFields(const uint8_t* record, Visit visit) {
  const size_t length = EntryLength(record);
  if (length < kDBRecordFieldsAt) return false;
  size_t offset = kDBRecordFieldsAt;
  while (offset < length) {
    if (length - offset < 2) return false;
    const uint8_t column = record[offset];
    const uint8_t type = record[offset + 1];
    uint32_t size = 0;
    if (!StoredValueSize(type, record + offset + 2, length - offset - 2, &size)) return false;
    if (!visit(column, type, record + offset + 2, size)) return true;
    offset += 2 + size;
  }
  return true;
}

}  // namespace

bool RecordFieldsValid(const uint8_t* record) {
  return WalkFields(record, [](uint8_t, uint8_t, const uint8_t*, uint32_t) { return true; });
}

DBFieldLookup LocateField(const uint8_t* record, uint8_t column, uint8_t* type,
                          const uint8_t** stored, uint32_t* size) {
  bool found = false;
  const bool whole = WalkFields(record, [&](uint8_t c, uint8_t t, const uint8_t* value,
                                            uint32_t valueSize) {
    if (c != column) return true;
    found = true;
    *type = t;
    *stored = value;
    *size = valueSize;
    return false;
  });
  if (!whole) return DBFieldLookup::kDamaged;
  return found ? DBFieldLookup::kFound : DBFieldLookup::kAbsent;
}

DBFieldLookup FindField(const uint8_t* record, uint8_t column, DBFieldValue* value) {
  *value = DBFieldValue();
  uint8_t type = 0;
  const uint8_t* stored = nullptr;
  uint32_t size = 0;
  const DBFieldLookup lookup = LocateField(record, column, &type, &stored, &size);
  if (lookup == DBFieldLookup::kFound) DecodeStoredValue(type, stored, size, value);
  return lookup;
}

void DecodeStoredValue(uint8_t type, const uint8_t* stored, uint32_t size, DBFieldValue* value) {
  value->type = type;
  value->stored = stored;
  value->storedLength = size;
  switch (type) {
    case kDBFieldInt16: value->integer = int16_t(DBRead16(stored)); break;
    case kDBFieldInt32:
    case kDBFieldBlobId:
    case kDBFieldBlobId2: value->integer = int32_t(DBRead32(stored)); break;
    case kDBFieldBoolean: value->integer = stored[0]; break;
    case kDBFieldSingle: {
      const uint32_t bits = DBRead32(stored);
      float single;
      std::memcpy(&single, &bits, 4);
      value->real = single;
      break;
    }
    case kDBFieldDouble: {
      const uint64_t bits = (uint64_t(DBRead32(stored)) << 32) | DBRead32(stored + 4);
      std::memcpy(&value->real, &bits, 8);
      break;
    }
    case kDBFieldDate:
    case kDBFieldTime:
      for (int i = 0; i < 3; ++i) value->parts[i] = DBRead16(stored + 2 * i);
      break;
    default:  // text and raw bytes
      value->bytes = stored + 4;
      value->length = size - 4;
      break;
  }
}

bool ValueStoredSize(uint8_t type, const uint8_t* value, size_t* size) {
  if (IsTextType(type)) {
    *size = 4 + size_t(StringLength(ValueAt<const StringRecord*>(value)));
    return true;
  }
  *size = FixedValueSize(type);
  return *size != 0;
}

void WriteStoredValue(uint8_t type, const uint8_t* value, uint8_t* out) {
  switch (type) {
    case kDBFieldInt16: PutBigEndian16(out, uint16_t(ValueAt<int16_t>(value))); return;
    case kDBFieldInt32:
    case kDBFieldBlobId:
    case kDBFieldBlobId2:
    case kDBFieldSingle: PutBigEndian32(out, ValueAt<uint32_t>(value)); return;
    case kDBFieldDouble: {
      const uint64_t bits = ValueAt<uint64_t>(value);
      PutBigEndian32(out, uint32_t(bits >> 32));
      PutBigEndian32(out + 4, uint32_t(bits));
      return;
    }
    case kDBFieldDate:
    case kDBFieldTime:
      for (int i = 0; i < 3; ++i) PutBigEndian16(out + 2 * i, ValueAt<uint16_t>(value + 2 * i));
      return;
    case kDBFieldBoolean: out[0] = value[0]; return;
    default: {  // text and raw bytes
      const StringRecord* text = ValueAt<const StringRecord*>(value);
      const uint32_t length = StringLength(text);
      PutBigEndian32(out, length);
      if (length > 0) std::memcpy(out + 4, StringData(text), length);
      return;
    }
  }
}

bool AppendStoredValue(uint8_t type, const uint8_t* value, std::vector<uint8_t>* out) {
  size_t size = 0;
  if (!ValueStoredSize(type, value, &size)) return false;
  const size_t at = out->size();
  out->resize(at + size);
  WriteStoredValue(type, value, out->data() + at);
  return true;
}

bool BuildRecord(DBFile& db, const DBFieldListItem* items, size_t count, const void* values,
                 std::vector<uint8_t>* record) {
  const auto* block = static_cast<const uint8_t*>(values);
  record->clear();
  size_t size = kDBRecordFieldsAt;
  for (size_t i = 0; i < count; ++i) {
    size_t valueSize = 0;
    if (!ValueStoredSize(uint8_t(items[i].type), block + items[i].valueOffset, &valueSize) ||
        items[i].type > 0xFF) {
      db.ReportAssertion(__LINE__, "0");
      return false;
    }
    size += 2 + valueSize;
  }
  record->reserve(size);
  record->resize(kDBRecordFieldsAt);
  PutBigEndian16(record->data(), LengthField(size));
  for (size_t i = 0; i < count; ++i) {
    record->push_back(uint8_t(items[i].column));
    record->push_back(uint8_t(items[i].type));
    AppendStoredValue(uint8_t(items[i].type), block + items[i].valueOffset, record);
  }
  if (record->size() != size) {
    db.ReportAssertion(__LINE__, "offset == size");
    record->clear();
    return false;
  }
  return true;
}

#ifdef _WINDOWS_
#error "The storage core stays portable: no <windows.h>."
#endif
