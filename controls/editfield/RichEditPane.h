// The edit pane: the native side of every edit field (and of the list box's
// cell editor), a ControlPane over a Win32 rich-edit window.
//
// NativeEditPane is the edit-control interface, as named operations, with a
// data-source binding part and defaults for part of it; RichEditPane
// implements it on the rich-edit window. The pane is the control's only pane
// (no host pane).
//
// Events reach the field through its EditFieldEventSink, which the pane does
// not own: it holds it through a SinkLink, so a sink deleted first simply
// leaves the pane, and a pane without a sink (or closing) raises nothing and
// consumes no keys. Every entry that can reach the sink, from the window
// (messages, notifications, keys, mouse, focus) or from the field's code
// (text, selection, clipboard, password), runs under a ControlCallGuard: a
// handler may close the window, and the pane goes only after that entry
// returns.
//
// Text: positions count UTF-16 units, a line break one. Strings handed back
// are new references; GetText converts to the encoding asked for, the other
// readers give UTF-8. Typed, pasted and dropped text may be any Unicode and
// is kept whole.
//
// Password mode is the pane's own (the native password style is never used):
// the clear text lives in the pane and the window shows one "*" per unit (see
// PasswordText.h). The control's own clipboard and undo keys are kept from
// it, and a change reaching the window from elsewhere is undone from the
// clear text.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "controls/ControlPattern.h"
#include "controls/editfield/PasswordText.h"
#include "controls/editfield/RichEditAccess.h"
#include "controls/editfield/StyleRecord.h"
#include "graphics/GraphicsPort.h"
#include "ui/ControlPane.h"

class NativeEditPane;
struct FontDescriptor;
struct StringRecord;

// Loads "RICHED32.DLL" and "RICHED20.DLL" once (a failed load leaves its
// handle 0); they stay loaded for the run.
void LoadRichEditLibraries();
// 0 without "RICHED20.DLL"; else the major version its DllGetVersion gives
// (0 when that fails); without that export, 3 on the NT line and 0 elsewhere.
int32_t RichEditVersion();

// The field's side of the pane's events. Every operation is given the pane;
// the defaults do nothing and answer false. GotFocus, LostFocus, MouseDown
// and MouseUp are the ControlEventSink's (x and y relative to the pane).
class EditFieldEventSink : public ControlEventSink {
 public:
  using ControlEventSink::ControlEventSink;
  virtual void TextChanged(NativeEditPane* pane);
  virtual void SelectionChanged(NativeEditPane* pane);
  // A typed character (a Unicode code point) or a key's character; true
  // drops it. a and b are the caller's extra words (scan code or modifiers).
  virtual bool KeyChar(NativeEditPane* pane, uint32_t character, uint32_t a, uint32_t b);
  virtual bool KeyString(NativeEditPane* pane, StringRecord* key, uint32_t a, uint32_t b);
  virtual void EnableMenuItems(NativeEditPane* pane);
  virtual bool AskOwner(NativeEditPane* pane, RuntimeObject* menuItem);
  virtual bool HandleMenuItem(NativeEditPane* pane, RuntimeObject* menuItem);
  virtual bool FocusMessage(NativeEditPane* pane, int32_t code);
  // The pane is closing (told once, before its window goes).
  virtual void PaneClosing(NativeEditPane* pane);
};

// Paragraph alignment: the field's values (0 the pane's default).
enum EditAlignment : int32_t {
  kAlignDefault = 0,
  kAlignLeft = 1,
  kAlignCenter = 2,
  kAlignRight = 3,
  kAlignMixed = -1,  // read over paragraphs that differ
};

class NativeEditPane : public ControlPane, public BoundControlPart {
 public:
  NativeEditPane(const FontDescriptor& font, SubPane* parent, int32_t tabPanelIndex,
                 const MacRect& bounds, const char* windowClass, uint32_t style,
                 uint32_t exStyle);

  // ---- Binding part ----
  // The DataSource name (borrowed) and the DataControl bound (nil: none).
  StringRecord* DataSourceName() const { return binding_.Name(); }
  void SetDataSourceName(StringRecord* name) { binding_.SetName(name); }
  DataSourceBinding& Binding() { return binding_; }
  // The field whose pane this is (not counted: the field holds the pane).
  RuntimeObject* OwnerControl() const { return ownerControl_; }
  void SetOwnerControl(RuntimeObject* control) { ownerControl_ = control; }
  // Binds the owner control (kind 0) to the DataControl the name names,
  // unbinding first; a control is listed at most once.
  void BindDataSource() override;
  void UnbindDataSource() override;
  // The pane's Alignment (what SetSelAlignment(0) applies).
  int32_t Alignment() const { return alignment_; }

  // ---- Text ----
  virtual StringRecord* GetText(uint32_t encoding) = 0;
  // Characters, a break counted as CR LF. Default: the UTF-8 text's.
  virtual int32_t GetTextLength();
  virtual void SetText(const StringRecord* text) = 0;
  // The style record of the text, and text with such a record ("" and
  // nothing until the styled-text layer fills them in).
  virtual StringRecord* GetStyleData();
  virtual void SetTextAndStyle(const StringRecord* text, const StringRecord* style);
  bool IsMultiLine() override { return multiLine_; }
  virtual void SetMultiLine(bool multiLine) { multiLine_ = multiLine; }
  virtual void SetLimitText(int32_t limit) = 0;
  virtual bool IsReadOnly() = 0;
  virtual void SetReadOnly(bool readOnly) = 0;
  virtual void SetPassword(bool password) = 0;
  virtual void SetAcceptTabs(bool accept) = 0;
  virtual void SetNativePaste(bool native) = 0;

  // ---- Selection and clipboard ----
  virtual void SetSelection(int32_t start, int32_t end) = 0;
  virtual bool HasSelection() = 0;
  virtual int32_t GetSelStart() = 0;
  virtual void SetSelStart(int32_t start) = 0;
  virtual int32_t GetSelLength() = 0;
  virtual void SetSelLength(int32_t length) = 0;
  virtual StringRecord* GetSelText() = 0;
  virtual void SetSelText(const StringRecord* text) = 0;
  virtual void Cut() = 0;
  virtual void Copy() = 0;
  virtual void Paste() = 0;
  virtual void Clear() = 0;

  // ---- Events ----
  virtual void SetEventSink(EditFieldEventSink* sink) = 0;
  virtual EditFieldEventSink* GetEventSink() = 0;
  virtual void NotifyTextChanged() = 0;

  // ---- Character styles ----
  virtual void SetFont(const FontDescriptor& font) = 0;
  virtual void GetSelFont(FontDescriptor* font) = 0;
  virtual void SetTextColor(const RGBColor16& color) = 0;
  virtual void SetBackColor(const RGBColor16& color) = 0;
  virtual void SetSelBold(bool on) = 0;
  virtual void SetSelItalic(bool on) = 0;
  virtual void SetSelUnderline(bool on) = 0;
  virtual void SetSelOutline(bool on) = 0;
  virtual void SetSelShadow(bool on) = 0;
  virtual void SetSelCondense(bool on) = 0;
  virtual void SetSelExtend(bool on) = 0;
  virtual void SetSelPlain(bool on) = 0;
  virtual void SetSelTextFont(const StringRecord* name) = 0;
  virtual void SetSelTextSize(int32_t size) = 0;
  virtual void SetSelTextColor(const RGBColor16& color) = 0;
  virtual bool GetSelBold() = 0;
  virtual bool GetSelItalic() = 0;
  virtual bool GetSelUnderline() = 0;
  virtual bool GetSelOutline() = 0;
  virtual bool GetSelShadow() = 0;
  virtual bool GetSelCondense() = 0;
  virtual bool GetSelExtend() = 0;
  virtual bool GetSelPlain() = 0;
  virtual StringRecord* GetSelTextFont() = 0;
  virtual int32_t GetSelTextSize() = 0;
  virtual void GetSelTextColor(RGBColor16* color) = 0;
  virtual void ToggleSelBold() = 0;
  virtual void ToggleSelItalic() = 0;
  virtual void ToggleSelUnderline() = 0;
  virtual void ToggleSelOutline() {}
  virtual void ToggleSelShadow() {}
  virtual void ToggleSelCondense() {}
  virtual void ToggleSelExtend() {}

  // ---- Paragraphs, scrolling, positions (defaults: 0, nothing) ----
  virtual void SetAlignment(int32_t alignment);
  virtual void SetSelAlignment(int32_t alignment);
  virtual int32_t GetSelAlignment();
  virtual int32_t GetScrollPosition();
  virtual void SetScrollPosition(int32_t line);
  virtual int32_t GetScrollPositionX();
  virtual void SetScrollPositionX(int32_t x);
  virtual int32_t LineNumAtCharPos(int32_t position);
  virtual int32_t CharPosAtLineNum(int32_t line);
  virtual int32_t CharPosAtXY(int32_t x, int32_t y);
  virtual int32_t InsertionPosAtXY(int32_t x, int32_t y);

  // ---- Styled-text files and printing (0 and nil until the styled-text
  // layer fills them in) ----
  // 0 or a Win32 error code.
  virtual uint32_t LoadStyledText(const StringRecord* path);
  virtual uint32_t SaveStyledText(const StringRecord* path);
  // A new StyledTextPrinter (the caller's reference).
  virtual RuntimeObject* NewStyledTextPrinter(RuntimeObject* graphics, int32_t width);

  // The font setters of the field's text style.
  void SetTextFont(const FontDescriptor& font) override { SetFont(font); }
  // Unbinds before closing.
  void Close() override;

 protected:
  ~NativeEditPane() override;
  int32_t alignment_ = kAlignDefault;

 private:
  DataSourceBinding binding_;
  RuntimeObject* ownerControl_ = nullptr;
  bool multiLine_ = false;
};

// The pane on the rich-edit window ("RichEdit20W" on NT, "RichEdit" on the
// A line). Plain panes (styled false) apply font, size and colour changes to
// the whole text and paste plain text; styled panes apply them to the
// selection and paste natively.
class RichEditPane : public NativeEditPane {
 public:
  RichEditPane(EditFieldEventSink* sink, bool styled, const FontDescriptor& font, SubPane* parent,
               int32_t tabPanelIndex, const MacRect& bounds, uint32_t style, uint32_t exStyle);

  RichEditAccess& Access() { return access_; }
  bool IsStyled() const { return styled_; }
  bool IsPassword() const { return password_; }

  // ---- Text ----
  // The clear text in password mode; else the window's (a break as CR).
  StringRecord* GetText(uint32_t encoding) override;
  int32_t GetTextLength() override;
  // Notifications are on from the first SetText.
  void SetText(const StringRecord* text) override;
  // 0 or less: 1,000,000 characters.
  void SetLimitText(int32_t limit) override;
  bool IsReadOnly() override { return readOnly_; }
  void SetReadOnly(bool readOnly) override;
  // Keeps the selection. The undo limit is 0 in password mode.
  void SetPassword(bool password) override;
  void SetAcceptTabs(bool accept) override { acceptTabs_ = accept; }
  void SetNativePaste(bool native) override { nativePaste_ = native; }
  bool GetAcceptTabs() override { return acceptTabs_; }
  // Marks the pane as a list's in-place cell editor (IsListCellEditor).
  void MarkListCellEditor() { listCellEditor_ = true; }
  bool IsListCellEditor() override { return listCellEditor_; }

  // ---- Selection and clipboard ----
  // Cut, Paste, Clear and SetSelText tell the sink TextChanged then
  // SelectionChanged, once each; SetSelStart and SetSelLength tell it
  // SelectionChanged once. Cut and Copy do nothing in password mode; Paste
  // there takes the clipboard's text into the clear text.
  void SetSelection(int32_t start, int32_t end) override;
  bool HasSelection() override;
  int32_t GetSelStart() override;
  // Keeps the length; a negative start n selects from |n| to the start.
  void SetSelStart(int32_t start) override;
  int32_t GetSelLength() override;
  void SetSelLength(int32_t length) override;
  StringRecord* GetSelText() override;
  void SetSelText(const StringRecord* text) override;
  void Cut() override;
  void Copy() override;
  void Paste() override;
  void Clear() override;

  void SetEventSink(EditFieldEventSink* sink) override { sink_.Attach(sink); }
  EditFieldEventSink* GetEventSink() override;
  void NotifyTextChanged() override;

  // ---- Character styles ----
  // The face through the font-name map, size 0 as 12 points; on the whole
  // text.
  void SetFont(const FontDescriptor& font) override;
  void GetSelFont(FontDescriptor* font) override;
  void SetTextColor(const RGBColor16& color) override;
  void SetBackColor(const RGBColor16& color) override;
  void SetSelBold(bool on) override;
  void SetSelItalic(bool on) override;
  void SetSelUnderline(bool on) override;
  // Outline, shadow, condensed and extended styles do not exist here: each
  // setting and reading shows one message box (reading answers false).
  void SetSelOutline(bool on) override;
  void SetSelShadow(bool on) override;
  void SetSelCondense(bool on) override;
  void SetSelExtend(bool on) override;
  void SetSelPlain(bool on) override;
  void SetSelTextFont(const StringRecord* name) override;
  void SetSelTextSize(int32_t size) override;
  void SetSelTextColor(const RGBColor16& color) override;
  // True only when the whole selection has the style.
  bool GetSelBold() override;
  bool GetSelItalic() override;
  bool GetSelUnderline() override;
  bool GetSelOutline() override;
  bool GetSelShadow() override;
  bool GetSelCondense() override;
  bool GetSelExtend() override;
  bool GetSelPlain() override;
  // "" or 0 when the selection mixes faces or sizes.
  StringRecord* GetSelTextFont() override;
  int32_t GetSelTextSize() override;
  // Black for automatic or mixed colour.
  void GetSelTextColor(RGBColor16* color) override;
  void ToggleSelBold() override { SetSelBold(!GetSelBold()); }
  void ToggleSelItalic() override { SetSelItalic(!GetSelItalic()); }
  void ToggleSelUnderline() override { SetSelUnderline(!GetSelUnderline()); }

  // ---- Styled text (StyledText.h) ----
  // The style record: one entry per byte of the UTF-8 text, those past the
  // last character repeating the format at the end. A binary string (no
  // text encoding); when memory runs short, "" with OutOfMemoryException
  // pending.
  StringRecord* GetStyleData() override;
  // The text, reset to plain black "MS Sans Serif", then styled run by run
  // from the record as far as both go; the caret at the end.
  void SetTextAndStyle(const StringRecord* text, const StringRecord* style) override;
  // RTF (a file starting "{\rtf") or plain text; the whole contents are
  // replaced only once the file has been read. 0 or a Win32 code.
  uint32_t LoadStyledText(const StringRecord* path) override;
  // The contents as RTF, through a temporary file in the target's folder
  // that replaces the target only when written whole. 0 or a Win32 code.
  uint32_t SaveStyledText(const StringRecord* path) override;

  // ---- Printing (StyledTextPrinter.h) ----
  // Nil, after the assertion report, for a nil Graphics.
  RuntimeObject* NewStyledTextPrinter(RuntimeObject* graphics, int32_t width) override;
  // The printers of this pane's text (not counted): each is let go of the
  // pane when the pane closes or goes.
  void AddPrinter(RuntimeObject* printer) { printers_.push_back(printer); }
  void RemovePrinter(RuntimeObject* printer);

  // ---- Paragraphs, scrolling, positions ----
  // Aligns every paragraph, keeping the selection.
  void SetAlignment(int32_t alignment) override;
  void SetSelAlignment(int32_t alignment) override;
  int32_t GetSelAlignment() override;
  int32_t GetScrollPosition() override;
  void SetScrollPosition(int32_t line) override;
  int32_t GetScrollPositionX() override;
  void SetScrollPositionX(int32_t x) override;
  // 1-based character positions.
  int32_t LineNumAtCharPos(int32_t position) override;
  int32_t CharPosAtLineNum(int32_t line) override;
  int32_t CharPosAtXY(int32_t x, int32_t y) override;
  int32_t InsertionPosAtXY(int32_t x, int32_t y) override;

  // ---- Pane operations ----
  // A press in the client area goes to the sink's MouseDown first; true
  // there captures the mouse and keeps the press from the window.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  void LoseFocus() override;
  // The sink's KeyChar for editing and navigation keys; the password
  // bookkeeping; Tab in a single-line field without AcceptTabs collapses
  // the selection. True when the window must not see the key.
  bool HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers) override;
  bool ArrowKeysMoveFocus() override { return false; }
  // A single-line field selects its whole text.
  void SelectOnKeyboardFocus() override;
  void EnableMenuItems() override;
  bool AskOwner(RuntimeObject* menuItem) override;
  bool HandleMenuItem(RuntimeObject* menuItem) override;
  // A disabled field shows the button face (unless it has a back colour of
  // its own) and, when plain, grey text; enabling gives its colours back.
  void SetEnabled(bool enabled, bool redraw) override;
  void MakeDragImage(GraphicsPort* port) override;
  bool ControlNotification(int32_t code, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  // Lets its printers go first.
  void Close() override;

 protected:
  ~RichEditPane() override;

 private:
  // A character as typed: its code point, UTF-16 units and the WM_CHAR
  // words it came in.
  struct TypedCharacter {
    uint32_t codePoint;
    std::u16string units;
    std::vector<WPARAM> words;
  };
  // Edits of the clear text made by the pane itself: the window's change
  // notifications are not checked meanwhile.
  class ClearTextEdit;
  // Keys and characters the pane hands the window: the change and selection
  // notifications they cause are told once the window is done, the change
  // first, whatever order the window sent them in.
  class HeldNotifications;

  EditFieldEventSink* LiveSink() const;
  RuntimeObject* SinkControl() const;
  // Runs the sink operation with the pane (nothing without a live sink).
  template <class Operation>
  void Tell(Operation operation);
  void TellEditDone(bool textChanged);
  void TellSelectionNotice();
  LRESULT Forward(UINT message, WPARAM wParam, LPARAM lParam);

  std::u16string WindowUnits();
  void ShowClearText(const std::u16string& text);
  void InsertText(const std::u16string& text);
  void DeleteSelection();
  TextRange SelectClearRange(TextRange range);
  void ShowMaskedAgain();
  bool DeleteInPassword(uint32_t virtualKey);
  bool HandleClipboardKey(uint32_t virtualKey, uint32_t modifiers);
  void PasteClipboardText();
  std::vector<TypedCharacter> TakeCharacterWord(WPARAM word);
  void TypeCharacters(WPARAM word, LPARAM lParam);
  void ApplyCharFormat(const EditCharFormat& format, bool wholeText);
  void SetSelEffect(DWORD mask, bool on);
  bool SelHasEffect(DWORD mask);
  // Shows the box for a style this system lacks; false.
  bool UnsupportedStyle(const char* style);
  bool IsInClientArea(int32_t x, int32_t y) const;

  void DetachPrinters();
  // The formats of the text's first `entries` positions, in runs; positions
  // past the last character take the format at the end.
  std::vector<StyleRun> ReadStyleRuns(size_t entries);

  RichEditAccess access_;
  SinkLink sink_;
  std::vector<RuntimeObject*> printers_;
  PasswordText clear_;
  bool styled_;
  bool acceptTabs_ = false;
  bool listCellEditor_ = false;
  bool readOnly_ = false;
  bool password_ = false;
  bool nativePaste_;
  bool backColorSet_ = false;
  bool disabledLook_ = false;
  COLORREF backColor_;
  COLORREF savedTextColor_ = 0;
  int32_t clearTextEdits_ = 0;
  int32_t holding_ = 0;
  bool heldTextChange_ = false;
  bool heldSelectionChange_ = false;
  uint32_t pendingWord_ = 0;  // a high surrogate or lead byte awaiting its partner
};

// The four panes of an edit field: the window's styles follow the kind
// (single-line ES_AUTOHSCROLL; multi-line ES_MULTILINE | ES_NOHIDESEL, with
// the scroll bars asked for), WS_EX_CLIENTEDGE with a border. The styled
// panes paste natively; the single-line ones do not accept tabs.
RichEditPane* NewSingleLineEditPane(EditFieldEventSink* sink, SubPane* parentPane,
                                    int32_t tabPanelIndex, const MacRect& bounds, bool border,
                                    const FontDescriptor& font);
RichEditPane* NewMultiLineEditPane(EditFieldEventSink* sink, SubPane* parentPane,
                                   int32_t tabPanelIndex, const MacRect& bounds, bool border,
                                   const FontDescriptor& font, bool vScroll, bool hScroll);
RichEditPane* NewStyledSingleLineEditPane(EditFieldEventSink* sink, SubPane* parentPane,
                                          int32_t tabPanelIndex, const MacRect& bounds,
                                          bool border, const FontDescriptor& font);
RichEditPane* NewStyledMultiLineEditPane(EditFieldEventSink* sink, SubPane* parentPane,
                                         int32_t tabPanelIndex, const MacRect& bounds,
                                         bool border, const FontDescriptor& font, bool vScroll,
                                         bool hScroll);
