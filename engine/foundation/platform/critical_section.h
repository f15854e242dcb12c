// Critical sections: the engine's re-entrant locks.
//
// A Windows critical section may be entered again by the thread that holds it, so the engine's
// locks are recursive mutexes. CriticalSectionGuard enters on construction and leaves on
// destruction, so that no exception path leaves a section entered.
#pragma once

#include <mutex>

namespace qdx::platform {

// A re-entrant lock. Safe for concurrent use; each Enter needs one Leave by the same thread.
class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }

  // BasicLockable, so that std::lock_guard and std::unique_lock work as well.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for the guard's lifetime.
class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~CriticalSectionGuard() { section_.Leave(); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace qdx::platform
