// The ScrollBar and Slider controls: one object layout and one set of
// accessors over a scroller pane (ScrollerPane.h), a scroll bar or a
// trackbar.
//
// Properties Minimum, Value, Maximum, LineStep and PageStep (Integer) go
// through scrollerPropGetter / scrollerPropSetter with their index 0 to 4 as
// the accessor's parameter; LiveScroll (Boolean) through the generic byte
// getter and the class's own setter. A getter reads the pane when there is
// one, else the field; a setter with a pane calls the pane's operation, then
// stores what the pane reads back (Value := 200 on a bar ending at 100 reads
// 100), so that after the window closes the fields hold what was last shown.
//
// Events, in slot order: "ValueChanged", "GotFocus", "LostFocus",
// "MouseDown" (X, Y; Boolean), "MouseDrag" (X, Y), "MouseUp" (X, Y).
// ValueChanged fires once for every change of the value the pane reports,
// after the Value field holds the new value; nothing fires while the pane is
// made.
#pragma once
#include <cstddef>
#include <cstdint>

#include "controls/ScrollerPane.h"
#include "core/Layout.h"
#include "ui/runctl.h"

class ScrollerEventSink;

// The ScrollBar and Slider object; property records point at these fields.
struct ScrollerFields {
  RuntimeControl control;
  int32_t minimum;
  int32_t value;
  int32_t maximum;
  int32_t lineStep;  // 1 at birth
  int32_t pageStep;  // 1 at birth
  uint8_t liveScroll;
  ScrollerEventSink* sink;  // owned; made by CreatePane
};
static_assert(!kLayoutIs32Bit || offsetof(ScrollerFields, minimum) == 64, "own fields at 64");
static_assert(!kLayoutIs32Bit || offsetof(ScrollerFields, liveScroll) == 84, "LiveScroll at 84");
static_assert(!kLayoutIs32Bit || sizeof(ScrollerFields) == 92, "a scroller is 92 bytes");

// Indices of the Integer properties (the accessor's parameter).
enum ScrollerProperty : uint32_t {
  kScrollerMinimum = 0,
  kScrollerValue = 1,
  kScrollerMaximum = 2,
  kScrollerLineStep = 3,
  kScrollerPageStep = 4,
};

// "ScrollBar" and "Slider" (superclass RectControl), built on the first
// request.
ObjectDefinition* GetScrollBarClassDefinition();
ObjectDefinition* GetSliderClassDefinition();

// The control's sink and the listener of its pane: the value stored, then
// "ValueChanged"; focus as "GotFocus" and "LostFocus"; the mouse events are
// raised by the pane itself.
class ScrollerEventSink : public ControlEventSink, public ScrollerListener {
 public:
  using ControlEventSink::ControlEventSink;
  void ValueChanged(ScrollerPane* pane, int32_t oldValue, int32_t newValue) override;
  void FocusGained(ScrollerPane* pane) override;
  void FocusLost(ScrollerPane* pane) override;
};

extern "C" {
// "CreatePane": the pane with the control's sink, re-parented into the parent
// control's pane; PageStep, LineStep, Minimum, Maximum and Value applied in
// that order and the fields given what the pane reads back; then the
// listener.
void ScrollBarCreatePane(RuntimeObject* control);
void SliderCreatePane(RuntimeObject* control);
void ScrollerDestruct(RuntimeObject* control);

// Index 0 to 4 as above; another index reads 0 and writes nothing.
int32_t scrollerPropGetter(RuntimeObject* control, uint32_t index);
void scrollerPropSetter(RuntimeObject* control, uint32_t index, int32_t value);
// LiveScroll: any byte is stored and passed on as 0 or 1.
void ScrollerLiveScrollSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
void SliderLiveScrollSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
}
