#include "wagenlog/interchange/date_pattern.h"

#include <gtest/gtest.h>

#include "tests/wagenlog/interchange_test_support.h"

namespace qdx::interchange {
namespace {

using testing::Day;

TEST(DatePatternTest, ReadsWhatSpreadsheetsWrite) {
  const struct {
    const char* pattern;
    const char* text;
    int32_t expected;  // 0: not a date
  } cases[] = {
      {"yyyy-MM-dd", "2024-03-10", Day(2024, 3, 10)},
      {"yyyy-MM-dd", " 2024-3-9 ", Day(2024, 3, 9)},
      {"yyyy-MM-dd", "2024-03-10 16:01", Day(2024, 3, 10)},
      {"yyyy-MM-dd", "2024-03-10T16:01:30.250", Day(2024, 3, 10)},
      {"yyyy-MM-dd", "2024-03-10 25:00", 0},
      {"yyyy-MM-dd", "2024-03-10x", 0},
      {"yyyy-MM-dd", "24-03-10", 0},
      {"dd-MM-yyyy", "29-02-2024", Day(2024, 2, 29)},
      {"dd-MM-yyyy", "29-02-2023", 0},
      {"dd-MM-yyyy", "31-04-2024", 0},
      {"dd-MM-yyyy", "1-2-2024", Day(2024, 2, 1)},
      {"dd-MM-yyyy", "01/02/2024", 0},
      {"M/d/yyyy", "5/30/2020", Day(2020, 5, 30)},
      {"d-M-yy", "3-1-77", Day(1977, 1, 3)},  // beyond 50 years ahead of 2026: last century
      {"d-M-yy", "3-1-76", Day(2076, 1, 3)},
      {"d-M-yy", "3-1-30", Day(2030, 1, 3)},
      {"dd.MM.yyyy", "0.1.2024", 0},
  };
  for (const auto& c : cases) {
    const auto pattern = DatePattern::Parse(c.pattern);
    ASSERT_TRUE(pattern) << c.pattern;
    int32_t day = 0;
    const bool read = pattern->Read(c.text, 2026, day);
    EXPECT_EQ(read, c.expected != 0) << c.pattern << " " << c.text;
    if (read) {
      EXPECT_EQ(day, c.expected) << c.pattern << " " << c.text;
    }
  }
}

TEST(DatePatternTest, PatternsNeedOneDayMonthAndYear) {
  for (const char* bad : {"dd-MM", "dd-MM-yyyy-yy", "ddd-MM-yyyy", "dd-MMM-yyyy", "d-M-yyy"}) {
    EXPECT_FALSE(DatePattern::Parse(bad)) << bad;
  }
  EXPECT_EQ(DatePattern::Parse("d-M-yyyy")->Format(Day(2024, 3, 5)), "5-3-2024");
  EXPECT_EQ(DatePattern::Parse("dd/MM/yy")->Format(Day(2024, 3, 5)), "05/03/24");
  EXPECT_EQ(DatePattern::Iso().Format(Day(987, 12, 1)), "0987-12-01");
}

TEST(DateColumnReaderTest, OnePatternForTheWholeColumn) {
  platform::FormatSettings us;
  us.ShortDateFormat = u"M/d/yyyy";
  // 03/04 fits day-first, 5/30 only month-first: the whole column is read month-first.
  DateColumnReader reader = DateColumnReader::Automatic(us, 2026);
  const std::string_view values[] = {"03/04/2020", "5/30/2020", ""};
  reader.ChooseFor(values);
  EXPECT_EQ(reader.Chosen().Text(), "M/d/yyyy");
  int32_t day = 0;
  ASSERT_TRUE(reader.Read("03/04/2020", day));
  EXPECT_EQ(day, Day(2020, 3, 4));

  // Day-first comes before the user's pattern when both read everything.
  DateColumnReader dayFirst = DateColumnReader::Automatic(us, 2026);
  const std::string_view european[] = {"03/04/2020", "13/04/2020"};
  dayFirst.ChooseFor(european);
  EXPECT_EQ(dayFirst.Chosen().Text(), "dd/MM/yyyy");
}

}  // namespace
}  // namespace qdx::interchange
