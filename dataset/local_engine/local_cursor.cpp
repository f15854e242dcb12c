// The local cursor's life: opening and closing a table, the definition copies, and the table
// and index maintenance operations, each of which leaves the cursor closed.
#include "dataset/local_engine/local_cursor.h"

#include "dataset/local_engine/local_blob_stream.h"
#include "dataset/local_engine/local_cursor_section.h"
#include "engine/core/database_data.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {

TQDXLocalCursor::TQDXLocalCursor(TQDXLocalSession& session) : session_(&session) {
  Session = &session;
}

TQDXLocalCursor::~TQDXLocalCursor() {
  try {
    CloseTable();
  } catch (...) {  // a destructor cannot report; the table stays as the failure left it
  }
}

TQDXDatabaseData& TQDXLocalCursor::Database() {
  TQDXDatabaseData* data = session_->DatabaseData();
  if (data == nullptr) Raise(msg::kDatabaseNotOpen);
  databaseData_ = data;
  return *data;
}

TQDXTableData& TQDXLocalCursor::Table(const msg::Message& failure) const {
  if (tableData_ == nullptr) Raise(failure);
  return *tableData_;
}

void TQDXLocalCursor::RequireTableInDatabase(const msg::Message& failure) {
  if (!Database().TableExists(TableName)) Raise(failure, {TableName});
}

TQDXTableData& TQDXLocalCursor::MaintenanceTableData(const msg::Message& failure) {
  TQDXTableData* table = Database().GetTableData(*this);
  if (table == nullptr) Raise(failure, {TableName});
  tableData_ = table;
  return *table;
}

void TQDXLocalCursor::ReleaseTableData() {
  tableData_ = nullptr;
  SetOpen(false);
}

// ---- Table maintenance ----------------------------------------------------------------------

void TQDXLocalCursor::CreateTable(const TQDXFieldDefs& fields, const TQDXIndexDefs& indexes,
                                  const TQDXConstraintDefs& constraints) {
  CloseTable();
  if (Database().TableExists(TableName)) DeleteTable();
  DatabaseSection section(Database());
  try {
    MaintenanceTableData(msg::kCreateTableNoData).CreateTable(*this, fields, constraints, indexes);
  } catch (...) {
    ReleaseTableData();
    throw;
  }
  ReleaseTableData();
}

void TQDXLocalCursor::DeleteTable() {
  CloseTable();
  RequireTableInDatabase(msg::kDeleteTableMissing);
  TQDXDatabaseData& database = Database();
  DatabaseSection section(database);
  try {
    TQDXTableData& table = MaintenanceTableData(msg::kDeleteTableNoData);
    // The session's last autoinc values of the table's fields go with the table. The field IDs
    // are known while the table's definitions are loaded; IDs are never reused, so a value left
    // for an unloaded table names nothing.
    if (table.HasRecordManager()) {
      const TQDXFieldDefs& fields = table.FieldManager().FieldDefs();
      for (int32_t i = 0; i < fields.Count(); ++i) {
        session_->DeleteNamedObject(fields.GetFieldDef(i).ObjectID());
      }
    }
    table.DeleteTable(this, false);
    // An engine that keeps the object of a deleted table leaves it to be freed here, so that a
    // new table of the name starts afresh.
    if (database.FindTableData(*this) == &table && table.Cursors().empty()) {
      database.FreeTableData(&table);
    }
  } catch (...) {
    ReleaseTableData();
    throw;
  }
  ReleaseTableData();
}

void TQDXLocalCursor::EmptyTable() {
  CloseTable();
  RequireTableInDatabase(msg::kEmptyTableMissing);
  DatabaseSection section(Database());
  try {
    MaintenanceTableData(msg::kEmptyTableNoData).EmptyTable(*this);
  } catch (...) {
    ReleaseTableData();
    throw;
  }
  ReleaseTableData();
}

void TQDXLocalCursor::RenameTable(std::string_view newName) {
  CloseTable();
  RequireTableInDatabase(msg::kRenameTableMissing);
  TQDXDatabaseData& database = Database();
  if (!SameNameIgnoringCase(newName, TableName) && database.TableExists(newName)) {
    Raise(msg::kTableAlreadyExists, {std::string(newName)});
  }
  if (newName == TableName) Raise(msg::kCannotRenameTableIntoItself, {TableName});
  DatabaseSection section(database);
  try {
    MaintenanceTableData(msg::kRenameTableNoData).RenameTable(newName, this);
  } catch (...) {
    ReleaseTableData();
    throw;
  }
  ReleaseTableData();
  TableName = std::string(newName);
}

// ---- Opening and closing --------------------------------------------------------------------

void TQDXLocalCursor::InitFieldDefs() {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  table.GetRecordLayout(*this);
  auto fields = std::make_unique<TQDXFieldDefs>();
  fields->Assign(table.FieldManager().FieldDefs());
  TableFieldDefs = std::move(fields);
  BuildLayout();
  auto constraints = std::make_unique<TQDXConstraintDefs>();
  constraints->Assign(table.ConstraintManager().ConstraintDefs());
  ConstraintDefs = std::move(constraints);
}

void TQDXLocalCursor::OpenTable() {
  if (IsOpen()) return;
  TQDXDatabaseData& database = Database();
  DatabaseSection section(database);
  TQDXTableData* table = database.FindTableData(*this);
  if (table == nullptr && IsMemoryOrTemporaryEngine()) {
    // These engines hold a table only while it is open; one opened to be deleted on close is
    // made from the definitions the dataset handed over.
    if (!AutoDelete || TableFieldDefs == nullptr) Raise(msg::kOpenTableNoData, {TableName});
    table = database.GetTableData(*this);
    if (table == nullptr) Raise(msg::kCreateTableNoData);
    const TQDXIndexDefs noIndexes;
    const TQDXConstraintDefs noConstraints;
    table->CreateTable(*this, *TableFieldDefs, ConstraintDefs ? *ConstraintDefs : noConstraints,
                       IndexDefs ? *IndexDefs : noIndexes);
  } else if (table == nullptr) {
    table = database.CreateTableData(*this);
    if (table == nullptr) Raise(msg::kOpenTableNoData, {TableName});
  }
  table->KeepTemporaryInMemory = KeepTemporaryInMemory;
  table->RegisterCursor(*this);
  tableData_ = table;
  AtBOF = true;
  AtEOF = false;
  RecordID = {};
  PositionCache = {};
  try {
    RefreshIndexCopies();
    InitFieldDefs();
    SetCurrentIndexName(CurrentIndexName);
  } catch (...) {
    table->UnregisterCursor(*this);
    ReleaseTableData();
    throw;
  }
  blobStreams_.clear();
  SetOpen(true);
}

void TQDXLocalCursor::CloseTable() {
  if (tableData_ == nullptr) {
    SetOpen(false);
    return;
  }
  TQDXTableData& table = *tableData_;
  TQDXDatabaseData& database = table.Database();
  DatabaseSection section(database);
  // Whatever fails below, the cursor ends closed and the table no longer knows it.
  const ScopeExit closer([this] {
    blobStreams_.clear();
    FilterBitmap.reset();
    FilterExpression.reset();
    SQLFilterExpression.reset();
    TableFieldDefs.reset();
    VisibleFieldDefs.reset();
    IndexDefs.reset();
    ConstraintDefs.reset();
    Projected = false;
    ReleaseTableData();
  });
  FreeBlobs(false);
  const bool wasOpen = IsOpen();
  if (wasOpen) table.UnregisterCursor(*this);
  if (wasOpen && AutoDelete && IsMemoryOrTemporaryEngine()) {
    table.DeleteTable(this, true);
    database.FreeTableData(&table);
  }
}

void TQDXLocalCursor::Lock() {
  Table(msg::kCursorLockNoData).EnterDatabase();
}

void TQDXLocalCursor::Unlock() {
  Table(msg::kCursorUnlockNoData).LeaveDatabase();
}

// ---- Fields and indexes ---------------------------------------------------------------------

void TQDXLocalCursor::RenameField(std::string_view oldName, std::string_view newName) {
  Table(msg::kCursorLockNoData).RenameField(oldName, newName);
}

void TQDXLocalCursor::RefreshIndexCopies() {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  auto indexes = std::make_unique<TQDXIndexDefs>();
  indexes->Assign(table.IndexManager().IndexDefs());
  IndexDefs = std::move(indexes);
  auto constraints = std::make_unique<TQDXConstraintDefs>();
  constraints->Assign(table.ConstraintManager().ConstraintDefs());
  ConstraintDefs = std::move(constraints);
  // The current index may have gone, or come back under a new ID.
  const TQDXMetaObjectDef* current =
      CurrentIndexName.empty() ? nullptr : IndexDefs->FindByName(CurrentIndexName);
  CurrentIndexID = current != nullptr ? current->ObjectID() : -1;
}

const TQDXIndexDefs& TQDXLocalCursor::GetIndexDefs() {
  RefreshIndexCopies();
  return *IndexDefs;
}

void TQDXLocalCursor::AddIndex(const TQDXIndexDef& definition) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  if (IndexDefs != nullptr && IndexDefs->FindByName(definition.Name()) != nullptr) {
    Raise(msg::kIndexAlreadyExists, {definition.Name()});
  }
  table.AddIndex(definition, *this);
  RefreshIndexCopies();
}

void TQDXLocalCursor::DeleteIndex(std::string_view name) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  const TQDXMetaObjectDef* index = IndexDefs != nullptr ? IndexDefs->FindByName(name) : nullptr;
  if (index == nullptr) Raise(msg::kCannotDeleteMissingIndex, {std::string(name)});
  table.DeleteIndex(index->ObjectID(), this);
  RefreshIndexCopies();
}

void TQDXLocalCursor::DeleteAllIndexes() {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  table.DeleteAllIndexes(*this);
  RefreshIndexCopies();
}

namespace {

// Visible field names as the names of their table fields.
std::vector<std::string> TableFieldNames(const TQDXCursor& cursor,
                                         const std::vector<std::string>& visibleNames) {
  std::vector<std::string> names;
  names.reserve(visibleNames.size());
  for (const std::string& name : visibleNames) {
    const TQDXFieldDef* field =
        cursor.VisibleFieldDefs != nullptr ? cursor.VisibleFieldDefs->FindField(name) : nullptr;
    names.push_back(field != nullptr
                        ? cursor.TableFieldDefs->GetFieldDef(field->SourceFieldNo).Name()
                        : name);
  }
  return names;
}

}  // namespace

int32_t TQDXLocalCursor::GetIndexForFields(const std::vector<std::string>& fieldNames,
                                           const std::vector<std::string>& orderTexts,
                                           const std::vector<std::string>& caseTexts) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  bool created = false;
  const int32_t id = table.GetOrCreateIndexForFields(*this, TableFieldNames(*this, fieldNames),
                                                     orderTexts, caseTexts, &created);
  if (created) RefreshIndexCopies();
  return id;
}

bool TQDXLocalCursor::IndexExistsForFields(const std::vector<std::string>& fieldNames,
                                           const std::vector<std::string>& orderTexts,
                                           const std::vector<std::string>& caseTexts) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  return table.IndexManager().FindIndexForFields(TableFieldNames(*this, fieldNames), orderTexts,
                                                 caseTexts, SessionID()) >= 0;
}

void TQDXLocalCursor::SetDistinctFields(const std::vector<std::string>& fieldNames,
                                        const std::vector<std::string>& orderTexts,
                                        const std::vector<std::string>& caseTexts) {
  const int32_t id = GetIndexForFields(fieldNames, orderTexts, caseTexts);
  const TQDXMetaObjectDef* index = IndexDefs->FindByID(id);
  SetCurrentIndexName(index != nullptr ? index->Name() : std::string());
  DistinctColumnCount = static_cast<int32_t>(fieldNames.size());
  InvalidateFilter();
}

// ---- Records --------------------------------------------------------------------------------

void TQDXLocalCursor::InitRecord(uint8_t* buffer, bool applyDefaults) {
  InitRecordBuffer(*TableFieldDefs, buffer);
  if (applyDefaults && !Temporary && tableData_ != nullptr) {
    DatabaseSection section(tableData_->Database());
    tableData_->FieldManager().ApplyDefaults(session_, buffer);
  }
}

void TQDXLocalCursor::FreeRecordBuffer(RecordBuffer& buffer) {
  if (buffer != nullptr && tableData_ != nullptr) {
    DatabaseSection section(tableData_->Database());
    tableData_->FreeRecordBuffer(buffer.get());
  }
  buffer.reset();
}

int64_t TQDXLocalCursor::LastAutoincValue(int32_t fieldNo) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  const int32_t tableFieldNo =
      fieldNo >= 0 && fieldNo < VisibleFieldCount() ? SourceFieldNo(fieldNo) : fieldNo;
  return table.LastAutoincValue(tableFieldNo, session_);
}

bool TQDXLocalCursor::CheckConstraints(bool inserting) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  const TQDXRecordID current = inserting ? TQDXRecordID{} : Bookmark(Buffer);
  return table.ConstraintManager().CheckRecord(SessionID(), Buffer, true, false, current,
                                               inserting, OldRecord);
}

// ---- Implicit change batching ---------------------------------------------------------------

void TQDXLocalCursor::BeginImplicitChange() {
  if (!InTransaction()) Batching = true;
}

// Every engine's changes are committed here, not only the disk engine's: a table whose engine
// keeps changes per session would otherwise never see the batch committed.
void TQDXLocalCursor::CommitImplicitChange() {
  if (InTransaction() || !Batching) return;
  Batching = false;
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  table.ApplyChanges(SessionID(), false);
}

void TQDXLocalCursor::RollbackImplicitChange() {
  if (InTransaction() || !Batching) return;
  Batching = false;
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  table.CancelChanges(SessionID(), false);
}

}  // namespace qdx
