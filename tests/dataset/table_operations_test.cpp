// The table operations of TQDXTable on a real file: create (with its validation and type
// mapping), empty, delete, rename, indexes, renaming a field, restructuring, copying into this or
// another file, and the errors of each, including the refusal inside a transaction.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dataset/database_error.h"
#include "dataset/framework/field.h"
#include "dataset/framework/numeric_fields.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/compression/compression.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "tests/dataset/database_error_text.h"
#include "tests/dataset/memory_data_set.h"
#include "tests/disk/disk_test_support.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using testing::DatabaseErrorText;

class TableOperationsTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    database_ = std::make_unique<TQDXDatabase>("QDXDatabase1");
    database_->SetDatabaseName("ops");
    database_->SetDatabaseFileName(path);
    database_->SilentMode = true;
    database_->CreateDatabase();
  }
  void TearDown() override {
    database_.reset();
    TempDirTest::TearDown();
  }

  std::unique_ptr<TQDXTable> Table(const std::string& tableName = "Items") {
    auto table = std::make_unique<TQDXTable>("tb1");
    table->SetDatabaseName("ops");
    table->SetTableName(tableName);
    return table;
  }

  // "Items": Id integer, Name string 20, index ById on Id; `rows` records 1..rows.
  std::unique_ptr<TQDXTable> CreateItems(int rows) {
    auto table = Table();
    table->FieldDefs().Add("Id", ftInteger);
    table->FieldDefs().Add("Name", ftString, 20);
    table->IndexDefs().Add("ById", "Id");
    table->CreateTable();
    table->Open();
    for (int i = 1; i <= rows; ++i) {
      table->Append();
      table->FieldByName("Id").SetAsInteger(i);
      table->FieldByName("Name").SetAsString(u"item");
      table->Post();
    }
    table->Close();
    return table;
  }

  std::vector<std::string> TableNames() {
    std::vector<std::string> names;
    database_->GetTableNames(names);
    return names;
  }

  std::unique_ptr<TQDXDatabase> database_;
};

TEST_F(TableOperationsTest, CreateMapsTheDatasetTypesAndReplacesAnExistingTable) {
  auto table = Table("Brandstofkosten");
  table->FieldDefs().Add("Datum", ftDate);
  table->FieldDefs().Add("Omschrijving", ftString, 30);
  table->FieldDefs().Add("KMStand", ftInteger);
  table->FieldDefs().Add("Liters", ftFloat);
  table->FieldDefs().Add("bedrag", ftCurrency);
  table->IndexDefs().Add("Datum", "Datum");
  table->CreateTable();
  EXPECT_TRUE(table->Exists());
  table->Open();
  EXPECT_EQ(table->RecordCount(), 0);
  const TQDXFieldDefs& fields = *table->Cursor()->TableFieldDefs;
  std::vector<std::string> types;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    types.emplace_back(FieldTypeName(fields.GetFieldDef(i).FieldType));
  }
  EXPECT_THAT(types, ElementsAre("DATE", "STRING", "INTEGER", "FLOAT", "CURRENCY"));
  table->Append();
  table->FieldByName("kmstand").SetAsInteger(5);
  table->Post();
  table->Close();

  // Creating it again starts it empty.
  table->CreateTable();
  table->Open();
  EXPECT_EQ(table->RecordCount(), 0);
  table->Close();
}

// Advanced definitions, when set, are what a table is made from: the engine keeps the defaults,
// bounds, autoinc and compression settings and per-column index lists they carry, their sizes
// are prepared first, and FieldDefs and IndexDefs are rebuilt from them.
TEST_F(TableOperationsTest, CreateBuildsFromTheAdvancedDefinitionsWhenSet) {
  auto table = Table("Artikelen");
  TQDXAdvFieldDefs& fields = table->AdvFieldDefs();
  fields.Add(TQDXAdvFieldDef("Nr", TQDXFieldType::AutoInc, 9));  // a size the type does not take
  TQDXAdvFieldDef& name = fields.Add(TQDXAdvFieldDef("Naam", TQDXFieldType::String, 20, true));
  name.DefaultValue = TQDXVariant(TQDXDataType::String);
  name.DefaultValue.SetAsString("onbekend");
  TQDXAdvFieldDef& price = fields.Add(TQDXAdvFieldDef("Prijs", TQDXFieldType::Integer));
  price.MinValue = TQDXVariant(TQDXDataType::Integer);
  price.MinValue.SetAsInteger(0);
  price.MaxValue = TQDXVariant(TQDXDataType::Integer);
  price.MaxValue.SetAsInteger(100);
  TQDXAdvFieldDef& photo = fields.Add(TQDXAdvFieldDef("Foto", TQDXFieldType::Blob));
  photo.BlobCompression = true;
  photo.BlobCompressionLevel = 5;
  photo.BlobCompressionAlgorithm = kCompressionBzip;
  fields.Add(TQDXAdvFieldDef("Code", TQDXFieldType::Guid));
  TQDXAdvIndexDef byName;
  byName.Name = "ByNaam";
  byName.Fields = "Naam;Nr";
  byName.DescFields = "Naam";
  byName.MaxIndexedSizes = "12";
  table->AdvIndexDefs().Add(byName);
  // FieldDefs given beside them do not count.
  table->FieldDefs().Add("Overig", ftInteger);
  table->CreateTable();

  EXPECT_EQ(fields[0].Size, 0);
  EXPECT_EQ(fields[4].Size, 38);
  std::vector<std::string> names;
  for (int32_t i = 0; i < table->FieldDefs().Count(); ++i) {
    names.push_back(table->FieldDefs()[i].Name());
  }
  EXPECT_THAT(names, ElementsAre("Nr", "Naam", "Prijs", "Foto", "Code"));
  EXPECT_TRUE(table->FieldDefs()[1].Required());
  EXPECT_EQ(table->FieldDefs()[4].Size(), 38);
  ASSERT_NE(table->IndexDefs().Find("ByNaam"), nullptr);

  table->Open();
  const TQDXFieldDefs& stored = *table->Cursor()->TableFieldDefs;
  EXPECT_EQ(stored.GetFieldDef(3).BlobCompressionAlgorithm, kCompressionBzip);
  EXPECT_EQ(stored.GetFieldDef(3).BlobCompressionMode, 5);
  const auto& index =
      static_cast<const TQDXIndexDef&>(*table->Cursor()->GetIndexDefs().FindByName("ByNaam"));
  ASSERT_EQ(index.ColumnCount(), 2);
  EXPECT_TRUE(index.Column(0).Descending);
  EXPECT_FALSE(index.Column(1).Descending);
  EXPECT_EQ(index.Column(0).MaxIndexedSize, 12);
  table->Append();
  EXPECT_EQ(table->FieldByName("Naam").AsString(), u"onbekend");
  table->FieldByName("Prijs").SetAsInteger(101);
  EXPECT_THROW(table->Post(), EFrameworkException);
  table->FieldByName("Prijs").SetAsInteger(100);
  table->Post();
  EXPECT_FALSE(table->FieldByName("Nr").IsNull());
  // The table as opened, for a restructure or a copy.
  const TQDXAdvFieldDefs& opened = table->OpenedAdvFieldDefs();
  ASSERT_EQ(opened.Count(), 5);
  EXPECT_EQ(opened[2].MaxValue.AsInteger(), 100);
  EXPECT_EQ(opened[0].FieldType, TQDXFieldType::AutoInc);
  table->Close();
}

// A one-byte autoinc integer below zero reads back through the dataset with its sign, as the
// plain one-byte integer does.
TEST_F(TableOperationsTest, NegativeOneByteIntegersReadBackWithTheirSign) {
  auto table = Table("Tellers");
  TQDXAdvFieldDef& counter = table->AdvFieldDefs().Add(
      TQDXAdvFieldDef("Nr", TQDXFieldType::AutoIncShortInt));
  counter.AutoincInitialValue = -6;
  counter.AutoincMinValue = -100;
  table->AdvFieldDefs().Add(TQDXAdvFieldDef("Klein", TQDXFieldType::ShortInt));
  table->CreateTable();
  table->Open();
  for (const int32_t small : {-5, -128, 127}) {
    table->Append();
    table->FieldByName("Klein").SetAsInteger(small);
    table->Post();
  }
  std::vector<std::pair<int32_t, int32_t>> read;
  for (table->First(); !table->Eof(); table->Next()) {
    read.emplace_back(table->FieldByName("Nr").AsInteger(),
                      table->FieldByName("Klein").AsInteger());
  }
  EXPECT_THAT(read, ElementsAre(std::pair{-5, -5}, std::pair{-4, -128}, std::pair{-3, 127}));
  table->Close();
}

// The field definitions of a closed table are read from the table through a cursor of their
// own; the table stays closed and the database is given back.
TEST_F(TableOperationsTest, FieldDefsOfAClosedTableComeFromTheTable) {
  CreateItems(2);
  database_->Close();
  auto table = Table();
  const TFieldDefs& defs = table->FieldDefs();
  ASSERT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs[0].Name(), "Id");
  EXPECT_EQ(defs[0].DataType(), ftInteger);
  EXPECT_EQ(defs[1].Name(), "Name");
  EXPECT_EQ(defs[1].DataType(), ftString);
  EXPECT_EQ(defs[1].Size(), 20);
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(table->Database(), nullptr);
  EXPECT_EQ(table->OpenedAdvFieldDefs().Count(), 2);
  EXPECT_EQ(table->OpenedAdvIndexDefs().Count(), 1);
  // A table not created yet keeps the definitions given for it.
  auto fresh = Table("Nieuw");
  fresh->FieldDefs().Add("Kolom", ftInteger);
  ASSERT_EQ(fresh->FieldDefs().Count(), 1);
  EXPECT_EQ(fresh->FieldDefs()[0].Name(), "Kolom");
}

// Exists is a question: whatever keeps the answer from being found answers false, never a
// failure.
TEST_F(TableOperationsTest, ExistsAnswersFalseRatherThanFailing) {
  CreateItems(0);
  const std::string damagedPath = path + ".damaged";
  {
    std::ofstream out(damagedPath, std::ios::binary);
    out << std::string(300, 'x');
  }
  TQDXDatabase gone("QDXDatabase2");
  gone.SetDatabaseName("gone");
  gone.SetDatabaseFileName(path + ".missing");
  gone.SilentMode = true;
  TQDXDatabase damaged("QDXDatabase3");
  damaged.SetDatabaseName("damaged");
  damaged.SetDatabaseFileName(damagedPath);
  damaged.SilentMode = true;
  struct Case {
    const char* what;
    const char* databaseName;
    const char* tableName;
    bool expected;
  };
  const Case cases[] = {
      {"the table", "ops", "Items", true},
      {"a name in other letters", "ops", "ITEMS", true},
      {"no such table", "ops", "Nope", false},
      {"no table name", "ops", "", false},
      {"no database name", "", "Items", false},
      {"a file that is not there", "gone", "Items", false},
      {"a file that is no database", "damaged", "Items", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TQDXTable table("tbExists");
    table.SetDatabaseName(c.databaseName);
    table.SetTableName(c.tableName);
    bool answer = !c.expected;
    EXPECT_NO_THROW(answer = table.Exists());
    EXPECT_EQ(answer, c.expected);
  }
  EXPECT_FALSE(gone.Connected());
  EXPECT_FALSE(damaged.Connected());
}

TEST_F(TableOperationsTest, CreateRefusesBadDefinitionsAndCreatesNothing) {
  struct Case {
    const char* what;
    TFieldType type;
    int32_t size;
    const msg::Message& expected;
  };
  for (const Case& c : {Case{"string of size 0", ftString, 0, msg::kCannotCreateTableWithField},
                        Case{"bytes of size 0", ftBytes, 0, msg::kCannotCreateTableWithField}}) {
    SCOPED_TRACE(c.what);
    auto table = Table("Bad");
    table->FieldDefs().Add("Field", c.type, c.size);
    EXPECT_QDX_ERROR(table->CreateTable(), c.expected, "Cannot create table 'Bad' with field");
    EXPECT_FALSE(table->Exists());
  }
  {
    auto table = Table("Bad");
    table->FieldDefs().Add("Id", ftInteger);
    table->IndexDefs().Add("ByNothing", "Missing");
    EXPECT_QDX_ERROR(table->CreateTable(), msg::kCreateTableIndexFieldUnknown,
                     "Cannot find index field 'Missing'");
    EXPECT_FALSE(table->Exists());
  }
  {
    auto table = Table("Bad");
    table->FieldDefs().Add("Id", ftADT);
    EXPECT_QDX_ERROR(table->CreateTable(), msg::kUnknownDatasetFieldType, "Unknown DataType");
  }
  auto unnamed = Table("");
  EXPECT_EQ(DatabaseErrorText([&] { unnamed->CreateTable(); }), "tb1: Missing TableName property");
}

TEST_F(TableOperationsTest, EmptyTableNeedsAClosedTableAndKeepsTheStructure) {
  auto table = CreateItems(5);
  table->Open();
  EXPECT_EQ(DatabaseErrorText([&] { table->EmptyTable(); }),
            "tb1: Cannot perform this operation on an open dataset");
  EXPECT_EQ(table->RecordCount(), 5);
  table->Close();
  table->EmptyTable();
  table->Open();
  EXPECT_EQ(table->RecordCount(), 0);
  EXPECT_EQ(table->FieldDefs().Count(), 2);
  EXPECT_NE(table->IndexDefs().Find("ById"), nullptr);
  table->Close();
}

TEST_F(TableOperationsTest, RenameAndDeleteTheTable) {
  auto table = CreateItems(2);
  table->RenameTable("Things");
  EXPECT_EQ(table->TableName(), "Things");
  EXPECT_THAT(TableNames(), ElementsAre("Things"));
  EXPECT_QDX_ERROR(table->RenameTable("Things"), msg::kCannotRenameTableIntoItself,
                   "Cannot rename table 'Things' into itself");
  EXPECT_EQ(table->TableName(), "Things");
  table->Open();
  EXPECT_EQ(table->RecordCount(), 2);
  // Deleting closes the table first.
  table->DeleteTable();
  EXPECT_FALSE(table->Active());
  EXPECT_FALSE(table->Exists());
}

TEST_F(TableOperationsTest, TableOperationsAreRefusedInsideATransaction) {
  auto table = CreateItems(1);
  database_->Open();
  database_->StartTransaction();
  EXPECT_QDX_ERROR(table->CreateTable(), msg::kCreateTableInTransaction,
                   "Cannot perform 'CreateTable' operation on a database in transaction");
  EXPECT_QDX_ERROR(table->DeleteTable(), msg::kDeleteTableInTransaction, "'DeleteTable'");
  EXPECT_QDX_ERROR(table->RenameTable("Other"), msg::kRenameTableInTransaction, "'RenameTable'");
  EXPECT_EQ(table->TableName(), "Items");
  EXPECT_QDX_ERROR(table->AddIndex("ByName", "Name", {}), msg::kAddIndexInTransaction,
                   "'AddIndex'");
  EXPECT_QDX_ERROR(table->DeleteIndex("ById"), msg::kDeleteIndexInTransaction, "'DeleteIndex'");
  EXPECT_QDX_ERROR(table->RenameField("Name", "Naam"), msg::kRenameFieldInTransaction,
                   "'RenameField'");
  EXPECT_FALSE(table->Active());
  database_->Rollback();
  EXPECT_THAT(TableNames(), ElementsAre("Items"));
}

TEST_F(TableOperationsTest, IndexesAreAddedAndDropped) {
  auto table = CreateItems(3);
  EXPECT_QDX_ERROR(table->AddIndex("", "Name", {}), msg::kAddIndexNameInvalid,
                   "Invalid index name ''");
  EXPECT_QDX_ERROR(table->AddIndex("ByName", "", {}), msg::kAddIndexFieldsEmpty,
                   "Cannot find index field ''");
  EXPECT_QDX_ERROR(table->AddIndex("ByName", "Nope", {}), msg::kCreateTableIndexFieldUnknown,
                   "Cannot find index field 'Nope'");
  table->AddIndex("ByName", "Name;Id", {TIndexOption::ixDescending}, "Name");
  EXPECT_QDX_ERROR(table->AddIndex("ByName", "Name", {}), msg::kIndexAlreadyExists, "ByName");

  // On an open table the open cursor is used.
  table->Open();
  table->SetIndexName("ByName");
  table->First();
  EXPECT_EQ(table->FieldByName("Id").AsInteger(), 1);
  table->SetIndexName("");
  table->DeleteIndex("ByName");
  EXPECT_QDX_ERROR(table->DeleteIndex("ByName"), msg::kCannotDeleteMissingIndex, "ByName");
  table->Close();
  EXPECT_EQ(table->IndexDefs().Find("ByName"), nullptr);
}

TEST_F(TableOperationsTest, RenameFieldKeepsTheValues) {
  auto table = CreateItems(2);
  table->RenameField("Name", "Naam");
  EXPECT_FALSE(table->Active());
  EXPECT_FALSE(table->Exclusive());
  table->Open();
  EXPECT_EQ(table->FieldByName("naam").AsString(), u"item");
  table->Close();
}

TEST_F(TableOperationsTest, RestructureKeepsTheRecordsByFieldName) {
  auto table = CreateItems(4);
  table->FieldDefs().Clear();
  table->FieldDefs().Add("Name", ftString, 30);
  table->FieldDefs().Add("Id", ftInteger);
  table->FieldDefs().Add("Added", ftFloat);
  std::string errors;
  EXPECT_TRUE(table->RestructureTable(errors));
  EXPECT_EQ(errors, "");
  EXPECT_THAT(TableNames(), ElementsAre("Items"));
  table->Open();
  EXPECT_EQ(table->RecordCount(), 4);
  table->Last();
  EXPECT_EQ(table->FieldByName("Id").AsInteger(), 4);
  EXPECT_EQ(table->FieldByName("Name").AsString(), u"item");
  EXPECT_TRUE(table->FieldByName("Added").IsNull());
  table->Close();

  // A structure that cannot be created leaves the old table in place and answers false with
  // the reason in the error text, which keeps what it held before.
  table->FieldDefs().Add("Broken", ftString, 0);
  errors = "earlier\n";
  bool restructured = true;
  EXPECT_NO_THROW(restructured = table->RestructureTable(errors));
  EXPECT_FALSE(restructured);
  EXPECT_THAT(errors, ::testing::StartsWith(
                          "earlier\nError restructuring table. Cannot create table due to error: "));
  EXPECT_THAT(errors, HasSubstr("Cannot create table 'Items' with field"));
  EXPECT_THAT(errors, ::testing::EndsWith("\n"));
  EXPECT_THAT(TableNames(), ElementsAre("Items"));
  table->Open();
  EXPECT_EQ(table->RecordCount(), 4);
  table->Close();

  // Inside a transaction it raises its own code, and the table keeps its name and records.
  database_->Open();
  database_->StartTransaction();
  errors.clear();
  EXPECT_QDX_ERROR(table->RestructureTable(errors), msg::kRestructureTableInTransaction,
                   "Cannot perform 'RestructureTable' operation on a database in transaction");
  database_->Rollback();
  EXPECT_THAT(TableNames(), ElementsAre("Items"));
  EXPECT_FALSE(table->Active());
}

std::vector<int32_t> IdsOf(TQDXTable& table) {
  std::vector<int32_t> ids;
  table.Open();
  for (table.First(); !table.Eof(); table.Next())
    ids.push_back(table.FieldByName("Id").AsInteger());
  table.Close();
  return ids;
}

TEST_F(TableOperationsTest, CopyMakesANewTableHereOrInAnotherFile) {
  auto table = CreateItems(25);
  const std::vector<int32_t> all = IdsOf(*table);
  ASSERT_EQ(all.size(), 25u);

  // Into this file, with the indexes; an open table keeps its position.
  table->SetExclusive(true);
  table->Open();
  table->First();
  table->Next();
  std::vector<int> reported;
  table->OnCopyProgress = [&](TQDXTable&, int32_t percent, bool&) { reported.push_back(percent); };
  EXPECT_EQ(table->CopyTable("Copy"), "");
  EXPECT_TRUE(table->Active());
  EXPECT_EQ(table->FieldByName("Id").AsInteger(), 2);
  table->Close();
  table->SetExclusive(false);
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported.back(), 100);
  auto copy = Table("Copy");
  EXPECT_EQ(IdsOf(*copy), all);
  EXPECT_NE(copy->IndexDefs().Find("ById"), nullptr);

  // Onto itself or onto an existing table: refused, and the table is closed again.
  EXPECT_QDX_ERROR(table->CopyTable("ITEMS"), msg::kCannotCopyTableIntoItself,
                   "Cannot copy table 'ops.Items' into it self");
  EXPECT_QDX_ERROR(table->CopyTable("Copy"), msg::kCopyTableAlreadyExists,
                   "Table 'ops.Copy' already exists");
  EXPECT_FALSE(table->Active());

  // Into another file, without the indexes; the same name is no copy onto itself there.
  const std::string otherPath = path + ".other";
  {
    TQDXDatabase other("Other");
    other.SetDatabaseName("other");
    other.SetDatabaseFileName(otherPath);
    other.CreateDatabase();
  }
  EXPECT_EQ(table->CopyTable("Items", otherPath, /*copyIndexes=*/false), "");
  EXPECT_QDX_ERROR(table->CopyTable("Items", otherPath), msg::kCopyTableAlreadyExists,
                   "Table 'TempDb.Items' already exists");
  {
    TQDXDatabase other("Other");
    other.SetDatabaseName("other");
    other.SetDatabaseFileName(otherPath);
    auto copied = Table("Items");
    copied->SetDatabaseName("other");
    EXPECT_EQ(IdsOf(*copied), all);
    EXPECT_EQ(copied->IndexDefs().Count(), 0);
  }

  // A target file that does not exist, a target table that cannot be created, a stopped copy.
  EXPECT_QDX_ERROR(table->CopyTable("Items", path + ".none"), msg::kCannotOpenFile,
                   "Cannot open file");
  database_->Open();
  database_->StartTransaction();
  EXPECT_QDX_ERROR(table->CopyTable("InTransaction"), msg::kCreateTableError,
                   "Create table 'ops.InTransaction' error: 'Cannot perform 'CreateTable'");
  database_->Rollback();
  table->OnCopyProgress = [](TQDXTable&, int32_t, bool& abort) { abort = true; };
  EXPECT_EQ(table->CopyTable("Stopped"), "Terminated by User.\n");
}

TEST_F(TableOperationsTest, CopyNeedsAFieldObjectForEveryField) {
  auto table = CreateItems(1);
  auto id = std::make_unique<TIntegerField>();
  id->SetFieldName("Id");
  table->Fields().Add(std::move(id));
  EXPECT_QDX_ERROR(table->CopyTable("Copy"), msg::kCopyTableFieldObjectMissing,
                   "Cannot copy table \"Items\". Field object for field \"Name\" is not created.");
  EXPECT_FALSE(table->Active());
  EXPECT_THAT(TableNames(), ElementsAre("Items"));
}

TEST_F(TableOperationsTest, ImportCreatesATableLikeTheSourceWithItsRecords) {
  // From a dataset of another kind: the fields and records, nulls kept.
  testing::TMemoryDataSet memory;
  memory.FieldDefs().Add("Id", ftInteger);
  memory.FieldDefs().Add("Naam", ftString, 12);
  memory.FieldDefs().Add("Bedrag", ftFloat);
  memory.Open();
  struct Row {
    int32_t id;
    const char16_t* name;  // null: no value
    double amount;
  };
  const Row rows[] = {{1, u"tanken", 61.5}, {2, nullptr, 12.25}, {3, u"wassen", 9.0}};
  for (const Row& row : rows) {
    memory.Append();
    memory.FieldByName("Id").SetAsInteger(row.id);
    if (row.name != nullptr) memory.FieldByName("Naam").SetAsString(row.name);
    memory.FieldByName("Bedrag").SetAsFloat(row.amount);
    memory.Post();
  }
  memory.First();
  memory.Next();
  auto imported = Table("Imported");
  EXPECT_EQ(imported->ImportTable(memory), "");
  EXPECT_FALSE(imported->Active());
  EXPECT_EQ(memory.FieldByName("Id").AsInteger(), 2);  // the source keeps its record
  imported->Open();
  ASSERT_EQ(imported->RecordCount(), 3);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(imported->FieldByName("Id").AsInteger(), row.id);
    if (row.name == nullptr) {
      EXPECT_TRUE(imported->FieldByName("Naam").IsNull());
    } else {
      EXPECT_EQ(imported->FieldByName("Naam").AsString(), row.name);
    }
    EXPECT_DOUBLE_EQ(imported->FieldByName("Bedrag").AsFloat(), row.amount);
    imported->Next();
  }
  EXPECT_EQ(DatabaseErrorText([&] { imported->ImportTable(memory); }),
            "tb1: Cannot perform this operation on an open dataset");
  imported->Close();

  // From a table: its indexes come along.
  auto items = CreateItems(4);
  auto again = Table("Again");
  EXPECT_EQ(again->ImportTable(*items), "");
  EXPECT_NE(again->IndexDefs().Find("ById"), nullptr);
  EXPECT_EQ(IdsOf(*again), (std::vector<int32_t>{1, 2, 3, 4}));
  // Not into the source itself, which creating the table would replace.
  auto same = Table("items");
  EXPECT_QDX_ERROR(same->ImportTable(*items), msg::kCannotCopyTableIntoItself,
                   "Cannot copy table 'ops.items' into it self");
  EXPECT_EQ(IdsOf(*items).size(), 4u);

  // A source whose fields this engine cannot store: nothing is created.
  testing::TMemoryDataSet odd;
  odd.FieldDefs().Add("Id", ftInteger);
  odd.FieldDefs().Add("Blob", ftBytes, 0);
  auto none = Table("None");
  EXPECT_THAT(none->ImportTable(odd),
              HasSubstr("Error importing table. Cannot create table due to error: Cannot create "
                        "table 'None' with field"));
  EXPECT_FALSE(none->Exists());
}

}  // namespace
}  // namespace qdx
