// The engine's expressions as the table data and the field definitions see them (expression.h).
#include "engine/core/expr/expression.h"

#include <atomic>
#include <type_traits>

#include "engine/core/expr/parser.h"
#include "engine/core/expr/program.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/strings.h"

namespace qdx {

static_assert(std::is_same_v<decltype(&CompileFilterExpression), TQDXFilterCompiler>,
              "the cursor hands filter texts to CompileFilterExpression");

namespace {

std::atomic<TQDXExpressionClock> expressionClock{nullptr};

class FilterExpression final : public TQDXFilterExpression {
 public:
  FilterExpression(expr::Program program, std::vector<TQDXFieldCondition> conditions)
      : program_(std::move(program)), conditions_(std::move(conditions)) {}

  bool Evaluate(const uint8_t* record) const override {
    return program_.Test(record) == expr::Tri::True;
  }
  std::span<const TQDXFieldCondition> FieldConditions() const override { return conditions_; }

 private:
  expr::Program program_;
  std::vector<TQDXFieldCondition> conditions_;
};

class DefaultExpression final : public TQDXDefaultExpression {
 public:
  explicit DefaultExpression(expr::Program program) : program_(std::move(program)) {}

  TQDXVariant Evaluate() override {
    const expr::ValueRef value = program_.Value(nullptr);  // refers to no field
    TQDXVariant result(value.Type);
    if (!value.Null) result.SetData(value.Data, value.Size, true, value.Type);
    return result;
  }

 private:
  expr::Program program_;
};

std::unique_ptr<TQDXFilterExpression> Finish(expr::TQDXExprBuilder& builder, int32_t root) {
  std::vector<TQDXFieldCondition> conditions = builder.FieldConditions(root);
  return std::make_unique<FilterExpression>(builder.Finish(root), std::move(conditions));
}

}  // namespace

namespace expr {

platform::LocalTime CurrentTime() {
  const TQDXExpressionClock clock = expressionClock.load(std::memory_order_relaxed);
  return clock ? clock() : platform::CurrentLocalTime();
}

}  // namespace expr

std::unique_ptr<TQDXFilterExpression> CompileFilterExpression(std::string_view text,
                                                              const TQDXFieldDefs& fields,
                                                              const TQDXFilterOptions& options) {
  expr::TQDXExprBuilder builder(&fields, options);
  const int32_t root = expr::ParseExpression(text, builder);
  return Finish(builder, builder.Condition(root, 1));
}

std::vector<std::string> SplitLocateFieldNames(std::string_view keyFields) {
  std::vector<std::string> names;
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(keyFields.find(';', start), keyFields.size());
    std::string_view name = keyFields.substr(start, end - start);
    while (!name.empty() && static_cast<unsigned char>(name.front()) <= ' ') name.remove_prefix(1);
    while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ') name.remove_suffix(1);
    names.push_back(AnsiUpperCase(name));
    if (end == keyFields.size()) return names;
    start = end + 1;
  }
}

std::unique_ptr<TQDXFilterExpression> BuildLocateExpression(std::span<const std::string> names,
                                                            std::span<const TQDXVariant> values,
                                                            const TQDXFieldDefs& fields,
                                                            bool caseInsensitive, bool partial) {
  if (names.size() != values.size()) {
    Raise(msg::kLocateCountMismatch,
          {static_cast<int64_t>(names.size()), static_cast<int64_t>(values.size())});
  }
  TQDXFilterOptions options;
  options.CaseInsensitive = caseInsensitive;
  options.NoPartialCompare = true;  // values are values: a "*" in one is a plain character
  expr::TQDXExprBuilder builder(&fields, options);
  std::vector<int32_t> equalities;
  for (size_t i = 0; i < names.size(); ++i) {
    const int32_t fieldNo = fields.IndexOfName(names[i]);
    if (fieldNo < 0) Raise(msg::kLocateFieldNotFound, {names[i]});
    equalities.push_back(builder.LocateEquals(fieldNo, values[i], partial));
  }
  if (equalities.empty()) equalities.push_back(builder.Logical(true, 0));
  const int32_t root = equalities.size() == 1 ? builder.Condition(equalities[0], 0)
                                              : builder.Logic(expr::Op::And, equalities, 0);
  return Finish(builder, root);
}

std::unique_ptr<TQDXDefaultExpression> ParseDefaultExpression(const TQDXVariant& defaultValue) {
  if (defaultValue.IsNull() || !IsStringDataType(defaultValue.DataType())) return nullptr;
  expr::TQDXExprBuilder builder(nullptr, TQDXFilterOptions{});
  int32_t root = -1;
  try {
    root = expr::ParseExpression(defaultValue.AsString(), builder);
  } catch (const EQDXException&) {
    return nullptr;  // not an expression: a plain text
  }
  if (builder.RefersToField() || !builder.CallsFunction() || builder.IsCondition(root)) {
    return nullptr;
  }
  return std::make_unique<DefaultExpression>(builder.Finish(root));
}

void RegisterExpressionDefaults() {
  SetDefaultExpressionParser(&ParseDefaultExpression);
}

void SetExpressionClock(TQDXExpressionClock clock) {
  expressionClock.store(clock, std::memory_order_relaxed);
}

}  // namespace qdx
