#include "engine/core/index_manager.h"

#include <algorithm>

#include "engine/core/database_data.h"
#include "engine/core/field_manager.h"
#include "engine/core/record_manager.h"
#include "engine/core/table_cursor.h"
#include "engine/core/table_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/platform/random.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {

TQDXBaseIndexManager::TQDXBaseIndexManager(TQDXTableData& table, TQDXPageManager& pageManager,
                                           TQDXPageManager& temporaryPageManager)
    : table_(&table),
      pageManager_(&pageManager),
      temporaryPageManager_(&temporaryPageManager),
      indexDefs_(std::make_unique<TQDXIndexDefs>()) {}

TQDXBaseIndexManager::~TQDXBaseIndexManager() = default;

void TQDXBaseIndexManager::LoadDefinitions(TStream& stream) {
  CloseAllIndexes();
  indexDefs_->LoadFromStream(stream);
}

void TQDXBaseIndexManager::SaveDefinitions(TStream& stream) const {
  indexDefs_->SaveToStream(stream);
}

void TQDXBaseIndexManager::SetIndexDefs(const TQDXIndexDefs& defs) {
  CloseAllIndexes();
  indexDefs_->Assign(defs);
}

const TQDXFieldDefs& TQDXBaseIndexManager::IndexFieldDefs() const {
  return table_->FieldManager().FieldDefs();
}

TQDXIndexRecordSource& TQDXBaseIndexManager::IndexRecords() {
  return *table_;
}

uint8_t* TQDXBaseIndexManager::Scratch() {
  scratch_.resize(static_cast<size_t>(table_->MemoryRecordSize()));
  return scratch_.data();
}

TQDXIndexDef& TQDXBaseIndexManager::RequireDefinition(int32_t indexID) const {
  auto* def = static_cast<TQDXIndexDef*>(indexDefs_->FindByID(indexID));
  if (def == nullptr) Raise(msg::kIndexNotFound);
  return *def;
}

TQDXBTreeRecordIndex& TQDXBaseIndexManager::GetIndex(int32_t indexID) {
  for (auto& [id, index] : open_) {
    if (id == indexID) return *index;
  }
  const TQDXIndexDef& def = RequireDefinition(indexID);
  auto index = std::make_unique<TQDXBTreeRecordIndex>(*this);
  index->Open(def);
  open_.emplace_back(indexID, std::move(index));
  return *open_.back().second;
}

void TQDXBaseIndexManager::CloseIndex(int32_t indexID) {
  std::erase_if(open_, [&](const auto& entry) { return entry.first == indexID; });
}

int32_t TQDXBaseIndexManager::AddIndex(const TQDXTableCursor* cursor,
                                       const TQDXIndexDef& definition) {
  auto copy = std::make_unique<TQDXIndexDef>();
  copy->Assign(definition);
  const int32_t indexID = table_->Database().NextObjectID();
  copy->SetObjectID(indexID);
  TQDXIndexDef& def = *copy;
  indexDefs_->Add(std::move(copy));
  const TQDXIndexCursor builder =
      cursor != nullptr ? cursor->IndexCursor() : TQDXIndexCursor{kSystemSessionID, nullptr, {}};
  auto index = std::make_unique<TQDXBTreeRecordIndex>(*this);
  try {
    // Create writes the new root into the collection's definition.
    index->Create(&builder, def);
  } catch (...) {
    if (index->RootPageNo() >= 0) {
      try {
        index->Drop(builder.SessionID);
      } catch (const EQDXException&) {
        // The pages go with the session's cancelled changes.
      }
    }
    indexDefs_->Delete(indexDefs_->IndexOfID(indexID));
    throw;
  }
  open_.emplace_back(indexID, std::move(index));
  return indexID;
}

void TQDXBaseIndexManager::DropIndex(int32_t sessionID, int32_t indexID) {
  GetIndex(indexID).Drop(sessionID);
  CloseIndex(indexID);
  indexDefs_->Delete(indexDefs_->IndexOfID(indexID));
}

void TQDXBaseIndexManager::EmptyIndexes(int32_t sessionID) {
  for (int32_t i = 0; i < indexDefs_->Count(); ++i) {
    GetIndex(indexDefs_->GetIndexDef(i).ObjectID()).Empty(sessionID);
  }
  CloseAllIndexes();
}

int32_t TQDXBaseIndexManager::FindIndexForFields(const std::vector<std::string>& fieldNames,
                                                 const std::vector<std::string>& orderTexts,
                                                 const std::vector<std::string>& caseTexts,
                                                 int32_t sessionID) const {
  return indexDefs_->FindIndexForFields(&fieldNames, &orderTexts, &caseTexts, IndexFieldDefs(),
                                        sessionID);
}

int32_t TQDXBaseIndexManager::GetOrCreateIndexForFields(const TQDXTableCursor& cursor,
                                                        const std::vector<std::string>& fieldNames,
                                                        const std::vector<std::string>& orderTexts,
                                                        const std::vector<std::string>& caseTexts,
                                                        bool* created) {
  const int32_t found = FindIndexForFields(fieldNames, orderTexts, caseTexts, cursor.SessionID());
  if (created != nullptr) *created = found < 0;
  if (found >= 0) return found;
  TQDXIndexDef def;
  std::string name;
  do {
    name = kTemporaryIndexPrefix + platform::NewGuidText();
  } while (indexDefs_->FindIndex(name) != nullptr);
  def.SetName(name);
  def.Temporary = true;
  def.IndexKind = 0;
  def.Unique = false;
  def.Primary = false;
  def.SetColumnsFromLists(fieldNames, orderTexts, caseTexts);
  def.OwnerSessionID = cursor.SessionID();
  def.ChangeCount = table_->RecordManager().ChangeStamp;
  return AddIndex(&cursor, def);
}

void TQDXBaseIndexManager::Navigate(int32_t sessionID, TQDXNavigationRequest& request,
                                    int32_t changeStamp, TQDXIndexPositionCache& cache) {
  TQDXBTreeRecordIndex& index = GetIndex(request.IndexID);
  const bool atEnd = request.AtBOF || request.AtEOF;
  // A cache of the current stamp proves the record still exists: every delete bumps the stamp.
  const bool cached = cache.IndexID == request.IndexID && cache.RecordID == request.RecordID &&
                      cache.ChangeStamp == changeStamp && cache.Path.LevelCount > 0;
  if (!atEnd && !cached) {
    uint8_t* record = request.Buffer != nullptr ? request.Buffer : Scratch();
    if (!table_->ReadRecordByID(sessionID, request.RecordID, record)) {
      if (request.Buffer == nullptr) {
        request.Result = grError;
        return;
      }
      index.NavigateFromDeleted(sessionID, request, changeStamp, cache);
      return;
    }
  }
  index.Navigate(sessionID, request, changeStamp, cache);
}

void TQDXBaseIndexManager::AfterKeyChange(TQDXIndexDef& definition, TQDXBTreeRecordIndex& index,
                                          bool bump) {
  if (bump)
    definition.ChangeCount =
        static_cast<int32_t>(static_cast<uint32_t>(definition.ChangeCount) + 1);
  if (index.RootPageNo() != definition.RootPageNo) definition.RootPageNo = index.RootPageNo();
}

void TQDXBaseIndexManager::InsertKeys(const TQDXIndexCursor& cursor) {
  for (int32_t i = 0; i < indexDefs_->Count(); ++i) {
    TQDXIndexDef& def = indexDefs_->GetIndexDef(i);
    TQDXBTreeRecordIndex& index = GetIndex(def.ObjectID());
    index.InsertKey(cursor);
    AfterKeyChange(def, index, true);
  }
}

void TQDXBaseIndexManager::UpdateKeys(const TQDXIndexCursor& cursor, bool removing) {
  for (int32_t i = 0; i < indexDefs_->Count(); ++i) {
    TQDXIndexDef& def = indexDefs_->GetIndexDef(i);
    TQDXBTreeRecordIndex& index = GetIndex(def.ObjectID());
    index.UpdateKey(cursor, removing);
    AfterKeyChange(def, index, !removing);
  }
}

void TQDXBaseIndexManager::DeleteKeys(const TQDXIndexCursor& cursor) {
  if (indexDefs_->Count() == 0) return;
  uint8_t* stored = Scratch();
  if (!table_->ReadRecordByID(cursor.SessionID, cursor.RecordID, stored)) {
    Raise(msg::kCannotRetrieveRecordForIndex);
  }
  const TQDXIndexCursor storedCursor{cursor.SessionID, stored, cursor.RecordID};
  for (int32_t i = 0; i < indexDefs_->Count(); ++i) {
    TQDXIndexDef& def = indexDefs_->GetIndexDef(i);
    TQDXBTreeRecordIndex& index = GetIndex(def.ObjectID());
    index.DeleteKey(storedCursor);
    AfterKeyChange(def, index, true);
  }
}

void TQDXBaseIndexManager::RebuildStaleTemporaryIndexes(const TQDXIndexCursor& cursor) {
  if (rebuilding_) return;
  const ScopedValue rebuilding(rebuilding_, true);
  const int32_t stamp = table_->RecordManager().ChangeStamp;
  for (int32_t i = 0; i < indexDefs_->Count(); ++i) {
    TQDXIndexDef& def = indexDefs_->GetIndexDef(i);
    if (!def.Temporary || def.ChangeCount == stamp) continue;
    TQDXBTreeRecordIndex& index = GetIndex(def.ObjectID());
    index.Rebuild(cursor);
    AfterKeyChange(def, index, false);
    def.ChangeCount = stamp;
  }
}

void TQDXBaseIndexManager::RenameFieldInIndexes(std::string_view oldName,
                                                std::string_view newName) {
  for (int32_t i = 0; i < indexDefs_->Count(); ++i) {
    TQDXIndexDef& def = indexDefs_->GetIndexDef(i);
    for (int32_t c = 0; c < def.ColumnCount(); ++c) {
      if (SameNameIgnoringCase(def.Column(c).FieldName, oldName)) {
        def.Column(c).SetFieldName(newName);
      }
    }
  }
  CloseAllIndexes();
}

}  // namespace qdx
