#include "wagenlog/interchange/date_pattern.h"

#include "wagenlog/interchange/text_encoding.h"
#include "engine/foundation/platform/clock.h"
#include "engine/foundation/types/date_time.h"

namespace qdx::interchange {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads between `least` and `most` digits at `pos`.
bool ReadDigits(std::string_view text, size_t& pos, size_t least, size_t most, int32_t& value) {
  size_t n = 0;
  value = 0;
  while (n < most && pos < text.size() && IsDigit(text[pos])) {
    value = value * 10 + (text[pos] - '0');
    ++pos, ++n;
  }
  return n >= least;
}

// A time of day after a date: H:mm, H:mm:ss or H:mm:ss.fff, after a blank or a 'T'.
bool IsTimeTail(std::string_view tail) {
  if (tail.empty()) return true;
  if (tail[0] != ' ' && tail[0] != 'T') return false;
  size_t pos = 1;
  int32_t hour = 0, minute = 0, second = 0;
  if (!ReadDigits(tail, pos, 1, 2, hour) || hour > 23) return false;
  if (pos >= tail.size() || tail[pos++] != ':') return false;
  if (!ReadDigits(tail, pos, 2, 2, minute) || minute > 59) return false;
  if (pos < tail.size() && tail[pos] == ':') {
    ++pos;
    if (!ReadDigits(tail, pos, 2, 2, second) || second > 59) return false;
    if (pos < tail.size() && tail[pos] == '.') {
      ++pos;
      int32_t fraction = 0;
      if (!ReadDigits(tail, pos, 1, 9, fraction)) return false;
    }
  }
  return pos == tail.size();
}

void AppendNumber(std::string& out, int32_t value, size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out += digits;
}

}  // namespace

int32_t CurrentYear() {
  return platform::CurrentLocalTime().Year;
}

std::optional<DatePattern> DatePattern::Parse(std::string_view pattern) {
  std::vector<Part> parts;
  int days = 0, months = 0, years = 0;
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == 'd' || c == 'M' || c == 'y') {
      size_t width = 0;
      while (i < pattern.size() && pattern[i] == c) ++i, ++width;
      if (c == 'y' ? (width != 2 && width != 4) : width > 2) return std::nullopt;
      const Kind kind = c == 'd' ? Kind::Day : c == 'M' ? Kind::Month : Kind::Year;
      (c == 'd' ? days : c == 'M' ? months : years) += 1;
      parts.push_back({kind, static_cast<uint8_t>(width), 0});
    } else {
      parts.push_back({Kind::Literal, 0, c});
      ++i;
    }
  }
  if (days != 1 || months != 1 || years != 1) return std::nullopt;
  return DatePattern(std::string(pattern), std::move(parts));
}

std::optional<DatePattern> DatePattern::FromShortDateFormat(std::u16string_view pattern) {
  std::string narrow;
  for (char16_t c : pattern) {
    if (c > 0x7F) return std::nullopt;
    narrow += static_cast<char>(c);
  }
  return Parse(narrow);
}

DatePattern DatePattern::Iso() {
  return *Parse("yyyy-MM-dd");
}

bool DatePattern::Read(std::string_view text, int32_t pivotYear, int32_t& dayNumber) const {
  text = TrimBlanks(text);
  size_t pos = 0;
  int32_t day = 0, month = 0, year = 0;
  for (const Part& part : parts_) {
    if (part.kind == Kind::Literal) {
      if (pos >= text.size() || text[pos] != part.literal) return false;
      ++pos;
      continue;
    }
    if (part.kind == Kind::Year) {
      if (!ReadDigits(text, pos, part.width, part.width, year)) return false;
      if (part.width == 2) {
        year += pivotYear / 100 * 100;
        if (year > pivotYear + 50) year -= 100;
      }
    } else if (!ReadDigits(text, pos, 1, 2, part.kind == Kind::Day ? day : month)) {
      return false;
    }
  }
  if (!IsTimeTail(text.substr(pos))) return false;
  if (day <= 0 || month <= 0) return false;
  return TryEncodeDate(year, static_cast<uint32_t>(month), static_cast<uint32_t>(day), dayNumber);
}

std::string DatePattern::Format(int32_t dayNumber) const {
  const TCalendarDate date = DecodeDate(dayNumber);
  std::string out;
  for (const Part& part : parts_) {
    switch (part.kind) {
      case Kind::Literal:
        out += part.literal;
        break;
      case Kind::Day:
        AppendNumber(out, static_cast<int32_t>(date.Day), part.width);
        break;
      case Kind::Month:
        AppendNumber(out, static_cast<int32_t>(date.Month), part.width);
        break;
      case Kind::Year:
        AppendNumber(out, part.width == 2 ? date.Year % 100 : date.Year, part.width);
        break;
    }
  }
  return out;
}

DateColumnReader::DateColumnReader(DatePattern pattern, int32_t pivotYear)
    : candidates_{std::move(pattern)}, pivotYear_(pivotYear) {}

DateColumnReader DateColumnReader::Automatic(const platform::FormatSettings& formats,
                                             int32_t pivotYear) {
  std::vector<DatePattern> candidates = {DatePattern::Iso(), *DatePattern::Parse("dd-MM-yyyy"),
                                         *DatePattern::Parse("dd/MM/yyyy")};
  if (auto user = DatePattern::FromShortDateFormat(formats.ShortDateFormat)) {
    candidates.push_back(std::move(*user));
  }
  return DateColumnReader(std::move(candidates), pivotYear);
}

void DateColumnReader::ChooseFor(std::span<const std::string_view> values) {
  size_t bestCount = 0;
  chosen_ = 0;
  for (size_t i = 0; i < candidates_.size(); ++i) {
    size_t read = 0, given = 0;
    for (std::string_view value : values) {
      if (TrimBlanks(value).empty()) continue;
      ++given;
      int32_t day = 0;
      if (candidates_[i].Read(value, pivotYear_, day)) ++read;
    }
    if (read == given) {
      chosen_ = i;
      return;
    }
    if (read > bestCount) bestCount = read, chosen_ = i;
  }
}

bool DateColumnReader::Read(std::string_view text, int32_t& dayNumber) const {
  return Chosen().Read(text, pivotYear_, dayNumber);
}

}  // namespace qdx::interchange
