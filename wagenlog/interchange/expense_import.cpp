#include "wagenlog/interchange/expense_import.h"

#include <algorithm>
#include <set>

#include "wagenlog/interchange/csv_reader.h"
#include "wagenlog/interchange/fuelio_layout.h"
#include "wagenlog/interchange/generic_layout.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "engine/foundation/format.h"

namespace qdx::interchange {
LayoutResult ReadExpenseFile(std::string_view text, const ImportOptions& options) {
  const CsvDocument document = CsvReader::Read(text);
  LayoutResult result;
  switch (options.Layout) {
    case ImportLayout::Generic:
      result = ReadGenericExpenses(document, options.Read);
      break;
    case ImportLayout::Fuelio:
      result = ReadFuelioBackup(document, options.Read);
      break;
    case ImportLayout::LubeLogger:
      result = ReadLubeLogger(document, options.Read, options.Kind);
      break;
  }
  std::stable_sort(result.Problems.begin(), result.Problems.end(),
                   [](const ImportProblem& a, const ImportProblem& b) { return a.Line < b.Line; });
  return result;
}

ImportOutcome ImportExpenses(std::string_view text, ExpenseStore& store,
                             const ImportOptions& options) {
  LayoutResult read = ReadExpenseFile(text, options);
  ImportOutcome outcome;
  outcome.Problems = std::move(read.Problems);
  outcome.BadLines = CountBadLines(outcome.Problems);
  if (outcome.BadLines > 0 && !options.SkipBad) {
    outcome.Refused = true;
    return outcome;
  }
  std::set<ExpenseKey> stored;
  if (!options.AllowDuplicates) {
    for (const ExpenseRecord& r : store.ReadAll()) stored.insert(DuplicateKey(r));
  }
  outcome.Accepted.reserve(read.Records.size());
  for (ReadRecord& r : read.Records) {
    const bool duplicate = stored.contains(DuplicateKey(r.Record));
    (duplicate ? outcome.Duplicates : outcome.Accepted).push_back(std::move(r));
  }
  if (options.DryRun || outcome.Accepted.empty()) return outcome;
  std::vector<ExpenseRecord> records;
  records.reserve(outcome.Accepted.size());
  for (const ReadRecord& r : outcome.Accepted) records.push_back(r.Record);
  store.InsertAll(records);
  outcome.Inserted = true;
  return outcome;
}

std::string RefusalMessage(const ImportOutcome& outcome) {
  const FormatArg args[] = {static_cast<int64_t>(outcome.BadLines)};
  return FormatOrFallback(kImportRefused, args);
}

ImportReport DescribeImport(const ImportOutcome& outcome, std::string_view fileName,
                            std::string_view tableName, bool dryRun) {
  const auto text = [](const char* format, FormatArgs args) {
    return FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size()));
  };
  const std::string prefix = PrintableText(fileName) + ": ";
  ImportReport report;
  for (const ImportProblem& problem : outcome.Problems) {
    report.Problems.push_back(prefix + DescribeProblem(problem));
  }
  if (outcome.Refused) {
    report.Refusal = RefusalMessage(outcome);
    return report;
  }
  for (const ReadRecord& duplicate : outcome.Duplicates) {
    report.Problems.push_back(prefix + text(kQdxDuplicateSkipped, {duplicate.Line}));
  }
  const int64_t accepted = static_cast<int64_t>(outcome.Accepted.size());
  report.Summary.push_back(text(dryRun ? kQdxWouldImport : kQdxImported, {accepted, tableName}));
  report.Summary.push_back(text(kQdxImportCounts, {static_cast<int64_t>(outcome.Duplicates.size()),
                                                   static_cast<int64_t>(outcome.BadLines)}));
  return report;
}

}  // namespace qdx::interchange
