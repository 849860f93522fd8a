// The sort: runs under a memory budget, then merges.
#include "database/results/SortBuilder.h"

#include <algorithm>
#include <memory>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "database/api/RecordSet.h"
#include "database/results/BuilderSource.h"
#include "database/results/SpooledResult.h"
#include "database/results/ValueOrder.h"

namespace {

constexpr int64_t kRunBudget = 640000;
constexpr size_t kMergeWidth = 64;
// A merge keeps one buffer per run: a small one for the run's index.
constexpr size_t kIndexBufferSize = 8 * 1024;

struct Run {
  int32_t first;
  int32_t count;
};

class Sorter {
 public:
  Sorter(const DBSortKey* keys, int32_t keyCount, int32_t columns)
      : keys_(keys), keyCount_(keyCount), columns_(columns) {}

  bool Drain(BuilderSource& source);
  // The sorted rows, or null on a spool failure.
  std::unique_ptr<RowSpool> Finish();

 private:
  // A row of the run: where its bytes lie in the run's bytes; its values
  // start at starts_[index * columns_].
  struct RunRow {
    uint32_t offset;
    uint32_t length;
  };
  RowView View(int32_t row) const {
    return {runBytes_.data(), runStarts_.data() + size_t(row) * size_t(columns_), columns_};
  }
  void SortRun();
  bool FlushRun();
  bool Runs();
  bool WriteRun(RowSpool* spool) const;
  bool Merge(RowSpool* from, const std::vector<Run>& runs, size_t begin, size_t end,
             RowSpool* to) const;

  const DBSortKey* keys_;
  int32_t keyCount_;
  int32_t columns_;
  // The run being captured: the rows' bytes one after another, the starts of
  // their values, and the rows in their sorted order once sorted. Kept from
  // run to run with their room.
  std::string runBytes_;
  std::vector<uint32_t> runStarts_;
  std::vector<RunRow> run_;
  std::vector<int32_t> order_;
  int64_t used_ = 0;
  std::unique_ptr<RowSpool> spool_;  // the runs written so far
  std::vector<Run> runs_;
};

bool Sorter::Drain(BuilderSource& source) {
  std::string row;
  while (!source.AtEnd()) {
    row.clear();
    const int64_t charge = source.Capture(&row, columns_);
    if (charge > kRunBudget - used_ && !run_.empty() && !FlushRun()) return false;
    const size_t offset = runBytes_.size();
    runBytes_ += row;
    FindRowValues(runBytes_, offset, runBytes_.size(), &runStarts_);
    run_.push_back({uint32_t(offset), uint32_t(row.size())});
    used_ += charge;
    // A row over the whole budget is a run of its own.
    if (used_ > kRunBudget && !FlushRun()) return false;
    if (!source.Next()) return false;
  }
  return true;
}

bool Sorter::Runs() {
  if (!spool_) spool_ = RowSpool::Make();
  return spool_ != nullptr;
}

void Sorter::SortRun() {
  // Reversed first, so that the stable sort puts the later of equal rows
  // first.
  order_.resize(run_.size());
  for (size_t i = 0; i < order_.size(); ++i) order_[i] = int32_t(order_.size() - 1 - i);
  std::stable_sort(order_.begin(), order_.end(), [this](int32_t a, int32_t b) {
    return CompareRows(View(a), View(b), keys_, keyCount_) < 0;
  });
}

bool Sorter::FlushRun() {
  if (!Runs()) return false;
  SortRun();
  runs_.push_back({spool_->Count(), int32_t(run_.size())});
  const bool written = WriteRun(spool_.get());
  runBytes_.clear();
  runStarts_.clear();
  run_.clear();
  used_ = 0;
  return written;
}

bool Sorter::WriteRun(RowSpool* spool) const {
  for (const int32_t row : order_) {
    const RunRow& at = run_[size_t(row)];
    if (!spool->Append(runBytes_.data() + at.offset, at.length)) return false;
  }
  return true;
}

std::unique_ptr<RowSpool> Sorter::Finish() {
  if (runs_.empty()) {
    // Everything fitted in memory: no run spool.
    std::unique_ptr<RowSpool> result = RowSpool::Make();
    SortRun();
    if (!result || !WriteRun(result.get())) return nullptr;
    return result;
  }
  if (!run_.empty() && !FlushRun()) return nullptr;
  for (;;) {
    std::unique_ptr<RowSpool> merged = RowSpool::Make();
    if (!merged) return nullptr;
    std::vector<Run> next;
    for (size_t begin = 0; begin < runs_.size(); begin += kMergeWidth) {
      const size_t end = std::min(runs_.size(), begin + kMergeWidth);
      next.push_back({merged->Count(), 0});
      if (!Merge(spool_.get(), runs_, begin, end, merged.get())) return nullptr;
      next.back().count = merged->Count() - next.back().first;
    }
    if (next.size() == 1) return merged;
    spool_ = std::move(merged);
    runs_ = std::move(next);
  }
}

// Merges runs [begin, end) of one spool into another.
bool Sorter::Merge(RowSpool* from, const std::vector<Run>& runs, size_t begin, size_t end,
                   RowSpool* to) const {
  struct Head {
    SpooledRow row;
    int32_t run;
    int32_t next;
    int32_t end;
    SpoolFile::ReadBuffer index;
    SpoolFile::ReadBuffer data;
    std::string bytes;  // the buffer the row before this one used
  };
  std::vector<Head> heads(end - begin);
  auto read = [from, this](Head& head) {
    return from->Read(head.next++, &head.bytes, &head.index, &head.data) &&
           head.row.Parse(&head.bytes, columns_);
  };
  // The heap's top is the row to write next; of equal rows the later run's.
  auto after = [this, &heads](int32_t a, int32_t b) {
    const int32_t order = CompareRows(heads[size_t(a)].row, heads[size_t(b)].row, keys_, keyCount_);
    return order > 0 || (order == 0 && heads[size_t(a)].run < heads[size_t(b)].run);
  };
  std::priority_queue<int32_t, std::vector<int32_t>, decltype(after)> queue(after);
  for (size_t i = 0; i < heads.size(); ++i) {
    Head& head = heads[i];
    const Run& run = runs[begin + i];
    head.run = int32_t(i);
    head.next = run.first;
    head.end = run.first + run.count;
    head.index.capacity = kIndexBufferSize;
    if (head.next < head.end) {
      if (!read(head)) return false;
      queue.push(int32_t(i));
    }
  }
  while (!queue.empty()) {
    Head& head = heads[size_t(queue.top())];
    queue.pop();
    if (!to->Append(head.row.Bytes().data(), head.row.Bytes().size())) return false;
    if (head.next < head.end) {
      if (!read(head)) return false;
      queue.push(head.run);
    }
  }
  return true;
}

std::vector<StringRef> ShownNames(RecordSetFields* fields, int32_t shown) {
  std::vector<StringRef> names;
  for (int32_t column = 0; column < shown; ++column)
    names.push_back(StringRef::Adopt(RecordSetColumnName(fields, column)));
  return names;
}

}  // namespace

RuntimeObject* BuildSortedResult(RuntimeObject* source, int32_t keyCount, const DBSortKey* keys,
                                 int32_t hidden) {
  if (!RecordSetArgument(source)) return nullptr;
  BuilderSource drained(source);
  const int32_t columns = drained.Closed() ? 0 : drained.ColumnCount();
  const int32_t shown = columns - std::clamp(hidden, 0, columns);
  std::vector<StringRef> names = ShownNames(drained.fields(), shown);
  Sorter sorter(keys, std::max(keyCount, 0), columns);
  std::unique_ptr<RowSpool> sorted;
  if (!sorter.Drain(drained) || !(sorted = sorter.Finish()) || !sorted->Flush()) {
    drained.Fail();
    return nullptr;
  }
  return NewSpooledResult(std::move(sorted), columns, shown, std::move(names));
}
