#include "engine/disk/allocation_check.h"

#include <string>

#include "engine/disk/database_header.h"
#include "engine/disk/free_space_manager.h"
#include "engine/foundation/invariants.h"

namespace qdx {

void CheckAllocationAgainstHeader(const TQDXDatabaseFreeSpaceManager& maps,
                                  const TQDXDatabaseHeader& header, int32_t pageNo) {
  const std::string at = "free-space maps, page " + std::to_string(pageNo) + ": ";
  RequireInvariant(header.TotalPageCount == maps.TotalPageCount() &&
                       header.LastUsedPageNo == maps.LastUsedPageNo(),
                   at + "the header differs from the maps");
  RequireInvariant(pageNo >= 0 && pageNo <= header.LastUsedPageNo &&
                       header.LastUsedPageNo < header.TotalPageCount,
                   at + "beyond the pages the header counts");
  RequireInvariant(!maps.IsSystemPage(pageNo), at + "a map page handed out");
}

}  // namespace qdx
