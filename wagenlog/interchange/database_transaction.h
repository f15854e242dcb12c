// The transaction of a database component as an insert of many expense records runs in: qdx and
// the program both insert through a table dataset of a TQDXDatabase.
#pragma once

#include "dataset/interchange/expense_store.h"
#include "dataset/qdx_database.h"

namespace qdx::interchange {

class DatabaseTransaction : public ExpenseTransaction {
 public:
  // Borrows the database, which must be connected when Start runs.
  explicit DatabaseTransaction(TQDXDatabase& database) : database_(database) {}

  void Start() override { database_.StartTransaction(); }
  void Commit() override { database_.Commit(); }
  void Rollback() override {
    if (database_.InTransaction()) database_.Rollback();
  }

 private:
  TQDXDatabase& database_;
};

}  // namespace qdx::interchange
