// TQDXEngineSessionManager: where the engine sessions of a session component come from.
//
// Every engine session a database component opens is made by the manager of the session the
// component is registered in, and stays entered there until it is destroyed. The default session
// uses the one process-wide manager (ProcessEngineSessionManager); every other session acquires
// a manager of its own when it is activated and releases it when it is deactivated, after its
// database components have disconnected. A manager destroyed while engine sessions of its are
// still alive lets them go on without it.
//
// A manager may be used from several threads (the default one is shared by every component of
// the default session); its own lock guards the list.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/foundation/platform/critical_section.h"

namespace qdx {

class TQDXLocalSession;

class TQDXEngineSessionManager {
 public:
  TQDXEngineSessionManager() = default;
  ~TQDXEngineSessionManager();
  TQDXEngineSessionManager(const TQDXEngineSessionManager&) = delete;
  TQDXEngineSessionManager& operator=(const TQDXEngineSessionManager&) = delete;

  // A new engine session, disconnected, entered in this manager until it is destroyed.
  std::unique_ptr<TQDXLocalSession> NewSession();
  // The engine sessions alive now.
  int32_t SessionCount() const;
  bool Holds(const TQDXLocalSession& session) const;

 private:
  class ManagedSession;
  void Remove(const ManagedSession& session);

  mutable platform::CriticalSection lock_;
  std::vector<ManagedSession*> sessions_;
};

// The manager of the default session, built on first use and never destroyed.
TQDXEngineSessionManager& ProcessEngineSessionManager();

}  // namespace qdx
