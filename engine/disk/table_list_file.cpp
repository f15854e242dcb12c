#include "engine/disk/table_list_file.h"

#include <algorithm>

#include "engine/core/page_format.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

std::string StoredName(std::string_view name) {
  return std::string(name.substr(0, kMaxTableNameLength));
}

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool SameTableName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

TQDXTableListFile::TQDXTableListFile(TQDXPageManager& pageManager)
    : file_(pageManager, ptTableList) {}

int32_t TQDXTableListFile::Create() {
  TQDXInternalDBTransactedAccessFile created(file_);
  created.Close();
  created.Create(kSystemSessionID);
  return created.StartPageNo();
}

void TQDXTableListFile::Open(int32_t startPageNo) {
  file_.Close();
  file_.Open(startPageNo);
}

void TQDXTableListFile::Close() {
  file_.Close();
  entries_.clear();
}

void TQDXTableListFile::Load() {
  int32_t size = 0;
  TQDXMemBlock content = file_.ReadAll(kSystemSessionID, true, size);
  // Entries are taken through a reader over the buffer actually held, so that a size the
  // content does not have fails (20056) rather than reading past it.
  ByteReader reader({content.data(), static_cast<size_t>(content.size())});
  std::vector<TQDXTableListEntry> entries;
  for (int32_t i = 0; i < size / static_cast<int32_t>(kTableListEntrySize); ++i) {
    entries.push_back(TQDXTableListEntry::Decode(reader.Bytes(kTableListEntrySize)));
  }
  entries_ = std::move(entries);
}

void TQDXTableListFile::Save() {
  const int32_t size = static_cast<int32_t>(entries_.size() * kTableListEntrySize);
  TQDXMemBlock content(std::max(size, 1));
  for (size_t i = 0; i < entries_.size(); ++i) {
    entries_[i].Encode({content.data() + i * kTableListEntrySize, kTableListEntrySize});
  }
  file_.WriteFile(kSystemSessionID, content.data(), 0, 0, size);
}

std::vector<TQDXTableListEntry>::const_iterator TQDXTableListFile::Find(
    std::string_view name) const {
  const std::string stored = StoredName(name);
  return std::ranges::find_if(
      entries_, [&](const TQDXTableListEntry& e) { return SameTableName(e.TableName, stored); });
}

void TQDXTableListFile::AddTable(int32_t tableID, std::string_view name, int32_t locksStartPage,
                                 int32_t mostUpdatedStartPage, int32_t metadataStartPage) {
  if (Find(name) != entries_.end()) {
    Raise(msg::kCannotCreateExistingTable, {name});
  }
  entries_.push_back(
      {StoredName(name), tableID, metadataStartPage, mostUpdatedStartPage, locksStartPage});
}

TQDXTableListFile::TableInfo TQDXTableListFile::FindTable(std::string_view name) const {
  const auto entry = Find(name);
  if (entry == entries_.end()) Raise(msg::kFindTableNotExists, {name});
  return {entry->TableID, entry->MetadataStartPage, entry->MostUpdatedStartPage,
          entry->LocksStartPage};
}

void TQDXTableListFile::DeleteTable(std::string_view name) {
  const auto entry = Find(name);
  if (entry == entries_.end()) Raise(msg::kDeleteTableNotExists, {name});
  entries_.erase(entry);
}

void TQDXTableListFile::RenameTable(std::string_view oldName, std::string_view newName) {
  const auto entry = Find(oldName);
  if (entry == entries_.end()) Raise(msg::kRenameTableNotExists, {oldName});
  entries_[static_cast<size_t>(entry - entries_.begin())].TableName = StoredName(newName);
}

bool TQDXTableListFile::TableExists(std::string_view name) const {
  return Find(name) != entries_.end();
}

void TQDXTableListFile::GetTableNames(std::vector<std::string>& names) {
  Load();
  names.clear();
  for (const TQDXTableListEntry& entry : entries_) names.push_back(entry.TableName);
}

}  // namespace qdx
