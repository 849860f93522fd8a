// The System object, network interfaces and the inert key-chain and
// AppleEvent classes. Interfaces are read over the fake adapter chain
// (OwnSystemInterfaces), the screen and mouse with the desktop held
// (OwnSystemDesktop), the command line by a child run (OwnCommandLine).
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "core/diagnostics.h"
#include "files/runFolderItem.h"
#include "host/Win32Handles.h"
#include "host/relocentry.h"
#include "system/AppleEvents.h"
#include "system/NetworkInterfaces.h"
#include "system/RunSystem.h"
#include "system/runSerial.h"
#include "tests/system/SystemTestSupport.h"
#include "tests/system/VariantTestSupport.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"

namespace {

ObjectRef NewSystem() { return ObjectRef::Adopt(getSystemObject()); }

ObjectDefinition* DefinitionNamed(const char* name) {
  RuntimeClass* runtimeClass = RuntimeLookupClass(name);
  return runtimeClass ? runtimeClass->definition : nullptr;
}

// Whether an accessor of the type gives 0, 0.0, false, nil or "".
// On this target Single and Double come back on the FPU stack, everything
// else in EAX (a Boolean in AL).
bool GivesNothing(void* function, MemberType type, RuntimeObject* object, uint32_t parameter) {
  if (type == &kSingleType || type == &kDoubleType) {
    return reinterpret_cast<double (*)(RuntimeObject*, uint32_t)>(function)(object, parameter) == 0;
  }
  const uintptr_t word =
      reinterpret_cast<uintptr_t (*)(RuntimeObject*, uint32_t)>(function)(object, parameter);
  return (type == &kBooleanType ? word & 0xFF : word) == 0;
}

const char* const kKeywordMethods[] = {
    "IntegerParam", "SingleParam",     "DoubleParam",     "BooleanParam",  "StringParam",
    "MacTypeParam", "EnumeratedParam", "FolderItemParam", "DescListParam", "ObjectSpecifierParam",
    "RecordParam",  "SetNullParam",    "LoadFromTemplate"};

const std::map<std::string, std::vector<std::string>> kInertMembers = {
    {"KeyChain", {"Handle", "Constructor", "Unlock", "Lock", "AddPassword", "FindPassword"}},
    {"KeyChainItem",
     {"Handle", "Description", "Comment", "Label", "ServiceName", "AccountName", "Delete"}},
    {"AppleEvent",
     {"ReplyString", "ReplyBoolean", "ReplyInteger", "ReplyEnumerated", "ReplyMacType",
      "ReplySingle", "ReplyDouble", "ReplyFolderItem", "ReplyObjectSpecifier", "ReplyDescList",
      "ReplyRecord", "Timeout", "Ptr", "ReplyPtr", "Send"}},
    {"AppleEventRecord", {}},
    {"AppleEventDescList",
     {"Count", "IntegerItem", "StringItem", "FolderItemItem", "RecordItem", "BooleanItem",
      "DescListItem", "ObjectSpecifierItem", "AppendInteger", "AppendString", "AppendFolderItem",
      "AppendRecord", "AppendBoolean", "AppendDescList", "AppendObjectSpecifier"}},
    {"AppleEventObjectSpecifier", {}},
    {"AppleEventTemplate", {"IntegerParam", "StringParam", "FolderItemParam"}},
    {"AppleEventTarget", {"Remote", "Name", "Zone", "Computer", "PortType"}},
};

using SystemTest = HostTest;

// The members that take or give a FolderItem carry its definition.
TEST_F(SystemTest, InertClassesHaveEveryMemberAndEachGivesNothing) {
  ObjectDefinition* folderItem = GetFolderItemClassDefinition();
  int folderItemTyped = 0;
  for (const auto& [className, members] : kInertMembers) {
    SCOPED_TRACE(className);
    ObjectDefinition* definition = DefinitionNamed(className.c_str());
    ASSERT_NE(definition, nullptr);
    std::vector<std::string> names = members;
    if (className == "AppleEvent" || className == "AppleEventRecord") {
      names.insert(names.end(), std::begin(kKeywordMethods), std::end(kKeywordMethods));
    }
    for (const std::string& name : names) {
      EXPECT_TRUE(definition->FindProperty(name.c_str()) || definition->FindMethod(name.c_str()))
          << name;
    }
    // Methods first: what they are given (appends too) must not show after.
    ObjectRef object = ObjectRef::Adopt(CreateInstance(definition));
    for (const MethodDefinition* method = definition->methods; method; method = method->next) {
      const MethodRecord* r = method->record;
      folderItemTyped +=
          (r->returnType || !r->parameterCount ? r->returnType : r->parameters[0].type) ==
          folderItem;
      if (r->setter)
        reinterpret_cast<void (*)(RuntimeObject*, int, int)>(r->setter)(object.get(), 0, 5);
      if (r->function && !r->returnType) {
        reinterpret_cast<void (*)(RuntimeObject*, int)>(r->function)(object.get(), 5);
      } else if (r->function) {
        EXPECT_TRUE(GivesNothing(r->function, r->returnType, object.get(), 5)) << r->name;
      }
    }
    for (const PropertyDefinition* property = definition->properties; property;
         property = property->next) {
      const PropertyRecord* r = property->record;
      const bool kept = std::strcmp(r->name, "Timeout") == 0;
      folderItemTyped += r->type == folderItem;
      if (r->setter) {
        reinterpret_cast<void (*)(RuntimeObject*, uint32_t, int)>(r->setter)(
            object.get(), r->parameter, kept ? 30 : 5);
      }
      EXPECT_TRUE(kept ? GetProperty<int32_t>(object.get(), "Timeout") == 30
                       : GivesNothing(r->getter, r->type, object.get(), r->parameter))
          << r->name;
    }
  }
  EXPECT_EQ(folderItemTyped, 6)
      << "ReplyFolderItem, FolderItemParam (3), FolderItemItem, AppendFolderItem";
  for (const char* kind : {"Named", "UniqueID", "Ordinal", "Indexed", "Property",
                           "StringComparison", "Range", "Test"}) {
    void* function = LookupEntryPoint(("get" + std::string(kind) + "ObjectDescriptor").c_str());
    ASSERT_NE(function, nullptr) << kind;
    EXPECT_EQ(reinterpret_cast<RuntimeObject* (*)(int, int, int, int)>(function)(1, 2, 3, 4),
              nullptr);
  }
}

bool QuickTimeAnswersInstalled(bool start, int32_t*) { return !start; }

TEST_F(SystemTest, EachCallGivesANewObjectWhoseMembersAnswer) {
  ObjectRef system = NewSystem();
  EXPECT_NE(system.get(), NewSystem().get());
  EXPECT_EQ(GetProperty<int32_t>(system.get(), "SerialPortCount"), getSerialPortCount());
  int32_t result = 7;
  EXPECT_FALSE(CallMethod<bool>(system.get(), "Gestalt", Text("sysv").get(), &result));
  EXPECT_EQ(result, 0);

  ObjectRef quickTime = ObjectRef::Adopt(GetProperty<RuntimeObject*>(system.get(), "Quicktime"));
  EXPECT_FALSE(GetProperty<bool>(quickTime.get(), "Installed"));
  SetQuickTimeInstalledQuery(QuickTimeAnswersInstalled);
  EXPECT_TRUE(GetProperty<bool>(quickTime.get(), "Installed")) << "asked without starting it";
  SetQuickTimeInstalledQuery(nullptr);

  for (const char* name : {"MACAddress", "IPAddress", "SubnetMask"}) {
    void* getter = GetNetworkInterfaceClassDefinition()->FindProperty(name)->record->getter;
    EXPECT_EQ(reinterpret_cast<StringRecord* (*)(RuntimeObject*)>(getter)(nullptr), nullptr);
  }
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  for (size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_NE(boxes[i].text.find("networkInterfaceObject\r\nSource: RunSystem, line " +
                                 std::to_string(std::vector<int>{473, 489, 508}[i])),
              std::string::npos);
  }
}

// The child run writes "<encoding> <bytes>" of its command line to the file
// SYSTEM_TEST_OUTPUT names.
class OwnCommandLine : public OwnProcessTest {};

TEST_F(OwnCommandLine, WritesItsCommandLine) {
  StringRef line = StringRef::Adopt(CallMethod<StringRecord*>(NewSystem().get(), "CommandLine"));
  std::ofstream(std::getenv("SYSTEM_TEST_OUTPUT"), std::ios::binary)
      << StringEncoding(line.get()) << ' ' << StringBytes(line.get());
}

std::string ChildCommandLine(const std::wstring& argument) {
  wchar_t program[MAX_PATH], folder[MAX_PATH], output[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"cl", 0, output);
  SetEnvironmentVariableW(L"SYSTEM_TEST_VARIANT", L"OwnCommandLine");
  SetEnvironmentVariableW(L"SYSTEM_TEST_OUTPUT", output);
  std::wstring command =
      L"\"" + std::wstring(program) + L"\" --gtest_filter=OwnCommandLine.* " + argument;
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  UniqueFile silence(CreateFileW(L"NUL", GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = silence.get();
  PROCESS_INFORMATION child{};
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &child)) {
    WaitForSingleObject(child.hProcess, 60000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  std::stringstream written;
  written << std::ifstream(output, std::ios::binary).rdbuf();
  DeleteFileW(output);
  return written.str();
}

TEST_F(SystemTest, TheCommandLineKeepsEveryCharacter) {
  const std::string wide = ChildCommandLine(L"\u03A9-\u00E9");
  EXPECT_EQ(wide.substr(0, wide.find(' ')), std::to_string(kEncodingUTF8));
  EXPECT_EQ(wide.substr(wide.size() - 6), " \xCE\xA9-\xC3\xA9");
  SetEnvironmentVariableW(L"KV_FORCE_ANSI", L"1");
  const std::string ansi = ChildCommandLine(L"\u00E9");
  SetEnvironmentVariableW(L"KV_FORCE_ANSI", nullptr);
  EXPECT_EQ(ansi.substr(0, ansi.find(' ')), std::to_string(GetSystemTextEncoding()));
  EXPECT_EQ(ansi.substr(ansi.size() - 2), " \xE9");
}

// ---- Network interfaces (the fake chain) ----

class OwnSystemInterfaces : public OwnProcessTest {
 protected:
  void TearDown() override {
    _putenv("FAKE_ADAPTERS_EMPTY=");
    OwnProcessTest::TearDown();
  }
  // "<address> <mask> <MAC>" of GetNetworkInterface(index), or what it raised.
  static std::string Interface(RuntimeObject* system, int32_t index) {
    ObjectRef found =
        ObjectRef::Adopt(CallMethod<RuntimeObject*>(system, "GetNetworkInterface", index));
    if (!found) return Raised(false);
    std::string texts;
    for (const char* name : {"IPAddress", "SubnetMask", "MACAddress"}) {
      texts += (texts.empty() ? "" : " ") + BytesOf(GetProperty<StringRecord*>(found.get(), name));
    }
    return texts;
  }
};

TEST_F(OwnSystemInterfaces, IndexesFromMinusOneToTheCountGiveTheirTexts) {
  ObjectRef system = NewSystem();
  EXPECT_EQ(GetProperty<int32_t>(system.get(), "NetworkInterfaceCount"), 3);
  const std::pair<int32_t, std::string> cases[] = {{-1, "10.0.0.1 255.255.255.0 00:1A:2B:3C:4D:5E"},
                                                   {2, "0.0.0.0 0.0.0.0 "},
                                                   {3, "OutOfBoundsException"},
                                                   {-2, "OutOfBoundsException"}};
  for (const auto& [index, texts] : cases)
    EXPECT_EQ(Interface(system.get(), index), texts) << index;

  _putenv("FAKE_ADAPTERS_EMPTY=1");
  EXPECT_EQ(Interface(system.get(), 0), "OutOfBoundsException");
  const uint32_t host = GetLocalHostAddress();
  std::ostringstream dotted;
  dotted << (host >> 24) << '.' << (host >> 16 & 255) << '.' << (host >> 8 & 255) << '.'
         << (host & 255);
  EXPECT_EQ(Interface(system.get(), -1), dotted.str() + " 0.0.0.0 ");
}

// ---- The screen and the mouse ----

int askedKey = 0;
int WINAPI SwappedButtons(int index) { return index == SM_SWAPBUTTON; }
SHORT WINAPI KeyDown(int virtualKey) {
  askedKey = virtualKey;
  return SHORT(0x8000);
}

class OwnSystemDesktop : public OwnProcessTest {
 protected:
  void TearDown() override {
    SetMouseButtonReaders({GetSystemMetrics, GetAsyncKeyState});
    DestroyWindow(popup);
    SetCursorPos(0, 0);
    OwnProcessTest::TearDown();
  }
  HWND popup = nullptr;
};

TEST_F(OwnSystemDesktop, PixelsAndTheMouseAreReadFromTheScreen) {
  WNDCLASSW filled{};
  filled.lpfnWndProc = DefWindowProcW;
  filled.hInstance = GetModuleHandleW(nullptr);
  filled.hbrBackground = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
  filled.lpszClassName = L"SystemTestPopup";
  RegisterClassW(&filled);
  popup = CreateWindowExW(WS_EX_TOPMOST, filled.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 200, 150,
                          80, 60, nullptr, nullptr, filled.hInstance, nullptr);
  ObjectRef system = NewSystem();
  RuntimeObject* s = system.get();
  auto pixel = [s](int32_t x, int32_t y) { return CallMethod<uint32_t>(s, "Pixel", x, y); };
  EXPECT_TRUE(RuntimeTestEnvironment::RunUntil([&] { return pixel(240, 180) == 0x123456; }, 5000));
  EXPECT_EQ(pixel(-5, -5), 0u);

  for (const POINT& at : {POINT{213, 171}, POINT{37, 9}}) {
    SetCursorPos(at.x, at.y);
    EXPECT_EQ(GetProperty<int32_t>(s, "MouseX") * 1000 + GetProperty<int32_t>(s, "MouseY"),
              at.x * 1000 + at.y);
  }

  ASSERT_TRUE(MakeForeground(popup));
  SendMouseMove(POINT{240, 180});
  for (bool down : {true, false}) {
    SendMouseButton(down);
    EXPECT_TRUE(RuntimeTestEnvironment::RunUntil(
        [&] { return GetProperty<bool>(s, "MouseDown") == down; }, 5000));
  }
  SetMouseButtonReaders({SwappedButtons, KeyDown});
  EXPECT_TRUE(GetProperty<bool>(s, "MouseDown"));
  EXPECT_EQ(askedKey, VK_RBUTTON);
}

}  // namespace
