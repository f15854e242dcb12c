// The parser of expression texts (grammar in parser.cpp): builds the text's tree with a
// TQDXExprBuilder and answers its root, a condition or a value. A bad text raises the expected
// error of the catalogue with the position (from 1) where the text went wrong.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/core/expr/program.h"

namespace qdx::expr {

int32_t ParseExpression(std::string_view text, TQDXExprBuilder& builder);

}  // namespace qdx::expr
