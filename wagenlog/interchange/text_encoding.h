// Text at the boundary between CSV files and the expense table: files are UTF-8, the table holds
// 8-bit text in Windows-1252. Conversions answer false (never substitute a character) when a
// text cannot be carried over, so that an import reports the value instead of storing a '?'.
#pragma once

#include <string>
#include <string_view>

namespace qdx::interchange {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

// UTF-8 to Windows-1252. False when the text is not valid UTF-8, holds a zero byte, or holds a
// character that has no Windows-1252 byte.
bool Utf8ToAnsi(std::string_view utf8, std::string& ansi);

// The first `maxChars` characters of a UTF-8 text (whole characters, never half of one).
std::string_view Utf8Prefix(std::string_view utf8, size_t maxChars);

// The text without blanks and tabs at either end.
std::string_view TrimBlanks(std::string_view text);

}  // namespace qdx::interchange
