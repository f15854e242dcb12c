// TQDXPageHandle: a page lent by a page manager, returned with PutPage when the handle ends, on
// every path. Move-only.
//
//   TQDXPageHandle page = TQDXPageHandle::Get(manager, sessionID, pageNo, true, ptTableRecord);
//   ... page->Data() ...
//   page->Dirty = true;   // before the page goes back
#pragma once

#include <cstdint>
#include <utility>

#include "engine/core/page.h"
#include "engine/core/page_manager.h"

namespace qdx {

class TQDXPageHandle {
 public:
  TQDXPageHandle() = default;
  // Takes over a page already obtained from `manager`.
  TQDXPageHandle(TQDXPageManager& manager, TQDXPage* page) : manager_(&manager), page_(page) {}
  ~TQDXPageHandle() { ReleaseQuietly(); }
  TQDXPageHandle(TQDXPageHandle&& other) noexcept
      : manager_(std::exchange(other.manager_, nullptr)),
        page_(std::exchange(other.page_, nullptr)) {}
  TQDXPageHandle& operator=(TQDXPageHandle&& other) noexcept {
    if (this != &other) {
      ReleaseQuietly();
      manager_ = std::exchange(other.manager_, nullptr);
      page_ = std::exchange(other.page_, nullptr);
    }
    return *this;
  }
  TQDXPageHandle(const TQDXPageHandle&) = delete;
  TQDXPageHandle& operator=(const TQDXPageHandle&) = delete;

  static TQDXPageHandle Get(TQDXPageManager& manager, int32_t sessionID, int32_t pageNo,
                            bool synchronize, uint16_t pageType) {
    return {manager, manager.GetPage(sessionID, pageNo, synchronize, pageType)};
  }
  static TQDXPageHandle Add(TQDXPageManager& manager, int32_t sessionID, uint16_t pageType) {
    return {manager, manager.AddPage(sessionID, pageType)};
  }

  TQDXPage* get() const { return page_; }
  TQDXPage* operator->() const { return page_; }
  TQDXPage& operator*() const { return *page_; }
  explicit operator bool() const { return page_ != nullptr; }

  // Returns the page now, raising what PutPage raises.
  void Release() {
    if (page_ == nullptr) return;
    TQDXPage* page = std::exchange(page_, nullptr);
    manager_->PutPage(page);
  }

 private:
  void ReleaseQuietly() noexcept {
    try {
      Release();
    } catch (...) {  // PutPage fails only on a broken list; a destructor cannot report it
    }
  }

  TQDXPageManager* manager_ = nullptr;
  TQDXPage* page_ = nullptr;
};

}  // namespace qdx
