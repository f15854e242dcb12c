// The expense table behind an open dataset (the program's tb1, or a table qdx opens): records
// are read by walking the dataset and inserted by appending and posting one at a time, all in
// one transaction of the database. Fields are found by name, without regard to case, so the
// dataset must hold the seven fields of the expense table.
#pragma once

#include <functional>

#include "dataset/framework/data_set.h"
#include "wagenlog/interchange/expense_store.h"

namespace qdx::interchange {

class DataSetExpenseStore : public ExpenseStore {
 public:
  // Borrows both; they outlive the store.
  DataSetExpenseStore(TDataSet& dataSet, ExpenseTransaction& transaction)
      : dataSet_(dataSet), transaction_(transaction) {}

  // Leaves the dataset after its last record.
  std::vector<ExpenseRecord> ReadAll() override;
  // A pending change of the dataset is posted first. When a record fails, its insert is
  // cancelled and the transaction rolled back; the dataset should then be refreshed.
  void InsertAll(std::span<const ExpenseRecord> records) override;

  // Called after each record posted, with the number done and the total (a progress bar).
  std::function<void(size_t done, size_t total)> OnProgress;

 private:
  TDataSet& dataSet_;
  ExpenseTransaction& transaction_;
};

}  // namespace qdx::interchange
