// Critical sections: the engine's re-entrant locks.
//
// A Windows critical section may be entered again by the thread that holds it, so the engine's
// locks are recursive mutexes. CriticalSectionGuard enters on construction and leaves on
// destruction, so that no exception path leaves a section entered.
//
// Debug builds also track the owning thread, so that code which relies on its caller holding a
// section can say so with AssertHeld (the lock order is in engine/core/database_data.h). The
// section is a capability for clang's thread-safety analysis, and the guard a scoped one.
#pragma once

#include <mutex>

#include "engine/foundation/thread_annotations.h"

#ifndef NDEBUG
#include <atomic>
#include <cassert>
#include <cstdint>
#include <thread>
#endif

namespace qdx::platform {

// A re-entrant lock. Safe for concurrent use; each Enter needs one Leave by the same thread.
class QDX_CAPABILITY("critical section") CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() QDX_ACQUIRE() {
    mutex_.lock();
    NoteEntered();
  }
  void Leave() QDX_RELEASE() {
    NoteLeaving();
    mutex_.unlock();
  }
  bool TryEnter() QDX_TRY_ACQUIRE(true) {
    if (!mutex_.try_lock()) return false;
    NoteEntered();
    return true;
  }

  // BasicLockable, so that std::lock_guard and std::unique_lock work as well.
  void lock() QDX_ACQUIRE() { Enter(); }
  void unlock() QDX_RELEASE() { Leave(); }

#ifndef NDEBUG
  // Whether the calling thread holds the section.
  bool IsHeld() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }
  // Stops a debug build when the calling thread does not hold the section; nothing in release.
  void AssertHeld() const QDX_ASSERT_CAPABILITY(this) {
    assert(IsHeld() && "the caller must hold this critical section");
  }
#else
  void AssertHeld() const QDX_ASSERT_CAPABILITY(this) {}
#endif

 private:
#ifndef NDEBUG
  // Only the owner changes these, while it holds the mutex.
  void NoteEntered() {
    if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  void NoteLeaving() {
    assert(IsHeld() && "a critical section left by a thread that does not hold it");
    if (--depth_ == 0) owner_.store(std::thread::id(), std::memory_order_relaxed);
  }
  std::atomic<std::thread::id> owner_{};
  int32_t depth_ = 0;
#else
  void NoteEntered() {}
  void NoteLeaving() {}
#endif
  std::recursive_mutex mutex_;
};

// Holds a critical section for the guard's lifetime.
class QDX_SCOPED_CAPABILITY CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CriticalSection& section) QDX_ACQUIRE(section)
      : section_(section) {
    section_.Enter();
  }
  ~CriticalSectionGuard() QDX_RELEASE() { section_.Leave(); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace qdx::platform
