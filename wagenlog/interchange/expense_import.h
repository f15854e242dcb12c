// An import from start to end: the file's text read as CSV, its layout turned into records,
// lines that cannot be read reported, records already in the table set aside as duplicates,
// and the rest inserted in one transaction.
//
// Nothing is inserted when a line cannot be read, unless the user asks to skip such lines; a
// dry run goes as far as knowing what would be inserted and stops there.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wagenlog/interchange/expense_store.h"
#include "wagenlog/interchange/import_problem.h"
#include "wagenlog/interchange/lubelogger_layout.h"
#include "wagenlog/interchange/read_options.h"

namespace qdx::interchange {

enum class ImportLayout : uint8_t { Generic, Fuelio, LubeLogger };

struct ImportOptions {
  ImportLayout Layout = ImportLayout::Generic;
  ReadOptions Read;
  // For LubeLogger files whose header fits two kinds; none detects it.
  std::optional<LubeLoggerKind> Kind;
  bool DryRun = false;
  bool SkipBad = false;
  bool AllowDuplicates = false;
};

struct ImportOutcome {
  std::vector<ReadRecord> Accepted;    // inserted, or to be inserted by a dry run
  std::vector<ReadRecord> Duplicates;  // equal to a stored record, left out
  std::vector<ImportProblem> Problems;  // in line order
  size_t BadLines = 0;
  // True when bad lines stopped the import: nothing was inserted.
  bool Refused = false;
  bool Inserted = false;
};

// Reads the records of a file's text in a layout, without a table. Throws EInterchangeError for
// a fault of the whole file (no header, a mapping that cannot be made, another layout).
LayoutResult ReadExpenseFile(std::string_view text, const ImportOptions& options);

// Runs the import into `store`. Throws EInterchangeError as ReadExpenseFile does; the store's
// errors pass through, and then nothing was inserted.
ImportOutcome ImportExpenses(std::string_view text, ExpenseStore& store,
                             const ImportOptions& options);

// The reason a refused import gives, with the number of bad lines.
std::string RefusalMessage(const ImportOutcome& outcome);

// The report of an import, as qdx and the program show it. `fileName` starts every line about
// the file ("kosten.csv: line 7, column Datum, ...").
struct ImportReport {
  std::vector<std::string> Problems;    // the lines that could not be read, then the duplicates
  std::string Refusal;                  // why nothing was inserted; empty when it went through
  std::vector<std::string> Summary;     // what was (or would be) inserted, and what was skipped
};
ImportReport DescribeImport(const ImportOutcome& outcome, std::string_view fileName,
                            std::string_view tableName, bool dryRun);

}  // namespace qdx::interchange
