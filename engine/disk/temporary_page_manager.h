// TQDXTemporaryPageManager: a page manager whose pages live in memory, for the temporary
// indexes a disk table makes on demand (sorting on fields no stored index covers).
//
// Temporary indexes are not part of any transaction and no other process sees them, so their
// pages never reach the database file. The table data applies a session's changes of these
// pages after each of its operations, which moves them into the shared list: every session of
// the process then sees the same temporary index pages.
//
// Runs under the database's critical section, like every page manager of a database.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/page_manager.h"

namespace qdx {

class TQDXTemporaryPageManager : public TQDXPageManager {
 public:
  // Pages of `pageSize` bytes with the usual 40-byte header; callers hold `databaseLock`.
  TQDXTemporaryPageManager(uint16_t pageSize, platform::CriticalSection& databaseLock);

  int32_t GetPageCount() override { return static_cast<int32_t>(stored_.size()); }
  // Numbers freed earlier are handed out again first.
  void InternalAddPage(TQDXPage& page) override;
  void InternalRemovePage(int32_t pageNo) override;
  bool InternalReadPage(TQDXPage& page) override;
  void InternalWritePage(TQDXPage& page) override;

 private:
  // Indexed by page number; an empty vector is a free number.
  std::vector<std::vector<uint8_t>> stored_;
  std::vector<int32_t> free_;
};

}  // namespace qdx
