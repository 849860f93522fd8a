// The buffer layer of the language's streams: read-ahead and write-behind
// over any FileStream, so that typed values, lines and small reads cost a
// copy rather than a system call. BinaryStream, TextInputStream and
// TextOutputStream put every stream they are given under it.
//
// This unit is portable (no system header): the in-memory stream of the
// tests goes through the same code as the system's files. What it needs of
// the system (the thread's error code, which file a stream is on) comes
// through StreamSystemSlots, which the Win32 file stream fills.
//
// What a program observes through one stream is what the stream below
// gives: values, positions, lengths, EOF and errors. The buffer holds either
// bytes read ahead or bytes not yet written, never both:
// - Reads fill the buffer (64 KiB; after a move or a write the fills start
//   at 4 KiB and double) and are served from it; a read of at least the buffer's size goes
//   straight to the stream. A fill that brings fewer bytes than asked ends
//   the read that made it (a short read stays short); a read of the stream
//   below that fails keeps the bytes it still brought (the read gives
//   them), and the next one meets the failure.
// - Writes are gathered and written as one block when the buffer fills, and
//   before any read, move, length or EOF question, SetLength, Close, Flush,
//   the stream's destruction, the end of each main-loop turn and the
//   run-time's exit steps (WriteOutAllStreams; InstallStreamWriteOutHooks).
// - While the buffer holds bytes, Position and EOF are answered from it;
//   with an empty buffer EOF reads ahead (bytes mean not at the end; only
//   when none come is the stream below asked) and every other question goes
//   to the stream below, so a file another program extends is seen growing. Past 2^31 - 1 bytes the layer
//   steps aside and every call goes straight through.
// - What was read ahead lasts until the end of the main-loop turn that read
//   it (ForgetAllReadAhead): a loop inside one turn reads from the buffer, a
//   read in a later turn (a Timer polling a file) gets what the file holds
//   then, also after another program rewrote it in place.
// - A stream open for reading only gathers nothing: a write goes straight to
//   the stream below, which refuses it at once with its error code, the
//   position unchanged.
//
// A deferred write that fails: the bytes that reached the file stay (the
// length and position are then those of the stream below), the rest is
// dropped, and the failure is reported by the next Read, Write,
// SetPosition, SetLength or Close on the stream: that call does nothing
// else, gives false, and leaves the error code of the failed write as the
// thread's error. The destructor cannot report one. From then on writes go
// straight to the stream below until one succeeds, so that on a full volume
// each later write fails at once and Position stays where the file ends.
//
// Streams of this process on one file see each other's writes: before a
// stream reads, moves or asks about the file, the others on that file write
// out what they hold, and a read-ahead buffer that another stream's write may
// have overtaken is dropped. Streams whose file cannot be named (in memory,
// inside a virtual volume) count as all on one file. Opening any file
// through the Win32 stream first writes out every buffer. Other processes see the bytes at the points
// above.
//
// Threads: the run-time starts none; streams and their list are used by the
// main thread.
#pragma once
#include <cstdint>
#include <memory>

#include "files/ByteStream.h"

constexpr int32_t kStreamBufferSize = 64 * 1024;

class BufferedFileStream final : public FileStream {
 public:
  // Owns the stream below. A capacity of 0 passes every call straight
  // through (the reference behaviour). Takes the stream only when
  // constructed.
  BufferedFileStream(FileStreamPtr&& inner, int32_t capacity);
  // Writes out, closes the stream below and leaves the list of streams.
  ~BufferedFileStream() override;

  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override;
  bool Write(const void* buffer, int32_t count) override;
  bool Close() override;
  bool IsEOF() override;
  bool SetPosition(int32_t position) override;
  int32_t GetLength() override;
  bool SetLength(int32_t length) override;
  int32_t GetPosition() override;
  // Writes out, then flushes the stream below.
  void Flush() override;
  bool Create(const StringRecord* path) override;
  bool Open(const StringRecord* path, int32_t mode) override;
  bool OpenTemporary(const StringRecord* path) override;
  void CloseHandleOnly() override;

  FileStream* Inner() const { return inner_.get(); }
  // Writes the gathered bytes; false when that failed (the failure is then
  // also kept for the next operation).
  bool WriteOut();
  // Drops what was read ahead: the stream below is put back at this
  // stream's position, and the next read asks it. A stream below that
  // cannot move back keeps the bytes for the next reads.
  void ForgetReadAhead();

 private:
  friend class StreamList;
  enum class Mode : uint8_t { kIdle, kReading, kWriting };

  // What one fill of the buffer brought; stepAside: the position is past
  // 31 bits (or unknown) and the read goes straight through.
  struct Fill {
    int32_t asked;
    int32_t got;
    bool read;
    bool stepAside;
  };

  bool Begin();
  bool Report();
  void SyncWithPeers();
  void MarkPeersWritten();
  void Rejoin();
  bool Reopen(bool opened);
  void Forget();
  bool DropReadAhead();
  Fill FillBuffer();
  bool Buffers();
  int32_t Unread() const { return mode_ == Mode::kReading ? end_ - start_ : 0; }
  bool Holds() const { return mode_ == Mode::kWriting ? end_ > 0 : Unread() > 0; }

  FileStreamPtr inner_;
  std::unique_ptr<uint8_t[]> buffer_;
  int32_t capacity_;
  Mode mode_ = Mode::kIdle;
  int32_t start_ = 0;  // next unread byte while reading
  int32_t end_ = 0;    // bytes read ahead, or gathered for writing
  int32_t base_ = 0;   // the file position of the buffer's first byte
  int32_t nextFill_ = 0;
  bool readsOnly_ = false;  // the stream below refuses writes
  bool failed_ = false;
  bool writeThrough_ = false;  // a write-out failed: no gathering until a write succeeds
  uint32_t failedError_ = 0;
  // The list of streams, and the file this stream is on.
  BufferedFileStream* prev_ = nullptr;
  BufferedFileStream* next_ = nullptr;
  uint64_t fileKey_[2] = {0, 0};
  bool shared_ = false;      // another stream of the list is on the file
  bool peerWrote_ = false;   // one of those wrote since this one read ahead
};

// What the layer asks of the system; empty slots mean: no error code to
// keep, and no stream's file can be named.
struct StreamSystemSlots {
  uint32_t (*lastError)() = nullptr;
  void (*setLastError)(uint32_t error) = nullptr;
  // Names the file under the stream in two numbers equal for every stream
  // on that file; false when there is none to name.
  bool (*fileIdentity)(FileStream& stream, uint64_t identity[2]) = nullptr;
  // True when the stream is open for reading only; an empty slot: any
  // stream may take writes.
  bool (*readsOnly)(FileStream& stream) = nullptr;
};
void SetStreamSystemSlots(const StreamSystemSlots& slots);

// The stream under a buffer of the process-wide size (kStreamBufferSize
// unless set); the stream itself when memory for the layer runs out.
FileStreamPtr NewBufferedStream(FileStreamPtr inner);
// Sets the size new buffers get (0: none); gives the previous size.
int32_t SetStreamBufferSize(int32_t bytes);

// Writes out the gathered bytes of every stream; failures are kept for each
// stream's next operation.
void WriteOutAllStreams();
// Drops what every stream read ahead (the stream below is put back at the
// stream's position): the next read asks the file. The main loop calls it
// at the end of each turn.
void ForgetAllReadAhead();
