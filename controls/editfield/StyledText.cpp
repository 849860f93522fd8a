// The edit pane's styled text: the style record, RTF files, and the
// StyledText classes.
#include "controls/editfield/StyledText.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "controls/editfield/EditField.h"
#include "controls/editfield/RichEditPane.h"
#include "controls/editfield/StyleRecord.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "files/MediaSlots.h"
#include "host/Win32Handles.h"
#include "ui/WinUtil.h"

namespace {

constexpr LONG kTwipsPerSize = 15;
// Bold, italic, underline, face, colour and size: a range whose mask keeps
// them all has one format throughout.
constexpr DWORD kUniformMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_FACE | CFM_COLOR |
                               CFM_SIZE;

StyledTextFileCalls& FileCalls() {
  static StyledTextFileCalls calls{ReadFile, WriteFile};
  return calls;
}

// The record is binary: its string has no text encoding, so text operations
// take its bytes as they are.
StringRecord* NewRecordRoom(uint32_t bytes) {
  return NewStringWithRoomOrNull(bytes, kEncodingNone);
}

StyleRecordAllocator& RecordAllocator() {
  static StyleRecordAllocator allocator = NewRecordRoom;
  return allocator;
}

// The bytes of the text in UTF-8 (a lone surrogate as the three of U+FFFD).
size_t Utf8Length(const std::u16string& text) {
  size_t bytes = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool pair = unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
    bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : pair ? 4 : 3;
    i += pair ? 1 : 0;
  }
  return bytes;
}

// The selection hidden for a scope, then put back as it was.
class HiddenSelectionKept {
 public:
  explicit HiddenSelectionKept(RichEditAccess& access) : access_(access) {
    access_.Send(EM_HIDESELECTION, 1, 0);
    kept_ = access_.Selection();
  }
  ~HiddenSelectionKept() {
    access_.Select(kept_.cpMin, kept_.cpMax);
    access_.Send(EM_HIDESELECTION, 0, 0);
  }
  HiddenSelectionKept(const HiddenSelectionKept&) = delete;
  HiddenSelectionKept& operator=(const HiddenSelectionKept&) = delete;

 private:
  RichEditAccess& access_;
  CHARRANGE kept_{0, 0};
};

StyleEntry EntryOf(const CHARFORMATA& format) {
  StyleEntry entry;
  entry.styles = uint8_t(((format.dwEffects & CFE_BOLD) ? kStyleBold : 0) |
                         ((format.dwEffects & CFE_ITALIC) ? kStyleItalic : 0) |
                         ((format.dwEffects & CFE_UNDERLINE) ? kStyleUnderline : 0));
  entry.face.assign(format.szFaceName, strnlen(format.szFaceName, kStyleFaceMaxBytes));
  // An automatic colour is black.
  const COLORREF color = (format.dwEffects & CFE_AUTOCOLOR) ? RGB(0, 0, 0) : format.crTextColor;
  entry.red = GetRValue(color);
  entry.green = GetGValue(color);
  entry.blue = GetBValue(color);
  entry.size = uint8_t(std::clamp<LONG>(format.yHeight / kTwipsPerSize, 0, 255));
  return entry;
}

CHARFORMATA FormatOf(const StyleEntry& entry) {
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_SIZE | CFM_FACE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_COLOR;
  format.dwEffects = ((entry.styles & kStyleBold) ? CFE_BOLD : 0) |
                     ((entry.styles & kStyleItalic) ? CFE_ITALIC : 0) |
                     ((entry.styles & kStyleUnderline) ? CFE_UNDERLINE : 0);
  format.yHeight = LONG(entry.size) * kTwipsPerSize;
  format.crTextColor = RGB(entry.red, entry.green, entry.blue);
  const size_t length = std::min(entry.face.size(), sizeof format.szFaceName - 1);
  std::memcpy(format.szFaceName, entry.face.data(), length);
  return format;
}

// ---- Files ----

UniqueFile OpenForReading(const StringRecord* path) {
  if (IsWindowsNT()) {
    return UniqueFile(CreateFileW(StringToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  StringRef bytes = StringRef::Adopt(StringToSystemEncoding(path));
  return UniqueFile(CreateFileA(StringBytes(bytes.get()).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The whole file, or the code that stopped the reading.
uint32_t ReadWholeFile(const StringRecord* path, std::vector<uint8_t>* bytes) {
  UniqueFile file = OpenForReading(path);
  if (!file.valid()) return GetLastError();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return ERROR_READ_FAULT;
  if (uint64_t(size.QuadPart) > kMaxStyledTextFile) return ERROR_NOT_ENOUGH_MEMORY;
  try {
    bytes->resize(size_t(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  size_t done = 0;
  while (done < bytes->size()) {
    DWORD read = 0;
    const DWORD asked = DWORD(std::min<size_t>(bytes->size() - done, 1u << 20));
    if (!FileCalls().read(file.get(), bytes->data() + done, asked, &read, nullptr) || read == 0) {
      return ERROR_READ_FAULT;
    }
    done += read;
  }
  return 0;
}

struct MemorySource {
  const uint8_t* bytes;
  size_t length;
  size_t offset;
};

DWORD CALLBACK ReadFromMemory(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
  auto* source = reinterpret_cast<MemorySource*>(cookie);
  const size_t left = source->length - source->offset;
  const size_t given = std::min(left, size_t(std::max<LONG>(count, 0)));
  std::memcpy(buffer, source->bytes + source->offset, given);
  source->offset += given;
  *done = LONG(given);
  return 0;
}

struct FileSink {
  HANDLE file;
  bool failed;
};

// A failed write stores 0 and answers non-zero, which ends the stream.
DWORD CALLBACK WriteToFile(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
  auto* sink = reinterpret_cast<FileSink*>(cookie);
  DWORD written = 0;
  const DWORD asked = DWORD(std::max<LONG>(count, 0));
  if (!FileCalls().write(sink->file, buffer, asked, &written, nullptr) || written != asked) {
    sink->failed = true;
    *done = 0;
    return 1;
  }
  *done = LONG(written);
  return 0;
}

// The calls of a save in the line's forms: wide on NT, the system encoding
// on the A line.
UINT TemporaryName(const wchar_t* folder, wchar_t* name) {
  return GetTempFileNameW(folder, L"kvt", 0, name);
}
UINT TemporaryName(const char* folder, char* name) {
  return GetTempFileNameA(folder, "kvt", 0, name);
}
HANDLE CreateForWriting(const wchar_t* path) {
  return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE CreateForWriting(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}
BOOL Delete(const wchar_t* path) { return DeleteFileW(path); }
BOOL Delete(const char* path) { return DeleteFileA(path); }
BOOL Replace(const wchar_t* from, const wchar_t* to) {
  return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
// Systems of the A line without MoveFileEx: the target moves aside, the new
// file takes its name, and only then does the old one go (else it comes
// back).
BOOL Replace(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return TRUE;
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return FALSE;
  if (GetFileAttributesA(to) == INVALID_FILE_ATTRIBUTES) return MoveFileA(from, to);
  const std::string aside = std::string(from) + "~";
  if (!MoveFileA(to, aside.c_str())) return FALSE;
  if (!MoveFileA(from, to)) {
    const DWORD error = GetLastError();
    MoveFileA(aside.c_str(), to);
    SetLastError(error);
    return FALSE;
  }
  DeleteFileA(aside.c_str());
  return TRUE;
}

// Writes a new file beside the target through write(file) (true: every byte
// written) and moves it over the target only then; the temporary file goes
// on every failure. 0 or the code of the step that failed.
template <class Char, class Write>
uint32_t SaveThroughTemporary(const std::basic_string<Char>& target, Write write) {
  const Char separators[] = {Char('\\'), Char('/'), Char(0)};
  const size_t separator = target.find_last_of(separators);
  const std::basic_string<Char> folder =
      separator == target.npos ? std::basic_string<Char>(1, Char('.'))
                               : target.substr(0, separator + 1);
  Char temporary[MAX_PATH + 1] = {};
  if (!TemporaryName(folder.c_str(), temporary)) return GetLastError();
  UniqueFile file(CreateForWriting(temporary));
  uint32_t error = 0;
  if (!file.valid()) {
    error = GetLastError();
  } else if (!write(file.get()) || !FlushFileBuffers(file.get()) || !file.Close()) {
    error = ERROR_WRITE_FAULT;
  } else if (!Replace(temporary, target.c_str())) {
    error = GetLastError();
  }
  if (error) {
    file.Close();
    Delete(temporary);
  }
  return error;
}

// ---- The media slots ----

RichEditPane* FieldPane(RuntimeObject* field) {
  if (!field || !ObjectIsADefinition(field, GetEditFieldClassDefinition())) return nullptr;
  return dynamic_cast<RichEditPane*>(ControlFields(field)->pane);
}

bool HasNativeControl(RuntimeObject* field) {
  RichEditPane* pane = FieldPane(field);
  return pane && pane->NativeWindow();
}

uint32_t LoadFieldFile(RuntimeObject* field, const char* path) {
  RichEditPane* pane = FieldPane(field);
  if (!pane) return ERROR_INVALID_HANDLE;
  StringRef name = StringRef::Adopt(StringFromUTF8(path));
  return pane->LoadStyledText(name.get());
}

uint32_t SaveFieldFile(RuntimeObject* field, const char* path) {
  RichEditPane* pane = FieldPane(field);
  if (!pane) return ERROR_INVALID_HANDLE;
  StringRef name = StringRef::Adopt(StringFromUTF8(path));
  return pane->SaveStyledText(name.get());
}

}  // namespace

StyleRecordAllocator SetStyleRecordAllocator(StyleRecordAllocator allocator) {
  return std::exchange(RecordAllocator(), allocator ? allocator : NewRecordRoom);
}

StyledTextFileCalls SetStyledTextFileCalls(const StyledTextFileCalls& calls) {
  const StyledTextFileCalls previous = FileCalls();
  FileCalls() = StyledTextFileCalls{calls.read ? calls.read : ReadFile,
                                    calls.write ? calls.write : WriteFile};
  return previous;
}

// ---- The style record on the pane ----

StringRecord* RichEditPane::GetStyleData() {
  ControlCallGuard guard(this, SinkControl());
  StringRecord* record = nullptr;
  try {
    const std::u16string text = password_ ? clear_.Text() : WindowUnits();
    const std::vector<StyleRun> runs = ReadStyleRuns(Utf8Length(text));
    const uint64_t size = StyleRecordSize(runs);
    record = size <= UINT32_MAX ? RecordAllocator()(uint32_t(size)) : nullptr;
    if (record) {
      WriteStyleRecord(runs, StringRoom(record));
      StringSetLength(record, uint32_t(size));
    }
  } catch (const std::bad_alloc&) {
    record = nullptr;
  }
  if (record) return record;
  RaiseExceptionOfDefinition(GetOutOfMemoryExceptionClassDefinition());
  return NewString("", 0, kEncodingNone);
}

std::vector<StyleRun> RichEditPane::ReadStyleRuns(size_t entries) {
  const LONG positions = access_.Positions();
  SuspendedEditNotifications quiet(access_);
  EditRedrawOff still(access_);
  HiddenSelectionKept kept(access_);
  std::vector<StyleRun> runs;
  StyleEntry entry;
  size_t written = 0;
  LONG run = 1;  // the range tried next: longer after uniform ranges
  while (written < entries && LONG(written) < positions) {
    const LONG start = LONG(written);
    const LONG end = std::min(positions, start + run);
    const CHARFORMATA format = access_.AnsiCharFormatOf(start, end);
    if ((format.dwMask & kUniformMask) != kUniformMask && end - start > 1) {
      run = 1;
      continue;
    }
    entry = EntryOf(format);
    const size_t taken = std::min(size_t(end - start), entries - written);
    if (runs.empty() || runs.back().entry != entry) runs.push_back(StyleRun{entry, 0});
    runs.back().positions += taken;
    written += taken;
    run = std::min<LONG>(run * 2, 1 << 16);
  }
  // Bytes past the last character repeat the format at the end.
  if (written < entries) {
    if (runs.empty()) runs.push_back(StyleRun{entry, 0});
    runs.back().positions += entries - written;
  }
  return runs;
}

void RichEditPane::SetTextAndStyle(const StringRecord* text, const StringRecord* style) {
  ControlCallGuard guard(this, SinkControl());
  ControlPaneSetText(this, text);
  SuspendedEditNotifications quiet(access_);
  EditRedrawOff still(access_);
  access_.Send(EM_HIDESELECTION, 1, 0);
  const LONG positions = std::max<LONG>(access_.Positions(), 0);
  const LONG limit = LONG(std::min<size_t>(StringLength(text), size_t(positions)));
  StyleRecordReader reader(StringData(style), StringLength(style));
  StyleEntry entry;
  StyleEntry runEntry;
  LONG runStart = 0;
  LONG i = 0;
  auto styleRun = [&](LONG end, const CHARFORMATA& format) {
    if (end == runStart) return;
    access_.Select(runStart, end);
    access_.SetAnsiCharFormat(SCF_SELECTION, format);
  };
  // Equal entries in a row make one run, set at once.
  for (; i < limit && reader.Next(&entry); ++i) {
    if (i > runStart && entry != runEntry) {
      styleRun(i, FormatOf(runEntry));
      runStart = i;
    }
    runEntry = entry;
  }
  styleRun(i, FormatOf(runEntry));
  // What the record leaves unstyled is plain black "MS Sans Serif" (the
  // styled runs set every one of those themselves).
  runStart = i;
  CHARFORMATA reset = FormatOf(StyleEntry{});
  reset.dwMask &= ~CFM_SIZE;
  styleRun(positions, reset);
  access_.Select(i + 1, i + 1);
  access_.Send(EM_HIDESELECTION, 0, 0);
}

// ---- Files ----

uint32_t RichEditPane::LoadStyledText(const StringRecord* path) {
  std::vector<uint8_t> bytes;
  if (const uint32_t error = ReadWholeFile(path, &bytes)) return error;
  const bool rtf = bytes.size() >= 5 && std::memcmp(bytes.data(), "{\\rtf", 5) == 0;
  // The control's reader does not survive deeper nesting or longer words.
  if (rtf && !RtfWithinReaderLimits(bytes.data(), bytes.size(), kMaxRtfDepth)) {
    return ERROR_INVALID_DATA;
  }
  ControlCallGuard guard(this, SinkControl());
  SuspendedEditNotifications quiet(access_);
  EditRedrawOff still(access_);
  // An empty control takes a stream far faster than a full one.
  access_.Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  MemorySource source{bytes.data(), bytes.size(), 0};
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, ReadFromMemory};
  access_.Send(EM_STREAMIN, rtf ? SF_RTF : SF_TEXT, reinterpret_cast<LPARAM>(&stream));
  return stream.dwError ? ERROR_INVALID_DATA : 0;
}

uint32_t RichEditPane::SaveStyledText(const StringRecord* path) {
  auto streamOut = [this](HANDLE file) {
    FileSink sink{file, false};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&sink), 0, WriteToFile};
    ControlCallGuard guard(this, SinkControl());
    access_.Send(EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    return !sink.failed && stream.dwError == 0;
  };
  if (IsWindowsNT()) return SaveThroughTemporary(StringToWide(path), streamOut);
  StringRef bytes = StringRef::Adopt(StringToSystemEncoding(path));
  return SaveThroughTemporary(StringBytes(bytes.get()), streamOut);
}

// ---- Classes ----

ObjectDefinition* GetStyledTextRangeClassDefinition() {
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "_StyledTextRange");
    definition.flags = 1;
    return &definition;
  }();
  return made;
}

ObjectDefinition* GetStyledTextClassDefinition() {
  static const PropertyRecord properties[] = {
      {0, "RTFString", &kStringType, RUNTIME_ENTRY(StyledTextRTFStringGetter),
       RUNTIME_ENTRY(StyledTextRTFStringSetter), 0},
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "StyledText");
    definition.flags = 1;
    BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
    return &definition;
  }();
  return made;
}

void InitStyledTextClasses() {
  RegisterIntrinsicClass(GetStyledTextRangeClassDefinition());
  RegisterIntrinsicClass(GetStyledTextClassDefinition());
  MediaSlots slots = CurrentMediaSlots();
  slots.hasNativeControl = HasNativeControl;
  slots.loadStyledText = LoadFieldFile;
  slots.saveStyledText = SaveFieldFile;
  InstallMediaSlots(slots);
}

extern "C" StringRecord* StyledTextRTFStringGetter(RuntimeObject* object) {
  if (!object) AssertionFailed(131, 4, "StyledTextAccessors", 74, "self", "");
  return StringFromUTF8("");
}

extern "C" void StyledTextRTFStringSetter(RuntimeObject* object, uint32_t, StringRecord*) {
  if (!object) AssertionFailed(131, 4, "StyledTextAccessors", 81, "self", "");
}
