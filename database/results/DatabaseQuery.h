// The language's DatabaseQuery: one SELECT against a Database whose rows it
// offers to list controls. It runs lazily on the first GetCount, again on
// every RunQuery, PerformAction or setString, keeps the rows in a
// ScrollableCursor, tells bound lists to reload (listDataReload) and fires
// QueryComplete. It answers listDataProvider, listDataNotifier,
// actionNotificationReceiver and StringInterface.
//
// The parameter (setString) stands for every "%1" of the query text. Inside
// a quoted literal of the text ('...' or "...", read as the SQL tokenizer
// reads them; [...] is a name) each quote of that literal's kind in the
// parameter is doubled, so the parameter stays one literal; elsewhere it goes
// in as it is. A text and parameter of different encodings (or in UTF-16)
// are joined in UTF-8.
//
// A run started while another run of the same query drains its rows (from
// the background step) completes; the outer run then keeps the newer result
// and drops its own.
#pragma once
#include "core/Layout.h"
#include <cstddef>
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "ui/Binding.h"

struct ObjectDefinition;

struct DatabaseQueryFields {
  RuntimeObject header;
  RuntimeObject* database;  // Database property (held)
  StringRecord* sqlQuery;   // SQLQuery property
  uint16_t hasRun;
  uint16_t nesting;         // non-zero while a run started by GetCount goes on
  RuntimeObject* result;    // ScrollableCursor (held) or nil
  ReceiverList receivers;
  StringRecord* parameter;
};
static_assert(!kLayoutIs32Bit || (offsetof(DatabaseQueryFields, database) == 24 &&
                                  offsetof(DatabaseQueryFields, hasRun) == 32 &&
                                  offsetof(DatabaseQueryFields, result) == 36 &&
                                  offsetof(DatabaseQueryFields, parameter) == 44),
              "DatabaseQuery fields follow the header in their fixed order");

ObjectDefinition* GetDatabaseQueryClassDefinition();
// The query text with the parameter put in for each "%1" (a new string).
StringRecord* QueryWithParameter(const StringRecord* query, const StringRecord* parameter);

extern "C" {
int32_t DatabaseQueryGetCount(RuntimeObject* query);
RuntimeObject* DatabaseQueryGetRow(RuntimeObject* query, int32_t row);
void DatabaseQueryRunQuery(RuntimeObject* query);
void DatabaseQueryPerformAction(RuntimeObject* query);
void DatabaseQueryAddReceiver(RuntimeObject* query, RuntimeObject* receiver);
void DatabaseQueryRemoveReceiver(RuntimeObject* query, RuntimeObject* receiver);
void DatabaseQuerySetString(RuntimeObject* query, StringRecord* parameter);

// Entries that database plug-ins link against; they take whatever the
// plug-in passes (the caller removes its arguments) and do nothing. Create
// and Show give 0.
void* TOVADBConnectionDialogCreate();
void TOVADBConnectionDialogAddField();
void* TOVADBConnectionDialogShow();
void TOVADBConnectionDialogDelete();
}
