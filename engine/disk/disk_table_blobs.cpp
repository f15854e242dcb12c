// The disk table's BLOB slots: every one hands the cursor's buffer to the table's BLOB manager
// (disk_blob_manager.h) inside the database's critical section. The record changes reach it
// through the StoreBlobValues / DeleteBlobValues hooks of the shared steps; emptying and
// deleting the table call EmptyValues / DeleteValues (disk_table_data.cpp).
#include "engine/core/database_data.h"
#include "engine/disk/disk_table_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXDiskBlobManager& TQDXDiskTableData::Blobs() const {
  if (blobs_ == nullptr) Raise(msg::kTableNoRecordManager);
  return *blobs_;
}

void TQDXDiskTableData::FreeRecordBuffer(uint8_t* buffer) {
  FreeBlobCaches(buffer);
}

void TQDXDiskTableData::FreeBlobCache(uint8_t* buffer, int32_t fieldNo) {
  platform::CriticalSectionGuard guard(Database().Lock());
  if (blobs_ != nullptr) blobs_->FreeBlobCache(buffer, fieldNo, /*force=*/false);
}

void TQDXDiskTableData::FreeBlobCaches(uint8_t* buffer) {
  platform::CriticalSectionGuard guard(Database().Lock());
  if (blobs_ != nullptr) blobs_->FreeBlobCaches(buffer);
}

std::unique_ptr<TQDXStream> TQDXDiskTableData::OpenBlob(TQDXTableCursor& cursor, bool readOnly,
                                                        int32_t mode, int32_t fieldNo) {
  platform::CriticalSectionGuard guard(Database().Lock());
  if (!readOnly && mode != 1) RequireWritable();
  // Mode 0 writes a new value; reading (1) and reading and writing (2) start from the current
  // one.
  const bool loadValue = readOnly || mode != 0;
  return Blobs().OpenBlob(cursor.SessionID(), cursor.Buffer, fieldNo, loadValue,
                          KeepTemporaryInMemory || cursor.KeepTemporaryInMemory);
}

void TQDXDiskTableData::CloseBlob(TQDXTableCursor& cursor, int32_t fieldNo, TQDXStream& stream) {
  platform::CriticalSectionGuard guard(Database().Lock());
  auto* value = dynamic_cast<TQDXBlobValueStream*>(&stream);
  if (value == nullptr) Raise(msg::kNotABlobValueStream);
  Blobs().CloseBlob(cursor.Buffer, fieldNo, *value);
}

TQDXBlobValue TQDXDiskTableData::GetBlobData(TQDXTableCursor& cursor, int32_t fieldNo) {
  platform::CriticalSectionGuard guard(Database().Lock());
  return Blobs().GetBlobData(cursor.SessionID(), cursor.Buffer, fieldNo);
}

void TQDXDiskTableData::SetBlobData(TQDXTableCursor& cursor, int32_t fieldNo,
                                    const TQDXBlobValue& value) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  Blobs().SetBlobData(cursor.Buffer, fieldNo, value);
}

void TQDXDiskTableData::ClearBlobData(TQDXTableCursor& cursor, int32_t fieldNo, uint8_t* buffer) {
  platform::CriticalSectionGuard guard(Database().Lock());
  Blobs().ClearBlobData(buffer != nullptr ? buffer : cursor.Buffer, fieldNo);
}

void TQDXDiskTableData::StoreBlobValues(TQDXTableCursor& cursor) {
  Blobs().WriteRecordBlobs(cursor.SessionID(), cursor.Buffer);
}

void TQDXDiskTableData::DeleteBlobValues(TQDXTableCursor& cursor) {
  Blobs().DeleteRecordBlobs(cursor.SessionID(), cursor.Buffer);
}

}  // namespace qdx
