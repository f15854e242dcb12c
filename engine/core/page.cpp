#include "engine/core/page.h"

#include <cstring>

#include "engine/core/page_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

int32_t TQDXPage::PageSize() const {
  return manager_->PageSize();
}

int32_t TQDXPage::HeaderSize() const {
  return manager_->PageHeaderSize();
}

void TQDXPage::InitHeader() {
  if (HeaderSize() >= kPageHeaderSize) page_header::Init({buffer_, kPageHeaderSize});
}

void TQDXPage::AllocateBuffer() {
  SetBuffer(TQDXMemBlock(PageSize(), /*zeroed=*/true));
  InitHeader();
}

void TQDXPage::FreeBuffer() {
  owned_ = TQDXMemBlock();
  buffer_ = nullptr;
  bufferSize_ = 0;
  ownsBuffer_ = true;
}

TQDXMemBlock TQDXPage::TakeBuffer() {
  TQDXMemBlock taken = ownsBuffer_ ? std::move(owned_) : TQDXMemBlock();
  FreeBuffer();
  return taken;
}

void TQDXPage::SetBuffer(TQDXMemBlock buffer) {
  owned_ = std::move(buffer);
  buffer_ = owned_.data();
  bufferSize_ = owned_.size();
  ownsBuffer_ = true;
}

void TQDXPage::BorrowBuffer(uint8_t* buffer, int64_t size) {
  owned_ = TQDXMemBlock();
  buffer_ = buffer;
  bufferSize_ = size;
  ownsBuffer_ = false;
}

void TQDXPage::Resize(int64_t newSize) {
  if (buffer_ == nullptr) Raise(msg::kPageBufferNil);
  if (newSize < PageSize()) Raise(msg::kInvalidPageModification);
  if (ownsBuffer_) {
    owned_.Resize(newSize, /*zeroFill=*/true);
    SetBuffer(std::move(owned_));
    return;
  }
  TQDXMemBlock copy(newSize, /*zeroed=*/true);
  std::memcpy(copy.data(), buffer_, static_cast<size_t>(std::min(bufferSize_, newSize)));
  SetBuffer(std::move(copy));
}

void TQDXPage::Reuse(int32_t pageNo, int32_t sessionID) {
  PageNo = pageNo;
  Dirty = false;
  UseCount = 0;
  List = TQDXPageList::None;
  SessionID = sessionID;
  ReadFromDisk = false;
  Encrypt = true;
  olderInList_ = newerInList_ = nullptr;
  sessionVersions_.clear();
}

bool TQDXPage::Refresh() {
  if (!manager_->MultiUser || buffer_ == nullptr) return true;
  const int32_t stored = manager_->ReadPageVersion(PageNo);
  if (stored == kFreedPageVersion || stored == PageVersion()) {
    SetPageVersion(stored);
    return true;
  }
  return manager_->InternalReadPage(*this);
}

TQDXPage::SessionVersion TQDXPage::GetSessionVersion(int32_t sessionID) const {
  const int64_t index = int64_t{sessionID} + 2;
  if (index < 0 || index >= static_cast<int64_t>(sessionVersions_.size())) return {};
  return sessionVersions_[static_cast<size_t>(index)];
}

void TQDXPage::SetSessionVersion(int32_t sessionID, SessionVersion version) {
  const int64_t index = int64_t{sessionID} + 2;
  if (index < 0) return;
  if (index >= static_cast<int64_t>(sessionVersions_.size())) {
    sessionVersions_.resize(static_cast<size_t>(index) + 1);
  }
  sessionVersions_[static_cast<size_t>(index)] = version;
}

}  // namespace qdx
