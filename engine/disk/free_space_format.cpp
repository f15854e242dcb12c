#include "engine/disk/free_space_format.h"

#include <algorithm>

#include "engine/core/page_format.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXFreeSpaceGeometry::TQDXFreeSpaceGeometry(uint16_t pageSize, uint16_t pagesPerExtent) {
  if (pageSize <= kPageHeaderSize || pagesPerExtent == 0) {
    Raise(msg::kInvalidDatabaseFormat);
  }
  const int64_t dataSize = pageSize - kPageHeaderSize;
  pagesPerPfs_ = dataSize * 8;
  extentsPerEam_ = dataSize * 4;
  pagesPerExtent_ = pagesPerExtent;
  pagesPerEam_ = extentsPerEam_ * pagesPerExtent;
  firstMapPageAfterStart_ = std::min(pagesPerPfs_, pagesPerEam_);
}

int64_t TQDXFreeSpaceGeometry::EamPageNo(int64_t eamIndex) const {
  const int64_t pageNo = eamIndex * pagesPerEam_;
  return pageNo % pagesPerPfs_ == 0 ? pageNo + 1 : pageNo;
}

TQDXMapSlot TQDXFreeSpaceGeometry::PfsSlot(int64_t pageNo) const {
  const int64_t bit = pageNo % pagesPerPfs_;
  return {static_cast<int32_t>(PfsPageNo(pageNo / pagesPerPfs_)), static_cast<int32_t>(bit / 8),
          static_cast<uint8_t>(bit % 8)};
}

TQDXMapSlot TQDXFreeSpaceGeometry::EamSlot(int64_t extent) const {
  const int64_t entry = extent % extentsPerEam_;
  return {static_cast<int32_t>(EamPageNo(extent / extentsPerEam_)), static_cast<int32_t>(entry / 4),
          static_cast<uint8_t>(2 * (entry % 4))};
}

bool TQDXFreeSpaceGeometry::IsSystemPageSlow(int64_t pageNo) const {
  if (pageNo < 0) return false;
  if (pageNo % pagesPerPfs_ == 0 || pageNo % pagesPerEam_ == 0) return true;
  return pageNo >= 1 && (pageNo - 1) % pagesPerPfs_ == 0 && (pageNo - 1) % pagesPerEam_ == 0;
}

}  // namespace qdx
