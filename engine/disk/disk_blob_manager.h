// TQDXDiskBlobManager: the BLOB values of one open disk table: the stored values (through
// TQDXDiskBlobStore and the table's BLOB page index) and the cache of values record buffers have
// loaded or changed.
//
// A record buffer's BLOB slot is the 6-byte reference of the stored value (blob_format.h) and a
// 4-byte handle of the value's cache entry (0 when none). A handle names an entry only while the
// entry is listed here, so a stale handle in a copied buffer finds nothing instead of memory
// that was freed. An entry holds the compressed form of the value with its sizes; a modified
// entry is the value the record will get when it is written (WriteRecordBlobs).
//
// The cursor's BLOB stream (OpenBlob) is a TQDXBlobValueStream that reads the entry's compressed
// form in place and copies it only when written to; CloseBlob turns a stream that was written to
// into a modified entry. An entry's bytes never change while it is listed. The BLOB page index's
// root travels in the table's metadata (IndexRootPageNo, AdoptIndex).
//
// Not safe for concurrent use: the table data calls it under the database's critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/core/field_manager.h"
#include "engine/core/index.h"
#include "engine/core/page_index.h"
#include "engine/core/page_manager.h"
#include "engine/core/table_data.h"
#include "engine/disk/disk_blob_manager_store.h"
#include "engine/disk/disk_blob_manager_stream.h"

namespace qdx {

struct TQDXBlobCacheEntry {
  int32_t UncompressedSize = 0;
  int64_t StoredSize = 0;  // the length of the compressed form
  bool Modified = false;
  std::vector<uint8_t> Data;  // the compressed form; empty for an empty value
};

class TQDXDiskBlobManager {
 public:
  TQDXDiskBlobManager(TQDXPageManager& pages, TQDXBaseFieldManager& fields);
  TQDXDiskBlobManager(const TQDXDiskBlobManager&) = delete;
  TQDXDiskBlobManager& operator=(const TQDXDiskBlobManager&) = delete;

  // ---- The BLOB page index ----------------------------------------------------------------------
  // -1 when the table has none (no BLOB fields).
  int32_t IndexRootPageNo() const { return index_.RootPageNo(); }
  // Takes the index stored in the table's metadata.
  void AdoptIndex(int32_t rootPageNo) { index_.SetRoot(rootPageNo); }
  void CreateIndex(int32_t sessionID);
  // Deletes the BLOB values of every record `records` walks (in physical order) and empties the
  // index; nothing for a table without BLOB fields.
  void EmptyValues(int32_t sessionID, TQDXIndexRecordSource& records);
  // EmptyValues, then the index is deleted.
  void DeleteValues(int32_t sessionID, TQDXIndexRecordSource& records);

  // ---- Record operations ------------------------------------------------------------------------
  // Before a record is inserted or updated: every field with a modified cache entry gets its
  // value stored (the value the buffer named before is deleted first) and the new reference;
  // the entries are released.
  void WriteRecordBlobs(int32_t sessionID, uint8_t* buffer);
  // When a record is deleted: the stored value of every BLOB field that is not NULL is deleted
  // (the reference becomes -1, -1) and a cache entry of the field is no longer modified.
  void DeleteRecordBlobs(int32_t sessionID, uint8_t* buffer);

  // ---- The table data's BLOB operations ---------------------------------------------------------
  // A stream over the field's value: an empty one when `loadValue` is false, there is no
  // buffer or the field is NULL; else the cached value, or the stored one read into a new
  // cache entry (20162 when there is none). 20149 for a field whose BlobBlockSize is 0, 20248
  // for sizes a value cannot have. The temporary stream stays in memory with `keepInMemory`.
  std::unique_ptr<TQDXBlobValueStream> OpenBlob(int32_t sessionID, uint8_t* buffer, int32_t fieldNo,
                                                bool loadValue, bool keepInMemory);
  // When the stream was written to: its content becomes the field's modified cache entry and
  // the field is NULL exactly when the stream is empty.
  void CloseBlob(uint8_t* buffer, int32_t fieldNo, TQDXBlobValueStream& stream);
  // The field's raw value: none and zero sizes for a NULL field; else the cached or stored
  // value (20291 when there is none).
  TQDXBlobValue GetBlobData(int32_t sessionID, uint8_t* buffer, int32_t fieldNo);
  // The value becomes the field's modified cache entry; the field is NULL when the stored size
  // is 0. 20248 for sizes that do not fit the data.
  void SetBlobData(uint8_t* buffer, int32_t fieldNo, const TQDXBlobValue& value);
  // Releases the field's cache entry unless it is modified.
  void ClearBlobData(uint8_t* buffer, int32_t fieldNo) { FreeBlobCache(buffer, fieldNo, false); }
  // Releases the field's cache entry; a modified one only when forced.
  void FreeBlobCache(uint8_t* buffer, int32_t fieldNo, bool force);
  // Releases the cache entries of every BLOB field of the buffer, modified ones too.
  void FreeBlobCaches(uint8_t* buffer);

  // ---- Cache ------------------------------------------------------------------------------------
  int32_t CacheEntryCount() const { return static_cast<int32_t>(cache_.size()); }
  // The entry the buffer's field names; null when none is listed.
  TQDXBlobCacheEntry* CacheEntry(const uint8_t* buffer, int32_t fieldNo) const;
  // Before the manager goes: 20150 while entries are listed.
  void CheckCacheReleased() const;

  TQDXDiskBlobStore& Store() { return store_; }
  TQDXBTreeBlobPageIndex& Index() { return index_; }

 private:
  const TQDXFieldDef& BlobField(int32_t fieldNo) const;
  TQDXBlobRef Reference(const uint8_t* buffer, const TQDXFieldDef& field) const;
  void SetReference(uint8_t* buffer, const TQDXFieldDef& field, TQDXBlobRef ref) const;
  uint32_t Handle(const uint8_t* buffer, const TQDXFieldDef& field) const;
  void SetHandle(uint8_t* buffer, const TQDXFieldDef& field, uint32_t handle) const;
  // Lists the entry and hands its handle to the buffer, releasing the field's old entry.
  TQDXBlobCacheEntry& Attach(uint8_t* buffer, const TQDXFieldDef& field,
                             std::shared_ptr<TQDXBlobCacheEntry> entry);
  void Release(uint8_t* buffer, const TQDXFieldDef& field);
  // The cached entry, or the stored value read into a new one; null when there is no value.
  std::shared_ptr<TQDXBlobCacheEntry> CachedOrLoaded(int32_t sessionID, uint8_t* buffer,
                                                     const TQDXFieldDef& field);
  // Stores a modified entry's value for the buffer's field (see WriteRecordBlobs).
  void WriteValue(int32_t sessionID, uint8_t* buffer, const TQDXFieldDef& field,
                  TQDXBlobCacheEntry& entry);

  TQDXBaseFieldManager* fields_;
  TQDXBTreeBlobPageIndex index_;
  TQDXDiskBlobStore store_;
  // Shared with the streams that read an entry's form in place (TQDXBlobFormStream).
  std::unordered_map<uint32_t, std::shared_ptr<TQDXBlobCacheEntry>> cache_;
  uint32_t lastHandle_ = 0;
};

// The number of compressed blocks in a value's compressed form; 20323 when the blocks do not
// lie back to back up to its end.
int64_t CountCompressedBlocks(std::span<const uint8_t> form);

}  // namespace qdx
