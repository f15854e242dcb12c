// wagenlog-demo FILE: fills a new, empty Wagenlog database with a year of example expenses and
// a vehicle record (used by scripts/run --demo). Refuses a database that already holds records.
#include <QCoreApplication>
#include <cstdio>

#include "app/demo_data.h"
#include "app/error_box.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "engine/core/expr/expression.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "Usage: wagenlog-demo FILE\n");
    return 2;
  }
  try {
    qdx::RegisterExpressionDefaults();
    qdx::TQDXDatabase database("Database", nullptr);
    database.SetDatabaseName("wagenlog-demo");
    database.SetDatabaseFileName(argv[1]);
    qdx::TQDXTable expenses;
    expenses.SetName("Brandstofkosten");
    expenses.SetDatabaseName("wagenlog-demo");
    expenses.SetTableName("Brandstofkosten");
    expenses.SetIndexName("Datum");
    qdx::TQDXTable vehicle;
    vehicle.SetName("Autogegevens");
    vehicle.SetDatabaseName("wagenlog-demo");
    vehicle.SetTableName("Autogegevens");
    expenses.Open();
    vehicle.Open();
    if (!expenses.IsEmpty() || !vehicle.IsEmpty()) {
      std::fprintf(stderr, "wagenlog-demo: %s already holds records\n", argv[1]);
      return 1;
    }
    qdx::FillDemoRecords(expenses, vehicle, QDate::currentDate());
    expenses.Close();
    vehicle.Close();
  } catch (...) {
    std::fprintf(stderr, "wagenlog-demo: %s\n",
                 qdx::ExceptionMessage(std::current_exception()).toLocal8Bit().constData());
    return 1;
  }
  return 0;
}
