// A folder-item implementation over a small tree of files and folders in
// memory, for tests of code that works through the interface (the base copy,
// the write probe, the FolderItem class). Its streams are MemoryFileStreams
// whose bytes go back into the tree when they close. Every call an item
// receives is recorded in the tree, with its index, options and name, and
// each file can be given faults.
//
// Paths are "/"-separated below an unnamed root ("docs/a.txt"); the root is
// "". Listing order is the paths' byte order. Dates count the tree's
// changes: each write, create or delete stamps the item (and a create or
// delete its folder) with the next value of the tree's clock.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "files/FileTypes.h"
#include "files/FolderItemImp.h"
#include "testsupport/MemoryFileStream.h"

class FakeFolderItemImp;

class FakeFileTree {
 public:
  struct Node {
    bool folder = false;
    std::string bytes;
    uint32_t macType = kUnknownFourCharCode;
    uint32_t macCreator = kUnknownFourCharCode;
    double modified = 0;
    // Faults: OpenStream gives null although the file exists; streams
    // opened on it meet these read and write faults; their GetLength is -1.
    bool refuseOpen = false;
    MemoryFileStream::Faults streamFaults;
    bool lengthUnknown = false;
    bool refuseCreate = false;
    bool refuseSetName = false;
    bool refuseDelete = false;
  };
  struct Call {
    std::string operation;
    std::string path;  // of the item that received it
    int32_t index = -1;
    uint32_t options = 0;
    std::string name;  // a name or path argument
  };

  FakeFileTree();
  Node& AddFile(const std::string& path, const std::string& bytes = "");
  Node& AddFolder(const std::string& path);
  // Null when nothing is there.
  Node* Find(const std::string& path);
  // The paths of everything in the tree but the root.
  std::vector<std::string> Paths() const;
  // A new item naming the path (which need not exist).
  std::unique_ptr<FakeFolderItemImp> Item(const std::string& path);

  std::vector<Call> calls;
  // Calls of one operation.
  std::vector<Call> CallsOf(const std::string& operation) const;

 private:
  friend class FakeFolderItemImp;
  friend class FakeNodeStream;
  void Stamp(const std::string& path);
  std::vector<std::string> ChildrenOf(const std::string& folder) const;

  std::map<std::string, Node> nodes_;
  double clock_ = 100;
};

class FakeFolderItemImp : public FolderItemImp {
 public:
  FakeFolderItemImp(FakeFileTree* tree, std::string path);

  FolderItemImp* Clone() override;
  bool Exists() override;
  bool IsDirectory() override;
  void GetName(StringRecord** name) override;
  // Renames a file within its folder; fails onto an existing name.
  bool SetName(const StringRecord* name) override;
  void GetAbsolutePath(StringRecord** path) override;
  uint32_t GetMacType() override;
  bool SetMacType(uint32_t code) override;
  uint32_t GetMacCreator() override;
  bool SetMacCreator(uint32_t code) override;
  double GetModificationDate() override;
  bool SetModificationDate(double seconds) override;
  int32_t GetLength() override;
  FileStream* OpenStream(bool read, bool write) override;
  FolderItemImp* GetParent() override;
  int32_t GetCount() override;
  FolderItemImp* GetItemAt(int32_t index, uint32_t options) override;
  FolderItemImp* GetChildNamed(const StringRecord* name, uint32_t options) override;
  FileStream* CreateStream(const StringRecord* macType) override;
  // Files, and folders without children.
  bool Delete() override;

  const std::string& Path() const { return path_; }

 private:
  void Record(const char* operation, int32_t index = -1, uint32_t options = 0,
              const std::string& name = "");
  FakeFileTree::Node* Node() { return tree_->Find(path_); }
  bool SetCode(uint32_t FakeFileTree::Node::*field, uint32_t code);

  FakeFileTree* tree_;
  std::string path_;
};
