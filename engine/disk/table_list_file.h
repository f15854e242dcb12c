// TQDXTableListFile: the list of a database's tables, a plain transacted internal file of
// 272-byte entries (internal_file_format.h) in creation order. Table names are compared without
// regard to ASCII letter case; a stored name is cut to 255 characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/disk/internal_file_format.h"
#include "engine/disk/internal_transacted_file.h"

namespace qdx {

class TQDXTableListFile {
 public:
  // What FindTable answers.
  struct TableInfo {
    int32_t TableID = 0;
    int32_t MetadataStartPage = -1;
    int32_t MostUpdatedStartPage = -1;
    int32_t LocksStartPage = -1;
  };

  explicit TQDXTableListFile(TQDXPageManager& pageManager);

  // A new, empty list as the system session; answers its start page and leaves it closed.
  int32_t Create();
  // Opens the list at `startPageNo` (an open list is simply replaced).
  void Open(int32_t startPageNo);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }
  int32_t StartPageNo() const { return file_.StartPageNo(); }
  // Reads all entries, as the system session.
  void Load();
  // Writes all entries, as the system session, uncompressed.
  void Save();

  // 30395 when a table of that name exists.
  void AddTable(int32_t tableID, std::string_view name, int32_t locksStartPage,
                int32_t mostUpdatedStartPage, int32_t metadataStartPage);
  TableInfo FindTable(std::string_view name) const;  // 30396 for an unknown name
  void DeleteTable(std::string_view name);           // 30405 for an unknown name
  // Replaces the name; the new name is not checked for duplicates. 30397 for an unknown name.
  void RenameTable(std::string_view oldName, std::string_view newName);
  bool TableExists(std::string_view name) const;
  // Reloads the list, then replaces `names` by the table names in entry order.
  void GetTableNames(std::vector<std::string>& names);
  const std::vector<TQDXTableListEntry>& Entries() const { return entries_; }

 private:
  std::vector<TQDXTableListEntry>::const_iterator Find(std::string_view name) const;

  TQDXInternalDBTransactedAccessFile file_;
  std::vector<TQDXTableListEntry> entries_;
};

// Whether two table names are equal without regard to ASCII letter case.
bool SameTableName(std::string_view a, std::string_view b);

}  // namespace qdx
