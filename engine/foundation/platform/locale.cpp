#include "engine/foundation/platform/locale.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/udat.h>
#include <unicode/unum.h>
#include <unicode/utf16.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace qdx::platform {
namespace {

// A locale name as ICU wants it: "nl_NL.UTF-8@euro" becomes "nl_NL".
std::string NormalizeName(std::string_view name) {
  const size_t end = name.find_first_of(".@");
  std::string base(name.substr(0, end));
  if (base.empty() || base == "C" || base == "POSIX") return "en_US_POSIX";
  return base;
}

// ---- Windows-1252 ----------------------------------------------------------------------------

struct AnsiTable {
  std::array<char16_t, 256> toWide{};
  // Code units outside 0..0xFF that have a byte: the 0x80..0x9F row of the code page.
  std::array<std::pair<char16_t, uint8_t>, 32> fromWideHigh{};
  size_t highCount = 0;
  bool latin1HasByte[256]{};  // code unit c < 0x100 maps to byte c

  AnsiTable() {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open("windows-1252", &status);
    for (int b = 0; b < 256; ++b) {
      char16_t unit = static_cast<char16_t>(b);
      if (U_SUCCESS(status)) {
        const char byte = static_cast<char>(b);
        UChar out[2];
        UErrorCode s = U_ZERO_ERROR;
        const int32_t n = ucnv_toUChars(converter, out, 2, &byte, 1, &s);
        // Bytes the code page leaves undefined map to the code unit of the same value, as
        // Windows' own conversion does.
        if (U_SUCCESS(s) && n == 1 && out[0] != 0xFFFD && out[0] != 0x1A) unit = out[0];
      }
      toWide[b] = unit;
    }
    if (converter) ucnv_close(converter);
    for (int b = 0; b < 256; ++b) {
      const char16_t unit = toWide[b];
      if (unit < 0x100) {
        latin1HasByte[unit] = true;
      } else if (highCount < fromWideHigh.size()) {
        fromWideHigh[highCount++] = {unit, static_cast<uint8_t>(b)};
      }
    }
  }

  char ToAnsi(char16_t unit) const {
    if (unit < 0x100) return latin1HasByte[unit] ? static_cast<char>(unit) : '?';
    for (size_t i = 0; i < highCount; ++i) {
      if (fromWideHigh[i].first == unit) return static_cast<char>(fromWideHigh[i].second);
    }
    return '?';
  }
};

const AnsiTable& Ansi() {
  static const AnsiTable table;
  return table;
}

// ---- Formats from ICU ------------------------------------------------------------------------

std::u16string ToU16(const UChar* text, int32_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
}

// Blanks that 8-bit text cannot hold become what a Windows user sees there.
char16_t PlainBlank(char16_t c) {
  return (c == 0x202F || c == 0x2009) ? 0x00A0 : c;
}

std::u16string NumberSymbol(UNumberFormat* format, UNumberFormatSymbol symbol) {
  UChar buffer[32];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = unum_getSymbol(format, symbol, buffer, 32, &status);
  if (U_FAILURE(status) || n <= 0 || n > 32) return {};
  return ToU16(buffer, n);
}

std::u16string NumberPattern(UNumberFormat* format) {
  UChar buffer[128];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = unum_toPattern(format, false, buffer, 128, &status);
  if (U_FAILURE(status) || n <= 0 || n > 128) return {};
  return ToU16(buffer, n);
}

// Turns an ICU date or time pattern into the Windows-style pattern of FormatSettings: years
// always with four digits (a two-digit year cannot be read back unambiguously), month names as
// numbers, weekdays and eras left out, quoted text kept as literal characters.
std::u16string ConvertDatePattern(std::u16string_view icu) {
  std::u16string out;
  for (size_t i = 0; i < icu.size();) {
    const char16_t c = icu[i];
    if (c == u'\'') {
      size_t j = i + 1;
      if (j < icu.size() && icu[j] == u'\'') {
        out += u'\'';
        i = j + 1;
        continue;
      }
      while (j < icu.size() && icu[j] != u'\'') out += icu[j++];
      i = j + 1;
      continue;
    }
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
      size_t run = 1;
      while (i + run < icu.size() && icu[i + run] == c) ++run;
      switch (c) {
        case u'y':
        case u'u':
          out += u"yyyy";
          break;
        case u'M':
        case u'L':
          out += run == 1 ? u"M" : u"MM";
          break;
        case u'd':
          out += run == 1 ? u"d" : u"dd";
          break;
        case u'h':
        case u'K':
          out += run == 1 ? u"h" : u"hh";
          break;
        case u'H':
        case u'k':
          out += run == 1 ? u"H" : u"HH";
          break;
        case u'm':
          out += run == 1 ? u"m" : u"mm";
          break;
        case u's':
          out += run == 1 ? u"s" : u"ss";
          break;
        case u'a':
        case u'b':
        case u'B':
          out += u"tt";
          break;
        default:
          break;  // weekday, era, zone: not part of the short forms
      }
      i += run;
      continue;
    }
    out += (c == 0x202F || c == 0x00A0 || c == 0x2009) ? u' ' : c;
    ++i;
  }
  // Literals left at either end by a dropped field (", " of a weekday).
  const auto isLetter = [](char16_t ch) {
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z');
  };
  size_t first = 0;
  while (first < out.size() && !isLetter(out[first])) ++first;
  size_t last = out.size();
  while (last > first && !isLetter(out[last - 1])) --last;
  return out.substr(first, last - first);
}

char16_t FirstSeparator(std::u16string_view pattern, char16_t fallback) {
  for (char16_t c : pattern) {
    if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) return c;
  }
  return fallback;
}

std::u16string DatePattern(const char* locale, UDateFormatStyle timeStyle,
                           UDateFormatStyle dateStyle, UDateFormat** keep) {
  UErrorCode status = U_ZERO_ERROR;
  UDateFormat* format = udat_open(timeStyle, dateStyle, locale, nullptr, 0, nullptr, 0, &status);
  if (U_FAILURE(status)) return {};
  UChar buffer[128];
  const int32_t n = udat_toPattern(format, false, buffer, 128, &status);
  std::u16string pattern = U_SUCCESS(status) && n > 0 && n <= 128 ? ToU16(buffer, n) : u"";
  if (keep) {
    *keep = format;
  } else {
    udat_close(format);
  }
  return pattern;
}

// The position of the currency string and the negative form, read from ICU's currency pattern
// ("¤#,##0.00", "¤ #,##0.00;¤ -#,##0.00", "#,##0.00 ¤") by writing each sub-pattern the way the
// Windows forms are written ("$ 1", "-1 $") and looking it up among them.
void ReadCurrencyForms(std::u16string_view pattern, FormatSettings& settings) {
  static constexpr std::u16string_view kPositive[] = {u"$1", u"1$", u"$ 1", u"1 $"};
  static constexpr std::u16string_view kNegative[] = {
      u"($1)", u"-$1",  u"$-1",  u"$1-",  u"(1$)", u"-1$",  u"1-$",   u"1$-",
      u"-1 $", u"-$ 1", u"1 $-", u"$ 1-", u"$ -1", u"1- $", u"($ 1)", u"(1 $)"};
  const auto shape = [](std::u16string_view sub) {
    std::u16string out;
    bool inNumber = false;
    for (char16_t c : sub) {
      if (c == u'#' || c == u'0' || c == u',' || c == u'.') {
        if (!inNumber) out += u'1';
        inNumber = true;
        continue;
      }
      inNumber = false;
      if (c == 0x00A4) {
        out += u'$';
      } else if (c == u' ' || c == 0x00A0 || c == 0x202F) {
        out += u' ';
      } else if (c == u'-' || c == u'(' || c == u')') {
        out += c;
      }
    }
    return out;
  };
  const size_t semicolon = pattern.find(u';');
  const std::u16string positive = shape(pattern.substr(0, semicolon));
  for (uint8_t i = 0; i < 4; ++i) {
    if (positive == kPositive[i]) settings.CurrencyFormat = i;
  }
  // Without a negative sub-pattern the negative form is "-" before the positive one.
  std::u16string negative;
  if (semicolon == std::u16string_view::npos) {
    negative.push_back(u'-');
    negative.append(kPositive[settings.CurrencyFormat]);
  } else {
    negative = shape(pattern.substr(semicolon + 1));
  }
  static constexpr uint8_t kDefaultNegative[] = {1, 5, 9, 8};
  settings.NegCurrFormat = kDefaultNegative[settings.CurrencyFormat];
  for (uint8_t i = 0; i < 16; ++i) {
    if (negative == kNegative[i]) settings.NegCurrFormat = i;
  }
}

void ReadNumericFormats(const std::string& locale, FormatSettings& settings) {
  UErrorCode status = U_ZERO_ERROR;
  UNumberFormat* format = unum_open(UNUM_DECIMAL, nullptr, 0, locale.c_str(), nullptr, &status);
  if (U_FAILURE(status)) return;
  const std::u16string decimal = NumberSymbol(format, UNUM_DECIMAL_SEPARATOR_SYMBOL);
  const std::u16string grouping = NumberSymbol(format, UNUM_GROUPING_SEPARATOR_SYMBOL);
  if (decimal.size() == 1) settings.DecimalSeparator = decimal[0];
  if (grouping.size() == 1) settings.ThousandSeparator = PlainBlank(grouping[0]);
  unum_close(format);
}

void ReadMonetaryFormats(const std::string& locale, FormatSettings& settings) {
  UErrorCode status = U_ZERO_ERROR;
  UNumberFormat* format = unum_open(UNUM_CURRENCY, nullptr, 0, locale.c_str(), nullptr, &status);
  if (U_FAILURE(status)) return;
  const std::u16string symbol = NumberSymbol(format, UNUM_CURRENCY_SYMBOL);
  if (!symbol.empty()) settings.CurrencyString = symbol;
  const int32_t decimals = unum_getAttribute(format, UNUM_FRACTION_DIGITS);
  if (decimals >= 0 && decimals <= 9) settings.CurrencyDecimals = static_cast<uint8_t>(decimals);
  ReadCurrencyForms(NumberPattern(format), settings);
  unum_close(format);
}

void ReadTimeFormats(const std::string& locale, FormatSettings& settings) {
  const std::u16string date =
      ConvertDatePattern(DatePattern(locale.c_str(), UDAT_NONE, UDAT_SHORT, nullptr));
  if (!date.empty()) {
    settings.ShortDateFormat = date;
    settings.DateSeparator = FirstSeparator(date, u'/');
  }
  UDateFormat* timeFormat = nullptr;
  const std::u16string time =
      ConvertDatePattern(DatePattern(locale.c_str(), UDAT_MEDIUM, UDAT_NONE, &timeFormat));
  if (!time.empty()) {
    settings.LongTimeFormat = time;
    settings.TimeSeparator = FirstSeparator(time, u':');
  }
  if (timeFormat) {
    for (int32_t i = 0; i < 2; ++i) {
      UChar buffer[32];
      UErrorCode status = U_ZERO_ERROR;
      const int32_t n = udat_getSymbols(timeFormat, UDAT_AM_PMS, i, buffer, 32, &status);
      if (U_SUCCESS(status) && n > 0 && n <= 32) {
        (i == 0 ? settings.TimeAMString : settings.TimePMString) = ToU16(buffer, n);
      }
    }
    udat_close(timeFormat);
  }
}

// ---- Collators and the registry --------------------------------------------------------------

UCollator* OpenCollator(const std::string& locale, UCollationStrength strength) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open(locale.c_str(), &status);
  if (U_FAILURE(status)) return nullptr;
  ucol_setStrength(collator, strength);
  // Punctuation and symbols take part in the order (the string-sort behaviour).
  ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  return collator;
}

const char* EnvironmentValue(const char* category) {
  for (const char* name : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return "C";
}

}  // namespace

// Locales are created once and never destroyed, so references handed out stay valid.
class LocaleRegistry {
 public:
  static const Locale& Get(std::string_view name) {
    static LocaleRegistry* registry = new LocaleRegistry;  // lives to the end of the process
    std::string key = NormalizeName(name);
    std::lock_guard<std::mutex> guard(registry->mutex_);
    auto it = registry->locales_.find(key);
    if (it == registry->locales_.end()) {
      FormatSettings formats = FormatSettings::ForLocale(key);
      it = registry->locales_.emplace(key, new Locale(key, std::move(formats))).first;
    }
    return *it->second;
  }

  // The user's locale: collation from LC_COLLATE, each group of formats from its own category.
  // A locale of its own, so that the formats of a named locale stay those of its name.
  static const Locale& FromEnvironment() {
    return *new Locale(
        NormalizeName(EnvironmentValue("LC_COLLATE")),
        FormatSettings::ForLocales(EnvironmentValue("LC_NUMERIC"), EnvironmentValue("LC_MONETARY"),
                                   EnvironmentValue("LC_TIME")));
  }

 private:
  std::mutex mutex_;
  std::map<std::string, Locale*> locales_;
};

FormatSettings FormatSettings::ForLocale(std::string_view name) {
  return ForLocales(name, name, name);
}

FormatSettings FormatSettings::ForLocales(std::string_view numeric, std::string_view monetary,
                                          std::string_view time) {
  FormatSettings settings;
  ReadNumericFormats(NormalizeName(numeric), settings);
  ReadMonetaryFormats(NormalizeName(monetary), settings);
  ReadTimeFormats(NormalizeName(time), settings);
  return settings;
}

Locale::Locale(std::string name, FormatSettings formats)
    : name_(std::move(name)), formats_(std::move(formats)) {
  caseSensitive_ = OpenCollator(name_, UCOL_TERTIARY);
  ignoreCase_ = OpenCollator(name_, UCOL_SECONDARY);
}

Locale::~Locale() {
  if (caseSensitive_) ucol_close(static_cast<UCollator*>(caseSensitive_));
  if (ignoreCase_) ucol_close(static_cast<UCollator*>(ignoreCase_));
}

const Locale& Locale::Get(std::string_view name) {
  return LocaleRegistry::Get(name);
}

CollationResult Locale::Compare(uint32_t flags, const char16_t* a, int32_t lengthA,
                                const char16_t* b, int32_t lengthB) const {
  auto* collator =
      static_cast<const UCollator*>((flags & kIgnoreCase) ? ignoreCase_ : caseSensitive_);
  if (!collator) return CollationResult::Failed;
  switch (ucol_strcoll(collator, reinterpret_cast<const UChar*>(a), lengthA < 0 ? -1 : lengthA,
                       reinterpret_cast<const UChar*>(b), lengthB < 0 ? -1 : lengthB)) {
    case UCOL_LESS:
      return CollationResult::Less;
    case UCOL_EQUAL:
      return CollationResult::Equal;
    case UCOL_GREATER:
      return CollationResult::Greater;
  }
  return CollationResult::Failed;
}

CollationResult Locale::CompareAnsi(uint32_t flags, const char* a, int32_t lengthA, const char* b,
                                    int32_t lengthB) const {
  const size_t sizeA = lengthA < 0 ? std::strlen(a) : static_cast<size_t>(lengthA);
  const size_t sizeB = lengthB < 0 ? std::strlen(b) : static_cast<size_t>(lengthB);
  // Short texts are converted on the stack: a comparison of keys does not allocate.
  constexpr size_t kStackUnits = 2048;
  char16_t stack[kStackUnits];
  std::u16string heap;
  char16_t* wide = stack;
  if (sizeA + sizeB > kStackUnits) {
    heap.resize(sizeA + sizeB);
    wide = heap.data();
  }
  const AnsiTable& table = Ansi();
  for (size_t i = 0; i < sizeA; ++i) wide[i] = table.toWide[static_cast<uint8_t>(a[i])];
  for (size_t i = 0; i < sizeB; ++i) wide[sizeA + i] = table.toWide[static_cast<uint8_t>(b[i])];
  return Compare(flags, wide, static_cast<int32_t>(sizeA), wide + sizeA,
                 static_cast<int32_t>(sizeB));
}

namespace {
std::atomic<const Locale*> pinnedLocale{nullptr};
}

const Locale& UserDefaultLocale() {
  if (const Locale* pinned = pinnedLocale.load(std::memory_order_acquire)) return *pinned;
  static const Locale& fromEnvironment = LocaleRegistry::FromEnvironment();
  return fromEnvironment;
}

const Locale& SetUserDefaultLocale(const Locale& locale) {
  const Locale& previous = UserDefaultLocale();
  pinnedLocale.store(&locale, std::memory_order_release);
  return previous;
}

std::u16string AnsiToWide(std::string_view text) {
  const AnsiTable& table = Ansi();
  std::u16string out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = table.toWide[static_cast<uint8_t>(text[i])];
  return out;
}

char16_t AnsiCharToWide(uint8_t c) {
  return Ansi().toWide[c];
}

std::string WideToAnsi(std::u16string_view text) {
  const AnsiTable& table = Ansi();
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = table.ToAnsi(text[i]);
  return out;
}

namespace {
template <typename Map>
void MapCodePoints(char16_t* text, size_t length, Map map) {
  for (size_t i = 0; i < length;) {
    UChar32 c;
    const size_t start = i;
    U16_NEXT(text, i, length, c);
    const UChar32 mapped = map(c);
    // A mapping that would change the number of code units is left out, so the length stays.
    if (U16_LENGTH(mapped) == static_cast<int32_t>(i - start)) {
      size_t j = start;
      U16_APPEND_UNSAFE(text, j, mapped);
    }
  }
}
}  // namespace

void WideUpperCaseInPlace(char16_t* text, size_t length) {
  MapCodePoints(text, length, [](UChar32 c) { return u_toupper(c); });
}

void WideLowerCaseInPlace(char16_t* text, size_t length) {
  MapCodePoints(text, length, [](UChar32 c) { return u_tolower(c); });
}

}  // namespace qdx::platform
