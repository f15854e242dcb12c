// The local cursor in one process: opening by name, walking, the record changes and their
// result codes, bookmarks, ranges, key search, filters, Locate, field access, and the table and
// index maintenance operations with their refusals.
#include "dataset/local_engine/local_cursor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dataset/local_engine_support.h"

namespace qdx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::kAmount;
using testing::kName;
using testing::kNote;
using testing::kSerial;
using testing::LocalEngineTest;
using testing::TableCursor;

class LocalCursorTest : public LocalEngineTest {
 protected:
  void SetUp() override {
    LocalEngineTest::SetUp();
    session = Connect();
    CreateKosten(*session);
    cursor = std::make_unique<TableCursor>(*session, "Kosten");
    cursor->Open();
    Fill(*cursor, {"Diesel", "Band", "Olie", "Apk"});
  }
  void TearDown() override {
    cursor.reset();
    session.reset();
    LocalEngineTest::TearDown();
  }

  std::unique_ptr<TQDXLocalSession> session;
  std::unique_ptr<TableCursor> cursor;
};

TEST_F(LocalCursorTest, OpensByNameIgnoringCaseAndWalksInPhysicalAndIndexOrder) {
  TableCursor other(*session, "KOSTEN");
  other.Open();
  EXPECT_EQ(other.GetRecordCount(), 4);
  EXPECT_THAT(other.Names(), ElementsAre("Diesel", "Band", "Olie", "Apk"));
  other.SetCurrentIndexName("byname");
  EXPECT_GE(other.CurrentIndexID, 0);
  EXPECT_THAT(other.Names(), ElementsAre("Apk", "Band", "Diesel", "Olie"));
  EXPECT_THAT(other.NamesBackwards(), ElementsAre("Olie", "Diesel", "Band", "Apk"));
  other.SetCurrentIndexName("ByAmount");
  EXPECT_THAT(other.Names(), ElementsAre("Apk", "Olie", "Band", "Diesel"));
  other.SetCurrentIndexName("NoSuchIndex");
  EXPECT_EQ(other.CurrentIndexID, -1);
  EXPECT_THAT(other.Names(), ElementsAre("Diesel", "Band", "Olie", "Apk"));
}

TEST_F(LocalCursorTest, InitFieldDefsComputesTheBufferLayout) {
  const int32_t data = cursor->TableFieldDefs->MemoryRecordSize();
  EXPECT_EQ(cursor->RecordDataSize, data);
  EXPECT_EQ(cursor->FirstFieldOffset, 1);
  EXPECT_EQ(cursor->BookmarkOffset, data);
  EXPECT_EQ(cursor->CompareSize, data + 7);
  EXPECT_EQ(cursor->CalculatedAreaOffset, data + 7);
  EXPECT_EQ(cursor->RecordBufferSize, data + 7);
  EXPECT_EQ(cursor->KeyBufferSize, data + 6);
  ASSERT_EQ(cursor->VisibleFieldCount(), 4);
  EXPECT_EQ(cursor->VisibleFieldDefs->GetFieldDef(kNote).SourceFieldNo, kNote);
}

TEST_F(LocalCursorTest, PostedInsertCarriesItsRecordIDTheInsertedFlagAndAutoincValue) {
  ASSERT_EQ(cursor->Insert("Wasstraat", 5), crOK);
  EXPECT_EQ(cursor->Bookmark(cursor->Buffer), cursor->RecordID);
  EXPECT_EQ(cursor->RecordFlag(cursor->Buffer), RecordPositionFlag::Inserted);
  EXPECT_EQ(cursor->Int(kSerial), 105);
  // The session's last value is kept by the disk engine.
  if (testing::kDiskTables) {
    EXPECT_EQ(cursor->LastAutoincValue(kSerial), 105);
  }
  EXPECT_EQ(cursor->GetRecordCount(), 5);
}

TEST_F(LocalCursorTest, EditPostCancelAndDeleteChangeTheTable) {
  ASSERT_TRUE(cursor->GoTo("Band"));
  ASSERT_EQ(cursor->Edit(), crOK);
  cursor->SetText(kName, "Banden");
  ASSERT_EQ(cursor->Post(), crOK);

  ASSERT_TRUE(cursor->GoTo("Olie"));
  ASSERT_EQ(cursor->Edit(), crOK);
  cursor->SetInt(kAmount, 999);
  cursor->CancelRecord(false);
  EXPECT_EQ(cursor->ResultCode, crOK);

  ASSERT_TRUE(cursor->GoTo("Apk"));
  ASSERT_EQ(cursor->Delete(), crOK);
  // The only record after it is gone, so the cursor stands on the one before.
  EXPECT_EQ(cursor->Text(kName), "Olie");

  TableCursor reader(*session, "Kosten");
  reader.Open();
  EXPECT_THAT(reader.Names(), ElementsAre("Diesel", "Banden", "Olie"));
  ASSERT_TRUE(reader.GoTo("Olie"));
  EXPECT_EQ(reader.Int(kAmount), 30);
}

TEST_F(LocalCursorTest, ChangesOfAnotherCursorAreRefusedWithTheirResultCodes) {
  TableCursor other(*session, "Kosten");
  other.Open();
  ASSERT_TRUE(cursor->GoTo("Band"));
  ASSERT_EQ(cursor->Edit(), crOK);
  ASSERT_TRUE(other.GoTo("Band"));
  ASSERT_EQ(other.Edit(), crOK);
  other.SetInt(kAmount, 21);
  ASSERT_EQ(other.Post(), crOK);

  // The stored record no longer is the one this cursor began to edit.
  cursor->SetInt(kAmount, 22);
  std::vector<uint8_t> before(cursor->Buffer, cursor->Buffer + cursor->CompareSize);
  EXPECT_EQ(cursor->Post(), crRecordChanged);
  EXPECT_EQ(std::vector<uint8_t>(cursor->Buffer, cursor->Buffer + cursor->CompareSize), before);

  // ... nor is it what this cursor's buffer holds, for a delete.
  EXPECT_EQ(cursor->Delete(), crDeleteRecordChanged);
  EXPECT_EQ(std::vector<uint8_t>(cursor->Buffer, cursor->Buffer + cursor->CompareSize), before);

  ASSERT_TRUE(other.GoTo("Band"));
  ASSERT_EQ(other.Delete(), crOK);
  EXPECT_EQ(cursor->Post(), crRecordMissing);
  EXPECT_EQ(cursor->Delete(), crDeleteRecordMissing);
  EXPECT_EQ(std::vector<uint8_t>(cursor->Buffer, cursor->Buffer + cursor->CompareSize), before);
  EXPECT_THAT(other.Names(), ElementsAre("Diesel", "Olie", "Apk"));
}

TEST_F(LocalCursorTest, AloneAnEditNeverRefusesButItsPostSeesTheChangedRecord) {
  TableCursor other(*session, "Kosten");
  other.Open();
  ASSERT_TRUE(cursor->GoTo("Olie"));
  ASSERT_TRUE(other.GoTo("Olie"));
  ASSERT_EQ(other.Edit(), crOK);
  other.SetInt(kAmount, 31);
  ASSERT_EQ(other.Post(), crOK);
  // Only a shared database looks at the stored record when an edit begins.
  ASSERT_EQ(cursor->Edit(), crOK);
  EXPECT_EQ(cursor->Int(kAmount), 30);
  cursor->SetInt(kAmount, 32);
  EXPECT_EQ(cursor->Post(), crRecordChanged);
  ASSERT_TRUE(other.GoTo("Olie"));
  EXPECT_EQ(other.Int(kAmount), 31);
}

TEST_F(LocalCursorTest, PostViolatingAConstraintAnswersItsMessageAndLeavesTheTable) {
  cursor->InitRecord(cursor->Buffer, true);
  cursor->SetInt(kAmount, 1);
  cursor->PostRecord(true);
  EXPECT_EQ(cursor->ResultCode, crCheckFailed);
  EXPECT_THAT(cursor->ResultMessage, HasSubstr("cannot be null"));
  EXPECT_THAT(cursor->ResultMessage, HasSubstr("30026"));
  EXPECT_FALSE(cursor->CheckConstraints(true));
  EXPECT_EQ(cursor->GetRecordCount(), 4);

  ASSERT_TRUE(cursor->GoTo("Diesel"));
  ASSERT_EQ(cursor->Edit(), crOK);
  cursor->SetNullValue(kName);
  EXPECT_EQ(cursor->Post(), crCheckFailed);
  cursor->CancelRecord(false);
  EXPECT_THAT(cursor->Names(), ElementsAre("Diesel", "Band", "Olie", "Apk"));
}

TEST_F(LocalCursorTest, BookmarksCompareByIndexKeyThenByRecordID) {
  ASSERT_EQ(cursor->Insert("Band", 50), crOK);
  std::vector<std::vector<uint8_t>> marks;
  cursor->First();
  while (cursor->Next()) {
    const uint8_t* id = cursor->Buffer + cursor->BookmarkOffset;
    cursor->SetBookmark(cursor->Buffer, cursor->RecordID);
    marks.emplace_back(id, id + 6);
  }
  ASSERT_EQ(marks.size(), 5u);
  // Physical order: Diesel, Band, Olie, Apk, Band(50).
  EXPECT_EQ(cursor->CompareBookmarks(marks[0].data(), marks[1].data()), -1);
  EXPECT_EQ(cursor->CompareBookmarks(marks[3].data(), marks[2].data()), 1);
  EXPECT_EQ(cursor->CompareBookmarks(marks[2].data(), marks[2].data()), 0);
  cursor->SetCurrentIndexName("ByName");
  EXPECT_EQ(cursor->CompareBookmarks(marks[0].data(), marks[1].data()), 1);  // Diesel > Band
  EXPECT_EQ(cursor->CompareBookmarks(marks[3].data(), marks[0].data()), -1);
  // Equal keys: the record IDs decide.
  EXPECT_EQ(cursor->CompareBookmarks(marks[1].data(), marks[4].data()), -1);
  EXPECT_EQ(cursor->CompareBookmarks(marks[4].data(), marks[1].data()), 1);
}

TEST_F(LocalCursorTest, RangesAndKeySearchFollowTheCurrentIndex) {
  cursor->SetCurrentIndexName("ByName");
  RecordBuffer low = cursor->AllocKeyBuffer();
  RecordBuffer high = cursor->AllocKeyBuffer();
  cursor->InitKeyBuffer(low.get());
  cursor->InitKeyBuffer(high.get());
  const char band[21] = "Band";
  const char olie[21] = "Olie";
  SetFieldData(kName, *cursor->TableFieldDefs, band, low.get());
  SetFieldData(kName, *cursor->TableFieldDefs, olie, high.get());
  cursor->SetRange(low.get(), high.get(), false, true, 1, 1);
  EXPECT_THAT(cursor->Names(), ElementsAre("Band", "Diesel"));
  EXPECT_EQ(cursor->GetRecordCount(), 2);
  cursor->ClearRange();
  EXPECT_EQ(cursor->GetRecordCount(), 4);

  RecordBuffer key = cursor->AllocKeyBuffer();
  cursor->InitKeyBuffer(key.get());
  const char di[21] = "Di";
  SetFieldData(kName, *cursor->TableFieldDefs, di, key.get());
  cursor->KeyBuffer = key.get();
  EXPECT_TRUE(cursor->FindKey(5));  // the first key >= "Di"
  EXPECT_EQ(cursor->Text(kName), "Diesel");
  EXPECT_FALSE(cursor->FindKey(1));
}

TEST_F(LocalCursorTest, FiltersAndLocateGoThroughTheExpressions) {
  cursor->SetFilter("Amount >= 20 AND Name <> 'Apk'", false, true);
  EXPECT_THAT(cursor->Names(), ElementsAre("Band", "Olie"));
  EXPECT_EQ(cursor->GetRecordCount(), 2);
  // A bad text keeps the filter that was set.
  EXPECT_NE(testing::QdxErrorCode([&] { cursor->SetFilter("Amount >=", false, true); }), 0);
  EXPECT_EQ(cursor->GetRecordCount(), 2);
  cursor->SetFilter("name = 'o*'", true, true);
  EXPECT_THAT(cursor->Names(), ElementsAre("Olie"));
  cursor->ClearFilter();
  EXPECT_EQ(cursor->GetRecordCount(), 4);

  TQDXVariant values[2];
  values[0].SetAsString("band");
  values[1].SetAsInteger(20);
  EXPECT_TRUE(cursor->Locate(" name ; AMOUNT", values, true, false));
  EXPECT_EQ(cursor->Text(kName), "Band");
  values[1].SetAsInteger(21);
  EXPECT_FALSE(cursor->Locate("Name;Amount", values, true, false));
  EXPECT_EQ(cursor->Text(kName), "Band");
  TQDXVariant prefix;
  prefix.SetAsString("Ol");
  EXPECT_TRUE(cursor->LocateValue("Name", prefix, false, true));
  EXPECT_EQ(cursor->Text(kName), "Olie");
  EXPECT_QDX_ERROR(cursor->Locate("Name", values, false, false), msg::kLocateCountMismatch,
                   "(1) not equal counts of KeyValues (2)");
}

TEST_F(LocalCursorTest, FieldNumbersBeyondTheVisibleFieldsAreRefused) {
  TQDXVariant value;
  int32_t number = 0;
  struct Case {
    std::function<void()> action;
    const msg::Message& code;
  };
  const Case cases[] = {
      {[&] { cursor->GetFieldData(4, &number); }, msg::kCursorGetFieldDataNumber},
      {[&] { cursor->SetFieldData(-1, &number); }, msg::kCursorSetFieldDataNumber},
      {[&] { cursor->GetFieldValue(7, value); }, msg::kCursorGetFieldValueNumber},
      {[&] { cursor->SetFieldValue(4, value); }, msg::kCursorSetFieldValueNumber},
      {[&] { cursor->OpenBlob(false, false, true, bmRead, 4); }, msg::kOpenBlobFieldNumber},
      {[&] { cursor->CloseBlob(4); }, msg::kCloseBlobFieldNumber},
      {[&] { cursor->CopyFieldValue(9, true, *cursor, 0); }, msg::kCopyFieldSourceNumber},
      {[&] { cursor->CopyFieldValue(0, false, *cursor, 4); }, msg::kCopyFieldTargetNumber},
  };
  for (const Case& c : cases) {
    EXPECT_QDX_ERROR(c.action(), c.code, "Invalid field number - FieldNo = ");
  }
}

TEST_F(LocalCursorTest, CopyFieldValueCopiesConvertsAndCopiesNull) {
  TQDXFieldDefs fields;
  fields.AddField("Label", TQDXFieldType::String, 20);
  fields.AddField("Total", TQDXFieldType::Float);
  fields.AddField("Count", TQDXFieldType::Integer);
  TQDXLocalCursor creator(*session);
  creator.TableName = "Doel";
  creator.CreateTable(fields, TQDXIndexDefs(), TQDXConstraintDefs());
  TableCursor target(*session, "Doel");
  target.Open();
  target.InitRecord(target.Buffer, false);

  ASSERT_TRUE(cursor->GoTo("Olie"));
  cursor->CopyFieldValue(kName, false, target, 0);      // same type and size: the bytes
  cursor->CopyFieldValue(kAmount, true, target, 1);     // INTEGER into FLOAT: converted
  cursor->CopyFieldValue(kAmount, false, target, 2);
  EXPECT_EQ(target.Text(0), "Olie");
  TQDXVariant total;
  target.GetFieldValue(1, total);
  EXPECT_DOUBLE_EQ(total.AsFloat(), 30.0);
  cursor->SetNullValue(kAmount);
  cursor->CopyFieldValue(kAmount, false, target, 2);
  EXPECT_EQ(target.Int(2), -1);  // NULL
}

TEST_F(LocalCursorTest, InitRecordAppliesDefaultsUnlessTheTableIsTemporary) {
  TQDXFieldDefs fields;
  TQDXFieldDef& kind = fields.AddField("Soort", TQDXFieldType::String, 10);
  TQDXVariant text;
  text.SetAsString("Brandstof");
  kind.SetDefaultValue(text);
  TQDXLocalCursor creator(*session);
  creator.TableName = "Soorten";
  creator.CreateTable(fields, TQDXIndexDefs(), TQDXConstraintDefs());
  TableCursor soorten(*session, "Soorten");
  soorten.Open();
  soorten.InitRecord(soorten.Buffer, true);
  EXPECT_EQ(soorten.Text(0), "Brandstof");
  soorten.InitRecord(soorten.Buffer, false);
  EXPECT_EQ(soorten.Text(0), "<null>");
  soorten.Temporary = true;
  soorten.InitRecord(soorten.Buffer, true);
  EXPECT_EQ(soorten.Text(0), "<null>");
}

// ---- Table and index maintenance --------------------------------------------------------------

TEST_F(LocalCursorTest, RenameTableRefusesItselfAndTakenNamesButNotACaseChange) {
  cursor.reset();
  CreateKosten(*session, "Andere");
  TQDXLocalCursor renamer(*session);
  renamer.TableName = "Kosten";
  EXPECT_QDX_ERROR(renamer.RenameTable("Kosten"), msg::kCannotRenameTableIntoItself,
                   "Cannot rename table 'Kosten' into itself");
  EXPECT_QDX_ERROR(renamer.RenameTable("ANDERE"), msg::kTableAlreadyExists,
                   "Table ANDERE already exists");
  renamer.RenameTable("KOSTEN");
  EXPECT_EQ(renamer.TableName, "KOSTEN");
  renamer.RenameTable("Uitgaven");
  EXPECT_FALSE(session->TableExists("Kosten"));
  EXPECT_TRUE(session->TableExists("uitgaven"));
  TableCursor moved(*session, "Uitgaven");
  moved.Open();
  EXPECT_EQ(moved.GetRecordCount(), 4);
  renamer.TableName = "Kosten";
  EXPECT_QDX_ERROR(renamer.RenameTable("X"), msg::kRenameTableMissing,
                   "Table 'Kosten' not found");
}

TEST_F(LocalCursorTest, CreateTableReplacesAnExistingTableAndDeleteRefusesWhileOpen) {
  TQDXLocalCursor maintainer(*session);
  maintainer.TableName = "Kosten";
  EXPECT_QDX_ERROR(maintainer.DeleteTable(), 20017, "Table is open by another dataset");
  cursor.reset();
  CreateKosten(*session);
  TableCursor fresh(*session, "Kosten");
  fresh.Open();
  EXPECT_EQ(fresh.GetRecordCount(), 0);
  fresh.CloseTable();
  maintainer.DeleteTable();
  EXPECT_FALSE(session->TableExists("Kosten"));
  EXPECT_QDX_ERROR(maintainer.DeleteTable(), msg::kDeleteTableMissing, "Table 'Kosten' not found");
  EXPECT_QDX_ERROR(maintainer.EmptyTable(), msg::kEmptyTableMissing, "Table 'Kosten' not found");
}

TEST_F(LocalCursorTest, EmptyTableRemovesTheRecordsAndRestartsAutoinc) {
  cursor.reset();
  TQDXLocalCursor maintainer(*session);
  maintainer.TableName = "kosten";
  maintainer.EmptyTable();
  EXPECT_FALSE(maintainer.IsOpen());
  TableCursor reopened(*session, "Kosten");
  reopened.Open();
  EXPECT_EQ(reopened.GetRecordCount(), 0);
  ASSERT_EQ(reopened.Insert("Eerste", 1), crOK);
  EXPECT_EQ(reopened.Int(kSerial), 101);
}

TEST_F(LocalCursorTest, IndexesAreAddedAndDeletedByName) {
  TQDXIndexDef byBoth;
  byBoth.SetName("ByBoth");
  byBoth.SetColumnsFromLists({"Amount", "Name"}, {"ASC", "ASC"}, {"", ""});
  EXPECT_QDX_ERROR(cursor->AddIndex(*cursor->IndexDefs->FindIndex("ByName")),
                   msg::kIndexAlreadyExists, "Cannot create index 'ByName'. Index already exists");
  cursor->AddIndex(byBoth);
  EXPECT_NE(cursor->GetIndexDefs().FindIndex("ByBoth"), nullptr);
  cursor->SetCurrentIndexName("ByBoth");
  EXPECT_THAT(cursor->Names(), ElementsAre("Diesel", "Band", "Olie", "Apk"));
  cursor->DeleteIndex("ByBoth");
  EXPECT_EQ(cursor->CurrentIndexID, -1);
  EXPECT_QDX_ERROR(cursor->DeleteIndex("ByBoth"), msg::kCannotDeleteMissingIndex,
                   "Cannot delete index 'ByBoth'. Index not found");
  cursor->DeleteAllIndexes();
  EXPECT_EQ(cursor->GetIndexDefs().Count(), 0);
}

TEST_F(LocalCursorTest, PositionsAreSavedAndRestored) {
  ASSERT_TRUE(cursor->GoTo("Band"));
  const CursorPosition position = cursor->SavePosition();
  cursor->Last();
  cursor->RestorePosition(position);
  ASSERT_TRUE(cursor->Next());
  EXPECT_EQ(cursor->Text(kName), "Olie");
  cursor->SetRecNo(4);
  EXPECT_EQ(cursor->Text(kName), "Apk");
  EXPECT_EQ(cursor->GetRecNo(), 4);
}

}  // namespace
}  // namespace qdx
