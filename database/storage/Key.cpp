#include "database/storage/Key.h"

#include <algorithm>
#include <cstring>

#include "database/storage/DBFile.h"
#include "database/storage/PageFormat.h"

const uint8_t kDBCollation[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x22, 0x23, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36,
    0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46,
    0x47, 0x48, 0x58, 0x5A, 0x5E, 0x60, 0x6A, 0x6E, 0x70, 0x72, 0x7D, 0x7F, 0x81, 0x83, 0x85, 0x89,
    0x99, 0x9B, 0x9D, 0x9F, 0xA2, 0xA4, 0xAE, 0xB0, 0xB2, 0xB4, 0xB8, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE,
    0xBF, 0x4F, 0x59, 0x5C, 0x5F, 0x65, 0x6B, 0x6F, 0x71, 0x77, 0x7E, 0x80, 0x82, 0x84, 0x87, 0x90,
    0x9A, 0x9C, 0x9E, 0xA0, 0xA3, 0xA9, 0xAF, 0xB1, 0xB3, 0xB5, 0xB9, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4,
    0x4C, 0x4E, 0x5B, 0x61, 0x86, 0x8D, 0xA8, 0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x5D, 0x66, 0x67,
    0x68, 0x69, 0x79, 0x7A, 0x7B, 0x7C, 0x88, 0x91, 0x92, 0x93, 0x94, 0x95, 0xAA, 0xAB, 0xAC, 0xAD,
    0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xA1, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0x56, 0x8F,
    0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0x57, 0x96,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0x24, 0x25, 0xE7, 0x21, 0x4A, 0x4D, 0x8E, 0x97, 0x98,
    0xE8, 0xE9, 0x26, 0x27, 0x2D, 0x2E, 0xEA, 0xEB, 0xB6, 0xB7, 0xEC, 0xED, 0xEE, 0xEF, 0x6C, 0x6D,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0x4B, 0x63, 0x49, 0x64, 0x62, 0x73, 0x75, 0x76, 0x74, 0x8A, 0x8C,
    0xF5, 0x8B, 0xA5, 0xA7, 0xA6, 0x78, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
};

int32_t CompareKeys(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength) {
  const size_t common = std::min(aLength, bLength);
  const int order = common == 0 ? 0 : std::memcmp(a, b, common);
  if (order != 0) return order < 0 ? -1 : 1;
  if (aLength == bLength) return 0;
  return aLength < bLength ? -1 : 1;
}

int32_t ComparePrefix(const uint8_t* key, size_t keyLength, const uint8_t* prefix,
                      size_t prefixLength) {
  const size_t common = std::min(keyLength, prefixLength);
  const int order = common == 0 ? 0 : std::memcmp(key, prefix, common);
  if (order != 0) return order < 0 ? -1 : 1;
  return keyLength < prefixLength ? -1 : 0;
}

namespace {

void AppendCollated(const uint8_t* text, size_t length, std::vector<uint8_t>* key) {
  for (size_t i = 0; i < length; ++i) key->push_back(kDBCollation[text[i]]);
  key->push_back(0x00);
}

// Key bytes of a stored float or double (size 4 or 8, most significant first).
void AppendRealKey(const uint8_t* stored, uint32_t size, std::vector<uint8_t>* key) {
  const bool negative = (stored[0] & 0x80) != 0;
  for (uint32_t i = 0; i < size; ++i) {
    uint8_t byte = stored[i];
    if (negative) {
      byte = uint8_t(~byte);
    } else if (i == 0) {
      byte ^= 0x80;
    }
    key->push_back(byte);
  }
}

// The key bytes of a present value from its stored form (after the 0x01);
// false for a type that has none.
bool AppendValueKey(uint8_t type, const uint8_t* stored, uint32_t size, std::vector<uint8_t>* key) {
  switch (type) {
    case kDBFieldInt16:
    case kDBFieldInt32:
    case kDBFieldBlobId:
    case kDBFieldBlobId2:
      key->push_back(uint8_t(stored[0] ^ 0x80));
      key->insert(key->end(), stored + 1, stored + size);
      return true;
    case kDBFieldSingle:
    case kDBFieldDouble: AppendRealKey(stored, size, key); return true;
    case kDBFieldDate:
    case kDBFieldTime:
    case kDBFieldBoolean: key->insert(key->end(), stored, stored + size); return true;
    case kDBFieldText:
    case kDBFieldBytes: AppendCollated(stored + 4, size - 4, key); return true;
    default: return false;
  }
}

}  // namespace

bool BuildRecordKey(const uint8_t* record, DBKeyColumns columns, std::vector<uint8_t>* key) {
  key->clear();
  if (columns.count == 0) {
    const uint32_t id = EntryRecordId(record);
    for (int shift = 0; shift < 32; shift += 8) key->push_back(uint8_t(id >> shift));
    return true;
  }
  for (size_t i = 0; i < columns.count; ++i) {
    DBFieldValue value;
    switch (FindField(record, columns.columns[i], &value)) {
      case DBFieldLookup::kDamaged: return false;
      case DBFieldLookup::kAbsent: key->push_back(0x00); break;
      case DBFieldLookup::kFound:
        key->push_back(0x01);
        if (!AppendValueKey(value.type, value.stored, value.storedLength, key)) return false;
        break;
    }
  }
  return true;
}

namespace {

// Takes the bytes of an entry's key as they are made and compares them with
// a key, stopping at the first difference.
class KeyComparison {
 public:
  KeyComparison(const uint8_t* key, size_t length) : key_(key), length_(length) {}
  // False once the order is known.
  bool Byte(uint8_t byte) {
    if (at_ == length_) return Exhausted();
    if (byte != key_[at_]) return Decide(byte < key_[at_] ? -1 : 1);
    ++at_;
    return true;
  }
  bool Bytes(const uint8_t* bytes, size_t count) {
    const size_t common = std::min(count, length_ - at_);
    const int order = common == 0 ? 0 : std::memcmp(bytes, key_ + at_, common);
    if (order != 0) return Decide(order < 0 ? -1 : 1);
    at_ += common;
    return common == count || Exhausted();
  }
  bool Collated(const uint8_t* text, size_t count) {
    for (size_t i = 0; i < count; ++i)
      if (!Byte(kDBCollation[text[i]])) return false;
    return Byte(0x00);
  }
  int32_t Order() const { return decided_ ? order_ : at_ < length_ ? -1 : 0; }
  // Whether the entry's key starts with the whole key compared against.
  bool HasPrefix() const { return at_ == length_; }

 private:
  // The entry's key goes on past the key: it sorts after it.
  bool Exhausted() { return Decide(1); }
  bool Decide(int32_t order) {
    order_ = order;
    decided_ = true;
    return false;
  }
  const uint8_t* key_;
  size_t length_;
  size_t at_ = 0;
  int32_t order_ = 0;
  bool decided_ = false;
};

bool HasKeyBytes(uint8_t type) {
  switch (type) {
    case kDBFieldInt16:
    case kDBFieldInt32:
    case kDBFieldBlobId:
    case kDBFieldBlobId2:
    case kDBFieldSingle:
    case kDBFieldDouble:
    case kDBFieldDate:
    case kDBFieldTime:
    case kDBFieldBoolean:
    case kDBFieldText:
    case kDBFieldBytes: return true;
    default: return false;
  }
}

// Compares the key bytes of a present value of a type HasKeyBytes takes, as
// AppendValueKey makes them; false once the order is known.
bool CompareValueKey(uint8_t type, const uint8_t* stored, uint32_t size, KeyComparison& keys) {
  switch (type) {
    case kDBFieldSingle:
    case kDBFieldDouble: {
      uint8_t bytes[8];
      const bool negative = (stored[0] & 0x80) != 0;
      for (uint32_t i = 0; i < size; ++i)
        bytes[i] = negative ? uint8_t(~stored[i]) : i == 0 ? uint8_t(stored[0] ^ 0x80) : stored[i];
      return keys.Bytes(bytes, size);
    }
    case kDBFieldDate:
    case kDBFieldTime:
    case kDBFieldBoolean: return keys.Bytes(stored, size);
    case kDBFieldText:
    case kDBFieldBytes: return keys.Collated(stored + 4, size - 4);
    default:  // integers and BLOB ids
      return keys.Byte(uint8_t(stored[0] ^ 0x80)) && keys.Bytes(stored + 1, size - 1);
  }
}

// False when a key column's field is damaged or of a type without key.
bool CompareRecordKey(const uint8_t* record, DBKeyColumns columns, KeyComparison& keys) {
  if (columns.count == 0) {
    const uint8_t id[4] = {record[9], record[8], record[7], record[6]};
    keys.Bytes(id, 4);
    return true;
  }
  for (size_t i = 0; i < columns.count; ++i) {
    uint8_t type = 0;
    const uint8_t* stored = nullptr;
    uint32_t size = 0;
    switch (LocateField(record, columns.columns[i], &type, &stored, &size)) {
      case DBFieldLookup::kDamaged: return false;
      case DBFieldLookup::kAbsent:
        if (!keys.Byte(0x00)) return true;
        break;
      case DBFieldLookup::kFound:
        if (!HasKeyBytes(type)) return false;
        if (!keys.Byte(0x01) || !CompareValueKey(type, stored, size, keys)) return true;
        break;
    }
  }
  return true;
}

}  // namespace

bool EntryKeyHasPrefix(const uint8_t* record, DBKeyColumns columns, const uint8_t* prefix,
                       size_t prefixLength, bool* has) {
  KeyComparison keys(prefix, prefixLength);
  if (!CompareRecordKey(record, columns, keys)) return false;
  *has = keys.HasPrefix();
  return true;
}

bool CompareEntryKey(uint32_t pageKind, const uint8_t* entry, DBKeyColumns columns,
                     const uint8_t* key, size_t keyLength, int32_t* order) {
  KeyComparison keys(key, keyLength);
  switch (pageKind) {
    case kDBKindInterior:
      *order = CompareKeys(entry + kDBInteriorKeyAt, EntryLength(entry) - kDBInteriorKeyAt, key,
                           keyLength);
      return true;
    case kDBKindDirectoryLeaf: {
      const uint8_t prefix[] = {0x01, 0x01};
      if (keys.Bytes(prefix, 2)) keys.Collated(DirectoryName(entry), DirectoryNameLength(entry));
      break;
    }
    case kDBKindTableLeaf:
      if (!CompareRecordKey(entry, columns, keys)) return false;
      break;
    default: return false;
  }
  *order = keys.Order();
  return true;
}

void BuildDirectoryKey(const uint8_t* name, size_t nameLength, std::vector<uint8_t>* key) {
  key->assign({0x01, 0x01});
  AppendCollated(name, nameLength, key);
}

bool BuildEntryKey(uint32_t pageKind, const uint8_t* entry, DBKeyColumns columns,
                   std::vector<uint8_t>* key) {
  switch (pageKind) {
    case kDBKindInterior:
      key->assign(entry + kDBInteriorKeyAt, entry + EntryLength(entry));
      return true;
    case kDBKindDirectoryLeaf:
      BuildDirectoryKey(DirectoryName(entry), DirectoryNameLength(entry), key);
      return true;
    case kDBKindTableLeaf: return BuildRecordKey(entry, columns, key);
    default: key->clear(); return false;
  }
}

bool BuildKeyFromValues(DBFile& db, const DBFieldListItem* items, size_t count,
                        const void* values, std::vector<uint8_t>* key) {
  const auto* block = static_cast<const uint8_t*>(values);
  key->clear();
  std::vector<uint8_t> stored;
  for (size_t i = 0; i < count; ++i) {
    if (items[i].type == kDBFieldNone) {
      key->push_back(0x00);
      continue;
    }
    stored.clear();
    if (items[i].type > 0xFF ||
        !AppendStoredValue(uint8_t(items[i].type), block + items[i].valueOffset, &stored)) {
      db.ReportAssertion(__LINE__, "0");
      key->clear();
      return false;
    }
    key->push_back(0x01);
    AppendValueKey(uint8_t(items[i].type), stored.data(), uint32_t(stored.size()), key);
  }
  return true;
}

#ifdef _WINDOWS_
#error "The storage core stays portable: no <windows.h>."
#endif
