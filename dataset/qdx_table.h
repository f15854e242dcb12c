// TQDXTable: the table dataset. It adds to TQDXDataSet the table it opens (TableName,
// Exclusive), the current index (IndexName or IndexFieldNames, one slot with a flag telling
// which of the two it holds), key search (SetKey, GotoKey, FindKey, FindNearest) and ranges on
// the current index, master-detail linking (MasterSource, MasterFields) and the table
// operations.
//
// Key entry: SetKey / EditKey put the table in KeyEntry state with one of its key buffers as the
// active buffer; field setters fill it (index fields only, else 20019). Post records the key,
// Cancel restores the saved key. A key buffer is the record data followed by six bytes: a
// modified flag, an exclusive flag and an int32 count of the index fields the key uses (0: all).
//
// A table is used from one thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "dataset/adv_defs.h"
#include "dataset/framework/data_link.h"
#include "dataset/framework/index_defs.h"
#include "dataset/qdx_dataset.h"

namespace qdx {

class TDataSource;
class TQDXTable;

// Which of the key buffers a key entry fills.
enum class TKeyIndex : uint8_t { Lookup, RangeStart, RangeEnd, CurrentRangeStart, CurrentRangeEnd, Save };

// A progress event of the table operations: the table and the percentage done.
using TQDXProgressEvent = std::function<void(TQDXTable&, int32_t percent, bool& abort)>;

class TQDXTable : public TQDXDataSet {
 public:
  explicit TQDXTable(std::string name = {}, const void* owner = nullptr);
  ~TQDXTable() override;

  // ---- Table and index -------------------------------------------------------------------------
  const std::string& TableName() const { return tableName_; }
  // Closed tables only; marks the index definitions as stale.
  void SetTableName(std::string name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);
  bool StoreDefs() const { return storeDefs_; }
  void SetStoreDefs(bool storeDefs) { storeDefs_ = storeDefs; }
  // The table exists in the database (asks the session; the database is attached for it).
  bool Exists();
  // Empty text when the slot holds the other form.
  std::string IndexName() const { return indexIsFieldList_ ? std::string() : indexSlot_; }
  std::string IndexFieldNames() const { return indexIsFieldList_ ? indexSlot_ : std::string(); }
  // On an open table: settles a pending change, switches the cursor's index and re-reads the
  // window around the current record. An unknown name fails with 10325 and keeps the previous
  // index. The empty value selects the natural order.
  void SetIndexName(std::string name);
  void SetIndexFieldNames(std::string fieldNames);
  // The table's indexes (read through the cursor, or a temporary one when closed).
  TIndexDefs& IndexDefs();
  // The field definitions; those of a closed table are read from the table through a cursor of
  // their own when its name changed since they were last read (a table not created yet keeps
  // the definitions given for its creation).
  TFieldDefs& FieldDefs();

  // ---- Key search ----------------------------------------------------------------------------
  void SetKey();   // KeyEntry with a cleared lookup key
  void EditKey();  // KeyEntry keeping the lookup key
  // Moves to the first record whose key equals the lookup key; false when none (no move).
  bool GotoKey();
  // Moves to the first record whose key is at or after the lookup key.
  void GotoNearest();
  // SetKey, the values into the index fields in order, GotoKey / GotoNearest.
  bool FindKey(std::span<const Variant> values);
  void FindNearest(std::span<const Variant> values);
  // In KeyEntry: the key being entered excludes its value (ranges) / uses this many index fields.
  bool KeyExclusive() const;
  void SetKeyExclusive(bool exclusive);
  int32_t KeyFieldCount() const;
  void SetKeyFieldCount(int32_t count);

  // ---- Ranges --------------------------------------------------------------------------------
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  // Hands the range to the cursor (unless it is the one applied) and moves to the first record.
  void ApplyRange();
  // Drops the range and re-reads the window around the current record.
  void CancelRange();
  void SetRange(std::span<const Variant> startValues, std::span<const Variant> endValues);

  // ---- Master-detail -------------------------------------------------------------------------
  TDataSource* MasterSource() const;
  void SetMasterSource(TDataSource* source);
  const std::string& MasterFields() const { return masterFields_; }
  void SetMasterFields(std::string fields);

  // ---- Table operations (implemented in dataset/table_operations.cpp) -------------------------
  // The advanced definitions a new table is made from: what only the engine stores of a field
  // (field type code, default, minimum and maximum, autoinc settings, BLOB compression) and of
  // an index (per-column lists). When any are set, CreateTable builds from them and rebuilds
  // FieldDefs / IndexDefs from them; when none are, it builds them from FieldDefs / IndexDefs.
  TQDXAdvFieldDefs& AdvFieldDefs() { return advFieldDefs_; }
  TQDXAdvIndexDefs& AdvIndexDefs() { return advIndexDefs_; }
  // The table as it was last opened or its field definitions last read (a restructure or a
  // copy starts from these).
  const TQDXAdvFieldDefs& OpenedAdvFieldDefs() const { return openedAdvFieldDefs_; }
  const TQDXAdvIndexDefs& OpenedAdvIndexDefs() const { return openedAdvIndexDefs_; }
  // Creates the table from FieldDefs and IndexDefs (an existing one is replaced).
  void CreateTable();
  // Deletes every record; the table may be open (it is closed and opened again).
  void EmptyTable();
  void DeleteTable();
  void RenameTable(std::string_view newName);
  void AddIndex(std::string_view name, std::string_view fields, TIndexOptions options,
                std::string_view descFields = {}, std::string_view caseInsFields = {});
  void DeleteIndex(std::string_view name);
  void RenameField(std::string_view oldName, std::string_view newName);
  // Changes the table's structure to FieldDefs / IndexDefs, keeping the records. Answers false,
  // with the old table in place, when the new table cannot be created, and false when the old
  // one cannot be deleted afterwards; either failure, and every record or value the copy could
  // not take, is added to `errorText` followed by a line break. A transaction (20180) and a
  // failed copy still raise, after the old table got its name back.
  bool RestructureTable(std::string& errorText);
  // Copies the table with its records into a new table `newTableName` of this database file,
  // or of the existing file `databaseFileName` (reached through a temporary component of the
  // session; "MEMORY" names the in-memory database); with the indexes when `copyIndexes`. Opens
  // the table for the copy when it is closed. Answers the texts of what could not be copied.
  std::string CopyTable(std::string_view newTableName, std::string_view databaseFileName = {},
                        bool copyIndexes = true);
  // Creates the table (closed) like `source`, with its fields and, when it is a table, the
  // indexes this engine can take, and copies its records in. Answers the texts of what could not
  // be created or copied.
  std::string ImportTable(TDataSet& source);
  std::string ExportToSqlOptions;
  TDataSetNotifyEvent BeforeCopy, AfterCopy, BeforeImport, AfterImport, BeforeExport,
      AfterExport, BeforeRestructure, AfterRestructure, BeforeBatchMove, AfterBatchMove;
  TQDXProgressEvent OnCopyProgress, OnImportProgress, OnExportProgress, OnRestructureProgress,
      OnBatchMoveProgress;

 protected:
  std::unique_ptr<TQDXLocalCursor> CreateHandle() override;
  void OpenIndex() override;
  void OpenExtras() override;
  void CloseExtras() override;
  void InternalPostKey() override;
  void InternalCancelKey() override;
  void DoOnNewRecord() override;
  // The declared defaults of the BLOB and MEMO fields into the new record.
  void WriteBlobDefaults();
  void CheckFieldWritable(const TField& field) const override;

 private:
  class MasterLink;
  friend class MasterLink;

  uint8_t* KeyBuffer(TKeyIndex which) const { return keyBuffers_[static_cast<size_t>(which)]; }
  // The trailer of a key buffer: modified, exclusive, field count.
  uint8_t* KeyTrailer(TKeyIndex which) const;
  // Hands FieldDefs and IndexDefs, as the engine's definitions, to the cursor of an in-memory or
  // temporary table.
  void HandOverDefinitions(TQDXLocalCursor& cursor);
  // The opened-table advanced definitions from a cursor on the table.
  void LoadOpenedAdvDefs(TQDXLocalCursor& cursor);
  void EnterKeyState(TKeyIndex which, bool clear);
  // Resolves the slot to an index name of the cursor; empty for natural order.
  std::string ResolveIndexName(const std::string& slot, bool fieldList);
  void SwitchIndex(std::string slot, bool fieldList);
  bool SearchKey(int32_t kind);
  void SetKeyValues(std::span<const Variant> values);
  // Copies the master's key values into the range and re-applies it.
  void ApplyMasterLink();
  void FillLinkFields();

  std::string tableName_;
  bool exclusive_ = false;
  bool storeDefs_ = false;
  std::string indexSlot_;
  bool indexIsFieldList_ = false;
  TIndexDefs indexDefs_;
  std::array<uint8_t*, 6> keyBuffers_{};
  TKeyIndex keyEntry_ = TKeyIndex::Lookup;
  TDataSetState stateBeforeKey_ = TDataSetState::Browse;
  bool rangeApplied_ = false;
  std::string masterFields_;
  std::unique_ptr<MasterLink> masterLink_;
  TQDXAdvFieldDefs advFieldDefs_;
  TQDXAdvIndexDefs advIndexDefs_;
  TQDXAdvFieldDefs openedAdvFieldDefs_;
  TQDXAdvIndexDefs openedAdvIndexDefs_;
};

}  // namespace qdx
