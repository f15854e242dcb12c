// What the local cursor needs of a disk table beyond the table data interface: its table and
// record locks, and a fresh read of its header before an insert.
#include "dataset/local_engine/local_cursor.h"
#include "engine/disk/disk_table_data.h"

namespace qdx {

namespace {

TQDXDiskTableData* DiskTable(TQDXTableData* table) {
  return dynamic_cast<TQDXDiskTableData*>(table);
}

}  // namespace

TQDXDiskTableLocks* TQDXLocalCursor::DiskLocks() const {
  TQDXDiskTableData* disk = DiskTable(tableData_);
  return disk != nullptr ? disk->Locks() : nullptr;
}

void TQDXLocalCursor::RefreshDiskTableHeader() {
  if (TQDXDiskTableData* disk = DiskTable(tableData_)) disk->ReadTableHeader(SessionID());
}

}  // namespace qdx
