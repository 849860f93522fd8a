// Data binding: the binding interfaces that controls and data sources
// implement, receiver lists and the notifications sent along them, and the
// string binder hook.
//
// Each interface is an interface class definition registered under its name
// (RegisterBindingInterfaces). A class implements one by AddInterface plus
// methods whose names match the interface's (FindInterfaceMethod); an
// interface method is called with the implementing object first, as compiled
// code calls it.
#pragma once
#include <cstdint>

#include "core/Layout.h"

struct ObjectDefinition;
struct RuntimeObject;

// Step 11: registers the seventeen interface definitions.
void RegisterBindingInterfaces();

// The interface definitions (they live for the run).
ObjectDefinition* GetBooleanProviderInterfaceDefinition();        // getBoolean, setBoolean
ObjectDefinition* GetStringProviderInterfaceDefinition();         // getString
ObjectDefinition* GetStringInterfaceInterfaceDefinition();        // setString
ObjectDefinition* GetDataAvailableProviderInterfaceDefinition();  // DataAvailable
ObjectDefinition* GetListInterfaceInterfaceDefinition();          // BindList
ObjectDefinition* GetActionSourceInterfaceDefinition();  // add/removeActionNotificationReceiver
ObjectDefinition* GetActionNotificationReceiverInterfaceDefinition();  // PerformAction
ObjectDefinition* GetDataNotifierInterfaceDefinition();  // add/removeDataNotificationReceiver
ObjectDefinition* GetDataNotificationReceiverInterfaceDefinition();  // DataChanged
ObjectDefinition* GetListSelectionNotifierInterfaceDefinition();
ObjectDefinition*
GetListSelectionNotificationReceiverInterfaceDefinition();   // selectionChanged, selectionChanging
ObjectDefinition* GetBindingInterfaceInterfaceDefinition();  // a marker without methods
ObjectDefinition* GetBindingPartInterfaceInterfaceDefinition();  // getBoundPart
ObjectDefinition* GetListDataProviderInterfaceDefinition();      // GetCount, GetRow
ObjectDefinition* GetListDataNotifierInterfaceDefinition();
ObjectDefinition*
GetListDataNotificationReceiverInterfaceDefinition();      // listDataReload, listDataInsertedRow,
                                                           // listDataRemovedRow
ObjectDefinition* GetTupleInterfaceInterfaceDefinition();  // FieldCount, getIndString

// A receiver list: a singly linked list of nodes {next, object}, newest
// first. Each node holds a reference to its object. The list is a plain
// head pointer embedded in its owner, nil when empty.
struct ReceiverNode {
  ReceiverNode* next;
  RuntimeObject* object;
};
static_assert(!kLayoutIs32Bit || sizeof(ReceiverNode) == 8, "a receiver node is two words");

struct ReceiverList {
  ReceiverNode* head;
};

extern "C" {
// Prepends the object and locks it; nil is ignored. The same object added
// twice makes two nodes.
void ReceiverListAdd(ReceiverList* list, RuntimeObject* object);
// Unlinks the first node of the object and unlocks it; nothing when absent.
void ReceiverListRemove(ReceiverList* list, RuntimeObject* object);
// Removes every node, unlocking each object.
void ReceiverListClear(ReceiverList* list);

// A round of notifications: the receivers present when the round starts are
// locked, called in list order with the interface method (a receiver whose
// class lacks it is skipped) and unlocked afterwards, so a receiver may
// change the list, or a handler close the list's owner, during the round.
// Changes count from the next round. A pending exception after a call stops
// the round; it stays pending for the caller.
void NotifyDataChanged(ReceiverList* list);     // dataNotificationReceiver.DataChanged
void NotifyPerformAction(ReceiverList* list);   // actionNotificationReceiver.PerformAction
void NotifyListDataReload(ReceiverList* list);  // listDataNotificationReceiver.listDataReload

// Binds a control to its string source; does nothing until the edit field
// fills the hook.
void stringBinder(RuntimeObject* control, RuntimeObject* source);
}

using StringBinderHook = void (*)(RuntimeObject* control, RuntimeObject* source);
// Installs the binder; gives the previous one.
StringBinderHook SetStringBinderHook(StringBinderHook hook);
