// The text rules of Win32 paths that the folder items follow: splitting and
// joining, volume roots, and which names the run-time refuses to hand to the
// system. Portable (no system header); paths are UTF-8 bytes, whose
// separators and drive letters are ASCII.
#pragma once
#include <string>

// A path's drive part ("C:\", "C:" for a bare drive, "\\" for a network
// path), folder part (ending in a backslash, maybe empty) and name.
struct PathParts {
  std::string drive;
  std::string folder;
  std::string name;
};
// 'C:\dir\f.txt' gives ('C:\', 'dir\', 'f.txt'); 'C:' gives ('C:', '',
// 'C:'); '\\srv\share\f' ('\\', 'srv\share\', 'f'); a path without ":" or a
// leading "\\" is all name.
PathParts SplitPath(const std::string& path);

enum class JoinMode {
  kAppend,   // base + "\" + relative
  kSibling,  // base's drive and folder parts + relative
};
// A relative path that has a drive part comes back unchanged.
std::string JoinPath(const std::string& base, const std::string& relative, JoinMode mode);

// Without one trailing backslash.
std::string StripTrailingBackslash(const std::string& path);
// The folder that holds the path: drive + folder part without its last
// backslash, or the drive part when the folder part is empty.
std::string FolderOfPath(const std::string& path);
// 'C:', 'C:\', '\\server\share' and '\\server\share\'.
bool IsVolumeRootPath(const std::string& path);

// Whether every name in the path is one the system keeps as written. Refused:
// a NUL; a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$,
// with any extension, in any case), which the system maps to the device; a
// name ending in "." or " " (other than "." and ".."), which the system
// trims; a name holding < > : " | ? * (wildcards, or a ":" that would name a
// data stream) or a character below 0x20. A drive's ":" is allowed at the
// start of an absolute path ('C:', 'C:\...').
bool IsAcceptablePath(const std::string& path);
