// The table operations of TQDXTable: creating, emptying, deleting and renaming the table, adding
// and dropping indexes, renaming a field, restructuring the table with its records and copying
// it into another table of this or another database file, and importing another dataset.
//
// Every operation leaves the table as it found it when it fails (closed or open), and gives the
// database back to its session on every path. The whole-table operations run on a transient
// cursor of their own (table_maintenance.h); the index operations reuse the table's open cursor.

#include <memory>
#include <optional>
#include <vector>

#include "dataset/adv_defs.h"
#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/framework/field.h"
#include "dataset/framework/fields.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/local_engine/local_session.h"
#include "dataset/prompts.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_session.h"
#include "dataset/qdx_table.h"
#include "dataset/table_copy.h"
#include "dataset/table_maintenance.h"
#include "engine/disk/table_locks_file.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/scope_guard.h"
#include "engine/foundation/types/strings.h"

namespace qdx {

namespace {

// Takes the database for an operation; the guard returned gives it back to the session when the
// operation ends, on every path, and a failed release does not hide the operation's own outcome.
template <typename Attach, typename Detach>
auto DatabaseInUse(Attach attach, Detach detach) {
  attach();
  return ScopeExit([detach] {
    try {
      detach();
    } catch (...) {
    }
  });
}

bool SameText(std::string_view a, std::string_view b) {
  return AnsiUpperCase(a) == AnsiUpperCase(b);
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

void RefuseTransaction(const TQDXDatabase& database, const msg::Message& failure,
                       std::string_view operation) {
  if (database.InTransaction()) Raise(failure, {operation});
}

// A cursor on the table for an index operation: the table's own when it is open, else one
// opened for the operation and freed with it.
class IndexCursor {
 public:
  IndexCursor(TQDXLocalCursor* open, TQDXDatabase& database, const std::string& tableName,
              bool exclusive) {
    if (open != nullptr) {
      cursor_ = open;
      return;
    }
    own_ = std::make_unique<TQDXLocalCursor>(*database.EngineSession());
    own_->TableName = tableName;
    own_->Exclusive = exclusive;
    own_->OpenTable();
    own_->InitFieldDefs();
    cursor_ = own_.get();
  }
  TQDXLocalCursor& operator*() { return *cursor_; }
  TQDXLocalCursor* operator->() { return cursor_; }

 private:
  std::unique_ptr<TQDXLocalCursor> own_;
  TQDXLocalCursor* cursor_ = nullptr;
};

// Takes the exclusive table lock an index is added under; the guard returned gives it back
// however the change ends. The normal end releases it explicitly, so that a failed unlock is
// reported there; on an exception path the first failure is the one that counts.
auto LockExclusively(TQDXLocalCursor& cursor, const std::string& tableName) {
  if (!cursor.LockTable(TQDXTableLockKind::Exclusive, 1, false, 0)) {
    Raise(msg::kAddIndexTableInUse, {tableName});
  }
  return ScopeExit([&cursor] { cursor.UnlockTable(TQDXTableLockKind::Exclusive, true); });
}

// The restructure's and copy's progress: the table's event when set, else the wait dialog
// unless the before-event is set (which then stands for the caller's own display).
class CopyProgress {
 public:
  CopyProgress(TQDXTable& table, const TQDXProgressEvent& event, bool hasBeforeEvent, bool quiet,
               std::string_view message)
      : table_(table), event_(event) {
    if (!event_ && !hasBeforeEvent && !quiet) display_ = Prompts().BeginProgress(message);
  }
  bool operator()(int percent) {
    if (event_) {
      bool abort = false;
      event_(table_, percent, abort);
      return !abort;
    }
    if (display_ == nullptr) return true;
    display_->SetProgress(percent);
    return !display_->Aborted();
  }

 private:
  TQDXTable& table_;
  const TQDXProgressEvent& event_;
  std::unique_ptr<TQDXProgressDisplay> display_;
};

}  // namespace

// ---- Whole-table operations -------------------------------------------------------------------

void TQDXTable::CreateTable() {
  CheckInactive();
  const std::string table = Trimmed(tableName_);
  if (table.empty()) Error(dsmsg::kTableNameMissing);
  const auto use = DatabaseInUse([this] { AttachDatabase(); }, [this] { DetachDatabase(); });

  // Fields the application declared without a definition get one.
  for (int32_t i = 0; i < Fields().Count(); ++i) {
    const TField& field = Fields()[i];
    if (field.FieldKind() != TFieldKind::fkData) continue;
    if (FieldDefs().Find(field.FieldName()) != nullptr) continue;
    FieldDefs().Add(field.FieldName(), field.DataType(), field.Size(), field.Required());
  }
  TQDXAdvFieldDefs fields;
  if (advFieldDefs_.Count() == 0) {
    for (int32_t i = 0; i < FieldDefs().Count(); ++i) {
      if (FieldDefs()[i].DataType() == ftGuid) FieldDefs()[i].SetSize(38);
    }
    AdvFieldDefsFromFieldDefs(FieldDefs(), fields);
    ValidateAdvFieldDefs(table, fields);
  } else {
    // The advanced definitions hold what FieldDefs cannot say; FieldDefs follow them.
    PrepareAdvFieldDefs(advFieldDefs_);
    ValidateAdvFieldDefs(table, advFieldDefs_);
    FieldDefsFromAdvFieldDefs(advFieldDefs_, FieldDefs());
    fields = advFieldDefs_;
  }
  TQDXAdvIndexDefs indexes;
  if (advIndexDefs_.Count() == 0) {
    AdvIndexDefsFromIndexDefs(indexDefs_, indexes);
  } else {
    IndexDefsFromAdvIndexDefs(advIndexDefs_, indexDefs_);
    indexes = advIndexDefs_;
  }
  CreateDatabaseTable(*Database(), {table, InMemory(), false}, fields, indexes);
  indexDefs_.SetUpdated(true);
}

void TQDXTable::EmptyTable() {
  CheckInactive();
  const auto use = DatabaseInUse([this] { AttachDatabase(); }, [this] { DetachDatabase(); });
  EmptyDatabaseTable(*Database(), {Trimmed(tableName_), InMemory(), false});
}

void TQDXTable::DeleteTable() {
  if (Active()) Close();
  const std::string table = Trimmed(tableName_);
  if (table.empty()) Error(dsmsg::kTableNameMissing);
  const auto use = DatabaseInUse([this] { AttachDatabase(); }, [this] { DetachDatabase(); });
  DeleteDatabaseTable(*Database(), {table, InMemory(), false});
}

void TQDXTable::RenameTable(std::string_view newName) {
  CheckInactive();
  const std::string table = Trimmed(tableName_);
  if (table.empty()) Error(dsmsg::kTableNameMissing);
  {
    const auto use = DatabaseInUse([this] { AttachDatabase(); }, [this] { DetachDatabase(); });
    RenameDatabaseTable(*Database(), {table, InMemory(), false}, newName);
  }
  // Only after the engine renamed it.
  SetTableName(std::string(newName));
}

// ---- Indexes and fields ------------------------------------------------------------------------

void TQDXTable::AddIndex(std::string_view name, std::string_view fields, TIndexOptions options,
                         std::string_view descFields, std::string_view caseInsFields) {
  const auto use = DatabaseInUse([this] { AttachDatabase(); }, [this] { DetachDatabase(); });
  if (Active()) CheckBrowseMode();
  IndexCursor cursor(Active() ? Cursor() : nullptr, *Database(), Trimmed(tableName_), exclusive_);
  if (name.empty()) Raise(msg::kAddIndexNameInvalid, {name});
  if (fields.empty()) Raise(msg::kAddIndexFieldsEmpty, {fields});
  RefuseTransaction(*Database(), msg::kAddIndexInTransaction, "AddIndex");

  TQDXAdvFieldDefs tableFields;
  AdvFieldDefsFromEngine(*cursor->TableFieldDefs, tableFields);
  TQDXAdvIndexDef index;
  index.Name = std::string(name);
  index.Fields = std::string(fields);
  index.DescFields = std::string(descFields);
  index.CaseInsFields = std::string(caseInsFields);
  index.Options = options;
  const std::unique_ptr<TQDXIndexDef> definition =
      MakeEngineIndexDef(index, tableFields, msg::kAddIndexNameInvalid, msg::kAddIndexFieldsEmpty,
                         msg::kCreateTableIndexFieldUnknown);
  cursor->GetIndexDefs();
  auto lock = LockExclusively(*cursor, tableName_);
  cursor->AddIndex(*definition);
  lock.ReleaseNow();
  indexDefs_.SetUpdated(true);
}

void TQDXTable::DeleteIndex(std::string_view name) {
  const auto use = DatabaseInUse([this] { AttachDatabase(); }, [this] { DetachDatabase(); });
  if (Active()) CheckBrowseMode();
  IndexCursor cursor(Active() ? Cursor() : nullptr, *Database(), Trimmed(tableName_), exclusive_);
  RefuseTransaction(*Database(), msg::kDeleteIndexInTransaction, "DeleteIndex");
  cursor->GetIndexDefs();
  cursor->DeleteIndex(name);
  indexDefs_.SetUpdated(true);
}

void TQDXTable::RenameField(std::string_view oldName, std::string_view newName) {
  CheckInactive();
  const bool wasExclusive = exclusive_;
  SetExclusive(true);
  try {
    Open();
    RefuseTransaction(*Database(), msg::kRenameFieldInTransaction, "RenameField");
    Cursor()->RenameField(oldName, newName);
  } catch (...) {
    Close();
    SetExclusive(wasExclusive);
    throw;
  }
  Close();
  SetExclusive(wasExclusive);
}

// ---- Restructure --------------------------------------------------------------------------------

bool TQDXTable::RestructureTable(std::string& errorText) {
  CheckInactive();
  const std::string table = Trimmed(tableName_);
  if (table.empty()) Error(dsmsg::kTableNameMissing);
  const auto use = DatabaseInUse([this] { AttachDatabase(); }, [this] { DetachDatabase(); });
  TQDXDatabase& database = *Database();
  RefuseTransaction(database, msg::kRestructureTableInTransaction, "RestructureTable");
  const TQDXTableTarget target{table, InMemory(), false};

  // The old table moves aside under a name no table has.
  std::string oldName = "OLD_" + table + "_";
  for (int32_t n = 1; database.TableExists(oldName); ++n) {
    oldName = "OLD_" + table + "_" + std::to_string(n);
  }
  RenameDatabaseTable(database, target, oldName);
  const TQDXTableTarget old{oldName, InMemory(), false};

  try {
    TQDXAdvFieldDefs fields;
    TQDXAdvIndexDefs indexes;
    AdvFieldDefsFromFieldDefs(FieldDefs(), fields);
    AdvIndexDefsFromIndexDefs(indexDefs_, indexes);
    CreateDatabaseTable(database, target, fields, indexes);
  } catch (const EQDXException& e) {
    RenameDatabaseTable(database, old, table);
    if (e.ErrorCode() == msg::kCreateTableInTransaction.Code) {
      Raise(msg::kRestructureTableInTransaction, {"RestructureTable"});
    }
    errorText += dsmsg::Format(dsmsg::kRestructureCannotCreate, {e.Message()}) + "\n";
    return false;
  } catch (const std::exception& e) {
    RenameDatabaseTable(database, old, table);
    errorText += dsmsg::Format(dsmsg::kRestructureCannotCreate, {e.what()}) + "\n";
    return false;
  }

  std::string copyErrors;
  try {
    TQDXLocalCursor from(*database.EngineSession());
    from.TableName = oldName;
    from.Exclusive = true;
    from.OpenTable();
    from.InitFieldDefs();
    TQDXLocalCursor to(*database.EngineSession());
    to.TableName = table;
    to.Exclusive = true;
    to.OpenTable();
    to.InitFieldDefs();
    // Fields keep their values by name; new fields start empty, dropped ones are gone.
    std::vector<TQDXFieldPair> pairs;
    for (int32_t i = 0; i < to.TableFieldDefs->Count(); ++i) {
      const int32_t source = from.TableFieldDefs->IndexOfName(to.TableFieldDefs->GetDef(i).Name());
      if (source >= 0) pairs.push_back({source, i});
    }
    CopyProgress progress(*this, OnRestructureProgress, static_cast<bool>(BeforeRestructure),
                          database.SilentMode, dsmsg::kRestructureTableMessage);
    if (BeforeRestructure) BeforeRestructure(*this);
    const TQDXTableCopyResult copied =
        CopyRecords(from, to, pairs, table, [&](int percent) { return progress(percent); });
    if (AfterRestructure) AfterRestructure(*this);
    copyErrors = copied.Errors;
    to.CloseTable();
    from.CloseTable();
    if (copied.Stopped) throw EDatabaseError(copied.Errors);
  } catch (...) {
    // The old table comes back as it was.
    DeleteDatabaseTable(database, target);
    RenameDatabaseTable(database, old, table);
    throw;
  }

  // Records or values that could not be copied are reported like a rebuild's.
  errorText += copyErrors;
  if (!copyErrors.empty() && !database.SilentMode) Prompts().Warn(copyErrors);
  try {
    DeleteDatabaseTable(database, old);
  } catch (const std::exception& e) {
    errorText += dsmsg::Format(dsmsg::kRestructureCannotDelete, {e.what()}) + "\n";
    return false;
  }
  return true;
}

// ---- Copy ---------------------------------------------------------------------------------------

std::string TQDXTable::CopyTable(std::string_view newTableName, std::string_view databaseFileName,
                                 bool copyIndexes) {
  const std::string source = Trimmed(tableName_);
  if (source.empty()) Error(dsmsg::kTableNameMissing);
  const std::string target = Trimmed(newTableName);
  if (target.empty()) Error(dsmsg::kTableNameMissing);

  // A closed table is opened for the copy and closed again, also on error.
  const bool wasActive = Active();
  if (!wasActive) Open();
  const ScopeExit closeAfter([this, wasActive] {
    if (wasActive) return;
    try {
      Close();
    } catch (...) {
      // The copy's own outcome is what the caller hears about.
    }
  });

  TQDXDatabase& database = *Database();
  const bool sameFile = databaseFileName.empty() || databaseFileName == database.DatabaseFileName();
  if (sameFile && SameText(source, target)) {
    Raise(msg::kCannotCopyTableIntoItself, {DatabaseName(), source});
  }
  for (int32_t i = 0; i < FieldDefs().Count(); ++i) {
    if (FindField(FieldDefs()[i].Name()) == nullptr) {
      Raise(msg::kCopyTableFieldObjectMissing, {source, FieldDefs()[i].Name()});
    }
  }
  TQDXLocalCursor& cursor = *Cursor();
  TQDXAdvFieldDefs fields;
  AdvFieldDefsFromEngine(*cursor.TableFieldDefs, fields, cursor.ConstraintDefs.get());
  TQDXAdvIndexDefs indexes;
  if (copyIndexes) {
    TQDXAdvIndexDefs stored;
    AdvIndexDefsFromEngine(cursor.GetIndexDefs(), stored);
    indexes.AssignForCopy(stored);
  }

  // The target database: this one, the in-memory one through the session, or another file
  // through a temporary component.
  TQDXDatabase* targetDatabase = &database;
  std::unique_ptr<TQDXDatabase> otherFile;
  TQDXSession* memorySession = nullptr;
  const ScopeExit releaseMemory([&memorySession, &targetDatabase] {
    if (memorySession != nullptr) memorySession->CloseDatabase(*targetDatabase);
  });
  if (!sameFile && SameText(databaseFileName, kMemoryDatabaseName)) {
    TQDXSession& session = *database.Session();
    targetDatabase = &session.OpenDatabase(kMemoryDatabaseName, Owner());
    memorySession = &session;
  } else if (!sameFile) {
    otherFile = database.NewTemporaryPeer(dsmsg::kCopyDatabaseStem, std::string(databaseFileName));
    otherFile->Open();
    targetDatabase = otherFile.get();
  }

  const std::string targetName = targetDatabase->DatabaseName();
  const bool targetInMemory = targetDatabase->EngineSession()->IsMemoryDatabase();
  if (targetDatabase->TableExists(target)) {
    Raise(msg::kCopyTableAlreadyExists, {targetName, target});
  }
  try {
    CreateDatabaseTable(*targetDatabase, {target, targetInMemory, false}, fields, indexes);
  } catch (const std::exception& e) {
    Raise(msg::kCreateTableError, {targetName, target, e.what()});
  }

  // The records, read through a cursor of the copy's own so the table keeps its position.
  TQDXLocalCursor from(*database.EngineSession());
  from.TableName = source;
  from.InMemory = InMemory();
  from.ReadOnly = true;
  from.OpenTable();
  from.InitFieldDefs();
  TQDXLocalCursor to(*targetDatabase->EngineSession());
  to.TableName = target;
  to.InMemory = targetInMemory;
  to.Exclusive = true;
  to.OpenTable();
  to.InitFieldDefs();
  std::vector<TQDXFieldPair> pairs;
  for (int32_t i = 0; i < from.TableFieldDefs->Count(); ++i) pairs.push_back({i, i});

  CopyProgress progress(*this, OnCopyProgress, static_cast<bool>(BeforeCopy), database.SilentMode,
                        dsmsg::kCopyTableMessage);
  if (BeforeCopy) BeforeCopy(*this);
  const TQDXTableCopyResult copied =
      CopyRecords(from, to, pairs, source, [&](int percent) { return progress(percent); });
  if (AfterCopy) AfterCopy(*this);
  to.CloseTable();
  from.CloseTable();
  return copied.Errors;
}

// ---- Import -------------------------------------------------------------------------------------

namespace {

// Opens a dataset for the import; the guard returned puts it back as it was (closed, or on its
// record).
auto UseAsSource(TDataSet& source) {
  const bool wasActive = source.Active();
  if (!wasActive) source.Open();
  TBookmark bookmark = source.GetBookmark();
  source.DisableControls();
  return ScopeExit([&source, wasActive, bookmark = std::move(bookmark)] {
    try {
      if (!wasActive) {
        source.Close();
      } else if (!bookmark.empty() && source.BookmarkValid(bookmark)) {
        source.GotoBookmark(bookmark);
      }
    } catch (...) {
      // The import's own outcome is what the caller hears about.
    }
    source.EnableControls();
  });
}

}  // namespace

std::string TQDXTable::ImportTable(TDataSet& source) {
  CheckInactive();
  const std::string table = Trimmed(tableName_);
  if (table.empty()) Error(dsmsg::kTableNameMissing);
  // Creating the table would replace the source under the import's feet.
  const auto* sourceTable = dynamic_cast<const TQDXTable*>(&source);
  if (&source == this ||
      (sourceTable != nullptr && SameText(sourceTable->DatabaseName(), DatabaseName()) &&
       SameText(Trimmed(sourceTable->TableName()), table))) {
    Raise(msg::kCannotCopyTableIntoItself, {DatabaseName(), table});
  }
  const auto sourceInUse = UseAsSource(source);
  std::string errors;
  auto note = [&errors](std::string text) {
    errors += text;
    errors += "\n";
  };

  // The definitions of the source; index kinds this engine cannot keep are left out.
  FieldDefs().Clear();
  for (int32_t i = 0; i < source.FieldDefs().Count(); ++i) {
    const TFieldDef& def = source.FieldDefs()[i];
    FieldDefs().Add(def.Name(), def.DataType(), def.Size(), def.Required());
  }
  indexDefs_.Clear();
  indexDefs_.SetUpdated(false);
  if (auto* tableSource = dynamic_cast<TQDXTable*>(&source)) {
    const TIndexDefs& indexes = tableSource->IndexDefs();
    for (int32_t i = 0; i < indexes.Count(); ++i) {
      const TIndexDef& index = indexes[i];
      if (index.Options().Contains(TIndexOption::ixExpression) ||
          index.Options().Contains(TIndexOption::ixNonMaintained)) {
        note(dsmsg::Format(dsmsg::kImportIndexSkipped, {index.Name()}));
        continue;
      }
      TIndexDef& copy = indexDefs_.Add(index.Name(), index.Fields(), index.Options());
      copy.SetDescFields(index.DescFields());
      copy.SetCaseInsFields(index.CaseInsFields());
    }
  }
  try {
    CreateTable();
  } catch (const std::exception& e) {
    note(dsmsg::Format(dsmsg::kImportCannotCreate, {e.what()}));
    return errors;
  }

  const bool quiet = Database() != nullptr ? Database()->SilentMode : false;
  CopyProgress progress(*this, OnImportProgress, static_cast<bool>(BeforeImport), quiet,
                        dsmsg::kImportTableMessage);
  if (BeforeImport) BeforeImport(*this);
  try {
    Open();
    const int32_t total = source.RecordCount();
    int32_t recordNo = 0;
    for (source.First(); !source.Eof(); source.Next()) {
      ++recordNo;
      Append();
      for (int32_t i = 0; i < Fields().Count(); ++i) {
        TField& to = Fields()[i];
        if (to.FieldKind() != TFieldKind::fkData) continue;
        const TField* from = source.FindField(to.FieldName());
        if (from == nullptr || from->IsNull()) continue;
        try {
          to.SetAsVariant(from->AsVariant());
        } catch (const std::exception& e) {
          to.Clear();
          note(dsmsg::Format(dsmsg::kCopyFieldNulled, {table, recordNo, to.FieldName(), e.what()}));
        }
      }
      try {
        Post();
      } catch (const std::exception& e) {
        Cancel();
        note(dsmsg::Format(dsmsg::kCopyRecordSkipped, {table, recordNo, e.what()}));
      }
      if (total > 0 && !progress(static_cast<int>(int64_t{recordNo} * 100 / total))) {
        note(dsmsg::kTerminatedByUser);
        break;
      }
    }
    Close();
  } catch (const std::exception& e) {
    try {
      if (Active()) {
        Cancel();
        Close();
      }
    } catch (...) {
      // The first failure is the one reported.
    }
    note(dsmsg::Format(dsmsg::kImportCannotCopy, {e.what()}));
  }
  if (AfterImport) AfterImport(*this);
  return errors;
}

}  // namespace qdx
