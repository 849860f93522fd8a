// The GroupBox control.
#include "controls/GroupBox.h"

#include <iterator>
#include <utility>

#include "controls/ControlPattern.h"
#include "core/InstanceArgument.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"

namespace {

GroupBoxFields* FieldsOf(RuntimeObject* control) { return ObjectFields<GroupBoxFields>(control); }

// The fields of a group box for the Caption accessors: a nil object is
// reported at the accessor's line, another class's object as any instance
// argument is.
GroupBoxFields* CheckedAt(RuntimeObject* control, int32_t line) {
  if (!control) {
    AssertionFailed(131, 4, "GroupBox", line, "ctl", nullptr);
    return nullptr;
  }
  return InstanceArgument<GroupBoxFields>(control, GetGroupBoxClassDefinition(), "GroupBox", line,
                                          "ObjectIsADefinition(ctl, GroupBox)");
}

GroupBoxPane* PaneOf(GroupBoxFields* fields) {
  return dynamic_cast<GroupBoxPane*>(fields->control.pane);
}

void InitialiseGroupBox(RuntimeObject* control) {
  TextStyle& style = FieldsOf(control)->textStyle;
  style = DefaultTextStyle();
  style.font = StringAddRef(style.font);
}

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(group, GroupBoxFields, textStyle)

ObjectDefinition* GetGroupBoxClassDefinition() {
  static EventRecord events[] = {
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseDrag", "X As Integer, Y As Integer", nullptr, 0},
      {0, "MouseUp", "X As Integer, Y As Integer", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      {0, "Caption", &kStringType, RUNTIME_ENTRY(groupCaptionGetter),
       RUNTIME_ENTRY(groupCaptionSetter), 0},
      RUNTIME_TEXT_STYLE_PROPERTIES(group),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "GroupBox", sizeof(GroupBoxFields), InitialiseGroupBox, GroupBoxDestruct,
      GroupBoxCreatePane, events, int32_t(std::size(events)), properties,
      int32_t(std::size(properties)), nullptr, 0, {}});
  return definition.get();
}

void InitGroupBoxClass() { RegisterIntrinsicClass(GetGroupBoxClassDefinition()); }

// ---- The pane ----

GroupBoxPane::GroupBoxPane(SubPane* parentPane, int32_t tabPanelIndex, const MacRect& bounds,
                           const StringRecord* caption, const FontDescriptor& font)
    : ControlPane(font, parentPane, tabPanelIndex, bounds, caption, "BUTTON", BS_GROUPBOX, 0) {}

StringRecord* GroupBoxPane::GetCaption() { return ControlPaneGetText(this); }

void GroupBoxPane::SetCaption(const StringRecord* caption) { ControlPaneSetText(this, caption); }

void GroupBoxPane::SetTextFont(const FontDescriptor& font) { ControlPaneSetFont(this, font); }

bool GroupBoxPane::MouseDown(int32_t x, int32_t y, uint32_t modifiers) {
  return SubPane::MouseDown(x, y, modifiers) || RunMouseDownHandler(this, control_, x, y);
}

void GroupBoxPane::MouseDrag(int32_t x, int32_t y, uint32_t) {
  RunMouseHandler(this, control_, "MouseDrag", x, y);
}

void GroupBoxPane::MouseUp(int32_t x, int32_t y, uint32_t) {
  RunMouseHandler(this, control_, "MouseUp", x, y);
}

bool GroupBoxPane::CanAcceptFocus() { return false; }

void GroupBoxPane::SetBounds(const MacRect& rect, bool redraw) {
  const MacRect old = Bounds();
  ControlPane::SetBounds(rect, redraw);
  if (redraw) RedrawWholeAfterResize(this, old);
}

LRESULT GroupBoxPane::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND parent = GetParent(window);
  if (message != WM_ERASEBKGND || !parent) {
    return ControlPane::HandleMessage(window, message, wParam, lParam);
  }
  HDC dc = reinterpret_cast<HDC>(wParam);
  POINT offset{0, 0};
  MapWindowPoints(window, parent, &offset, 1);
  POINT origin{};
  OffsetWindowOrgEx(dc, offset.x, offset.y, &origin);
  SendMessageAuto(parent, WM_ERASEBKGND, wParam, 0);
  SendMessageAuto(parent, WM_PRINTCLIENT, wParam, PRF_CLIENT);
  SetWindowOrgEx(dc, origin.x, origin.y, nullptr);
  return 1;
}

void GroupBoxPane::Close() {
  // The control may go before the pane: a closing pane raises nothing.
  control_ = nullptr;
  ControlPane::Close();
}

GroupBoxPane* CreateGroupBoxPane(SubPane* parentPane, int32_t tabPanelIndex,
                                 const MacRect& bounds, const StringRecord* caption,
                                 const FontDescriptor& font) {
  return new GroupBoxPane(parentPane, tabPanelIndex, bounds, caption, font);
}

// ---- Entry points ----

extern "C" void GroupBoxCreatePane(RuntimeObject* control) {
  GroupBoxFields* fields = FieldsOf(control);
  RuntimeControl& common = fields->control;
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&fields->textStyle));
  GroupBoxPane* pane = CreateGroupBoxPane(ControlParentPane(control), common.tabPanelIndex,
                                          common.bounds, fields->caption, font.get());
  AdoptControlPane(control, pane);
  pane->SetControl(control);
}

extern "C" void GroupBoxDestruct(RuntimeObject* control) {
  GroupBoxFields* fields = FieldsOf(control);
  RuntimeUnlockString(std::exchange(fields->textStyle.font, nullptr));
  RuntimeUnlockString(std::exchange(fields->caption, nullptr));
}

extern "C" StringRecord* groupCaptionGetter(RuntimeObject* control, uint32_t) {
  GroupBoxFields* fields = CheckedAt(control, 326);
  return fields ? StringAddRef(fields->caption) : nullptr;
}

extern "C" void groupCaptionSetter(RuntimeObject* control, uint32_t, StringRecord* caption) {
  GroupBoxFields* fields = CheckedAt(control, 336);
  if (!fields) return;
  StringAssign(&fields->caption, caption);
  if (GroupBoxPane* pane = PaneOf(fields)) pane->SetCaption(caption);
}
