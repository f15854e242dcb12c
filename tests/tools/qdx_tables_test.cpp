// The table commands of qdx (tables, schema, export) and the table part of check, on tables
// made through the engine: exact CSV, the faults check names, and a random run after which
// check passes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/types/date_time.h"
#include "tests/disk/disk_table_support.h"
#include "tests/tools/qdx_run.h"
#include "tools/qdx/qdx_commands.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;
using testing::TDiskCursor;
using testing::TDiskTableTest;
using testing::TRow;

using testing::Outcome;

class QdxTablesTest : public TDiskTableTest {
 protected:
  Outcome Qdx(const std::vector<std::string>& args) { return testing::RunQdxInProcess(args); }

  // "Fahrten": a field of most kinds, an index on the date (descending) and a not null
  // constraint on the name.
  void CreateFahrten() {
    TQDXFieldDefs fields;
    fields.AddField("Name", TQDXFieldType::String, 20);
    fields.AddField("Km", TQDXFieldType::Integer);
    fields.AddField("Datum", TQDXFieldType::Date);
    fields.AddField("Zeit", TQDXFieldType::Time);
    fields.AddField("Stempel", TQDXFieldType::DateTime);
    fields.AddField("Liter", TQDXFieldType::Float);
    fields.AddField("Voll", TQDXFieldType::Logical);
    fields.AddField("Betrag", TQDXFieldType::Currency);
    TQDXIndexDefs indexes;
    auto& byDate = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    byDate.SetName("ByDatum");
    byDate.SetColumnsFromLists({"Datum"}, {"DESC"}, {""});
    TQDXConstraintDefs constraints;
    constraints.AddNotNull().TargetRef.SetName("Name");
    TQDXTableCursor creator;
    creator.Session = &session;
    creator.TableName = "Fahrten";
    database->GetTableData(creator)->CreateTable(creator, fields, constraints, indexes);
  }

  static int32_t Day(int32_t year, uint32_t month, uint32_t day) {
    int32_t number = 0;
    TryEncodeDate(year, month, day, number);
    return number;
  }
};

TEST_F(QdxTablesTest, TablesSchemaAndExportShowTheTables) {
  Open();
  CreateKosten();
  CreateFahrten();
  {
    TDiskCursor kosten(*database, session, "Kosten");
    kosten.Insert({"A", 1});
    kosten.Insert({"B", 2});
    TDiskCursor fahrten(*database, session, "Fahrten");
    const TQDXFieldDefs& fields = fahrten.Fields();
    const auto set = [&](int32_t fieldNo, auto setter) {
      TQDXVariant value;
      setter(value);
      SetFieldValue(value, fieldNo, fields, fahrten.Buffer);
    };
    InitRecordBuffer(fields, fahrten.Buffer);
    set(0, [](TQDXVariant& v) { v.SetAsString("Caf\xE9, \"Ost\""); });
    set(1, [](TQDXVariant& v) { v.SetAsInteger(-12); });
    set(2, [](TQDXVariant& v) { v.SetAsDate(Day(2024, 2, 29)); });
    set(3, [](TQDXVariant& v) { v.SetAsTime(8 * 3600000 + 15 * 60000 + 30250); });
    set(4, [](TQDXVariant& v) { v.SetAsDateTime({Day(2024, 2, 29), 86399000}); });
    set(5, [](TQDXVariant& v) { v.SetAsFloat(0.1); });
    set(6, [](TQDXVariant& v) { v.SetAsLogical(true); });
    set(7, [](TQDXVariant& v) { v.SetAsCurrency(1234.5); });
    ASSERT_TRUE(fahrten.Table().InsertRecord(fahrten));
    InitRecordBuffer(fields, fahrten.Buffer);
    set(0, [](TQDXVariant& v) { v.SetAsString("Leer"); });
    set(2, [](TQDXVariant& v) { v.SetAsDate(Day(2025, 1, 1)); });
    ASSERT_TRUE(fahrten.Table().InsertRecord(fahrten));
  }
  Close();

  const Outcome tables = Qdx({"tables", path});
  ASSERT_EQ(tables.Status, 0) << tables.Err;
  EXPECT_THAT(tables.Out, HasSubstr("Kosten: 2 records of"));
  EXPECT_THAT(tables.Out, HasSubstr("indexes: ByAmount (Amount)\n"));
  EXPECT_THAT(tables.Out, HasSubstr("Fahrten: 2 records of"));
  EXPECT_THAT(tables.Out, HasSubstr("indexes: ByDatum (Datum DESC)\n"));

  const Outcome schema = Qdx({"schema", path, "Fahrten"});
  ASSERT_EQ(schema.Status, 0) << schema.Err;
  EXPECT_THAT(schema.Out, HasSubstr("Table: Fahrten\nFields: 8\n  Name STRING(20) NOT NULL\n"
                                    "  Km INTEGER NULL\n"));
  EXPECT_THAT(schema.Out, HasSubstr("Indexes: 1\n  ByDatum (Datum DESC)\n"));
  EXPECT_THAT(schema.Out, HasSubstr("Constraints: 1\n"));
  EXPECT_THAT(schema.Out, HasSubstr("NOT NULL (Name)"));

  const std::string header = "Name,Km,Datum,Zeit,Stempel,Liter,Voll,Betrag\r\n";
  const std::string first =
      "\"Caf\xC3\xA9, \"\"Ost\"\"\",-12,2024-02-29,08:15:30.250,2024-02-29T23:59:59,0.1,true,"
      "1234.5\r\n";
  const std::string second = "Leer,,2025-01-01,,,,,\r\n";
  const Outcome physical = Qdx({"export", path, "Fahrten"});
  ASSERT_EQ(physical.Status, 0) << physical.Err;
  EXPECT_EQ(physical.Out, header + first + second);
  const std::string csv = (dir_ / "fahrten.csv").string();
  const Outcome byDate = Qdx({"export", path, "fahrten", "--index", "ByDatum", "-o", csv});
  ASSERT_EQ(byDate.Status, 0) << byDate.Err;
  EXPECT_TRUE(byDate.Out.empty());
  std::ifstream in(csv, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), header + second + first);

  EXPECT_EQ(Qdx({"check", path}).Status, 0);
  const Outcome missing = Qdx({"export", path, "Fehlt"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_THAT(missing.Err, HasSubstr("Table 'Fehlt' not found"));
  const Outcome noIndex = Qdx({"export", path, "Fahrten", "--index", "Fehlt"});
  EXPECT_EQ(noIndex.Status, 1);
  EXPECT_THAT(noIndex.Err, HasSubstr("Index 'Fehlt' not found in table 'Fahrten'"));
  EXPECT_EQ(Qdx({"schema", path}).Status, 2);
  EXPECT_EQ(Qdx({"export", path, "Fahrten", "extra"}).Status, 2);
}

// A random run of changes leaves every table consistent; then damage that only the table
// part of check can see is named with its table and page.
TEST_F(QdxTablesTest, CheckVerifiesRecordPagesAndIndexes) {
  Open();
  CreateKosten();
  TQDXRecordID sample;
  {
    TDiskCursor cursor(*database, session, "Kosten");
    std::mt19937 random(7);
    int64_t count = 0;
    for (int step = 0; step < 1500; ++step) {
      if (count == 0 || random() % 3 != 0) {
        // GCC 12 at -O3 warns falsely (-Wrestrict) about the memcpy of "R" + std::string inlined
        // from the standard library; the concatenation is sound.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        cursor.Insert({"R" + std::to_string(step), static_cast<int32_t>(random() % 100)});
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        ++count;
        continue;
      }
      cursor.Table().SetPhysicalRecNo(cursor, 1 + static_cast<int64_t>(random() % count));
      if (random() % 2 == 0) {
        cursor.Fill({"U", static_cast<int32_t>(random() % 100)});
        ASSERT_TRUE(cursor.Table().UpdateRecord(cursor));
      } else {
        ASSERT_TRUE(cursor.Table().DeleteRecord(cursor));
        --count;
      }
    }
    cursor.Table().SetPhysicalRecNo(cursor, 1);
    sample = cursor.RecordID;
  }
  Close();
  const Outcome clean = Qdx({"check", path});
  ASSERT_EQ(clean.Status, 0) << clean.Err;

  // The first slot of the first record page is cleared behind the index's back.
  const std::vector<uint8_t> original = ReadAll();
  Patch(380 + int64_t{sample.PageNo} * 4096 + 40, {0xFE});
  const Outcome slot = Qdx({"check", path});
  EXPECT_EQ(slot.Status, 1);
  EXPECT_THAT(slot.Err, HasSubstr("Table 'Kosten': page " + std::to_string(sample.PageNo) +
                                  " holds"));
  WriteAll(original);

  // The table header's count no longer matches the record pages.
  {
    Open();
    TDiskCursor cursor(*database, session, "Kosten");
    const platform::CriticalSectionGuard held(database->Lock());
    cursor.Table().DiskRecords().RecordCount += 3;
    cursor.Table().WriteTableHeader(-2);
    database->PageManager()->ApplyChanges(-2);
  }
  Close();
  const Outcome count = Qdx({"check", path});
  EXPECT_EQ(count.Status, 1);
  EXPECT_THAT(count.Err, HasSubstr("the table header says"));
}

}  // namespace
}  // namespace qdx
