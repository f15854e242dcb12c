// TQDXDiskTablePagesCacheManager: which cached pages a session may use without asking the file
// whether another process changed them (multi-user mode).
//
// A session's version of a table is the table's ChangeStamp as the session last read it from
// the table header. It stays valid while the session holds at least one read or write table
// lock on the table: no other process can change the table meanwhile, so a cached page the
// session validated under that version needs no new check. Taking the first lock and releasing
// the last one both forget the version.
//
// The disk table data pushes the table it works on before each table operation and pops it
// after; the session's current version is the one of the table on top of its stack, and only
// while the session holds a lock on that table. The disk page manager stores the current
// version in each page a session validates (TQDXPage::SetSessionVersion) and compares it on
// the next GetPage.
//
// Not safe for concurrent use: it runs under its database's critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace qdx {

// The table data object of the table engine core; only its identity is used here.
class TQDXTableData;

// The two kinds of table lock the version depends on.
enum class TQDXTableLockUse { Read, Write };

// One table as one session sees it.
struct TQDXDTPCTableInfo {
  const TQDXTableData* TableData = nullptr;
  int32_t ReadLockCount = 0;
  int32_t WriteLockCount = 0;
  bool HasVersion = false;
  int32_t Version = -1;
};

// The tables of one session and the stack of those it is working on.
struct TQDXDTPCSessionInfo {
  std::vector<std::unique_ptr<TQDXDTPCTableInfo>> Tables;
  std::vector<TQDXDTPCTableInfo*> Stack;

  // The entry of `table`, created on first use.
  TQDXDTPCTableInfo& TableInfo(const TQDXTableData* table);
};

class TQDXDiskTablePagesCacheManager {
 public:
  void PushTable(int32_t sessionID, const TQDXTableData* table);
  // Pops the session's current table; nothing when its stack is empty.
  void PopTable(int32_t sessionID);

  // A table lock of `use` was taken / released by the session. The first lock taken and the
  // last one released forget the session's version of the table; releasing a kind the session
  // does not hold changes nothing.
  void TableLocked(int32_t sessionID, const TQDXTableData* table, TQDXTableLockUse use);
  void TableUnlocked(int32_t sessionID, const TQDXTableData* table, TQDXTableLockUse use);

  bool HasVersion(int32_t sessionID, const TQDXTableData* table);
  // Sets the session's version of the table unless it already has one.
  void SetVersion(int32_t sessionID, const TQDXTableData* table, int32_t version);

  // The version of the session's current table while the session holds a lock on it; none
  // otherwise.
  std::optional<int32_t> CurrentVersion(int32_t sessionID) const;

  // Forgets every session.
  void Clear() { sessions_.clear(); }

 private:
  // Session IDs from -2 up; 20186 below.
  TQDXDTPCSessionInfo& Session(int32_t sessionID);

  // Indexed by SessionID + 2, grown on demand.
  std::vector<TQDXDTPCSessionInfo> sessions_;
};

}  // namespace qdx
