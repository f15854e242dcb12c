#include "dataset/engine_error.h"

#include <array>

#include "engine/foundation/messages.h"

namespace qdx {
namespace {

// Texts of the codes -1 .. -13; the entry of -8 is the message passed in.
constexpr std::array<const char*, 13> kResultTexts = {
    "Error adding record",
    "Error updating record",
    "Error deleting record",
    "Error updating record - record was modified by other process",
    "Error deleting record - record was modified by other process",
    "Error updating record - record was deleted by other process",
    "Error deleting record - record was deleted by other process",
    nullptr,
    "Cannot update record in temporary mode",
    "Cannot delete record in temporary mode",
    "Cannot cancel operation in temporary mode",
    "Record is locked",
    "Table is locked",
};

std::string ComposeMessage(int32_t code, const std::string& text) {
  return msg::kEngineErrorPrefix + std::to_string(code) + " " + text;
}

}  // namespace

std::string EngineResultText(int32_t code, std::string_view message) {
  if (code == -8) return std::string(message);
  if (code >= -13 && code <= -1) return kResultTexts[-code - 1];
  return {};
}

EQDXEngineError::EQDXEngineError(int32_t code, std::string_view message)
    : EDatabaseError(ComposeMessage(code, EngineResultText(code, message))),
      errorCode_(code),
      errorText_(EngineResultText(code, message)) {}

void CheckEngineResult(int32_t code, std::string_view message) {
  if (code != 0) throw EQDXEngineError(code, message);
}

}  // namespace qdx
