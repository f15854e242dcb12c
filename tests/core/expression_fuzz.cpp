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
    TQDXVariant v;
    v.SetAsInteger(-3);
    SetFieldValue(v, 0, defs, values.data());
    v.Clear(TQDXDataType::None);
    v.SetAsString("abc%_*");
    SetFieldValue(v, 1, defs, values.data());
    v.Clear(TQDXDataType::None);
    v.SetAsWideString(u"\u00e9t\u00e9");
    SetFieldValue(v, 2, defs, values.data());
    v.Clear(TQDXDataType::None);
    v.SetAsDate(739000);
    SetFieldValue(v, 3, defs, values.data());
    v.Clear(TQDXDataType::None);
    v.SetAsDateTime({739000, 1000});
    SetFieldValue(v, 4, defs, values.data());
    v.Clear(TQDXDataType::None);
    v.SetAsLogical(true);
    SetFieldValue(v, 5, defs, values.data());
    v.Clear(TQDXDataType::None);
    v.SetAsFloat(1e300);
    SetFieldValue(v, 6, defs, values.data());
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
      if (condition.FieldNo < 0 || condition.FieldNo >= table.defs.Count() ||
          condition.Kind < 1 || condition.Kind > 5 ||
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
