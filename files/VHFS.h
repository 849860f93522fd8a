// The folder tree of a virtual volume, laid over the numbered files of its
// container (VFSCore.h): every folder and file is one VFS file, its item,
// holding a 256-byte header and then the item's data. A folder's data is the
// list of its children's ids; a file's data is its contents, reached through
// VHFSStream.
//
// Item layout (values big-endian in a version-3 container, little-endian
// before):
//   0   data length (double)
//   8   type: "fold" for a folder, any other non-zero code for a file
//   12  parent id (0 for the root)
//   16  creation date, 24 modification date (doubles, seconds since 1904)
//   32  name: at most 223 bytes of UTF-8, zeros to the end of the 224 bytes
//   256 data; for a folder the child count c, then c child ids
// The root is id 2, named "/". Ids never return once used.
//
// Read as untrusted bytes: a child count counts only up to (length - 4) / 4
// and the ids present; ids below 3 name no child; a repeated id is listed
// once; a child whose parent field names another folder is skipped (what a
// move cut short leaves); a length that is not a whole number from 0 to the
// largest data size, or a name without a zero, is cut to what can be right;
// a non-finite date reads 0.0.
//
// Each change ends in one small write that makes it visible, so a cut leaves
// the tree as before or after it: a new item is written whole before its id
// joins the folder (id and length before the count); a deleted item is
// unlisted before its blocks are freed; a move adds the item to the new
// folder, writes its parent id, then removes it from the old one (and is
// undone when a step fails). A folder is never moved into its own subtree.
// A move onto a file adds the item to the folder, writes its parent id and
// new name together, then puts its id in the replaced file's slot (the one
// write that replaces it) before tidying up and freeing the replaced file's
// blocks. A failure before that slot is written undoes the earlier steps;
// a cut between the name and the slot leaves both files listed in the
// folder under the name, so nothing is lost.
//
// Folder listings are kept in memory, indexed by name folded as the
// run-time's case-insensitive comparison folds it, and brought up to date by
// the volume's own changes, so resolving a name reads no folder twice.
//
// Portable: no system header.
#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "files/VFSCore.h"

class VHFSStream;
struct RuntimeObject;

constexpr uint32_t kVHFSFolderType = 0x666F6C64;  // "fold"
constexpr uint32_t kVHFSUnknownType = 0x3F3F3F3F;  // "????"

struct VHFSItemRef {
  uint32_t id = 0;
  std::string name;   // UTF-8
  uint32_t type = 0;  // 0: no item
  bool IsFolder() const { return type == kVHFSFolderType; }
  bool IsFile() const { return type != 0 && type != kVHFSFolderType; }
};

struct VHFSItemInfo {
  double creationDate = 0;
  double modificationDate = 0;
  double dataLength = 0;
};

class VHFS {
 public:
  static constexpr uint32_t kRootId = 2;
  static constexpr uint32_t kItemHeaderSize = 256;
  static constexpr uint32_t kNameFieldSize = 224;
  static constexpr uint32_t kMaxNameBytes = 223;
  static constexpr uint32_t kMaxDataLength = 0x7FFFFFFF - kItemHeaderSize;

  // A new volume with its root over the stream (emptied); null, the stream
  // released, when it cannot be written.
  static std::unique_ptr<VHFS> CreateVolume(FileStreamPtr disk);
  // The volume in the stream; null, the stream released, when it holds none.
  static std::unique_ptr<VHFS> OpenVolume(FileStreamPtr disk);
  // Close.
  ~VHFS();
  VHFS(const VHFS&) = delete;
  VHFS& operator=(const VHFS&) = delete;

  // Closes every stream still open (storing lengths), then the container,
  // which writes its block map. True when nothing failed.
  bool Close();
  bool IsOpen() const { return core_ && core_->IsOpen(); }
  VFSCore& Core() { return *core_; }

  VHFSItemRef GetRootItem();
  // The item of the id (empty when it cannot be read).
  VHFSItemRef ItemOfId(uint32_t id);
  // Empty for the root and for an item that cannot be read.
  VHFSItemRef GetParentItem(const VHFSItemRef& item);
  bool ListFolder(const VHFSItemRef& folder, std::vector<VHFSItemRef>* children);
  // The first child, in stored order, whose name matches ignoring the case
  // of a-z; empty when none.
  VHFSItemRef FindChild(const VHFSItemRef& folder, const std::string& name);
  // Empty ref when the parent is no folder, the name is empty or holds a
  // zero byte (refused by RenameItem and PlaceItem alike), or the type is 0
  // or "fold". Names are cut at 223 bytes on a UTF-8 boundary.
  VHFSItemRef CreateItem(const VHFSItemRef& parent, const std::string& name, uint32_t type);
  VHFSItemRef CreateFolder(const VHFSItemRef& parent, const std::string& name);
  // Refused for the root, a folder with children (or whose children the
  // disk failed to read) and a file with an open stream.
  bool DeleteItem(const VHFSItemRef& item);
  // Moving to the folder already holding the item changes nothing; a move
  // into the item itself or its subtree is refused.
  bool MoveItem(const VHFSItemRef& item, const VHFSItemRef& newParent);
  // Does not look at the siblings' names (the folder item does).
  bool RenameItem(VHFSItemRef* item, const std::string& name);
  // Moves the item into the folder under the name, in place of the file
  // replaced (a child of that folder; an empty ref for none). Replaced only
  // when the move is made: on false both are as they were. Refused for the
  // root, a folder into its own subtree, and a replaced item that is a
  // folder, the item itself or a file with an open stream.
  bool PlaceItem(VHFSItemRef* item, const VHFSItemRef& folder, const std::string& name,
                 const VHFSItemRef& replaced);
  // Files only; refuses 0 and "fold".
  bool SetItemType(VHFSItemRef* item, uint32_t type);
  // The data length is the one streams open on the file share, if any.
  VHFSItemInfo GetItemInfo(const VHFSItemRef& item);
  bool SetItemInfo(const VHFSItemRef& item, const VHFSItemInfo& info);
  // A new stream on a file's data (the caller's), or null.
  std::unique_ptr<VHFSStream> OpenItemStream(const VHFSItemRef& item);
  bool HasOpenStream(uint32_t id) const { return core_ && core_->IsFileOpen(id); }

  // The first 223 bytes of a name, not cutting a UTF-8 sequence.
  static std::string CutName(const std::string& name);
  // Case folded as the run-time's case-insensitive comparison folds it.
  static bool SameName(const std::string& a, const std::string& b);

 private:
  friend class VHFSStream;
  struct Header {
    uint32_t dataLength;
    uint32_t type;
    uint32_t parent;
    double creationDate;
    double modificationDate;
    std::string name;
  };

  explicit VHFS(std::unique_ptr<VFSCore> core) : core_(std::move(core)) {}
  bool ReadHeader(int32_t ref, uint32_t id, Header* header);
  bool ReadHeaderOf(uint32_t id, Header* header);
  void EncodeHeader(uint8_t* out, const Header& header) const;
  void PutValue32(uint8_t* out, uint32_t value) const;
  uint32_t GetValue32(const uint8_t* in) const;
  void PutDouble(uint8_t* out, double value) const;
  double GetDouble(const uint8_t* in) const;
  bool WriteAt(int32_t ref, uint32_t position, const void* bytes, uint32_t count);
  bool WriteValue32(uint32_t id, uint32_t position, uint32_t value);
  // The parent id, dates and name in one write (length and type stay).
  bool WritePlace(uint32_t id, const Header& header);
  bool ReadChildIds(int32_t ref, const Header& folder, std::vector<uint32_t>* ids);
  // Opens a folder and reads its header and child ids: the reference, or -1
  // with nothing left open.
  int32_t OpenFolder(uint32_t folder, Header* header, std::vector<uint32_t>* ids);
  bool AddChild(uint32_t item, uint32_t folder);
  bool RemoveChild(uint32_t item, uint32_t folder);
  // Writes the item's id over the replaced child's slot, then drops the
  // item's other slot in the folder; true once the first write is made.
  bool ReplaceChild(uint32_t replaced, uint32_t item, uint32_t folder);
  bool IsInSubtree(uint32_t folder, uint32_t item);
  // A folder's children in stored order, indexed by folded name.
  struct FolderListing {
    std::vector<VHFSItemRef> children;
    std::unordered_multimap<std::string, size_t> byName;
    void Add(const VHFSItemRef& child);
    void Rename(uint32_t id, const std::string& name);
    VHFSItemRef* Child(uint32_t id);
  };
  const FolderListing* Listing(const VHFSItemRef& folder);
  // The cached entry of the item in the folder's listing, or null.
  VHFSItemRef* CachedChild(uint32_t folder, uint32_t item);

  // The data length of a file while streams are open on it: one for all of
  // them, so that each reads and writes up to where the others ended it.
  struct OpenLength {
    int32_t length = 0;
    bool changed = false;  // not stored yet
    int streams = 0;
  };

  std::unique_ptr<VFSCore> core_;
  std::unordered_map<uint32_t, FolderListing> listings_;
  FolderListing unkept_;  // the last listing read while the disk failed
  std::set<VHFSStream*> streams_;
  std::unordered_map<uint32_t, OpenLength> openLengths_;
};

// A stream on the data of a file item. Reads stop at the data length; a
// write past it, or SetLength beyond it, fills the gap with zeros (a reused
// block's old bytes never show). Small writes are held by the container
// until the stream leaves the block or another transfer happens; Flush and
// Close write them and then the length once it changed. Streams open on one
// file share its length: each sees where another wrote or set it. Positions
// beyond the length are accepted; writing there first fills the gap.
class VHFSStream : public FileStream {
 public:
  ~VHFSStream() override;
  bool Read(void* buffer, int32_t count, int32_t* bytesRead) override;
  bool Write(const void* buffer, int32_t count) override;
  bool Close() override;
  bool IsEOF() override { return length_->length <= position_; }
  bool SetPosition(int32_t position) override;
  int32_t GetLength() override { return length_->length; }
  bool SetLength(int32_t length) override;
  int32_t GetPosition() override { return position_; }
  void Flush() override;
  void Sync() override { Flush(); }

  // Keeps the object locked until the stream closes or is destroyed (a
  // previous owner is unlocked). The owner keeps the volume alive.
  void SetOwner(RuntimeObject* owner);

 private:
  friend class VHFS;
  VHFSStream(VHFS* volume, int32_t ref, uint32_t id, VHFS::OpenLength* length);
  // Stores the length and closes the container reference; the owner stays
  // locked (the volume is going away under it).
  bool Detach();
  void ChangeLength(int32_t length);
  bool StoreLength();
  bool WriteZeros(int32_t from, int32_t to);

  VHFS* volume_;
  RuntimeObject* owner_ = nullptr;
  int32_t ref_;
  uint32_t id_;
  int32_t position_ = 0;
  VHFS::OpenLength* length_;  // the volume's for the file; closed_ once closed
  VHFS::OpenLength closed_;
};
