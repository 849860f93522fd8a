// Native menus are built from the installed bar and kept in step by
// position: a native menu's entries are the item's children in order.
// Commands find their item through the id map every item joins at birth.
#include "ui/Menu.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "host/application.h"
#include "host/runtimemainloop.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPane.h"
#include "ui/win32windows.h"

namespace {

struct MenuItemFields {
  RuntimeObject header;
  StringRecord* name;
  StringRecord* text;
  StringRecord* shortcut;
  uint8_t enabled;
  uint8_t autoEnable;
  uint8_t checked;
  uint8_t reserved;
  uint32_t commandId;
  std::vector<RuntimeObject*>* children;  // one reference each
};

constexpr uint32_t kFirstCommandId = 1000;
constexpr uint32_t kCommandIdLimit = 0xF000;  // system commands start here

std::map<uint32_t, RuntimeObject*> itemsById;  // borrowed: items leave at death
uint32_t nextCommandId = kFirstCommandId;
RuntimeObject* installedBar = nullptr;  // one reference

MenuItemFields* FieldsOf(RuntimeObject* item) { return ObjectFields<MenuItemFields>(item); }

bool IsMenuItem(RuntimeObject* object) {
  return object && ObjectIsADefinition(object, GetMenuItemClassDefinition());
}

uint32_t TakeCommandId() {
  for (uint32_t tried = 0; tried < kCommandIdLimit - kFirstCommandId; ++tried) {
    uint32_t id = nextCommandId++;
    if (nextCommandId >= kCommandIdLimit) nextCommandId = kFirstCommandId;
    if (!itemsById.count(id)) return id;
  }
  return 0;
}

void InitialiseMenuItem(RuntimeObject* item) {
  MenuItemFields* fields = FieldsOf(item);
  fields->enabled = 1;
  fields->children = new std::vector<RuntimeObject*>;
  fields->commandId = TakeCommandId();
  if (fields->commandId) itemsById[fields->commandId] = item;
}

void DestroyMenuItem(RuntimeObject* item) {
  MenuItemFields* fields = FieldsOf(item);
  itemsById.erase(fields->commandId);
  if (fields->children) {
    for (RuntimeObject* child : *fields->children) RuntimeUnlockObject(child);
    delete fields->children;
    fields->children = nullptr;
  }
  for (StringRecord** text : {&fields->name, &fields->text, &fields->shortcut}) {
    RuntimeUnlockString(std::exchange(*text, nullptr));
  }
}

template <class Visit>
void ForEachItem(RuntimeObject* item, const Visit& visit) {
  if (!item) return;
  visit(item);
  for (RuntimeObject* child : *FieldsOf(item)->children) ForEachItem(child, visit);
}

// ---- Native menus ----

std::wstring NativeText(RuntimeObject* item) {
  MenuItemFields* fields = FieldsOf(item);
  std::wstring text = StringToWide(fields->text);
  if (StringLength(fields->shortcut) > 0) text += L"\t" + StringToWide(fields->shortcut);
  return text;
}

UINT StateFlags(RuntimeObject* item) {
  MenuItemFields* fields = FieldsOf(item);
  return (fields->enabled ? MF_ENABLED : MF_GRAYED) | (fields->checked ? MF_CHECKED : MF_UNCHECKED);
}

HMENU BuildNativeMenu(RuntimeObject* item, bool bar) {
  HMENU menu = bar ? CreateMenu() : CreatePopupMenu();
  if (!menu) return nullptr;
  for (RuntimeObject* child : *FieldsOf(item)->children) {
    std::wstring text = NativeText(child);
    if (text == L"-") {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else if (!FieldsOf(child)->children->empty()) {
      HMENU popup = BuildNativeMenu(child, false);
      AppendMenuW(menu, MF_POPUP | StateFlags(child), reinterpret_cast<UINT_PTR>(popup),
                  text.c_str());
    } else {
      AppendMenuW(menu, MF_STRING | StateFlags(child), FieldsOf(child)->commandId, text.c_str());
    }
  }
  return menu;
}

HMENU NewNativeBar() { return installedBar ? BuildNativeMenu(installedBar, true) : nullptr; }

// The top windows that show the bar: document windows with a menu, and the
// MDI frame.
std::vector<HWND> WindowsShowingTheBar() {
  std::vector<HWND> windows;
  for (WindowPane* pane : WindowPane::LiveWindowPanes()) {
    HWND top = pane->NativeWindow();
    if (top && !pane->IsMDIChild() && GetMenu(top)) windows.push_back(top);
  }
  if (HWND frame = GetMDIFrameWindow(); frame && GetMenu(frame)) windows.push_back(frame);
  return windows;
}

void SyncNativeMenu(HMENU menu, RuntimeObject* item) {
  const std::vector<RuntimeObject*>& children = *FieldsOf(item)->children;
  const int count = GetMenuItemCount(menu);
  for (int position = 0; position < count && size_t(position) < children.size(); ++position) {
    RuntimeObject* child = children[size_t(position)];
    EnableMenuItem(menu, UINT(position), MF_BYPOSITION | (StateFlags(child) & MF_GRAYED));
    CheckMenuItem(menu, UINT(position), MF_BYPOSITION | (StateFlags(child) & MF_CHECKED));
    if (HMENU popup = GetSubMenu(menu, position)) SyncNativeMenu(popup, child);
  }
}

void SyncNativeStates() {
  if (!installedBar) return;
  for (HWND window : WindowsShowingTheBar()) {
    SyncNativeMenu(GetMenu(window), installedBar);
    DrawMenuBar(window);
  }
}

void ReplaceNativeBars() {
  for (HWND window : WindowsShowingTheBar()) {
    HMENU old = GetMenu(window);
    SetMenu(window, NewNativeBar());
    DestroyMenu(old);
  }
}

HWND MakeFrameWithMenuBar(const wchar_t* caption, HWND* client) {
  HWND frame = MakeMDIFrame(caption, client);
  if (frame) SetMenu(frame, NewNativeBar());
  return frame;
}

// ---- The enabling pass and commands ----

// The window pane a menu message or key belongs to: the pane window's, or
// the active MDI child's for the frame.
WindowPane* WindowPaneForWindow(HWND window) {
  for (HWND at = window; at; at = GetParent(at)) {
    if (SubPane* pane = PaneOfWindow(at)) return pane->TopWindowPane();
  }
  if (HWND client = GetMDIClientWindow(); client && window == GetMDIFrameWindow()) {
    auto active = reinterpret_cast<HWND>(SendMessageAuto(client, WM_MDIGETACTIVE, 0, 0));
    if (SubPane* pane = active ? PaneOfWindow(active) : nullptr) return pane->TopWindowPane();
  }
  return nullptr;
}

SubPane* CommandTarget(WindowPane* windowPane) {
  SubPane* focus = GetFocusPane();
  return focus && focus->TopWindowPane() == windowPane ? focus : windowPane;
}

void RunEnablingPass(WindowPane* windowPane) {
  if (!installedBar) return;
  ObjectRef bar = ObjectRef::Retain(installedBar);
  ForEachItem(bar.get(), [](RuntimeObject* item) {
    if (!FieldsOf(item)->autoEnable) FieldsOf(item)->enabled = 0;
  });
  if (windowPane) {
    OwnerChainLock windowLock(windowPane);
    SubPane* target = CommandTarget(windowPane);
    {
      OwnerChainLock targetLock(target);
      target->EnableMenuItems();
    }
    if (RuntimeObject* window = windowPane->WindowObject()) {
      ObjectRef keep = ObjectRef::Retain(window);
      WindowFireEnableMenuItems(window);
    }
  }
  SyncNativeStates();
}

using ActionHandler = bool (*)(RuntimeObject* item);

void FireAction(RuntimeObject* item) {
  if (EventHandler handler = FindEventHandler(item, "Action")) {
    reinterpret_cast<ActionHandler>(handler)(item);
  } else if (StringToStdUTF8(FieldsOf(item)->name) == "FileQuit") {
    RuntimeRequestQuit();
  }
}

void DispatchCommand(WindowPane* windowPane, RuntimeObject* item) {
  ObjectRef keep = ObjectRef::Retain(item);
  bool handled = false;
  if (windowPane) {
    OwnerChainLock windowLock(windowPane);
    SubPane* target = CommandTarget(windowPane);
    OwnerChainLock targetLock(target);
    handled = target->HandleMenuItem(item);
  }
  if (!handled) FireAction(item);
}

bool AnswerMenuMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
  *result = 0;
  if (message == WM_INITMENU) {
    RunEnablingPass(WindowPaneForWindow(window));
    return true;
  }
  auto found = itemsById.find(LOWORD(wParam));
  if (message != WM_COMMAND || found == itemsById.end()) return false;
  DispatchCommand(WindowPaneForWindow(window), found->second);
  return true;
}

// ---- Shortcuts ----

// "Ctrl+Shift+Alt+KEY" with the key upper-case; empty when unreadable.
std::string CanonicalShortcut(bool control, bool shift, bool alt, const std::string& key) {
  if (key.empty()) return {};
  std::string text;
  if (control) text += "Ctrl+";
  if (shift) text += "Shift+";
  if (alt) text += "Alt+";
  for (char c : key) text += char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return text;
}

std::string CanonicalShortcut(const std::string& written) {
  bool control = false, shift = false, alt = false;
  size_t start = 0;
  for (size_t plus; (plus = written.find('+', start)) != std::string::npos; start = plus + 1) {
    std::string part = written.substr(start, plus - start);
    if (CStringCompareNoCase(part.c_str(), "Ctrl") == 0 ||
        CStringCompareNoCase(part.c_str(), "Control") == 0 ||
        CStringCompareNoCase(part.c_str(), "Cmd") == 0) {
      control = true;
    } else if (CStringCompareNoCase(part.c_str(), "Shift") == 0) {
      shift = true;
    } else if (CStringCompareNoCase(part.c_str(), "Alt") == 0) {
      alt = true;
    } else {
      return {};
    }
  }
  return CanonicalShortcut(control, shift, alt, written.substr(start));
}

std::string KeyName(uint32_t virtualKey) {
  if ((virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9')) {
    return std::string(1, char(virtualKey));
  }
  if (virtualKey >= VK_F1 && virtualKey <= VK_F24)
    return "F" + std::to_string(virtualKey - VK_F1 + 1);
  return {};
}

RuntimeObject* ItemOfShortcut(const std::string& pressed) {
  RuntimeObject* match = nullptr;
  ForEachItem(installedBar, [&](RuntimeObject* item) {
    if (match || !FieldsOf(item)->children->empty()) return;
    if (CanonicalShortcut(StringToStdUTF8(FieldsOf(item)->shortcut)) == pressed) match = item;
  });
  return match;
}

bool AnswerMenuShortcut(MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  const bool alt = (message.lParam & (1 << 29)) != 0;
  const std::string pressed =
      CanonicalShortcut(GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0, alt,
                        KeyName(uint32_t(message.wParam)));
  RuntimeObject* found = pressed.empty() ? nullptr : ItemOfShortcut(pressed);
  if (!found) return false;
  ObjectRef item = ObjectRef::Retain(found);
  WindowPane* windowPane = WindowPaneForWindow(message.hwnd);
  OwnerChainLock windowLock(windowPane);
  RunEnablingPass(windowPane);
  if (!FieldsOf(item.get())->enabled) return false;
  DispatchCommand(windowPane, item.get());
  return true;
}

// ---- Class ----

void menuItemEnabledSetter(RuntimeObject* item, uint32_t, bool enabled) {
  if (!IsMenuItem(item)) return;
  FieldsOf(item)->enabled = enabled ? 1 : 0;
  SyncNativeStates();
}

void menuItemCheckedSetter(RuntimeObject* item, uint32_t, bool checked) {
  if (!IsMenuItem(item)) return;
  FieldsOf(item)->checked = checked ? 1 : 0;
  SyncNativeStates();
}

RuntimeObject* FindByName(const StringRecord* name) {
  RuntimeObject* match = nullptr;
  ForEachItem(installedBar, [&](RuntimeObject* item) {
    if (!match && StringCompareNoCase(FieldsOf(item)->name, name) == 0) match = item;
  });
  return match;
}

}  // namespace

ObjectDefinition* GetMenuItemClassDefinition() {
  constexpr uint32_t kField = kPropertyPassesParameter;
  constexpr uint32_t kFieldWithSetter = kPropertyPassesParameter | kPropertyGenericGetter;
  static EventRecord events[] = {{0, "Action", "", "Boolean", 0}};
  static const PropertyRecord properties[] = {
      {kField, "Name", &kStringType, RUNTIME_ENTRY(stringGetter), RUNTIME_ENTRY(stringSetter),
       offsetof(MenuItemFields, name)},
      {kField, "Text", &kStringType, RUNTIME_ENTRY(stringGetter), RUNTIME_ENTRY(stringSetter),
       offsetof(MenuItemFields, text)},
      {kField, "KeyboardShortcut", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(stringSetter), offsetof(MenuItemFields, shortcut)},
      {kFieldWithSetter, "Enabled", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(menuItemEnabledSetter), offsetof(MenuItemFields, enabled)},
      {kField, "AutoEnable", &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),
       offsetof(MenuItemFields, autoEnable)},
      {kFieldWithSetter, "Checked", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(menuItemCheckedSetter), offsetof(MenuItemFields, checked)},
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "MenuItem");
    definition.instanceSize = sizeof(MenuItemFields);
    definition.initialiser = InitialiseMenuItem;
    definition.destructor = DestroyMenuItem;
    BuildEventDefinitions(&definition, events, 1);
    BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
    return &definition;
  }();
  return made;
}

RuntimeObject* NewMenuItem(const char* name, const char* text, const char* shortcut) {
  RuntimeObject* item = CreateInstance(GetMenuItemClassDefinition());
  MenuItemFields* fields = FieldsOf(item);
  fields->name = StringFromUTF8(name ? name : "");
  fields->text = StringFromUTF8(text ? text : "");
  if (shortcut) fields->shortcut = StringFromUTF8(shortcut);
  return item;
}

void MenuItemAppend(RuntimeObject* parent, RuntimeObject* child) {
  if (!IsMenuItem(parent) || !IsMenuItem(child)) return;
  RuntimeLockObject(child);
  FieldsOf(parent)->children->push_back(child);
  if (installedBar) ReplaceNativeBars();
}

RuntimeObject* NewStandardMenuBar() {
  struct Entry {
    const char* name;
    const char* text;
    const char* shortcut;
  };
  static const Entry fileItems[] = {{"FileQuit", "&Quit", nullptr}};
  static const Entry editItems[] = {
      {"EditUndo", "&Undo", "Ctrl+Z"},   {"EditCut", "Cu&t", "Ctrl+X"},
      {"EditCopy", "&Copy", "Ctrl+C"},   {"EditPaste", "&Paste", "Ctrl+V"},
      {"EditClear", "&Delete", nullptr}, {"EditSelectAll", "Select &All", "Ctrl+A"},
  };
  ObjectRef bar = ObjectRef::Adopt(NewMenuItem("MenuBar", ""));
  auto addMenu = [&](const char* name, const char* text, const Entry* entries, size_t count,
                     bool autoEnable) {
    ObjectRef menu = ObjectRef::Adopt(NewMenuItem(name, text));
    FieldsOf(menu.get())->autoEnable = 1;
    for (size_t i = 0; i < count; ++i) {
      ObjectRef item =
          ObjectRef::Adopt(NewMenuItem(entries[i].name, entries[i].text, entries[i].shortcut));
      FieldsOf(item.get())->autoEnable = autoEnable ? 1 : 0;
      MenuItemAppend(menu.get(), item.get());
    }
    MenuItemAppend(bar.get(), menu.get());
  };
  addMenu("FileMenu", "&File", fileItems, std::size(fileItems), true);
  addMenu("EditMenu", "&Edit", editItems, std::size(editItems), false);
  return bar.release();
}

void InstallMenuBar(RuntimeObject* bar) {
  ObjectRef chosen =
      IsMenuItem(bar) ? ObjectRef::Retain(bar) : ObjectRef::Adopt(NewStandardMenuBar());
  ObjectRef old = ObjectRef::Adopt(std::exchange(installedBar, chosen.release()));
  ReplaceNativeBars();
}

RuntimeObject* InstalledMenuBar() { return installedBar; }

uint32_t MenuItemCommandId(RuntimeObject* item) {
  return IsMenuItem(item) ? FieldsOf(item)->commandId : 0;
}

bool MenuItemEnabled(RuntimeObject* item) { return IsMenuItem(item) && FieldsOf(item)->enabled; }

RuntimeObject* RuntimeMenuReference(const StringRecord* name) {
  RuntimeObject* item = FindByName(name);
  RuntimeLockObject(item);
  return item;
}

RuntimeObject* RuntimeMenuReference(const char* name) {
  StringRef text = StringRef::Adopt(StringFromUTF8(name ? name : ""));
  return RuntimeMenuReference(text.get());
}

void RuntimeEnableMenu(RuntimeObject* item) { menuItemEnabledSetter(item, 0, true); }

void StartMenus() {
  SetMenuMessageHook(AnswerMenuMessage);
  SetMenuShortcutHook(AnswerMenuShortcut);
  SetDocumentMenuBarHook(NewNativeBar);
  SetMakeFrameHook(MakeFrameWithMenuBar);
}

void RegisterMenuClasses() {
  RegisterIntrinsicClass(GetMenuItemClassDefinition());
  if (!installedBar) InstallMenuBar(nullptr);
}
