// The sort's runs and merges and the grouping, driven by fuzzed rows, keys,
// run budgets and merge widths, against a plain model: the rows reversed
// and stable-sorted by the row order give the sorter's output exactly, and
// the runs of equal first-key values in that output are the grouper's
// groups, with their sizes.
//
// Input: columns (1-4), key count (0-3), each key's column and direction,
// the run budget (in units of 16 bytes), the merge width, then rows, each
// value a type selector and its bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/results/RowGrouping.h"
#include "database/results/RowSort.h"
#include "database/sql/SQLStatements.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr size_t kMostRows = 1500;

std::string ReadValue(fuzz::Reader& input) {
  static const int32_t kTypes[] = {kDBNull,    kDBSmallInt, kDBInteger, kDBFloat,   kDBDouble,
                                   kDBVarChar, kDBChar,     kDBDate,    kDBTime,    kDBTimeStamp,
                                   kDBBoolean, kDBBinary,   kDBBlob,    kDBTextBlob};
  static const uint32_t kSizes[] = {0, 2, 4, 4, 8, 0, 0, 6, 6, 12, 1, 0, 0, 0};
  const uint8_t selector = input.Take<uint8_t>();
  const size_t pick = selector % std::size(kTypes);
  const uint32_t size = kSizes[pick] || pick == 0 ? kSizes[pick] : uint32_t(selector >> 5);
  const std::string bytes = input.Bytes(size);
  std::string row;
  AppendRowValue(&row, {kTypes[pick], reinterpret_cast<const uint8_t*>(bytes.data()),
                        uint32_t(bytes.size())});
  return row;
}

struct Parsed {
  std::vector<uint32_t> starts;
  RowView View(const std::string& row, int32_t columns) {
    starts.clear();
    if (!FindRowValues(row, 0, row.size(), &starts)) fuzz::Fail("row form unreadable");
    return {row.data(), starts.data(), columns};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetSpoolStreamFactory(nullptr);  // the native stand-in: bytes in memory
  fuzz::Reader input(data, size);
  const int32_t columns = 1 + input.Take<uint8_t>() % 4;
  const int32_t keyCount = input.Take<uint8_t>() % 4;
  std::vector<DBSortKey> keys;
  for (int32_t k = 0; k < keyCount; ++k) {
    const uint8_t key = input.Take<uint8_t>();
    keys.push_back({key % (columns + 1), (key & 0x80) != 0});
  }
  RowSorter::Limits limits;
  limits.runBudget = 1 + int64_t(input.Take<uint16_t>()) * 16;
  limits.mergeWidth = 2 + input.Take<uint8_t>() % 8;

  std::vector<std::string> rows;
  while (input.Left() && rows.size() < kMostRows) {
    std::string row;
    for (int32_t column = 0; column < columns; ++column) row += ReadValue(input);
    rows.push_back(std::move(row));
  }
  RowSorter sorter(keys.data(), keyCount, columns, limits);
  for (const std::string& row : rows)
    if (!sorter.Add(row)) fuzz::Fail("a row of the right width refused");
  std::unique_ptr<RowSpool> sorted = sorter.Finish();
  if (!sorted || sorted->Count() != int32_t(rows.size())) fuzz::Fail("sorted row count");

  std::vector<std::string> model(rows.rbegin(), rows.rend());
  Parsed a, b;
  std::stable_sort(model.begin(), model.end(), [&](const std::string& x, const std::string& y) {
    return CompareRows(a.View(x, columns), b.View(y, columns), keys.data(), keyCount) < 0;
  });
  std::string got;
  for (size_t i = 0; i < model.size(); ++i) {
    if (!sorted->Read(int32_t(i), &got)) fuzz::Fail("sorted row unreadable");
    if (got != model[i]) fuzz::Fail("sorted rows differ from the stable model");
  }

  // Groups over the first key's column: COUNT of each run of equal values.
  const int32_t groupColumn = keys.empty() ? -1 : keys[0].column;
  const int32_t kinds[] = {kSQLCount};
  std::unique_ptr<RowSpool> groups = RowSpool::Make();
  RowGrouper grouper(kinds, 1, groupColumn, groups.get());
  std::vector<int32_t> sizes;
  for (size_t i = 0; i < model.size(); ++i) {
    if (!grouper.Add(a.View(model[i], columns))) fuzz::Fail("group row refused");
    const bool same = i > 0 && (groupColumn < 0 ||
                                CompareValues(a.View(model[i], columns).Value(groupColumn),
                                              b.View(model[i - 1], columns).Value(groupColumn)) == 0);
    if (same) {
      ++sizes.back();
    } else {
      sizes.push_back(1);
    }
  }
  if (!grouper.Finish() || groups->Count() != int32_t(sizes.size())) fuzz::Fail("group count");
  for (size_t i = 0; i < sizes.size(); ++i) {
    int32_t count = 0;
    if (!groups->Read(int32_t(i), &got) || got.size() != 6 + sizeof count) fuzz::Fail("group row");
    std::memcpy(&count, got.data() + 6, sizeof count);
    if (count != sizes[i]) fuzz::Fail("group size differs from the runs of equal values");
  }
  return 0;
}
