// The DataControl class: the record navigator control over a Database query
// (its pane and record logic: DataControlPane.h), with its properties,
// methods and nine events, and the DataControlAction class, whose objects
// trigger a record action of a DataControl (an action part of the binding
// interfaces).
//
// The DataControl plays the DataControl role (controls/DataControlRole.h):
// controls bound by DataSource join its list. Before "CreatePane" it has no
// pane and every member answers its default (0, false, nil) and changes only
// the stored value. Its query runs when the pane is made, at RunQuery and
// when Database or TableName changes; a new SQLQuery waits for one of these.
//
// Every method and setter that reaches the pane holds the DataControl and
// locks the pane's owner chain until it returns, so a handler may close the
// window meanwhile. Nothing is raised: database errors are read from the
// Database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "controls/DataControlRole.h"
#include "core/Layout.h"
#include "ui/FontCache.h"
#include "ui/runctl.h"

class DataControlDelegate;
class DataControlPane;

// The DataControl object; property records point at these fields.
struct DataControlFields {
  RuntimeControl control;
  DataControlDelegate* delegate;  // owned; made by CreatePane
  StringRecord* caption;          // locked
  StringRecord* tableName;        // locked
  StringRecord* sqlQuery;         // locked
  RuntimeObject* database;        // held
  FontDescriptor font;            // TextFont (locked), Bold, Italic, Underline, TextSize
  std::vector<BoundControl>* boundControls;  // owned; newest first
  int16_t textAlign;
  uint32_t textColor;  // 0x00RRGGBB
  uint8_t readOnly;
  uint8_t commit;
};
static_assert(!kLayoutIs32Bit || offsetof(DataControlFields, delegate) == 64, "own fields at 64");
static_assert(!kLayoutIs32Bit || offsetof(DataControlFields, database) == 80, "Database at 80");
static_assert(!kLayoutIs32Bit || offsetof(DataControlFields, font) == 84, "font at 84");
static_assert(!kLayoutIs32Bit || offsetof(DataControlFields, boundControls) == 96, "list at 96");
static_assert(!kLayoutIs32Bit || offsetof(DataControlFields, textColor) == 104, "colour at 104");
static_assert(!kLayoutIs32Bit || sizeof(DataControlFields) == 112, "a DataControl is 112 bytes");

// The DataControlAction object.
struct DataControlActionFields {
  RuntimeObject header;
  RuntimeObject* dataControl;  // held
  uint8_t kind;                // 0 insert, 1 update, 2 delete, 3 new record
};
static_assert(!kLayoutIs32Bit || sizeof(DataControlActionFields) == 32, "header and two words");

// "DataControl" (superclass RectControl) and "DataControlAction", built on
// the first request.
ObjectDefinition* GetDataControlClassDefinition();
ObjectDefinition* GetDataControlActionClassDefinition();
// Registers both classes and the DataControl role at start-up.
void RegisterDataControlClasses();

// The DataControl's pane; nil before "CreatePane" or after its window closed.
DataControlPane* DataControlPaneOf(RuntimeObject* dataControl);
// The flags the pane reads.
bool DataControlReadOnly(RuntimeObject* dataControl);
bool DataControlCommit(RuntimeObject* dataControl);

extern "C" {
void DataControlCreatePane(RuntimeObject* control);
void DataControlDestruct(RuntimeObject* control);

int32_t dataControlShortGetter(RuntimeObject* control, uint32_t offset);
void dataControlCaptionSetter(RuntimeObject* control, uint32_t offset, StringRecord* caption);
void dataControlTableNameSetter(RuntimeObject* control, uint32_t offset, StringRecord* table);
void dataControlSQLQuerySetter(RuntimeObject* control, uint32_t offset, StringRecord* query);
RuntimeObject* dataControlDatabaseGetter(RuntimeObject* control, uint32_t offset);
void dataControlDatabaseSetter(RuntimeObject* control, uint32_t offset, RuntimeObject* database);
void dataControlTextAlignSetter(RuntimeObject* control, uint32_t offset, int32_t alignment);
void dataControlTextColorSetter(RuntimeObject* control, uint32_t offset, uint32_t colour);
void dataControlTextFontSetter(RuntimeObject* control, uint32_t offset, StringRecord* name);
void dataControlTextSizeSetter(RuntimeObject* control, uint32_t offset, int32_t size);
void dataControlStyleSetter(RuntimeObject* control, uint32_t offset, uint8_t value);
void dataControlControlBindSetter(RuntimeObject* control, uint32_t offset, RuntimeObject* value);
void dataControlReadOnlySetter(RuntimeObject* control, uint32_t offset, uint8_t value);
int32_t dataControlConstantGetter(RuntimeObject* control, uint32_t value);
bool dataControlRecordLockedGetter(RuntimeObject* control, uint32_t offset);

StringRecord* dataControlGetField(RuntimeObject* control, int32_t index);
int32_t dataControlFieldCount(RuntimeObject* control);
RuntimeObject* dataControlCursor(RuntimeObject* control);
void dataControlMoveNext(RuntimeObject* control);
void dataControlMovePrevious(RuntimeObject* control);
void dataControlMoveFirst(RuntimeObject* control);
void dataControlMoveLast(RuntimeObject* control);
void dataControlMoveTo(RuntimeObject* control, int32_t row);
int32_t dataControlRecordCount(RuntimeObject* control);
int32_t dataControlRow(RuntimeObject* control);
void dataControlRunQuery(RuntimeObject* control);
void dataControlInsert(RuntimeObject* control);
void dataControlDelete(RuntimeObject* control);
void dataControlUpdate(RuntimeObject* control);
// "getAddNewAction" 0, "getUpdateAction" 1, "getDeleteAction" 2,
// "getNewRecordAction" 3 (case ignored): a new DataControlAction (the
// caller's); any other name: nil.
RuntimeObject* dataControlGetBoundPart(RuntimeObject* control, StringRecord* name);
void dataControlClearBoundControls(RuntimeObject* control);
void dataControlNewRecord(RuntimeObject* control);

void DataControlActionDestruct(RuntimeObject* action);
void dataControlActionPerformAction(RuntimeObject* action);
}
