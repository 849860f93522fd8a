// The drag loop keeps the target under the cursor locked (with its owners)
// while it is the target, so a target whose window closes during the drag
// stays valid until it is let go.
#include "ui/DragItem.h"

#include <windows.h>

#include <cstddef>
#include <iterator>

#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "ui/RuntimeWindow.h"
#include "ui/SubPane.h"
#include "ui/WinUtil.h"
#include "ui/WindowPane.h"
#include "ui/win32windows.h"

namespace {

DragItemFields* FieldsOf(RuntimeObject* item) { return ObjectFields<DragItemFields>(item); }

WindowPane* WindowPaneAt(HWND window) {
  for (HWND at = window; at; at = GetParent(at)) {
    if (SubPane* pane = PaneOfWindow(at)) return pane->TopWindowPane();
  }
  return nullptr;
}

// The XOR outline of the item at a screen point, drawn and erased alike.
class DragOutline {
 public:
  DragOutline(const RECT& screenRect, POINT cursor)
      : size_{screenRect.right - screenRect.left, screenRect.bottom - screenRect.top},
        offset_{screenRect.left - cursor.x, screenRect.top - cursor.y} {}
  ~DragOutline() { Erase(); }
  DragOutline(const DragOutline&) = delete;
  DragOutline& operator=(const DragOutline&) = delete;

  void MoveTo(POINT cursor) {
    Erase();
    shown_ = RECT{cursor.x + offset_.x, cursor.y + offset_.y, cursor.x + offset_.x + size_.x,
                  cursor.y + offset_.y + size_.y};
    visible_ = size_.x > 0 && size_.y > 0;
    if (visible_) Draw();
  }

 private:
  void Draw() {
    HDC screen = GetDC(nullptr);
    DrawFocusRect(screen, &shown_);
    ReleaseDC(nullptr, screen);
  }
  void Erase() {
    if (visible_) Draw();
    visible_ = false;
  }

  POINT size_;
  POINT offset_;
  RECT shown_{};
  bool visible_ = false;
};

class DragSession {
 public:
  DragSession(RuntimeObject* item, HWND captureWindow)
      : item_(ObjectRef::Retain(item)), captureWindow_(captureWindow) {}
  ~DragSession() { SetTarget(nullptr); }
  DragSession(const DragSession&) = delete;
  DragSession& operator=(const DragSession&) = delete;

  void Track(POINT screen) {
    WindowPane* windowPane = WindowPaneAt(WindowFromPoint(screen));
    SubPane* target = nullptr;
    POINT client = screen;
    if (windowPane && windowPane->NativeWindow()) {
      ScreenToClient(windowPane->NativeWindow(), &client);
      OwnerChainLock lock(windowPane);
      target = windowPane->FindDropTarget(client.x, client.y, item_.get());
    }
    if (target != target_) {
      if (target_) target_->DragExit(item_.get());
      SetTarget(target);
    }
    if (target_)
      target_->TrackDrag(client.x - target_->Left(), client.y - target_->Top(), item_.get());
  }

  void Drop() {
    if (target_)
      target_->NotifyDelegate(kDragDropNotification,
                              int32_t(reinterpret_cast<intptr_t>(item_.get())));
  }

  void Cancel() {
    if (target_) target_->DragExit(item_.get());
  }

  // Runs the loop until the release, a cancel or the end of the application.
  void Run() {
    POINT cursor{};
    GetCursorPos(&cursor);
    DragOutline outline(ItemScreenRect(), cursor);
    outline.MoveTo(cursor);
    Track(cursor);
    MSG message{};
    while (true) {
      if (GetCapture() != captureWindow_) return Cancel();
      if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        WaitMessage();
        continue;
      }
      if (message.message == WM_QUIT) {
        PostQuitMessage(int(message.wParam));
        return Cancel();
      }
      if (message.message == WM_MOUSEMOVE) {
        GetCursorPos(&cursor);
        outline.MoveTo(cursor);
        Track(cursor);
      } else if (message.message == WM_LBUTTONUP) {
        GetCursorPos(&cursor);
        Track(cursor);
        return Drop();
      } else if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
                 message.wParam == VK_ESCAPE) {
        return Cancel();
      } else if (!IsInput(message.message)) {
        DispatchMessageW(&message);
      }
    }
  }

 private:
  static bool IsInput(UINT message) {
    return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK);
  }

  RECT ItemScreenRect() {
    DragItemFields* fields = FieldsOf(item_.get());
    POINT origin{fields->left, fields->top};
    ClientToScreen(captureWindow_, &origin);
    return RECT{origin.x, origin.y, origin.x + fields->width, origin.y + fields->height};
  }

  void SetTarget(SubPane* target) {
    SubPane::UnlockOwnerChain(&targetChain_);
    targetChain_.clear();
    target_ = target;
    if (target_) target_->LockOwnerChain(&targetChain_);
    FieldsOf(item_.get())->lastTarget = target_;
  }

  ObjectRef item_;
  HWND captureWindow_;
  SubPane* target_ = nullptr;
  OwnerChain targetChain_;
};

// The run-time window under the cursor (the source's), else the frontmost.
HWND CaptureWindowForDrag() {
  POINT cursor{};
  GetCursorPos(&cursor);
  if (WindowPane* pane = WindowPaneAt(WindowFromPoint(cursor)); pane && pane->NativeWindow()) {
    return pane->NativeWindow();
  }
  return FrontmostWindowHandle();
}

}  // namespace

ObjectDefinition* GetDragItemClassDefinition() {
  constexpr uint32_t kField = kPropertyPassesParameter;
  static const PropertyRecord properties[] = {
      {kField, "Left", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(intSetter),
       offsetof(DragItemFields, left)},
      {kField, "Top", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(intSetter),
       offsetof(DragItemFields, top)},
      {kField, "Width", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(intSetter),
       offsetof(DragItemFields, width)},
      {kField, "Height", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(intSetter),
       offsetof(DragItemFields, height)},
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "DragItem");
    definition.instanceSize = sizeof(DragItemFields);
    BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
    return &definition;
  }();
  return made;
}

void RegisterDragItemClass() { RegisterIntrinsicClass(GetDragItemClassDefinition()); }

RuntimeObject* NewDragItem(int32_t x, int32_t y, int32_t width, int32_t height) {
  RuntimeObject* item = CreateInstance(GetDragItemClassDefinition());
  DragItemFields* fields = FieldsOf(item);
  fields->left = x;
  fields->top = y;
  fields->width = width;
  fields->height = height;
  return item;
}

void DragItemDrag(RuntimeObject* item) {
  if (!item || !ObjectIsADefinition(item, GetDragItemClassDefinition())) return;
  if (!IsMouseButtonDown()) return;
  HWND captureWindow = CaptureWindowForDrag();
  if (!captureWindow) return;
  SetCapture(captureWindow);
  {
    DragSession session(item, captureWindow);
    session.Run();
  }
  if (GetCapture() == captureWindow) ReleaseCapture();
}
