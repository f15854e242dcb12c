#include "tests/reliability/engine_session.h"

#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/platform/critical_section.h"

namespace qdx::reliability {

bool LeftInCommit(const std::string& path) {
  TQDXDiskPageManager pm;
  const platform::CriticalSectionGuard held(pm.DatabaseLock());
  bool multiUser = false;
  bool repairNeeded = false;
  bool readOnly = true;
  pm.OpenDatabaseFile(path, {}, multiUser, /*exclusive=*/false, repairNeeded, readOnly);
  return repairNeeded;
}

TEngineWorkloadSession::TEngineWorkloadSession(const TWorkload& workload, const std::string& path,
                                               bool multiUser, int worker, uint64_t seed,
                                               int64_t stepsDone)
    : data_(path),
      worker_(worker),
      seed_(seed),
      steps_(stepsDone),
      multiUser_(multiUser),
      durable_(workload.Durable) {
  data_.LockRetryCount = workload.LockRetryCount;
  data_.LockRetryPause = workload.LockRetryPause;
  data_.LockTiming.CommitTries = workload.LockRetryCount;
  data_.LockTiming.CommitPauseMs = workload.LockRetryPause;
  session_.SetMultiUser(multiUser);
  data_.AddSession(session_);
}

TEngineWorkloadSession::~TEngineWorkloadSession() {
  try {
    data_.RemoveSession(session_);
  } catch (const EQDXException&) {
  }
}

}  // namespace qdx::reliability
