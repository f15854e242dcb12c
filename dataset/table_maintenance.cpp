#include "dataset/table_maintenance.h"

#include "dataset/framework/field_defs.h"
#include "dataset/framework/index_defs.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/qdx_database.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

constexpr int32_t kGuidSize = 38;

// A cursor of the operation's own: exclusive, writable, with the table's in-memory and
// temporary flags. Freed when the operation ends, on every path.
class TransientCursor {
 public:
  TransientCursor(TQDXDatabase& database, const TQDXTableTarget& table) {
    if (database.EngineSession() == nullptr) database.Open();
    cursor_ = std::make_unique<TQDXLocalCursor>(*database.EngineSession());
    cursor_->TableName = table.TableName;
    cursor_->InMemory = table.InMemory;
    cursor_->Temporary = table.Temporary;
    cursor_->ReadOnly = false;
    cursor_->Exclusive = true;
  }
  TQDXLocalCursor* operator->() { return cursor_.get(); }

 private:
  std::unique_ptr<TQDXLocalCursor> cursor_;
};

void RefuseTransaction(const TQDXDatabase& database, const msg::Message& failure,
                       std::string_view operation) {
  if (database.InTransaction()) Raise(failure, {operation});
}

}  // namespace

void CreateDatabaseTable(TQDXDatabase& database, const TQDXTableTarget& table,
                         const TQDXAdvFieldDefs& fields, const TQDXAdvIndexDefs& indexes) {
  TQDXTableDefinitions definitions;
  BuildTableDefinitions(table.TableName, fields, indexes, table.Temporary, definitions);
  RefuseTransaction(database, msg::kCreateTableInTransaction, "CreateTable");
  TransientCursor cursor(database, table);
  cursor->CreateTable(definitions.Fields, definitions.Indexes, definitions.Constraints);
}

void EmptyDatabaseTable(TQDXDatabase& database, const TQDXTableTarget& table) {
  TransientCursor cursor(database, table);
  cursor->EmptyTable();
}

void DeleteDatabaseTable(TQDXDatabase& database, const TQDXTableTarget& table) {
  RefuseTransaction(database, msg::kDeleteTableInTransaction, "DeleteTable");
  TransientCursor cursor(database, table);
  cursor->DeleteTable();
}

void RenameDatabaseTable(TQDXDatabase& database, const TQDXTableTarget& table,
                         std::string_view newName) {
  RefuseTransaction(database, msg::kRenameTableInTransaction, "RenameTable");
  TransientCursor cursor(database, table);
  cursor->RenameTable(newName);
}

void AdvFieldDefsFromFieldDefs(const TFieldDefs& source, TQDXAdvFieldDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TFieldDef& field = source[i];
    const TQDXFieldType type = DatasetFieldTypeToFieldType(field.DataType());
    const int32_t size = field.DataType() == ftGuid ? kGuidSize : field.Size();
    target.Add(TQDXAdvFieldDef(field.Name(), type, size, field.Required()));
  }
}

void FieldDefsFromAdvFieldDefs(const TQDXAdvFieldDefs& source, TFieldDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TQDXAdvFieldDef& field = source[i];
    target.Add(field.Name, FieldTypeToDatasetFieldType(field.FieldType), field.Size,
               field.Required);
  }
}

void IndexDefsFromAdvIndexDefs(const TQDXAdvIndexDefs& source, TIndexDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TQDXAdvIndexDef& index = source[i];
    TIndexDef& def = target.Add(index.Name, index.Fields, index.Options);
    def.SetDescFields(index.DescFields);
    def.SetCaseInsFields(index.CaseInsFields);
  }
}

void AdvIndexDefsFromIndexDefs(const TIndexDefs& source, TQDXAdvIndexDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TIndexDef& index = source[i];
    TQDXAdvIndexDef def;
    def.Name = index.Name();
    def.Fields = index.Fields();
    def.DescFields = index.DescFields();
    def.CaseInsFields = index.CaseInsFields();
    def.Options = index.Options();
    target.Add(std::move(def));
  }
}

}  // namespace qdx
