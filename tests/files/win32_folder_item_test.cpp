// The Win32 folder item on real files. The Win32ItemPathTest cases also run
// on the ANSI line (KV_FORCE_ANSI=1).
#include <algorithm>
#include <functional>

#include "FilesTestSupport.h"
#include "files/FolderItemImpWin32.h"
#include "files/ShellFacade.h"
#include "files/Win32PathText.h"
#include "testsupport/DialogWatcher.h"

namespace {

std::string Text(FolderItemImp& item, void (FolderItemImp::*get)(StringRecord**)) {
  StringRef text;
  (item.*get)(text.out());
  return StringToStdUTF8(text.get());
}

FolderItemImpPtr Adopt(FolderItemImp* item) { return FolderItemImpPtr(item); }
StringRef S(const std::string& utf8) { return StringRef::Adopt(StringFromUTF8(utf8)); }

class Win32ItemTest : public FilesTest {
 protected:
  std::unique_ptr<FolderItemImpWin32> Item(const std::wstring& name, bool* errorFlag = nullptr) {
    return FolderItemImpWin32FromPath(Utf8Of(PathOf(name)), false, false, errorFlag);
  }
  std::unique_ptr<FolderItemImpWin32> FolderItem() {
    return FolderItemImpWin32FromPath(Utf8Of(Folder()), false, false, nullptr);
  }
};

using Win32ItemPathTest = Win32ItemTest;

}  // namespace

TEST_F(Win32ItemPathTest, PathsNameTheirItemParentAndVolumeRoot) {
  // Path, " root" for a volume root; "-" for no item.
  const auto describe = [](FolderItemImp* item) {
    auto* win32 = static_cast<FolderItemImpWin32*>(item);
    return win32 ? win32->Path() + (win32->IsVolumeRoot() ? " root" : "") : "-";
  };
  const struct {
    const char* given;
    const char* item;
    const char* name;
    const char* parent;
  } cases[] = {{"C:\\", "C: root", "C:", "-"},
               {"C:", "C: root", "C:", "-"},
               {"C:\\f.txt", "C:\\f.txt", "f.txt", "C: root"},
               {"C:\\a\\f.txt", "C:\\a\\f.txt", "f.txt", "C:\\a"},
               {"\\\\srv\\share\\", "\\\\srv\\share root", "share", "-"},
               {"\\\\srv\\share\\dir", "\\\\srv\\share\\dir", "dir", "\\\\srv\\share root"},
               {"a\\b\\c", "a\\b\\c", "a\\b\\c", "-"}};
  for (const auto& c : cases) {
    auto item = FolderItemImpWin32FromPath(c.given, false, false, nullptr);
    EXPECT_EQ(describe(item.get()), c.item);
    EXPECT_EQ(Text(*item, &FolderItemImp::GetName), c.name);
    EXPECT_EQ(describe(Adopt(item->GetParent()).get()), c.parent) << c.given;
  }
  EXPECT_TRUE(FolderItemImpWin32FromPath("C:", false, false, nullptr)->IsDirectory());
  auto nearApp = FolderItemImpWin32FromPath("data\\x.txt", true, false, nullptr);
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const std::wstring exePath = exe;
  EXPECT_EQ(nearApp->Path(), Utf8Of(exePath.substr(0, exePath.rfind(L'\\'))) + "\\data\\x.txt");
  EXPECT_EQ(FolderItemImpWin32FromPath("D:\\x.txt", true, false, nullptr)->Path(), "D:\\x.txt");
}

TEST_F(Win32ItemPathTest, PropertiesOfFilesFoldersAndDrives) {
  WriteWholeFile(PathOf(L"a.txt"), "hello");
  WriteWholeFile(PathOf(L"empty.txt"), "");
  auto file = Item(L"a.txt");
  EXPECT_TRUE(file->Exists() && file->IsReadable() && !file->IsDirectory());
  EXPECT_EQ(file->GetLength(), 5);
  EXPECT_TRUE(Item(L"empty.txt")->IsReadable());
  EXPECT_TRUE(file->SetLocked(true) && file->GetLocked());
  EXPECT_TRUE(file->SetLocked(false) && !file->GetLocked());

  auto missing = Item(L"missing.txt");
  EXPECT_FALSE(missing->Exists() || missing->GetLocked());
  EXPECT_TRUE(missing->SetLocked(true));
  EXPECT_EQ(missing->GetLength(), 0);
  EXPECT_EQ(missing->GetModificationDate(), 0.0);
  auto wildcard = Item(L"*.txt");
  EXPECT_FALSE(wildcard->Exists());
  EXPECT_EQ(wildcard->GetLength(), 0);

  auto folder = FolderItem();
  const double date = folder->GetModificationDate() - 86400 * 3;
  EXPECT_TRUE(folder->SetModificationDate(date));
  EXPECT_NEAR(folder->GetModificationDate(), date, 1e-5);

  if (MakeSparseFile(PathOf(L"large.bin"), 5LL << 30)) {
    EXPECT_EQ(Item(L"large.bin")->GetLength(), -1);
  }

  ShellFacade drives = SystemShellFacade();
  drives.logicalDriveStrings = [] { return std::vector<std::string>{"C:\\", "q:\\"}; };
  auto q = FolderItemImpWin32FromPath("Q:", false, false, nullptr);
  EXPECT_FALSE(q->Exists());
  ShellFacadeScope scope(drives);
  EXPECT_TRUE(q->Exists());
}

TEST_F(Win32ItemPathTest, NamesTheSystemWouldMapElsewhereAreRefusedWith105) {
  WriteWholeFile(PathOf(L"good.txt"), "data");
  for (const wchar_t* name : {L"nul.txt", L"AUX.dat", L"COM1", L"trail.", L"x:y", L"a<b.txt"}) {
    SCOPED_TRACE(Utf8Of(name));
    bool error = false;
    auto bad = Item(name, &error);
    EXPECT_TRUE(error);
    EXPECT_EQ(bad->CreateStream(nullptr), nullptr);
    EXPECT_EQ(bad->mLastError, 105);
    auto good = Item(L"good.txt");
    EXPECT_FALSE(good->CopyFileTo(bad.get()));
    EXPECT_EQ(good->mLastError, 105);
    good->mLastError = 0;
    EXPECT_FALSE(good->SetName(S(Utf8Of(name)).get()));
    EXPECT_EQ(good->mLastError, 105);
  }
  bool error = false;
  Item(L"missing.txt", &error);
  EXPECT_FALSE(error);
  auto folder = FolderItem();
  ASSERT_EQ(folder->GetCount(), 1);
  EXPECT_EQ(ReadWholeFile(PathOf(L"good.txt")), "data");
}

TEST_F(Win32ItemPathTest, ListingsCountAtOnceWhatTheRunTimeMade) {
  WriteWholeFile(PathOf(L"a"), "");
  WriteWholeFile(PathOf(L"b"), "");
  auto folder = FolderItem();
  ASSERT_EQ(folder->GetCount(), 2);
  std::vector<std::string> names;
  for (int32_t i = 0; i < 2; ++i) names.push_back(Text(*Adopt(folder->GetItemAt(i, 0x40)), &FolderItemImp::GetName));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(folder->GetItemAt(2, 0), nullptr);
  FileStreamPtr made(Item(L"c")->CreateStream(nullptr));
  EXPECT_EQ(folder->GetCount(), 3);
  EXPECT_EQ(Item(L"a")->GetCount(), 0);
  EXPECT_EQ(Adopt(Item(L"a")->GetChildNamed(nullptr, 0)), nullptr);
}

TEST_F(Win32ItemPathTest, FailuresLeaveTheirCodesAndTheFiles) {
  WriteWholeFile(PathOf(L"a.txt"), "a");
  WriteWholeFile(PathOf(L"b.txt"), "b");
  CreateDirectoryW(PathOf(L"full").c_str(), nullptr);
  WriteWholeFile(PathOf(L"full\\x"), "");
  auto a = Item(L"a.txt");
  auto full = Item(L"full");
  const auto failure = [](FolderItemImp& item, bool done) { return done ? 0 : item.mLastError; };
  const struct {
    const char* what;
    std::function<int32_t()> run;
    int32_t code;
  } cases[] = {
      {"copy onto an existing file", [&] { return failure(*a, a->CopyFileTo(Item(L"b.txt").get())); }, 80},
      {"copy to nil", [&] { return failure(*a, a->CopyFileTo(nullptr)); }, 100},
      {"move to nil", [&] { return failure(*a, a->MoveFileTo(nullptr)); }, 100},
      {"rename onto an existing name",
       [&] { return failure(*a, a->SetName(S("b.txt").get())); }, 183},
      {"delete a folder with a file", [&] { return failure(*full, full->Delete()); }, 145},
  };
  for (const auto& c : cases) EXPECT_EQ(c.run(), c.code) << c.what;
  EXPECT_EQ(a->Path(), Utf8Of(PathOf(L"a.txt")));
  EXPECT_EQ(ReadWholeFile(PathOf(L"b.txt")), "b");

  // Into a folder a copy takes the item's name; a rename may move.
  EXPECT_TRUE(a->CopyFileTo(full.get()));
  EXPECT_EQ(ReadWholeFile(PathOf(L"full\\a.txt")), "a");
  EXPECT_TRUE(a->SetName(S("full\\moved.txt").get()));
  EXPECT_EQ(a->Path(), Utf8Of(PathOf(L"full\\moved.txt")));
}

TEST_F(Win32ItemTest, AFourHundredCharacterPathWorksWholeOnTheWideLine) {
  std::wstring name = std::wstring(200, L'd');
  CreateDirectoryW(PathOf(name).c_str(), nullptr);
  name += L"\\" + std::wstring(400 - Folder().size() - name.size() - 2, L'f');
  ASSERT_EQ(PathOf(name).size(), 400u);
  auto item = Item(name);
  FileStreamPtr stream(item->CreateStream(nullptr));
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(stream->Write("long", 4));
  stream.reset();
  auto listed = Adopt(Item(std::wstring(200, L'd'))->GetItemAt(0, 0));
  EXPECT_EQ(Text(*listed, &FolderItemImp::GetAbsolutePath), Utf8Of(PathOf(name)));
  EXPECT_EQ(listed->GetLength(), 4);
  EXPECT_TRUE(item->SetName(S("short").get()));
  EXPECT_TRUE(item->Delete());
  EXPECT_EQ(Item(std::wstring(200, L'd'))->GetCount(), 0);
}

// GetFolderItem, Parent, Child and Item past 1,024 characters; a path past
// what the system takes fails its operations with a code.
TEST_F(Win32ItemTest, PathsPastAThousandCharactersWorkAndTooLongOnesFail) {
  std::wstring deep = Folder();
  while (deep.size() < 1035) {
    deep += L"\\" + std::wstring(std::min<size_t>(200, 1035 - deep.size() - 1), L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  }
  bool refused = false;
  auto folder = FolderItemImpWin32FromPath(Utf8Of(deep), true, false, &refused);
  ASSERT_EQ(folder->Path().size(), 1035u);
  EXPECT_FALSE(refused);
  auto file = Adopt(folder->GetChildNamed(S("f.txt").get(), 0x40));
  FileStreamPtr(file->CreateStream(nullptr))->Write("long", 4);
  auto parent = Adopt(file->GetParent());
  EXPECT_EQ(Text(*parent, &FolderItemImp::GetAbsolutePath), Utf8Of(deep) + "\\");
  EXPECT_EQ(Adopt(parent->GetItemAt(0, 0x40))->GetLength(), 4);
  EXPECT_TRUE(file->Delete());
  EXPECT_FALSE(FileExists(deep + L"\\f.txt"));

  std::string tooLong = Utf8Of(deep);
  while (tooLong.size() < 33000) tooLong += "\\" + std::string(200, 'x');
  auto beyond = FolderItemImpWin32FromPath(tooLong, false, false, &refused);
  EXPECT_TRUE(refused);
  EXPECT_FALSE(beyond->Exists());
  EXPECT_EQ(beyond->CreateStream(nullptr), nullptr);
  EXPECT_NE(beyond->mLastError, 0);
  beyond->mLastError = 0;
  EXPECT_FALSE(beyond->CreateAsFolder());
  EXPECT_NE(beyond->mLastError, 0);
  EXPECT_EQ(Adopt(beyond->GetParent())->GetCount(), 0);
}

TEST_F(Win32ItemTest, NamesOutsideTheCodePageRoundTripOnTheWideLine) {
  auto folder = Item(L"\u03A9mega");
  ASSERT_TRUE(folder->CreateAsFolder());
  auto file = Adopt(folder->GetChildNamed(S("\xC3\xA9.txt").get(), 0));
  FileStreamPtr(file->CreateStream(nullptr))->Write("x", 1);
  EXPECT_EQ(ReadWholeFile(PathOf(L"\u03A9mega\\\u00E9.txt")), "x");
  EXPECT_EQ(Text(*Adopt(FolderItem()->GetItemAt(0, 0)), &FolderItemImp::GetName), "\xCE\xA9mega");
}

TEST_F(Win32ItemTest, ShellCallsGoThroughTheFacade) {
  std::vector<std::string> calls;
  ShellFacade recording = SystemShellFacade();
  recording.execute = [&](const std::string& verb, const std::string& file,
                          const std::string& parameters, int show) {
    calls.push_back(verb + "|" + file + "|" + parameters + "|" + std::to_string(show));
    return intptr_t(42);
  };
  auto item = Item(L"doc.txt");
  const std::string path = Utf8Of(PathOf(L"doc.txt"));
  {
    ShellFacadeScope scope(recording);
    EXPECT_TRUE(item->Launch(true) && item->Launch(false));
    item->RevealInFileBrowser();
    RuntimeShowURL(S("http://127.0.0.1/").get());
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"open|" + path + "||5", "open|" + path + "||4",
                                             "open|explorer|/select, \"" + path + "\"|5",
                                             "open|http://127.0.0.1/||5"}));
  // The one program start of the tests: a type nothing opens.
  WriteWholeFile(PathOf(L"x.zzq"), "");
  auto orphan = Item(L"x.zzq");
  EXPECT_FALSE(orphan->Launch(true));
  EXPECT_EQ(orphan->mLastError, 31);
}

TEST_F(Win32ItemTest, ShortcutsResolveToTheirTargetWithoutAWindow) {
  WriteWholeFile(PathOf(L"target.txt"), "t");
  WriteWholeFile(PathOf(L"gone.txt"), "g");
  for (const wchar_t* target : {L"target.txt", L"gone.txt"}) {
    MakeShortcut(PathOf(std::wstring(target) + L".lnk"), PathOf(target));
  }
  WriteWholeFile(PathOf(L"fake.lnk"), "L\0\0\0 text that only looks like a link, long enough.........");
  auto link = Item(L"target.txt.lnk");
  EXPECT_TRUE(link->IsAlias());
  EXPECT_EQ(Adopt(link->ResolveAlias(0x40))->GetLength(), 1);
  EXPECT_EQ(Text(*Adopt(link->ResolveAlias(0x40)), &FolderItemImp::GetName), "target.txt");
  EXPECT_FALSE(Item(L"fake.lnk")->IsAlias());
  EXPECT_FALSE(Item(L"target.txt")->IsAlias());

  DeleteFileW(PathOf(L"gone.txt").c_str());
  DialogWatcher watcher({{}, IDCANCEL, 5000});
  const DWORD start = GetTickCount();
  auto resolved = Adopt(Item(L"gone.txt.lnk")->ResolveAlias(0x40));
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_FALSE(watcher.Finish().found);
  EXPECT_EQ(Text(*resolved, &FolderItemImp::GetName), "gone.txt");
}

TEST_F(Win32ItemTest, TheWriteProbeKeepsTheFolderAsItWas) {
  WriteWholeFile(PathOf(L"$$TestFile$$"), "");
  WriteWholeFile(PathOf(L"$$TestFile$$0"), "");
  WriteWholeFile(PathOf(L"held.txt"), "held");
  auto folder = FolderItem();
  const double before = folder->GetModificationDate();
  EXPECT_TRUE(folder->IsWriteable());
  EXPECT_NEAR(folder->GetModificationDate(), before, 1e-5);
  EXPECT_FALSE(FileExists(PathOf(L"$$TestFile$$1")));

  auto held = Item(L"held.txt");
  const double heldDate = held->GetModificationDate();
  HANDLE holder = CreateFileW(PathOf(L"held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  EXPECT_FALSE(held->IsWriteable());
  CloseHandle(holder);
  EXPECT_TRUE(held->IsWriteable());
  EXPECT_NEAR(held->GetModificationDate(), heldDate, 1e-5);
  EXPECT_EQ(ReadWholeFile(PathOf(L"held.txt")), "held");
}

TEST_F(Win32ItemTest, MoveToTrashPutsTheFileInTheBinOrAsksBeforeDeletingIt) {
  WriteWholeFile(PathOf(L"trashme.txt"), "bytes");
  // The system's bin lives in the XDG data folder, which Wine does not make;
  // it cannot be made where its parent is a plain file (the other entry).
  const std::wstring xdg = XdgDataFolder();
  const bool binUsable = CreateDirectoryW(xdg.c_str(), nullptr) ||
                         GetLastError() == ERROR_ALREADY_EXISTS;
  DialogWatcher watcher({{}, IDNO, 10000});
  const bool trashed = Item(L"trashme.txt")->MoveToTrash();
  const DialogWatcher::Seen& seen = watcher.Finish();
  if (binUsable) {
    EXPECT_TRUE(trashed);
    EXPECT_FALSE(seen.found);
    EXPECT_EQ(ReadWholeFile(xdg + L"\\Trash\\files\\trashme.txt"), "bytes");
  } else {
    EXPECT_FALSE(trashed);
    EXPECT_EQ(seen.title, L"Confirm file deletion");
    EXPECT_FALSE(seen.cancelledAtDeadline);
    EXPECT_EQ(ReadWholeFile(PathOf(L"trashme.txt")), "bytes");
  }
  DeleteFileW((xdg + L"\\Trash\\files\\trashme.txt").c_str());
  DeleteFileW((xdg + L"\\Trash\\info\\trashme.txt.trashinfo").c_str());
}
