// A page manager over memory for the page cache tests: stored pages live in a map, and every
// storage call is recorded so that tests can see what a commit or rollback did. The thread that
// creates it holds its critical section until it is destroyed, as a database's callers do.
#pragma once

#include <cstring>
#include <map>
#include <vector>

#include "engine/core/page_manager.h"

namespace qdx::testing {

class TMemoryPageManager : public TQDXPageManager {
 public:
  explicit TMemoryPageManager(uint16_t pageSize = 128) {
    SetPageGeometry(pageSize, kPageHeaderSize);
    DatabaseLock().Enter();
  }
  ~TMemoryPageManager() override { DatabaseLock().Leave(); }

  // Stores a page of `type` whose first data byte is `mark`.
  void Store(int32_t pageNo, uint16_t type, uint8_t mark, int32_t version = 1) {
    std::vector<uint8_t> bytes(PageSize(), 0);
    page_header::Init({bytes.data(), kPageHeaderSize});
    page_header::SetPageType(bytes.data(), type);
    page_header::SetPageVersion(bytes.data(), version);
    bytes[kPageHeaderSize] = mark;
    stored[pageNo] = bytes;
    nextPageNo = std::max(nextPageNo, pageNo + 1);
  }
  uint8_t StoredMark(int32_t pageNo) const { return stored.at(pageNo)[kPageHeaderSize]; }

  void InternalAddPage(TQDXPage& page) override {
    if (failAdd) return;
    page.PageNo = nextPageNo++;
    page.AllocateBuffer();
  }
  void InternalRemovePage(int32_t pageNo) override {
    removed.push_back(pageNo);
    stored.erase(pageNo);
  }
  bool InternalReadPage(TQDXPage& page) override {
    ++reads;
    if (page.Buffer() == nullptr) page.AllocateBuffer();
    page.ReadFromDisk = true;
    auto it = stored.find(page.PageNo);
    if (it == stored.end()) return false;
    std::memcpy(page.Buffer(), it->second.data(), PageSize());
    return true;
  }
  void InternalWritePage(TQDXPage& page) override {
    if (failWriteOf == page.PageNo) throw EQDXException(10469, "write failed");
    written.push_back(page.PageNo);
    stored[page.PageNo].assign(page.Buffer(), page.Buffer() + PageSize());
  }
  int32_t ReadPageVersion(int32_t pageNo) override {
    auto it = stored.find(pageNo);
    return it == stored.end() ? kFreedPageVersion : page_header::PageVersion(it->second.data());
  }

  std::map<int32_t, std::vector<uint8_t>> stored;
  std::vector<int32_t> written;
  std::vector<int32_t> removed;
  int reads = 0;
  int32_t nextPageNo = 0;
  bool failAdd = false;
  int32_t failWriteOf = -1;
};

}  // namespace qdx::testing
