// The Win32 item's save info: the data of SaveInfo.h over the item's path.
#include <string>

#include "core/diagnostics.h"
#include "core/string.h"
#include "files/FolderItemImpWin32.h"
#include "files/SaveInfo.h"
#include "files/Win32PathText.h"

namespace {

SaveInfoPlace PlaceOf(FolderItemImp& item) {
  StringRef path;
  item.GetAbsolutePath(path.out());
  return {StringToStdUTF8(path.get()), item.IsDirectory()};
}

bool ExistsAt(const std::string& path, bool volumeRoot) {
  return FolderItemImpWin32(path, volumeRoot).Exists();
}

// Mode 0: the first of the two paths that exists, else the first there is.
std::string ChooseOfBoth(const std::string& relative, const std::string& absolute,
                         bool volumeRoot) {
  for (const std::string* path : {&relative, &absolute}) {
    if (!path->empty() && ExistsAt(*path, volumeRoot)) return *path;
  }
  return relative.empty() ? absolute : relative;
}

}  // namespace

void FolderItemImpWin32::GetSaveInfo(StringRecord** info, FolderItemImp* relativeTo,
                                     uint8_t mode) {
  // Data of a path that names another item would find that one.
  if (!mListedName.empty() && PathRefused()) {
    SetOutString(info, StringFromASCII(""));
    return;
  }
  SaveInfoRecords records;
  records.mode = relativeTo ? mode : kSaveInfoAbsolutePath;
  records.absolutePath = mPath;
  if (records.mode != kSaveInfoAbsolutePath) {
    records.relativePath = RelativeSaveInfoPath(PlaceOf(*relativeTo), mPath, IsDirectory());
  }
  records.volumeRoot = mIsVolumeRoot;
  records.trashEntry = mIsTrashEntry;
  SetOutString(info, NewString(EncodeSaveInfo(records), kEncodingNone));
}

std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromSaveInfo(const uint8_t* data,
                                                                   size_t size,
                                                                   FolderItemImp* base) {
  SaveInfoRecords records;
  if (!DecodeSaveInfo(data, size, &records)) return nullptr;
  for (int i = 0; i < records.unknownRecords; ++i) {
    LogErrorMessage("Unknown tag in SaveInfo string!", 10);
  }
  const std::string relative = base && !records.relativePath.empty()
                                   ? ResolveSaveInfoPath(records.relativePath, PlaceOf(*base))
                                   : std::string();
  std::string path;
  switch (records.mode) {
    case kSaveInfoRelativePath:
      path = relative;
      break;
    case kSaveInfoAbsolutePath:
      path = records.absolutePath;
      break;
    default:
      path = ChooseOfBoth(relative, records.absolutePath, records.volumeRoot);
  }
  path = StripTrailingBackslash(path);
  if (path.empty()) return nullptr;
  std::unique_ptr<FolderItemImpWin32> item(new (std::nothrow)
                                               FolderItemImpWin32(path, records.volumeRoot));
  if (item) item->mIsTrashEntry = records.trashEntry;
  return item;
}

std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromSaveInfo(const StringRecord* data,
                                                                   FolderItemImp* base) {
  return FolderItemImpWin32FromSaveInfo(StringData(data), StringLength(data), base);
}
