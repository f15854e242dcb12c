#include "engine/core/table_data.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "engine/core/database_data.h"
#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"

namespace qdx {

namespace {

// The cursor's position, taken to be put back when a scope that moves the cursor ends.
struct CursorPosition {
  explicit CursorPosition(const TQDXTableCursor& cursor)
      : id(cursor.RecordID), bof(cursor.AtBOF), eof(cursor.AtEOF) {}
  void PutBack(TQDXTableCursor& cursor) const {
    cursor.RecordID = id;
    cursor.AtBOF = bof;
    cursor.AtEOF = eof;
  }
  TQDXRecordID id;
  bool bof;
  bool eof;
};

void TakePosition(TQDXTableCursor& cursor, const TQDXNavigationRequest& request) {
  cursor.RecordID = request.RecordID;
  cursor.AtBOF = request.AtBOF;
  cursor.AtEOF = request.AtEOF;
}

int32_t MirrorKind(int32_t kind) {
  switch (kind) {
    case ckLess:
      return ckGreater;
    case ckGreater:
      return ckLess;
    case ckLessOrEqual:
      return ckGreaterOrEqual;
    case ckGreaterOrEqual:
      return ckLessOrEqual;
    default:
      return kind;
  }
}

}  // namespace

// A record buffer lent from the table's pool for the length of one scope.
class TQDXTableData::ScratchRecord {
 public:
  explicit ScratchRecord(TQDXTableData& table) : table_(table) {
    if (!table.scratchPool_.empty()) {
      buffer_ = std::move(table.scratchPool_.back());
      table.scratchPool_.pop_back();
    }
    buffer_.resize(static_cast<size_t>(table.MemoryRecordSize()));
  }
  ~ScratchRecord() { table_.scratchPool_.push_back(std::move(buffer_)); }
  ScratchRecord(const ScratchRecord&) = delete;
  ScratchRecord& operator=(const ScratchRecord&) = delete;

  uint8_t* data() { return buffer_.data(); }

 private:
  TQDXTableData& table_;
  std::vector<uint8_t> buffer_;
};

TQDXTableData::TQDXTableData(TQDXDatabaseData& database, TQDXPageManager& pageManager,
                             std::string name)
    : database_(&database),
      pageManager_(&pageManager),
      name_(std::move(name)),
      fieldManager_(std::make_unique<TQDXBaseFieldManager>(this)),
      constraintManager_(std::make_unique<TQDXBaseConstraintManager>(*this)) {}

TQDXTableData::~TQDXTableData() = default;

void TQDXTableData::SetFieldManager(std::unique_ptr<TQDXBaseFieldManager> manager) {
  fieldManager_ = std::move(manager);
}
void TQDXTableData::SetRecordManager(std::unique_ptr<TQDXBaseRecordManager> manager) {
  recordManager_ = std::move(manager);
}
void TQDXTableData::SetIndexManager(std::unique_ptr<TQDXBaseIndexManager> manager) {
  indexManager_ = std::move(manager);
}
void TQDXTableData::SetConstraintManager(std::unique_ptr<TQDXBaseConstraintManager> manager) {
  constraintManager_ = std::move(manager);
}

TQDXBaseIndexManager& TQDXTableData::IndexManager() const {
  if (!indexManager_) Raise(msg::kTableNoIndexManager);
  return *indexManager_;
}

TQDXBaseRecordManager& TQDXTableData::RecordManager() const {
  if (!recordManager_) Raise(msg::kTableNoRecordManager);
  return *recordManager_;
}

void TQDXTableData::EnterDatabase() {
  database_->EnterDatabase();
}
void TQDXTableData::LeaveDatabase() {
  database_->LeaveDatabase();
}

// ---- Definitions -----------------------------------------------------------------------------

void TQDXTableData::SetFieldDefs(const TQDXFieldDefs& defs) {
  TQDXFieldDefs copy;
  copy.Assign(defs);
  for (int32_t i = 0; i < copy.Count(); ++i) copy.GetDef(i).SetObjectID(database_->NextObjectID());
  fieldManager_->SetDefinitions(copy);
}

void TQDXTableData::SetIndexDefs(const TQDXIndexDefs& defs) {
  TQDXIndexDefs copy;
  copy.Assign(defs);
  for (int32_t i = 0; i < copy.Count(); ++i) copy.GetDef(i).SetObjectID(database_->NextObjectID());
  IndexManager().SetIndexDefs(copy);
}

void TQDXTableData::SetConstraintDefs(const TQDXConstraintDefs& defs) {
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const uint8_t type = defs.GetConstraintDef(i).ConstraintType();
    if (type != ctPrimaryKey && type != ctUnique && type != ctNotNull && type != ctCheck) {
      Raise(msg::kTableConstraintTypeNotImplemented);
    }
  }
  TQDXConstraintDefs& target = constraintManager_->ConstraintDefs();
  target.Assign(defs);
  for (int32_t i = 0; i < target.Count(); ++i) {
    auto& constraint = static_cast<TQDXConstraintDefNotNull&>(target.GetConstraintDef(i));
    constraint.SetObjectID(database_->NextObjectID());
    constraint.TableRef.SetName(name_);
  }
  constraintManager_->ResolveReferences();
  constraintManager_->GenerateNames();
}

void TQDXTableData::GetRecordLayout(TQDXTableCursor& cursor) {
  const TQDXFieldDefs& fields = fieldManager_->FieldDefs();
  if (fields.Count() == 0) Raise(msg::kTableNoFields);
  cursor.FirstFieldOffset = NullBitmapSize(fields.Count());
  cursor.RecordDataSize = fields.MemoryRecordSize();
}

void TQDXTableData::ApplyChanges(int32_t sessionID, bool inTransaction) {
  if (!inTransaction) pageManager_->ApplyChanges(sessionID);
}

void TQDXTableData::CancelChanges(int32_t sessionID, bool inTransaction) {
  if (!inTransaction) pageManager_->CancelChanges(sessionID);
}

// ---- Table maintenance -----------------------------------------------------------------------

void TQDXTableData::DeleteTable(TQDXTableCursor*, bool forced) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (!forced && !cursors_.empty()) Raise(msg::kCannotDeleteOpenTable, {name_});
}

void TQDXTableData::EmptyTable(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  fieldManager_->ResetAutoincCounters();
  IndexManager().EmptyIndexes(cursor.SessionID());
}

void TQDXTableData::RenameTable(std::string_view newName, TQDXTableCursor*) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (!cursors_.empty()) Raise(msg::kCannotRenameOpenTable, {name_});
  name_ = std::string(newName);
}

void TQDXTableData::RegisterCursor(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (std::ranges::find(cursors_, &cursor) == cursors_.end()) cursors_.push_back(&cursor);
}

void TQDXTableData::UnregisterCursor(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  std::erase(cursors_, &cursor);
}

void TQDXTableData::RenameField(std::string_view oldName, std::string_view newName) {
  platform::CriticalSectionGuard guard(database_->Lock());
  TQDXFieldDefs& fields = fieldManager_->FieldDefs();
  TQDXFieldDef* field = fields.FindField(oldName);
  if (field == nullptr) Raise(msg::kTableRenameFieldMissing, {std::string(oldName)});
  const TQDXFieldDef* taken = fields.FindField(newName);
  if (taken != nullptr && taken != field) {
    Raise(msg::kTableRenameFieldTaken, {std::string(oldName), std::string(newName)});
  }
  field->SetName(newName);
  if (indexManager_) indexManager_->RenameFieldInIndexes(oldName, newName);
}

int32_t TQDXTableData::AddIndex(const TQDXIndexDef& definition, TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  const CursorPosition position(cursor);
  const ScopeExit putBack([&] { position.PutBack(cursor); });
  TQDXBaseIndexManager& indexes = IndexManager();
  const int32_t indexID = indexes.AddIndex(&cursor, definition);
  if (!definition.Temporary && !cursor.Temporary) {
    try {
      constraintManager_->AddForIndex(
          static_cast<const TQDXIndexDef&>(*indexes.IndexDefs().FindByID(indexID)));
    } catch (...) {
      indexes.DropIndex(cursor.SessionID(), indexID);
      throw;
    }
  }
  return indexID;
}

void TQDXTableData::DeleteIndex(int32_t indexID, TQDXTableCursor* cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  TQDXBaseIndexManager& indexes = IndexManager();
  const auto* def = static_cast<const TQDXIndexDef*>(indexes.IndexDefs().FindByID(indexID));
  if (def == nullptr) Raise(msg::kIndexNotFound);
  if (!def->Temporary && !(cursor != nullptr && cursor->Temporary)) {
    constraintManager_->DeleteForIndex(indexID);
  }
  indexes.DropIndex(cursor != nullptr ? cursor->SessionID() : kSystemSessionID, indexID);
}

void TQDXTableData::DeleteAllIndexes(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  TQDXIndexDefs& defs = IndexManager().IndexDefs();
  while (defs.Count() > 0) DeleteIndex(defs.GetDef(0).ObjectID(), &cursor);
}

int32_t TQDXTableData::GetOrCreateIndexForFields(TQDXTableCursor& cursor,
                                                 const std::vector<std::string>& fieldNames,
                                                 const std::vector<std::string>& orderTexts,
                                                 const std::vector<std::string>& caseTexts,
                                                 bool* created) {
  platform::CriticalSectionGuard guard(database_->Lock());
  return IndexManager().GetOrCreateIndexForFields(cursor, fieldNames, orderTexts, caseTexts,
                                                  created);
}

void TQDXTableData::FreeRecordBuffer(uint8_t*) {}

void TQDXTableData::FreeBlobCache(uint8_t*, int32_t) {}

void TQDXTableData::FreeBlobCaches(uint8_t* buffer) {
  if (!fieldManager_->HasBlobFields()) return;
  const TQDXFieldDefs& fields = fieldManager_->FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    if (fields.GetFieldDef(i).IsBlob()) FreeBlobCache(buffer, i);
  }
}

int64_t TQDXTableData::LastAutoincValue(int32_t, TQDXBaseSession*) {
  return 0;
}

void TQDXTableData::AfterRollback(int32_t sessionID) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (!indexManager_) return;
  for (TQDXTableCursor* cursor : cursors_) {
    if (cursor->SessionID() == sessionID) {
      indexManager_->RebuildStaleTemporaryIndexes(cursor->IndexCursor());
    }
  }
}

void TQDXTableData::RefreshTableHeader(int32_t) {}
void TQDXTableData::SaveTableHeader(int32_t) {}
void TQDXTableData::StoreBlobValues(TQDXTableCursor&) {}
void TQDXTableData::DeleteBlobValues(TQDXTableCursor&) {}

// ---- Record access ---------------------------------------------------------------------------

bool TQDXTableData::ReadRecordByID(int32_t sessionID, TQDXRecordID id, uint8_t* buffer) {
  TQDXNavigationRequest request;
  request.Mode = grmCurrent;
  request.RecordID = id;
  request.Buffer = buffer;
  RecordManager().ReadRecord(sessionID, request);
  return request.Result == grOK;
}

void TQDXTableData::ForEachRecord(int32_t sessionID, uint8_t* buffer,
                                  const std::function<void(TQDXRecordID)>& visit) {
  TQDXBaseRecordManager& records = RecordManager();
  TQDXNavigationRequest request;
  request.Mode = grmNext;
  request.Buffer = buffer;
  request.AtBOF = true;
  for (;;) {
    records.ReadRecord(sessionID, request);
    if (request.Result != grOK) return;
    visit(request.RecordID);
  }
}

// ---- Filters ---------------------------------------------------------------------------------

bool TQDXTableData::InRange(const TQDXTableCursor& cursor, const uint8_t* record) {
  const TQDXCursorRange& range = cursor.Range;
  if (!range.IsSet() || cursor.CurrentIndexID < 0) return true;
  TQDXBTreeRecordIndex& index = IndexManager().GetIndex(cursor.CurrentIndexID);
  if (range.LowKey != nullptr) {
    const int c = index.CompareRecords(record, range.LowKey, range.LowColumnCount);
    if (range.LowExclusive ? c <= 0 : c < 0) return false;
  }
  if (range.HighKey != nullptr) {
    const int c = index.CompareRecords(record, range.HighKey, range.HighColumnCount);
    if (range.HighExclusive ? c >= 0 : c > 0) return false;
  }
  return true;
}

bool TQDXTableData::PassesFilters(const TQDXTableCursor& cursor, const uint8_t* record) {
  return InRange(cursor, record) &&
         (cursor.FilterExpression == nullptr || cursor.FilterExpression->Evaluate(record)) &&
         (cursor.SQLFilterExpression == nullptr || cursor.SQLFilterExpression->Evaluate(record)) &&
         (!cursor.FilterCallback || cursor.FilterCallback(record));
}

TQDXScanSearchConditionArray TQDXTableData::RangeConditions(const TQDXTableCursor& cursor) {
  TQDXScanSearchConditionArray conditions(
      [this](int32_t indexID, const uint8_t* a, const uint8_t* b, int32_t columns) {
        return IndexManager().GetIndex(indexID).CompareRecords(a, b, columns);
      });
  const TQDXCursorRange& range = cursor.Range;
  if (cursor.CurrentIndexID < 0) return conditions;
  const size_t size = static_cast<size_t>(MemoryRecordSize());
  if (range.LowKey != nullptr) {
    conditions.Add({cursor.CurrentIndexID, range.LowExclusive ? ckGreater : ckGreaterOrEqual,
                    std::vector<uint8_t>(range.LowKey, range.LowKey + size), range.LowColumnCount});
  }
  if (range.HighKey != nullptr) {
    conditions.Add({cursor.CurrentIndexID, range.HighExclusive ? ckLess : ckLessOrEqual,
                    std::vector<uint8_t>(range.HighKey, range.HighKey + size),
                    range.HighColumnCount});
  }
  return conditions;
}

void TQDXTableData::AddFieldConditions(TQDXScanSearchConditionArray& conditions, int32_t indexID,
                                       const TQDXFilterExpression& expression) {
  const std::span<const TQDXFieldCondition> fieldConditions = expression.FieldConditions();
  if (fieldConditions.empty()) return;
  const TQDXIndexDef& index = IndexManager().GetIndex(indexID).Definition();
  if (index.ColumnCount() == 0) return;
  const TQDXFieldDefs& fields = fieldManager_->FieldDefs();
  const int32_t fieldNo = fields.IndexOfName(index.Column(0).FieldName);
  if (fieldNo < 0) return;
  const TQDXFieldDef& field = fields.GetFieldDef(fieldNo);
  // Only values that keep their order exactly in the key: numbers and dates of the field's own
  // type. Text compares under options (case, partial values) the index may not share.
  if (!IsNumericDataType(field.DataType) && !IsDateTimeDataType(field.DataType)) return;
  for (const TQDXFieldCondition& condition : fieldConditions) {
    if (condition.FieldNo != fieldNo || condition.Kind < ckEqual ||
        condition.Kind > ckGreaterOrEqual || condition.Value.IsNull() ||
        condition.Value.DataType() != field.DataType) {
      continue;
    }
    std::vector<uint8_t> record(static_cast<size_t>(MemoryRecordSize()));
    InitRecordBuffer(fields, record.data());
    SetFieldValue(condition.Value, fieldNo, fields, record.data());
    const int32_t kind = index.Column(0).Descending ? MirrorKind(condition.Kind) : condition.Kind;
    conditions.Add({indexID, kind, std::move(record), 1});
  }
}

TQDXRecordBitmap& TQDXTableData::FreshBitmap(TQDXTableCursor& cursor) {
  if (!cursor.FilterBitmap) cursor.FilterBitmap = std::make_unique<TQDXRecordBitmap>(this);
  if (cursor.FilterBitmap->IsStale()) RebuildFilterBitmap(cursor);
  return *cursor.FilterBitmap;
}

void TQDXTableData::RebuildFilterBitmap(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (!cursor.FilterBitmap) cursor.FilterBitmap = std::make_unique<TQDXRecordBitmap>(this);
  TQDXRecordBitmap& bitmap = *cursor.FilterBitmap;
  const int32_t sessionID = cursor.SessionID();
  bitmap.Active = false;
  bitmap.Bits.ClearAll();
  bitmap.Bits.Resize(GetMaxRecordPosition(sessionID));
  // A range limits the walk to its part of the current index; the order does not matter here.
  TQDXScanSearchConditionArray conditions = RangeConditions(cursor);
  int32_t walkIndex =
      conditions.HasConditionsOn(cursor.CurrentIndexID) ? cursor.CurrentIndexID : -1;
  if (walkIndex < 0 && cursor.FilterExpression != nullptr) {
    // Conditions of the filter on the first column of some index narrow the walk as well.
    const TQDXIndexDefs& defs = IndexManager().IndexDefs();
    for (int32_t i = 0; i < defs.Count() && walkIndex < 0; ++i) {
      const int32_t indexID = defs.GetDef(i).ObjectID();
      AddFieldConditions(conditions, indexID, *cursor.FilterExpression);
      if (conditions.HasConditionsOn(indexID)) walkIndex = indexID;
    }
  }
  ScratchRecord record(*this);
  int64_t passed = 0;
  WalkRecords(sessionID, walkIndex, conditions, record.data(), [&](TQDXRecordID id) {
    if (PassesFilters(cursor, record.data())) {
      bitmap.Set(id, true);
      ++passed;
    }
    return true;
  });
  if (cursor.DistinctColumnCount > 0 && cursor.CurrentIndexID >= 0) {
    IndexManager()
        .GetIndex(cursor.CurrentIndexID)
        .RemoveDuplicates(sessionID, bitmap, cursor.DistinctColumnCount);
  }
  bitmap.AllRecords = passed == RecordManager().RecordCount;
  bitmap.MarkCurrent();
}

bool TQDXTableData::WalkRecords(int32_t sessionID, int32_t indexID,
                                const TQDXScanSearchConditionArray& conditions, uint8_t* record,
                                const std::function<bool(TQDXRecordID)>& visit) {
  if (conditions.Contradictory()) return false;
  if (indexID < 0) {
    TQDXBaseRecordManager& records = RecordManager();
    TQDXNavigationRequest request;
    request.Mode = grmNext;
    request.Buffer = record;
    request.AtBOF = true;
    for (;;) {
      records.ReadRecord(sessionID, request);
      if (request.Result != grOK) return false;
      if (conditions.Holds(record) && !visit(request.RecordID)) return true;
    }
  }
  TQDXBTreeRecordIndex& index = IndexManager().GetIndex(indexID);
  const auto [start, stop] = conditions.Bounds(indexID);
  std::unique_ptr<TQDXIndexScanState> state = index.NewScanState(start, stop, true, nullptr);
  TQDXRecordID id;
  while (index.ScanNext(sessionID, *state, id)) {
    if (!ReadRecordByID(sessionID, id, record)) continue;
    if (conditions.Holds(record) && !visit(id)) return true;
  }
  return false;
}

// ---- Reading records -------------------------------------------------------------------------

uint8_t TQDXTableData::GetRecord(TQDXTableCursor& cursor, uint8_t mode) {
  platform::CriticalSectionGuard guard(database_->Lock());
  TQDXBaseRecordManager& records = RecordManager();
  if (cursor.Buffer == nullptr) Raise(msg::kGetRecordBufferNil);
  if (records.RecordCount == 0) return grEOF;
  const int32_t sessionID = cursor.SessionID();
  const bool moving = mode != grmCurrent;
  if (cursor.DistinctColumnCount > 0 && moving && !cursor.AtBOF && !cursor.AtEOF) {
    ScratchRecord scratch(*this);
    uint8_t* current = cursor.ScratchBuffer != nullptr ? cursor.ScratchBuffer : scratch.data();
    if (!ReadRecordByID(sessionID, cursor.RecordID, current)) return grError;
  }
  if (moving && cursor.IsFiltered()) return GetFilteredRecord(cursor, mode);
  TQDXNavigationRequest request;
  request.Mode = mode;
  request.IndexID = cursor.CurrentIndexID;
  request.RecordID = cursor.RecordID;
  request.Buffer = cursor.Buffer;
  request.AtBOF = cursor.AtBOF;
  request.AtEOF = cursor.AtEOF;
  if (cursor.CurrentIndexID >= 0 && moving) {
    IndexManager().Navigate(sessionID, request, records.ChangeStamp, cursor.PositionCache);
  } else {
    records.ReadRecord(sessionID, request);
  }
  if (!moving && request.Result == grOK && cursor.IsFiltered() && !PassesFilters(cursor)) {
    request.Result = grError;
  }
  TakePosition(cursor, request);
  return request.Result;
}

uint8_t TQDXTableData::GetFilteredRecord(TQDXTableCursor& cursor, uint8_t mode) {
  TQDXRecordBitmap& bitmap = FreshBitmap(cursor);
  const int32_t sessionID = cursor.SessionID();
  const bool forward = mode == grmNext;
  if (cursor.CurrentIndexID < 0) {
    // Physical order is position order: the bitmap answers directly.
    int64_t position = TQDXBitsArray::kNone;
    if (forward && !cursor.AtEOF) {
      position = bitmap.Bits.NextSet(cursor.AtBOF ? 0 : RecordIDToPosition(cursor.RecordID) + 1);
    } else if (!forward && !cursor.AtBOF) {
      position = bitmap.Bits.PriorSet(cursor.AtEOF ? bitmap.Bits.Size() - 1
                                                   : RecordIDToPosition(cursor.RecordID) - 1);
    }
    if (position == TQDXBitsArray::kNone) {
      cursor.AtEOF = forward;
      cursor.AtBOF = !forward;
      return forward ? grEOF : grBOF;
    }
    const TQDXRecordID id = PositionToRecordID(position);
    if (!ReadRecordByID(sessionID, id, cursor.Buffer)) return grError;
    cursor.RecordID = id;
    cursor.AtBOF = cursor.AtEOF = false;
    return grOK;
  }
  // Index order: step through the index, skipping the records outside the bitmap. The first step
  // may start from a deleted record and needs its values; later steps want the ID only.
  ScratchRecord first(*this);
  std::memcpy(first.data(), cursor.Buffer, static_cast<size_t>(MemoryRecordSize()));
  TQDXNavigationRequest request;
  request.Mode = mode;
  request.IndexID = cursor.CurrentIndexID;
  request.RecordID = cursor.RecordID;
  request.Buffer = first.data();
  request.AtBOF = cursor.AtBOF;
  request.AtEOF = cursor.AtEOF;
  TQDXBaseIndexManager& indexes = IndexManager();
  const int32_t stamp = RecordManager().ChangeStamp;
  for (;;) {
    indexes.Navigate(sessionID, request, stamp, cursor.PositionCache);
    if (request.Result != grOK) break;
    if (bitmap.Contains(request.RecordID)) {
      if (request.Buffer != nullptr) {
        std::memcpy(cursor.Buffer, request.Buffer, static_cast<size_t>(MemoryRecordSize()));
      } else if (!ReadRecordByID(sessionID, request.RecordID, cursor.Buffer)) {
        return grError;
      }
      break;
    }
    request.Buffer = nullptr;
  }
  if (request.Result == grError) return grError;
  TakePosition(cursor, request);
  return request.Result;
}

void TQDXTableData::PositionOn(TQDXTableCursor& cursor, TQDXRecordID id, const uint8_t* record) {
  std::memcpy(cursor.Buffer, record, static_cast<size_t>(MemoryRecordSize()));
  cursor.RecordID = id;
  cursor.AtBOF = cursor.AtEOF = false;
}

bool TQDXTableData::FindFirst(TQDXTableCursor& cursor,
                              const TQDXScanSearchConditionArray& conditions,
                              const std::function<bool(TQDXRecordID, const uint8_t*)>& accept) {
  ScratchRecord record(*this);
  TQDXRecordID found;
  const bool stopped = WalkRecords(cursor.SessionID(), cursor.CurrentIndexID, conditions,
                                   record.data(), [&](TQDXRecordID id) {
                                     if (!accept(id, record.data())) return true;
                                     found = id;
                                     return false;
                                   });
  if (stopped) PositionOn(cursor, found, record.data());
  return stopped;
}

bool TQDXTableData::LocateRecord(TQDXTableCursor& cursor, const TQDXFilterExpression* expression) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (expression == nullptr || cursor.Buffer == nullptr) Raise(msg::kTableLocateNilPointer);
  if (RecordManager().RecordCount == 0) return false;
  const TQDXRecordBitmap* bitmap = cursor.IsFiltered() ? &FreshBitmap(cursor) : nullptr;
  TQDXScanSearchConditionArray conditions = RangeConditions(cursor);
  if (cursor.CurrentIndexID >= 0)
    AddFieldConditions(conditions, cursor.CurrentIndexID, *expression);
  return FindFirst(cursor, conditions, [&](TQDXRecordID id, const uint8_t* record) {
    return (bitmap == nullptr || bitmap->Contains(id)) && expression->Evaluate(record);
  });
}

bool TQDXTableData::FindKey(TQDXTableCursor& cursor, int32_t kind) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (cursor.CurrentIndexID < 0) Raise(msg::kNoActiveIndexForKeySearch);
  if (cursor.KeyBuffer == nullptr || cursor.Buffer == nullptr) Raise(msg::kGetRecordBufferNil);
  if (RecordManager().RecordCount == 0) return false;
  const TQDXRecordBitmap* bitmap = cursor.IsFiltered() ? &FreshBitmap(cursor) : nullptr;
  TQDXScanSearchConditionArray conditions = RangeConditions(cursor);
  const size_t size = static_cast<size_t>(MemoryRecordSize());
  conditions.Add({cursor.CurrentIndexID, kind,
                  std::vector<uint8_t>(cursor.KeyBuffer, cursor.KeyBuffer + size),
                  cursor.KeyColumnCount});
  return FindFirst(cursor, conditions, [&](TQDXRecordID id, const uint8_t*) {
    return bitmap == nullptr || bitmap->Contains(id);
  });
}

// ---- Counts and numbers ----------------------------------------------------------------------

int64_t TQDXTableData::GetRecordCount(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (cursor.IsFiltered()) return FreshBitmap(cursor).Bits.Count();
  return GetPhysicalRecordCount(cursor);
}

int64_t TQDXTableData::FilteredRecNoInIndex(TQDXTableCursor& cursor, TQDXRecordID id) {
  const TQDXRecordBitmap& bitmap = FreshBitmap(cursor);
  TQDXBTreeRecordIndex& index = IndexManager().GetIndex(cursor.CurrentIndexID);
  std::unique_ptr<TQDXIndexScanState> state = index.NewScanState({}, {}, true, nullptr);
  int64_t number = 0;
  TQDXRecordID at;
  while (index.ScanNext(cursor.SessionID(), *state, at)) {
    if (bitmap.Contains(at)) ++number;
    if (at == id) return number;
  }
  return -1;
}

void TQDXTableData::SetRecNo(TQDXTableCursor& cursor, int64_t recNo) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (cursor.Buffer == nullptr) Raise(msg::kGetRecordBufferNil);
  const int64_t count = GetRecordCount(cursor);
  if (count <= 0) return;
  recNo = std::clamp<int64_t>(recNo, 1, count);
  const int32_t sessionID = cursor.SessionID();
  const bool filtered = cursor.IsFiltered();
  TQDXRecordID id;
  if (cursor.CurrentIndexID >= 0) {
    TQDXBTreeRecordIndex& index = IndexManager().GetIndex(cursor.CurrentIndexID);
    if (filtered) {
      const TQDXRecordBitmap& bitmap = FreshBitmap(cursor);
      std::unique_ptr<TQDXIndexScanState> state = index.NewScanState({}, {}, true, nullptr);
      int64_t number = 0;
      TQDXRecordID at;
      while (number < recNo && index.ScanNext(sessionID, *state, at)) {
        if (bitmap.Contains(at)) {
          ++number;
          id = at;
        }
      }
    } else {
      index.GetRecordIDByRecNo(sessionID, id, recNo);
    }
  } else if (filtered) {
    id = PositionToRecordID(FreshBitmap(cursor).Bits.NthSet(recNo));
  } else {
    SetPhysicalRecNo(cursor, recNo);
    cursor.AtBOF = cursor.AtEOF = false;
    return;
  }
  if (ReadRecordByID(sessionID, id, cursor.Buffer)) {
    cursor.RecordID = id;
    cursor.AtBOF = cursor.AtEOF = false;
  }
}

int64_t TQDXTableData::GetRecNo(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  if (cursor.AtBOF || cursor.AtEOF || RecordManager().RecordCount == 0) return -1;
  const bool filtered = cursor.IsFiltered();
  if (cursor.CurrentIndexID >= 0) {
    ScratchRecord scratch(*this);
    if (!ReadRecordByID(cursor.SessionID(), cursor.RecordID, scratch.data())) return -1;
    if (filtered) return FilteredRecNoInIndex(cursor, cursor.RecordID);
    return IndexManager()
        .GetIndex(cursor.CurrentIndexID)
        .GetRecNo(cursor.SessionID(), cursor.RecordID, scratch.data());
  }
  if (filtered) {
    return FreshBitmap(cursor).Bits.CountThrough(RecordIDToPosition(cursor.RecordID));
  }
  return GetPhysicalRecNo(cursor);
}

// ---- Record changes --------------------------------------------------------------------------

void TQDXTableData::BeginRecordChange(TQDXTableCursor& cursor, bool refreshHeader) {
  if (cursor.Buffer == nullptr) Raise(msg::kGetRecordBufferNil);
  if (!database_->MultiUser) return;
  if (refreshHeader) RefreshTableHeader(cursor.SessionID());
  IndexManager().RebuildStaleTemporaryIndexes(cursor.IndexCursor());
}

void TQDXTableData::EndRecordChange(TQDXTableCursor& cursor, TQDXRecordID id, bool exists,
                                    bool bitmapWasCurrent) {
  const int32_t sessionID = cursor.SessionID();
  TQDXRecordBitmap* bitmap = cursor.FilterBitmap.get();
  if (bitmap != nullptr && bitmap->Active) bitmap->Set(id, exists && PassesFilters(cursor));
  SaveTableHeader(sessionID);
  if (!cursor.Batching) ApplyChanges(sessionID, cursor.InTransaction());
  // The one changed bit keeps the bitmap exact (a change among distinct fields would not).
  if (bitmapWasCurrent && cursor.DistinctColumnCount == 0) bitmap->MarkCurrent();
}

TQDXTableData::ChangeRollback TQDXTableData::RollbackUnlessDone(const TQDXTableCursor& cursor) {
  // Inside a transaction the transaction's rollback undoes the change; a batch's owner decides
  // for the batch.
  const bool own = !cursor.InTransaction() && !cursor.Batching;
  const int32_t sessionID = cursor.SessionID();
  return ChangeRollback([this, own, sessionID] {
    if (!own) return;
    CancelChanges(sessionID, /*inTransaction=*/false);
    AfterRollback(sessionID);
  });
}

bool TQDXTableData::BitmapIsCurrent(const TQDXTableCursor& cursor) const {
  return cursor.FilterBitmap != nullptr && !cursor.FilterBitmap->IsStale();
}

bool TQDXTableData::InsertRecordSteps(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  ChangeRollback rollback = RollbackUnlessDone(cursor);
  BeginRecordChange(cursor, /*refreshHeader=*/false);
  StoreBlobValues(cursor);
  const bool bitmapCurrent = BitmapIsCurrent(cursor);
  TQDXRecordID id;
  if (!RecordManager().InsertRecord(cursor.SessionID(), cursor.Buffer, id)) return false;
  cursor.RecordID = id;
  IndexManager().InsertKeys(cursor.IndexCursor());
  cursor.AtBOF = cursor.AtEOF = false;
  EndRecordChange(cursor, id, /*exists=*/true, bitmapCurrent);
  rollback.Dismiss();
  return true;
}

bool TQDXTableData::UpdateRecordSteps(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  ChangeRollback rollback = RollbackUnlessDone(cursor);
  BeginRecordChange(cursor, /*refreshHeader=*/true);
  const int32_t sessionID = cursor.SessionID();
  TQDXBaseIndexManager& indexes = IndexManager();
  const bool bitmapCurrent = BitmapIsCurrent(cursor);
  indexes.UpdateKeys(cursor.IndexCursor(), /*removing=*/true);
  StoreBlobValues(cursor);
  if (!RecordManager().UpdateRecord(sessionID, cursor.Buffer, cursor.RecordID)) {
    // The record keeps its old values, so its old keys go back (the buffer's would be wrong).
    ScratchRecord old(*this);
    if (ReadRecordByID(sessionID, cursor.RecordID, old.data())) {
      indexes.UpdateKeys({sessionID, old.data(), cursor.RecordID}, /*removing=*/false);
    }
    return false;
  }
  indexes.UpdateKeys(cursor.IndexCursor(), /*removing=*/false);
  EndRecordChange(cursor, cursor.RecordID, /*exists=*/true, bitmapCurrent);
  rollback.Dismiss();
  return true;
}

bool TQDXTableData::DeleteRecordSteps(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(database_->Lock());
  ChangeRollback rollback = RollbackUnlessDone(cursor);
  BeginRecordChange(cursor, /*refreshHeader=*/true);
  const int32_t sessionID = cursor.SessionID();
  TQDXBaseIndexManager& indexes = IndexManager();
  const TQDXRecordID id = cursor.RecordID;
  // The record that will be current afterwards: the next, else the prior, else BOF.
  std::optional<TQDXRecordID> neighbour;
  {
    ScratchRecord saved(*this);
    const size_t size = static_cast<size_t>(MemoryRecordSize());
    std::memcpy(saved.data(), cursor.Buffer, size);
    const CursorPosition position(cursor);
    const ScopeExit putBack([&] { position.PutBack(cursor); });
    if (GetRecord(cursor, grmNext) == grOK) {
      neighbour = cursor.RecordID;
    } else {
      position.PutBack(cursor);
      std::memcpy(cursor.Buffer, saved.data(), size);
      if (GetRecord(cursor, grmPrior) == grOK) neighbour = cursor.RecordID;
    }
    std::memcpy(cursor.Buffer, saved.data(), size);
  }
  const bool bitmapCurrent = BitmapIsCurrent(cursor);
  FreeBlobCaches(cursor.Buffer);
  DeleteBlobValues(cursor);
  indexes.DeleteKeys(cursor.IndexCursor());
  if (!RecordManager().DeleteRecord(sessionID, id)) {
    // The record stays, and so must its keys.
    ScratchRecord stored(*this);
    if (ReadRecordByID(sessionID, id, stored.data())) {
      indexes.InsertKeys({sessionID, stored.data(), id});
    }
    return false;
  }
  EndRecordChange(cursor, id, /*exists=*/false, bitmapCurrent);
  rollback.Dismiss();
  if (neighbour && ReadRecordByID(sessionID, *neighbour, cursor.Buffer)) {
    cursor.RecordID = *neighbour;
    cursor.AtBOF = cursor.AtEOF = false;
  } else {
    cursor.AtBOF = true;
    cursor.AtEOF = false;
  }
  return true;
}

}  // namespace qdx
