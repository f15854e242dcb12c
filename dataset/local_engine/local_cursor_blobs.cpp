// The local cursor's BLOB streams and the copying of a field value between cursors.
//
// A stream is made by the table data over the current buffer's value of a field and kept in the
// cursor's list until CloseBlob (or FreeBlobs, which drops it unstored). Closing a writable
// stream hands its content to the table data as the buffer's value of the field; a value only
// read is released from the buffer again, so that only changed values stay with the buffer
// until the record is posted.
#include <algorithm>
#include <cstring>
#include <memory>

#include "dataset/local_engine/local_blob_stream.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/local_engine/local_cursor_section.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_data.h"
#include "engine/disk/disk_table_locks.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {

bool TQDXLocalCursor::HasOpenWritableStream(int32_t fieldNo) const {
  return std::ranges::any_of(blobStreams_, [&](const auto& stream) {
    return stream->FieldNo() == fieldNo && stream->IsWritable();
  });
}

// In a shared database the stored value may have changed since the buffer was read.
bool TQDXLocalCursor::RefreshForBlob() {
  const CursorPosition position = SavePosition();
  const bool found = ReRead(Bookmark(Buffer));
  RestorePosition(position);
  return found;
}

TQDXLocalBLOBStream* TQDXLocalCursor::OpenBlob(bool /*inInsert*/, bool /*inEdit*/, bool inBrowse,
                                               BlobMode mode, int32_t fieldNo) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  const TQDXFieldDef& field = VisibleField(fieldNo, msg::kOpenBlobFieldNumber);
  if (mode != bmRead && HasOpenWritableStream(fieldNo)) {
    Raise(msg::kBlobFieldAlreadyOpened, {fieldNo, field.Name()});
  }
  TQDXDiskTableLocks* locks = SharedLocks();
  if (locks != nullptr) {
    const LocalLockTiming& timing = session_->LockTiming;
    if (!LockTableSleeping(section, *locks, TQDXTableLockKind::Read, timing.PostTableTries,
                           timing.PostTablePauseMs)) {
      return nullptr;
    }
  }
  const ScopeExit readLock([locks, session = SessionID()] {
    if (locks == nullptr) return;
    try {
      locks->UnlockTable(session, TQDXTableLockKind::Read, false, true);
    } catch (...) {  // the lock goes with the session at the latest
    }
  });
  if (locks != nullptr && inBrowse && blobStreams_.empty() && !RefreshForBlob()) return nullptr;
  std::unique_ptr<TQDXStream> wrapped =
      table.OpenBlob(*this, mode == bmRead, mode, field.SourceFieldNo);
  blobStreams_.push_back(
      std::make_unique<TQDXLocalBLOBStream>(std::move(wrapped), fieldNo, mode, *this));
  return blobStreams_.back().get();
}

void TQDXLocalCursor::CloseStream(TQDXLocalBLOBStream& stream) {
  TQDXTableData& table = *tableData_;
  const int32_t fieldNo = SourceFieldNo(stream.FieldNo());
  if (stream.IsWritable()) table.CloseBlob(*this, fieldNo, stream.Wrapped());
  // The engines that cache values keep a changed one; a value only read is let go.
  if (!stream.Modified && Buffer != nullptr) table.FreeBlobCache(Buffer, fieldNo);
}

void TQDXLocalCursor::CloseBlob(int32_t fieldNo) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  const int32_t count = VisibleFieldCount();
  if (fieldNo < 0 || fieldNo >= count) Raise(msg::kCloseBlobFieldNumber, {fieldNo, count});
  // Each stream leaves the list even when storing its value fails.
  for (auto it = blobStreams_.begin(); it != blobStreams_.end();) {
    if ((*it)->FieldNo() != fieldNo) {
      ++it;
      continue;
    }
    std::unique_ptr<TQDXLocalBLOBStream> stream = std::move(*it);
    it = blobStreams_.erase(it);
    CloseStream(*stream);
  }
}

void TQDXLocalCursor::FreeBlobs(bool writableOnly) {
  std::erase_if(blobStreams_,
                [&](const auto& stream) { return !writableOnly || stream->IsWritable(); });
}

// ---- Copying a field value ------------------------------------------------------------------

void TQDXLocalCursor::CopyFieldValue(int32_t fieldNo, bool useTableDefs, TQDXCursor& target,
                                     int32_t targetFieldNo) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  const TQDXFieldDefs* defs = useTableDefs ? TableFieldDefs.get() : VisibleFieldDefs.get();
  const int32_t count = defs != nullptr ? defs->Count() : 0;
  if (fieldNo < 0 || fieldNo >= count) Raise(msg::kCopyFieldSourceNumber, {fieldNo, count});
  const int32_t targetCount = target.VisibleFieldCount();
  if (targetFieldNo < 0 || targetFieldNo >= targetCount) {
    Raise(msg::kCopyFieldTargetNumber, {targetFieldNo, targetCount});
  }
  const int32_t source = useTableDefs ? fieldNo : SourceFieldNo(fieldNo);
  const int32_t destination = target.SourceFieldNo(targetFieldNo);
  const TQDXFieldDef& from = TableFieldDefs->GetFieldDef(source);
  const TQDXFieldDef& to = target.TableFieldDefs->GetFieldDef(destination);
  DatabaseSection section(table.Database());
  if (IsNull(source, Buffer)) {
    SetNull(true, destination, target.Buffer);
    return;
  }
  if (from.DataType == to.DataType && from.MemorySize == to.MemorySize && !from.IsBlob()) {
    std::memcpy(target.Buffer + to.MemoryOffset, Buffer + from.MemoryOffset,
                static_cast<size_t>(from.MemorySize));
    SetNull(false, destination, target.Buffer);
    return;
  }
  auto* local = dynamic_cast<TQDXLocalCursor*>(&target);
  if (from.IsBlob() && to.IsBlob() && local != nullptr && local->tableData_ != nullptr) {
    const TQDXBlobValue value = table.GetBlobData(*this, source);
    {
      DatabaseSection targetSection(local->tableData_->Database());
      local->tableData_->SetBlobData(target, destination, value);
    }
    table.ClearBlobData(*this, source, Buffer);
    return;
  }
  TQDXVariant value;
  qdx::GetFieldValue(value, source, *TableFieldDefs, Buffer);
  qdx::SetFieldValue(value, destination, *target.TableFieldDefs, target.Buffer);
}

}  // namespace qdx
