#include "engine/foundation/platform/terminal.h"

#include <unistd.h>

namespace qdx::platform {

bool StandardOutputIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace qdx::platform
