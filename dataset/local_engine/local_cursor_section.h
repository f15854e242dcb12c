// DatabaseSection: the database's critical section held by a local cursor over one operation,
// with a way to leave it while the cursor sleeps between lock tries, so that the other sessions
// of the process can go on (and release what the cursor waits for).
#pragma once

#include <cstdint>

#include "engine/core/database_data.h"
#include "engine/foundation/platform/clock.h"
#include "engine/foundation/thread_annotations.h"

namespace qdx {

class QDX_SCOPED_CAPABILITY DatabaseSection {
 public:
  explicit DatabaseSection(TQDXDatabaseData& database) QDX_ACQUIRE(database.Lock())
      : database_(database) {
    database_.EnterDatabase();
  }
  ~DatabaseSection() QDX_RELEASE() { database_.LeaveDatabase(); }
  DatabaseSection(const DatabaseSection&) = delete;
  DatabaseSection& operator=(const DatabaseSection&) = delete;

  // Sleeps outside the section. A caller that entered it more than once still holds it then.
  // Leaves and enters again: the section is held before and after, as the analysis assumes.
  void SleepOutside(uint32_t milliseconds) QDX_NO_THREAD_SAFETY_ANALYSIS {
    database_.LeaveDatabase();
    platform::Sleep(milliseconds);
    database_.EnterDatabase();
  }

 private:
  TQDXDatabaseData& database_;
};

}  // namespace qdx
