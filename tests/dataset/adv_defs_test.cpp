// The advanced definitions: validation, preparation and conversion into the engine's field,
// index and constraint definitions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dataset/adv_defs.h"
#include "dataset/database_error.h"
#include "dataset/framework/field_defs.h"
#include "dataset/table_maintenance.h"
#include "engine/foundation/messages.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

TQDXAdvFieldDefs Fields(std::initializer_list<TQDXAdvFieldDef> defs) {
  TQDXAdvFieldDefs fields;
  for (const TQDXAdvFieldDef& def : defs) fields.Add(def);
  return fields;
}

TEST(AdvDefsTest, ValidationNamesTheFirstBadField) {
  TQDXAdvFieldDef blob("Photo", TQDXFieldType::Blob);
  blob.BlobCompression = true;
  struct Case {
    TQDXAdvFieldDefs fields;
    const msg::Message& expected;
    const char* text;
  };
  const Case cases[] = {
      {Fields({{"Id", TQDXFieldType::Integer}, {"", TQDXFieldType::Integer}}),
       msg::kMissingFieldName, "Missing field name. FieldNo=1, table 'T'"},
      {Fields({{"Name", TQDXFieldType::String, 0}}), msg::kCannotCreateTableWithField,
       "Cannot create table 'T' with field: Name STRING(0)"},
      {Fields({{"Raw", TQDXFieldType::VarBytes, -1}}), msg::kCannotCreateTableWithField,
       "Raw VARBYTES(-1)"},
      {Fields({blob}), msg::kInvalidBlobCompressionMode,
       "for blob field 'Photo'. Cannot create table 'T'"},
  };
  for (const Case& c : cases) {
    EXPECT_QDX_ERROR(ValidateAdvFieldDefs("T", c.fields), c.expected, c.text);
  }
  blob.BlobCompressionLevel = 9;
  ValidateAdvFieldDefs("T", Fields({blob, {"Name", TQDXFieldType::String, 1}}));
}

TEST(AdvDefsTest, PreparationGivesEachTypeItsSize) {
  TQDXAdvFieldDefs fields = Fields({{"Count", TQDXFieldType::Integer, 12},
                                    {"Key", TQDXFieldType::Guid, 0},
                                    {"Raw", TQDXFieldType::Bytes, 16},
                                    {"Name", TQDXFieldType::String, 10}});
  fields[3].DefaultValue.SetAsString("");
  fields[0].MinValue.SetAsString("5");
  PrepareAdvFieldDefs(fields);
  EXPECT_EQ(fields[0].Size, 0);
  EXPECT_EQ(fields[1].Size, 38);
  EXPECT_EQ(fields[2].Size, 16);
  EXPECT_EQ(fields[3].Size, 10);
  EXPECT_TRUE(fields[3].DefaultValue.IsNull());
  EXPECT_EQ(fields[0].MinValue.AsInteger(), 5);
}

TEST(AdvDefsTest, IndexColumnsTakeTheirListsOrTheOptions) {
  const TQDXAdvFieldDefs fields = Fields({{"Name", TQDXFieldType::String, 30},
                                          {"Date", TQDXFieldType::Date},
                                          {"Code", TQDXFieldType::Bytes, 8}});
  TQDXAdvIndexDef index;
  index.Name = "ByAll";
  index.Fields = "name;Date;Code";
  index.DescFields = "Date";
  index.Options = {TIndexOption::ixCaseInsensitive, TIndexOption::ixUnique};
  index.MaxIndexedSizes = "12;40;0";
  const auto def = MakeEngineIndexDef(index, fields, msg::kCreateTableIndexNameInvalid,
                                      msg::kCreateTableIndexFieldsEmpty,
                                      msg::kCreateTableIndexFieldUnknown);
  ASSERT_EQ(def->ColumnCount(), 3);
  EXPECT_TRUE(def->Unique);
  EXPECT_FALSE(def->Primary);
  EXPECT_EQ(def->Column(0).FieldName, "Name");
  EXPECT_FALSE(def->Column(0).Descending);
  EXPECT_TRUE(def->Column(1).Descending);
  EXPECT_TRUE(def->Column(0).CaseInsensitive && def->Column(2).CaseInsensitive);
  // Sizes count for string and byte fields only, and only when positive.
  EXPECT_EQ(def->Column(0).MaxIndexedSize, 12);
  EXPECT_EQ(def->Column(1).MaxIndexedSize, 20);
  EXPECT_EQ(def->Column(2).MaxIndexedSize, 20);

  index.Fields = "";
  EXPECT_QDX_ERROR(MakeEngineIndexDef(index, fields, msg::kAddIndexNameInvalid,
                                      msg::kAddIndexFieldsEmpty, msg::kCreateTableIndexFieldUnknown),
                   msg::kAddIndexFieldsEmpty, "Cannot find index field ''");
  index.Name = "";
  EXPECT_QDX_ERROR(MakeEngineIndexDef(index, fields, msg::kCreateTableIndexNameInvalid,
                                      msg::kCreateTableIndexFieldsEmpty,
                                      msg::kCreateTableIndexFieldUnknown),
                   msg::kCreateTableIndexNameInvalid, "Invalid index name ''");
}

TEST(AdvDefsTest, ConstraintsComeFromRequiredBoundedAndUniqueDefinitions) {
  TQDXAdvFieldDefs fields = Fields({{"Id", TQDXFieldType::Integer, 0, true},
                                    {"Liters", TQDXFieldType::Float}});
  fields[1].MinValue.SetAsFloat(0);
  TQDXAdvIndexDefs indexes;
  TQDXAdvIndexDef primary;
  primary.Name = "PK";
  primary.Fields = "Id";
  primary.Options = {TIndexOption::ixPrimary};
  indexes.Add(primary);
  TQDXAdvIndexDef plain;
  plain.Name = "ByLiters";
  plain.Fields = "Liters";
  indexes.Add(plain);

  TQDXTableDefinitions definitions;
  BuildTableDefinitions("Fuel", fields, indexes, false, definitions);
  ASSERT_EQ(definitions.Fields.Count(), 2);
  EXPECT_EQ(definitions.Indexes.Count(), 2);
  ASSERT_EQ(definitions.Constraints.Count(), 3);
  EXPECT_EQ(definitions.Constraints.GetConstraintDef(0).ConstraintType(), ctNotNull);
  EXPECT_EQ(definitions.Constraints.GetConstraintDef(1).ConstraintType(), ctCheck);
  EXPECT_EQ(definitions.Constraints.GetConstraintDef(2).ConstraintType(), ctPrimaryKey);
  EXPECT_EQ(definitions.Constraints.GetConstraintDef(2).Name(), "C_PK$Id");

  // A temporary table gets none.
  TQDXTableDefinitions temporary;
  BuildTableDefinitions("Fuel", fields, indexes, true, temporary);
  EXPECT_EQ(temporary.Constraints.Count(), 0);
}

TEST(AdvDefsTest, DatasetTypesMapToTheFirstFieldTypeListingThem) {
  TFieldDefs defs;
  defs.Add("Datum", ftDate);
  defs.Add("Omschrijving", ftString, 30, true);
  defs.Add("KMStand", ftInteger);
  defs.Add("Liters", ftFloat);
  defs.Add("bedrag", ftCurrency);
  defs.Add("Key", ftGuid);
  TQDXAdvFieldDefs fields;
  AdvFieldDefsFromFieldDefs(defs, fields);
  ASSERT_EQ(fields.Count(), 6);
  const TQDXFieldType expected[] = {TQDXFieldType::Date,    TQDXFieldType::String,
                                    TQDXFieldType::Integer, TQDXFieldType::Float,
                                    TQDXFieldType::Currency, TQDXFieldType::Guid};
  for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(fields[i].FieldType, expected[i]) << fields[i].Name;
  EXPECT_TRUE(fields[1].Required);
  EXPECT_EQ(fields[1].Size, 30);
  EXPECT_EQ(fields[5].Size, 38);
  EXPECT_EQ(&fields.FieldByName("kmstand"), &fields[2]);
  try {
    fields.FieldByName("Missing");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'Missing' not found");
  }
}

}  // namespace
}  // namespace qdx
