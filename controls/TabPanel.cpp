// The TabPanel control.
#include "controls/TabPanel.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "controls/ControlPattern.h"
#include "controls/Mnemonic.h"
#include "core/InstanceArgument.h"
#include "core/TextEncoding.h"
#include "core/string.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"

namespace {

// The longest tab text read back, in characters.
constexpr size_t kLongestCaption = size_t(1) << 24;

TabPanelFields* FieldsOf(RuntimeObject* control) { return ObjectFields<TabPanelFields>(control); }

// The fields of a tab panel; nil for nil (NilObjectException raised) or for
// another class's object (reported).
TabPanelFields* Checked(RuntimeObject* control) {
  return InstanceArgument<TabPanelFields>(control, GetTabPanelClassDefinition(), "TabPanel",
                                          __LINE__, "ObjectIsADefinition(control, TabPanel)");
}

TabPanelPane* PaneOf(TabPanelFields* fields) {
  return dynamic_cast<TabPanelPane*>(fields->control.pane);
}

// The caption's tabs: its lines, less the empty one after a final break (an
// empty caption makes none).
std::vector<StringRef> TabCaptions(const StringRecord* caption) {
  std::vector<StringRef> lines = SplitLines(caption);
  if (StringLength(lines.back().get()) == 0) lines.pop_back();
  return lines;
}

uint32_t PositionStyle(int32_t position) {
  switch (position) {
    case 1:
      return TCS_BOTTOM;
    case 2:
      return TCS_VERTICAL | TCS_RIGHT;
    case 3:
      return TCS_VERTICAL;
    default:
      return 0;
  }
}

// The text of tab `index` read through `message` into a buffer that grows
// until the whole text fits.
template <class Item, class Char>
std::basic_string<Char> ReadTabText(HWND window, int32_t index, UINT message) {
  std::vector<Char> buffer(256);
  for (;;) {
    buffer[0] = 0;
    Item item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer.data();
    item.cchTextMax = int(buffer.size());
    if (!SendMessageW(window, message, WPARAM(index), reinterpret_cast<LPARAM>(&item))) return {};
    // The control may answer with its own copy of the text.
    if (item.pszText != buffer.data()) {
      return item.pszText ? item.pszText : std::basic_string<Char>();
    }
    const size_t length = std::find(buffer.begin(), buffer.end(), Char(0)) - buffer.begin();
    if (length + 1 < buffer.size() || buffer.size() >= kLongestCaption) {
      return std::basic_string<Char>(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 4);
  }
}

StringRecord* EmptyCaption() {
  return IsWindowsNT() ? StringFromUTF8("") : NewString("", 0, GetSystemTextEncoding());
}

// The class's listener: the events of the pane's control.
class TabPanelEvents final : public TabPanelListener {
 public:
  void TabSelected(TabPanelPane* pane) override { CallControlHandler(pane->Control(), "Change"); }
  void FocusGained(TabPanelPane* pane) override { CallControlHandler(pane->Control(), "GotFocus"); }
  void FocusLost(TabPanelPane* pane) override { CallControlHandler(pane->Control(), "LostFocus"); }
  // A press the handler takes captures the mouse for MouseDrag and MouseUp.
  bool TabMouseDown(TabPanelPane* pane, int32_t x, int32_t y, uint32_t) override {
    return RunMouseDownHandler(pane, pane->Control(), x, y);
  }
};

TabPanelEvents classEvents;

}  // namespace

ObjectDefinition* GetTabPanelClassDefinition() {
  constexpr uint32_t kField = kPropertyGenericGetter;
  static EventRecord events[] = {
      {0, "Change", "", nullptr, 0},
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseDrag", "X As Integer, Y As Integer", nullptr, 0},
      {0, "MouseUp", "X As Integer, Y As Integer", nullptr, 0},
      {0, "GotFocus", "", nullptr, 0},
      {0, "LostFocus", "", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      {kField, "Caption", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(TabPanelCaptionSetter), offsetof(TabPanelFields, caption)},
      {kField, "TabPosition", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(intSetter),
       offsetof(TabPanelFields, tabPosition)},
      {kPropertyReadOnly, "PanelCount", &kIntegerType, RUNTIME_ENTRY(TabPanelPanelCountGetter),
       nullptr, nullptr, 0},
      {0, "Value", &kIntegerType, RUNTIME_ENTRY(TabPanelValueGetter),
       RUNTIME_ENTRY(TabPanelValueSetter), 0},
  };
  static ControlClassDefinition definition(ControlClassTables{
      "TabPanel", sizeof(TabPanelFields), nullptr, TabPanelDestruct, TabPanelCreatePaneHook, events,
      int32_t(std::size(events)), properties, int32_t(std::size(properties)), nullptr, 0, {}});
  return definition.get();
}

// ---- The pane ----

TabPanelPane::TabPanelPane(TabPanelListener* listener, const FontDescriptor& font, SubPane* parent,
                           int32_t tabPanelIndex, const MacRect& bounds, int32_t position)
    : PagedPane<ControlPane>(font, parent, tabPanelIndex, bounds, nullptr, WC_TABCONTROLA,
                             WS_CLIPCHILDREN | PositionStyle(position), 0),
      listener_(listener) {
  SetPage(0);
}

void TabPanelPane::SetTabCaption(int32_t index, const StringRecord* caption) {
  if (index >= 0 && index < TabPanelPaneTabCount(this)) WriteTab(index, caption, false);
}

void TabPanelPane::WriteTab(int32_t index, const StringRecord* caption, bool insert) {
  HWND window = NativeWindow();
  if (!window) return;
  if (IsWindowsNT()) {
    std::wstring text = StringToWide(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(window, insert ? TCM_INSERTITEMW : TCM_SETITEMW, WPARAM(index),
                 reinterpret_cast<LPARAM>(&item));
  } else {
    StringRef converted = StringRef::Adopt(StringToSystemEncoding(caption));
    std::string text(reinterpret_cast<const char*>(StringData(converted.get())),
                     StringLength(converted.get()));
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageA(window, insert ? TCM_INSERTITEMA : TCM_SETITEMA, WPARAM(index),
                 reinterpret_cast<LPARAM>(&item));
  }
  SetMnemonicShortcut(this, (uint32_t(index) << 16) | kShortcutTab, caption);
}

StringRecord* TabPanelPane::GetTabCaption(int32_t index) {
  HWND window = NativeWindow();
  if (!window || index < 0 || index >= TabPanelPaneTabCount(this)) return EmptyCaption();
  if (IsWindowsNT()) {
    const std::wstring text = ReadTabText<TCITEMW, wchar_t>(window, index, TCM_GETITEMW);
    return StringFromUTF8(
        encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(text.data()), text.size()));
  }
  const std::string text = ReadTabText<TCITEMA, char>(window, index, TCM_GETITEMA);
  return NewString(text, GetSystemTextEncoding());
}

void TabPanelPane::RemoveTabsFrom(int32_t first) {
  HWND window = NativeWindow();
  if (!window || first < 0) return;
  const int32_t selected = TabPanelPaneGetSelectedTab(this);
  for (int32_t index = TabPanelPaneTabCount(this) - 1; index >= first; --index) {
    SendMessageW(window, TCM_DELETEITEM, WPARAM(index), 0);
    RemoveWindowShortcut(this, (uint32_t(index) << 16) | kShortcutTab);
  }
  SelectQuietly(std::min(selected, first));
}

void TabPanelPane::SelectQuietly(int32_t n) {
  if (HWND window = NativeWindow()) SendMessageW(window, TCM_SETCURSEL, WPARAM(n - 1), 0);
  SetPage(TabPanelPaneGetSelectedTab(this));
}

void TabPanelPane::SelectionChanged() {
  SetPage(TabPanelPaneGetSelectedTab(this));
  if (listener_ && !IsClosing()) listener_->TabSelected(this);
}

bool TabPanelPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  ControlCallGuard guard(this, control_);
  if (listener_ && listener_->TabMouseDown(this, x, y, modifiers)) return true;
  // A handler that closed the window has used the press.
  if (IsClosing()) return true;
  if (SubPane::MouseDown(x, y, modifiers)) return true;
  return ControlPaneForwardMouseDown(this, x, y, modifiers);
}

void TabPanelPane::MouseDrag(int32_t x, int32_t y, uint32_t) {
  RunMouseHandler(this, control_, "MouseDrag", x, y);
}

void TabPanelPane::MouseUp(int32_t x, int32_t y, uint32_t) {
  RunMouseHandler(this, control_, "MouseUp", x, y);
}

void TabPanelPane::TakeFocus() {
  ControlCallGuard guard(this, control_);
  ControlPane::TakeFocus();
  if (listener_ && !IsClosing()) listener_->FocusGained(this);
}

void TabPanelPane::LoseFocus() {
  ControlCallGuard guard(this, control_);
  if (listener_ && !IsClosing()) listener_->FocusLost(this);
}

bool TabPanelPane::ArrowKeysMoveFocus() { return false; }

void TabPanelPane::ActivateShortcut(uint32_t kind) {
  if ((kind & 0xFFFF) != kShortcutTab) {
    ControlPane::ActivateShortcut(kind);
    return;
  }
  TabPanelPaneSetSelectedTab(this, int32_t(kind >> 16) + 1);
}

bool TabPanelPane::IsTabPanel() { return true; }

bool TabPanelPane::ControlNotification(int32_t code, UINT, WPARAM, LPARAM) {
  if (code != int32_t(TCN_SELCHANGE)) return false;
  ControlCallGuard guard(this, control_);
  SelectionChanged();
  return true;
}

LRESULT TabPanelPane::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  ControlCallGuard guard(this, control_);
  return ControlPaneHandleMessage(this, message, wParam, lParam);
}

void TabPanelPane::Close() {
  // The control may go before the pane: a closing pane raises nothing.
  control_ = nullptr;
  ControlPane::Close();
}

TabPanelPane* CreateTabPanelPane(TabPanelListener* listener, const FontDescriptor& font,
                                 SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                                 int32_t position) {
  return new TabPanelPane(listener, font, parent, tabPanelIndex, bounds, position);
}

int32_t TabPanelPaneGetSelectedTab(TabPanelPane* pane) {
  HWND window = pane->NativeWindow();
  return window ? int32_t(SendMessageW(window, TCM_GETCURSEL, 0, 0)) + 1 : 0;
}

void TabPanelPaneSetSelectedTab(TabPanelPane* pane, int32_t n) {
  ControlCallGuard guard(pane, pane->Control());
  if (HWND window = pane->NativeWindow()) SendMessageW(window, TCM_SETCURSEL, WPARAM(n - 1), 0);
  pane->SelectionChanged();
}

int32_t TabPanelPaneTabCount(TabPanelPane* pane) {
  HWND window = pane->NativeWindow();
  return window ? int32_t(SendMessageW(window, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

void TabPanelPaneAppendTab(TabPanelPane* pane, const StringRecord* caption) {
  pane->WriteTab(TabPanelPaneTabCount(pane), caption, true);
}

// ---- Entry points ----

extern "C" void TabPanelCreatePaneHook(RuntimeObject* control) {
  TabPanelFields* fields = FieldsOf(control);
  RuntimeControl& common = fields->control;
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&DefaultTextStyle()));
  TabPanelPane* pane = CreateTabPanelPane(&classEvents, font.get(), ControlParentPane(control),
                                          common.tabPanelIndex, common.bounds, fields->tabPosition);
  AdoptControlPane(control, pane);
  for (const StringRef& line : TabCaptions(fields->caption)) {
    TabPanelPaneAppendTab(pane, line.get());
  }
  const int32_t count = TabPanelPaneTabCount(pane);
  if (count > 0) pane->SelectQuietly(std::clamp(fields->value, 0, count - 1) + 1);
  pane->SetControl(control);
}

extern "C" void TabPanelDestruct(RuntimeObject* control) {
  RuntimeUnlockString(std::exchange(FieldsOf(control)->caption, nullptr));
}

extern "C" void TabPanelCaptionSetter(RuntimeObject* control, uint32_t, StringRecord* caption) {
  TabPanelFields* fields = Checked(control);
  if (!fields) return;
  StringAssign(&fields->caption, caption);
  TabPanelPane* pane = PaneOf(fields);
  if (!pane) return;
  const std::vector<StringRef> lines = TabCaptions(caption);
  const int32_t existing = TabPanelPaneTabCount(pane);
  for (size_t k = 0; k < lines.size(); ++k) {
    if (int32_t(k) < existing) {
      pane->SetTabCaption(int32_t(k), lines[k].get());
    } else {
      TabPanelPaneAppendTab(pane, lines[k].get());
    }
  }
  pane->RemoveTabsFrom(int32_t(lines.size()));
  if (existing == 0 && !lines.empty()) pane->SelectQuietly(1);
}

extern "C" int32_t TabPanelPanelCountGetter(RuntimeObject* control, uint32_t) {
  TabPanelFields* fields = Checked(control);
  if (!fields) return 0;
  if (TabPanelPane* pane = PaneOf(fields)) return TabPanelPaneTabCount(pane);
  return int32_t(TabCaptions(fields->caption).size());
}

extern "C" int32_t TabPanelValueGetter(RuntimeObject* control, uint32_t) {
  TabPanelFields* fields = Checked(control);
  if (!fields) return 0;
  if (TabPanelPane* pane = PaneOf(fields)) return TabPanelPaneGetSelectedTab(pane) - 1;
  return fields->value;
}

extern "C" void TabPanelValueSetter(RuntimeObject* control, uint32_t, int32_t value) {
  TabPanelFields* fields = Checked(control);
  if (!fields) return;
  TabPanelPane* pane = PaneOf(fields);
  const int32_t count = pane ? TabPanelPaneTabCount(pane) : 0;
  if (pane && count > 0) value = std::clamp(value, 0, count - 1);
  fields->value = value;
  if (pane && count > 0) TabPanelPaneSetSelectedTab(pane, value + 1);
}
