#include "wagenlog/interchange/generic_layout.h"

#include "wagenlog/interchange/column_mapping.h"
#include "wagenlog/interchange/interchange_error.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "engine/foundation/format.h"

namespace qdx::interchange {
namespace {

// Fields past the header's count are allowed when empty: spreadsheets often end lines with a
// separator.
size_t UsedFieldCount(const std::vector<std::string>& fields, size_t headerCount) {
  size_t count = fields.size();
  while (count > headerCount && fields[count - 1].empty()) --count;
  return count;
}

}  // namespace

LayoutResult ReadGenericExpenses(const CsvDocument& document, const ReadOptions& options) {
  if (document.Records.empty()) throw EInterchangeError(kFileEmpty);
  const std::vector<std::string>& header = document.Records.front().Fields;
  const ColumnMapping mapping = ColumnMapping::Build(header, options.Map);

  const size_t dateColumn = *mapping.ColumnOf(ExpenseField::Datum);
  std::vector<std::string_view> dates;
  dates.reserve(document.Records.size());
  for (size_t i = 1; i < document.Records.size(); ++i) {
    const auto& fields = document.Records[i].Fields;
    if (dateColumn < fields.size()) dates.push_back(fields[dateColumn]);
  }
  const ValueFormats formats = MakeValueFormats(options, document, dates, false);

  LayoutResult result;
  result.Records.reserve(document.Records.size());
  AddCsvProblems(document, result.Problems);
  for (size_t i = 1; i < document.Records.size(); ++i) {
    const CsvRecord& line = document.Records[i];
    RecordBuilder builder(line.Line, formats);
    const size_t count = UsedFieldCount(line.Fields, header.size());
    if (count != header.size()) {
      const FormatArg args[] = {static_cast<int64_t>(count), static_cast<int64_t>(header.size())};
      builder.Fail("", "", FormatOrFallback(kCsvFieldCount, args));
      builder.FinishInto(result);
      continue;
    }
    for (size_t f = 0; f < kExpenseFieldCount; ++f) {
      const auto field = static_cast<ExpenseField>(f);
      if (const auto column = mapping.ColumnOf(field)) {
        builder.Set(field, header[*column], line.Fields[*column]);
      }
    }
    builder.FinishInto(result);
  }
  return result;
}

}  // namespace qdx::interchange
