#include "tests/database/dbstore_support.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/diagnostics.h"
#include "core/string.h"
#include "tests/database/dbstore_crash_scenario.h"

void MemoryFile::Read(uint32_t position, void* out, uint32_t count) const {
  auto* bytes = static_cast<uint8_t*>(out);
  while (count > 0) {
    const uint32_t within = position % kBlock;
    const uint32_t piece = std::min(count, kBlock - within);
    const auto block = blocks_.find(position / kBlock);
    if (block == blocks_.end()) {
      std::memset(bytes, 0, piece);
    } else {
      std::memcpy(bytes, block->second.data() + within, piece);
    }
    bytes += piece;
    position += piece;
    count -= piece;
  }
}

void MemoryFile::Write(uint32_t position, const void* data, uint32_t count) {
  if (count == 0) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  length_ = std::max(length_, position + count);
  while (count > 0) {
    const uint32_t within = position % kBlock;
    const uint32_t piece = std::min(count, kBlock - within);
    std::string& block = blocks_[position / kBlock];
    block.resize(kBlock, '\0');
    std::memcpy(&block[within], bytes, piece);
    bytes += piece;
    position += piece;
    count -= piece;
  }
}

void MemoryFile::Resize(uint32_t length) {
  if (length < length_) {
    blocks_.erase(blocks_.lower_bound((length + kBlock - 1) / kBlock), blocks_.end());
    const auto last = blocks_.find(length / kBlock);
    if (last != blocks_.end()) std::memset(&last->second[length % kBlock], 0, kBlock - length % kBlock);
  }
  length_ = length;
}

std::string MemoryFile::Bytes() const {
  std::string bytes(length_, '\0');
  Read(0, &bytes[0], length_);
  return bytes;
}

void MemoryFile::Assign(const std::string& bytes) {
  blocks_.clear();
  length_ = 0;
  Write(0, bytes.data(), uint32_t(bytes.size()));
}

namespace {

// A stream over a MemoryFile, shared with other streams of the same path.
class MemoryStream : public FileStream {
 public:
  explicit MemoryStream(MemoryStorage& storage) : storage_(storage) {}

  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override {
    if (bytesRead) *bytesRead = 0;
    if (!file_ || count < 0) return false;
    const uint32_t length = file_->Length();
    const uint32_t available = position_ < length ? length - position_ : 0;
    const uint32_t got = std::min(available, uint32_t(count));
    file_->Read(position_, buffer, got);
    position_ += got;
    if (bytesRead) *bytesRead = int32_t(got);
    return true;
  }
  bool Write(const void* buffer, int32_t count) override {
    if (!file_ || !writable_ || count < 0 || !Mutation()) return false;
    file_->Write(position_, buffer, uint32_t(count));
    position_ += uint32_t(count);
    Written();
    return true;
  }
  bool Close() override {
    if (temporary_) file_.reset();
    file_.reset();
    return true;
  }
  bool SetPosition(int32_t position) override {
    if (!file_ || position < 0) return false;
    position_ = uint32_t(position);
    return true;
  }
  int32_t GetLength() override { return file_ ? int32_t(file_->Length()) : -1; }
  bool SetLength(int32_t length) override {
    if (!file_ || !writable_ || length < 0 || !Mutation()) return false;
    file_->Resize(uint32_t(length));
    Written();
    return true;
  }
  int32_t GetPosition() override { return file_ ? int32_t(position_) : -1; }
  bool Create(const StringRecord* path) override {
    std::shared_ptr<MemoryFile>& file = storage_.File(StringBytes(path));
    if (file->readOnly) return false;
    file = std::make_shared<MemoryFile>();
    return Attach(file, true);
  }
  bool Open(const StringRecord* path, int32_t mode) override {
    const std::string name = StringBytes(path);
    if (!storage_.Exists(name)) return false;
    std::shared_ptr<MemoryFile> file = storage_.files[name];
    const bool writable = mode != kFileStreamReadOnly;
    if (writable && file->readOnly) return false;
    return Attach(file, writable);
  }
  bool OpenTemporary(const StringRecord*) override {
    if (storage_.temporaryFails) return false;
    temporary_ = true;
    return Attach(std::make_shared<MemoryFile>(), true);
  }
  MemoryFile* Data() const { return file_.get(); }
  bool IsTemporary() const { return temporary_; }

 private:
  bool Attach(std::shared_ptr<MemoryFile> file, bool writable) {
    file_ = std::move(file);
    writable_ = writable;
    position_ = 0;
    return true;
  }
  bool Mutation() { return temporary_ || storage_.CountMutation(); }
  void Written() {
    if (!temporary_ && storage_.afterWrite) storage_.afterWrite();
  }

  MemoryStorage& storage_;
  std::shared_ptr<MemoryFile> file_;
  uint32_t position_ = 0;
  bool writable_ = false;
  bool temporary_ = false;
};

}  // namespace

std::shared_ptr<MemoryFile>& MemoryStorage::File(const std::string& path) {
  std::shared_ptr<MemoryFile>& file = files[path];
  if (!file) file = std::make_shared<MemoryFile>();
  return file;
}

FileStreamPtr MemoryStorage::NewStream() { return FileStreamPtr(new MemoryStream(*this)); }

bool MemoryStorage::RemoveFile(const StringRecord* path) {
  return files.erase(StringBytes(path)) != 0;
}

bool MemoryStorage::TakeFileLock(FileStream& stream) {
  MemoryFile* file = static_cast<MemoryStream&>(stream).Data();
  if (!file || file->locked) return false;
  file->locked = true;
  return true;
}

void MemoryStorage::ReleaseFileLock(FileStream& stream) {
  if (MemoryFile* file = static_cast<MemoryStream&>(stream).Data()) file->locked = false;
}

bool MemoryStorage::FlushFile(FileStream& stream) {
  return static_cast<MemoryStream&>(stream).IsTemporary() || CountMutation();
}

void MemoryStorage::ReportAssertion(int32_t line, const char* condition) {
  AssertionFailed(131, 4, "kvdbThumb", line, condition, "");
}

bool MemoryStorage::CountMutation() { return ++mutations != failAt; }

std::string MemoryStorage::Bytes(const std::string& path) const {
  const auto found = files.find(path);
  return found == files.end() ? "<missing>" : found->second->Bytes();
}

std::map<std::string, std::string> MemoryStorage::Snapshot() const {
  std::map<std::string, std::string> snapshot;
  for (const auto& [path, file] : files) snapshot[path] = file->Bytes();
  return snapshot;
}

void MemoryStorage::Restore(const std::map<std::string, std::string>& snapshot) {
  files.clear();
  for (const auto& [path, bytes] : snapshot) {
    files[path] = std::make_shared<MemoryFile>();
    files[path]->Assign(bytes);
  }
}

StringRef PathString(const char* path) { return StringRef::Adopt(StringFromASCII(path)); }

std::vector<uint8_t> MakeRecord(DBFile& db, int32_t key, const std::string& text) {
  std::vector<uint8_t> record;
  EXPECT_TRUE(crash_scenario::BuildTestRecord(db, key, text, &record));
  return record;
}

int32_t Insert(DBFile& db, int32_t key, const std::string& text) {
  std::vector<uint8_t> record = MakeRecord(db, key, text);
  db.ClearError();
  if (InsertTableRecord(db, kTable, record.data(), record.size(), kKeyed, true)) return 0;
  EXPECT_NE(db.LastError().code, kDBErrorNone);
  return db.LastError().code;
}

Rows ReadRows(DBFile& db) {
  Rows rows;
  std::unique_ptr<DBTreeCursor> cursor = OpenTableTree(db, kTable, nullptr, 0, kKeyed);
  if (!cursor) {
    ADD_FAILURE() << "no test table";
    return rows;
  }
  bool first = true;
  int32_t last = 0;
  while (cursor->NextMatching()) {
    DBFieldValue key, text;
    const uint8_t* record = cursor->CurrentEntry();
    if (FindField(record, 0, &key) != DBFieldLookup::kFound ||
        FindField(record, 1, &text) != DBFieldLookup::kFound) {
      ADD_FAILURE() << "record without its fields";
      continue;
    }
    if (!first && key.integer <= last) ADD_FAILURE() << "key " << key.integer << " after " << last;
    first = false;
    last = key.integer;
    rows[key.integer].assign(reinterpret_cast<const char*>(text.bytes), text.length);
  }
  return rows;
}

testing::AssertionResult SameRows(const Rows& expected, const Rows& actual) {
  if (expected == actual) return testing::AssertionSuccess();
  auto e = expected.begin();
  auto a = actual.begin();
  while (e != expected.end() && a != actual.end() && *e == *a) {
    ++e;
    ++a;
  }
  testing::AssertionResult result = testing::AssertionFailure();
  result << expected.size() << " rows expected, " << actual.size() << " found; ";
  if (e == expected.end()) return result << "extra key " << a->first;
  if (a == actual.end()) return result << "missing key " << e->first;
  return result << "expected key " << e->first << " (" << e->second.size() << " bytes), found key "
                << a->first << " (" << a->second.size() << " bytes)";
}

bool WalkAll(DBFile& db) {
  db.ClearError();
  std::vector<std::string> names;
  std::unique_ptr<DBTreeCursor> directory = OpenTreeCursor(db, nullptr, nullptr, 0, {});
  while (directory->NextEntry()) {
    const uint8_t* record = directory->CurrentEntry();
    if (EntryState(record) == kDBEntryLive)
      names.emplace_back(reinterpret_cast<const char*>(DirectoryName(record)),
                         DirectoryNameLength(record));
  }
  for (const std::string& name : names) {
    std::unique_ptr<DBTreeCursor> table = OpenTableTree(db, name.c_str(), nullptr, 0, kKeyed);
    if (!table) return false;
    while (table->NextEntry()) {
    }
  }
  return db.LastError().code == kDBErrorNone;
}

DBFile* OpenOrFail(MemoryStorage& storage, const char* path) {
  DBStorageError error;
  DBFile* db = OpenDatabaseFileAt(PathString(path).get(), storage, &error);
  if (!db) ADD_FAILURE() << "open failed: " << error.code << " " << error.text;
  return db;
}

DBFile* NewDatabaseWithTable(MemoryStorage& storage, const char* path) {
  DBFile* db = CreateDatabaseFileAt(PathString(path).get(), storage);
  EXPECT_TRUE(db && CreateTableTree(*db, kTable));
  EXPECT_TRUE(CloseDatabaseFile(db));
  return OpenOrFail(storage, path);
}

uint32_t ReadWord(const std::string& bytes, size_t offset) {
  return GetBigEndian32(bytes.data() + offset);
}

void WriteWord(std::string& bytes, size_t offset, uint32_t value) {
  PutBigEndian32(&bytes[offset], value);
}

void WriteHalf(std::string& bytes, size_t offset, uint16_t value) {
  PutBigEndian16(&bytes[offset], value);
}

std::string StoredFile(const char* name) {
  std::ifstream in(std::string(DBSTORE_FILES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
