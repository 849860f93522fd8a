// The in-memory folder-item implementation of the tests.
#include "testsupport/FakeFolderItemImp.h"

#include "core/SmartRef.h"
#include "core/string.h"

namespace {

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ChildPath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

}  // namespace

// A stream on one file of the tree; what it wrote goes back into the tree
// when it closes, unless the file was deleted meanwhile.
class FakeNodeStream : public MemoryFileStream {
 public:
  FakeNodeStream(FakeFileTree* tree, std::string path, const FakeFileTree::Node& node,
                 bool writable)
      : MemoryFileStream(node.bytes),
        tree_(tree),
        path_(std::move(path)),
        writable_(writable),
        lengthUnknown_(node.lengthUnknown) {
    faults = node.streamFaults;
  }
  ~FakeNodeStream() override { Close(); }

  bool Close() override {
    FakeFileTree::Node* node = tree_->Find(path_);
    if (IsOpen() && writable_ && node) {
      node->bytes = Bytes();
      tree_->Stamp(path_);
    }
    return MemoryFileStream::Close();
  }
  int32_t GetLength() override { return lengthUnknown_ ? -1 : MemoryFileStream::GetLength(); }

 private:
  FakeFileTree* tree_;
  std::string path_;
  bool writable_;
  bool lengthUnknown_;
};

// ---- The tree ----------------------------------------------------------------------

FakeFileTree::FakeFileTree() { nodes_[""].folder = true; }

FakeFileTree::Node& FakeFileTree::AddFile(const std::string& path, const std::string& bytes) {
  Node& node = nodes_[path];
  node.bytes = bytes;
  return node;
}

FakeFileTree::Node& FakeFileTree::AddFolder(const std::string& path) {
  Node& node = nodes_[path];
  node.folder = true;
  return node;
}

FakeFileTree::Node* FakeFileTree::Find(const std::string& path) {
  const auto found = nodes_.find(path);
  return found == nodes_.end() ? nullptr : &found->second;
}

std::vector<std::string> FakeFileTree::Paths() const {
  std::vector<std::string> paths;
  for (const auto& entry : nodes_) {
    if (!entry.first.empty()) paths.push_back(entry.first);
  }
  return paths;
}

std::unique_ptr<FakeFolderItemImp> FakeFileTree::Item(const std::string& path) {
  return std::make_unique<FakeFolderItemImp>(this, path);
}

std::vector<FakeFileTree::Call> FakeFileTree::CallsOf(const std::string& operation) const {
  std::vector<Call> found;
  for (const Call& call : calls) {
    if (call.operation == operation) found.push_back(call);
  }
  return found;
}

void FakeFileTree::Stamp(const std::string& path) {
  if (Node* node = Find(path)) node->modified = ++clock_;
}

std::vector<std::string> FakeFileTree::ChildrenOf(const std::string& folder) const {
  std::vector<std::string> children;
  for (const auto& entry : nodes_) {
    if (!entry.first.empty() && ParentOf(entry.first) == folder) children.push_back(entry.first);
  }
  return children;
}

// ---- Items -------------------------------------------------------------------------

FakeFolderItemImp::FakeFolderItemImp(FakeFileTree* tree, std::string path)
    : tree_(tree), path_(std::move(path)) {}

void FakeFolderItemImp::Record(const char* operation, int32_t index, uint32_t options,
                               const std::string& name) {
  tree_->calls.push_back({operation, path_, index, options, name});
}

FolderItemImp* FakeFolderItemImp::Clone() {
  Record("Clone");
  return new FakeFolderItemImp(tree_, path_);
}

bool FakeFolderItemImp::Exists() { return Node() != nullptr; }
bool FakeFolderItemImp::IsDirectory() { return Node() && Node()->folder; }

void FakeFolderItemImp::GetName(StringRecord** name) {
  SetOutString(name, StringFromUTF8(path_.substr(path_.rfind('/') + 1)));
}

void FakeFolderItemImp::GetAbsolutePath(StringRecord** path) {
  SetOutString(path, StringFromUTF8(path_));
}

bool FakeFolderItemImp::SetName(const StringRecord* name) {
  const std::string newPath = ChildPath(ParentOf(path_), StringToStdUTF8(name));
  Record("SetName", -1, 0, StringToStdUTF8(name));
  FakeFileTree::Node* node = Node();
  if (!node || node->refuseSetName || tree_->Find(newPath) || node->folder) return false;
  tree_->nodes_[newPath] = *node;
  tree_->nodes_.erase(path_);
  path_ = newPath;
  return true;
}

uint32_t FakeFolderItemImp::GetMacType() { return Node() ? Node()->macType : kUnknownFourCharCode; }
bool FakeFolderItemImp::SetMacType(uint32_t code) { return SetCode(&FakeFileTree::Node::macType, code); }
uint32_t FakeFolderItemImp::GetMacCreator() {
  return Node() ? Node()->macCreator : kUnknownFourCharCode;
}
bool FakeFolderItemImp::SetMacCreator(uint32_t code) {
  return SetCode(&FakeFileTree::Node::macCreator, code);
}

bool FakeFolderItemImp::SetCode(uint32_t FakeFileTree::Node::*field, uint32_t code) {
  if (!Node()) return false;
  Node()->*field = code;
  return true;
}

double FakeFolderItemImp::GetModificationDate() { return Node() ? Node()->modified : 0.0; }

bool FakeFolderItemImp::SetModificationDate(double seconds) {
  if (!Node()) return false;
  Node()->modified = seconds;
  return true;
}

int32_t FakeFolderItemImp::GetLength() {
  if (!Node()) return 0;
  return Node()->lengthUnknown ? -1 : int32_t(Node()->bytes.size());
}

FileStream* FakeFolderItemImp::OpenStream(bool read, bool write) {
  Record("OpenStream", -1, uint32_t(read) | uint32_t(write) << 1);
  FakeFileTree::Node* node = Node();
  if (!node || node->folder || node->refuseOpen) return nullptr;
  const bool readOnly = read && !write;
  auto* stream = new FakeNodeStream(tree_, path_, *node, !readOnly);
  stream->Open(nullptr, readOnly ? kFileStreamReadOnly : kFileStreamReadWrite);
  return stream;
}

FolderItemImp* FakeFolderItemImp::GetParent() {
  Record("GetParent");
  if (path_.empty()) return nullptr;
  return new FakeFolderItemImp(tree_, ParentOf(path_));
}

int32_t FakeFolderItemImp::GetCount() {
  Record("GetCount");
  return IsDirectory() ? int32_t(tree_->ChildrenOf(path_).size()) : 0;
}

FolderItemImp* FakeFolderItemImp::GetItemAt(int32_t index, uint32_t options) {
  Record("GetItemAt", index, options);
  const std::vector<std::string> children = IsDirectory() ? tree_->ChildrenOf(path_)
                                                          : std::vector<std::string>();
  if (index < 0 || size_t(index) >= children.size()) return nullptr;
  return new FakeFolderItemImp(tree_, children[size_t(index)]);
}

FolderItemImp* FakeFolderItemImp::GetChildNamed(const StringRecord* name, uint32_t options) {
  Record("GetChildNamed", -1, options, StringToStdUTF8(name));
  if (!IsDirectory()) return nullptr;
  return new FakeFolderItemImp(tree_, ChildPath(path_, StringToStdUTF8(name)));
}

FileStream* FakeFolderItemImp::CreateStream(const StringRecord* macType) {
  Record("CreateStream", -1, 0, StringToStdUTF8(macType));
  FakeFileTree::Node* parent = tree_->Find(ParentOf(path_));
  FakeFileTree::Node* node = Node();
  if (!parent || !parent->folder || (node && (node->folder || node->refuseCreate))) {
    return nullptr;
  }
  if (!node) node = &tree_->AddFile(path_);
  node->bytes.clear();
  tree_->Stamp(path_);
  tree_->Stamp(ParentOf(path_));
  return new FakeNodeStream(tree_, path_, *node, true);
}

bool FakeFolderItemImp::Delete() {
  Record("Delete");
  FakeFileTree::Node* node = Node();
  if (!node || node->refuseDelete || path_.empty() || !tree_->ChildrenOf(path_).empty()) {
    return false;
  }
  tree_->nodes_.erase(path_);
  tree_->Stamp(ParentOf(path_));
  return true;
}
