// The sorted and grouped results' cursor.
#include "database/results/SpooledResult.h"

#include <utility>

#include "core/string.h"
#include "database/api/RecordSet.h"
#include "database/results/ValueOrder.h"

namespace {

class SpooledResult {
 public:
  SpooledResult(std::unique_ptr<RowSpool> spool, int32_t columns, int32_t shown,
                std::vector<StringRef> names)
      : spool_(std::move(spool)), columns_(columns), shown_(shown), names_(std::move(names)) {}

  int32_t ColumnCount() const { return shown_; }
  StringRecord* ColumnName(int32_t index) const {
    if (index < 0 || size_t(index) >= names_.size()) return nullptr;
    return StringAddRef(names_[size_t(index)].get());
  }
  DBValueView ColumnValue(int32_t index) {
    const SpooledRow* row = index >= 0 && index < shown_ ? CurrentRow() : nullptr;
    return row ? row->Value(index) : DBValueView();
  }
  const SpooledRow* CurrentRow() {
    if (current_ < 0 || current_ >= spool_->Count()) return nullptr;
    if (loaded_ != current_) Load();
    return &row_;
  }
  int32_t ShownCount() const { return shown_; }
  bool MoveNext() {
    if (current_ < spool_->Count()) ++current_;
    return current_ < spool_->Count();
  }
  void MovePrev() {
    if (current_ > 0) --current_;
  }
  void MoveFirst() { current_ = 0; }
  void MoveLast() {
    if (spool_->Count() > 0) current_ = spool_->Count() - 1;
  }

 private:
  void Load() {
    loaded_ = current_;
    if (!spool_->Read(current_, &buffer_) || !row_.Parse(&buffer_, columns_)) row_.Clear();
  }

  std::unique_ptr<RowSpool> spool_;
  int32_t columns_;
  int32_t shown_;
  std::vector<StringRef> names_;
  int32_t current_ = -1;
  int32_t loaded_ = -1;
  SpooledRow row_;
  std::string buffer_;  // the bytes of the row loaded before
};

SpooledResult& Of(DBHandle handle) { return *reinterpret_cast<SpooledResult*>(handle); }

void DB_CDECL CloseSlot(DBHandle handle) { delete &Of(handle); }
int32_t DB_CDECL ColumnCountSlot(DBHandle handle) { return Of(handle).ColumnCount(); }
StringRecord* DB_CDECL ColumnNameSlot(DBHandle handle, int32_t index) {
  return Of(handle).ColumnName(index);
}
void DB_CDECL ColumnValueSlot(DBHandle handle, int32_t index, const void** data, int32_t* type,
                              int32_t* length) {
  const DBValueView value = Of(handle).ColumnValue(index);
  *data = value.data;
  *type = value.type;
  *length = int32_t(value.length);
}
void DB_CDECL ReleaseValueSlot(DBHandle) {}
uint8_t DB_CDECL MoveNextSlot(DBHandle handle) { return Of(handle).MoveNext(); }
void DB_CDECL MovePrevSlot(DBHandle handle) { Of(handle).MovePrev(); }
void DB_CDECL MoveFirstSlot(DBHandle handle) { Of(handle).MoveFirst(); }
void DB_CDECL MoveLastSlot(DBHandle handle) { Of(handle).MoveLast(); }

template <class Function>
DBWord Slot(Function* function) {
  return reinterpret_cast<DBWord>(function);
}

DBCursorDefinition* SpooledResultTable() {
  static DBCursorDefinition table = {{
      kDBInterfaceVersion, 0, Slot(CloseSlot), Slot(ColumnCountSlot), Slot(ColumnNameSlot), 0,
      Slot(ColumnValueSlot), Slot(ReleaseValueSlot), Slot(MoveNextSlot), 0, 0, 0, 0, 0,
      Slot(MovePrevSlot), Slot(MoveFirstSlot), Slot(MoveLastSlot), 0,
  }};
  return &table;
}

}  // namespace

const SpooledRow* SpooledResultRow(const RecordSetFields* set, int32_t* shown) {
  if (!set->handle || set->definition != SpooledResultTable()) return nullptr;
  SpooledResult& result = Of(set->handle);
  *shown = result.ShownCount();
  return result.CurrentRow();
}

RuntimeObject* NewSpooledResult(std::unique_ptr<RowSpool> spool, int32_t columns, int32_t shown,
                                std::vector<StringRef> names) {
  auto* result = new SpooledResult(std::move(spool), columns, shown, std::move(names));
  RuntimeObject* set =
      TOVAdbCursorFromDBCursor(reinterpret_cast<DBHandle>(result), SpooledResultTable());
  if (!set) delete result;
  return set;
}
