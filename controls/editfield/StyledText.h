// Styled text of edit fields: the style record read from and written to the
// pane (RichEditPane's GetStyleData and SetTextAndStyle), RTF files loaded
// into and saved from it, and the classes "StyledText" and
// "_StyledTextRange", which carry no behaviour ("RTFString" reads "" and
// drops what it is given).
//
// Files are untrusted. A load reads the whole file into memory before the
// control is touched; RTF whose groups nest deeper than the control's reader
// survives (32, the outer group counted, \bin payloads read as RTF as the
// reader reads them) or that holds a control word of more than
// kMaxRtfControlWord characters is refused with ERROR_INVALID_DATA;
// a stream the control reports broken answers ERROR_INVALID_DATA and keeps
// what was read. A save writes a temporary file beside the target and moves
// it over the target only when every byte was written; otherwise the target
// is untouched and the temporary file deleted. Codes: 0, the open's error,
// ERROR_READ_FAULT, ERROR_WRITE_FAULT, ERROR_INVALID_DATA,
// ERROR_NOT_ENOUGH_MEMORY. Paths are UTF-16 on the NT line, the system
// encoding on the A line, where the file calls are the A forms (a system
// without MoveFileExA has the target moved aside until the new file has
// its name).
#pragma once
#include <windows.h>

#include <cstdint>

struct ObjectDefinition;
struct RuntimeObject;
struct StringRecord;

// The deepest RTF group nesting a load accepts.
constexpr int32_t kMaxRtfDepth = 32;
// The largest file a load reads.
constexpr uint64_t kMaxStyledTextFile = 256u << 20;

// The read and write calls the files go through; tests put failing ones in.
struct StyledTextFileCalls {
  BOOL(WINAPI* read)(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlap);
  BOOL(WINAPI* write)(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done,
                      LPOVERLAPPED overlap);
};
// Installs the calls (null members: the system's) and gives back the
// previous ones.
StyledTextFileCalls SetStyledTextFileCalls(const StyledTextFileCalls& calls);

// Where a style record is written: a new string of length 0 with room for
// that many bytes, nil when memory is short. Tests put failing ones in.
using StyleRecordAllocator = StringRecord* (*)(uint32_t bytes);
// Installs the allocator (null: the run-time's) and gives back the previous.
StyleRecordAllocator SetStyleRecordAllocator(StyleRecordAllocator allocator);

ObjectDefinition* GetStyledTextClassDefinition();
ObjectDefinition* GetStyledTextRangeClassDefinition();
// Registers both classes and fills the styled-text slots of the media
// table (MediaSlots.h) for FolderItem's edit-field files.
void InitStyledTextClasses();

extern "C" {
// Nil is reported through the assertion reporter; "" always.
StringRecord* StyledTextRTFStringGetter(RuntimeObject* object);
void StyledTextRTFStringSetter(RuntimeObject* object, uint32_t index, StringRecord* value);
}
