// Figures of an edit field's styled text against a raw rich-edit control of
// the same size in the same shown window, each doing the job as a
// hand-written program would:
//
//   Load   LoadStyledText of 1.2 MB of RTF (990,000 characters in 10,000
//          runs of alternating bold, two faces, three sizes, red or black,
//          written once by the raw control) into a field holding the
//          previous load; raw: WM_SETTEXT "" and EM_STREAMIN from ReadFile.
//   Style  SetTextAndStyle of that text and its style record; raw:
//          WM_SETTEXT, then EM_EXSETSEL + EM_SETCHARFORMAT per run with
//          redraw off. Also the EM_SETCHARFORMAT calls per run.
//   Save   SaveStyledText; raw: EM_STREAMOUT to WriteFile.
//   Read   TextStyleData of 99,000 characters in 1,000 runs; raw: EM_EXSETSEL
//          + EM_GETCHARFORMAT per position with redraw off.
//   Runs   Text and TextStyleData of 219,120 characters in 6,640 runs of 33;
//          raw: EM_GETTEXTEX, then the field's own search for the runs
//          (EM_EXSETSEL + EM_GETCHARFORMAT over growing ranges, handed
//          straight to the control's window procedure as the field hands
//          them) with redraw off and the selection hidden, then kept where
//          it was: the same messages, so the ratio is what the field adds.
//          Best of nine.
//
// Both controls show the text in the field's default font (a raw control's
// own default is cheaper to lay out under some systems, which would compare
// fonts, not code). Prints milliseconds and the ratio to the raw control.
//
//   styled_text_bench [Runs]   (Runs: that row only)
#include <windows.h>

#include <richedit.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchWindow.h"
#include "controls/editfield/EditField.h"
#include "controls/editfield/StyleRecord.h"
#include "core/ObjectDefinition.h"

namespace {

constexpr int kRunLength = 99;
constexpr int kShortRunLength = 33;
constexpr int kWidth = 480;
constexpr int kHeight = 360;
const char* const kFaces[] = {"Arial", "Times New Roman"};
const uint8_t kSizes[] = {9, 12, 24};

StyleEntry RunEntry(int run) {
  StyleEntry entry;
  entry.styles = run % 2 ? kStyleBold : 0;
  entry.face = kFaces[(run / 2) % 2];
  entry.size = kSizes[run % 3];
  entry.red = run % 5 == 0 ? 255 : 0;
  return entry;
}

// Runs of words, a paragraph break closing every tenth run.
std::string Text(int runs, int runLength = kRunLength) {
  std::string text;
  for (int run = 0; run < runs; ++run) {
    std::string piece;
    while (piece.size() < size_t(runLength)) piece += "styled ";
    piece.resize(size_t(runLength));
    if (run % 10 == 9) piece.back() = '\r';
    text += piece;
  }
  return text;
}

std::string Record(int runs, int runLength = kRunLength) {
  StyleRecordWriter writer;
  for (int run = 0; run < runs; ++run) {
    const StyleEntry entry = RunEntry(run);
    for (int i = 0; i < runLength; ++i) writer.Append(entry);
  }
  return writer.Bytes();
}

CHARFORMATA FormatOf(const StyleEntry& entry) {
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_SIZE | CFM_FACE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_COLOR;
  format.dwEffects = (entry.styles & kStyleBold) ? CFE_BOLD : 0;
  format.yHeight = LONG(entry.size) * 15;
  format.crTextColor = RGB(entry.red, entry.green, entry.blue);
  lstrcpynA(format.szFaceName, entry.face.c_str(), LF_FACESIZE);
  return format;
}

constexpr DWORD kUniform = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_FACE | CFM_COLOR | CFM_SIZE;

class RawControl {
 public:
  explicit RawControl(HWND parent) {
    window_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"RichEdit20W", L"",
                              WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_NOHIDESEL | WS_VSCROLL,
                              kWidth + 20, 10, kWidth, kHeight, parent, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SendMessageW(window_, EM_EXLIMITTEXT, 0, 1000000);
  }
  ~RawControl() { DestroyWindow(window_); }

  // The field's default character format: the same text in the same font.
  void TakeDefaultFormat(HWND field) {
    CHARFORMATW format{};
    format.cbSize = sizeof format;
    SendMessageW(field, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    SendMessageW(window_, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    SendMessageW(window_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  }
  HWND get() const { return window_; }

  void Style(const std::string& text, int runs, int runLength = kRunLength) {
    SetWindowTextA(window_, text.c_str());
    SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
    for (int run = 0; run < runs; ++run) {
      CHARRANGE range{run * runLength, (run + 1) * runLength};
      SendMessageW(window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
      CHARFORMATA format = FormatOf(RunEntry(run));
      SendMessageA(window_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    }
    SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(window_, nullptr, TRUE);
  }

  void Load(const std::wstring& path) {
    SendMessageW(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(file), 0, &ReadCallback};
    SendMessageW(window_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    CloseHandle(file);
  }

  void Save(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(file), 0, &WriteCallback};
    SendMessageW(window_, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    CloseHandle(file);
  }

  // One EM_EXSETSEL + EM_GETCHARFORMAT per position; a checksum.
  uint32_t ReadEach(int positions) {
    uint32_t sum = 0;
    SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < positions; ++i) {
      CHARRANGE range{i, i + 1};
      SendMessageW(window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
      CHARFORMATA format{};
      format.cbSize = sizeof format;
      SendMessageA(window_, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
      sum += uint32_t(format.yHeight) + format.dwEffects;
    }
    SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
    return sum;
  }

  // The text through EM_GETTEXTEX and the runs as the field searches them;
  // the number of runs.
  size_t ReadTextAndRuns(std::u16string* text) {
    GETTEXTLENGTHEX length{GTL_PRECISE | GTL_NUMCHARS, 1200};
    const LONG units = LONG(
        SendMessageW(window_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
    text->assign(size_t(units) + 1, u'\0');
    GETTEXTEX request{DWORD(text->size() * 2), GT_DEFAULT, 1200, nullptr, nullptr};
    text->resize(size_t(SendMessageW(window_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request),
                                     reinterpret_cast<LPARAM>(text->data()))));
    SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(window_, EM_HIDESELECTION, 1, 0);
    CHARRANGE kept{0, 0};
    SendMessageW(window_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    const auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window_, GWLP_WNDPROC));
    std::vector<std::pair<LONG, CHARFORMATA>> runs;
    LONG start = 0;
    LONG run = 1;
    while (start < units) {
      const LONG end = std::min(units, start + run);
      CHARRANGE range{start, end};
      CallWindowProcW(procedure, window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
      CHARFORMATA format{};
      format.cbSize = sizeof format;
      CallWindowProcW(procedure, window_, EM_GETCHARFORMAT, SCF_SELECTION,
                      reinterpret_cast<LPARAM>(&format));
      if ((format.dwMask & kUniform) != kUniform && end - start > 1) {
        run = 1;
        continue;
      }
      runs.emplace_back(end, format);
      start = end;
      run = std::min<LONG>(run * 2, 1 << 16);
    }
    SendMessageW(window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    SendMessageW(window_, EM_HIDESELECTION, 0, 0);
    SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
    return runs.size();
  }

 private:
  static DWORD CALLBACK ReadCallback(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, DWORD(count), &read, nullptr)) return 1;
    *done = LONG(read);
    return 0;
  }
  static DWORD CALLBACK WriteCallback(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(cookie), buffer, DWORD(count), &written, nullptr)) {
      return 1;
    }
    *done = LONG(written);
    return 0;
  }

  HWND window_;
};

// EM_SETCHARFORMAT calls reaching one window while the hook is set.
HWND countedWindow = nullptr;
int setFormatCalls = 0;

LRESULT CALLBACK CountFormats(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && message->hwnd == countedWindow && message->message == EM_SETCHARFORMAT) {
    ++setFormatCalls;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

StringRef Bytes(const std::string& bytes, uint32_t encoding) {
  return StringRef::Adopt(NewString(bytes.data(), bytes.size(), encoding));
}

StringRef WidePath(const std::wstring& path) {
  return StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
}

void PrintRow(const char* row, double ours, double raw) {
  std::printf("%-6s field %9.1f ms   raw %9.1f ms   %5.2fx raw goal <= 1.2\n", row, ours, raw,
              raw > 0 ? ours / raw : 0.0);
}

void SetBool(RuntimeObject* control, const char* name, uint8_t value) {
  PropertyAccess access{};
  if (FindPropertyAccess(control, name, &access) && access.setter) {
    reinterpret_cast<void (*)(RuntimeObject*, uint32_t, uint8_t)>(access.setter)(
        control, access.parameter, value);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!StartBenchRunTime()) return 1;
  const bool allRows = argc < 2 || std::strcmp(argv[1], "Runs") != 0;
  ObjectRef field = BenchControl(CreateInstance(GetEditFieldClassDefinition()), "Field1",
                                 MacRect{10, 10, int16_t(10 + kHeight), int16_t(10 + kWidth)});
  SetBool(field.get(), "Styled", 1);
  SetBool(field.get(), "MultiLine", 1);
  SetBool(field.get(), "ScrollBarVertical", 1);
  SetBool(field.get(), "Border", 1);
  ObjectRef window = OpenBenchWindow(2 * kWidth + 40, kHeight + 20, {field});
  auto* pane = dynamic_cast<RichEditPane*>(ControlFields(field.get())->pane);
  if (!pane || !pane->NativeWindow()) {
    std::printf("no edit pane\n");
    return 1;
  }
  editLimitTextSetter(field.get(), 0, 0);
  RawControl raw(WindowHandle(window.get()));
  raw.TakeDefaultFormat(pane->NativeWindow());

  wchar_t temp[MAX_PATH + 1];
  const std::wstring folder(temp, GetTempPathW(MAX_PATH + 1, temp));
  const std::wstring source = folder + L"styled_bench_source.rtf";
  const std::wstring fieldCopy = folder + L"styled_bench_field.rtf";
  const std::wstring rawCopy = folder + L"styled_bench_raw.rtf";

  if (allRows) {
    const int runs = 10000;
    const std::string text = Text(runs);
    const std::string record = Record(runs);
    raw.Style(text, runs);
    raw.Save(source);

    // Load, each control holding the previous load.
    pane->LoadStyledText(WidePath(source).get());
    raw.Load(source);
    double start = Now();
    pane->LoadStyledText(WidePath(source).get());
    const double loadOurs = (Now() - start) * 1000;
    start = Now();
    raw.Load(source);
    PrintRow("Load", loadOurs, (Now() - start) * 1000);

    StringRef textString = Bytes(text, kEncodingUTF8);
    StringRef recordString = Bytes(record, kEncodingUTF8);
    start = Now();
    editSetTextAndStyle(field.get(), textString.get(), recordString.get());
    const double styleOurs = (Now() - start) * 1000;
    start = Now();
    raw.Style(text, runs);
    PrintRow("Style", styleOurs, (Now() - start) * 1000);
    countedWindow = pane->NativeWindow();
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountFormats, nullptr, GetCurrentThreadId());
    editSetTextAndStyle(field.get(), textString.get(), recordString.get());
    UnhookWindowsHookEx(hook);
    std::printf("Style  EM_SETCHARFORMAT per run: field %.2f, raw 1.00\n",
                double(setFormatCalls) / runs);

    start = Now();
    pane->SaveStyledText(WidePath(fieldCopy).get());
    const double saveOurs = (Now() - start) * 1000;
    start = Now();
    raw.Save(rawCopy);
    PrintRow("Save", saveOurs, (Now() - start) * 1000);

    const int readRuns = 1000;
    const std::string readText = Text(readRuns);
    editSetTextAndStyle(field.get(), Bytes(readText, kEncodingUTF8).get(),
                        Bytes(Record(readRuns), kEncodingUTF8).get());
    raw.Style(readText, readRuns);
    start = Now();
    StringRef data = StringRef::Adopt(editTextStyleDataGetter(field.get(), 0));
    const double readOurs = (Now() - start) * 1000;
    start = Now();
    const uint32_t sum = raw.ReadEach(readRuns * kRunLength);
    PrintRow("Read", readOurs, (Now() - start) * 1000);
    std::printf("(record %u bytes, checksum %u)\n", unsigned(StringLength(data.get())),
                unsigned(sum));
  }

  const int shortRuns = 6640;
  const std::string runsText = Text(shortRuns, kShortRunLength);
  editSetTextAndStyle(field.get(), Bytes(runsText, kEncodingUTF8).get(),
                      Bytes(Record(shortRuns, kShortRunLength), kEncodingUTF8).get());
  raw.Style(runsText, shortRuns, kShortRunLength);
  // The best of nine turns each, which goes first alternating (the
  // machine is shared).
  StringRef fieldText;
  StringRef runsData;
  std::u16string rawText;
  size_t rawRuns = 0;
  double runsOurs = 1e30;
  double runsRaw = 1e30;
  auto readField = [&] {
    const double start = Now();
    fieldText = StringRef::Adopt(editTextGetter(field.get(), 0));
    runsData = StringRef::Adopt(editTextStyleDataGetter(field.get(), 0));
    runsOurs = std::min(runsOurs, (Now() - start) * 1000);
  };
  auto readRaw = [&] {
    const double start = Now();
    rawRuns = raw.ReadTextAndRuns(&rawText);
    runsRaw = std::min(runsRaw, (Now() - start) * 1000);
  };
  for (int turn = 0; turn < 9; ++turn) {
    if (turn % 2) readRaw();
    readField();
    if (turn % 2 == 0) readRaw();
  }
  PrintRow("Runs", runsOurs, runsRaw);
  std::printf("(text %u and %u characters, record %u bytes, %u ranges read)\n",
              unsigned(StringLength(fieldText.get())), unsigned(rawText.size()),
              unsigned(StringLength(runsData.get())), unsigned(rawRuns));

  for (const std::wstring& path : {source, fieldCopy, rawCopy}) DeleteFileW(path.c_str());
  WindowClose(window.get());
  return 0;
}
