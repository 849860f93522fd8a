// The style record of an edit field's text ("TextStyleData") and the depth
// check of RTF files: portable byte work, no platform calls.
//
// Style record: bytes, no header, no terminator; one entry per text position:
//
//   flags      1 byte   0x01 bold, 0x02 italic, 0x04 underline,
//                       0x08 a face name follows, 0x10 a colour follows
//   length     1 byte   (flag 0x08) bytes of the name
//   name       length   (flag 0x08) the face in the system's ANSI code page
//   colour     3 bytes  (flag 0x10) red, green, blue
//   size       1 byte   the text size (the control's height in twips / 15)
//
// A name is written only when it differs, ignoring ASCII case, from the
// previous entry's face ("MS Sans Serif" before the first entry); a colour
// only when it is not black. An entry is at most 37 bytes; a record is
// written to the size its entries take, never reserved by that bound.
//
// The reader trusts nothing in the record: a field that would pass its end
// ends the reading before that entry, and a name longer than the 31 bytes a
// face holds is cut to 31 while the reading moves past all of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The format of one text position.
struct StyleEntry {
  uint8_t styles = 0;  // 0x01 bold, 0x02 italic, 0x04 underline
  std::string face = "MS Sans Serif";
  uint8_t red = 0, green = 0, blue = 0;
  uint8_t size = 0;
};
bool operator==(const StyleEntry& a, const StyleEntry& b);
inline bool operator!=(const StyleEntry& a, const StyleEntry& b) { return !(a == b); }

constexpr uint8_t kStyleBold = 0x01;
constexpr uint8_t kStyleItalic = 0x02;
constexpr uint8_t kStyleUnderline = 0x04;
constexpr uint8_t kStyleHasFace = 0x08;
constexpr uint8_t kStyleHasColor = 0x10;
constexpr size_t kStyleEntryMaxBytes = 37;
constexpr size_t kStyleFaceMaxBytes = 31;
extern const char kStyleDefaultFace[];  // "MS Sans Serif"

class StyleRecordWriter {
 public:
  // Appends the entry (its face cut to 31 bytes).
  void Append(const StyleEntry& entry);
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::string previousFace_ = kStyleDefaultFace;
};

// Positions in a row that share one format.
struct StyleRun {
  StyleEntry entry;
  size_t positions = 0;
};

// The record of the runs, entry by entry: its size in bytes, and the bytes
// written into room of that size.
uint64_t StyleRecordSize(const std::vector<StyleRun>& runs);
void WriteStyleRecord(const std::vector<StyleRun>& runs, uint8_t* room);

class StyleRecordReader {
 public:
  // The bytes are borrowed for the reader's life.
  StyleRecordReader(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}
  // The next entry, the face carried from the entries before; false at the
  // end or at an entry that does not fit in the record.
  bool Next(StyleEntry* entry);

 private:
  const uint8_t* bytes_;
  size_t length_;
  size_t offset_ = 0;
  std::string face_ = kStyleDefaultFace;
};

// The longest control word a load accepts: its letters, sign and digits.
// Real ones are a few letters and a number of at most eleven characters;
// the control's reader fails on one of about a thousand.
constexpr size_t kMaxRtfControlWord = 255;

// Whether the control's RTF reader can take the bytes: groups nested at most
// maxDepth deep (the outer group counts) and no control word longer than
// kMaxRtfControlWord. Escaped braces do not count; unclosed groups count as
// open. The reader takes the payload of \binN as RTF like the rest, so the
// check reads it so too. Bytes that do not start with "{\rtf" pass.
bool RtfWithinReaderLimits(const uint8_t* bytes, size_t length, int32_t maxDepth);
