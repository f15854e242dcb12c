#include "engine/core/record_manager.h"

namespace qdx {

int TQDXBaseRecordManager::CompareRecordIDs(TQDXRecordID a, TQDXRecordID b) const {
  if (a.PageNo != b.PageNo) return a.PageNo < b.PageNo ? -1 : 1;
  if (a.SlotNo != b.SlotNo) return a.SlotNo < b.SlotNo ? -1 : 1;
  return 0;
}

int64_t TQDXBaseRecordManager::GetRecordCountEstimate(int32_t) const {
  return RecordCount;
}

}  // namespace qdx
