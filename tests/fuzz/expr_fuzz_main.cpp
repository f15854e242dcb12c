// libFuzzer's entry to the expression parser's fuzz target (scripts/fuzz-expr).
#include "tests/core/expression_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qdx::testing::FuzzFilterExpression(data, size);
}
