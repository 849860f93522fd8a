// The folder-item implementation of the system's file system: a file, a
// folder, a drive ('C:') or a network share ('\\server\share'), named by its
// path. Each operation is a Win32 file, shell or COM call (wide on the NT
// line, ANSI otherwise); the shell is reached through ShellFacade.
//
// Paths are held as UTF-8 text, never end in a backslash, and are never
// shortened: a long path goes to the system as it is and a refusal is an
// error code. A path naming something the system would map elsewhere (a
// device, a name it trims, a data stream, a wildcard: IsAcceptablePath) is
// never found, and opening, creating, renaming or copying onto it fails
// with error 105 before any system call. So does an item of a listed name
// holding "\" or "/" (which some file systems list as they are): its path
// would name another item, so it keeps the listed name and refuses every
// operation the same way.
//
// Error codes (mLastError) come from the Win32 code of the failing call
// through FolderItemErrorOfWin32; the property reads and writes (existence,
// attributes, dates, length, readability) never set it. A nil destination
// sets 100.
//
// Listing: Count and Item reuse the names the previous listing call of the
// same object read, when that was under a second ago, no file-system change
// was made through the run-time since (NoteFileSystemChange) and the
// folder's last-write time is unchanged; otherwise they read the folder
// again. The order is the system's; "." and ".." are left out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/SmartRef.h"
#include "files/FileStreams.h"
#include "files/FolderItemImp.h"

struct FolderListing;

class FolderItemImpWin32 : public FolderItemImp {
 public:
  // An item of a path already in its final form (long, without a trailing
  // backslash): FolderItemImpWin32FromPath makes one from any path.
  FolderItemImpWin32(std::string path, bool volumeRoot);
  ~FolderItemImpWin32() override;

  // Whether the item's path may not be handed to the system or to anyone who
  // opens files by path: a listed name holding a separator, or a name the
  // system would read as another file.
  bool RefusesItsPath() const { return !PathAcceptable(); }

  // Another Win32 item's path, auxiliary value, volume-root and created
  // flags; anything else is reported as a failed assertion.
  FolderItemImp* Assign(FolderItemImp* source) override;
  FolderItemImp* Clone() override;
  // Found by the system; a bare drive 'X:' also when the drive list holds it.
  bool Exists() override;
  // A shortcut (.lnk) whose target is another path.
  bool IsAlias() override;
  bool IsDirectory() override;
  bool IsTrash() override;
  void GetName(StringRecord** name) override;
  // Renames (or moves, for a name with folders) to the name beside the item.
  bool SetName(const StringRecord* name) override;
  // With a trailing backslash for a folder.
  void GetAbsolutePath(StringRecord** path) override;
  bool GetVisible() override;
  bool SetVisible(bool visible) override;
  // A missing item is not locked, and locking it succeeds with nothing done.
  bool GetLocked() override;
  bool SetLocked(bool locked) override;
  // The file type whose extension the name has (FileTypeNameForFile).
  void GetType(StringRecord** type) override;
  // Save-info data (SaveInfo.h) of the item: with no base, mode 2.
  void GetSaveInfo(StringRecord** info, FolderItemImp* relativeTo, uint8_t mode) override;
  double GetCreationDate() override;
  bool SetCreationDate(double seconds) override;
  double GetModificationDate() override;
  bool SetModificationDate(double seconds) override;
  int32_t GetAuxValue() override;
  bool SetAuxValue(int32_t value) override;
  // One byte can be read (an empty file is readable).
  bool IsReadable() override;
  // -1 past 31 bits.
  int32_t GetLength() override;
  FileStream* OpenStream(bool read, bool write) override;
  // Nil for a volume root; 'C:\f.txt' has the parent 'C:'.
  FolderItemImp* GetParent() override;
  int32_t GetCount() override;
  FolderItemImp* GetItemAt(int32_t index, uint32_t options) override;
  // Nil unless this is a folder.
  FolderItemImp* GetChildNamed(const StringRecord* name, uint32_t options) override;
  // Always a new implementation: the target, or the same path.
  FolderItemImp* ResolveAlias(uint32_t options) override;
  void RevealInFileBrowser() override;
  bool CreateAsFolder() override;
  FileStream* CreateStream(const StringRecord* macType) override;
  // An empty folder or a file.
  bool Delete() override;
  // Never overwrites: an existing target fails (80). Into a folder, under
  // this item's name. To a virtual volume, through streams.
  bool CopyFileTo(FolderItemImp* destination) override;
  // The item keeps its old path. To the trash: MoveToTrash.
  bool MoveFileTo(FolderItemImp* destination) override;
  // Opens the item with its associated program; the shell's error code
  // otherwise (31: no association).
  bool Launch(bool activate) override;
  // Into the Recycle Bin. Where the bin cannot take the item the shell asks
  // the user whether to delete it for good; declined, it stays (false).
  bool MoveToTrash() override;
  // 'desk', 'pref' and 'root' (the desktop, application-data and Windows
  // folders), 'temp' and 'trsh' (a Recycle Bin item); nil for other codes
  // and for a folder the shell gives no path for.
  FolderItemImp* FindFolder(uint32_t code) override;

  // Typed contents (FolderItemImpWin32Contents.cpp). Sounds, movies, picture
  // import and styled text go through the media slots (MediaSlots.h);
  // pictures are written here as BMP, WMF or EMF files (PictureFileWriter).
  // A picture file is written whole under a free name in its folder and
  // takes the item's name only when complete; the path gets the format's
  // extension. Formats other than those listed raise UnsupportedFormatException;
  // a nil picture, or a nil edit field to save, NilObjectException.
  RuntimeObject* OpenAsSound() override;
  RuntimeObject* OpenAsMovie() override;
  // Format 0 or 1 (a vector picture from an ".emf" or ".wmf" file, else a
  // raster one).
  RuntimeObject* OpenAsPicture(uint8_t format) override;
  RuntimeObject* ImportPicture() override;
  // Formats 0, 4 and 350 BMP; 1, 3 and 301 EMF; 300 WMF; 2 EMF for a vector
  // picture, else BMP.
  bool SaveAsPicture(RuntimeObject* picture, int32_t format) override;
  // False unless the export answers success; the path gets ".jpg" unless it
  // ends in ".jpg", ".jpeg" or ".jpe".
  bool SaveAsJPEG(RuntimeObject* picture) override;
  // True when the edit field's control read or wrote the file; its Win32
  // code is stored otherwise.
  bool OpenStyledEditField(RuntimeObject* editField) override;
  bool SaveStyledEditField(RuntimeObject* editField) override;

  const std::string& Path() const { return mPath; }
  bool IsVolumeRoot() const { return mIsVolumeRoot; }
  // Stores the folder-item code of a Win32 (or ShellExecute) error code.
  void SetLastErrorFromWin32(uint32_t code);

 protected:
  uint32_t mAuxValue = 0;
  std::string mPath;
  bool mIsVolumeRoot = false;
  // CreateStream made the file.
  bool mCreated = false;
  // An entry of the Recycle Bin: no children, no stream.
  bool mIsTrashEntry = false;
  // The last name of the path as a listing gave it, when it holds a
  // separator (the item refuses everything); empty otherwise.
  std::string mListedName;

 private:
  friend std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromSaveInfo(const uint8_t*, size_t,
                                                                            FolderItemImp*);
  friend class FolderItemImpRecycleBin;
  // Whether the system may be given the item's path.
  bool PathAcceptable() const;
  // Sets error 105 and gives true when it may not.
  bool PathRefused();
  // A new stream and the path to open it on; null (error set) when either
  // cannot be had.
  std::unique_ptr<Win32FileStream> NewStreamOnPath(StringRef* path);
  // Where a copy or move onto the destination goes; false (error 105) when
  // that or this path is not acceptable.
  bool TargetPathFor(FolderItemImp& destination, std::string* target);
  // The find data of the item (of the first entry of a volume root); false
  // when not found or the path is not acceptable.
  bool FindData(struct FoundEntry* entry) const;
  bool SetFileTimeAt(int which, double seconds);
  bool UpdateAttribute(uint32_t bit, bool set);
  std::string ResolveShortcut() const;
  FolderItemImp* NewChild(const std::string& name, uint32_t options, bool fromListing) const;
  // The item of a listed name holding a separator, whose path is the
  // folder's, "\" and the name; null when memory runs out.
  static FolderItemImpWin32* NewItemOfListedName(const std::string& path, const std::string& name);
  const FolderListing& CurrentListing();
  // The path with a trailing backslash for a volume root, as the calls that
  // query the folder itself need it.
  std::string FolderQueryPath() const;

  std::unique_ptr<FolderListing> listing_;
};

// A new item of a path (caller's): relative to the executable's folder when
// relativeToApplication; in its long form; without one trailing backslash;
// a volume root when the path names a drive or a share, else when
// volumeRootDefault. errorFlag, when given, is set when the path is not
// acceptable, or when the system cannot look at it for another reason than
// that it does not exist; it is left as it is otherwise. Null when memory
// runs out.
std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromPath(const std::string& path,
                                                               bool relativeToApplication,
                                                               bool volumeRootDefault,
                                                               bool* errorFlag);
std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromPath(const StringRecord* path,
                                                               bool relativeToApplication,
                                                               bool volumeRootDefault,
                                                               bool* errorFlag);

// A new item (caller's) of save-info data (SaveInfo.h), a relative path
// followed from base's folder. In mode 0 the relative path wins when it
// exists, then the absolute one; when neither exists, the relative one is
// kept if there is one. Null when the data is refused or gives no path (a
// relative one without a base, or one climbing above its drive, is none).
std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromSaveInfo(const uint8_t* data,
                                                                   size_t size,
                                                                   FolderItemImp* base);
std::unique_ptr<FolderItemImpWin32> FolderItemImpWin32FromSaveInfo(const StringRecord* data,
                                                                   FolderItemImp* base);

// The folder-item code of a Win32 or ShellExecute error: 101 not found, 102
// access refused, 103 no memory, 104 in use, 105 bad name, the code itself
// otherwise.
int32_t FolderItemErrorOfWin32(uint32_t code);

// Every change the run-time makes to the file system (create, delete,
// rename, move, copy) counts here, so that no listing read before it is
// used again.
void NoteFileSystemChange();
uint32_t FileSystemChangeCount();
