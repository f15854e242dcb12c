// What every program of the project sets up before it opens a database: the program, qdx,
// wagenlog-render and wagenlog-demo call Startup first, so that a table behaves the same
// whichever of them writes it (a default-value expression such as CURRENT_DATE gives the same
// value through `qdx import` as through the program).
#pragma once

namespace qdx::wagenlog {

// Registers the engine's pluggable services: the default-value expressions. Idempotent.
void Startup();

}  // namespace qdx::wagenlog
