// The buffer layer: read-ahead, write-behind, the list of buffered streams
// and the reports of failed deferred writes.
#include "files/BufferedStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The first fill after a move is small: a program that moves and reads one
// value pays for a few bytes, not for a whole buffer.
constexpr int32_t kFirstFill = 4 * 1024;
constexpr int32_t kLargestPosition = INT32_MAX;

StreamSystemSlots systemSlots;
int32_t bufferSize = kStreamBufferSize;

uint32_t LastError() { return systemSlots.lastError ? systemSlots.lastError() : 0; }

void SetError(uint32_t error) {
  if (systemSlots.setLastError) systemSlots.setLastError(error);
}

}  // namespace

// Every buffered stream of the process, newest first. The run-time starts no
// thread of its own: the list is used by the main thread only.
class StreamList {
 public:
  static void Add(BufferedFileStream* stream) {
    stream->next_ = head_;
    if (head_) head_->prev_ = stream;
    head_ = stream;
    Reshare(stream);
  }

  static void Remove(BufferedFileStream* stream) {
    if (stream->prev_) {
      stream->prev_->next_ = stream->next_;
    } else if (head_ == stream) {
      head_ = stream->next_;
    } else {
      return;  // not listed
    }
    if (stream->next_) stream->next_->prev_ = stream->prev_;
    stream->prev_ = stream->next_ = nullptr;
    Reshare(stream);
  }

  // Calls visit for each other stream on the stream's file.
  template <class Visit>
  static void Peers(const BufferedFileStream* stream, Visit visit) {
    for (BufferedFileStream* other = head_; other; other = other->next_) {
      if (other != stream && SameFile(other, stream)) visit(other);
    }
  }

  template <class Visit>
  static void All(Visit visit) {
    for (BufferedFileStream* stream = head_; stream; stream = stream->next_) visit(stream);
  }

 private:
  static bool SameFile(const BufferedFileStream* a, const BufferedFileStream* b) {
    return a->fileKey_[0] == b->fileKey_[0] && a->fileKey_[1] == b->fileKey_[1];
  }

  // Marks the listed streams on the stream's file as shared when there are
  // two or more of them.
  static void Reshare(const BufferedFileStream* stream) {
    int count = 0;
    for (BufferedFileStream* other = head_; other; other = other->next_) {
      if (SameFile(other, stream)) ++count;
    }
    for (BufferedFileStream* other = head_; other; other = other->next_) {
      if (SameFile(other, stream)) other->shared_ = count > 1;
    }
  }

  static BufferedFileStream* head_;
};

BufferedFileStream* StreamList::head_ = nullptr;

BufferedFileStream::BufferedFileStream(FileStreamPtr&& inner, int32_t capacity)
    : inner_(std::move(inner)), capacity_(std::max(0, capacity)), nextFill_(kFirstFill) {
  Rejoin();
}

BufferedFileStream::~BufferedFileStream() {
  Close();
  StreamList::Remove(this);
}

// ---- Shared steps ------------------------------------------------------------------

// The buffer is made when first needed: a stream that only closes costs none.
// Without memory for it every call goes straight through.
bool BufferedFileStream::Buffers() {
  if (!buffer_ && capacity_ > 0) {
    buffer_.reset(new (std::nothrow) uint8_t[size_t(capacity_)]);
    if (!buffer_) capacity_ = 0;
  }
  return capacity_ > 0;
}

// Takes the stream's place in the list under the file it is on now.
void BufferedFileStream::Rejoin() {
  StreamList::Remove(this);
  shared_ = peerWrote_ = false;
  // Streams that cannot say which file they are on are taken as all on one:
  // they write out for each other, which costs speed, never a write.
  if (!systemSlots.fileIdentity || !systemSlots.fileIdentity(*inner_, fileKey_)) {
    fileKey_[0] = fileKey_[1] = 0;
  }
  readsOnly_ = systemSlots.readsOnly && systemSlots.readsOnly(*inner_);
  StreamList::Add(this);
}

// Others on the file write out first; what this stream read ahead is dropped
// when one of them wrote since.
void BufferedFileStream::SyncWithPeers() {
  StreamList::Peers(this, [](BufferedFileStream* peer) {
    if (peer->mode_ == Mode::kWriting) peer->WriteOut();
  });
  if (peerWrote_) {
    peerWrote_ = false;
    DropReadAhead();
  }
}

void BufferedFileStream::MarkPeersWritten() {
  if (shared_) StreamList::Peers(this, [](BufferedFileStream* peer) { peer->peerWrote_ = true; });
}

// Syncs with the other streams on the file, then reports a failed deferred
// write: false (with its error code) when there is one to report.
bool BufferedFileStream::Begin() {
  if (shared_) SyncWithPeers();
  return !failed_ || Report();
}

bool BufferedFileStream::Report() {
  failed_ = false;
  SetError(failedError_);
  return false;
}

bool BufferedFileStream::WriteOut() {
  if (mode_ != Mode::kWriting) return true;
  const int32_t count = end_;
  mode_ = Mode::kIdle;
  end_ = 0;
  if (count == 0) return true;
  const bool written = inner_->Write(buffer_.get(), count);
  MarkPeersWritten();
  if (!written) {
    failed_ = true;
    failedError_ = LastError();
    writeThrough_ = true;
  }
  return written;
}

// Puts the stream below back at this stream's position, forgetting what was
// read ahead; false, the bytes kept, when the stream below cannot move back
// (they could not be read again).
bool BufferedFileStream::DropReadAhead() {
  if (mode_ != Mode::kReading) return true;
  if (Unread() > 0 && !inner_->SetPosition(base_ + start_)) return false;
  mode_ = Mode::kIdle;
  start_ = end_ = 0;
  return true;
}

// The next read starts small again: a program that reads a little in each
// turn pays for a few bytes each time.
void BufferedFileStream::ForgetReadAhead() {
  DropReadAhead();
  nextFill_ = kFirstFill;
}

BufferedFileStream::Fill BufferedFileStream::FillBuffer() {
  const int32_t base = inner_->GetPosition();
  // Past 31 bits (or on a closed stream) the layer steps aside.
  if (base < 0 || base == kLargestPosition) return {0, 0, false, true};
  const int32_t asked = std::min({nextFill_, capacity_, kLargestPosition - base});
  nextFill_ = std::min(capacity_, nextFill_ * 2);
  int32_t got = 0;
  const bool read = inner_->Read(buffer_.get(), asked, &got);
  // A read that failed part way keeps what it brought (a damaged file's
  // bytes before the damage); the next fill meets the failure.
  got = std::max(0, std::min(got, asked));
  base_ = base;
  start_ = 0;
  end_ = got;
  mode_ = got > 0 ? Mode::kReading : Mode::kIdle;
  return {asked, got, read, false};
}

// ---- Transfers ---------------------------------------------------------------------

bool BufferedFileStream::Read(void* buffer, int32_t count, int32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  if (!Begin()) return false;
  // Nothing to move: the stream below answers as it would.
  if (count <= 0) return inner_->Read(buffer, count, bytesRead);
  if (!WriteOut()) return Report();
  if (!Buffers()) return DropReadAhead() && inner_->Read(buffer, count, bytesRead);
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  bool filledShort = false;
  while (done < count) {
    if (Unread() == 0) {
      if (filledShort) break;
      // What the buffer cannot hold goes straight to the caller.
      const int32_t rest = count - done;
      const Fill fill = rest >= capacity_ ? Fill{0, 0, false, true} : FillBuffer();
      if (fill.stepAside) {
        int32_t got = 0;
        const bool read = inner_->Read(out + done, rest, &got);
        // As a fill does, a failing read keeps what it brought.
        got = std::max(0, std::min(got, rest));
        if (!read && done == 0 && got == 0) return false;
        done += got;
        break;
      }
      if (fill.got == 0) {
        if (!fill.read && done == 0) return false;
        break;
      }
      filledShort = fill.got < fill.asked;
    }
    const int32_t take = std::min(count - done, Unread());
    std::memcpy(out + done, buffer_.get() + start_, size_t(take));
    start_ += take;
    done += take;
    if (Unread() == 0) mode_ = Mode::kIdle;
  }
  if (bytesRead) *bytesRead = done;
  return true;
}

bool BufferedFileStream::Write(const void* buffer, int32_t count) {
  if (!Begin()) return false;
  if (count <= 0) return inner_->Write(buffer, count);
  if (!DropReadAhead()) return false;
  nextFill_ = kFirstFill;
  // Gathered, the write could only fail later, after Position had moved
  // past what the file will hold.
  if (readsOnly_ || writeThrough_) {
    const bool written = inner_->Write(buffer, count);
    MarkPeersWritten();
    writeThrough_ = !written;
    return written;
  }
  if (Buffers() && count < capacity_) {
    if (mode_ == Mode::kWriting && count > capacity_ - end_ && !WriteOut()) return Report();
    if (mode_ == Mode::kIdle) {
      const int32_t base = inner_->GetPosition();
      if (base >= 0) {
        mode_ = Mode::kWriting;
        base_ = base;
        end_ = 0;
      }
    }
    if (mode_ == Mode::kWriting && count <= kLargestPosition - base_ - end_) {
      std::memcpy(buffer_.get() + end_, buffer, size_t(count));
      end_ += count;
      return true;
    }
  }
  if (!WriteOut()) return Report();
  const bool written = inner_->Write(buffer, count);
  MarkPeersWritten();
  return written;
}

bool BufferedFileStream::Close() {
  WriteOut();
  const bool clean = !failed_;
  mode_ = Mode::kIdle;
  start_ = end_ = 0;
  const bool closed = inner_->Close();
  return clean ? closed : Report();
}

// ---- Positions and lengths ---------------------------------------------------------

bool BufferedFileStream::IsEOF() {
  if (shared_) SyncWithPeers();
  if (Unread() > 0) return false;
  WriteOut();  // a failure is kept for the next operation
  // The read that the next value needs anyway answers: bytes mean not yet.
  // Only when none come is the stream below asked.
  if (Buffers() && FillBuffer().got > 0) return false;
  return inner_->IsEOF();
}

bool BufferedFileStream::SetPosition(int32_t position) {
  if (!Begin()) return false;
  if (!WriteOut()) return Report();
  // Within what was read ahead nothing needs the stream below.
  if (mode_ == Mode::kReading && position >= base_ && position - base_ <= end_) {
    start_ = position - base_;
    if (Unread() == 0) mode_ = Mode::kIdle;
    return true;
  }
  if (!inner_->SetPosition(position)) return false;
  mode_ = Mode::kIdle;
  start_ = end_ = 0;
  nextFill_ = kFirstFill;
  return true;
}

int32_t BufferedFileStream::GetLength() {
  if (shared_) SyncWithPeers();
  WriteOut();  // a failure is kept for the next operation
  return inner_->GetLength();
}

bool BufferedFileStream::SetLength(int32_t length) {
  if (!Begin()) return false;
  if (!WriteOut()) return Report();
  if (!DropReadAhead()) return false;
  nextFill_ = kFirstFill;
  const bool cut = inner_->SetLength(length);
  MarkPeersWritten();
  return cut;
}

int32_t BufferedFileStream::GetPosition() {
  if (shared_) SyncWithPeers();
  if (mode_ == Mode::kReading) return base_ + start_;
  if (mode_ == Mode::kWriting) return base_ + end_;
  return inner_->GetPosition();
}

// ---- Flushing and reopening --------------------------------------------------------

void BufferedFileStream::Flush() {
  WriteOut();
  inner_->Flush();
}

bool BufferedFileStream::Reopen(bool opened) {
  Rejoin();
  return opened;
}

bool BufferedFileStream::Create(const StringRecord* path) {
  Forget();
  return Reopen(inner_->Create(path));
}

bool BufferedFileStream::Open(const StringRecord* path, int32_t mode) {
  Forget();
  return Reopen(inner_->Open(path, mode));
}

bool BufferedFileStream::OpenTemporary(const StringRecord* path) {
  Forget();
  return Reopen(inner_->OpenTemporary(path));
}

void BufferedFileStream::CloseHandleOnly() {
  Forget();
  inner_->CloseHandleOnly();
}

// Writes out and leaves the file: what comes next is another file, or none.
void BufferedFileStream::Forget() {
  WriteOut();
  failed_ = writeThrough_ = false;
  mode_ = Mode::kIdle;
  start_ = end_ = 0;
  nextFill_ = kFirstFill;
}

// ---- The process's streams -----------------------------------------------------------

void SetStreamSystemSlots(const StreamSystemSlots& slots) { systemSlots = slots; }

FileStreamPtr NewBufferedStream(FileStreamPtr inner) {
  if (!inner || bufferSize <= 0) return inner;
  // The stream is taken only when the layer is made.
  auto* layered = new (std::nothrow) BufferedFileStream(std::move(inner), bufferSize);
  return layered ? FileStreamPtr(layered) : std::move(inner);
}

int32_t SetStreamBufferSize(int32_t bytes) {
  const int32_t previous = bufferSize;
  bufferSize = std::max(0, bytes);
  return previous;
}

void WriteOutAllStreams() {
  StreamList::All([](BufferedFileStream* stream) { stream->WriteOut(); });
}

void ForgetAllReadAhead() {
  StreamList::All([](BufferedFileStream* stream) { stream->ForgetReadAhead(); });
}

#ifdef _WINDOWS_
#error "BufferedStream is portable: it must not include <windows.h>."
#endif
