// Mnemonics, window shortcuts, default buttons, key characters and the key
// pre-translation.
#include "ui/WindowKeys.h"

#include <algorithm>
#include <utility>

#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/string.h"
#include "host/application.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/WindowPane.h"
#include "ui/runctl.h"
#include "ui/win32windows.h"

namespace {

constexpr uint32_t kKeypadEnter = 0x97;
constexpr LPARAM kAltBit = LPARAM(1) << 29;
constexpr LPARAM kExtendedKeyBit = LPARAM(1) << 24;
constexpr char kAltPrefix[] = "Alt+";

std::vector<WindowShortcut> shortcuts;
MenuShortcutHook menuShortcutHook = nullptr;

uint32_t UpperCodePoint(uint32_t codePoint) {
  if (codePoint > 0xFFFF) return codePoint;
  wchar_t unit = wchar_t(codePoint);
  CharUpperBuffW(&unit, 1);
  return unit;
}

std::string UpperUTF8(const std::string& text) {
  std::u16string units = encoding::UTF8ToUTF16(reinterpret_cast<const uint8_t*>(text.data()),
                                               text.size());
  std::wstring wide(units.begin(), units.end());
  if (!wide.empty()) CharUpperBuffW(&wide[0], DWORD(wide.size()));
  return encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

// "Alt+" and the key upper-cased; empty for no key.
std::string NormalisedKey(const std::string& text) {
  std::string key = text;
  if (key.size() >= 4 && CStringCompareNoCase(key.substr(0, 4).c_str(), kAltPrefix) == 0) {
    key = key.substr(4);
  }
  if (key.empty()) return std::string();
  return kAltPrefix + UpperUTF8(key);
}

std::string KeyOfVirtualKey(uint32_t virtualKey) {
  uint32_t character = 0;
  if ((virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9')) {
    character = virtualKey;
  } else {
    character = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_CHAR) & 0x7FFF;
  }
  if (character == 0) return std::string();
  std::string utf8;
  encoding::AppendUTF8(utf8, UpperCodePoint(character));
  return kAltPrefix + utf8;
}

// The window pane's tree, depth first, the pane before its children.
void CollectPanes(SubPane* pane, std::vector<SubPane*>* out) {
  out->push_back(pane);
  for (SubPane* child : pane->Children()) CollectPanes(child, out);
}

bool InWindow(SubPane* pane, SubPane* windowPane) {
  return pane && SubPane::GetTopPane(pane) == windowPane;
}

bool IsOwnedBy(SubPane* pane, SubPane* owner) {
  for (SubPane* current = pane; current; current = current->GetOwner()) {
    if (current == owner) return true;
  }
  return false;
}

SubPane* ChooseDefaultButton(SubPane* windowPane) {
  SubPane* focus = GetFocusPane();
  if (InWindow(focus, windowPane) && focus->CanBeDefaultButton()) return focus;
  std::vector<SubPane*> panes;
  CollectPanes(windowPane, &panes);
  for (SubPane* pane : panes) {
    if (SubPane* candidate = pane->DefaultButtonCandidate()) return candidate;
  }
  return nullptr;
}

bool IsEditField(SubPane* pane) {
  std::string name = WindowClassName(pane->GetNativeHandle());
  return CStringCompareNoCase(name.c_str(), "RICHEDIT") == 0 ||
         CStringCompareNoCase(name.c_str(), "RICHEDIT20W") == 0;
}

bool FireWindowShortcut(WindowPane* windowPane, uint32_t virtualKey) {
  const std::string key = KeyOfVirtualKey(virtualKey);
  if (key.empty()) return false;
  for (const WindowShortcut& entry : std::vector<WindowShortcut>(shortcuts)) {
    if (entry.key != key) continue;
    SubPane* target = (entry.kind & 0xFFFF) == kShortcutControl
                          ? PaneOfWindow(static_cast<HWND>(const_cast<void*>(entry.target)))
                          : static_cast<SubPane*>(const_cast<void*>(entry.target));
    if (!target || !target->IsEnabled() || !InWindow(target, windowPane)) continue;
    OwnerChainLock lock(target);
    target->ActivateShortcut(entry.kind);
    return true;
  }
  return false;
}

bool PressButton(SubPane* button) {
  if (!button) return false;
  OwnerChainLock lock(button);
  button->PressButton();
  return true;
}

bool HandleEnter(WindowPane* windowPane, LPARAM lParam) {
  const bool keypad = (lParam & kExtendedKeyBit) != 0;
  SubPane* focus = GetFocusPane();
  if (!InWindow(focus, windowPane)) focus = nullptr;
  SubPane* defaultButton = ChooseDefaultButton(windowPane);
  if (focus && IsEditField(focus) && focus->IsMultiLine() && (!defaultButton || !keypad)) {
    return false;
  }
  if (keypad && focus) {
    OwnerChainLock lock(focus);
    if (focus->HandleKey(kKeypadEnter, VirtualKeyToKeyChar(kKeypadEnter, false),
                         CurrentKeyModifiers())) {
      return true;
    }
  }
  return PressButton(defaultButton);
}

bool HandleDialogKey(WindowPane* windowPane, uint32_t virtualKey, LPARAM lParam) {
  const uint32_t modifiers = CurrentKeyModifiers();
  SubPane* focus = GetFocusPane();
  if (!InWindow(focus, windowPane)) focus = nullptr;
  switch (virtualKey) {
    case VK_TAB:
      if (modifiers & kModifierControl) return false;
      if (focus && focus->GetAcceptTabs()) return false;
      return MoveFocusInWindow(windowPane, (modifiers & kModifierShift) == 0);
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      if (!focus || !focus->ArrowKeysMoveFocus()) return false;
      return MoveFocusInWindow(windowPane, virtualKey == VK_RIGHT || virtualKey == VK_DOWN);
    case VK_RETURN:
      if (focus && focus->IsListCellEditor()) return false;
      return HandleEnter(windowPane, lParam);
    case VK_ESCAPE:
      if (focus && focus->IsListCellEditor()) return false;
      return PressButton(WindowCancelButton(windowPane));
    default:
      return false;
  }
}

// The run-time pane of a window or of its nearest ancestor.
SubPane* PaneAtOrAbove(HWND window) {
  for (HWND current = window; current; current = GetParent(current)) {
    if (SubPane* pane = PaneOfWindow(current)) return pane;
  }
  return nullptr;
}

bool TranslateMDIKeys(MSG& message) {
  return IsMDIMode() && GetMDIClientWindow() &&
         TranslateMDISysAccel(GetMDIClientWindow(), &message) != FALSE;
}

}  // namespace

uint32_t CaptionMnemonicChar(const StringRecord* caption) {
  const std::u16string text = StringToStdUTF16(caption);
  uint32_t mnemonic = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'&' || i + 1 >= text.size()) continue;
    if (text[i + 1] == u'&') {
      ++i;
      continue;
    }
    uint32_t codePoint = text[i + 1];
    if (codePoint >= 0xD800 && codePoint < 0xDC00 && i + 2 < text.size() &&
        text[i + 2] >= 0xDC00 && text[i + 2] < 0xE000) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[i + 2] - 0xDC00);
    }
    mnemonic = UpperCodePoint(codePoint);
    ++i;
  }
  return mnemonic;
}

void RegisterWindowShortcut(const void* target, uint32_t kind, const std::string& keyText) {
  const std::string key = NormalisedKey(keyText);
  if (!target || key.empty()) return;
  RemoveWindowShortcut(target, kind);
  shortcuts.insert(shortcuts.begin(), WindowShortcut{target, kind, key});
}

void RegisterWindowShortcut(const void* target, uint32_t kind, const StringRecord* keyText) {
  RegisterWindowShortcut(target, kind, StringToStdUTF8(keyText));
}

void RemoveWindowShortcuts(const void* target) {
  shortcuts.erase(std::remove_if(shortcuts.begin(), shortcuts.end(),
                                 [&](const WindowShortcut& entry) { return entry.target == target; }),
                  shortcuts.end());
}

void RemoveWindowShortcut(const void* target, uint32_t kind) {
  shortcuts.erase(std::remove_if(shortcuts.begin(), shortcuts.end(),
                                 [&](const WindowShortcut& entry) {
                                   return entry.target == target && entry.kind == kind;
                                 }),
                  shortcuts.end());
}

const std::vector<WindowShortcut>& WindowShortcuts() { return shortcuts; }

SubPane* WindowUpdateDefaultButton(SubPane* windowPane) {
  auto* window = dynamic_cast<WindowPane*>(SubPane::GetTopPane(windowPane));
  if (!window) return nullptr;
  SubPane* chosen = ChooseDefaultButton(window);
  window->SetChosenDefaultButton(chosen);
  std::vector<SubPane*> panes;
  CollectPanes(window, &panes);
  for (SubPane* pane : panes) pane->SetDefaultButton(chosen);
  return chosen;
}

SubPane* WindowCancelButton(SubPane* windowPane) {
  std::vector<SubPane*> panes;
  CollectPanes(SubPane::GetTopPane(windowPane), &panes);
  for (SubPane* pane : panes) {
    if (SubPane* candidate = pane->CancelButtonCandidate()) return candidate;
  }
  return nullptr;
}

uint32_t VirtualKeyToKeyChar(uint32_t virtualKey, bool shift) {
  switch (virtualKey) {
    case VK_LEFT: return 28;
    case VK_RIGHT: return 29;
    case VK_UP: return 30;
    case VK_DOWN: return 31;
    case VK_HOME: return 1;
    case VK_END: return 4;
    case VK_PRIOR: return 11;
    case VK_NEXT: return 12;
    case VK_DELETE: return 127;
    case VK_BACK: return 8;
    case VK_TAB: return 9;
    case VK_RETURN: return 13;
    case VK_ESCAPE: return 27;
    case VK_INSERT:
    case VK_HELP: return 5;
    case kKeypadEnter: return 3;
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SEPARATOR: return ',';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    default: break;
  }
  if (virtualKey >= VK_F1 && virtualKey <= VK_F15) return 16;
  if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_NUMPAD9) return '0' + (virtualKey - VK_NUMPAD0);
  for (int character = 0x20; character < 0x7F; ++character) {
    const SHORT scan = VkKeyScanA(char(character));
    if (scan == -1) continue;
    if (uint32_t(scan & 0xFF) == virtualKey && ((scan & 0x100) != 0) == shift) {
      return uint32_t(character);
    }
  }
  return 0;
}

bool IsNavigationKey(uint32_t virtualKey) {
  switch (virtualKey) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_DELETE:
    case VK_INSERT:
    case VK_HELP:
      return true;
    default:
      return virtualKey >= VK_F1 && virtualKey <= VK_F15;
  }
}

bool MoveFocusInWindow(WindowPane* windowPane, bool forward) {
  RuntimeObject* window = windowPane ? windowPane->WindowObject() : nullptr;
  if (!window) return false;
  std::vector<SubPane*> order;
  for (RuntimeObject* control : WindowControls(window)) {
    SubPane* pane = ControlFields(control)->pane;
    if (pane && pane->CanAcceptFocus()) order.push_back(pane);
  }
  if (order.empty()) return false;
  const size_t count = order.size();
  SubPane* focus = GetFocusPane();
  size_t next = forward ? 0 : count - 1;
  for (size_t i = 0; i < count; ++i) {
    if (focus && IsOwnedBy(focus, order[i])) {
      next = forward ? (i + 1) % count : (i + count - 1) % count;
      break;
    }
  }
  SubPane* target = order[next];
  OwnerChainLock lock(target);
  target->SelectOnKeyboardFocus();
  SetFocusPane(target);
  return true;
}

MenuShortcutHook SetMenuShortcutHook(MenuShortcutHook hook) {
  return std::exchange(menuShortcutHook, hook);
}

bool PreTranslateKeyMessage(MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  SubPane* pane = PaneAtOrAbove(message.hwnd);
  WindowPane* windowPane = pane ? pane->TopWindowPane() : nullptr;
  if (!windowPane) return TranslateMDIKeys(message);
  OwnerChainLock lock(windowPane);
  const uint32_t virtualKey = uint32_t(message.wParam);
  const bool alt = (message.lParam & kAltBit) != 0;
  if (alt && FireWindowShortcut(windowPane, virtualKey)) return true;
  if (menuShortcutHook && menuShortcutHook(message)) return true;
  if (!alt && HandleDialogKey(windowPane, virtualKey, message.lParam)) return true;
  return TranslateMDIKeys(message);
}
