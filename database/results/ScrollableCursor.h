// The language's ScrollableCursor: a RecordSet drained once into a row
// spool, whose rows are then read by number (1 to GetCount) as
// DatabaseRecords. It answers listDataProvider (GetCount, GetRow), so list
// controls bind to it; DatabaseQuery keeps its results in one.
//
// Spool row: for each column its text (StringValue, pending edits
// included) as a compact length and the bytes; then for each column its
// locator: 0 when the set gives none, else the 1-based number of the
// locator's name in the cursor's name list and the row condition, as a
// compact length and the bytes the first time it occurs in the row, as -j
// when it equals the row's j-th condition.
//
// The drain leaves the set at its end, open; each row gives the application
// one background step. When the spool cannot be made or written, or the set
// is closed during the drain, the cursor holds no rows and the set's
// database gets error 210.
//
// GetRow(r) gives a new DatabaseRecord whose columns, in order, have no name,
// the column's text and code 5; nil for a row outside 1..GetCount or one
// whose stored lengths run past its bytes.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
class RowSpool;

// A locator name, kept once per cursor in first-seen order.
struct LocatorName {
  LocatorName* next;
  StringRecord* name;
};

struct ScrollableCursorFields {
  RuntimeObject header;
  RowSpool* spool;  // owned; nil: no rows
  int32_t columnCount;
  LocatorName* namesHead;  // owned
  LocatorName* namesTail;
};
static_assert(!kLayoutIs32Bit || (offsetof(ScrollableCursorFields, spool) == 24 &&
                                  offsetof(ScrollableCursorFields, namesTail) == 36),
              "ScrollableCursor fields follow the header in their fixed order");

ObjectDefinition* GetScrollableCursorClassDefinition();
// A new cursor (the caller's) drained from the set (nil: no rows).
RuntimeObject* NewScrollableCursor(RuntimeObject* set);
// Row r's stored bytes (1-based), for tests; empty outside the rows.
std::string ScrollableCursorRowBytes(RuntimeObject* cursor, int32_t row);

extern "C" {
void ScrollableCursorConstructor(RuntimeObject* cursor, RuntimeObject* set);
int32_t ScrollableCursorGetCount(RuntimeObject* cursor);
RuntimeObject* ScrollableCursorGetRow(RuntimeObject* cursor, int32_t row);
}
