// The window classes, their procedure, the control subclass procedure, the
// shared routing, painting and the MDI frame.
#include "ui/win32windows.h"

#include <windowsx.h>

#include <cstring>
#include <cwchar>
#include <map>
#include <utility>

#include "core/SmartRef.h"
#include "core/string.h"
#include "host/runtimemainloop.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeCursor.h"
#include "ui/SubPane.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"
#include "ui/WindowSystem.h"

const char kWindowClassName[] = "KVWindow";
const char kPaneClassName[] = "KV_Pane";
const char kCanvasPaneClassName[] = "KV_CanvasPane";
const wchar_t kInstanceProperty[] = L"KVInstance";

namespace {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
// Ids of MDI children start here, clear of menu command ids.
constexpr UINT kFirstMDIChildId = 0xFF00;
// A frame's user data before its client exists.
constexpr LONG_PTR kFrameWithoutClient = -1;
// The creation parameter that marks the MDI frame.
char frameMarker;

ATOM classAtoms[3] = {};
MenuMessageHook menuMessageHook = nullptr;

// A pending high surrogate (W line) or lead byte (A line) of WM_CHAR.
wchar_t pendingHighSurrogate = 0;
uint8_t pendingLeadByte = 0;

bool IsNonClientMouse(UINT message) {
  return message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK;
}

bool UsesScreenPoint(UINT message) {
  return IsNonClientMouse(message) || message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL;
}

bool IsRightPress(UINT message) {
  return message == WM_RBUTTONDOWN || message == WM_RBUTTONDBLCLK ||
         message == WM_NCRBUTTONDOWN || message == WM_NCRBUTTONDBLCLK;
}

// ---- The frame ----

LONG_PTR FrameData(HWND window) { return GetWindowLongAuto(window, GWLP_USERDATA); }

bool IsFrame(HWND window) {
  return window && GetClassLongPtrW(window, GCW_ATOM) == classAtoms[0] && FrameData(window) != 0;
}

HWND FrameClient(HWND window) {
  LONG_PTR data = FrameData(window);
  return data == kFrameWithoutClient ? nullptr : reinterpret_cast<HWND>(data);
}

bool AskMenuLayer(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  return menuMessageHook && menuMessageHook(window, message, wParam, lParam, result);
}

LRESULT FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      CLIENTCREATESTRUCT clientCreation{nullptr, kFirstMDIChildId};
      HWND client = CreateWindowAuto(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                                     WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE | WS_VSCROLL |
                                         WS_HSCROLL,
                                     0, 0, 0, 0, window, nullptr, &clientCreation);
      if (!client) return -1;
      SetWindowLongAuto(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(client));
      return 0;
    }
    case WM_CLOSE:
      // The application decides: the exit steps destroy the frame.
      RuntimeRequestQuit();
      return 0;
    case WM_COMMAND:
    case WM_INITMENU: {
      LRESULT result = 0;
      if ((message == WM_INITMENU || lParam == 0) &&
          AskMenuLayer(window, message, wParam, lParam, &result)) {
        return result;
      }
      break;
    }
    default:
      break;
  }
  return DefaultWindowProcedure(window, message, wParam, lParam);
}

// ---- Routing ----

void* CreationParameter(LPARAM lParam) {
  auto* creation = reinterpret_cast<CREATESTRUCTW*>(lParam);
  if (!creation) return nullptr;
  if (creation->dwExStyle & WS_EX_MDICHILD) {
    auto* mdi = static_cast<MDICREATESTRUCTW*>(creation->lpCreateParams);
    return mdi ? reinterpret_cast<void*>(mdi->lParam) : nullptr;
  }
  return creation->lpCreateParams;
}

void AttachOnCreate(HWND window, LPARAM lParam) {
  void* parameter = CreationParameter(lParam);
  if (parameter == &frameMarker) {
    SetWindowLongAuto(window, GWLP_USERDATA, kFrameWithoutClient);
  } else if (parameter) {
    auto* pane = static_cast<SubPane*>(parameter);
    SetWindowLongAuto(window, 0, reinterpret_cast<LONG_PTR>(pane));
    AttachPaneWindow(pane, window);
  }
}

SubPane* PaneInExtraBytes(HWND window) {
  return reinterpret_cast<SubPane*>(GetWindowLongAuto(window, 0));
}

bool NotifyChild(HWND child, HWND receiver, int32_t code, UINT message, WPARAM wParam,
                 LPARAM lParam) {
  if (!child || child == receiver) return false;
  SubPane* pane = PaneOfControlWindow(child);
  if (!pane) return false;
  OwnerChainLock lock(pane);
  return pane->ControlNotification(code, message, wParam, lParam);
}

// Forwards a child control's notification to the child's pane, and menu
// messages to the menu layer; true (with the result) when one of them used it.
bool RouteNotification(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  *result = 0;
  switch (message) {
    case WM_COMMAND:
      if (lParam == 0) return AskMenuLayer(window, message, wParam, lParam, result);
      return NotifyChild(reinterpret_cast<HWND>(lParam), window, HIWORD(wParam), message, wParam,
                         lParam);
    case WM_INITMENU:
      return AskMenuLayer(window, message, wParam, lParam, result);
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (!header || header->hwndFrom == window) return false;
      SubPane* pane = PaneOfControlWindow(header->hwndFrom);
      if (!pane) return false;
      OwnerChainLock lock(pane);
      return pane->HandleNotify(header, result);
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (!item || item->CtlType == ODT_MENU) return false;
      if (!NotifyChild(item->hwndItem, window, int32_t(item->itemAction), message, wParam, lParam)) {
        return false;
      }
      *result = TRUE;
      return true;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      return NotifyChild(reinterpret_cast<HWND>(lParam), window, LOWORD(wParam), message, wParam,
                         lParam);
    default:
      return false;
  }
}

LRESULT RoutedMessage(SubPane* pane, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  OwnerChainLock lock(pane);
  LRESULT result = 0;
  if (!RouteNotification(window, message, wParam, lParam, &result)) {
    result = pane->HandleMessage(window, message, wParam, lParam);
  }
  return result;
}

LRESULT CALLBACK PaneWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) AttachOnCreate(window, lParam);
  if (IsFrame(window)) return FrameProcedure(window, message, wParam, lParam);
  SubPane* pane = PaneInExtraBytes(window);
  if (!pane) return DefaultWindowProcedure(window, message, wParam, lParam);
  const LRESULT result = RoutedMessage(pane, window, message, wParam, lParam);
  if (message == WM_NCDESTROY && PaneInExtraBytes(window) == pane) {
    SetWindowLongAuto(window, 0, 0);
    if (pane->NativeWindow() == window) ForgetPaneWindow(pane);
  }
  return result;
}

// ---- Keys and characters ----

// The code point of a WM_CHAR, or 0 while half a character is pending.
uint32_t CharacterOfMessage(WPARAM wParam) {
  if (IsWindowsNT()) {
    const wchar_t unit = wchar_t(wParam);
    if (unit >= 0xD800 && unit < 0xDC00) {
      pendingHighSurrogate = unit;
      return 0;
    }
    const wchar_t high = std::exchange(pendingHighSurrogate, wchar_t(0));
    if (unit >= 0xDC00 && unit < 0xE000) {
      return high ? 0x10000 + ((uint32_t(high) - 0xD800) << 10) + (uint32_t(unit) - 0xDC00)
                  : 0xFFFD;
    }
    return unit;
  }
  const uint8_t byte = uint8_t(wParam);
  const UINT codePage = SystemEncodingCodePage();
  char bytes[2];
  int count = 0;
  if (pendingLeadByte) {
    bytes[count++] = char(std::exchange(pendingLeadByte, uint8_t(0)));
  } else if (IsDBCSLeadByteEx(codePage, byte)) {
    pendingLeadByte = byte;
    return 0;
  }
  bytes[count++] = char(byte);
  wchar_t units[2] = {};
  return MultiByteToWideChar(codePage, 0, bytes, count, units, 2) > 0 ? units[0] : 0xFFFD;
}

template <class Offer>
bool OfferAlongOwners(SubPane* pane, Offer offer) {
  for (SubPane* current = pane; current;) {
    OwnerChainLock lock(current);
    if (offer(current)) return true;
    if (!current->KeyToOwner()) return false;
    current = current->GetOwner();
  }
  return false;
}

bool DeliverCharacter(SubPane* pane, WPARAM wParam) {
  const uint32_t codePoint = CharacterOfMessage(wParam);
  if (codePoint == 0) return true;
  const uint32_t modifiers = CurrentKeyModifiers();
  return OfferAlongOwners(
      pane, [&](SubPane* current) { return current->CharacterEntry(codePoint, modifiers); });
}

bool DeliverNavigationKey(SubPane* pane, WPARAM wParam) {
  const uint32_t virtualKey = uint32_t(wParam);
  if (!IsNavigationKey(virtualKey)) return false;
  const uint32_t modifiers = CurrentKeyModifiers();
  const uint32_t keyChar = VirtualKeyToKeyChar(virtualKey, (modifiers & kModifierShift) != 0);
  return OfferAlongOwners(pane, [&](SubPane* current) {
    return current->HandleKey(virtualKey, keyChar, modifiers);
  });
}

HWND TopWindowOf(SubPane* pane, HWND fallback) {
  SubPane* top = SubPane::GetTopPane(pane);
  return top && top->NativeWindow() ? top->NativeWindow() : fallback;
}

template <class WindowClass, class Char>
ATOM RegisterOneClass(HINSTANCE instance, const Char* name, bool withIcon,
                      ATOM(WINAPI* registerClass)(const WindowClass*),
                      BOOL(WINAPI* classInfo)(HINSTANCE, const Char*, WindowClass*)) {
  WindowClass windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = PaneWindowProcedure;
  windowClass.cbWndExtra = sizeof(LONG_PTR);
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = withIcon ? LoadIconW(nullptr, IDI_APPLICATION) : nullptr;
  windowClass.lpszClassName = name;
  if (ATOM atom = registerClass(&windowClass)) return atom;
  // Registered already (start-up ran before in this process).
  WindowClass existing{};
  existing.cbSize = sizeof existing;
  return ATOM(classInfo(instance, name, &existing));
}

ATOM RegisterRunTimeClass(HINSTANCE instance, const char* name, bool withIcon) {
  if (IsWindowsNT()) {
    const std::wstring wideName(name, name + std::strlen(name));
    return RegisterOneClass<WNDCLASSEXW>(instance, wideName.c_str(), withIcon, RegisterClassExW,
                                         GetClassInfoExW);
  }
  return RegisterOneClass<WNDCLASSEXA>(instance, name, withIcon, RegisterClassExA,
                                       GetClassInfoExA);
}

}  // namespace

bool RegisterWindowClasses(HINSTANCE instance) {
  classAtoms[0] = RegisterRunTimeClass(instance, kWindowClassName, true);
  classAtoms[1] = RegisterRunTimeClass(instance, kPaneClassName, false);
  classAtoms[2] = RegisterRunTimeClass(instance, kCanvasPaneClassName, false);
  return classAtoms[0] && classAtoms[1] && classAtoms[2];
}

SubPane* PaneOfControlWindow(HWND window) {
  if (!window) return nullptr;
  HANDLE tag = IsWindowsNT() ? GetPropW(window, kInstanceProperty) : GetPropA(window, "KVInstance");
  return static_cast<SubPane*>(tag);
}

bool IsRunTimePaneWindow(HWND window) {
  if (!window) return false;
  const ATOM atom = ATOM(GetClassLongPtrW(window, GCW_ATOM));
  return atom && (atom == classAtoms[0] || atom == classAtoms[1] || atom == classAtoms[2]);
}

SubPane* PaneOfWindow(HWND window) {
  if (SubPane* pane = PaneOfControlWindow(window)) return pane;
  if (!IsRunTimePaneWindow(window) || IsFrame(window)) return nullptr;
  return PaneInExtraBytes(window);
}

void DetachPaneWindowMessages(HWND window, SubPane* pane) {
  if (IsRunTimePaneWindow(window) && PaneInExtraBytes(window) == pane) {
    SetWindowLongAuto(window, 0, 0);
  }
}

LRESULT CALLBACK ControlSubclassProcedure(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  SubPane* pane = PaneOfControlWindow(window);
  if (!pane) return DefWindowProcAuto(window, message, wParam, lParam);
  const LRESULT result = RoutedMessage(pane, window, message, wParam, lParam);
  if (message == WM_NCDESTROY && pane->NativeWindow() == window) ForgetPaneWindow(pane);
  return result;
}

LRESULT PaneDefaultMessage(SubPane* pane, HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      DeliverPressToWindowPane(pane, window, message, wParam, lParam);
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (RouteCapturedMouse(window, message, wParam, lParam)) return 0;
      break;
    case WM_CAPTURECHANGED:
      CaptureChanged(window, reinterpret_cast<HWND>(lParam));
      break;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == window && LOWORD(lParam) == HTCLIENT &&
          SetCursorForPanePoint(pane, CursorPointInTopWindow(pane), IDC_ARROW)) {
        return TRUE;
      }
      break;
    case WM_PAINT:
      PaintPaneWindow(pane, window);
      return 0;
    case WM_CHAR:
      if (DeliverCharacter(pane, wParam)) return 0;
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (DeliverNavigationKey(pane, wParam)) return 0;
      break;
    case WM_SETFOCUS:
      SetFocusPane(pane->GetOwner() ? pane : nullptr);
      break;
    case WM_MOUSEWHEEL: {
      const POINT point = MessagePointInTopWindow(pane, window, message, lParam);
      if (pane->MouseWheel(point.x, point.y, GET_WHEEL_DELTA_WPARAM(wParam),
                           MouseMessageModifiers(GET_KEYSTATE_WPARAM(wParam)))) {
        return 0;
      }
      break;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
      SubPane* source = PaneOfControlWindow(reinterpret_cast<HWND>(lParam));
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(
          CachedSolidBrush((source ? source : pane)->BackgroundColor()));
    }
    case WM_SYSCOLORCHANGE:
      InitSystemColors();
      break;
    default:
      break;
  }
  return DefaultWindowProcedure(window, message, wParam, lParam);
}

LRESULT DefaultWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsFrame(window)) {
    HWND client = FrameClient(window);
    return IsWindowsNT() ? DefFrameProcW(window, client, message, wParam, lParam)
                         : DefFrameProcA(window, client, message, wParam, lParam);
  }
  if (GetWindowLongAuto(window, GWL_EXSTYLE) & WS_EX_MDICHILD) {
    return IsWindowsNT() ? DefMDIChildProcW(window, message, wParam, lParam)
                         : DefMDIChildProcA(window, message, wParam, lParam);
  }
  return DefWindowProcAuto(window, message, wParam, lParam);
}

void PaintPaneWindow(SubPane* pane, HWND window) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  if (!dc) return;
  SetWindowOrgEx(dc, pane->Left(), pane->Top(), nullptr);
  pane->paintDC_ = dc;
  MakeCurrentDrawingPane(pane);
  if (GraphicsPort* port = PaneNewGraphicsPort(pane)) {
    pane->Draw(port);
    PaneDeleteGraphicsPort(port);
  }
  ReleaseCurrentDrawingPane();
  pane->paintDC_ = nullptr;
  EndPaint(window, &paint);
}

MenuMessageHook SetMenuMessageHook(MenuMessageHook hook) {
  return std::exchange(menuMessageHook, hook);
}

HBRUSH CachedSolidBrush(COLORREF color) {
  static std::map<COLORREF, HBRUSH> brushes;
  HBRUSH& brush = brushes[color];
  if (!brush) brush = CreateSolidBrush(color);
  return brush;
}

POINT MessagePointInTopWindow(SubPane* pane, HWND window, UINT message, LPARAM lParam) {
  SubPane* top = SubPane::GetTopPane(pane);
  HWND topWindow = TopWindowOf(pane, window);
  POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  if (UsesScreenPoint(message)) {
    ScreenToClient(topWindow, &point);
  } else if (window != topWindow) {
    MapWindowPoints(window, topWindow, &point, 1);
  }
  point.x += top->Left();
  point.y += top->Top();
  return point;
}

POINT CursorPointInTopWindow(SubPane* pane) {
  SubPane* top = SubPane::GetTopPane(pane);
  POINT point{};
  GetCursorPos(&point);
  if (HWND topWindow = top->NativeWindow()) ScreenToClient(topWindow, &point);
  point.x += top->Left();
  point.y += top->Top();
  return point;
}

bool DeliverPressToWindowPane(SubPane* pane, HWND window, UINT message, WPARAM wParam,
                              LPARAM lParam) {
  SubPane* top = SubPane::GetTopPane(pane);
  const POINT point = MessagePointInTopWindow(pane, window, message, lParam);
  const uint32_t modifiers =
      IsNonClientMouse(message) ? CurrentKeyModifiers() : MouseMessageModifiers(wParam);
  OwnerChainLock lock(top);
  return IsRightPress(message) ? top->RightMouseDown(point.x, point.y, modifiers)
                               : top->MouseDown(point.x, point.y, modifiers);
}

HWND MakeMDIFrame(const wchar_t* caption, HWND* client) {
  StringRef title = StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(caption), int32_t(std::wcslen(caption))));
  HWND frame = CreateWindowAuto(0, kWindowClassName, title.get(),
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                CW_USEDEFAULT, kFrameWidth, kFrameHeight, nullptr, nullptr,
                                &frameMarker);
  if (!frame) return nullptr;
  *client = FrameClient(frame);
  ShowWindow(frame, SW_SHOW);
  UpdateWindow(frame);
  return frame;
}
