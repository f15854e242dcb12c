// The process-wide lock of the dataset layer: every session and database component operation
// that reads or changes the registries (the sessions' database lists, connecting, creating,
// activating a session) runs under it. It is the first lock of the engine's lock order
// (engine/core/database_data.h): taken before the session list's lock and before the list of
// open database data objects, never while either is held.
#pragma once

#include "engine/foundation/platform/critical_section.h"

namespace qdx {

// Re-entrant, so that an operation may call another one that takes it too.
platform::CriticalSection& ProcessLock();

}  // namespace qdx
