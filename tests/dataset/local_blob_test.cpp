// BLOB streams of the local cursor: the stream's read mode, one writable stream per field, and
// memo values written, posted, read back, cancelled and rolled back through the cursor.
#include "dataset/local_engine/local_blob_stream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/foundation/memory_stream.h"
#include "tests/dataset/local_engine_support.h"

namespace qdx {
namespace {

using testing::kName;
using testing::kNote;
using testing::LocalEngineTest;
using testing::TableCursor;

// Whether the tables store BLOB values in the database file.
constexpr bool kDiskBlobs = false;

TEST(LocalBlobStreamTest, ReadModeRefusesWritesAndTheWritableModesMarkChanges) {
  TQDXLocalSession session;
  TQDXLocalCursor cursor(session);
  const char text[] = "Kenteken";
  for (int32_t mode : {bmWrite, bmRead, bmReadWrite}) {
    auto memory = std::make_unique<TQDXMemoryStream>();
    memory->Write(text, 8);
    memory->SetPosition(0);
    TQDXLocalBLOBStream stream(std::move(memory), 2, mode, cursor);
    EXPECT_FALSE(stream.Modified);
    char read[8] = {};
    EXPECT_EQ(stream.Read(read, 8), 8);
    EXPECT_EQ(std::string(read, 8), "Kenteken");
    if (mode == bmRead) {
      EXPECT_QDX_ERROR(stream.Write(text, 1), msg::kWriteReadOnlyBlobStream,
                       "Cannot write to read only stream");
      EXPECT_QDX_ERROR(stream.SetSize(0), msg::kResizeReadOnlyBlobStream,
                       "Cannot write to read only stream");
      EXPECT_FALSE(stream.Modified);
      continue;
    }
    EXPECT_EQ(stream.Write(text, 0), 0);
    EXPECT_FALSE(stream.Modified);
    stream.SetSize(3);
    EXPECT_TRUE(stream.Modified);
    EXPECT_EQ(stream.Size(), 3);
  }
}

class LocalBlobTest : public LocalEngineTest {
 protected:
  void SetUp() override {
    LocalEngineTest::SetUp();
    if (!kDiskBlobs) GTEST_SKIP() << "needs BLOB values in the database file";
    session = Connect();
    CreateKosten(*session);
    cursor = std::make_unique<TableCursor>(*session, "Kosten");
    cursor->Open();
    Fill(*cursor, {"Diesel", "Band"});
  }
  void TearDown() override {
    cursor.reset();
    session.reset();
    LocalEngineTest::TearDown();
  }

  void WriteNote(const std::string& text) {
    TQDXLocalBLOBStream* stream = cursor->OpenBlob(false, true, false, bmWrite, kNote);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Write(text.data(), static_cast<int32_t>(text.size())),
              static_cast<int32_t>(text.size()));
    cursor->CloseBlob(kNote);
  }
  std::string ReadNote() {
    TQDXLocalBLOBStream* stream = cursor->OpenBlob(false, false, true, bmRead, kNote);
    if (stream == nullptr) return "<no stream>";
    std::string text(static_cast<size_t>(stream->Size()), '\0');
    stream->Read(text.data(), stream->Size());
    cursor->CloseBlob(kNote);
    return text;
  }

  std::unique_ptr<TQDXLocalSession> session;
  std::unique_ptr<TableCursor> cursor;
};

TEST_F(LocalBlobTest, AMemoWrittenThroughTheCursorIsPostedAndReadBack) {
  ASSERT_TRUE(cursor->GoTo("Band"));
  ASSERT_EQ(cursor->Edit(), crOK);
  const std::string note(10000, 'x');
  WriteNote(note);
  ASSERT_EQ(cursor->Post(), crOK);
  TableCursor reader(*session, "Kosten");
  reader.Open();
  ASSERT_TRUE(reader.GoTo("Band"));
  TQDXLocalBLOBStream* stream = reader.OpenBlob(false, false, true, bmRead, kNote);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Size(), 10000);
  reader.CloseBlob(kNote);
  ASSERT_TRUE(cursor->GoTo("Band"));
  EXPECT_EQ(ReadNote(), note);
}

TEST_F(LocalBlobTest, OneWritableStreamPerFieldAndReadersBesideIt) {
  ASSERT_TRUE(cursor->GoTo("Diesel"));
  ASSERT_EQ(cursor->Edit(), crOK);
  ASSERT_NE(cursor->OpenBlob(false, true, false, bmReadWrite, kNote), nullptr);
  EXPECT_QDX_ERROR(cursor->OpenBlob(false, true, false, bmWrite, kNote),
                   msg::kBlobFieldAlreadyOpened,
                   "BLOB field already opened. FieldNo = 3, FieldName = Note");
  EXPECT_NE(cursor->OpenBlob(false, true, false, bmRead, kNote), nullptr);
  cursor->CloseBlob(kNote);
  EXPECT_NE(cursor->OpenBlob(false, true, false, bmWrite, kNote), nullptr);
  cursor->CancelRecord(false);
}

TEST_F(LocalBlobTest, ACancelledEditDropsTheWrittenValue) {
  ASSERT_TRUE(cursor->GoTo("Diesel"));
  ASSERT_EQ(cursor->Edit(), crOK);
  WriteNote("Eerste");
  ASSERT_EQ(cursor->Post(), crOK);
  ASSERT_EQ(cursor->Edit(), crOK);
  WriteNote("Tweede");
  cursor->CancelRecord(false);
  ASSERT_TRUE(cursor->GoTo("Diesel"));
  EXPECT_EQ(ReadNote(), "Eerste");
}

TEST_F(LocalBlobTest, RollbackRestoresTheValue) {
  ASSERT_TRUE(cursor->GoTo("Diesel"));
  ASSERT_EQ(cursor->Edit(), crOK);
  WriteNote("Voor");
  ASSERT_EQ(cursor->Post(), crOK);
  session->StartTransaction();
  ASSERT_TRUE(cursor->GoTo("Diesel"));
  ASSERT_EQ(cursor->Edit(), crOK);
  WriteNote(std::string(6000, 'n'));
  ASSERT_EQ(cursor->Post(), crOK);
  session->Rollback();
  ASSERT_TRUE(cursor->GoTo("Diesel"));
  EXPECT_EQ(ReadNote(), "Voor");
  EXPECT_EQ(cursor->Text(kName), "Diesel");
}

}  // namespace
}  // namespace qdx
