// Text rules of Win32 paths.
#include "files/Win32PathText.h"

#include <cstring>

namespace {

bool StartsWithTwoBackslashes(const std::string& path) { return path.compare(0, 2, "\\\\") == 0; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool EqualsNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char c = IsAsciiLetter(a[i]) ? char(a[i] | 0x20) : a[i];
    if (c != b[i]) return false;
  }
  return true;
}

bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  base.erase(base.find_last_not_of(' ') + 1);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (EqualsNoCase(base, device)) return true;
  }
  const bool numbered = base.size() == 4 && base[3] >= '1' && base[3] <= '9';
  return numbered && (EqualsNoCase(base.substr(0, 3), "com") || EqualsNoCase(base.substr(0, 3), "lpt"));
}

bool IsAcceptableName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return true;
  for (const char c : name) {
    if (uint8_t(c) < 0x20 || std::strchr("<>:\"|?*", c)) return false;
  }
  return name.back() != '.' && name.back() != ' ' && !IsDeviceName(name);
}

}  // namespace

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  const size_t colon = path.find(':');
  const bool hasColon = colon != std::string::npos;
  if (!hasColon && !StartsWithTwoBackslashes(path)) {
    parts.name = path;
    return parts;
  }
  if (hasColon && path.size() <= colon + 2) {
    parts.drive = path.size() > 1 && path[1] == '\\' ? path.substr(0, 1) : path.substr(0, colon + 1);
    parts.name = parts.drive;
    return parts;
  }
  parts.drive = hasColon ? path.substr(0, colon + 2) : path.substr(0, 2);
  const std::string rest = path.substr(parts.drive.size());
  const size_t lastBackslash = rest.rfind('\\');
  if (lastBackslash == std::string::npos) {
    parts.name = rest;
  } else {
    parts.folder = rest.substr(0, lastBackslash + 1);
    parts.name = rest.substr(lastBackslash + 1);
  }
  return parts;
}

std::string JoinPath(const std::string& base, const std::string& relative, JoinMode mode) {
  if (relative.find(':') != std::string::npos || StartsWithTwoBackslashes(relative)) {
    return relative;
  }
  if (mode == JoinMode::kAppend) return base + "\\" + relative;
  const PathParts parts = SplitPath(base);
  return parts.drive + parts.folder + relative;
}

std::string StripTrailingBackslash(const std::string& path) {
  return !path.empty() && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

std::string FolderOfPath(const std::string& path) {
  const PathParts parts = SplitPath(path);
  if (parts.folder.empty()) return parts.drive;
  return parts.drive + parts.folder.substr(0, parts.folder.size() - 1);
}

bool IsVolumeRootPath(const std::string& path) {
  if (StartsWithTwoBackslashes(path)) {
    // '\\server\share' splits at "\" into '', '', 'server' and 'share'.
    const std::string bare = StripTrailingBackslash(path);
    size_t fields = 1;
    for (const char c : bare) fields += c == '\\';
    return fields == 4;
  }
  return path.size() >= 2 && path[1] == ':' &&
         (path.size() == 2 || (path.size() == 3 && path[2] == '\\'));
}

bool IsAcceptablePath(const std::string& path) {
  if (path.find('\0') != std::string::npos) return false;
  size_t start = 0;
  if (StartsWithTwoBackslashes(path)) {
    start = 2;
  } else if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
    // 'C:' or 'C:\...'; 'C:name' would depend on the drive's current folder.
    if (path.size() > 2 && path[2] != '\\' && path[2] != '/') return false;
    start = 2;
  }
  while (start <= path.size()) {
    const size_t end = std::min(path.find_first_of("\\/", start), path.size());
    if (!IsAcceptableName(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}
