// The GroupBox control: a captioned frame, a Win32 "BUTTON" in group-box
// style. One ControlPane holds the control directly (no host, no sink) and
// raises "MouseDown", "MouseDrag" and "MouseUp" itself. Controls whose parent
// control is the group box live in its pane, and the frame is the enclosing
// sibling that makes the radio buttons inside it one group.
//
// The BUTTON is transparent to hit testing, so a press on the frame's empty
// interior reaches the group box through the window's pane tree, never
// through the BUTTON; a press on a child control goes to that child.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "ui/ControlPane.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

// The group-box object; property records point at these fields.
struct GroupBoxFields {
  RuntimeControl control;
  TextStyle textStyle;
  StringRecord* caption;  // locked
};
static_assert(!kLayoutIs32Bit || offsetof(GroupBoxFields, textStyle) == 64, "text style at 64");
static_assert(!kLayoutIs32Bit || offsetof(GroupBoxFields, caption) == 76, "Caption at 76");
static_assert(!kLayoutIs32Bit || sizeof(GroupBoxFields) == 80, "a group box is 80 bytes");

// "GroupBox" (superclass RectControl), built on the first request.
ObjectDefinition* GetGroupBoxClassDefinition();
// Registers the class at start-up.
void InitGroupBoxClass();

// The group box's pane. It holds the control (not counted) until it closes.
class GroupBoxPane : public ControlPane {
 public:
  GroupBoxPane(SubPane* parentPane, int32_t tabPanelIndex, const MacRect& bounds,
               const StringRecord* caption, const FontDescriptor& font);

  RuntimeObject* Control() const { return control_; }
  void SetControl(RuntimeObject* control) { control_ = control; }

  // The BUTTON's text (a new string) and its replacement.
  StringRecord* GetCaption();
  void SetCaption(const StringRecord* caption);

  // The BUTTON's font, made through the font-name map.
  void SetTextFont(const FontDescriptor& font) override;

  // A press goes first to the child control under it; when none takes it,
  // the "MouseDown" handler runs at the point relative to the box, and an
  // answer of true captures the mouse for the drag and the release.
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  // A frame takes no focus: Tab passes over it.
  bool CanAcceptFocus() override;
  // After a resize the whole frame and caption are drawn again.
  void SetBounds(const MacRect& rect, bool redraw) override;
  // The BUTTON draws only its frame and caption, and the window keeps its
  // own drawing out of its children: the box's background is erased by
  // having the parent erase and draw itself there (WM_ERASEBKGND, then
  // WM_PRINTCLIENT), so that a window that covered the box leaves nothing.
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  void Close() override;

 protected:
  ~GroupBoxPane() override = default;

 private:
  RuntimeObject* control_ = nullptr;
};

// The pane of a new group box under parentPane ("BUTTON", BS_GROUPBOX).
GroupBoxPane* CreateGroupBoxPane(SubPane* parentPane, int32_t tabPanelIndex,
                                 const MacRect& bounds, const StringRecord* caption,
                                 const FontDescriptor& font);

extern "C" {
// The class's "CreatePane": the pane, re-parented into the parent control's
// pane, linked to the control, its font applied.
void GroupBoxCreatePane(RuntimeObject* control);
// Releases the font name and the Caption.
void GroupBoxDestruct(RuntimeObject* control);

// A nil object is reported through AssertionFailed ("GroupBox", "ctl").
StringRecord* groupCaptionGetter(RuntimeObject* control, uint32_t index);
void groupCaptionSetter(RuntimeObject* control, uint32_t index, StringRecord* caption);

// The font accessors groupTextFontGetter ... groupUnderlineSetter are
// generated with the class's records (RUNTIME_TEXT_STYLE_ACCESSORS).
}
