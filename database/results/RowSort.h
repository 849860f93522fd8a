// Sorting rows in the row form (ValueOrder.h) under a memory budget.
//
// Rows are captured into a run held in memory while it fits the budget
// (each value costs its length and 16 bytes, each row 8). A full run is
// sorted, stably, and written to the run spool; a row that alone is over the
// budget becomes a run of its own, whole. At the end the runs are merged, at
// most `mergeWidth` at a time (each read through its own buffer), until at
// most `mergeWidth` are left, whose merge goes to the caller or the result. Rows are ordered by CompareRows; rows equal in every column keep
// the reverse of the order they were added in: within a run the later row
// first, across runs the later run's row first.
//
// The default budget makes runs large enough that a million rows of a few
// columns merge in one pass: each pass reads and writes every row again, so
// a second pass would cost more than the larger runs' sorting. Sorts and
// merges compare each row's leading sort value as a 64-bit prefix
// (ValuePrefix) first, and the rows themselves only where prefixes are
// equal (in a run, where their bytes lie); a merge picks its next row
// through a tree of its runs' heads, one compare per level.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database/results/RowSpool.h"
#include "database/results/ValueOrder.h"

class RowSorter {
 public:
  struct Limits {
    int64_t runBudget = 4 * 1024 * 1024;
    size_t mergeWidth = 64;  // at least 2
  };

  // Borrows the keys for its life; every row has `columns` values.
  RowSorter(const DBSortKey* keys, int32_t keyCount, int32_t columns, Limits limits);
  RowSorter(const DBSortKey* keys, int32_t keyCount, int32_t columns)
      : RowSorter(keys, keyCount, columns, Limits()) {}

  // Takes the sorted rows one at a time, in their order: a row's bytes in
  // the row form and its `columns` values found in them, both borrowed for
  // the call.
  class Receiver {
   public:
    // False when the receiver reads only the bytes: values are then null.
    virtual bool TakesValues() const { return true; }
    // False stops the sort.
    virtual bool Take(const char* bytes, size_t length, const DBValueView* values) = 0;

   protected:
    ~Receiver() = default;
  };

  // Adds one row; false when its values are not `columns` values of the row
  // form or a full run cannot be written.
  bool Add(const std::string& row);
  // The same for a row given value by value, each copied as it comes:
  // StartRow, AddValue for each value, then EndRow (false as Add; a row of
  // another width is dropped).
  void StartRow();
  void AddValue(const DBValueView& value);
  bool EndRow();
  // Hands every row, sorted, to the receiver, straight from the run in
  // memory or from the last merge, so the sorted rows are never stored
  // whole; false on a spool failure or when the receiver refuses a row.
  // Once.
  bool Deliver(Receiver* receiver);
  // The rows sorted, stored (the caller's), or null on a spool failure.
  // Once, instead of Deliver.
  std::unique_ptr<RowSpool> Finish();
  // Runs written to the run spool so far (none when all rows fit).
  size_t RunCount() const { return runs_.size(); }

 private:
  struct Run {
    int32_t first;
    int32_t count;
  };
  // A row of the run: where its bytes lie in the run's bytes; its values
  // start at runStarts_[index * columns_].
  struct RunRow {
    uint32_t offset;
    uint32_t length;
  };
  // What a row is compared on before its values: the prefix of the value
  // compared first (the first key, or column 0 without keys), then that
  // value's rest, filled out, where the two decide that value, with the
  // prefix of the value compared second; each reversed where a descending
  // key compares it. Rows whose prefixes differ are in their order.
  struct Prefixes {
    uint64_t lead = 0;
    uint64_t next = 0;
    bool operator!=(const Prefixes& other) const { return lead != other.lead || next != other.next; }
    bool operator<(const Prefixes& other) const {
      return lead != other.lead ? lead < other.lead : next < other.next;
    }
  };
  // A row of the run being sorted: its prefixes and its index in run_.
  struct Ordered {
    Prefixes prefixes;
    int32_t row;
  };
  // A value the compare reads, and whether a descending key reads it.
  struct Compared {
    int32_t column;
    bool descending;
  };
  RowView View(int32_t row) const {
    return {runBytes_.data(), runStarts_.data() + size_t(row) * size_t(columns_), columns_};
  }
  // Room for `count` more bytes after the run's; valid until the next call.
  char* Room(size_t count);
  // Room in the run's lists for as many rows as the budget holds, going by
  // the rows so far.
  void ReserveRun();
  // Writes the run out without the row being added, which then starts the
  // next run; false when the run cannot be written.
  bool StartNextRun();
  void SortRun();
  Prefixes PrefixesOf(const DBValueView& lead, const DBValueView& second) const;
  // Gives the run's memory back (before the merges, which need their own).
  void ReleaseRun();
  bool FlushRun();
  bool DeliverRun(Receiver* to);
  bool Merge(RowSpool* from, const std::vector<Run>& runs, size_t begin, size_t end,
             Receiver* to) const;

  const DBSortKey* keys_;
  int32_t keyCount_;
  int32_t columns_;
  Limits limits_;
  Compared first_;   // the value a row compare reads first
  Compared second_;  // and second
  // The run being captured: the rows' bytes one after another (the first
  // runLength_ bytes of runBytes_, which keeps spare room so that values are
  // written in place), the starts of their values, and the rows in their
  // sorted order once sorted. Kept from run to run with their room.
  std::string runBytes_;
  size_t runLength_ = 0;
  size_t rowStart_ = 0;   // where the row being added starts
  size_t rowValues_ = 0;  // and its first value's entry in runStarts_
  std::vector<uint32_t> runStarts_;
  std::vector<RunRow> run_;
  std::vector<Ordered> order_;  // each row's prefixes, from its adding
  std::vector<DBValueView> rowValueViews_;  // a row's values, while it is handed out
  int64_t used_ = 0;
  std::unique_ptr<RowSpool> spool_;  // the runs written so far
  std::vector<Run> runs_;
};
