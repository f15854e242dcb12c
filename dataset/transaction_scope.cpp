#include "dataset/transaction_scope.h"

namespace qdx {

TransactionScope::TransactionScope(TQDXDatabase& database) : database_(database) {
  database_.StartTransaction();
}

TransactionScope::~TransactionScope() {
  if (committed_ || !database_.InTransaction()) return;
  try {
    database_.Rollback();
  } catch (...) {
    // A destructor raises nothing; the error that ended the scope is the one reported.
  }
}

void TransactionScope::Commit() {
  database_.Commit();
  committed_ = true;
}

}  // namespace qdx
