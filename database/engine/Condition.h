// Row conditions: the tree a table cursor tests each row against, built from
// the filter records of the engine interface (DBInterface.h), and the one
// evaluator, which reads the row through an accessor (a table cursor's row,
// or a combination of rows that a join puts together).
//
// A comparison reads the row's field of its column; an absent field holds
// only for IS NULL. By the field's stored type:
//   2, 3        numerically against a value that is a number (a sign,
//               digits with an optional "." and exponent: "2.5", "1e1",
//               "4294967296"), so 2 <> 2.5 and no 32-bit field equals
//               4294967296; any other value read as an integer (blanks,
//               sign, digits up to the first other byte), without bounds
//   6, 7        as doubles against the number the value begins with; for 6
//               that number is first rounded to single precision, as the
//               field was when stored
//   8, 9        (year, month, day) or (hour, minute, second) as signed 16-bit
//               numbers, first differing part first, against the value read
//               as a date or time text (FieldValues.h); unreadable: false
//   12          for = and <> only, against "true" / "false" (any case) or a
//               number (non-zero true); any other value: false
//   5, 14-16    text (BLOBs read whole) by the text mode, or LIKE
//   other       false
// Text modes: 0 exact; 1 both sides upper-cased; 2 and 3 the field upper- or
// lower-cased (ASCII letters). LIKE: "%" any run, "_" one byte, other bytes
// themselves, matched over the whole field in O(field x pattern) time.
// AND and OR take their left side first and stop when it decides; a missing
// side holds. Trees are built, walked and freed without recursion.
//
// Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "database/storage/Record.h"

struct DBFilterRecord;
struct DBTableEntry;
struct StringRecord;

enum DBConditionOp : uint8_t {
  kDBOpEqual = 0,
  kDBOpLess = 1,
  kDBOpGreater = 2,
  kDBOpLessEqual = 3,
  kDBOpGreaterEqual = 4,
  kDBOpNotEqual = 5,
  kDBOpLike = 6,
  kDBOpNotLike = 7,
  kDBOpIsNull = 8,
  kDBOpIsNotNull = 9,
  kDBOpAnd = 0x40,
  kDBOpOr = 0x41,
};

enum DBTextMode : uint8_t {
  kDBTextExact = 0,
  kDBTextNoCase = 1,
  kDBTextUpper = 2,
  kDBTextLower = 3,
};

// The value text of a comparison, read once in each way a field may need.
struct DBConditionValue {
  std::string text;  // the bytes as given
  bool isNumber = false;  // integer fields compare against `number`
  int64_t integer = 0;  // otherwise against this
  double number = 0;
  double single = 0;  // the number in single precision
  int16_t date[3] = {0, 0, 0};
  int16_t time[3] = {0, 0, 0};
  bool dateReadable = false;
  bool timeReadable = false;
  bool boolean = false;
  bool booleanReadable = false;
};
void ReadConditionValue(const StringRecord* text, DBConditionValue* value);
// The value an integer field within [low, high] must hold for "=" to hold
// against the condition value; false when no such field value exists.
bool EqualInteger(const DBConditionValue& value, int32_t low, int32_t high, int32_t* wanted);

struct DBCondition {
  int32_t left = -1;  // node indexes; -1 is no side (it holds)
  int32_t right = -1;
  uint8_t op = kDBOpEqual;
  uint8_t textMode = kDBTextExact;
  std::string column;       // as given
  int32_t columnNumber = -1;  // set by resolving; the accessor's to read
  DBConditionValue value;

  bool IsJunction() const { return op == kDBOpAnd || op == kDBOpOr; }
};

// What the evaluator reads of a row.
class DBRowAccess {
 public:
  virtual ~DBRowAccess() = default;
  // The field of the comparison's column.
  virtual DBFieldLookup Field(const DBCondition& comparison, DBFieldValue* field) = 0;
  // The bytes of a BLOB the row names; false when they cannot be read.
  virtual bool Blob(int32_t id, std::vector<uint8_t>* bytes) = 0;
};

class DBConditionTree {
 public:
  // From filter records (null: the empty tree, which holds). False for an
  // operator or function no record may carry. A tree built again reuses the
  // room of its node list.
  bool Build(const DBFilterRecord* filter);
  // Resolves every comparison's column by name (case ignored) to its number
  // in the table; false with the first unknown name in *unknown.
  bool Resolve(const DBTableEntry& table, std::string* unknown);
  bool Holds(DBRowAccess& row);

  bool Empty() const { return root_ < 0; }
  int32_t Root() const { return root_; }
  void SetRoot(int32_t root) { root_ = root; }
  std::vector<DBCondition>& Nodes() { return nodes_; }
  const std::vector<DBCondition>& Nodes() const { return nodes_; }

 private:
  bool Test(const DBCondition& comparison, DBRowAccess& row);

  // {record, parent node, whether it is the parent's left side}
  struct Pending {
    const DBFilterRecord* record;
    int32_t parent;
    bool left;
  };

  std::vector<DBCondition> nodes_;
  int32_t root_ = -1;
  std::vector<Pending> pending_;  // Build's, kept for its room
  std::vector<std::pair<int32_t, bool>> stack_;  // {junction, right side entered}
  DBFieldValue field_;  // the field a test reads, kept rather than made zero for each
  std::vector<uint8_t> blob_;
};

// LIKE over bytes with the text mode's case rule.
bool MatchesLike(const uint8_t* text, size_t length, const uint8_t* pattern, size_t patternLength,
                 uint8_t textMode);
