// Expressions: filter texts against one record, their errors, the conditions an index can serve,
// Locate's conditions and default-value expressions through the field manager.
#include "engine/core/expr/expression.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/field_manager.h"
#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "tests/core/expression_fuzz.h"
#include "tests/foundation/locale_pin.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using F = TQDXFieldType;
using D = TQDXDataType;

platform::LocalTime fakeNow{2024, 3, 1, (8 * 60 + 30) * 1000 * 60};
platform::LocalTime FakeClock() {
  return fakeNow;
}

int32_t Day(int32_t year, uint32_t month, uint32_t day) {
  int32_t dayNumber = 0;
  EXPECT_TRUE(TryEncodeDate(year, month, day, dayNumber));
  return dayNumber;
}

// One record of a fuel purchase; "Leeg" is NULL.
class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetExpressionClock(&FakeClock);
    defs_.AddField("Nr", F::Integer);
    defs_.AddField("Naam", F::String, 20);
    defs_.AddField("Bedrag", F::Currency);
    defs_.AddField("Liters", F::Float);
    defs_.AddField("Datum", F::Date);
    defs_.AddField("Tijd", F::Time);
    defs_.AddField("Stempel", F::DateTime);
    defs_.AddField("Klaar", F::Logical);
    defs_.AddField("Omschrijving", F::WideString, 20);
    defs_.AddField("Leeg", F::Integer);
    defs_.AddField("start_km-stand", F::Integer);
    defs_.AddField("Notitie", F::Memo);
    defs_.AddField("Code", F::Char, 4);
    defs_.CalculateOffsets();
    record_.assign(static_cast<size_t>(defs_.MemoryRecordSize()), 0);
    InitRecordBuffer(defs_, record_.data());
    Set("Nr", [](TQDXVariant& v) { v.SetAsInteger(7); });
    Set("Naam", [](TQDXVariant& v) { v.SetAsString("Shell Station"); });
    Set("Bedrag", [](TQDXVariant& v) { v.SetAsCurrency(52.5); });
    Set("Liters", [](TQDXVariant& v) { v.SetAsFloat(40.25); });
    Set("Datum", [](TQDXVariant& v) { v.SetAsDate(Day(2024, 3, 1)); });
    Set("Tijd", [](TQDXVariant& v) { v.SetAsTime((8 * 60 + 30) * 60 * 1000); });
    Set("Stempel", [](TQDXVariant& v) {
      v.SetAsDateTime({Day(2024, 3, 1), (8 * 60 + 30) * 60 * 1000});
    });
    Set("Klaar", [](TQDXVariant& v) { v.SetAsLogical(true); });
    Set("Omschrijving", [](TQDXVariant& v) { v.SetAsWideString(u"Wasstraat \u00c4rger"); });
    Set("start_km-stand", [](TQDXVariant& v) { v.SetAsInteger(12000); });
    Set("Code", [](TQDXVariant& v) { v.SetAsString("AB"); });
  }
  void TearDown() override { SetExpressionClock(nullptr); }

  template <typename Setter>
  void Set(std::string_view name, Setter setter) {
    TQDXVariant value;
    setter(value);
    SetFieldValue(value, defs_.IndexOfName(name), defs_, record_.data());
  }
  bool Passes(std::string_view text, TQDXFilterOptions options = {}) {
    return CompileFilterExpression(text, defs_, options)->Evaluate(record_.data());
  }
  std::vector<TQDXFieldCondition> Conditions(std::string_view text,
                                             TQDXFilterOptions options = {}) {
    auto expression = CompileFilterExpression(text, defs_, options);
    return {expression->FieldConditions().begin(), expression->FieldConditions().end()};
  }

  testing::ScopedUserLocale pin_{"en_US"};
  TQDXFieldDefs defs_;
  std::vector<uint8_t> record_;
};

struct Case {
  const char* text;
  bool passes;
};

TEST_F(ExpressionTest, FilterTextsOverOneRecord) {
  const Case cases[] = {
      // Comparisons, names bare, quoted and bracketed, ignoring case
      {"Nr = 7", true},
      {"Nr <> 7", false},
      {"Nr != 6", true},
      {"nr >= 7 AND NR <= 7", true},
      {"\"Nr\" < 7", false},
      {"[start_km-stand] = 12000", true},
      {"\"start_km-stand\" > 11999.5", true},
      {"7 = Nr", true},
      // Numbers of different types compare by value
      {"Bedrag = 52.5", true},
      {"Bedrag > Nr", true},
      {"Liters < 40.3 AND Liters > 40.2", true},
      {"Nr = 7.0 AND Klaar = 1", true},
      {"Klaar = 2", false},
      // Text, partial compare, LIKE
      {"Naam = 'Shell Station'", true},
      {"Naam = 'shell station'", false},
      {"Naam = 'Shell \x01Station'", true},  // the collation ignores control characters
      {"Naam = 'Shell*'", true},
      {"Naam <> 'Shell*'", false},
      {"Naam = 'Station*'", false},
      {"Naam > 'Esso'", true},
      {"Naam LIKE 'Sh%'", true},
      {"Naam LIKE '%station'", false},
      {"Naam LIKE '_hell%n'", true},
      {"Naam NOT LIKE '%x%'", true},
      {"'50%' LIKE '50!%' ESCAPE '!'", true},
      {"'50x' LIKE '50!%' ESCAPE '!'", false},
      {"'It''s' = 'It''s'", true},
      {"Code = 'AB'", true},
      {"Omschrijving = 'Wasstraat \xc4rger'", true},
      {"Omschrijving LIKE 'Was%'", true},
      {"UPPER(Omschrijving) = 'WASSTRAAT \xc4RGER'", true},
      // NULL is unknown, and unknown does not pass
      {"Leeg IS NULL", true},
      {"Leeg IS NOT NULL", false},
      {"Leeg = 1", false},
      {"NOT (Leeg = 1)", false},
      {"Leeg = 1 OR Nr = 7", true},
      {"NOT (Leeg = 1 AND Nr = 8)", true},
      {"Nr = NULL", false},
      {"Leeg + 1 > 0", false},
      // IN and BETWEEN
      {"Nr IN (1, 7, 9)", true},
      {"Nr NOT IN (1, 2)", true},
      {"Nr NOT IN (1, NULL)", false},
      {"Nr IN (NULL, 7)", true},
      {"Naam IN ('Esso', 'Shell Station')", true},
      {"Nr BETWEEN 5 AND 7", true},
      {"Nr NOT BETWEEN 1 AND 6", true},
      {"Nr BETWEEN 8 AND NULL", false},
      {"NOT (Nr BETWEEN 8 AND NULL)", true},
      // Arithmetic
      {"Bedrag * 2 = 105", true},
      {"Nr + 1 = 8", true},
      {"Nr / 2 = 3", true},
      {"Nr / 2.0 = 3.5", true},
      {"-Nr = -7", true},
      {"Nr - -3 = 10", true},
      {"2 + 3 * 4 = 14 AND (2 + 3) * 4 = 20", true},
      {"Nr / 0 = 1 OR NOT (Nr / 0 = 1)", false},
      {"9223372036854775807 + 1 > 9223372036854775807", true},
      // Dates and times: the ISO form, the user's short date form, arithmetic in days
      {"Datum = '2024-03-01'", true},
      {"Datum = '3/1/2024'", true},
      {"Datum > '2024-02-29' AND Datum < '2024-03-02'", true},
      {"Datum + 1 = '2024-03-02'", true},
      {"Datum - 1 = '2/29/2024'", true},
      {"Stempel > Datum", true},
      {"Stempel = '2024-03-01 08:30:00'", true},
      {"Tijd BETWEEN '08:00:00' AND '09:00:00'", true},
      {"Datum = CURRENT_DATE AND Stempel <= CURRENT_TIMESTAMP", true},
      {"CURRENT_TIME() = Tijd", true},
      // Booleans
      {"Klaar", true},
      {"NOT Klaar", false},
      {"Klaar = TRUE", true},
      {"Klaar = false", false},
      {"FALSE OR Nr = 7", true},
      // Functions
      {"UPPER(Naam) = 'SHELL STATION'", true},
      {"LOWER(Naam) LIKE 'shell%'", true},
      {"TRIM('  a  ') = 'a'", true},
      {"SUBSTRING(Naam FROM 7 FOR 3) = 'Sta'", true},
      {"SUBSTRING(Naam, 7) = 'Station'", true},
      {"SUBSTRING(Naam FROM 0 FOR 2) = 'S'", true},
      {"SUBSTRING(Naam FROM 30) = ''", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Passes(c.text), c.passes) << c.text;
  }
}

TEST_F(ExpressionTest, FilterOptions) {
  const TQDXFilterOptions ignoreCase{true, false};
  EXPECT_TRUE(Passes("Naam = 'shell station'", ignoreCase));
  EXPECT_TRUE(Passes("Naam LIKE '%STATION'", ignoreCase));
  EXPECT_TRUE(Passes("Naam IN ('SHELL STATION')", ignoreCase));
  EXPECT_TRUE(Passes("Naam = 'SHELL*'", ignoreCase));
  EXPECT_TRUE(Passes("Omschrijving = 'wasstraat \xe4rger'", ignoreCase));
  const TQDXFilterOptions noPartial{false, true};
  EXPECT_FALSE(Passes("Naam = 'Shell*'", noPartial));
  EXPECT_TRUE(Passes("'a*' = 'a*'", noPartial));
}

struct BadCase {
  const char* text;
  int32_t code;
  const char* message;
};

TEST_F(ExpressionTest, BadTextsNameThePositionAndWhatWasExpected) {
  const std::string deepParentheses = std::string(200, '(') + "Nr = 7" + std::string(200, ')');
  std::string longSum = "Nr";
  for (int i = 0; i < 200; ++i) longSum += " + 1";
  longSum += " = 0";
  std::string manyNots;
  for (int i = 0; i < 300; ++i) manyNots += "NOT ";
  manyNots += "Klaar";
  const BadCase cases[] = {
      {"", 30600, "position 1: expected an operand, found end of text"},
      {"Nr =", 30600, "position 5: expected an operand, found end of text"},
      {"Nr = 7 7", 30600,
       "position 8: expected an operator or the end of the text, found number 7"},
      {"(Nr = 7", 30600, "position 8: expected ')', found end of text"},
      {"Naam = 'abc", 30600,
       "position 12: expected a closing quote (') of the text begun at position 8, found end of "
       "text"},
      {"[Nr = 7", 30600, "expected ']' closing the name begun at position 1"},
      {"Nr BETWEEN 1 7", 30600, "position 14: expected AND, found number 7"},
      {"Nr IS 5", 30600, "position 7: expected NULL, found number 5"},
      {"Nr IN 5", 30600, "position 7: expected '(', found number 5"},
      {"Nr = 1e", 30600, "position 8: expected digits of an exponent, found end of text"},
      {"Nr # 1", 30600, "position 4: expected an operator or the end of the text, found '#'"},
      {"AND = 1", 30600, "position 1: expected an operand, found 'AND'"},
      {"Nr", 30600, "position 1: expected a condition, found field 'Nr' (INTEGER)"},
      {"Nr = 1 AND Bedrag", 30600, "expected a condition, found field 'Bedrag' (CURRENCY)"},
      {"(Nr = 1) = TRUE", 30600, "position 10: expected a value, found a condition"},
      {"Naam LIKE 'a' ESCAPE 'ab'", 30600, "expected one character after ESCAPE"},
      {"SUBSTRING(Naam) = 'a'", 30600, "expected 2 to 3 arguments of SUBSTRING, found 1"},
      {"Onbekend = 1", 30601, "position 1: field 'Onbekend' not found"},
      {"FOO(Nr) = 1", 30606, "position 1: unknown function 'FOO'"},
      {"Naam + 1 = 2", 30603, "position 6: '+' cannot be applied to field 'Naam' (STRING)"},
      {"UPPER(Nr) = 'X'", 30603, "UPPER cannot be applied to field 'Nr' (INTEGER)"},
      {"Tijd + 1 = Tijd", 30603, "'+' cannot be applied to"},
      {"Klaar = Datum", 30604,
       "position 7: cannot compare field 'Klaar' (LOGICAL) with field 'Datum' (DATE)"},
      {"Datum = 'gisteren'", 30605, "position 9: 'gisteren' is not a valid DATE value"},
      {"Notitie = 'x'", 30607, "field 'Notitie' of type MEMO has no value to compare"},
      {deepParentheses.c_str(), 30602, "nested deeper than 128 levels"},
      {longSum.c_str(), 30602, "nested deeper than 128 levels"},
      {manyNots.c_str(), 30602, "nested deeper than 128 levels"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_QDX_ERROR(CompileFilterExpression(c.text, defs_, {}), c.code, c.message);
  }
}

TEST_F(ExpressionTest, LongConjunctionsAreNotNesting) {
  std::string text = "Nr = 7";
  for (int i = 0; i < 1000; ++i) text += " AND Nr > " + std::to_string(i % 7);
  EXPECT_TRUE(Passes(text));
  EXPECT_EQ(Conditions(text).size(), 1001u);
}

std::string Describe(const TQDXFieldCondition& c) {
  return std::to_string(c.FieldNo) + " " + std::to_string(c.Kind) + " " + c.Value.AsString() + " " +
         std::string(DataTypeName(c.Value.DataType()));
}
std::vector<std::string> Describe(const std::vector<TQDXFieldCondition>& conditions) {
  std::vector<std::string> texts;
  for (const auto& c : conditions) texts.push_back(Describe(c));
  return texts;
}

TEST_F(ExpressionTest, ConditionsAnIndexCanServe) {
  using ::testing::ElementsAre;
  using ::testing::IsEmpty;
  EXPECT_THAT(Describe(Conditions("Nr >= 5 AND Bedrag < 100 AND Naam LIKE 'S%'")),
              ElementsAre("0 5 5 INTEGER", "2 2 $100.00 CURRENCY"));
  EXPECT_THAT(Describe(Conditions("5 < Nr AND 9 >= Nr")),
              ElementsAre("0 3 5 INTEGER", "0 4 9 INTEGER"));
  EXPECT_THAT(Describe(Conditions("Nr BETWEEN 1 AND 9")),
              ElementsAre("0 5 1 INTEGER", "0 4 9 INTEGER"));
  EXPECT_THAT(Describe(Conditions("Datum = '2024-03-01' AND Naam = 'Shell'")),
              ElementsAre("4 1 3/1/2024 DATE", "1 1 Shell STRING"));
  EXPECT_THAT(Describe(Conditions("Code = 'AB'")), ElementsAre("12 1 AB CHAR"));
  EXPECT_THAT(Describe(Conditions("Nr = 7.0")), ElementsAre("0 1 7 INTEGER"));
  // Nothing an index walk could rely on:
  for (const char* text :
       {"Nr = 2.5", "Nr = 7 OR Nr = 8", "NOT (Nr = 7)", "Nr <> 7", "Nr NOT BETWEEN 1 AND 2",
        "Naam = 'Shell*'", "Nr + 0 = 7", "Nr = Leeg", "Nr = NULL", "Nr > '5'"}) {
    EXPECT_THAT(Conditions(text), IsEmpty()) << text;
  }
  // An index may tell case apart where the filter does not.
  EXPECT_EQ(Conditions("Naam = 'Shell' AND Nr = 7", {true, false}).size(), 1u);
}

TEST_F(ExpressionTest, LocateBuildsEqualitiesOfNamesAndValues) {
  EXPECT_EQ(SplitLocateFieldNames(" naam ; Nr;datum"),
            (std::vector<std::string>{"NAAM", "NR", "DATUM"}));
  auto locate = [&](std::string_view keyFields, std::vector<TQDXVariant> values,
                    bool caseInsensitive, bool partial) {
    const std::vector<std::string> names = SplitLocateFieldNames(keyFields);
    return BuildLocateExpression(names, values, defs_, caseInsensitive, partial)
        ->Evaluate(record_.data());
  };
  TQDXVariant naam, kort, klein, ster, nr, datum, leeg(D::Integer);
  naam.SetAsString("Shell Station");
  kort.SetAsString("Shell");
  klein.SetAsString("shell");
  ster.SetAsString("Shell*");
  nr.SetAsInteger(7);
  datum.SetAsString("2024-03-01");
  EXPECT_TRUE(locate("Naam;Nr", {naam, nr}, false, false));
  EXPECT_TRUE(locate("Datum", {datum}, false, false));
  EXPECT_FALSE(locate("Naam", {kort}, false, false));
  EXPECT_TRUE(locate("Naam", {kort}, false, true));
  EXPECT_FALSE(locate("Naam", {klein}, false, true));
  EXPECT_TRUE(locate("Naam", {klein}, true, true));
  EXPECT_FALSE(locate("Naam", {ster}, false, false));  // a "*" in a value is a character
  EXPECT_TRUE(locate("Leeg", {leeg}, false, false));   // a null value finds a NULL field
  EXPECT_FALSE(locate("Nr", {leeg}, false, false));

  const std::vector<std::string> names = SplitLocateFieldNames("NAAM;NR");
  const std::vector<TQDXVariant> values{naam, nr};
  EXPECT_EQ(BuildLocateExpression(names, values, defs_, false, false)->FieldConditions().size(),
            2u);
  EXPECT_QDX_ERROR(BuildLocateExpression(names, std::span(values).first(1), defs_, false, false),
                   30112, "Count of FieldNames (2) not equal counts of KeyValues (1)");
  const std::vector<std::string> unknown{"ONBEKEND"};
  EXPECT_QDX_ERROR(BuildLocateExpression(unknown, std::span(values).first(1), defs_, false, false),
                   30608, "Field 'ONBEKEND' not found");
}

// Default values through the field manager: expressions are evaluated for each new record.
class DefaultExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterExpressionDefaults();
    SetExpressionClock(&FakeClock);
  }
  void TearDown() override {
    SetDefaultExpressionParser(nullptr);
    SetExpressionClock(nullptr);
    fakeNow = {2024, 3, 1, (8 * 60 + 30) * 1000 * 60};
  }
  testing::ScopedUserLocale pin_{"en_US"};
};

TEST_F(DefaultExpressionTest, FunctionsAreEvaluatedPerRecordAndOtherTextsArePlainValues) {
  TQDXFieldDefs defs;
  auto withDefault = [&](std::string_view name, F type, int32_t size, std::string_view text) {
    TQDXVariant value;
    value.SetAsString(text);
    defs.AddField(name, type, size).SetDefaultValue(value);
  };
  withDefault("Datum", F::Date, 0, "CURRENT_DATE");
  withDefault("Stempel", F::DateTime, 0, "current_timestamp()");
  withDefault("Naam", F::String, 10, "UPPER('shell')");
  withDefault("Vast", F::Date, 0, "2024-02-29");   // a date, not 2024 - 2 - 29
  withDefault("Woord", F::String, 10, "CURRENT");  // a name, but no field: plain text
  withDefault("Som", F::String, 10, "1+1");
  TQDXBaseFieldManager manager;
  manager.SetDefinitions(defs);
  const TQDXFieldDefs& fields = manager.FieldDefs();
  EXPECT_NE(fields.GetFieldDef(0).DefaultExpression(), nullptr);
  EXPECT_EQ(fields.GetFieldDef(3).DefaultExpression(), nullptr);

  std::vector<uint8_t> record(static_cast<size_t>(manager.MemoryRecordSize()));
  auto newRecord = [&] {
    InitRecordBuffer(fields, record.data());
    manager.ApplyDefaults(nullptr, record.data());
    std::vector<std::string> texts;
    for (int32_t i = 0; i < fields.Count(); ++i) {
      TQDXVariant value;
      GetFieldValue(value, i, fields, record.data());
      texts.push_back(value.AsString());
    }
    return texts;
  };
  EXPECT_EQ(newRecord(), (std::vector<std::string>{"3/1/2024", "3/1/2024 8:30:00 AM", "SHELL",
                                                   "2/29/2024", "CURRENT", "1+1"}));
  fakeNow = {2024, 3, 2, (9 * 60) * 1000 * 60};
  EXPECT_EQ(newRecord(), (std::vector<std::string>{"3/2/2024", "3/2/2024 9:00:00 AM", "SHELL",
                                                   "2/29/2024", "CURRENT", "1+1"}));
}

// The fuzz target's seed texts, replayed: every one compiles or fails with an engine error.
TEST(ExpressionFuzzTest, SeedCorpusReplays) {
  const std::vector<std::string> seeds = testing::ExpressionFuzzSeeds();
  ASSERT_FALSE(seeds.empty());
  for (const std::string& seed : seeds) {
    SCOPED_TRACE(seed);
    EXPECT_EQ(
        testing::FuzzFilterExpression(reinterpret_cast<const uint8_t*>(seed.data()), seed.size()),
        0);
  }
}

}  // namespace
}  // namespace qdx
