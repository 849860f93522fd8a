// The file dialogs on the system's own dialogs, each answered by a watcher
// thread (with a deadline after which it cancels).
#include <atomic>
#include <thread>

#include "FilesTestSupport.h"
#include "files/FileTypes.h"
#include "files/FolderItemDialog.h"
#include "files/runFolderItem.h"
#include "testsupport/DialogWatcher.h"
#include "testsupport/UiTestSupport.h"
#include "ui/RuntimeWindow.h"
#include "ui/window.h"

namespace {

constexpr int kFileNameBox = 0x480;
constexpr int kFileTypeBox = 0x470;

// Answers the first visible dialog of this process that another dialog owns
// (with ownedOnly), or any: keeps its owner and its static texts, presses the
// button and then, when ownerButton is not 0, that button of its owner.
class OwnedDialogAnswerer {
 public:
  OwnedDialogAnswerer(bool ownedOnly, int button, int ownerButton = 0)
      : thread_([=] { Answer(ownedOnly, button, ownerButton); }) {}
  ~OwnedDialogAnswerer() { Finish(); }
  void Finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  HWND owner = nullptr;
  std::wstring text;

 private:
  struct Search {
    bool ownedOnly;
    HWND found;
  };
  static bool IsDialog(HWND window) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId() && IsWindowVisible(window) &&
           std::string(name) == "#32770";
  }
  static BOOL CALLBACK Take(HWND window, LPARAM search) {
    auto* wanted = reinterpret_cast<Search*>(search);
    if (!IsDialog(window) || (wanted->ownedOnly && !IsDialog(GetWindow(window, GW_OWNER)))) {
      return TRUE;
    }
    wanted->found = window;
    return FALSE;
  }
  static BOOL CALLBACK AddText(HWND child, LPARAM text) {
    wchar_t part[512] = {};
    GetWindowTextW(child, part, 512);
    *reinterpret_cast<std::wstring*>(text) += part;
    return TRUE;
  }
  void Answer(bool ownedOnly, int button, int ownerButton) {
    const DWORD start = GetTickCount();
    Search search{ownedOnly, nullptr};
    while (!stop_ && !search.found && GetTickCount() - start < 10000) {
      Sleep(20);
      EnumWindows(Take, reinterpret_cast<LPARAM>(&search));
    }
    if (!search.found) return;
    owner = GetWindow(search.found, GW_OWNER);
    EnumChildWindows(search.found, AddText, reinterpret_cast<LPARAM>(&text));
    PostMessageW(search.found, WM_COMMAND, button, 0);
    while (ownerButton && IsWindow(search.found) && GetTickCount() - start < 10000) Sleep(20);
    if (ownerButton) PostMessageW(owner, WM_COMMAND, ownerButton, 0);
  }

  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class FileDialogTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    RegisterFileType({"text", "TEXT", "ttxt", ".txt"});
  }
  void TearDown() override {
    ForgetFileTypes();
    FilesTest::TearDown();
  }
  ObjectRef NewDialog(ObjectDefinition* definition) {
    ObjectRef dialog = ObjectRef::Adopt(CreateInstance(definition));
    ObjectRef folder = ObjectRef::Adopt(RuntimeGetFolderItem(PathString(L"").get()));
    SetProperty<RuntimeObject*>(dialog.get(), "InitialDirectory", folder.get());
    return dialog;
  }
  void SetText(RuntimeObject* dialog, const char* property, const char* text) {
    SetProperty<StringRecord*>(dialog, property, StringRef::Adopt(StringFromUTF8(text)).get());
  }
  std::string Chosen(RuntimeObject* item) {
    return StringToStdUTF8(StringRef::Adopt(FolderItemPathOf(ObjectRef::Adopt(item).get())).get());
  }
  std::wstring ControlText(const DialogWatcher::Seen& seen, int id, const char* className) {
    for (const DialogWatcher::Control& control : seen.controls) {
      if (control.id == id && control.className == className) return control.text;
    }
    return L"<none>";
  }
};

TEST_F(FileDialogTest, TheOpenDialogShowsItsSettingsAndGivesTheChosenFile) {
  WriteWholeFile(PathOf(L"h.txt"), "h");
  MakeShortcut(PathOf(L"h.lnk"), PathOf(L"h.txt"));
  const std::string chosenFile = Utf8Of(PathOf(L"h.txt"));
  ObjectRef dialog = NewDialog(GetOpenDialogClassDefinition());
  SetProperty<int32_t>(dialog.get(), "Left", 100);
  SetProperty<int32_t>(dialog.get(), "Top", 50);
  SetText(dialog.get(), "Title", "Pick one");
  SetText(dialog.get(), "ActionButtonCaption", "Take");
  SetText(dialog.get(), "CancelButtonCaption", "Leave");
  SetText(dialog.get(), "Filter", "text");
  {
    DialogWatcher watcher({{{kFileNameBox, L"h.txt"}}, IDOK, 10000});
    EXPECT_EQ(Chosen(FolderItemDialogShowModal(dialog.get())), chosenFile);
    const DialogWatcher::Seen& seen = watcher.Finish();
    EXPECT_FALSE(seen.cancelledAtDeadline);
    EXPECT_EQ(std::make_pair(seen.frame.left, seen.frame.top), std::make_pair(100L, 50L));
    EXPECT_EQ(seen.title, L"Pick one");
    EXPECT_EQ(ControlText(seen, IDOK, "Button") + L"|" + ControlText(seen, IDCANCEL, "Button"), L"Take|Leave");
    EXPECT_EQ(ControlText(seen, kFileTypeBox, "ComboBox"), L"text");
  }
  {
    DialogWatcher watcher({{{kFileNameBox, L"missing.txt"}}, IDOK, 10000});
    OwnedDialogAnswerer box(true, IDOK, IDCANCEL);
    EXPECT_EQ(FolderItemDialogShowModal(dialog.get()), nullptr);
    box.Finish();
    EXPECT_NE(box.text.find(L"File does not exist"), std::wstring::npos) << box.text;
    EXPECT_FALSE(watcher.Finish().cancelledAtDeadline);
    EXPECT_EQ(Chosen(GetProperty<RuntimeObject*>(dialog.get(), "Result")), chosenFile);
  }
  DialogWatcher watcher({{{kFileNameBox, L"h.lnk"}}, IDOK, 10000});
  EXPECT_EQ(Chosen(FolderItemDialogShowModal(dialog.get())), chosenFile);
}

TEST_F(FileDialogTest, SaveAndFolderDialogsAndTheGlobalFunctions) {
  WriteWholeFile(PathOf(L"h.txt"), "h");
  const std::string folder = Utf8Of(Folder());
  ObjectRef save = NewDialog(GetSaveAsDialogClassDefinition());
  SetText(save.get(), "SuggestedFileName", "h.txt");
  {
    DialogWatcher watcher({{}, IDOK, 10000});
    OwnedDialogAnswerer replace(true, IDYES);
    EXPECT_EQ(Chosen(FolderItemDialogShowModal(save.get())), Utf8Of(PathOf(L"h.txt")));
    replace.Finish();
    EXPECT_NE(replace.text.find(L"already exists"), std::wstring::npos) << replace.text;
  }

  SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, Folder().c_str(), nullptr);
  ObjectRef browser = NewDialog(GetSelectFolderDialogClassDefinition());
  SetProperty<int32_t>(browser.get(), "Left", 120);
  SetProperty<int32_t>(browser.get(), "Top", 60);
  SetText(browser.get(), "Title", "Where");
  SetText(browser.get(), "ActionButtonCaption", "Choose");
  {
    DialogWatcher watcher({{}, IDOK, 10000});
    EXPECT_EQ(Chosen(FolderItemDialogShowModal(browser.get())), folder + "\\");
    const DialogWatcher::Seen& seen = watcher.Finish();
    EXPECT_EQ(std::make_pair(seen.frame.left, seen.frame.top), std::make_pair(120L, 60L));
    EXPECT_EQ(seen.title + L"|" + ControlText(seen, IDOK, "Button"), L"Where|Choose");
  }

  ObjectRef plain = ObjectRef::Adopt(CreateInstance(GetFolderItemDialogClassDefinition()));
  EXPECT_EQ(FolderItemDialogShowModal(plain.get()), nullptr);
  const std::vector<std::string> boxes = RuntimeTestEnvironment::TakeRecordedTexts();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("-1 != mType"), std::string::npos) << boxes[0];

  ObjectRef window = OpenTestWindow();
  {
    OwnedDialogAnswerer any(false, IDCANCEL);
    EXPECT_EQ(FolderItemDialogShowWithin(save.get(), window.get()), nullptr);
    any.Finish();
    EXPECT_EQ(any.owner, WindowHandle(window.get()));
  }
  windowClose(window.get());

  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  SetCurrentDirectoryW(Folder().c_str());
  const StringRef filter = StringRef::Adopt(StringFromUTF8("text"));
  const StringRef name = StringRef::Adopt(StringFromUTF8("new.txt"));
  {
    DialogWatcher watcher({{{kFileNameBox, L"h.txt"}}, IDOK, 10000});
    EXPECT_EQ(Chosen(RuntimeGetOpenFolderItem(filter.get())), Utf8Of(PathOf(L"h.txt")));
  }
  {
    DialogWatcher watcher({{}, IDOK, 10000});
    EXPECT_EQ(Chosen(RuntimeGetSaveFolderItem(filter.get(), name.get())), Utf8Of(PathOf(L"new.txt")));
  }
  {
    DialogWatcher watcher({{}, IDOK, 10000});
    EXPECT_EQ(Chosen(RuntimeSelectFolder()), folder + "\\");
  }
  SetCurrentDirectoryW(current);
}

}  // namespace
