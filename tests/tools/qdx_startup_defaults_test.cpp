// qdx and the program start the same way (wagenlog::Startup): a table whose fields have
// default-value expressions gets the same values through `qdx import`, run as its own process,
// as through a table dataset of the program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/adv_defs.h"
#include "dataset/framework/field_defs.h"
#include "dataset/framework/index_defs.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "dataset/table_maintenance.h"
#include "engine/core/field_def.h"
#include "tests/disk/disk_test_support.h"
#include "wagenlog/schema.h"
#include "wagenlog/startup.h"

namespace qdx {
namespace {

// A field the import leaves to its default, and what the default gives.
struct DefaultCase {
  const char* Field;
  const char* Default;
  const char* Expected;
};

// An expression, an expression that is a condition (a plain value), and a plain text.
constexpr DefaultCase kDefaults[] = {
    {"Bron", "UPPER('csv')", "CSV"},
    {"Regel", "TRIM('  ingelezen  ')", "ingelezen"},
    {"Notitie", "1+1", "1+1"},
};

class QdxStartupDefaultsTest : public testing::TempDirTest {
 protected:
  void TearDown() override {
    SetDefaultExpressionParser(nullptr);
    TempDirTest::TearDown();
  }

  // The expense table of the program with the fields of kDefaults added.
  void CreateTable() {
    TQDXDatabase database("qdx");
    database.SetDatabaseName("defaults_create");
    database.SetDatabaseFileName(path);
    database.SilentMode = true;
    database.CreateDatabase();
    database.Open();
    TFieldDefs fields;
    TIndexDefs indexes;
    wagenlog::DefineExpenseFields(fields);
    wagenlog::DefineExpenseIndexes(indexes);
    TQDXAdvFieldDefs advFields;
    TQDXAdvIndexDefs advIndexes;
    AdvFieldDefsFromFieldDefs(fields, advFields);
    AdvIndexDefsFromIndexDefs(indexes, advIndexes);
    for (const DefaultCase& c : kDefaults) {
      TQDXAdvFieldDef& field = advFields.Add(TQDXAdvFieldDef(c.Field, TQDXFieldType::String, 30));
      field.DefaultValue.SetAsString(c.Default);
    }
    CreateDatabaseTable(database, {wagenlog::kExpenseTable.Name}, advFields, advIndexes);
    database.Close();
  }

  // Runs the built qdx program, which starts up as its main does.
  int QdxProgram(const std::string& args) {
    const std::string command = std::string(QDX_TOOL_PATH) + " " + args + " >" +
                                (dir_ / "out.txt").string() + " 2>" + (dir_ / "err.txt").string();
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }

  // The default fields of every record, in date order.
  std::vector<std::vector<std::u16string>> DefaultFieldsByDate() {
    TQDXDatabase database("QDXDatabase1");
    database.SetDatabaseName("defaults_read");
    database.SetDatabaseFileName(path);
    database.SilentMode = true;
    TQDXTable table("tb1");
    table.SetDatabaseName("defaults_read");
    table.SetTableName(wagenlog::kExpenseTable.Name);
    table.SetIndexName(wagenlog::kExpenseTable.IndexName);
    table.Open();
    std::vector<std::vector<std::u16string>> records;
    for (table.First(); !table.Eof(); table.Next()) {
      std::vector<std::u16string>& values = records.emplace_back();
      for (const DefaultCase& c : kDefaults) {
        values.push_back(table.FieldByName(c.Field).AsString());
      }
    }
    table.Close();
    return records;
  }

  // Appends one record as the program's entry panel does, after the program's start-up.
  void AppendAsTheProgram(double date) {
    wagenlog::Startup();
    TQDXDatabase database("QDXDatabase1");
    database.SetDatabaseName(wagenlog::kDatabaseName);
    database.SetDatabaseFileName(path);
    database.SilentMode = true;
    TQDXTable table("tb1");
    table.SetDatabaseName(wagenlog::kDatabaseName);
    table.SetTableName(wagenlog::kExpenseTable.Name);
    table.SetIndexName(wagenlog::kExpenseTable.IndexName);
    table.Open();
    table.Append();
    table.FieldByName("Datum").SetAsDateTime(date);
    table.FieldByName("Omschrijving").SetAsString(u"Onderhoud");
    table.FieldByName("bedrag").SetAsCurrency(10);
    table.Post();
    table.Close();
  }
};

TEST_F(QdxStartupDefaultsTest, ImportAndTheProgramGiveTheSameDefaults) {
  CreateTable();
  const std::string sheet = (dir_ / "kosten.csv").string();
  std::ofstream(sheet) << "Datum,Omschrijving,bedrag\n2024-01-02,Brandstof,78.15\n";
  ASSERT_EQ(QdxProgram("import " + path + " Brandstofkosten " + sheet), 0)
      << std::ifstream((dir_ / "err.txt").string()).rdbuf();
  AppendAsTheProgram(45300);  // 2024-01-09, after the imported record

  const std::vector<std::vector<std::u16string>> records = DefaultFieldsByDate();
  ASSERT_EQ(records.size(), 2u);
  for (size_t i = 0; i < std::size(kDefaults); ++i) {
    const std::string_view text = kDefaults[i].Expected;
    const std::u16string expected(text.begin(), text.end());
    EXPECT_EQ(records[0][i], expected) << "qdx import, field " << kDefaults[i].Field;
    EXPECT_EQ(records[1][i], expected) << "the program, field " << kDefaults[i].Field;
  }
}

}  // namespace
}  // namespace qdx
