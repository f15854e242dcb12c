#include "engine/disk/disk_blob_manager.h"

#include <limits>

#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

constexpr int64_t kMaxStreamSize = std::numeric_limits<int32_t>::max();

// Sizes a value must have to go through a 32-bit stream: 20248 otherwise (a negative stored
// size is the mark of a damaged header).
void CheckValueSizes(int64_t uncompressedSize, int64_t storedSize) {
  if (uncompressedSize < 0 || uncompressedSize > kMaxStreamSize || storedSize < 0 ||
      storedSize > kMaxStreamSize) {
    Raise(msg::kInvalidBlobFieldSize);
  }
}

}  // namespace

int64_t CountCompressedBlocks(std::span<const uint8_t> form) {
  constexpr int64_t kHeader = TQDXCompressedBlockHeader::kSize;
  const auto size = static_cast<int64_t>(form.size());
  int64_t count = 0;
  for (int64_t position = 0; position < size; ++count) {
    const TQDXCompressedBlockHeader header =
        size - position < kHeader ? TQDXCompressedBlockHeader{}
                                  : TQDXCompressedBlockHeader::Load(form.subspan(position));
    const int64_t distance = header.NextHeaderOffset;
    if (distance < kHeader || distance > size - position) {
      Raise(msg::kDamagedBlobValue, {size, position});
    }
    position += distance;
  }
  return count;
}

TQDXDiskBlobManager::TQDXDiskBlobManager(TQDXPageManager& pages, TQDXBaseFieldManager& fields)
    : fields_(&fields), index_(pages), store_(pages, index_) {}

// ---- The BLOB page index ----------------------------------------------------------------------

void TQDXDiskBlobManager::CreateIndex(int32_t sessionID) {
  index_.CreateRoot(sessionID);
}

void TQDXDiskBlobManager::EmptyValues(int32_t sessionID, TQDXIndexRecordSource& records) {
  if (!fields_->HasBlobFields()) return;
  std::vector<uint8_t> scratch(static_cast<size_t>(fields_->MemoryRecordSize()));
  records.ForEachRecord(sessionID, scratch.data(),
                        [&](TQDXRecordID) { DeleteRecordBlobs(sessionID, scratch.data()); });
  if (index_.RootPageNo() >= 0) index_.EmptyAll(sessionID);
}

void TQDXDiskBlobManager::DeleteValues(int32_t sessionID, TQDXIndexRecordSource& records) {
  EmptyValues(sessionID, records);
  if (index_.RootPageNo() >= 0) {
    index_.DropAll(sessionID);
    index_.SetRoot(-1);
  }
}

// ---- Buffer slots -----------------------------------------------------------------------------

const TQDXFieldDef& TQDXDiskBlobManager::BlobField(int32_t fieldNo) const {
  const TQDXFieldDefs& defs = fields_->FieldDefs();
  if (fieldNo < 0 || fieldNo >= defs.Count() || !defs.GetFieldDef(fieldNo).IsBlob()) {
    Raise(msg::kCannotFindBlobField);
  }
  return defs.GetFieldDef(fieldNo);
}

TQDXBlobRef TQDXDiskBlobManager::Reference(const uint8_t* buffer, const TQDXFieldDef& field) const {
  return TQDXBlobRef::Decode({buffer + field.MemoryOffset, kBlobReferenceSize});
}

void TQDXDiskBlobManager::SetReference(uint8_t* buffer, const TQDXFieldDef& field,
                                       TQDXBlobRef ref) const {
  ref.Encode({buffer + field.MemoryOffset, kBlobReferenceSize});
}

uint32_t TQDXDiskBlobManager::Handle(const uint8_t* buffer, const TQDXFieldDef& field) const {
  return le::Load<uint32_t>(buffer + field.MemoryOffset + kBlobReferenceSize);
}

void TQDXDiskBlobManager::SetHandle(uint8_t* buffer, const TQDXFieldDef& field,
                                    uint32_t handle) const {
  le::Store<uint32_t>(buffer + field.MemoryOffset + kBlobReferenceSize, handle);
}

// ---- Cache ------------------------------------------------------------------------------------

TQDXBlobCacheEntry* TQDXDiskBlobManager::CacheEntry(const uint8_t* buffer, int32_t fieldNo) const {
  const auto found = cache_.find(Handle(buffer, BlobField(fieldNo)));
  return found == cache_.end() ? nullptr : found->second.get();
}

void TQDXDiskBlobManager::CheckCacheReleased() const {
  if (!cache_.empty()) Raise(msg::kBlobCacheNotReleased);
}

TQDXBlobCacheEntry& TQDXDiskBlobManager::Attach(uint8_t* buffer, const TQDXFieldDef& field,
                                                std::shared_ptr<TQDXBlobCacheEntry> entry) {
  Release(buffer, field);
  // Handles are never 0 and never one still listed, also after the counter wraps.
  do {
    ++lastHandle_;
  } while (lastHandle_ == 0 || cache_.contains(lastHandle_));
  TQDXBlobCacheEntry& listed = *entry;
  cache_.emplace(lastHandle_, std::move(entry));
  SetHandle(buffer, field, lastHandle_);
  return listed;
}

void TQDXDiskBlobManager::Release(uint8_t* buffer, const TQDXFieldDef& field) {
  cache_.erase(Handle(buffer, field));
  SetHandle(buffer, field, 0);
}

void TQDXDiskBlobManager::FreeBlobCache(uint8_t* buffer, int32_t fieldNo, bool force) {
  const TQDXFieldDef& field = BlobField(fieldNo);
  const auto found = cache_.find(Handle(buffer, field));
  if (found == cache_.end()) return;
  if (force || !found->second->Modified) Release(buffer, field);
}

void TQDXDiskBlobManager::FreeBlobCaches(uint8_t* buffer) {
  const TQDXFieldDefs& defs = fields_->FieldDefs();
  for (int32_t i = 0; i < defs.Count(); ++i) {
    if (defs.GetFieldDef(i).IsBlob()) FreeBlobCache(buffer, i, /*force=*/true);
  }
}

std::shared_ptr<TQDXBlobCacheEntry> TQDXDiskBlobManager::CachedOrLoaded(
    int32_t sessionID, uint8_t* buffer, const TQDXFieldDef& field) {
  const auto found = cache_.find(Handle(buffer, field));
  if (found != cache_.end()) return found->second;
  std::optional<TQDXStoredBlobValue> stored = store_.Read(sessionID, Reference(buffer, field));
  if (!stored) return nullptr;
  auto entry = std::make_shared<TQDXBlobCacheEntry>();
  entry->UncompressedSize = stored->UncompressedSize;
  entry->StoredSize = stored->StoredSize;
  entry->Data = std::move(stored->Data);
  Attach(buffer, field, entry);
  return entry;
}

// ---- Record operations ------------------------------------------------------------------------

void TQDXDiskBlobManager::WriteValue(int32_t sessionID, uint8_t* buffer, const TQDXFieldDef& field,
                                     TQDXBlobCacheEntry& entry) {
  const TQDXBlobRef old = Reference(buffer, field);
  if (old.HasValue()) {
    store_.Delete(sessionID, old);
    SetReference(buffer, field, {});
  }
  if (entry.StoredSize > 0) {
    SetReference(buffer, field,
                 store_.Write(sessionID, entry.UncompressedSize, entry.StoredSize, entry.Data));
  }
  entry.Modified = false;
  Release(buffer, field);
}

void TQDXDiskBlobManager::WriteRecordBlobs(int32_t sessionID, uint8_t* buffer) {
  const TQDXFieldDefs& defs = fields_->FieldDefs();
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const TQDXFieldDef& field = defs.GetFieldDef(i);
    if (!field.IsBlob()) continue;
    const auto found = cache_.find(Handle(buffer, field));
    if (found != cache_.end() && found->second->Modified) {
      WriteValue(sessionID, buffer, field, *found->second);
    }
  }
}

void TQDXDiskBlobManager::DeleteRecordBlobs(int32_t sessionID, uint8_t* buffer) {
  const TQDXFieldDefs& defs = fields_->FieldDefs();
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const TQDXFieldDef& field = defs.GetFieldDef(i);
    if (!field.IsBlob() || IsNull(i, buffer)) continue;
    const TQDXBlobRef ref = Reference(buffer, field);
    if (ref.HasValue()) {
      store_.Delete(sessionID, ref);
      SetReference(buffer, field, {});
    }
    const auto found = cache_.find(Handle(buffer, field));
    if (found != cache_.end()) found->second->Modified = false;
  }
}

// ---- The table data's BLOB operations ---------------------------------------------------------

std::unique_ptr<TQDXBlobValueStream> TQDXDiskBlobManager::OpenBlob(int32_t sessionID,
                                                                   uint8_t* buffer, int32_t fieldNo,
                                                                   bool loadValue,
                                                                   bool keepInMemory) {
  const TQDXFieldDef& field = BlobField(fieldNo);
  if (field.BlobBlockSize == 0) Raise(msg::kBlobStreamBlockSizeZero);
  TQDXCompressedStreamDescriptor descriptor;
  descriptor.BlockSize = field.BlobBlockSize;
  descriptor.Algorithm = field.BlobCompressionAlgorithm;
  descriptor.Mode = field.BlobCompressionMode;
  if (!loadValue || buffer == nullptr || IsNull(fieldNo, buffer)) {
    return std::make_unique<TQDXBlobValueStream>(
        fieldNo, std::make_unique<TQDXBlobFormStream>(keepInMemory), /*isNew=*/true, descriptor);
  }

  const std::shared_ptr<TQDXBlobCacheEntry> entry = CachedOrLoaded(sessionID, buffer, field);
  if (entry == nullptr) Raise(msg::kCannotOpenBlobValue);
  try {
    CheckValueSizes(entry->UncompressedSize, entry->StoredSize);
    const std::span<const uint8_t> form(entry->Data);
    if (entry->StoredSize != static_cast<int64_t>(form.size())) Raise(msg::kInvalidBlobFieldSize);
    // The stream reads the entry's bytes in place and keeps them alive.
    auto data = std::make_unique<TQDXBlobFormStream>(
        std::shared_ptr<const std::vector<uint8_t>>(entry, &entry->Data), keepInMemory);
    descriptor.UncompressedSize = entry->UncompressedSize;
    if (descriptor.Algorithm != kCompressionNone) {
      descriptor.BlockCount = CountCompressedBlocks(form);
    }
    auto stream = std::make_unique<TQDXBlobValueStream>(fieldNo, std::move(data),
                                                        /*isNew=*/false, descriptor);
    // The blocks' own sizes must add up to the size the value was stored with.
    if (stream->UncompressedSize() != entry->UncompressedSize) {
      Raise(msg::kDamagedBlobValue, {entry->StoredSize, entry->StoredSize});
    }
    return stream;
  } catch (...) {
    if (!entry->Modified) Release(buffer, field);
    throw;
  }
}

void TQDXDiskBlobManager::CloseBlob(uint8_t* buffer, int32_t fieldNo, TQDXBlobValueStream& stream) {
  if (!stream.Modified) return;
  const TQDXFieldDef& field = BlobField(fieldNo);
  auto entry = std::make_shared<TQDXBlobCacheEntry>();
  entry->Data = stream.CompressedForm();
  entry->UncompressedSize = stream.UncompressedSize();
  entry->StoredSize = stream.StoredSize();
  entry->Modified = true;
  Attach(buffer, field, std::move(entry));
  SetNull(stream.Size() == 0, fieldNo, buffer);
}

TQDXBlobValue TQDXDiskBlobManager::GetBlobData(int32_t sessionID, uint8_t* buffer,
                                               int32_t fieldNo) {
  const TQDXFieldDef& field = BlobField(fieldNo);
  if (IsNull(fieldNo, buffer)) return {};
  const std::shared_ptr<TQDXBlobCacheEntry> entry = CachedOrLoaded(sessionID, buffer, field);
  if (entry == nullptr) Raise(msg::kCannotGetBlobData);
  return {entry->Data, entry->UncompressedSize, entry->StoredSize,
          static_cast<int64_t>(entry->Data.size())};
}

void TQDXDiskBlobManager::SetBlobData(uint8_t* buffer, int32_t fieldNo,
                                      const TQDXBlobValue& value) {
  const TQDXFieldDef& field = BlobField(fieldNo);
  CheckValueSizes(value.UncompressedSize, value.StoredSize);
  // A value is its compressed form: stored size and data must agree, or the record would get a
  // value no stream can open.
  const bool empty = value.StoredSize == 0;
  if (!empty && value.StoredSize != static_cast<int64_t>(value.Data.size())) {
    Raise(msg::kInvalidBlobFieldSize);
  }
  auto entry = std::make_shared<TQDXBlobCacheEntry>();
  if (!empty) entry->Data = value.Data;
  entry->UncompressedSize = static_cast<int32_t>(value.UncompressedSize);
  entry->StoredSize = value.StoredSize;
  entry->Modified = true;
  Attach(buffer, field, std::move(entry));
  SetNull(empty, fieldNo, buffer);
}

}  // namespace qdx
