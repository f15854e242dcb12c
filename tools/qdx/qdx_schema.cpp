// The table definitions qdx create --schema knows: the car-cost program's two tables, from its
// schema (wagenlog/schema.h).
#include "dataset/qdx_database.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_database_commands.h"
#include "tools/qdx/qdx_messages.h"
#include "wagenlog/schema.h"

namespace qdx::tools {

namespace {

constexpr const char* kWagenlogSchema = "wagenlog";

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
  wagenlog::CreateTables(database);
  database.Close();
}

}  // namespace qdx::tools
