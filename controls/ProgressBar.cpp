// The ProgressBar control.
#include "controls/ProgressBar.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "controls/ControlPattern.h"
#include "core/InstanceArgument.h"
#include "graphics/GraphicsPort.h"
#include "ui/Theme.h"
#include "ui/WinUtil.h"
#include "ui/win32windows.h"

namespace {

constexpr int32_t kAnimationPeriod = 10;  // ticks
constexpr int32_t kStep = 8;              // pixels per block place

int32_t liveTasks = 0;

ProgressBarFields* FieldsOf(RuntimeObject* control) {
  return ObjectFields<ProgressBarFields>(control);
}

// The fields of a progress bar; nil for nil (NilObjectException raised) or
// for another class's object (reported).
ProgressBarFields* Checked(RuntimeObject* control) {
  return InstanceArgument<ProgressBarFields>(control, GetProgressBarClassDefinition(),
                                             "ProgressBar", __LINE__,
                                             "ObjectIsADefinition(control, ProgressBar)");
}

ProgressBarPane* PaneOf(ProgressBarFields* fields) {
  return dynamic_cast<ProgressBarPane*>(fields->control.pane);
}

void InitialiseProgressBar(RuntimeObject* control) { FieldsOf(control)->maximum = 100; }

void FillWithSystemColor(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom,
                         int colorIndex) {
  const RECT area{left, top, right, bottom};
  FillRect(dc, &area, GetSysColorBrush(colorIndex));
}

bool DrawThemedBar(HWND window, HDC dc, const RECT& bar, const RECT& block) {
  if (!IsWindowsXP()) return false;
  HANDLE theme = UxOpenThemeData(window, L"Progress");
  if (!theme) return false;
  UxDrawThemeBackground(theme, dc, 1, 0, &bar, nullptr);
  UxDrawThemeBackground(theme, dc, 3, 0, &block, nullptr);
  UxCloseThemeData(theme);
  return true;
}

}  // namespace

ObjectDefinition* GetProgressBarClassDefinition() {
  constexpr uint32_t kField = kPropertyGenericGetter;
  static const PropertyRecord properties[] = {
      {kField, "Value", &kIntegerType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(progressValueSetter),
       offsetof(ProgressBarFields, value)},
      {kField, "Maximum", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(progressMaximumSetter), offsetof(ProgressBarFields, maximum)},
  };
  static ControlClassDefinition definition(ControlClassTables{
      "ProgressBar", sizeof(ProgressBarFields), InitialiseProgressBar, nullptr,
      ProgressBarCreatePane, nullptr, 0, properties, int32_t(std::size(properties)), nullptr, 0, {}});
  return definition.get();
}

// ---- The overlay ----

ProgressIndeterminatePane::ProgressIndeterminatePane(ProgressBarPane* bar)
    : SubPane(bar->GetOwner(), bar->TabPanelIndex(), bar->Bounds(), nullptr, kPaneClassName, 0, 0),
      bar_(bar) {
  if (!bar->IsVisible()) BroadcastStateChange(kPaneHide);
}

ProgressIndeterminatePane::~ProgressIndeterminatePane() {
  if (bar_) bar_->overlay_ = nullptr;
}

void ProgressIndeterminatePane::Step(int32_t steps) {
  if (steps < 1) return;
  if (movingRight_) {
    if (++position_ >= steps) movingRight_ = false;
  } else if (--position_ < 0) {
    movingRight_ = true;
    position_ = 1;
  }
  // A bar of one place has no second one to bounce to, and a bar made
  // narrower keeps the block on its last place.
  position_ = std::clamp(position_, 0, steps - 1);
}

void ProgressIndeterminatePane::Draw(GraphicsPort* port) {
  if (!bar_ || !bar_->AnimationShown()) return;
  HDC dc = port->GetDC();
  if (!dc) return;
  const auto [top, left, bottom, right] = Bounds();
  const int32_t block = left + position_ * kStep;
  if (DrawThemedBar(NativeWindow(), dc, RECT{left, top, right, bottom},
                    RECT{block + 2, top + 3, block + 8, bottom - 3})) {
    return;
  }
  FillWithSystemColor(dc, left, top, right, bottom, COLOR_BTNFACE);
  FillWithSystemColor(dc, left, top, right, top + 1, COLOR_BTNSHADOW);
  FillWithSystemColor(dc, right - 1, top, right, bottom, COLOR_BTNSHADOW);
  FillWithSystemColor(dc, left, bottom - 1, right, bottom, COLOR_BTNHIGHLIGHT);
  FillWithSystemColor(dc, left, top + 1, left + 1, bottom, COLOR_BTNHIGHLIGHT);
  FillWithSystemColor(dc, block + 2, top + 2, block + 8, bottom - 2, COLOR_HIGHLIGHT);
}

// ---- The task ----

ProgressAnimationTask::ProgressAnimationTask(ProgressBarPane* bar)
    : PeriodicTask(kAnimationPeriod), bar_(bar) {
  ++liveTasks;
}

ProgressAnimationTask::~ProgressAnimationTask() { --liveTasks; }

void ProgressAnimationTask::Run() { bar_->Animate(); }

int32_t ProgressAnimationTask::LiveCount() { return liveTasks; }

// ---- The bar ----

ProgressBarPane::ProgressBarPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                                 int32_t value, int32_t maximum)
    : ControlPane(parent, tabPanelIndex, bounds, nullptr, PROGRESS_CLASSA, 0, 0) {
  ProgressBarPaneSetMaximum(this, maximum);
  ProgressBarPaneSetValue(this, value);
}

ProgressBarPane::~ProgressBarPane() {
  task_.reset();
  if (overlay_) overlay_->bar_ = nullptr;
}

void ProgressBarPane::Animate() {
  if (IsShown()) {
    animationShown_ = true;
    if (!overlay_) return;
    overlay_->Step(Width() / kStep);
    if (HWND window = overlay_->NativeWindow()) {
      RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_UPDATENOW);
    }
  } else if (animationShown_) {
    animationShown_ = false;
    Invalidate(true);
  }
}

void ProgressBarPane::SetIndeterminate(bool indeterminate) {
  if (indeterminate) {
    if (!overlay_) overlay_ = new ProgressIndeterminatePane(this);
    if (!task_) task_ = std::make_unique<ProgressAnimationTask>(this);
    return;
  }
  task_.reset();
  if (ProgressIndeterminatePane* overlay = std::exchange(overlay_, nullptr)) {
    overlay->bar_ = nullptr;
    overlay->Close();
    overlay->Unlock();
  }
}

void ProgressBarPane::SetBounds(const MacRect& rect, bool redraw) {
  ControlPane::SetBounds(rect, redraw);
  if (overlay_) overlay_->SetBounds(rect, redraw);
}

void ProgressBarPane::Reparent(SubPane* newParent) {
  ControlPane::Reparent(newParent);
  if (overlay_) overlay_->Reparent(newParent);
}

void ProgressBarPane::BroadcastStateChange(int32_t code) {
  ControlPane::BroadcastStateChange(code);
  if (overlay_) overlay_->BroadcastStateChange(code);
}

void ProgressBarPaneSetValue(ProgressBarPane* pane, int32_t value) {
  if (HWND window = pane->NativeWindow()) SendMessageW(window, PBM_SETPOS, WPARAM(value), 0);
}

void ProgressBarPaneSetMaximum(ProgressBarPane* pane, int32_t maximum) {
  if (HWND window = pane->NativeWindow()) {
    SendMessageW(window, PBM_SETRANGE32, 0, LPARAM(std::max(maximum, 0)));
  }
  pane->SetIndeterminate(maximum < 1);
}

// ---- Entry points ----

extern "C" void progressValueSetter(RuntimeObject* control, uint32_t, int32_t value) {
  ProgressBarFields* fields = Checked(control);
  if (!fields) return;
  fields->value = value;
  if (ProgressBarPane* pane = PaneOf(fields)) ProgressBarPaneSetValue(pane, value);
}

extern "C" void progressMaximumSetter(RuntimeObject* control, uint32_t, int32_t maximum) {
  ProgressBarFields* fields = Checked(control);
  if (!fields) return;
  fields->maximum = maximum;
  if (ProgressBarPane* pane = PaneOf(fields)) ProgressBarPaneSetMaximum(pane, maximum);
}

extern "C" void ProgressBarCreatePane(RuntimeObject* control) {
  ProgressBarFields* fields = FieldsOf(control);
  RuntimeControl& common = fields->control;
  auto* pane = new ProgressBarPane(ControlParentPane(control), common.tabPanelIndex, common.bounds,
                                   fields->value, fields->maximum);
  AdoptControlPane(control, pane);
}
