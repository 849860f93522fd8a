// The language's BinaryStream: typed values in a file, big-endian unless
// LittleEndian is set. Each instance owns one FileStream, installed by the
// code that opens or creates the file (NewBinaryStream).
//
// Byte order: 16-bit, 32-bit, single and double values are reversed between
// the file and this little-endian host while LittleEndian is false; the
// stream's own swap flags are not used. Strings are read and written as
// stored, unconverted.
//
// Every member of a closed stream is harmless: reads give 0, 0.0, false or
// nil, EOF is true, Length and Position 0, writes and setters do nothing. A
// value read short (at the end) gives 0, 0.0 or false. Entry points given a
// nil object leave NilObjectException pending and do the same.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "files/ByteStream.h"

struct ObjectDefinition;
struct StringRecord;

struct BinaryStreamFields {
  RuntimeObject header;
  FileStream* stream;    // owned; nil once closed
  uint8_t littleEndian;  // 0 when the object is made
};
static_assert(!kLayoutIs32Bit || (offsetof(BinaryStreamFields, stream) == 24 &&
                                  offsetof(BinaryStreamFields, littleEndian) == 28),
              "BinaryStream fields follow the header in their fixed order");

ObjectDefinition* GetBinaryStreamClassDefinition();

// A new instance (the caller's reference) that owns the stream and works at
// its current position.
RuntimeObject* NewBinaryStream(FileStreamPtr stream);

extern "C" {
bool BinaryStreamEOF(RuntimeObject* self, uint32_t parameter);
int32_t BinaryStreamGetLength(RuntimeObject* self, uint32_t parameter);
void BinaryStreamSetLength(RuntimeObject* self, uint32_t parameter, int32_t length);
int32_t BinaryStreamGetPosition(RuntimeObject* self, uint32_t parameter);
void BinaryStreamSetPosition(RuntimeObject* self, uint32_t parameter, int32_t position);

int32_t BinaryStreamReadByte(RuntimeObject* self);   // 0 to 255
int32_t BinaryStreamReadShort(RuntimeObject* self);  // sign-extended
int32_t BinaryStreamReadLong(RuntimeObject* self);
double BinaryStreamReadFloat(RuntimeObject* self);   // ReadSingle, widened
double BinaryStreamReadDouble(RuntimeObject* self);
bool BinaryStreamReadBoolean(RuntimeObject* self);   // any byte but 0
// A length byte, then that many bytes (fewer when the file ends first);
// nil when the length byte cannot be read. Labelled with the encoding's
// value (0xFFFF for nil).
StringRecord* BinaryStreamReadPString(RuntimeObject* self, RuntimeObject* encoding);
// byteCount bytes, no more than remain before the end (the real end also
// where the length reads -1); nil for none. Labelled as ReadPString.
StringRecord* BinaryStreamRead(RuntimeObject* self, int32_t byteCount, RuntimeObject* encoding);

void BinaryStreamWriteByte(RuntimeObject* self, int32_t value);   // low 8 bits
void BinaryStreamWriteShort(RuntimeObject* self, int32_t value);  // low 16 bits
void BinaryStreamWriteLong(RuntimeObject* self, int32_t value);
void BinaryStreamWriteFloat(RuntimeObject* self, double value);   // WriteSingle, narrowed
void BinaryStreamWriteDouble(RuntimeObject* self, double value);
void BinaryStreamWriteBoolean(RuntimeObject* self, bool value);   // 1 or 0
// A length byte n = min(length, 255), then the first n bytes; nil writes the
// single byte 0.
void BinaryStreamWritePString(RuntimeObject* self, StringRecord* value);
void BinaryStreamWrite(RuntimeObject* self, StringRecord* value);
// Closes and destroys the stream; also the class's destructor.
void BinaryStreamClose(RuntimeObject* self);
}
