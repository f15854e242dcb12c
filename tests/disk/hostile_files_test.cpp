// Files an attacker or an accident puts where a database is expected: pages too small for the
// layouts they must hold, paths that are no regular file, files without a signature, and large
// sparse files. Each is refused with its own message, promptly and without reading out of
// bounds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/page_index.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/little_endian.h"
#include "tests/disk/disk_test_support.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;
using testing::TempDirTest;

class HostileFilesTest : public TempDirTest {
 protected:
  void CreateDatabase(uint16_t pageSize = kDefaultPageSize) {
    TQDXDiskDatabaseData data(path);
    data.PageSize = pageSize;
    data.MaxConnections = 20;
    data.CreateDatabase();
  }

  void Open(TQDXDiskPageManager& pm, const std::string& fileName) {
    pm.SetLockRetry(3, 1);
    bool multiUser = false, repair = false, readOnly = true;
    pm.OpenDatabaseFile(fileName, {}, multiUser, /*exclusive=*/false, repair, readOnly);
  }
  void Open(TQDXDiskPageManager& pm) { Open(pm, path); }
};

TEST_F(HostileFilesTest, PagesBelowTheMinimumAreRefusedOnCreateAndOnOpen) {
  static_assert(kMinPageSize == 82);
  for (uint16_t pageSize : {0, 40, 41, 45, 46, 49, 50, 81}) {
    SCOPED_TRACE(pageSize);
    // Nothing is written: no file appears, and one that was there stays as it was.
    std::filesystem::remove(path);
    EXPECT_QDX_ERROR(CreateDatabase(pageSize), 30470,
                     "Invalid page size " + std::to_string(pageSize) +
                         ". A database page must have at least 82 bytes");
    EXPECT_FALSE(std::filesystem::exists(path));
    WriteAll({1, 2, 3});
    testing::THeldDiskPageManager creator;
    EXPECT_QDX_ERROR(creator.CreateDatabaseFile(path, {}, 8, pageSize), 30470, "at least 82");
    EXPECT_EQ(ReadAll(), (std::vector<uint8_t>{1, 2, 3}));
  }
  for (uint16_t pageSize : {41, 45, 49, 50, 81}) {
    SCOPED_TRACE(pageSize);
    CreateDatabase();
    Patch(26, {static_cast<uint8_t>(pageSize), 0});
    testing::THeldDiskPageManager pm;
    EXPECT_QDX_ERROR(Open(pm), 30470, "Invalid page size " + std::to_string(pageSize));
    EXPECT_FALSE(pm.IsOpen());
  }
  // The smallest page holds a whole database, and the page index every table has grows and
  // shrinks in it through splits and merges.
  std::filesystem::remove(path);
  CreateDatabase(kMinPageSize);
  {
    TQDXBaseSession session;
    TQDXDiskDatabaseData data(path);
    data.AddSession(session);
    EXPECT_EQ(data.PageSize, kMinPageSize);
    EXPECT_EQ(data.MaxConnections, 20);
    data.RemoveSession(session);
  }
  testing::THeldDiskPageManager pm;
  pm.SetLockRetry(3, 1);
  bool multiUser = false, repair = false, readOnly = false;
  pm.OpenDatabaseFile(path, {}, multiUser, /*exclusive=*/false, repair, readOnly);
  TQDXBTreeRecordPageIndex index(pm, 10);
  index.CreateRoot(kSystemSessionID);
  for (int32_t pageNo = 1000; pageNo < 1200; ++pageNo) index.AddToPage(kSystemSessionID, pageNo, 1);
  TQDXKeyPath at;
  ASSERT_TRUE(index.FindPage(kSystemSessionID, 1123, at));
  EXPECT_EQ(index.GetValue(kSystemSessionID, at), 1);
  for (int32_t pageNo = 1000; pageNo < 1200; ++pageNo) {
    index.RemoveFromPage(kSystemSessionID, pageNo, -1, 1);
  }
  EXPECT_FALSE(index.GoFirst(kSystemSessionID, at));
  pm.ApplyChanges(kSystemSessionID);
}

TEST_F(HostileFilesTest, PathsThatAreNoRegularFileAreRefusedBeforeOpening) {
  const std::string fifo = (dir_ / "pipe.qdx").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    const char* kind;
  };
  // Opening the pipe for reading would wait for a writer for ever.
  for (const Case& c : std::vector<Case>{{fifo, "a named pipe"},
                                         {dir_.string(), "a directory"},
                                         {"/dev/null", "a character device"}}) {
    testing::THeldDiskPageManager pm;
    EXPECT_QDX_ERROR(Open(pm, c.path), 30471,
                     "Cannot open database file '" + c.path + "': it is " + c.kind +
                         ", not a regular file");
    EXPECT_FALSE(pm.IsOpen());
  }
  // A missing file is the system's answer, as before.
  testing::THeldDiskPageManager pm;
  EXPECT_QDX_ERROR(Open(pm, (dir_ / "missing.qdx").string()), 30364, "missing.qdx");
}

TEST_F(HostileFilesTest, TheSignatureFoundIsShownReadably) {
  struct Case {
    const char* name;
    std::vector<uint8_t> content;
    std::string message;
    int32_t code = 10470;
  };
  const std::string expected = "', expected: 'QUENDRIXDATABASE'";
  std::string zeros;
  for (int i = 0; i < 16; ++i) zeros += "\\x00";
  const std::vector<Case> cases = {
      {"empty", {}, "Invalid file format. The file is empty - Native error: 30485", 30485},
      {"zeros", std::vector<uint8_t>(200, 0), "Found signature: '" + zeros + expected},
      {"short", {'Q', 'U'}, "Found signature: 'QU" + expected},
      {"control bytes",
       {'A', 0x1B, '[', '2', 'J', 0x00, 0x7F, 0xC3, 0xA9, 'Z', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
       "Found signature: 'A\\x1B[2J\\x00\\x7F\\xC3\\xA9Z\\x01\\x02\\x03\\x04\\x05\\x06" +
           expected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteAll(c.content);
    testing::THeldDiskPageManager pm;
    try {
      Open(pm);
      ADD_FAILURE() << "opened";
    } catch (const EQDXException& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
      EXPECT_THAT(e.Message(), HasSubstr(c.message));
      // Nothing cuts the message short at a zero byte.
      EXPECT_EQ(std::string(e.what()), e.Message());
      EXPECT_THAT(e.Message(), ::testing::EndsWith("Native error: " + std::to_string(c.code)));
    }
  }
}

// A large file without a signature is refused after reading its data, not its holes; a database
// behind a hole is found where it starts.
TEST_F(HostileFilesTest, SparseFilesAreSearchedWithoutReadingTheirHoles) {
  WriteAll({});
  std::filesystem::resize_file(path, int64_t{4} << 30);
  testing::THeldDiskPageManager pm;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_QDX_ERROR(Open(pm), 10470, "Found signature: '\\x00");
  // Reading 4 GB of zeros takes seconds; skipping the hole, milliseconds. Generous for ASan.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

  CreateDatabase();
  const std::vector<uint8_t> database = ReadAll();
  const int64_t offset = (int64_t{5} << 20) + 3;
  std::vector<uint8_t> file = {'H', 'E', 'A', 'D'};
  WriteAll(file);
  std::filesystem::resize_file(path, offset);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(database.data()),
              static_cast<std::streamsize>(database.size()));
  }
  testing::THeldDiskPageManager found;
  Open(found);
  EXPECT_EQ(found.Layout().BaseOffset(), offset);
  EXPECT_EQ(found.Header().TotalPageCount, le::Load<int32_t>(&database[30]));
}

}  // namespace
}  // namespace qdx
