// Transactions and batched changes through the local cursor on a database file: a rollback
// takes back records and index entries, a commit keeps them across a reopen, and a batch of
// implicit changes is committed as one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/dataset/local_engine_support.h"

namespace qdx {
namespace {

using ::testing::ElementsAre;
using testing::kAmount;
using testing::kName;
using testing::LocalEngineTest;
using testing::TableCursor;

class LocalTransactionTest : public LocalEngineTest {
 protected:
  void SetUp() override {
    LocalEngineTest::SetUp();
    if (!testing::kDiskTables) GTEST_SKIP() << "needs tables in the database file";
    session = Connect();
    CreateKosten(*session);
    cursor = std::make_unique<TableCursor>(*session, "Kosten");
    cursor->Open();
    Fill(*cursor, {"Diesel", "Band", "Olie"});
  }
  void TearDown() override {
    cursor.reset();
    session.reset();
    LocalEngineTest::TearDown();
  }
  // The names in index order and in physical order, read by a fresh cursor.
  std::pair<std::vector<std::string>, std::vector<std::string>> Contents(
      TQDXLocalSession& reader) {
    TableCursor fresh(reader, "Kosten");
    fresh.Open();
    std::vector<std::string> physical = fresh.Names();
    fresh.SetCurrentIndexName("ByName");
    return {fresh.Names(), physical};
  }
  // Inserts, edits and deletes a record each.
  void ChangeEverything() {
    ASSERT_EQ(cursor->Insert("Apk", 40), crOK);
    ASSERT_TRUE(cursor->GoTo("Band"));
    ASSERT_EQ(cursor->Edit(), crOK);
    cursor->SetText(kName, "Zomerbanden");
    ASSERT_EQ(cursor->Post(), crOK);
    ASSERT_TRUE(cursor->GoTo("Diesel"));
    ASSERT_EQ(cursor->Delete(), crOK);
  }

  std::unique_ptr<TQDXLocalSession> session;
  std::unique_ptr<TableCursor> cursor;
};

TEST_F(LocalTransactionTest, RollbackTakesBackRecordsAndIndexEntries) {
  const auto before = Contents(*session);
  session->StartTransaction();
  ChangeEverything();
  EXPECT_THAT(Contents(*session).first, ElementsAre("Apk", "Olie", "Zomerbanden"));
  session->Rollback();
  EXPECT_EQ(Contents(*session), before);
  EXPECT_EQ(cursor->GetRecordCount(), 3);
  // The table goes on working after the rollback.
  ASSERT_EQ(cursor->Insert("Wasstraat", 5), crOK);
  EXPECT_THAT(Contents(*session).first, ElementsAre("Band", "Diesel", "Olie", "Wasstraat"));
}

TEST_F(LocalTransactionTest, CommittedChangesSurviveAReopen) {
  session->StartTransaction();
  ChangeEverything();
  session->Commit(true);
  cursor.reset();
  session.reset();
  auto reopened = Connect();
  EXPECT_THAT(Contents(*reopened).first, ElementsAre("Apk", "Olie", "Zomerbanden"));
  EXPECT_THAT(Contents(*reopened).second, ::testing::SizeIs(3));
}

TEST_F(LocalTransactionTest, ABatchOfImplicitChangesIsCommittedAtItsEnd) {
  cursor->BeginImplicitChange();
  EXPECT_TRUE(cursor->Batching);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(cursor->Insert("Rit " + std::to_string(i), i), crOK);
  cursor->CommitImplicitChange();
  EXPECT_FALSE(cursor->Batching);
  cursor.reset();
  session.reset();
  auto reopened = Connect();
  EXPECT_THAT(Contents(*reopened).second, ::testing::SizeIs(23));
}

TEST_F(LocalTransactionTest, NoBatchInsideATransaction) {
  session->StartTransaction();
  cursor->BeginImplicitChange();
  EXPECT_FALSE(cursor->Batching);
  session->Rollback();
}

}  // namespace
}  // namespace qdx
