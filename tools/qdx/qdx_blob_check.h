// The BLOB side of qdx check: every BLOB value of every table is read whole through its pages,
// every page of the file that holds BLOB data is accounted for by exactly one owner (a large
// value, or the table whose small values share it), and what is left over is reported.
//
// A shared BLOB page belongs to one table; its entries must each be named by exactly one record
// and its usage must be what the table's BLOB page index records for it. A large value's header,
// data and page-list pages belong to that value alone. A BLOB page in use that no value reaches
// is leaked: its space is lost until the file is repaired.
//
// Faults are EQdxToolFault; the first one found ends the check. Damaged values and page lists
// give the engine's error behind the record that names them, never a read outside the file or a
// walk without end (the engine checks a page list in full before following it).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "engine/disk/disk_page_manager.h"
#include "engine/disk/disk_table_data.h"

namespace qdx::tools {

class TBlobPageAccount {
 public:
  TBlobPageAccount(TQDXDiskPageManager& pages, int32_t sessionID)
      : pages_(pages), sessionID_(sessionID) {}

  // Reads every BLOB value of the open table's records and claims its pages; then checks the
  // table's shared pages against its records and its BLOB page index. `tableName` is printable.
  void CheckTable(TQDXDiskTableData& table, const std::string& tableName);
  // After every table: the first BLOB page in use that no value reached, with the number of such
  // pages.
  void CheckLeakedPages();

 private:
  struct SharedPage {
    std::string Table;
    std::map<int16_t, std::string> Entries;  // ID -> the record field that names it
  };

  void CheckValue(TQDXDiskTableData& table, uint8_t* buffer, int32_t fieldNo,
                  const std::string& owner);
  // Reads the value through the table's BLOB stream to its last byte (sizes, blocks, checksums).
  void ReadWholeValue(TQDXDiskTableData& table, uint8_t* buffer, int32_t fieldNo);
  void Claim(int32_t pageNo, const std::string& owner);
  void CheckSharedPages(TQDXDiskTableData& table);
  [[noreturn]] void TableFault(const std::string& text) const;

  TQDXDiskPageManager& pages_;
  int32_t sessionID_;
  std::string tableName_;
  // Pages holding BLOB data and who holds them.
  std::unordered_map<int32_t, std::string> owners_;
  // Shared pages of the table being checked, by page number.
  std::map<int32_t, SharedPage> shared_;
};

}  // namespace qdx::tools
