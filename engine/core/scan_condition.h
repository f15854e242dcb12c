// TQDXScanSearchConditionArray: the restrictions of one scan as search conditions on indexes,
// merged into the tightest range per index.
//
// A condition compares the key of a record with the key values held in a record buffer, on an
// index and over its first ColumnCount columns (0 = all), by kind (1 =, 2 <, 3 >, 4 <=, 5 >=;
// in index order). Conditions on the same index and column count are merged as they are added:
// of two lower or two upper bounds the tighter stays, an equality absorbs the bounds it meets,
// duplicates are dropped, and a contradiction (two different equalities, an equality outside a
// bound, a lower bound above an upper one) marks the whole array as matching nothing.
//
// Not safe for concurrent use.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "engine/core/index.h"

namespace qdx {

struct TQDXScanSearchCondition {
  int32_t IndexID = -1;
  int32_t Kind = 0;
  std::vector<uint8_t> Record;  // the key values, in record layout
  int32_t ColumnCount = 0;
};

class TQDXScanSearchConditionArray {
 public:
  // The order of two records on an index over a column count: -1, 0 or 1.
  using Comparer =
      std::function<int(int32_t indexID, const uint8_t* a, const uint8_t* b, int32_t columnCount)>;

  explicit TQDXScanSearchConditionArray(Comparer compare) : compare_(std::move(compare)) {}

  void Add(TQDXScanSearchCondition condition);
  // No record can meet all conditions.
  bool Contradictory() const { return contradictory_; }
  bool HasConditionsOn(int32_t indexID) const;
  // The merged conditions, grouped by index and column count.
  std::vector<const TQDXScanSearchCondition*> Conditions() const;
  // The start and stop conditions of a walk over the index (Kind 0 when unbounded); the walk
  // still has to test Holds, which covers every other condition.
  std::pair<TQDXIndexCondition, TQDXIndexCondition> Bounds(int32_t indexID) const;
  // Whether the record meets every condition.
  bool Holds(const uint8_t* record) const;
  // Whether the record meets one condition.
  bool Meets(const uint8_t* record, const TQDXScanSearchCondition& condition) const;

 private:
  struct Group {
    int32_t IndexID;
    int32_t ColumnCount;
    std::optional<TQDXScanSearchCondition> Equal;
    std::optional<TQDXScanSearchCondition> Lower;
    std::optional<TQDXScanSearchCondition> Upper;
  };

  Group& GroupFor(int32_t indexID, int32_t columnCount);
  int Compare(const TQDXScanSearchCondition& a, const TQDXScanSearchCondition& b) const;
  void Normalize(Group& group);

  Comparer compare_;
  std::vector<Group> groups_;
  bool contradictory_ = false;
};

}  // namespace qdx
