#include "engine/foundation/types/strings.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

TEST(AnsiCaseTest, TablesFollowWindows1252) {
  EXPECT_EQ(AnsiUpperCase("abc \xE9\xFF\x9A\xF0"), "ABC \xC9\x9F\x8A\xD0");
  EXPECT_EQ(AnsiLowerCase("ABC \xC9\x9F\x8A"), "abc \xE9\xFF\x9A");
  // Letters whose other case has no byte keep theirs.
  EXPECT_EQ(AnsiUpperChar(0xDF), 0xDF);  // sharp s
  EXPECT_EQ(AnsiUpperChar(0xB5), 0xB5);  // micro sign
  EXPECT_EQ(AnsiUpperChar('1'), '1');
  EXPECT_EQ(WideUpperCase(u"stra\u00DFe \u0101"), u"STRA\u00DFE \u0100");  // length kept
  EXPECT_EQ(WideLowerCase(u"\u0130X\U00010400"), u"ix\U00010428");
}

TEST(LikeTest, Patterns) {
  testing::ScopedUserLocale pin("en_US");
  const struct {
    const char* text;
    const char* pattern;
    bool caseInsensitive;
    bool matches;
  } cases[] = {
      {"anything", "%", false, true},
      {"", "%", false, true},
      {"", "", false, true},
      {"a", "", false, false},
      {"abc", "a_c", false, true},
      {"ac", "a_c", false, false},
      {"abc", "a%", false, true},
      {"abc", "%c", false, true},
      {"abc", "%b%", false, true},
      {"abc", "%d%", false, false},
      {"abcabc", "%bc", false, true},
      {"aXbXc", "a%b%c", false, true},
      {"ABC", "abc", false, false},
      {"ABC", "abc", true, true},
      {"\xC9t\xE9", "\xE9T\xC9", true, true},
      {"\xC9t\xE9", "et%", true, false},  // accents count
      {"ab", "a__", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesLike(std::string_view(c.text), c.pattern, false, c.caseInsensitive, '\\'),
              c.matches)
        << c.text << " LIKE " << c.pattern;
  }
  // The escape character makes the next pattern character literal.
  EXPECT_TRUE(MatchesLike(std::string_view("100%"), "100!%", true, false, '!'));
  EXPECT_FALSE(MatchesLike(std::string_view("1000"), "100!%", true, false, '!'));
  EXPECT_TRUE(MatchesLike(std::string_view("a_b"), "a!_b", true, false, '!'));
  EXPECT_FALSE(MatchesLike(std::string_view("axb"), "a!_b", true, false, '!'));
  EXPECT_TRUE(MatchesLike(std::string_view("a!"), "a!", true, false, '!'));
  EXPECT_FALSE(MatchesLike(std::string_view("100%"), "100!%", false, false, '!'));
  EXPECT_TRUE(MatchesLike(std::u16string_view(u"\u4E2D\u6587"), u"_\u6587", false, false, u'\\'));
}

TEST(LikeTest, ManyWildcardsStayFast) {
  // Backtracking over every "%" would take exponential time here.
  const std::string text(2000, 'a');
  const std::string pattern = std::string(30, '%').insert(0, "a%a%a%a%a%a%a%a%a%a%") + "b";
  EXPECT_FALSE(MatchesLike(std::string_view(text), pattern, false, false, '\\'));
}

}  // namespace
}  // namespace qdx
