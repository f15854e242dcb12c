#include "wagenlog/interchange/csv_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/date_time.h"

namespace qdx::interchange {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

template <typename T>
std::string ShortestText(T value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// The bytes of a text value up to its terminator (or all of them for MEMO values).
std::string_view TextBytes(const TQDXVariant& value, bool terminated) {
  const char* data = reinterpret_cast<const char*>(value.Data());
  const size_t size = static_cast<size_t>(std::max<int64_t>(value.Size(), 0));
  std::string_view all(data, size);
  if (terminated) all = all.substr(0, all.find('\0'));
  return all;
}

void AppendInQuotes(std::string& out, std::string_view cell) {
  out += '"';
  for (const char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string InQuotes(std::string_view cell) {
  std::string out;
  AppendInQuotes(out, cell);
  return out;
}

bool NeedsQuotes(std::string_view cell) {
  return cell.empty() || cell.find_first_of(",\"\r\n") != std::string_view::npos ||
         cell.front() == ' ' || cell.back() == ' ';
}

}  // namespace

std::string FormatCsvDate(int32_t dayNumber) {
  const TCalendarDate date = DecodeDate(dayNumber);
  // The common shape by hand: a formatted print costs more than the rest of a cell.
  if (date.Year >= 0 && date.Year <= 9999 && date.Month <= 99 && date.Day <= 99) {
    std::string text = "0000-00-00";
    auto digits = [&](size_t end, unsigned value, int count) {
      for (int i = 0; i < count; ++i, value /= 10) {
        text[end - i] = static_cast<char>('0' + value % 10);
      }
    };
    digits(3, static_cast<unsigned>(date.Year), 4);
    digits(6, date.Month, 2);
    digits(9, date.Day, 2);
    return text;
  }
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%04d-%02u-%02u", date.Year, date.Month, date.Day);
  return std::string(text, static_cast<size_t>(n));
}

std::string FormatCsvTime(int32_t milliseconds) {
  const int64_t ms = milliseconds;
  char text[40];
  int n = std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld",
                        static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                        static_cast<long long>(ms / 1000 % 60));
  if (ms % 1000 != 0) {
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ".%03lld",
                       static_cast<long long>(ms % 1000));
  }
  return std::string(text, static_cast<size_t>(n));
}

std::string FormatCsvDateTime(TQDXDateTime value) {
  std::string text = FormatCsvDate(value.Date);
  text += 'T';
  text += FormatCsvTime(value.Time);
  return text;
}

std::string FormatCsvNumber(double value) {
  return ShortestText(value);
}
std::string FormatCsvNumber(float value) {
  return ShortestText(value);
}
std::string FormatCsvNumber(long double value) {
  return ShortestText(value);
}

std::string AnsiToUtf8(std::string_view text) {
  // ASCII is the same in both, and is what most cells hold: no round trip through UTF-16.
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return static_cast<uint8_t>(c) < 0x80; })) {
    return std::string(text);
  }
  return Utf16ToUtf8(platform::AnsiToWide(text));
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::string Base64(std::span<const uint8_t> bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(n >> shift) & 0x3F];
  }
  if (const size_t rest = bytes.size() - i; rest > 0) {
    uint32_t n = uint32_t{bytes[i]} << 16;
    if (rest == 2) n |= uint32_t{bytes[i + 1]} << 8;
    out += kAlphabet[(n >> 18) & 0x3F];
    out += kAlphabet[(n >> 12) & 0x3F];
    out += rest == 2 ? kAlphabet[(n >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

std::string FormatCsvValue(const TQDXVariant& value) {
  if (value.IsNull()) return {};
  switch (value.DataType()) {
    // Each read as its own type: a conversion to a wider one would go through a scratch value.
    case TQDXDataType::ShortInt:
      return std::to_string(value.AsShortInt());
    case TQDXDataType::SmallInt:
      return std::to_string(value.AsSmallInt());
    case TQDXDataType::Integer:
      return std::to_string(value.AsInteger());
    case TQDXDataType::LargeInt:
      return std::to_string(value.AsLargeInt());
    case TQDXDataType::Byte:
      return std::to_string(value.AsByte());
    case TQDXDataType::Word:
      return std::to_string(value.AsWord());
    case TQDXDataType::Cardinal:
      return std::to_string(value.AsCardinal());
    case TQDXDataType::Single:
      return FormatCsvNumber(value.AsSingle());
    case TQDXDataType::Float:
      return FormatCsvNumber(value.AsFloat());
    case TQDXDataType::Extended:
      return FormatCsvNumber(value.AsExtended());
    case TQDXDataType::Currency:
      return FormatCsvNumber(value.AsCurrency());
    case TQDXDataType::Logical:
      return value.AsLogical() ? "true" : "false";
    case TQDXDataType::Date:
      return FormatCsvDate(value.AsDate());
    case TQDXDataType::Time:
      return FormatCsvTime(value.AsTime());
    case TQDXDataType::DateTime:
      return FormatCsvDateTime(value.AsDateTime());
    case TQDXDataType::Char:
    case TQDXDataType::String:
      return AnsiToUtf8(TextBytes(value, true));
    case TQDXDataType::Memo:
      return AnsiToUtf8(TextBytes(value, false));
    case TQDXDataType::WideChar:
    case TQDXDataType::WideString:
    case TQDXDataType::WideMemo:
      return Utf16ToUtf8(value.AsWideString());
    case TQDXDataType::Bytes:
    case TQDXDataType::VarBytes:
    case TQDXDataType::Blob:
    default: {
      const auto bytes = TextBytes(value, false);
      return Base64({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    }
  }
}

std::string QuoteCsvCell(std::string_view cell) {
  return NeedsQuotes(cell) ? InQuotes(cell) : std::string(cell);
}

void TCsvWriter::AppendQuoted(std::string_view cell) {
  if (quoteEvery_ || NeedsQuotes(cell)) {
    AppendInQuotes(line_, cell);
  } else {
    line_ += cell;
  }
}

void TCsvWriter::WriteLine(std::span<const std::optional<std::string>> cells) {
  line_.clear();
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line_ += ',';
    if (cells[i]) AppendQuoted(*cells[i]);
  }
  line_ += "\r\n";
  out_ << line_;
}

void TCsvWriter::WriteLine(std::span<const std::string> cells) {
  line_.clear();
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line_ += ',';
    AppendQuoted(cells[i]);
  }
  line_ += "\r\n";
  out_ << line_;
}

}  // namespace qdx::interchange
