// The field list's look-up by name: it ignores letter case, and the names it remembers between
// look-ups never make it answer other than a search of the list would, whatever happens to the
// list in between (fields added, removed, renamed, the list cleared).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dataset/framework/fields.h"
#include "tests/dataset/database_error_text.h"

namespace qdx {
namespace {

class FieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"Datum", "Omschrijving", "KMStand", "Liters"}) Add(name);
  }

  TField& Add(const std::string& name) {
    std::unique_ptr<TField> field = CreateFieldForType(ftInteger, 0);
    field->SetFieldName(name);
    return fields_.Add(std::move(field));
  }

  std::string NotFound(std::string_view name) {
    return testing::DatabaseErrorText([&] { fields_.FieldByName(name); });
  }

  TFields fields_{nullptr};
};

TEST_F(FieldsTest, FindsNamesIgnoringCaseAsOftenAsAsked) {
  struct Case {
    const char* asked;
    const char* found;
  };
  const Case cases[] = {{"kmstand", "KMStand"}, {"KMSTAND", "KMStand"}, {"KmStand", "KMStand"},
                        {"datum", "Datum"},     {"LITERS", "Liters"},   {"omschrijving", "Omschrijving"}};
  // Twice over, and more spellings than the list remembers: the second round is answered
  // partly from what it remembers, partly by a search.
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.asked);
      EXPECT_EQ(fields_.FieldByName(c.asked).FieldName(), c.found);
    }
  }
  for (const char* name : {"kmstan", "kmstandd", "", "Datum "}) {
    EXPECT_EQ(fields_.FindField(name), nullptr) << name;
    EXPECT_EQ(NotFound(name), "Field '" + std::string(name) + "' not found");
  }
}

TEST_F(FieldsTest, ForgetsWhatItFoundWhenTheListChanges) {
  TField& km = fields_.FieldByName("kmstand");
  ASSERT_EQ(&fields_.FieldByName("kmstand"), &km);

  // Removed: the name is no longer found, and the field no longer tells the list of renames.
  std::unique_ptr<TField> removed = fields_.Remove(km);
  EXPECT_EQ(fields_.FindField("kmstand"), nullptr);
  EXPECT_EQ(NotFound("kmstand"), "Field 'kmstand' not found");
  removed->SetFieldName("Liters2");

  // Added again, as another object under the same name.
  TField& again = Add("KMStand");
  EXPECT_EQ(&fields_.FieldByName("kmstand"), &again);

  // Renamed: the old name goes, the new one is found, in any case.
  fields_.FieldByName("liters");
  fields_.FieldByName("liters").SetFieldName("Volume");
  EXPECT_EQ(fields_.FindField("liters"), nullptr);
  EXPECT_EQ(fields_.FieldByName("VOLUME").FieldName(), "Volume");

  // A rename that makes an earlier field answer to a name found before: the first field in
  // the list wins, as a search would have it.
  EXPECT_EQ(fields_.FieldByName("kmstand").FieldName(), "KMStand");
  fields_.FieldByName("datum").SetFieldName("kmstand");
  EXPECT_EQ(fields_.FieldByName("KMSTAND").FieldName(), "kmstand");

  fields_.Clear();
  EXPECT_EQ(fields_.FindField("volume"), nullptr);
  EXPECT_EQ(NotFound("Volume"), "Field 'Volume' not found");
}

}  // namespace
}  // namespace qdx
