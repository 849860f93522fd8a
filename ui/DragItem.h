// Drag and drop inside the application: the DragItem object and the modal
// drag that carries it from pane to pane.
//
// DragItemDrag runs only while the left button is held. It captures the
// mouse with a run-time window and runs its own message loop: paint and
// timer messages (and every other message that is not input) are
// dispatched; mouse and key input never reach panes. On each move the window
// pane under the cursor is asked FindDropTarget; a target that is left gets
// DragExit, the target under the cursor gets TrackDrag with the item and the
// point relative to its top-left. Released over a target, the target's
// NotifyDelegate(kDragDropNotification, item) runs once; released elsewhere,
// nothing is dropped. Escape or a lost capture cancels: the target gets
// DragExit and nothing is dropped. An XOR outline of the item's rectangle
// follows the cursor and is erased at the end.
#pragma once
#include <cstdint>

#include "core/Layout.h"
#include "core/RuntimeObjectFoundation.h"

class SubPane;
struct ObjectDefinition;

// The notification code a drop target's delegate receives (the argument is
// the DragItem object).
constexpr int32_t kDragDropNotification = 0x64726F70;  // "drop"

struct DragItemFields {
  RuntimeObject header;
  int32_t left;  // the dragged rectangle, in the source window's client coordinates
  int32_t top;
  int32_t width;
  int32_t height;
  uint8_t rowReorder;  // set by the list box for a row-reorder drag
  uint8_t reserved[3];
  SubPane* lastTarget;  // the target under the cursor when the drag ended; borrowed
};
static_assert(!kLayoutIs32Bit || sizeof(DragItemFields) == 48, "DragItemFields is 48 bytes");

// Step 11.
void RegisterDragItemClass();
ObjectDefinition* GetDragItemClassDefinition();

extern "C" {
// A new item (the caller's reference) with the bounds.
RuntimeObject* NewDragItem(int32_t x, int32_t y, int32_t width, int32_t height);
// Runs the drag (see above); returns at once for nil or when the left button
// is up.
void DragItemDrag(RuntimeObject* item);
}
