// Reading RFC 4180 CSV text as spreadsheets and car-cost programs write it.
//
// The text is UTF-8, with or without a byte order mark. Fields are separated by ';' or ',' (found
// from the first line that holds either outside quotes, unless the caller names one); a field in
// double quotes may hold separators, line breaks and doubled quotes. Records end at CRLF, LF or a
// lone CR; empty lines are skipped. Every record keeps the number of the physical line it starts
// on, so that reports point at what the user sees in an editor.
//
// A record that cannot be read (a quote left open, text after a closing quote, bytes that are no
// UTF-8) is left out and reported; reading goes on at the next line, so one bad line does not
// hide the rest of the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qdx::interchange {

struct CsvRecord {
  int32_t Line = 0;  // 1-based line the record starts on
  std::vector<std::string> Fields;
};

// One line of a file being written: the fields' texts, UTF-8.
using CsvRow = std::vector<std::string>;

struct CsvProblem {
  int32_t Line = 0;
  std::string Reason;
};

struct CsvDocument {
  char Separator = ',';
  std::vector<CsvRecord> Records;
  std::vector<CsvProblem> Problems;
};

class CsvReader {
 public:
  // `separator` 0 detects ';' or ','.
  static CsvDocument Read(std::string_view text, char separator = 0);
  // The separator the first line with a ';' or ',' outside quotes uses; ',' when none has.
  static char DetectSeparator(std::string_view text);
};

}  // namespace qdx::interchange
