// The one guard idiom of the code base: a scope gives back what it took (a lock, a change, a
// flag, a position) when it ends, however it ends.
//
//   ScopeExit:      runs a release at the end of the scope unless the scope dismissed it.
//   ScopedValue<T>: gives a variable a value for the scope and puts the old one back.
//
//   locks.LockRecord(session, ...);
//   ScopeExit unlock([&] { locks.UnlockRecord(session, id); });
//   ...                      // may raise
//   unlock.Dismiss();        // the record stays locked for the post
//
//   ScopedValue exclusive(user.Exclusive, true);
//
// A release that raises while the scope is left by an error is dropped: the first error is
// the one the caller must see, and what the release could not give back goes with the
// handle or session at the latest. Left normally, the scope lets the release's error through.
// Lock guards that belong to a subsystem (CriticalSectionGuard, TQDXLockByteGuard,
// FileSystemScope, TransactionScope) stay named types of their own.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

namespace qdx {

template <typename Release>
class ScopeExit {
 public:
  explicit ScopeExit(Release release) : release_(std::move(release)) {}
  ~ScopeExit() noexcept(false) {
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
  // A helper may take something and hand the guard to its caller; the moved-from guard is idle.
  ScopeExit(ScopeExit&& other) noexcept(std::is_nothrow_move_constructible_v<Release>)
      : release_(std::move(other.release_)),
        uncaught_(other.uncaught_),
        active_(std::exchange(other.active_, false)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ScopeExit& operator=(ScopeExit&&) = delete;

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

// Requires: the variable outlives the scope. Putting a value back cannot fail (T's copy
// assignment must not raise), so the destructor needs no error rule.
template <typename T>
class ScopedValue {
 public:
  ScopedValue(T& variable, std::type_identity_t<T> value) : variable_(variable), saved_(variable) {
    variable_ = std::move(value);
  }
  ~ScopedValue() { variable_ = std::move(saved_); }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

  const T& Saved() const { return saved_; }

 private:
  T& variable_;
  T saved_;
};

}  // namespace qdx
