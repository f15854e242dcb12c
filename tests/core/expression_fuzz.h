// The expression parser's fuzz target: shared by the libFuzzer program (scripts/fuzz-expr) and
// the test that replays the seed texts of tests/fuzz/expr.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qdx::testing {

// Compiles the bytes as a filter text (the first byte, when there is more than one, picks the
// filter options) against a fixed small set of fields, evaluates it against a record of values
// and an all-NULL record, and tries the text as a default expression. Answers 0; anything but
// an engine error escapes (a finding).
int FuzzFilterExpression(const uint8_t* data, size_t size);

// The seed texts, one per file of the seed folder.
std::vector<std::string> ExpressionFuzzSeeds();

}  // namespace qdx::testing
