#include "engine/foundation/platform/system_error.h"

#include <cstring>

namespace qdx::platform {
namespace {
thread_local int lastSystemError = 0;
}

int LastSystemError() {
  return lastSystemError;
}

void SetLastSystemError(int code) {
  lastSystemError = code;
}

std::string SystemErrorMessage(int code) {
  char buffer[256];
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace qdx::platform
