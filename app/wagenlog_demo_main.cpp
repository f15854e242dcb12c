// wagenlog-demo FILE: fills a new, empty Wagenlog database with a year of example expenses and
// a vehicle record (used by scripts/run --demo). Refuses a database that already holds records.
// The records go in one transaction: a failure part-way leaves the database empty.
#include <QCoreApplication>
#include <cstdio>

#include "app/demo_data.h"
#include "app/error_box.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "dataset/transaction_scope.h"
#include "wagenlog/schema.h"
#include "wagenlog/startup.h"

namespace {

void OpenTable(qdx::TQDXTable& table, const qdx::wagenlog::TableSchema& schema) {
  table.SetName(schema.Name);
  table.SetDatabaseName("wagenlog-demo");
  table.SetTableName(schema.Name);
  table.SetIndexName(schema.IndexName);
  table.Open();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "Usage: wagenlog-demo FILE\n");
    return 2;
  }
  try {
    qdx::wagenlog::Startup();
    qdx::TQDXDatabase database("Database", nullptr);
    database.SetDatabaseName("wagenlog-demo");
    database.SetDatabaseFileName(argv[1]);
    qdx::TQDXTable expenses;
    qdx::TQDXTable vehicle;
    OpenTable(expenses, qdx::wagenlog::kExpenseTable);
    OpenTable(vehicle, qdx::wagenlog::kVehicleTable);
    if (!expenses.IsEmpty() || !vehicle.IsEmpty()) {
      std::fprintf(stderr, "wagenlog-demo: %s already holds records\n", argv[1]);
      return 1;
    }
    qdx::TransactionScope transaction(database);
    qdx::FillDemoRecords(expenses, vehicle, QDate::currentDate());
    transaction.Commit();
    expenses.Close();
    vehicle.Close();
  } catch (...) {
    std::fprintf(stderr, "wagenlog-demo: %s\n",
                 qdx::ExceptionMessage(std::current_exception()).toLocal8Bit().constData());
    return 1;
  }
  return 0;
}
