// The program's expense table, "Brandstofkosten" in date order, as the table dataset's tests and
// its benchmark make it: the fields the program reads and writes and the index "Datum".
#pragma once

#include <memory>
#include <string>

#include "dataset/local_engine/local_cursor.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "engine/core/table_index_def.h"

namespace qdx::testing {

inline constexpr const char* kExpenseTableName = "Brandstofkosten";

// A new database file at `path`, open under the database name "wagenlog".
inline std::unique_ptr<TQDXDatabase> CreateWagenlogDatabase(const std::string& path) {
  auto database = std::make_unique<TQDXDatabase>("QDXDatabase1");
  database->SetDatabaseName("wagenlog");
  database->SetDatabaseFileName(path);
  database->SilentMode = true;
  database->CreateDatabase();
  database->Open();
  return database;
}

// Creates the table in the open database.
inline void CreateExpenseTable(TQDXDatabase& database) {
  TQDXFieldDefs fields;
  fields.AddField("Datum", TQDXFieldType::Date);
  fields.AddField("Omschrijving", TQDXFieldType::String, 30);
  fields.AddField("Bedrijf", TQDXFieldType::String, 30);
  fields.AddField("KMStand", TQDXFieldType::Integer);
  fields.AddField("Liters", TQDXFieldType::Float);
  fields.AddField("bedrag", TQDXFieldType::Currency);
  fields.AddField("verbruik", TQDXFieldType::Float);
  TQDXIndexDefs indexes;
  auto& datum = static_cast<TQDXIndexDef&>(indexes.AddCreated());
  datum.SetName("Datum");
  datum.SetColumnsFromLists({"Datum"}, {"ASC"}, {""});
  TQDXLocalCursor creator(*database.EngineSession());
  creator.TableName = kExpenseTableName;
  creator.CreateTable(fields, indexes, TQDXConstraintDefs());
}

// A closed table dataset on the expense table of `databaseName`, in date order.
inline std::unique_ptr<TQDXTable> NewExpenseTable(const std::string& databaseName, const char* name = "tb1") {
  auto table = std::make_unique<TQDXTable>(name);
  table->SetDatabaseName(databaseName);
  table->SetTableName(kExpenseTableName);
  table->SetIndexName("Datum");
  return table;
}

}  // namespace qdx::testing
