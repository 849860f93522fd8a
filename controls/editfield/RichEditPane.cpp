// The edit pane on the rich-edit window.
#include "controls/editfield/RichEditPane.h"

#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <utility>

#include "controls/DataControlRole.h"
#include "controls/editfield/StyledTextPrinter.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/GlobalMemory.h"
#include "graphics/ScreenCapture.h"
#include "ui/Clipboard.h"
#include "ui/FontCache.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"

namespace {

constexpr char16_t kMask = u'*';
constexpr LONG kTwipsPerSize = 15;
constexpr LONG kDefaultHeight = 180;  // twips: 12 points
constexpr int32_t kLargestLimit = 1000000;
constexpr WPARAM kUndoLimit = 100;
constexpr DWORD kStyleEffects = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE;

struct RichEditLibraries {
  HMODULE richEdit32 = nullptr;
  HMODULE richEdit20 = nullptr;
  bool loaded = false;
};

RichEditLibraries& Libraries() {
  static RichEditLibraries libraries;
  return libraries;
}

const char* EditWindowClass() { return IsWindowsNT() ? "RichEdit20W" : "RichEdit"; }

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

uint32_t CodePointOf(const std::u16string& units) {
  if (units.size() == 2 && IsHighSurrogate(units[0]) && IsLowSurrogate(units[1])) {
    return 0x10000 + ((uint32_t(units[0]) - 0xD800) << 10) + (uint32_t(units[1]) - 0xDC00);
  }
  return units.empty() ? 0xFFFD : units[0];
}

StringRecord* UTF16Record(const std::u16string& units) {
  return StringFromUTF16(reinterpret_cast<const uint16_t*>(units.data()), int32_t(units.size()));
}

StringRecord* UTF8Record(const std::u16string& units) {
  StringRef wide = StringRef::Adopt(UTF16Record(units));
  return StringToUTF8(wide.get());
}

COLORREF ColorRefOf(const RGBColor16& color) { return RGBColorToColorRef(color); }

RGBColor16 ColorOf(COLORREF color) {
  return RGBColor16{uint16_t(GetRValue(color) * 257), uint16_t(GetGValue(color) * 257),
                    uint16_t(GetBValue(color) * 257)};
}

EditCharFormat ColorFormat(COLORREF color) {
  EditCharFormat format;
  format.mask = CFM_COLOR;
  format.color = color;
  return format;
}

// The selection as a range of the clear text.
TextRange SelectionRange(const CHARRANGE& range) {
  return TextRange{size_t(std::max<LONG>(range.cpMin, 0)), size_t(std::max<LONG>(range.cpMax, 0))};
}

LONG ClampedLong(int64_t value) {
  return LONG(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

WORD ParagraphAlignmentOf(int32_t alignment) {
  switch (alignment) {
    case kAlignCenter: return PFA_CENTER;
    case kAlignRight: return PFA_RIGHT;
    default: return PFA_LEFT;
  }
}

// Keys whose key-down the sink hears as a character (the others arrive as
// typed characters).
bool IsReportedKey(uint32_t virtualKey) {
  return virtualKey == VK_BACK || virtualKey == VK_TAB || virtualKey == VK_RETURN ||
         (virtualKey >= VK_PRIOR && virtualKey <= VK_DOWN) || virtualKey == VK_INSERT ||
         virtualKey == VK_DELETE || virtualKey == 0x97;
}

// Characters the window inserts, and the clear text with it.
bool EntersText(uint32_t character, bool multiLine) {
  return (character >= 0x20 && character != 0x7F) || character == '\t' ||
         (character == '\r' && multiLine);
}

RichEditPane* NewEditPane(EditFieldEventSink* sink, bool styled, bool multiLine, SubPane* parent,
                          int32_t tabPanelIndex, const MacRect& bounds, bool border,
                          const FontDescriptor& font, uint32_t style) {
  LoadRichEditLibraries();
  auto* pane = new RichEditPane(sink, styled, font, parent, tabPanelIndex, bounds, style,
                                border ? WS_EX_CLIENTEDGE : 0);
  pane->SetMultiLine(multiLine);
  return pane;
}

uint32_t MultiLineStyle(bool vScroll, bool hScroll) {
  return ES_MULTILINE | ES_NOHIDESEL | (vScroll ? WS_VSCROLL | ES_AUTOVSCROLL : 0) |
         (hScroll ? WS_HSCROLL | ES_AUTOHSCROLL : 0);
}

}  // namespace

// ---- Libraries ----

void LoadRichEditLibraries() {
  RichEditLibraries& libraries = Libraries();
  if (libraries.loaded) return;
  libraries.richEdit32 = LoadLibraryA("RICHED32.DLL");
  libraries.richEdit20 = LoadLibraryA("RICHED20.DLL");
  libraries.loaded = true;
}

int32_t RichEditVersion() {
  HMODULE library = Libraries().richEdit20;
  if (!library) return 0;
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllGetVersion")));
  if (!getVersion) return IsWindowsNT() ? 3 : 0;
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  return FAILED(getVersion(&info)) ? 0 : int32_t(info.dwMajorVersion);
}

// ---- The sink's defaults ----

void EditFieldEventSink::TextChanged(NativeEditPane*) {}
void EditFieldEventSink::SelectionChanged(NativeEditPane*) {}
bool EditFieldEventSink::KeyChar(NativeEditPane*, uint32_t, uint32_t, uint32_t) { return false; }
bool EditFieldEventSink::KeyString(NativeEditPane*, StringRecord*, uint32_t, uint32_t) {
  return false;
}
void EditFieldEventSink::EnableMenuItems(NativeEditPane*) {}
bool EditFieldEventSink::AskOwner(NativeEditPane*, RuntimeObject*) { return false; }
bool EditFieldEventSink::HandleMenuItem(NativeEditPane*, RuntimeObject*) { return false; }
bool EditFieldEventSink::FocusMessage(NativeEditPane*, int32_t) { return false; }
void EditFieldEventSink::PaneClosing(NativeEditPane*) {}

// ---- The interface's defaults ----

NativeEditPane::NativeEditPane(const FontDescriptor& font, SubPane* parent, int32_t tabPanelIndex,
                               const MacRect& bounds, const char* windowClass, uint32_t style,
                               uint32_t exStyle)
    : ControlPane(font, parent, tabPanelIndex, bounds, nullptr, windowClass, style, exStyle) {}

NativeEditPane::~NativeEditPane() = default;

void NativeEditPane::BindDataSource() { binding_.Bind(ownerControl_, kBoundEditField); }
void NativeEditPane::UnbindDataSource() { binding_.Unbind(); }

void NativeEditPane::Close() {
  binding_.Unbind();
  if (EditFieldEventSink* sink = GetEventSink()) sink->PaneClosing(this);
  ControlPane::Close();
}

int32_t NativeEditPane::GetTextLength() {
  StringRef text = StringRef::Adopt(GetText(kEncodingUTF8));
  return StringDBCSLen(text.get());
}

StringRecord* NativeEditPane::GetStyleData() { return StringFromUTF8(""); }
void NativeEditPane::SetTextAndStyle(const StringRecord*, const StringRecord*) {}
void NativeEditPane::SetAlignment(int32_t) {}
void NativeEditPane::SetSelAlignment(int32_t) {}
int32_t NativeEditPane::GetSelAlignment() { return 0; }
int32_t NativeEditPane::GetScrollPosition() { return 0; }
void NativeEditPane::SetScrollPosition(int32_t) {}
int32_t NativeEditPane::GetScrollPositionX() { return 0; }
void NativeEditPane::SetScrollPositionX(int32_t) {}
int32_t NativeEditPane::LineNumAtCharPos(int32_t) { return 0; }
int32_t NativeEditPane::CharPosAtLineNum(int32_t) { return 0; }
int32_t NativeEditPane::CharPosAtXY(int32_t, int32_t) { return 0; }
int32_t NativeEditPane::InsertionPosAtXY(int32_t, int32_t) { return 0; }
uint32_t NativeEditPane::LoadStyledText(const StringRecord*) { return ERROR_NOT_SUPPORTED; }
uint32_t NativeEditPane::SaveStyledText(const StringRecord*) { return ERROR_NOT_SUPPORTED; }
RuntimeObject* NativeEditPane::NewStyledTextPrinter(RuntimeObject*, int32_t) { return nullptr; }

// ---- The rich-edit pane ----

class RichEditPane::ClearTextEdit {
 public:
  explicit ClearTextEdit(RichEditPane* pane) : pane_(pane) { ++pane_->clearTextEdits_; }
  ~ClearTextEdit() { --pane_->clearTextEdits_; }
  ClearTextEdit(const ClearTextEdit&) = delete;
  ClearTextEdit& operator=(const ClearTextEdit&) = delete;

 private:
  RichEditPane* pane_;
};

class RichEditPane::HeldNotifications {
 public:
  explicit HeldNotifications(RichEditPane* pane) : pane_(pane) { ++pane_->holding_; }
  ~HeldNotifications() {
    if (--pane_->holding_ != 0) return;
    if (std::exchange(pane_->heldTextChange_, false)) {
      pane_->Tell([this](EditFieldEventSink* sink) { sink->TextChanged(pane_); });
    }
    if (std::exchange(pane_->heldSelectionChange_, false)) pane_->TellSelectionNotice();
  }
  HeldNotifications(const HeldNotifications&) = delete;
  HeldNotifications& operator=(const HeldNotifications&) = delete;

 private:
  RichEditPane* pane_;
};

RichEditPane::RichEditPane(EditFieldEventSink* sink, bool styled, const FontDescriptor& font,
                           SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                           uint32_t style, uint32_t exStyle)
    : NativeEditPane(font, parent, tabPanelIndex, bounds, EditWindowClass(), style, exStyle),
      access_(*this),
      styled_(styled),
      nativePaste_(styled),
      backColor_(GetSysColor(COLOR_WINDOW)) {
  sink_.Attach(sink);
  SetFont(font);
}

RichEditPane::~RichEditPane() { DetachPrinters(); }

void RichEditPane::Close() {
  DetachPrinters();
  NativeEditPane::Close();
}

void RichEditPane::DetachPrinters() {
  for (RuntimeObject* printer : std::exchange(printers_, {})) DetachStyledTextPrinter(printer);
}

void RichEditPane::RemovePrinter(RuntimeObject* printer) {
  printers_.erase(std::remove(printers_.begin(), printers_.end(), printer), printers_.end());
}

RuntimeObject* RichEditPane::NewStyledTextPrinter(RuntimeObject* graphics, int32_t width) {
  return NewStyledTextPrinterOf(this, graphics, width);
}

EditFieldEventSink* RichEditPane::GetEventSink() {
  return static_cast<EditFieldEventSink*>(sink_.get());
}

EditFieldEventSink* RichEditPane::LiveSink() const {
  return IsClosing() ? nullptr : static_cast<EditFieldEventSink*>(sink_.get());
}

RuntimeObject* RichEditPane::SinkControl() const {
  return sink_.get() ? sink_.get()->Control() : nullptr;
}

template <class Operation>
void RichEditPane::Tell(Operation operation) {
  if (EditFieldEventSink* sink = LiveSink()) operation(sink);
}

void RichEditPane::TellEditDone(bool textChanged) {
  if (textChanged) Tell([this](EditFieldEventSink* sink) { sink->TextChanged(this); });
  Tell([this](EditFieldEventSink* sink) { sink->SelectionChanged(this); });
}

void RichEditPane::TellSelectionNotice() {
  Tell([this](EditFieldEventSink* sink) { sink->EnableMenuItems(this); });
  Tell([this](EditFieldEventSink* sink) { sink->SelectionChanged(this); });
}

LRESULT RichEditPane::Forward(UINT message, WPARAM wParam, LPARAM lParam) {
  HeldNotifications held(this);
  return ControlPaneHandleMessage(this, message, wParam, lParam);
}

// ---- Text ----

std::u16string RichEditPane::WindowUnits() {
  if (IsWindowsNT()) return access_.Text(GT_DEFAULT);
  StringRef text = StringRef::Adopt(ControlPaneGetText(this));
  return StringToStdUTF16(text.get());
}

StringRecord* RichEditPane::GetText(uint32_t encoding) {
  StringRef text = StringRef::Adopt(password_ ? UTF16Record(clear_.Text())
                                              : IsWindowsNT() ? UTF16Record(WindowUnits())
                                                              : ControlPaneGetText(this));
  return ConvertStringToEncoding(text.get(), encoding);
}

int32_t RichEditPane::GetTextLength() {
  if (IsWindowsNT()) return access_.Length(GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS);
  StringRef text = StringRef::Adopt(ControlPaneGetText(this));
  return StringDBCSLen(text.get());
}

void RichEditPane::ShowClearText(const std::u16string& text) {
  ClearTextEdit edit(this);
  clear_.Assign(text);
  StringRef masked = StringRef::Adopt(UTF16Record(clear_.Masked(kMask)));
  ControlPaneSetText(this, masked.get());
}

void RichEditPane::SetText(const StringRecord* text) {
  ControlCallGuard guard(this, SinkControl());
  if (password_) {
    ShowClearText(StringToStdUTF16(text));
  } else {
    ControlPaneSetText(this, text);
  }
  access_.StartNotifying();
}

void RichEditPane::SetLimitText(int32_t limit) {
  access_.Send(EM_EXLIMITTEXT, 0, limit > 0 ? limit : kLargestLimit);
}

void RichEditPane::SetReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  access_.Send(EM_SETREADONLY, readOnly ? 1 : 0, 0);
}

void RichEditPane::SetPassword(bool password) {
  if (password == password_) return;
  ControlCallGuard guard(this, SinkControl());
  // The text does not change for the field: the switch is silent.
  SuspendedEditNotifications quiet(access_);
  const CHARRANGE kept = access_.Selection();
  if (password) {
    password_ = true;
    ShowClearText(WindowUnits());
    access_.Send(EM_SETUNDOLIMIT, 0, 0);
  } else {
    password_ = false;
    StringRef text = StringRef::Adopt(UTF16Record(clear_.Text()));
    clear_.Assign({});
    SetText(text.get());
    access_.Send(EM_SETUNDOLIMIT, kUndoLimit, 0);
  }
  access_.Select(kept.cpMin, kept.cpMax);
}

// ---- Selection ----

void RichEditPane::SetSelection(int32_t start, int32_t end) {
  ControlCallGuard guard(this, SinkControl());
  access_.Select(start, end);
}

bool RichEditPane::HasSelection() {
  const CHARRANGE range = access_.Selection();
  return range.cpMin != range.cpMax;
}

int32_t RichEditPane::GetSelStart() { return access_.Selection().cpMin; }

int32_t RichEditPane::GetSelLength() {
  const CHARRANGE range = access_.Selection();
  return range.cpMax - range.cpMin;
}

void RichEditPane::SetSelStart(int32_t start) {
  ControlCallGuard guard(this, SinkControl());
  const CHARRANGE range = access_.Selection();
  int64_t from = range.cpMin;
  int64_t to = range.cpMax;
  int64_t moveTo = start;
  if (start < 0) {
    from = -int64_t(start);
    moveTo = 0;
    if (to < from) to = from;
  }
  {
    SuspendedEditNotifications quiet(access_);
    access_.Select(ClampedLong(moveTo), ClampedLong(moveTo + to - from));
  }
  TellEditDone(false);
}

void RichEditPane::SetSelLength(int32_t length) {
  ControlCallGuard guard(this, SinkControl());
  const LONG start = access_.Selection().cpMin;
  {
    SuspendedEditNotifications quiet(access_);
    access_.Select(start, ClampedLong(int64_t(start) + length));
  }
  TellEditDone(false);
}

StringRecord* RichEditPane::GetSelText() {
  if (IsWindowsNT()) return UTF8Record(access_.Text(GT_SELECTION));
  StringRef bytes = StringRef::Adopt(NewString(access_.SelectedBytes(), GetSystemTextEncoding()));
  return StringToUTF8(bytes.get());
}

TextRange RichEditPane::SelectClearRange(TextRange range) {
  const TextRange whole = clear_.Whole(range.start, range.end);
  if (whole.start != range.start || whole.end != range.end) {
    SuspendedEditNotifications quiet(access_);
    access_.Select(LONG(whole.start), LONG(whole.end));
  }
  return whole;
}

void RichEditPane::InsertText(const std::u16string& text) {
  if (!password_) {
    access_.ReplaceSelection(text, true);
    return;
  }
  ClearTextEdit edit(this);
  clear_.Replace(SelectClearRange(SelectionRange(access_.Selection())), text);
  access_.ReplaceSelection(PasswordText::Mask(text, kMask), false);
}

void RichEditPane::DeleteSelection() { InsertText(std::u16string()); }

void RichEditPane::SetSelText(const StringRecord* text) {
  ControlCallGuard guard(this, SinkControl());
  {
    SuspendedEditNotifications quiet(access_);
    InsertText(StringToStdUTF16(text));
  }
  TellEditDone(true);
}

// ---- Clipboard ----

void RichEditPane::PasteClipboardText() {
  StringRef text = StringRef::Adopt(clipboardTextGetter(nullptr, 0));
  InsertText(StringToStdUTF16(text.get()));
}

void RichEditPane::Cut() {
  if (password_ || readOnly_) return;
  ControlCallGuard guard(this, SinkControl());
  {
    SuspendedEditNotifications quiet(access_);
    access_.Send(WM_CUT);
  }
  TellEditDone(true);
}

void RichEditPane::Copy() {
  if (!password_) access_.Send(WM_COPY);
}

void RichEditPane::Paste() {
  if (readOnly_) return;
  ControlCallGuard guard(this, SinkControl());
  {
    SuspendedEditNotifications quiet(access_);
    access_.Send(WM_PASTE);
  }
  TellEditDone(true);
}

void RichEditPane::Clear() {
  ControlCallGuard guard(this, SinkControl());
  {
    SuspendedEditNotifications quiet(access_);
    DeleteSelection();
  }
  TellEditDone(true);
}

void RichEditPane::NotifyTextChanged() {
  ControlCallGuard guard(this, SinkControl());
  Tell([this](EditFieldEventSink* sink) { sink->TextChanged(this); });
}

// ---- Character styles ----

void RichEditPane::ApplyCharFormat(const EditCharFormat& format, bool wholeText) {
  SuspendedEditNotifications quiet(access_);
  access_.SetCharFormat(wholeText ? SCF_ALL : SCF_SELECTION, format);
}

void RichEditPane::SetFont(const FontDescriptor& font) {
  EditCharFormat format;
  format.mask = CFM_SIZE | CFM_FACE | CFM_CHARSET | kStyleEffects;
  format.effects = (font.bold ? CFE_BOLD : 0) | (font.italic ? CFE_ITALIC : 0) |
                   (font.underline ? CFE_UNDERLINE : 0);
  format.charset = CharsetForSystemScript();
  format.height = font.size > 0 ? font.size * kTwipsPerSize : kDefaultHeight;
  // An empty name stands for the default font.
  const std::string name = StringLength(font.name) ? StringToStdUTF8(font.name) : "System";
  const char* mapped = MappedFontFace(name.c_str());
  StringRef face = StringRef::Adopt(StringFromUTF8(mapped ? mapped : name));
  format.face = StringToStdUTF16(face.get());
  ApplyCharFormat(format, true);
}

void RichEditPane::GetSelFont(FontDescriptor* font) {
  if (!font) return;
  StringRef name = StringRef::Adopt(GetSelTextFont());
  StringAssign(&font->name, name.get());
  font->size = int16_t(std::clamp<int32_t>(GetSelTextSize(), 0, INT16_MAX));
  font->bold = GetSelBold() ? 1 : 0;
  font->italic = GetSelItalic() ? 1 : 0;
  font->underline = GetSelUnderline() ? 1 : 0;
}

void RichEditPane::SetTextColor(const RGBColor16& color) {
  ApplyCharFormat(ColorFormat(ColorRefOf(color)), true);
}

void RichEditPane::SetBackColor(const RGBColor16& color) {
  backColorSet_ = true;
  backColor_ = ColorRefOf(color);
  access_.Send(EM_SETBKGNDCOLOR, 0, LPARAM(backColor_));
}

void RichEditPane::SetSelEffect(DWORD mask, bool on) {
  EditCharFormat format;
  format.mask = mask;
  format.effects = on ? mask : 0;
  ApplyCharFormat(format, false);
}

void RichEditPane::SetSelBold(bool on) { SetSelEffect(CFM_BOLD, on); }
void RichEditPane::SetSelItalic(bool on) { SetSelEffect(CFM_ITALIC, on); }
void RichEditPane::SetSelUnderline(bool on) { SetSelEffect(CFM_UNDERLINE, on); }
void RichEditPane::SetSelPlain(bool) { SetSelEffect(kStyleEffects, false); }

bool RichEditPane::UnsupportedStyle(const char* style) {
  RuntimeMessageBox(std::string("Windows does not support the '") + style +
                        "' text font style.",
                    "", MB_OK | MB_ICONEXCLAMATION);
  return false;
}

void RichEditPane::SetSelOutline(bool) { UnsupportedStyle("Outline"); }
void RichEditPane::SetSelShadow(bool) { UnsupportedStyle("Shadow"); }
void RichEditPane::SetSelCondense(bool) { UnsupportedStyle("Condensed"); }
void RichEditPane::SetSelExtend(bool) { UnsupportedStyle("Extended"); }

bool RichEditPane::GetSelOutline() { return UnsupportedStyle("Outline"); }
bool RichEditPane::GetSelShadow() { return UnsupportedStyle("Shadow"); }
bool RichEditPane::GetSelCondense() { return UnsupportedStyle("Condensed"); }
bool RichEditPane::GetSelExtend() { return UnsupportedStyle("Extended"); }

void RichEditPane::SetSelTextFont(const StringRecord* name) {
  EditCharFormat format;
  format.mask = CFM_FACE;
  format.face = StringToStdUTF16(name);
  ApplyCharFormat(format, !styled_);
}

void RichEditPane::SetSelTextSize(int32_t size) {
  EditCharFormat format;
  format.mask = CFM_SIZE;
  format.height = ClampedLong(int64_t(std::max(size, 0)) * kTwipsPerSize);
  ApplyCharFormat(format, !styled_);
}

void RichEditPane::SetSelTextColor(const RGBColor16& color) {
  ApplyCharFormat(ColorFormat(ColorRefOf(color)), !styled_);
}

bool RichEditPane::SelHasEffect(DWORD mask) {
  const EditCharFormat format = access_.GetCharFormat(false);
  return (format.mask & mask) == mask && (format.effects & mask) == mask;
}

bool RichEditPane::GetSelBold() { return SelHasEffect(CFM_BOLD); }
bool RichEditPane::GetSelItalic() { return SelHasEffect(CFM_ITALIC); }
bool RichEditPane::GetSelUnderline() { return SelHasEffect(CFM_UNDERLINE); }

bool RichEditPane::GetSelPlain() {
  const EditCharFormat format = access_.GetCharFormat(false);
  return (format.mask & kStyleEffects) == kStyleEffects && (format.effects & kStyleEffects) == 0;
}

StringRecord* RichEditPane::GetSelTextFont() {
  const EditCharFormat format = access_.GetCharFormat(true);
  return UTF8Record((format.mask & CFM_FACE) ? format.face : std::u16string());
}

int32_t RichEditPane::GetSelTextSize() {
  const EditCharFormat format = access_.GetCharFormat(false);
  return (format.mask & CFM_SIZE) ? format.height / kTwipsPerSize : 0;
}

void RichEditPane::GetSelTextColor(RGBColor16* color) {
  if (!color) return;
  const EditCharFormat format = access_.GetCharFormat(false);
  // An automatic colour carries no value of its own: it reads as black.
  const bool known = (format.mask & CFM_COLOR) && !(format.effects & CFE_AUTOCOLOR);
  *color = ColorOf(known ? format.color : RGB(0, 0, 0));
}

// ---- Paragraphs, scrolling and positions ----

void RichEditPane::SetAlignment(int32_t alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  SuspendedEditNotifications quiet(access_);
  const CHARRANGE kept = access_.Selection();
  access_.Send(EM_HIDESELECTION, 1, 0);
  access_.Select(0, -1);
  SetSelAlignment(alignment);
  access_.Select(kept.cpMin, kept.cpMax);
  access_.Send(EM_HIDESELECTION, 0, 0);
}

void RichEditPane::SetSelAlignment(int32_t alignment) {
  PARAFORMAT format{};
  format.dwMask = PFM_ALIGNMENT;
  format.wAlignment = ParagraphAlignmentOf(alignment == kAlignDefault ? alignment_ : alignment);
  SuspendedEditNotifications quiet(access_);
  access_.SetParaFormat(format);
}

int32_t RichEditPane::GetSelAlignment() {
  const PARAFORMAT format = access_.GetParaFormat();
  if (!(format.dwMask & PFM_ALIGNMENT)) return kAlignMixed;
  switch (format.wAlignment) {
    case PFA_LEFT: return kAlignLeft;
    case PFA_CENTER: return kAlignCenter;
    case PFA_RIGHT: return kAlignRight;
    default: return kAlignDefault;
  }
}

int32_t RichEditPane::GetScrollPosition() {
  return int32_t(access_.Send(EM_GETFIRSTVISIBLELINE));
}

void RichEditPane::SetScrollPosition(int32_t line) {
  access_.Send(EM_LINESCROLL, 0, ClampedLong(int64_t(line) - GetScrollPosition()));
}

int32_t RichEditPane::GetScrollPositionX() {
  if (RichEditVersion() <= 2) return 0;
  POINT position{0, 0};
  access_.Send(EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&position));
  return position.x;
}

void RichEditPane::SetScrollPositionX(int32_t x) {
  if (RichEditVersion() <= 2) return;
  POINT position{0, 0};
  access_.Send(EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&position));
  position.x = x;
  access_.Send(EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&position));
}

int32_t RichEditPane::LineNumAtCharPos(int32_t position) {
  HWND window = NativeWindow();
  if (position < 1 || !window) return 0;
  if (position >= GetWindowTextLengthA(window)) return int32_t(access_.Send(EM_GETLINECOUNT));
  return int32_t(access_.Send(EM_LINEFROMCHAR, WPARAM(position - 1)));
}

int32_t RichEditPane::CharPosAtLineNum(int32_t line) {
  if (line < 0) return 0;
  if (line == 0) return 1;
  if (line >= access_.Send(EM_GETLINECOUNT)) {
    return access_.Positions() + 1;
  }
  return int32_t(access_.Send(EM_LINEINDEX, WPARAM(line))) + 1;
}

int32_t RichEditPane::InsertionPosAtXY(int32_t x, int32_t y) {
  POINTL point{x, y};
  return int32_t(access_.Send(EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&point)));
}

int32_t RichEditPane::CharPosAtXY(int32_t x, int32_t y) { return InsertionPosAtXY(x, y) + 1; }

// ---- Mouse, focus and menus ----

bool RichEditPane::IsInClientArea(int32_t x, int32_t y) const {
  HWND window = NativeWindow();
  if (!window) return false;
  RECT frame{};
  RECT client{};
  POINT origin{0, 0};
  GetWindowRect(window, &frame);
  GetClientRect(window, &client);
  ClientToScreen(window, &origin);
  const POINT point{x - Left() - (origin.x - frame.left), y - Top() - (origin.y - frame.top)};
  return PtInRect(&client, point) != FALSE;
}

bool RichEditPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  ControlCallGuard guard(this, SinkControl());
  EditFieldEventSink* sink = LiveSink();
  if (sink && IsInClientArea(x, y) && sink->MouseDown(this, x - Left(), y - Top())) {
    SetMouseCapturePane(this);
    return true;
  }
  return ControlPaneForwardMouseDown(this, x, y, modifiers);
}

void RichEditPane::MouseUp(int32_t x, int32_t y, uint32_t) {
  ControlCallGuard guard(this, SinkControl());
  Tell([&](EditFieldEventSink* sink) { sink->MouseUp(this, x - Left(), y - Top()); });
}

void RichEditPane::LoseFocus() {
  ControlCallGuard guard(this, SinkControl());
  Tell([this](EditFieldEventSink* sink) { sink->LostFocus(this); });
}

void RichEditPane::SelectOnKeyboardFocus() {
  ControlCallGuard guard(this, SinkControl());
  if (!IsMultiLine()) access_.Select(0, -1);
}

void RichEditPane::EnableMenuItems() {
  ControlCallGuard guard(this, SinkControl());
  Tell([this](EditFieldEventSink* sink) { sink->EnableMenuItems(this); });
  SubPane::EnableMenuItems();
}

bool RichEditPane::AskOwner(RuntimeObject* menuItem) {
  ControlCallGuard guard(this, SinkControl());
  EditFieldEventSink* sink = LiveSink();
  return (sink && sink->AskOwner(this, menuItem)) || SubPane::AskOwner(menuItem);
}

bool RichEditPane::HandleMenuItem(RuntimeObject* menuItem) {
  ControlCallGuard guard(this, SinkControl());
  EditFieldEventSink* sink = LiveSink();
  return (sink && sink->HandleMenuItem(this, menuItem)) || SubPane::HandleMenuItem(menuItem);
}

// ---- Enabling and the drag image ----

void RichEditPane::SetEnabled(bool enabled, bool redraw) {
  if (enabled != disabledLook_) return;
  ControlPaneSetEnabled(this, enabled, redraw);
  disabledLook_ = !enabled;
  SuspendedEditNotifications quiet(access_);
  if (!enabled) {
    if (backColor_ == GetSysColor(COLOR_WINDOW)) {
      access_.Send(EM_SETBKGNDCOLOR, 0, LPARAM(GetSysColor(COLOR_BTNFACE)));
    }
    if (styled_) return;
    const EditCharFormat format = access_.GetCharFormat(false);
    if (format.mask & CFM_COLOR) {
      savedTextColor_ = (format.effects & CFE_AUTOCOLOR) ? RGB(0, 0, 0) : format.color;
    }
    access_.SetCharFormat(SCF_ALL, ColorFormat(GetSysColor(COLOR_GRAYTEXT)));
  } else {
    access_.Send(EM_SETBKGNDCOLOR, 0, LPARAM(backColor_));
    if (!styled_) access_.SetCharFormat(SCF_ALL, ColorFormat(savedTextColor_));
  }
}

void RichEditPane::MakeDragImage(GraphicsPort* port) {
  HWND window = NativeWindow();
  if (!window || !port) return;
  port->Focus();
  GlobalBlock image(CaptureWindowDIB(window, 1));
  HDC dc = port->GetDC();
  if (!image || !dc) return;
  CountedPalette palette = CreateSystemPalette();
  const RECT source{0, 0, Width(), Height()};
  const MacRect& bounds = Bounds();
  const RECT target{bounds.left - 1, bounds.top - 1, bounds.right + 1, bounds.bottom + 1};
  PaintPackedDIB(dc, target, image.get(), source, palette.get());
}

// ---- Password mode ----

void RichEditPane::ShowMaskedAgain() {
  const std::u16string masked = clear_.Masked(kMask);
  if (WindowUnits() == masked) return;
  ClearTextEdit edit(this);
  SuspendedEditNotifications quiet(access_);
  const CHARRANGE kept = access_.Selection();
  StringRef text = StringRef::Adopt(UTF16Record(masked));
  ControlPaneSetText(this, text.get());
  access_.Select(kept.cpMin, kept.cpMax);
}

bool RichEditPane::DeleteInPassword(uint32_t virtualKey) {
  const CHARRANGE selection = access_.Selection();
  const auto caret = size_t(std::max<LONG>(selection.cpMin, 0));
  const TextRange range = selection.cpMin != selection.cpMax
                              ? clear_.Whole(caret, size_t(std::max<LONG>(selection.cpMax, 0)))
                          : virtualKey == VK_BACK ? clear_.CharacterBefore(caret)
                                                  : clear_.CharacterAt(caret);
  if (range.empty()) return true;
  ClearTextEdit edit(this);
  HeldNotifications held(this);
  {
    SuspendedEditNotifications quiet(access_);
    access_.Select(LONG(range.start), LONG(range.end));
  }
  clear_.Replace(range, std::u16string());
  access_.ReplaceSelection(std::u16string(), false);
  return true;
}

bool RichEditPane::HandleClipboardKey(uint32_t virtualKey, uint32_t modifiers) {
  const bool control = (modifiers & kModifierControl) != 0;
  const bool shift = (modifiers & kModifierShift) != 0;
  const bool paste = (control && virtualKey == 'V') || (shift && virtualKey == VK_INSERT);
  if (paste && (password_ || !nativePaste_)) {
    Paste();
    return true;
  }
  if (!password_) return false;
  // Cut, copy, undo and redo would show or restore the masks.
  return (control && (virtualKey == 'X' || virtualKey == 'C' || virtualKey == 'Z' ||
                      virtualKey == 'Y' || virtualKey == VK_INSERT)) ||
         (shift && virtualKey == VK_DELETE);
}

// ---- Keys and characters ----

bool RichEditPane::HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers) {
  ControlCallGuard guard(this, SinkControl());
  EditFieldEventSink* sink = LiveSink();
  if (sink && IsReportedKey(virtualKey) && sink->KeyChar(this, keyChar, modifiers & 0xFF, 0)) {
    return true;
  }
  if (IsClosing()) return true;
  if (HandleClipboardKey(virtualKey, modifiers)) return true;
  if (password_ && (virtualKey == VK_BACK || virtualKey == VK_DELETE)) {
    return DeleteInPassword(virtualKey);
  }
  if (virtualKey == VK_TAB && !IsMultiLine() && !acceptTabs_) access_.Select(0, 0);
  return false;
}

std::vector<RichEditPane::TypedCharacter> RichEditPane::TakeCharacterWord(WPARAM word) {
  std::vector<TypedCharacter> characters;
  const uint32_t held = std::exchange(pendingWord_, 0);
  if (IsWindowsNT()) {
    const auto unit = char16_t(word);
    if (held && IsLowSurrogate(unit)) {
      const std::u16string pair{char16_t(held), unit};
      characters.push_back({CodePointOf(pair), pair, {held, unit}});
      return characters;
    }
    // A high surrogate without its partner passes as itself.
    if (held) characters.push_back({held, std::u16string(1, char16_t(held)), {held}});
    if (IsHighSurrogate(unit)) {
      pendingWord_ = unit;
    } else {
      characters.push_back({unit, std::u16string(1, unit), {unit}});
    }
    return characters;
  }
  // The A line: bytes of the system encoding, a lead byte waiting for its
  // trail byte.
  const auto byte = uint8_t(word);
  if (!held && IsDBCSLeadByteEx(SystemEncodingCodePage(), byte)) {
    pendingWord_ = byte;
    return characters;
  }
  std::string bytes;
  if (held) bytes += char(held);
  bytes += char(byte);
  StringRef text = StringRef::Adopt(NewString(bytes, GetSystemTextEncoding()));
  const std::u16string units = StringToStdUTF16(text.get());
  std::vector<WPARAM> words(bytes.begin(), bytes.end());
  for (WPARAM& each : words) each &= 0xFF;
  characters.push_back({CodePointOf(units), units, std::move(words)});
  return characters;
}

void RichEditPane::TypeCharacters(WPARAM word, LPARAM lParam) {
  const uint32_t scanCode = (uint32_t(lParam) >> 16) & 0xFF;
  for (const TypedCharacter& typed : TakeCharacterWord(word)) {
    const uint32_t character = typed.codePoint;
    // Backspace, Tab and Enter were told as keys.
    const bool told = character == '\b' || character == '\t' || character == '\r';
    EditFieldEventSink* sink = LiveSink();
    if (!told && sink && sink->KeyChar(this, character, scanCode, 0)) continue;
    if (IsClosing()) return;
    if (character == '\t' && !IsMultiLine() && !acceptTabs_) continue;
    HeldNotifications held(this);
    if (!password_ || !EntersText(character, IsMultiLine())) {
      for (WPARAM each : typed.words) Forward(WM_CHAR, each, lParam);
      continue;
    }
    ClearTextEdit edit(this);
    clear_.Replace(SelectClearRange(SelectionRange(access_.Selection())), typed.units);
    for (char16_t unit : PasswordText::Mask(typed.units, kMask)) Forward(WM_CHAR, unit, lParam);
  }
}

// ---- Messages from the window ----

bool RichEditPane::ControlNotification(int32_t code, UINT message, WPARAM, LPARAM) {
  ControlCallGuard guard(this, SinkControl());
  if (message == WM_NOTIFY && code == EN_SELCHANGE) {
    if (holding_) {
      heldSelectionChange_ = true;
    } else {
      TellSelectionNotice();
    }
    return true;
  }
  if (message != WM_COMMAND) return false;
  switch (code) {
    case EN_SETFOCUS:
      SubPane::TakeFocus();
      Tell([this](EditFieldEventSink* sink) { sink->GotFocus(this); });
      return true;
    case EN_CHANGE:
      // A change the pane did not make must not show, or keep, anything
      // but the clear text.
      if (password_ && clearTextEdits_ == 0) ShowMaskedAgain();
      if (holding_) {
        heldTextChange_ = true;
      } else {
        Tell([this](EditFieldEventSink* sink) { sink->TextChanged(this); });
      }
      return true;
    default:
      return false;
  }
}

LRESULT RichEditPane::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ControlCallGuard guard(this, SinkControl());
  switch (message) {
    case WM_CHAR:
      TypeCharacters(wParam, lParam);
      return 0;
    case WM_KEYDOWN: {
      const auto key = uint32_t(wParam);
      const uint32_t modifiers = CurrentKeyModifiers();
      const uint32_t keyChar =
          IsReportedKey(key) ? VirtualKeyToKeyChar(key, (modifiers & kModifierShift) != 0) : 0;
      if (HandleKey(key, keyChar, modifiers)) return 0;
      return Forward(message, wParam, lParam);
    }
    case WM_PASTE:
      // Plain fields and password mode take the clipboard's text only.
      if (password_ || !nativePaste_) {
        if (!readOnly_) PasteClipboardText();
        return 0;
      }
      break;
    default:
      break;
  }
  return NativeEditPane::HandleMessage(window, message, wParam, lParam);
}

// ---- Creators ----

RichEditPane* NewSingleLineEditPane(EditFieldEventSink* sink, SubPane* parentPane,
                                    int32_t tabPanelIndex, const MacRect& bounds, bool border,
                                    const FontDescriptor& font) {
  return NewEditPane(sink, false, false, parentPane, tabPanelIndex, bounds, border, font,
                     ES_AUTOHSCROLL);
}

RichEditPane* NewMultiLineEditPane(EditFieldEventSink* sink, SubPane* parentPane,
                                   int32_t tabPanelIndex, const MacRect& bounds, bool border,
                                   const FontDescriptor& font, bool vScroll, bool hScroll) {
  return NewEditPane(sink, false, true, parentPane, tabPanelIndex, bounds, border, font,
                     MultiLineStyle(vScroll, hScroll));
}

RichEditPane* NewStyledSingleLineEditPane(EditFieldEventSink* sink, SubPane* parentPane,
                                          int32_t tabPanelIndex, const MacRect& bounds,
                                          bool border, const FontDescriptor& font) {
  return NewEditPane(sink, true, false, parentPane, tabPanelIndex, bounds, border, font,
                     ES_AUTOHSCROLL);
}

RichEditPane* NewStyledMultiLineEditPane(EditFieldEventSink* sink, SubPane* parentPane,
                                         int32_t tabPanelIndex, const MacRect& bounds,
                                         bool border, const FontDescriptor& font, bool vScroll,
                                         bool hScroll) {
  return NewEditPane(sink, true, true, parentPane, tabPanelIndex, bounds, border, font,
                     MultiLineStyle(vScroll, hScroll));
}
