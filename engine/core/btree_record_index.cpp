#include "engine/core/btree_record_index.h"

#include <cstring>

#include "engine/core/field_def.h"
#include "engine/core/page_handle.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/compare.h"

namespace qdx {

namespace {

bool CanBeCut(TQDXDataType type) {
  return IsStringDataType(type) || type == TQDXDataType::Bytes;
}

bool IsNullInRecord(const uint8_t* record, int32_t fieldNo) {
  return ((record[fieldNo / 8] >> (fieldNo % 8)) & 1) != 0;
}

}  // namespace

std::vector<TQDXIndexColumnSpec> IndexColumnSpecs(const TQDXIndexDef& index,
                                                  const TQDXFieldDefs& fields) {
  std::vector<TQDXIndexColumnSpec> specs;
  for (int32_t i = 0; i < index.ColumnCount(); ++i) {
    const TQDXIndexColumn& column = index.Column(i);
    const int32_t fieldNo = fields.IndexOfName(column.FieldName);
    if (fieldNo < 0) throw EQDXException(20043, msg::kCannotFindIndexField, {column.FieldName});
    const auto& field = static_cast<const TQDXFieldDef&>(fields.GetDef(fieldNo));
    if (field.IsBlob()) {
      throw EQDXException(20295, msg::kCannotIndexBlobField, {column.FieldName});
    }
    specs.push_back({column.FieldName, fieldNo, field.MemoryOffset, field.MemorySize,
                     field.DataType, column.MaxIndexedSize, column.Descending,
                     column.CaseInsensitive});
  }
  return specs;
}

// ---- key layout ----

TQDXRecordKeyRef::TQDXRecordKeyRef(const std::vector<TQDXIndexColumnSpec>& columns,
                                   TQDXIndexRecordSource* records, int32_t leafRefSize)
    : records_(records) {
  LeafRefSize = leafRefSize;
  RefIsRecordID = leafRefSize == TQDXRecordID::kSize;
  int32_t compact = 0, full = 0;
  for (const TQDXIndexColumnSpec& spec : columns) {
    if (IsBlobDataType(spec.DataType)) {
      throw EQDXException(20295, msg::kCannotIndexBlobField, {spec.FieldName});
    }
    TQDXIndexColumnLayout column;
    column.CompactOffset = compact;
    column.FullOffset = full;
    column.FieldOffset = spec.MemoryOffset;
    column.FieldNo = spec.FieldNo;
    column.FullSize = spec.MemorySize + 1;
    // Only text and bytes are cut: a cut number could not be compared at all.
    const bool cut = CanBeCut(spec.DataType) && spec.MaxIndexedSize >= 0 &&
                     spec.MaxIndexedSize < spec.MemorySize;
    column.CompactSize = cut ? spec.MaxIndexedSize + 3 : spec.MemorySize + 1;
    column.Truncation = cut ? 2 : 0;
    column.DataType = spec.DataType;
    column.Descending = spec.Descending;
    column.CaseInsensitive = spec.CaseInsensitive;
    truncated_ = truncated_ || cut;
    compact += column.CompactSize;
    full += column.FullSize;
    columns_.push_back(column);
  }
  KeySize = compact;
  fullKeySize_ = full;
  ColumnCount = static_cast<int32_t>(columns_.size());
  partial_.assign(columns_.size(), -1);
}

void TQDXRecordKeyRef::SetColumnCount(int32_t count) {
  const int32_t all = static_cast<int32_t>(columns_.size());
  ColumnCount = count <= 0 || count > all ? all : count;
}

void TQDXRecordKeyRef::BuildCompactKey(const uint8_t* record, uint8_t* key) {
  for (const TQDXIndexColumnLayout& column : columns_) {
    uint8_t* slot = key + column.CompactOffset;
    if (IsNullInRecord(record, column.FieldNo)) {
      slot[0] = 1;
      continue;
    }
    slot[0] = 0;
    const int32_t kept = column.CompactSize - 1 - column.Truncation;
    std::memcpy(slot + 1, record + column.FieldOffset, kept);
    if (column.Truncation != 0) std::memset(slot + 1 + kept, 0, column.Truncation);
  }
  lastBuilt_ = record;
}

void TQDXRecordKeyRef::BuildFullKey(const uint8_t* record, uint8_t* key) const {
  for (const TQDXIndexColumnLayout& column : columns_) {
    uint8_t* slot = key + column.FullOffset;
    if (IsNullInRecord(record, column.FieldNo)) {
      slot[0] = 1;
      continue;
    }
    slot[0] = 0;
    std::memcpy(slot + 1, record + column.FieldOffset, column.FullSize - 1);
  }
}

void TQDXRecordKeyRef::BuildKeyFromRecordID(int32_t sessionID, TQDXRecordID id, uint8_t* key) {
  if (records_ == nullptr) throw EQDXException(20170, msg::kCannotRetrieveRecordForIndex);
  scratchRecord_.assign(records_->MemoryRecordSize(), 0);
  if (!records_->ReadRecordByID(sessionID, id, scratchRecord_.data())) {
    throw EQDXException(20170, msg::kCannotRetrieveRecordForIndex);
  }
  BuildFullKey(scratchRecord_.data(), key);
}

void TQDXRecordKeyRef::SetPartialLengths(const uint8_t* record, bool partial) {
  for (size_t i = 0; i < columns_.size(); ++i) {
    const TQDXIndexColumnLayout& column = columns_[i];
    partial_[i] = -1;
    if (!partial || !IsStringDataType(column.DataType)) continue;
    const uint8_t* value = record + column.FieldOffset;
    const int32_t bytes = column.FullSize - 1;
    int32_t length = 0;
    if (IsWideStringDataType(column.DataType)) {
      while ((length + 1) * 2 <= bytes && le::Load<uint16_t>(value + length * 2) != 0) ++length;
    } else {
      while (length < bytes && value[length] != 0) ++length;
    }
    partial_[i] = length;
  }
}

int TQDXRecordKeyRef::CompareColumn(const TQDXIndexColumnLayout& column, size_t index,
                                    const uint8_t* a, const uint8_t* b, int32_t sizeA,
                                    int32_t sizeB, int32_t cap) const {
  const bool nullA = a[0] != 0, nullB = b[0] != 0;
  int r;
  if (nullA || nullB) {
    r = nullA && nullB ? 0 : (nullA ? -1 : 1);
  } else {
    int32_t length = partial_[index];
    if (cap >= 0 && (length < 0 || length > cap)) length = cap;
    r = ThreeWay(CompareValues(a + 1, b + 1, column.DataType, column.DataType, false, false, length,
                               column.CaseInsensitive, platform::UserDefaultLocale(), sizeA,
                               sizeB));
  }
  return column.Descending ? -r : r;
}

bool TQDXRecordKeyRef::EndsWithinKeptBytes(const TQDXIndexColumnLayout& column,
                                           const uint8_t* value) const {
  const int32_t kept = column.CompactSize - 1 - column.Truncation;
  if (column.DataType == TQDXDataType::Bytes) return false;
  if (IsWideStringDataType(column.DataType)) {
    for (int32_t i = 0; i + 1 < kept; i += 2) {
      if (le::Load<uint16_t>(value + i) == 0) return true;
    }
    return false;
  }
  return std::memchr(value, 0, kept) != nullptr;
}

int TQDXRecordKeyRef::CompareKeys(uint8_t* keyA, const uint8_t* keyB, const uint8_t* refB,
                                  const uint8_t* refA, int32_t sessionID, bool exact) {
  for (int32_t i = 0; i < ColumnCount; ++i) {
    const TQDXIndexColumnLayout& column = columns_[i];
    const uint8_t* a = keyA + column.CompactOffset;
    const uint8_t* b = keyB + column.CompactOffset;
    const int32_t slotBytes = column.CompactSize - 1;
    // The kept bytes of a cut value and one more, in characters.
    int32_t cap = -1;
    if (column.Truncation != 0) {
      const int32_t kept = slotBytes - column.Truncation;
      cap = IsWideStringDataType(column.DataType) ? kept / 2 + 1 : kept + 1;
    }
    const int r = CompareColumn(column, i, a, b, slotBytes, slotBytes, cap);
    if (r != 0) return r;
    if (column.Truncation == 0 || a[0] != 0) continue;
    if (!exact) return 0;
    if (refB == nullptr) continue;
    // Equal kept bytes: when A's value ends inside them both values are whole and equal;
    // otherwise only the whole values can tell.
    if (EndsWithinKeptBytes(column, a + 1)) continue;
    std::vector<uint8_t> fullA(fullKeySize_), fullB(fullKeySize_);
    if (refA != nullptr) {
      BuildKeyFromRecordID(sessionID, TQDXRecordID::Load(refA), fullA.data());
    } else if (lastBuilt_ != nullptr) {
      BuildFullKey(lastBuilt_, fullA.data());
    } else {
      throw EQDXException(20170, msg::kCannotRetrieveRecordForIndex);
    }
    BuildKeyFromRecordID(sessionID, TQDXRecordID::Load(refB), fullB.data());
    return CompareFullKeys(fullA.data(), fullB.data());
  }
  return 0;
}

int TQDXRecordKeyRef::CompareFullKeys(const uint8_t* keyA, const uint8_t* keyB) {
  for (int32_t i = 0; i < ColumnCount; ++i) {
    const TQDXIndexColumnLayout& column = columns_[i];
    const int r = CompareColumn(column, i, keyA + column.FullOffset, keyB + column.FullOffset,
                                column.FullSize - 1, column.FullSize - 1, -1);
    if (r != 0) return r;
  }
  return 0;
}

// ---- record index ----

TQDXBTreeRecordIndex::TQDXBTreeRecordIndex(TQDXPageManager& pageManager,
                                           TQDXIndexRecordSource& records,
                                           const std::vector<TQDXIndexColumnSpec>& columns,
                                           int32_t indexID, bool unique, int32_t rootPageNo)
    : records_(&records),
      keyRef_(columns, &records),
      tree_(pageManager, keyRef_),
      indexID_(indexID),
      unique_(unique) {
  tree_.RootPageNo = rootPageNo;
}

std::vector<uint8_t> TQDXBTreeRecordIndex::CompactKey(const uint8_t* record) {
  std::vector<uint8_t> key(keyRef_.KeySize, 0);
  keyRef_.BuildCompactKey(record, key.data());
  return key;
}

void TQDXBTreeRecordIndex::Create(int32_t sessionID, bool insertRecords) {
  tree_.CreateRoot(sessionID);
  if (!insertRecords) return;
  std::vector<uint8_t> record(records_->MemoryRecordSize(), 0);
  records_->ForEachRecord(sessionID, record.data(), [&](TQDXRecordID id) {
    InsertKey({sessionID, record.data(), id});
  });
}

void TQDXBTreeRecordIndex::Drop(int32_t sessionID) {
  if (tree_.RootPageNo < 0) throw EQDXException(20119, msg::kInvalidPageNumber);
  tree_.FreePages(sessionID, false);
}

void TQDXBTreeRecordIndex::Empty(int32_t sessionID) {
  if (tree_.RootPageNo < 0) throw EQDXException(20120, msg::kInvalidPageNumber);
  tree_.FreePages(sessionID, true);
}

void TQDXBTreeRecordIndex::Rebuild(int32_t sessionID) {
  Empty(sessionID);
  std::vector<uint8_t> record(records_->MemoryRecordSize(), 0);
  records_->ForEachRecord(sessionID, record.data(), [&](TQDXRecordID id) {
    InsertKey({sessionID, record.data(), id});
  });
}

bool TQDXBTreeRecordIndex::FindRecord(int32_t sessionID, TQDXRecordID id, TQDXKeyPath& path,
                                      uint8_t* scratch) {
  if (!records_->ReadRecordByID(sessionID, id, scratch)) return false;
  const std::vector<uint8_t> key = CompactKey(scratch);
  uint8_t ref[TQDXRecordID::kSize];
  id.Store(ref);
  return tree_.FindEntry(sessionID, key.data(), ref, path);
}

void TQDXBTreeRecordIndex::Beyond(TQDXNavigationRequest& request, bool forward) {
  request.Result = forward ? grEOF : grBOF;
  request.AtEOF = forward;
  request.AtBOF = !forward;
}

void TQDXBTreeRecordIndex::Arrive(int32_t sessionID, TQDXNavigationRequest& request,
                                  int32_t changeStamp, TQDXIndexPositionCache& cache,
                                  const TQDXKeyPath& path) {
  const TQDXRecordID id = GetRecordIDAtPath(sessionID, path);
  if (request.Buffer != nullptr && !records_->ReadRecordByID(sessionID, id, request.Buffer)) {
    request.Result = grError;
    return;
  }
  request.RecordID = id;
  request.Result = grOK;
  request.AtBOF = false;
  request.AtEOF = false;
  cache.IndexID = indexID_;
  cache.ChangeStamp = changeStamp;
  cache.RecordID = id;
  cache.Path = path;
}

void TQDXBTreeRecordIndex::Navigate(int32_t sessionID, TQDXNavigationRequest& request,
                                    int32_t changeStamp, TQDXIndexPositionCache& cache) {
  if (request.Mode == grmCurrent) throw EQDXException(20053, msg::kInvalidGetRecordMode);
  if (tree_.RootPageNo < 0) throw EQDXException(20123, msg::kInvalidPageNumber);
  const bool forward = request.Mode == grmNext;
  TQDXKeyPath path;
  if (request.AtBOF || request.AtEOF) {
    // Next from before the first entry is the first; prior from after the last, the last.
    // Moving further out stays where it is.
    if (request.AtBOF != forward) {
      Beyond(request, forward);
      return;
    }
    const bool any = forward ? tree_.GoFirst(sessionID, path) : tree_.GoLast(sessionID, path);
    if (!any) {
      Beyond(request, forward);
      return;
    }
    Arrive(sessionID, request, changeStamp, cache, path);
    return;
  }
  if (cache.IndexID == indexID_ && cache.RecordID == request.RecordID &&
      cache.ChangeStamp == changeStamp && cache.Path.LevelCount > 0) {
    path = cache.Path;
  } else {
    std::vector<uint8_t> scratch(records_->MemoryRecordSize(), 0);
    if (!FindRecord(sessionID, request.RecordID, path, scratch.data())) {
      request.Result = grError;
      return;
    }
  }
  if (!(forward ? tree_.Next(sessionID, path) : tree_.Prior(sessionID, path))) {
    Beyond(request, forward);
    return;
  }
  Arrive(sessionID, request, changeStamp, cache, path);
}

void TQDXBTreeRecordIndex::NavigateFromDeleted(int32_t sessionID, TQDXNavigationRequest& request,
                                               int32_t changeStamp, TQDXIndexPositionCache& cache) {
  if (request.Mode == grmCurrent) throw EQDXException(20053, msg::kInvalidGetRecordMode);
  if (tree_.RootPageNo < 0) throw EQDXException(20123, msg::kInvalidPageNumber);
  const bool forward = request.Mode == grmNext;
  // The buffer is overwritten on arrival, so the key is taken from a copy.
  std::vector<uint8_t> vanished(request.Buffer, request.Buffer + records_->MemoryRecordSize());
  const std::vector<uint8_t> key = CompactKey(vanished.data());
  TQDXKeyPath path;
  if (!tree_.FindCondition(sessionID, forward, path, forward ? ckGreater : ckLess, key.data())) {
    Beyond(request, forward);
    return;
  }
  Arrive(sessionID, request, changeStamp, cache, path);
}

int TQDXBTreeRecordIndex::CompareKeyPaths(const TQDXKeyPath& a, const TQDXKeyPath& b) {
  if (a.LevelCount != b.LevelCount) throw EQDXException(20051, msg::kInvalidIndexKeyPath);
  for (int32_t level = 0; level < a.LevelCount; ++level) {
    if (a.Levels[level].PageNo != b.Levels[level].PageNo) {
      throw EQDXException(20052, msg::kInvalidIndexKeyPath);
    }
    if (a.Levels[level].EntryNo != b.Levels[level].EntryNo) {
      return a.Levels[level].EntryNo < b.Levels[level].EntryNo ? -1 : 1;
    }
  }
  return 0;
}

int64_t TQDXBTreeRecordIndex::GetRecNo(int32_t sessionID, TQDXRecordID id, uint8_t* scratch) {
  TQDXKeyPath path;
  if (!FindRecord(sessionID, id, path, scratch)) return -1;
  int64_t number = path.Leaf().EntryNo + 1;
  int32_t pageNo = path.Leaf().PageNo;
  for (int64_t guard = 0;; ++guard) {
    TQDXPageHandle page = tree_.GetIndexPage(sessionID, pageNo);
    pageNo = tree_.View(page).PrevPageNo();
    if (pageNo == -1) return number;
    if (guard > INT32_MAX) throw EQDXException(20032, msg::kIndexCircularLinks, {pageNo, 0});
    TQDXPageHandle previous = tree_.GetIndexPage(sessionID, pageNo);
    number += tree_.View(previous).EntryCount();
  }
}

TQDXRecordID TQDXBTreeRecordIndex::GetRecordIDByRecNo(int32_t sessionID, int64_t recNo) {
  TQDXKeyPath path;
  if (!tree_.GoFirst(sessionID, path)) {
    throw EQDXException(20074, msg::kCannotRetrieveRecordFromEmptyIndex);
  }
  if (recNo < 1) recNo = 1;
  int64_t before = 0;
  int32_t pageNo = path.Leaf().PageNo;
  while (pageNo != -1) {
    TQDXPageHandle page = tree_.GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = tree_.View(page);
    if (recNo <= before + view.EntryCount()) {
      return TQDXRecordID::Load(view.Ref(static_cast<int32_t>(recNo - before - 1)));
    }
    before += view.EntryCount();
    pageNo = view.NextPageNo();
  }
  throw EQDXException(20075, msg::kRecNoBeyondRecordCount);
}

TQDXRecordID TQDXBTreeRecordIndex::GetRecordIDAtPath(int32_t sessionID, const TQDXKeyPath& path) {
  uint8_t ref[TQDXRecordID::kSize];
  tree_.ReadEntry(sessionID, path, nullptr, ref);
  return TQDXRecordID::Load(ref);
}

int64_t TQDXBTreeRecordIndex::PathToPosition(const TQDXKeyPath& path) const {
  const int64_t base = tree_.KeysPerPage() + 1;
  int64_t position = 0;
  for (int32_t level = 0; level < path.LevelCount; ++level) {
    position = position * base + path.Levels[level].EntryNo + 1;
  }
  return position;
}

TQDXKeyPath TQDXBTreeRecordIndex::PositionToPath(int32_t sessionID, int64_t position) {
  TQDXKeyPath path;
  tree_.GoFirst(sessionID, path);  // the depth
  const int64_t base = tree_.KeysPerPage() + 1;
  std::vector<int32_t> entries(path.LevelCount);
  for (int32_t level = path.LevelCount - 1; level >= 0; --level) {
    entries[level] = static_cast<int32_t>(position % base) - 1;
    position /= base;
  }
  int32_t pageNo = tree_.RootPageNo;
  for (int32_t level = 0; level < path.LevelCount; ++level) {
    TQDXPageHandle page = tree_.GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = tree_.View(page);
    const int32_t count = view.EntryCount();
    if (entries[level] < 0 || entries[level] >= count) {
      throw EQDXException(20069, msg::kIndexErrorInvalidPosition);
    }
    path.Levels[level] = {pageNo, entries[level], count};
    if (!view.IsLeaf()) pageNo = view.Child(entries[level]);
  }
  return path;
}

int TQDXBTreeRecordIndex::CompareRecords(const uint8_t* a, const uint8_t* b, int32_t columnCount) {
  const int32_t saved = keyRef_.ColumnCount;
  keyRef_.SetColumnCount(columnCount);
  std::vector<uint8_t> keyA(keyRef_.FullKeySize(), 0), keyB(keyRef_.FullKeySize(), 0);
  keyRef_.BuildFullKey(a, keyA.data());
  keyRef_.BuildFullKey(b, keyB.data());
  try {
    const int r = keyRef_.CompareFullKeys(keyA.data(), keyB.data());
    keyRef_.ColumnCount = saved;
    return r;
  } catch (...) {
    keyRef_.ColumnCount = saved;
    throw;
  }
}

int32_t TQDXBTreeRecordIndex::ConditionDirection(int32_t kind) {
  if (kind == ckGreater || kind == ckGreaterOrEqual) return -1;
  if (kind == ckLess || kind == ckLessOrEqual) return 1;
  return 0;
}

bool TQDXBTreeRecordIndex::IsKeyFree(int32_t sessionID, const uint8_t* record) {
  if (!unique_) return true;
  const std::vector<uint8_t> key = CompactKey(record);
  TQDXKeyPath path;
  return !tree_.FindCondition(sessionID, true, path, ckEqual, key.data());
}

bool TQDXBTreeRecordIndex::IsKeyFreeForUpdate(int32_t sessionID, const uint8_t* oldRecord,
                                              const uint8_t* newRecord) {
  if (CompareRecords(oldRecord, newRecord, 0) == 0) return true;
  return IsKeyFree(sessionID, newRecord);
}

void TQDXBTreeRecordIndex::InsertKey(const TQDXIndexCursor& cursor) {
  const std::vector<uint8_t> key = CompactKey(cursor.Buffer);
  uint8_t ref[TQDXRecordID::kSize];
  cursor.RecordID.Store(ref);
  tree_.InsertEntry(cursor.SessionID, key.data(), ref);
}

void TQDXBTreeRecordIndex::DeleteKey(const TQDXIndexCursor& cursor) {
  const std::vector<uint8_t> key = CompactKey(cursor.Buffer);
  uint8_t ref[TQDXRecordID::kSize];
  cursor.RecordID.Store(ref);
  if (!tree_.DeleteEntry(cursor.SessionID, key.data(), ref)) {
    throw EQDXException(20027, msg::kIndexEntryNotFound);
  }
}

void TQDXBTreeRecordIndex::UpdateKey(const TQDXIndexCursor& cursor, bool removing) {
  uint8_t ref[TQDXRecordID::kSize];
  cursor.RecordID.Store(ref);
  if (removing) {
    std::vector<uint8_t> stored(records_->MemoryRecordSize(), 0);
    if (!records_->ReadRecordByID(cursor.SessionID, cursor.RecordID, stored.data())) {
      throw EQDXException(20170, msg::kCannotRetrieveRecordForIndex);
    }
    if (CompareRecords(stored.data(), cursor.Buffer, 0) == 0) return;
    const std::vector<uint8_t> key = CompactKey(stored.data());
    if (!tree_.DeleteEntry(cursor.SessionID, key.data(), ref)) {
      throw EQDXException(20250, msg::kIndexEntryNotFound);
    }
    return;
  }
  // After the record is stored, its old and new keys can no longer be told apart; an entry
  // already present means the key did not change.
  const std::vector<uint8_t> key = CompactKey(cursor.Buffer);
  TQDXKeyPath path;
  if (tree_.FindEntry(cursor.SessionID, key.data(), ref, path)) return;
  tree_.InsertEntry(cursor.SessionID, key.data(), ref);
}

}  // namespace qdx
