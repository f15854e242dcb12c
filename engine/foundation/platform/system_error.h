// The last system error of the calling thread, as Windows keeps it, and its message text.
//
// Every platform call that fails records errno here before it returns its failure value, so
// that the engine can put the code and text into its own messages after the fact.
#pragma once

#include <string>

namespace qdx::platform {

// The code recorded by the last failing platform call on this thread (0 when none failed).
int LastSystemError();

// Records `code` as the calling thread's last system error.
void SetLastSystemError(int code);

// The operating system's text for an error code (strerror).
std::string SystemErrorMessage(int code);

}  // namespace qdx::platform
