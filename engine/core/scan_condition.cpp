#include "engine/core/scan_condition.h"

#include "engine/core/btree.h"

namespace qdx {

namespace {

bool IsLower(int32_t kind) {
  return kind == ckGreater || kind == ckGreaterOrEqual;
}
bool IsUpper(int32_t kind) {
  return kind == ckLess || kind == ckLessOrEqual;
}

TQDXIndexCondition AsIndexCondition(const std::optional<TQDXScanSearchCondition>& condition) {
  if (!condition) return {};
  return {condition->Kind, condition->Record.data(), condition->ColumnCount};
}

}  // namespace

TQDXScanSearchConditionArray::Group& TQDXScanSearchConditionArray::GroupFor(int32_t indexID,
                                                                            int32_t columnCount) {
  for (Group& group : groups_) {
    if (group.IndexID == indexID && group.ColumnCount == columnCount) return group;
  }
  groups_.push_back({indexID, columnCount, {}, {}, {}});
  return groups_.back();
}

int TQDXScanSearchConditionArray::Compare(const TQDXScanSearchCondition& a,
                                          const TQDXScanSearchCondition& b) const {
  return compare_(a.IndexID, a.Record.data(), b.Record.data(), a.ColumnCount);
}

bool TQDXScanSearchConditionArray::Meets(const uint8_t* record,
                                         const TQDXScanSearchCondition& condition) const {
  const int c = compare_(condition.IndexID, record, condition.Record.data(), condition.ColumnCount);
  switch (condition.Kind) {
    case ckEqual:
      return c == 0;
    case ckLess:
      return c < 0;
    case ckGreater:
      return c > 0;
    case ckLessOrEqual:
      return c <= 0;
    case ckGreaterOrEqual:
      return c >= 0;
    default:
      return true;
  }
}

void TQDXScanSearchConditionArray::Add(TQDXScanSearchCondition condition) {
  if (condition.Kind < ckEqual || condition.Kind > ckGreaterOrEqual) return;
  Group& group = GroupFor(condition.IndexID, condition.ColumnCount);
  if (condition.Kind == ckEqual) {
    if (group.Equal) {
      if (Compare(condition, *group.Equal) != 0) contradictory_ = true;
      return;
    }
    group.Equal = std::move(condition);
  } else if (IsLower(condition.Kind)) {
    if (group.Lower) {
      const int c = Compare(condition, *group.Lower);
      // The greater bound is tighter; of two equal ones the exclusive.
      if (c < 0 || (c == 0 && !(condition.Kind == ckGreater && group.Lower->Kind != ckGreater))) {
        return;
      }
    }
    group.Lower = std::move(condition);
  } else if (IsUpper(condition.Kind)) {
    if (group.Upper) {
      const int c = Compare(condition, *group.Upper);
      if (c > 0 || (c == 0 && !(condition.Kind == ckLess && group.Upper->Kind != ckLess))) return;
    }
    group.Upper = std::move(condition);
  }
  Normalize(group);
}

void TQDXScanSearchConditionArray::Normalize(Group& group) {
  if (group.Equal) {
    const uint8_t* value = group.Equal->Record.data();
    if ((group.Lower && !Meets(value, *group.Lower)) ||
        (group.Upper && !Meets(value, *group.Upper))) {
      contradictory_ = true;
    }
    group.Lower.reset();
    group.Upper.reset();
    return;
  }
  if (group.Lower && group.Upper) {
    const int c = Compare(*group.Lower, *group.Upper);
    if (c > 0 || (c == 0 && (group.Lower->Kind == ckGreater || group.Upper->Kind == ckLess))) {
      contradictory_ = true;
    }
  }
}

bool TQDXScanSearchConditionArray::HasConditionsOn(int32_t indexID) const {
  for (const Group& group : groups_) {
    if (group.IndexID == indexID) return true;
  }
  return false;
}

std::vector<const TQDXScanSearchCondition*> TQDXScanSearchConditionArray::Conditions() const {
  std::vector<const TQDXScanSearchCondition*> out;
  for (const Group& group : groups_) {
    for (const auto* condition : {&group.Equal, &group.Lower, &group.Upper}) {
      if (*condition) out.push_back(&**condition);
    }
  }
  return out;
}

std::pair<TQDXIndexCondition, TQDXIndexCondition> TQDXScanSearchConditionArray::Bounds(
    int32_t indexID) const {
  // The group with the most columns narrows best; the others are tested record by record.
  const Group* best = nullptr;
  for (const Group& group : groups_) {
    if (group.IndexID != indexID) continue;
    const auto columns = [](int32_t count) { return count <= 0 ? INT32_MAX : count; };
    if (best == nullptr || columns(group.ColumnCount) > columns(best->ColumnCount)) best = &group;
  }
  if (best == nullptr) return {};
  if (best->Equal) return {AsIndexCondition(best->Equal), AsIndexCondition(best->Equal)};
  return {AsIndexCondition(best->Lower), AsIndexCondition(best->Upper)};
}

bool TQDXScanSearchConditionArray::Holds(const uint8_t* record) const {
  for (const Group& group : groups_) {
    for (const auto* condition : {&group.Equal, &group.Lower, &group.Upper}) {
      if (*condition && !Meets(record, **condition)) return false;
    }
  }
  return true;
}

}  // namespace qdx
