// The edit pane's messages to its rich-edit window.
#include "controls/editfield/RichEditAccess.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ui/ControlPane.h"
#include "ui/WinUtil.h"

static_assert(sizeof(CHARFORMATA) == 60, "CHARFORMATA is 60 bytes");
static_assert(sizeof(CHARFORMATW) == 92, "CHARFORMATW is 92 bytes");
static_assert(sizeof(PARAFORMAT) == 156, "PARAFORMAT is 156 bytes");

namespace {

constexpr size_t kFaceRoom = LF_FACESIZE - 1;  // the terminator takes one

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }

// The units of the character starting at i: two for a whole pair.
size_t CharacterUnits(const std::u16string& text, size_t i) {
  return IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
}

std::string ToSystemBytes(const char16_t* units, size_t count) {
  if (count == 0) return {};
  const UINT codePage = SystemEncodingCodePage();
  const auto* wide = reinterpret_cast<const wchar_t*>(units);
  const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, int(count), nullptr,
                                       0, nullptr, nullptr);
  std::string bytes(size_t(std::max(size, 0)), '\0');
  if (size > 0) {
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, int(count), bytes.data(), size,
                        nullptr, nullptr);
  }
  return bytes;
}

std::u16string FromSystemBytes(const char* bytes, size_t count) {
  if (count == 0) return {};
  const UINT codePage = SystemEncodingCodePage();
  const int size = MultiByteToWideChar(codePage, 0, bytes, int(count), nullptr, 0);
  std::u16string units(size_t(std::max(size, 0)), u'\0');
  if (size > 0) {
    MultiByteToWideChar(codePage, 0, bytes, int(count), reinterpret_cast<wchar_t*>(units.data()),
                        size);
  }
  return units;
}

// The face cut to the structure's room, whole characters only.
void PutFace(const std::u16string& face, WCHAR (&out)[LF_FACESIZE]) {
  size_t used = 0;
  for (size_t i = 0; i < face.size();) {
    const size_t units = CharacterUnits(face, i);
    if (used + units > kFaceRoom) break;
    std::copy_n(face.data() + i, units, out + used);
    used += units;
    i += units;
  }
  out[used] = 0;
}

void PutFace(const std::u16string& face, char (&out)[LF_FACESIZE]) {
  std::string bytes;
  for (size_t i = 0; i < face.size();) {
    const size_t units = CharacterUnits(face, i);
    const std::string character = ToSystemBytes(face.data() + i, units);
    if (bytes.size() + character.size() > kFaceRoom) break;
    bytes += character;
    i += units;
  }
  std::memcpy(out, bytes.c_str(), bytes.size() + 1);
}

std::u16string FaceOf(const WCHAR (&face)[LF_FACESIZE]) {
  return std::u16string(reinterpret_cast<const char16_t*>(face), wcsnlen(face, kFaceRoom));
}

std::u16string FaceOf(const char (&face)[LF_FACESIZE]) {
  return FromSystemBytes(face, strnlen(face, kFaceRoom));
}

template <class Format>
Format MakeFormat(const EditCharFormat& from) {
  Format format{};
  format.cbSize = sizeof format;
  format.dwMask = from.mask;
  format.dwEffects = from.effects;
  format.yHeight = from.height;
  format.crTextColor = from.color;
  format.bCharSet = from.charset;
  if (from.mask & CFM_FACE) PutFace(from.face, format.szFaceName);
  return format;
}

template <class Format>
EditCharFormat ReadFormat(const Format& format) {
  EditCharFormat read;
  read.mask = format.dwMask;
  read.effects = format.dwEffects;
  read.height = format.yHeight;
  read.color = format.crTextColor;
  read.charset = format.bCharSet;
  if (format.dwMask & CFM_FACE) read.face = FaceOf(format.szFaceName);
  return read;
}

}  // namespace

HWND RichEditAccess::Window() const { return pane_.NativeWindow(); }

LRESULT RichEditAccess::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
  HWND window = Window();
  return window ? SendMessageAuto(window, message, wParam, lParam) : 0;
}

void RichEditAccess::Suspend() {
  if (suspended_++ == 0) Send(EM_SETEVENTMASK, 0, 0);
}

void RichEditAccess::Resume() {
  if (suspended_ > 0) --suspended_;
  StartNotifying();
}

void RichEditAccess::StartNotifying() const {
  if (suspended_ == 0) Send(EM_SETEVENTMASK, 0, kEditEventMask);
}

CHARRANGE RichEditAccess::Selection() const {
  CHARRANGE range{0, 0};
  Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  return range;
}

void RichEditAccess::Select(LONG start, LONG end) const {
  CHARRANGE range{start, end};
  Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

int32_t RichEditAccess::Length(DWORD flags) const {
  GETTEXTLENGTHEX request{flags, 1200};
  return int32_t(Send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&request), 0));
}

int32_t RichEditAccess::Positions() const {
  if (IsWindowsNT()) return Length(GTL_PRECISE | GTL_NUMCHARS);
  HWND window = Window();
  return window ? GetWindowTextLengthA(window) : 0;
}

std::u16string RichEditAccess::Text(DWORD flags) const {
  HWND window = Window();
  if (!window) return {};
  int32_t units = 0;
  if (flags & GT_SELECTION) {
    const CHARRANGE range = Selection();
    units = std::max<LONG>(range.cpMax - range.cpMin, 0);
  } else {
    units = Length(GTL_USECRLF | GTL_PRECISE);
  }
  std::u16string text(size_t(std::max(units, 0)) + 1, u'\0');
  GETTEXTEX request{};
  request.cb = DWORD(text.size() * sizeof(char16_t));
  request.flags = flags;
  request.codepage = 1200;
  const LRESULT copied = SendMessageW(window, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request),
                                      reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::clamp<size_t>(size_t(std::max<LRESULT>(copied, 0)), 0, text.size() - 1));
  return text;
}

std::string RichEditAccess::SelectedBytes() const {
  HWND window = Window();
  if (!window) return {};
  const CHARRANGE range = Selection();
  const size_t positions = size_t(std::max<LONG>(range.cpMax - range.cpMin, 0));
  std::vector<char> buffer(2 * positions + 2, '\0');
  SendMessageA(window, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer.data()));
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

void RichEditAccess::ReplaceSelection(const std::u16string& text, bool undoable) const {
  HWND window = Window();
  if (!window) return;
  const WPARAM undo = undoable ? TRUE : FALSE;
  if (IsWindowsNT()) {
    SendMessageW(window, EM_REPLACESEL, undo, reinterpret_cast<LPARAM>(text.c_str()));
  } else {
    const std::string bytes = ToSystemBytes(text.data(), text.size());
    SendMessageA(window, EM_REPLACESEL, undo, reinterpret_cast<LPARAM>(bytes.c_str()));
  }
}

void RichEditAccess::SetCharFormat(DWORD scope, const EditCharFormat& format) const {
  HWND window = Window();
  if (!window) return;
  const bool wide = (format.mask & CFM_FACE) && IsWindowsNT();
  auto send = [&](DWORD which) {
    if (wide) {
      CHARFORMATW made = MakeFormat<CHARFORMATW>(format);
      SendMessageW(window, EM_SETCHARFORMAT, which, reinterpret_cast<LPARAM>(&made));
    } else {
      CHARFORMATA made = MakeFormat<CHARFORMATA>(format);
      SendMessageA(window, EM_SETCHARFORMAT, which, reinterpret_cast<LPARAM>(&made));
    }
  };
  send(scope);
  if (scope == SCF_ALL) send(SCF_DEFAULT);
}

EditCharFormat RichEditAccess::GetCharFormat(bool withFace) const {
  HWND window = Window();
  if (!window) return {};
  if (withFace && IsWindowsNT()) {
    CHARFORMATW format{};
    format.cbSize = sizeof format;
    SendMessageW(window, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return ReadFormat(format);
  }
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  SendMessageA(window, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return ReadFormat(format);
}

CHARFORMATA RichEditAccess::AnsiCharFormat() const {
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  if (HWND window = Window()) {
    SendMessageA(window, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
  return format;
}

CHARFORMATA RichEditAccess::AnsiCharFormatOf(LONG start, LONG end) const {
  CHARRANGE range{start, end};
  SendToControl(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  SendToControl(EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format;
}

LRESULT RichEditAccess::SendToControl(UINT message, WPARAM wParam, LPARAM lParam) const {
  HWND window = Window();
  if (!window) return 0;
  WNDPROC own = pane_.SavedProcedure();
  return own ? CallWindowProcAuto(own, window, message, wParam, lParam)
             : SendMessageAuto(window, message, wParam, lParam);
}

void RichEditAccess::SetAnsiCharFormat(DWORD scope, const CHARFORMATA& format) const {
  CHARFORMATA sent = format;
  sent.cbSize = sizeof sent;
  if (HWND window = Window()) {
    SendMessageA(window, EM_SETCHARFORMAT, scope, reinterpret_cast<LPARAM>(&sent));
  }
}

void RichEditAccess::SetParaFormat(const PARAFORMAT& format) const {
  PARAFORMAT sent = format;
  sent.cbSize = sizeof sent;
  Send(EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&sent));
}

PARAFORMAT RichEditAccess::GetParaFormat() const {
  PARAFORMAT format{};
  format.cbSize = sizeof format;
  Send(EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format));
  return format;
}

EditRedrawOff::EditRedrawOff(RichEditAccess& access) : access_(access) {
  if (access_.redrawOff_++ == 0) access_.Send(WM_SETREDRAW, FALSE, 0);
}

EditRedrawOff::~EditRedrawOff() {
  if (--access_.redrawOff_ != 0) return;
  access_.Send(WM_SETREDRAW, TRUE, 0);
  if (HWND window = access_.Window()) InvalidateRect(window, nullptr, TRUE);
}
