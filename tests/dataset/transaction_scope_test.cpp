// TransactionScope on a real database file: a write of many records keeps all of them only when
// committed; however the scope ends otherwise, none is left, and a committed scope leaves later
// transactions alone.
#include "dataset/transaction_scope.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "tests/dataset/expense_table_support.h"
#include "tests/disk/disk_test_support.h"

namespace qdx {
namespace {

constexpr double kJan1 = 45292;  // 2024-01-01

class TransactionScopeTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    database_ = testing::CreateWagenlogDatabase(path);
    testing::CreateExpenseTable(*database_);
    table_ = testing::NewExpenseTable("wagenlog");
    table_->Open();
  }
  void TearDown() override {
    table_.reset();
    database_.reset();
    TempDirTest::TearDown();
  }

  void Append(int day) {
    table_->Append();
    table_->FieldByName("Datum").SetAsDateTime(kJan1 + day - 1);
    table_->FieldByName("bedrag").SetAsCurrency(day);
    table_->Post();
  }

  int64_t StoredCount() {
    table_->Refresh();
    return table_->RecordCount();
  }

  std::unique_ptr<TQDXDatabase> database_;
  std::unique_ptr<TQDXTable> table_;
};

TEST_F(TransactionScopeTest, OnlyACommittedScopeKeepsItsRecords) {
  struct Case {
    const char* Ending;
    bool Commit;
    bool Throw;
    int64_t Kept;
  };
  const Case cases[] = {
      {"committed", true, false, 3},
      {"left without commit", false, false, 0},
      {"left by an exception", false, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Ending);
    table_->Close();
    table_->EmptyTable();
    table_->Open();
    try {
      TransactionScope transaction(*database_);
      for (int day = 1; day <= 3; ++day) Append(day);
      if (c.Throw) throw std::runtime_error("a record failed");
      if (c.Commit) transaction.Commit();
      EXPECT_EQ(transaction.Committed(), c.Commit);
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(database_->InTransaction());
    EXPECT_EQ(StoredCount(), c.Kept);
  }
}

TEST_F(TransactionScopeTest, ACommittedScopeLeavesALaterTransactionAlone) {
  {
    TransactionScope transaction(*database_);
    Append(1);
    transaction.Commit();
    database_->StartTransaction();  // someone else's, begun while the scope still lives
    Append(2);
  }
  EXPECT_TRUE(database_->InTransaction());
  database_->Commit();
  EXPECT_EQ(StoredCount(), 2);
}

TEST_F(TransactionScopeTest, AScopeInsideARunningTransactionRefusesAndLeavesItAlone) {
  database_->StartTransaction();
  Append(1);
  EXPECT_THROW(TransactionScope inner(*database_), std::exception);
  EXPECT_TRUE(database_->InTransaction());
  database_->Commit();
  EXPECT_EQ(StoredCount(), 1);
}

}  // namespace
}  // namespace qdx
