#include "engine/foundation/little_endian.h"

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

void RaiseBufferSizeExceeded() {
  Raise(msg::kBufferSizeExceeded);
}

}  // namespace qdx
