// The Window class definition and its entry points.
#include "ui/window.h"

#include <iterator>

#include "core/InstanceArgument.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/WindowPane.h"

namespace {

enum BoundsPart : uint32_t { kLeft = 0, kTop = 1, kWidth = 2, kHeight = 3 };

// The window's fields; nil for nil (NilObjectException raised) or for
// another class's object (reported).
WindowFields* Checked(RuntimeObject* window) {
  return InstanceArgument<WindowFields>(window, GetWindowClassDefinition(), "window", __LINE__,
                                        "ObjectIsADefinition(window, Window)");
}

// The outer rectangle in the coordinates the window is placed in.
RECT PlacedRect(HWND handle) {
  RECT rect{};
  GetWindowRect(handle, &rect);
  if (HWND parent = GetParent(handle); parent && (GetWindowLongAuto(handle, GWL_STYLE) & WS_CHILD)) {
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  }
  return rect;
}

void ApplyBounds(HWND handle, const WindowFields* fields, uint32_t part) {
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (part == kLeft || part == kTop) {
    SetWindowPos(handle, nullptr, fields->left, fields->top, 0, 0, flags | SWP_NOSIZE);
    return;
  }
  RECT outer{0, 0, fields->width, fields->height};
  const DWORD style = DWORD(GetWindowLongAuto(handle, GWL_STYLE));
  const bool hasMenuBar = !(style & WS_CHILD) && GetMenu(handle) != nullptr;
  AdjustWindowRectEx(&outer, style, hasMenuBar, DWORD(GetWindowLongAuto(handle, GWL_EXSTYLE)));
  SetWindowPos(handle, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               flags | SWP_NOMOVE);
}

int32_t* BoundsField(WindowFields* fields, uint32_t part) {
  switch (part) {
    case kLeft:
      return &fields->left;
    case kTop:
      return &fields->top;
    case kWidth:
      return &fields->width;
    case kHeight:
      return &fields->height;
    default:
      return nullptr;
  }
}

template <class F>
void* Function(F* function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

ObjectDefinition* GetWindowClassDefinition() {
  static EventRecord events[] = {
      {0, "Open", "", nullptr, 0},
      {0, "Close", "", nullptr, 0},
      {0, "Activate", "", nullptr, 0},
      {0, "Deactivate", "", nullptr, 0},
      {0, "Resized", "", nullptr, 0},
      {0, "KeyDown", "Key As String", "Boolean", 0},
      {0, "EnableMenuItems", "", nullptr, 0},
  };
  static PropertyRecord properties[] = {
      {0, "Title", &kStringType, Function(&windowTitleGetter), "windowTitleGetter",
       Function(&windowTitleSetter), "windowTitleSetter", 0},
      {kPropertyPassesParameter, "Left", &kIntegerType, Function(&windowBoundsGetter),
       "windowBoundsGetter", Function(&windowBoundsSetter), "windowBoundsSetter", kLeft},
      {kPropertyPassesParameter, "Top", &kIntegerType, Function(&windowBoundsGetter),
       "windowBoundsGetter", Function(&windowBoundsSetter), "windowBoundsSetter", kTop},
      {kPropertyPassesParameter, "Width", &kIntegerType, Function(&windowBoundsGetter),
       "windowBoundsGetter", Function(&windowBoundsSetter), "windowBoundsSetter", kWidth},
      {kPropertyPassesParameter, "Height", &kIntegerType, Function(&windowBoundsGetter),
       "windowBoundsGetter", Function(&windowBoundsSetter), "windowBoundsSetter", kHeight},
      {kPropertyGenericGetter, "Visible", &kBooleanType, Function(&boolGetter), "boolGetter",
       Function(&windowVisibleSetter), "windowVisibleSetter", offsetof(WindowFields, visible)},
      {kPropertyGenericGetter, "HasBackColor", &kBooleanType, Function(&boolGetter), "boolGetter",
       Function(&windowHasBackColorSetter), "windowHasBackColorSetter",
       offsetof(WindowFields, hasBackColor)},
      {kPropertyGenericGetter, "BackColor", &kColorType, Function(&colorGetter), "colorGetter",
       Function(&windowBackColorSetter), "windowBackColorSetter",
       offsetof(WindowFields, backColor)},
      {0, "Frame", &kIntegerType, Function(&intGetter), "intGetter", Function(&intSetter),
       "intSetter", offsetof(WindowFields, frame)},
      {kPropertyReadOnly, "Handle", &kIntegerType, Function(&windowHandleGetter),
       "windowHandleGetter", nullptr, nullptr, 0},
  };
  static MethodRecord methods[] = {
      {"Show", nullptr, nullptr, 0, Function(&windowShow), "windowShow", nullptr, nullptr, 0, {}},
      {"ShowModal", nullptr, nullptr, 0, Function(&windowShowModal), "windowShowModal", nullptr,
       nullptr, 0, {}},
      {"Close", nullptr, nullptr, 0, Function(&windowClose), "windowClose", nullptr, nullptr, 0,
       {}},
  };
  static ObjectDefinition* definition = [] {
    static ObjectDefinition window;
    ObjectDefinitionSetName(&window, "Window");
    window.instanceSize = sizeof(WindowFields);
    window.initialiser = InitialiseWindowObject;
    window.destructor = DestroyWindowObject;
    BuildEventDefinitions(&window, events, int32_t(std::size(events)));
    BuildPropertyDefinitions(&window, properties, int32_t(std::size(properties)));
    BuildMethodDefinitions(&window, methods, int32_t(std::size(methods)));
    return &window;
  }();
  return definition;
}

void RegisterWindowClass() { RegisterIntrinsicClass(GetWindowClassDefinition()); }

extern "C" StringRecord* windowTitleGetter(RuntimeObject* window, uint32_t) {
  WindowFields* fields = Checked(window);
  if (!fields) return nullptr;
  if (HWND handle = WindowHandle(window)) return GetWindowTextAuto(handle);
  return StringAddRef(fields->title);
}

extern "C" void windowTitleSetter(RuntimeObject* window, uint32_t, StringRecord* title) {
  WindowFields* fields = Checked(window);
  if (!fields) return;
  StringAssign(&fields->title, title);
  if (HWND handle = WindowHandle(window)) SetWindowTextAuto(handle, title);
}

extern "C" int32_t windowBoundsGetter(RuntimeObject* window, uint32_t part) {
  WindowFields* fields = Checked(window);
  if (!fields) return 0;
  int32_t* field = BoundsField(fields, part);
  if (!field) return 0;
  HWND handle = WindowHandle(window);
  if (!handle) return *field;
  if (part == kLeft || part == kTop) {
    RECT placed = PlacedRect(handle);
    return part == kLeft ? placed.left : placed.top;
  }
  RECT client{};
  GetClientRect(handle, &client);
  return part == kWidth ? client.right : client.bottom;
}

extern "C" void windowBoundsSetter(RuntimeObject* window, uint32_t part, int32_t value) {
  WindowFields* fields = Checked(window);
  int32_t* field = fields ? BoundsField(fields, part) : nullptr;
  if (!field) return;
  HWND handle = WindowHandle(window);
  if (handle) {
    // The other values are the window's own now.
    RECT placed = PlacedRect(handle);
    RECT client{};
    GetClientRect(handle, &client);
    fields->left = placed.left;
    fields->top = placed.top;
    fields->width = client.right;
    fields->height = client.bottom;
  }
  *field = (part == kWidth || part == kHeight) && value < 0 ? 0 : value;
  if (handle) ApplyBounds(handle, fields, part);
}

extern "C" void windowVisibleSetter(RuntimeObject* window, uint32_t, bool visible) {
  WindowFields* fields = Checked(window);
  if (!fields) return;
  fields->visible = visible ? 1 : 0;
  if (!WindowIsOpen(window)) return;
  if (visible) {
    WindowShow(window);
  } else {
    WindowHide(window);
  }
}

extern "C" void windowHasBackColorSetter(RuntimeObject* window, uint32_t, bool hasBackColor) {
  WindowFields* fields = Checked(window);
  if (!fields) return;
  fields->hasBackColor = hasBackColor ? 1 : 0;
  if (WindowPane* pane = WindowPaneOf(window)) {
    pane->SetBackdrop(hasBackColor, ColorRefOfColor(fields->backColor));
  }
}

extern "C" void windowBackColorSetter(RuntimeObject* window, uint32_t, uint32_t color) {
  WindowFields* fields = Checked(window);
  if (!fields) return;
  fields->backColor = color & 0xFFFFFF;
  if (WindowPane* pane = WindowPaneOf(window)) {
    pane->SetBackdrop(fields->hasBackColor != 0, ColorRefOfColor(fields->backColor));
  }
}

extern "C" int32_t windowHandleGetter(RuntimeObject* window, uint32_t) {
  if (!Checked(window)) return 0;
  return int32_t(reinterpret_cast<intptr_t>(WindowHandle(window)));
}

extern "C" void windowShow(RuntimeObject* window) {
  if (Checked(window)) WindowShow(window);
}

extern "C" void windowShowModal(RuntimeObject* window) {
  if (Checked(window)) WindowShowModal(window);
}

extern "C" void windowClose(RuntimeObject* window) {
  if (Checked(window)) WindowClose(window);
}
