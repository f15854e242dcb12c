#include "wagenlog/startup.h"

#include "engine/core/expr/expression.h"

namespace qdx::wagenlog {

void Startup() {
  RegisterExpressionDefaults();
}

}  // namespace qdx::wagenlog
