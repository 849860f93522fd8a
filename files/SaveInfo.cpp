// Save-info data and its two path routines.
#include "files/SaveInfo.h"

#include <algorithm>
#include <vector>

#include "files/Win32PathText.h"

namespace {

constexpr uint8_t kSignature[] = {0x00, 0xF1, 0xD1, 0x73};
constexpr uint8_t kVersion = 1;
constexpr size_t kPrefixSize = 6;
constexpr size_t kRecordHeaderSize = 6;

enum SaveInfoTag : uint16_t {
  kTagEnd = 0,
  kTagAbsolutePath = 1,
  kTagRelativePath = 2,
  kTagVolumeRoot = 3,
  kTagTrashEntry = 4,
};

void AppendRecord(std::string* data, uint16_t tag, const std::string& bytes) {
  const uint32_t length = uint32_t(bytes.size());
  const char header[kRecordHeaderSize] = {char(tag & 0xFF),           char(tag >> 8),
                                          char(length >> 24),         char(length >> 16 & 0xFF),
                                          char(length >> 8 & 0xFF),   char(length & 0xFF)};
  data->append(header, kRecordHeaderSize);
  data->append(bytes);
}

uint32_t BigEndian32At(const uint8_t* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The "\"-separated fields, empty ones included ("C:\a\" has three).
std::vector<std::string> Fields(const std::string& path) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t end; (end = path.find('\\', start)) != std::string::npos; start = end + 1) {
    fields.push_back(path.substr(start, end - start));
  }
  fields.push_back(path.substr(start));
  return fields;
}

std::string DriveAndFolder(const std::string& path) {
  const PathParts parts = SplitPath(path);
  return parts.drive + parts.folder;
}

// The folder a place stands for, with its trailing backslash.
std::string FolderOfPlace(const SaveInfoPlace& place) {
  return place.isFolder ? place.absolutePath : DriveAndFolder(place.absolutePath);
}

}  // namespace

std::string EncodeSaveInfo(const SaveInfoRecords& records) {
  const uint8_t mode = records.mode > kSaveInfoAbsolutePath ? kSaveInfoAbsolutePath : records.mode;
  std::string data(reinterpret_cast<const char*>(kSignature), sizeof kSignature);
  data += char(kVersion);
  data += char(mode);
  if (mode != kSaveInfoAbsolutePath) AppendRecord(&data, kTagRelativePath, records.relativePath);
  if (mode != kSaveInfoRelativePath) AppendRecord(&data, kTagAbsolutePath, records.absolutePath);
  AppendRecord(&data, kTagVolumeRoot, std::string(1, char(records.volumeRoot)));
  AppendRecord(&data, kTagTrashEntry, std::string(1, char(records.trashEntry)));
  AppendRecord(&data, kTagEnd, "");
  return data;
}

bool DecodeSaveInfo(const uint8_t* data, size_t size, SaveInfoRecords* records) {
  *records = SaveInfoRecords();
  if (size < kPrefixSize || !std::equal(kSignature, kSignature + 4, data)) return false;
  records->mode = data[5];
  if (records->mode > kSaveInfoAbsolutePath) return false;
  for (size_t at = kPrefixSize; size - at >= kRecordHeaderSize;) {
    const uint16_t tag = uint16_t(data[at] | data[at + 1] << 8);
    const uint32_t length = BigEndian32At(data + at + 2);
    const uint8_t* body = data + at + kRecordHeaderSize;
    if (tag == kTagEnd || length > size - at - kRecordHeaderSize) break;
    const std::string text(reinterpret_cast<const char*>(body), length);
    switch (tag) {
      case kTagAbsolutePath:
        records->absolutePath = text;
        break;
      case kTagRelativePath:
        records->relativePath = text;
        break;
      case kTagVolumeRoot:
        records->volumeRoot = length > 0 && body[0] != 0;
        break;
      case kTagTrashEntry:
        records->trashEntry = length > 0 && body[0] != 0;
        break;
      default:
        ++records->unknownRecords;
    }
    at += kRecordHeaderSize + length;
  }
  switch (records->mode) {
    case kSaveInfoRelativePath:
      return !records->relativePath.empty();
    case kSaveInfoAbsolutePath:
      return !records->absolutePath.empty();
    default:
      return !records->relativePath.empty() || !records->absolutePath.empty();
  }
}

std::string RelativeSaveInfoPath(const SaveInfoPlace& base, const std::string& itemPath,
                                 bool itemIsFolder) {
  const PathParts own = SplitPath(itemPath);
  if (!SameNoCase(StripTrailingBackslash(SplitPath(base.absolutePath).drive),
                  StripTrailingBackslash(own.drive))) {
    return "";
  }
  const std::string baseFolder = FolderOfPlace(base);
  // A folder is reached as a folder path of its own, except the base folder
  // itself: that is reached from its parent by name, as a file is (its own
  // name alone would lead into it).
  bool appendName = !itemIsFolder;
  std::string ownFolder = itemIsFolder ? itemPath + "\\" : own.drive + own.folder;
  if (itemIsFolder && SameNoCase(ownFolder, baseFolder)) {
    ownFolder = own.drive + own.folder;
    appendName = true;
  }
  if (SameNoCase(ownFolder, baseFolder)) return own.name;

  const std::vector<std::string> baseFields = Fields(baseFolder);
  const std::vector<std::string> ownFields = Fields(ownFolder);
  size_t common = 0;
  while (common < baseFields.size() && common < ownFields.size() &&
         SameNoCase(baseFields[common], ownFields[common])) {
    ++common;
  }
  std::string relative;
  for (size_t up = common + 1; up < baseFields.size(); ++up) relative += "..\\";
  for (size_t i = common; i < ownFields.size() && !ownFields[i].empty(); ++i) {
    relative += ownFields[i] + "\\";
  }
  if (appendName) relative += own.name;
  return StripTrailingBackslash(relative);
}

std::string ResolveSaveInfoPath(const std::string& relative, const SaveInfoPlace& base) {
  const std::string baseFolder = FolderOfPlace(base);
  const std::vector<std::string> baseFields = Fields(baseFolder);
  // The field of the base that the next ".." leaves (from 0).
  size_t current = baseFields.size() - 1;
  std::string result = StripTrailingBackslash(baseFolder);
  for (const std::string& field : Fields(relative)) {
    if (field.empty()) break;
    if (field != "..") {
      result += "\\" + field;
      continue;
    }
    if (current == 0) return "";
    const std::string& left = baseFields[--current];
    if (left.empty() || result.size() < left.size() + 2) return "";
    result.resize(result.size() - left.size() - 1);
  }
  return result;
}
