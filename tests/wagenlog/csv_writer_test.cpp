// The CSV writer: the text of each kind of value, quoting, and whole lines.
#include "wagenlog/interchange/csv_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "engine/foundation/types/date_time.h"

namespace qdx::interchange {
namespace {

int32_t Day(int32_t year, uint32_t month, uint32_t day) {
  int32_t number = 0;
  EXPECT_TRUE(TryEncodeDate(year, month, day, number));
  return number;
}

TEST(CsvWriter, ValuesHaveOneTextEach) {
  struct Case {
    const char* name;
    TQDXVariant value;
    std::string text;
  };
  const auto make = [](auto set) {
    TQDXVariant v;
    set(v);
    return v;
  };
  const std::vector<Case> cases = {
      {"null", TQDXVariant(TQDXDataType::Integer), ""},
      {"integer", make([](TQDXVariant& v) { v.SetAsInteger(-42); }), "-42"},
      {"largeint", make([](TQDXVariant& v) { v.SetAsLargeInt(INT64_MIN); }),
       "-9223372036854775808"},
      {"cardinal", make([](TQDXVariant& v) { v.SetAsCardinal(4000000000u); }), "4000000000"},
      {"shortint", make([](TQDXVariant& v) { v.SetAsShortInt(-128); }), "-128"},
      {"smallint", make([](TQDXVariant& v) { v.SetAsSmallInt(-32768); }), "-32768"},
      {"byte", make([](TQDXVariant& v) { v.SetAsByte(255); }), "255"},
      {"word", make([](TQDXVariant& v) { v.SetAsWord(65535); }), "65535"},
      {"float shortest", make([](TQDXVariant& v) { v.SetAsFloat(0.1); }), "0.1"},
      {"float exponent", make([](TQDXVariant& v) { v.SetAsFloat(1e21); }), "1e+21"},
      {"single", make([](TQDXVariant& v) { v.SetAsSingle(0.1f); }), "0.1"},
      {"currency", make([](TQDXVariant& v) { v.SetAsCurrency(1234.5); }), "1234.5"},
      {"logical", make([](TQDXVariant& v) { v.SetAsLogical(true); }), "true"},
      {"logical false", make([](TQDXVariant& v) { v.SetAsLogical(false); }), "false"},
      {"date", make([](TQDXVariant& v) { v.SetAsDate(Day(2024, 2, 29)); }), "2024-02-29"},
      {"date year 1", make([](TQDXVariant& v) { v.SetAsDate(Day(1, 1, 1)); }), "0001-01-01"},
      {"date last", make([](TQDXVariant& v) { v.SetAsDate(Day(9999, 12, 31)); }), "9999-12-31"},
      {"date year 987", make([](TQDXVariant& v) { v.SetAsDate(Day(987, 10, 5)); }), "0987-10-05"},
      {"time whole", make([](TQDXVariant& v) { v.SetAsTime(8 * 3600000 + 5 * 60000 + 9000); }),
       "08:05:09"},
      {"time ms", make([](TQDXVariant& v) { v.SetAsTime(23 * 3600000 + 59 * 60000 + 59007); }),
       "23:59:59.007"},
      {"datetime",
       make([](TQDXVariant& v) { v.SetAsDateTime({Day(2026, 12, 10), 15 * 3600000}); }),
       "2026-12-10T15:00:00"},
      {"ansi text", make([](TQDXVariant& v) { v.SetAsString("Caf\xE9 \x80"); }),
       "Caf\xC3\xA9 \xE2\x82\xAC"},
      {"ascii text", make([](TQDXVariant& v) { v.SetAsString("Tank\t~ 1\x7F"); }), "Tank\t~ 1\x7F"},
      {"ansi text ending high", make([](TQDXVariant& v) { v.SetAsString("ab\x9F"); }),
       "ab\xC5\xB8"},
      {"wide text",
       make([](TQDXVariant& v) { v.SetAsWideString(u"\u00FC \U0001F697"); }),
       "\xC3\xBC \xF0\x9F\x9A\x97"},
      {"lone surrogate", make([](TQDXVariant& v) { v.SetAsWideString(u"a\xD800z"); }),
       "a\xEF\xBF\xBDz"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatCsvValue(c.value), c.text) << c.name;
  }
}

TEST(CsvWriter, NumbersReadBackExactly) {
  for (const double value : {0.1 + 0.2, 1.0 / 3, 5e-324, 1.7976931348623157e308, -0.0, 100.0}) {
    const std::string text = FormatCsvNumber(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    EXPECT_EQ(text.find(','), std::string::npos);
  }
  EXPECT_EQ(FormatCsvNumber(100.0), "100");
  EXPECT_EQ(FormatCsvNumber(std::numeric_limits<double>::infinity()), "inf");
}

TEST(CsvWriter, Base64FollowsTheStandard) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"},
      {std::string("\xFF\x00\xFE", 3), "/wD+"}};
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(Base64({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}), text);
  }
}

TEST(CsvWriter, CellsAreQuotedOnlyWhenTheyMustBe) {
  EXPECT_EQ(QuoteCsvCell("plain"), "plain");
  EXPECT_EQ(QuoteCsvCell(""), "\"\"");  // an empty text, not NULL
  EXPECT_EQ(QuoteCsvCell("a,b"), "\"a,b\"");
  EXPECT_EQ(QuoteCsvCell("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(QuoteCsvCell("two\r\nlines"), "\"two\r\nlines\"");
  EXPECT_EQ(QuoteCsvCell(" padded"), "\" padded\"");

  std::ostringstream out;
  TCsvWriter writer(out);
  const std::vector<std::optional<std::string>> cells = {"a", std::nullopt, "", "x,y"};
  writer.WriteLine(cells);
  const std::vector<std::string> header = {"Name", "Betrag"};
  writer.WriteLine(header);
  EXPECT_EQ(out.str(), "a,,\"\",\"x,y\"\r\nName,Betrag\r\n");
}

TEST(CsvWriter, QuotingEveryCellQuotesEachLineAlike) {
  std::ostringstream out;
  TCsvWriter writer(out, /*quoteEvery=*/true);
  const std::vector<std::optional<std::string>> first = {"a\"b", std::nullopt, "c"};
  const std::vector<std::optional<std::string>> second = {"d"};
  writer.WriteLine(first);
  writer.WriteLine(second);
  EXPECT_EQ(out.str(), "\"a\"\"b\",,\"c\"\r\n\"d\"\r\n");
}

}  // namespace
}  // namespace qdx::interchange
