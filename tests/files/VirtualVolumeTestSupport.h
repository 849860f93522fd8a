// Helpers of the virtual-volume tests: an in-memory disk that outlives the
// container owning its stream, files written and read whole through the
// file system, the tree a volume holds, and items of a volume reached
// through the FolderItem class.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FilesTestSupport.h"
#include "files/VHFS.h"
#include "files/runFolderItem.h"
#include "testsupport/MemoryFileStream.h"

inline FileStreamPtr StreamOf(const std::string& bytes) {
  return std::make_unique<MemoryFileStream>(bytes);
}

// An in-memory disk whose bytes outlive the stream the container owns.
struct Disk {
  class Stream : public MemoryFileStream {
   public:
    Stream(const std::string& bytes, Disk* disk) : MemoryFileStream(bytes), disk_(disk) {}
    ~Stream() override {
      disk_->kept = Bytes();
      disk_->keptWrites = writeCalls;
      disk_->stream = nullptr;
    }

   private:
    Disk* disk_;
  };
  FileStreamPtr Make(const std::string& initial = "") {
    auto made = std::make_unique<Stream>(initial, this);
    stream = made.get();
    return made;
  }
  const std::string& Bytes() const { return stream ? stream->Bytes() : kept; }
  int32_t Writes() const { return stream ? stream->writeCalls : keptWrites; }

  std::string kept;
  int32_t keptWrites = 0;
  MemoryFileStream* stream = nullptr;  // while a container holds it
};

inline std::string Pattern(size_t size, uint32_t seed = 1) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 131 + seed * 7 + i / 251) & 0xFF);
  return bytes;
}

// Writes a whole file through a stream of the volume.
inline bool WriteFile(VHFS& volume, const VHFSItemRef& file, const std::string& data,
               int32_t at = 0) {
  std::unique_ptr<VHFSStream> stream = volume.OpenItemStream(file);
  return stream && stream->SetPosition(at) &&
         stream->Write(data.data(), int32_t(data.size())) && stream->Close();
}

inline std::string ReadFile(VHFS& volume, const VHFSItemRef& file) {
  std::unique_ptr<VHFSStream> stream = volume.OpenItemStream(file);
  if (!stream) return "<no stream>";
  std::string data(size_t(stream->GetLength()), '\0');
  int32_t got = 0;
  if (!stream->Read(&data[0], int32_t(data.size()), &got)) return "<read failed>";
  data.resize(size_t(got));
  return data;
}

// What a volume holds, read through the file system: every folder's path
// and every file's path and data.
struct TreeState {
  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  bool operator==(const TreeState& other) const {
    return files == other.files && folders == other.folders;
  }
  std::set<std::string> Paths() const {
    std::set<std::string> paths = folders;
    for (const auto& file : files) paths.insert(file.first);
    return paths;
  }
};

// Depth-limited: a damaged tree may nest without end.
inline void Walk(VHFS& volume, const VHFSItemRef& folder, const std::string& path,
                 TreeState* state, int depth = 0) {
  state->folders.insert(path);
  if (depth > 64) return;
  std::vector<VHFSItemRef> children;
  volume.ListFolder(folder, &children);
  for (const VHFSItemRef& child : children) {
    const std::string childPath = path + "/" + child.name;
    if (child.IsFolder()) {
      Walk(volume, child, childPath, state, depth + 1);
    } else {
      state->files[childPath] = ReadFile(volume, child);
    }
  }
}

inline TreeState StateOf(VHFS& volume) {
  TreeState state;
  Walk(volume, volume.GetRootItem(), "", &state);
  return state;
}

// ---- Through the FolderItem class ----

inline ObjectRef Adopt(RuntimeObject* object) { return ObjectRef::Adopt(object); }
inline StringRef S(const std::string& utf8) { return StringRef::Adopt(StringFromUTF8(utf8)); }

inline ObjectRef Child(RuntimeObject* folder, const std::string& name) {
  return Adopt(CallMethod<RuntimeObject*>(folder, "Child", S(name).get()));
}

inline std::string NameOf(RuntimeObject* item) {
  return Take(GetProperty<StringRecord*>(item, "Name")).bytes;
}

inline bool Exists(RuntimeObject* item) { return GetProperty<bool>(item, "Exists"); }

// A new file written through a BinaryStream, which is given back open (nil
// when the file could not be made).
inline ObjectRef WriteOpen(RuntimeObject* item, const std::string& bytes) {
  ObjectRef stream = Adopt(CallMethod<RuntimeObject*>(item, "CreateBinaryFile", S("").get()));
  if (stream) CallMethod(stream.get(), "Write", S(bytes).get());
  return stream;
}

// The same, closed; false when no stream was made.
inline bool WriteNew(RuntimeObject* item, const std::string& bytes) {
  ObjectRef stream = WriteOpen(item, bytes);
  if (stream) CallMethod(stream.get(), "Close");
  return stream.get() != nullptr;
}

inline std::string ReadAll(RuntimeObject* item) {
  ObjectRef stream = Adopt(CallMethod<RuntimeObject*>(item, "OpenAsBinaryFile", uint8_t(0)));
  if (!stream) return "<no stream>";
  const int32_t length = GetProperty<int32_t>(stream.get(), "Length");
  return Take(CallMethod<StringRecord*>(stream.get(), "Read", length,
                                        static_cast<RuntimeObject*>(nullptr)))
      .bytes;
}
