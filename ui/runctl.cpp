// The Control and RectControl classes and the common control accessors.
#include "ui/runctl.h"

#include <algorithm>

#include "core/InstanceArgument.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "ui/SubPane.h"

namespace {

int16_t Saturated16(int64_t value) {
  return int16_t(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}

void InitialiseControl(RuntimeObject* object) {
  RuntimeControl* control = ControlFields(object);
  control->index = -1;
  control->visible = 1;
  control->enabled = 1;
}

void DestroyControl(RuntimeObject* object) {
  RuntimeControl* control = ControlFields(object);
  RuntimeUnlockString(control->name);
  control->name = nullptr;
}

// The control's fields; nil for nil (NilObjectException raised) or for
// another class's object (reported).
RuntimeControl* Checked(RuntimeObject* object) {
  return InstanceArgument<RuntimeControl>(object, GetControlClassDefinition(), "runctl", __LINE__,
                                          "ObjectIsADefinition(object, Control)");
}

// Sets where one span of the bounds (left to right, or top to bottom)
// starts, keeping its length, or (move false) its length, a negative one
// counting as 0; then the pane follows with a redraw.
void SetSpan(RuntimeObject* object, int16_t MacRect::*start, int16_t MacRect::*end,
             int32_t value, bool move) {
  RuntimeControl* control = Checked(object);
  if (!control) return;
  MacRect bounds = control->bounds;
  const int32_t length = move ? int32_t(bounds.*end) - bounds.*start : std::max(value, 0);
  if (move) bounds.*start = Saturated16(value);
  bounds.*end = Saturated16(int64_t(bounds.*start) + length);
  control->bounds = bounds;
  if (control->pane) control->pane->SetBounds(bounds, true);
}

// The text style at the offset, or nil (reported) when it does not lie in
// the instance; nil objects raise NilObjectException.
TextStyle* StyleAt(RuntimeObject* object, uint32_t offset) {
  if (!object) {
    RaiseNilObjectException();
    return nullptr;
  }
  const uint32_t size = object->runtimeClass ? object->runtimeClass->instanceSize : 0;
  if (offset < sizeof(RuntimeControl) || offset > size || size - offset < sizeof(TextStyle)) {
    AssertionFailed(131, 4, "runctl", __LINE__, "text style inside the instance", nullptr);
    return nullptr;
  }
  return reinterpret_cast<TextStyle*>(reinterpret_cast<uint8_t*>(object) + offset);
}

void ApplyStyle(RuntimeObject* object, const TextStyle* style) {
  SubPane* pane = ControlFields(object)->pane;
  if (!pane) return;
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(style));
  pane->SetTextFont(font.get());
}

uint8_t* StyleFlag(TextStyle* style, int32_t which) {
  switch (which) {
    case 0:
      return &style->bold;
    case 1:
      return &style->italic;
    case 2:
      return &style->underline;
    default:
      return nullptr;
  }
}

constexpr uint32_t kGenericGetterSetter = kPropertyGenericGetter;

}  // namespace

ObjectDefinition* GetControlClassDefinition() {
  static PropertyRecord properties[] = {
      {kPropertyReadOnly, "Name", &kStringType, reinterpret_cast<void*>(&stringGetter),
       "stringGetter", nullptr, nullptr, offsetof(RuntimeControl, name)},
      {kPropertyReadOnly, "Index", &kIntegerType, reinterpret_cast<void*>(&intGetter), "intGetter",
       nullptr, nullptr, offsetof(RuntimeControl, index)},
      {kPropertyReadOnly, "Window", nullptr, reinterpret_cast<void*>(&objGetter), "objGetter",
       nullptr, nullptr, offsetof(RuntimeControl, window)},
  };
  static ObjectDefinition* definition = [] {
    static ObjectDefinition control;
    ObjectDefinitionSetName(&control, "Control");
    control.instanceSize = sizeof(RuntimeControl);
    control.initialiser = InitialiseControl;
    control.destructor = DestroyControl;
    BuildPropertyDefinitions(&control, properties, int32_t(std::size(properties)));
    return &control;
  }();
  return definition;
}

ObjectDefinition* GetRectControlClassDefinition() {
  static EventRecord events[] = {
      {0, "CreatePane", "", nullptr, 0},
  };
  static PropertyRecord properties[] = {
      {0, "Left", &kIntegerType, reinterpret_cast<void*>(&controlLeftGetter), "controlLeftGetter",
       reinterpret_cast<void*>(&controlLeftSetter), "controlLeftSetter", 0},
      {0, "Top", &kIntegerType, reinterpret_cast<void*>(&controlTopGetter), "controlTopGetter",
       reinterpret_cast<void*>(&controlTopSetter), "controlTopSetter", 0},
      {0, "Width", &kIntegerType, reinterpret_cast<void*>(&controlWidthGetter),
       "controlWidthGetter", reinterpret_cast<void*>(&controlWidthSetter), "controlWidthSetter", 0},
      {0, "Height", &kIntegerType, reinterpret_cast<void*>(&controlHeightGetter),
       "controlHeightGetter", reinterpret_cast<void*>(&controlHeightSetter),
       "controlHeightSetter", 0},
      {kGenericGetterSetter, "Visible", &kBooleanType, reinterpret_cast<void*>(&boolGetter),
       "boolGetter", reinterpret_cast<void*>(&controlVisibleSetter), "controlVisibleSetter",
       offsetof(RuntimeControl, visible)},
      {kGenericGetterSetter, "Enabled", &kBooleanType, reinterpret_cast<void*>(&boolGetter),
       "boolGetter", reinterpret_cast<void*>(&controlEnabledSetter), "controlEnabledSetter",
       offsetof(RuntimeControl, enabled)},
      {0, "TabPanelIndex", &kIntegerType, reinterpret_cast<void*>(&intGetter), "intGetter",
       reinterpret_cast<void*>(&intSetter), "intSetter", offsetof(RuntimeControl, tabPanelIndex)},
      {kPropertyReadOnly, "Parent", nullptr, reinterpret_cast<void*>(&objGetter), "objGetter",
       nullptr, nullptr, offsetof(RuntimeControl, parentControl)},
  };
  static ObjectDefinition* definition = [] {
    static ObjectDefinition rectControl;
    ObjectDefinitionSetName(&rectControl, "RectControl");
    rectControl.superclass = GetControlClassDefinition();
    rectControl.instanceSize = sizeof(RuntimeControl);
    BuildEventDefinitions(&rectControl, events, int32_t(std::size(events)));
    BuildPropertyDefinitions(&rectControl, properties, int32_t(std::size(properties)));
    return &rectControl;
  }();
  return definition;
}

void RegisterControlClasses() {
  RegisterIntrinsicClass(GetControlClassDefinition());
  RegisterIntrinsicClass(GetRectControlClassDefinition());
}

bool IsControl(const RuntimeObject* object) {
  return ObjectIsADefinition(object, GetControlClassDefinition());
}

void ControlSetName(RuntimeObject* control, const StringRecord* name) {
  if (RuntimeControl* fields = Checked(control)) {
    StringAssign(&fields->name, const_cast<StringRecord*>(name));
  }
}

extern "C" void controlEnabledSetter(RuntimeObject* object, uint32_t, uint8_t enabled) {
  RuntimeControl* control = Checked(object);
  if (!control) return;
  control->enabled = enabled != 0 ? 1 : 0;
  if (control->pane) control->pane->SetEnabled(enabled != 0, true);
}

extern "C" void controlVisibleSetter(RuntimeObject* object, uint32_t, uint8_t visible) {
  RuntimeControl* control = Checked(object);
  if (!control) return;
  control->visible = visible != 0 ? 1 : 0;
  if (control->pane) control->pane->BroadcastStateChange(visible ? kPaneShow : kPaneHide);
}

extern "C" int32_t controlLeftGetter(RuntimeObject* object, uint32_t) {
  RuntimeControl* control = Checked(object);
  return control ? control->bounds.left : 0;
}

extern "C" void controlLeftSetter(RuntimeObject* object, uint32_t, int32_t value) {
  SetSpan(object, &MacRect::left, &MacRect::right, value, true);
}

extern "C" int32_t controlTopGetter(RuntimeObject* object, uint32_t) {
  RuntimeControl* control = Checked(object);
  return control ? control->bounds.top : 0;
}

extern "C" void controlTopSetter(RuntimeObject* object, uint32_t, int32_t value) {
  SetSpan(object, &MacRect::top, &MacRect::bottom, value, true);
}

extern "C" int32_t controlWidthGetter(RuntimeObject* object, uint32_t) {
  RuntimeControl* control = Checked(object);
  return control ? int32_t(control->bounds.right) - control->bounds.left : 0;
}

extern "C" void controlWidthSetter(RuntimeObject* object, uint32_t, int32_t value) {
  SetSpan(object, &MacRect::left, &MacRect::right, value, false);
}

extern "C" int32_t controlHeightGetter(RuntimeObject* object, uint32_t) {
  RuntimeControl* control = Checked(object);
  return control ? int32_t(control->bounds.bottom) - control->bounds.top : 0;
}

extern "C" void controlHeightSetter(RuntimeObject* object, uint32_t, int32_t value) {
  SetSpan(object, &MacRect::top, &MacRect::bottom, value, false);
}

extern "C" StringRecord* TextStyleFontGet(RuntimeObject* object, uint32_t styleOffset) {
  TextStyle* style = StyleAt(object, styleOffset);
  return style ? StringAddRef(style->font) : nullptr;
}

extern "C" void TextStyleFontSet(RuntimeObject* object, uint32_t styleOffset, StringRecord* name) {
  TextStyle* style = StyleAt(object, styleOffset);
  if (!style) return;
  StringAssign(&style->font, name);
  ApplyStyle(object, style);
}

extern "C" int32_t TextStyleSizeGet(RuntimeObject* object, uint32_t styleOffset) {
  TextStyle* style = StyleAt(object, styleOffset);
  return style ? style->size : 0;
}

extern "C" void TextStyleSizeSet(RuntimeObject* object, uint32_t styleOffset, int32_t size) {
  TextStyle* style = StyleAt(object, styleOffset);
  if (!style) return;
  style->size = Saturated16(size);
  ApplyStyle(object, style);
}

extern "C" bool TextStyleFlagGet(RuntimeObject* object, uint32_t styleOffset, int32_t which) {
  TextStyle* style = StyleAt(object, styleOffset);
  uint8_t* flag = style ? StyleFlag(style, which) : nullptr;
  return flag && *flag != 0;
}

extern "C" void TextStyleFlagSet(RuntimeObject* object, uint32_t styleOffset, int32_t which,
                                 uint8_t value) {
  TextStyle* style = StyleAt(object, styleOffset);
  uint8_t* flag = style ? StyleFlag(style, which) : nullptr;
  if (!flag) return;
  *flag = value != 0 ? 1 : 0;
  ApplyStyle(object, style);
}
