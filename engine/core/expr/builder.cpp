// TQDXExprBuilder: typing, constant conversion and checks while a program is built (program.h).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

#include "engine/core/expr/program.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/compare.h"
#include "engine/foundation/types/convert.h"
#include "engine/foundation/types/encoding.h"
#include "engine/foundation/types/strings.h"

namespace qdx::expr {
namespace {

using T = TQDXDataType;

bool IsText(T type) {
  return IsStringDataType(type);
}
bool IsNumber(T type) {
  return IsNumericDataType(type) || type == T::Logical;
}
bool IsIntegerType(T type) {
  return type >= T::ShortInt && type <= T::Cardinal;
}
// Classes whose members compare by value among themselves (evaluate.cpp, CompareRefs).
bool SameClass(T a, T b) {
  return (IsText(a) && IsText(b)) || (IsNumber(a) && IsNumber(b)) ||
         (IsDateTimeDataType(a) && IsDateTimeDataType(b));
}

Constant MakeConstant(T type, const void* bytes, size_t size) {
  Constant c;
  c.Type = type;
  c.Null = false;
  c.Bytes.assign(static_cast<const char*>(bytes), size);
  return c;
}

Constant AnsiConstant(std::string_view text) {
  Constant c = MakeConstant(T::String, text.data(), text.size());
  c.Bytes.push_back('\0');
  return c;
}

// Characters of a text constant.
int32_t TextLength(const Constant& c) {
  return static_cast<int32_t>(IsWideStringDataType(c.Type)
                                  ? WideTextLength(c.Ref().Data, c.Ref().Size / 2)
                                  : LoadAnsiText(c.Ref().Data, c.Ref().Size).size());
}

// The constant as a value of `type` when it is exactly one: text converts as it is, other
// values must convert back unchanged. None when it is not, or cannot be converted at all.
std::optional<Constant> ExactlyAs(const Constant& c, T type) {
  try {
    int32_t size = 0, backSize = 0;
    const TQDXMemBlock value = ConvertValue({c.Ref().Data, c.Ref().Size, c.Type}, type, size);
    if (!IsText(type)) {
      const TQDXMemBlock back = ConvertValue({value.data(), size, type}, c.Type, backSize);
      if (CompareRefs({back.data(), backSize, c.Type, false}, c.Ref(), -1, false) !=
          kCompareEqual) {
        return std::nullopt;
      }
    }
    return MakeConstant(type, value.data(), static_cast<size_t>(size));
  } catch (const EQDXException&) {
    return std::nullopt;
  }
}

// The characters of a text constant as UTF-16.
std::u16string WideText(const Constant& c) {
  if (IsWideStringDataType(c.Type)) {
    return LoadWideText(c.Ref().Data, WideTextLength(c.Ref().Data, c.Ref().Size / 2));
  }
  return platform::AnsiToWide(LoadAnsiText(c.Ref().Data, c.Ref().Size));
}

}  // namespace

TQDXExprBuilder::TQDXExprBuilder(const TQDXFieldDefs* fields, const TQDXFilterOptions& options)
    : fields_(fields), options_(options) {}

int32_t TQDXExprBuilder::Add(Node node, std::initializer_list<int32_t> children) {
  for (int32_t child : children) {
    if (child >= 0) node.Depth = std::max(node.Depth, At(child).Depth + 1);
  }
  if (node.Depth > kMaxDepth) Raise(msg::kExprTooDeep, {node.Position, kMaxDepth});
  program_.Nodes.push_back(node);
  return static_cast<int32_t>(program_.Nodes.size() - 1);
}

int32_t TQDXExprBuilder::AddConstant(Constant constant, int32_t position) {
  Node node;
  node.Kind = Op::Constant;
  node.Type = constant.Type;
  node.Offset = static_cast<int32_t>(program_.Constants.size());
  node.Position = position;
  program_.Constants.push_back(std::move(constant));
  return Add(node, {});
}

int32_t TQDXExprBuilder::NewScratch() {
  program_.Scratch.emplace_back();
  program_.WideScratch.emplace_back();
  return static_cast<int32_t>(program_.Scratch.size() - 1);
}

std::string TQDXExprBuilder::Describe(int32_t index) const {
  const Node& node = At(index);
  if (node.Kind == Op::Field) {
    return "field '" + fields_->GetFieldDef(node.FieldNo).Name() + "' (" +
           std::string(DataTypeName(node.Type)) + ")";
  }
  if (node.Kind == Op::Constant) {
    const Constant& c = program_.Constants[static_cast<size_t>(node.Offset)];
    if (c.Null) return "NULL";
    TQDXVariant text;
    text.SetData(c.Bytes.data(), static_cast<int32_t>(c.Bytes.size()), false, c.Type);
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a literal + a temporary.
    std::string described = "'";
    described += text.AsString();
    described += "' (";
    described += DataTypeName(c.Type);
    described += ")";
    return described;
  }
  if (IsCondition(index)) return "a condition";
  return node.Type == T::None ? std::string("NULL") : std::string(DataTypeName(node.Type));
}

// ---- Values -------------------------------------------------------------------------------------

int32_t TQDXExprBuilder::Field(std::string_view name, int32_t position) {
  const int32_t fieldNo = fields_ ? fields_->IndexOfName(name) : -1;
  if (fieldNo < 0) Raise(msg::kExprUnknownField, {position, name});
  return FieldByNo(fieldNo, position);
}

int32_t TQDXExprBuilder::FieldByNo(int32_t fieldNo, int32_t position) {
  const TQDXFieldDef& field = fields_->GetFieldDef(fieldNo);
  // A BLOB slot holds a reference, not the value; VARBYTES have no order.
  if (field.IsBlob() || field.DataType == T::VarBytes) {
    Raise(msg::kExprFieldNotUsable, {position, field.Name(), DataTypeName(field.DataType)});
  }
  refersToField_ = true;
  Node node;
  node.Kind = Op::Field;
  node.Type = field.DataType;
  node.FieldNo = fieldNo;
  node.Offset = field.MemoryOffset;
  node.Size = field.MemorySize;
  node.Position = position;
  return Add(node, {});
}

int32_t TQDXExprBuilder::Number(std::string_view digits, int32_t position) {
  const char* end = digits.data() + digits.size();
  if (digits.find_first_of(".eE") == std::string_view::npos) {
    int64_t integer = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), end, integer);
    if (ec == std::errc() && ptr == end) {
      return AddConstant(MakeConstant(T::LargeInt, &integer, sizeof integer), position);
    }
  }
  double real = 0;
  const auto [ptr, ec] = std::from_chars(digits.data(), end, real);
  if (ptr != end || ec != std::errc() || !std::isfinite(real)) {
    Raise(msg::kExprInvalidValue, {position, digits, "FLOAT"});
  }
  return AddConstant(MakeConstant(T::Float, &real, sizeof real), position);
}

int32_t TQDXExprBuilder::Text(std::string_view text, int32_t position) {
  text = text.substr(0, std::min(text.find('\0'), text.size()));  // a text ends at its first zero
  const int32_t node = AddConstant(AnsiConstant(text), position);
  if (!options_.NoPartialCompare && !text.empty() && text.back() == '*') {
    program_.Nodes[static_cast<size_t>(node)].Partial = true;
  }
  return node;
}

int32_t TQDXExprBuilder::Logical(bool value, int32_t position) {
  uint8_t bytes[2];
  StoreLogical(bytes, value);
  return AddConstant(MakeConstant(T::Logical, bytes, sizeof bytes), position);
}

int32_t TQDXExprBuilder::Null(int32_t position) {
  return AddConstant(Constant{}, position);
}

int32_t TQDXExprBuilder::Value(const TQDXVariant& value, int32_t position) {
  if (value.IsNull()) return Null(position);
  switch (value.DataType()) {
    case T::Char:
    case T::String:
    case T::Memo:
      return AddConstant(AnsiConstant(value.AsString()), position);
    case T::WideChar:
    case T::WideString:
    case T::WideMemo: {
      const std::u16string text = value.AsWideString();
      Constant c;
      c.Type = T::WideString;
      c.Null = false;
      c.Bytes.assign(2 * (text.size() + 1), '\0');
      StoreWideText(reinterpret_cast<uint8_t*>(c.Bytes.data()), text);
      return AddConstant(std::move(c), position);
    }
    default:
      return AddConstant(MakeConstant(value.DataType(), value.Data(), value.Size()), position);
  }
}

int32_t TQDXExprBuilder::NumberOperand(int32_t node, std::string_view what, int32_t position) {
  const T type = At(node).Type;
  if (IsCondition(node) || !(IsNumericDataType(type) || type == T::None)) {
    Raise(msg::kExprCannotApply, {position, what, Describe(node)});
  }
  return node;
}

int32_t TQDXExprBuilder::TextOperand(int32_t node, std::string_view what, int32_t position) {
  const T type = At(node).Type;
  if (IsCondition(node) || !(IsText(type) || type == T::None)) {
    Raise(msg::kExprCannotApply, {position, what, Describe(node)});
  }
  return node;
}

int32_t TQDXExprBuilder::Negate(int32_t operand, int32_t position) {
  NumberOperand(operand, "'-'", position);
  Node node;
  node.Kind = Op::Negate;
  node.Type = IsIntegerType(At(operand).Type) ? T::LargeInt : T::Float;
  node.A = operand;
  node.Scratch = NewScratch();
  node.Position = position;
  return Add(node, {operand});
}

int32_t TQDXExprBuilder::Arithmetic(Op op, int32_t left, int32_t right, int32_t position) {
  static constexpr std::string_view kNames[] = {"'+'", "'-'", "'*'", "'/'"};
  const std::string_view name = kNames[static_cast<int>(op) - static_cast<int>(Op::Add)];
  const T a = At(left).Type, b = At(right).Type;
  const bool dateA = IsDateTimeDataType(a), dateB = IsDateTimeDataType(b);
  T type = T::None;
  if (IsCondition(left) || IsCondition(right)) {
    // falls through to the error below
  } else if (dateA || dateB) {
    // date ± days, days + date, date - date; a lone time has no arithmetic.
    const bool timeOnly = a == T::Time || b == T::Time;
    if (!timeOnly && dateA && dateB && op == Op::Subtract) {
      type = (a == T::Date && b == T::Date) ? T::LargeInt : T::Float;
    } else if (!timeOnly && dateA && (IsNumericDataType(b) || b == T::None) &&
               (op == Op::Add || op == Op::Subtract)) {
      type = a;
    } else if (!timeOnly && dateB && (IsNumericDataType(a) || a == T::None) && op == Op::Add) {
      type = b;
    }
  } else if ((IsNumericDataType(a) || a == T::None) && (IsNumericDataType(b) || b == T::None)) {
    type = (IsIntegerType(a) || a == T::LargeInt) && (IsIntegerType(b) || b == T::LargeInt)
               ? T::LargeInt
               : T::Float;
  }
  if (type == T::None) {
    auto unfit = [&](int32_t side, T t) {
      return IsCondition(side) || t == T::Time ||
             !(IsNumericDataType(t) || IsDateTimeDataType(t) || t == T::None);
    };
    const int32_t culprit = unfit(left, a) ? left : right;
    Raise(msg::kExprCannotApply, {position, name, Describe(culprit)});
  }
  Node node;
  node.Kind = op;
  node.Type = type;
  node.A = left;
  node.B = right;
  node.Scratch = NewScratch();
  node.Position = position;
  return Add(node, {left, right});
}

int32_t TQDXExprBuilder::Function(std::string_view name, std::vector<int32_t> args,
                                  int32_t position) {
  const std::string upper = AnsiUpperCase(name);
  struct Signature {
    std::string_view Name;
    Op Kind;
    size_t MinArgs, MaxArgs;
  };
  static constexpr Signature kFunctions[] = {
      {"UPPER", Op::Upper, 1, 1},
      {"LOWER", Op::Lower, 1, 1},
      {"TRIM", Op::Trim, 1, 1},
      {"SUBSTRING", Op::Substring, 2, 3},
      {"CURRENT_DATE", Op::CurrentDate, 0, 0},
      {"CURRENT_TIME", Op::CurrentTime, 0, 0},
      {"CURRENT_TIMESTAMP", Op::CurrentTimestamp, 0, 0},
  };
  const auto* f = std::find_if(std::begin(kFunctions), std::end(kFunctions),
                               [&](const Signature& s) { return s.Name == upper; });
  if (f == std::end(kFunctions)) Raise(msg::kExprUnknownFunction, {position, name});
  if (args.size() < f->MinArgs || args.size() > f->MaxArgs) {
    const std::string expected = f->MinArgs == f->MaxArgs
                                     ? std::to_string(f->MinArgs) + " argument(s) of " + upper
                                     : std::to_string(f->MinArgs) + " to " +
                                           std::to_string(f->MaxArgs) + " arguments of " + upper;
    Raise(msg::kExprExpected, {position, expected, std::to_string(args.size())});
  }
  callsFunction_ = true;
  Node node;
  node.Kind = f->Kind;
  node.Position = position;
  node.Scratch = NewScratch();
  switch (f->Kind) {
    case Op::CurrentDate:
      node.Type = T::Date;
      program_.ReadsClock = true;
      return Add(node, {});
    case Op::CurrentTime:
      node.Type = T::Time;
      program_.ReadsClock = true;
      return Add(node, {});
    case Op::CurrentTimestamp:
      node.Type = T::DateTime;
      program_.ReadsClock = true;
      return Add(node, {});
    default:
      break;
  }
  node.A = TextOperand(args[0], upper, position);
  node.Type = IsWideStringDataType(At(node.A).Type) ? T::WideString : T::String;
  if (f->Kind == Op::Substring) {
    node.B = NumberOperand(args[1], upper, position);
    if (args.size() > 2) node.C = NumberOperand(args[2], upper, position);
  }
  return Add(node, {node.A, node.B, node.C});
}

// ---- Conditions ---------------------------------------------------------------------------------

void TQDXExprBuilder::ConvertConstant(int32_t& index, TQDXDataType type) {
  Node& node = program_.Nodes[static_cast<size_t>(index)];
  Constant& c = program_.Constants[static_cast<size_t>(node.Offset)];
  if (c.Null || c.Type == type) return;
  int32_t size = 0;
  TQDXMemBlock converted;
  try {
    converted = ConvertValue({c.Ref().Data, c.Ref().Size, c.Type}, type, size);
  } catch (const EQDXException&) {
    std::string text = Describe(index);
    text = text.substr(1, text.rfind('\'') - 1);  // the value without quotes and type
    Raise(msg::kExprInvalidValue, {node.Position, text, DataTypeName(type)});
  }
  c.Bytes.assign(reinterpret_cast<const char*>(converted.data()), static_cast<size_t>(size));
  c.Type = type;
  node.Type = type;
}

void TQDXExprBuilder::NarrowConstant(int32_t index, TQDXDataType type) {
  Node& node = program_.Nodes[static_cast<size_t>(index)];
  Constant& c = program_.Constants[static_cast<size_t>(node.Offset)];
  if (c.Null || c.Type == type) return;
  // 2.5 against an INTEGER, or a value out of the type's range, is compared by value as it is.
  if (std::optional<Constant> exact = ExactlyAs(c, type)) {
    c = std::move(*exact);
    node.Type = type;
  }
}

TQDXDataType TQDXExprBuilder::Unify(int32_t& left, int32_t& right, int32_t position,
                                    bool convertLeft) {
  for (int32_t side : {left, right}) {
    if (IsCondition(side)) Raise(msg::kExprExpected, {position, "a value", "a condition"});
  }
  const T a = At(left).Type, b = At(right).Type;
  if (a == T::None || b == T::None) return T::None;  // NULL: the comparison is unknown
  const T common = a == b ? a : CommonDataType(a, b);
  if (common == T::None)
    Raise(msg::kExprCannotCompare, {position, Describe(left), Describe(right)});
  // Numbers compare with numbers and dates with dates by value; a constant that is exactly a
  // value of the other operand's type takes that type, so that the two compare without
  // widening. Any other pair compares in the common type, where a constant goes at once.
  if (SameClass(a, b) && !IsText(a)) {
    if (convertLeft && IsConstant(left) && !IsConstant(right)) NarrowConstant(left, b);
    if (IsConstant(right) && !IsConstant(left)) NarrowConstant(right, a);
  } else {
    if (convertLeft && IsConstant(left) && !IsConstant(right)) ConvertConstant(left, common);
    if (IsConstant(right) && !IsConstant(left)) ConvertConstant(right, common);
  }
  return common;
}

int32_t TQDXExprBuilder::Compare(Comparison cmp, int32_t left, int32_t right, int32_t position) {
  const T common = Unify(left, right, position);
  Node node;
  node.Kind = Op::Compare;
  node.Cmp = cmp;
  node.CaseInsensitive = options_.CaseInsensitive;
  node.Position = position;
  // Partial compare: "= 'abc*'" matches texts that begin with "abc".
  if ((cmp == kEq || cmp == kNe) && IsText(common)) {
    for (int32_t side : {left, right}) {
      const Node& operand = At(side);
      if (operand.Kind != Op::Constant || !operand.Partial) continue;
      Constant& c = program_.Constants[static_cast<size_t>(operand.Offset)];
      const size_t unit = IsWideStringDataType(c.Type) ? 2 : 1;
      const size_t length = static_cast<size_t>(TextLength(c));  // ends in "*"
      if (length == 0) break;
      c.Bytes.erase((length - 1) * unit, unit);
      node.Prefix = static_cast<int32_t>(length - 1);
      break;
    }
  }
  node.A = left;
  node.B = right;
  return Add(node, {left, right});
}

int32_t TQDXExprBuilder::Like(int32_t text, int32_t pattern, int32_t escape, bool negated,
                              int32_t position) {
  TextOperand(text, "LIKE", position);
  TextOperand(pattern, "LIKE", position);
  if (escape >= 0) {
    TextOperand(escape, "ESCAPE", position);
    if (IsConstant(escape)) {
      const Constant& c = program_.Constants[static_cast<size_t>(At(escape).Offset)];
      if (!c.Null && TextLength(c) != 1) {
        Raise(msg::kExprExpected,
              {At(escape).Position, "one character after ESCAPE", Describe(escape)});
      }
    }
  }
  Node node;
  node.Kind = Op::Like;
  // A constant pattern (the usual case) is taken apart once.
  if (IsConstant(pattern) && (escape < 0 || IsConstant(escape))) {
    const Constant& p = program_.Constants[static_cast<size_t>(At(pattern).Offset)];
    const Constant* e =
        escape < 0 ? nullptr : &program_.Constants[static_cast<size_t>(At(escape).Offset)];
    if (!p.Null && !(e && e->Null)) {
      const std::u16string escapeText = e ? WideText(*e) : std::u16string();
      program_.Patterns.emplace_back(WideText(p), e != nullptr, options_.CaseInsensitive,
                                     escapeText.empty() ? u'\0' : escapeText[0]);
      node.Pattern = static_cast<int32_t>(program_.Patterns.size() - 1);
    }
  }
  node.Negated = negated;
  node.CaseInsensitive = options_.CaseInsensitive;
  node.A = text;
  node.B = pattern;
  node.C = escape;
  node.Scratch = NewScratch();
  node.Position = position;
  return Add(node, {text, pattern, escape});
}

int32_t TQDXExprBuilder::In(int32_t operand, const std::vector<int32_t>& list, bool negated,
                            int32_t position) {
  Node node;
  node.Kind = Op::In;
  node.Negated = negated;
  node.CaseInsensitive = options_.CaseInsensitive;
  node.A = operand;
  node.Position = position;
  node.First = static_cast<int32_t>(program_.Args.size());
  node.Count = static_cast<int32_t>(list.size());
  for (int32_t item : list) {
    int32_t left = operand;
    Unify(left, item, At(item).Position, false);
    program_.Args.push_back(item);
    node.Depth = std::max(node.Depth, At(item).Depth + 1);
  }
  return Add(node, {operand});
}

int32_t TQDXExprBuilder::Between(int32_t operand, int32_t low, int32_t high, bool negated,
                                 int32_t position) {
  int32_t left = operand;
  Unify(left, low, position, false);
  Unify(left, high, position, false);
  Node node;
  node.Kind = Op::Between;
  node.Negated = negated;
  node.CaseInsensitive = options_.CaseInsensitive;
  node.A = operand;
  node.B = low;
  node.C = high;
  node.Position = position;
  return Add(node, {operand, low, high});
}

int32_t TQDXExprBuilder::IsNull(int32_t operand, bool negated, int32_t position) {
  if (IsCondition(operand)) Raise(msg::kExprExpected, {position, "a value", "a condition"});
  Node node;
  node.Kind = Op::IsNull;
  node.Negated = negated;
  node.A = operand;
  node.Position = position;
  return Add(node, {operand});
}

int32_t TQDXExprBuilder::Condition(int32_t index, int32_t position) {
  if (IsCondition(index)) return index;
  const T type = At(index).Type;
  if (type != T::Logical && type != T::None) {
    Raise(msg::kExprExpected, {position, "a condition", Describe(index)});
  }
  Node node;
  node.Kind = Op::IsTrue;
  node.A = index;
  node.Position = position;
  return Add(node, {index});
}

int32_t TQDXExprBuilder::Not(int32_t operand, int32_t position) {
  operand = Condition(operand, position);
  Node node;
  node.Kind = Op::Not;
  node.A = operand;
  node.Position = position;
  return Add(node, {operand});
}

int32_t TQDXExprBuilder::Logic(Op op, const std::vector<int32_t>& operands, int32_t position) {
  Node node;
  node.Kind = op;
  node.Position = position;
  std::vector<int32_t> flat;
  for (int32_t operand : operands) {
    operand = Condition(operand, At(operand).Position);
    const Node& child = At(operand);
    if (child.Kind == op) {
      for (int32_t i = 0; i < child.Count; ++i) {
        flat.push_back(program_.Args[static_cast<size_t>(child.First + i)]);
      }
    } else {
      flat.push_back(operand);
    }
  }
  node.First = static_cast<int32_t>(program_.Args.size());
  node.Count = static_cast<int32_t>(flat.size());
  for (int32_t operand : flat) {
    program_.Args.push_back(operand);
    node.Depth = std::max(node.Depth, At(operand).Depth + 1);
  }
  return Add(node, {});
}

int32_t TQDXExprBuilder::LocateEquals(int32_t fieldNo, const TQDXVariant& value, bool partial) {
  const int32_t field = FieldByNo(fieldNo, 0);
  if (value.IsNull()) return IsNull(field, false, 0);
  int32_t left = field, right = Value(value, 0);
  const T common = Unify(left, right, 0);
  Node node;
  node.Kind = Op::Compare;
  node.Cmp = kEq;
  node.CaseInsensitive = options_.CaseInsensitive;
  if (partial && IsText(common) && IsText(At(right).Type)) {
    node.Prefix = TextLength(program_.Constants[static_cast<size_t>(At(right).Offset)]);
  }
  node.A = left;
  node.B = right;
  return Add(node, {left, right});
}

// ---- Results ------------------------------------------------------------------------------------

Program TQDXExprBuilder::Finish(int32_t root) {
  program_.Root = root;
  return std::move(program_);
}

std::vector<TQDXFieldCondition> TQDXExprBuilder::FieldConditions(int32_t root) const {
  std::vector<TQDXFieldCondition> conditions;
  // A condition `field kind constant` that an index on the field can serve: the comparison
  // orders as the field's own values do, and the constant is exactly a value of the field's type.
  auto add = [&](int32_t fieldSide, int32_t constantSide, int32_t kind) {
    const Node& field = At(fieldSide);
    const Node& constant = At(constantSide);
    if (field.Kind != Op::Field || constant.Kind != Op::Constant) return;
    const Constant& c = program_.Constants[static_cast<size_t>(constant.Offset)];
    if (c.Null || !SameClass(field.Type, c.Type)) return;
    if (IsText(field.Type) && options_.CaseInsensitive) return;  // an index may tell case apart
    // 2.5 against an INTEGER field: no value of the field is the constant.
    const std::optional<Constant> value = ExactlyAs(c, field.Type);
    if (!value) return;
    TQDXFieldCondition condition;
    condition.FieldNo = field.FieldNo;
    condition.Kind = kind;
    condition.Value.SetData(value->Bytes.data(), static_cast<int32_t>(value->Bytes.size()), true,
                            field.Type);
    conditions.push_back(std::move(condition));
  };
  // The kind with the operands swapped: 5 > field is field < 5.
  static constexpr int32_t kMirror[] = {0, kEq, kGt, kLt, kGe, kLe};
  auto visit = [&](int32_t index) {
    const Node& node = At(index);
    if (node.Kind == Op::Compare && node.Cmp != kNe && node.Prefix < 0) {
      add(node.A, node.B, node.Cmp);
      add(node.B, node.A, kMirror[node.Cmp]);
    } else if (node.Kind == Op::Between && !node.Negated) {
      add(node.A, node.B, kGe);
      add(node.A, node.C, kLe);
    }
  };
  const Node& top = At(root);
  if (top.Kind == Op::And) {
    for (int32_t i = 0; i < top.Count; ++i)
      visit(program_.Args[static_cast<size_t>(top.First + i)]);
  } else {
    visit(root);
  }
  return conditions;
}

}  // namespace qdx::expr
