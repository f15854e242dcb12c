#include "engine/core/database_data.h"

#include <algorithm>

#include "engine/core/base_session.h"
#include "engine/core/meta_object_def.h"
#include "engine/core/table_cursor.h"
#include "engine/core/table_data.h"

namespace qdx {

TQDXDatabaseData::TQDXDatabaseData(std::string fileName) : fileName_(std::move(fileName)) {}

TQDXDatabaseData::~TQDXDatabaseData() {
  DatabaseDataList().Remove(this);
  FreeAllTableData();
}

void TQDXDatabaseData::AddSession(TQDXBaseSession& session) {
  platform::CriticalSectionGuard guard(lock_);
  sessions_.push_back(&session);
  session.SetSessionID(0);
}

void TQDXDatabaseData::RemoveSession(TQDXBaseSession& session) {
  platform::CriticalSectionGuard guard(lock_);
  std::erase(sessions_, &session);
}

bool TQDXDatabaseData::FreeIfUnused() {
  {
    platform::CriticalSectionGuard guard(lock_);
    if (!sessions_.empty()) return false;
  }
  delete this;
  return true;
}

void TQDXDatabaseData::GetTableNames(std::vector<std::string>& names) {
  platform::CriticalSectionGuard guard(lock_);
  for (const auto& table : tables_) names.push_back(table->Name());
}

void TQDXDatabaseData::CreateDatabase() {}

TQDXTableData* TQDXDatabaseData::CreateTableData(TQDXTableCursor&) {
  return nullptr;
}

TQDXTableData* TQDXDatabaseData::FindTableData(const TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(lock_);
  for (const auto& table : tables_) {
    if (SameNameIgnoringCase(table->Name(), cursor.TableName)) return table.get();
  }
  return nullptr;
}

TQDXTableData* TQDXDatabaseData::GetTableData(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(lock_);
  TQDXTableData* table = FindTableData(cursor);
  return table != nullptr ? table : CreateTableData(cursor);
}

TQDXTableData* TQDXDatabaseData::AddTableData(std::unique_ptr<TQDXTableData> table) {
  platform::CriticalSectionGuard guard(lock_);
  tables_.push_back(std::move(table));
  return tables_.back().get();
}

void TQDXDatabaseData::FreeTableData(TQDXTableData* table) {
  platform::CriticalSectionGuard guard(lock_);
  std::erase_if(tables_, [&](const auto& t) { return t.get() == table; });
}

void TQDXDatabaseData::FreeAllTableData() {
  platform::CriticalSectionGuard guard(lock_);
  tables_.clear();
}

void TQDXDatabaseData::AfterRollback(int32_t sessionID) {
  platform::CriticalSectionGuard guard(lock_);
  for (const auto& table : tables_) table->AfterRollback(sessionID);
}

void TQDXDatabaseData::FlushToDisk() {}

bool TQDXDatabaseData::TableExists(std::string_view name) {
  platform::CriticalSectionGuard guard(lock_);
  std::vector<std::string> names;
  GetTableNames(names);
  return std::ranges::any_of(names,
                             [&](const std::string& n) { return SameNameIgnoringCase(n, name); });
}

void TQDXDatabaseDataList::Add(TQDXDatabaseData* data) {
  platform::CriticalSectionGuard guard(lock_);
  if (std::ranges::find(items_, data) == items_.end()) items_.push_back(data);
}

void TQDXDatabaseDataList::Remove(TQDXDatabaseData* data) {
  platform::CriticalSectionGuard guard(lock_);
  std::erase(items_, data);
}

TQDXDatabaseData* TQDXDatabaseDataList::Find(std::string_view fileName) {
  platform::CriticalSectionGuard guard(lock_);
  const auto it = std::ranges::find_if(
      items_, [&](const TQDXDatabaseData* d) { return d->FileName() == fileName; });
  return it == items_.end() ? nullptr : *it;
}

TQDXDatabaseDataList& DatabaseDataList() {
  static TQDXDatabaseDataList list;
  return list;
}

}  // namespace qdx
