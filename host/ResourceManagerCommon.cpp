// Reading the application image, finding its resources and handing them to the
// subsystems that make objects of them.
#include "host/ResourceManagerCommon.h"

#include <cstring>
#include <list>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/TextEncoding.h"
#include "core/utility.h"
#include "host/Win32Handles.h"

namespace {

constexpr size_t kHeaderSize = 24;
constexpr size_t kOptionsHeaderSize = 4;
constexpr size_t kDirectoryEntrySize = 16;
constexpr uint16_t kImageVersion = 1;
constexpr size_t kWaveHeaderSize = 44;

uint16_t ReadU16(const uint8_t* bytes) { return uint16_t(bytes[0] | (bytes[1] << 8)); }

uint32_t ReadU32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
         (uint32_t(bytes[3]) << 24);
}

// Whether [offset, offset + length) lies inside size bytes; computed in 64 bits
// so that no sum wraps.
bool Within(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size && offset + length <= size;
}

struct Directory {
  std::wstring caption;
  std::vector<ResourceEntry> entries;
};

// Every image ever loaded or resource ever added, kept for the whole run so
// that data handed out never dangles.
std::list<std::vector<uint8_t>>& Blocks() {
  static std::list<std::vector<uint8_t>> blocks;
  return blocks;
}

Directory current;
MovieFactory movieFactory = nullptr;
DatabaseFactory databaseFactory = nullptr;
std::map<int16_t, std::wstring> movieFiles;
std::vector<std::wstring> temporaryFiles;

bool Refuse(std::string* error, const std::string& reason) {
  if (error) *error = "The application image is damaged: " + reason + ".";
  return false;
}

bool ReadOptions(const uint8_t* image, size_t size, Directory* out, std::string* error) {
  uint32_t offset = ReadU32(image + 8);
  uint32_t length = ReadU32(image + 12);
  if (!Within(offset, length, size)) return Refuse(error, "the options pass the end");
  if (length == 0) return true;
  if (length < kOptionsHeaderSize) return Refuse(error, "the options are too short");
  uint16_t captionLength = ReadU16(image + offset + 2);
  if (captionLength > length - kOptionsHeaderSize) {
    return Refuse(error, "the caption passes the end of the options");
  }
  const uint8_t* caption = image + offset + kOptionsHeaderSize;
  std::u16string text = encoding::UTF8ToUTF16(caption, captionLength);
  out->caption.assign(text.begin(), text.end());
  return true;
}

bool ReadDirectory(const uint8_t* image, size_t size, Directory* out, std::string* error) {
  uint32_t count = ReadU32(image + 16);
  uint32_t offset = ReadU32(image + 20);
  if (!Within(offset, uint64_t(count) * kDirectoryEntrySize, size)) {
    return Refuse(error, "the resource directory passes the end");
  }
  std::set<std::pair<uint32_t, int16_t>> seen;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = image + offset + size_t(i) * kDirectoryEntrySize;
    ResourceEntry entry{GetBigEndian32(record), int16_t(ReadU16(record + 4)), nullptr,
                        ReadU32(record + 12), ReadU32(record + 8)};
    if (!Within(entry.offset, entry.length, size)) {
      return Refuse(error, "resource " + std::to_string(i) + " passes the end");
    }
    if (!seen.insert({entry.type, entry.id}).second) {
      return Refuse(error, "resource " + std::to_string(i) + " repeats a type and id");
    }
    entry.data = image + entry.offset;
    out->entries.push_back(entry);
  }
  return true;
}

bool ParseImage(const uint8_t* image, size_t size, Directory* out, std::string* error) {
  if (size < kHeaderSize) return Refuse(error, "it is shorter than its header");
  if (std::memcmp(image, "KVIM", 4) != 0) return Refuse(error, "its magic is not KVIM");
  uint16_t version = ReadU16(image + 4);
  if (version != kImageVersion) {
    return Refuse(error, "version " + std::to_string(version) + " is not supported");
  }
  return ReadOptions(image, size, out, error) && ReadDirectory(image, size, out, error);
}

std::wstring TemporaryFolder() {
  wchar_t folder[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

// A new file in the temporary folder holding the bytes; empty when it could
// not be written (nothing is left behind then).
std::wstring WriteTemporaryFile(const uint8_t* data, uint32_t length) {
  std::wstring folder = TemporaryFolder();
  wchar_t path[MAX_PATH];
  if (folder.empty() || !GetTempFileNameW(folder.c_str(), L"kvt", 0, path)) return {};
  UniqueFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr));
  DWORD written = 0;
  bool ok = file.valid() && (length == 0 || WriteFile(file.get(), data, length, &written, nullptr)) &&
            written == length;
  ok = file.Close() && ok;
  if (!ok) {
    DeleteFileW(path);
    return {};
  }
  temporaryFiles.emplace_back(path);
  return path;
}

}  // namespace

namespace ResourceManager {

bool LoadImage(const void* bytes, size_t length, std::string* error) {
  current = Directory();
  movieFiles.clear();
  if (!bytes && length > 0) return Refuse(error, "its bytes are missing");
  auto source = static_cast<const uint8_t*>(bytes);
  std::vector<uint8_t>& copy = Blocks().emplace_back(source, source + length);
  Directory parsed;
  if (!ParseImage(copy.data(), copy.size(), &parsed, error)) {
    Blocks().pop_back();
    return false;
  }
  current = std::move(parsed);
  return true;
}

bool LoadFromModule(HMODULE module, std::string* error) {
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), L"PICKLE");
  if (!resource) {
    current = Directory();
    movieFiles.clear();
    return true;
  }
  HGLOBAL loaded = LoadResource(module, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) {
    current = Directory();
    movieFiles.clear();
    return Refuse(error, "it cannot be read");
  }
  return LoadImage(bytes, SizeofResource(module, resource), error);
}

bool AddResource(uint32_t type, int16_t id, const void* bytes, uint32_t length) {
  if ((!bytes && length > 0) || Find(type, id)) return false;
  auto source = static_cast<const uint8_t*>(bytes);
  std::vector<uint8_t>& copy = Blocks().emplace_back(source, source + length);
  current.entries.push_back({type, id, copy.data(), length, 0});
  return true;
}

std::optional<ResourceEntry> Find(uint32_t type, int16_t id) {
  for (const ResourceEntry& entry : current.entries) {
    if (entry.type == type && entry.id == id) return entry;
  }
  return std::nullopt;
}

size_t Count() { return current.entries.size(); }

const std::wstring& Caption() { return current.caption; }

RuntimeObject* GetMovie(int16_t id) {
  std::optional<ResourceEntry> movie = Find(FourCharCode("moov"), id);
  if (!movie || !movieFactory) return nullptr;
  auto file = movieFiles.find(id);
  if (file == movieFiles.end()) {
    std::wstring path = WriteTemporaryFile(movie->data, movie->length);
    if (path.empty()) return nullptr;
    file = movieFiles.emplace(id, std::move(path)).first;
  }
  return movieFactory(file->second.c_str(), id);
}

RuntimeObject* GetDatabase(int16_t id) {
  std::optional<ResourceEntry> database = Find(FourCharCode("dbse"), id);
  if (!database || !databaseFactory) return nullptr;
  return databaseFactory(database->data, database->length);
}

std::optional<SoundResourceData> GetSoundData(int16_t id) {
  std::optional<ResourceEntry> sound = Find(FourCharCode("snd "), id);
  if (!sound) return std::nullopt;
  bool waveHeader = sound->length >= kWaveHeaderSize && std::memcmp(sound->data, "RIFF", 4) == 0 &&
                    std::memcmp(sound->data + 8, "WAVE", 4) == 0;
  return SoundResourceData{sound->data, sound->length, waveHeader, false};
}

bool ReadAppDataRecordFromResources(const void*, void**, uint32_t*) { return false; }

MovieFactory SetMovieFactory(MovieFactory factory) {
  return std::exchange(movieFactory, factory);
}

DatabaseFactory SetDatabaseFactory(DatabaseFactory factory) {
  return std::exchange(databaseFactory, factory);
}

void DeleteTemporaryFiles() {
  for (const std::wstring& path : temporaryFiles) DeleteFileW(path.c_str());
  temporaryFiles.clear();
  movieFiles.clear();
}

}  // namespace ResourceManager
