// The style record codec and the RTF depth check.
#include "controls/editfield/StyleRecord.h"

#include <cstring>

const char kStyleDefaultFace[] = "MS Sans Serif";

namespace {

bool SameFaceIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool IsLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

bool operator==(const StyleEntry& a, const StyleEntry& b) {
  return a.styles == b.styles && a.face == b.face && a.red == b.red && a.green == b.green &&
         a.blue == b.blue && a.size == b.size;
}

namespace {

// The entry's bytes after an entry in previousFace (which becomes the
// entry's face) into out, room for kStyleEntryMaxBytes; their count.
size_t EncodeEntry(const StyleEntry& entry, std::string* previousFace, uint8_t* out) {
  uint8_t flags = entry.styles & (kStyleBold | kStyleItalic | kStyleUnderline);
  const size_t faceLength = entry.face.size() < kStyleFaceMaxBytes ? entry.face.size()
                                                                     : kStyleFaceMaxBytes;
  const std::string face = entry.face.substr(0, faceLength);
  const bool newFace = !SameFaceIgnoringCase(face, *previousFace);
  const bool colored = entry.red || entry.green || entry.blue;
  if (newFace) flags |= kStyleHasFace;
  if (colored) flags |= kStyleHasColor;
  size_t n = 0;
  out[n++] = flags;
  if (newFace) {
    out[n++] = uint8_t(faceLength);
    std::memcpy(out + n, face.data(), faceLength);
    n += faceLength;
    *previousFace = face;
  }
  if (colored) {
    out[n++] = entry.red;
    out[n++] = entry.green;
    out[n++] = entry.blue;
  }
  out[n++] = entry.size;
  return n;
}

// Hands each run's bytes to take: its first entry's, then the bytes every
// later position repeats and how often.
template <class Take>
void EncodeRuns(const std::vector<StyleRun>& runs, Take take) {
  std::string previousFace = kStyleDefaultFace;
  uint8_t first[kStyleEntryMaxBytes];
  uint8_t rest[kStyleEntryMaxBytes];
  for (const StyleRun& run : runs) {
    if (run.positions == 0) continue;
    const size_t firstLength = EncodeEntry(run.entry, &previousFace, first);
    const size_t restLength = EncodeEntry(run.entry, &previousFace, rest);
    take(first, firstLength, rest, restLength, run.positions - 1);
  }
}

}  // namespace

void StyleRecordWriter::Append(const StyleEntry& entry) {
  uint8_t bytes[kStyleEntryMaxBytes];
  const size_t length = EncodeEntry(entry, &previousFace_, bytes);
  bytes_.append(reinterpret_cast<const char*>(bytes), length);
}

uint64_t StyleRecordSize(const std::vector<StyleRun>& runs) {
  uint64_t size = 0;
  EncodeRuns(runs, [&](const uint8_t*, size_t firstLength, const uint8_t*, size_t restLength,
                       size_t repeats) { size += firstLength + uint64_t(restLength) * repeats; });
  return size;
}

void WriteStyleRecord(const std::vector<StyleRun>& runs, uint8_t* room) {
  EncodeRuns(runs, [&](const uint8_t* first, size_t firstLength, const uint8_t* rest,
                       size_t restLength, size_t repeats) {
    std::memcpy(room, first, firstLength);
    room += firstLength;
    for (size_t i = 0; i < repeats; ++i, room += restLength) std::memcpy(room, rest, restLength);
  });
}

bool StyleRecordReader::Next(StyleEntry* entry) {
  size_t at = offset_;
  auto take = [&](size_t count) {
    if (count > length_ - at) return false;
    at += count;
    return true;
  };
  if (!take(1)) return false;
  const uint8_t flags = bytes_[at - 1];
  std::string face = face_;
  if (flags & kStyleHasFace) {
    if (!take(1)) return false;
    const size_t nameLength = bytes_[at - 1];
    const size_t nameStart = at;
    if (!take(nameLength)) return false;
    face.assign(reinterpret_cast<const char*>(bytes_ + nameStart),
                nameLength < kStyleFaceMaxBytes ? nameLength : kStyleFaceMaxBytes);
  }
  uint8_t rgb[3] = {0, 0, 0};
  if (flags & kStyleHasColor) {
    if (!take(3)) return false;
    std::memcpy(rgb, bytes_ + at - 3, 3);
  }
  if (!take(1)) return false;
  entry->styles = flags & (kStyleBold | kStyleItalic | kStyleUnderline);
  entry->face = face;
  entry->red = rgb[0];
  entry->green = rgb[1];
  entry->blue = rgb[2];
  entry->size = bytes_[at - 1];
  face_ = std::move(face);
  offset_ = at;
  return true;
}

bool RtfWithinReaderLimits(const uint8_t* bytes, size_t length, int32_t maxDepth) {
  if (length < 5 || std::memcmp(bytes, "{\\rtf", 5) != 0) return true;
  int32_t depth = 0;
  size_t i = 0;
  while (i < length) {
    const uint8_t c = bytes[i++];
    if (c == '{') {
      if (++depth > maxDepth) return false;
    } else if (c == '}') {
      if (depth > 0) --depth;
    } else if (c == '\\' && i < length) {
      if (!IsLetter(bytes[i])) {
        ++i;  // an escaped symbol: \{ \} \\ and the like
        continue;
      }
      const size_t word = i;
      while (i < length && IsLetter(bytes[i])) ++i;
      if (i < length && bytes[i] == '-') ++i;
      while (i < length && IsDigit(bytes[i])) ++i;
      if (i - word > kMaxRtfControlWord) return false;
    }
  }
  return true;
}
