#include "wagenlog/interchange/csv_reader.h"

#include <gtest/gtest.h>

#include "wagenlog/interchange/interchange_messages.h"

namespace qdx::interchange {
namespace {

using Fields = std::vector<std::string>;

TEST(CsvReaderTest, QuotedFieldsKeepSeparatorsLineBreaksAndQuotes) {
  const CsvDocument doc = CsvReader::Read(
      "a;b;c\r\n"
      "\"x;y\";\"say \"\"hi\"\"\";\"two\r\nlines\"\r\n"
      "\n"
      ";;\n"
      "last;\"\";end");
  EXPECT_EQ(doc.Separator, ';');
  ASSERT_TRUE(doc.Problems.empty());
  ASSERT_EQ(doc.Records.size(), 4u);
  EXPECT_EQ(doc.Records[1].Fields, (Fields{"x;y", "say \"hi\"", "two\r\nlines"}));
  EXPECT_EQ(doc.Records[2].Fields, (Fields{"", "", ""}));
  EXPECT_EQ(doc.Records[3].Fields, (Fields{"last", "", "end"}));
  // Each record knows the line it starts on; the quoted break and the empty line count.
  EXPECT_EQ(doc.Records[1].Line, 2);
  EXPECT_EQ(doc.Records[2].Line, 5);
  EXPECT_EQ(doc.Records[3].Line, 6);
}

TEST(CsvReaderTest, ByteOrderMarkIsNotPartOfTheFirstName) {
  const CsvDocument doc = CsvReader::Read("\xEF\xBB\xBF" "Datum,bedrag\n1-1-2024,5\n");
  EXPECT_EQ(doc.Separator, ',');
  ASSERT_EQ(doc.Records.size(), 2u);
  EXPECT_EQ(doc.Records[0].Fields, (Fields{"Datum", "bedrag"}));
}

TEST(CsvReaderTest, SeparatorComesFromTheFirstLineThatHasOne) {
  const struct {
    const char* text;
    char separator;
  } cases[] = {
      {"a;b;c\n1,5;2,5;3\n", ';'},       // decimal commas below do not count
      {"\"x;y\",b\n", ','},              // separators in quotes do not count
      {"\"## Vehicle\"\n\"a\",\"b\"\n", ','},  // a section line has none
      {"single\n", ','},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvReader::DetectSeparator(c.text), c.separator) << c.text;
}

// Unquoted text is taken in runs up to the next separator or line break; the cases are the
// places where such a run must stop or must not.
TEST(CsvReaderTest, UnquotedFieldsEndOnlyAtSeparatorsAndLineBreaks) {
  const struct {
    const char* text;
    std::vector<Fields> records;
  } cases[] = {
      {"a\"b,c\"\n", {{"a\"b", "c\""}}},               // a quote past the first character is text
      {"x,y\rz\r\nw", {{"x", "y"}, {"z"}, {"w"}}},      // lone CR, CRLF, no break at the end
      {"one,two,three\n1\n1,2,3,4\n", {{"one", "two", "three"}, {"1"}, {"1", "2", "3", "4"}}},
      {"\"q\"\"x\",tail\n", {{"q\"x", "tail"}}},
  };
  for (const auto& c : cases) {
    const CsvDocument doc = CsvReader::Read(c.text, ',');
    EXPECT_TRUE(doc.Problems.empty()) << c.text;
    std::vector<Fields> records;
    for (const CsvRecord& r : doc.Records) records.push_back(r.Fields);
    EXPECT_EQ(records, c.records) << c.text;
  }
}

TEST(CsvReaderTest, BadRecordsAreReportedAndReadingGoesOn) {
  const CsvDocument doc = CsvReader::Read(
      "a,b\n"
      "\"closed\"x,1\n"
      "bad \xFF byte,2\n"
      "good,3\n"
      "\"never closed,4\nrest,5\n");
  ASSERT_EQ(doc.Problems.size(), 3u);
  EXPECT_EQ(doc.Problems[0].Line, 2);
  EXPECT_EQ(doc.Problems[0].Reason, kCsvTextAfterQuote);
  EXPECT_EQ(doc.Problems[1].Line, 3);
  EXPECT_EQ(doc.Problems[1].Reason, kCsvNotUtf8);
  EXPECT_EQ(doc.Problems[2].Line, 5);
  EXPECT_EQ(doc.Problems[2].Reason, kCsvQuoteNotClosed);
  ASSERT_EQ(doc.Records.size(), 2u);
  EXPECT_EQ(doc.Records[1].Fields, (Fields{"good", "3"}));
}

}  // namespace
}  // namespace qdx::interchange
