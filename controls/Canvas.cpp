// The Canvas control.
#include "controls/Canvas.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "controls/ControlPattern.h"
#include "core/InstanceArgument.h"
#include "core/string.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "graphics/Rect16.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/win32windows.h"

namespace {

// The width or height that stands for the canvas's own in Scroll.
constexpr int32_t kWholeSize = -10000;
// Room for a focus ring around the canvas.
constexpr int16_t kRedrawMargin = 3;

CanvasFields* FieldsOf(RuntimeObject* control) { return ObjectFields<CanvasFields>(control); }

// The fields of a canvas; nil for nil (NilObjectException raised) or for
// another class's object (reported).
CanvasFields* Checked(RuntimeObject* control) {
  return InstanceArgument<CanvasFields>(control, GetCanvasClassDefinition(), "Canvas", __LINE__,
                                        "ObjectIsADefinition(control, Canvas)");
}

CanvasPane* PaneOf(CanvasFields* fields) { return dynamic_cast<CanvasPane*>(fields->control.pane); }

}  // namespace

// ---- Class definition ----

ObjectDefinition* GetCanvasClassDefinition() {
  constexpr uint32_t kField = kPropertyGenericGetter;
  static EventRecord events[] = {
      {0, "Paint", "g As Graphics", nullptr, 0},
      {0, "GotFocus", "", nullptr, 0},
      {0, "LostFocus", "", nullptr, 0},
      {0, "KeyDown", "Key As String", "Boolean", 0},
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseDrag", "X As Integer, Y As Integer", nullptr, 0},
      {0, "MouseUp", "X As Integer, Y As Integer", nullptr, 0},
      {0, "EnableMenuItems", "", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly, "Graphics", GraphicsClassDefinition(),
       RUNTIME_ENTRY(canvasGraphicsGetter), nullptr, nullptr, 0},
      {kField, "Backdrop", PictureClassDefinition(), RUNTIME_ENTRY(objGetter),
       RUNTIME_ENTRY(canvasBackdropSetter), offsetof(CanvasFields, backdrop)},
      {kField, "AcceptFocus", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(CanvasFields, acceptFocus)},
      {kField, "AcceptTabs", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(CanvasFields, acceptTabs)},
      {kField, "UseFocusRing", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(CanvasFields, useFocusRing)},
  };
  static const ParameterRecord scroll[] = {
      {"dx", &kIntegerType, 0},
      {"dy", &kIntegerType, 0},
      {"x", &kIntegerType, 0},
      {"y", &kIntegerType, 0},
      {"width", &kIntegerType, 0},
      {"height", &kIntegerType, 0},
      {"moveControls", &kBooleanType, 0},
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("Scroll", nullptr, scroll, uint32_t(std::size(scroll)),
                       RUNTIME_ENTRY(canvasScroll)),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "Canvas", sizeof(CanvasFields), nullptr, CanvasDestruct, CanvasCreatePane, events,
      int32_t(std::size(events)), properties, int32_t(std::size(properties)), methods,
      int32_t(std::size(methods)), {}});
  return definition.get();
}

void InitCanvasClass() { RegisterIntrinsicClass(GetCanvasClassDefinition()); }

// ---- The pane ----

CanvasPane::CanvasPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                       bool transparent)
    : NativePane(parent, tabPanelIndex, bounds, nullptr, kCanvasPaneClassName, 0,
                 transparent ? WS_EX_TRANSPARENT : 0),
      transparent_(transparent) {}

void CanvasPane::Draw(GraphicsPort* port) {
  if (!control_ || !IsShown()) return;
  port->Focus();
  MacRect visible;
  GetClippedBounds(&visible);
  if (!MacSectRect(&visible, &Bounds(), &visible)) return;
  port->SetClipRect(visible);
  if (!transparent_) EraseBackground();
  DrawBackdrop(port);
  RunPaint(port);
}

void CanvasPane::DrawBackdrop(GraphicsPort* port) {
  CanvasFields* fields = FieldsOf(control_);
  auto* picture = reinterpret_cast<PictureObject*>(fields->backdrop);
  NativePicture* native = picture ? picture->nativePicture : nullptr;
  if (!native) return;
  fields->backdropChangeCount = uint32_t(native->ChangeCount());
  int32_t width = 0;
  int32_t height = 0;
  native->GetSize(&width, &height);
  // Drawn at its own size, never scaled: cut at the canvas's edges.
  port->DrawPicture(Left(), Top(), native, 0, 0, std::min(width, Width()),
                    std::min(height, Height()), (picture->transparent & 0xFF) != 0);
}

void CanvasPane::RunPaint(GraphicsPort* painting) {
  if (!FindEventHandler(control_, "Paint")) return;
  GraphicsPort* port = PaneNewGraphicsPort(this);
  if (!port) return;
  ClipStateSaver saved(port);
  if (HRGN clip = painting->ClipRegion()) port->SetClipRegion(clip);
  // The Graphics owns the port from here on.
  GraphicsObject* graphics = WrapGraphicsPort(port);
  if (!graphics) return;
  ObjectRef g = ObjectRef::Adopt(&graphics->header);
  {
    OwnerChainLock lock(this);
    CallControlHandler(control_, "Paint", g.get());
  }
  // A handler may keep g: its port keeps the clip it had.
  saved.Restore();
}

bool CanvasPane::AdjustRedrawRect(MacRect* rect) {
  MacInsetRect(rect, -kRedrawMargin, -kRedrawMargin);
  return true;
}

void CanvasPane::SetBounds(const MacRect& rect, bool redraw) {
  const MacRect old = Bounds();
  NativePane::SetBounds(rect, redraw);
  if (redraw) RedrawWholeAfterResize(this, old);
}

void CanvasPane::MoveChildren(int32_t dx, int32_t dy) {
  const std::vector<SubPane*> children = Children();
  for (SubPane* child : children) child->SetBounds(OffsetRect16(child->Bounds(), dx, dy), false);
  RuntimeObject* window = control_ ? ControlFields(control_)->window : nullptr;
  if (!window) return;
  for (RuntimeObject* control : WindowControls(window)) {
    RuntimeControl* fields = ControlFields(control);
    if (fields->pane && fields->pane->GetOwner() == this) fields->bounds = fields->pane->Bounds();
  }
}

bool CanvasPane::RunKeyDown(uint32_t key, uint32_t encoding) {
  if (!control_ || (key == '\t' && !FieldsOf(control_)->acceptTabs)) return false;
  if (!FindEventHandler(control_, "KeyDown")) return false;
  StringRef text = StringRef::Adopt(StringFromCodePoint(key, encoding));
  OwnerChainLock lock(this);
  const bool used = CallControlHandler<bool>(control_, "KeyDown", text.get());
  return used || IsClosing();
}

bool CanvasPane::HandleKey(uint32_t, uint32_t keyChar, uint32_t) {
  return RunKeyDown(keyChar, GetSystemTextEncoding());
}

bool CanvasPane::CharacterEntry(uint32_t codePoint, uint32_t) {
  return RunKeyDown(codePoint, codePoint < 128 ? GetSystemTextEncoding() : kEncodingUTF8);
}

bool CanvasPane::ArrowKeysMoveFocus() { return false; }

bool CanvasPane::GetAcceptTabs() { return control_ && FieldsOf(control_)->acceptTabs; }

bool CanvasPane::OwnMouseDown(int32_t x, int32_t y) {
  return IsEnabled() && RunMouseDownHandler(this, control_, x, y);
}

bool CanvasPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (!IsEnabled()) return false;
  return SubPane::MouseDown(x, y, modifiers) || OwnMouseDown(x, y);
}

bool CanvasPane::RightMouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  if (SubPane::RightMouseDown(x, y, modifiers)) return true;
  ContextualClickScope contextual;
  return OwnMouseDown(x, y);
}

void CanvasPane::MouseDrag(int32_t x, int32_t y, uint32_t) {
  RunMouseHandler(this, control_, "MouseDrag", x, y);
}

void CanvasPane::MouseUp(int32_t x, int32_t y, uint32_t) {
  RunMouseHandler(this, control_, "MouseUp", x, y);
}

void CanvasPane::RunHandler(const char* event) {
  if (!control_ || IsClosing()) return;
  OwnerChainLock lock(this);
  CallControlHandler(control_, event);
}

bool CanvasPane::CanAcceptFocus() {
  return control_ && FieldsOf(control_)->acceptFocus && IsEnabled() && IsShown();
}

void CanvasPane::TakeFocus() {
  OwnerChainLock lock(this);
  NativePane::TakeFocus();
  RunHandler("GotFocus");
}

void CanvasPane::LoseFocus() { RunHandler("LostFocus"); }

void CanvasPane::EnableMenuItems() { RunHandler("EnableMenuItems"); }

void CanvasPane::BroadcastStateChange(int32_t code) {
  if (code == kPaneShow || code == kPaneHide) Invalidate(true);
  NativePane::BroadcastStateChange(code);
}

void CanvasPane::Close() {
  // The cached Graphics goes with the pane; the control may go first, and a
  // closing pane raises nothing.
  if (control_) RuntimeUnlockObject(std::exchange(FieldsOf(control_)->graphics, nullptr));
  control_ = nullptr;
  NativePane::Close();
}

// ---- Entry points ----

extern "C" void CanvasCreatePane(RuntimeObject* control) {
  RuntimeControl& common = FieldsOf(control)->control;
  const bool transparent = FindEventHandler(control, "Paint") == nullptr;
  auto* pane = new CanvasPane(ControlParentPane(control), common.tabPanelIndex, common.bounds,
                              transparent);
  AdoptControlPane(control, pane);
  pane->SetControl(control);
}

extern "C" void CanvasDestruct(RuntimeObject* control) {
  CanvasFields* fields = FieldsOf(control);
  RuntimeUnlockObject(std::exchange(fields->graphics, nullptr));
  RuntimeUnlockObject(std::exchange(fields->backdrop, nullptr));
}

extern "C" RuntimeObject* canvasGraphicsGetter(RuntimeObject* control, uint32_t) {
  CanvasFields* fields = Checked(control);
  CanvasPane* pane = fields ? PaneOf(fields) : nullptr;
  if (!pane) return nullptr;
  if (!fields->graphics) {
    GraphicsObject* graphics = WrapGraphicsPort(PaneNewGraphicsPort(pane));
    if (!graphics) return nullptr;
    fields->graphics = &graphics->header;
  }
  ObjectFields<GraphicsObject>(fields->graphics)->port->SetClipRect(pane->Bounds());
  RuntimeLockObject(fields->graphics);
  return fields->graphics;
}

extern "C" void canvasBackdropSetter(RuntimeObject* control, uint32_t, RuntimeObject* picture) {
  CanvasFields* fields = Checked(control);
  if (!fields) return;
  RuntimeLockObject(picture);
  RuntimeUnlockObject(std::exchange(fields->backdrop, picture));
  if (CanvasPane* pane = PaneOf(fields)) pane->Invalidate(true);
}

extern "C" void canvasScroll(RuntimeObject* control, int32_t dx, int32_t dy, int32_t x, int32_t y,
                             int32_t width, int32_t height, uint8_t moveControls) {
  CanvasFields* fields = Checked(control);
  if (!fields || (dx == 0 && dy == 0)) return;
  CanvasPane* pane = PaneOf(fields);
  if (!pane) return;
  const MacRect& bounds = fields->control.bounds;
  if (width == kWholeSize) width = int32_t(bounds.right) - bounds.left;
  if (height == kWholeSize) height = int32_t(bounds.bottom) - bounds.top;
  const int64_t left = int64_t(bounds.left) + x;
  const int64_t top = int64_t(bounds.top) + y;
  pane->Scroll(SaturatedRect16(top, left, top + height, left + width), dx, dy);
  if (moveControls) pane->MoveChildren(dx, dy);
}
