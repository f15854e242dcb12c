// Helpers of the import and export tests: the sample files under data/, an expense table in
// memory, and records written briefly.
#pragma once

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "wagenlog/interchange/csv_reader.h"
#include "wagenlog/interchange/expense_store.h"
#include "wagenlog/interchange/read_options.h"
#include "engine/foundation/types/date_time.h"

namespace qdx::interchange::testing {

#ifdef QDX_DATASET_TEST_DATA
inline std::string SampleFile(const std::string& name) {
  std::ifstream in(std::string(QDX_DATASET_TEST_DATA) + "/" + name, std::ios::binary);
  if (!in) throw std::runtime_error("missing sample file " + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
#endif

inline int32_t Day(int32_t year, uint32_t month, uint32_t day) {
  int32_t number = 0;
  if (!TryEncodeDate(year, month, day, number)) throw std::logic_error("no such date");
  return number;
}

// An expense record in one line; verbruik stays null as imports leave it.
inline ExpenseRecord Expense(int32_t day, std::string_view category, std::string_view company,
                             std::optional<int32_t> km, std::optional<double> litres,
                             double amount) {
  return ExpenseRecord{day, std::string(category), std::string(company), km, litres, amount, {}};
}

inline std::vector<ExpenseRecord> RecordsOf(const std::vector<ReadRecord>& read) {
  std::vector<ExpenseRecord> records;
  for (const ReadRecord& r : read) records.push_back(r.Record);
  return records;
}

// A document of rows as a CSV reader would give them, numbered from line 1: what a writer's
// rows read back as, without the writer's quoting in between.
inline CsvDocument DocumentOf(const std::vector<CsvRow>& rows, char separator = ',') {
  CsvDocument document;
  document.Separator = separator;
  int32_t line = 0;
  for (const CsvRow& row : rows) document.Records.push_back({++line, row});
  return document;
}

// The user's formats of a Dutch desktop, fixed for the tests.
inline ReadOptions DutchOptions() {
  ReadOptions options;
  options.Formats.ShortDateFormat = u"d-M-yyyy";
  options.Formats.DecimalSeparator = u',';
  options.PivotYear = 2026;
  return options;
}

// The expense table in memory; InsertAll can be made to fail half-way, as a transaction that
// rolls back.
class MemoryExpenseStore : public ExpenseStore {
 public:
  std::vector<ExpenseRecord> ReadAll() override { return records; }
  void InsertAll(std::span<const ExpenseRecord> added) override {
    ++insertCalls;
    if (failInsert) throw std::runtime_error("disk full");
    records.insert(records.end(), added.begin(), added.end());
  }

  std::vector<ExpenseRecord> records;
  int insertCalls = 0;
  bool failInsert = false;
};

}  // namespace qdx::interchange::testing
