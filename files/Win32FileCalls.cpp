// The folder items' file-system calls on the wide and the ANSI line.
#include "files/Win32FileCalls.h"

#include "core/TextEncoding.h"
#include "core/string.h"
#include "ui/WinUtil.h"

namespace {

constexpr DWORD kLongPathBufferSize = 1024;

// A UTF-8 path in the form this line's calls take; not usable when it holds
// a NUL or the code page lacks one of its characters.
struct NativePath {
  bool usable = false;
  std::wstring wide;
  std::string ansi;
};

bool AnsiOfWide(const std::wstring& wide, std::string* ansi) {
  if (wide.empty()) return true;
  BOOL usedDefault = FALSE;
  const UINT codePage = SystemEncodingCodePage();
  const int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                                        int(wide.size()), nullptr, 0, nullptr, &usedDefault);
  if (bytes <= 0 || usedDefault) return false;
  ansi->assign(size_t(bytes), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), &(*ansi)[0],
                      bytes, nullptr, nullptr);
  return true;
}

NativePath Native(const std::string& path) {
  NativePath native;
  if (path.find('\0') != std::string::npos) return native;
  native.wide = WideOfUtf8(path);
  native.usable = IsWindowsNT() || AnsiOfWide(native.wide, &native.ansi);
  return native;
}

// Calls wide(const wchar_t*) or ansi(const char*) with the path; failure
// when the path cannot be handed over.
template <class Result, class Wide, class Ansi>
Result OnPath(const std::string& path, Result failure, Wide wide, Ansi ansi) {
  const NativePath native = Native(path);
  if (!native.usable) {
    SetLastError(ERROR_INVALID_NAME);
    return failure;
  }
  return IsWindowsNT() ? wide(native.wide.c_str()) : ansi(native.ansi.c_str());
}

template <class Wide, class Ansi>
bool OnPaths(const std::string& first, const std::string& second, Wide wide, Ansi ansi) {
  const NativePath a = Native(first);
  const NativePath b = Native(second);
  if (!a.usable || !b.usable) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return (IsWindowsNT() ? wide(a.wide.c_str(), b.wide.c_str())
                        : ansi(a.ansi.c_str(), b.ansi.c_str())) != FALSE;
}

void TakeFindData(const WIN32_FIND_DATAW& data, FoundEntry* entry) {
  entry->name = Utf8OfWide(data.cFileName, wcslen(data.cFileName));
  entry->attributes = data.dwFileAttributes;
  entry->size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  entry->creationTime = data.ftCreationTime;
  entry->lastWriteTime = data.ftLastWriteTime;
}

void TakeFindData(const WIN32_FIND_DATAA& data, FoundEntry* entry) {
  entry->name = Utf8OfAnsi(data.cFileName);
  entry->attributes = data.dwFileAttributes;
  entry->size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  entry->creationTime = data.ftCreationTime;
  entry->lastWriteTime = data.ftLastWriteTime;
}

// Runs a search with either line's find data; each entry goes to take until
// it answers false.
template <class Data, class First, class Next, class Take>
bool Search(First first, Next next, Take take) {
  Data data;
  HANDLE search = first(&data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FoundEntry entry;
  do {
    TakeFindData(data, &entry);
  } while (take(entry) && next(search, &data));
  FindClose(search);
  return true;
}

template <class Take>
bool SearchPattern(const std::string& pattern, Take take) {
  return OnPath(
      pattern, false,
      [&](const wchar_t* wide) {
        return Search<WIN32_FIND_DATAW>([&](WIN32_FIND_DATAW* data) { return FindFirstFileW(wide, data); },
                                        FindNextFileW, take);
      },
      [&](const char* ansi) {
        return Search<WIN32_FIND_DATAA>([&](WIN32_FIND_DATAA* data) { return FindFirstFileA(ansi, data); },
                                        FindNextFileA, take);
      });
}

template <class Function>
Function KernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("Kernel32.dll");
  return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                : nullptr;
}

}  // namespace

std::string Utf8OfWide(const wchar_t* text, size_t count) {
  return encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(text), count);
}

std::string Utf8OfAnsi(const char* text) {
  const UINT codePage = SystemEncodingCodePage();
  const int units = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (units <= 1) return std::string();
  std::wstring wide(size_t(units), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, &wide[0], units);
  return Utf8OfWide(wide.data(), size_t(units - 1));
}

std::wstring WideOfUtf8(const std::string& text) {
  const std::u16string units =
      encoding::UTF8ToUTF16(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return std::wstring(units.begin(), units.end());
}

StringRecord* SystemPathString(const std::string& path) {
  if (IsWindowsNT()) return StringFromUTF8(path);
  const NativePath native = Native(path);
  return native.usable ? NewString(native.ansi, GetSystemTextEncoding()) : nullptr;
}

bool AnsiPathOf(const std::string& path, std::string* ansi) {
  return path.find('\0') == std::string::npos && AnsiOfWide(WideOfUtf8(path), ansi);
}

bool FindFirstEntry(const std::string& pattern, FoundEntry* entry) {
  return SearchPattern(pattern, [&](const FoundEntry& found) {
    *entry = found;
    return false;
  });
}

bool FindAllEntries(const std::string& pattern, std::vector<FoundEntry>* entries) {
  return SearchPattern(pattern, [&](const FoundEntry& found) {
    entries->push_back(found);
    return true;
  });
}

DWORD PathAttributes(const std::string& path) {
  return OnPath(path, INVALID_FILE_ATTRIBUTES, GetFileAttributesW, GetFileAttributesA);
}

bool PathLastWriteTime(const std::string& path, FILETIME* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  const bool read = OnPath(
      path, false,
      [&](const wchar_t* wide) { return GetFileAttributesExW(wide, GetFileExInfoStandard, &data) != FALSE; },
      [&](const char* ansi) { return GetFileAttributesExA(ansi, GetFileExInfoStandard, &data) != FALSE; });
  if (read) *time = data.ftLastWriteTime;
  return read;
}

bool SetPathAttributes(const std::string& path, DWORD attributes) {
  return OnPath(
      path, false,
      [&](const wchar_t* wide) { return SetFileAttributesW(wide, attributes) != FALSE; },
      [&](const char* ansi) { return SetFileAttributesA(ansi, attributes) != FALSE; });
}

HANDLE CreateFileAt(const std::string& path, DWORD access, DWORD share, DWORD creation,
                    DWORD flags) {
  return OnPath(
      path, INVALID_HANDLE_VALUE,
      [&](const wchar_t* wide) { return CreateFileW(wide, access, share, nullptr, creation, flags, nullptr); },
      [&](const char* ansi) { return CreateFileA(ansi, access, share, nullptr, creation, flags, nullptr); });
}

bool MovePath(const std::string& from, const std::string& to) {
  return OnPaths(from, to, MoveFileW, MoveFileA);
}

bool ReplacePath(const std::string& from, const std::string& to) {
  return OnPaths(
      from, to, [](const wchar_t* a, const wchar_t* b) { return MoveFileExW(a, b, MOVEFILE_REPLACE_EXISTING); },
      [](const char* a, const char* b) {
        if (MoveFileExA(a, b, MOVEFILE_REPLACE_EXISTING)) return TRUE;
        // Systems of the ANSI line without MoveFileEx: delete, then move.
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return FALSE;
        DeleteFileA(b);
        return MoveFileA(a, b);
      });
}

bool CopyPath(const std::string& from, const std::string& to, bool failIfExists) {
  return OnPaths(
      from, to, [&](const wchar_t* a, const wchar_t* b) { return CopyFileW(a, b, failIfExists); },
      [&](const char* a, const char* b) { return CopyFileA(a, b, failIfExists); });
}

bool DeletePath(const std::string& path) {
  return OnPath(path, FALSE, DeleteFileW, DeleteFileA) != FALSE;
}

bool MakeFolder(const std::string& path) {
  return OnPath(
      path, false, [](const wchar_t* wide) { return CreateDirectoryW(wide, nullptr) != FALSE; },
      [](const char* ansi) { return CreateDirectoryA(ansi, nullptr) != FALSE; });
}

bool RemoveFolder(const std::string& path) {
  return OnPath(path, FALSE, RemoveDirectoryW, RemoveDirectoryA) != FALSE;
}

std::string LongPathOf(const std::string& path) {
  using WideCall = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
  using AnsiCall = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
  static const WideCall wideCall = KernelFunction<WideCall>("GetLongPathNameW");
  static const AnsiCall ansiCall = KernelFunction<AnsiCall>("GetLongPathNameA");
  const auto fits = [](DWORD length) { return length > 0 && length < kLongPathBufferSize; };
  // A long form is never shorter than the path, so a path that fills the
  // buffer is not handed over at all: some versions of the call overrun a
  // buffer of their own of that size on it.
  return OnPath(
      path, path,
      [&](const wchar_t* wide) {
        wchar_t buffer[kLongPathBufferSize];
        const bool asked = wideCall && fits(DWORD(wcslen(wide)));
        const DWORD length = asked ? wideCall(wide, buffer, kLongPathBufferSize) : 0;
        return fits(length) ? Utf8OfWide(buffer, length) : path;
      },
      [&](const char* ansi) {
        char buffer[kLongPathBufferSize];
        const bool asked = ansiCall && fits(DWORD(strlen(ansi)));
        const DWORD length = asked ? ansiCall(ansi, buffer, kLongPathBufferSize) : 0;
        return fits(length) ? Utf8OfAnsi(buffer) : path;
      });
}

std::string ModulePath() {
  if (!IsWindowsNT()) {
    char buffer[kLongPathBufferSize];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, kLongPathBufferSize);
    return length < kLongPathBufferSize ? Utf8OfAnsi(buffer) : std::string();
  }
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], DWORD(buffer.size()));
    if (length < buffer.size()) return Utf8OfWide(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}
