// The StaticText control: a label the run-time draws itself. Its pane is a
// SubPane on a "KV_Pane" window that holds the control, paints the caption
// with the drawing port, raises the control's events itself and binds to a
// DataControl (kind 1: the DataControl sets the caption).
//
// Drawing. The caption is drawn in TextColor, washed out toward grey while
// the label is disabled or its window inactive. With MultiLine it is
// word-wrapped in the box; otherwise it is split at CR, LF or CR LF and each
// line is drawn on one row, aligned by TextAlign (0 left, 1 centre, 2 right;
// any other value left), never clipped to the box. One line is centred
// vertically in the box; n lines take n bands of one line height plus
// leading each, the block centred as one line is. "&" underlines the
// character after it and "&&" shows one "&".
//
// Keys. A caption with a mnemonic makes "Alt+" and its character the label's
// one shortcut, which raises "AcceleratorKey" while the label is enabled.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controls/ControlPattern.h"
#include "core/Layout.h"
#include "core/SmartRef.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

class GraphicsPort;

// The static-text object; property records point at these fields.
struct StaticTextFields {
  RuntimeControl control;
  FontDescriptor font;
  StringRecord* caption;     // locked
  int16_t textAlign;         // 0 left, 1 centre, 2 right
  uint32_t textColor;        // 0x00RRGGBB
  uint8_t multiLine;         // 0 or 1
  uint8_t mouseHandled;      // the last "MouseDown" answered true
  StringRecord* dataSource;  // locked
  StringRecord* dataField;   // locked
};
static_assert(!kLayoutIs32Bit || offsetof(StaticTextFields, font) == 64, "font at 64");
static_assert(!kLayoutIs32Bit || offsetof(StaticTextFields, caption) == 76, "Caption at 76");
static_assert(!kLayoutIs32Bit || offsetof(StaticTextFields, textColor) == 84, "TextColor at 84");
static_assert(!kLayoutIs32Bit || offsetof(StaticTextFields, multiLine) == 88, "MultiLine at 88");
static_assert(!kLayoutIs32Bit || offsetof(StaticTextFields, dataSource) == 92, "DataSource at 92");
static_assert(!kLayoutIs32Bit || sizeof(StaticTextFields) == 100, "a static text is 100 bytes");

// "StaticText" (superclass RectControl), built on the first request.
ObjectDefinition* GetStaticTextClassDefinition();
// Registers the class at start-up.
void InitStaticTextClass();

// The part of a label's pane that a DataControl pushes a field through
// (kind 1). SetCaption goes through the control's Caption setter, so the
// label's Text and Caption read what it shows.
class StaticTextBindingPart : public BoundControlPart {
 public:
  virtual void SetTextAlign(int16_t alignment) = 0;
  virtual void SetCaption(const StringRecord* caption) = 0;
  virtual void SetTextFont(const FontDescriptor& font) = 0;
  virtual void SetMultiline(bool multiline) = 0;

 protected:
  ~StaticTextBindingPart() = default;
};

// The label's pane. It holds the control (not counted) until it closes, and
// its own copies of what it draws. Every setter redraws only on a change.
class StaticTextPane : public SubPane, public StaticTextBindingPart {
 public:
  StaticTextPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds);

  RuntimeObject* Control() const { return control_; }
  void SetControl(RuntimeObject* control) { control_ = control; }
  StringRecord* Caption() const { return caption_.get(); }

  // The DataSource name (borrowed) and the bound DataControl (nil: none).
  StringRecord* DataSourceName() const { return binding_.Name(); }
  void SetDataSourceName(StringRecord* name) override { binding_.SetName(name); }
  RuntimeObject* BoundDataControl() const { return binding_.DataControl(); }
  void BindDataSource() override;
  void UnbindDataSource() override;

  // The caption drawn, with its mnemonic shortcut; the same text again
  // (byte for byte) changes nothing.
  void ShowCaption(const StringRecord* caption);
  void SetCaption(const StringRecord* caption) override;
  void SetTextAlign(int16_t alignment) override;
  // The font through the font-name map.
  void SetTextFont(const FontDescriptor& font) override;
  void SetMultiline(bool multiline) override;
  void SetTextColor(uint32_t color);

  void Draw(GraphicsPort* port) override;
  // The first line's baseline from the pane's top, measured with the pane's
  // font; true.
  bool BaselineOffset(int32_t* offset) override;
  // While enabled, with a control: the "MouseDown" handler at the point
  // relative to the label; true captures the mouse for the drag and release,
  // which reach "MouseDrag" and "MouseUp" only after such an answer.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  // The label's own shortcut raises "AcceleratorKey".
  void ActivateShortcut(uint32_t kind) override;
  // The colour follows the window's activation.
  void Activate() override;
  void Deactivate() override;
  // After a resize all of the label is drawn again.
  void SetBounds(const MacRect& rect, bool redraw) override;
  void Close() override;

 protected:
  ~StaticTextPane() override;

 private:
  // Runs the handler of a mouse event at the point made relative to the
  // label, with the pane's owner chain locked.
  void CallMouseHandler(const char* event, int32_t x, int32_t y);
  void DrawLines(GraphicsPort* port);

  DataSourceBinding binding_;
  RuntimeObject* control_ = nullptr;
  StringRef caption_;
  int16_t alignment_ = 0;
  uint32_t color_ = 0;
  bool multiline_ = false;
  FontDescriptor font_;
};

// Draws one line of a caption in the band `bounds` of the port's target, in
// the port's font and fore colour, centred vertically and aligned as above.
void StaticTextDrawLine(GraphicsPort* port, const MacRect& bounds, StringRecord* line,
                        int32_t alignment);
// The label's shortcut was typed: "AcceleratorKey" when the pane has a
// control and is enabled.
void StaticTextFireAcceleratorKey(StaticTextPane* pane);

extern "C" {
// The class's "CreatePane": the pane, re-parented into the parent control's
// pane, given the control's caption, alignment, colour, font and MultiLine,
// then bound by DataSource.
void StaticTextCreatePane(RuntimeObject* control);
// Releases the caption, the font name, DataSource and DataField.
void StaticTextDestruct(RuntimeObject* control);

// Setters: a nil object raises NilObjectException and another class's
// object is reported; either changes nothing. Each stores the field, then
// tells the pane (when there is one).
void staticCaptionSetter(RuntimeObject* control, uint32_t index, StringRecord* text);
// Values outside the 16-bit range are held to it.
void staticTextAlignSetter(RuntimeObject* control, uint32_t index, int32_t alignment);
void staticTextColorSetter(RuntimeObject* control, uint32_t index, uint32_t color);
void staticTextFontSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
void staticTextSizeSetter(RuntimeObject* control, uint32_t index, int32_t size);
// Bold, Italic or Underline: the index is the field's offset.
void staticAttributeSetter(RuntimeObject* control, uint32_t index, uint8_t value);
void StaticTextMultilineSetter(RuntimeObject* control, uint32_t index, uint8_t value);
StringRecord* StaticTextDataSourceGetter(RuntimeObject* control, uint32_t index);
void StaticTextDataSourceSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
void StaticTextDataFieldSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
// A 16-bit field (TextAlign, TextSize) read as an Integer; the index is the
// field's offset.
int32_t staticShortGetter(RuntimeObject* control, uint32_t index);
}
