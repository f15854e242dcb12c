#include "engine/foundation/format.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>

#include "engine/foundation/messages.h"

namespace qdx {
namespace {

// One parsed conversion: flags, width, precision and kind.
struct Conversion {
  bool leftAlign = false;
  int width = -1;
  int precision = -1;
  char kind = 0;
};

class Formatter {
 public:
  Formatter(std::string_view format, std::span<const FormatArg> args)
      : format_(format), args_(args) {}

  bool Run(std::string& out) {
    while (pos_ < format_.size()) {
      const char c = format_[pos_++];
      if (c != '%') {
        out.push_back(c);
        continue;
      }
      if (pos_ < format_.size() && format_[pos_] == '%') {
        out.push_back('%');
        ++pos_;
        continue;
      }
      Conversion conv;
      if (!Parse(conv) || !Emit(conv, out)) return false;
    }
    return true;
  }

 private:
  const FormatArg* NextArg() { return next_ < args_.size() ? &args_[next_++] : nullptr; }

  // Reads digits or "*" (a value from the arguments); -1 when neither is there.
  bool ReadNumber(int& value) {
    if (pos_ < format_.size() && format_[pos_] == '*') {
      ++pos_;
      const FormatArg* arg = NextArg();
      if (arg == nullptr || arg->AsInteger() == nullptr) return false;
      value = static_cast<int>(*arg->AsInteger());
      return true;
    }
    int64_t number = -1;
    while (pos_ < format_.size() && std::isdigit(static_cast<unsigned char>(format_[pos_]))) {
      number = (number < 0 ? 0 : number * 10) + (format_[pos_++] - '0');
      if (number > 100000) return false;
    }
    value = static_cast<int>(number);
    return true;
  }

  bool Parse(Conversion& conv) {
    if (pos_ < format_.size() && format_[pos_] == '-') {
      conv.leftAlign = true;
      ++pos_;
    }
    if (!ReadNumber(conv.width)) return false;
    if (pos_ < format_.size() && format_[pos_] == '.') {
      ++pos_;
      if (!ReadNumber(conv.precision)) return false;
      if (conv.precision < 0) conv.precision = 0;
    }
    if (pos_ >= format_.size()) return false;
    conv.kind = static_cast<char>(std::tolower(static_cast<unsigned char>(format_[pos_++])));
    return true;
  }

  static void Pad(const Conversion& conv, std::string_view body, std::string& out) {
    const size_t width = conv.width > 0 ? static_cast<size_t>(conv.width) : 0;
    const size_t fill = width > body.size() ? width - body.size() : 0;
    if (!conv.leftAlign) out.append(fill, ' ');
    out.append(body);
    if (conv.leftAlign) out.append(fill, ' ');
  }

  bool Emit(const Conversion& conv, std::string& out) {
    const FormatArg* arg = NextArg();
    if (arg == nullptr) return false;
    char buffer[512];
    switch (conv.kind) {
      case 'd':
      case 'u':
      case 'x': {
        const int64_t* value = arg->AsInteger();
        if (value == nullptr) return false;
        const int precision = conv.precision < 0 ? 1 : conv.precision;
        int n = 0;
        if (conv.kind == 'd') {
          n = std::snprintf(buffer, sizeof buffer, "%.*" PRId64, precision, *value);
        } else if (conv.kind == 'u') {
          // Unsigned conversion of a 32-bit value, as for the engine's 32-bit integers.
          n = std::snprintf(buffer, sizeof buffer, "%.*" PRIu64, precision,
                            *value < 0 ? static_cast<uint64_t>(static_cast<uint32_t>(*value))
                                       : static_cast<uint64_t>(*value));
        } else {
          n = std::snprintf(buffer, sizeof buffer, "%.*" PRIX64, precision,
                            *value < 0 ? static_cast<uint64_t>(static_cast<uint32_t>(*value))
                                       : static_cast<uint64_t>(*value));
        }
        if (n < 0 || n >= static_cast<int>(sizeof buffer)) return false;
        Pad(conv, std::string_view(buffer, n), out);
        return true;
      }
      case 's': {
        const std::string_view* text = arg->AsText();
        if (text == nullptr) return false;
        std::string_view body = *text;
        if (conv.precision >= 0 && body.size() > static_cast<size_t>(conv.precision))
          body = body.substr(0, conv.precision);
        Pad(conv, body, out);
        return true;
      }
      case 'e':
      case 'f':
      case 'g':
      case 'n': {
        const double* value = arg->AsFloat();
        if (value == nullptr) return false;
        const char* spec = conv.kind == 'e' ? "%.*E" : conv.kind == 'g' ? "%.*G" : "%.*f";
        const int precision = conv.precision >= 0 ? conv.precision : (conv.kind == 'g' ? 15 : 2);
        const int n = std::snprintf(buffer, sizeof buffer, spec, precision, *value);
        if (n < 0 || n >= static_cast<int>(sizeof buffer)) return false;
        Pad(conv, std::string_view(buffer, n), out);
        return true;
      }
      default:
        return false;
    }
  }

  std::string_view format_;
  std::span<const FormatArg> args_;
  size_t pos_ = 0;
  size_t next_ = 0;
};

}  // namespace

std::optional<std::string> TryFormat(std::string_view format, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 32);
  if (!Formatter(format, args).Run(out)) return std::nullopt;
  return out;
}

std::string FormatOrFallback(std::string_view format, std::span<const FormatArg> args) {
  if (auto text = TryFormat(format, args)) return std::move(*text);
  std::string fallback(format);
  fallback += msg::kArgumentsAreInvalid;
  return fallback;
}

namespace {

std::string Escaped(std::string_view bytes, bool (*keep)(unsigned char)) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (keep(byte)) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace

std::string PrintableBytes(std::string_view bytes) {
  return Escaped(bytes, [](unsigned char byte) { return byte >= 0x20 && byte < 0x7F; });
}

std::string PrintableText(std::string_view text) {
  return Escaped(text, [](unsigned char byte) { return byte >= 0x20 && byte != 0x7F; });
}

}  // namespace qdx
