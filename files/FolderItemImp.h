// The implementation behind every FolderItem: one interface of 62 virtual
// operations, filled by the Win32 item, the Recycle Bin item and the item
// inside a virtual volume, with base bodies that give every operation a
// harmless answer. The base also copies files through streams and probes
// whether an item can be written, using only the interface, for every
// implementation that does not do better.
//
// Portable: no system header.
//
// Slot order is part of the interface: the operations below keep their
// order, and nothing virtual is added anywhere in the hierarchy (helpers are
// free functions).
//
// Ownership: an implementation has one owner, the FolderItem whose mImp it
// is or the caller an operation returned it to, and is destroyed through its
// virtual destructor (C++ callers hold it in a FolderItemImpPtr). Operations
// named "new implementation" below return one the caller owns, or null;
// ResolveAlias may also return this object itself (see TakeResolved).
// Streams from OpenStream and CreateStream belong to the caller. An
// implementation holds no open file between operations.
//
// Failures are results (false, null, 0, -1, ""); nothing raises. mLastError
// keeps the code of the last failure where an implementation records one;
// the base never sets it.
//
// Out strings are string variables whose old value is released. Booleans
// are bytes. Dates are seconds since 1904-01-01 local time. Type and creator
// codes hold their first character in the most significant byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "files/ByteStream.h"

struct RuntimeObject;
struct StringRecord;

class FolderItemImp {
 public:
  // The path is ignored here; implementations read it.
  explicit FolderItemImp(const StringRecord* path = nullptr);
  FolderItemImp(const FolderItemImp&) = delete;
  FolderItemImp& operator=(const FolderItemImp&) = delete;

  virtual ~FolderItemImp();
  // Copies the source's state into this one; gives this. Base: copies nothing.
  virtual FolderItemImp* Assign(FolderItemImp* source);
  // New implementation of the same kind and state. Base: a base object.
  virtual FolderItemImp* Clone();
  virtual bool Exists();
  virtual bool IsAlias();
  virtual bool IsDirectory();
  virtual bool IsVirtual();
  virtual bool IsTrash();
  virtual void GetName(StringRecord** name);
  virtual bool SetName(const StringRecord* name);
  // Base: GetName.
  virtual void GetAbsolutePath(StringRecord** path);
  // Base: GetName.
  virtual void GetDisplayName(StringRecord** name);
  // Base: SetName.
  virtual bool SetDisplayName(const StringRecord* name);
  virtual bool GetExtensionVisible();  // base: true
  virtual bool SetExtensionVisible(bool visible);
  virtual bool GetVisible();  // base: true
  virtual bool SetVisible(bool visible);
  virtual bool GetLocked();
  virtual bool SetLocked(bool locked);
  // The name of the item's file type.
  virtual void GetType(StringRecord** type);
  // Data that finds the item again, relative to another item (or null).
  virtual void GetSaveInfo(StringRecord** info, FolderItemImp* relativeTo, uint8_t mode);
  virtual uint32_t GetMacType();  // base: "????"
  virtual bool SetMacType(uint32_t code);
  virtual uint32_t GetMacCreator();  // base: "????"
  virtual bool SetMacCreator(uint32_t code);
  virtual double GetCreationDate();  // base: 0
  virtual bool SetCreationDate(double seconds);
  virtual double GetModificationDate();  // base: GetCreationDate
  virtual bool SetModificationDate(double seconds);
  virtual int32_t GetMacVRefNum();
  virtual int32_t GetMacDirID();
  virtual int32_t GetAuxValue();  // base: -1
  virtual bool SetAuxValue(int32_t value);
  virtual bool IsReadable();  // base: true
  // Base: the write probe (WriteProbe).
  virtual bool IsWriteable();
  // Bytes of data; -1 when that does not fit 31 bits.
  virtual int32_t GetLength();
  virtual bool SetLength(int32_t length);
  virtual int32_t GetResourceForkLength();
  // A new stream on the item's data: read only when read and not write.
  virtual FileStream* OpenStream(bool read, bool write);
  virtual int32_t ReservedQuery();  // base: -1
  // New implementation of the enclosing folder.
  virtual FolderItemImp* GetParent();
  // New implementation of a special folder ('desk', 'pref', 'root', 'temp',
  // 'trsh').
  virtual FolderItemImp* FindFolder(uint32_t code);
  virtual int32_t GetCount();
  // New implementation of the folder's item at index (from 0); options
  // kResolveAliases resolves an alias.
  virtual FolderItemImp* GetItemAt(int32_t index, uint32_t options);
  // New implementation of the item of that name in this folder, whether or
  // not it exists.
  virtual FolderItemImp* GetChildNamed(const StringRecord* name, uint32_t options);
  // New implementation of an alias's target, or this object itself when
  // there is nothing to resolve. Base: this.
  virtual FolderItemImp* ResolveAlias(uint32_t options);
  virtual void RevealInFileBrowser();
  virtual bool CreateAsFolder();
  // Creates or empties the file; a new writable stream on it.
  virtual FileStream* CreateStream(const StringRecord* macType);
  virtual bool Delete();
  // Base: the stream copy (CopyThroughStreams).
  virtual bool CopyFileTo(FolderItemImp* destination);
  // Base: MoveThroughStreams.
  virtual bool MoveFileTo(FolderItemImp* destination);
  virtual bool Launch(bool activate);
  virtual bool MoveToTrash();
  // Typed contents: pictures, movies, sounds and edit fields are run-time
  // objects, passed and returned as such (new objects belong to the caller).
  virtual bool OpenStyledEditField(RuntimeObject* editField);
  // Format 0 a raster picture, 1 a vector picture where the file has one.
  virtual RuntimeObject* OpenAsPicture(uint8_t format);
  virtual RuntimeObject* OpenAsMovie();
  virtual RuntimeObject* OpenAsSound();
  virtual RuntimeObject* ImportPicture();
  virtual bool SaveAsPicture(RuntimeObject* picture, int32_t format);
  virtual bool SaveAsJPEG(RuntimeObject* picture);
  virtual bool SaveStyledEditField(RuntimeObject* editField);

  // The run-time's allocator; new (std::nothrow) gives null when memory runs
  // out.
  static void* operator new(size_t size);
  static void* operator new(size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* block) noexcept;

  // The error code of the last failed operation; 0 at first. The
  // FolderItem's LastErrorCode reads and writes it.
  int32_t mLastError = 0;
};

using FolderItemImpPtr = std::unique_ptr<FolderItemImp>;

// Options of GetItemAt, GetChildNamed and ResolveAlias.
constexpr uint32_t kResolveAliases = 0x40;

// ResolveAlias on an owned item: the target, or the item itself.
FolderItemImpPtr TakeResolved(FolderItemImpPtr item, uint32_t options);

// Whether two implementations name the same item: the same absolute path,
// ASCII case ignored. The virtual volume answers for its own items.
bool NamesSameItem(FolderItemImp* a, FolderItemImp* b);

// Puts a string the caller owns into an out string variable (releasing the
// variable's old value) and drops the caller's reference.
void SetOutString(StringRecord** variable, StringRecord* owned);

// Whether a text is save-info data: its first four bytes are 00 F1 D1 73.
bool IsSaveInfoData(const StringRecord* text);

// The base copy: the source's data through streams into the destination (or
// into its child of the source's name when it is a folder), and the type and
// creator codes after it (not the dates). Copying onto the item itself
// succeeds and writes nothing. The data goes first to a free name beside the
// target, and replaces an existing target only when complete; on any failure
// that file is deleted and an existing target keeps its bytes. A target that
// is a folder, or that cannot be deleted, is never replaced: the copy fails.
// A source whose length is negative, or whose reads bring nothing before its
// end, fails.
bool CopyThroughStreams(FolderItemImp& source, FolderItemImp* destination);
// CopyThroughStreams, then the source is deleted; the result of the delete.
// A failed copy, or a move onto the item itself, leaves the source.
bool MoveThroughStreams(FolderItemImp& source, FolderItemImp* destination);
// Whether the item can be written now. An existing file: one byte is read
// and written back, and its modification date restored. Otherwise its folder
// (or the folder itself) gets a probe file of a free name ("$$TestFile$$",
// then "$$TestFile$$0", "$$TestFile$$1" ...), created and deleted again, and
// the folder's modification date restored.
bool WriteProbe(FolderItemImp& item);
