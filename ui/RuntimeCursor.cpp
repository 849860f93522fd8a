// Cursor objects and the cursor over panes.
#include "ui/RuntimeCursor.h"

#include <iterator>

#include "host/RuntimeMain.h"
#include "ui/SubPane.h"

namespace {

RuntimeObject* applicationCursor = nullptr;  // owned reference

void DestroyCursorObject(RuntimeObject* object) {
  auto* fields = reinterpret_cast<CursorFields*>(object);
  if (fields->owned && fields->handle) DestroyCursor(fields->handle);
  fields->handle = nullptr;
}

RuntimeObject* NewCursorObject(HCURSOR handle, bool owned) {
  RuntimeObject* object = CreateInstance(GetMouseCursorClassDefinition());
  auto* fields = reinterpret_cast<CursorFields*>(object);
  fields->handle = handle;
  fields->owned = owned ? 1 : 0;
  return object;
}

LPCWSTR SystemCursorId(int32_t which) {
  switch (which) {
    case kCursorArrow:
      return IDC_ARROW;
    case kCursorIBeam:
      return IDC_IBEAM;
    case kCursorCross:
      return IDC_CROSS;
    case kCursorWatch:
      return IDC_WAIT;
    default:
      return nullptr;
  }
}

}  // namespace

ObjectDefinition* GetMouseCursorClassDefinition() {
  static ObjectDefinition* definition = [] {
    static ObjectDefinition cursor;
    ObjectDefinitionSetName(&cursor, "MouseCursor");
    cursor.instanceSize = sizeof(CursorFields);
    cursor.destructor = DestroyCursorObject;
    return &cursor;
  }();
  return definition;
}

void RegisterCursorClass() { RegisterIntrinsicClass(GetMouseCursorClassDefinition()); }

extern "C" RuntimeObject* NewStandardCursor(int32_t which) {
  LPCWSTR id = SystemCursorId(which);
  HCURSOR handle = id ? LoadCursorW(nullptr, id) : nullptr;
  return handle ? NewCursorObject(handle, false) : nullptr;
}

extern "C" RuntimeObject* NewCursorFromResource(int32_t id) {
  if (id < 1 || id > 0xFFFF) return nullptr;
  // Shared: a cursor made current and its object released at once stays
  // valid while it shows.
  constexpr UINT kShared = LR_DEFAULTSIZE | LR_SHARED;
  HINSTANCE instance = RuntimeInstanceHandle() ? RuntimeInstanceHandle() : GetModuleHandleW(nullptr);
  HANDLE image = IsWindowsNT()
                     ? LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_CURSOR, 0, 0, kShared)
                     : LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_CURSOR, 0, 0, kShared);
  return image ? NewCursorObject(static_cast<HCURSOR>(image), false) : nullptr;
}

extern "C" void SetNativeCursor(RuntimeObject* cursor) {
  if (HCURSOR handle = CursorHandle(cursor)) SetCursor(handle);
}

HCURSOR CursorHandle(RuntimeObject* cursor) {
  if (!ObjectIsADefinition(cursor, GetMouseCursorClassDefinition())) return nullptr;
  return reinterpret_cast<CursorFields*>(cursor)->handle;
}

void SetApplicationCursor(RuntimeObject* cursor) {
  RuntimeLockObject(cursor);
  RuntimeUnlockObject(applicationCursor);
  applicationCursor = cursor;
  if (cursor) SetNativeCursor(cursor);
}

RuntimeObject* ApplicationCursor() { return applicationCursor; }

BOOL SetCursorForPanePoint(SubPane* pane, POINT point, LPCWSTR defaultCursor) {
  RuntimeObject* cursor = applicationCursor;
  if (!cursor && pane) cursor = pane->AdjustCursor(point.x, point.y);
  if (HCURSOR handle = CursorHandle(cursor)) {
    SetCursor(handle);
    return TRUE;
  }
  if (!defaultCursor) return FALSE;
  SetCursor(LoadCursorW(nullptr, defaultCursor));
  return TRUE;
}
