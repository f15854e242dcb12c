// The database component and its session on real files: connecting and its failures, the
// password prompt, repair and conversion of a damaged or old file, the rebuild and its free-space
// check, compacting and changing the password or the settings of a file, temporary components,
// transactions.
#include "dataset/qdx_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "dataset/database_error.h"
#include "dataset/engine_session_manager.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/local_engine/local_session.h"
#include "dataset/prompts.h"
#include "dataset/qdx_session.h"
#include "dataset/qdx_table.h"
#include "dataset/table_maintenance.h"
#include "engine/disk/database_header.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "tests/dataset/database_error_text.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fault_file_system.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Prompts that answer from a script and remember what they were asked.
class ScriptedPrompts : public TQDXPrompts {
 public:
  bool AskPassword(std::string_view, std::string& password) override {
    asked.push_back("password");
    if (passwords.empty()) return false;
    password = passwords.front();
    passwords.pop_front();
    return true;
  }
  bool Confirm(std::string_view text) override {
    asked.push_back("confirm: " + std::string(text));
    return confirmAnswer;
  }
  void Inform(std::string_view text) override { asked.push_back("inform: " + std::string(text)); }
  void Warn(std::string_view text) override { asked.push_back("warn: " + std::string(text)); }
  std::unique_ptr<TQDXProgressDisplay> BeginProgress(std::string_view message) override {
    asked.push_back("progress: " + std::string(message));
    return TQDXQuietPrompts().BeginProgress(message);
  }

  std::deque<std::string> passwords;
  bool confirmAnswer = false;
  std::vector<std::string> asked;
};

// A dataset attached to a database, closed by it on disconnect.
class FakeDataSet : public TQDXDatabaseUser {
 public:
  FakeDataSet(TQDXDatabase& database, std::vector<std::string>& log, std::string name, bool sql)
      : database_(database), log_(log), name_(std::move(name)), sql_(sql) {
    database_.AddDataSet(*this);
  }
  void CloseForDatabase() override {
    log_.push_back(name_);
    database_.RemoveDataSet(*this);
  }
  bool IsSQLDataSet() const override { return sql_; }

 private:
  TQDXDatabase& database_;
  std::vector<std::string>& log_;
  std::string name_;
  bool sql_;
};

using testing::DatabaseErrorText;

class QdxDatabaseTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    scope_ = std::make_unique<PromptsScope>(prompts_);
  }
  void TearDown() override {
    scope_.reset();
    TempDirTest::TearDown();
  }

  // A database file with a table "Items" (Id integer, Name string 20, index on Id) holding
  // `rows` records.
  void CreateFile(int rows, const std::string& password = {}) {
    TQDXDatabase db("Setup");
    db.SetDatabaseName("setup");
    db.SetDatabaseFileName(path);
    db.Password = password;
    db.CreateDatabase();
    db.Open();
    AddTable(db, "Items", rows);
  }

  // A table like "Items" in the connected `db`, holding records 1 to `rows`.
  void AddTable(TQDXDatabase& db, const std::string& table, int rows) {
    TQDXAdvFieldDefs fields;
    fields.Add(TQDXAdvFieldDef("Id", TQDXFieldType::Integer));
    fields.Add(TQDXAdvFieldDef("Name", TQDXFieldType::String, 20));
    TQDXAdvIndexDefs indexes;
    TQDXAdvIndexDef index;
    index.Name = "ById";
    index.Fields = "Id";
    indexes.Add(index);
    CreateDatabaseTable(db, {table}, fields, indexes);
    TQDXLocalCursor cursor(*db.EngineSession());
    cursor.TableName = table;
    cursor.OpenTable();
    cursor.InitFieldDefs();
    auto buffer = cursor.AllocRecordBuffer();
    cursor.Buffer = buffer.get();
    for (int i = 1; i <= rows; ++i) {
      cursor.InitRecord(buffer.get(), true);
      TQDXVariant id, name;
      id.SetAsInteger(i);
      name.SetAsString("item " + std::to_string(i));
      cursor.SetFieldValue(0, id);
      cursor.SetFieldValue(1, name);
      cursor.PostRecord(true);
      ASSERT_EQ(cursor.ResultCode, 0) << cursor.ResultMessage;
    }
    cursor.CloseTable();
  }

  std::vector<int32_t> ReadIds(TQDXDatabase& db) {
    TQDXLocalCursor cursor(*db.EngineSession());
    cursor.TableName = "Items";
    cursor.OpenTable();
    cursor.InitFieldDefs();
    auto buffer = cursor.AllocRecordBuffer();
    cursor.Buffer = buffer.get();
    std::vector<int32_t> ids;
    cursor.First();
    while (cursor.GetRecord(grmNext) == grOK) {
      TQDXVariant id;
      cursor.GetFieldValue(0, id);
      ids.push_back(id.AsInteger());
    }
    cursor.CloseTable();
    return ids;
  }

  void SetFileState(uint8_t state) {
    std::vector<uint8_t> bytes = ReadAll();
    bytes[42] = state;
    WriteAll(bytes);
  }

  // A component named "QDXDatabase1" for `path`, as the program's data module has it.
  std::unique_ptr<TQDXDatabase> Component() {
    auto db = std::make_unique<TQDXDatabase>("QDXDatabase1");
    db->SetDatabaseName("wagenlog");
    db->SetSessionName("Default");
    db->SetDatabaseFileName(path);
    return db;
  }

  ScriptedPrompts prompts_;

 private:
  std::unique_ptr<PromptsScope> scope_;
};

TEST_F(QdxDatabaseTest, ConnectsAndDisconnectsWithTheFilesSettings) {
  CreateFile(3);
  auto db = Component();
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->CurrentVersion(), "6.09 ");
  EXPECT_EQ(db->MaxConnections, 500);
  db->PageSize = 1024;  // a new file's setting; the file says 4096
  db->Open();
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(db->PageSize, 4096);
  EXPECT_EQ(db->Session(), &DefaultSession());
  EXPECT_THAT(ReadIds(*db), ElementsAre(1, 2, 3));
  std::vector<std::string> tables;
  db->GetTableNames(tables);
  EXPECT_THAT(tables, ElementsAre("Items"));
  EXPECT_TRUE(db->TableExists("items"));
  db->Close();
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->EngineSession(), nullptr);
  // GetTableNames restores the connection state.
  db->GetTableNames(tables);
  EXPECT_THAT(tables, ElementsAre("Items"));
  EXPECT_FALSE(db->Connected());
  EXPECT_TRUE(prompts_.asked.empty());
}

TEST_F(QdxDatabaseTest, ConnectFailuresLeaveTheComponentDisconnected) {
  CreateFile(0);
  {
    TQDXDatabase db("NoName");
    db.SetDatabaseFileName(path);
    EXPECT_EQ(DatabaseErrorText([&] { db.Open(); }), "NoName: Database name missing");
    EXPECT_FALSE(db.Connected());
  }
  {
    auto db = Component();
    const std::string missing = (dir_ / "none" / "wagenlog.qdx").string();
    db->SetDatabaseFileName(missing);
    EXPECT_EQ(DatabaseErrorText([&] { db->Open(); }),
              "QDXDatabase1: Database file '" + missing + "' does not exist");
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(std::filesystem::exists(missing));
  }
  {
    auto db = Component();
    db->SetSessionName("Elsewhere");
    EXPECT_QDX_ERROR(db->Open(), msg::kInvalidSessionName, "Invalid session name 'Elsewhere'");
    EXPECT_FALSE(db->Connected());
  }
}

TEST_F(QdxDatabaseTest, NamesAreUniqueInASessionUnlessBothShareTheHandle) {
  CreateFile(2);
  auto first = Component();
  auto second = std::make_unique<TQDXDatabase>("QDXDatabase2");
  EXPECT_EQ(DatabaseErrorText([&] { second->SetDatabaseName("WAGENLOG"); }),
            "QDXDatabase2: Duplicate database name 'WAGENLOG'");
  EXPECT_EQ(second->DatabaseName(), "");

  first->HandleShared = true;
  second->HandleShared = true;
  second->SetDatabaseName("wagenlog");
  first->Open();
  second->Open();
  EXPECT_EQ(second->EngineSession(), first->EngineSession());
  // The owner of the handle takes its borrowers down with it.
  first->Close();
  EXPECT_FALSE(second->Connected());

  // A connected component's name and session cannot change.
  first->HandleShared = false;
  first->Open();
  EXPECT_EQ(DatabaseErrorText([&] { first->SetDatabaseName("other"); }),
            "QDXDatabase1: Cannot perform this operation on an open database");
  EXPECT_EQ(DatabaseErrorText([&] { first->SetSessionName("Default"); }),
            "QDXDatabase1: Cannot perform this operation on an open database");
}

TEST_F(QdxDatabaseTest, AWrongPasswordIsAskedForAgain) {
  CreateFile(1, "geheim");
  struct Case {
    const char* what;
    std::deque<std::string> typed;  // answers of the password dialog in turn
    bool connects;
  };
  for (const Case& c : {Case{"declined", {}, false}, Case{"wrong, then declined", {"nee"}, false},
                        Case{"wrong, then right", {"nee", "geheim"}, true}}) {
    SCOPED_TRACE(c.what);
    prompts_.asked.clear();
    prompts_.passwords = c.typed;
    auto db = Component();
    db->Password = "fout";
    if (c.connects) {
      db->Open();
      EXPECT_EQ(db->Password, "geheim");
      EXPECT_THAT(ReadIds(*db), ElementsAre(1));
    } else {
      EXPECT_QDX_ERROR(db->Open(), msg::kIncorrectPassword, "incorrect password");
      EXPECT_FALSE(db->Connected());
    }
    EXPECT_EQ(prompts_.asked.size(), c.typed.size() + (c.connects ? 0 : 1));
  }

  // OnPassword answers instead of the dialog; SilentMode asks nobody.
  auto db = Component();
  int calls = 0;
  db->OnPassword = [&](TQDXDatabase& database, bool& continueConnecting) {
    ++calls;
    database.Password = "geheim";
    continueConnecting = true;
  };
  prompts_.asked.clear();
  db->Open();
  EXPECT_EQ(calls, 1);
  db->Close();
  db->OnPassword = nullptr;
  db->SilentMode = true;
  db->Password = "fout";
  EXPECT_QDX_ERROR(db->Open(), msg::kIncorrectPassword, "incorrect password");
  EXPECT_TRUE(prompts_.asked.empty());
}

TEST_F(QdxDatabaseTest, AFileLeftInTheMiddleOfACommitIsRepairedWithEveryRecord) {
  CreateFile(250);
  SetFileState(kFileStateWriting);
  prompts_.confirmAnswer = true;
  auto db = Component();
  db->Open();
  EXPECT_THAT(prompts_.asked,
              ElementsAre("confirm: Database file was not correctly closed last time. Do you "
                          "want to repair it?",
                          "progress: Repairing Database..."));
  std::vector<int32_t> expected(250);
  for (int i = 0; i < 250; ++i) expected[static_cast<size_t>(i)] = i + 1;
  EXPECT_EQ(ReadIds(*db), expected);
  db->Close();
  EXPECT_EQ(ReadAll()[42], kFileStateConsistent);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(QdxDatabaseTest, DecliningTheRepairOpensTheFileAsItIs) {
  CreateFile(3);
  SetFileState(kFileStateWriting);
  const std::vector<uint8_t> before = ReadAll();
  auto db = Component();
  bool asked = false;
  db->OnNeedRepair = [&](TQDXDatabase&, bool& repair) {
    asked = true;
    repair = false;
  };
  db->Open();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(db->Connected());
  EXPECT_THAT(ReadIds(*db), ElementsAre(1, 2, 3));
  db->Close();
  EXPECT_EQ(ReadAll()[42], before[42]);
}

TEST_F(QdxDatabaseTest, AnOldFormatFileIsConvertedAfterANotice) {
  CreateFile(4);
  std::vector<uint8_t> bytes = ReadAll();
  le::Store<double>(bytes.data() + 18, 2.5);
  WriteAll(bytes);
  auto db = Component();
  db->Open();
  ASSERT_FALSE(prompts_.asked.empty());
  EXPECT_THAT(prompts_.asked[0],
              HasSubstr("inform: Database file you are opening is of old format"));
  EXPECT_THAT(ReadIds(*db), ElementsAre(1, 2, 3, 4));
  db->Close();
  EXPECT_EQ(le::Load<double>(ReadAll().data() + 18), kDatabaseFormatVersion);
}

// The free space the drive reports is what the test says.
class SmallDisk : public testing::FaultFileSystem {
 public:
  int64_t FreeSpace(const std::string&) override { return freeBytes; }
  int64_t freeBytes = 0;
};

TEST_F(QdxDatabaseTest, ARebuildNeedsAsMuchFreeSpaceAsTheFileTakes) {
  CreateFile(20);
  const int64_t size = static_cast<int64_t>(ReadAll().size());
  SmallDisk disk;
  platform::FileSystemScope scope(disk);
  disk.freeBytes = size - 1;
  auto db = Component();
  db->SilentMode = true;
  const std::vector<uint8_t> before = ReadAll();
  EXPECT_QDX_ERROR(db->Rebuild(), msg::kNotEnoughDiskSpace, "not enough free space on drive");
  EXPECT_EQ(ReadAll(), before);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  // Through the repair prompt the failure is the conversion error.
  SetFileState(kFileStateWriting);
  db->SilentMode = false;
  prompts_.confirmAnswer = true;
  EXPECT_QDX_ERROR(db->Open(), msg::kCannotConvertDatabase, "Cannot convert database");
  EXPECT_FALSE(db->Connected());

  disk.freeBytes = size;
  db->SilentMode = true;
  EXPECT_EQ(db->Rebuild(), "");
  db->Open();
  EXPECT_EQ(ReadIds(*db).size(), 20u);
}

TEST_F(QdxDatabaseTest, AStoppedRebuildKeepsTheOriginalFile) {
  CreateFile(30);
  SetFileState(kFileStateWriting);
  const std::vector<uint8_t> before = ReadAll();
  auto db = Component();
  std::vector<int> reported;
  db->OnRepairProgress = [&](TQDXDatabase&, int percent, bool& continueRebuild) {
    reported.push_back(percent);
    continueRebuild = percent < 50;
  };
  const std::string errors = db->Rebuild();
  EXPECT_THAT(errors, HasSubstr("Terminated by User."));
  EXPECT_EQ(ReadAll(), before);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported.front(), 0);
}

TEST_F(QdxDatabaseTest, DisconnectingClosesTheDatasetsSQLFirst) {
  CreateFile(0);
  auto db = Component();
  db->Open();
  std::vector<std::string> closed;
  FakeDataSet table(*db, closed, "tb1", false);
  FakeDataSet query(*db, closed, "query", true);
  FakeDataSet other(*db, closed, "tb6", false);
  db->Close();
  EXPECT_THAT(closed, ElementsAre("query", "tb1", "tb6"));
  EXPECT_EQ(db->DataSetCount(), 0);

  // Changing the file disconnects.
  db->Open();
  db->SetDatabaseFileName(path + ".other");
  EXPECT_FALSE(db->Connected());
}

TEST_F(QdxDatabaseTest, TransactionsNeedAConnectionAndDoNotNest) {
  CreateFile(0);
  auto db = Component();
  EXPECT_EQ(DatabaseErrorText([&] { db->StartTransaction(); }),
            "QDXDatabase1: Cannot perform this operation on a closed database");
  db->Open();
  db->StartTransaction();
  EXPECT_TRUE(db->InTransaction());
  EXPECT_EQ(DatabaseErrorText([&] { db->StartTransaction(); }),
            "Database is already within a transaction");
  db->Rollback();
  EXPECT_FALSE(db->InTransaction());
  EXPECT_QDX_ERROR(db->Commit(), msg::kNotInTransaction, "not within a transaction");
}

TEST_F(QdxDatabaseTest, AnUnregisteredNameOpensThroughATemporaryComponent) {
  CreateFile(2);
  TQDXSession& session = Sessions().OpenSession("");
  session.KeepConnections = false;
  TQDXDatabase& temporary = session.OpenDatabase(path);
  EXPECT_TRUE(temporary.IsTemporary());
  EXPECT_TRUE(temporary.SilentMode);
  EXPECT_TRUE(temporary.Connected());
  EXPECT_EQ(temporary.RefCount(), 1);
  EXPECT_EQ(&session.OpenDatabase(path), &temporary);
  EXPECT_EQ(temporary.RefCount(), 2);
  session.CloseDatabase(temporary);
  session.CloseDatabase(temporary);
  EXPECT_EQ(session.FindDatabase(path), nullptr);  // freed with its last user
  session.KeepConnections = true;

  // A registered component is found by its name in any letter case and connected once.
  auto db = Component();
  TQDXDatabase& found = session.OpenDatabase("WagenLog");
  EXPECT_EQ(&found, db.get());
  EXPECT_TRUE(db->Connected());
  session.CloseDatabase(found);
  EXPECT_TRUE(db->Connected());  // KeepConnection
  db->SetKeepConnection(false);
  EXPECT_FALSE(db->Connected());
}

TEST_F(QdxDatabaseTest, SessionsHaveUniqueNamesAndAutomaticOnes) {
  TQDXSession first("Session1");
  first.SetSessionName("Kassa");
  TQDXSession second("Session2");
  EXPECT_EQ(DatabaseErrorText([&] { second.SetSessionName("KASSA"); }),
            "Session2: Duplicate session name 'KASSA'");
  EXPECT_EQ(DatabaseErrorText([&] { second.Open(); }), "Session2: Session name missing");
  EXPECT_EQ(Sessions().FindSession("kassa"), &first);
  first.Open();
  EXPECT_TRUE(DefaultSession().Active());
  EXPECT_EQ(DatabaseErrorText([&] { first.SetSessionName("Other"); }),
            "Session1: Cannot perform this operation on an active session");

  int form = 0;
  TQDXSession automatic("Session", &form);
  automatic.SetAutoSessionName(true);
  EXPECT_EQ(automatic.SessionName(), "Session_1");
  EXPECT_EQ(DatabaseErrorText([&] { automatic.SetSessionName("x"); }),
            "Session: Cannot modify SessionName while AutoSessionName is enabled");
  EXPECT_EQ(DatabaseErrorText([&] { TQDXSession another("Session3", &form); }),
            "Session3: Cannot add a session to the form or data-module while session "
            "'Session_1' has AutoSessionName enabled");

  // A component registered in a destroyed session falls back to the default one.
  auto db = std::make_unique<TQDXDatabase>("QDXDatabase9");
  {
    TQDXSession local("Local");
    local.SetSessionName("Local");
    db->SetSessionName("Local");
    EXPECT_EQ(db->Session(), &local);
  }
  EXPECT_EQ(db->Session(), &DefaultSession());
}

// A session with AutoSessionName hands its name to the datasets of its owner as well as to its
// database components; the datasets of another owner keep theirs.
TEST_F(QdxDatabaseTest, AutoSessionNameReachesTheOwnersDatasets) {
  int form = 0;
  int otherForm = 0;
  TQDXDatabase db("QDXDatabaseA", &form);
  TQDXTable mine("tbMine", &form);
  TQDXTable other("tbOther", &otherForm);
  other.SetSessionName("Elders");
  TQDXTable unowned("tbUnowned");
  TQDXSession automatic("Auto", &form);
  automatic.SetAutoSessionName(true);
  const std::string name = automatic.SessionName();
  EXPECT_EQ(db.SessionName(), name);
  EXPECT_EQ(mine.SessionName(), name);
  EXPECT_EQ(other.SessionName(), "Elders");
  EXPECT_EQ(unowned.SessionName(), "");
}

// A database component tells its session when it connects and when it disconnects; one that
// borrows a shared handle makes no connection of its own.
TEST_F(QdxDatabaseTest, ConnectAndDisconnectTellTheSession) {
  CreateFile(1);
  TQDXSession session("Local");
  session.SetSessionName("ConnectTest");
  TQDXDatabase first("QDXDatabaseA");
  first.SetSessionName("ConnectTest");
  first.SetDatabaseName("shared");
  first.SetDatabaseFileName(path);
  first.HandleShared = true;
  TQDXDatabase second("QDXDatabaseB");
  second.SetSessionName("ConnectTest");
  second.HandleShared = true;
  second.SetDatabaseName("shared");
  second.SetDatabaseFileName(path);
  EXPECT_THAT(session.ConnectedDatabases(), ::testing::IsEmpty());
  first.Open();
  second.Open();
  EXPECT_THAT(session.ConnectedDatabases(), ElementsAre(&first));
  second.Close();
  first.Close();
  EXPECT_THAT(session.ConnectedDatabases(), ::testing::IsEmpty());
  first.Open();
  {
    TQDXTable table("tbItems");
    table.SetSessionName("ConnectTest");
    table.SetDatabaseName("shared");
    table.SetTableName("Items");
    table.Open();
    EXPECT_THAT(session.ConnectedDatabases(), ElementsAre(&first));
  }
  first.Close();
  EXPECT_THAT(session.ConnectedDatabases(), ::testing::IsEmpty());
}

std::vector<int32_t> OneTo(int n) {
  std::vector<int32_t> ids(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) ids[static_cast<size_t>(i)] = i + 1;
  return ids;
}

TEST_F(QdxDatabaseTest, CompactingDropsTheFreePagesInsideTheFileAndKeepsEveryRecord) {
  {
    // The pages of the deleted table lie between those of the two others.
    TQDXDatabase db("Setup");
    db.SetDatabaseName("setup");
    db.SetDatabaseFileName(path);
    db.CreateDatabase();
    db.Open();
    AddTable(db, "Items", 120);
    AddTable(db, "Scratch", 600);
    AddTable(db, "Kept", 40);
    DeleteDatabaseTable(db, {"Scratch"});
  }
  const size_t before = ReadAll().size();
  auto db = Component();
  EXPECT_EQ(db->CompactDatabase(), "");
  EXPECT_THAT(prompts_.asked, ElementsAre("progress: Compacting Database..."));
  EXPECT_LT(ReadAll().size(), before);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  db->Open();
  EXPECT_EQ(ReadIds(*db), OneTo(120));
  std::vector<std::string> tables;
  db->GetTableNames(tables);
  EXPECT_THAT(tables, ::testing::UnorderedElementsAre("Items", "Kept"));
  EXPECT_EQ(DatabaseErrorText([&] { db->CompactDatabase(); }),
            "QDXDatabase1: Cannot perform this operation on an open database");
}

TEST_F(QdxDatabaseTest, ChangingThePasswordRewritesTheFileEnciphered) {
  CreateFile(60);
  auto db = Component();
  std::vector<std::string> events;
  db->BeforeChangePassword = [&](TQDXDatabase&) { events.push_back("before"); };
  db->OnChangePasswordProgress = [&](TQDXDatabase&, int percent, bool&) {
    if (percent == 100) events.push_back("100");
  };
  db->AfterChangePassword = [&](TQDXDatabase&) { events.push_back("after"); };
  EXPECT_EQ(db->ChangePassword("geheim"), "");
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front(), "before");
  EXPECT_EQ(events[events.size() - 2], "100");
  EXPECT_EQ(events.back(), "after");
  EXPECT_TRUE(prompts_.asked.empty());  // the events stand for the wait dialog
  EXPECT_EQ(db->Password, "geheim");
  // The plain text of the records is gone from the file.
  const std::vector<uint8_t> bytes = ReadAll();
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find("item 17"), std::string::npos);

  struct Case {
    const char* password;
    bool opens;
  };
  for (const Case& c : {Case{"", false}, Case{"fout", false}, Case{"geheim", true}}) {
    SCOPED_TRACE(c.password);
    auto reader = std::make_unique<TQDXDatabase>("Reader");
    reader->SetDatabaseName("reader");
    reader->SetDatabaseFileName(path);
    reader->SilentMode = true;
    reader->Password = c.password;
    if (c.opens) {
      reader->Open();
      EXPECT_EQ(ReadIds(*reader), OneTo(60));
    } else {
      EXPECT_QDX_ERROR(reader->Open(), msg::kIncorrectPassword, "incorrect password");
    }
  }

  // And back to no password, through the wait dialog this time.
  db->BeforeChangePassword = nullptr;
  db->OnChangePasswordProgress = nullptr;
  db->AfterChangePassword = nullptr;
  EXPECT_EQ(db->ChangePassword(""), "");
  EXPECT_THAT(prompts_.asked, ElementsAre("progress: Changing Database Password..."));
  db->Password = "anything";
  db->Open();
  EXPECT_EQ(ReadIds(*db), OneTo(60));
}

TEST_F(QdxDatabaseTest, ChangingTheSettingsGivesTheFileThemOrLeavesItAsItWas) {
  CreateFile(80);
  auto db = Component();
  db->SilentMode = true;
  EXPECT_EQ(db->ChangeDatabaseSettings(8192, 16, 20), "");
  EXPECT_EQ(db->PageSize, 8192);
  {
    auto reader = std::make_unique<TQDXDatabase>("Reader");
    reader->SetDatabaseName("reader");
    reader->SetDatabaseFileName(path);
    reader->Open();
    EXPECT_EQ(reader->PageSize, 8192);
    EXPECT_EQ(reader->PagesPerExtent, 16);
    EXPECT_EQ(ReadIds(*reader), OneTo(80));
  }

  // Settings the engine refuses, a stopped rewrite: the file stays as it was, properties too.
  const std::vector<uint8_t> before = ReadAll();
  EXPECT_QDX_ERROR(db->ChangeDatabaseSettings(64, 8, 500), msg::kPageSizeTooSmall, "");
  EXPECT_QDX_ERROR(db->ChangePassword("geheim", 99), msg::kUnknownCryptoAlgorithm, "99");
  db->OnCompactProgress = [](TQDXDatabase&, int, bool& continueWork) { continueWork = false; };
  EXPECT_EQ(db->CompactDatabase(), "Terminated by User.\n");
  EXPECT_EQ(ReadAll(), before);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_EQ(db->PageSize, 8192);
  EXPECT_EQ(db->Password, "");
  EXPECT_FALSE(db->Connected());
}

TEST_F(QdxDatabaseTest, EngineSessionsComeFromTheManagerOfTheirSession) {
  CreateFile(1);
  TQDXEngineSessionManager& process = ProcessEngineSessionManager();
  const int32_t before = process.SessionCount();
  auto db = Component();
  db->Open();
  EXPECT_EQ(DefaultSession().EngineSessionManager(), &process);
  EXPECT_TRUE(process.Holds(*db->EngineSession()));
  EXPECT_EQ(process.SessionCount(), before + 1);

  // Another session has a manager of its own, only while it is active.
  TQDXSession local("Session1");
  local.SetSessionName("Local");
  EXPECT_EQ(local.EngineSessionManager(), nullptr);
  TQDXDatabase other("Other");
  other.SetSessionName("Local");
  other.SetDatabaseName("wagenlog");  // names are unique per session only
  other.SetDatabaseFileName(path);
  other.Open();
  TQDXEngineSessionManager* own = local.EngineSessionManager();
  ASSERT_NE(own, nullptr);
  EXPECT_NE(own, &process);
  EXPECT_TRUE(own->Holds(*other.EngineSession()));
  EXPECT_FALSE(process.Holds(*other.EngineSession()));
  EXPECT_THAT(ReadIds(other), ElementsAre(1));

  // Deactivating disconnects the components, then lets the manager go.
  local.Close();
  EXPECT_FALSE(other.Connected());
  EXPECT_EQ(local.EngineSessionManager(), nullptr);
  db->Close();
  EXPECT_EQ(process.SessionCount(), before);
}

}  // namespace
}  // namespace qdx
