#include "engine/disk/disk_table_pages_cache.h"

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXDTPCTableInfo& TQDXDTPCSessionInfo::TableInfo(const TQDXTableData* table) {
  for (auto& info : Tables) {
    if (info->TableData == table) return *info;
  }
  auto info = std::make_unique<TQDXDTPCTableInfo>();
  info->TableData = table;
  Tables.push_back(std::move(info));
  return *Tables.back();
}

TQDXDTPCSessionInfo& TQDXDiskTablePagesCacheManager::Session(int32_t sessionID) {
  const int64_t index = int64_t{sessionID} + 2;
  if (index < 0) Raise(msg::kInvalidSessionID);
  if (index >= static_cast<int64_t>(sessions_.size())) {
    sessions_.resize(static_cast<size_t>(index) + 1);
  }
  return sessions_[static_cast<size_t>(index)];
}

void TQDXDiskTablePagesCacheManager::PushTable(int32_t sessionID, const TQDXTableData* table) {
  TQDXDTPCSessionInfo& session = Session(sessionID);
  session.Stack.push_back(&session.TableInfo(table));
}

void TQDXDiskTablePagesCacheManager::PopTable(int32_t sessionID) {
  TQDXDTPCSessionInfo& session = Session(sessionID);
  if (!session.Stack.empty()) session.Stack.pop_back();
}

namespace {

void ForgetVersion(TQDXDTPCTableInfo& info) {
  info.HasVersion = false;
  info.Version = -1;
}

}  // namespace

void TQDXDiskTablePagesCacheManager::TableLocked(int32_t sessionID, const TQDXTableData* table,
                                                 TQDXTableLockUse use) {
  TQDXDTPCTableInfo& info = Session(sessionID).TableInfo(table);
  // Before the first lock another process may have changed the table.
  if (info.ReadLockCount + info.WriteLockCount == 0) ForgetVersion(info);
  ++(use == TQDXTableLockUse::Read ? info.ReadLockCount : info.WriteLockCount);
}

void TQDXDiskTablePagesCacheManager::TableUnlocked(int32_t sessionID, const TQDXTableData* table,
                                                   TQDXTableLockUse use) {
  TQDXDTPCTableInfo& info = Session(sessionID).TableInfo(table);
  int32_t& count = use == TQDXTableLockUse::Read ? info.ReadLockCount : info.WriteLockCount;
  if (count == 0) return;
  --count;
  if (info.ReadLockCount + info.WriteLockCount == 0) ForgetVersion(info);
}

bool TQDXDiskTablePagesCacheManager::HasVersion(int32_t sessionID, const TQDXTableData* table) {
  return Session(sessionID).TableInfo(table).HasVersion;
}

void TQDXDiskTablePagesCacheManager::SetVersion(int32_t sessionID, const TQDXTableData* table,
                                                int32_t version) {
  TQDXDTPCTableInfo& info = Session(sessionID).TableInfo(table);
  if (info.HasVersion) return;
  info.HasVersion = true;
  info.Version = version;
}

std::optional<int32_t> TQDXDiskTablePagesCacheManager::CurrentVersion(int32_t sessionID) const {
  const int64_t index = int64_t{sessionID} + 2;
  if (index < 0 || index >= static_cast<int64_t>(sessions_.size())) return std::nullopt;
  const TQDXDTPCSessionInfo& session = sessions_[static_cast<size_t>(index)];
  if (session.Stack.empty()) return std::nullopt;
  const TQDXDTPCTableInfo& top = *session.Stack.back();
  if (top.ReadLockCount + top.WriteLockCount <= 0 || !top.HasVersion) return std::nullopt;
  return top.Version;
}

}  // namespace qdx
