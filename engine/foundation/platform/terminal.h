// Whether the process's standard output is a terminal, so that a command-line tool can draw a
// progress bar there and write plain lines into files and pipes.
#pragma once

namespace qdx::platform {

bool StandardOutputIsTerminal();

}  // namespace qdx::platform
