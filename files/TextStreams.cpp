// TextInputStream and TextOutputStream: line reading over a 1024-byte buffer,
// writing, and the two class definitions.
#include "files/TextStreams.h"

#include <cstring>
#include <string>

#include "core/ObjectDefinition.h"
#include "core/TextEncoding.h"
#include "core/string.h"
#include "files/StreamObject.h"

namespace {

constexpr char kSource[] = "TextStreams";
constexpr uint32_t kCR = 13;
constexpr uint32_t kLF = 10;

TextInputStreamFields* InputSelf(RuntimeObject* self) {
  return StreamSelf<TextInputStreamFields>(self, GetTextInputStreamClassDefinition(), kSource);
}

TextOutputStreamFields* OutputSelf(RuntimeObject* self) {
  return StreamSelf<TextOutputStreamFields>(self, GetTextOutputStreamClassDefinition(), kSource);
}

int32_t Unread(const TextInputStreamFields* in) { return in->bufferCount - in->bufferPosition; }

const uint8_t* Next(const TextInputStreamFields* in) { return in->buffer + in->bufferPosition; }

// Moves the unread bytes (none, or half of a UTF-16 unit that the buffer's
// end split) to the front and reads as much as fits after them. False when
// the read brought no byte. The object remembers only a read that brought
// nothing short of the end: at the end, another writer may still add text.
bool Refill(TextInputStreamFields* in) {
  const int32_t kept = Unread(in);
  std::memmove(in->buffer, Next(in), size_t(kept));
  const int32_t room = kTextInputBufferSize - kept;
  int32_t got = 0;
  if (!in->stream->Read(in->buffer + kept, room, &got) || got < 0 || got > room) got = 0;
  in->bufferPosition = 0;
  in->bufferCount = kept + got;
  in->refillCameUpEmpty = got == 0 && !in->stream->IsEOF();
  return got > 0;
}

// The encoding a read labels its text with.
uint32_t LabelOf(const TextInputStreamFields* in, RuntimeObject* encoding) {
  return GetEncodingFromTEObject(encoding ? encoding : in->encoding);
}

// Lines of UTF-16 text end at 2-byte units, of any other encoding at bytes
// (UTF-8 and the double-byte encodings never use 0x0D or 0x0A inside a
// character).
int32_t UnitWidth(uint32_t encoding) { return encoding == kEncodingUTF16 ? 2 : 1; }

uint32_t UnitAt(const uint8_t* bytes, int32_t width) {
  return width == 1 ? bytes[0] : uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8;
}

// The offset of the first CR or LF unit among count bytes (a multiple of the
// width), or count when there is none.
int32_t FindLineEnd(const uint8_t* bytes, int32_t count, int32_t width) {
  for (int32_t offset = 0; offset < count; offset += width) {
    const uint32_t unit = UnitAt(bytes + offset, width);
    if (unit == kCR || unit == kLF) return offset;
  }
  return count;
}

// Steps over the line end at the buffer position: CR LF, a lone CR or a lone
// LF. A CR at the buffer's end looks at the next refill for its LF.
void SkipLineEnd(TextInputStreamFields* in, int32_t width) {
  const uint32_t end = UnitAt(Next(in), width);
  in->bufferPosition += width;
  if (end != kCR) return;
  if (Unread(in) < width) Refill(in);
  if (Unread(in) >= width && UnitAt(Next(in), width) == kLF) in->bufferPosition += width;
}

StringRecord* Labelled(const std::string& text, uint32_t encoding) {
  return text.empty() ? nullptr : NewString(text, encoding);
}

void InitialiseTextInputStream(RuntimeObject* object) {
  ObjectFields<TextInputStreamFields>(object)->encoding = GetTEObjectFromEncoding(kEncodingUTF8);
}

void DestroyTextInputStream(RuntimeObject* object) {
  auto* in = ObjectFields<TextInputStreamFields>(object);
  CloseOwnedStream(&in->stream);
  RuntimeUnlockObject(in->encoding);
  in->encoding = nullptr;
}

void DestroyTextOutputStream(RuntimeObject* object) {
  auto* out = ObjectFields<TextOutputStreamFields>(object);
  CloseOwnedStream(&out->stream);
  RuntimeUnlockString(out->delimiter);
  out->delimiter = nullptr;
}

ObjectDefinition* MakeTextInputStreamDefinition() {
  static ObjectDefinition definition;
  static const MemberType textEncoding = GetTextEncodingClassDefinition();
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly, "EOF", &kBooleanType, RUNTIME_ENTRY(TextInputStreamEOF), nullptr,
       nullptr, 0},
      {kPropertyPassesParameter, "Encoding", textEncoding, RUNTIME_ENTRY(objGetter),
       RUNTIME_ENTRY(objSetter), uint32_t(offsetof(TextInputStreamFields, encoding))},
      {0, "PositionB", &kIntegerType, RUNTIME_ENTRY(TextInputStreamGetPosition),
       RUNTIME_ENTRY(TextInputStreamSetPosition), 0},
  };
  static const ParameterRecord encoding[] = {{"encoding", textEncoding, kParameterOptional}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("ReadLine", &kStringType, encoding, 1,
                       RUNTIME_ENTRY(TextInputStreamReadLine)),
      MakeMethodRecord("ReadAll", &kStringType, encoding, 1, RUNTIME_ENTRY(TextInputStreamReadAll)),
      MakeMethodRecord("Close", nullptr, nullptr, 0, RUNTIME_ENTRY(TextInputStreamClose)),
  };
  return FillClassDefinition(&definition, "TextInputStream", sizeof(TextInputStreamFields),
                                   InitialiseTextInputStream, DestroyTextInputStream, properties,
                                   methods);
}

ObjectDefinition* MakeTextOutputStreamDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      {kPropertyPassesParameter, "Delimiter", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), uint32_t(offsetof(TextOutputStreamFields, delimiter))},
  };
  static const ParameterRecord line[] = {{"Line", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("WriteLine", nullptr, line, 1, RUNTIME_ENTRY(TextOutputStreamWriteLine)),
      MakeMethodRecord("Write", nullptr, line, 1, RUNTIME_ENTRY(TextOutputStreamWrite)),
      MakeMethodRecord("Close", nullptr, nullptr, 0, RUNTIME_ENTRY(TextOutputStreamClose)),
  };
  return FillClassDefinition(&definition, "TextOutputStream",
                                   sizeof(TextOutputStreamFields), nullptr,
                                   DestroyTextOutputStream, properties, methods);
}

}  // namespace

ObjectDefinition* GetTextInputStreamClassDefinition() {
  static ObjectDefinition* const definition = MakeTextInputStreamDefinition();
  return definition;
}

ObjectDefinition* GetTextOutputStreamClassDefinition() {
  static ObjectDefinition* const definition = MakeTextOutputStreamDefinition();
  return definition;
}

RuntimeObject* NewTextInputStream(FileStreamPtr stream) {
  return NewStreamObject<TextInputStreamFields>(GetTextInputStreamClassDefinition(),
                                                std::move(stream));
}

RuntimeObject* NewTextOutputStream(FileStreamPtr stream) {
  return NewStreamObject<TextOutputStreamFields>(GetTextOutputStreamClassDefinition(),
                                                 std::move(stream));
}

extern "C" {

// ---- TextInputStream -------------------------------------------------------------------

StringRecord* TextInputStreamReadLine(RuntimeObject* self, RuntimeObject* encoding) {
  TextInputStreamFields* in = InputSelf(self);
  if (!in || !in->stream) return nullptr;
  const uint32_t label = LabelOf(in, encoding);
  const int32_t width = UnitWidth(label);
  std::string line;
  for (;;) {
    const uint8_t* next = Next(in);
    const int32_t whole = Unread(in) / width * width;
    const int32_t end = FindLineEnd(next, whole, width);
    if (end < whole && line.empty()) {
      // The usual case: the whole line lies in the buffer.
      StringRecord* taken = end > 0 ? NewString(next, size_t(end), label) : nullptr;
      in->bufferPosition += end;
      SkipLineEnd(in, width);
      return taken;
    }
    line.append(reinterpret_cast<const char*>(next), size_t(end));
    in->bufferPosition += end;
    if (end < whole) {
      SkipLineEnd(in, width);
      break;
    }
    // No end in the buffer: a line may span any number of refills. At the
    // end of the text, an odd last byte of UTF-16 text stays in the line.
    if (in->stream->IsEOF() || !Refill(in)) {
      line.append(reinterpret_cast<const char*>(Next(in)), size_t(Unread(in)));
      in->bufferPosition = in->bufferCount;
      break;
    }
  }
  return Labelled(line, label);
}

StringRecord* TextInputStreamReadAll(RuntimeObject* self, RuntimeObject* encoding) {
  TextInputStreamFields* in = InputSelf(self);
  if (!in || !in->stream) return nullptr;
  std::string text;
  do {
    text.append(reinterpret_cast<const char*>(Next(in)), size_t(Unread(in)));
    in->bufferPosition = in->bufferCount;
  } while (Refill(in));
  return Labelled(text, LabelOf(in, encoding));
}

bool TextInputStreamEOF(RuntimeObject* self, uint32_t) {
  TextInputStreamFields* in = InputSelf(self);
  if (!in || !in->stream || Unread(in) > 0) return false;
  return in->refillCameUpEmpty || in->stream->IsEOF();
}

int32_t TextInputStreamGetPosition(RuntimeObject* self, uint32_t) {
  TextInputStreamFields* in = InputSelf(self);
  if (!in || !in->stream) return 0;
  const int32_t streamPosition = in->stream->GetPosition();
  if (streamPosition < 0) return -1;
  return streamPosition - in->bufferCount + in->bufferPosition;
}

void TextInputStreamSetPosition(RuntimeObject* self, uint32_t, int32_t position) {
  TextInputStreamFields* in = InputSelf(self);
  if (!in || !in->stream) return;
  in->stream->SetPosition(position < 0 ? 0 : position);
  in->bufferPosition = in->bufferCount = 0;
  Refill(in);
  in->refillCameUpEmpty = false;
}

void TextInputStreamClose(RuntimeObject* self) {
  TextInputStreamFields* in = InputSelf(self);
  if (!in) return;
  CloseOwnedStream(&in->stream);
  in->bufferPosition = in->bufferCount = 0;
}

// ---- TextOutputStream ------------------------------------------------------------------

void TextOutputStreamWriteLine(RuntimeObject* self, StringRecord* line) {
  TextOutputStreamFields* out = OutputSelf(self);
  if (!out || !out->stream) return;
  out->stream->Write(StringData(line), int32_t(StringLength(line)));
  if (StringLength(out->delimiter) != 0) {
    out->stream->Write(StringData(out->delimiter), int32_t(StringLength(out->delimiter)));
  } else {
    out->stream->Write("\r\n", 2);
  }
}

void TextOutputStreamWrite(RuntimeObject* self, StringRecord* line) {
  TextOutputStreamFields* out = OutputSelf(self);
  if (!out || !out->stream) return;
  out->stream->Write(StringData(line), int32_t(StringLength(line)));
}

void TextOutputStreamClose(RuntimeObject* self) {
  TextOutputStreamFields* out = OutputSelf(self);
  if (out) CloseOwnedStream(&out->stream);
}

}  // extern "C"

#ifdef _WINDOWS_
#error "TextStreams is portable: it must not include <windows.h>."
#endif
