#include "wagenlog/interchange/read_options.h"

#include <algorithm>

namespace qdx::interchange {

ValueFormats MakeValueFormats(const ReadOptions& options, const CsvDocument& document,
                              std::vector<std::string_view> dateValues, bool cutLongTexts) {
  DateColumnReader dates = options.DateFormat
                               ? DateColumnReader(*options.DateFormat, options.PivotYear)
                               : DateColumnReader::Automatic(options.Formats, options.PivotYear);
  dates.ChooseFor(dateValues);
  const char decimal = options.DecimalSeparator != 0 ? options.DecimalSeparator
                       : document.Separator == ';'   ? ','
                                                     : '.';
  return ValueFormats{std::move(dates), decimal, cutLongTexts};
}

void RecordBuilder::Set(ExpenseField field, std::string_view column, std::string_view text) {
  if (auto reason = SetExpenseField(record_, field, text, formats_)) {
    Fail(column, text, std::move(*reason));
  }
}

void RecordBuilder::Fail(std::string_view column, std::string_view value, std::string reason) {
  problems_.push_back({line_, std::string(column), std::string(value), std::move(reason)});
}

void RecordBuilder::FinishInto(LayoutResult& result) {
  if (problems_.empty()) {
    if (auto missing = MissingRequiredField(record_)) Fail("", "", std::move(*missing));
  }
  if (!problems_.empty()) {
    result.Problems.insert(result.Problems.end(), problems_.begin(), problems_.end());
    return;
  }
  result.Records.push_back({line_, std::move(record_)});
}

void AddCsvProblems(const CsvDocument& document, std::vector<ImportProblem>& problems) {
  for (const CsvProblem& p : document.Problems) problems.push_back({p.Line, "", "", p.Reason});
}

}  // namespace qdx::interchange
