// The Win32 folder item over what the host made (host_items.sh, through
// KV_HOST_ITEMS): names holding a backslash, which the listing shows as
// they are, and a folder the file system lets nothing be deleted from.
#include <functional>
#include <vector>

#include "FilesTestSupport.h"
#include "files/FolderItemImpWin32.h"
#include "files/runFolderItem.h"

namespace {

FolderItemImpPtr Adopt(FolderItemImp* item) { return FolderItemImpPtr(item); }
StringRef S(const std::string& utf8) { return StringRef::Adopt(StringFromUTF8(utf8)); }

std::string NameOf(FolderItemImp& item) {
  StringRef name;
  item.GetName(name.out());
  return StringToStdUTF8(name.get());
}

class HostItemsTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    folder_ = HostFolderNamedBy(L"KV_HOST_ITEMS");
    if (folder_.size() <= 2) GTEST_SKIP() << "needs the host_items fixture (KV_HOST_ITEMS)";
  }

  std::wstring PathOf(const std::wstring& name) const { return folder_ + L"\\" + name; }
  std::unique_ptr<FolderItemImpWin32> Item(const std::wstring& name) const {
    return FolderItemImpWin32FromPath(Utf8Of(PathOf(name)), false, false, nullptr);
  }
  // The folder's first listed item that is not a folder, aliases resolved as
  // Item does.
  static FolderItemImpPtr ListedNonFolder(FolderItemImp& folder) {
    for (int32_t i = 0; i < folder.GetCount(); ++i) {
      FolderItemImpPtr item = Adopt(folder.GetItemAt(i, 0x40));
      if (item && !item->IsDirectory()) return item;
    }
    return nullptr;
  }

 private:
  std::wstring folder_;
};

}  // namespace

// 'sub\..\victim.txt' would name the victim beside 'sub', 'names\back\slash'
// the file in 'names\back': the items keep their listed names and refuse
// every operation as a name holding ':' does.
TEST_F(HostItemsTest, ListedNamesHoldingABackslashReachNoOtherFile) {
  auto sub = Item(L"sub");
  auto names = Item(L"names");
  ASSERT_EQ(sub->GetCount(), 1);
  ASSERT_EQ(names->GetCount(), 2);
  FolderItemImpPtr climbing = ListedNonFolder(*sub);
  FolderItemImpPtr slash = ListedNonFolder(*names);
  ASSERT_TRUE(climbing && slash);
  EXPECT_EQ(NameOf(*climbing), "..\\victim.txt");
  EXPECT_EQ(NameOf(*slash), "back\\slash");
  FolderItemImpPtr copied = Adopt(slash->Clone());
  auto outside = Item(L"copy.txt");
  auto victim = Item(L"victim.txt");

  for (FolderItemImp* item : {climbing.get(), slash.get(), copied.get()}) {
    SCOPED_TRACE(NameOf(*item));
    EXPECT_FALSE(item->Exists() || item->IsDirectory() || item->IsReadable());
    EXPECT_EQ(item->GetLength(), 0);
    StringRef info;
    item->GetSaveInfo(info.out(), nullptr, 0);
    EXPECT_EQ(StringLength(info.get()), 0u);
    const std::function<bool()> operations[] = {
        [&] { return item->Delete(); },
        [&] { return item->SetName(S("renamed").get()); },
        [&] { return FileStreamPtr(item->OpenStream(true, true)) != nullptr; },
        [&] { return FileStreamPtr(item->CreateStream(nullptr)) != nullptr; },
        [&] { return item->CreateAsFolder(); },
        [&] { return item->CopyFileTo(outside.get()); },
        [&] { return item->MoveFileTo(outside.get()); },
        [&] {
          FolderItemImpPtr resolved = Adopt(item->ResolveAlias(0x40));
          const bool deleted = resolved->Delete();
          item->mLastError = resolved->mLastError;
          return deleted;
        },
    };
    for (size_t i = 0; i < std::size(operations); ++i) {
      item->mLastError = 0;
      EXPECT_FALSE(operations[i]()) << "operation " << i;
      EXPECT_EQ(item->mLastError, 105) << "operation " << i;
    }
    victim->mLastError = 0;
    EXPECT_FALSE(victim->CopyFileTo(item));
    EXPECT_EQ(victim->mLastError, 105);
  }
  // The database file, sounds and plug-ins open files by the item's path
  // text, which would name the victim: they get none.
  for (FolderItemImp* item : {climbing.get(), slash.get()}) {
    ObjectRef object = ObjectRef::Adopt(NewFolderItemWithImp(Adopt(item->Clone())));
    EXPECT_EQ(FolderItemPathOf(object.get()), nullptr);
    char buffer[MAX_PATH] = "x";
    EXPECT_FALSE(FolderItemCopyAbsolutePathN(buffer, sizeof buffer, object.get()));
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(StringLength(StringRef::Adopt(TOVApathFromFolderItem(object.get())).get()), 0u);
  }
  auto parent = Adopt(slash->GetParent());
  EXPECT_EQ(static_cast<FolderItemImpWin32*>(parent.get())->Path(), names->Path());

  EXPECT_EQ(ReadWholeFile(PathOf(L"victim.txt")), "victim");
  EXPECT_EQ(ReadWholeFile(PathOf(L"names\\back\\slash")), "real");
  EXPECT_EQ(Item(L"names\\back")->GetCount(), 1);
  EXPECT_EQ(sub->GetCount(), 1);
  EXPECT_EQ(names->GetCount(), 2);
  EXPECT_FALSE(FileExists(PathOf(L"copy.txt")) || FileExists(PathOf(L"renamed")));
}

// The system reports such deletes done although the item stays.
TEST_F(HostItemsTest, DeleteFailsWhereTheFileSystemKeepsTheItem) {
  const std::string frozenBy = ReadWholeFile(PathOf(L"frozen-by"));
  if (frozenBy.empty()) GTEST_SKIP() << "the host could freeze no folder";
  std::vector<std::wstring> kept = {L"frozen\\inside.txt", L"frozen\\empty"};
  if (frozenBy == "chattr\n") kept.push_back(L"immutable.txt");
  for (const std::wstring& name : kept) {
    SCOPED_TRACE(Utf8Of(name));
    auto item = Item(name);
    ASSERT_TRUE(item->Exists());
    EXPECT_FALSE(item->Delete());
    EXPECT_EQ(item->mLastError, 102);
    EXPECT_TRUE(item->Exists());
  }
  EXPECT_EQ(ReadWholeFile(PathOf(L"frozen\\inside.txt")), "kept");
}
