// Small controls that bind to a DataControl by DataSource, for the
// DataControl's tests: each a RectControl with the members the bound values
// reach (controls/BoundValues.h) and a plain "KV_Pane" pane that binds
// through DataSourceBinding.
//
//   "TestBoundEdit"   kind 0: Text, ReadOnly
//   "TestBoundLabel"  kind 1: Text
//   "TestBoundList"   kind 2 and "TestBoundPopup" kind 3: ListCount, List(i),
//                     ListIndex (-1 none; out of range is stored as -1)
//
// Every class has DataSource and DataField; Enabled is RectControl's. The
// rows of a list are set before the window opens (BoundTestSetRows).
#pragma once

#include <string>
#include <vector>

#include "core/ObjectDefinition.h"

ObjectDefinition* GetBoundTestEditClassDefinition();
ObjectDefinition* GetBoundTestLabelClassDefinition();
ObjectDefinition* GetBoundTestListClassDefinition();
ObjectDefinition* GetBoundTestPopupClassDefinition();

// The rows of a test list or pop-up.
void BoundTestSetRows(RuntimeObject* control, const std::vector<std::string>& rows);
// The control's text (edit, label) or selected row ("" with none), as UTF-8.
std::string BoundTestText(RuntimeObject* control);
// Sets the text (edit, label), as typing would.
void BoundTestSetText(RuntimeObject* control, const std::string& text);
bool BoundTestReadOnly(RuntimeObject* control);
