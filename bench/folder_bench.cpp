// What walking a folder through the folder-item interface costs, against a
// raw FindFirstFileW/FindNextFileW walk of the same folder.
//
//   folder_bench
//
// For folders of 1,000 and 5,000 empty files plus 10 shortcuts, made in a
// folder of the bench's own under the temporary folder and deleted at the
// end, it prints the time per item of Count + item i + Name, the items taken
// as they are (TrueItem) and with shortcuts resolved (Item), each with its
// ratio to the raw walk (raw time / our time), and the 5,000-file time per
// item against the 1,000-file one. Each figure is the best of five runs.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "bench/BenchClock.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "files/FolderItemImpWin32.h"
#include "files/Win32FileCalls.h"

namespace {

constexpr int kRuns = 5;
constexpr int kLinks = 10;

double Best(const std::function<void()>& work) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const double start = Now();
    work();
    best = std::min(best, Now() - start);
  }
  return best;
}

void MakeLink(const std::wstring& link, const std::wstring& target) {
  IShellLinkW* shellLink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shellLink)))) {
    return;
  }
  shellLink->SetPath(target.c_str());
  IPersistFile* file = nullptr;
  if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    file->Save(link.c_str(), TRUE);
    file->Release();
  }
  shellLink->Release();
}

// A folder of empty files and shortcuts, deleted with them.
class BenchFolder {
 public:
  BenchFolder(const std::wstring& path, int files) : path_(path) {
    CreateDirectoryW(path_.c_str(), nullptr);
    for (int i = 0; i < files; ++i) {
      CloseHandle(CreateFileW(File(i).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    for (int i = 0; i < kLinks; ++i) MakeLink(Link(i), File(i));
  }
  ~BenchFolder() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring File(int i) const { return path_ + L"\\file" + std::to_wstring(i) + L".dat"; }
  std::wstring Link(int i) const { return path_ + L"\\link" + std::to_wstring(i) + L".lnk"; }
  std::wstring path_;
};

size_t RawWalk(const std::wstring& folder) {
  size_t names = 0;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    names += found.cFileName[0] != L'.';
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

size_t InterfaceWalk(const std::wstring& folder, uint32_t options) {
  auto item = FolderItemImpWin32FromPath(Utf8OfWide(folder.data(), folder.size()), false, false,
                                         nullptr);
  size_t nameBytes = 0;
  const int32_t count = item->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    FolderItemImpPtr child(item->GetItemAt(i, options));
    StringRef name;
    child->GetName(name.out());
    nameBytes += StringLength(name.get());
  }
  return nameBytes;
}

// Time per item of each walk, in microseconds, on a new folder of that size.
struct Figures {
  double raw;
  double trueItem;
  double item;
};

Figures Measure(const std::wstring& temp, int files) {
  BenchFolder folder(temp + L"folder_bench_" + std::to_wstring(GetCurrentProcessId()), files);
  const double items = files + kLinks;
  Figures figures;
  figures.raw = Best([&] { RawWalk(folder.path()); }) / items * 1e6;
  figures.trueItem = Best([&] { InterfaceWalk(folder.path(), 0); }) / items * 1e6;
  figures.item = Best([&] { InterfaceWalk(folder.path(), kResolveAliases); }) / items * 1e6;
  std::printf("%5d files: raw walk %.2f us/item\n", files, figures.raw);
  std::printf("%5d files: Count + TrueItem(i) + Name %.2f us/item %.2fx FindNextFileW goal >= 0.25\n",
              files, figures.trueItem, figures.raw / figures.trueItem);
  std::printf("%5d files: Count + Item(i) + Name %.2f us/item %.2fx FindNextFileW goal >= 0.25\n",
              files, figures.item, figures.raw / figures.item);
  return figures;
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  wchar_t temp[MAX_PATH + 1];
  const std::wstring tempFolder(temp, GetTempPathW(MAX_PATH + 1, temp));
  const Figures small = Measure(tempFolder, 1000);
  const Figures large = Measure(tempFolder, 5000);
  std::printf("TrueItem per item, 5,000 against 1,000 files %.2fx 1,000-file time goal <= 2\n",
              large.trueItem / small.trueItem);
  std::printf("Item per item, 5,000 against 1,000 files %.2fx 1,000-file time goal <= 2\n",
              large.item / small.item);
  CoUninitialize();
  return 0;
}
