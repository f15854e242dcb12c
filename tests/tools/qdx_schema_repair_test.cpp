// qdx create --schema and qdx repair, in-process and through the built program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dataset/local_engine/local_cursor.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "engine/core/page_handle.h"
#include "engine/disk/database_header.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fault_file_system.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_database_commands.h"

namespace qdx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Outcome {
  int Status;
  std::string Out;
  std::string Err;
};

class QdxSchemaRepairTest : public testing::TempDirTest {
 protected:
  Outcome Qdx(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = tools::RunQdx(args, out, err);
    return {status, out.str(), err.str()};
  }

  // The fields of a table as "name TYPE(size)", and its indexes as "name: fields".
  std::vector<std::string> Describe(TQDXDatabase& db, const std::string& table) {
    TQDXLocalCursor cursor(*db.EngineSession());
    cursor.TableName = table;
    cursor.OpenTable();
    cursor.InitFieldDefs();
    std::vector<std::string> lines;
    for (int32_t i = 0; i < cursor.TableFieldDefs->Count(); ++i) {
      const TQDXFieldDef& field = cursor.TableFieldDefs->GetFieldDef(i);
      lines.push_back(field.Name() + " " + std::string(FieldTypeName(field.FieldType)) + "(" +
                      std::to_string(field.Size) + ")");
    }
    for (int32_t i = 0; i < cursor.IndexDefs->Count(); ++i) {
      const TQDXIndexDef& index = cursor.IndexDefs->GetIndexDef(i);
      std::string line = "index " + index.Name() + ":";
      for (int32_t c = 0; c < index.ColumnCount(); ++c) line += " " + index.Column(c).FieldName;
      if (index.Unique || index.Primary) line += " (unique)";
      lines.push_back(line);
    }
    cursor.CloseTable();
    return lines;
  }

  std::unique_ptr<TQDXDatabase> Open(const std::string& name = "check") {
    auto db = std::make_unique<TQDXDatabase>("Check");
    db->SetDatabaseName(name);
    db->SetDatabaseFileName(path);
    db->SilentMode = true;
    db->Open();
    return db;
  }

  void InsertExpenses(TQDXDatabase& db, int count) {
    TQDXLocalCursor cursor(*db.EngineSession());
    cursor.TableName = "Brandstofkosten";
    cursor.OpenTable();
    cursor.InitFieldDefs();
    auto buffer = cursor.AllocRecordBuffer();
    cursor.Buffer = buffer.get();
    for (int i = 0; i < count; ++i) {
      cursor.InitRecord(buffer.get(), true);
      TQDXVariant date, km;
      date.SetAsDate(738000 + i);
      km.SetAsInteger(1000 * i);
      cursor.SetFieldValue(0, date);
      cursor.SetFieldValue(3, km);
      cursor.PostRecord(true);
      ASSERT_EQ(cursor.ResultCode, 0) << cursor.ResultMessage;
    }
    cursor.CloseTable();
  }

  int64_t CountRecords(TQDXDatabase& db, const std::string& table) {
    TQDXLocalCursor cursor(*db.EngineSession());
    cursor.TableName = table;
    cursor.OpenTable();
    cursor.InitFieldDefs();
    const int64_t count = cursor.GetRecordCount();
    cursor.CloseTable();
    return count;
  }
};

TEST_F(QdxSchemaRepairTest, CreateWithTheWagenlogSchemaMakesTheProgramsTables) {
  const Outcome created = Qdx({"create", path, "--schema", "wagenlog"});
  ASSERT_EQ(created.Status, 0) << created.Err;
  auto db = Open();
  std::vector<std::string> tables;
  db->GetTableNames(tables);
  EXPECT_THAT(tables, ElementsAre("Brandstofkosten", "Autogegevens"));
  EXPECT_THAT(Describe(*db, "Brandstofkosten"),
              ElementsAre("Datum DATE(0)", "Omschrijving STRING(30)", "Bedrijf STRING(30)",
                          "KMStand INTEGER(0)", "Liters FLOAT(0)", "bedrag CURRENCY(0)",
                          "verbruik FLOAT(0)", "index Datum: Datum"));
  EXPECT_THAT(Describe(*db, "Autogegevens"),
              ElementsAre("Merk STRING(20)", "Type STRING(20)", "Kenteken STRING(20)",
                          "Start_km-stand INTEGER(0)", "Gewicht INTEGER(0)",
                          "Datum_deel_1 DATE(0)"));
  db->Close();
  EXPECT_EQ(Qdx({"check", path}).Status, 0);
}

// Whichever write before the last commit's end fails, the create says so and leaves nothing in
// the folder: neither a file that would be taken for a database nor the journal of the commit
// that failed.
TEST_F(QdxSchemaRepairTest, ACreateThatFailsPartWayLeavesNothingBehind) {
  testing::FaultFileSystem faults;
  int64_t writes = 0;
  {
    const platform::FileSystemScope scope(faults);
    ASSERT_EQ(Qdx({"create", path, "--schema", "wagenlog"}).Status, 0);
    writes = faults.Count(testing::FileCall::Write);
  }
  ASSERT_GT(writes, 0);
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  for (int64_t n = 1; n <= writes; ++n) {
    SCOPED_TRACE(n);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      std::filesystem::remove_all(entry.path());
    }
    faults.Reset();
    faults.Fail(testing::FileCall::Write, n, ENOSPC, testing::FaultFileSystem::kForever);
    Outcome created;
    {
      const platform::FileSystemScope scope(faults);
      created = Qdx({"create", path, "--schema", "wagenlog"});
    }
    if (n == writes) {
      // The last write gives the last commit's journal up, after that commit is on the disk:
      // the create stands, and the file is whole.
      EXPECT_EQ(created.Status, 0) << created.Err;
      EXPECT_EQ(Qdx({"check", path}).Status, 0);
      continue;
    }
    EXPECT_NE(created.Status, 0);
    EXPECT_FALSE(created.Err.empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder));
  }
}

// The program's data module: one database component and two tables that find it by name.
TEST_F(QdxSchemaRepairTest, TheProgramsDataModuleOpensTheCreatedFile) {
  ASSERT_EQ(Qdx({"create", path, "--schema", "wagenlog"}).Status, 0);
  int dataModule = 0;
  TQDXDatabase database("QDXDatabase1", &dataModule);
  database.SetDatabaseName("wagenlog");
  database.SetSessionName("Default");
  TQDXTable tb1("tb1", &dataModule);
  tb1.SetDatabaseName("wagenlog");
  tb1.SetTableName("Brandstofkosten");
  tb1.SetIndexName("Datum");
  TQDXTable tb6("tb6", &dataModule);
  tb6.SetDatabaseName("wagenlog");
  tb6.SetTableName("Autogegevens");
  database.SetDatabaseFileName(path);
  tb1.Open();
  tb6.Open();
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(tb1.Database(), &database);
  EXPECT_EQ(tb6.Database(), &database);
  for (const char* name : {"kmstand", "liters", "datum", "bedrag", "verbruik"}) {
    EXPECT_NO_THROW(tb1.FieldByName(name)) << name;
  }
  EXPECT_NO_THROW(tb6.FieldByName("start_km-stand"));
  tb1.Close();
  tb6.Close();
  database.Close();
}

TEST_F(QdxSchemaRepairTest, AnUnknownSchemaIsBadUsageAndCreatesNothing) {
  const Outcome outcome = Qdx({"create", path, "--schema", "boekhouding"});
  EXPECT_EQ(outcome.Status, 2);
  EXPECT_THAT(outcome.Err, HasSubstr("Unknown schema 'boekhouding'"));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(QdxSchemaRepairTest, RepairRebuildsADamagedFileWithEveryRecord) {
  ASSERT_EQ(Qdx({"create", path, "--schema", "wagenlog"}).Status, 0);
  {
    auto db = Open();
    InsertExpenses(*db, 120);
  }
  std::vector<uint8_t> bytes = ReadAll();
  bytes[42] = kFileStateWriting;
  WriteAll(bytes);

  const Outcome repaired = Qdx({"repair", path});
  ASSERT_EQ(repaired.Status, 0) << repaired.Err;
  EXPECT_THAT(repaired.Out, HasSubstr("Repairing: 0%\n"));
  EXPECT_THAT(repaired.Out, HasSubstr("Repairing: 100%\n"));
  EXPECT_THAT(repaired.Out, HasSubstr("Repaired '" + path + "'"));
  EXPECT_THAT(repaired.Out, ::testing::Not(HasSubstr("Not copied")));
  EXPECT_EQ(ReadAll()[42], kFileStateConsistent);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  auto db = Open();
  EXPECT_EQ(CountRecords(*db, "Brandstofkosten"), 120);
  EXPECT_EQ(CountRecords(*db, "Autogegevens"), 0);
  db->Close();
  EXPECT_EQ(Qdx({"check", path}).Status, 0);
}

// The records of each record page of a table, by page number in physical order.
std::map<int32_t, int32_t> RecordsPerPage(TQDXDatabase& db, const std::string& table) {
  TQDXLocalCursor cursor(*db.EngineSession());
  cursor.TableName = table;
  cursor.OpenTable();
  cursor.InitFieldDefs();
  auto buffer = cursor.AllocRecordBuffer();
  cursor.Buffer = buffer.get();
  std::map<int32_t, int32_t> pages;
  cursor.First();
  while (cursor.GetRecord(grmNext) == grOK) ++pages[cursor.RecordID.PageNo];
  cursor.Buffer = nullptr;
  cursor.FreeRecordBuffer(buffer);
  cursor.CloseTable();
  return pages;
}

// A commit torn by a crash left one record page without its records while the table's page
// index still lists them, and another record page lies on a sector the disk cannot read: the
// repair copies every record it can read, names each one it could not, and leaves a clean file.
TEST_F(QdxSchemaRepairTest, RepairSkipsWhatItCannotReadAndCopiesTheRest) {
  constexpr int kRecords = 400;
  ASSERT_EQ(Qdx({"create", path, "--schema", "wagenlog"}).Status, 0);
  std::map<int32_t, int32_t> pages;
  {
    auto db = Open();
    InsertExpenses(*db, kRecords);
    pages = RecordsPerPage(*db, "Brandstofkosten");
  }
  ASSERT_GE(pages.size(), 5u);
  const auto emptied = std::next(pages.begin(), 1);
  const auto unreadable = std::next(pages.begin(), 3);
  int64_t badSector = 0;
  int64_t pageSize = 0;
  {
    testing::THeldDiskPageManager pm;
    bool multiUser = false, repair = false, readOnly = false;
    pm.OpenDatabaseFile(path, {}, multiUser, /*exclusive=*/true, repair, readOnly);
    {
      TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, emptied->first, true, kAnyPageType);
      std::fill_n(page->Data(), (emptied->second + 7) / 8, uint8_t{0});  // the slot bitmap
      page->Dirty = true;
    }
    pm.ApplyChanges(0);
    badSector = pm.PagePosition(unreadable->first);
    pageSize = pm.PageSize();
    pm.CloseDatabaseFile();
  }
  std::vector<uint8_t> bytes = ReadAll();
  bytes[42] = kFileStateWriting;
  WriteAll(bytes);

  Outcome repaired;
  {
    testing::FaultFileSystem faults;
    platform::FileSystemScope scope(faults);
    faults.FailReadsOf(path, badSector, pageSize);
    repaired = Qdx({"repair", path});
  }
  ASSERT_EQ(repaired.Status, 0) << repaired.Err;
  EXPECT_THAT(repaired.Out, HasSubstr("Repaired '" + path + "'"));
  EXPECT_THAT(repaired.Out, HasSubstr("Not copied"));
  const int64_t lost = emptied->second + unreadable->second;
  int64_t lines = 0;
  for (size_t at = repaired.Out.find("was not imported"); at != std::string::npos;
       at = repaired.Out.find("was not imported", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, lost) << repaired.Out;
  EXPECT_EQ(ReadAll()[42], kFileStateConsistent);
  auto db = Open();
  EXPECT_EQ(CountRecords(*db, "Brandstofkosten"), kRecords - lost);
  db->Close();
  EXPECT_EQ(Qdx({"check", path}).Status, 0);
}

TEST_F(QdxSchemaRepairTest, RepairOfAMissingFileFails) {
  const Outcome outcome = Qdx({"repair", path});
  EXPECT_EQ(outcome.Status, 1);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RepairProgressPrinterTest, ABarOnATerminalAndATenthPerLineElsewhere) {
  std::ostringstream terminal;
  tools::RepairProgressPrinter bar(terminal, true);
  bar.Report(0);
  bar.Report(50);
  bar.Report(50);
  bar.Finish();
  EXPECT_EQ(terminal.str(), "\r[" + std::string(40, ' ') + "] 0%\r[" + std::string(20, '#') +
                                std::string(20, ' ') + "] 50%\n");

  std::ostringstream log;
  tools::RepairProgressPrinter lines(log, false);
  for (int percent : {0, 3, 9, 10, 55, 100}) lines.Report(percent);
  lines.Finish();
  EXPECT_EQ(log.str(), "Repairing: 0%\nRepairing: 10%\nRepairing: 50%\nRepairing: 100%\n");
}

}  // namespace
}  // namespace qdx
