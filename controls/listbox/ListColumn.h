// The ListColumn class: one column of a list box as the language sees it,
// and the list's Column(index) accessor pair that makes and applies one.
//
// A ListColumn holds its owner list (locked while the column object lives),
// the column index (-1: all columns) and its own copy of the seven values.
// It is attached while the owner has a list pane: its accessors then read
// and write the pane, and a setter keeps the copy as well; a detached one
// reads and writes only the copy.
//
// Indexes (CheckColumnIndex): getters take 0..count, setters and Column()
// -1..count, the count itself only below 64 columns. Any other index raises
// OutOfBoundsException and changes nothing (getters answer the copy's flag,
// an empty text or 0). A refused expression raises UnsupportedFormatException and
// stores nothing, neither in the pane nor in the copy.
//
// Properties: UserResizable (Boolean); WidthExpression, MinWidthExpression
// and MaxWidthExpression (String, selectors 0-2); WidthActual,
// MinWidthActual and MaxWidthActual (Integer, selectors 0-2). After a
// WidthExpression or WidthActual write the edges are recomputed, the
// headings follow and the list's cells are invalidated.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "core/ObjectDefinition.h"

class ScrollingListPane;
struct StringRecord;

struct ListColumnFields {
  RuntimeObject header;
  RuntimeObject* owner;  // locked
  int32_t index;
  uint8_t userResizable;
  StringRecord* widthExpression;  // owned
  StringRecord* minWidthExpression;
  StringRecord* maxWidthExpression;
  int32_t widthActual;
  int32_t minWidthActual;
  int32_t maxWidthActual;
};
static_assert(!kLayoutIs32Bit || offsetof(ListColumnFields, owner) == 24, "owner at 24");
static_assert(!kLayoutIs32Bit || offsetof(ListColumnFields, widthExpression) == 36,
              "expressions at 36");
static_assert(!kLayoutIs32Bit || offsetof(ListColumnFields, widthActual) == 48, "widths at 48");
static_assert(!kLayoutIs32Bit || sizeof(ListColumnFields) == 60, "a ListColumn is 60 bytes");

// "ListColumn", built on the first request.
ObjectDefinition* GetListColumnClassDefinition();

// The list pane of a list control; nil for nil, another object, or a
// control without such a pane.
ScrollingListPane* ListPaneOf(RuntimeObject* list);

extern "C" {
bool listColUserResizableGetter(RuntimeObject* column, uint32_t parameter);
void listColUserResizableSetter(RuntimeObject* column, uint32_t parameter, uint8_t value);
// A new reference.
StringRecord* listColWidthExpressionGetter(RuntimeObject* column, uint32_t selector);
void listColWidthExpressionSetter(RuntimeObject* column, uint32_t selector, StringRecord* text);
int32_t listColWidthActualGetter(RuntimeObject* column, uint32_t selector);
void listColWidthActualSetter(RuntimeObject* column, uint32_t selector, int32_t value);

// Column(index): a new ListColumn (the caller's) filled from the pane;
// index -1 gives False, "0", "0", "-1", 0, 0, -1. Nil without a pane.
RuntimeObject* listColumnGetter(RuntimeObject* list, int32_t index);
// Column(index) = column: for the column (each used one for -1) the flag,
// the three expressions, then the three pixel values, in that order.
void listColumnSetter(RuntimeObject* list, int32_t index, RuntimeObject* column);
}
