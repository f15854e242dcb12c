// UTF-8 decoding by hand: the platform's locale helpers convert between UTF-16 and Windows-1252,
// so UTF-8 is taken to UTF-16 here (the way back is csv_writer's AnsiToUtf8).
#include "wagenlog/interchange/text_encoding.h"

#include <cstdint>

#include "engine/foundation/platform/locale.h"

namespace qdx::interchange {
namespace {

// Decodes the character at `pos`; answers false for a malformed sequence.
bool DecodeOne(std::string_view text, size_t& pos, char32_t& cp) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(pos);
  size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    cp = lead;
    ++pos;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - pos < length) return false;
  for (size_t i = 1; i < length; ++i) {
    const uint8_t next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  pos += length;
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  size_t pos = 0;
  char32_t cp = 0;
  while (pos < text.size()) {
    if (!DecodeOne(text, pos, cp)) return false;
  }
  return true;
}

bool Utf8ToAnsi(std::string_view utf8, std::string& ansi) {
  std::u16string wide;
  wide.reserve(utf8.size());
  size_t pos = 0;
  char32_t cp = 0;
  while (pos < utf8.size()) {
    // Characters beyond the basic plane have no Windows-1252 byte either.
    if (!DecodeOne(utf8, pos, cp) || cp == 0 || cp > 0xFFFF) return false;
    wide += static_cast<char16_t>(cp);
  }
  ansi = platform::WideToAnsi(wide);
  // WideToAnsi writes '?' for a character without a byte: a round trip shows the loss.
  return platform::AnsiToWide(ansi) == wide;
}

std::string_view Utf8Prefix(std::string_view utf8, size_t maxChars) {
  size_t pos = 0;
  for (size_t n = 0; n < maxChars && pos < utf8.size(); ++n) {
    ++pos;
    while (pos < utf8.size() && (static_cast<uint8_t>(utf8[pos]) & 0xC0) == 0x80) ++pos;
  }
  return utf8.substr(0, pos);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace qdx::interchange
