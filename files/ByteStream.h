// The abstract streams every byte store of the run-time is reached through,
// their byte-order flags, and the typed helpers and compact integer form that
// work on any of them.
//
// This unit is portable: it includes no system header, so that it also builds
// natively. The file stream over the system's files is in FileStreams.h.
//
// Virtual operations keep their slot order (the destructor, Read ...
// ClearSwapBytes, then Create ... Sync): other implementations fill the same
// table. Nothing virtual may be added; helpers are free functions.
//
// Counts and positions are signed 32-bit. Implementations answer a negative
// count to Read or Write with false and transfer nothing, and a count of 0
// with true and 0 bytes.
//
// Streams are allocated with the run-time's allocator (class operator new);
// `new (std::nothrow)` gives null when memory runs out. Destroy them with
// delete, through the virtual destructor.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

struct StringRecord;

class ByteStream {
 public:
  ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  // Concrete streams close themselves first.
  virtual ~ByteStream();
  // Reads up to count bytes at the position and advances it; stores the
  // number read when bytesRead is given (0 when nothing was read). False
  // only when the transfer failed: reading at the end gives true and 0 bytes.
  virtual bool Read(void* buffer, int32_t count, int32_t* bytesRead) = 0;
  // Writes count bytes at the position, extending the store; true only when
  // every byte was written.
  virtual bool Write(const void* buffer, int32_t count) = 0;
  // Releases the store; the stream may be destroyed afterwards. A second
  // Close does nothing and gives true.
  virtual bool Close() = 0;
  // True when the position is at or past the end.
  virtual bool IsEOF() = 0;
  // Moves to an absolute byte position; false (position unchanged) when the
  // store refuses it.
  virtual bool SetPosition(int32_t position) = 0;
  virtual int32_t GetLength() = 0;
  // Truncates or extends the store; the position stays where it was.
  virtual bool SetLength(int32_t length) = 0;
  virtual int32_t GetPosition() = 0;
  // Pushes buffered data to the store (nothing here).
  virtual void Flush();
  virtual void SetSwapBytes();
  virtual void ClearSwapBytes();

  // Set: 16- and 32-bit values are stored big-endian (reversed from the
  // little-endian host). Doubles are reversed only when both this and
  // swapDoubles are set.
  bool SwapsBytes() const { return swapBytes_; }
  // Set and cleared directly by the stream's user.
  bool swapDoubles = false;

  static void* operator new(size_t size);
  static void* operator new(size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* block) noexcept;

 private:
  bool swapBytes_ = false;
};

// A ByteStream over a file-like store, with the open operations. The bodies
// here serve implementations that lack an operation: transfers, Close and
// moves give false, GetLength and GetPosition -1, and IsEOF compares
// GetPosition with GetLength through the table (so a closed or bare stream,
// -1 against -1, is at its end). Destruction does not close: the concrete
// class's destructor does.
class FileStream : public ByteStream {
 public:
  ~FileStream() override;
  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override;
  bool Write(const void* buffer, int32_t count) override;
  bool Close() override;
  bool IsEOF() override;
  bool SetPosition(int32_t position) override;
  int32_t GetLength() override;
  bool SetLength(int32_t length) override;
  int32_t GetPosition() override;

  // Creates the file (an existing one is emptied), open for reading and
  // writing.
  virtual bool Create(const StringRecord* path);
  // Opens an existing file: mode 1 reads only, any other mode reads and
  // writes.
  virtual bool Open(const StringRecord* path, int32_t mode);
  // Opens a data file that is deleted when it is closed; an empty path makes
  // a new, uniquely named file in the temporary folder.
  virtual bool OpenTemporary(const StringRecord* path);
  // Closes the system handle and leaves the rest of the stream's state.
  virtual void CloseHandleOnly();
  virtual void NoOp();
  // The same as Flush.
  virtual void Sync();
};

using FileStreamPtr = std::unique_ptr<FileStream>;

// Open modes of FileStream::Open.
constexpr int32_t kFileStreamReadOnly = 1;
constexpr int32_t kFileStreamReadWrite = 3;

// ---- Typed helpers -----------------------------------------------------------
// Each goes through the stream's own Read or Write, once per value. Writers
// give Write's result. Readers give true only when the whole value was read,
// and store it only then (the variable keeps its value otherwise); a short
// read still advances the position past the bytes it got.
bool ByteStreamWriteShort(ByteStream& stream, int16_t value);
bool ByteStreamWriteLong(ByteStream& stream, int32_t value);
bool ByteStreamWriteDouble(ByteStream& stream, double value);
// The string's bytes, unconverted, then CR LF, in one Write.
bool ByteStreamWriteLine(ByteStream& stream, const StringRecord* line);
bool ByteStreamReadShort(ByteStream& stream, int16_t* value);
bool ByteStreamReadLong(ByteStream& stream, int32_t* value);
bool ByteStreamReadDouble(ByteStream& stream, double* value);

// ---- Compact integers ----------------------------------------------------------
// 1 to 5 bytes, whatever the swap flags. The first byte holds the magnitude's
// low 6 bits and the sign (0x40); each further byte 7 more bits (at 6, 13, 20
// and 27); 0x80 on a byte means another follows. -2147483648 is written as
// the magnitude 0x80000000 without a sign.
constexpr int32_t kCompactIntMaxBytes = 5;
// Encodes into out (room for kCompactIntMaxBytes); gives the byte count.
int32_t EncodeCompactInt(int32_t value, uint8_t* out);
// Written in one Write.
bool ByteStreamWriteCompactInt(ByteStream& stream, int32_t value);
// Read a byte at a time. False when a Read fails or brings no byte, and when
// the bytes are no compact integer: a fifth byte with 0x80 set or above 0x1F
// (bits past bit 31). The value is stored only on success.
bool ByteStreamReadCompactInt(ByteStream& stream, int32_t* value);
// The same from bytes in memory: the number of bytes the integer took, or 0
// when they end first or are no compact integer (value then unchanged).
int32_t DecodeCompactInt(const uint8_t* bytes, size_t count, int32_t* value);
