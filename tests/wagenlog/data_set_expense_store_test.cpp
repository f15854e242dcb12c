#include "wagenlog/interchange/data_set_expense_store.h"

#include <gtest/gtest.h>

#include "dataset/database_error.h"
#include "wagenlog/interchange/expense_import.h"
#include "tests/wagenlog/interchange_test_support.h"
#include "tests/dataset/memory_data_set.h"
#include "wagenlog/schema.h"

namespace qdx::interchange {
namespace {

using testing::Day;
using testing::Expense;

class RecordingTransaction : public ExpenseTransaction {
 public:
  void Start() override { log += "start "; }
  void Commit() override { log += "commit"; }
  void Rollback() override { log += "rollback"; }
  std::string log;
};

class DataSetExpenseStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.SetName("tb1");
    wagenlog::DefineExpenseFields(table_.FieldDefs());
    table_.Layout();
    table_.Open();
  }

  qdx::testing::TMemoryDataSet table_;
  RecordingTransaction transaction_;
  DataSetExpenseStore store_{table_, transaction_};
};

TEST_F(DataSetExpenseStoreTest, InsertedRecordsReadBackAsTheyWere) {
  ExpenseRecord withConsumption =
      Expense(Day(2024, 1, 2), "Brandstof", "Caf\xE9 \x80", 120450, 41.37, 78.15);
  withConsumption.verbruik = 14.5;
  const std::vector<ExpenseRecord> records = {
      withConsumption,
      Expense(Day(2024, 1, 31), "Verzekering", "", {}, {}, 62.4),
      ExpenseRecord{},  // every field null
  };
  std::vector<std::pair<size_t, size_t>> progress;
  store_.OnProgress = [&](size_t done, size_t total) { progress.emplace_back(done, total); };
  store_.InsertAll(records);
  EXPECT_EQ(transaction_.log, "start commit");
  EXPECT_EQ(progress.back(), (std::pair<size_t, size_t>{3, 3}));
  EXPECT_EQ(store_.ReadAll(), records);
}

TEST_F(DataSetExpenseStoreTest, AFailedPostRollsBackAndCancels) {
  table_.FailNextPost = [] { throw std::runtime_error("Record is locked"); };
  const std::vector<ExpenseRecord> records = {
      Expense(Day(2024, 1, 2), "Brandstof", "", {}, {}, 1.0)};
  EXPECT_THROW(store_.InsertAll(records), std::runtime_error);
  EXPECT_EQ(transaction_.log, "start rollback");
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  EXPECT_EQ(table_.StoredCount(), 0u);
}

TEST_F(DataSetExpenseStoreTest, ImportIntoADataSet) {
  ImportOptions options;
  options.Read = testing::DutchOptions();
  const std::string text = testing::SampleFile("spreadsheet_nl.csv");
  ImportExpenses(text, store_, options);
  const ImportOutcome again = ImportExpenses(text, store_, options);
  EXPECT_EQ(again.Duplicates.size(), 4u);
  EXPECT_EQ(table_.StoredCount(), 4u);
}

}  // namespace
}  // namespace qdx::interchange
