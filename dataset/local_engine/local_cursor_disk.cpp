// What the local cursor needs of a disk table beyond the table data interface: its table and
// record locks, and a fresh read of its header before an insert. Disk table data objects come
// with the table engine; until then no table is a disk table.
#include "dataset/local_engine/local_cursor.h"

namespace qdx {

TQDXDiskTableLocks* TQDXLocalCursor::DiskLocks() const {
  return nullptr;
}

void TQDXLocalCursor::RefreshDiskTableHeader() {}

}  // namespace qdx
