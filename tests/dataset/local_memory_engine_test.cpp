// The cursor on the in-memory and temporary databases, whose engines keep a table only while it
// is open: a table opened to be deleted on close is made from the definitions handed over, and
// the temporary engine refuses edits and deletes. The in-memory test engine stands in for both.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/dataset/local_engine_support.h"

namespace qdx {
namespace {

using testing::kAmount;
using testing::ScopedUserLocale;
using testing::TableCursor;
using testing::TMemoryDatabaseData;

class LocalMemoryEngineTest : public ::testing::TestWithParam<std::string_view> {
 protected:
  void SetUp() override {
    DatabaseDataList().Add(&database);
    session.DatabaseName = std::string(GetParam());
    session.SetConnected(true);
  }
  void TearDown() override { session.SetConnected(false); }

  // A cursor that asks for a table made from its definitions and deleted on close.
  std::unique_ptr<TableCursor> AutoDeleteCursor() {
    auto cursor = std::make_unique<TableCursor>(session, "Werk");
    cursor->AutoDelete = true;
    cursor->TableFieldDefs = std::make_unique<TQDXFieldDefs>();
    cursor->TableFieldDefs->AddField("Name", TQDXFieldType::String, 20);
    cursor->TableFieldDefs->AddField("Amount", TQDXFieldType::Integer);
    return cursor;
  }

  ScopedUserLocale locale{"en_US"};
  TMemoryDatabaseData database{std::string(GetParam())};
  TQDXLocalSession session;
};

TEST_P(LocalMemoryEngineTest, AMissingTableOpensOnlyToBeDeletedOnClose) {
  TableCursor plain(session, "Werk");
  EXPECT_QDX_ERROR(plain.OpenTable(), msg::kOpenTableNoData, "Table not found, table name = Werk");
  auto cursor = AutoDeleteCursor();
  cursor->Open();
  EXPECT_TRUE(session.TableExists("Werk"));
  ASSERT_EQ(cursor->Insert("Tol", 3), crOK);
  EXPECT_EQ(cursor->GetRecordCount(), 1);
  cursor.reset();
  EXPECT_FALSE(session.TableExists("Werk"));
}

TEST_P(LocalMemoryEngineTest, OnlyTheTemporaryEngineRefusesEditAndDelete) {
  auto cursor = AutoDeleteCursor();
  cursor->Open();
  ASSERT_EQ(cursor->Insert("Tol", 3), crOK);
  ASSERT_TRUE(cursor->GoTo("Tol"));
  const bool temporary = GetParam() == kTemporaryDatabaseName;
  EXPECT_EQ(cursor->Edit(), temporary ? crTemporaryEdit : crOK);
  cursor->SetInt(kAmount, 4);
  if (!temporary) {
    ASSERT_EQ(cursor->Post(), crOK);
  }
  EXPECT_EQ(cursor->Delete(), temporary ? crTemporaryDelete : crOK);
  EXPECT_EQ(cursor->GetRecordCount(), temporary ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, LocalMemoryEngineTest,
                         ::testing::Values(kMemoryDatabaseName, kTemporaryDatabaseName));

}  // namespace
}  // namespace qdx
