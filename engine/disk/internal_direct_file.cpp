#include "engine/disk/internal_direct_file.h"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/internal_file_format.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

void TQDXInternalDBDirectAccessFile::RequireOpen(const char* operation) const {
  if (!IsOpen()) Raise(msg::kDirectFileClosed, {operation});
}

void TQDXInternalDBDirectAccessFile::Create(int32_t size) {
  if (IsOpen()) Raise(msg::kDirectFileExists, {startPageNo_});
  const int64_t count = ChainPageCount(size, pageManager_.PageDataSize());
  std::vector<int32_t> pages;
  TQDXPageHandle previous = TQDXPageHandle::Add(pageManager_, kSystemSessionID, pageType_);
  previous->Encrypt = false;
  TQDXDirectFileHeader{size}.Encode(previous->DataArea());
  previous->Dirty = true;
  pages.push_back(previous->PageNo);
  for (int64_t i = 1; i < count; ++i) {
    TQDXPageHandle page = TQDXPageHandle::Add(pageManager_, kSystemSessionID, pageType_);
    page->Encrypt = false;
    previous->SetNextPageNo(page->PageNo);
    previous->Dirty = true;
    pages.push_back(page->PageNo);
    previous = std::move(page);
  }
  startPageNo_ = pages.front();
  pages_ = std::move(pages);
  usableSize_ = size;
}

void TQDXInternalDBDirectAccessFile::Open(int32_t startPageNo) {
  Close();
  startPageNo_ = startPageNo;
  try {
    const int32_t size = GetSize();
    const int32_t dataSize = pageManager_.PageDataSize();
    const int64_t count = ChainPageCount(std::max(size, 0), dataSize);
    std::unordered_set<int32_t> seen;
    int32_t pageNo = startPageNo;
    for (int64_t i = 0; i < count; ++i) {
      if (pageNo < 0 || !seen.insert(pageNo).second) {
        Raise(msg::kErrorGettingTableFilePage, {i});
      }
      // Everything but byte 0, which another process may hold locked.
      std::array<uint8_t, kPageHeaderSize> header{};
      pageManager_.ReadPagePart(header.data() + 1, pageNo, kPageHeaderSize - 1, 1);
      const uint16_t type = le::Load<uint16_t>(header.data() + page_header::kTypeOffset);
      if (type != pageType_) Raise(msg::kInvalidPageTypeFound, {type, pageType_});
      pages_.push_back(pageNo);
      pageNo = le::Load<int32_t>(header.data() + page_header::kNextPageNoOffset);
    }
    usableSize_ = pages_.size() == 1 && pageNo == -1 ? dataSize - kInternalFileHeaderSize : size;
  } catch (...) {
    Close();
    throw;
  }
}

void TQDXInternalDBDirectAccessFile::Close() {
  startPageNo_ = -1;
  usableSize_ = 0;
  pages_.clear();
}

void TQDXInternalDBDirectAccessFile::Delete(int32_t startPageNo) {
  std::unordered_set<int32_t> seen;
  int32_t pageNo = startPageNo == -1 ? startPageNo_ : startPageNo;
  while (pageNo != -1 && seen.insert(pageNo).second) {
    std::array<uint8_t, kPageHeaderSize> header{};
    pageManager_.ReadPagePart(header.data() + 1, pageNo, kPageHeaderSize - 1, 1);
    pageManager_.RemovePage(kSystemSessionID, pageNo);
    pageNo = le::Load<int32_t>(header.data() + page_header::kNextPageNoOffset);
  }
  Close();
}

int32_t TQDXInternalDBDirectAccessFile::GetSize() {
  RequireOpen("GetSize");
  std::array<uint8_t, kInternalFileHeaderSize> header{};
  pageManager_.ReadPagePart(header.data(), startPageNo_, kInternalFileHeaderSize, kPageHeaderSize);
  return TQDXDirectFileHeader::Decode(header).FileSize;
}

TQDXInternalDBDirectAccessFile::Location TQDXInternalDBDirectAccessFile::Locate(
    int32_t position) const {
  const TQDXChainLocation location = ChainLocation(position, pageManager_.PageDataSize());
  if (position < 0 || position > usableSize_ ||
      location.PageIndex >= static_cast<int64_t>(pages_.size())) {
    Raise(msg::kSeekBeyondFileSize, {usableSize_, position});
  }
  return {static_cast<size_t>(location.PageIndex), location.DataOffset + kPageHeaderSize};
}

template <typename Transfer>
void TQDXInternalDBDirectAccessFile::ForEachPart(int32_t count, int32_t position,
                                                 Transfer transfer) {
  if (count <= 0) return;
  Location at = Locate(position);
  int32_t done = 0;
  while (done < count && at.PageIndex < pages_.size()) {
    const int32_t part = std::min(count - done, pageManager_.PageSize() - at.Offset);
    transfer(pages_[at.PageIndex], at.Offset, done, part);
    done += part;
    ++at.PageIndex;
    at.Offset = kPageHeaderSize;
  }
}

void TQDXInternalDBDirectAccessFile::DirectReadBuffer(void* buffer, int32_t count,
                                                      int32_t position) {
  RequireOpen("DirectReadBuffer");
  auto* bytes = static_cast<uint8_t*>(buffer);
  ForEachPart(count, position, [&](int32_t pageNo, int32_t offset, int32_t done, int32_t part) {
    pageManager_.ReadPagePart(bytes + done, pageNo, part, offset);
  });
}

void TQDXInternalDBDirectAccessFile::DirectWriteBuffer(const void* buffer, int32_t count,
                                                       int32_t position) {
  RequireOpen("DirectWriteBuffer");
  const int32_t size = GetSize();
  if (static_cast<int64_t>(position) + count > size) {
    Raise(msg::kWriteAfterEndOfFile, {size, position, count});
  }
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  ForEachPart(count, position, [&](int32_t pageNo, int32_t offset, int32_t done, int32_t part) {
    pageManager_.WritePagePart(bytes + done, pageNo, part, offset);
  });
}

bool TQDXInternalDBDirectAccessFile::LockFile() {
  RequireOpen("LockFile");
  return pageManager_.LockPageByte(startPageNo_, 0);
}

bool TQDXInternalDBDirectAccessFile::UnlockFile() {
  RequireOpen("UnlockFile");
  return pageManager_.UnlockPageByte(startPageNo_, 0);
}

bool TQDXInternalDBDirectAccessFile::LockByte(int32_t position) {
  RequireOpen("LockByte");
  const Location at = Locate(position);
  return pageManager_.LockPageByte(pages_[at.PageIndex], at.Offset);
}

bool TQDXInternalDBDirectAccessFile::UnlockByte(int32_t position) {
  RequireOpen("UnlockByte");
  const Location at = Locate(position);
  return pageManager_.UnlockPageByte(pages_[at.PageIndex], at.Offset);
}

bool TQDXInternalDBDirectAccessFile::IsByteLocked(int32_t position) {
  RequireOpen("IsByteLocked");
  const Location at = Locate(position);
  return pageManager_.IsPageByteLocked(pages_[at.PageIndex], at.Offset);
}

bool TQDXInternalDBDirectAccessFile::LockRegion(int32_t position, int32_t count) {
  RequireOpen("LockByte");
  // All or nothing: when one part is refused, the parts already taken are given back.
  struct Part {
    int32_t pageNo, offset, size;
  };
  std::vector<Part> taken;
  bool locked = true;
  ForEachPart(count, position, [&](int32_t pageNo, int32_t offset, int32_t, int32_t part) {
    if (!locked) return;
    locked = pageManager_.LockPageRegion(pageNo, offset, part);
    if (locked) taken.push_back({pageNo, offset, part});
  });
  if (!locked) {
    for (const Part& part : taken)
      pageManager_.UnlockPageRegion(part.pageNo, part.offset, part.size);
  }
  return locked;
}

bool TQDXInternalDBDirectAccessFile::UnlockRegion(int32_t position, int32_t count) {
  RequireOpen("UnlockByte");
  bool unlocked = true;
  ForEachPart(count, position, [&](int32_t pageNo, int32_t offset, int32_t, int32_t part) {
    unlocked = pageManager_.UnlockPageRegion(pageNo, offset, part) && unlocked;
  });
  return unlocked;
}

bool TQDXInternalDBDirectAccessFile::IsRegionLocked(int32_t position, int32_t count) {
  RequireOpen("IsRegionLocked");
  bool locked = false;
  ForEachPart(count, position, [&](int32_t pageNo, int32_t offset, int32_t, int32_t part) {
    if (!locked) locked = pageManager_.IsPageRegionLocked(pageNo, offset, part);
  });
  return locked;
}

}  // namespace qdx
