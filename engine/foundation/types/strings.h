// The engine's string routines: case mapping and LIKE pattern matching.
//
// 8-bit text is Windows-1252. Its case mapping goes through two 256-entry tables built once from
// the platform's upper- and lower-casing of each byte value (a letter whose other case has no
// byte keeps its case: "ß", "µ"). UTF-16 text is case-mapped code point by code point, keeping
// its length. Both are safe for concurrent use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/platform/locale.h"

namespace qdx {

uint8_t AnsiUpperChar(uint8_t c);
uint8_t AnsiLowerChar(uint8_t c);
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
std::u16string WideUpperCase(std::u16string_view text);
std::u16string WideLowerCase(std::u16string_view text);

// LIKE matching. In the pattern "%" matches any run of characters (also none), "_" any one
// character, and with `useEscape` the escape character makes the next pattern character literal
// (an escape character ending the pattern stands for itself). Other characters match one at a
// time by the user default locale's comparison with the string-sort flag, ignoring case when
// asked. A pattern of only "%" matches everything. Time is at most proportional to the product of
// the lengths, whatever the pattern.
bool MatchesLike(std::string_view text, std::string_view pattern, bool useEscape,
                 bool caseInsensitive, char escape);
bool MatchesLike(std::u16string_view text, std::u16string_view pattern, bool useEscape,
                 bool caseInsensitive, char16_t escape);

// A LIKE pattern taken apart once and matched against many texts, as MatchesLike matches;
// matching allocates nothing. Characters compare by the user default locale of the time the
// pattern was made. Safe for concurrent matching.
class TQDXLikePattern {
 public:
  TQDXLikePattern(std::u16string_view pattern, bool useEscape, bool caseInsensitive,
                  char16_t escape);
  bool Matches(std::u16string_view text) const;

 private:
  enum class Kind : uint8_t { AnyRun, AnyOne, Literal };
  struct Token {
    Kind kind;
    char16_t ch;
  };
  bool Same(char16_t a, char16_t b) const;

  std::vector<Token> tokens_;
  const platform::Locale* locale_;
  uint32_t flags_;
  bool caseInsensitive_;
};

}  // namespace qdx
