// The two tables of the car-cost program, written once: the expense records "Brandstofkosten"
// (kept in date order by the index "Datum") and the vehicle "Autogegevens". The program's data
// module, `qdx create --schema wagenlog`, wagenlog-demo, the tests and the benchmarks take the
// names and definitions from here.
//
// The definitions are the dataset framework's (dataset type and size), mapped to the engine's
// field types when a table is created, as any table dataset's are.
#pragma once

#include <span>

namespace qdx {
class TFieldDefs;
class TIndexDefs;
class TQDXDatabase;
}  // namespace qdx

namespace qdx::wagenlog {

// The database name the program's tables reach their database component by.
inline constexpr const char* kDatabaseName = "wagenlog";

// One table: its name, the index the program opens it with ("" for none), and its definitions.
struct TableSchema {
  const char* Name;
  const char* IndexName;
  void (*DefineFields)(TFieldDefs& fields);
  void (*DefineIndexes)(TIndexDefs& indexes);
};

void DefineExpenseFields(TFieldDefs& fields);
void DefineExpenseIndexes(TIndexDefs& indexes);
void DefineVehicleFields(TFieldDefs& fields);
void DefineVehicleIndexes(TIndexDefs& indexes);

inline constexpr TableSchema kExpenseTable = {"Brandstofkosten", "Datum", DefineExpenseFields,
                                              DefineExpenseIndexes};
inline constexpr TableSchema kVehicleTable = {"Autogegevens", "", DefineVehicleFields,
                                              DefineVehicleIndexes};
inline constexpr TableSchema kTables[] = {kExpenseTable, kVehicleTable};

// Creates (or replaces) the table in the open database.
void CreateTable(TQDXDatabase& database, const TableSchema& table);
// Creates both tables.
void CreateTables(TQDXDatabase& database);

}  // namespace qdx::wagenlog
