// ScopeGuard: gives back what a scope took (a lock, a change, a flag) when the scope ends,
// however it ends, unless the scope dismissed it.
//
//   locks.LockRecord(session, ...);
//   ScopeGuard unlock([&] { locks.UnlockRecord(session, id); });
//   ...                      // may raise
//   unlock.Dismiss();        // the record stays locked for the post
//
// A release that raises while the scope is left by an error is dropped: the first error is
// the one the caller must see, and what the release could not give back goes with the
// handle or session at the latest. Left normally, the scope lets the release's error through.
#pragma once

#include <exception>
#include <utility>

namespace qdx {

template <typename Release>
class ScopeGuard {
 public:
  explicit ScopeGuard(Release release) : release_(std::move(release)) {}
  ~ScopeGuard() noexcept(false) {
    if (!active_) return;
    if (std::uncaught_exceptions() > uncaught_) {
      try {
        release_();
      } catch (...) {
      }
      return;
    }
    release_();
  }
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;

  // The scope keeps what it took.
  void Dismiss() { active_ = false; }
  // Gives it back now rather than at the end of the scope.
  void ReleaseNow() {
    if (!active_) return;
    active_ = false;
    release_();
  }

 private:
  Release release_;
  int uncaught_ = std::uncaught_exceptions();
  bool active_ = true;
};

}  // namespace qdx
