// Field objects over the in-memory test dataset: reading and writing each type through the
// getters and setters, null values, the user's display and edit formats (pinned to nl_NL), the
// 8-bit text of string fields, and the messages of refused conversions.
#include <gtest/gtest.h>

#include "dataset/database_error.h"
#include "dataset/framework/string_fields.h"
#include "tests/dataset/memory_data_set.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("tb1");
    ds_.FieldDefs().Add("KMStand", ftInteger);
    ds_.FieldDefs().Add("Klein", ftSmallint);
    ds_.FieldDefs().Add("Liters", ftFloat);
    ds_.FieldDefs().Add("bedrag", ftCurrency);
    ds_.FieldDefs().Add("Datum", ftDate);
    ds_.FieldDefs().Add("Naam", ftString, 5);
    ds_.FieldDefs().Add("Vol", ftBoolean);
    ds_.FieldDefs().Add("Tijd", ftTime);
    ds_.Layout();
    ds_.Open();
    ds_.Append();
  }

  TField& F(std::string_view name) { return ds_.FieldByName(name); }

  std::string ErrorOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const EDatabaseError& e) {
      return e.Message();
    }
    return "no error";
  }

  testing::ScopedUserLocale locale_{"nl_NL"};
  testing::TMemoryDataSet ds_;
};

TEST_F(FieldTest, EveryTypeReadsNullAsZeroOrEmpty) {
  for (const auto& field : ds_.Fields()) {
    SCOPED_TRACE(field->FieldName());
    EXPECT_TRUE(field->IsNull());
    EXPECT_EQ(field->AsString(), u"");
    EXPECT_EQ(field->DisplayText(), u"");
    EXPECT_TRUE(field->AsVariant().IsNull());
  }
  EXPECT_EQ(F("kmstand").AsInteger(), 0);
  EXPECT_EQ(F("liters").AsFloat(), 0.0);
  EXPECT_EQ(F("datum").AsDateTime(), 0.0);
}

TEST_F(FieldTest, TextsRoundTripInTheUsersFormats) {
  struct Case {
    const char* field;
    std::u16string typed;
    std::u16string display;
    std::u16string edit;
  };
  const Case cases[] = {
      {"KMStand", u"123456", u"123456", u"123456"},
      {"Klein", u"-7", u"-7", u"-7"},
      {"Liters", u"41,25", u"41,25", u"41,25"},
      {"bedrag", u"12,5", u"\u20AC 12,50", u"12,5"},
      {"Datum", u"3-1-2024", u"03-01-2024", u"03-01-2024"},
      {"Naam", u"Shell", u"Shell", u"Shell"},
      {"Vol", u"true", u"True", u"True"},
      {"Tijd", u"13:45:10", u"13:45:10", u"13:45:10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    F(c.field).SetEditText(c.typed);
    EXPECT_EQ(F(c.field).DisplayText(), c.display);
    EXPECT_EQ(F(c.field).EditText(), c.edit);
  }
  F("Datum").SetEditText(u"");
  EXPECT_TRUE(F("Datum").IsNull()) << "an emptied control clears the field";
}

TEST_F(FieldTest, TypedGettersAndSetters) {
  F("KMStand").SetAsInteger(98765);
  EXPECT_EQ(F("KMStand").AsFloat(), 98765.0);
  EXPECT_EQ(F("KMStand").AsString(), u"98765");
  F("Liters").SetAsFloat(40.5);
  EXPECT_EQ(F("Liters").AsInteger(), 40) << "rounds half to even";
  F("bedrag").SetAsCurrency(61.37);
  EXPECT_DOUBLE_EQ(F("bedrag").AsFloat(), 61.37);
  EXPECT_EQ(F("bedrag").AsVariant(), Variant::FromCurrency(613700));
  // 2024-01-03 is day 45294 of the date values.
  F("Datum").SetAsDateTime(45294.75);
  EXPECT_EQ(F("Datum").AsDateTime(), 45294.0) << "a date keeps no time";
  F("Vol").SetAsBoolean(true);
  EXPECT_TRUE(F("Vol").AsBoolean());
  F("Naam").SetAsVariant(Variant::FromInteger(12));
  EXPECT_EQ(F("Naam").AsInteger(), 12);
  F("Naam").Clear();
  EXPECT_TRUE(F("Naam").IsNull());
}

TEST_F(FieldTest, StringFieldKeepsWindows1252AndCutsAtItsSize) {
  auto& naam = static_cast<TStringField&>(F("Naam"));
  naam.SetAsString(u"caf\u00E9 de Paris");
  EXPECT_EQ(naam.Value(), "caf\xE9 ");
  EXPECT_EQ(naam.AsString(), u"caf\u00E9 ");
}

// A field's own conversion messages name the field, not the dataset.
TEST_F(FieldTest, RefusedValuesNameTheField) {
  EXPECT_EQ(ErrorOf([&] { F("KMStand").SetAsString(u"12a"); }),
            "'12a' is not a valid integer value for field 'KMStand'");
  EXPECT_EQ(ErrorOf([&] { F("Klein").SetAsInteger(40000); }),
            "40000 is not a valid value for field 'Klein'. The allowed range is -32768 to 32767");
  EXPECT_EQ(ErrorOf([&] { F("Liters").SetAsString(u"veel"); }),
            "'veel' is not a valid floating point value for field 'Liters'");
  EXPECT_EQ(ErrorOf([&] { F("Datum").SetAsString(u"32-1-2024"); }),
            "'32-1-2024' is not a valid date");
  EXPECT_EQ(ErrorOf([&] { F("Vol").SetAsString(u"misschien"); }),
            "'misschien' is not a valid boolean value for field 'Vol'");
  EXPECT_EQ(ErrorOf([&] { (void)F("Datum").AsBoolean(); }),
            "Cannot access field 'Datum' as type Boolean");
  EXPECT_TRUE(F("KMStand").IsNull()) << "a refused value leaves the field as it was";
}

TEST_F(FieldTest, ValidateAndChangeEventsSurroundAWrite) {
  std::vector<std::string> log;
  F("KMStand").OnValidate = [&](TField& f) {
    log.push_back("validate");
    if (f.DataSet()->State() != TDataSetState::Inserting) throw EDatabaseError("no");
  };
  F("KMStand").OnChange = [&](TField&) { log.push_back("change"); };
  F("KMStand").SetAsInteger(5);
  EXPECT_EQ(log, (std::vector<std::string>{"validate", "change"}));
  EXPECT_TRUE(ds_.Modified());
}

}  // namespace
}  // namespace qdx
