// Controls: the control object every control class shares (RuntimeControl),
// the language classes Control and RectControl, their common accessors, and
// the generator of a class's text-style accessors.
//
// A control class lays its own fields behind the RuntimeControl fields, and
// property records hold field offsets, so the offsets below are fixed.
//
// The control framework raises RectControl's event "CreatePane" when a
// control's panes are to be made; a control class answers it through the
// EventImplementation named "CreatePane" in its definition, whose handler
// receives the control object (with Window, parent pane and TabPanelIndex
// set) and stores the control's pane in it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/utility.h"
#include "ui/FontCache.h"

class SubPane;
struct StringRecord;

struct RuntimeControl {
  RuntimeObject header;
  RuntimeObject* parentControl;  // the control that holds this one (not counted)
  SubPane* pane;                 // m_view: the control's (host) pane; nil without panes
  StringRecord* name;            // owned
  int32_t index;                 // index in a control array; -1 for a lone control
  int32_t tabPanelIndex;         // the tab-panel page the control is on; 0 none
  uint8_t visible;
  uint8_t enabled;
  MacRect bounds;                // top-window client coordinates
  SubPane* parentPane;           // the pane the control's panes are made in
  RuntimeObject* window;         // the control's window (not counted); nil once closed
};
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, parentControl) == 24,
              "fields follow the header");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, pane) == 28, "pane at 28");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, name) == 32, "Name at 32");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, index) == 36, "Index at 36");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, tabPanelIndex) == 40, "TabPanelIndex at 40");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, visible) == 44, "Visible at 44");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, enabled) == 45, "Enabled at 45");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, bounds) == 46, "bounds at 46");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, parentPane) == 56, "parent pane at 56");
static_assert(!kLayoutIs32Bit || offsetof(RuntimeControl, window) == 60, "Window at 60");
static_assert(!kLayoutIs32Bit || sizeof(RuntimeControl) == 64, "RuntimeControl is 64 bytes");

inline RuntimeControl* ControlFields(RuntimeObject* control) {
  return reinterpret_cast<RuntimeControl*>(control);
}

// "Control": properties Name, Index (read-only) and Window (read-only).
// Instances start visible and enabled, with Index -1.
ObjectDefinition* GetControlClassDefinition();
// "RectControl" (superclass Control): the event CreatePane; properties Left,
// Top, Width, Height, Visible, Enabled, TabPanelIndex and Parent.
ObjectDefinition* GetRectControlClassDefinition();
void RegisterControlClasses();

// Whether the object is a control (of Control or a subclass).
bool IsControl(const RuntimeObject* object);
// Sets the Name (a control's key in its window: set it before the control is
// added to a window).
void ControlSetName(RuntimeObject* control, const StringRecord* name);

extern "C" {
// Booleans arrive from compiled code as any byte and are stored as 0 or 1.
// Enabled: stores, then (with a pane) the pane's SetEnabled.
void controlEnabledSetter(RuntimeObject* control, uint32_t parameter, uint8_t enabled);
// Visible: stores, then (with a pane) broadcasts show or hide.
void controlVisibleSetter(RuntimeObject* control, uint32_t parameter, uint8_t visible);
// Left, Top, Width, Height in window coordinates: the setters move the
// bounds (saturated to 16 bits; a negative size counts as 0), then (with a
// pane) SetBounds with redraw.
int32_t controlLeftGetter(RuntimeObject* control, uint32_t parameter);
void controlLeftSetter(RuntimeObject* control, uint32_t parameter, int32_t value);
int32_t controlTopGetter(RuntimeObject* control, uint32_t parameter);
void controlTopSetter(RuntimeObject* control, uint32_t parameter, int32_t value);
int32_t controlWidthGetter(RuntimeObject* control, uint32_t parameter);
void controlWidthSetter(RuntimeObject* control, uint32_t parameter, int32_t value);
int32_t controlHeightGetter(RuntimeObject* control, uint32_t parameter);
void controlHeightSetter(RuntimeObject* control, uint32_t parameter, int32_t value);

// A control's text style, reached through the offset of its TextStyle
// record (the generated accessors below pass it). A setter updates the style
// and, when the control has a pane, calls the pane's SetTextFont with the
// style's descriptor. Nil raises NilObjectException.
StringRecord* TextStyleFontGet(RuntimeObject* control, uint32_t styleOffset);
void TextStyleFontSet(RuntimeObject* control, uint32_t styleOffset, StringRecord* name);
int32_t TextStyleSizeGet(RuntimeObject* control, uint32_t styleOffset);
void TextStyleSizeSet(RuntimeObject* control, uint32_t styleOffset, int32_t size);
// which: 0 bold, 1 italic, 2 underline.
bool TextStyleFlagGet(RuntimeObject* control, uint32_t styleOffset, int32_t which);
void TextStyleFlagSet(RuntimeObject* control, uint32_t styleOffset, int32_t which, uint8_t value);
}

// Generates a class's ten font accessors, <prefix>TextFontGetter ...
// <prefix>UnderlineSetter, over the TextStyle field `member` of the class's
// fields struct `Fields`:
//   RUNTIME_TEXT_STYLE_ACCESSORS(checkBox, CheckBoxFields, textStyle)
// and the five property records for them:
//   RUNTIME_TEXT_STYLE_PROPERTIES(checkBox)
#define RUNTIME_TEXT_STYLE_ACCESSORS(prefix, Fields, member)                                     \
  extern "C" StringRecord* prefix##TextFontGetter(RuntimeObject* o, uint32_t) {                  \
    return TextStyleFontGet(o, offsetof(Fields, member));                                       \
  }                                                                                              \
  extern "C" void prefix##TextFontSetter(RuntimeObject* o, uint32_t, StringRecord* v) {          \
    TextStyleFontSet(o, offsetof(Fields, member), v);                                            \
  }                                                                                              \
  extern "C" int32_t prefix##TextSizeGetter(RuntimeObject* o, uint32_t) {                        \
    return TextStyleSizeGet(o, offsetof(Fields, member));                                        \
  }                                                                                              \
  extern "C" void prefix##TextSizeSetter(RuntimeObject* o, uint32_t, int32_t v) {                \
    TextStyleSizeSet(o, offsetof(Fields, member), v);                                            \
  }                                                                                              \
  extern "C" bool prefix##BoldGetter(RuntimeObject* o, uint32_t) {                               \
    return TextStyleFlagGet(o, offsetof(Fields, member), 0);                                     \
  }                                                                                              \
  extern "C" void prefix##BoldSetter(RuntimeObject* o, uint32_t, uint8_t v) {                    \
    TextStyleFlagSet(o, offsetof(Fields, member), 0, v);                                         \
  }                                                                                              \
  extern "C" bool prefix##ItalicGetter(RuntimeObject* o, uint32_t) {                             \
    return TextStyleFlagGet(o, offsetof(Fields, member), 1);                                     \
  }                                                                                              \
  extern "C" void prefix##ItalicSetter(RuntimeObject* o, uint32_t, uint8_t v) {                  \
    TextStyleFlagSet(o, offsetof(Fields, member), 1, v);                                         \
  }                                                                                              \
  extern "C" bool prefix##UnderlineGetter(RuntimeObject* o, uint32_t) {                          \
    return TextStyleFlagGet(o, offsetof(Fields, member), 2);                                     \
  }                                                                                              \
  extern "C" void prefix##UnderlineSetter(RuntimeObject* o, uint32_t, uint8_t v) {               \
    TextStyleFlagSet(o, offsetof(Fields, member), 2, v);                                         \
  }

#define RUNTIME_TEXT_STYLE_PROPERTY(prefix, name, type, accessor)                                 \
  {0,                                                                                            \
   name,                                                                                         \
   &type,                                                                                        \
   reinterpret_cast<void*>(&prefix##accessor##Getter),                                           \
   #prefix #accessor "Getter",                                                                   \
   reinterpret_cast<void*>(&prefix##accessor##Setter),                                           \
   #prefix #accessor "Setter",                                                                   \
   0}

#define RUNTIME_TEXT_STYLE_PROPERTIES(prefix)                                                    \
  RUNTIME_TEXT_STYLE_PROPERTY(prefix, "TextFont", kStringType, TextFont),                        \
      RUNTIME_TEXT_STYLE_PROPERTY(prefix, "TextSize", kIntegerType, TextSize),                   \
      RUNTIME_TEXT_STYLE_PROPERTY(prefix, "Bold", kBooleanType, Bold),                           \
      RUNTIME_TEXT_STYLE_PROPERTY(prefix, "Italic", kBooleanType, Italic),                       \
      RUNTIME_TEXT_STYLE_PROPERTY(prefix, "Underline", kBooleanType, Underline)
