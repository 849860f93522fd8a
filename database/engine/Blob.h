// BLOB storage. Values of the BLOB column types (14, 15, 16) live outside
// their rows, in the keyless tree "sys$blob", cut into chunks; the row holds
// the 32-bit BLOB id.
//
// A chunk is one table record with one field (column 1, type 14), whose
// bytes are a u32 kind (0 data, 1 index) and then up to 4,000 data bytes or
// up to 500 index entries {u32 chunk id, u32 length} (big-endian). A value
// of at most 4,000 bytes is one data chunk. A longer one is its data chunks
// in order, listed by index chunks of up to 500 entries; a full index is
// written out and the next one starts with an entry naming it (its length
// word means nothing), so reading the entries in order expands to the bytes
// in the order they were written. The BLOB id is that of the data chunk or
// of the last index.
//
// Chunks are file content: a chunk is the live record at its id's key that
// bears that id. Reading walks the chunks iteratively and gives 2011 for a
// missing chunk, a chunk named twice, a value shorter than its kind word, an
// unknown kind, a data chunk over 4,000 bytes, an index over 500 entries or
// of a broken length, and a total over 2^31 - 1 bytes.
//
// Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class DBEngineDatabase;

constexpr uint32_t kDBBlobChunkSize = 4000;
constexpr uint32_t kDBBlobIndexEntries = 500;

// Writes the bytes as chunks; the BLOB id in *id. False (the storage error
// left on the file) when a chunk cannot be inserted; the chunks written
// until then are deleted again.
bool WriteBlob(DBEngineDatabase& db, const uint8_t* bytes, size_t length, int32_t* id);
// The value's bytes into *bytes; false with the database's error set (2011
// for damage) when it cannot be read whole.
bool ReadBlob(DBEngineDatabase& db, int32_t id, std::vector<uint8_t>* bytes);
// Deletes every chunk of the value. False, with nothing deleted, when the
// value cannot be read whole; false with a storage error when a delete
// fails.
bool DeleteBlob(DBEngineDatabase& db, int32_t id);
