// The application host's start-up and end: start-up's steps in their fixed
// order, the instance and command line, the platform tests and the shutdown
// hooks.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The subsystems' part of start-up: the steps of every subsystem above the
// host, which the host runs at fixed points among its own. The run-time's
// assembly (runtime/) holds the one explicit list and installs it before it
// starts the host; an empty step is skipped, and with no list installed the
// host starts alone.
//
// A slot rather than a function the host declares and the assembly defines:
// the host is the second layer and names nothing above it, and the static
// libraries are linked from the top down, so an upward symbol would resolve
// only by an accident of the link order. The slot is filled the same way by
// the executable's entry and by test programs, like the main loop's slots.
struct SubsystemSetup {
  void (*createLocks)() = nullptr;                        // step 4
  void (*registerWindowClasses)(HINSTANCE) = nullptr;     // step 8, after the frame's
  void (*fillSystemColors)() = nullptr;                   // step 10
  // Step 11: after the core's classes and Application, before the host's
  // entry points.
  void (*registerClasses)() = nullptr;
  void (*setDefaultFont)() = nullptr;                     // step 12
  void (*startCommunications)() = nullptr;                // step 13
};
// Keeps the list (borrowed: it must outlive the run) for the next start-up.
void InstallSubsystemSetup(const SubsystemSetup* setup);

// Starts the run-time, calls appEntry (which plays the compiled code: it
// calls RuntimeInit, RuntimeRegisterAppObject and RuntimeRun) and ends it.
// Gives the exit code: 0 normally, WM_QUIT's wParam when WM_QUIT ended the
// loop, 1 after an unhandled exception other than EndException, and 3 when
// the application image is damaged (appEntry is then not called).
int RuntimeHostMain(HINSTANCE instance, LPSTR cmdLine, void (*appEntry)());

// Start-up up to and including the reading of the image (everything but the
// call of appEntry); false with a message in *error when the image is
// damaged. Test programs call it, then RuntimeHostFinish.
bool RuntimeHostStartup(HINSTANCE instance, LPSTR cmdLine, std::string* error);
// The end sequence: a pending exception goes to the handler, the exit steps
// run (unless RuntimeRun ran them), the application object is released, the
// shutdown hooks run, temporary files are deleted and the theme library is
// freed. Gives the exit code.
int RuntimeHostFinish();

extern "C" HINSTANCE RuntimeInstanceHandle();
// The command line as WinMain received it.
const char* RuntimeCommandLine();
// The documents named on the command line (the program name left out), read
// from the wide command line so that no character is lost.
const std::vector<std::wstring>& RuntimeDocumentNames();
// For tests: replaces the kept names.
void SetRuntimeDocumentNames(std::vector<std::wstring> names);

// The system script of a user language: 13 (Japanese) for 1041; 21 (Chinese)
// for 1028, 2052, 3076 and 4100; 0 for every other language.
int32_t SystemScriptOfLanguage(uint16_t language);
// The script taken from the user's default language at start-up.
int32_t RuntimeSystemScript();

// The platform, tested once: the NT line, and version 5.1 exactly.
bool IsWindowsNT();
bool IsWindowsXP();
// Overrides of those answers (1 yes, 0 no, -1 the platform's): the window
// system forces the A line (KV_FORCE_ANSI) and tests choose the XP answer.
void OverrideWindowsNT(int answer);
void OverrideWindowsXP(int answer);
// The theme library loaded at start-up on version 5.1; null elsewhere and
// after the end sequence.
HMODULE ThemeLibraryHandle();

// An object deleted when the application ends; made with new. Construction
// links it at the head of one global list (the name is not kept); the
// destructor unlinks it.
class ShutdownHook {
 public:
  explicit ShutdownHook(const char* name);
  virtual ~ShutdownHook();
  ShutdownHook(const ShutdownHook&) = delete;
  ShutdownHook& operator=(const ShutdownHook&) = delete;

 private:
  friend void RunShutdownHooks();
  ShutdownHook* newer_ = nullptr;
  ShutdownHook* older_ = nullptr;
};
// Deletes the hooks, newest first, until none is left: safe when a
// destructor deletes other hooks or makes new ones.
void RunShutdownHooks();
