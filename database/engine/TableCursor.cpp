// Table cursors: walking and seeking, values, locators, deletes and updates.
#include "database/engine/TableCursor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/basicstr.h"
#include "core/string.h"
#include "database/engine/Blob.h"
#include "database/engine/FieldValues.h"
#include "database/storage/Key.h"
#include "database/storage/PageFormat.h"

namespace {

bool g_keyPrefixSeek = true;
uint64_t g_rowsVisited = 0;

const uint8_t kTablesKey[] = {1};

bool IsSeekType(uint8_t type) {
  return type == kDBFieldInt16 || type == kDBFieldInt32 || type == kDBFieldText ||
         type == kDBFieldDate || type == kDBFieldTime;
}

bool IsBlobId(uint8_t type) { return type == kDBFieldBlobId || type == kDBFieldBlobId2; }

// A BLOB shows with its column's type (14 is stored as an id of type 16).
int32_t ReportedType(uint8_t stored, uint8_t declared) {
  return IsBlobId(stored) && IsBlobType(declared) ? declared : stored;
}

DBEngineCursor::Column MakeColumn(const char* name, uint8_t number, uint8_t type) {
  return {StringRef::Adopt(StringFromASCII(name)), number, type};
}

DBEngineCursor::Column MakeColumn(const DBTableColumn& column) {
  return {column.text, column.number, column.type};
}

std::string Quoted(const uint8_t* bytes, size_t length) {
  std::string text = "'";
  for (size_t i = 0; i < length; ++i) {
    text += char(bytes[i]);
    if (bytes[i] == '\'') text += '\'';
  }
  return text + "'";
}

std::string Parts(const uint16_t parts[3], char separator) {
  return "'" + std::to_string(int16_t(parts[0])) + separator + std::to_string(int16_t(parts[1])) +
         separator + std::to_string(int16_t(parts[2])) + "'";
}

// One value of the key prefix, as BuildKeyFromValues reads it.
union KeySlot {
  int16_t smallint;
  int32_t integer;
  uint16_t parts[3];
  const StringRecord* text;
};

}  // namespace

void SetKeyPrefixSeek(bool enabled) { g_keyPrefixSeek = enabled; }
uint64_t TableCursorRowsVisited() { return g_rowsVisited; }

DBEngineCursor::DBEngineCursor(DBEngineDatabase& db, Kind kind, DBTableRef table,
                               std::unique_ptr<DBTreeCursor> tree, std::vector<Column> columns)
    : db_(&db), kind_(kind), table_(std::move(table)), tree_(std::move(tree)),
      columns_(std::move(columns)) {
  db.AddCursor(this);
}

DBEngineCursor::~DBEngineCursor() {
  if (!db_) return;
  End();
  db_->RemoveCursor(this);
}

void DBEngineCursor::Disarm() {
  db_ = nullptr;
  table_.reset();
  tree_.reset();
  columns_.clear();
  onRow_ = false;
  movedIds_.clear();
  blob_.clear();
}

void CloseEngineCursor(DBEngineCursor* cursor) {
  if (!cursor) return;
  DBEngineDatabase* db = cursor->db_;
  if (!db || cursor->kind_ != DBEngineCursor::Kind::kTable) {
    delete cursor;
    return;
  }
  // As the destructor does, then kept.
  cursor->End();
  db->RemoveCursor(cursor);
  cursor->Disarm();
  db->KeepCursor(std::unique_ptr<DBEngineCursor>(cursor));
}

void DBEngineCursor::Detach() {
  End();
  db_ = nullptr;
}

StringRecord* DBEngineCursor::ColumnName(int32_t index) const {
  if (index < 0 || index >= ColumnCount()) return nullptr;
  return StringAddRef(columns_[size_t(index)].name.get());
}

// ---- Moving ----------------------------------------------------------------------------

bool DBEngineCursor::Start(std::vector<uint8_t> prefix) {
  if (prefix.empty()) {
    prefix_.clear();  // keeps its room for the seek's prefix
  } else {
    prefix_.swap(prefix);
  }
  from_.clear();
  upper_ = HUGE_VAL;
  bool none = false;
  if (prefix_.empty() && kind_ == Kind::kTable && g_keyPrefixSeek && !PlanSeek(&none)) {
    db_->FailFromStorage();
    return false;
  }
  if (none) {
    End();
  } else if (const std::vector<uint8_t>& seek = prefix_.empty() ? from_ : prefix_;
             !tree_->SeekKey(seek.data(), seek.size(), nullptr)) {
    db_->FailFromStorage();
    return false;
  }
  return true;
}

bool DBEngineCursor::Restart(const DBFilterRecord* filter) {
  if (!db_ || kind_ != Kind::kTable) return false;
  End();
  db_->ClearError();
  const std::vector<DBTableRef>& tables = db_->Tables();
  std::string unknown;
  if (std::find(tables.begin(), tables.end(), table_) == tables.end() ||
      !conditions_.Build(filter) || !conditions_.Resolve(*table_, &unknown))
    return false;
  tree_ = db_->OpenTable(*table_);
  movedIds_.clear();
  if (tree_ && Start({})) return true;
  End();
  return false;
}

// The "=" comparisons without function on the AND spine give the values of
// the leading key columns they name.
bool DBEngineCursor::PlanSeek(bool* none) {
  const std::vector<uint8_t>& keys = table_->keyColumns;
  const std::vector<DBCondition>& nodes = conditions_.Nodes();
  if (keys.empty() || conditions_.Empty()) return true;
  const DBCondition* equal[256] = {};
  std::vector<const DBCondition*>& bounds = bounds_;  // order comparisons on the first key column
  std::vector<int32_t>& spine = spine_;
  bounds.clear();
  spine.assign(1, conditions_.Root());
  while (!spine.empty()) {
    const int32_t index = spine.back();
    spine.pop_back();
    if (index < 0) continue;
    const DBCondition& node = nodes[size_t(index)];
    if (node.op == kDBOpAnd) {
      spine.push_back(node.left);
      spine.push_back(node.right);
    } else if (node.textMode != kDBTextExact || node.columnNumber < 0) {
      continue;
    } else if (node.op == kDBOpEqual && !equal[node.columnNumber]) {
      equal[node.columnNumber] = &node;
    } else if (node.op >= kDBOpLess && node.op <= kDBOpGreaterEqual && node.columnNumber == keys[0]) {
      bounds.push_back(&node);
    }
  }
  KeySlot slots[256];
  DBFieldListItem items[256];
  size_t count = 0;
  std::vector<StringRef> texts;
  for (uint8_t column : keys) {
    const DBCondition* node = equal[column];
    const uint8_t type = table_->ColumnNumbered(column)->type;
    if (!node || !IsSeekType(type)) break;
    const DBConditionValue& value = node->value;
    KeySlot& slot = slots[count];
    if (type == kDBFieldInt16 || type == kDBFieldInt32) {
      const bool small = type == kDBFieldInt16;
      int32_t wanted = 0;
      *none = !EqualInteger(value, small ? INT16_MIN : INT32_MIN, small ? INT16_MAX : INT32_MAX,
                            &wanted);
      if (small) {
        slot.smallint = int16_t(wanted);
      } else {
        slot.integer = wanted;
      }
    } else if (type == kDBFieldText) {
      texts.push_back(StringRef::Adopt(NewString(value.text, kEncodingASCII)));
      slot.text = texts.back().get();
    } else {
      const bool date = type == kDBFieldDate;
      *none = !(date ? value.dateReadable : value.timeReadable);
      for (int i = 0; i < 3; ++i) slot.parts[i] = uint16_t(date ? value.date[i] : value.time[i]);
    }
    if (*none) return true;
    items[count] = {column, type, int16_t(count * sizeof(KeySlot))};
    ++count;
  }
  if (count == 0) return PlanRange(bounds);
  return BuildKeyFromValues(db_->File(), items, count, slots, &prefix_);
}

// Order comparisons of an integer first key column bound the walk: it starts
// at the key of the lower bound's whole part and ends at the first row whose
// key column passes the upper bound. Every row left out fails one of the
// comparisons, as rows come in key order.
bool DBEngineCursor::PlanRange(const std::vector<const DBCondition*>& bounds) {
  const uint8_t column = table_->keyColumns[0];
  const uint8_t type = table_->ColumnNumbered(column)->type;
  if (type != kDBFieldInt16 && type != kDBFieldInt32) return true;
  const bool small = type == kDBFieldInt16;
  const double lowest = small ? INT16_MIN : INT32_MIN, highest = small ? INT16_MAX : INT32_MAX;
  double lower = -HUGE_VAL;
  for (const DBCondition* node : bounds) {
    // How the evaluator compares an integer field with the value.
    const DBConditionValue& value = node->value;
    const double bound = value.isNumber ? value.number : double(value.integer);
    if (std::isnan(bound)) continue;
    if (node->op == kDBOpGreater || node->op == kDBOpGreaterEqual) {
      lower = std::max(lower, bound);
    } else {
      upper_ = std::min(upper_, bound);
    }
  }
  if (!(lower >= lowest)) return true;
  KeySlot slot;
  const double from = std::floor(std::min(lower, highest));
  if (small) {
    slot.smallint = int16_t(from);
  } else {
    slot.integer = int32_t(from);
  }
  const DBFieldListItem item = {column, type, 0};
  return BuildKeyFromValues(db_->File(), &item, 1, &slot, &from_);
}

// Whether the current row's first key column passes the upper bound.
bool DBEngineCursor::PastUpperBound() {
  if (!(upper_ < HUGE_VAL)) return false;
  DBFieldValue& field = read_;
  return FieldOf(table_->keyColumns[0], &field) == DBFieldLookup::kFound &&
         (field.type == kDBFieldInt16 || field.type == kDBFieldInt32) && double(field.integer) > upper_;
}

bool DBEngineCursor::MoveNext() {
  if (!db_ || !tree_) return false;
  ReleaseValue();
  onRow_ = false;
  if (updated_) LeaveUpdatedRow();
  db_->File().ClearError();
  for (;;) {
    const bool next = prefix_.empty() ? tree_->NextMatching() : NextWithPrefix(*tree_, prefix_);
    if (!next) return End();
    ++g_rowsVisited;
    if (!Locate(tree_->CurrentEntry())) {
      db_->FailDamaged();
      return End();
    }
    if (PastUpperBound()) return End();
    // A row this cursor moved ahead of itself was visited under its old key.
    if (!movedIds_.empty() && movedIds_.count(EntryRecordId(tree_->CurrentEntry()))) continue;
    if (conditions_.Holds(*this)) return onRow_ = true;
  }
}

bool DBEngineCursor::End() {
  onRow_ = false;
  LeaveUpdatedRow();
  if (!tree_) return false;
  bool sound = db_->File().LastError().code == kDBErrorNone || db_->FailFromStorage();
  sound = (tree_->ReplaySpool() || db_->FailFromStorage()) && sound;
  if (sound && kind_ == Kind::kTable) db_->KeepTable(table_->id, std::move(tree_));
  if (sound && kind_ == Kind::kFieldSchema) db_->KeepFieldCatalog(std::move(tree_));
  tree_.reset();
  return false;
}

void DBEngineCursor::ForgetFields() {
  if (++generation_ == 0) {
    std::memset(stamp_, 0, sizeof stamp_);
    generation_ = 1;
  }
}

// Notes where each column's first field lies in the current row.
bool DBEngineCursor::Locate(const uint8_t* record) {
  ForgetFields();
  if (!record) return false;
  const uint32_t length = EntryLength(record);
  for (uint32_t offset = kDBRecordFieldsAt; offset < length;) {
    uint32_t size = 0;
    if (length - offset < 2 ||
        !StoredValueSize(record[offset + 1], record + offset + 2, length - offset - 2, &size))
      return false;
    const uint8_t column = record[offset];
    if (stamp_[column] != generation_) {
      stamp_[column] = generation_;
      offset_[column] = uint16_t(offset);
      size_[column] = uint16_t(size);
    }
    offset += 2 + size;
  }
  return true;
}

bool DBEngineCursor::FindUpdatedRow() {
  refind_ = false;
  ForgetFields();
  if (!tree_) return false;
  if (refindMoved_ && !walkTree_) {
    std::unique_ptr<DBTreeCursor> row = db_->OpenTable(*table_);
    if (!row) return false;
    walkTree_ = std::exchange(tree_, std::move(row));
  }
  // Found, the cursor stands on the row; else before the row after it,
  // which the walk's next move then gives.
  bool found = false;
  if (tree_->SeekKey(refindKey_.data(), refindKey_.size(), &found) && found &&
      tree_->NextMatching() && Locate(tree_->CurrentEntry()))
    return true;
  if (!refindMoved_) return false;
  // A moved row gone from its new key (a rollback undid the move): the
  // cursor stands on the record it moved from, live again after a rollback.
  LeaveUpdatedRow();
  return Locate(tree_->CurrentEntry());
}

const uint8_t* DBEngineCursor::LiveRecordToChange() {
  if (refind_) FindUpdatedRow();
  const uint8_t* record = tree_->CurrentEntry();
  if (record && EntryState(record) != kDBEntryLive) record = FollowReplacedRow(record);
  return record && EntryState(record) == kDBEntryLive ? record : nullptr;
}

bool DBEngineCursor::FoundAfterUpdate(uint8_t column) {
  return refind_ && FindUpdatedRow() && stamp_[column] == generation_;
}

const uint8_t* DBEngineCursor::FollowReplacedRow(const uint8_t* record) {
  if (table_->keyColumns.empty() || !BuildRecordKey(record, table_->Keys(), &refindKey_))
    return nullptr;
  updated_ = true;
  refindMoved_ = walkTree_ != nullptr;
  return FindUpdatedRow() ? tree_->CurrentEntry() : nullptr;
}

void DBEngineCursor::LeaveUpdatedRow() {
  updated_ = refind_ = refindMoved_ = false;
  if (walkTree_) db_->KeepTable(table_->id, std::exchange(tree_, std::move(walkTree_)));
}

void DBEngineCursor::RolledBack() {
  if (!updated_) return;
  refind_ = true;
  ForgetFields();
}

DBFieldLookup DBEngineCursor::FieldOf(uint8_t column, DBFieldValue* field) {
  field->Clear();
  if (!tree_ || (stamp_[column] != generation_ && !FoundAfterUpdate(column)))
    return DBFieldLookup::kAbsent;
  const uint8_t* record = tree_->CurrentEntry();
  if (!record) return DBFieldLookup::kAbsent;
  const uint8_t* at = record + offset_[column];
  DecodeStoredValue(at[1], at + 2, size_[column], field);
  return DBFieldLookup::kFound;
}

DBFieldLookup DBEngineCursor::Field(const DBCondition& comparison, DBFieldValue* field) {
  if (comparison.columnNumber < 0 || comparison.columnNumber > 255) {
    *field = DBFieldValue();
    return DBFieldLookup::kAbsent;
  }
  return FieldOf(uint8_t(comparison.columnNumber), field);
}

bool DBEngineCursor::Blob(int32_t id, std::vector<uint8_t>* bytes) {
  return ReadBlob(*db_, id, bytes);
}

// ---- Values ----------------------------------------------------------------------------

void DBEngineCursor::ColumnValue(int32_t index, const void** data, int32_t* type,
                                 int32_t* length) {
  *data = nullptr;
  *type = 0;
  *length = 0;
  if (!db_ || !onRow_ || index < 0 || index >= ColumnCount()) return;
  if (kind_ == Kind::kFieldSchema) return FieldSchemaValue(index, data, type, length);
  const Column& column = columns_[size_t(index)];
  DBFieldValue& field = read_;
  if (FieldOf(column.number, &field) != DBFieldLookup::kFound) return;
  *type = field.type;
  switch (field.type) {
    case kDBFieldInt16: value_.smallint = int16_t(field.integer); *length = 2; break;
    case kDBFieldInt32: value_.integer = field.integer; *length = 4; break;
    case kDBFieldSingle: value_.single = float(field.real); *length = 4; break;
    case kDBFieldDouble: value_.real = field.real; *length = 8; break;
    case kDBFieldBoolean: value_.boolean = uint8_t(field.integer); *length = 1; break;
    case kDBFieldDate:
    case kDBFieldTime:
      *data = field.stored;
      *length = 6;
      return;
    case kDBFieldBlobId:
    case kDBFieldBlobId2:
      if (!LiveBlobField(column.number, &field) || !ReadBlob(*db_, field.integer, &blob_)) {
        *type = 0;
        return;
      }
      *type = ReportedType(field.type, column.type);
      *data = blob_.data();
      *length = int32_t(blob_.size());
      return;
    default:  // text and raw bytes
      *data = field.bytes;
      *length = int32_t(field.length);
      return;
  }
  *data = &value_;
}

bool DBEngineCursor::LiveBlobField(uint8_t column, DBFieldValue* field) {
  const uint8_t* record = tree_->CurrentEntry();
  if (record && EntryState(record) == kDBEntryLive) return true;
  record = record ? FollowReplacedRow(record) : nullptr;
  return record && EntryState(record) == kDBEntryLive &&
         FieldOf(column, field) == DBFieldLookup::kFound && IsBlobId(field->type);
}

void DBEngineCursor::FieldSchemaValue(int32_t index, const void** data, int32_t* type,
                                      int32_t* length) {
  DBFieldValue field;
  const bool present = FieldOf(columns_[size_t(index)].number, &field) == DBFieldLookup::kFound;
  const bool integer = present && (field.type == kDBFieldInt16 || field.type == kDBFieldInt32);
  *data = &value_;
  switch (index) {
    case 0:  // ColumnName
      if (present && (field.type == kDBFieldText || field.type == kDBFieldBytes)) {
        *type = kDBFieldText;
        *data = field.bytes;
        *length = int32_t(field.length);
      } else {
        *data = nullptr;
      }
      return;
    case 1:  // FieldType
      value_.smallint = int16_t(integer ? field.integer : 255);
      *type = kDBFieldInt16;
      *length = 2;
      return;
    case 2:  // IsPrimary
    case 3:  // NotNull
      value_.boolean = index == 2 ? integer && field.integer != 0 : !integer || field.integer == 0;
      *type = kDBFieldBoolean;
      *length = 1;
      return;
    default:  // Length
      value_.integer = 0;
      *type = kDBFieldInt32;
      *length = 4;
      return;
  }
}

void DBEngineCursor::ReleaseValue() { blob_.clear(); }

int32_t DBEngineCursor::ColumnType(int32_t index) {
  if (index < 0 || index >= ColumnCount()) return -1;
  const Column& column = columns_[size_t(index)];
  DBFieldValue field;
  if (!db_ || !onRow_ || FieldOf(column.number, &field) != DBFieldLookup::kFound)
    return column.type;
  return ReportedType(field.type, column.type);
}

// ---- Locators --------------------------------------------------------------------------

bool DBEngineCursor::Locator(int32_t index) {
  if (!db_ || !onRow_ || kind_ != Kind::kTable || index < 0 || index >= ColumnCount()) return false;
  // Built in place: both keep their room from call to call.
  const StringRecord* name = columns_[size_t(index)].name.get();
  target_.assign(table_->name).append(1, '!');
  target_.append(reinterpret_cast<const char*>(StringData(name)), StringLength(name));
  condition_.clear();
  for (uint8_t column : table_->keyColumns) {
    if (!condition_.empty()) condition_ += " and ";
    condition_.append(table_->ColumnNumbered(column)->name).append(1, '=');
    if (!AppendKeyValue(column)) return false;
  }
  return true;
}

bool DBEngineCursor::AppendKeyValue(uint8_t column) {
  DBFieldValue field;
  if (FieldOf(column, &field) != DBFieldLookup::kFound) return true;
  switch (field.type) {
    case kDBFieldInt16:
    case kDBFieldInt32: {
      char digits[12];
      condition_.append(digits, std::to_chars(digits, digits + sizeof digits, field.integer).ptr);
      return true;
    }
    case kDBFieldText: condition_ += Quoted(field.bytes, field.length); return true;
    case kDBFieldSingle:
    case kDBFieldDouble: {
      StringRef text = StringRef::Adopt(NumberToString(field.real, 17, kNumberGeneral));
      condition_ += StringBytes(text.get());
      return true;
    }
    case kDBFieldDate: condition_ += Parts(field.parts, '-'); return true;
    case kDBFieldTime: condition_ += Parts(field.parts, ':'); return true;
    default: return false;
  }
}

// ---- Changes ---------------------------------------------------------------------------

bool DBEngineCursor::DeleteRow() {
  if (!db_ || !onRow_ || kind_ != Kind::kTable) return false;
  db_->ClearError();
  const uint8_t* record = LiveRecordToChange();
  if (!record) return false;
  std::vector<int32_t> blobs;
  DBFieldValue field;
  for (uint32_t column = 0; column < 256; ++column)
    if (HasField(uint8_t(column)) && FieldOf(uint8_t(column), &field) == DBFieldLookup::kFound &&
        IsBlobId(field.type))
      blobs.push_back(field.integer);
  if (!DeleteCurrentRecord(*tree_)) return db_->FailFromStorage();
  bool deleted = true;
  for (int32_t id : blobs) deleted = DeleteBlob(*db_, id) && deleted;
  return deleted;
}

// The new record is refused with 2006 when it or its key is too long, and
// with 2005 when its key changed to one another live row holds; newKey
// receives the changed key (empty when the key stays).
bool DBEngineCursor::CanReplace(const uint8_t* record, const std::vector<uint8_t>& fresh,
                                std::vector<uint8_t>* newKey) {
  newKey->clear();
  if (fresh.size() >= kDBRecordLengthLimit) return db_->FailWith(kDBErrorTooLong);
  if (table_->keyColumns.empty()) return true;
  std::vector<uint8_t>& oldKey = oldKey_;
  if (!BuildRecordKey(fresh.data(), table_->Keys(), newKey) ||
      !BuildRecordKey(record, table_->Keys(), &oldKey) || newKey->size() > kDBMaxKeyLength)
    return db_->FailWith(kDBErrorTooLong);
  if (*newKey == oldKey) {
    newKey->clear();
    return true;
  }
  bool held = false;
  std::unique_ptr<DBTreeCursor> other = db_->OpenTable(*table_);
  if (!other || !other->SeekKey(newKey->data(), newKey->size(), &held)) return db_->FailFromStorage();
  return !held || db_->FailWith(kDBErrorDuplicateKey);
}

// The new record goes in at its key's place first (refused before anything
// changes), then the old one is deleted: no moment holds neither, and a
// later insert of the key meets the moved row. When the old one cannot be
// deleted, the new one is taken out again.
bool DBEngineCursor::MoveRow(const std::vector<uint8_t>& fresh, const std::vector<uint8_t>& key) {
  std::unique_ptr<DBTreeCursor> other = db_->OpenTable(*table_);
  std::vector<uint8_t> moved(fresh);
  if (!other || !other->InsertRecord(moved.data(), moved.size(), true, true)) return false;
  // A keyless row's key is the id the insert just gave it.
  std::vector<uint8_t>& at = refindKey_;
  at = key;
  if (at.empty() && !BuildRecordKey(moved.data(), table_->Keys(), &at)) at.clear();
  if (!DeleteCurrentRecord(*tree_)) {
    bool found = false;
    if (!at.empty() && other->SeekKey(at.data(), at.size(), &found) && found &&
        other->NextMatching())
      DeleteCurrentRecord(*other);
    return false;
  }
  movedIds_.insert(EntryRecordId(moved.data()));
  db_->KeepTable(table_->id, std::move(other));
  return true;
}

bool DBEngineCursor::Update(const DBPendingValue* values) {
  if (!db_ || !onRow_ || kind_ != Kind::kTable) return false;
  db_->ClearError();
  const uint8_t* record = LiveRecordToChange();
  if (!record) return false;
  row_.Reset();
  for (const DBPendingValue* value = values; value; value = value->next) {
    if (value->column < 0 || value->column >= ColumnCount())
      return db_->Fail(2003, "Unknown column " + std::to_string(value->column));
    const DBTableColumn* column = table_->ColumnNumbered(columns_[size_t(value->column)].number);
    if (!row_.Has(column->number) && !row_.Set(*db_, *column, value->value)) return false;
  }
  if (!row_.WriteBlobs(*db_)) return false;

  // The row's fields with the changed ones replaced; the old BLOBs of those.
  record = tree_->CurrentEntry();
  DBRecordWriter& writer = writer_;
  writer.Begin();
  std::vector<int32_t> oldBlobs;
  DBFieldValue field;
  for (uint32_t number = 0; number < 256; ++number) {
    const uint8_t column = uint8_t(number);
    const bool present = HasField(column) && FieldOf(column, &field) == DBFieldLookup::kFound;
    if (row_.Has(column)) {
      if (present && IsBlobId(field.type)) oldBlobs.push_back(field.integer);
      writer.AddField(column, row_.Field(column));
    } else if (present) {
      writer.AddStored(column, field.type, field.stored, field.storedLength);
    }
  }
  const std::vector<uint8_t>& fresh = writer.Finish();
  std::vector<uint8_t>& newKey = newKey_;
  bool written = CanReplace(record, fresh, &newKey);
  // A keyless row takes a new id, which is its key in the tree: it moves at
  // once as a row whose key changed does, instead of waiting in the tree
  // cursor's spool, which a commit while this cursor is open would miss.
  const bool moves = !newKey.empty() || table_->keyColumns.empty();
  if (written && !(moves ? MoveRow(fresh, newKey)
                         : UpdateCurrentRecord(*tree_, fresh.data(), fresh.size())))
    written = db_->FailFromStorage();
  if (!written) {
    row_.DeleteBlobs(*db_);
    return false;
  }
  // The cursor goes on standing on the row: at its new key, or before the
  // old record at the same key.
  if (!moves) refindKey_.assign(oldKey_.begin(), oldKey_.end());
  updated_ = refind_ = true;
  refindMoved_ = moves || walkTree_;
  ForgetFields();
  // A moved row changed again in place lies ahead of the walk still: its
  // new record is passed over too.
  if (!moves && walkTree_ && FindUpdatedRow() && walkTree_)
    movedIds_.insert(EntryRecordId(tree_->CurrentEntry()));
  bool deleted = true;
  for (int32_t id : oldBlobs) deleted = DeleteBlob(*db_, id) && deleted;
  return deleted;
}

// ---- Opening ---------------------------------------------------------------------------

DBEngineCursor* OpenTableCursor(DBEngineDatabase& db, const StringRecord* tableName,
                                const DBColumnSelection* selection, const DBFilterRecord* filter) {
  db.ClearError();
  DBTableRef table = db.FindTable(tableName);
  if (!table) {
    db.Fail(2003, "Unknown table " + StringBytes(tableName));
    return nullptr;
  }
  if (table->damaged) {
    db.FailDamaged();
    return nullptr;
  }
  // A kept cursor is filled in place; on a failure it goes back unarmed.
  std::unique_ptr<DBEngineCursor> cursor = db.TakeCursor();
  if (!cursor) cursor.reset(new DBEngineCursor());
  const auto fail = [&db, &cursor](int32_t code, std::string text) -> DBEngineCursor* {
    if (code) db.Fail(code, std::move(text));
    cursor->Disarm();
    db.KeepCursor(std::move(cursor));
    return nullptr;
  };
  std::vector<DBEngineCursor::Column>& columns = cursor->columns_;
  for (const DBColumnSelection* wanted = selection; wanted; wanted = wanted->next) {
    const uint8_t* name = StringData(wanted->name);
    const size_t length = StringLength(wanted->name);
    if (length == 1 && name[0] == '*') {
      for (const DBTableColumn& column : table->columns) columns.push_back(MakeColumn(column));
      continue;
    }
    const DBTableColumn* column = table->FindColumn(name, length);
    if (!column) return fail(2003, "Unknown column " + StringBytes(wanted->name));
    columns.push_back(MakeColumn(*column));
  }
  DBConditionTree& conditions = cursor->conditions_;
  std::string unknown;
  if (!conditions.Build(filter)) return fail(2003, "Invalid condition");
  if (!conditions.Resolve(*table, &unknown)) return fail(2003, "Unknown column " + unknown);
  std::unique_ptr<DBTreeCursor> tree = db.OpenTable(*table);
  if (!tree) return fail(0, {});
  cursor->db_ = &db;
  cursor->table_ = std::move(table);
  cursor->tree_ = std::move(tree);
  db.AddCursor(cursor.get());
  if (cursor->Start({})) return cursor.release();
  CloseEngineCursor(cursor.release());
  return nullptr;
}

DBEngineCursor* OpenTableSchemaCursor(DBEngineDatabase& db) {
  db.ClearError();
  std::unique_ptr<DBTreeCursor> tree = db.OpenTree(kDBTablesName, {kTablesKey, 1});
  if (!tree) return nullptr;
  std::vector<DBEngineCursor::Column> columns;
  columns.push_back(MakeColumn("TableName", 1, kDBFieldText));
  return new DBEngineCursor(db, DBEngineCursor::Kind::kTableSchema, nullptr, std::move(tree),
                            std::move(columns));
}

DBEngineCursor* OpenFieldSchemaCursor(DBEngineDatabase& db, const StringRecord* tableName) {
  db.ClearError();
  const DBTableRef table = db.FindTable(tableName);
  if (!table) {
    db.Fail(2003, "Unknown table " + StringBytes(tableName));
    return nullptr;
  }
  std::vector<uint8_t> prefix;
  std::unique_ptr<DBTreeCursor> tree = db.OpenFieldCatalog();
  if (!tree || !TableIdPrefix(db.File(), table->id, &prefix)) return nullptr;
  std::vector<DBEngineCursor::Column> columns;
  columns.push_back(MakeColumn("ColumnName", 2, kDBFieldText));
  columns.push_back(MakeColumn("FieldType", 4, kDBFieldInt16));
  columns.push_back(MakeColumn("IsPrimary", 5, kDBFieldBoolean));
  columns.push_back(MakeColumn("NotNull", 3, kDBFieldBoolean));
  columns.push_back(MakeColumn("Length", 0, kDBFieldInt32));
  auto cursor = std::make_unique<DBEngineCursor>(db, DBEngineCursor::Kind::kFieldSchema, table,
                                                 std::move(tree), std::move(columns));
  return cursor->Start(std::move(prefix)) ? cursor.release() : nullptr;
}

#ifdef _WINDOWS_
#error "The engine's tables stay portable: no <windows.h>."
#endif
