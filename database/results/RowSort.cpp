// The sort: runs under a memory budget, then merges.
#include "database/results/RowSort.h"

#include <algorithm>
#include <queue>
#include <utility>

namespace {

// A merge keeps one buffer per run: a small one for the run's index.
constexpr size_t kIndexBufferSize = 8 * 1024;
// What a row costs the budget beyond its bytes in the row form: 8 for the
// row and 16 for each value, less the value's 6-byte header.
constexpr int64_t kRowCharge = 8;
constexpr int64_t kValueCharge = 16 - 6;

}  // namespace

RowSorter::RowSorter(const DBSortKey* keys, int32_t keyCount, int32_t columns, Limits limits)
    : keys_(keys), keyCount_(std::max(keyCount, 0)), columns_(std::max(columns, 0)),
      limits_(limits) {
  limits_.mergeWidth = std::max<size_t>(limits_.mergeWidth, 2);
}

bool RowSorter::Add(const std::string& row) {
  const int64_t charge = int64_t(row.size()) + kRowCharge + kValueCharge * columns_;
  if (charge > limits_.runBudget - used_ && !run_.empty() && !FlushRun()) return false;
  const size_t offset = runBytes_.size();
  const size_t startCount = runStarts_.size();
  runBytes_ += row;
  if (!FindRowValues(runBytes_, offset, runBytes_.size(), &runStarts_) ||
      runStarts_.size() - startCount != size_t(columns_)) {
    runBytes_.resize(offset);
    runStarts_.resize(startCount);
    return false;
  }
  run_.push_back({uint32_t(offset), uint32_t(row.size())});
  used_ += charge;
  // A row over the whole budget is a run of its own.
  return used_ <= limits_.runBudget || FlushRun();
}

void RowSorter::SortRun() {
  // Each row's values, found once: a sort compares each row many times.
  values_.resize(run_.size() * size_t(columns_));
  for (size_t row = 0; row < run_.size(); ++row) {
    const RowView view = View(int32_t(row));
    for (int32_t column = 0; column < columns_; ++column)
      values_[row * size_t(columns_) + size_t(column)] = view.Value(column);
  }
  // Reversed first, so that the stable sort puts the later of equal rows
  // first.
  order_.resize(run_.size());
  for (size_t i = 0; i < order_.size(); ++i) order_[i] = int32_t(order_.size() - 1 - i);
  std::stable_sort(order_.begin(), order_.end(),
                   [this](int32_t a, int32_t b) { return CompareRunRows(a, b) < 0; });
}

int32_t RowSorter::CompareRunRows(int32_t a, int32_t b) const {
  const DBValueView* x = values_.data() + size_t(a) * size_t(columns_);
  const DBValueView* y = values_.data() + size_t(b) * size_t(columns_);
  return CompareRowValues(x, columns_, y, columns_, keys_, keyCount_);
}

bool RowSorter::FlushRun() {
  if (!spool_) spool_ = RowSpool::Make();
  if (!spool_) return false;
  SortRun();
  runs_.push_back({spool_->Count(), int32_t(run_.size())});
  const bool written = WriteRun(spool_.get());
  runBytes_.clear();
  runStarts_.clear();
  run_.clear();
  used_ = 0;
  return written;
}

bool RowSorter::WriteRun(RowSpool* spool) const {
  for (const int32_t row : order_) {
    const RunRow& at = run_[size_t(row)];
    if (!spool->Append(runBytes_.data() + at.offset, at.length)) return false;
  }
  return true;
}

std::unique_ptr<RowSpool> RowSorter::Finish() {
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
    for (size_t begin = 0; begin < runs_.size(); begin += limits_.mergeWidth) {
      const size_t end = std::min(runs_.size(), begin + limits_.mergeWidth);
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
bool RowSorter::Merge(RowSpool* from, const std::vector<Run>& runs, size_t begin, size_t end,
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

#ifdef _WINDOWS_
#error "The sort stays portable: no <windows.h>."
#endif
