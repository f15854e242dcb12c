// The table dataset against a real database file: a user's session with the expense table of
// the program (open in date order, walk, edit settled by the next move, insert in index order,
// delete and where the current record lands, cancel, filters, ranges, key search, locate, field
// access by every type and by names in any letter case), the errors with their component
// prefixes and codes, and the notifications a data link receives.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/database_error.h"
#include "dataset/framework/data_link.h"
#include "dataset/framework/data_source.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "tests/core/memory_table.h"
#include "tests/dataset/expense_table_support.h"
#include "tests/disk/disk_test_support.h"
#include "tests/foundation/locale_pin.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

// 2024-01-01 as a date value; day d of 2024 is kJan1 + d - 1.
constexpr double kJan1 = 45292;

// The text of what `action` raises.
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

class QDXTableTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    database_ = testing::CreateWagenlogDatabase(path);
    testing::CreateExpenseTable(*database_);
    database_->Close();
    tb1_ = NewTable();
  }
  void TearDown() override {
    tb1_.reset();
    database_.reset();
    TempDirTest::TearDown();
  }

  std::unique_ptr<TQDXTable> NewTable(const char* name = "tb1") {
    return testing::NewExpenseTable("wagenlog", name);
  }

  // Appends an expense on day `day` of 2024.
  void Add(int day, const char16_t* category, int32_t km, double litres, double amount) {
    tb1_->Append();
    tb1_->FieldByName("datum").SetAsDateTime(kJan1 + day - 1);
    tb1_->FieldByName("omschrijving").SetAsString(category);
    tb1_->FieldByName("Bedrijf").SetAsString(u"Shell");
    tb1_->FieldByName("kmstand").SetAsInteger(km);
    tb1_->FieldByName("liters").SetAsFloat(litres);
    tb1_->FieldByName("bedrag").SetAsCurrency(amount);
    tb1_->Post();
  }

  // Five fuel records entered out of date order: days 10, 3, 20, 7, 15 with km = day * 100.
  void AddFive() {
    for (int day : {10, 3, 20, 7, 15}) Add(day, u"Brandstof", day * 100, 40.0 + day, 60.0 + day);
  }

  int Day() { return static_cast<int>(tb1_->FieldByName("Datum").AsDateTime() - kJan1) + 1; }

  std::vector<int> Days() {
    std::vector<int> days;
    for (tb1_->First(); !tb1_->Eof(); tb1_->Next()) days.push_back(Day());
    return days;
  }

  testing::ScopedUserLocale locale_{"nl_NL"};
  std::unique_ptr<TQDXDatabase> database_;
  std::unique_ptr<TQDXTable> tb1_;
};

TEST_F(QDXTableTest, ExpensesComeInDateOrderAndChangesReachTheFile) {
  tb1_->Open();
  EXPECT_TRUE(tb1_->Bof() && tb1_->Eof());
  EXPECT_EQ(tb1_->RecordCount(), 0);
  AddFive();
  EXPECT_EQ(Days(), (std::vector<int>{3, 7, 10, 15, 20}));
  EXPECT_EQ(tb1_->RecordCount(), 5);

  // The statistics' way of writing: Edit, a setter, and the next move posts.
  for (tb1_->First(); !tb1_->Eof(); tb1_->Next()) {
    tb1_->Edit();
    tb1_->FieldByName("verbruik").SetFloat(tb1_->FieldByName("kmstand").GetInteger() / 10.0);
  }
  tb1_->Close();
  database_->Close();

  // A new component and table read what the file holds.
  tb1_.reset();
  database_ = std::make_unique<TQDXDatabase>("QDXDatabase1");
  database_->SetDatabaseName("wagenlog");
  database_->SetDatabaseFileName(path);
  tb1_ = NewTable();
  tb1_->Open();
  std::vector<double> verbruik;
  for (tb1_->First(); !tb1_->Eof(); tb1_->Next()) verbruik.push_back(tb1_->FieldByName("VERBRUIK").GetFloat());
  EXPECT_EQ(verbruik, (std::vector<double>{30, 70, 100, 150, 200}));
}

TEST_F(QDXTableTest, InsertLandsInIndexOrderAndDeleteMovesToTheNext) {
  tb1_->Open();
  AddFive();
  tb1_->First();
  tb1_->Insert();
  EXPECT_EQ(tb1_->RecNo(), -1);
  tb1_->FieldByName("Datum").SetAsDateTime(kJan1 + 11);  // day 12
  tb1_->Post();
  EXPECT_EQ(Day(), 12) << "the posted record stays current at its place in the order";
  EXPECT_EQ(tb1_->RecNo(), 4);
  tb1_->Next();
  EXPECT_EQ(Day(), 15);
  tb1_->Delete();
  EXPECT_EQ(Day(), 20);
  tb1_->Delete();
  EXPECT_EQ(Day(), 12) << "at the end the previous record becomes current";
  EXPECT_EQ(Days(), (std::vector<int>{3, 7, 10, 12}));
}

TEST_F(QDXTableTest, EditWithoutWriteStoresNothingAndCancelRestores) {
  tb1_->Open();
  AddFive();
  tb1_->First();
  tb1_->Edit();
  tb1_->FieldByName("Bedrijf").SetAsString(u"Esso");
  tb1_->Cancel();
  EXPECT_EQ(tb1_->FieldByName("Bedrijf").AsString(), u"Shell");
  tb1_->Edit();
  tb1_->Next();
  tb1_->Edit();
  tb1_->FieldByName("Bedrijf").SetAsString(u"BP");
  tb1_->Close();  // the pending change is lost
  tb1_->Open();
  for (tb1_->First(); !tb1_->Eof(); tb1_->Next()) EXPECT_EQ(tb1_->FieldByName("bedrijf").AsString(), u"Shell");
}

TEST_F(QDXTableTest, EveryFieldTypeReadsAndWritesByAnyLetterCase) {
  tb1_->Open();
  Add(5, u"Brandstof", 123456, 41.25, 61.37);
  tb1_->First();
  EXPECT_EQ(tb1_->FieldByName("DATUM").GetText(), u"05-01-2024");
  EXPECT_EQ(tb1_->FieldByName("datum").GetDateTime(), kJan1 + 4);
  EXPECT_EQ(tb1_->FieldByName("Omschrijving").GetText(), u"Brandstof");
  EXPECT_EQ(tb1_->FieldByName("KMSTAND").GetInteger(), 123456);
  EXPECT_EQ(tb1_->FieldByName("Liters").GetFloat(), 41.25);
  EXPECT_DOUBLE_EQ(tb1_->FieldByName("Bedrag").GetFloat(), 61.37);
  EXPECT_EQ(tb1_->FieldByName("bedrag").DisplayText(), u"\u20AC 61,37");
  EXPECT_TRUE(tb1_->FieldByName("verbruik").IsNull());
  EXPECT_EQ(tb1_->FieldByName("verbruik").GetFloat(), 0.0);
  EXPECT_EQ(tb1_->FieldDefs()[1].Size(), 30);
}

// Every scalar type of the engine, written through the table, read back after the table is
// opened again (values at the edges of their range, where a read of the wrong width or sign
// shows), and a record left empty reads as null.
TEST_F(QDXTableTest, EveryEngineTypeReadsBackWhatWasWritten) {
  struct Case {
    const char* name;
    TQDXFieldType type;
    std::function<void(TField&)> write;
    std::function<void(const TField&)> check;
  };
  const std::vector<Case> cases = {
      {"Kort", TQDXFieldType::ShortInt, [](TField& f) { f.SetAsInteger(-128); },
       [](const TField& f) { EXPECT_EQ(f.AsInteger(), -128); }},
      {"Klein", TQDXFieldType::SmallInt, [](TField& f) { f.SetAsInteger(-32768); },
       [](const TField& f) { EXPECT_EQ(f.AsInteger(), -32768); }},
      {"Heel", TQDXFieldType::Integer, [](TField& f) { f.SetAsInteger(INT32_MIN); },
       [](const TField& f) { EXPECT_EQ(f.AsInteger(), INT32_MIN); }},
      {"Groot", TQDXFieldType::LargeInt, [](TField& f) { f.SetAsLargeInt(-(int64_t{1} << 40) - 3); },
       [](const TField& f) { EXPECT_EQ(f.AsLargeInt(), -(int64_t{1} << 40) - 3); }},
      {"Octet", TQDXFieldType::Byte, [](TField& f) { f.SetAsInteger(255); },
       [](const TField& f) { EXPECT_EQ(f.AsInteger(), 255); }},
      {"Woord", TQDXFieldType::Word, [](TField& f) { f.SetAsInteger(65535); },
       [](const TField& f) { EXPECT_EQ(f.AsInteger(), 65535); }},
      {"Kardinaal", TQDXFieldType::Cardinal, [](TField& f) { f.SetAsLargeInt(4294967295); },
       [](const TField& f) { EXPECT_EQ(f.AsLargeInt(), 4294967295); }},
      {"Enkel", TQDXFieldType::Single, [](TField& f) { f.SetAsFloat(-1.5); },
       [](const TField& f) { EXPECT_EQ(f.AsFloat(), -1.5); }},
      {"Dubbel", TQDXFieldType::Float, [](TField& f) { f.SetAsFloat(-1e300); },
       [](const TField& f) { EXPECT_EQ(f.AsFloat(), -1e300); }},
      {"Ruim", TQDXFieldType::Extended, [](TField& f) { f.SetAsFloat(0.25); },
       [](const TField& f) { EXPECT_EQ(f.AsFloat(), 0.25); }},
      {"Vol", TQDXFieldType::Logical, [](TField& f) { f.SetAsBoolean(true); },
       [](const TField& f) { EXPECT_TRUE(f.AsBoolean()); }},
      {"Geld", TQDXFieldType::Currency, [](TField& f) { f.SetAsCurrency(-12.34); },
       [](const TField& f) { EXPECT_DOUBLE_EQ(f.AsCurrency(), -12.34); }},
      {"Dag", TQDXFieldType::Date, [](TField& f) { f.SetAsDateTime(kJan1 + 365); },
       [](const TField& f) { EXPECT_EQ(f.AsDateTime(), kJan1 + 365); }},
      {"Tijd", TQDXFieldType::Time, [](TField& f) { f.SetAsDateTime(0.75); },
       [](const TField& f) { EXPECT_EQ(f.AsDateTime(), 0.75); }},
      {"Moment", TQDXFieldType::DateTime, [](TField& f) { f.SetAsDateTime(kJan1 + 0.5); },
       [](const TField& f) { EXPECT_EQ(f.AsDateTime(), kJan1 + 0.5); }},
      {"Tekst", TQDXFieldType::String, [](TField& f) { f.SetAsString(u"caf\u00E9 vijf"); },
       [](const TField& f) { EXPECT_EQ(f.AsString(), u"caf\u00E9 vijf"); }},
  };
  database_->Open();
  TQDXFieldDefs fields;
  fields.AddField("Nr", TQDXFieldType::Integer);
  for (const Case& c : cases) fields.AddField(c.name, c.type, c.type == TQDXFieldType::String ? 10 : 0);
  TQDXIndexDefs indexes;
  auto& byNumber = static_cast<TQDXIndexDef&>(indexes.AddCreated());
  byNumber.SetName("Nr");
  byNumber.SetColumnsFromLists({"Nr"}, {"ASC"}, {""});
  {
    TQDXLocalCursor creator(*database_->EngineSession());
    creator.TableName = "Alles";
    creator.CreateTable(fields, indexes, TQDXConstraintDefs());
  }
  TQDXTable alles("tb2");
  alles.SetDatabaseName("wagenlog");
  alles.SetTableName("Alles");
  alles.SetIndexName("Nr");
  alles.Open();
  for (int nr : {2, 1}) {
    alles.Append();
    alles.FieldByName("Nr").SetAsInteger(nr);
    if (nr == 1) {
      for (const Case& c : cases) c.write(alles.FieldByName(c.name));
    }
    alles.Post();
  }
  alles.Close();
  alles.Open();
  alles.First();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(alles.FieldByName(c.name).IsNull());
    c.check(alles.FieldByName(c.name));
  }
  alles.Next();
  EXPECT_EQ(alles.FieldByName("Nr").AsInteger(), 2);
  for (const Case& c : cases) {
    EXPECT_TRUE(alles.FieldByName(c.name).IsNull()) << c.name;
    EXPECT_EQ(alles.FieldByName(c.name).AsString(), u"") << c.name;
  }
}

TEST_F(QDXTableTest, ErrorsCarryTheComponentNameOrTheirCode) {
  TQDXTable blank("tb6");
  EXPECT_EQ(ErrorOf([&] { blank.Open(); }), "tb6: DatabaseName property is blank");
  blank.SetDatabaseName("wagenlog");
  EXPECT_EQ(ErrorOf([&] { blank.Open(); }), "tb6: Missing TableName property");
  blank.SetTableName("Bestaatniet");
  try {
    blank.Open();
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 30396);
  }
  EXPECT_FALSE(blank.Active());

  tb1_->Open();
  AddFive();
  EXPECT_EQ(ErrorOf([&] { tb1_->FieldByName("start_km-stand"); }),
            "tb1: Field 'start_km-stand' not found");
  EXPECT_QDX_ERROR(tb1_->FieldByName("Bedrijf").SetAsString(u"x"), 10007,
                   "Dataset not in edit or insert mode");
  EXPECT_QDX_ERROR(tb1_->SetIndexName("Onbekend"), 10325, "Cannot find index Onbekend");
  EXPECT_EQ(tb1_->IndexName(), "Datum");
  EXPECT_EQ(Days(), (std::vector<int>{3, 7, 10, 15, 20})) << "the previous index stays current";
  tb1_->SetKey();
  EXPECT_QDX_ERROR(tb1_->FieldByName("Bedrijf").SetAsString(u"x"), 20019,
                   "Field Bedrijf is not in the current index");
  tb1_->Cancel();
  EXPECT_EQ(tb1_->State(), TDataSetState::Browse);
}

TEST_F(QDXTableTest, IndexSelectionByNameOrFieldsAndNaturalOrder) {
  tb1_->Open();
  AddFive();
  tb1_->SetIndexName("");
  EXPECT_EQ(Days(), (std::vector<int>{10, 3, 20, 7, 15})) << "natural order";
  tb1_->SetIndexFieldNames("datum");
  EXPECT_EQ(tb1_->IndexName(), "");
  EXPECT_EQ(tb1_->IndexFieldNames(), "datum");
  EXPECT_EQ(Days(), (std::vector<int>{3, 7, 10, 15, 20}));
  EXPECT_EQ(tb1_->IndexDefs().Count(), 1);
  EXPECT_EQ(tb1_->IndexDefs()[0].Fields(), "Datum");
}

// A new record takes the declared default of each MEMO or BLOB field, written as text after
// OnNewRecord; a field without one stays null.
TEST_F(QDXTableTest, NewRecordsTakeTheDeclaredMemoAndBlobDefaults) {
  database_->Open();
  {
    TQDXFieldDefs fields;
    fields.AddField("Id", TQDXFieldType::Integer);
    TQDXVariant text(TQDXDataType::String);
    text.SetAsString("geen opmerking");
    fields.AddField("Tekst", TQDXFieldType::Memo).SetDefaultValue(text);
    TQDXVariant bytes(TQDXDataType::String);
    bytes.SetAsString("ABC");
    fields.AddField("Data", TQDXFieldType::Blob).SetDefaultValue(bytes);
    fields.AddField("Leeg", TQDXFieldType::Memo);
    TQDXLocalCursor creator(*database_->EngineSession());
    creator.TableName = "Notities";
    creator.CreateTable(fields, TQDXIndexDefs(), TQDXConstraintDefs());
  }
  TQDXTable notes("tbNotes");
  notes.SetDatabaseName("wagenlog");
  notes.SetTableName("Notities");
  int newRecords = 0;
  notes.OnNewRecord = [&](TDataSet& dataSet) {
    ++newRecords;
    dataSet.FieldByName("Id").SetAsInteger(7);
  };
  notes.Open();
  notes.Append();
  EXPECT_EQ(newRecords, 1);
  EXPECT_EQ(notes.FieldByName("Tekst").AsString(), u"geen opmerking");
  EXPECT_EQ(notes.FieldByName("Data").AsString(), u"ABC");
  EXPECT_TRUE(notes.FieldByName("Leeg").IsNull());
  notes.Post();
  notes.Close();
  notes.Open();
  notes.First();
  EXPECT_EQ(notes.FieldByName("Id").AsInteger(), 7);
  EXPECT_EQ(notes.FieldByName("Tekst").AsString(), u"geen opmerking");
  EXPECT_EQ(notes.FieldByName("Data").AsString(), u"ABC");
  notes.Close();
}

TEST_F(QDXTableTest, FiltersRangesKeysAndLocate) {
  tb1_->Open();
  AddFive();
  tb1_->SetFilter("KMStand >= 1000");
  tb1_->SetFiltered(true);
  EXPECT_EQ(Days(), (std::vector<int>{10, 15, 20}));
  tb1_->SetOnFilterRecord([](TDataSet& d, bool& accept) { accept = d.FieldByName("Liters").AsFloat() < 55; });
  EXPECT_EQ(Days(), (std::vector<int>{10}));
  tb1_->SetFiltered(false);
  EXPECT_EQ(Days().size(), 5u);

  const Variant from = Variant::FromDate(kJan1 + 6);
  const Variant to = Variant::FromDate(kJan1 + 14);
  tb1_->SetRange({&from, 1}, {&to, 1});
  EXPECT_EQ(Days(), (std::vector<int>{7, 10, 15}));
  tb1_->CancelRange();
  EXPECT_EQ(Days().size(), 5u);

  const Variant day10 = Variant::FromDate(kJan1 + 9);
  EXPECT_TRUE(tb1_->FindKey({&day10, 1}));
  EXPECT_EQ(Day(), 10);
  const Variant day11 = Variant::FromDate(kJan1 + 10);
  EXPECT_FALSE(tb1_->FindKey({&day11, 1}));
  EXPECT_EQ(Day(), 10) << "no match: no move";
  tb1_->FindNearest({&day11, 1});
  EXPECT_EQ(Day(), 15);

  EXPECT_TRUE(tb1_->Locate("KMStand", Variant::FromInteger(700), {}));
  EXPECT_EQ(Day(), 7);
  EXPECT_FALSE(tb1_->Locate("Omschrijving", Variant::FromString("onderhoud"), {}));
  EXPECT_TRUE(tb1_->Locate("Omschrijving", Variant::FromString("brandstof"), {TLocateOption::loCaseInsensitive}));
  EXPECT_EQ(Day(), 3);
  tb1_->Close();
  EXPECT_QDX_ERROR(tb1_->Locate("KMStand", Variant::FromInteger(700), {}), 10271,
                   "Cannot perform LOCATE on a closed dataset");
}

TEST_F(QDXTableTest, DetailFollowsTheMastersCurrentRecord) {
  tb1_->Open();
  AddFive();
  Add(7, u"Onderhoud", 750, 0, 120);
  TDataSource master(tb1_.get());
  auto detail = NewTable("tb2");
  detail->SetMasterSource(&master);
  detail->SetMasterFields("Datum");
  detail->Open();
  auto kmOfDetail = [&] {
    std::vector<int32_t> km;
    for (detail->First(); !detail->Eof(); detail->Next()) km.push_back(detail->FieldByName("KMStand").AsInteger());
    return km;
  };
  tb1_->First();
  EXPECT_EQ(kmOfDetail(), (std::vector<int32_t>{300}));
  tb1_->Next();
  EXPECT_EQ(kmOfDetail(), (std::vector<int32_t>{700, 750}));
  tb1_->Last();
  EXPECT_EQ(kmOfDetail(), (std::vector<int32_t>{2000}));
  detail->Append();
  EXPECT_EQ(detail->FieldByName("Datum").AsDateTime(), kJan1 + 19) << "a new detail takes the master's key";
  detail->Cancel();
}

// Writes down what a grid's link hears.
class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> Log;

 protected:
  void ActiveChanged() override { Log.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { Log.push_back("changed"); }
  void DataSetScrolled(int32_t distance) override { Log.push_back("scrolled " + std::to_string(distance)); }
  void RecordChanged(TField* field) override { Log.push_back("record " + (field ? field->FieldName() : "*")); }
  void EditingChanged() override { Log.push_back(Editing() ? "editing" : "browsing"); }
};

TEST_F(QDXTableTest, LinksHearOpenMovesEditsAndClose) {
  TDataSource brandstof(tb1_.get());
  brandstof.SetAutoEdit(false);
  RecordingLink grid;
  grid.SetDataSource(&brandstof);
  grid.SetBufferCount(4);
  tb1_->Open();
  AddFive();
  tb1_->First();
  grid.Log.clear();
  tb1_->Next();
  tb1_->Edit();
  tb1_->FieldByName("Liters").SetFloat(1);
  tb1_->Next();
  tb1_->Close();
  EXPECT_EQ(grid.Log, (std::vector<std::string>{"scrolled 1", "editing", "record *",
                                                "record Liters", "browsing", "changed",
                                                "scrolled 1", "inactive"}));
}

// The in-memory database: a table exists only as the table dataset creates it, from the field
// and index definitions it was given.
TEST(QDXMemoryTableTest, ATableCreatedInMemoryHasTheDefinitionsGiven) {
  testing::ScopedUserLocale locale{"nl_NL"};
  testing::TMemoryDatabaseData memory;
  DatabaseDataList().Add(&memory);
  TQDXTable werk("tbWerk");
  werk.SetInMemory(true);
  EXPECT_EQ(werk.DatabaseName(), "MEMORY");
  werk.SetTableName("Werk");
  EXPECT_QDX_ERROR(werk.Open(), msg::kOpenTableNoData, "Table not found, table name = Werk");

  werk.FieldDefs().Add("Naam", ftString, 12, true);
  werk.FieldDefs().Add("Bedrag", ftCurrency, 0, false);
  werk.FieldDefs().Add("Datum", ftDate, 0, false);
  werk.IndexDefs().Add("OpNaam", "Naam", {TIndexOption::ixCaseInsensitive});
  werk.IndexDefs().Add("OpDatum", "Datum;Naam", {});
  werk.CreateTable();
  werk.SetIndexName("OpNaam");
  werk.Open();
  for (const char16_t* naam : {u"tol", u"Brug", u"pont"}) {
    werk.Append();
    werk.FieldByName("naam").SetAsString(naam);
    werk.FieldByName("bedrag").SetAsCurrency(2.5);
    werk.Post();
  }
  std::vector<std::u16string> names;
  for (werk.First(); !werk.Eof(); werk.Next()) names.push_back(werk.FieldByName("Naam").AsString());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Brug", u"pont", u"tol"}));

  ASSERT_EQ(werk.FieldDefs().Count(), 3);
  EXPECT_EQ(werk.FieldDefs()[0].Size(), 12);
  EXPECT_TRUE(werk.FieldDefs()[0].Required());
  EXPECT_EQ(werk.FieldDefs()[1].DataType(), ftCurrency);
  EXPECT_EQ(werk.FieldDefs()[2].DataType(), ftDate);
  ASSERT_EQ(werk.IndexDefs().Count(), 2);
  EXPECT_EQ(werk.IndexDefs()[0].Name(), "OpNaam");
  EXPECT_TRUE(werk.IndexDefs()[0].Options().Contains(TIndexOption::ixCaseInsensitive));
  EXPECT_EQ(werk.IndexDefs()[1].Fields(), "Datum;Naam");
  werk.Append();
  EXPECT_EQ(ErrorOf([&] { werk.Post(); }), "tbWerk: Field 'Naam' must have a value");
  werk.Cancel();
  werk.Close();
}

// "memory" in any case names the in-memory database: the name is kept in its one spelling, so
// the session and the engine treat it as the in-memory database and no file is looked for.
TEST(QDXMemoryTableTest, TheMemoryNameInAnyCaseSelectsTheInMemoryDatabase) {
  testing::TMemoryDatabaseData memory;
  DatabaseDataList().Add(&memory);
  for (const char* name : {"memory", "Memory", "mEmOrY"}) {
    SCOPED_TRACE(name);
    TQDXTable kort("tbKort");
    kort.SetDatabaseName(name);
    EXPECT_TRUE(kort.InMemory());
    EXPECT_EQ(kort.DatabaseName(), "MEMORY");
    kort.SetTableName("Kort");
    kort.FieldDefs().Add("Naam", ftString, 8, false);
    kort.CreateTable();
    kort.Open();
    kort.Append();
    kort.FieldByName("Naam").SetAsString(u"tol");
    kort.Post();
    EXPECT_EQ(kort.RecordCount(), 1);
    kort.Close();
    kort.DeleteTable();
  }
}

}  // namespace
}  // namespace qdx
