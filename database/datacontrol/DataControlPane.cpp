#include "database/datacontrol/DataControlPane.h"

#include <algorithm>

#include "controls/BoundValues.h"
#include "controls/ControlPattern.h"
#include "controls/PaneFont.h"
#include "core/string.h"
#include "database/api/Database.h"
#include "database/api/DatabaseField.h"
#include "database/api/DatabaseRecord.h"
#include "database/api/RecordSet.h"
#include "database/datacontrol/DataControl.h"
#include "database/datacontrol/TableRow.h"
#include "database/engine/EngineTable.h"
#include "graphics/GraphicsPort.h"
#include "ui/PaneFocus.h"
#include "ui/Theme.h"
#include "ui/WinUtil.h"
#include "ui/win32windows.h"

namespace {

constexpr int32_t kButtonWidthLimit = 35;
constexpr int32_t kCaptionInset = 5;
// The grey set before the bar is erased.
constexpr RGBColor16 kEraseGrey{0x1313, 0x1313, 0x1313};

bool IsEmpty(const StringRef& text) { return !text || StringLength(text.get()) == 0; }

StringRef FieldStringValue(RuntimeObject* field) {
  return StringRef::Adopt(fieldStringValueGetter(field, 0));
}

// A widened component, greyed towards the middle for an inactive bar.
uint16_t CaptionComponent(uint32_t component, bool dimmed) {
  const uint32_t wide = component * 257;
  return uint16_t(dimmed ? (wide + 98304) / 4 : wide);
}

}  // namespace

// ---- The base delegate ----

bool DataControlDelegate::Insert() { return false; }
void DataControlDelegate::Delete() {}
bool DataControlDelegate::MoveFirst() { return false; }
bool DataControlDelegate::MoveLast() { return false; }
bool DataControlDelegate::MoveNext() { return false; }
bool DataControlDelegate::MovePrevious() { return false; }
void DataControlDelegate::Reposition(int32_t) {}
void DataControlDelegate::Update() {}
bool DataControlDelegate::Validate(int32_t) { return false; }

int32_t NavigatorButtonWidth(int32_t width, int32_t height) {
  return std::min({height, width / 5, kButtonWidthLimit});
}

// ---- Making and handing over ----

DataControlPane::DataControlPane(DataControlDelegate* delegate, RuntimeObject* owner,
                                 SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds)
    : SubPane(parent, tabPanelIndex, bounds, nullptr, kPaneClassName, 0, 0),
      delegate_(delegate),
      owner_(owner) {}

DataControlPane::~DataControlPane() { CloseSet(); }

void DataControlPane::SetCaption(StringRecord* caption) {
  caption_ = StringRef::Retain(caption);
  Invalidate(false);
}

void DataControlPane::SetTableName(StringRecord* table) { table_ = StringRef::Retain(table); }

void DataControlPane::SetQuery(StringRecord* query) {
  query_ = StringRef::Retain(query);
  Invalidate(false);
}

void DataControlPane::SetDatabase(RuntimeObject* database) {
  database_ = ObjectRef::Retain(database);
}

void DataControlPane::SetFont(const FontDescriptor& font) {
  FontDescriptorAssign(&font_.get(), &font);
  PaneSetFontMapped(this, font);
  Invalidate(false);
}

void DataControlPane::SetAlignment(int16_t alignment) {
  alignment_ = alignment;
  Invalidate(false);
}

void DataControlPane::SetTextColor(uint32_t colour) {
  if (colour == colour_) return;
  colour_ = colour;
  Invalidate(false);
}

// ---- Helpers ----

DataControlPane::HeldControls DataControlPane::HeldBoundControls() const {
  HeldControls held;
  const DataControlRole* role = DataControlRoleOf(owner_);
  if (!role) return held;
  for (const BoundControl& entry : *role->boundControls(owner_)) {
    held.emplace_back(ObjectRef::Retain(entry.control), entry.kind);
  }
  return held;
}

bool DataControlPane::ReadOnly() const { return DataControlReadOnly(owner_); }
bool DataControlPane::Commit() const { return DataControlCommit(owner_); }

int32_t DataControlPane::DatabaseError() const {
  return database_ ? databaseErrorCodeGetter(database_.get(), 0) : 0;
}

bool DataControlPane::AtEnd() const { return RecordSetArgument(cursor_.get())->eof != 0; }

bool DataControlPane::HasQuery() const {
  return database_ && !IsEmpty(table_) && !IsEmpty(query_);
}

void DataControlPane::CloseSet() {
  if (!cursor_) return;
  ObjectRef set = std::move(cursor_);
  cursorClose(set.get());
  locked_ = false;
}

StringRef DataControlPane::FieldText(RuntimeObject* control, bool* hasColumn) {
  StringRef name = BoundDataField(control);
  ObjectRef field =
      ObjectRef::Adopt(IsEmpty(name) ? nullptr : cursorGetField(cursor_.get(), name.get()));
  *hasColumn = field.get() != nullptr;
  return field ? FieldStringValue(field.get()) : StringRef();
}

std::vector<std::optional<std::string>> DataControlPane::BoundFieldTexts() {
  std::vector<std::optional<std::string>> texts;
  for (auto& [control, kind] : HeldBoundControls()) {
    bool hasColumn = false;
    StringRef text = FieldText(control.get(), &hasColumn);
    texts.push_back(hasColumn ? std::optional(StringToStdUTF8(text.get())) : std::nullopt);
  }
  return texts;
}

DataControlPane::HeldControls DataControlPane::ChangedControls() {
  HeldControls changed;
  for (auto& [control, kind] : HeldBoundControls()) {
    bool hasColumn = false;
    FieldText(control.get(), &hasColumn);
    if (!hasColumn) continue;
    StringRef now = BoundValueText(control.get(), kind);
    auto snapshot = snapshots_.find(control.get());
    const std::string before =
        snapshot != snapshots_.end() ? StringToStdUTF8(snapshot->second.get()) : std::string();
    if (now && StringToStdUTF8(now.get()) != before) changed.emplace_back(control, kind);
  }
  return changed;
}

// ---- Queries and rows ----

void DataControlPane::LoadFieldNames() {
  fieldNames_.clear();
  if (!HasQuery()) return;
  fieldNamesLoaded_ = 1;
  ObjectRef schema = ObjectRef::Adopt(databaseFieldSchema(database_.get(), table_.get()));
  if (!schema) return;
  for (; !RecordSetArgument(schema.get())->eof; cursorMoveNext(schema.get())) {
    ObjectRef name = ObjectRef::Adopt(cursorGetFieldByIndex(schema.get(), 1));
    fieldNames_.push_back(name ? FieldStringValue(name.get()) : StringRef());
  }
  cursorClose(schema.get());
}

const std::vector<StringRef>& DataControlPane::FieldNames() {
  if (!fieldNamesLoaded_) LoadFieldNames();
  return fieldNames_;
}

void DataControlPane::OpenQuery() {
  if (cursor_) {
    EndRecordEdit();
    CloseSet();
  }
  if (!HasQuery()) return;
  // Both taken before the run: a change made, or a query text set, in a
  // background step while the rows drain is not what they came from; and
  // kept only with the rows, over those of a run started meanwhile.
  const uint32_t at = DBDataChangeCount();
  StringRef query = query_;
  cursor_ = ObjectRef::Adopt(databaseSelect(database_.get(), query.get()));
  openedAt_ = at;
  openedQuery_ = std::move(query);
  BeginRecordEdit();
}

bool DataControlPane::RewindKeptResult() {
  // Only the built-in engine's file changes through this process alone; any
  // other engine's data may change behind the count.
  if (!cursor_ || !HasQuery() || query_.get() != openedQuery_.get() ||
      DBDataChangeCount() != openedAt_ ||
      DatabaseArgument(database_.get())->definition != BuiltInEngineTable()) {
    return false;
  }
  RecordSetFields* set = RecordSetArgument(cursor_.get());
  const CursorSlots slots = RecordSetCursor(set);
  if (!set->handle || set->owner != database_.get() || set->pending || slots.Has(kCursorEdit) ||
      !slots.Has(kCursorMoveFirst)) {
    return false;
  }
  // What a new run does on its way: the database's error cleared, the set on
  // its first row, not yet edited.
  DatabaseClearError(database_.get());
  cursorMoveFirst(cursor_.get());
  set->editing = 0;
  locked_ = false;
  BeginRecordEdit();
  return true;
}

void DataControlPane::Requery() {
  row_ = 0;
  recordCount_ = 0;
  OpenQuery();
}

void DataControlPane::RunNewQuery() {
  Requery();
  UpdateNavigationState();
  PushRecordToControls();
}

int32_t DataControlPane::CountRecords() {
  if (!cursor_) return 0;
  if (recordCount_ > 0) return recordCount_;
  EndRecordEdit();
  // The set stands on row_: count what is left, then stand there again.
  int32_t count = row_;
  for (RuntimeObject* set = cursor_.get(); !RecordSetArgument(set)->eof; cursorMoveNext(set)) {
    ++count;
  }
  recordCount_ = count;
  SeekRow(row_);
  return count;
}

void DataControlPane::SeekRow(int32_t row) {
  row_ = row;
  if (!RewindKeptResult()) OpenQuery();
  if (!cursor_) return;
  // A row past the last leaves the set past its last record: row_ then is
  // the number of records.
  RuntimeObject* set = cursor_.get();
  for (row_ = 0; row_ < row && !AtEnd(); ++row_) cursorMoveNext(set);
}

void DataControlPane::BeginRecordEdit() {
  if (!cursor_ || ReadOnly() || RecordSetArgument(cursor_.get())->editing) return;
  // Only an error that the edit itself raised locks the row: one left by a
  // failed save stays readable without locking the next row.
  const int32_t before = DatabaseError();
  cursorEdit(cursor_.get());
  const int32_t after = DatabaseError();
  locked_ = after != 0 && after != before;
}

void DataControlPane::EndRecordEdit() {
  if (!cursor_ || ReadOnly()) return;
  RecordSetFields* set = RecordSetArgument(cursor_.get());
  // Update clears the database's error: a set with nothing pending is left
  // alone so that a failed save's error stays readable.
  if (set->editing && set->pending) cursorUpdate(cursor_.get());
}

void DataControlPane::SetButtonStates(int32_t row) {
  const int32_t count = CountRecords();
  if (row == 0) {
    backEnabled_ = 0;
    forwardEnabled_ = count > 1 ? 1 : 0;
  } else if (row == count - 1) {
    backEnabled_ = 1;
    forwardEnabled_ = 0;
  } else {
    backEnabled_ = forwardEnabled_ = 1;
  }
  DrawNow();
}

void DataControlPane::AfterMove(int32_t row) {
  BeginRecordEdit();
  SetButtonStates(row);
  PushRecordToControls();
  if (!IsClosing() && delegate_) delegate_->Reposition(row);
}

void DataControlPane::UpdateNavigationState() {
  backEnabled_ = 0;
  forwardEnabled_ = cursor_ && CountRecords() > 1 ? 1 : 0;
  DrawNow();
}

// ---- Bound controls ----

void DataControlPane::PushRecordToControls() {
  if (!cursor_) return;
  for (auto& [control, kind] : HeldBoundControls()) {
    if (Gone()) return;
    if (kind != kBoundStaticText) {
      SetBoundEditable(control.get(), kind, !IsRecordLocked() && !ReadOnly());
    }
    bool hasColumn = false;
    StringRef text = FieldText(control.get(), &hasColumn);
    PushBoundValue(control.get(), kind, text.get());
    snapshots_[control.get()] = BoundValueText(control.get(), kind);
  }
}

void DataControlPane::ClearBoundControlValues() {
  for (auto& [control, kind] : HeldBoundControls()) {
    if (IsClosing()) return;
    PushBoundValue(control.get(), kind, nullptr);
    snapshots_[control.get()] = BoundValueText(control.get(), kind);
  }
}

ObjectRef DataControlPane::RowToChange(bool setChangesItsRows) {
  if (!setChangesItsRows) {
    ObjectRef row = OpenTableRowOf(database_.get(), table_.get(), FieldNames(), cursor_.get());
    if (row) return row;
  }
  // The set then refuses the change itself, as not updatable.
  return cursor_;
}

bool DataControlPane::ControlsDiffer() { return cursor_ && !ChangedControls().empty(); }

void DataControlPane::SaveEdits() {
  // Past the last record there is nothing to write to.
  if (!cursor_ || ReadOnly() || AtEnd() || !ControlsDiffer()) return;
  if (delegate_ && delegate_->Validate(kValidateUpdate)) return;
  if (Gone()) return;
  const ObjectRef row = RowToChange(SetWritesItsRows(cursor_.get()));
  RuntimeObject* set = row.get();
  cursorEdit(set);
  HeldControls changed = ChangedControls();
  std::vector<StringRef> written;
  bool unwritable = false;
  for (auto& [control, kind] : changed) {
    StringRef name = BoundDataField(control.get());
    ObjectRef field = ObjectRef::Adopt(cursorGetField(set, name.get()));
    written.push_back(BoundValueText(control.get(), kind));
    if (field) fieldStringValueSetter(field.get(), 0, written.back().get());
    unwritable = unwritable || !field;
  }
  const bool throughTable = set != cursor_.get();
  // A column of the query that the table lacks leaves the whole edit
  // unwritten, as a set that cannot hand on every value does.
  if (throughTable && unwritable) {
    TOVADatabaseSetError(database_.get(), kDBErrorNotUpdatable, "Record set is not updatable");
  } else {
    cursorUpdate(set);
  }
  if (throughTable) cursorClose(set);
  if (DatabaseError() != 0) return;
  if (Commit()) databaseCommit(database_.get());
  for (size_t i = 0; i < changed.size(); ++i) snapshots_[changed[i].first.get()] = written[i];
  // The row written may no longer meet the query, or stand elsewhere in its
  // order: counted again when asked, and shown when the set now stands on
  // another row, so that the next save writes only what the controls show.
  const std::vector<std::optional<std::string>> savedRow = BoundFieldTexts();
  recordCount_ = 0;
  SeekRow(row_);
  if (cursor_ && BoundFieldTexts() != savedRow) PushRecordToControls();
  if (delegate_) delegate_->Update();
}

void DataControlPane::InsertFromControls() {
  if (!database_) return;
  if (delegate_ && delegate_->Validate(kValidateInsert)) return;
  if (IsClosing()) return;
  if (cursor_) {
    EndRecordEdit();
    CloseSet();
    recordCount_ = 0;
  }
  ObjectRef record = ObjectRef::Adopt(CreateInstance(GetDatabaseRecordClassDefinition()));
  for (auto& [control, kind] : HeldBoundControls()) {
    StringRef name = BoundDataField(control.get());
    if (IsEmpty(name)) continue;
    StringRef value = BoundValueText(control.get(), kind);
    recordColumnSetter(record.get(), name.get(), value.get());
  }
  databaseInsertRecord(database_.get(), table_.get(), record.get());
  if (DatabaseError() != 0) return;
  if (Commit()) databaseCommit(database_.get());
  const bool keep = delegate_ && delegate_->Insert();
  if (!keep && !IsClosing()) ClearBoundControlValues();
}

void DataControlPane::DeleteCurrentRecord() {
  if (!cursor_ || AtEnd()) return;
  // The row asked for is the one the set stands on now. A handler that runs
  // the query again or moves leaves the set on another row: nothing is then
  // deleted. The set is held so that a new one cannot take its place.
  const ObjectRef asked = cursor_;
  const int32_t askedRow = row_;
  if (delegate_ && delegate_->Validate(kValidateDelete)) return;
  if (Gone() || cursor_.get() != asked.get() || row_ != askedRow) return;
  const int32_t count = CountRecords();
  const ObjectRef row = RowToChange(SetDeletesItsRows(cursor_.get()));
  cursorDeleteRecord(row.get());
  if (row.get() != cursor_.get()) cursorClose(row.get());
  if (DatabaseError() != 0) return;
  if (Commit()) databaseCommit(database_.get());
  recordCount_ = std::max(count - 1, 0);
  if (row_ == recordCount_ && row_ > 0) --row_;
  SeekRow(row_);
  AfterMove(row_);
  if (!IsClosing() && delegate_) delegate_->Delete();
}

void DataControlPane::StartNewRecord() {
  if (cursor_) {
    EndRecordEdit();
    CloseSet();
  }
  recordCount_ = 0;
  ClearBoundControlValues();
  backEnabled_ = forwardEnabled_ = 0;
  DrawNow();
}

// ---- Moves ----

void DataControlPane::MoveNext() {
  if (!cursor_) return;
  SaveEdits();
  // Counted after the save, which may have taken the row out of the query.
  if (Gone() || row_ >= CountRecords() - 1) return;
  ++row_;
  EndRecordEdit();
  cursorMoveNext(cursor_.get());
  AfterMove(row_);
}

void DataControlPane::MovePrevious() {
  if (!cursor_ || row_ <= 0) return;
  SaveEdits();
  if (Gone()) return;
  SeekRow(row_ - 1);
  AfterMove(row_);
}

void DataControlPane::MoveFirst() {
  if (!cursor_ || row_ <= 0) return;
  SaveEdits();
  if (Gone()) return;
  SeekRow(0);
  AfterMove(0);
}

void DataControlPane::MoveLast() {
  if (!cursor_ || row_ >= CountRecords() - 1) return;
  SaveEdits();
  if (Gone()) return;
  // Counted after the save, which may have taken the row out of the query.
  const int32_t last = CountRecords() - 1;
  EndRecordEdit();
  for (RuntimeObject* set = cursor_.get(); row_ < last; ++row_) cursorMoveNext(set);
  AfterMove(row_);
}

void DataControlPane::MoveTo(int32_t row) {
  if (!cursor_ || row <= 0 || row - 1 == row_) return;
  CountRecords();
  SaveEdits();
  if (Gone()) return;
  SeekRow(row - 1);
  AfterMove(row_);
}

// ---- Geometry and drawing ----

MacRect DataControlPane::ButtonRect(uint8_t button) const {
  const MacRect& bounds = Bounds();
  const int32_t w = NavigatorButtonWidth(Width(), Height());
  int32_t left = bounds.left;
  switch (button) {
    case kFirstButton: left = bounds.left; break;
    case kPreviousButton: left = bounds.left + w; break;
    case kNextButton: left = bounds.right - 2 * w; break;
    case kLastButton: left = bounds.right - w; break;
    default: return MacRect{};
  }
  return MacRect{bounds.top, int16_t(left), bounds.bottom, int16_t(left + w)};
}

bool DataControlPane::SideEnabled(uint8_t button) const {
  return button == kFirstButton || button == kPreviousButton ? backEnabled_ != 0
                                                             : forwardEnabled_ != 0;
}

uint8_t DataControlPane::ButtonAt(int32_t x, int32_t y, bool enabledOnly) const {
  for (uint8_t button : {kFirstButton, kPreviousButton, kNextButton, kLastButton}) {
    const MacRect r = ButtonRect(button);
    const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    if (inside && (!enabledOnly || SideEnabled(button))) return button;
  }
  return kNoButton;
}

void DataControlPane::DrawNow() {
  if (!IsVisible() || !IsShown()) return;
  if (GraphicsPort* port = PaneNewGraphicsPort(this)) {
    Draw(port);
    PaneDeleteGraphicsPort(port);
  }
}

void DataControlPane::ApplyFont(GraphicsPort* port) const {
  port->SetTextFont(font_.get().name);
  port->SetTextSize(font_.get().size);
  port->SetTextStyle(FontDescriptorStyleBits(&font_.get()));
}

void DataControlPane::Draw(GraphicsPort* port) {
  if (!IsVisible() || !IsShown()) return;
  port->Focus();
  ApplyFont(port);
  ForeColorScope colour(port);
  port->SetForeColor(kEraseGrey);
  port->EraseRect(Bounds());
  HDC dc = port->GetDC();
  if (!dc) return;
  const int32_t ox = port->OriginX(), oy = port->OriginY();
  const MacRect& bounds = Bounds();
  const int32_t w = NavigatorButtonWidth(Width(), Height());
  auto button = [&](uint8_t which, int32_t glyph) {
    const MacRect r = ButtonRect(which);
    int32_t state = kNavigationNormal;
    if (pressed_ == which) {
      state = kNavigationPressed;
    } else if (!IsEnabled() || !SideEnabled(which)) {
      state = kNavigationDisabled;
    } else if (hot_ == which) {
      state = kNavigationHot;
    }
    DrawNavigationButton(dc, r.left - ox, r.top - oy, r.right - ox, r.bottom - oy, glyph, state);
  };
  button(kFirstButton, kNavigationFirst);
  button(kPreviousButton, kNavigationPrevious);
  const int32_t themed = IsWindowsXP() && UxIsAppThemed() ? 1 : 0;
  DrawEditFrame(dc, bounds.left + 2 * w - 1 - ox, bounds.top - oy,
                bounds.right - 2 * w + themed - ox, bounds.bottom - oy, true);
  button(kLastButton, kNavigationLast);
  button(kNextButton, kNavigationNext);
  DrawCaption(port, w);
}

void DataControlPane::DrawCaption(GraphicsPort* port, int32_t w) {
  if (IsEmpty(caption_)) return;
  const MacRect& bounds = Bounds();
  const bool dimmed = !IsActive() || !IsEnabled();
  port->SetForeColor(RGBColor16{CaptionComponent(colour_ >> 16 & 0xFF, dimmed),
                                CaptionComponent(colour_ >> 8 & 0xFF, dimmed),
                                CaptionComponent(colour_ & 0xFF, dimmed)});
  const int32_t x0 = bounds.left + 2 * w + kCaptionInset;
  const int32_t available = (bounds.right - 2 * w - kCaptionInset) - x0;
  const int32_t textWidth = port->StringWidth(caption_.get());
  int32_t x = x0;
  if (alignment_ == 1) x = x0 + (available - textWidth) / 2;
  if (alignment_ == 2) x = x0 + available - textWidth;
  x = std::max(x, x0);
  const int32_t y = bounds.top + (Height() - port->TextHeight()) / 2 + port->TextAscent();
  StringRef suffix = StringRef::Adopt(StringFromASCII("..."));
  port->DrawStringTruncated(caption_.get(), x, y, (bounds.right - 2 * w) - x0 - kCaptionInset,
                            suffix.get());
}

bool DataControlPane::BaselineOffset(int32_t* offset) {
  GraphicsPort* port = PaneNewGraphicsPort(this);
  if (!port) {
    *offset = 0;
    return false;
  }
  ApplyFont(port);
  *offset = (Height() - port->TextHeight()) / 2 + port->TextAscent();
  PaneDeleteGraphicsPort(port);
  return true;
}

void DataControlPane::SetEnabled(bool enabled, bool redraw) {
  if (enabled == IsEnabled()) return;
  SubPane::SetEnabled(enabled, redraw);
  if (redraw) DrawNow();
}

bool DataControlPane::AdjustRedrawRect(MacRect* rect) {
  *rect = Bounds();
  return true;
}

// ---- Mouse ----

bool DataControlPane::MouseDown(int32_t x, int32_t y, uint32_t) {
  pressed_ = kNoButton;
  if (!IsEnabled()) return true;
  pressed_ = ButtonAt(x, y, true);
  if (pressed_ != kNoButton) {
    SetMouseCapturePane(this);
    DrawNow();
  }
  return true;
}

void DataControlPane::MouseUp(int32_t x, int32_t y, uint32_t) {
  const uint8_t button = pressed_;
  if (button == kNoButton) return;
  ControlCallGuard guard(this, owner_);
  if (ButtonAt(x, y, false) == button && delegate_) {
    switch (button) {
      case kFirstButton:
        if (!delegate_->MoveFirst() && !IsClosing()) MoveFirst();
        break;
      case kPreviousButton:
        if (!delegate_->MovePrevious() && !IsClosing()) MovePrevious();
        break;
      case kNextButton:
        if (!delegate_->MoveNext() && !IsClosing()) MoveNext();
        break;
      default:
        if (!delegate_->MoveLast() && !IsClosing()) MoveLast();
        break;
    }
  }
  pressed_ = kNoButton;
  if (!IsClosing()) DrawNow();
}

void DataControlPane::SetHot(uint8_t button) {
  if (button == hot_) return;
  hot_ = button;
  DrawNow();
}

void DataControlPane::MouseMove(int32_t x, int32_t y, uint32_t) {
  if (!IsWindowsXP()) return;
  SetHot(IsEnabled() ? ButtonAt(x, y, true) : uint8_t(kNoButton));
}

void DataControlPane::MouseLeave() {
  if (IsWindowsXP()) SetHot(kNoButton);
}
