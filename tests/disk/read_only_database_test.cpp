// A database that another program writes, or that was asked for read-only: its file is opened
// for reading only, and every change refuses with 10106 before anything in the file or in the
// tables changes. An exclusive open keeps every other open out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/table_cursor.h"
#include "engine/disk/database_file.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/table_list_file.h"
#include "engine/foundation/stream.h"
#include "tests/disk/disk_table_support.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using testing::TDiskCursor;
using testing::TRow;

std::vector<char> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// How the second database became read-only.
enum class ReadOnlyBy {
  Asking,         // it asked, and nobody else has the file open
  AnotherWriter,  // another program has the file open for writing (a second start)
};

class ReadOnlyDatabaseTest : public testing::TDiskTableTest {
 protected:
  void SetUp() override {
    TDiskTableTest::SetUp();
    Open();
    CreateKosten();
    TQDXFieldDefs notes;
    notes.AddField("Name", TQDXFieldType::String, 20);
    notes.AddField("Note", TQDXFieldType::Memo);
    CreateTable(*database, "Notities", notes, TQDXIndexDefs());
    {
      TDiskCursor kosten(*database, session, "Kosten");
      kosten.Insert({"brandstof", 50});
      kosten.Insert({"onderhoud", 120});
    }
    Close();
  }

  // Opens the database read-only for `reader` the way `by` says; `writer` keeps the file open
  // for writing meanwhile when another writer is wanted.
  std::unique_ptr<TQDXDiskDatabaseData> OpenReadOnly(ReadOnlyBy by) {
    if (by == ReadOnlyBy::AnotherWriter) Open();
    auto data = std::make_unique<TQDXDiskDatabaseData>(path);
    data->LockRetryCount = 3;
    data->LockRetryPause = 1;
    data->ReadOnly = by == ReadOnlyBy::Asking;
    data->AddSession(reader);
    return data;
  }

  TQDXBaseSession reader;
};

struct WriteCase {
  const char* name;
  std::function<void(TQDXDiskDatabaseData&, TQDXBaseSession&)> write;
};

TQDXTableData& TableOf(TQDXDiskDatabaseData& data, TQDXBaseSession& session,
                       const std::string& name, TQDXTableCursor& cursor) {
  cursor.Session = &session;
  cursor.TableName = name;
  return *data.GetTableData(cursor);
}

// Makes the first record the cursor's current one.
bool First(TDiskCursor& cursor) {
  cursor.AtBOF = true;
  cursor.AtEOF = false;
  return cursor.Table().GetRecord(cursor, grmNext) == grOK;
}

const WriteCase kWrites[] = {
    {"insert",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TDiskCursor kosten(data, session, "Kosten");
       kosten.Fill({"verzekering", 300});
       kosten.Table().InsertRecord(kosten);
     }},
    {"edit",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TDiskCursor kosten(data, session, "Kosten");
       ASSERT_TRUE(First(kosten));
       kosten.Fill({"gewijzigd", 1});
       kosten.Table().UpdateRecord(kosten);
     }},
    {"delete",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TDiskCursor kosten(data, session, "Kosten");
       ASSERT_TRUE(First(kosten));
       kosten.Table().DeleteRecord(kosten);
     }},
    {"empty the table",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TQDXTableCursor cursor;
       TableOf(data, session, "Kosten", cursor).EmptyTable(cursor);
     }},
    {"delete the table",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TQDXTableCursor cursor;
       TableOf(data, session, "Kosten", cursor).DeleteTable(nullptr, false);
     }},
    {"rename the table",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TQDXTableCursor cursor;
       TableOf(data, session, "Kosten", cursor).RenameTable("Uitgaven", nullptr);
     }},
    {"create a table",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TQDXFieldDefs fields;
       fields.AddField("Naam", TQDXFieldType::String, 10);
       TQDXTableCursor cursor;
       TableOf(data, session, "Nieuw", cursor)
           .CreateTable(cursor, fields, TQDXConstraintDefs(), TQDXIndexDefs());
     }},
    {"add an index",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TDiskCursor kosten(data, session, "Kosten");
       TQDXIndexDefs indexes;
       auto& byName = static_cast<TQDXIndexDef&>(indexes.AddCreated());
       byName.SetName("ByName");
       byName.SetColumnsFromLists({"Name"}, {"ASC"}, {""});
       kosten.Table().AddIndex(byName, kosten);
     }},
    {"write a BLOB value",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TDiskCursor notes(data, session, "Notities");
       notes.Table().OpenBlob(notes, /*readOnly=*/false, 0, 1);
     }},
    {"set a BLOB value",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
       TDiskCursor notes(data, session, "Notities");
       notes.Table().SetBlobData(notes, 1, TQDXBlobValue());
     }},
    {"commit changed pages",
     [](TQDXDiskDatabaseData& data, TQDXBaseSession&) {
       // The table list changed in the cache only: the commit is what would write it.
       {
         // Page work is done under the database's critical section, as the engine's callers do.
         const platform::CriticalSectionGuard held(data.PageManager()->DatabaseLock());
         TQDXTableListFile& list = *data.TableList();
         list.AddTable(99, "Schaduw", 10, 11, 12);
         list.Save();
       }
       try {
         data.CommitTransaction(kSystemSessionID, false);
       } catch (...) {
         data.RollbackTransaction(kSystemSessionID);
         throw;
       }
     }},
};

TEST_F(ReadOnlyDatabaseTest, EveryWritePathRefusesBeforeAnythingChanges) {
  for (const ReadOnlyBy by : {ReadOnlyBy::Asking, ReadOnlyBy::AnotherWriter}) {
    for (const WriteCase& c : kWrites) {
      SCOPED_TRACE(std::string(c.name) + (by == ReadOnlyBy::Asking ? " (asked)" : " (forced)"));
      const std::vector<char> before = FileBytes(path);
      {
        std::unique_ptr<TQDXDiskDatabaseData> readOnly = OpenReadOnly(by);
        ASSERT_TRUE(readOnly->ReadOnly);
        EXPECT_EQ(readOnly->PageManager()->File().AccessMode(),
                  TQDXDatabaseFile::kAccessReadOnly);
        EXPECT_QDX_ERROR(c.write(*readOnly, reader), 10106, "Dataset is in read only mode");
        // Reading still works, and finds what was there.
        {
          TDiskCursor kosten(*readOnly, reader, "Kosten");
          EXPECT_EQ(kosten.ReadAll(),
                    (std::vector<TRow>{{"brandstof", 50}, {"onderhoud", 120}}));
        }
        std::vector<std::string> names;
        readOnly->GetTableNames(names);
        EXPECT_EQ(names.size(), 2u);
        readOnly->RemoveSession(reader);
      }
      Close();
      EXPECT_EQ(FileBytes(path), before);
    }
  }
}

TEST_F(ReadOnlyDatabaseTest, AReaderHoldingTheSlotsMakesAWriterReopenItsFileReadOnly) {
  // The first program only reads, so a second one may open the file for writing; it finds the
  // session slots taken and turns read-only, its file with it.
  std::unique_ptr<TQDXDiskDatabaseData> first = OpenReadOnly(ReadOnlyBy::Asking);
  ASSERT_TRUE(first->AllSlotsLocked());
  Open();
  EXPECT_TRUE(database->ReadOnly);
  EXPECT_EQ(database->PageManager()->File().AccessMode(), TQDXDatabaseFile::kAccessReadOnly);
  {
    TDiskCursor kosten(*database, session, "Kosten");
    EXPECT_QDX_ERROR(kosten.Insert({"weg", 1}), 10106, "Dataset is in read only mode");
    EXPECT_EQ(kosten.ReadAll().size(), 2u);
  }
  first->RemoveSession(reader);
}

TEST_F(ReadOnlyDatabaseTest, AnExclusiveOpenKeepsEveryOtherOpenOut) {
  session.Exclusive = true;
  Open();
  for (const bool multiUser : {false, true}) {
    SCOPED_TRACE(multiUser ? "multi-user" : "single-user");
    auto other = std::make_unique<TQDXDiskDatabaseData>(path);
    TQDXBaseSession otherSession;
    otherSession.SetMultiUser(multiUser);
    EXPECT_QDX_ERROR(other->AddSession(otherSession), 30364, "Device or resource busy");
    EXPECT_FALSE(other->IsOpen());
  }
  Close();
  // Closed, it lets the next one in.
  auto other = std::make_unique<TQDXDiskDatabaseData>(path);
  TQDXBaseSession otherSession;
  other->AddSession(otherSession);
  EXPECT_FALSE(other->ReadOnly);
  other->RemoveSession(otherSession);
}

TEST_F(ReadOnlyDatabaseTest, EmptyingMovesTheChangeStampOnSoOtherProcessesReadAgain) {
  // Process A reads the table; B empties it and stores as many records as there were. With a
  // stamp that went back to 0, the count of changes would meet A's old version again and A
  // would keep showing its cached, deleted records.
  Open(/*multiUser=*/true);
  TQDXBaseSession otherSession;
  std::unique_ptr<TQDXDiskDatabaseData> other = OpenData(otherSession, /*multiUser=*/true);
  {
    TDiskCursor mine(*database, session, "Kosten");
    ASSERT_EQ(mine.ReadAll(), (std::vector<TRow>{{"brandstof", 50}, {"onderhoud", 120}}));
    TDiskCursor theirs(*other, otherSession, "Kosten");
    const int32_t stampBefore = theirs.Table().RecordManager().ChangeStamp;
    theirs.Table().EmptyTable(theirs);
    EXPECT_NE(theirs.Table().RecordManager().ChangeStamp, 0);
    EXPECT_NE(theirs.Table().RecordManager().ChangeStamp, stampBefore);
    theirs.Insert({"nieuw1", 7});
    theirs.Insert({"nieuw2", 8});
    EXPECT_EQ(mine.ReadAll(), (std::vector<TRow>{{"nieuw1", 7}, {"nieuw2", 8}}));
  }
  other->RemoveSession(otherSession);
}

}  // namespace
}  // namespace qdx
