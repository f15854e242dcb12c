// Writing CSV (RFC 4180) from typed values: the value-to-text rules every export of the program
// shares, and the quoting of cells into lines. It knows nothing of tables or of a user
// interface; the import (csv_reader) reads back what it writes.
//
// The text of a value, chosen so that files are deterministic and can be diffed:
//   NULL                      the empty cell
//   integers                  decimal
//   SINGLE, FLOAT, EXTENDED,  the shortest decimal text that reads back to the same value, in
//   CURRENCY                  the C locale ("1.5", "1e+20", "-0"; "nan", "inf" for the rest)
//   LOGICAL                   true / false
//   DATE                      YYYY-MM-DD
//   TIME                      HH:MM:SS, with .mmm when not whole seconds
//   DATETIME                  the date, "T", the time
//   CHAR, STRING, MEMO        Windows-1252 converted to UTF-8
//   WIDE texts                UTF-16 converted to UTF-8 (an unpaired surrogate becomes U+FFFD)
//   BYTES, VARBYTES, BLOB     base64 (RFC 4648, with padding)
//
// A cell is quoted when it holds a comma, a quote, a carriage return or a line feed, or starts
// or ends with a space; quotes inside are doubled. An empty text is written as "" so that a
// reader can tell it from NULL, which is a cell with nothing at all. Lines end with CRLF.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "engine/foundation/types/variant.h"

namespace qdx::interchange {

// The cell text of a value (not yet quoted); the empty text for NULL. BLOB and MEMO variants
// hold the value's bytes.
std::string FormatCsvValue(const TQDXVariant& value);

std::string FormatCsvDate(int32_t dayNumber);
std::string FormatCsvTime(int32_t milliseconds);
std::string FormatCsvDateTime(TQDXDateTime value);
std::string FormatCsvNumber(double value);
std::string FormatCsvNumber(float value);
std::string FormatCsvNumber(long double value);
std::string AnsiToUtf8(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::string Base64(std::span<const uint8_t> bytes);

// The cell as it goes into a line: quoted when it must be (always when empty).
std::string QuoteCsvCell(std::string_view cell);

// Writes lines of cells; an absent cell (NULL) is written empty. With `quoteEvery` every cell
// present is quoted, as some programs write and expect their files.
class TCsvWriter {
 public:
  explicit TCsvWriter(std::ostream& out, bool quoteEvery = false)
      : out_(out), quoteEvery_(quoteEvery) {}
  void WriteLine(std::span<const std::optional<std::string>> cells);
  void WriteLine(std::span<const std::string> cells);

 private:
  // Appends the cell to the line being built, quoted where it must be (or always).
  void AppendQuoted(std::string_view cell);

  std::ostream& out_;
  bool quoteEvery_;
  std::string line_;  // kept between lines, so that a line costs no allocation
};

}  // namespace qdx::interchange
