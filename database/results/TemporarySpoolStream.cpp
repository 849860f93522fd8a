// The spools' default stream: bytes in memory until they pass the memory
// limit, then a temporary file that takes them over.
//
// Most sorted or grouped results a form shows are small, and making and
// deleting a file (a directory search for a free name, then the delete)
// costs more than sorting a thousand rows; so a spool touches the file
// system only once it has grown past what is worth keeping in memory.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "database/results/RowSpool.h"
#include "files/FileStreams.h"

namespace {

class MemoryFirstSpoolStream final : public FileStream {
 public:
  ~MemoryFirstSpoolStream() override { Close(); }

  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override {
    if (bytesRead) *bytesRead = 0;
    if (file_) return file_->Read(buffer, count, bytesRead);
    if (closed_ || count < 0) return false;
    const int32_t available = std::max(int32_t(bytes_.size()) - position_, 0);
    const int32_t got = std::min(count, available);
    if (got > 0) std::memcpy(buffer, bytes_.data() + position_, size_t(got));
    position_ += got;
    if (bytesRead) *bytesRead = got;
    return true;
  }

  bool Write(const void* buffer, int32_t count) override {
    if (file_) return file_->Write(buffer, count);
    if (closed_ || count < 0) return false;
    if (int64_t(position_) + count > int64_t(kSpoolMemoryLimit)) {
      return MoveToFile() && file_->Write(buffer, count);
    }
    const size_t end = size_t(position_) + size_t(count);
    if (end > bytes_.size()) bytes_.resize(end);
    if (count > 0) std::memcpy(bytes_.data() + position_, buffer, size_t(count));
    position_ += count;
    return true;
  }

  bool Close() override {
    closed_ = true;
    std::vector<uint8_t>().swap(bytes_);
    if (file_) file_->Close();
    return true;
  }

  bool SetPosition(int32_t position) override {
    if (file_) return file_->SetPosition(position);
    if (closed_ || position < 0) return false;
    position_ = position;
    return true;
  }

  int32_t GetLength() override { return file_ ? file_->GetLength() : closed_ ? -1 : int32_t(bytes_.size()); }
  int32_t GetPosition() override { return file_ ? file_->GetPosition() : closed_ ? -1 : position_; }

 private:
  // The bytes so far go to a new temporary file, which serves every call
  // from then on; false (and still in memory) when it cannot be made or
  // written.
  bool MoveToFile() {
    std::unique_ptr<Win32FileStream> file = NewFileStream();
    StringRef none = StringRef::Adopt(StringFromASCII(""));
    if (!file || !file->OpenTemporary(none.get())) return false;
    if (!bytes_.empty() && !file->Write(bytes_.data(), int32_t(bytes_.size()))) return false;
    if (!file->SetPosition(position_)) return false;
    file_ = std::move(file);
    std::vector<uint8_t>().swap(bytes_);
    return true;
  }

  std::vector<uint8_t> bytes_;  // while there is no file
  int32_t position_ = 0;
  std::unique_ptr<Win32FileStream> file_;
  bool closed_ = false;
};

}  // namespace

FileStreamPtr NewTemporarySpoolStream() {
  return FileStreamPtr(new (std::nothrow) MemoryFirstSpoolStream);
}
