// Virtual volumes as the language sees them: the VirtualVolume class, whose
// Root is a FolderItem inside the volume, the folder-item implementation that
// names an item of a volume, and the bodies of FolderItem's
// CreateVirtualVolume, OpenAsVirtualVolume and VirtualVolume.
//
// An implementation names an item by (folder, name), resolved afresh at each
// operation against the volume's folder listings (the first child whose name
// matches ignoring the case of a-z); the root names itself. It keeps its
// VirtualVolume locked, and so does every stream it hands out, so a volume
// stays open until its last item and stream are gone; the block map is
// written when the volume is destroyed, or by the volume's shutdown hook when
// the application ends first (which also stores the lengths of streams still
// open).
//
// One writer: a container already open in this process opens as the same
// VirtualVolume, and creating a volume over it gives nil; a container on a
// system file is locked (one byte at 0xFFFFFFFF) for as long as it is open,
// so another process gets nil.
//
// Names are UTF-8, cut at 223 bytes; renames and moves refuse a name another
// child of the folder already answers to. Every file made here has the type
// "????"; a folder's type is "fold". Streams from OpenStream store typed
// values big-endian, those from CreateStream leave the swap flags clear.
#pragma once
#include <cstdint>
#include <string>

#include "files/FolderItemImp.h"
#include "files/VHFS.h"

struct RuntimeObject;
struct StringRecord;

class FolderItemImpVirtual : public FolderItemImp {
 public:
  // Names the child called name of the folder placeId, or (self) the folder
  // itself. Locks the volume object.
  FolderItemImpVirtual(RuntimeObject* volume, uint32_t placeId, const std::string& name,
                       bool self);
  ~FolderItemImpVirtual() override;

  FolderItemImp* Assign(FolderItemImp* source) override;
  FolderItemImp* Clone() override;
  bool Exists() override;
  bool IsDirectory() override;
  bool IsVirtual() override;
  void GetName(StringRecord** name) override;
  bool SetName(const StringRecord* name) override;
  void GetAbsolutePath(StringRecord** path) override;
  void GetType(StringRecord** type) override;
  uint32_t GetMacType() override;
  bool SetMacType(uint32_t code) override;
  double GetCreationDate() override;
  bool SetCreationDate(double seconds) override;
  double GetModificationDate() override;
  bool SetModificationDate(double seconds) override;
  int32_t GetMacDirID() override;
  int32_t GetLength() override;
  bool SetLength(int32_t length) override;
  FileStream* OpenStream(bool read, bool write) override;
  FolderItemImp* GetParent() override;
  int32_t GetCount() override;
  FolderItemImp* GetItemAt(int32_t index, uint32_t options) override;
  FolderItemImp* GetChildNamed(const StringRecord* name, uint32_t options) override;
  bool CreateAsFolder() override;
  FileStream* CreateStream(const StringRecord* macType) override;
  bool Delete() override;
  bool MoveFileTo(FolderItemImp* destination) override;

  RuntimeObject* Volume() const { return volume_; }
  // The item now (an empty ref when it does not exist or the volume is
  // closed).
  VHFSItemRef Resolve();

 private:
  VHFS* FileSystem() const;
  VHFSItemRef ResolvedFile();
  // Whether a child of the folder other than the item answers to the name.
  bool NameTaken(uint32_t folder, const std::string& name, uint32_t item);
  bool SetDate(bool creation, double seconds);
  FileStream* StreamOn(const VHFSItemRef& item, bool bigEndian);

  RuntimeObject* volume_;
  std::string name_;
  uint32_t place_;
  bool self_;
};

// Whether two implementations, one of them virtual, name the same item: both
// in one volume, and the same item (or, when neither exists, the same name in
// the same folder).
bool VirtualNamesSameItem(FolderItemImp* a, FolderItemImp* b);

// Start-up: registers "VirtualVolume" (its Root property) and fills
// FolderItem's virtual-volume slots.
void RegisterVirtualVolumeClass();

extern "C" {
// The volume's Root: a new FolderItem (the caller's), nil when the volume is
// closed.
RuntimeObject* VirtVolRootGetter(RuntimeObject* volume, uint32_t parameter);
}
