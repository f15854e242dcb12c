// The compiled form of an expression: a tree of nodes in one vector, evaluated against a record
// buffer.
//
// The parser (parser.cpp) and the Locate builder (expression.cpp) build programs through
// TQDXExprBuilder, which types every node, converts constants to the type they are compared in,
// resolves field offsets and refuses what cannot be evaluated, all before the first record.
// Evaluation then touches the record only at the resolved offsets and allocates nothing for
// fields, constants and numbers; nodes that compute a text write it into a scratch buffer of
// their own that is reused from record to record.
//
// Design notes:
//  1. A value is a view of one value in its storage encoding (ValueRef): a field's value is its
//     slot in the record buffer, a constant's its bytes in the program, a computed value its
//     node's scratch. A view is valid until its node is evaluated again; every node has one
//     parent, so a parent always uses its children's views before they change.
//  2. Conditions are three-valued: a comparison with a NULL operand is Unknown, NOT Unknown is
//     Unknown, AND and OR follow SQL's tables, and only True passes a filter.
//  3. Values compare as CompareValues compares them: the operands' common type decides, and text
//     orders by the user default locale. Numbers of different types and the date and time types
//     compare by value without conversion buffers (integers exactly, the others as long double;
//     dates and times on one millisecond scale, a time on the day a lone time converts to).
//     Equality of 8-bit texts of printable ASCII, case-sensitive, is decided by their bytes
//     (evaluate.cpp, Equal).
//  4. The depth of the tree is bounded (kMaxDepth), so evaluation recurses no deeper than that.
//
// A program is used by one thread at a time (its scratch buffers are shared by its evaluations).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/field_def.h"
#include "engine/core/filter_expression.h"
#include "engine/foundation/platform/clock.h"
#include "engine/foundation/types/data_types.h"
#include "engine/foundation/types/strings.h"

namespace qdx::expr {

inline constexpr int32_t kMaxDepth = 128;

enum class Tri : uint8_t { False, True, Unknown };

// One value in its storage encoding. Text: Size counts the bytes including the terminator (or
// the slot, whose text ends at its terminator).
struct ValueRef {
  const uint8_t* Data = nullptr;
  int32_t Size = 0;
  TQDXDataType Type = TQDXDataType::None;
  bool Null = true;
};

enum class Op : uint8_t {
  // Values
  Field,
  Constant,
  Negate,
  Add,
  Subtract,
  Multiply,
  Divide,
  Upper,
  Lower,
  Trim,
  Substring,
  CurrentDate,
  CurrentTime,
  CurrentTimestamp,
  // Conditions
  And,
  Or,
  Not,
  Compare,
  Like,
  In,
  Between,
  IsNull,
  IsTrue,
};

// Comparison kinds: the five of TQDXFieldCondition, then <>.
enum Comparison : uint8_t { kEq = 1, kLt = 2, kGt = 3, kLe = 4, kGe = 5, kNe = 6 };

struct Node {
  Op Kind = Op::Constant;
  // The type of a value node's result; for arithmetic the type of an integer result (the
  // result widens to FLOAT when it leaves the integer range).
  TQDXDataType Type = TQDXDataType::None;
  uint8_t Cmp = 0;                 // Compare: the kind
  bool Negated = false;            // NOT LIKE, NOT IN, NOT BETWEEN, IS NOT NULL
  bool CaseInsensitive = false;    // text comparisons and LIKE
  bool Partial = false;            // Constant: a text literal ending in "*" under partial compare
  int32_t Prefix = -1;             // Compare: characters compared (partial compare), -1 all
  int32_t A = -1, B = -1, C = -1;  // operands (Like: text, pattern, escape)
  int32_t First = 0, Count = 0;    // And, Or, In: operands in the program's argument list
  int32_t FieldNo = -1;            // Field
  int32_t Offset = 0, Size = 0;    // Field: the slot; Constant: index of the constant
  int32_t Scratch = -1;            // nodes that compute a value: their buffer
  int32_t Pattern = -1;            // Like with a constant pattern: the pattern taken apart
  int32_t Depth = 1;
  int32_t Position = 0;  // in the text, for messages
};

// A constant's bytes in its type's encoding (text with its terminator).
struct Constant {
  std::string Bytes;
  TQDXDataType Type = TQDXDataType::None;
  bool Null = true;
  ValueRef Ref() const {
    return {reinterpret_cast<const uint8_t*>(Bytes.data()), static_cast<int32_t>(Bytes.size()),
            Type, Null};
  }
};

class Program {
 public:
  Tri Test(const uint8_t* record) const { return TestNode(Root, record); }
  // The root's value; requires a value node.
  ValueRef Value(const uint8_t* record) const { return ValueOf(Root, record); }
  bool IsCondition(int32_t node) const { return Nodes[static_cast<size_t>(node)].Kind >= Op::And; }

  std::vector<Node> Nodes;
  std::vector<int32_t> Args;
  std::vector<Constant> Constants;
  std::vector<TQDXLikePattern> Patterns;
  // Buffers of the nodes that compute values, by Node::Scratch; UTF-16 work space beside each.
  mutable std::vector<std::string> Scratch;
  mutable std::vector<std::u16string> WideScratch;
  int32_t Root = -1;
  bool ReadsClock = false;

 private:
  Tri TestNode(int32_t index, const uint8_t* record) const;
  ValueRef ValueOf(int32_t index, const uint8_t* record) const;
  ValueRef Arithmetic(const Node& node, const uint8_t* record) const;
  ValueRef TextFunction(const Node& node, const uint8_t* record) const;
  ValueRef ClockValue(const Node& node) const;
  Tri Like(const Node& node, const uint8_t* record) const;
  std::string& ScratchOf(const Node& node) const {
    return Scratch[static_cast<size_t>(node.Scratch)];
  }
};

// Whether two non-null values are equal, as CompareRefs answers without a prefix.
bool Equal(const ValueRef& a, const ValueRef& b, bool caseInsensitive);

// The local date and time that CURRENT_DATE, CURRENT_TIME and CURRENT_TIMESTAMP read.
platform::LocalTime CurrentTime();

// Orders two non-null values (design note 3): kCompareLess, kCompareEqual or kCompareGreater.
// `prefix` >= 0 compares that many characters of texts.
int CompareRefs(const ValueRef& a, const ValueRef& b, int32_t prefix, bool caseInsensitive);

// Builds a program node by node. Every method answers the new node's index and raises the
// expression errors of the catalogue, naming `position`.
class TQDXExprBuilder {
 public:
  // `fields` may be null: then no name is a field (default expressions).
  TQDXExprBuilder(const TQDXFieldDefs* fields, const TQDXFilterOptions& options);

  // Values
  int32_t Field(std::string_view name, int32_t position);
  int32_t FieldByNo(int32_t fieldNo, int32_t position);
  int32_t Number(std::string_view digits, int32_t position);
  int32_t Text(std::string_view text, int32_t position);
  int32_t Logical(bool value, int32_t position);
  int32_t Null(int32_t position);
  int32_t Value(const TQDXVariant& value, int32_t position);
  int32_t Negate(int32_t operand, int32_t position);
  int32_t Arithmetic(Op op, int32_t left, int32_t right, int32_t position);
  int32_t Function(std::string_view name, std::vector<int32_t> args, int32_t position);
  // Conditions
  int32_t Compare(Comparison cmp, int32_t left, int32_t right, int32_t position);
  int32_t Like(int32_t text, int32_t pattern, int32_t escape, bool negated, int32_t position);
  int32_t In(int32_t operand, const std::vector<int32_t>& list, bool negated, int32_t position);
  int32_t Between(int32_t operand, int32_t low, int32_t high, bool negated, int32_t position);
  int32_t IsNull(int32_t operand, bool negated, int32_t position);
  int32_t Not(int32_t operand, int32_t position);
  // AND or OR of the operands; operands of the same kind are flattened into one node.
  int32_t Logic(Op op, const std::vector<int32_t>& operands, int32_t position);
  // A condition of a node: conditions are themselves, LOGICAL values are tested for true.
  int32_t Condition(int32_t node, int32_t position);
  // Locate's comparison of a field with a value: equality (a prefix of text with `partial`),
  // IS NULL for a null value.
  int32_t LocateEquals(int32_t fieldNo, const TQDXVariant& value, bool partial);

  bool IsCondition(int32_t node) const { return program_.IsCondition(node); }
  bool IsConstant(int32_t node) const { return At(node).Kind == Op::Constant; }
  bool RefersToField() const { return refersToField_; }
  bool CallsFunction() const { return callsFunction_; }
  // Hands over the program with `root` as its root; the builder is spent.
  Program Finish(int32_t root);
  // The conditions on single fields that every passing record meets: the top-level conjuncts
  // that compare a field with a constant of its own type by one of the five kinds.
  std::vector<TQDXFieldCondition> FieldConditions(int32_t root) const;

 private:
  const Node& At(int32_t node) const { return program_.Nodes[static_cast<size_t>(node)]; }
  int32_t Add(Node node, std::initializer_list<int32_t> children);
  int32_t AddConstant(Constant constant, int32_t position);
  int32_t NewScratch();
  // The type two operands compare in; converts a constant operand to it (the left one only with
  // `convertLeft`: IN and BETWEEN compare one operand with several). Raises when the types have
  // none.
  TQDXDataType Unify(int32_t& left, int32_t& right, int32_t position, bool convertLeft = true);
  void ConvertConstant(int32_t& node, TQDXDataType type);
  // Gives a constant `type` when its value is exactly a value of that type.
  void NarrowConstant(int32_t node, TQDXDataType type);
  int32_t NumberOperand(int32_t node, std::string_view what, int32_t position);
  int32_t TextOperand(int32_t node, std::string_view what, int32_t position);
  std::string Describe(int32_t node) const;

  const TQDXFieldDefs* fields_;
  TQDXFilterOptions options_;
  Program program_;
  bool refersToField_ = false;
  bool callsFunction_ = false;
};

}  // namespace qdx::expr
