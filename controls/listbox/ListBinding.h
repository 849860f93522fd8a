// A list box in the run-time's data binding: rows taken from a list data
// provider (BindList and the provider's notifications), bindable parts
// handed out by name (getBoundPart), and the DataSource and DataField names
// by which a DataControl binds the list (runListbox's DataSourceBinding).
//
// Parts. Three classes whose instances keep their owner list locked, so a
// list outlives every part handed out from it:
//   - "listSelectionProvider" (getSelectionProvider): a Boolean provider,
//     true while a row is selected or a cell edited, whose data receivers
//     hear DataChanged after each selection change;
//   - "Sys$ListboxAction" (gotFocusAction, lostFocusAction): an action
//     source adding receivers to the list's got- or lost-focus list;
//   - "listColumnValueProvider" (columnValueProvider_<n>): a string
//     provider and receiver of column n of the first selected row, whose
//     data receivers (held locked) hear DataChanged after each selection
//     change. A column outside 0..255 reads "" and writes nothing, raising
//     nothing: binding code has no handler for an exception.
// The two providers are selection receivers of the list's pane while it
// lives; a part made before the pane exists hears nothing.
//
// Binding rows. BindList(provider) first empties the list (its own rows are
// destroyed, a bound list's rows removed), detaches the previous provider
// and then takes the new one, locked before the old is released, so binding
// the same provider again is safe. A list bound before its pane exists gets
// the provider's rows when the pane is made. The provider calls back
// listDataInsertedRow, listDataRemovedRow (each checked against the rows:
// a bad row raises OutOfBoundsException and changes nothing) and
// listDataReload, which removes every row and inserts GetCount() again.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/GrowArray.h"
#include "core/Layout.h"
#include "core/ObjectDefinition.h"
#include "ui/Binding.h"

struct StringRecord;

struct ListSelectionProviderFields {
  RuntimeObject header;
  RuntimeObject* owner;  // locked
  ReceiverList receivers;
};

struct ListboxActionFields {
  RuntimeObject header;
  RuntimeObject* owner;  // locked
  int32_t kind;          // 1 got focus, 0 lost focus
};

struct ListColumnValueProviderFields {
  RuntimeObject header;
  RuntimeObject* owner;  // locked
  int32_t column;
  GrowArray receivers;  // RuntimeObject*, each locked
};
static_assert(!kLayoutIs32Bit || sizeof(ListSelectionProviderFields) == 32, "selection provider");
static_assert(!kLayoutIs32Bit || sizeof(ListboxActionFields) == 32, "action part");
static_assert(!kLayoutIs32Bit || offsetof(ListColumnValueProviderFields, receivers) == 32,
              "column value provider");

ObjectDefinition* GetListSelectionProviderClassDefinition();
ObjectDefinition* GetListboxActionClassDefinition();
ObjectDefinition* GetListColumnValueProviderClassDefinition();

// Unbinds the list: its list data provider hears
// "removeListDataNotificationReceiver" and is released. Nothing unbound.
void ListboxDetachProvider(RuntimeObject* control);
// The provider's rows for a pane just made for a list bound before it.
void ListboxInsertProviderRows(RuntimeObject* control);

extern "C" {
// ---- Members of the Listbox class ----
RuntimeObject* listGetBoundPart(RuntimeObject* control, StringRecord* name);
void listBind(RuntimeObject* control, RuntimeObject* provider);
void listListDataInsertedRow(RuntimeObject* control, int32_t row);
void listListDataRemovedRow(RuntimeObject* control, int32_t row);
void listListDataReload(RuntimeObject* control);
StringRecord* ListboxDataSourceGetter(RuntimeObject* control, uint32_t parameter);
void ListboxDataSourceSetter(RuntimeObject* control, uint32_t parameter, StringRecord* name);
void ListboxDataFieldSetter(RuntimeObject* control, uint32_t parameter, StringRecord* name);

// ---- listSelectionProvider ----
void listSelectionAddDataNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver);
void listSelectionRemoveDataNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver);
bool listSelectionGetBoolean(RuntimeObject* part);
void listSelectionSetBoolean(RuntimeObject* part, uint8_t value);  // nothing
void listSelectionChanging(RuntimeObject* part);                    // nothing
void listSelectionChanged(RuntimeObject* part);

// ---- Sys$ListboxAction ----
void lbaAddActionNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver);
void lbaRemoveActionNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver);

// ---- listColumnValueProvider ----
StringRecord* lcvpGetString(RuntimeObject* part);
void lcvpSetString(RuntimeObject* part, StringRecord* text);
// Appends and locks; the removal unlocks the first equal entry.
void lcvpAddDataNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver);
void lcvpRemoveDataNotificationReceiver(RuntimeObject* part, RuntimeObject* receiver);
void lcvpSelectionChanging(RuntimeObject* part);  // nothing
void lcvpSelectionChanged(RuntimeObject* part);
bool lcvpDataAvailable(RuntimeObject* part);
}
