// The list pane: rows as a sequence on the bordered list pane. It owns the
// row count, the selection (RowSelection.h), the caret row that carries the
// focus rectangle, selection by mouse and keyboard, vertical scrolling by
// rows, the drawing loop over the visible rows and the bookkeeping that keeps
// the selection right when rows are inserted or removed. What a row holds is
// the provider's: it draws the rows and has the first say on clicks. A
// listener hears of double-clicks, selection changes and scrolling.
//
// Notifications. Every selection edit tells the listener SelectionChanging
// before and SelectionChanged after, while no mouse gesture is open; a
// gesture (press to release) makes one pair for everything it selects. The
// one exception: removing selected rows tells SelectionChanging even inside
// a gesture, so a listener must accept a SelectionChanging with no
// SelectionChanged after it.
//
// Lifetime. A listener may close the window (a list box turns
// SelectionChanged into a language event): every operation that calls the
// listener or the provider holds the pane, and stops once the pane is
// closing. A closing pane drops its listener.
//
// Drawing. The caret is drawn and erased by XOR (DrawFocusRect), so moving it
// repaints no row. Insertions and removals repaint nothing at once: changes
// on or above the visible rows coalesce into one pending shift and one full
// invalidation at the end of the main-loop turn.
//
// Rows are 0-based; a row outside 0..RowCount()-1 is ignored by
// SetRowSelected, means "none" to SelectOnlyRow and is skipped by
// SelectRowRange.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <utility>

#include "controls/listbox/CommonListbox.h"
#include "controls/listbox/RowSelection.h"

class GraphicsPort;
class NuListbox;

// What the rows hold: drawing and the first say on clicks. The default
// draws nothing and handles no click.
class ListRowProvider {
 public:
  virtual ~ListRowProvider() = default;
  virtual void DrawBackground(GraphicsPort* port, const MacRect& content);
  // The port is clipped to the part of the row inside the content.
  virtual void DrawRow(GraphicsPort* port, int32_t row, const MacRect& rowRect, bool selected);
  // Draws the row at once, outside a paint (graphics nil: the pane's).
  virtual void RedrawRow(GraphicsPort* graphics, int32_t row, const MacRect& rowRect,
                         bool selected);
  // A press inside the pane but outside the content rectangle.
  virtual void ClickOutsideRows(int32_t x, int32_t y, uint32_t modifiers);
  // (x, y) relative to the row's top-left corner; true when handled.
  virtual bool ClickRow(int32_t row, int32_t x, int32_t y, uint32_t modifiers);
};

class ListPaneListener {
 public:
  virtual ~ListPaneListener() = default;
  virtual void DoubleClick(NuListbox* pane);
  virtual void SelectionChanging(NuListbox* pane);
  virtual void SelectionChanged(NuListbox* pane);
  // Uniform row heights only: the row height times (old top - new top).
  virtual void Scrolled(NuListbox* pane, int32_t delta);
  // Rows dragged within the list dropped at a new position (the list box's);
  // true when the rows must stay where they are.
  virtual bool FireDragReorderRows(int32_t newPosition);
};

// Where inserted or removed rows showed, until the turn's full redraw.
struct PendingRowShift {
  int32_t top;    // pixel y of the first row
  int32_t delta;  // pixel height, positive for insertions
};

class NuListbox : public CommonListbox {
 public:
  // A null provider is reported (the pane then draws no rows and passes no
  // clicks on). multipleSelection 0 is single selection; any other value
  // allows Shift and Ctrl to extend it.
  NuListbox(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds,
            ListPaneListener* listener, ListRowProvider* provider, bool uniformRowHeight,
            int32_t multipleSelection);

  // The pane's critical section, held by Draw, ApplyPendingShift and the
  // list's bulk row work.
  class RowsLock {
   public:
    explicit RowsLock(NuListbox* pane) : section_(&pane->section_) { EnterCriticalSection(section_); }
    ~RowsLock() { LeaveCriticalSection(section_); }
    RowsLock(const RowsLock&) = delete;
    RowsLock& operator=(const RowsLock&) = delete;

   private:
    CRITICAL_SECTION* section_;
  };

  // Holds the listener's selection calls back for a scope, as a mouse
  // gesture does (the scope itself tells it nothing).
  class SelectionCallsHeld {
   public:
    explicit SelectionCallsHeld(NuListbox* pane)
        : pane_(pane), was_(std::exchange(pane->gestureOpen_, uint8_t(1))) {}
    ~SelectionCallsHeld() { pane_->gestureOpen_ = was_; }
    SelectionCallsHeld(const SelectionCallsHeld&) = delete;
    SelectionCallsHeld& operator=(const SelectionCallsHeld&) = delete;

   private:
    NuListbox* pane_;
    uint8_t was_;
  };

  // ---- Selection ----
  const RowSelection& Selection() const { return selection_; }
  int32_t RowCount() override { return selection_.RowCount(); }
  bool IsRowSelected(int32_t row) const { return selection_.IsRowSelected(row); }
  int32_t SelectedRowCount() const { return selection_.SelectedRowCount(); }
  int32_t FirstSelectedRow() const { return selection_.FirstSelectedRow(); }
  int32_t LastSelectedRow() const { return selection_.LastSelectedRow(); }
  // Unless quiet, invalidates the visible rows of each range. No listener
  // call.
  void ClearSelection();
  // Only the row (none for a row outside), scrolled into view when asked
  // and not quiet.
  void SelectOnlyRow(int32_t row, bool scrollIntoView);
  void SetRowSelected(int32_t row, bool selected);
  // Adds min(a, b)..max(a, b), or the one of them that is a row. Outside a
  // gesture each row is an edit of its own; inside one (or without a
  // listener) the span is added at once with one invalidation.
  void SelectRowRange(int32_t a, int32_t b);
  void RowsInserted(int32_t at, int32_t count);
  virtual void RowsRemoved(int32_t at, int32_t count);
  bool MultipleSelection() const { return multiple_ != 0; }
  // Quiet: ClearSelection and SelectOnlyRow change the ranges without
  // invalidating or scrolling, for the list's bulk work.
  bool IsQuiet() const { return quiet_ != 0; }
  void SetQuiet(bool quiet) { quiet_ = quiet ? 1 : 0; }
  bool DragEnabled() const { return dragEnabled_ != 0; }
  void SetDragEnabled(bool enabled) { dragEnabled_ = enabled ? 1 : 0; }
  int32_t CaretRow() const { return caretRow_; }
  int32_t AnchorRow() const { return anchorRow_; }
  bool HasFocus() const { return hasFocus_ != 0; }
  bool HasPendingShift() const { return pending_.has_value(); }

  // ---- Geometry and scrolling ----
  int32_t TopRow() const { return topRow_; }
  // The row under the point and the point relative to its top-left corner.
  bool HitTestRow(int32_t x, int32_t y, int32_t* row, int32_t* xInRow, int32_t* yInRow);
  // The rectangle of rows first..first+count-1 from the top row down, and
  // that rectangle cut to the content; false when the cut is empty, the
  // pane is hidden or first is above the top row.
  bool GetRowsRect(int32_t first, int32_t count, MacRect* rows, MacRect* visible);
  // Scrolls so that the row shows, ending at the bottom edge when below.
  void ScrollRowIntoView(int32_t row);
  // Through the vertical bar when there is one.
  void SetTopRow(int32_t row);
  void ScrollToTopRow(int32_t oldTop, int32_t newTop);

  // ---- Caret ----
  // Draws (or, drawn again, erases) the caret row's focus rectangle while
  // the pane has the focus.
  virtual void DrawCaretRow(GraphicsPort* port);
  // Erases the caret, which then shows on no row.
  void HideCaretRow();
  void ShowCaretRow(int32_t row);
  // Rows were dragged from a press: the press counts as the last click, and
  // the pointer as having left the row pressed.
  void NoteRowsDragged();

  // ---- The deferred redraw of inserted and removed rows ----
  virtual void ApplyPendingShift();
  virtual bool TakesFocusOnClick();

  // ---- What the list above supplies (nothing here) ----
  virtual void InvalidateRow(int32_t row);
  virtual void InvalidateColumn(int32_t column);
  // The row and every row below it.
  virtual void InvalidateFromRow(int32_t row);
  virtual void InvalidateFromColumn(int32_t column);
  virtual void SortByColumn(int32_t column);
  // The horizontal scroll to a pixel position.
  virtual void SetScrollPositionX(int32_t x);
  // Forgets the measured line height.
  virtual void FontChanged();

  // ---- Pane operations ----
  // Both bars.
  void UpdateScrollBars() override;
  void SetTextSize(int16_t size) override;
  void Draw(GraphicsPort* port) override;
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseDrag(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  bool MouseWheel(int32_t x, int32_t y, int32_t delta, uint32_t modifiers) override;
  bool HandleKey(uint32_t virtualKey, uint32_t keyChar, uint32_t modifiers) override;
  bool KeyToOwner() override { return false; }
  // The arrow keys move the selection, not the focus.
  bool ArrowKeysMoveFocus() override;
  void TakeFocus() override;
  void LoseFocus() override;
  bool CanAcceptFocus() override;
  void Activate() override;
  void Deactivate() override;
  void SetBounds(const MacRect& rect, bool redraw) override;
  void ForEachLeaf(const std::function<void(SubPane*)>& callback) override { callback(this); }
  // Grown by 4 on every side, for the frame drawn around the focused list.
  bool AdjustRedrawRect(MacRect* rect) override;
  MacRect GetRedrawBounds() override { return Bounds(); }
  void BroadcastDragImage(GraphicsPort* port) override { MakeDragImage(port); }
  void ValueChanged(ScrollerPane* bar, int32_t oldValue, int32_t newValue) override;
  void Close() override;

 protected:
  ~NuListbox() override;
  // A list that draws its rows itself says it drew them.
  void MarkDrawn() { notDrawn_ = 0; }

 private:
  // Holds the pane for an operation that may call out.
  class Hold {
   public:
    explicit Hold(NuListbox* pane) : pane_(pane) { pane_->Lock(); }
    ~Hold() { pane_->Unlock(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    NuListbox* pane_;
  };
  class ShiftUpdate : public DeferredUpdate {
   public:
    explicit ShiftUpdate(NuListbox* list) : DeferredUpdate(list), list_(list) {}
    void RunUpdate() override { list_->ApplyPendingShift(); }

   private:
    NuListbox* list_;
  };
  // Where a change of rows shows: its top and height on screen.
  struct ShiftPlace {
    bool shows = false;
    bool above = false;  // above the top row: every visible row moves
    int32_t top = 0;
    int32_t height = 0;
  };

  // A row's height, at least 1.
  int32_t HeightOfRow(int32_t row);
  // Calls visit(row, top, bottom) from the top row down while rows start
  // above the pane's bottom, until it answers false.
  template <typename Visit>
  void WalkRows(Visit visit);
  // One past the last row the walk reaches.
  int32_t VisibleRowEnd();
  MacRect RowsArea();
  // The listener, while no gesture is open; false when the pane is closing
  // after the call.
  bool TellIdle(void (ListPaneListener::*call)(NuListbox*));
  bool Tell(void (ListPaneListener::*call)(NuListbox*));
  void InvalidateVisibleRows(int32_t first, int32_t count, int32_t visibleEnd);
  void DrawCaretThroughNewPort();
  ShiftPlace MeasureShift(int32_t at, int32_t count);
  void NoteShift(const ShiftPlace& place, int32_t sign, int32_t at);
  void DropPendingShift();

  // ---- Mouse gestures ----
  bool OpenGesture();
  // Sets the last click time; a gesture still open is closed.
  void CloseGesture();
  // A press on a row; false when the press ends there.
  bool ClickOnRow(int32_t row, int32_t xInRow, int32_t yInRow, uint32_t modifiers);
  void DragOverRow(int32_t row);
  void ArrowKey(bool down, bool shift);
  // The row alone selected, scrolled into view, the caret on it; nothing
  // for a row the list does not have.
  void SelectByKey(int64_t row);

  ListPaneListener* listener_;
  ListRowProvider* provider_;
  RowSelection selection_;
  int32_t multiple_;
  uint8_t uniform_;
  int32_t topRow_ = 0;
  int32_t caretRow_ = 0;
  uint8_t hasFocus_ = 0;
  int32_t anchorRow_ = -1;
  int32_t lastClickedRow_ = -1;
  uint32_t lastClickTime_ = 0;
  uint32_t lastModifiers_ = 0;
  uint8_t movedOff_ = 0;
  uint8_t toggleOff_ = 0;
  uint8_t gestureOpen_ = 0;  // single edits tell the listener nothing
  uint8_t quiet_ = 0;
  uint8_t dragEnabled_ = 0;
  uint8_t notDrawn_ = 1;
  int32_t wheelRest_ = 0;
  std::optional<PendingRowShift> pending_;
  CRITICAL_SECTION section_;
  ShiftUpdate shiftUpdate_{this};
};
