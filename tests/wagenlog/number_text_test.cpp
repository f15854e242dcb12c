#include "wagenlog/interchange/number_text.h"

#include <gtest/gtest.h>

#include <optional>

namespace qdx::interchange {
namespace {

TEST(NumberTextTest, DecimalCommaAndPoint) {
  const struct {
    const char* text;
    char decimal;
    bool currency;
    std::optional<double> expected;
  } cases[] = {
      {"78,15", ',', false, 78.15},
      {"1.249,50", ',', false, 1249.5},
      {"-0,5", ',', false, -0.5},
      {" 12 ", ',', false, 12},
      {"1,5", '.', false, std::nullopt},  // a group of one digit: not fifteen
      {"1,500.25", '.', false, 1500.25},
      {"12.5", ',', false, std::nullopt},
      {"1.24", ',', false, std::nullopt},
      {"46.301", '.', false, 46.301},
      {"\xE2\x82\xAC 96,00", ',', true, 96.0},
      {"\xE2\x82\xAC -12,50", ',', true, -12.5},
      {"$16.24", '.', true, 16.24},
      {"16.24 EUR", '.', true, 16.24},
      {"$16.24", '.', false, std::nullopt},
      {"", '.', false, std::nullopt},
      {"-", '.', false, std::nullopt},
      {",", ',', false, std::nullopt},
      {"2e+05", '.', false, 200000.0},
      {"1.5E-3", '.', false, 0.0015},
      {"1e5", ',', false, std::nullopt},
      {"1e", '.', false, std::nullopt},
      {"e5", '.', false, std::nullopt},
      {"1e400", '.', false, std::nullopt},
      {"12a", '.', false, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadDecimal(c.text, c.decimal, c.currency), c.expected) << c.text;
  }
}

TEST(NumberTextTest, WrittenNumbersReadBackExactly) {
  for (double value : {0.0, -0.0, 67.09, 46.301, 212477.0, -3.5, 0.1 + 0.2, 123456789012.3456}) {
    const std::string text = WriteDecimal(value);
    const auto back = ReadDecimal(text, '.');
    ASSERT_TRUE(back) << text;
    EXPECT_EQ(*back, value) << text;
  }
  EXPECT_EQ(WriteDecimal(-0.0), "0");
  EXPECT_EQ(WriteDecimal(212477.0), "212477");
  EXPECT_EQ(WriteRounded(80.04 / 42.15, 3), "1.899");
}

}  // namespace
}  // namespace qdx::interchange
