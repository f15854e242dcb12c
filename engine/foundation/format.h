// The safe printf-like formatter behind every formatted engine message.
//
// Engine messages are format strings ("Invalid PageNo = %d") filled with typed arguments. A
// format that does not fit its arguments (too few, or of the wrong kind, or a malformed
// conversion) gives no text instead of undefined behaviour, so that the caller can fall back to
// the bare format. Conversions: %d %u %x (integers; precision is the least number of digits),
// %s (text; precision is the most characters), %e %f %g %n (floats), %% for a percent sign;
// each may carry "-", a width and a precision, where "*" takes the value from the arguments.
// Arguments beyond those the format uses are ignored.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace qdx {

// One argument of a formatted message. Borrows text: it must outlive the formatting call.
class FormatArg {
 public:
  template <typename T>
  requires std::is_integral_v<T> FormatArg(T value)
      : value_(static_cast<int64_t>(value)) {}          // NOLINT: implicit by design
  FormatArg(double value) : value_(value) {}            // NOLINT
  FormatArg(std::string_view value) : value_(value) {}  // NOLINT
  FormatArg(const std::string& value) : value_(std::string_view(value)) {}        // NOLINT
  FormatArg(const char* value) : value_(std::string_view(value ? value : "")) {}  // NOLINT

  const int64_t* AsInteger() const { return std::get_if<int64_t>(&value_); }
  const double* AsFloat() const { return std::get_if<double>(&value_); }
  const std::string_view* AsText() const { return std::get_if<std::string_view>(&value_); }

 private:
  std::variant<int64_t, double, std::string_view> value_;
};

using FormatArgs = std::initializer_list<FormatArg>;

// Applies `format` to `args`; no value when they do not fit. Never throws but for bad_alloc.
std::optional<std::string> TryFormat(std::string_view format, std::span<const FormatArg> args);

// Applies `format` to `args`; when they do not fit, the format followed by " Arguments are
// invalid!".
std::string FormatOrFallback(std::string_view format, std::span<const FormatArg> args);

// Bytes read from a file, readable in a message and harmless on a terminal. PrintableBytes
// shows every byte outside printable ASCII as \xNN (a signature, a magic number);
// PrintableText escapes only control bytes (below 0x20, and 0x7F), so that names in any 8-bit
// or UTF-8 text stay as they are. Neither escapes the backslash: the result is for people to
// read, not to parse back.
std::string PrintableBytes(std::string_view bytes);
std::string PrintableText(std::string_view text);

}  // namespace qdx
