// What a virtual volume costs against plain files of the same sizes, in the
// same run:
//
//   vfs_bench [megabytes]     (default 256; 1 MB = 1,048,576 bytes)
//
// - a large file written and read in 64 KiB blocks through its stream,
//   against WriteFile and ReadFile (and the floor one extra memcpy sets);
// - 10,000 files of 1 KiB in 100 folders through the folder-item
//   implementation (create and write; open and read; Count, Item(i).Name and
//   Length), against CreateFileW, WriteFile, ReadFile and FindNextFileW;
// - ReadLong on a file in the volume against one on disk;
// - reopening the volume with its block map against a rebuild.
//
// Works in a folder of its own under the temporary folder, deleted at the
// end whichever way. Each row ends "<ratio>x <peer> goal >= <g>" (the ratio
// is the peer's time over ours); nothing is asserted.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "files/FileStreams.h"
#include "files/FolderItemImpVirtual.h"
#include "files/runFolderItem.h"
#include "testsupport/ScratchFolder.h"

namespace {

constexpr int32_t kBlock = 64 * 1024;
constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;
constexpr int32_t kSmallFile = 1024;
constexpr int32_t kLongBytes = 1 << 20;

double Timed(const std::function<void()>& work) {
  const double start = Now();
  work();
  return Now() - start;
}

void Row(const char* name, double ours, double peer, const char* peerName, double goal,
         const char* unit = "s") {
  std::printf("%-44s %10.4f %s %8.2fx %s goal >= %g\n", name, ours, unit, peer / ours, peerName,
              goal);
  std::fflush(stdout);
}

StringRef Text(const std::string& utf8) { return StringRef::Adopt(StringFromUTF8(utf8)); }
StringRef PathText(const std::wstring& path) {
  return StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
}

// A FolderItem method that gives an object, called through its record.
RuntimeObject* CallItemMethod(RuntimeObject* item, const char* name) {
  for (auto* method = GetFolderItemClassDefinition()->methods; method; method = method->next) {
    if (std::strcmp(method->record->name, name) == 0) {
      return reinterpret_cast<RuntimeObject* (*)(RuntimeObject*)>(method->record->function)(item);
    }
  }
  return nullptr;
}

// A volume made (or opened) in the file, and its root's implementation.
struct Volume {
  ObjectRef object;
  ObjectRef root;
  FolderItemImp* Root() const { return FolderItemImpOf(root.get()); }
};

Volume VolumeIn(const std::wstring& path, const char* method) {
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(PathText(path).get()));
  Volume volume;
  volume.object = ObjectRef::Adopt(CallItemMethod(item.get(), method));
  if (volume.object) volume.root = ObjectRef::Adopt(VirtVolRootGetter(volume.object.get(), 0));
  return volume;
}

HANDLE OpenRaw(const std::wstring& path, DWORD access, DWORD creation) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, creation,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

void LargeFile(const ScratchFolder& scratch, int32_t megabytes, Volume& volume) {
  const int32_t blocks = megabytes * int32_t(kMegabyte / kBlock);
  std::vector<char> block(kBlock, 'v'), copy(kBlock);
  DWORD done = 0;
  const std::wstring plain = scratch.File(L"plain.bin");
  const double rawWrite = Timed([&] {
    HANDLE file = OpenRaw(plain, GENERIC_WRITE, CREATE_ALWAYS);
    for (int32_t i = 0; i < blocks; ++i) WriteFile(file, block.data(), kBlock, &done, nullptr);
    CloseHandle(file);
  });
  const double rawRead = Timed([&] {
    HANDLE file = OpenRaw(plain, GENERIC_READ, OPEN_EXISTING);
    for (int32_t i = 0; i < blocks; ++i) ReadFile(file, block.data(), kBlock, &done, nullptr);
    CloseHandle(file);
  });
  const double floor = Timed([&] {
    HANDLE file = OpenRaw(plain, GENERIC_READ, OPEN_EXISTING);
    for (int32_t i = 0; i < blocks; ++i) {
      ReadFile(file, copy.data(), kBlock, &done, nullptr);
      std::memcpy(block.data(), copy.data(), kBlock);
    }
    CloseHandle(file);
  });
  FolderItemImpPtr big(volume.Root()->GetChildNamed(Text("big").get(), 0));
  const double ourWrite = Timed([&] {
    FileStreamPtr stream(big->CreateStream(nullptr));
    for (int32_t i = 0; i < blocks && stream; ++i) stream->Write(block.data(), kBlock);
  });
  const double ourRead = Timed([&] {
    FileStreamPtr stream(big->OpenStream(true, false));
    int32_t got = 0;
    for (int32_t i = 0; i < blocks && stream; ++i) stream->Read(block.data(), kBlock, &got);
  });
  const double megabytesDone = double(blocks) * kBlock / kMegabyte;
  std::printf("%d MB file: WriteFile %.1f MB/s, ReadFile %.1f MB/s, ReadFile + memcpy %.1f MB/s "
              "(%.2fx ReadFile: the floor of one extra copy)\n",
              megabytes, megabytesDone / rawWrite, megabytesDone / rawRead,
              megabytesDone / floor, rawRead / floor);
  Row("large file, 64 KiB writes through its stream", ourWrite, rawWrite, "WriteFile", 0.5);
  Row("large file, 64 KiB reads through its stream", ourRead, rawRead, "ReadFile", 0.8);
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void SmallFiles(const ScratchFolder& scratch, Volume& volume) {
  const std::wstring plain = scratch.File(L"small");
  CreateDirectoryW(plain.c_str(), nullptr);
  std::vector<char> data(kSmallFile, 's');
  DWORD done = 0;
  auto folderName = [](int f) { return "folder" + std::to_string(f); };
  auto fileName = [](int i) { return "file" + std::to_string(i) + ".dat"; };
  const double rawCreate = Timed([&] {
    for (int f = 0; f < kFolders; ++f) {
      const std::wstring folder = plain + L"\\" + Wide(folderName(f));
      CreateDirectoryW(folder.c_str(), nullptr);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        HANDLE file = OpenRaw(folder + L"\\" + Wide(fileName(i)), GENERIC_WRITE, CREATE_NEW);
        WriteFile(file, data.data(), kSmallFile, &done, nullptr);
        CloseHandle(file);
      }
    }
  });
  const double rawRead = Timed([&] {
    for (int f = 0; f < kFolders; ++f) {
      const std::wstring folder = plain + L"\\" + Wide(folderName(f));
      for (int i = 0; i < kFilesPerFolder; ++i) {
        HANDLE file = OpenRaw(folder + L"\\" + Wide(fileName(i)), GENERIC_READ, OPEN_EXISTING);
        ReadFile(file, data.data(), kSmallFile, &done, nullptr);
        CloseHandle(file);
      }
    }
  });
  size_t rawNames = 0;
  const double rawList = Timed([&] {
    for (int f = 0; f < kFolders; ++f) {
      WIN32_FIND_DATAW found;
      const std::wstring pattern = plain + L"\\" + Wide(folderName(f)) + L"\\*";
      HANDLE search = FindFirstFileW(pattern.c_str(), &found);
      do {
        rawNames += wcslen(found.cFileName) + found.nFileSizeLow;
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
  });

  FolderItemImp* root = volume.Root();
  const double ourCreate = Timed([&] {
    for (int f = 0; f < kFolders; ++f) {
      FolderItemImpPtr folder(root->GetChildNamed(Text(folderName(f)).get(), 0));
      folder->CreateAsFolder();
      for (int i = 0; i < kFilesPerFolder; ++i) {
        FolderItemImpPtr file(folder->GetChildNamed(Text(fileName(i)).get(), 0));
        FileStreamPtr stream(file->CreateStream(nullptr));
        if (stream) stream->Write(data.data(), kSmallFile);
      }
    }
  });
  const double ourRead = Timed([&] {
    for (int f = 0; f < kFolders; ++f) {
      FolderItemImpPtr folder(root->GetChildNamed(Text(folderName(f)).get(), 0));
      for (int i = 0; i < kFilesPerFolder; ++i) {
        FolderItemImpPtr file(folder->GetChildNamed(Text(fileName(i)).get(), 0));
        FileStreamPtr stream(file->OpenStream(true, false));
        int32_t got = 0;
        if (stream) stream->Read(data.data(), kSmallFile, &got);
      }
    }
  });
  size_t ourNames = 0;
  const double ourList = Timed([&] {
    for (int f = 0; f < kFolders; ++f) {
      FolderItemImpPtr folder(root->GetChildNamed(Text(folderName(f)).get(), 0));
      const int32_t count = folder->GetCount();
      for (int32_t i = 0; i < count; ++i) {
        FolderItemImpPtr file(folder->GetItemAt(i, 0));
        StringRef name;
        file->GetName(name.out());
        ourNames += StringLength(name.get()) + size_t(file->GetLength());
      }
    }
  });
  Row("10,000 files of 1 KiB: create and write", ourCreate, rawCreate, "CreateFileW+WriteFile", 1.0);
  Row("10,000 files of 1 KiB: open and read", ourRead, rawRead, "CreateFileW+ReadFile", 1.0);
  Row("10,000 files: Count, Item(i).Name, Length", ourList, rawList, "FindNextFileW", 0.5);
  std::printf("(listed: %zu name and length units in the volume, %zu on disk with . and ..)\n",
              ourNames, rawNames);
}

void Longs(const ScratchFolder& scratch, Volume& volume) {
  std::vector<char> data(kLongBytes, 'l');
  const std::wstring plain = scratch.File(L"longs.bin");
  DWORD done = 0;
  HANDLE file = OpenRaw(plain, GENERIC_WRITE, CREATE_ALWAYS);
  WriteFile(file, data.data(), kLongBytes, &done, nullptr);
  CloseHandle(file);
  FolderItemImpPtr longs(volume.Root()->GetChildNamed(Text("longs").get(), 0));
  {
    FileStreamPtr stream(longs->CreateStream(nullptr));
    if (stream) stream->Write(data.data(), kLongBytes);
  }
  int32_t value = 0;
  const double onDisk = Timed([&] {
    auto stream = NewFileStream();
    stream->Open(PathText(plain).get(), kFileStreamReadOnly);
    for (int32_t i = 0; i < kLongBytes / 4; ++i) ByteStreamReadLong(*stream, &value);
  });
  const double ours = Timed([&] {
    FileStreamPtr stream(longs->OpenStream(true, false));
    for (int32_t i = 0; i < kLongBytes / 4 && stream; ++i) ByteStreamReadLong(*stream, &value);
  });
  Row("ReadLong, 262,144 values", ours, onDisk, "ReadLong on a disk file", 10);
}

void Reopen(const std::wstring& container) {
  Volume mapped;
  const double withMap = Timed([&] { mapped = VolumeIn(container, "OpenAsVirtualVolume"); });
  mapped = Volume();
  // The stored map's length at 40 set to 0: the next open rebuilds.
  HANDLE file = OpenRaw(container, GENERIC_WRITE, OPEN_EXISTING);
  const char zero[4] = {};
  DWORD done = 0;
  SetFilePointer(file, 40, nullptr, FILE_BEGIN);
  WriteFile(file, zero, 4, &done, nullptr);
  CloseHandle(file);
  Volume rebuilt;
  const double rebuild = Timed([&] { rebuilt = VolumeIn(container, "OpenAsVirtualVolume"); });
  Row("reopening the volume with its block map", withMap, rebuild, "a rebuild", 1.0);
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 256;
  RegisterFolderItemClass();
  RegisterVirtualVolumeClass();
  ScratchFolder scratch(L"vfs_bench_");
  const std::wstring container = scratch.File(L"volume.vol");
  {
    Volume volume = VolumeIn(container, "CreateVirtualVolume");
    if (!volume.root) {
      std::fprintf(stderr, "vfs_bench: no volume could be made\n");
      return 1;
    }
    LargeFile(scratch, megabytes, volume);
    SmallFiles(scratch, volume);
    Longs(scratch, volume);
  }
  Reopen(container);
  return 0;
}
