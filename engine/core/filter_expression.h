// TQDXFilterExpression: a filter text compiled against one table's fields, as the table data
// evaluates it.
//
// The cursor hands the table data its filter expression (the dataset's Filter text), and
// LocateRecord receives one for its condition. The table data needs of it only a yes/no answer
// for a record buffer and, to walk an index range instead of every record, the simple conditions
// on single fields that every passing record meets. The expression module of the core layer
// compiles texts into this interface; the table data never parses.
//
// An expression is used under its database's critical section, by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "engine/foundation/types/variant.h"

namespace qdx {

class TQDXFieldDefs;

// A condition of one of the five kinds (TQDXConditionKind: 1 =, 2 <, 3 >, 4 <=, 5 >=) on one
// field: the field's value compared with Value.
struct TQDXFieldCondition {
  int32_t FieldNo = -1;  // index of the field in the table's field definitions
  int32_t Kind = 0;
  TQDXVariant Value;
};

// The dataset's filter options.
struct TQDXFilterOptions {
  bool CaseInsensitive = false;    // texts compare ignoring case
  bool NoPartialCompare = false;   // a trailing "*" in a text literal is a plain character
};

class TQDXFilterExpression {
 public:
  virtual ~TQDXFilterExpression() = default;

  // True when the record buffer (null bitmap, then the fields at their memory offsets)
  // satisfies the expression. NULL compares as unknown, and unknown does not pass.
  virtual bool Evaluate(const uint8_t* record) const = 0;

  // Conditions joined by AND at the top level of the expression: every record that passes meets
  // each of them (the expression may demand more). Empty when there are none.
  virtual std::span<const TQDXFieldCondition> FieldConditions() const = 0;
};

// Compiles a filter text against the fields; a bad text raises EQDXException naming the
// position and what was expected.
using TQDXFilterCompiler = std::unique_ptr<TQDXFilterExpression> (*)(
    std::string_view text, const TQDXFieldDefs& fields, const TQDXFilterOptions& options);

}  // namespace qdx
