// The file dialogs on the system's own dialogs, each answered by a watcher
// thread (with a deadline after which it cancels).
#include <atomic>
#include <cstring>
#include <functional>
#include <tuple>
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

bool IsProcessDialog(HWND window) {
  char name[8] = {};
  DWORD process = 0;
  GetClassNameA(window, name, sizeof name);
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId() && IsWindowVisible(window) && !strcmp(name, "#32770");
}

// Answers the first visible dialog of this process that another one owns
// (or, with anyOwner, the first at all), within 10 s: keeps its owner and
// its texts, presses the button, then that of the owner when not 0.
class OwnedDialogAnswerer {
 public:
  OwnedDialogAnswerer(int button, int ownerButton, bool anyOwner = false)
      : thread_([=] { Answer(button, ownerButton, anyOwner); }) {}
  ~OwnedDialogAnswerer() { Finish(); }
  void Finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  HWND owner = nullptr;
  std::wstring text;

 private:
  void Answer(int button, int ownerButton, bool anyOwner) {
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!box && !stop_ && GetTickCount() - start < 10000) {
      Sleep(20);
      for (HWND w = GetTopWindow(nullptr); w && !box; w = GetWindow(w, GW_HWNDNEXT)) {
        if (IsProcessDialog(w) && (anyOwner || IsProcessDialog(GetWindow(w, GW_OWNER)))) box = w;
      }
    }
    if (!box) return;
    owner = GetWindow(box, GW_OWNER);
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t part[512] = {};
      GetWindowTextW(c, part, 512);
      text += part;
    }
    PostMessageW(box, WM_COMMAND, button, 0);
    while (ownerButton && IsWindow(box) && GetTickCount() - start < 10000) Sleep(20);
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
    OwnedDialogAnswerer box(IDOK, IDCANCEL);
    EXPECT_EQ(FolderItemDialogShowModal(dialog.get()), nullptr);
    box.Finish();
    EXPECT_NE(box.text.find(L"File does not exist"), std::wstring::npos) << box.text;
    EXPECT_FALSE(watcher.Finish().cancelledAtDeadline);
    EXPECT_EQ(Chosen(GetProperty<RuntimeObject*>(dialog.get(), "Result")), chosenFile);
  }
  {
    DialogWatcher watcher({{{kFileNameBox, L"h.lnk"}}, IDOK, 10000});
    EXPECT_EQ(Chosen(FolderItemDialogShowModal(dialog.get())), chosenFile);
  }
  // A typed name is found in InitialDirectory, which is neither the current
  // folder nor the one the dialog showed before.
  CreateDirectoryW(PathOf(L"start").c_str(), nullptr);
  WriteWholeFile(PathOf(L"start\\only.txt"), "o");
  ObjectRef start = ObjectRef::Adopt(RuntimeGetFolderItem(PathString(L"start").get()));
  SetProperty<RuntimeObject*>(dialog.get(), "InitialDirectory", start.get());
  DialogWatcher watcher({{{kFileNameBox, L"only.txt"}}, IDOK, 10000});
  OwnedDialogAnswerer notFound(IDOK, IDCANCEL);  // only if the name was looked for elsewhere
  EXPECT_EQ(Chosen(FolderItemDialogShowModal(dialog.get())), Utf8Of(PathOf(L"start\\only.txt")));
  notFound.Finish();
  EXPECT_EQ(notFound.text, L"");
  EXPECT_FALSE(watcher.Finish().cancelledAtDeadline);
}

TEST_F(FileDialogTest, SaveAndFolderDialogsAndTheGlobalFunctions) {
  WriteWholeFile(PathOf(L"h.txt"), "h");
  const std::string folder = Utf8Of(Folder());
  ObjectRef save = NewDialog(GetSaveAsDialogClassDefinition());
  SetText(save.get(), "SuggestedFileName", "h.txt");
  {
    DialogWatcher watcher({{}, IDOK, 10000});
    OwnedDialogAnswerer replace(IDYES, 0);
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
    OwnedDialogAnswerer any(IDCANCEL, 0, true);
    EXPECT_EQ(FolderItemDialogShowWithin(save.get(), window.get()), nullptr);
    any.Finish();
    EXPECT_EQ(any.owner, WindowHandle(window.get()));
  }
  windowClose(window.get());

  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  SetCurrentDirectoryW(Folder().c_str());
  const StringRef text = StringRef::Adopt(StringFromUTF8("text"));
  const StringRef name = StringRef::Adopt(StringFromUTF8("new.txt"));
  const std::tuple<std::function<RuntimeObject*()>, const wchar_t*, std::string> globals[] = {
      {[&] { return RuntimeGetOpenFolderItem(text.get()); }, L"h.txt", Utf8Of(PathOf(L"h.txt"))},
      {[&] { return RuntimeGetSaveFolderItem(text.get(), name.get()); }, L"new.txt",
       Utf8Of(PathOf(L"new.txt"))},
      {RuntimeSelectFolder, L"", folder + "\\"}};
  for (const auto& [run, typed, chosen] : globals) {
    DialogWatcher watcher({{{kFileNameBox, typed}}, IDOK, 10000});
    EXPECT_EQ(Chosen(run()), chosen);
  }
  SetCurrentDirectoryW(current);
}

}  // namespace
