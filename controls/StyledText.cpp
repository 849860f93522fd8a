// The edit pane's styled text: the style record, RTF files, and the
// StyledText classes.
#include "controls/StyledText.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "controls/EditField.h"
#include "controls/RichEditPane.h"
#include "controls/StyleRecord.h"
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

UniqueFile OpenFile(const StringRecord* path, DWORD access, DWORD disposition) {
  if (IsWindowsNT()) {
    std::unique_ptr<wchar_t, decltype(&RuntimeFree)> wide(StringToWideAlloc(path), RuntimeFree);
    return UniqueFile(CreateFileW(wide.get(), access, FILE_SHARE_READ, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  StringRef bytes = StringRef::Adopt(StringToSystemEncoding(path));
  const std::string name = StringBytes(bytes.get());
  return UniqueFile(CreateFileA(name.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The whole file, or the code that stopped the reading.
uint32_t ReadWholeFile(const StringRecord* path, std::vector<uint8_t>* bytes) {
  UniqueFile file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
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

// The folder part of a path (through its last separator), "." without one.
std::wstring FolderOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? L"." : path.substr(0, separator + 1);
}

// A new empty file beside the target; "" when none can be made.
std::wstring NewTemporaryBeside(const std::wstring& target) {
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetTempFileNameW(FolderOf(target).c_str(), L"kvt", 0, name)) return {};
  return name;
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

StyledTextFileCalls SetStyledTextFileCalls(const StyledTextFileCalls& calls) {
  const StyledTextFileCalls previous = FileCalls();
  FileCalls() = StyledTextFileCalls{calls.read ? calls.read : ReadFile,
                                    calls.write ? calls.write : WriteFile};
  return previous;
}

// ---- The style record on the pane ----

StringRecord* RichEditPane::GetStyleData() {
  ControlCallGuard guard(this, SinkControl());
  StringRef text = StringRef::Adopt(GetText(kEncodingUTF8));
  const size_t entries = StringLength(text.get());
  const LONG positions = access_.Length(GTL_PRECISE | GTL_NUMCHARS);
  SuspendedEditNotifications quiet(access_);
  EditRedrawOff still(access_);
  access_.Send(EM_HIDESELECTION, 1, 0);
  const CHARRANGE kept = access_.Selection();

  StyleRecordWriter writer;
  writer.Reserve(entries + 1);
  StyleEntry entry;
  size_t written = 0;
  LONG run = 1;  // the range tried next: longer after uniform ranges
  while (written < entries && LONG(written) < positions) {
    const LONG start = LONG(written);
    const LONG end = std::min(positions, start + run);
    access_.Select(start, end);
    const CHARFORMATA format = access_.AnsiCharFormat();
    if ((format.dwMask & kUniformMask) != kUniformMask && end - start > 1) {
      run = 1;
      continue;
    }
    entry = EntryOf(format);
    for (LONG i = start; i < end && written < entries; ++i, ++written) writer.Append(entry);
    run = std::min<LONG>(run * 2, 1 << 16);
  }
  // Bytes past the last character repeat the format at the end.
  for (; written < entries; ++written) writer.Append(entry);

  access_.Select(kept.cpMin, kept.cpMax);
  access_.Send(EM_HIDESELECTION, 0, 0);
  const std::string& bytes = writer.Bytes();
  return NewString(bytes.data(), bytes.size(), kEncodingUTF8);
}

void RichEditPane::SetTextAndStyle(const StringRecord* text, const StringRecord* style) {
  ControlCallGuard guard(this, SinkControl());
  ControlPaneSetText(this, text);
  SuspendedEditNotifications quiet(access_);
  EditRedrawOff still(access_);
  access_.Send(EM_HIDESELECTION, 1, 0);
  const LONG positions = std::max<LONG>(access_.Length(GTL_PRECISE | GTL_NUMCHARS), 0);
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
  // The control's reader does not survive deeper nesting.
  if (rtf && !RtfNestingWithin(bytes.data(), bytes.size(), kMaxRtfDepth)) {
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
  const std::wstring target = StringToWide(path);
  const std::wstring temporary = NewTemporaryBeside(target);
  if (temporary.empty()) return GetLastError();
  StringRef temporaryName = StringRef::Adopt(StringFromUTF16(
      reinterpret_cast<const uint16_t*>(temporary.data()), int32_t(temporary.size())));
  UniqueFile file = OpenFile(temporaryName.get(), GENERIC_WRITE, CREATE_ALWAYS);
  if (!file.valid()) {
    const uint32_t error = GetLastError();
    DeleteFileW(temporary.c_str());
    return error;
  }
  FileSink sink{file.get(), false};
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&sink), 0, WriteToFile};
  {
    ControlCallGuard guard(this, SinkControl());
    access_.Send(EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  }
  const bool whole = !sink.failed && stream.dwError == 0 && FlushFileBuffers(file.get()) &&
                     file.Close();
  if (!whole) {
    file.Close();
    DeleteFileW(temporary.c_str());
    return ERROR_WRITE_FAULT;
  }
  if (!MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const uint32_t error = GetLastError();
    DeleteFileW(temporary.c_str());
    return error;
  }
  return 0;
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
