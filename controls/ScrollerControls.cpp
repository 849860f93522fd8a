// The ScrollBar and Slider controls.
#include "controls/ScrollerControls.h"

#include <array>
#include <iterator>
#include <utility>

#include "core/InstanceArgument.h"
#include "core/SmartRef.h"

namespace {

constexpr uint32_t kScrollerPropertyCount = 5;

ScrollerFields* FieldsOf(RuntimeObject* control) { return ObjectFields<ScrollerFields>(control); }

// The fields of a scroll bar or a slider; nil for nil (NilObjectException
// raised) or for another class's object (reported).
ScrollerFields* Checked(RuntimeObject* control) {
  ObjectDefinition* slider = GetSliderClassDefinition();
  ObjectDefinition* definition =
      control && ObjectIsADefinition(control, slider) ? slider : GetScrollBarClassDefinition();
  return InstanceArgument<ScrollerFields>(control, definition, "ScrollerControls", __LINE__,
                                          "ObjectIsADefinition(control, ScrollBar)");
}

ScrollerPane* PaneOf(ScrollerFields* fields) {
  return dynamic_cast<ScrollerPane*>(fields->control.pane);
}

// The field of a property index; nil for another index.
int32_t* FieldOf(ScrollerFields* fields, uint32_t index) {
  switch (index) {
    case kScrollerMinimum: return &fields->minimum;
    case kScrollerValue: return &fields->value;
    case kScrollerMaximum: return &fields->maximum;
    case kScrollerLineStep: return &fields->lineStep;
    case kScrollerPageStep: return &fields->pageStep;
    default: return nullptr;
  }
}

int32_t ReadPane(ScrollerPane* pane, uint32_t index) {
  switch (index) {
    case kScrollerMinimum: return ScrollerPaneGetMinimum(pane);
    case kScrollerValue: return pane->GetValue();
    case kScrollerMaximum: return ScrollerPaneGetMaximum(pane);
    case kScrollerLineStep: return ScrollerPaneGetLineStep(pane);
    default: return ScrollerPaneGetPageStep(pane);
  }
}

void WritePane(ScrollerPane* pane, uint32_t index, int32_t value) {
  switch (index) {
    case kScrollerMinimum: pane->SetMinimum(value); break;
    case kScrollerValue: pane->SetValue(value); break;
    case kScrollerMaximum: pane->SetMaximum(value); break;
    case kScrollerLineStep: ScrollerPaneSetLineStep(pane, value); break;
    default: ScrollerPaneSetPageStep(pane, value); break;
  }
}

void InitialiseScroller(RuntimeObject* control) {
  ScrollerFields* fields = FieldsOf(control);
  fields->lineStep = 1;
  fields->pageStep = 1;
}

void CreateScroller(RuntimeObject* control, bool slider) {
  ScrollerFields* fields = FieldsOf(control);
  // A second "CreatePane" makes new panes: the old ones lose their listener
  // and, with the old sink, their control.
  if (ScrollerPane* old = PaneOf(fields)) old->SetListener(nullptr);
  delete std::exchange(fields->sink, new ScrollerEventSink(control));
  RuntimeControl& common = fields->control;
  ScrollerPane* pane = (slider ? CreateSliderPane : CreateScrollBarPane)(
      nullptr, ControlParentPane(control), common.tabPanelIndex, common.bounds,
      fields->liveScroll != 0, fields->sink);
  AdoptControlPane(control, pane);
  for (uint32_t index : {kScrollerPageStep, kScrollerLineStep, kScrollerMinimum, kScrollerMaximum,
                         kScrollerValue}) {
    WritePane(pane, index, *FieldOf(fields, index));
  }
  for (uint32_t index = 0; index < kScrollerPropertyCount; ++index) {
    *FieldOf(fields, index) = ReadPane(pane, index);
  }
  pane->SetListener(fields->sink);
}

void SetLiveScroll(ScrollerFields* fields, uint8_t value) {
  if (!fields) return;
  fields->liveScroll = value != 0 ? 1 : 0;
  if (ScrollerPane* pane = PaneOf(fields)) pane->SetLiveScroll(fields->liveScroll != 0);
}

std::array<EventRecord, 6> ScrollerEventRecords() {
  return {{
      {0, "ValueChanged", "", nullptr, 0},
      {0, "GotFocus", "", nullptr, 0},
      {0, "LostFocus", "", nullptr, 0},
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseDrag", "X As Integer, Y As Integer", nullptr, 0},
      {0, "MouseUp", "X As Integer, Y As Integer", nullptr, 0},
  }};
}

PropertyRecord IntegerProperty(const char* name, uint32_t index) {
  return {kPropertyPassesParameter, name, &kIntegerType, RUNTIME_ENTRY(scrollerPropGetter),
          RUNTIME_ENTRY(scrollerPropSetter), index};
}

// The six property records, with the class's LiveScroll setter.
std::array<PropertyRecord, 6> ScrollerPropertyRecords(void* liveScrollSetter,
                                                      const char* liveScrollSetterName) {
  return {{
      IntegerProperty("Minimum", kScrollerMinimum),
      IntegerProperty("Value", kScrollerValue),
      IntegerProperty("Maximum", kScrollerMaximum),
      IntegerProperty("LineStep", kScrollerLineStep),
      IntegerProperty("PageStep", kScrollerPageStep),
      {kPropertyGenericGetter, "LiveScroll", &kBooleanType, RUNTIME_ENTRY(byteGetter),
       liveScrollSetter, liveScrollSetterName, offsetof(ScrollerFields, liveScroll)},
  }};
}

ControlClassTables ScrollerTables(const char* name, void (*createPane)(RuntimeObject*),
                                  std::array<EventRecord, 6>& events,
                                  const std::array<PropertyRecord, 6>& properties) {
  return ControlClassTables{name,           sizeof(ScrollerFields), InitialiseScroller,
                            ScrollerDestruct, createPane,           events.data(),
                            int32_t(events.size()), properties.data(), int32_t(properties.size()),
                            nullptr,        0,                      {}};
}

}  // namespace

ObjectDefinition* GetScrollBarClassDefinition() {
  static std::array<EventRecord, 6> events = ScrollerEventRecords();
  static const std::array<PropertyRecord, 6> properties =
      ScrollerPropertyRecords(RUNTIME_ENTRY(ScrollerLiveScrollSetter));
  static ControlClassDefinition definition(
      ScrollerTables("ScrollBar", ScrollBarCreatePane, events, properties));
  return definition.get();
}

ObjectDefinition* GetSliderClassDefinition() {
  static std::array<EventRecord, 6> events = ScrollerEventRecords();
  static const std::array<PropertyRecord, 6> properties =
      ScrollerPropertyRecords(RUNTIME_ENTRY(SliderLiveScrollSetter));
  static ControlClassDefinition definition(
      ScrollerTables("Slider", SliderCreatePane, events, properties));
  return definition.get();
}

// ---- The sink ----

void ScrollerEventSink::ValueChanged(ScrollerPane*, int32_t, int32_t newValue) {
  RuntimeObject* control = Control();
  if (!control) return;
  FieldsOf(control)->value = newValue;
  CallControlHandler(control, "ValueChanged");
}

void ScrollerEventSink::FocusGained(ScrollerPane*) { CallControlHandler(Control(), "GotFocus"); }
void ScrollerEventSink::FocusLost(ScrollerPane*) { CallControlHandler(Control(), "LostFocus"); }

// ---- Entry points ----

extern "C" void ScrollBarCreatePane(RuntimeObject* control) { CreateScroller(control, false); }
extern "C" void SliderCreatePane(RuntimeObject* control) { CreateScroller(control, true); }

extern "C" void ScrollerDestruct(RuntimeObject* control) {
  ScrollerFields* fields = FieldsOf(control);
  if (ScrollerPane* pane = PaneOf(fields)) pane->SetListener(nullptr);
  // The sink leaves its panes as it goes.
  delete std::exchange(fields->sink, nullptr);
}

extern "C" int32_t scrollerPropGetter(RuntimeObject* control, uint32_t index) {
  ScrollerFields* fields = Checked(control);
  int32_t* field = fields ? FieldOf(fields, index) : nullptr;
  if (!field) return 0;
  ScrollerPane* pane = PaneOf(fields);
  return pane ? ReadPane(pane, index) : *field;
}

extern "C" void scrollerPropSetter(RuntimeObject* control, uint32_t index, int32_t value) {
  ScrollerFields* fields = Checked(control);
  int32_t* field = fields ? FieldOf(fields, index) : nullptr;
  if (!field) return;
  ObjectRef hold = ObjectRef::Retain(control);
  *field = value;
  ScrollerPane* pane = PaneOf(fields);
  if (!pane) return;
  WritePane(pane, index, value);
  // A ValueChanged handler may have closed the window, and the pane is then
  // gone; the listener has stored the value it reached.
  if ((pane = PaneOf(fields))) *field = ReadPane(pane, index);
}

extern "C" void ScrollerLiveScrollSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  SetLiveScroll(InstanceArgument<ScrollerFields>(control, GetScrollBarClassDefinition(),
                                                 "ScrollerControls", __LINE__,
                                                 "ObjectIsADefinition(control, ScrollBar)"),
                value);
}

extern "C" void SliderLiveScrollSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  SetLiveScroll(InstanceArgument<ScrollerFields>(control, GetSliderClassDefinition(),
                                                 "ScrollerControls", __LINE__,
                                                 "ObjectIsADefinition(control, Slider)"),
                value);
}
