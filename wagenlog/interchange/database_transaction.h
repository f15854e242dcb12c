// The transaction of a database component as an insert of many expense records runs in: qdx and
// the program both insert through a table dataset of a TQDXDatabase. It holds a TransactionScope
// while the insert runs, so that an insert that never reaches Commit or Rollback is rolled back
// all the same when the transaction goes.
#pragma once

#include <optional>

#include "wagenlog/interchange/expense_store.h"
#include "dataset/qdx_database.h"
#include "dataset/transaction_scope.h"

namespace qdx::interchange {

class DatabaseTransaction : public ExpenseTransaction {
 public:
  // Borrows the database, which must be connected when Start runs.
  explicit DatabaseTransaction(TQDXDatabase& database) : database_(database) {}

  void Start() override { scope_.emplace(database_); }
  void Commit() override {
    scope_->Commit();
    scope_.reset();
  }
  void Rollback() override { scope_.reset(); }

 private:
  TQDXDatabase& database_;
  std::optional<TransactionScope> scope_;
};

}  // namespace qdx::interchange
