// Start-up in its fixed order, and the end sequence.
//
// The host runs its own steps and, at their places, the steps of the
// installed subsystem list; those steps also fill the host's hook slots.
#include "host/RuntimeMain.h"

#include <commctrl.h>
#include <shellapi.h>

#include <utility>

#include "core/CoreClasses.h"
#include "core/diagnostics.h"
#include "core/utility.h"
#include "host/ResourceManagerCommon.h"
#include "host/RunTimer.h"
#include "host/Win32Handles.h"
#include "host/application.h"
#include "host/relocentry.h"
#include "host/runtimemainloop.h"

namespace {

HINSTANCE instanceHandle = nullptr;
std::string commandLine;
std::vector<std::wstring> documentNames;
int32_t systemScript = 0;
UniqueModule themeLibrary;
ShutdownHook* newestHook = nullptr;
int windowsNTOverride = -1;
int windowsXPOverride = -1;
const SubsystemSetup* subsystems = nullptr;

constexpr int32_t kScriptRoman = 0;
constexpr int32_t kScriptJapanese = 13;
constexpr int32_t kScriptChinese = 21;

OSVERSIONINFOW PlatformVersion() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExW(&version);
  return version;
}

std::vector<std::wstring> DocumentNamesOfCommandLine() {
  int count = 0;
  UniqueLocal<LPWSTR> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::wstring> names;
  if (!arguments) return names;
  for (int i = 1; i < count; ++i) names.emplace_back(arguments.get()[i]);
  return names;
}

template <typename... Arguments>
void RunSubsystemStep(void (*SubsystemSetup::*step)(Arguments...), Arguments... arguments) {
  if (subsystems && subsystems->*step) (subsystems->*step)(arguments...);
}

}  // namespace

void InstallSubsystemSetup(const SubsystemSetup* setup) { subsystems = setup; }

int32_t SystemScriptOfLanguage(uint16_t language) {
  switch (language) {
    case 1041:
      return kScriptJapanese;
    case 1028:
    case 2052:
    case 3076:
    case 4100:
      return kScriptChinese;
    default:
      return kScriptRoman;
  }
}

bool RuntimeHostStartup(HINSTANCE instance, LPSTR cmdLine, std::string* error) {
  // 1. The script, before anything asks the core for the system encoding.
  systemScript = SystemScriptOfLanguage(GetUserDefaultLangID());
  // 2. Instance, command line and the origin of the ticks.
  instanceHandle = instance;
  commandLine = cmdLine ? cmdLine : "";
  documentNames = DocumentNamesOfCommandLine();
  MacTickCountSetOrigin();
  // 3.
  InitCommonControls();
  // 4. Locks: the core's are made with their data.
  RunSubsystemStep(&SubsystemSetup::createLocks);
  // 5.
  StartTimerWindow(instance);
  // 6. Themes are drawn on version 5.1 only.
  if (IsWindowsXP()) themeLibrary.reset(LoadLibraryW(L"uxtheme.dll"));
  // 7. The loop's frame hands unhandled exceptions to the host's handler
  //    (RuntimeHandOverPendingException).
  // 8. Window classes.
  RegisterHostFrameClass(instance);
  RunSubsystemStep(&SubsystemSetup::registerWindowClasses, instance);
  // 9.
  RuntimeStartOle();
  // 10. Colours and the default text style.
  RunSubsystemStep(&SubsystemSetup::fillSystemColors);
  // 11. Classes and global functions.
  RegisterCoreClasses();
  RegisterApplicationClass();
  RunSubsystemStep(&SubsystemSetup::registerClasses);
  RegisterHostEntryPoints();
  // 12. The default font.
  RunSubsystemStep(&SubsystemSetup::setDefaultFont);
  // 13. Sockets.
  RunSubsystemStep(&SubsystemSetup::startCommunications);
  // 14.
  return ResourceManager::LoadFromModule(instance, error);
}

int RuntimeHostFinish() {
  RuntimeHandOverPendingException();
  RunExitSteps();
  ReleaseAppObject();
  RunShutdownHooks();
  ResourceManager::DeleteTemporaryFiles();
  themeLibrary.reset();
  return RuntimeExitCode();
}

int RuntimeHostMain(HINSTANCE instance, LPSTR cmdLine, void (*appEntry)()) {
  std::string error;
  if (!RuntimeHostStartup(instance, cmdLine, &error)) {
    RuntimeMessageBox("The application image is damaged and cannot be run.", "Error", kBoxOK);
    RuntimeHostFinish();
    return 3;
  }
  if (appEntry) appEntry();
  return RuntimeHostFinish();
}

extern "C" HINSTANCE RuntimeInstanceHandle() { return instanceHandle; }
const char* RuntimeCommandLine() { return commandLine.c_str(); }
const std::vector<std::wstring>& RuntimeDocumentNames() { return documentNames; }
void SetRuntimeDocumentNames(std::vector<std::wstring> names) { documentNames = std::move(names); }
int32_t RuntimeSystemScript() { return systemScript; }

bool IsWindowsNT() {
  static const bool nt = PlatformVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
  return windowsNTOverride < 0 ? nt : windowsNTOverride != 0;
}

bool IsWindowsXP() {
  static const bool xp = [] {
    OSVERSIONINFOW version = PlatformVersion();
    return version.dwMajorVersion == 5 && version.dwMinorVersion == 1;
  }();
  return windowsXPOverride < 0 ? xp : windowsXPOverride != 0;
}

void OverrideWindowsNT(int answer) { windowsNTOverride = answer; }
void OverrideWindowsXP(int answer) { windowsXPOverride = answer; }

HMODULE ThemeLibraryHandle() { return themeLibrary.get(); }

ShutdownHook::ShutdownHook(const char*) : older_(newestHook) {
  if (older_) older_->newer_ = this;
  newestHook = this;
}

ShutdownHook::~ShutdownHook() {
  if (newer_) {
    newer_->older_ = older_;
  } else {
    newestHook = older_;
  }
  if (older_) older_->newer_ = newer_;
}

void RunShutdownHooks() {
  while (newestHook) delete newestHook;
}
