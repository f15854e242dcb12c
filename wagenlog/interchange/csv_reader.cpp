// A single pass over the text with a small state machine per record. Line numbers count every
// line break, also those inside quoted fields.
#include "wagenlog/interchange/csv_reader.h"

#include <algorithm>

#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/text_encoding.h"

namespace qdx::interchange {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class RecordScanner {
 public:
  RecordScanner(std::string_view text, char separator) : text_(text), separator_(separator) {}

  bool AtEnd() const { return pos_ >= text_.size(); }

  // Reads one record into `document`, or a problem for it.
  void ReadRecord(CsvDocument& document) {
    CsvRecord record;
    record.Line = line_;
    record.Fields.reserve(lastFieldCount_);
    std::string field;
    // `fieldBegun`: the current field has text or was quoted, so a quote is no longer an
    // opening one. `lineBegun`: the line holds something (a separator counts), so it is a
    // record and not an empty line.
    bool fieldBegun = false;
    bool lineBegun = false;
    for (;;) {
      if (AtEnd()) {
        if (lineBegun) record.Fields.push_back(std::move(field));
        break;
      }
      const char c = text_[pos_];
      if (c == '"' && !fieldBegun) {
        ++pos_;
        if (!ReadQuoted(field)) {
          document.Problems.push_back({record.Line, kCsvQuoteNotClosed});
          return;
        }
        if (!AtEnd() && text_[pos_] != separator_ && text_[pos_] != '\r' && text_[pos_] != '\n') {
          document.Problems.push_back({record.Line, kCsvTextAfterQuote});
          SkipRestOfLine();
          return;
        }
        fieldBegun = lineBegun = true;
        continue;
      }
      if (c == separator_) {
        ++pos_;
        record.Fields.push_back(std::move(field));
        field.clear();
        fieldBegun = false;
        lineBegun = true;
        continue;
      }
      if (c == '\r' || c == '\n') {
        ConsumeLineBreak();
        if (lineBegun) record.Fields.push_back(std::move(field));
        break;
      }
      // The rest of an unquoted field in one piece: past its first character a quote is text.
      const size_t end = UnquotedEnd(pos_ + 1);
      field.append(text_.substr(pos_, end - pos_));
      fieldBegun = lineBegun = true;
      pos_ = end;
    }
    if (record.Fields.empty()) return;  // an empty line
    for (const std::string& f : record.Fields) {
      if (!IsValidUtf8(f)) {
        document.Problems.push_back({record.Line, kCsvNotUtf8});
        return;
      }
    }
    lastFieldCount_ = record.Fields.size();
    document.Records.push_back(std::move(record));
  }

 private:
  // After the opening quote: up to and past the closing one. False at the end of the text.
  bool ReadQuoted(std::string& field) {
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == '"') {
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
          field += '"';
          pos_ += 2;
          continue;
        }
        ++pos_;
        return true;
      }
      if (c == '\r' || c == '\n') {
        // The break is part of the value, as written (CRLF stays CRLF).
        const size_t start = pos_;
        ConsumeLineBreak();
        field.append(text_.substr(start, pos_ - start));
        continue;
      }
      const size_t end = text_.find_first_of(kQuotedStops, pos_ + 1);
      const size_t stop = end == std::string_view::npos ? text_.size() : end;
      field.append(text_.substr(pos_, stop - pos_));
      pos_ = stop;
    }
    return false;
  }

  // Where an unquoted field that goes on at `from` ends: the next separator or line break.
  size_t UnquotedEnd(size_t from) const {
    size_t at = from;
    while (at < text_.size()) {
      const char c = text_[at];
      if (c == separator_ || c == '\n' || c == '\r') break;
      ++at;
    }
    return at;
  }

  void ConsumeLineBreak() {
    if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
  }

  void SkipRestOfLine() {
    while (!AtEnd() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    if (!AtEnd()) ConsumeLineBreak();
  }

  static constexpr std::string_view kQuotedStops = "\"\r\n";

  std::string_view text_;
  char separator_;
  size_t pos_ = 0;
  int32_t line_ = 1;
  size_t lastFieldCount_ = 0;  // records of one file mostly have the same number of fields
};

std::string_view WithoutByteOrderMark(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  return text;
}

}  // namespace

char CsvReader::DetectSeparator(std::string_view text) {
  text = WithoutByteOrderMark(text);
  size_t semicolons = 0, commas = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;  // a doubled quote flips twice
    } else if (!quoted && (c == '\n' || c == '\r')) {
      if (semicolons + commas > 0) break;
    } else if (!quoted && c == ';') {
      ++semicolons;
    } else if (!quoted && c == ',') {
      ++commas;
    }
  }
  return semicolons > commas ? ';' : ',';
}

CsvDocument CsvReader::Read(std::string_view text, char separator) {
  text = WithoutByteOrderMark(text);
  CsvDocument document;
  document.Separator = separator != 0 ? separator : DetectSeparator(text);
  document.Records.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  RecordScanner scanner(text, document.Separator);
  while (!scanner.AtEnd()) scanner.ReadRecord(document);
  return document;
}

}  // namespace qdx::interchange
