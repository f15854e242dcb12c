// The program's expense table in date order, as the table dataset's tests and its benchmark make
// it: the table of the program's schema (wagenlog/schema.h), with its index.
#pragma once

#include <memory>
#include <string>

#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "wagenlog/schema.h"

namespace qdx::testing {

inline constexpr const char* kExpenseTableName = wagenlog::kExpenseTable.Name;

// A new database file at `path`, open under the database name "wagenlog".
inline std::unique_ptr<TQDXDatabase> CreateWagenlogDatabase(const std::string& path) {
  auto database = std::make_unique<TQDXDatabase>("QDXDatabase1");
  database->SetDatabaseName(wagenlog::kDatabaseName);
  database->SetDatabaseFileName(path);
  database->SilentMode = true;
  database->CreateDatabase();
  database->Open();
  return database;
}

// Creates the table in the open database.
inline void CreateExpenseTable(TQDXDatabase& database) {
  wagenlog::CreateTable(database, wagenlog::kExpenseTable);
}

// A closed table dataset on the expense table of `databaseName`, in date order.
inline std::unique_ptr<TQDXTable> NewExpenseTable(const std::string& databaseName, const char* name = "tb1") {
  auto table = std::make_unique<TQDXTable>(name);
  table->SetDatabaseName(databaseName);
  table->SetTableName(kExpenseTableName);
  table->SetIndexName(wagenlog::kExpenseTable.IndexName);
  return table;
}

}  // namespace qdx::testing
