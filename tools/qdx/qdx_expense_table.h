// The expense table of a database file as qdx import and the formatted exports use it: opened
// through a database component and a table dataset, as the program opens its own, for the
// duration of one command.
#pragma once

#include <ostream>
#include <string>

#include "wagenlog/interchange/data_set_expense_store.h"
#include "wagenlog/interchange/database_transaction.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"

namespace qdx::tools {

class ExpenseTableAccess {
 public:
  // Opens `tableName` of the file. Read-only opens leave every byte of the file as it was (a dry
  // run, an export). `indexName`, when given, orders the records read.
  ExpenseTableAccess(const std::string& fileName, const std::string& password,
                     const std::string& tableName, bool readOnly,
                     const std::string& indexName = {});
  ~ExpenseTableAccess();
  ExpenseTableAccess(const ExpenseTableAccess&) = delete;
  ExpenseTableAccess& operator=(const ExpenseTableAccess&) = delete;

  interchange::ExpenseStore& Store() { return store_; }

 private:
  TQDXDatabase database_;
  TQDXTable table_;
  interchange::DatabaseTransaction transaction_;
  interchange::DataSetExpenseStore store_;
};

// qdx export --format fuelio | lubelogger-KIND | lubelogger: the table's records in the layout,
// to `out` or to the file `output`. "lubelogger" writes the three kinds' files, which needs an
// output name: "out.csv" gives out-gas.csv, out-service.csv and out-tax.csv.
void ExportExpenses(const std::string& fileName, const std::string& password,
                    const std::string& tableName, const std::string& indexName,
                    const std::string& format, const std::string& output, std::ostream& out);

// Whether --format names a layout of ExportExpenses (the generic CSV is the table export).
bool IsExpenseExportFormat(const std::string& format);

}  // namespace qdx::tools
