// The PagePanel control.
#include "controls/PagePanel.h"

#include <iterator>

#include "controls/ControlPattern.h"
#include "core/InstanceArgument.h"
#include "ui/win32windows.h"

namespace {

PagePanelFields* FieldsOf(RuntimeObject* control) { return ObjectFields<PagePanelFields>(control); }

// The fields of a page panel; nil for nil (NilObjectException raised) or for
// another class's object (reported).
PagePanelFields* Checked(RuntimeObject* control) {
  return InstanceArgument<PagePanelFields>(control, GetPagePanelClassDefinition(), "PagePanel",
                                           __LINE__, "ObjectIsADefinition(control, PagePanel)");
}

PagePanelPane* PaneOf(PagePanelFields* fields) {
  return dynamic_cast<PagePanelPane*>(fields->control.pane);
}

// A new panel has one page.
void InitialisePagePanel(RuntimeObject* control) { FieldsOf(control)->panelCount = 1; }

int32_t ClampedValue(const PagePanelFields* fields, int32_t value) {
  return value >= fields->panelCount ? fields->panelCount - 1 : value;
}

}  // namespace

ObjectDefinition* GetPagePanelClassDefinition() {
  constexpr uint32_t kField = kPropertyGenericGetter;
  static EventRecord events[] = {
      {0, "Change", "", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      {0, "Value", &kIntegerType, RUNTIME_ENTRY(PagePanelValueGetter),
       RUNTIME_ENTRY(PagePanelValueSetter), 0},
      {kField, "PanelCount", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(intSetter),
       offsetof(PagePanelFields, panelCount)},
  };
  static ControlClassDefinition definition(ControlClassTables{
      "PagePanel", sizeof(PagePanelFields), InitialisePagePanel, nullptr, PagePanelCreatePaneHook,
      events, int32_t(std::size(events)), properties, int32_t(std::size(properties)), nullptr, 0, {}});
  return definition.get();
}

PagePanelPane::PagePanelPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds)
    : PagedPane<NativePane>(parent, tabPanelIndex, bounds, nullptr, kCanvasPaneClassName, 0,
                            WS_EX_TRANSPARENT) {}

bool PagePanelPane::IsPagePanel() { return true; }

extern "C" int32_t PagePanelValueGetter(RuntimeObject* control, uint32_t) {
  PagePanelFields* fields = Checked(control);
  if (!fields) return 0;
  if (PagePanelPane* pane = PaneOf(fields)) return pane->Page() - 1;
  return fields->value;
}

extern "C" void PagePanelValueSetter(RuntimeObject* control, uint32_t, int32_t value) {
  PagePanelFields* fields = Checked(control);
  if (!fields) return;
  PagePanelPane* pane = PaneOf(fields);
  if (!pane) {
    fields->value = value;
    return;
  }
  fields->value = ClampedValue(fields, value);
  ControlCallGuard guard(pane, control);
  pane->ShowPage(fields->value + 1);
  // The focus leaving a hidden page may have run a handler that closed the
  // window.
  if (!pane->IsClosing()) CallControlHandler(control, "Change");
}

extern "C" void PagePanelCreatePaneHook(RuntimeObject* control) {
  PagePanelFields* fields = FieldsOf(control);
  RuntimeControl& common = fields->control;
  auto* pane = new PagePanelPane(ControlParentPane(control), common.tabPanelIndex, common.bounds);
  pane->ShowPage(ClampedValue(fields, fields->value) + 1);
  AdoptControlPane(control, pane);
}
