// Locking contracts written on declarations and checked by clang's -Wthread-safety: which
// object is a lock (a capability), which guard holds one for a scope, which function takes,
// gives back or needs one. Other compilers read them as nothing.
//
//   class QDX_CAPABILITY("critical section") CriticalSection { void Enter() QDX_ACQUIRE(); ... };
//   void ApplyChanges(int32_t sessionID) QDX_REQUIRES(DatabaseLock());
#pragma once

#if defined(__clang__)
#define QDX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QDX_THREAD_ANNOTATION(x)
#endif

#define QDX_CAPABILITY(name) QDX_THREAD_ANNOTATION(capability(name))
#define QDX_SCOPED_CAPABILITY QDX_THREAD_ANNOTATION(scoped_lockable)
#define QDX_ACQUIRE(...) QDX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define QDX_RELEASE(...) QDX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define QDX_TRY_ACQUIRE(...) QDX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define QDX_REQUIRES(...) QDX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define QDX_ASSERT_CAPABILITY(x) QDX_THREAD_ANNOTATION(assert_capability(x))
#define QDX_RETURN_CAPABILITY(x) QDX_THREAD_ANNOTATION(lock_returned(x))
#define QDX_GUARDED_BY(x) QDX_THREAD_ANNOTATION(guarded_by(x))
// For the few functions whose locking the analysis cannot follow (a lock left and taken again
// around a sleep); each use says why.
#define QDX_NO_THREAD_SAFETY_ANALYSIS QDX_THREAD_ANNOTATION(no_thread_safety_analysis)
