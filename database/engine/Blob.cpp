// BLOB chunks: written once in order, walked without recursion.
#include "database/engine/Blob.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_set>

#include "core/utility.h"
#include "database/engine/EngineDatabase.h"
#include "database/storage/PageFormat.h"

namespace {

constexpr uint32_t kDataChunk = 0;
constexpr uint32_t kIndexChunk = 1;
constexpr uint32_t kChunkHeader = kDBRecordFieldsAt + 2 + 4 + 4;  // to the chunk's bytes
constexpr uint32_t kIndexEntrySize = 8;

// Inserts one chunk; its id in *id.
bool InsertChunk(DBTreeCursor& tree, std::vector<uint8_t>& record, uint32_t kind,
                 const uint8_t* bytes, size_t length, uint32_t* id) {
  record.assign(kChunkHeader, 0);
  record.insert(record.end(), bytes, bytes + length);
  PutBigEndian16(record.data(), uint16_t(record.size()));
  record[kDBRecordFieldsAt] = 1;
  record[kDBRecordFieldsAt + 1] = kDBFieldBytes;
  PutBigEndian32(record.data() + kDBRecordFieldsAt + 2, uint32_t(length + 4));
  PutBigEndian32(record.data() + kDBRecordFieldsAt + 6, kind);
  if (!tree.InsertRecord(record.data(), record.size(), false, true)) return false;
  *id = EntryRecordId(record.data());
  return true;
}

void AppendIndexEntry(std::vector<uint8_t>* index, uint32_t id, uint32_t length) {
  uint8_t entry[kIndexEntrySize];
  PutBigEndian32(entry, id);
  PutBigEndian32(entry + 4, length);
  index->insert(index->end(), entry, entry + kIndexEntrySize);
}

// A chunk read back: its kind and bytes (into the record, valid until the
// cursor moves).
struct Chunk {
  uint32_t kind = 0;
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  uint32_t Entries() const { return length / kIndexEntrySize; }
  uint32_t EntryId(uint32_t i) const { return GetBigEndian32(bytes + i * kIndexEntrySize); }
};

// Walks the chunks of one value in order, depth first, with an explicit
// stack of {index chunk, next entry}; a frame's index is read again when
// the walk comes back to it, so the stack holds two words per level.
class ChunkWalk {
 public:
  explicit ChunkWalk(DBEngineDatabase& db) : db_(db) {}

  // visit(id, chunk) for each chunk, parents before their entries.
  template <class Visit>
  bool Run(uint32_t id, Visit visit) {
    tree_ = db_.OpenTree(kDBBlobName, {});
    if (!tree_) return false;
    Chunk chunk;
    if (!Enter(id, &chunk)) return false;
    visit(id, chunk);
    while (!stack_.empty()) {
      Frame& frame = stack_.back();
      if (!Read(frame.id, &chunk)) return false;
      if (frame.next == chunk.Entries()) {
        stack_.pop_back();
        continue;
      }
      const uint32_t child = chunk.EntryId(frame.next++);
      if (!Enter(child, &chunk)) return false;
      visit(child, chunk);
    }
    return true;
  }
  DBTreeCursor& Tree() { return *tree_; }

 private:
  struct Frame {
    uint32_t id;
    uint32_t next;
  };

  // Reads a chunk met for the first time and checks it; an index is pushed.
  bool Enter(uint32_t id, Chunk* chunk) {
    if (!seen_.insert(id).second || !Read(id, chunk)) return Damaged();
    if (chunk->kind == kDataChunk) {
      total_ += chunk->length;
      if (chunk->length > kDBBlobChunkSize || total_ > uint64_t(INT32_MAX)) return Damaged();
    } else if (chunk->kind == kIndexChunk && chunk->length % kIndexEntrySize == 0 &&
               chunk->Entries() <= kDBBlobIndexEntries) {
      stack_.push_back({id, 0});
    } else {
      return Damaged();
    }
    return true;
  }

  bool Read(uint32_t id, Chunk* chunk) {
    uint8_t key[4] = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
    bool found = false;
    if (!tree_->SeekKey(key, sizeof key, &found) || !found || !tree_->NextMatching())
      return Damaged();
    const uint8_t* record = tree_->CurrentEntry();
    DBFieldValue field;
    if (EntryRecordId(record) != id || FindField(record, 1, &field) != DBFieldLookup::kFound ||
        field.type != kDBFieldBytes || field.length < 4)
      return Damaged();
    chunk->kind = GetBigEndian32(field.bytes);
    chunk->bytes = field.bytes + 4;
    chunk->length = field.length - 4;
    return true;
  }

  bool Damaged() { return db_.FailFromStorage(); }

  DBEngineDatabase& db_;
  std::unique_ptr<DBTreeCursor> tree_;
  std::vector<Frame> stack_;
  std::unordered_set<uint32_t> seen_;
  uint64_t total_ = 0;
};

// Deletes the chunks of the ids; false when one cannot be found or deleted.
bool DeleteChunks(DBEngineDatabase& db, DBTreeCursor& tree, const std::vector<uint32_t>& ids) {
  bool deleted = true;
  for (uint32_t id : ids) {
    uint8_t key[4] = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
    bool found = false;
    if (!tree.SeekKey(key, sizeof key, &found) || !found || !tree.NextMatching() ||
        !tree.DeleteCurrent()) {
      db.FailFromStorage();
      deleted = false;
    }
  }
  return deleted;
}

}  // namespace

bool WriteBlob(DBEngineDatabase& db, const uint8_t* bytes, size_t length, int32_t* id) {
  std::unique_ptr<DBTreeCursor> tree = db.OpenTree(kDBBlobName, {});
  if (!tree) return false;
  std::vector<uint8_t> record;
  std::vector<uint32_t> written;
  uint32_t chunk = 0;
  auto insert = [&](uint32_t kind, const uint8_t* data, size_t size) {
    if (!InsertChunk(*tree, record, kind, data, size, &chunk)) return false;
    written.push_back(chunk);
    return true;
  };
  bool whole = true;
  if (length <= kDBBlobChunkSize) {
    whole = insert(kDataChunk, bytes, length);
  } else {
    std::vector<uint8_t> index;
    for (size_t offset = 0; whole && offset < length; offset += kDBBlobChunkSize) {
      if (index.size() == kDBBlobIndexEntries * kIndexEntrySize) {
        whole = insert(kIndexChunk, index.data(), index.size());
        index.clear();
        AppendIndexEntry(&index, chunk, 0);
      }
      const size_t piece = std::min<size_t>(length - offset, kDBBlobChunkSize);
      whole = whole && insert(kDataChunk, bytes + offset, piece);
      if (whole) AppendIndexEntry(&index, chunk, uint32_t(piece));
    }
    whole = whole && insert(kIndexChunk, index.data(), index.size());
  }
  if (!whole) {
    const DBStorageError error = db.File().LastError();
    DeleteChunks(db, *tree, written);
    db.File().ClearError();
    if (error.code != kDBErrorNone) db.File().SetError(error.code);
    return false;
  }
  *id = int32_t(chunk);
  return true;
}

bool ReadBlob(DBEngineDatabase& db, int32_t id, std::vector<uint8_t>* bytes) {
  bytes->clear();
  ChunkWalk walk(db);
  const bool whole = walk.Run(uint32_t(id), [bytes](uint32_t, const Chunk& chunk) {
    if (chunk.kind == kDataChunk) bytes->insert(bytes->end(), chunk.bytes, chunk.bytes + chunk.length);
  });
  if (!whole) bytes->clear();
  return whole;
}

bool DeleteBlob(DBEngineDatabase& db, int32_t id) {
  std::vector<uint32_t> ids;
  ChunkWalk walk(db);
  if (!walk.Run(uint32_t(id), [&ids](uint32_t chunk, const Chunk&) { ids.push_back(chunk); }))
    return false;
  return DeleteChunks(db, walk.Tree(), ids);
}

#ifdef _WINDOWS_
#error "The engine's tables stay portable: no <windows.h>."
#endif
