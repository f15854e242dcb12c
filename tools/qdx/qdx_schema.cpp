// The table definitions qdx create --schema knows: those of the car-cost program's data module,
// made through the dataset layer's table operations (the framework's field and index
// definitions, mapped to the engine's field types as any table dataset's are).
#include <vector>

#include "dataset/framework/field_defs.h"
#include "dataset/framework/index_defs.h"
#include "dataset/qdx_database.h"
#include "dataset/table_maintenance.h"
#include "engine/foundation/messages.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_database_commands.h"

namespace qdx::tools {

namespace {

constexpr const char* kWagenlogSchema = "wagenlog";

struct TableSchema {
  const char* Name;
  void (*Define)(TFieldDefs& fields, TIndexDefs& indexes);
};

// The expense records, kept in date order by the index "Datum".
void DefineBrandstofkosten(TFieldDefs& fields, TIndexDefs& indexes) {
  fields.Add("Datum", ftDate);
  fields.Add("Omschrijving", ftString, 30);
  fields.Add("Bedrijf", ftString, 30);
  fields.Add("KMStand", ftInteger);
  fields.Add("Liters", ftFloat);
  fields.Add("bedrag", ftCurrency);
  fields.Add("verbruik", ftFloat);
  indexes.Add("Datum", "Datum");
}

// The vehicle.
void DefineAutogegevens(TFieldDefs& fields, TIndexDefs&) {
  fields.Add("Merk", ftString, 20);
  fields.Add("Type", ftString, 20);
  fields.Add("Kenteken", ftString, 20);
  fields.Add("Start_km-stand", ftInteger);
  fields.Add("Gewicht", ftInteger);
  fields.Add("Datum_deel_1", ftDate);
}

constexpr TableSchema kWagenlogTables[] = {
    {"Brandstofkosten", DefineBrandstofkosten},
    {"Autogegevens", DefineAutogegevens},
};

}  // namespace

bool IsKnownSchema(const std::string& schema) {
  return schema == kWagenlogSchema;
}

void CreateSchemaTables(const std::string& fileName, const std::string& password,
                        const std::string& schema) {
  if (!IsKnownSchema(schema)) throw EQdxToolFault(ToolText(msg::kQdxUnknownSchema, {schema}));
  TQDXDatabase database("qdx");
  database.SetDatabaseName("qdx_create_" + schema);
  database.SetDatabaseFileName(fileName);
  database.Password = password;
  database.SilentMode = true;
  database.Open();
  for (const TableSchema& table : kWagenlogTables) {
    TFieldDefs fields;
    TIndexDefs indexes;
    table.Define(fields, indexes);
    TQDXAdvFieldDefs advFields;
    TQDXAdvIndexDefs advIndexes;
    AdvFieldDefsFromFieldDefs(fields, advFields);
    AdvIndexDefsFromIndexDefs(indexes, advIndexes);
    CreateDatabaseTable(database, {table.Name}, advFields, advIndexes);
  }
  database.Close();
}

}  // namespace qdx::tools
