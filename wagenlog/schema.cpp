#include "wagenlog/schema.h"

#include "dataset/adv_defs.h"
#include "dataset/framework/field_defs.h"
#include "dataset/framework/index_defs.h"
#include "dataset/table_maintenance.h"

namespace qdx::wagenlog {

void DefineExpenseFields(TFieldDefs& fields) {
  fields.Add("Datum", ftDate);
  fields.Add("Omschrijving", ftString, 30);
  fields.Add("Bedrijf", ftString, 30);
  fields.Add("KMStand", ftInteger);
  fields.Add("Liters", ftFloat);
  fields.Add("bedrag", ftCurrency);
  fields.Add("verbruik", ftFloat);
}

void DefineExpenseIndexes(TIndexDefs& indexes) {
  indexes.Add("Datum", "Datum");
}

void DefineVehicleFields(TFieldDefs& fields) {
  fields.Add("Merk", ftString, 20);
  fields.Add("Type", ftString, 20);
  fields.Add("Kenteken", ftString, 20);
  fields.Add("Start_km-stand", ftInteger);
  fields.Add("Gewicht", ftInteger);
  fields.Add("Datum_deel_1", ftDate);
}

void DefineVehicleIndexes(TIndexDefs&) {}

void CreateTable(TQDXDatabase& database, const TableSchema& table) {
  TFieldDefs fields;
  TIndexDefs indexes;
  table.DefineFields(fields);
  table.DefineIndexes(indexes);
  TQDXAdvFieldDefs advFields;
  TQDXAdvIndexDefs advIndexes;
  AdvFieldDefsFromFieldDefs(fields, advFields);
  AdvIndexDefsFromIndexDefs(indexes, advIndexes);
  CreateDatabaseTable(database, {table.Name}, advFields, advIndexes);
}

void CreateTables(TQDXDatabase& database) {
  for (const TableSchema& table : kTables) CreateTable(database, table);
}

}  // namespace qdx::wagenlog
