// The shell and drive services the files subsystem asks of the system, in one
// replaceable table: opening documents and addresses, the shell's own
// libraries, the drive list, special folders and the temporary folder.
//
// The run-time calls the system only through the current table, so tests put
// a recording or failing entry in its place (ShellFacadeScope) and start no
// program. Texts are UTF-8; the default entries use the wide calls on the NT
// line and the ANSI ones otherwise. Everything runs on the application's
// thread.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct StringRecord;

struct ShellFacade {
  // ShellExecute with no window and no directory: the verb, the file (or
  // program), its parameters and the show command. Gives the system's
  // answer: above 32 when the program started, otherwise an error code.
  std::function<intptr_t(const std::string& verb, const std::string& file,
                         const std::string& parameters, int show)>
      execute;
  // One of the shell's libraries ("Shell32.dll", "Shlwapi.dll"), loaded on
  // first use and kept for the process; null when it cannot be loaded.
  std::function<void*(const char* library)> library;
  // A function of such a library; null when the library or the function is
  // missing.
  std::function<void*(const char* library, const char* function)> procedure;
  // The bit mask of the drives present (bit 0 is A:).
  std::function<uint32_t()> logicalDrives;
  // The root of each drive present ("C:\").
  std::function<std::vector<std::string>()> logicalDriveStrings;
  // The path of a special folder by its shell folder number; none when the
  // shell has no path for it.
  std::function<std::optional<std::string>(int folder)> specialFolderPath;
  // The temporary folder as the system gives it (with its trailing
  // backslash); none when the system gives nothing.
  std::function<std::optional<std::string>()> temporaryPath;
};

// The table in force. Borrowed; it changes only through ShellFacadeScope.
const ShellFacade& CurrentShell();
// The entries that call the system.
ShellFacade SystemShellFacade();

// Puts a table in force for its lifetime (tests), then the previous one back.
class ShellFacadeScope {
 public:
  explicit ShellFacadeScope(ShellFacade replacement);
  ~ShellFacadeScope();
  ShellFacadeScope(const ShellFacadeScope&) = delete;
  ShellFacadeScope& operator=(const ShellFacadeScope&) = delete;

 private:
  ShellFacade previous_;
};

// Memory the shell hands out (item id lists, converted names), owned for a
// scope and freed with the shell's allocator.
void FreeShellMemory(void* block);
template <class T>
struct ShellMemory {
  ShellMemory() = default;
  explicit ShellMemory(T* block) : p(block) {}
  ~ShellMemory() { FreeShellMemory(p); }
  ShellMemory(const ShellMemory&) = delete;
  ShellMemory& operator=(const ShellMemory&) = delete;
  T* p = nullptr;
};

// Opens a document or an address with the program associated with it
// ("open", shown normally); the answer is not examined.
void ShellOpenPath(const std::string& text);

extern "C" {
// ShellOpenPath for compiled code: the address or document path in any
// encoding.
void RuntimeShowURL(StringRecord* url);
void GlobalShowURL(StringRecord* url);
}
