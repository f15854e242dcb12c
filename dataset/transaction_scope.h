// TransactionScope: a transaction of a database component for one scope. It starts the
// transaction when made and rolls it back when it goes out of scope uncommitted, so that a
// write of many records that fails half-way (an exception from any record, any step) leaves
// none of them stored:
//
//   TransactionScope transaction(database);
//   ... append and post the records ...
//   transaction.Commit();
#pragma once

#include "dataset/qdx_database.h"

namespace qdx {

class TransactionScope {
 public:
  // Starts a transaction of the connected database ("Database is already within a
  // transaction" when one is running: transactions do not nest).
  explicit TransactionScope(TQDXDatabase& database);
  // Rolls back unless committed. A failure of the rollback is not raised over the error that
  // unwinds the scope; the engine session rolls back what it can.
  ~TransactionScope();
  TransactionScope(const TransactionScope&) = delete;
  TransactionScope& operator=(const TransactionScope&) = delete;

  // Commits the changes; afterwards the scope has nothing to roll back. When the commit
  // raises, the transaction is still rolled back when the scope ends.
  void Commit();
  bool Committed() const { return committed_; }

 private:
  TQDXDatabase& database_;
  bool committed_ = false;
};

}  // namespace qdx
