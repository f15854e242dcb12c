// The expense table as an import and an export see it: all its records, and an insert of many
// in one transaction. The program and qdx give the table Brandstofkosten of a database behind
// it.
#pragma once

#include <span>
#include <vector>

#include "wagenlog/interchange/expense_record.h"

namespace qdx::interchange {

class ExpenseStore {
 public:
  virtual ~ExpenseStore() = default;

  // Every record of the table, in the table's order.
  virtual std::vector<ExpenseRecord> ReadAll() = 0;
  // Inserts the records in one transaction: when this throws, none of them is stored.
  virtual void InsertAll(std::span<const ExpenseRecord> records) = 0;
};

// The transaction an insert of many records runs in; the database that holds the table gives
// it (start, commit, roll back).
class ExpenseTransaction {
 public:
  virtual ~ExpenseTransaction() = default;
  virtual void Start() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
};

}  // namespace qdx::interchange
