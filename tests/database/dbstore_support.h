// Helpers of the storage tests: an adapter over files in memory (with fault
// injection and snapshots after every write), records of a small test table
// {0: i32 key, 1: text}, a reference model of its rows, full walks that
// check the trees, and page images built and patched by hand.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "database/kvdbThumb.h"
#include "tests/database/dbstore_crash_scenario.h"
#include "testsupport/RuntimeTestEnvironment.h"

// ---- Files in memory -------------------------------------------------------------
// Sparse: blocks never written read as zeros, so a file may claim nearly
// 2 GiB and hold a few pages.
class MemoryFile {
 public:
  uint32_t Length() const { return length_; }
  void Read(uint32_t position, void* out, uint32_t count) const;
  void Write(uint32_t position, const void* bytes, uint32_t count);
  void Resize(uint32_t length);
  std::string Bytes() const;
  void Assign(const std::string& bytes);

  bool readOnly = false;  // opening for writing fails
  bool locked = false;

 private:
  static constexpr uint32_t kBlock = 4096;
  std::map<uint32_t, std::string> blocks_;
  uint32_t length_ = 0;
};

class MemoryStorage : public DBStorageAdapter {
 public:
  FileStreamPtr NewStream() override;
  bool RemoveFile(const StringRecord* path) override;
  bool TakeFileLock(FileStream& stream) override;
  void ReleaseFileLock(FileStream& stream) override;
  bool FlushFile(FileStream& stream) override;
  void ReportAssertion(int32_t line, const char* condition) override;

  // The file of the path, made empty when there is none.
  std::shared_ptr<MemoryFile>& File(const std::string& path);
  bool Exists(const std::string& path) const { return files.count(path) != 0; }
  std::string Bytes(const std::string& path) const;
  // Every named file as it stands.
  std::map<std::string, std::string> Snapshot() const;
  void Restore(const std::map<std::string, std::string>& snapshot);

  // Counts each Write, SetLength and flush of a named file; the one whose
  // number (from 1) equals failAt fails and changes nothing.
  bool CountMutation();
  int64_t mutations = 0;
  int64_t failAt = 0;
  // Called after each Write or SetLength of a named file.
  std::function<void()> afterWrite;
  bool temporaryFails = false;  // OpenTemporary fails

  std::map<std::string, std::shared_ptr<MemoryFile>> files;
};

StringRef PathString(const char* path);

// ---- The test table ------------------------------------------------------------------
using crash_scenario::kKeyed;
using crash_scenario::kTable;

// A record {0: key, 1: text}.
std::vector<uint8_t> MakeRecord(DBFile& db, int32_t key, const std::string& text);
// Inserts into the test table (unique by key); the error code (0 on success).
int32_t Insert(DBFile& db, int32_t key, const std::string& text);

using crash_scenario::Rows;
// The live rows of the test table, walked with NextMatching; adds a failure
// when keys do not strictly increase.
Rows ReadRows(DBFile& db);
// Equal rows; otherwise the counts and the first key that differs.
testing::AssertionResult SameRows(const Rows& expected, const Rows& actual);
// Walks every entry of the directory and of each table (NextEntry): false
// when the walk stopped with an error.
bool WalkAll(DBFile& db);

// Opens the path on the storage; the test fails when it does not open.
DBFile* OpenOrFail(MemoryStorage& storage, const char* path);
// A database with the empty test table, committed, closed and reopened.
DBFile* NewDatabaseWithTable(MemoryStorage& storage, const char* path);

// The bytes of a file kept in tests/database/dbstore-files/.
std::string StoredFile(const char* name);

// ---- Page images -------------------------------------------------------------------
uint32_t ReadWord(const std::string& bytes, size_t offset);
void WriteWord(std::string& bytes, size_t offset, uint32_t value);
void WriteHalf(std::string& bytes, size_t offset, uint16_t value);
// Byte offset of page n in a file.
constexpr size_t PageAt(uint32_t page) { return size_t(page) * kDBPageSize + kDBHeaderSize; }

// Fixture: records boxes (HostTest fails a test that leaves any).
class StoreTest : public HostTest {
 protected:
  MemoryStorage storage_;
};
