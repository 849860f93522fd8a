// Keys: the byte strings that order the entries of a tree. Trees compare
// keys byte by byte (unsigned); a shorter key that is a prefix of a longer
// one sorts first.
//
//   interior entry    its bytes from offset 12
//   directory record  01 01, the name's bytes through the collation, 00
//   table record      without key columns: the record id, least significant
//                     byte first; with key columns, per column 00 when the
//                     field is absent, else 01 and the value's key bytes
//
// Key bytes of a value: integers big-endian with the sign bit flipped; floats
// big-endian with the sign bit flipped when clear and every bit inverted when
// set; dates and times as stored; text and raw bytes through the collation
// and a 00; booleans as the byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "database/storage/Record.h"

// Text byte -> key byte: letters interleave by case (A a B b ...).
extern const uint8_t kDBCollation[256];

// -1, 0 or 1.
int32_t CompareKeys(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength);
// 0 when the key starts with the prefix; otherwise as CompareKeys over the
// common length, and -1 when the key is a shorter part of the prefix.
int32_t ComparePrefix(const uint8_t* key, size_t keyLength, const uint8_t* prefix,
                      size_t prefixLength);

// The key columns of a table tree, in order (none for a keyless tree).
struct DBKeyColumns {
  const uint8_t* columns = nullptr;
  size_t count = 0;
};

// The key of an entry on a page of the kind into `key` (a buffer the caller
// reuses). False for an entry the key cannot be built from: a field that is
// damaged, or a kind no tree has.
bool BuildEntryKey(uint32_t pageKind, const uint8_t* entry, DBKeyColumns columns,
                   std::vector<uint8_t>* key);
// The order of an entry's key against `key` (-1, 0 or 1, as CompareKeys),
// read from the entry where it lies, without building it. False as
// BuildEntryKey.
bool CompareEntryKey(uint32_t pageKind, const uint8_t* entry, DBKeyColumns columns,
                     const uint8_t* key, size_t keyLength, int32_t* order);
// Whether the key of a table record starts with the prefix, read in place;
// false for a record whose key cannot be built.
bool EntryKeyHasPrefix(const uint8_t* record, DBKeyColumns columns, const uint8_t* prefix,
                       size_t prefixLength, bool* has);
// The key a table record will have; the same as BuildEntryKey on a table
// leaf.
bool BuildRecordKey(const uint8_t* record, DBKeyColumns columns, std::vector<uint8_t>* key);
// The key of a directory record of that name.
void BuildDirectoryKey(const uint8_t* name, size_t nameLength, std::vector<uint8_t>* key);
// The key of values about to be stored: one item per key column, in key
// order, from a values block as BuildRecord reads it; an item of type 0 is an
// absent column. An unknown type is an engine fault reported through the
// DBFile's adapter (false).
bool BuildKeyFromValues(DBFile& db, const DBFieldListItem* items, size_t count,
                        const void* values, std::vector<uint8_t>* key);
