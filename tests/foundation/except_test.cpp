#include "engine/foundation/except.h"

#include <gtest/gtest.h>

#include "engine/foundation/messages.h"

namespace qdx {
namespace {

TEST(EQDXExceptionTest, FixedMessageEndsWithFiveDigitCode) {
  const EQDXException e(30005, msg::kInvalidPointer);
  EXPECT_EQ(e.Message(), "Invalid pointer - Native error: 30005");
  EXPECT_EQ(e.ErrorCode(), 30005);
  EXPECT_STREQ(e.what(), e.Message().c_str());
}

TEST(EQDXExceptionTest, FormattedMessage) {
  const EQDXException e(30430, msg::kPageCannotBeAddressed, {7, 6});
  EXPECT_EQ(e.Message(), "Page: 7 cannot be addressed. TotalPageCount=6 - Native error: 30430");
}

TEST(EQDXExceptionTest, ArgumentsThatDoNotFitFallBackToTheFormat) {
  struct Case {
    const char* format;
    FormatArgs args;
  };
  const Case cases[] = {
      {"Invalid PageNo = %d", {"seven"}},  // wrong kind
      {"Invalid PageNo = %d", {}},         // too few
      {"Cannot Read % bytes. X=%d", {1}},  // malformed conversion
      {"Table '%s' not found", {3}},       // integer for text
      {"Value %d", {2.5}},                 // float for integer
  };
  for (const Case& c : cases) {
    const EQDXException e(10471, c.format, c.args);
    EXPECT_EQ(e.Message(), std::string(c.format) + " Arguments are invalid! - Native error: 10471")
        << c.format;
  }
}

TEST(EQDXExceptionTest, CodeSuffixFormsDifferOnlyOutsideFiveDigits) {
  struct Case {
    int32_t code;
    const char* fixedSuffix;
    const char* formattedSuffix;
  };
  const Case cases[] = {
      {30005, "30005", "30005"},
      {42, "00042", "   42"},
      {-7, "-00007", "   -7"},
      {123456, "123456", "123456"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EQDXException(c.code, "X").Message(),
              std::string("X - Native error: ") + c.fixedSuffix);
    EXPECT_EQ(EQDXException(c.code, "X", {}).Message(),
              std::string("X - Native error: ") + c.formattedSuffix);
  }
}

TEST(FormatTest, Conversions) {
  struct Case {
    const char* format;
    FormatArgs args;
    const char* expected;
  };
  const Case cases[] = {
      {"%d|%s", {-12, "ab"}, "-12|ab"},
      {"%.5d", {42}, "00042"},
      {"%5d|%-5d|", {42, 42}, "   42|42   |"},
      {"%x", {255}, "FF"},
      {"%.2s", {"abcdef"}, "ab"},
      {"100%%", {}, "100%"},
      {"%*d", {4, 7}, "   7"},
      {"%d", {1, 2, 3}, "1"},  // extra arguments are ignored
      {"%d", {int64_t{5000000000}}, "5000000000"},
      {"%.2f", {2.5}, "2.50"},
  };
  for (const Case& c : cases) {
    const auto text = TryFormat(c.format, {c.args.begin(), c.args.size()});
    ASSERT_TRUE(text.has_value()) << c.format;
    EXPECT_EQ(*text, c.expected);
  }
}

TEST(FormatTest, TextArgumentsMayOutliveNothingButTheCall) {
  const std::string owned = "table";
  const EQDXException e(10027, msg::kTableNameNotFound, {owned + "1"});
  EXPECT_EQ(e.Message(), "Table not found, table name = table1 - Native error: 10027");
}

TEST(EOSErrorTest, CarriesTheSystemText) {
  const EOSError e(2);
  EXPECT_EQ(e.SystemErrorCode(), 2);
  EXPECT_NE(e.Message().find("Code: 2."), std::string::npos);
  EXPECT_NE(e.Message().find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace qdx
