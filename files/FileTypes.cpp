// The file-type list, its look-ups and the four-character codes.
#include "files/FileTypes.h"

#include <algorithm>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "files/ShellFacade.h"
#include "host/relocentry.h"

namespace {

std::vector<FileTypeRecord>& Types() {
  static std::vector<FileTypeRecord> types;
  return types;
}

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool EqualNoCase(const std::string& a, size_t from, const std::string& b) {
  if (a.size() - from != b.size()) return false;
  for (size_t i = 0; i < b.size(); ++i) {
    if (FoldAscii(a[from + i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// Every ";"-separated field, empty ones included (a final ";" ends an empty
// last field); none for an empty text.
std::vector<std::string> AllFields(const std::string& text) {
  std::vector<std::string> fields;
  if (text.empty()) return fields;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(';', start);
    fields.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

// The filter patterns of one type name: "*" and each extension, joined by
// ";"; the default extension is set from the first one when it has a dot.
void AddPatternsOfType(const FileTypeRecord& type, std::string* patterns,
                       std::string* defaultExtension) {
  if (type.extensions.empty()) {
    if (patterns->empty() && FourCharCodeOfBytes(type.macCreator) == kUnknownFourCharCode) {
      *patterns = "*.*";
    }
    return;
  }
  for (const std::string& extension : AllFields(type.extensions)) {
    if (extension.empty()) continue;
    if (patterns->empty()) {
      if (extension[0] == '.') *defaultExtension = extension.substr(1);
      *patterns = "*" + extension;
    } else {
      *patterns += ";*" + extension;
    }
  }
}

}  // namespace

// ---- Four-character codes -----------------------------------------------------------

uint32_t FourCharCodeOfBytes(const std::string& bytes) {
  if (bytes.empty()) return kUnknownFourCharCode;
  uint32_t code = 0;
  for (size_t i = 0; i < 4; ++i) {
    code = code << 8 | (i < bytes.size() ? uint8_t(bytes[i]) : uint8_t(' '));
  }
  return code;
}

std::string BytesOfFourCharCode(uint32_t code) {
  return {char(code >> 24), char(code >> 16 & 0xFF), char(code >> 8 & 0xFF), char(code & 0xFF)};
}

uint32_t FourCharCodeFromString(const StringRecord* text) {
  StringRef converted = StringRef::Adopt(StringToSystemEncoding(text));
  return FourCharCodeOfBytes(StringBytes(converted.get()));
}

// ---- The list ---------------------------------------------------------------------------

void RegisterFileType(FileTypeRecord record) { Types().push_back(std::move(record)); }

void ForgetFileTypes() { Types().clear(); }

bool NameEndsWith(const std::string& name, const std::string& suffix) {
  return suffix.size() <= name.size() && EqualNoCase(name, name.size() - suffix.size(), suffix);
}

int FileTypeMatchName(const FileTypeRecord& type, const std::string& fileName) {
  for (const std::string& extension : AllFields(type.extensions)) {
    if (NameEndsWith(fileName, extension)) return 2;
  }
  return 1;
}

std::string FileTypeNameForFile(const std::string& fileName) {
  const FileTypeRecord* best = nullptr;
  int bestScore = 0;
  for (const FileTypeRecord& type : Types()) {
    const int score = FileTypeMatchName(type, fileName);
    if (score > bestScore) {
      best = &type;
      bestScore = score;
    }
  }
  return best ? best->name : std::string();
}

bool NextListField(const std::string& text, size_t* position, std::string* field) {
  if (*position >= text.size()) return false;
  const size_t end = std::min(text.find(';', *position), text.size());
  *field = text.substr(*position, end - *position);
  *position = std::min(end + 1, text.size());
  return true;
}

void BuildFileDialogFilter(const std::string& names, std::string* filter,
                           std::string* defaultExtension) {
  if (names.empty() || names.back() == '\0') {
    *filter = names;
    return;
  }
  filter->clear();
  defaultExtension->clear();
  size_t position = 0;
  std::string field;
  while (NextListField(names, &position, &field)) {
    std::string patterns;
    for (const FileTypeRecord& type : Types()) {
      if (EqualNoCase(type.name, 0, field)) AddPatternsOfType(type, &patterns, defaultExtension);
    }
    *filter += field;
    *filter += '\0';
    *filter += patterns;
    *filter += '\0';
  }
  filter->append(2, '\0');
}

ExtensionChange ChangeFileExtension(std::string* path, const std::string& extensions,
                                    std::string* newExtension, size_t maximumLength) {
  if (newExtension->empty()) return ExtensionChange::kUnchanged;
  newExtension->insert(0, 1, '.');
  for (const std::string& extension : AllFields(extensions)) {
    if (!extension.empty() && NameEndsWith(*path, "." + extension)) {
      return ExtensionChange::kUnchanged;
    }
  }
  // The extension is in the last segment, after its first byte: a dot in a
  // folder's name or at the start of a name ends nothing.
  const size_t separator = path->find_last_of("\\/");
  const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  const size_t dot = path->rfind('.');
  const size_t stem = dot != std::string::npos && dot > nameStart ? dot : path->size();
  if (stem + newExtension->size() >= maximumLength) return ExtensionChange::kRefused;
  path->resize(stem);
  *path += *newExtension;
  return ExtensionChange::kChanged;
}

// ---- Entry points -----------------------------------------------------------------------

extern "C" void RuntimeRegisterFileType(StringRecord* name, StringRecord* macType,
                                        StringRecord* macCreator, StringRecord* extensions) {
  RegisterFileType({StringToStdUTF8(name), StringBytes(macType), StringBytes(macCreator),
                    StringToStdUTF8(extensions)});
}

extern "C" uint32_t StringToOSType(StringRecord* text) { return FourCharCodeFromString(text); }

void RegisterFileTypeEntryPoints() {
  static const EntryPoint entries[] = {
      {"RuntimeRegisterFileType", reinterpret_cast<void*>(&RuntimeRegisterFileType)},
      {"StringToOSType", reinterpret_cast<void*>(&StringToOSType)},
      {"RuntimeShowURL", reinterpret_cast<void*>(&RuntimeShowURL)},
      {"GlobalShowURL", reinterpret_cast<void*>(&GlobalShowURL)},
  };
  RegisterEntryPoints(entries, sizeof entries / sizeof entries[0]);
}
