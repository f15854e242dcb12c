// What the user says about a file being imported, and the layouts' common result: the records
// read, each with its line, and the problems of the lines that could not be read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wagenlog/interchange/csv_reader.h"
#include "wagenlog/interchange/date_pattern.h"
#include "wagenlog/interchange/expense_record.h"
#include "wagenlog/interchange/field_values.h"
#include "wagenlog/interchange/import_problem.h"
#include "engine/foundation/platform/locale.h"

namespace qdx::interchange {

struct ReadOptions {
  // "FIELD=COLUMN,..." (generic layout only).
  std::string Map;
  // The dates' pattern when the user gives one; otherwise it is chosen per column.
  std::optional<DatePattern> DateFormat;
  // '.' or ','; 0 takes ',' for files separated by ';' and '.' otherwise.
  char DecimalSeparator = 0;
  // The user's formats (the short date pattern joins the automatic candidates).
  platform::FormatSettings Formats;
  int32_t PivotYear = 2000;
};

struct ReadRecord {
  int32_t Line = 0;
  ExpenseRecord Record;
};

struct LayoutResult {
  std::vector<ReadRecord> Records;
  std::vector<ImportProblem> Problems;
};

// The value formats for one date column of a document.
ValueFormats MakeValueFormats(const ReadOptions& options, const CsvDocument& document,
                              std::vector<std::string_view> dateValues, bool cutLongTexts);

// Builds the record of one line: each cell through SetExpenseField, its problems kept with the
// line and column, and the record added to the result only when the whole line was read.
class RecordBuilder {
 public:
  RecordBuilder(int32_t line, const ValueFormats& formats) : line_(line), formats_(formats) {}

  void Set(ExpenseField field, std::string_view column, std::string_view text);
  void Fail(std::string_view column, std::string_view value, std::string reason);
  ExpenseRecord& Record() { return record_; }
  // Adds the record, or the line's problems (a missing date or amount is one), to `result`.
  void FinishInto(LayoutResult& result);

 private:
  int32_t line_;
  const ValueFormats& formats_;
  ExpenseRecord record_;
  std::vector<ImportProblem> problems_;
};

// Adds the problems of the CSV reader (whole lines) to a layout's problems.
void AddCsvProblems(const CsvDocument& document, std::vector<ImportProblem>& problems);

}  // namespace qdx::interchange
