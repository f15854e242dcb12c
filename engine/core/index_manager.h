// TQDXBaseIndexManager: the indexes of one table. It owns the index definitions and the open
// index objects (one TQDXBTreeRecordIndex per index in use, opened from its definition on first
// use), keeps every index in step with the records (InsertKeys, UpdateKeys, DeleteKeys), walks an
// index for the cursor (Navigate) and makes temporary indexes on demand.
//
// Design notes:
//  1. The definitions in the collection are the truth: an index's RootPageNo and ChangeCount are
//     copied back into its definition after every change.
//  2. Temporary indexes keep their pages in the temporary page manager, all others in the
//     table's. A temporary index serves only the session that made it and follows changes of
//     other sessions through its ChangeCount: it is rebuilt when the count differs from the
//     table's ChangeStamp (RebuildStaleTemporaryIndexes).
//  3. A failure while adding an index leaves no definition behind.
//
// Not safe for concurrent use: the table data calls it under its database's critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/btree_record_index.h"
#include "engine/core/index.h"
#include "engine/core/table_index_def.h"

namespace qdx {

class TQDXTableData;
class TQDXTableCursor;
class TStream;

inline constexpr const char* kTemporaryIndexPrefix = "TEMPORARY_INDEX_";

class TQDXBaseIndexManager : public TQDXIndexOwner {
 public:
  TQDXBaseIndexManager(TQDXTableData& table, TQDXPageManager& pageManager,
                       TQDXPageManager& temporaryPageManager);
  ~TQDXBaseIndexManager() override;

  // ---- Virtual operations, in slot order -------------------------------------------------------
  // 0, 1: the index collection's stored form; reading closes every open index.
  virtual void LoadDefinitions(TStream& stream);
  virtual void SaveDefinitions(TStream& stream) const;
  // 2: the collection becomes a copy of `defs`; every open index is closed.
  virtual void SetIndexDefs(const TQDXIndexDefs& defs);

  TQDXIndexDefs& IndexDefs() const { return *indexDefs_; }
  TQDXTableData& Table() const { return *table_; }

  // The open index; opened from its definition on first use. 20018 for an unknown ID.
  TQDXBTreeRecordIndex& GetIndex(int32_t indexID);
  // Frees the open index object; the definition stays.
  void CloseIndex(int32_t indexID);
  void CloseAllIndexes() { open_.clear(); }

  // Adds a copy of `definition` with a new ObjectID and builds it from all records (in the
  // cursor's session, or the system session without a cursor). Answers the new index's ID.
  int32_t AddIndex(const TQDXTableCursor* cursor, const TQDXIndexDef& definition);
  // Frees the index's pages and forgets it. 20018 for an unknown ID.
  void DropIndex(int32_t sessionID, int32_t indexID);
  // Removes every key of every index and closes them.
  void EmptyIndexes(int32_t sessionID);

  // The ID of an index serving the fields for the session (TQDXIndexDefs::FindIndexForFields).
  int32_t FindIndexForFields(const std::vector<std::string>& fieldNames,
                             const std::vector<std::string>& orderTexts,
                             const std::vector<std::string>& caseTexts, int32_t sessionID) const;
  // FindIndexForFields, else a new temporary index of the cursor's session named
  // "TEMPORARY_INDEX_" and a GUID; `created` tells which.
  int32_t GetOrCreateIndexForFields(const TQDXTableCursor& cursor,
                                    const std::vector<std::string>& fieldNames,
                                    const std::vector<std::string>& orderTexts,
                                    const std::vector<std::string>& caseTexts, bool* created);

  // Next or prior in the order of request.IndexID. A current record that no longer exists
  // continues from the values the request's buffer still holds (NavigateFromDeleted); a null
  // buffer means that only the record ID is wanted.
  void Navigate(int32_t sessionID, TQDXNavigationRequest& request, int32_t changeStamp,
                TQDXIndexPositionCache& cache);

  // Keep every index in step with a record change of the cursor (its buffer and record ID).
  void InsertKeys(const TQDXIndexCursor& cursor);
  // removing: takes out the keys of the stored version of the record; otherwise puts in the
  // buffer's keys.
  void UpdateKeys(const TQDXIndexCursor& cursor, bool removing);
  // Reads the stored record, then removes its keys.
  void DeleteKeys(const TQDXIndexCursor& cursor);

  // Rebuilds every temporary index whose ChangeCount is not the table's ChangeStamp (design
  // note 2). Skipped while a rebuild is under way.
  void RebuildStaleTemporaryIndexes(const TQDXIndexCursor& cursor);
  // Renames the index columns naming `oldName` (ignoring case) and closes the open indexes.
  void RenameFieldInIndexes(std::string_view oldName, std::string_view newName);
  bool Rebuilding() const { return rebuilding_; }

  // TQDXIndexOwner
  TQDXPageManager& IndexPageManager(bool temporary) override {
    return temporary ? *temporaryPageManager_ : *pageManager_;
  }
  const TQDXFieldDefs& IndexFieldDefs() const override;
  TQDXIndexRecordSource& IndexRecords() override;

 private:
  TQDXIndexDef& RequireDefinition(int32_t indexID) const;
  // Copies the index's root and bumps the definition's ChangeCount (design note 1).
  void AfterKeyChange(TQDXIndexDef& definition, TQDXBTreeRecordIndex& index, bool bump);
  uint8_t* Scratch();

  TQDXTableData* table_;
  TQDXPageManager* pageManager_;
  TQDXPageManager* temporaryPageManager_;
  std::unique_ptr<TQDXIndexDefs> indexDefs_;
  // Few indexes per table: a short list searched by ID beats a map.
  std::vector<std::pair<int32_t, std::unique_ptr<TQDXBTreeRecordIndex>>> open_;
  std::vector<uint8_t> scratch_;
  bool rebuilding_ = false;
};

}  // namespace qdx
