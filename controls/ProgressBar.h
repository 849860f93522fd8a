// The ProgressBar control: Value against Maximum in a Win32
// "msctls_progress32". A maximum of 0 or less makes the bar indeterminate:
// an overlay pane of our own covers it, in which a block of 6 pixels moves
// back and forth, one step of 8 pixels each time the bar's animation task
// runs (every 10 ticks). A positive maximum removes overlay and task at once.
//
// The control's pane is a ControlPane over the native bar; the class has no
// events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/Layout.h"
#include "host/RunTimer.h"
#include "ui/ControlPane.h"
#include "ui/runctl.h"

// The progress-bar object; property records point at these fields.
struct ProgressBarFields {
  RuntimeControl control;
  int32_t value;
  int32_t maximum;  // 100 for a new bar
};
static_assert(!kLayoutIs32Bit || offsetof(ProgressBarFields, value) == 64, "Value at 64");
static_assert(!kLayoutIs32Bit || sizeof(ProgressBarFields) == 72, "a progress bar is 72 bytes");

// "ProgressBar" (superclass RectControl), built on the first request.
ObjectDefinition* GetProgressBarClassDefinition();

class ProgressBarPane;

// The overlay of an indeterminate bar: a "KV_Pane" pane with the bar's
// bounds, owner and page index, drawn over it. It moves, shows and hides
// with the bar; the bar closes it when its maximum turns positive.
class ProgressIndeterminatePane : public SubPane {
 public:
  explicit ProgressIndeterminatePane(ProgressBarPane* bar);

  // The block's place in steps of 8 pixels from the bar's left.
  int32_t Position() const { return position_; }
  // One step along a bar of `steps` places: at either end the block turns
  // back, always on one of the places, so the whole block stays inside the
  // bar; with no place at all it stays.
  void Step(int32_t steps);
  // While the bar's animation shows: themed "Progress" parts 1 (the bar) and
  // 3 (the block) on version 5.1 with a theme; else the classic bar, a
  // COLOR_BTNFACE fill framed by a COLOR_BTNSHADOW top row and right column
  // and a COLOR_BTNHIGHLIGHT bottom row and left column, and the block in
  // COLOR_HIGHLIGHT, its rows 2 pixels inside top and bottom.
  void Draw(GraphicsPort* port) override;

 protected:
  ~ProgressIndeterminatePane() override;

 private:
  friend class ProgressBarPane;
  ProgressBarPane* bar_;  // nil once the bar is gone
  int32_t position_ = 0;
  bool movingRight_ = true;
};

// Runs its bar's animation every 10 ticks. The bar owns it.
class ProgressAnimationTask : public PeriodicTask {
 public:
  explicit ProgressAnimationTask(ProgressBarPane* bar);
  ~ProgressAnimationTask() override;
  void Run() override;
  // The tasks alive in the process.
  static int32_t LiveCount();

 private:
  ProgressBarPane* bar_;
};

class ProgressBarPane : public ControlPane {
 public:
  // The native bar, then the maximum, then the value.
  ProgressBarPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds, int32_t value,
                  int32_t maximum);

  // Nil while the bar is determinate.
  ProgressIndeterminatePane* Overlay() const { return overlay_; }
  ProgressAnimationTask* AnimationTask() const { return task_.get(); }
  // Whether the last run of the task found the bar shown.
  bool AnimationShown() const { return animationShown_; }

  // The task's run: a shown bar steps its block and redraws the overlay at
  // once; a bar found hidden after showing has its rectangle drawn again.
  void Animate();
  // Becomes indeterminate (overlay and task made when missing) or
  // determinate (both gone).
  void SetIndeterminate(bool indeterminate);

  // The overlay follows the bar in bounds, owner, visibility and enabling.
  void SetBounds(const MacRect& rect, bool redraw) override;
  void Reparent(SubPane* newParent) override;
  void BroadcastStateChange(int32_t code) override;

 protected:
  ~ProgressBarPane() override;

 private:
  friend class ProgressIndeterminatePane;
  std::unique_ptr<ProgressAnimationTask> task_;
  ProgressIndeterminatePane* overlay_ = nullptr;  // the tree disposes of it
  // Each bar has its own: a hidden bar stops no other from drawing.
  bool animationShown_ = false;
};

// PBM_SETPOS; the control clamps into its range.
void ProgressBarPaneSetValue(ProgressBarPane* pane, int32_t value);
// The whole 32-bit range 0 ... maximum (0 ... 0 below 1), then determinate
// or indeterminate as the maximum is at least 1 or not.
void ProgressBarPaneSetMaximum(ProgressBarPane* pane, int32_t maximum);

extern "C" {
// Value and Maximum: store, then tell the pane when there is one.
void progressValueSetter(RuntimeObject* control, uint32_t offset, int32_t value);
void progressMaximumSetter(RuntimeObject* control, uint32_t offset, int32_t maximum);
// The class's "CreatePane": the pane with the control's bounds, Value and
// Maximum, re-parented into the parent control's pane.
void ProgressBarCreatePane(RuntimeObject* control);
}
