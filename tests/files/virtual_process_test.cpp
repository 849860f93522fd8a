// Virtual volumes and other processes: a writer killed with its volume open
// leaves a container the next run reads and grows, a container another
// process holds is not opened here, and a process that ends normally with a
// stream open stores the stream's length and the block map. The child is
// this test program, run with KV_VIRTUAL_CHILD set to "<mode>|<container>".
#include <string>

#include "VirtualVolumeTestSupport.h"
#include "testsupport/VirtualVolumeFixtures.h"

namespace {

constexpr wchar_t kChildVariable[] = L"KV_VIRTUAL_CHILD";

ObjectRef VolumeIn(const std::string& path, const char* method) {
  ObjectRef item = Adopt(RuntimeGetFolderItem(S(path).get()));
  return Adopt(CallMethod<RuntimeObject*>(item.get(), method));
}

ObjectRef RootOf(RuntimeObject* volume) {
  return Adopt(GetProperty<RuntimeObject*>(volume, "Root"));
}

class VirtualProcessTest : public FilesTest {
 protected:
  std::string Container() { return Utf8Of(PathOf(L"vol.dat")); }
  // This program as a child in the mode; its process handle, or null.
  HANDLE StartChild(const std::wstring& mode) {
    wchar_t self[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring command = L"\"" + std::wstring(self, length) +
                           L"\" --gtest_color=no --gtest_filter=VirtualVolumeChild.*";
    SetEnvironmentVariableW(kChildVariable, (mode + L"|" + PathOf(L"vol.dat")).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const BOOL made = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &process);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    if (!made) return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
  }
};

class VirtualVolumeChild : public HostTest {};

}  // namespace

// The child's side.
TEST_F(VirtualVolumeChild, WorksOnTheContainerItIsGiven) {
  wchar_t value[2048] = {};
  if (GetEnvironmentVariableW(kChildVariable, value, 2048) == 0) {
    GTEST_SKIP() << "run as a child by the process tests";
  }
  const std::wstring setting = value;
  const std::wstring mode = setting.substr(0, setting.find(L'|'));
  const std::wstring path = setting.substr(setting.find(L'|') + 1);
  ObjectRef volume = VolumeIn(Utf8Of(path), "OpenAsVirtualVolume");
  ASSERT_NE(volume.get(), nullptr);
  ObjectRef root = RootOf(volume.get());
  if (mode == L"fill") {
    // C takes the blocks A leaves; then the process waits to be ended.
    CallMethod(Child(root.get(), "A").get(), "Delete");
    ObjectRef stream = WriteOpen(Child(root.get(), "C").get(), Pattern(5000, 2));
    CallMethod(stream.get(), "Close");
    WriteWholeFile(path + L".ready", "");
    for (;;) Sleep(1000);
  }
  // Ends with the stream open and every object still held.
  WriteOpen(Child(root.get(), "E").get(), Pattern(100, 4)).release();
  root.release();
  volume.release();
}

TEST_F(VirtualProcessTest, AKilledWriterLeavesAVolumeThatReadsAndGrows) {
  {
    ObjectRef volume = VolumeIn(Container(), "CreateVirtualVolume");
    ASSERT_NE(volume.get(), nullptr);
    CallMethod(WriteOpen(Child(RootOf(volume.get()).get(), "A").get(), Pattern(5000, 1)).get(),
               "Close");
  }
  HANDLE child = StartChild(L"fill");
  ASSERT_NE(child, nullptr);
  for (int waited = 0; waited < 600 && !FileExists(PathOf(L"vol.dat.ready")); ++waited) Sleep(100);
  const bool ready = FileExists(PathOf(L"vol.dat.ready"));
  // Held by the child: not opened here.
  const bool openedHere = VolumeIn(Container(), "OpenAsVirtualVolume").get() != nullptr;
  TerminateProcess(child, 9);
  WaitForSingleObject(child, 60000);
  CloseHandle(child);
  ASSERT_TRUE(ready);
  EXPECT_FALSE(openedHere);

  const ContainerReport killed = CheckContainer(ReadWholeFile(PathOf(L"vol.dat")));
  EXPECT_TRUE(killed.Clean()) << DamageText(killed);
  EXPECT_EQ(killed.storedMapLength, 0u) << "a changed volume's map is stale until it closes";
  {
    ObjectRef volume = VolumeIn(Container(), "OpenAsVirtualVolume");
    ASSERT_NE(volume.get(), nullptr);
    ObjectRef root = RootOf(volume.get());
    EXPECT_EQ(ReadAll(Child(root.get(), "C").get()), Pattern(5000, 2));
    CallMethod(WriteOpen(Child(root.get(), "D").get(), Pattern(5000, 3)).get(), "Close");
    EXPECT_EQ(ReadAll(Child(root.get(), "C").get()), Pattern(5000, 2));
  }
  const ContainerReport report = CheckContainer(ReadWholeFile(PathOf(L"vol.dat")));
  EXPECT_TRUE(report.Clean()) << DamageText(report);
  EXPECT_TRUE(report.storedMapMatches);
  EXPECT_EQ(report.files.at("C"), Pattern(5000, 2));
  EXPECT_EQ(report.files.at("D"), Pattern(5000, 3));
  EXPECT_EQ(report.files.count("A"), 0u);
}

TEST_F(VirtualProcessTest, AnOpenStreamIsStoredWhenTheProcessEnds) {
  VolumeIn(Container(), "CreateVirtualVolume");
  HANDLE child = StartChild(L"exit");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(WaitForSingleObject(child, 60000), WAIT_OBJECT_0);
  DWORD code = ~0u;
  GetExitCodeProcess(child, &code);
  CloseHandle(child);
  EXPECT_EQ(code, 0u);
  const ContainerReport report = CheckContainer(ReadWholeFile(PathOf(L"vol.dat")));
  EXPECT_TRUE(report.Clean()) << DamageText(report);
  EXPECT_TRUE(report.storedMapMatches);
  EXPECT_EQ(report.files.at("E"), Pattern(100, 4));
}
