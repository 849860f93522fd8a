// The EditField control: a single- or multi-line text field, plain or
// styled, optionally a password field, over the rich-edit edit pane
// (RichEditPane.h), which is the control's only pane. Every member that
// touches text, selection, styles, scrolling or the clipboard forwards to the
// pane; without a pane getters answer 0, false or nil and the rest does
// nothing. Properties assigned before the window opens wait in the fields
// and are applied when the pane is made; Styled, MultiLine, Border, the
// scroll bars and UseFocusRing are read only then.
//
// Events ("KeyDown", "GotFocus", "LostFocus", "MouseDown", "MouseUp",
// "SelChange", "TextChange", "EnableMenuItems") all go through
// CallControlHandler. TextChange and SelChange are not re-entered: a handler
// that changes the text or the selection causes no nested event.
//
// Bindings. A string source (bound through stringBinder) shows its
// getString in the field and receives the text through setString when the
// field loses focus, and on every change with LiveUpdate. The field holds a
// reference to the source from bind until it is bound again (nil too), its
// pane closes, or the field goes; it registers with a dataNotifier source as
// a receiver for that time. A DataSource name binds the field (kind 0) to
// the window's DataControl of that name, listed at most once and never after
// the pane is gone.
//
// Edit menu. With a selection: EditCut (not read-only, not password),
// EditCopy (not password), EditClear (not read-only); EditPaste when not
// read-only and the clipboard holds text. The same items are what the field
// answers when chosen.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controls/ControlPattern.h"
#include "controls/editfield/RichEditPane.h"
#include "core/Layout.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

class EditFieldSink;

// The edit-field object; property records point at these fields.
struct EditFieldFields {
  RuntimeControl control;
  StringRecord* dataSource;  // locked
  StringRecord* dataField;   // locked; read by the generic string getter
  TextStyle textStyle;
  EditFieldSink* sink;  // owned; made by CreatePane
  uint8_t border;
  uint8_t multiLine;
  uint8_t scrollBarHorizontal;
  uint8_t scrollBarVertical;
  uint8_t readOnly;
  StringRecord* text;  // locked: the text last assigned
  int32_t limitText;   // 0: the control's default
  uint32_t backColor;  // 0x00RRGGBB; white in a new field
  uint32_t textColor;
  uint8_t inTextChange;
  uint8_t inSelChange;
  uint8_t password;
  uint8_t styled;
  uint8_t acceptTabs;
  uint8_t liveUpdate;
  uint8_t useFocusRing;
  RuntimeObject* stringSource;  // locked while bound
  int32_t alignment;            // 0 default, 1 left, 2 centre, 3 right
};
static_assert(!kLayoutIs32Bit || offsetof(EditFieldFields, dataSource) == 64, "own fields at 64");
static_assert(!kLayoutIs32Bit || offsetof(EditFieldFields, textStyle) == 72, "text style at 72");
static_assert(!kLayoutIs32Bit || offsetof(EditFieldFields, border) == 88, "Border at 88");
static_assert(!kLayoutIs32Bit || offsetof(EditFieldFields, text) == 96, "Text at 96");
static_assert(!kLayoutIs32Bit || offsetof(EditFieldFields, stringSource) == 120,
              "string source at 120");
static_assert(!kLayoutIs32Bit || sizeof(EditFieldFields) == 128, "an edit field is 128 bytes");

// "EditField" (superclass RectControl), implementing StringInterface; built
// on the first request.
ObjectDefinition* GetEditFieldClassDefinition();
// Registers the class, fills stringBinder's hook and enters editSetString
// in the entry-point table.
void InitEditFieldClass();

// The field's sink: the pane's reports become the field's events.
class EditFieldSink : public EditFieldEventSink {
 public:
  using EditFieldEventSink::EditFieldEventSink;
  void TextChanged(NativeEditPane* pane) override;
  void SelectionChanged(NativeEditPane* pane) override;
  bool MouseDown(SubPane* pane, int32_t x, int32_t y) override;
  bool MouseUp(SubPane* pane, int32_t x, int32_t y) override;
  void GotFocus(SubPane* pane) override;
  // "LostFocus", then the text to the string source.
  void LostFocus(SubPane* pane) override;
  // The code point as UTF-8, then KeyString.
  bool KeyChar(NativeEditPane* pane, uint32_t character, uint32_t a, uint32_t b) override;
  // "KeyDown" with the key; true when its handler answers true.
  bool KeyString(NativeEditPane* pane, StringRecord* key, uint32_t a, uint32_t b) override;
  void EnableMenuItems(NativeEditPane* pane) override;
  bool HandleMenuItem(NativeEditPane* pane, RuntimeObject* menuItem) override;
  // 0x34 fires "GotFocus", 0x35 "LostFocus"; false.
  bool FocusMessage(NativeEditPane* pane, int32_t code) override;
  // The pane is closing: the string source is let go.
  void PaneClosing(NativeEditPane* pane) override;
};

// The Edit menu of a pane whose sink is a field's.
void EditFieldUpdateEditMenu(NativeEditPane* pane);
bool EditFieldHandleEditMenu(NativeEditPane* pane, RuntimeObject* menuItem);

extern "C" {
void EditFieldCreatePane(RuntimeObject* control);
void EditFieldDestruct(RuntimeObject* control);
// Binds the string source (nil unbinds), letting the previous one go.
void EditFieldBindStringSource(RuntimeObject* control, RuntimeObject* source);

StringRecord* editTextGetter(RuntimeObject* control, uint32_t index);
void editTextSetter(RuntimeObject* control, uint32_t index, StringRecord* text);
void editSetString(RuntimeObject* control, StringRecord* text);
// The style record of the text (StyledText.h).
StringRecord* editTextStyleDataGetter(RuntimeObject* control, uint32_t index);
void editReadOnlySetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editPasswordGetter(RuntimeObject* control, uint32_t index);
void editPasswordSetter(RuntimeObject* control, uint32_t index, uint8_t value);
void editTextColorSetter(RuntimeObject* control, uint32_t index, uint32_t color);
void editBackColorSetter(RuntimeObject* control, uint32_t index, uint32_t color);
int32_t editSelStartGetter(RuntimeObject* control, uint32_t index);
void editSelStartSetter(RuntimeObject* control, uint32_t index, int32_t value);
int32_t editSelLengthGetter(RuntimeObject* control, uint32_t index);
void editSelLengthSetter(RuntimeObject* control, uint32_t index, int32_t value);
StringRecord* editSelTextGetter(RuntimeObject* control, uint32_t index);
void editSelTextSetter(RuntimeObject* control, uint32_t index, StringRecord* text);
void editLimitTextSetter(RuntimeObject* control, uint32_t index, int32_t value);
StringRecord* editSelTextFontGetter(RuntimeObject* control, uint32_t index);
void editSelTextFontSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
int32_t editSelTextSizeGetter(RuntimeObject* control, uint32_t index);
void editSelTextSizeSetter(RuntimeObject* control, uint32_t index, int32_t size);
uint32_t editSelTextColorGetter(RuntimeObject* control, uint32_t index);
void editSelTextColorSetter(RuntimeObject* control, uint32_t index, uint32_t color);
StringRecord* EditDataSourceGetter(RuntimeObject* control, uint32_t index);
void EditDataSourceSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
void EditDataFieldSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
void EditAlignmentSetter(RuntimeObject* control, uint32_t index, int32_t alignment);
int32_t EditSelAlignmentGetter(RuntimeObject* control, uint32_t index);
void EditSelAlignmentSetter(RuntimeObject* control, uint32_t index, int32_t alignment);

// SelBold ... SelPlain: the pane's operation of the same name.
bool editSelBoldGetter(RuntimeObject* control, uint32_t index);
void editSelBoldSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editSelUnderlineGetter(RuntimeObject* control, uint32_t index);
void editSelUnderlineSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editSelItalicGetter(RuntimeObject* control, uint32_t index);
void editSelItalicSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editSelOutlineGetter(RuntimeObject* control, uint32_t index);
void editSelOutlineSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editSelShadowGetter(RuntimeObject* control, uint32_t index);
void editSelShadowSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editSelCondenseGetter(RuntimeObject* control, uint32_t index);
void editSelCondenseSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editSelExtendGetter(RuntimeObject* control, uint32_t index);
void editSelExtendSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editSelPlainGetter(RuntimeObject* control, uint32_t index);
void editSelPlainSetter(RuntimeObject* control, uint32_t index, uint8_t value);

void editToggleSelectionBold(RuntimeObject* control);
void editToggleSelectionUnderline(RuntimeObject* control);
void editToggleSelectionItalic(RuntimeObject* control);
void editToggleSelectionShadow(RuntimeObject* control);
void editToggleSelectionOutline(RuntimeObject* control);
void editToggleSelectionCondense(RuntimeObject* control);
void editToggleSelectionExtend(RuntimeObject* control);
void editSetTextAndStyle(RuntimeObject* control, StringRecord* text, StringRecord* style);
// A new StyledTextPrinter (the caller's reference); nil without a pane.
RuntimeObject* editStyleTextPrinter(RuntimeObject* control, RuntimeObject* graphics,
                                    int32_t width);
int32_t editScrollPositionGetter(RuntimeObject* control);
void editScrollPositionSetter(RuntimeObject* control, int32_t line);
int32_t EditScrollPositionXGetter(RuntimeObject* control);
void EditScrollPositionXSetter(RuntimeObject* control, int32_t x);
int32_t editLineNumAtCharPos(RuntimeObject* control, int32_t position);
int32_t editCharPosAtLineNum(RuntimeObject* control, int32_t line);
int32_t editCharPosAtXY(RuntimeObject* control, int32_t x, int32_t y);
int32_t editInsertionPosAtXY(RuntimeObject* control, int32_t x, int32_t y);
void editCopyToClipboard(RuntimeObject* control);
void editPasteFromClipboard(RuntimeObject* control);

// The font accessors editTextFontGetter ... editUnderlineSetter.
StringRecord* editTextFontGetter(RuntimeObject* control, uint32_t index);
void editTextFontSetter(RuntimeObject* control, uint32_t index, StringRecord* name);
int32_t editTextSizeGetter(RuntimeObject* control, uint32_t index);
void editTextSizeSetter(RuntimeObject* control, uint32_t index, int32_t size);
bool editBoldGetter(RuntimeObject* control, uint32_t index);
void editBoldSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editItalicGetter(RuntimeObject* control, uint32_t index);
void editItalicSetter(RuntimeObject* control, uint32_t index, uint8_t value);
bool editUnderlineGetter(RuntimeObject* control, uint32_t index);
void editUnderlineSetter(RuntimeObject* control, uint32_t index, uint8_t value);
}
