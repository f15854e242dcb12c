#include "dataset/process_lock.h"

namespace qdx {

platform::CriticalSection& ProcessLock() {
  // Built on first use and never destroyed, so that components destroyed at exit still find it.
  static auto* lock = new platform::CriticalSection();
  return *lock;
}

}  // namespace qdx
