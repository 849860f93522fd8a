// The Win32 file-system calls of the folder items, taking UTF-8 paths: the
// wide form with UTF-16 on the NT line, the ANSI form with the system code
// page otherwise. A path the call could not take as written (a NUL in it, or
// on the ANSI line a character the code page lacks, which would otherwise
// become "?") fails with ERROR_INVALID_NAME and reaches no system call.
//
// Each call leaves the thread's last-error value as the failing system call
// set it, for SetLastErrorFromWin32.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct StringRecord;

// Text conversions of this line's names: UTF-16 and the system code page to
// and from UTF-8.
std::string Utf8OfWide(const wchar_t* text, size_t count);
std::wstring WideOfUtf8(const std::string& text);
// NUL-terminated text in the system code page.
std::string Utf8OfAnsi(const char* text);

// The path in the system code page (the ANSI line's form); false when the
// path holds a NUL or a character the code page lacks.
bool AnsiPathOf(const std::string& path, std::string* ansi);

// The path as a run-time string that Win32FileStream opens as this path:
// UTF-8 on the NT line, the system encoding's bytes otherwise (null when
// the code page cannot hold it).
StringRecord* SystemPathString(const std::string& path);

// One directory entry or the find data of one item.
struct FoundEntry {
  std::string name;  // UTF-8
  uint32_t attributes = 0;
  uint64_t size = 0;
  FILETIME creationTime{};
  FILETIME lastWriteTime{};
};

// FindFirstFile on the pattern, closed at once.
bool FindFirstEntry(const std::string& pattern, FoundEntry* entry);
// Every entry of FindFirstFile(pattern) and FindNextFile, in the system's
// order; false (nothing added) when the search cannot start.
bool FindAllEntries(const std::string& pattern, std::vector<FoundEntry>* entries);

DWORD PathAttributes(const std::string& path);
// The last-write time from GetFileAttributesEx; false when it fails.
bool PathLastWriteTime(const std::string& path, FILETIME* time);
bool SetPathAttributes(const std::string& path, DWORD attributes);
HANDLE CreateFileAt(const std::string& path, DWORD access, DWORD share, DWORD creation,
                    DWORD flags);
bool MovePath(const std::string& from, const std::string& to);
// Moves onto the target, replacing an existing file in one step.
bool ReplacePath(const std::string& from, const std::string& to);
bool CopyPath(const std::string& from, const std::string& to, bool failIfExists);
bool DeletePath(const std::string& path);
bool MakeFolder(const std::string& path);
bool RemoveFolder(const std::string& path);
// GetLongPathName looked up in "Kernel32.dll"; the path unchanged when the
// function is missing, fails, or its answer does not fit 1,024 characters
// (a path that long is not handed to it).
std::string LongPathOf(const std::string& path);
// The executable's own path.
std::string ModulePath();
