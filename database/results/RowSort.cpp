// The sort: runs under a memory budget, then merges.
#include "database/results/RowSort.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace {

// A merge keeps two buffers per run: a small one for the run's index, and
// one for its rows that shrinks as runs grow many, so that together they
// stay near kMergeBuffers.
constexpr size_t kIndexBufferSize = 8 * 1024;
constexpr size_t kMergeBuffers = 4 * 1024 * 1024;
constexpr size_t kLeastDataBuffer = 16 * 1024;
// What a row costs the budget beyond its bytes in the row form: 8 for the
// row and 16 for each value, less the value's 6-byte header.
constexpr int64_t kRowCharge = 8;
constexpr int64_t kValueCharge = 16 - 6;
// The run's bytes start with this much room and double as they need.
constexpr size_t kLeastRunBytes = 4096;
// Once a run holds this many rows its lists take room at once for as many
// rows of their size as the budget holds: a sort this large mostly fills
// its runs, and growing by doubling would copy and touch them again.
constexpr int32_t kRowsBeforeReserving = 1024;

// Stores the rows it takes.
class SpoolWriter final : public RowSorter::Receiver {
 public:
  explicit SpoolWriter(RowSpool* spool) : spool_(spool) {}
  bool TakesValues() const override { return false; }
  bool Take(const char* bytes, size_t length, const DBValueView*) override {
    return spool_->Append(bytes, length);
  }

 private:
  RowSpool* spool_;
};

}  // namespace

RowSorter::RowSorter(const DBSortKey* keys, int32_t keyCount, int32_t columns, Limits limits)
    : keys_(keys), keyCount_(std::max(keyCount, 0)), columns_(std::max(columns, 0)),
      limits_(limits) {
  limits_.mergeWidth = std::max<size_t>(limits_.mergeWidth, 2);
  // As CompareRowValues reads them: the keys, then the other columns from
  // the first, ascending.
  if (keyCount_ == 0) {
    first_ = {0, false};
    second_ = {1, false};
  } else {
    first_ = {keys_[0].column, keys_[0].descending != 0};
    if (keyCount_ > 1) {
      second_ = {keys_[1].column, keys_[1].descending != 0};
    } else {
      second_ = {keys_[0].column == 0 ? 1 : 0, false};
    }
  }
}

bool RowSorter::Add(const std::string& row) {
  StartRow();
  if (!FindRowValues(row, 0, row.size(), &runStarts_)) {
    runStarts_.resize(rowValues_);
    return false;
  }
  for (size_t i = rowValues_; i < runStarts_.size(); ++i) runStarts_[i] += uint32_t(rowStart_);
  if (!row.empty()) std::memcpy(Room(row.size()), row.data(), row.size());
  runLength_ += row.size();
  return EndRow();
}

void RowSorter::StartRow() {
  rowStart_ = runLength_;
  rowValues_ = runStarts_.size();
}

void RowSorter::AddValue(const DBValueView& value) {
  runStarts_.push_back(uint32_t(runLength_));
  runLength_ += WriteRowValue(Room(RowValueSize(value)), value);
}

bool RowSorter::EndRow() {
  if (runStarts_.size() - rowValues_ != size_t(columns_)) {
    runLength_ = rowStart_;
    runStarts_.resize(rowValues_);
    return false;
  }
  const size_t length = runLength_ - rowStart_;
  const int64_t charge = int64_t(length) + kRowCharge + kValueCharge * columns_;
  if (charge > limits_.runBudget - used_ && !run_.empty() && !StartNextRun()) return false;
  const auto row = int32_t(run_.size());
  if (row == kRowsBeforeReserving) ReserveRun();
  run_.push_back({uint32_t(rowStart_), uint32_t(length)});
  const RowView view = View(row);
  order_.push_back({PrefixesOf(view.Value(first_.column), view.Value(second_.column)), row});
  used_ += charge;
  // A row over the whole budget is a run of its own.
  return used_ <= limits_.runBudget || FlushRun();
}

bool RowSorter::StartNextRun() {
  const std::string row(runBytes_.data() + rowStart_, runLength_ - rowStart_);
  const std::vector<uint32_t> starts(runStarts_.begin() + std::ptrdiff_t(rowValues_), runStarts_.end());
  runLength_ = rowStart_;
  runStarts_.resize(rowValues_);
  if (!FlushRun()) return false;
  if (!row.empty()) std::memcpy(Room(row.size()), row.data(), row.size());
  runLength_ = row.size();
  for (const uint32_t start : starts) runStarts_.push_back(start - uint32_t(rowStart_));
  rowStart_ = 0;
  rowValues_ = 0;
  return true;
}

void RowSorter::ReserveRun() {
  const auto rows = size_t(limits_.runBudget / std::max<int64_t>(used_ / run_.size(), 1)) + 1;
  run_.reserve(rows);
  order_.reserve(rows);
  runStarts_.reserve(rows * size_t(columns_));
  runBytes_.reserve(runLength_ / run_.size() * rows);
}

char* RowSorter::Room(size_t count) {
  if (runLength_ + count > runBytes_.size())
    runBytes_.resize(std::max({runBytes_.size() * 2, runLength_ + count, kLeastRunBytes}));
  return runBytes_.data() + runLength_;
}

void RowSorter::SortRun() {
  // Reversed first, so that the stable sort puts the later of equal rows
  // first. Rows whose prefixes tie are compared where their bytes lie.
  std::reverse(order_.begin(), order_.end());
  std::stable_sort(order_.begin(), order_.end(), [this](const Ordered& a, const Ordered& b) {
    if (a.prefixes != b.prefixes) return a.prefixes < b.prefixes;
    return CompareRows(View(a.row), View(b.row), keys_, keyCount_) < 0;
  });
}

RowSorter::Prefixes RowSorter::PrefixesOf(const DBValueView& lead, const DBValueView& second) const {
  Prefixes prefixes;
  prefixes.lead = ValuePrefix(lead);
  ValueRest rest = ValueRestOf(lead);
  if (first_.descending) {
    prefixes.lead = ~prefixes.lead;
    if (rest.width) rest.bits ^= ~uint64_t(0) << (64 - rest.width);
  }
  prefixes.next = rest.bits;
  if (rest.width < 64) {
    const uint64_t next = ValuePrefix(second);
    prefixes.next |= (second_.descending ? ~next : next) >> rest.width;
  }
  return prefixes;
}

void RowSorter::ReleaseRun() {
  std::string().swap(runBytes_);
  runLength_ = 0;
  std::vector<uint32_t>().swap(runStarts_);
  std::vector<RunRow>().swap(run_);
  std::vector<Ordered>().swap(order_);
  std::vector<DBValueView>().swap(rowValueViews_);
  used_ = 0;
}

bool RowSorter::FlushRun() {
  if (!spool_) spool_ = RowSpool::Make();
  if (!spool_) return false;
  SortRun();
  runs_.push_back({spool_->Count(), int32_t(run_.size())});
  SpoolWriter writer(spool_.get());
  const bool written = DeliverRun(&writer);
  runLength_ = 0;
  runStarts_.clear();
  run_.clear();
  order_.clear();
  used_ = 0;
  return written;
}

bool RowSorter::DeliverRun(Receiver* to) {
  const bool values = to->TakesValues();
  rowValueViews_.resize(size_t(columns_));
  for (const Ordered& ordered : order_) {
    const RunRow& at = run_[size_t(ordered.row)];
    if (values) {
      const RowView view = View(ordered.row);
      for (int32_t column = 0; column < columns_; ++column) rowValueViews_[size_t(column)] = view.Value(column);
    }
    if (!to->Take(runBytes_.data() + at.offset, at.length, values ? rowValueViews_.data() : nullptr))
      return false;
  }
  return true;
}

bool RowSorter::Deliver(Receiver* receiver) {
  if (runs_.empty()) {
    // Everything fitted in memory: no run spool.
    SortRun();
    return DeliverRun(receiver);
  }
  if (!run_.empty() && !FlushRun()) return false;
  ReleaseRun();
  // Passes over groups of runs while one merge cannot take them all; the
  // last merge feeds the receiver.
  while (runs_.size() > limits_.mergeWidth) {
    std::unique_ptr<RowSpool> merged = RowSpool::Make();
    if (!merged) return false;
    SpoolWriter writer(merged.get());
    std::vector<Run> next;
    for (size_t begin = 0; begin < runs_.size(); begin += limits_.mergeWidth) {
      const size_t end = std::min(runs_.size(), begin + limits_.mergeWidth);
      next.push_back({merged->Count(), 0});
      if (!Merge(spool_.get(), runs_, begin, end, &writer)) return false;
      next.back().count = merged->Count() - next.back().first;
    }
    spool_ = std::move(merged);
    runs_ = std::move(next);
  }
  return Merge(spool_.get(), runs_, 0, runs_.size(), receiver);
}

std::unique_ptr<RowSpool> RowSorter::Finish() {
  std::unique_ptr<RowSpool> sorted = RowSpool::Make();
  if (!sorted) return nullptr;
  SpoolWriter writer(sorted.get());
  if (!Deliver(&writer)) return nullptr;
  return sorted;
}

// Merges runs [begin, end) of one spool into another.
bool RowSorter::Merge(RowSpool* from, const std::vector<Run>& runs, size_t begin, size_t end,
                      Receiver* to) const {
  struct Head {
    SpooledRow row;
    Prefixes prefixes;
    int32_t next = 0;
    int32_t end = 0;
    SpoolFile::ReadBuffer index;
    SpoolFile::ReadBuffer data;
    std::string bytes;  // the buffer the row before this one used
  };
  const auto width = int32_t(end - begin);
  std::vector<Head> heads(static_cast<size_t>(width));
  auto read = [from, this](Head& head) {
    if (!from->Read(head.next++, &head.bytes, &head.index, &head.data) ||
        !head.row.Parse(&head.bytes, columns_)) {
      return false;
    }
    head.prefixes = PrefixesOf(head.row.Value(first_.column), head.row.Value(second_.column));
    return true;
  };
  // Whether head a's row goes out before head b's: a spent run's never; of
  // equal rows the later run's first.
  auto first = [this, &heads](int32_t a, int32_t b) {
    const Head& x = heads[size_t(a)];
    const Head& y = heads[size_t(b)];
    if (x.next > x.end) return false;
    if (y.next > y.end) return true;
    if (x.prefixes != y.prefixes) return x.prefixes < y.prefixes;
    const int32_t order = CompareRows(x.row, y.row, keys_, keyCount_);
    return order < 0 || (order == 0 && a > b);
  };
  const size_t dataBuffer = std::clamp(kMergeBuffers / size_t(width), kLeastDataBuffer, kSpoolBufferSize);
  for (int32_t i = 0; i < width; ++i) {
    Head& head = heads[size_t(i)];
    const Run& run = runs[begin + size_t(i)];
    head.next = run.first;
    head.end = run.first + run.count;
    head.index.capacity = kIndexBufferSize;
    head.data.capacity = dataBuffer;
    // A run with no row left reads as spent: next passes its end.
    if (head.next < head.end) {
      if (!read(head)) return false;
    } else {
      head.next = head.end + 1;
    }
  }
  // A tree of matches over the heads: node n (1 to width - 1) holds the
  // loser of the match between its children 2n and 2n + 1; nodes from width
  // on are the heads themselves. The winner of the whole goes out next, and
  // the head that replaces it plays only the matches on its way up.
  std::vector<int32_t> losers(static_cast<size_t>(width), 0);
  auto build = [&](auto&& self, int32_t node) -> int32_t {
    if (node >= width) return node - width;
    const int32_t left = self(self, 2 * node);
    const int32_t right = self(self, 2 * node + 1);
    const bool leftWins = first(left, right);
    losers[size_t(node)] = leftWins ? right : left;
    return leftWins ? left : right;
  };
  int32_t winner = build(build, 1);
  for (;;) {
    Head& head = heads[size_t(winner)];
    if (head.next > head.end) return true;
    if (!to->Take(head.row.Bytes().data(), head.row.Bytes().size(), head.row.Values())) return false;
    if (head.next < head.end) {
      if (!read(head)) return false;
    } else {
      head.next = head.end + 1;
    }
    for (int32_t node = (winner + width) / 2; node > 0; node /= 2) {
      if (first(losers[size_t(node)], winner)) std::swap(losers[size_t(node)], winner);
    }
  }
}

#ifdef _WINDOWS_
#error "The sort stays portable: no <windows.h>."
#endif
