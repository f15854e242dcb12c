// The platform's locale services: text order, 8-bit text, case mapping and the user's formats.
//
// The engine's files come from Windows, where 8-bit text is in the ANSI code page Windows-1252
// and the system orders text with CompareString. Here ICU stands in for both:
//
//   Windows                                   Here
//   CompareStringA/W, SORT_STRINGSORT         Locale::Compare: an ICU collator of the locale with
//                                             punctuation not ignorable (ICU's default)
//   NORM_IGNORECASE                           the same at secondary strength: letter case is
//                                             ignored, accents are not
//   CompareString answers 1, 2, 3 (0 fails)   CollationResult with the same values
//   ANSI code page 1252                       AnsiToWide / WideToAnsi (ICU's windows-1252 table)
//   CharUpperBuffW / CharLowerBuffW           WideUpperCase / WideLowerCase: simple, length-keeping
//                                             case mapping of each code point
//   the user's number, currency, date formats FormatSettings, read from ICU's data of a locale
//
// A Locale is created once per name and lives to the end of the process, so a reference to one
// stays valid; its collators are safe for concurrent use. The user default locale is read once
// from the environment (LC_ALL, then the category variable, then LANG; "C", "POSIX" and an
// empty value mean en_US_POSIX). Tests pin a locale with SetUserDefaultLocale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qdx::platform {

// The user's formats, named after the Windows locale settings they stand for. A plain value:
// tests may build or change one freely.
struct FormatSettings {
  char16_t DecimalSeparator = u'.';
  char16_t ThousandSeparator = u',';
  char16_t DateSeparator = u'/';
  char16_t TimeSeparator = u':';
  std::u16string CurrencyString = u"$";
  // Position of the currency string: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
  uint8_t CurrencyFormat = 0;
  // Negative amounts: 0 "($1)", 1 "-$1", 2 "$-1", 3 "$1-", 4 "(1$)", 5 "-1$", 6 "1-$", 7 "1$-",
  // 8 "-1 $", 9 "-$ 1", 10 "1 $-", 11 "$ 1-", 12 "$ -1", 13 "1- $", 14 "($ 1)", 15 "(1 $)".
  uint8_t NegCurrFormat = 1;
  uint8_t CurrencyDecimals = 2;
  // Date pattern of d, dd, M, MM, yy, yyyy and literal characters ("M/d/yyyy", "d-M-yyyy").
  std::u16string ShortDateFormat = u"M/d/yyyy";
  // Time pattern of h, hh (12-hour), H, HH (24-hour), m, mm, s, ss, tt (AM/PM designator) and
  // literal characters ("h:mm:ss tt", "HH:mm:ss").
  std::u16string LongTimeFormat = u"h:mm:ss tt";
  std::u16string TimeAMString = u"AM";
  std::u16string TimePMString = u"PM";

  // The formats ICU holds for a locale name such as "nl_NL" or "en_US.UTF-8".
  static FormatSettings ForLocale(std::string_view name);
  // Numbers, currency and dates each from their own locale, as the LC_* categories allow.
  static FormatSettings ForLocales(std::string_view numeric, std::string_view monetary,
                                   std::string_view time);
};

// Answers of a locale comparison, with the values of the Windows call; Failed when the service
// gives no usable answer.
enum class CollationResult : int { Failed = 0, Less = 1, Equal = 2, Greater = 3 };

// Flags of a comparison, as the Windows call takes them.
inline constexpr uint32_t kStringSort = 0x1000;  // SORT_STRINGSORT: punctuation orders as symbols
inline constexpr uint32_t kIgnoreCase = 0x0001;  // NORM_IGNORECASE

class Locale {
 public:
  // The locale of a name, created on first use. Safe for concurrent use.
  static const Locale& Get(std::string_view name);

  const std::string& Name() const { return name_; }
  const FormatSettings& Formats() const { return formats_; }

  // Orders two UTF-16 texts. A negative length runs to the first zero code unit.
  CollationResult Compare(uint32_t flags, const char16_t* a, int32_t lengthA, const char16_t* b,
                          int32_t lengthB) const;
  // Orders two Windows-1252 texts (converted to UTF-16 first). Negative lengths as above.
  CollationResult CompareAnsi(uint32_t flags, const char* a, int32_t lengthA, const char* b,
                              int32_t lengthB) const;

  Locale(const Locale&) = delete;
  Locale& operator=(const Locale&) = delete;

 private:
  friend class LocaleRegistry;
  Locale(std::string name, FormatSettings formats);
  ~Locale();

  std::string name_;
  FormatSettings formats_;
  void* caseSensitive_ = nullptr;  // UCollator*, tertiary strength
  void* ignoreCase_ = nullptr;     // UCollator*, secondary strength
};

// The user default locale: read once from the environment unless pinned.
const Locale& UserDefaultLocale();
// Pins the user default locale, for tests and start-up; answers the one it replaces. Callers
// already holding a reference keep using the old one (locales live to the end of the process).
const Locale& SetUserDefaultLocale(const Locale& locale);
// The user default locale's formats.
inline const FormatSettings& UserFormatSettings() {
  return UserDefaultLocale().Formats();
}

// Windows-1252 to UTF-16; every byte maps to one code unit.
std::u16string AnsiToWide(std::string_view text);
char16_t AnsiCharToWide(uint8_t c);
// UTF-16 to Windows-1252; a code unit without a byte of its own becomes '?'.
std::string WideToAnsi(std::u16string_view text);

// Simple case mapping of each code point, keeping the length (as CharUpperBuffW does).
void WideUpperCaseInPlace(char16_t* text, size_t length);
void WideLowerCaseInPlace(char16_t* text, size_t length);

}  // namespace qdx::platform
