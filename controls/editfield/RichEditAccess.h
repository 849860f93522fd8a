// The edit pane's one way to its rich-edit window: every EM_ message the pane
// sends goes through here.
//
//   - Character formats travel as CHARFORMATW (92 bytes, SendMessageW) when
//     a face name is set or read on the NT line, else as CHARFORMATA (60
//     bytes, SendMessageA, a face in the system encoding). A format set on
//     the whole text is also made the default format, so text that arrives
//     later (WM_SETTEXT, streams) keeps the field's font and colour.
//   - Text reads are sized: the buffer's size always goes with the request.
//   - Change and selection notifications (the event mask) are suspended and
//     resumed in nesting pairs: the mask is 0 while any suspension lasts.
//   - Redrawing can be turned off for bulk work; the window is invalidated
//     when the outermost such scope ends.
//
// Without a window every message answers 0 and reads give empty results.
#pragma once
#include <windows.h>

#include <richedit.h>

#include <cstdint>
#include <string>

class ControlPane;
struct StringRecord;

// The notifications the pane keeps on: EN_CHANGE and EN_SELCHANGE.
constexpr LPARAM kEditEventMask = ENM_CHANGE | ENM_SELCHANGE;

// A character format in the pane's terms: the face in UTF-16 (at most 31
// units, or 31 bytes in the system encoding on the A path, cut only between
// characters), the height in twips.
struct EditCharFormat {
  DWORD mask = 0;
  DWORD effects = 0;
  LONG height = 0;
  COLORREF color = 0;
  BYTE charset = DEFAULT_CHARSET;
  std::u16string face;
};

class RichEditAccess {
 public:
  explicit RichEditAccess(const ControlPane& pane) : pane_(pane) {}
  RichEditAccess(const RichEditAccess&) = delete;
  RichEditAccess& operator=(const RichEditAccess&) = delete;

  HWND Window() const;
  // SendMessageW on NT, else SendMessageA; 0 without a window.
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

  // ---- Notifications ----
  void Suspend();
  // Ends one suspension; the mask comes back when none is left.
  void Resume();
  // Turns the mask on unless a suspension lasts (the end of every SetText).
  void StartNotifying() const;

  // ---- Selection and text ----
  CHARRANGE Selection() const;
  void Select(LONG start, LONG end) const;
  // EM_GETTEXTLENGTHEX in code page 1200 with the GTL_ flags (the NT line's
  // control only).
  int32_t Length(DWORD flags) const;
  // The text's positions: EM_GETTEXTLENGTHEX (GTL_PRECISE | GTL_NUMCHARS) on
  // NT. The A line's 1.0 control has no such message; its positions follow
  // the bytes of its text, so there the window text's byte length.
  int32_t Positions() const;
  // The whole text (GT_DEFAULT: a break is one CR, as positions count it)
  // or the selection's (GT_SELECTION), in UTF-16 through EM_GETTEXTEX.
  std::u16string Text(DWORD flags) const;
  // The A line's selected text: EM_GETSELTEXT into a buffer sized for two
  // bytes a position, as the system encoding's bytes.
  std::string SelectedBytes() const;
  // EM_REPLACESEL: UTF-16 on NT, else in the system encoding.
  void ReplaceSelection(const std::u16string& text, bool undoable) const;

  // ---- Formats ----
  // SCF_SELECTION or SCF_ALL (then also SCF_DEFAULT).
  void SetCharFormat(DWORD scope, const EditCharFormat& format) const;
  // SCF_SELECTION; with the face when asked.
  EditCharFormat GetCharFormat(bool withFace) const;
  // The selection's format as CHARFORMATA (the face in the system
  // encoding, as the style record keeps it), and such a format set.
  CHARFORMATA AnsiCharFormat() const;
  // Selects [start, end) and reads its format so, for reading many ranges
  // in a row: both messages go straight to the control's own procedure,
  // past the pane's, which only passes such messages on (at the cost of a
  // window-property look-up each).
  CHARFORMATA AnsiCharFormatOf(LONG start, LONG end) const;
  void SetAnsiCharFormat(DWORD scope, const CHARFORMATA& format) const;
  void SetParaFormat(const PARAFORMAT& format) const;
  PARAFORMAT GetParaFormat() const;

 private:
  friend class EditRedrawOff;
  // The message to the control's own procedure (SendMessage without one).
  LRESULT SendToControl(UINT message, WPARAM wParam, LPARAM lParam) const;
  const ControlPane& pane_;
  int32_t suspended_ = 0;
  int32_t redrawOff_ = 0;
};

// Notifications suspended for a scope.
class SuspendedEditNotifications {
 public:
  explicit SuspendedEditNotifications(RichEditAccess& access) : access_(access) {
    access_.Suspend();
  }
  ~SuspendedEditNotifications() { access_.Resume(); }
  SuspendedEditNotifications(const SuspendedEditNotifications&) = delete;
  SuspendedEditNotifications& operator=(const SuspendedEditNotifications&) = delete;

 private:
  RichEditAccess& access_;
};

// Redrawing off for a scope (WM_SETREDRAW); the outermost scope turns it
// back on and invalidates the window.
class EditRedrawOff {
 public:
  explicit EditRedrawOff(RichEditAccess& access);
  ~EditRedrawOff();
  EditRedrawOff(const EditRedrawOff&) = delete;
  EditRedrawOff& operator=(const EditRedrawOff&) = delete;

 private:
  RichEditAccess& access_;
};
