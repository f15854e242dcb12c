// The local session: connecting by identity to a shared database data object, the password
// check, the in-memory database without its engine, and transactions.
#include "dataset/local_engine/local_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/core/database_data.h"
#include "engine/disk/disk_database_data.h"
#include "tests/dataset/local_engine_support.h"

namespace qdx {
namespace {

using testing::ShortLockTiming;
using testing::TempDirTest;

class LocalSessionTest : public TempDirTest {
 protected:
  std::unique_ptr<TQDXLocalSession> NewSession(std::string_view password = {},
                                               std::string_view sessionName = {},
                                               bool multiUser = false) {
    auto session = std::make_unique<TQDXLocalSession>();
    session->FileName = path;
    session->Password.Password = std::string(password);
    session->SessionName = std::string(sessionName);
    session->SetMultiUser(multiUser);
    session->LockTiming = ShortLockTiming();
    return session;
  }
  void CreateFile(std::string_view password = {}) {
    auto creator = NewSession(password);
    creator->PageSize = 8192;
    creator->MaxConnections = 20;
    creator->CreateDatabase();
  }
};

TEST_F(LocalSessionTest, SessionsOfOneIdentityShareTheDatabaseDataUntilTheLastLeaves) {
  CreateFile();
  auto first = NewSession();
  first->SetConnected(true);
  first->SetConnected(true);  // nothing when connected already
  ASSERT_TRUE(first->IsConnected());
  EXPECT_TRUE(first->IsDiskDatabase());
  EXPECT_EQ(first->SessionID(), 0);
  EXPECT_EQ(first->PageSize, 8192);
  EXPECT_EQ(first->MaxConnections, 20);
  EXPECT_FALSE(first->ReadOnly);

  auto second = NewSession();
  second->SetConnected(true);
  EXPECT_EQ(second->DatabaseData(), first->DatabaseData());
  EXPECT_EQ(first->DatabaseData()->Sessions().size(), 2u);

  first->SetConnected(false);
  EXPECT_FALSE(first->IsConnected());
  EXPECT_NE(DatabaseDataList().Find(path), nullptr);
  second->SetConnected(false);
  EXPECT_EQ(DatabaseDataList().Find(path), nullptr);
}

TEST_F(LocalSessionTest, TheSessionNameIsPartOfTheIdentityIgnoringCase) {
  CreateFile();
  auto a = NewSession({}, "Werk", true);
  auto b = NewSession({}, "WERK", true);
  auto c = NewSession({}, "Thuis", true);
  a->SetConnected(true);
  b->SetConnected(true);
  c->SetConnected(true);
  EXPECT_EQ(a->DatabaseData(), b->DatabaseData());
  EXPECT_NE(a->DatabaseData(), c->DatabaseData());
  EXPECT_TRUE(a->MultiUser());
  EXPECT_NE(a->SessionID(), b->SessionID());
}

TEST_F(LocalSessionTest, ALaterSessionMustGiveThePasswordTheFileWasOpenedWith) {
  CreateFile("geheim");
  auto first = NewSession("geheim");
  first->SetConnected(true);
  auto wrong = NewSession("Geheim");
  EXPECT_QDX_ERROR(wrong->SetConnected(true), msg::kDatabasePasswordIsInvalid,
                   "Database password is invalid.");
  EXPECT_FALSE(wrong->IsConnected());
  EXPECT_EQ(first->DatabaseData()->Sessions().size(), 1u);
  auto right = NewSession("geheim");
  right->SetConnected(true);
  EXPECT_EQ(right->DatabaseData(), first->DatabaseData());
}

TEST_F(LocalSessionTest, AFailedOpenLeavesNoDatabaseDataBehind) {
  auto session = NewSession();
  EXPECT_NE(testing::QdxErrorCode([&] { session->SetConnected(true); }), 0);  // no file
  EXPECT_FALSE(session->IsConnected());
  EXPECT_EQ(DatabaseDataList().Find(path), nullptr);
  CreateFile();
  session->SetConnected(true);
  EXPECT_TRUE(session->IsConnected());
}

TEST_F(LocalSessionTest, CreateDatabaseIsRefusedWhileTheDatabaseIsOpen) {
  CreateFile();
  auto session = NewSession();
  session->SetConnected(true);
  EXPECT_QDX_ERROR(NewSession()->CreateDatabase(), msg::kDatabaseAlreadyOpen,
                   "Cannot create database. Database is already open");
}

TEST_F(LocalSessionTest, TheInMemoryDatabasesNeedTheirEngine) {
  for (std::string_view name : {kMemoryDatabaseName, kTemporaryDatabaseName}) {
    TQDXLocalSession session;
    session.DatabaseName = std::string(name);
    EXPECT_QDX_ERROR(session.SetConnected(true), msg::kDatabaseEngineIsNotInitialized,
                     "Database Engine is not initialized");
    EXPECT_QDX_ERROR(session.CreateDatabase(), msg::kDatabaseEngineIsNotInitialized,
                     "Database Engine is not initialized");
  }
}

TEST_F(LocalSessionTest, TransactionsNeedStartTransaction) {
  CreateFile();
  auto session = NewSession();
  session->SetConnected(true);
  EXPECT_QDX_ERROR(session->Commit(false), msg::kNotInTransaction,
                   "Database is not within a transaction. Cannot perform operation");
  EXPECT_QDX_ERROR(session->Rollback(), msg::kNotInTransaction, "not within a transaction");
  session->StartTransaction();
  session->Commit(true);
  EXPECT_FALSE(session->InTransaction);
  session->StartTransaction();
  session->Rollback();
  EXPECT_FALSE(session->InTransaction);
}

TEST_F(LocalSessionTest, TheInTransactionFlagIsTheOpenDatabases) {
  CreateFile();
  auto session = NewSession();
  EXPECT_FALSE(session->GetInTransactionFlag());
  session->SetInTransactionFlag(true);  // nothing while disconnected
  session->SetConnected(true);
  EXPECT_FALSE(session->GetInTransactionFlag());
  session->SetInTransactionFlag(true);
  EXPECT_TRUE(session->GetInTransactionFlag());
  session->SetInTransactionFlag(false);
  EXPECT_FALSE(session->GetInTransactionFlag());
}

TEST_F(LocalSessionTest, TableNamesAttachToTheDatabase) {
  CreateFile();
  auto session = NewSession();
  std::vector<std::string> names;
  session->GetTableNames(names);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(session->IsConnected());
  EXPECT_FALSE(session->TableExists("Kosten"));
}

}  // namespace
}  // namespace qdx
