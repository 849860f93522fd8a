// The DataControl's pane: a bar of four navigation buttons (first, previous,
// next, last) around a caption, over a "KV_Pane" window, and the record logic
// behind it: the RecordSet of the DataControl's query, the current row, the
// fields pushed into the bound controls, edits written back, records
// inserted and deleted.
//
// Rows: after a query the set stands on row 0. Moving forward moves the set;
// moving back reopens the query and walks forward from the first row. A
// result that holds its rows itself (sorted or grouped) from the built-in
// engine, whose file only this process changes, is rewound instead of run
// again while a new run could give nothing else: the same query, no change
// through any database since it ran (DBDataChangeCount), nothing pending on
// it. RecordCount so counts without sorting twice.
//
// Edits: after every push each bound control's value is read back and kept
// as its snapshot; a control differs when its value now differs from its
// snapshot (case counts) and its DataField names a column of the set. Only
// those controls are validated and written. Success is read from the
// database: a non-zero ErrorCode after the update, the insert or the delete
// means failure, which fires no event and changes nothing shown; the error
// stays readable. With the DataControl's Commit on, each successful save,
// insert and delete is committed. After a save the set seeks its row again;
// when it then stands on another row (the row written left the query or
// moved in its order) the controls show that row, and the rows are counted
// again when asked. A set that holds copies of its rows (an ordered or
// grouped query's) is changed through the table's row that it shows
// (TableRow.h), so that an edit or a delete on it is not refused and lost.
//
// Re-entrancy: events and pushes run application code, which may unbind
// controls, close the set or close the window. Walks go over a held copy of
// the bound-control list; after each event the operation stops when the pane
// is closing or the set it needs is gone, and a delete when its Validate
// left the set on another row or ran the query again. The callers (the
// DataControl's methods and the pane's own clicks) hold the DataControl and
// lock the pane's owner chain for the length of the call.
//
// Coordinates are the top window's, as for every pane.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/SmartRef.h"
#include "ui/FontCache.h"
#include "ui/SubPane.h"

class GraphicsPort;

// The DataControl's events, one operation each; the base answers false and
// does nothing.
class DataControlDelegate {
 public:
  virtual ~DataControlDelegate() = default;
  virtual bool Insert();
  virtual void Delete();
  virtual bool MoveFirst();
  virtual bool MoveLast();
  virtual bool MoveNext();
  virtual bool MovePrevious();
  virtual void Reposition(int32_t row);  // counted from 0
  virtual void Update();
  virtual bool Validate(int32_t action);  // true cancels
};

// Validate's actions.
enum DataControlAction : int32_t { kValidateInsert = 0, kValidateUpdate = 1, kValidateDelete = 2 };

// The buttons, as the pressed and hot codes name them.
enum NavigatorButton : uint8_t {
  kNoButton = 0,
  kFirstButton = 1,
  kPreviousButton = 2,
  kNextButton = 3,
  kLastButton = 4,
};

// The button width of a pane of that size: min(height, width / 5, 35).
int32_t NavigatorButtonWidth(int32_t width, int32_t height);

class DataControlPane : public SubPane {
 public:
  // A "KV_Pane" child of parent; the delegate and owner are not owned (the
  // owner is the DataControl, which holds the delegate and the pane).
  DataControlPane(DataControlDelegate* delegate, RuntimeObject* owner, SubPane* parent,
                  int32_t tabPanelIndex, const MacRect& bounds);

  // ---- What the DataControl hands over ----
  void SetCaption(StringRecord* caption);  // redraws
  void SetTableName(StringRecord* table);
  void SetQuery(StringRecord* query);      // redraws; runs nothing
  void SetDatabase(RuntimeObject* database);
  void SetFont(const FontDescriptor& font);  // redraws
  void SetAlignment(int16_t alignment);      // redraws
  void SetTextColor(uint32_t colour);        // redraws on a change

  // ---- Record operations ----
  RuntimeObject* Cursor() const { return cursor_.get(); }  // borrowed; nil without a set
  int32_t Row() const { return row_; }
  void LoadFieldNames();
  const std::vector<StringRef>& FieldNames();  // loaded on demand
  void Requery();
  void OpenQuery();
  int32_t CountRecords();
  void SeekRow(int32_t row);
  void AfterMove(int32_t row);
  void PushRecordToControls();
  bool ControlsDiffer();
  void SaveEdits();
  void InsertFromControls();
  void DeleteCurrentRecord();
  void StartNewRecord();
  void ClearBoundControlValues();
  void UpdateNavigationState();
  bool IsRecordLocked() const { return cursor_ && locked_; }
  void BeginRecordEdit();
  void EndRecordEdit();
  // Requery, navigation state and push: what a new table or database runs.
  void RunNewQuery();

  // ---- Moves (the DataControl's methods) ----
  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();
  // Counted from 1; a row past the last leaves the set past its last record.
  void MoveTo(int32_t row);

  // ---- State for tests and drawing ----
  bool BackEnabled() const { return backEnabled_ != 0; }
  bool ForwardEnabled() const { return forwardEnabled_ != 0; }
  uint8_t PressedButton() const { return pressed_; }
  uint8_t HotButton() const { return hot_; }
  MacRect ButtonRect(uint8_t button) const;

  // ---- Pane operations ----
  void Draw(GraphicsPort* port) override;
  bool MouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
  void MouseLeave() override;
  // (pane height - text height) / 2 + ascent, in the pane's font.
  bool BaselineOffset(int32_t* offset) override;
  void SetEnabled(bool enabled, bool redraw) override;
  bool AdjustRedrawRect(MacRect* rect) override;

 protected:
  ~DataControlPane() override;

 private:
  using HeldControls = std::vector<std::pair<ObjectRef, uint8_t>>;
  HeldControls HeldBoundControls() const;
  bool ReadOnly() const;
  bool Commit() const;
  bool Gone() const { return IsClosing() || !cursor_; }
  int32_t DatabaseError() const;
  bool HasQuery() const;
  // Rewinds the set to its first row as a new run would leave it; false
  // when the query has to run again.
  bool RewindKeptResult();
  // The set stands past its last record (a set is open).
  bool AtEnd() const;
  void CloseSet();
  // The set's text of the control's column; nil when the set has no such
  // column (*hasColumn false).
  StringRef FieldText(RuntimeObject* control, bool* hasColumn);
  // The set's text of each bound control's column, in list order; none
  // where the set has no such column.
  std::vector<std::optional<std::string>> BoundFieldTexts();
  // The held controls whose value differs from their snapshot.
  HeldControls ChangedControls();
  // Where an edit or a delete of the current row goes: the set itself when
  // it changes its own rows, else the table's row that it shows
  // (TableRow.h), opened for the change; the set when there is none.
  ObjectRef RowToChange(bool setChangesItsRows);
  void SetButtonStates(int32_t row);
  uint8_t ButtonAt(int32_t x, int32_t y, bool enabledOnly) const;
  bool SideEnabled(uint8_t button) const;
  void SetHot(uint8_t button);
  void DrawNow();
  void DrawCaption(GraphicsPort* port, int32_t w);
  void ApplyFont(GraphicsPort* port) const;

  DataControlDelegate* delegate_;
  int32_t recordCount_ = 0;
  uint8_t pressed_ = kNoButton;
  uint8_t hot_ = kNoButton;
  uint8_t backEnabled_ = 0;
  uint8_t forwardEnabled_ = 0;
  RuntimeObject* owner_;
  StringRef caption_;
  StringRef table_;
  StringRef query_;
  ObjectRef database_;
  ScopedFontDescriptor font_;
  std::vector<StringRef> fieldNames_;
  uint8_t fieldNamesLoaded_ = 0;
  ObjectRef cursor_;
  StringRef openedQuery_;  // the query text the set was made from
  uint32_t openedAt_ = 0;  // DBDataChangeCount when it was made
  int32_t row_ = 0;
  int16_t alignment_ = 0;
  uint32_t colour_ = 0;
  bool locked_ = false;  // BeginRecordEdit raised an error on this row
  std::map<RuntimeObject*, StringRef> snapshots_;
};
