#include "engine/disk/temporary_page_manager.h"

#include <cstring>

namespace qdx {

TQDXTemporaryPageManager::TQDXTemporaryPageManager(uint16_t pageSize,
                                                   platform::CriticalSection& databaseLock) {
  SetPageGeometry(pageSize, kPageHeaderSize);
  UseDatabaseLock(databaseLock);
}

void TQDXTemporaryPageManager::InternalAddPage(TQDXPage& page) {
  int32_t pageNo;
  if (!free_.empty()) {
    pageNo = free_.back();
    free_.pop_back();
  } else {
    pageNo = static_cast<int32_t>(stored_.size());
    stored_.emplace_back();
  }
  stored_[static_cast<size_t>(pageNo)].assign(PageSize(), 0);
  page.PageNo = pageNo;
  page.AllocateBuffer();
}

void TQDXTemporaryPageManager::InternalRemovePage(int32_t pageNo) {
  if (pageNo < 0 || pageNo >= GetPageCount() || stored_[static_cast<size_t>(pageNo)].empty()) {
    return;
  }
  stored_[static_cast<size_t>(pageNo)] = {};
  free_.push_back(pageNo);
}

bool TQDXTemporaryPageManager::InternalReadPage(TQDXPage& page) {
  if (page.PageNo < 0 || page.PageNo >= GetPageCount()) return false;
  const std::vector<uint8_t>& bytes = stored_[static_cast<size_t>(page.PageNo)];
  if (bytes.empty()) return false;
  if (page.Buffer() == nullptr) page.AllocateBuffer();
  std::memcpy(page.Buffer(), bytes.data(), bytes.size());
  page.ReadFromDisk = true;
  return true;
}

void TQDXTemporaryPageManager::InternalWritePage(TQDXPage& page) {
  if (page.PageNo < 0 || page.PageNo >= GetPageCount()) return;
  std::vector<uint8_t>& bytes = stored_[static_cast<size_t>(page.PageNo)];
  bytes.assign(page.Buffer(), page.Buffer() + PageSize());
}

}  // namespace qdx
