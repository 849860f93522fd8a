// File types: the kinds of document an application declares at start-up
// (a name, a type and creator code, extensions), kept in one process-wide
// list in registration order. The list chooses a file's type name by its
// file name, builds the filters of the file dialogs, and picture writers
// change a path's extension through it. Also the four-character codes of the
// files subsystem.
//
// Portable: no system header. Texts are UTF-8 std::strings unless a function
// says otherwise; the list is filled and read on the application's thread
// only and is never emptied.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct StringRecord;

// ---- Four-character codes -----------------------------------------------------
// A code holds its first character in the most significant byte, as files
// store it ("fold" is 0x666F6C64). No type or creator is "????".
constexpr uint32_t kUnknownFourCharCode = 0x3F3F3F3F;

// The code of a text's bytes: "????" for an empty text, otherwise its first
// four bytes, a shorter text padded with spaces ("ab" is "ab  ").
uint32_t FourCharCodeOfBytes(const std::string& bytes);
// The four bytes of a code, first character first.
std::string BytesOfFourCharCode(uint32_t code);
// The code of a run-time string after conversion to the system encoding
// (the caller's string is left as it is).
uint32_t FourCharCodeFromString(const StringRecord* text);

// ---- The list -------------------------------------------------------------------
struct FileTypeRecord {
  std::string name;
  std::string macType;     // bytes; the first four count
  std::string macCreator;  // bytes; the first four count
  // Extensions separated by ";", each written with its dot (".txt;.text");
  // an entry without a dot is matched as a plain suffix.
  std::string extensions;
};

// Appends a type to the list.
void RegisterFileType(FileTypeRecord record);
// For tests: empties the list.
void ForgetFileTypes();

// Whether the name ends with the suffix, ASCII letters compared without
// case. An empty suffix ends every name.
bool NameEndsWith(const std::string& name, const std::string& suffix);
// 2 when the file name ends with one of the type's extensions, otherwise 1:
// a file has no type code here, so it matches every type weakly.
int FileTypeMatchName(const FileTypeRecord& type, const std::string& fileName);
// The name of the first type with the best score; the first registered type
// for a name no extension matches, "" when no type is registered.
std::string FileTypeNameForFile(const std::string& fileName);

// The next ";"-separated field from *position; false at or past the end.
// A leading ";" gives an empty first field, a final ";" no empty last one.
bool NextListField(const std::string& text, size_t* position, std::string* field);

// The system filter of file dialogs for ";"-separated type names: for each
// name as written, a zero byte, its patterns ("*.txt;*.text", or "*.*" for a
// type without extensions or creator), a zero byte; then two zero bytes more.
// The default extension (without its dot) comes from the last name whose
// first extension starts with a dot. A names text that is empty or ends in a
// zero byte is a finished filter and comes back unchanged.
void BuildFileDialogFilter(const std::string& names, std::string* filter,
                           std::string* defaultExtension);

enum class ExtensionChange {
  kChanged,
  // The extension was empty, or the path already ends in one of the list's.
  kUnchanged,
  // The path with the new extension would not fit maximumLength bytes; a
  // path is never shortened into another one.
  kRefused,
};
// Gives the path the new extension (written without its dot; the caller's
// variable gets the dot in front) in place of the one its name has, unless
// it already ends, case ignored, in "." and an entry of the ";"-separated
// list. Only a "." inside the last path segment starts an extension.
ExtensionChange ChangeFileExtension(std::string* path, const std::string& extensions,
                                    std::string* newExtension, size_t maximumLength);

// Start-up: puts RuntimeRegisterFileType, StringToOSType, RuntimeShowURL and
// GlobalShowURL in the entry-point table. A second call does nothing.
void RegisterFileTypeEntryPoints();

extern "C" {
// The application's declaration of a file type; the strings are copied.
void RuntimeRegisterFileType(StringRecord* name, StringRecord* macType, StringRecord* macCreator,
                             StringRecord* extensions);
// FourCharCodeFromString for compiled code.
uint32_t StringToOSType(StringRecord* text);
}
