// The style record codec and the RTF depth check.
#include "controls/StyleRecord.h"

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

void StyleRecordWriter::Append(const StyleEntry& entry) {
  uint8_t flags = entry.styles & (kStyleBold | kStyleItalic | kStyleUnderline);
  const std::string face = entry.face.substr(0, kStyleFaceMaxBytes);
  const bool newFace = !SameFaceIgnoringCase(face, previousFace_);
  const bool colored = entry.red || entry.green || entry.blue;
  if (newFace) flags |= kStyleHasFace;
  if (colored) flags |= kStyleHasColor;
  bytes_ += char(flags);
  if (newFace) {
    bytes_ += char(face.size());
    bytes_ += face;
    previousFace_ = face;
  }
  if (colored) {
    bytes_ += char(entry.red);
    bytes_ += char(entry.green);
    bytes_ += char(entry.blue);
  }
  bytes_ += char(entry.size);
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

bool RtfNestingWithin(const uint8_t* bytes, size_t length, int32_t maxDepth) {
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
      const bool binary = i - word == 3 && std::memcmp(bytes + word, "bin", 3) == 0;
      const bool negative = i < length && bytes[i] == '-';
      if (negative) ++i;
      uint64_t parameter = 0;
      while (i < length && IsDigit(bytes[i])) {
        if (parameter < length) parameter = parameter * 10 + (bytes[i] - '0');
        ++i;
      }
      if (i < length && bytes[i] == ' ') ++i;
      if (binary && !negative) i += size_t(parameter < length - i ? parameter : length - i);
    }
  }
  return true;
}
