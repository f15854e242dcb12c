// The expression parser's fuzz target (expression_fuzz.h).
#include "tests/core/expression_fuzz.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "engine/core/expr/expression.h"
#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"

namespace qdx::testing {
namespace {

using F = TQDXFieldType;

struct Table {
  TQDXFieldDefs defs;
  std::vector<uint8_t> values, nulls;

  Table() {
    defs.AddField("N", F::Integer);
    defs.AddField("S", F::String, 8);
    defs.AddField("W", F::WideString, 8);
    defs.AddField("D", F::Date);
    defs.AddField("T", F::DateTime);
    defs.AddField("B", F::Logical);
    defs.AddField("X", F::Float);
    defs.AddField("M", F::Memo);
    defs.CalculateOffsets();
    values.assign(static_cast<size_t>(defs.MemoryRecordSize()), 0);
    nulls = values;
    InitRecordBuffer(defs, nulls.data());
    InitRecordBuffer(defs, values.data());
    auto set = [&](int32_t fieldNo, auto setter) {
      TQDXVariant value;
      setter(value);
      SetFieldValue(value, fieldNo, defs, values.data());
    };
    set(0, [](TQDXVariant& v) { v.SetAsInteger(-3); });
    set(1, [](TQDXVariant& v) { v.SetAsString("abc%_*"); });
    set(2, [](TQDXVariant& v) { v.SetAsWideString(u"\u00e9t\u00e9"); });
    set(3, [](TQDXVariant& v) { v.SetAsDate(739000); });
    set(4, [](TQDXVariant& v) { v.SetAsDateTime({739000, 1000}); });
    set(5, [](TQDXVariant& v) { v.SetAsLogical(true); });
    set(6, [](TQDXVariant& v) { v.SetAsFloat(1e300); });
  }
};

}  // namespace

int FuzzFilterExpression(const uint8_t* data, size_t size) {
  static const Table table;
  TQDXFilterOptions options;
  if (size > 1) {
    options.CaseInsensitive = data[0] & 1;
    options.NoPartialCompare = data[0] & 2;
    ++data;
    --size;
  }
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const auto expression = CompileFilterExpression(text, table.defs, options);
    expression->Evaluate(table.values.data());
    expression->Evaluate(table.nulls.data());
    for (const TQDXFieldCondition& condition : expression->FieldConditions()) {
      if (condition.FieldNo < 0 || condition.FieldNo >= table.defs.Count() || condition.Kind < 1 ||
          condition.Kind > 5 ||
          condition.Value.DataType() != table.defs.GetFieldDef(condition.FieldNo).DataType) {
        __builtin_trap();
      }
    }
  } catch (const EQDXException&) {
  }
  try {
    TQDXVariant value;
    value.SetAsString(text);
    if (const auto expression = ParseDefaultExpression(value)) expression->Evaluate();
  } catch (const EQDXException&) {
  }
  return 0;
}

std::vector<std::string> ExpressionFuzzSeeds() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(QDX_EXPR_FUZZ_SEEDS)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> seeds;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return seeds;
}

}  // namespace qdx::testing
