// BinaryStream: typed reads and writes over the owned FileStream, and the
// class definition.
#include "files/BinaryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "core/ObjectDefinition.h"
#include "core/TextEncoding.h"
#include "core/string.h"
#include "files/StreamObject.h"

namespace {

constexpr char kSource[] = "BinaryStream";
constexpr uint32_t kPStringMaxLength = 255;
// Reads up to this are taken as asked; larger ones step through the file.
constexpr int32_t kBlock = 64 * 1024;

BinaryStreamFields* Self(RuntimeObject* self) {
  return StreamSelf<BinaryStreamFields>(self, GetBinaryStreamClassDefinition(), kSource);
}

// The stream of an open instance, or nil.
FileStream* StreamOf(RuntimeObject* self) {
  BinaryStreamFields* fields = Self(self);
  return fields ? fields->stream : nullptr;
}

// Reads one value with one Read, reversed unless the instance is
// little-endian; false (value untouched) when it was not read whole.
template <class T>
bool ReadValue(RuntimeObject* self, T* value) {
  BinaryStreamFields* fields = Self(self);
  if (!fields || !fields->stream) return false;
  uint8_t bytes[sizeof(T)];
  int32_t got = 0;
  if (!fields->stream->Read(bytes, int32_t(sizeof(T)), &got) || got != int32_t(sizeof(T)))
    return false;
  if (!fields->littleEndian) std::reverse(bytes, bytes + sizeof(T));
  std::memcpy(value, bytes, sizeof(T));
  return true;
}

template <class T>
void WriteValue(RuntimeObject* self, T value) {
  BinaryStreamFields* fields = Self(self);
  if (!fields || !fields->stream) return;
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  if (!fields->littleEndian) std::reverse(bytes, bytes + sizeof(T));
  fields->stream->Write(bytes, int32_t(sizeof(T)));
}

// What a Read brought, 0 when it failed (never more than asked).
int32_t ReadInto(FileStream* stream, void* into, int32_t count) {
  int32_t got = 0;
  if (!stream->Read(into, count, &got) || got < 0) return 0;
  return std::min(got, count);
}

// Up to count bytes, read in steps until a read brings fewer than asked:
// for a stream whose length or position does not fit in 31 bits, where what
// remains is unknown and a huge count must not become a huge allocation.
// Nil for none.
StringRecord* ReadToTheEnd(FileStream* stream, int32_t count, uint32_t label) {
  std::string bytes;
  while (int32_t(bytes.size()) < count) {
    const int32_t asked = std::min(kBlock, count - int32_t(bytes.size()));
    const size_t start = bytes.size();
    bytes.resize(start + size_t(asked));
    const int32_t got = ReadInto(stream, &bytes[start], asked);
    bytes.resize(start + size_t(got));
    if (got < asked) break;
  }
  return bytes.empty() ? nullptr : NewString(bytes, label);
}

// A double as a single, rounded to nearest; what rounds past the single's
// range becomes an infinity (where the plain conversion is undefined).
float NarrowToSingle(double value) {
  constexpr double kOverflow = 0x1.ffffffp+127;  // halfway past the largest single
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  if (value >= kOverflow) return kInfinity;
  if (value <= -kOverflow) return -kInfinity;
  return float(value);
}

ObjectDefinition* MakeBinaryStreamDefinition() {
  static ObjectDefinition definition;
  static const MemberType textEncoding = GetTextEncodingClassDefinition();
  static const PropertyRecord properties[] = {
      {kPropertyPassesParameter, "LittleEndian", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(boolSetter), uint32_t(offsetof(BinaryStreamFields, littleEndian))},
      {kPropertyReadOnly, "EOF", &kBooleanType, RUNTIME_ENTRY(BinaryStreamEOF), nullptr, nullptr,
       0},
      {0, "Length", &kIntegerType, RUNTIME_ENTRY(BinaryStreamGetLength),
       RUNTIME_ENTRY(BinaryStreamSetLength), 0},
      {0, "Position", &kIntegerType, RUNTIME_ENTRY(BinaryStreamGetPosition),
       RUNTIME_ENTRY(BinaryStreamSetPosition), 0},
  };
  static const ParameterRecord encoding[] = {{"encoding", textEncoding, kParameterOptional}};
  static const ParameterRecord countAndEncoding[] = {
      {"byteCount", &kIntegerType, 0}, {"encoding", textEncoding, kParameterOptional}};
  static const ParameterRecord integer[] = {{"value", &kIntegerType, 0}};
  static const ParameterRecord real[] = {{"value", &kDoubleType, 0}};
  static const ParameterRecord boolean[] = {{"value", &kBooleanType, 0}};
  static const ParameterRecord text[] = {{"value", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("ReadByte", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(BinaryStreamReadByte)),
      MakeMethodRecord("ReadShort", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(BinaryStreamReadShort)),
      MakeMethodRecord("ReadLong", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(BinaryStreamReadLong)),
      MakeMethodRecord("ReadPString", &kStringType, encoding, 1,
                       RUNTIME_ENTRY(BinaryStreamReadPString)),
      MakeMethodRecord("ReadSingle", &kDoubleType, nullptr, 0,
                       RUNTIME_ENTRY(BinaryStreamReadFloat)),
      MakeMethodRecord("ReadDouble", &kDoubleType, nullptr, 0,
                       RUNTIME_ENTRY(BinaryStreamReadDouble)),
      MakeMethodRecord("ReadBoolean", &kBooleanType, nullptr, 0,
                       RUNTIME_ENTRY(BinaryStreamReadBoolean)),
      MakeMethodRecord("Read", &kStringType, countAndEncoding, 2, RUNTIME_ENTRY(BinaryStreamRead)),
      MakeMethodRecord("WriteByte", nullptr, integer, 1, RUNTIME_ENTRY(BinaryStreamWriteByte)),
      MakeMethodRecord("WriteShort", nullptr, integer, 1, RUNTIME_ENTRY(BinaryStreamWriteShort)),
      MakeMethodRecord("WriteLong", nullptr, integer, 1, RUNTIME_ENTRY(BinaryStreamWriteLong)),
      MakeMethodRecord("WritePString", nullptr, text, 1, RUNTIME_ENTRY(BinaryStreamWritePString)),
      MakeMethodRecord("WriteSingle", nullptr, real, 1, RUNTIME_ENTRY(BinaryStreamWriteFloat)),
      MakeMethodRecord("WriteDouble", nullptr, real, 1, RUNTIME_ENTRY(BinaryStreamWriteDouble)),
      MakeMethodRecord("WriteBoolean", nullptr, boolean, 1,
                       RUNTIME_ENTRY(BinaryStreamWriteBoolean)),
      MakeMethodRecord("Write", nullptr, text, 1, RUNTIME_ENTRY(BinaryStreamWrite)),
      MakeMethodRecord("Close", nullptr, nullptr, 0, RUNTIME_ENTRY(BinaryStreamClose)),
  };
  return FillClassDefinition(&definition, "BinaryStream", sizeof(BinaryStreamFields),
                                   nullptr, BinaryStreamClose, properties, methods);
}

}  // namespace

ObjectDefinition* GetBinaryStreamClassDefinition() {
  static ObjectDefinition* const definition = MakeBinaryStreamDefinition();
  return definition;
}

RuntimeObject* NewBinaryStream(FileStreamPtr stream) {
  return NewStreamObject<BinaryStreamFields>(GetBinaryStreamClassDefinition(), std::move(stream));
}

extern "C" {

// ---- Properties ------------------------------------------------------------------------

bool BinaryStreamEOF(RuntimeObject* self, uint32_t) {
  FileStream* stream = StreamOf(self);
  return !stream || stream->IsEOF();
}

int32_t BinaryStreamGetLength(RuntimeObject* self, uint32_t) {
  FileStream* stream = StreamOf(self);
  return stream ? stream->GetLength() : 0;
}

void BinaryStreamSetLength(RuntimeObject* self, uint32_t, int32_t length) {
  if (FileStream* stream = StreamOf(self)) stream->SetLength(length);
}

int32_t BinaryStreamGetPosition(RuntimeObject* self, uint32_t) {
  FileStream* stream = StreamOf(self);
  return stream ? stream->GetPosition() : 0;
}

void BinaryStreamSetPosition(RuntimeObject* self, uint32_t, int32_t position) {
  if (FileStream* stream = StreamOf(self)) stream->SetPosition(position);
}

// ---- Reads -----------------------------------------------------------------------------

int32_t BinaryStreamReadByte(RuntimeObject* self) {
  uint8_t value = 0;
  return ReadValue(self, &value) ? value : 0;
}

int32_t BinaryStreamReadShort(RuntimeObject* self) {
  int16_t value = 0;
  return ReadValue(self, &value) ? value : 0;
}

int32_t BinaryStreamReadLong(RuntimeObject* self) {
  int32_t value = 0;
  return ReadValue(self, &value) ? value : 0;
}

double BinaryStreamReadFloat(RuntimeObject* self) {
  float value = 0;
  return ReadValue(self, &value) ? double(value) : 0.0;
}

double BinaryStreamReadDouble(RuntimeObject* self) {
  double value = 0;
  return ReadValue(self, &value) ? value : 0.0;
}

bool BinaryStreamReadBoolean(RuntimeObject* self) {
  uint8_t value = 0;
  return ReadValue(self, &value) && value != 0;
}

StringRecord* BinaryStreamReadPString(RuntimeObject* self, RuntimeObject* encoding) {
  FileStream* stream = StreamOf(self);
  if (!stream) return nullptr;
  uint8_t length = 0;
  if (ReadInto(stream, &length, 1) != 1) return nullptr;
  uint8_t bytes[kPStringMaxLength];
  const int32_t got = ReadInto(stream, bytes, length);
  return NewString(bytes, size_t(got), GetEncodingFromTEObject(encoding));
}

StringRecord* BinaryStreamRead(RuntimeObject* self, int32_t byteCount, RuntimeObject* encoding) {
  FileStream* stream = StreamOf(self);
  if (!stream || byteCount <= 0) return nullptr;
  const uint32_t label = GetEncodingFromTEObject(encoding);
  int64_t count = byteCount;
  // A count up to a block is read as it is, without asking the file what
  // remains; a larger one never becomes more than remains: a script's huge
  // count must not become a huge allocation, and the difference is taken so
  // that it cannot overflow.
  if (byteCount > kBlock) {
    const int32_t length = stream->GetLength();
    const int32_t position = stream->GetPosition();
    if (length < 0 || position < 0) return ReadToTheEnd(stream, byteCount, label);
    count = std::min<int64_t>(byteCount, int64_t(length) - position);
    if (count <= 0) return nullptr;
  }
  StringRecord* text = NewString(nullptr, size_t(count), label);
  const int32_t got = ReadInto(stream, StringCStrWritable(&text), int32_t(count));
  if (got == count) return text;
  StringRecord* part = got > 0 ? StringLeftBytes(text, got) : nullptr;
  RuntimeUnlockString(text);
  return part;
}

// ---- Writes ----------------------------------------------------------------------------

void BinaryStreamWriteByte(RuntimeObject* self, int32_t value) { WriteValue(self, uint8_t(value)); }
void BinaryStreamWriteShort(RuntimeObject* self, int32_t value) {
  WriteValue(self, uint16_t(value));
}
void BinaryStreamWriteLong(RuntimeObject* self, int32_t value) { WriteValue(self, value); }
void BinaryStreamWriteFloat(RuntimeObject* self, double value) {
  WriteValue(self, NarrowToSingle(value));
}
void BinaryStreamWriteDouble(RuntimeObject* self, double value) { WriteValue(self, value); }
void BinaryStreamWriteBoolean(RuntimeObject* self, bool value) {
  WriteValue(self, uint8_t(value ? 1 : 0));
}

void BinaryStreamWritePString(RuntimeObject* self, StringRecord* value) {
  FileStream* stream = StreamOf(self);
  if (!stream) return;
  const uint8_t length = uint8_t(std::min(StringLength(value), kPStringMaxLength));
  stream->Write(&length, 1);
  stream->Write(StringData(value), length);
}

void BinaryStreamWrite(RuntimeObject* self, StringRecord* value) {
  if (FileStream* stream = StreamOf(self))
    stream->Write(StringData(value), int32_t(StringLength(value)));
}

void BinaryStreamClose(RuntimeObject* self) {
  if (BinaryStreamFields* fields = Self(self)) CloseOwnedStream(&fields->stream);
}

}  // extern "C"

#ifdef _WINDOWS_
#error "BinaryStream is portable: it must not include <windows.h>."
#endif
