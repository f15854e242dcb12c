#include "engine/core/btree_record_index.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/core/field_def.h"
#include "engine/core/page_handle.h"
#include "engine/core/page_manager.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/compare.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {

namespace {

bool CanBeCut(TQDXDataType type) {
  return IsStringDataType(type) || type == TQDXDataType::Bytes;
}

}  // namespace

std::vector<TQDXIndexColumnSpec> IndexColumnSpecs(const TQDXIndexDef& index,
                                                  const TQDXFieldDefs& fields) {
  std::vector<TQDXIndexColumnSpec> specs;
  for (int32_t i = 0; i < index.ColumnCount(); ++i) {
    const TQDXIndexColumn& column = index.Column(i);
    const int32_t fieldNo = fields.IndexOfName(column.FieldName);
    if (fieldNo < 0) Raise(msg::kIndexColumnFieldMissing, {column.FieldName});
    const auto& field = static_cast<const TQDXFieldDef&>(fields.GetDef(fieldNo));
    if (field.IsBlob()) {
      Raise(msg::kCannotIndexBlobField, {column.FieldName});
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
      Raise(msg::kCannotIndexBlobField, {spec.FieldName});
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
    fixed_.push_back(FixedKeyOf(spec.DataType));
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
    if (IsNull(column.FieldNo, record)) {
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
    if (IsNull(column.FieldNo, record)) {
      slot[0] = 1;
      continue;
    }
    slot[0] = 0;
    std::memcpy(slot + 1, record + column.FieldOffset, column.FullSize - 1);
  }
}

void TQDXRecordKeyRef::BuildKeyFromRecordID(int32_t sessionID, TQDXRecordID id, uint8_t* key) {
  if (records_ == nullptr) Raise(msg::kCannotRetrieveRecordForIndex);
  scratchRecord_.assign(records_->MemoryRecordSize(), 0);
  if (!records_->ReadRecordByID(sessionID, id, scratchRecord_.data())) {
    Raise(msg::kCannotRetrieveRecordForIndex);
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

TQDXRecordKeyRef::FixedKey TQDXRecordKeyRef::FixedKeyOf(TQDXDataType type) {
  using T = TQDXDataType;
  switch (type) {
    case T::ShortInt:
      return FixedKey::Int8;
    case T::SmallInt:
      return FixedKey::Int16;
    case T::Integer:
    case T::Date:
    case T::Time:
      return FixedKey::Int32;
    case T::LargeInt:
      return FixedKey::Int64;
    case T::Byte:
      return FixedKey::UInt8;
    case T::Word:
      return FixedKey::UInt16;
    case T::Cardinal:
      return FixedKey::UInt32;
    case T::Single:
      return FixedKey::Single;
    case T::Float:
    case T::Currency:
      return FixedKey::Double;
    case T::DateTime:
      return FixedKey::DateTime;
    default:
      return FixedKey::General;
  }
}

namespace {

template <typename V>
int Order(const uint8_t* a, const uint8_t* b) {
  const V x = le::Load<V>(a), y = le::Load<V>(b);
  return x < y ? -1 : (y < x ? 1 : 0);
}

}  // namespace

int TQDXRecordKeyRef::CompareFixedKey(FixedKey kind, const uint8_t* a, const uint8_t* b) {
  switch (kind) {
    case FixedKey::Int8:
      return Order<int8_t>(a, b);
    case FixedKey::Int16:
      return Order<int16_t>(a, b);
    case FixedKey::Int32:
      return Order<int32_t>(a, b);
    case FixedKey::Int64:
      return Order<int64_t>(a, b);
    case FixedKey::UInt8:
      return Order<uint8_t>(a, b);
    case FixedKey::UInt16:
      return Order<uint16_t>(a, b);
    case FixedKey::UInt32:
      return Order<uint32_t>(a, b);
    case FixedKey::Single:
      return Order<float>(a, b);
    case FixedKey::Double:
      return Order<double>(a, b);
    case FixedKey::DateTime: {
      const int byDate = Order<int32_t>(a, b);
      return byDate != 0 ? byDate : Order<int32_t>(a + 4, b + 4);
    }
    case FixedKey::General:
      break;
  }
  return 0;
}

int TQDXRecordKeyRef::CompareColumn(const TQDXIndexColumnLayout& column, size_t index,
                                    const uint8_t* a, const uint8_t* b, int32_t sizeA,
                                    int32_t sizeB, int32_t cap) const {
  const bool nullA = a[0] != 0, nullB = b[0] != 0;
  int r;
  if (nullA || nullB) {
    r = nullA && nullB ? 0 : (nullA ? -1 : 1);
  } else if (fixed_[index] != FixedKey::General) {
    r = CompareFixedKey(fixed_[index], a + 1, b + 1);
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
      Raise(msg::kCannotRetrieveRecordForIndex);
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

namespace {

// Sets the key layout's comparison column count for one call; the guard returned restores it on
// every path.
auto ComparingColumns(TQDXRecordKeyRef& keys, int32_t count) {
  const int32_t saved = keys.ColumnCount;
  keys.SetColumnCount(count);
  return ScopeExit([&keys, saved] { keys.ColumnCount = saved; });
}

}  // namespace

TQDXBTreeRecordIndex::TQDXBTreeRecordIndex(TQDXIndexOwner& owner) : TQDXIndex(owner) {}

TQDXBTreeRecordIndex::~TQDXBTreeRecordIndex() = default;

void TQDXBTreeRecordIndex::Setup(const TQDXIndexDef& definition) {
  auto keyRef = std::make_unique<TQDXRecordKeyRef>(
      IndexColumnSpecs(definition, Owner().IndexFieldDefs()), &Owner().IndexRecords());
  auto tree = std::make_unique<TQDXBTree>(Owner().IndexPageManager(definition.Temporary), *keyRef);
  tree->RootPageNo = definition.RootPageNo;
  tree_ = std::move(tree);
  keyRef_ = std::move(keyRef);
  indexID_ = definition.ObjectID();
  unique_ = definition.Unique || definition.Primary;
}

TQDXBTree& TQDXBTreeRecordIndex::RequireTree() const {
  if (!tree_ || tree_->RootPageNo < 0) Raise(msg::kIndexWithoutTree);
  return *tree_;
}

std::vector<uint8_t> TQDXBTreeRecordIndex::CompactKey(const uint8_t* record) {
  std::vector<uint8_t> key(keyRef_->KeySize, 0);
  keyRef_->BuildCompactKey(record, key.data());
  return key;
}

void TQDXBTreeRecordIndex::InsertAllRecords(int32_t sessionID) {
  TQDXIndexRecordSource& records = Owner().IndexRecords();
  std::vector<uint8_t> record(records.MemoryRecordSize(), 0);
  records.ForEachRecord(sessionID, record.data(), [&](TQDXRecordID id) {
    InsertKey({sessionID, record.data(), id});
  });
}

void TQDXBTreeRecordIndex::Create(const TQDXIndexCursor* cursor, TQDXIndexDef& definition) {
  TQDXIndexDef empty;
  empty.Assign(definition);
  empty.RootPageNo = -1;
  Setup(empty);
  const int32_t sessionID = cursor != nullptr ? cursor->SessionID : kSystemSessionID;
  definition.RootPageNo = tree_->CreateRoot(sessionID);
  SetDefinition(definition);
  if (cursor != nullptr) InsertAllRecords(sessionID);
}

void TQDXBTreeRecordIndex::Drop(int32_t sessionID) {
  if (!tree_ || tree_->RootPageNo < 0) Raise(msg::kFreeIndexWithoutRoot);
  tree_->FreePages(sessionID, /*keepRoot=*/false);
}

void TQDXBTreeRecordIndex::Empty(int32_t sessionID) {
  if (!tree_ || tree_->RootPageNo < 0) Raise(msg::kClearIndexWithoutRoot);
  tree_->FreePages(sessionID, /*keepRoot=*/true);
}

void TQDXBTreeRecordIndex::Open(const TQDXIndexDef& definition) {
  Setup(definition);
  SetDefinition(definition);
}

void TQDXBTreeRecordIndex::Rebuild(const TQDXIndexCursor& cursor) {
  Empty(cursor.SessionID);
  InsertAllRecords(cursor.SessionID);
}

bool TQDXBTreeRecordIndex::FindRecord(int32_t sessionID, TQDXRecordID id, TQDXKeyPath& path,
                                      uint8_t* scratch) {
  TQDXBTree& tree = RequireTree();
  if (!Owner().IndexRecords().ReadRecordByID(sessionID, id, scratch)) return false;
  const std::vector<uint8_t> key = CompactKey(scratch);
  uint8_t ref[TQDXRecordID::kSize];
  id.Store(ref);
  return tree.FindEntry(sessionID, key.data(), ref, path);
}

void TQDXBTreeRecordIndex::Beyond(TQDXNavigationRequest& request, bool forward) {
  request.Result = forward ? grEOF : grBOF;
  request.AtEOF = forward;
  request.AtBOF = !forward;
}

void TQDXBTreeRecordIndex::Arrive(int32_t sessionID, TQDXNavigationRequest& request,
                                  int32_t changeStamp, TQDXIndexPositionCache& cache,
                                  const TQDXKeyPath& path) {
  TQDXRecordID id;
  GetRecordIDAtPath(sessionID, path, id);
  if (request.Buffer != nullptr &&
      !Owner().IndexRecords().ReadRecordByID(sessionID, id, request.Buffer)) {
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
  if (&path != &cache.Path) cache.Path = path;
}

void TQDXBTreeRecordIndex::Navigate(int32_t sessionID, TQDXNavigationRequest& request,
                                    int32_t changeStamp, TQDXIndexPositionCache& cache) {
  if (request.Mode == grmCurrent) Raise(msg::kInvalidGetRecordMode);
  TQDXBTree& tree = RequireTree();
  const bool forward = request.Mode == grmNext;
  if (request.AtBOF || request.AtEOF) {
    // Moving further out from an end stays there.
    if (request.AtBOF != forward) {
      Beyond(request, forward);
      return;
    }
    TQDXKeyPath path;
    if (!(forward ? tree.GoFirst(sessionID, path) : tree.GoLast(sessionID, path))) {
      Beyond(request, forward);
      return;
    }
    Arrive(sessionID, request, changeStamp, cache, path);
    return;
  }
  if (cache.IndexID == indexID_ && cache.RecordID == request.RecordID &&
      cache.ChangeStamp == changeStamp && cache.Path.LevelCount > 0) {
    // A walk steps the cached path where it lies (a path is a few hundred bytes). It stands for
    // no record while it moves, and is valid again once Arrive has read the record it reaches.
    // Next and Prior leave the path as it was when they answer false or fail.
    cache.IndexID = -1;
    if (!(forward ? tree.Next(sessionID, cache.Path) : tree.Prior(sessionID, cache.Path))) {
      cache.IndexID = indexID_;
      Beyond(request, forward);
      return;
    }
    Arrive(sessionID, request, changeStamp, cache, cache.Path);
    return;
  }
  TQDXKeyPath path;
  std::vector<uint8_t> scratch(Owner().IndexRecords().MemoryRecordSize(), 0);
  if (!FindRecord(sessionID, request.RecordID, path, scratch.data())) {
    request.Result = grError;
    return;
  }
  if (!(forward ? tree.Next(sessionID, path) : tree.Prior(sessionID, path))) {
    Beyond(request, forward);
    return;
  }
  Arrive(sessionID, request, changeStamp, cache, path);
}

void TQDXBTreeRecordIndex::NavigateFromDeleted(int32_t sessionID, TQDXNavigationRequest& request,
                                               int32_t changeStamp, TQDXIndexPositionCache& cache) {
  if (request.Mode == grmCurrent) Raise(msg::kInvalidGetRecordMode);
  TQDXBTree& tree = RequireTree();
  if (request.Buffer == nullptr) Raise(msg::kGetRecordBufferNil);
  const bool forward = request.Mode == grmNext;
  // The buffer is overwritten on arrival, and a cut column may need the vanished values for its
  // full key, so the key is built from a copy.
  std::vector<uint8_t> vanished(request.Buffer,
                                request.Buffer + Owner().IndexRecords().MemoryRecordSize());
  const std::vector<uint8_t> key = CompactKey(vanished.data());
  TQDXKeyPath path;
  if (!tree.FindCondition(sessionID, forward, path, forward ? ckGreater : ckLess, key.data())) {
    Beyond(request, forward);
    return;
  }
  Arrive(sessionID, request, changeStamp, cache, path);
}

int TQDXBTreeRecordIndex::CompareKeyPaths(const TQDXKeyPath& a, const TQDXKeyPath& b) {
  if (a.LevelCount != b.LevelCount) Raise(msg::kKeyPathDepthsDiffer);
  for (int32_t level = 0; level < a.LevelCount; ++level) {
    if (a.Levels[level].PageNo != b.Levels[level].PageNo) {
      Raise(msg::kKeyPathPagesDiffer);
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
  TQDXBTree& tree = *tree_;
  int64_t number = path.Leaf().EntryNo + 1;
  int32_t pageNo = path.Leaf().PageNo;
  std::unordered_set<int32_t> seen{pageNo};
  for (;;) {
    TQDXPageHandle page = tree.GetIndexPage(sessionID, pageNo);
    pageNo = tree.View(page).PrevPageNo();
    if (pageNo == -1) return number;
    if (!seen.insert(pageNo).second) {
      Raise(msg::kIndexCircularLinks, {pageNo, 0});
    }
    TQDXPageHandle previous = tree.GetIndexPage(sessionID, pageNo);
    number += tree.View(previous).EntryCount();
  }
}

void TQDXBTreeRecordIndex::GetRecordIDByRecNo(int32_t sessionID, TQDXRecordID& id, int64_t recNo) {
  TQDXBTree& tree = RequireTree();
  TQDXKeyPath path;
  if (!tree.GoFirst(sessionID, path)) {
    Raise(msg::kCannotRetrieveRecordFromEmptyIndex);
  }
  if (recNo < 1) recNo = 1;
  int64_t before = 0;
  int32_t pageNo = path.Leaf().PageNo;
  std::unordered_set<int32_t> seen;
  while (pageNo != -1) {
    if (!seen.insert(pageNo).second) {
      Raise(msg::kIndexCircularLinks, {pageNo, 0});
    }
    TQDXPageHandle page = tree.GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = tree.View(page);
    if (recNo <= before + view.EntryCount()) {
      id = TQDXRecordID::Load(view.Ref(static_cast<int32_t>(recNo - before - 1)));
      return;
    }
    before += view.EntryCount();
    pageNo = view.NextPageNo();
  }
  Raise(msg::kIndexRecNoBeyondCount);
}

void TQDXBTreeRecordIndex::GetRecordIDAtPath(int32_t sessionID, const TQDXKeyPath& path,
                                             TQDXRecordID& id) {
  uint8_t ref[TQDXRecordID::kSize];
  RequireTree().ReadEntry(sessionID, path, nullptr, ref);
  id = TQDXRecordID::Load(ref);
}

int32_t TQDXBTreeRecordIndex::GetKeysPerPage(int32_t* remainder) {
  if (!tree_) Raise(msg::kIndexWithoutTree);
  return tree_->KeysPerPage(remainder);
}

int64_t TQDXBTreeRecordIndex::PathToPosition(const TQDXKeyPath& path) {
  const int64_t base = GetKeysPerPage(nullptr) + 1;
  int64_t position = 0;
  for (int32_t level = 0; level < path.LevelCount; ++level) {
    position = position * base + path.Levels[level].EntryNo + 1;
  }
  return position;
}

TQDXKeyPath TQDXBTreeRecordIndex::PositionToPath(int32_t sessionID, int64_t position) {
  TQDXBTree& tree = RequireTree();
  TQDXKeyPath path;
  if (!tree.GoFirst(sessionID, path)) Raise(msg::kIndexPositionInvalid);
  const int64_t base = GetKeysPerPage(nullptr) + 1;
  std::vector<int32_t> entries(path.LevelCount);
  for (int32_t level = path.LevelCount - 1; level >= 0; --level) {
    entries[level] = static_cast<int32_t>(position % base) - 1;
    position /= base;
  }
  int32_t pageNo = tree.RootPageNo;
  for (int32_t level = 0; level < path.LevelCount; ++level) {
    TQDXPageHandle page = tree.GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = tree.View(page);
    const int32_t count = view.EntryCount();
    if (entries[level] < 0 || entries[level] >= count ||
        view.IsLeaf() != (level + 1 == path.LevelCount)) {
      Raise(msg::kIndexPositionInvalid);
    }
    path.Levels[level] = {pageNo, entries[level], count};
    if (!view.IsLeaf()) pageNo = view.Child(entries[level]);
  }
  return path;
}

double TQDXBTreeRecordIndex::RelativePosition(const TQDXKeyPath& path) {
  double position = 0, scale = 1;
  for (int32_t level = 0; level < path.LevelCount; ++level) {
    const int32_t count = std::max(path.Levels[level].EntryCount, 1);
    scale /= count;
    position += path.Levels[level].EntryNo * scale;
  }
  return position;
}

int TQDXBTreeRecordIndex::CompareRecords(const uint8_t* a, const uint8_t* b, int32_t columnCount) {
  if (!keyRef_) Raise(msg::kIndexWithoutTree);
  const auto columns = ComparingColumns(*keyRef_, columnCount);
  // Range tests and filters compare once per record: the key buffers are kept between calls.
  const size_t size = static_cast<size_t>(keyRef_->FullKeySize());
  compareKeyA_.assign(size, 0);
  compareKeyB_.assign(size, 0);
  keyRef_->BuildFullKey(a, compareKeyA_.data());
  keyRef_->BuildFullKey(b, compareKeyB_.data());
  return keyRef_->CompareFullKeys(compareKeyA_.data(), compareKeyB_.data());
}

int32_t TQDXBTreeRecordIndex::ConditionDirection(int32_t kind) {
  if (kind == ckGreater || kind == ckGreaterOrEqual) return -1;
  if (kind == ckLess || kind == ckLessOrEqual) return 1;
  return 0;
}

bool TQDXBTreeRecordIndex::FindWithCondition(int32_t sessionID, bool forward,
                                             const TQDXIndexCondition& condition,
                                             TQDXKeyPath& path) {
  TQDXBTree& tree = RequireTree();
  if (condition.Kind == 0 || condition.Record == nullptr) {
    return forward ? tree.GoFirst(sessionID, path) : tree.GoLast(sessionID, path);
  }
  const std::vector<uint8_t> key = CompactKey(condition.Record);
  const auto columns = ComparingColumns(*keyRef_, condition.ColumnCount);
  return tree.FindCondition(sessionID, forward, path, condition.Kind, key.data());
}

bool TQDXBTreeRecordIndex::RangeOf(int32_t sessionID, const TQDXIndexCondition& a,
                                   const TQDXIndexCondition& b, TQDXKeyPath& first,
                                   TQDXKeyPath& last) {
  // Each condition holds on one run of entries in index order; the range is their overlap.
  TQDXKeyPath firstB, lastB;
  if (!FindWithCondition(sessionID, true, a, first) ||
      !FindWithCondition(sessionID, false, a, last) ||
      !FindWithCondition(sessionID, true, b, firstB) ||
      !FindWithCondition(sessionID, false, b, lastB)) {
    return false;
  }
  if (CompareKeyPaths(firstB, first) > 0) first = firstB;
  if (CompareKeyPaths(lastB, last) < 0) last = lastB;
  return CompareKeyPaths(first, last) <= 0;
}

std::unique_ptr<TQDXIndexScanState> TQDXBTreeRecordIndex::NewScanState(
    const TQDXIndexCondition& start, const TQDXIndexCondition& stop, bool forward,
    const TQDXRecordID* resume) {
  auto state = std::make_unique<TQDXIndexScanState>();
  state->Forward = forward;
  state->Start = start;
  state->Stop = stop;
  if (resume != nullptr) {
    state->HasResume = true;
    state->Resume = *resume;
  }
  return state;
}

bool TQDXBTreeRecordIndex::ScanNext(int32_t sessionID, TQDXIndexScanState& state,
                                    TQDXRecordID& id) {
  TQDXBTree& tree = RequireTree();
  if (state.Empty) return false;
  if (!state.Started) {
    state.Started = true;
    TQDXKeyPath first, last;
    if (!RangeOf(sessionID, state.Start, state.Stop, first, last)) {
      state.Empty = true;
      return false;
    }
    state.Current = state.Forward ? first : last;
    state.End = state.Forward ? last : first;
    if (state.HasResume) {
      // Resume at the given record when it lies inside the range.
      TQDXKeyPath at;
      std::vector<uint8_t> scratch(Owner().IndexRecords().MemoryRecordSize(), 0);
      if (FindRecord(sessionID, state.Resume, at, scratch.data()) &&
          CompareKeyPaths(first, at) <= 0 && CompareKeyPaths(at, last) <= 0) {
        state.Current = at;
      }
    }
  } else {
    if (!(state.Forward ? tree.Next(sessionID, state.Current)
                        : tree.Prior(sessionID, state.Current))) {
      state.Empty = true;
      return false;
    }
    const int c = CompareKeyPaths(state.Current, state.End);
    if (state.Forward ? c > 0 : c < 0) {
      state.Empty = true;
      return false;
    }
  }
  GetRecordIDAtPath(sessionID, state.Current, id);
  return true;
}

void TQDXBTreeRecordIndex::RemoveDuplicates(int32_t sessionID, TQDXIndexRecordSet& records,
                                            int32_t keyColumnCount) {
  TQDXBTree& tree = RequireTree();
  TQDXIndexRecordSource& source = Owner().IndexRecords();
  std::vector<uint8_t> kept(source.MemoryRecordSize(), 0), current(kept.size(), 0);
  bool haveKept = false;
  TQDXKeyPath path;
  if (!tree.GoFirst(sessionID, path)) return;
  TQDXLeafWalkGuard guard;
  do {
    guard.Visit(path);
    TQDXRecordID id;
    GetRecordIDAtPath(sessionID, path, id);
    if (!records.Contains(id)) continue;
    if (!source.ReadRecordByID(sessionID, id, current.data())) {
      Raise(msg::kCannotRetrieveRecordForIndex);
    }
    // Equal keys follow each other in index order.
    if (haveKept && CompareRecords(kept.data(), current.data(), keyColumnCount) == 0) {
      records.Remove(id);
    } else {
      kept.swap(current);
      haveKept = true;
    }
  } while (tree.Next(sessionID, path));
}

int64_t TQDXBTreeRecordIndex::EstimateRecordCount(int32_t sessionID, const TQDXIndexCondition& a,
                                                  const TQDXIndexCondition& b) {
  TQDXBTree& tree = RequireTree();
  TQDXKeyPath first, last;
  if (!RangeOf(sessionID, a, b, first, last)) return 0;
  // Count up to a bound, then extrapolate by relative positions.
  constexpr int64_t kCounted = 4096;
  TQDXKeyPath path = first;
  for (int64_t n = 1; n <= kCounted; ++n) {
    if (CompareKeyPaths(path, last) == 0) return n;
    if (!tree.Next(sessionID, path)) return n;
  }
  const double start = RelativePosition(first);
  const double counted = RelativePosition(path) - start;
  const double whole = RelativePosition(last) - start;
  if (counted <= 0) return kCounted;
  return static_cast<int64_t>(kCounted * (whole / counted)) + 1;
}

bool TQDXBTreeRecordIndex::IsKeyFree(int32_t sessionID, const uint8_t* record) {
  if (!unique_) return true;
  TQDXBTree& tree = RequireTree();
  const std::vector<uint8_t> key = CompactKey(record);
  TQDXKeyPath path;
  return !tree.FindCondition(sessionID, true, path, ckEqual, key.data());
}

bool TQDXBTreeRecordIndex::IsKeyFreeForUpdate(int32_t sessionID, const uint8_t* oldRecord,
                                              const uint8_t* newRecord) {
  if (CompareRecords(oldRecord, newRecord, 0) == 0) return true;
  return IsKeyFree(sessionID, newRecord);
}

void TQDXBTreeRecordIndex::InsertKey(const TQDXIndexCursor& cursor) {
  TQDXBTree& tree = RequireTree();
  const std::vector<uint8_t> key = CompactKey(cursor.Buffer);
  uint8_t ref[TQDXRecordID::kSize];
  cursor.RecordID.Store(ref);
  tree.InsertEntry(cursor.SessionID, key.data(), ref);
}

void TQDXBTreeRecordIndex::DeleteKey(const TQDXIndexCursor& cursor) {
  TQDXBTree& tree = RequireTree();
  const std::vector<uint8_t> key = CompactKey(cursor.Buffer);
  uint8_t ref[TQDXRecordID::kSize];
  cursor.RecordID.Store(ref);
  if (!tree.DeleteEntry(cursor.SessionID, key.data(), ref)) {
    Raise(msg::kIndexKeyNotFound);
  }
}

void TQDXBTreeRecordIndex::UpdateKey(const TQDXIndexCursor& cursor, bool removing) {
  TQDXBTree& tree = RequireTree();
  uint8_t ref[TQDXRecordID::kSize];
  cursor.RecordID.Store(ref);
  if (removing) {
    TQDXIndexRecordSource& source = Owner().IndexRecords();
    std::vector<uint8_t> stored(source.MemoryRecordSize(), 0);
    if (!source.ReadRecordByID(cursor.SessionID, cursor.RecordID, stored.data())) {
      Raise(msg::kCannotRetrieveRecordForIndex);
    }
    if (CompareRecords(stored.data(), cursor.Buffer, 0) == 0) return;
    const std::vector<uint8_t> key = CompactKey(stored.data());
    if (!tree.DeleteEntry(cursor.SessionID, key.data(), ref)) {
      Raise(msg::kIndexRecordNotFound);
    }
    return;
  }
  // Once the record is stored its old and new keys can no longer be told apart: an entry that
  // is already there means the key did not change.
  const std::vector<uint8_t> key = CompactKey(cursor.Buffer);
  TQDXKeyPath path;
  if (tree.FindEntry(cursor.SessionID, key.data(), ref, path)) return;
  tree.InsertEntry(cursor.SessionID, key.data(), ref);
}

}  // namespace qdx
