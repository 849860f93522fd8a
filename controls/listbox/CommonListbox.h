// The bordered list pane: the scrolling list pane with its optional vertical
// and horizontal scroll bars, the content rectangle the rows are drawn in,
// the text line height that sizes the rows, the wheel and the auto-scroll of
// a drag. Every list box pane derives from it.
//
// The bars are scroller panes (ScrollerPane.h) made in the list pane when
// shown and disposed of when hidden; they report their moves to the list
// pane's ScrollerListener operations, which the list panes above override.
// The bars' flags say what the content rectangle leaves room for even
// before a bar is made.
//
// Bar updates are cheap to repeat: an update whose values equal the last
// applied does nothing; otherwise the values are applied at once without
// drawing (ScrollerPane::SetRangeRedraw), and one deferred update per turn
// of the main loop repaints the bars. Adding rows one by one below the
// visible rows thus costs no drawing per row.
#pragma once
#include <windows.h>

#include <cstdint>

#include "controls/ScrollerPane.h"
#include "controls/listbox/ScrollingListPane.h"
#include "ui/DeferredUpdate.h"

class CommonListbox : public ScrollingListPane, public ScrollerListener {
 public:
  // The scroll-bar width is the system's; the column edges are computed.
  CommonListbox(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
                const StringRecord* name);

  // The bounds less the margins, the heading row when shown and the room of
  // each wanted bar.
  MacRect GetContentRect() override;
  // The sum of the used columns' widths.
  virtual int32_t TotalColumnsWidth();
  // Row -1: the height of a text line in the pane's font, measured once
  // through a graphics port and kept until ClearFontMeasured.
  virtual int32_t RowHeight(int32_t row);
  void ClearFontMeasured() { fontMeasured_ = 0; }
  int32_t ScrollBarWidth() const { return scrollBarWidth_; }

  // ---- Scroll bars ----
  ScrollerPane* VerticalScrollBar() const { return verticalBar_; }
  ScrollerPane* HorizontalScrollBar() const { return horizontalBar_; }
  bool WantsVerticalScrollBar() const { return verticalWanted_ != 0; }
  bool WantsHorizontalScrollBar() const { return horizontalWanted_ != 0; }
  void ShowVerticalScrollBar();
  // With a line step of 16 pixels.
  void ShowHorizontalScrollBar();
  void HideVerticalScrollBar();
  void HideHorizontalScrollBar();
  // The horizontal bar: page = visible width - 20, maximum = the columns'
  // total width less the visible width (at least 0).
  void UpdateScrollBars() override;
  // The vertical bar: rows that fit less one a page, the row count less
  // those rows the maximum (kept at the bar's value while the value is a
  // row beyond it).
  void UpdateVerticalScrollBar();
  // Repaints the bars whose values changed this turn (the deferred update).
  void RepaintScrollBars();

  // ---- Mouse ----
  // The vertical bar's wheel; not handled without one.
  bool MouseWheel(int32_t x, int32_t y, int32_t delta, uint32_t modifiers) override;
  // A drag at (x, y), relative to the pane, over the heading row or the
  // horizontal bar (5 pixels from the edge without them) scrolls a line up
  // or down; then the arrow cursor.
  virtual void DragAutoScroll(int32_t x, int32_t y);
  // Whatever is dragged over the list: DragAutoScroll. The heading row and
  // the bars are the list's own edges, so the list is the target over them.
  void TrackDrag(int32_t x, int32_t y, RuntimeObject* dragItem) override;
  SubPane* FindDropTarget(int32_t x, int32_t y, RuntimeObject* dragItem) override;

  // The bars are the window's from here on.
  void Close() override;

 protected:
  ~CommonListbox() override;
  // Where the bars go in the bounds.
  MacRect VerticalScrollBarRect();
  MacRect HorizontalScrollBarRect();

 private:
  class BarRepaint : public DeferredUpdate {
   public:
    explicit BarRepaint(CommonListbox* list) : DeferredUpdate(list), list_(list) {}
    void RunUpdate() override { list_->RepaintScrollBars(); }

   private:
    CommonListbox* list_;
  };
  // What was last given to a bar, so that an equal update does nothing.
  struct BarValues {
    int32_t maximum = -1;
    int32_t page = -1;
    bool changed = false;  // not repainted yet
  };

  ScrollerPane* MakeBar(const MacRect& rect);
  void DisposeBar(ScrollerPane** bar);
  void ApplyBar(ScrollerPane* bar, BarValues* last, int32_t maximum, int32_t page);

  uint8_t fontMeasured_ = 0;
  int32_t lineHeight_ = 0;
  uint8_t horizontalWanted_ = 0;
  uint8_t verticalWanted_ = 0;
  ScrollerPane* verticalBar_ = nullptr;  // the window's pane tree owns them
  ScrollerPane* horizontalBar_ = nullptr;
  int32_t scrollBarWidth_;
  BarValues verticalValues_;
  BarValues horizontalValues_;
  BarRepaint repaint_{this};
};
