// Stated invariants: debug-build checkers that look at a structure right where it changed (a
// B-tree after a split or a merge, the page lists after a commit, the free-space maps after an
// allocation) and stop the operation with 20390 "Internal error: %s" when it is not as the code
// promises, before the fault can reach the file.
//
// The checks are compiled when NDEBUG is not defined (Debug builds, the test builds); a build
// may also turn them off with -DQDX_NO_INVARIANT_CHECKS. Callers test kCheckInvariants, so the
// checker's code is still compiled (and kept honest) in every build:
//
//   if constexpr (kCheckInvariants) CheckSplitPages(sessionID);
#pragma once

#include <string>

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

#if !defined(NDEBUG) && !defined(QDX_NO_INVARIANT_CHECKS)
inline constexpr bool kCheckInvariants = true;
#else
inline constexpr bool kCheckInvariants = false;
#endif

// Raises 20390 with `what` when `holds` is false; `what` says which invariant and where.
inline void RequireInvariant(bool holds, const std::string& what) {
  if (!holds) Raise(msg::kInvariantBroken, {what});
}

}  // namespace qdx
