#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/disk/active_sessions_file.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/internal_direct_file.h"
#include "engine/disk/internal_transacted_file.h"
#include "engine/disk/system_directory.h"
#include "engine/disk/table_list_file.h"
#include "engine/foundation/little_endian.h"
#include "tests/disk/disk_test_support.h"

namespace qdx {
namespace {

using testing::TempDirTest;
using testing::THeldDiskPageManager;

// A database file with its system directory (page 2) and nothing else, open in `pm`.
class InternalFilesTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    pm.SetLockRetry(3, 1);
    pm.CreateDatabaseFile(path, {});
    TQDXSystemDirectory directory(pm);
    directory.Create();
    directory.Save();
    pm.ApplyChanges(kSystemSessionID);
  }

  std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
  }

  int32_t NextOf(int32_t pageNo) {
    TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, pageNo, true, kAnyPageType);
    return page->NextPageNo();
  }

  THeldDiskPageManager pm;
};

TEST_F(InternalFilesTest, TransactedFileGrowsAndShrinksItsChain) {
  TQDXInternalDBTransactedAccessFile file(pm, ptTableMostUpdated);
  file.Create(0);
  const std::vector<uint8_t> big = Pattern(5000);
  file.WriteFile(0, big.data(), 0, 0, 5000);
  pm.ApplyChanges(0);
  const int32_t second = NextOf(file.StartPageNo());
  ASSERT_NE(second, -1);  // 5010 bytes of chain data: two pages
  EXPECT_EQ(NextOf(second), -1);

  TQDXInternalDBTransactedAccessFile reader(pm, ptTableMostUpdated);
  reader.Open(file.StartPageNo());
  std::vector<uint8_t> back(5000);
  reader.ReadFile(0, back.data(), true, 5000);
  EXPECT_EQ(back, big);
  EXPECT_EQ(reader.GetSize(0), 5000);

  // Writing 100 bytes ends the chain at the first page and frees the second one.
  const int32_t lastUsedBefore = pm.Header().LastUsedPageNo;
  file.WriteFile(0, big.data(), 0, 0, 100);
  pm.ApplyChanges(0);
  EXPECT_EQ(NextOf(file.StartPageNo()), -1);
  EXPECT_LT(pm.Header().LastUsedPageNo, lastUsedBefore);
  {
    TQDXPageHandle reused = TQDXPageHandle::Add(pm, 0, ptTableRecord);
    EXPECT_EQ(reused->PageNo, second);  // the freed page is handed out again
  }
  pm.CancelChanges(0);
  std::vector<uint8_t> small(100);
  reader.ReadFile(0, small.data(), true, 100);
  EXPECT_TRUE(std::equal(small.begin(), small.end(), big.begin()));
}

TEST_F(InternalFilesTest, TransactedFileReadErrors) {
  TQDXInternalDBTransactedAccessFile file(pm, ptTableMostUpdated);
  std::vector<uint8_t> buffer(100);
  EXPECT_QDX_ERROR(file.ReadFile(0, buffer.data(), true, 1), 30389, "(ReadFile)");
  EXPECT_QDX_ERROR(file.GetSize(0), 30389, "(GetSize)");
  EXPECT_QDX_ERROR(file.Reset(0), 20301, "Invalid page number");
  file.Create(0);
  EXPECT_QDX_ERROR(file.Create(0), 30383, "StartPageNo=");
  file.WriteFile(0, Pattern(50).data(), 0, 0, 50);
  EXPECT_QDX_ERROR(file.ReadFile(0, buffer.data(), true, 100), 30387,
                   "Cannot Read internal file. FileSize=50. ReadSize=100");

  // A header that claims more than the chain holds.
  {
    TQDXPageHandle first = TQDXPageHandle::Get(pm, 0, file.StartPageNo(), true, kAnyPageType);
    TQDXTransactedFileHeader{1 << 30, 1 << 30, 0}.Encode({first->Data(), 10});
    first->Dirty = true;
  }
  int32_t size = 0;
  EXPECT_QDX_ERROR(file.ReadAll(0, true, size), 30388, "Arguments are invalid!");
  pm.CancelChanges(0);
}

TEST_F(InternalFilesTest, CompressedContentRoundTripsAndDamageIsReported) {
  TQDXInternalDBTransactedAccessFile file(pm, ptTableMetaData);
  file.Create(0);
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "Brandstofkosten ";
  file.WriteFile(0, text.data(), 1, 1, static_cast<int32_t>(text.size()));
  const TQDXInternalDBTransactedAccessFile::Info info = file.GetInfo(0, true);
  EXPECT_EQ(info.Compression, 1);
  EXPECT_EQ(info.UncompressedSize, static_cast<int32_t>(text.size()));
  EXPECT_LT(info.StoredSize, 1000);
  std::string back(text.size(), '\0');
  file.ReadFile(0, back.data(), true, static_cast<int32_t>(back.size()));
  EXPECT_EQ(back, text);

  {
    TQDXPageHandle first = TQDXPageHandle::Get(pm, 0, file.StartPageNo(), true, kAnyPageType);
    first->Data()[12] ^= 0xFF;  // inside the zlib stream
    first->Dirty = true;
  }
  EXPECT_QDX_ERROR(file.ReadFile(0, back.data(), true, 10), 20189, "decompression error");
  pm.CancelChanges(0);
}

TEST_F(InternalFilesTest, ChainThatLoopsIsAnErrorNotAHang) {
  TQDXInternalDBTransactedAccessFile file(pm, ptTableMostUpdated);
  file.Create(0);
  file.WriteFile(0, Pattern(9000).data(), 0, 0, 9000);
  {
    TQDXPageHandle first = TQDXPageHandle::Get(pm, 0, file.StartPageNo(), true, kAnyPageType);
    TQDXTransactedFileHeader{1 << 30, 1 << 30, 0}.Encode({first->Data(), 10});
    TQDXPageHandle last =
        TQDXPageHandle::Get(pm, 0, NextOf(NextOf(file.StartPageNo())), true, kAnyPageType);
    last->SetNextPageNo(file.StartPageNo());
    first->Dirty = last->Dirty = true;
  }
  int32_t size = 0;
  EXPECT_QDX_ERROR(file.ReadAll(0, true, size), 20300, "3-th table file page");
  pm.CancelChanges(0);
}

TEST_F(InternalFilesTest, DirectFilePositionsCrossPages) {
  TQDXInternalDBDirectAccessFile file(pm, ptTableLocks);
  file.Create(5000);
  pm.ApplyChanges(kSystemSessionID);
  ASSERT_EQ(file.Pages().size(), 2u);

  TQDXInternalDBDirectAccessFile opened(pm, ptTableLocks);
  opened.Open(file.StartPageNo());
  EXPECT_EQ(opened.GetSize(), 5000);
  EXPECT_EQ(opened.UsableSize(), 5000);
  const std::vector<uint8_t> bytes = {1, 2, 3, 4};
  opened.DirectWriteBuffer(bytes.data(), 4, 4044);  // 4044, 4045 | 4046, 4047
  std::vector<uint8_t> page0(2), page1(2);
  pm.ReadPagePart(page0.data(), opened.Pages()[0], 2, 4094);
  pm.ReadPagePart(page1.data(), opened.Pages()[1], 2, 40);
  EXPECT_EQ(page0, (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(page1, (std::vector<uint8_t>{3, 4}));
  std::vector<uint8_t> back(4);
  opened.DirectReadBuffer(back.data(), 4, 4044);
  EXPECT_EQ(back, bytes);

  EXPECT_QDX_ERROR(opened.DirectWriteBuffer(bytes.data(), 4, 4998), 20158,
                   "FileSize=5000. Position=4998, Count=4");
  EXPECT_QDX_ERROR(opened.LockByte(5001), 20159, "FileSize=5000. Position=5001");
  EXPECT_QDX_ERROR(TQDXInternalDBDirectAccessFile(pm, ptTableLocks).LockFile(), 20156,
                   "(LockFile)");

  // Byte locks are seen by another handle of the file; a region test spans both pages.
  THeldDiskPageManager other;
  other.SetLockRetry(3, 1);
  bool multiUser = true, repair = false, readOnly = false;
  other.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
  TQDXInternalDBDirectAccessFile seen(other, ptTableLocks);
  seen.Open(file.StartPageNo());
  ASSERT_TRUE(opened.LockByte(4046));
  EXPECT_TRUE(seen.IsByteLocked(4046));
  EXPECT_FALSE(seen.IsByteLocked(4045));
  EXPECT_TRUE(seen.IsRegionLocked(4000, 100));
  EXPECT_FALSE(seen.IsRegionLocked(4000, 46));
  EXPECT_FALSE(seen.IsRegionLocked(4046, 0));
  EXPECT_FALSE(seen.LockByte(4046));
  // A region refused on its second page gives back the part it took on the first.
  EXPECT_FALSE(seen.LockRegion(4000, 100));
  EXPECT_FALSE(opened.IsRegionLocked(4000, 46));
  EXPECT_TRUE(opened.UnlockByte(4046));
  EXPECT_TRUE(seen.LockByte(4046));
  EXPECT_TRUE(seen.UnlockByte(4046));
}

TEST_F(InternalFilesTest, OnePageDirectFileUsesTheWholePageAndChecksTypes) {
  TQDXInternalDBDirectAccessFile file(pm, ptActiveSessionList);
  file.Create(500);
  pm.ApplyChanges(kSystemSessionID);
  TQDXInternalDBDirectAccessFile opened(pm, ptActiveSessionList);
  opened.Open(file.StartPageNo());
  EXPECT_EQ(opened.UsableSize(), 4046);
  EXPECT_EQ(opened.GetSize(), 500);

  TQDXInternalDBDirectAccessFile wrongType(pm, ptTableLocks);
  EXPECT_QDX_ERROR(wrongType.Open(file.StartPageNo()), 20155,
                   "Invalid PageType found: 5 but expecting: 7");
  EXPECT_FALSE(wrongType.IsOpen());
}

TEST_F(InternalFilesTest, SystemDirectoryMustStartAtPageTwo) {
  TQDXSystemDirectory directory(pm);
  directory.Load();
  EXPECT_TRUE(directory.Entries().empty());
  directory.AddEntry(kSessionsFileKind, 3);
  directory.AddEntry(kTableListFileKind, 4);
  directory.AddEntry(kTableListFileKind, 9);
  directory.Save();
  pm.ApplyChanges(kSystemSessionID);
  TQDXSystemDirectory loaded(pm);
  loaded.Load();
  EXPECT_EQ(loaded.FindEntry(kTableListFileKind), 4);  // the first match
  EXPECT_EQ(loaded.FindEntry(kSessionsFileKind), 3);
  EXPECT_EQ(loaded.FindEntry(7), -1);

  // Page 2 is taken: a second directory would start elsewhere.
  TQDXSystemDirectory second(pm);
  EXPECT_QDX_ERROR(second.Create(), 30392, "SystemDirectoryPageNo=3. Real PageNo=2.");
  pm.CancelChanges(kSystemSessionID);
}

TEST_F(InternalFilesTest, TableListEntries) {
  TQDXTableListFile list(pm);
  const int32_t start = list.Create();
  EXPECT_FALSE(list.IsOpen());
  list.Open(start);
  list.Load();
  list.AddTable(7, "Brandstofkosten", 10, 11, 12);
  list.AddTable(8, "Autogegevens", 20, 21, 22);
  list.AddTable(9, "Derde", 30, 31, 32);
  EXPECT_QDX_ERROR(list.AddTable(10, "AUTOGEGEVENS", 0, 0, 0), 30395,
                   "Table 'AUTOGEGEVENS' already exists");
  list.Save();
  pm.ApplyChanges(kSystemSessionID);

  TQDXTableListFile loaded(pm);
  loaded.Open(start);
  loaded.Load();
  const TQDXTableListFile::TableInfo info = loaded.FindTable("brandstofkosten");
  EXPECT_EQ(info.TableID, 7);
  EXPECT_EQ(info.LocksStartPage, 10);
  EXPECT_EQ(info.MostUpdatedStartPage, 11);
  EXPECT_EQ(info.MetadataStartPage, 12);
  TQDXInternalDBTransactedAccessFile raw(pm, ptTableList);
  raw.Open(start);
  EXPECT_EQ(raw.GetSize(0), 816);

  loaded.DeleteTable("autogegevens");
  loaded.RenameTable("derde", "Tweede");
  EXPECT_QDX_ERROR(loaded.FindTable("Autogegevens"), 30396, "Table 'Autogegevens' not exists.");
  EXPECT_QDX_ERROR(loaded.DeleteTable("x"), 30405, "Table 'x' not exists.");
  EXPECT_QDX_ERROR(loaded.RenameTable("x", "y"), 30397, "Table 'x' not exists.");
  loaded.Save();
  std::vector<std::string> names = {"stale"};
  loaded.GetTableNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Brandstofkosten", "Tweede"}));
  EXPECT_EQ(loaded.FindTable("TWEEDE").TableID, 9);
  pm.ApplyChanges(kSystemSessionID);

  const std::string longName(300, 'n');
  loaded.AddTable(11, longName, 0, 0, 0);
  EXPECT_TRUE(loaded.TableExists(std::string(255, 'N')));
  loaded.Save();
  loaded.Load();
  EXPECT_EQ(loaded.Entries().back().TableName.size(), 255u);
  pm.ApplyChanges(kSystemSessionID);
}

}  // namespace
}  // namespace qdx
