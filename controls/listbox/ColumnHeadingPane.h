// The column heading pane: the clickable heading over one list-box column.
// It draws itself as a header button (themed on version 5.1 when the theme's
// "Header" class opens, bevelled otherwise), with its caption centred or cut
// with "...", an optional picture centred, and a small triangle marking the
// sort column and its direction; presses, clicks and pointer moves go to its
// owner, a HeadingListener. The unit also holds the list controls'
// appearance colours.
//
// Coordinates are the top window's, as for every pane; the listener gets its
// points in them.
//
// A press inside an enabled heading marks it pressed, tells the owner and
// takes the mouse capture; the mark follows the pointer in and out of the
// heading, and a release where the heading is pressed is a click. A pane
// closed by its owner during a call is touched no more.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/SmartRef.h"
#include "ui/SubPane.h"

class ColumnHeadingPane;
class GraphicsPort;
class NativePicture;
struct FontDescriptor;
struct RGBColor16;

// What a heading tells its owner. The operations do nothing by default.
class HeadingListener {
 public:
  virtual void TrackBegin(ColumnHeadingPane* heading, int32_t x, int32_t y);
  virtual void HeadingClicked(ColumnHeadingPane* heading);
  virtual void HeadingPressed(ColumnHeadingPane* heading);
  virtual void HeadingMouse(ColumnHeadingPane* heading, int32_t x, int32_t y);

 protected:
  ~HeadingListener() = default;
};

// Sort directions.
enum HeadingSortDirection : uint8_t {
  kSortAscending = 1,
  kSortDescending = 255,
};

class ColumnHeadingPane : public SubPane {
 public:
  // A "KV_Pane" child of parent (on the parent's tab-panel page) with the
  // font (through the font-name map) and the caption; the owner may be nil.
  ColumnHeadingPane(HeadingListener* owner, const FontDescriptor& font, SubPane* parent,
                    const MacRect& bounds, StringRecord* caption);

  // Borrowed.
  StringRecord* Caption() const { return caption_.get(); }
  void SetCaption(StringRecord* caption);
  // 0: not the sort column.
  int32_t GetSortMark() const { return sortMark_; }
  // A new mark is stored; setting 1 again turns the direction. Either
  // invalidates a shown heading; any other equal value changes nothing.
  void SetSortMark(int32_t mark);
  uint8_t SortDirection() const { return direction_; }
  // The direction the sort triangle shows, without drawing.
  void SetSortDirection(uint8_t direction) { direction_ = direction; }
  bool IsPressed() const { return pressed_ != 0; }
  bool IsHot() const { return hot_ != 0; }
  // The picture drawn centred (the pane keeps a reference); nil for none.
  void SetPicture(NativePicture* picture);

  // Themed when that works, else classic; then the picture and the sort
  // triangle. Nothing when the heading is clipped away by its owners.
  void Draw(GraphicsPort* port) override;
  // The "Header" theme part 1 with the caption; false when the theme does
  // not open or draw.
  bool DrawThemed(GraphicsPort* port);

  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseEnter(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseLeave() override;
  // A change draws a shown heading at once.
  void SetEnabled(bool enabled, bool redraw) override;
  // The heading draws itself into the drag image.
  void BroadcastDragImage(GraphicsPort* port) override;

  // Headings made since start-up, and alive now (for reuse and leak checks).
  static int32_t Constructions();
  static int32_t LiveCount();

 protected:
  ~ColumnHeadingPane() override;

 private:
  bool SortedOrPressed() const { return sortMark_ != 0 || pressed_ != 0; }
  bool Contains(int32_t x, int32_t y) const;
  // Draws the heading now through a new port of its own.
  void DrawNow();
  void DrawClassic(GraphicsPort* port);
  void DrawCaption(GraphicsPort* port, bool themed);
  void DrawPicture(GraphicsPort* port);
  void DrawSortTriangle(GraphicsPort* port, bool themed);
  void SetHot(bool hot);

  HeadingListener* owner_;
  StringRef caption_;
  int32_t sortMark_ = 0;
  uint8_t pressed_ = 0;
  uint8_t hot_ = 0;
  uint8_t direction_ = kSortAscending;
  NativePicture* picture_ = nullptr;  // one reference
};

// Appearance colours of the list controls, by index: 0 frame (black), 1 fill
// (COLOR_BTNFACE), 2 text (COLOR_BTNTEXT), 3 light tinge (white), 4 dark
// tinge (grey 0xAAAA), 5 light bevel (COLOR_BTNHIGHLIGHT), 6 dark bevel
// (COLOR_BTNSHADOW); as 16-bit channels (a byte times 257) and as 0x00RRGGBB.
// Either output may be nil. Another index is reported through AssertionFailed
// and answers black.
void GetAppearanceColor(int32_t index, RGBColor16* components, uint32_t* colour);
