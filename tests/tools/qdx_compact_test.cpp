#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/page_handle.h"
#include "engine/disk/database_header.h"
#include "engine/disk/disk_database_data.h"
#include "tests/disk/disk_test_support.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_database_commands.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;

class QdxCompactTest : public testing::TempDirTest {
 protected:
  int Qdx(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    std::ostringstream o, e;
    const int status = tools::RunQdx(args, o, e);
    if (out != nullptr) *out = o.str();
    if (err != nullptr) *err = e.str();
    return status;
  }

  // Allocates `count` pages and frees them again: the free space manager shrinks the file only
  // by whole growth steps, so a free tail is left behind the last page in use.
  void LeaveFreeTail(int count) {
    TQDXDiskDatabaseData data(path);
    TQDXBaseSession session;
    data.AddSession(session);
    std::vector<int32_t> pages;
    {
      const platform::CriticalSectionGuard held(data.PageManager()->DatabaseLock());
      TQDXDiskPageManager& pm = *data.PageManager();
      for (int i = 0; i < count; ++i) {
        TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, ptTableRecord);
        pages.push_back(page->PageNo);
      }
      pm.ApplyChanges(0);
      for (int32_t pageNo : pages) pm.RemovePage(0, pageNo);
      pm.ApplyChanges(0);
    }
    data.RemoveSession(session);
  }
};

TEST_F(QdxCompactTest, CutsTheFreeTailAndReportsBothSizes) {
  ASSERT_EQ(Qdx({"create", path}), 0);
  LeaveFreeTail(12);
  const int64_t before = static_cast<int64_t>(ReadAll().size());

  std::string out;
  ASSERT_EQ(Qdx({"compact", path}, &out), 0) << out;
  const int64_t after = static_cast<int64_t>(ReadAll().size());
  // A new database uses pages 0 to 4 (maps, directory, session slots, table list) behind the
  // 380 bytes of its header blocks.
  EXPECT_EQ(after, 380 + 5 * 4096);
  EXPECT_LT(after, before);
  EXPECT_EQ(out, "Size before: " + std::to_string(before) + " bytes\nSize after: " +
                     std::to_string(after) + " bytes\n");
  std::string err;
  EXPECT_EQ(Qdx({"check", path}, nullptr, &err), 0) << err;

  // Nothing is left to cut the second time.
  ASSERT_EQ(Qdx({"compact", path}, &out), 0);
  EXPECT_THAT(out, HasSubstr("Size after: " + std::to_string(after) + " bytes"));
}

TEST_F(QdxCompactTest, RefusesAFileThatNeedsRepairOrIsMissing) {
  ASSERT_EQ(Qdx({"create", path}), 0);
  // FileState 1: left in the middle of a commit.
  std::vector<uint8_t> bytes = ReadAll();
  bytes[42] = kFileStateWriting;
  WriteAll(bytes);
  std::string err;
  EXPECT_EQ(Qdx({"compact", path}, nullptr, &err), 1);
  EXPECT_THAT(err, HasSubstr("needs repair"));
  EXPECT_EQ(ReadAll(), bytes);

  EXPECT_EQ(Qdx({"compact", path + ".none"}, nullptr, &err), 1);
}

}  // namespace
}  // namespace qdx
