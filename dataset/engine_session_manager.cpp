// The engine sessions a manager made, each entered in it for its lifetime.
#include "dataset/engine_session_manager.h"

#include <algorithm>

#include "dataset/local_engine/local_session.h"

namespace qdx {

// An engine session that leaves its manager's list when it is destroyed.
class TQDXEngineSessionManager::ManagedSession final : public TQDXLocalSession {
 public:
  explicit ManagedSession(TQDXEngineSessionManager& manager) : manager_(&manager) {}
  ~ManagedSession() override {
    if (manager_ != nullptr) manager_->Remove(*this);
  }

 private:
  friend class TQDXEngineSessionManager;
  // Null once the manager is gone.
  TQDXEngineSessionManager* manager_;
};

TQDXEngineSessionManager::~TQDXEngineSessionManager() {
  const platform::CriticalSectionGuard lock(lock_);
  for (ManagedSession* session : sessions_) session->manager_ = nullptr;
}

std::unique_ptr<TQDXLocalSession> TQDXEngineSessionManager::NewSession() {
  auto session = std::make_unique<ManagedSession>(*this);
  const platform::CriticalSectionGuard lock(lock_);
  sessions_.push_back(session.get());
  return session;
}

int32_t TQDXEngineSessionManager::SessionCount() const {
  const platform::CriticalSectionGuard lock(lock_);
  return static_cast<int32_t>(sessions_.size());
}

bool TQDXEngineSessionManager::Holds(const TQDXLocalSession& session) const {
  const platform::CriticalSectionGuard lock(lock_);
  return std::any_of(sessions_.begin(), sessions_.end(),
                     [&](const ManagedSession* held) { return held == &session; });
}

void TQDXEngineSessionManager::Remove(const ManagedSession& session) {
  const platform::CriticalSectionGuard lock(lock_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), &session), sessions_.end());
}

TQDXEngineSessionManager& ProcessEngineSessionManager() {
  // Never destroyed, so that components destroyed at exit still find it.
  static auto* manager = new TQDXEngineSessionManager();
  return *manager;
}

}  // namespace qdx
