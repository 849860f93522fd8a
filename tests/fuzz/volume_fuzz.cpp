// Bytes as a virtual-volume container: opened, every folder listed and every
// file read through its stream; then a folder and a file are added, the
// volume closed and opened again. Damage must give plain failures; in a
// container read without damage, what was written and closed without a
// failure must read back whole.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/VHFS.h"
#include "tests/fuzz/FuzzSupport.h"
#include "testsupport/MemoryFileStream.h"

namespace {

// A stream in memory that leaves its bytes behind when the volume lets go.
class KeptStream : public MemoryFileStream {
 public:
  KeptStream(std::string bytes, std::string* kept) : MemoryFileStream(std::move(bytes)), kept_(kept) {}
  ~KeptStream() override { *kept_ = Bytes(); }

 private:
  std::string* kept_;
};

const char* const kFolder = "fuzz folder";
const char* const kFile = "fuzz file";

// Lists and reads what it reaches, within a budget of items.
void Walk(VHFS& volume, const VHFSItemRef& folder, int depth, int* budget) {
  std::vector<VHFSItemRef> children;
  if (depth > 12 || !volume.ListFolder(folder, &children)) return;
  for (const VHFSItemRef& child : children) {
    if (--*budget < 0) return;
    volume.GetItemInfo(child);
    volume.GetParentItem(child);
    if (child.IsFolder()) {
      Walk(volume, child, depth + 1, budget);
    } else if (std::unique_ptr<VHFSStream> stream = volume.OpenItemStream(child)) {
      char buffer[4096];
      int32_t got = 0;
      for (int i = 0; i < 16 && stream->Read(buffer, sizeof buffer, &got) && got > 0; ++i) {
      }
    }
  }
}

void WalkAll(VHFS& volume) {
  int budget = 500;
  Walk(volume, volume.GetRootItem(), 0, &budget);
}

// Adds a folder holding a file of known bytes; true when every step said so.
bool AddFile(VHFS& volume, const std::string& data) {
  VHFSItemRef folder = volume.CreateFolder(volume.GetRootItem(), kFolder);
  if (!folder.IsFolder()) return false;
  VHFSItemRef file = volume.CreateItem(folder, kFile, 0x54455854);
  if (!file.IsFile()) return false;
  std::unique_ptr<VHFSStream> stream = volume.OpenItemStream(file);
  return stream && stream->Write(data.data(), int32_t(data.size())) && stream->Close();
}

std::string ReadBack(VHFS& volume) {
  VHFSItemRef folder = volume.FindChild(volume.GetRootItem(), kFolder);
  VHFSItemRef file = folder.IsFolder() ? volume.FindChild(folder, kFile) : VHFSItemRef{};
  std::unique_ptr<VHFSStream> stream = file.IsFile() ? volume.OpenItemStream(file) : nullptr;
  if (!stream) return "<missing>";
  std::string data(size_t(stream->GetLength()), '\0');
  int32_t got = 0;
  if (!data.empty() && (!stream->Read(&data[0], int32_t(data.size()), &got) || size_t(got) != data.size()))
    return "<short>";
  return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string kept;
  std::unique_ptr<VHFS> volume =
      VHFS::OpenVolume(FileStreamPtr(new KeptStream(std::string(data, data + size), &kept)));
  if (volume) {
    WalkAll(*volume);
    std::string written(3000, '\0');
    for (size_t i = 0; i < written.size(); ++i) written[i] = char(i * 13 + size);
    // The promise holds for a container read without damage: in a damaged
    // one a scan may take bytes that look like a block for one.
    const bool sound = volume->Core().Damage().kind == VFSDamageKind::kNone;
    const bool added = AddFile(*volume, written) && volume->Close() && sound;
    volume.reset();
    std::unique_ptr<VHFS> again =
        VHFS::OpenVolume(FileStreamPtr(new KeptStream(kept, &kept)));
    if (again) {
      WalkAll(*again);
      if (added && ReadBack(*again) != written) fuzz::Fail("a file written and closed was lost");
      again->Close();
    } else if (added) {
      fuzz::Fail("a volume closed without a failure does not open again");
    }
  }
  fuzz::FailOnRecordedBoxes();
  return 0;
}
