// EQDXEngineError: a dataset result code of the local cursor (edit, post, cancel, delete)
// raised as a dataset error, "Quendrix Engine Error # <code> <text>".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/database_error.h"

namespace qdx {

class EQDXEngineError : public EDatabaseError {
 public:
  // Codes -1 to -13 take their text from the result table; -8 takes `message`; any other code
  // has an empty text.
  EQDXEngineError(int32_t code, std::string_view message);

  int32_t ErrorCode() const noexcept { return errorCode_; }
  const std::string& ErrorText() const noexcept { return errorText_; }

 private:
  int32_t errorCode_;
  std::string errorText_;
};

// The text the result table gives a cursor result code; -8 gives `message`.
std::string EngineResultText(int32_t code, std::string_view message);

// Raises EQDXEngineError for a non-zero cursor result; 0 (success) does nothing.
void CheckEngineResult(int32_t code, std::string_view message);

}  // namespace qdx
