// The engine's exceptions.
//
// EFrameworkException stands for the application framework's exception base: a message text
// and a help context. EQDXException is every failure the engine detects: a native code of five
// digits in the bands 10000-10999, 20000-20999 and 30000-30999, and a message that always ends
// with " - Native error: " and the code. Message texts live in messages.h; composing one never
// throws (a format that does not fit its arguments falls back to the bare format).
//
// EOSError is the framework's operating-system error, raised where a stream's operating-system
// call fails without an engine code of its own.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"

namespace qdx {

// Base of every exception of the engine, the dataset layer and the application.
class EFrameworkException : public std::exception {
 public:
  explicit EFrameworkException(std::string message, int helpContext = 0)
      : message_(std::move(message)), helpContext_(helpContext) {}

  const std::string& Message() const noexcept { return message_; }
  int HelpContext() const noexcept { return helpContext_; }
  const char* what() const noexcept override { return message_.c_str(); }

 protected:
  void SetMessage(std::string message) { message_ = std::move(message); }

 private:
  std::string message_;
  int helpContext_;
};

// A failure detected by the engine.
class EQDXException : public EFrameworkException {
 public:
  // The message, " - Native error: " and the code with at least five digits, zero-padded.
  EQDXException(int32_t code, std::string_view message);
  // The format applied to the arguments (or the format and " Arguments are invalid!" when they
  // do not fit), " - Native error: " and the code right-aligned in five positions.
  EQDXException(int32_t code, std::string_view format, FormatArgs args);

  int32_t ErrorCode() const noexcept { return errorCode_; }

 private:
  int32_t errorCode_;
};

// The framework's error for a failed operating-system call.
class EOSError : public EFrameworkException {
 public:
  explicit EOSError(int systemErrorCode);
  int SystemErrorCode() const noexcept { return systemErrorCode_; }

 private:
  int systemErrorCode_;
};

// Raises the catalogue entry's code with its text (a format applied to `args`).
[[noreturn]] void Raise(const msg::Message& message);
[[noreturn]] void Raise(const msg::Message& message, FormatArgs args);

// Raises EOSError for the calling thread's last system error.
[[noreturn]] void RaiseLastOSError();

}  // namespace qdx
