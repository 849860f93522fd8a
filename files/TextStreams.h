// The language's TextInputStream and TextOutputStream: reading a text file
// line by line, and writing one. Each instance owns one FileStream, installed
// by the code that opens or creates the file (NewTextInputStream,
// NewTextOutputStream); the classes never open a file themselves.
//
// Reading does not convert: a line's bytes are labelled with the encoding of
// the `encoding` argument, else of the Encoding property (UTF-8 at birth),
// and the core converts them where they are used. Lines end at CR LF, a lone
// CR or a lone LF; in UTF-16 text (0x100) these are the little-endian units
// 0D 00 and 0A 00. Writing puts text and delimiter into the file as stored.
//
// There are no error reports. A closed input stream reads empty strings,
// position 0 and EOF false; writes to a closed output stream do nothing. A
// refill that brings no byte although the stream is not at its end (a failed
// read) ends the text: EOF is then true until PositionB is set or a later
// refill brings bytes. Otherwise EOF asks the stream each time, so that a
// file another writer goes on extending is read on.
//
// Entry points given a nil object leave NilObjectException pending and return
// an empty result.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "files/ByteStream.h"

struct ObjectDefinition;
struct StringRecord;

constexpr int32_t kTextInputBufferSize = 1024;

struct TextInputStreamFields {
  RuntimeObject header;
  FileStream* stream;        // owned; nil once closed
  RuntimeObject* encoding;   // a TextEncoding, one reference held; may be nil
  int32_t bufferPosition;    // the next unread byte of the buffer
  int32_t bufferCount;       // valid bytes in the buffer
  uint8_t buffer[kTextInputBufferSize];
  bool refillCameUpEmpty;    // the last refill brought nothing short of the end
};
static_assert(!kLayoutIs32Bit || (offsetof(TextInputStreamFields, stream) == 24 &&
                                  offsetof(TextInputStreamFields, encoding) == 28 &&
                                  offsetof(TextInputStreamFields, bufferPosition) == 32 &&
                                  offsetof(TextInputStreamFields, bufferCount) == 36 &&
                                  offsetof(TextInputStreamFields, buffer) == 40),
              "TextInputStream fields follow the header in their fixed order");

struct TextOutputStreamFields {
  RuntimeObject header;
  FileStream* stream;        // owned; nil once closed
  StringRecord* delimiter;   // owned; nil or empty means CR LF
};
static_assert(!kLayoutIs32Bit || (offsetof(TextOutputStreamFields, stream) == 24 &&
                                  offsetof(TextOutputStreamFields, delimiter) == 28),
              "TextOutputStream fields follow the header in their fixed order");

ObjectDefinition* GetTextInputStreamClassDefinition();
ObjectDefinition* GetTextOutputStreamClassDefinition();

// New instances (the caller's reference) that own the stream and read or
// write at its current position.
RuntimeObject* NewTextInputStream(FileStreamPtr stream);
RuntimeObject* NewTextOutputStream(FileStreamPtr stream);

extern "C" {
// The next line without its end; nil when there is none or no stream. Taken
// as UTF-16 units when the line's encoding is UTF-16; an odd last byte of the
// file stays in the last line.
StringRecord* TextInputStreamReadLine(RuntimeObject* self, RuntimeObject* encoding);
// Everything from the next unread byte to the end.
StringRecord* TextInputStreamReadAll(RuntimeObject* self, RuntimeObject* encoding);
// False without a stream and while unread bytes remain.
bool TextInputStreamEOF(RuntimeObject* self, uint32_t parameter);
// PositionB: the offset of the next byte ReadLine would return.
int32_t TextInputStreamGetPosition(RuntimeObject* self, uint32_t parameter);
// A negative position is taken as 0; the buffer is refilled from there.
void TextInputStreamSetPosition(RuntimeObject* self, uint32_t parameter, int32_t position);
// Closes and destroys the stream.
void TextInputStreamClose(RuntimeObject* self);

// The line's bytes, then the Delimiter's, or CR LF when it is nil or empty.
void TextOutputStreamWriteLine(RuntimeObject* self, StringRecord* line);
void TextOutputStreamWrite(RuntimeObject* self, StringRecord* line);
void TextOutputStreamClose(RuntimeObject* self);
}
