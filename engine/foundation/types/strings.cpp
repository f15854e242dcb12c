#include "engine/foundation/types/strings.h"

#include <array>
#include <vector>

#include "engine/foundation/platform/locale.h"

namespace qdx {
namespace {

struct CaseTables {
  std::array<uint8_t, 256> upper{};
  std::array<uint8_t, 256> lower{};

  CaseTables() {
    for (int b = 0; b < 256; ++b) {
      upper[b] = Map(static_cast<uint8_t>(b), platform::WideUpperCaseInPlace);
      lower[b] = Map(static_cast<uint8_t>(b), platform::WideLowerCaseInPlace);
    }
  }

  static uint8_t Map(uint8_t b, void (*map)(char16_t*, size_t)) {
    char16_t wide = platform::AnsiCharToWide(b);
    map(&wide, 1);
    const std::string back = platform::WideToAnsi(std::u16string_view(&wide, 1));
    // A character whose other case has no byte keeps its own.
    if (back[0] == '?' && wide != u'?') return b;
    return static_cast<uint8_t>(back[0]);
  }
};

const CaseTables& Tables() {
  static const CaseTables tables;
  return tables;
}

}  // namespace

uint8_t AnsiUpperChar(uint8_t c) {
  return Tables().upper[c];
}
uint8_t AnsiLowerChar(uint8_t c) {
  return Tables().lower[c];
}

std::string AnsiUpperCase(std::string_view text) {
  const CaseTables& tables = Tables();
  std::string out(text);
  for (char& c : out) c = static_cast<char>(tables.upper[static_cast<uint8_t>(c)]);
  return out;
}

std::string AnsiLowerCase(std::string_view text) {
  const CaseTables& tables = Tables();
  std::string out(text);
  for (char& c : out) c = static_cast<char>(tables.lower[static_cast<uint8_t>(c)]);
  return out;
}

std::u16string WideUpperCase(std::u16string_view text) {
  std::u16string out(text);
  platform::WideUpperCaseInPlace(out.data(), out.size());
  return out;
}

std::u16string WideLowerCase(std::u16string_view text) {
  std::u16string out(text);
  platform::WideLowerCaseInPlace(out.data(), out.size());
  return out;
}

TQDXLikePattern::TQDXLikePattern(std::u16string_view pattern, bool useEscape,
                                 bool caseInsensitive, char16_t escape)
    : locale_(&platform::UserDefaultLocale()),
      flags_(platform::kStringSort | (caseInsensitive ? platform::kIgnoreCase : 0u)),
      caseInsensitive_(caseInsensitive) {
  tokens_.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (useEscape && c == escape && i + 1 < pattern.size()) {
      tokens_.push_back({Kind::Literal, pattern[++i]});
    } else if (c == u'%') {
      if (tokens_.empty() || tokens_.back().kind != Kind::AnyRun) {
        tokens_.push_back({Kind::AnyRun, c});
      }
    } else if (c == u'_') {
      tokens_.push_back({Kind::AnyOne, c});
    } else {
      tokens_.push_back({Kind::Literal, c});
    }
  }
}

bool TQDXLikePattern::Same(char16_t a, char16_t b) const {
  if (a == b) return true;
  // Printable ASCII characters differ only by letter case.
  if (a >= 0x20 && a < 0x7F && b >= 0x20 && b < 0x7F) {
    auto lower = [](char16_t c) -> char16_t { return (c >= u'A' && c <= u'Z') ? c + 32 : c; };
    return caseInsensitive_ && lower(a) == lower(b);
  }
  return locale_->Compare(flags_, &a, 1, &b, 1) ==
         platform::CollationResult::Equal;
}

bool TQDXLikePattern::Matches(std::u16string_view text) const {
  // Walks text and pattern together; on a mismatch goes back to the last "%" and lets it take
  // one more character. Only the last "%" needs revisiting: what an earlier one could still
  // take, the later one can take as well.
  size_t t = 0, p = 0;
  size_t starToken = SIZE_MAX, starText = 0;
  while (t < text.size()) {
    if (p < tokens_.size() && tokens_[p].kind == Kind::AnyRun) {
      starToken = p++;
      starText = t;
    } else if (p < tokens_.size() &&
               (tokens_[p].kind == Kind::AnyOne || Same(text[t], tokens_[p].ch))) {
      ++t;
      ++p;
    } else if (starToken != SIZE_MAX) {
      p = starToken + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (p < tokens_.size() && tokens_[p].kind == Kind::AnyRun) ++p;
  return p == tokens_.size();
}

bool MatchesLike(std::u16string_view text, std::u16string_view pattern, bool useEscape,
                 bool caseInsensitive, char16_t escape) {
  return TQDXLikePattern(pattern, useEscape, caseInsensitive, escape).Matches(text);
}

bool MatchesLike(std::string_view text, std::string_view pattern, bool useEscape,
                 bool caseInsensitive, char escape) {
  return MatchesLike(platform::AnsiToWide(text), platform::AnsiToWide(pattern), useEscape,
                     caseInsensitive, platform::AnsiCharToWide(static_cast<uint8_t>(escape)));
}

}  // namespace qdx
