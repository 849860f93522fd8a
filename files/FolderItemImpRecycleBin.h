// The Recycle Bin as a folder item: a read-only folder that counts and lists
// the items in the bin. Each item it hands out is a Win32 item marked as an
// entry of the bin (named by the bin's path and the item's display name: it
// has no stream and no children). Every changing operation answers false
// or nil.
//
// The bin is the shell's folder (CSIDL_BITBUCKET). SHQueryRecycleBin and
// StrRetToStr are looked up through the shell facade; where either is
// missing, counting or listing raises ServiceNotAvailableException (error
// number 0) and answers 0 or nil. Any other failing shell call lists
// nothing.
#pragma once
#include <cstdint>

#include "files/FolderItemImpWin32.h"

struct IShellFolder;

class FolderItemImpRecycleBin : public FolderItemImpWin32 {
 public:
  FolderItemImpRecycleBin();
  ~FolderItemImpRecycleBin() override;

  // Another Recycle Bin item.
  FolderItemImp* Clone() override;
  bool Exists() override;
  bool IsAlias() override;
  bool IsDirectory() override;
  bool IsTrash() override;
  // "Recycle Bin".
  void GetName(StringRecord** name) override;
  bool SetName(const StringRecord* name) override;
  // The desktop folder's path, then "Recycle Bin\".
  void GetAbsolutePath(StringRecord** path) override;
  bool GetVisible() override;
  bool SetVisible(bool visible) override;
  bool GetLocked() override;
  bool SetLocked(bool locked) override;
  void GetType(StringRecord** type) override;
  double GetCreationDate() override;
  bool SetCreationDate(double seconds) override;
  double GetModificationDate() override;
  bool SetModificationDate(double seconds) override;
  bool IsReadable() override;
  bool IsWriteable() override;
  int32_t GetLength() override;
  FileStream* OpenStream(bool read, bool write) override;
  // The desktop folder.
  FolderItemImp* GetParent() override;
  // The items in the bins of all drives.
  int32_t GetCount() override;
  // The bin's item at the index (from 0); the options are not used.
  FolderItemImp* GetItemAt(int32_t index, uint32_t options) override;
  // The bin's item whose display name is the name, case ignored.
  FolderItemImp* GetChildNamed(const StringRecord* name, uint32_t options) override;
  FolderItemImp* ResolveAlias(uint32_t options) override;
  bool CreateAsFolder() override;
  FileStream* CreateStream(const StringRecord* macType) override;
  bool Delete() override;
  bool CopyFileTo(FolderItemImp* destination) override;
  bool MoveFileTo(FolderItemImp* destination) override;
  bool Launch(bool activate) override;
  bool MoveToTrash() override;
  RuntimeObject* OpenAsSound() override;
  RuntimeObject* OpenAsMovie() override;
  RuntimeObject* OpenAsPicture(uint8_t format) override;
  RuntimeObject* ImportPicture() override;
  bool SaveAsPicture(RuntimeObject* picture, int32_t format) override;
  bool SaveAsJPEG(RuntimeObject* picture) override;
  bool OpenStyledEditField(RuntimeObject* editField) override;
  bool SaveStyledEditField(RuntimeObject* editField) override;

 private:
  // The entry at the index, or (index -1) the one of that display name.
  FolderItemImp* FindEntry(int32_t index, const std::string& name);
  // The bin's shell folder (the caller releases it); null when the shell
  // has none.
  IShellFolder* BinFolder();

  // Taken on the first search, released by the destructor.
  IShellFolder* mDesktopFolder = nullptr;
};
