// The free-space maps against the database header right after a page was allocated, checked in
// debug builds (engine/foundation/invariants.h). One function, called from the one place pages
// are allocated (TQDXDiskPageManager::InternalAddPage), so that the maps' own code can grow the
// check as the maps change. It looks only at what is in memory: the header image and the maps'
// working values; reading a map page here would add file calls the fault tests count.
#pragma once

#include <cstdint>

namespace qdx {

class TQDXDatabaseFreeSpaceManager;
struct TQDXDatabaseHeader;

// 20390 unless the header describes the maps as the allocation left them: the same
// TotalPageCount and LastUsedPageNo, the page within both, and not a map page.
void CheckAllocationAgainstHeader(const TQDXDatabaseFreeSpaceManager& maps,
                                  const TQDXDatabaseHeader& header, int32_t pageNo);

}  // namespace qdx
