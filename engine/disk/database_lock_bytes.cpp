// The lock bytes of a database file (database_lock_bytes.h). Every call attaches the file for
// its duration, for design-time mode.
#include "engine/disk/database_lock_bytes.h"

namespace qdx {

bool TQDXDatabaseLockBytes::HadOrLocked(int64_t position) {
  // An outermost unlock that failed left the byte with this handle (and reported it): the
  // next outermost lock has it already, and its unlock tries again.
  return file_.HoldsLock(1, position) || file_.LockByte(1, position);
}

bool TQDXDatabaseLockBytes::LockTables() {
  if (tablesLockDepth_ == 0) {
    TQDXFileAttachment attachment(file_);
    if (!HadOrLocked(layout_.TablesLockPosition())) return false;
  }
  ++tablesLockDepth_;
  return true;
}

bool TQDXDatabaseLockBytes::UnlockTables() {
  if (tablesLockDepth_ <= 0) return false;
  if (--tablesLockDepth_ > 0) return true;
  TQDXFileAttachment attachment(file_);
  return file_.UnlockByte(1, layout_.TablesLockPosition());
}

bool TQDXDatabaseLockBytes::LockDatabase() {
  if (databaseLockDepth_ == 0) {
    TQDXFileAttachment attachment(file_);
    const int64_t position = layout_.DatabaseLockPosition();
    if (!HadOrLocked(position)) return false;
    databaseLockPosition_ = position;
  }
  ++databaseLockDepth_;
  return true;
}

bool TQDXDatabaseLockBytes::UnlockDatabase() {
  if (databaseLockDepth_ <= 0) return false;
  if (--databaseLockDepth_ > 0) return true;
  TQDXFileAttachment attachment(file_);
  return file_.UnlockByte(1, databaseLockPosition_);
}

bool TQDXDatabaseLockBytes::LockNextObjectID() {
  TQDXFileAttachment attachment(file_);
  return file_.LockByte(1, layout_.NextObjectIDPosition());
}

bool TQDXDatabaseLockBytes::UnlockNextObjectID() {
  TQDXFileAttachment attachment(file_);
  return file_.UnlockByte(1, layout_.NextObjectIDPosition());
}

bool TQDXDatabaseLockBytes::LockPageRegion(int32_t pageNo, int32_t offset, int32_t count) {
  TQDXFileAttachment attachment(file_);
  return file_.LockByte(count, layout_.PagePosition(pageNo) + offset);
}

bool TQDXDatabaseLockBytes::UnlockPageRegion(int32_t pageNo, int32_t offset, int32_t count) {
  TQDXFileAttachment attachment(file_);
  return file_.UnlockByte(count, layout_.PagePosition(pageNo) + offset);
}

bool TQDXDatabaseLockBytes::IsPageRegionLocked(int32_t pageNo, int32_t offset, int32_t count) {
  TQDXFileAttachment attachment(file_);
  return file_.IsRegionLocked(count, layout_.PagePosition(pageNo) + offset);
}

}  // namespace qdx
