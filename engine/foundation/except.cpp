#include "engine/foundation/except.h"

#include <cstdio>

#include "engine/foundation/messages.h"
#include "engine/foundation/platform/system_error.h"

namespace qdx {
namespace {

std::string WithCode(std::string text, const char* codeFormat, int32_t code) {
  char digits[16];
  std::snprintf(digits, sizeof digits, codeFormat, code);
  text += msg::kNativeErrorSuffix;
  text += digits;
  return text;
}

}  // namespace

EQDXException::EQDXException(int32_t code, std::string_view message)
    : EFrameworkException(WithCode(std::string(message), "%.5d", code)), errorCode_(code) {}

EQDXException::EQDXException(int32_t code, std::string_view format, FormatArgs args)
    : EFrameworkException(
          WithCode(FormatOrFallback(format, {args.begin(), args.size()}), "%5d", code)),
      errorCode_(code) {}

EOSError::EOSError(int systemErrorCode)
    : EFrameworkException("System Error.  Code: " + std::to_string(systemErrorCode) + ".\n" +
                          platform::SystemErrorMessage(systemErrorCode)),
      systemErrorCode_(systemErrorCode) {}

void Raise(const msg::Message& message) {
  throw EQDXException(message.Code, message.Text);
}

void Raise(const msg::Message& message, FormatArgs args) {
  throw EQDXException(message.Code, message.Text, args);
}

void RaiseLastOSError() {
  throw EOSError(platform::LastSystemError());
}

}  // namespace qdx
