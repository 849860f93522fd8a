// Buffered temporary files and the row spool.
#include "database/results/RowSpool.h"

#include <algorithm>
#include <cstring>

#include <utility>

namespace {

constexpr int64_t kSpoolLimit = 0x7FFFFFFF;
constexpr size_t kSpoolJumpFill = 4 * 1024;

SpoolStreamFactory gFactory = nullptr;

}  // namespace

SpoolStreamFactory SetSpoolStreamFactory(SpoolStreamFactory factory) {
  return std::exchange(gFactory, factory);
}

// ---- SpoolFile ---------------------------------------------------------------------------

std::unique_ptr<SpoolFile> SpoolFile::Make() {
  FileStreamPtr stream = gFactory ? gFactory() : NewTemporarySpoolStream();
  if (!stream) return nullptr;
  return std::make_unique<SpoolFile>(std::move(stream));
}

bool SpoolFile::Append(const void* bytes, size_t count) {
  if (failed_ || int64_t(count) > kSpoolLimit - Length()) {
    failed_ = true;
    return false;
  }
  const auto* from = static_cast<const uint8_t*>(bytes);
  if (pending_.size() + count > kSpoolBufferSize) {
    if (!Flush()) return false;
    if (count >= kSpoolBufferSize) {
      // Too big to buffer: straight to the file.
      if (!stream_->SetPosition(int32_t(written_)) || !stream_->Write(from, int32_t(count))) {
        failed_ = true;
        return false;
      }
      written_ += int64_t(count);
      return true;
    }
  }
  pending_.insert(pending_.end(), from, from + count);
  return true;
}

bool SpoolFile::Flush() {
  if (failed_) return false;
  if (pending_.empty()) return true;
  if (!stream_->SetPosition(int32_t(written_)) ||
      !stream_->Write(pending_.data(), int32_t(pending_.size()))) {
    failed_ = true;
    return false;
  }
  written_ += int64_t(pending_.size());
  pending_.clear();
  return true;
}

bool SpoolFile::ReadDirect(int64_t position, uint8_t* out, size_t count) {
  if (!stream_->SetPosition(int32_t(position))) return false;
  while (count > 0) {
    int32_t got = 0;
    if (!stream_->Read(out, int32_t(count), &got) || got <= 0) return false;
    out += got;
    count -= size_t(got);
  }
  return true;
}

bool SpoolFile::ReadAt(int64_t position, void* out, size_t count, ReadBuffer* buffer) {
  if (position < 0 || int64_t(count) > Length() - position || !Flush()) return false;
  // An empty row reads nothing (and an empty buffer has no bytes to copy).
  if (count == 0) return true;
  if (!buffer) buffer = &buffer_;
  auto* to = static_cast<uint8_t*>(out);
  const int64_t bufferEnd = buffer->start + int64_t(buffer->bytes.size());
  if (position >= buffer->start && position + int64_t(count) <= bufferEnd) {
    std::memcpy(to, buffer->bytes.data() + (position - buffer->start), count);
    return true;
  }
  if (count > buffer->capacity) return ReadDirect(position, to, count);
  // A read that goes on from the window fills the whole buffer for the reads
  // after it; one elsewhere (a row picked by number) fills only a little, as
  // the bytes around it are seldom asked for next.
  const bool onward = position >= buffer->start && position <= bufferEnd;
  const size_t want = onward ? buffer->capacity : std::max(count, std::min(buffer->capacity, kSpoolJumpFill));
  const size_t fill = size_t(std::min<int64_t>(int64_t(want), written_ - position));
  buffer->bytes.resize(fill);
  buffer->start = position;
  if (!ReadDirect(position, buffer->bytes.data(), fill)) {
    buffer->bytes.clear();
    return false;
  }
  std::memcpy(to, buffer->bytes.data(), count);
  return true;
}

// ---- RowSpool ----------------------------------------------------------------------------

std::unique_ptr<RowSpool> RowSpool::Make() {
  std::unique_ptr<SpoolFile> index = SpoolFile::Make();
  if (!index) return nullptr;
  std::unique_ptr<SpoolFile> data = SpoolFile::Make();
  if (!data) return nullptr;
  return std::make_unique<RowSpool>(std::move(index), std::move(data));
}

bool RowSpool::Append(const void* bytes, size_t count) {
  const auto offset = uint32_t(data_->Length());
  if (count_ == INT32_MAX || !index_->Append(&offset, sizeof offset) ||
      !data_->Append(bytes, count)) {
    return false;
  }
  ++count_;
  return true;
}

bool RowSpool::Read(int32_t row, std::string* bytes, SpoolFile::ReadBuffer* indexBuffer,
                    SpoolFile::ReadBuffer* dataBuffer) {
  if (row < 0 || row >= count_) return false;
  // The row ends where the next begins, the last one at the data's end.
  uint32_t offsets[2] = {0, uint32_t(data_->Length())};
  const size_t entries = row + 1 < count_ ? 2 : 1;
  if (!index_->ReadAt(int64_t(row) * 4, offsets, entries * 4, indexBuffer)) return false;
  if (offsets[0] > offsets[1] || offsets[1] > data_->Length()) return false;
  bytes->resize(offsets[1] - offsets[0]);
  return data_->ReadAt(offsets[0], bytes->data(), bytes->size(), dataBuffer);
}
