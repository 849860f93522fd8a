// Volumes, special folders and the Recycle Bin, with the shell facade
// standing in for the drives and folders where the test needs another
// answer than the system's.
#include <optional>

#include "FilesTestSupport.h"
#include "files/FolderItemImpWin32.h"
#include "files/ShellFacade.h"
#include "files/SpecialFolders.h"
#include "files/runFolderItem.h"
#include "testsupport/DialogWatcher.h"

namespace {

using VolumesTest = FilesTest;

std::string PathOfItem(RuntimeObject* item) {
  return StringToStdUTF8(StringRef::Adopt(FolderItemPathOf(item)).get());
}

std::string NameOf(FolderItemImp* item) {
  StringRef name;
  if (item) item->GetName(name.out());
  return item ? StringToStdUTF8(name.get()) : "<nil>";
}

std::string NameOf(RuntimeObject* item) { return NameOf(FolderItemImpOf(item)); }

ObjectRef Adopt(RuntimeObject* object) { return ObjectRef::Adopt(object); }

// The scratch bin, empty (Wine keeps the bin's folders once it has found
// them: only their contents go).
void EmptyScratchTrash() {
  const std::wstring xdg = XdgDataFolder();
  CreateDirectoryW(xdg.c_str(), nullptr);
  CreateDirectoryW((xdg + L"\\Trash").c_str(), nullptr);
  for (const wchar_t* part : {L"\\Trash\\files", L"\\Trash\\info"}) {
    RemoveTree(xdg + part);
    CreateDirectoryW((xdg + part).c_str(), nullptr);
  }
}

TEST_F(VolumesTest, DrivesAndSpecialFoldersComeFromTheShell) {
  const ShellFacade system = SystemShellFacade();
  ShellFacade facade = system;
  facade.logicalDrives = [] { return 0b1101u; };  // A:, C:, D:
  facade.specialFolderPath = [&](int folder) {
    return folder == CSIDL_APPDATA ? std::nullopt : system.specialFolderPath(folder);
  };
  {
    ShellFacadeScope scope(facade);
    EXPECT_EQ(getVolumeCount(), 3);
    std::vector<std::string> volumes;
    for (int32_t i = 0; i < 4; ++i) volumes.push_back(NameOf(Adopt(getVolume(i)).get()));
    EXPECT_EQ(volumes, (std::vector<std::string>{"C:", "D:", "A:", "<nil>"}));
    ObjectRef volume = Adopt(getVolume(0));
    FolderItemImp* c = FolderItemImpOf(volume.get());
    EXPECT_TRUE(c->IsDirectory());
    EXPECT_EQ(FolderItemImpPtr(c->GetParent()), nullptr);

    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(PathOfItem(Adopt(getPreferencesFolder()).get()), Utf8Of(windows) + "\\");
  }
  const std::string documents = PathOfItem(Adopt(GetDocumentsFolder()).get());
  EXPECT_EQ(documents.substr(documents.size() - 11), "\\Documents\\") << documents;
  EXPECT_EQ(documents.find("\\\\"), std::string::npos) << documents;
  EXPECT_EQ(getControlPanelsFolder(), nullptr);

  ObjectRef first = Adopt(getTemporaryFolderItem());
  ObjectRef second = Adopt(getTemporaryFolderItem());
  ASSERT_TRUE(first && second);
  EXPECT_NE(PathOfItem(first.get()), PathOfItem(second.get()));
  for (RuntimeObject* item : {first.get(), second.get()}) {
    EXPECT_TRUE(FolderItemImpOf(item)->Exists());
    EXPECT_EQ(FolderItemImpOf(item)->GetLength(), 0);
    EXPECT_TRUE(FolderItemImpOf(item)->Delete());
  }

  FolderItemImp* any = FolderItemImpOf(first.get());
  EXPECT_TRUE(FolderItemImpPtr(any->FindFolder(FourCharCode("trsh")))->IsTrash());
  EXPECT_EQ(FolderItemImpPtr(any->FindFolder(FourCharCode("xxxx"))), nullptr);
  facade.temporaryPath = [] { return std::nullopt; };
  ShellFacadeScope noTemporaryFolder(facade);
  EXPECT_EQ(getTemporaryItemsFolder(), nullptr);
  EXPECT_EQ(getTemporaryFolderItem(), nullptr);
  EXPECT_EQ(FolderItemImpPtr(any->FindFolder(FourCharCode("temp"))), nullptr);
}

TEST_F(VolumesTest, TheRecycleBinListsWhatWasTrashed) {
  EmptyScratchTrash();
  const auto trashed = [&](const std::wstring& name) {
    WriteWholeFile(PathOf(name), "bytes");
    return FolderItemImpWin32FromPath(Utf8Of(PathOf(name)), false, false, nullptr);
  };
  DialogWatcher refuseDeleting({{}, IDNO, 5000});
  ASSERT_TRUE(trashed(L"trashme.txt")->MoveToTrash() && trashed(L"other.txt")->MoveToTrash());

  ObjectRef bin = Adopt(getTrashFolder());
  FolderItemImp* imp = FolderItemImpOf(bin.get());
  EXPECT_EQ(imp->GetCount(), 2);
  FolderItemImpPtr second(imp->GetItemAt(1, 0));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(FileStreamPtr(second->OpenStream(true, false)), nullptr);
  EXPECT_EQ(FolderItemImpPtr(imp->GetItemAt(2, 0)), nullptr);
  StringRef upper = StringRef::Adopt(StringFromASCII("TRASHME.TXT"));
  EXPECT_EQ(NameOf(FolderItemImpPtr(imp->GetChildNamed(upper.get(), 0)).get()), "trashme.txt");
  EXPECT_EQ(FolderItemImpPtr(imp->Clone())->GetCount(), 2);

  ASSERT_TRUE(trashed(L"third.txt")->MoveFileTo(imp));
  EXPECT_EQ(imp->GetCount(), 3);

  const std::pair<std::string, const char*> missingFunctions[] = {
      {"SHQueryRecycleBin", "SHQueryRecycleBin requires Windows 95/NT4 with IE greater than 4.0"},
      {"StrRetToStr", "StrRetToStr requires Win 98 (or Win 95 & IE 5.0 or greater) or Win2k (or NT "
                      "4 with IE 5.0 or greater)"}};
  for (const auto& [missing, message] : missingFunctions) {
    ShellFacade facade = SystemShellFacade();
    facade.procedure = [&](const char* library, const char* function) {
      return std::string(function).find(missing) == 0 ? nullptr
                                                      : SystemShellFacade().procedure(library, function);
    };
    ShellFacadeScope scope(facade);
    EXPECT_FALSE(imp->GetCount() > 0 && FolderItemImpPtr(imp->GetItemAt(0, 0))) << missing;
    ObjectRef exception = Adopt(RuntimeTakePendingException());
    ASSERT_TRUE(ObjectIsADefinition(exception.get(), GetServiceNotAvailableExceptionClassDefinition()))
        << missing;
    EXPECT_EQ(Take(GetProperty<StringRecord*>(exception.get(), "Message")).bytes, message);
    EXPECT_EQ(GetProperty<int32_t>(exception.get(), "ErrorNumber"), 0) << missing;
  }
  EmptyScratchTrash();
}

}  // namespace
