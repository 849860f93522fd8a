// The StyledTextPrinter class: prints an edit field's text into a Graphics
// one block at a time, each block starting where the previous one stopped,
// until EOF.
//
// A block is laid out by a formatter: the control's own (EM_FORMATRANGE and
// EM_DISPLAYBAND) unless a test installs another. When the formatter cannot
// advance while characters remain (the control's formatting draws nothing on
// some systems), the block is drawn as plain text instead: the rest of the
// text in the field's face and size, black on a transparent ground, broken
// into lines at CR and at spaces (inside a word when one does not fit), as
// many lines as fit and the first always, so each block with area makes
// progress. EOF turns true once the position reaches the field's character
// count.
//
// The printer holds its Graphics (counted) and its field's pane (not
// counted): the pane lists its printers and clears their link when it
// closes or goes, after which DrawBlock reports "Styled text printer has no
// edit control" and sets EOF. DrawBlock gives back every DC it takes and
// restores the mapping mode; a block without area after clipping to the
// target draws nothing and changes nothing.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "core/RuntimeObjectFoundation.h"

class RichEditPane;

struct StyledTextPrinterFields {
  RuntimeObject header;
  RuntimeObject* graphics;  // locked
  int32_t width;            // in the Graphics' units
  uint8_t eof;
  RichEditPane* pane;  // not counted; nil once the pane has gone
  int32_t next;        // where the next block starts
};
static_assert(!kLayoutIs32Bit || offsetof(StyledTextPrinterFields, width) == 28, "Width at 28");
static_assert(!kLayoutIs32Bit || offsetof(StyledTextPrinterFields, eof) == 32, "EOF at 32");
static_assert(!kLayoutIs32Bit || offsetof(StyledTextPrinterFields, next) == 40, "position at 40");
static_assert(!kLayoutIs32Bit || sizeof(StyledTextPrinterFields) == 44, "a printer is 44 bytes");

// How blocks are laid out. Positions are the control's characters; the
// rectangles are in twips.
class StyledTextFormatter {
 public:
  virtual ~StyledTextFormatter() = default;
  // The first position at or after `from` that does not fit in the block.
  virtual LONG Measure(HWND window, HDC dc, const RECT& page, const RECT& block, LONG from) = 0;
  // Draws what the last Measure fitted into the block.
  virtual void Display(HWND window, const RECT& block) = 0;
  // Drops what the control keeps of its formatting.
  virtual void Reset(HWND window) = 0;
  virtual LONG CharacterCount(HWND window) = 0;
};
// Installs a formatter (nil: the control's own) and gives back the previous
// one (nil for the control's own). The formatter is borrowed.
StyledTextFormatter* SetStyledTextFormatter(StyledTextFormatter* formatter);

// "StyledTextPrinter" (no superclass), built on the first request.
ObjectDefinition* GetStyledTextPrinterClassDefinition();
void InitStyledTextPrinterClass();

// A new printer of the pane's text into the Graphics (the caller's
// reference); nil, after the assertion report, for a nil Graphics.
RuntimeObject* NewStyledTextPrinterOf(RichEditPane* pane, RuntimeObject* graphics, int32_t width);
// The pane is going: its printers lose their link to it.
void DetachStyledTextPrinter(RuntimeObject* printer);

extern "C" {
void StyledTextPrinterDestruct(RuntimeObject* printer);
bool styledPrinterEOF(RuntimeObject* printer, uint32_t index);
void styledPrinterWidthSetter(RuntimeObject* printer, uint32_t index, int32_t width);
void styledPrinterDrawBlock(RuntimeObject* printer, int32_t x, int32_t y, int32_t height);
}
