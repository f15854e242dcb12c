#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "dataset/database_error.h"
#include "dataset/rebuild_file.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fault_file_system.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;
using testing::FaultFileSystem;
using testing::FileCall;

// A file system whose rename fails and whose free space is what the test says.
class RebuildFileSystem : public FaultFileSystem {
 public:
  bool Rename(const std::string& from, const std::string& to) override {
    ++renames;
    if (failRename) {
      errno = EXDEV;
      return false;
    }
    return FaultFileSystem::Rename(from, to);
  }
  int64_t FreeSpace(const std::string& path) override {
    askedFreeSpace = path;
    return freeSpace;
  }

  bool failRename = false;
  int renames = 0;
  int64_t freeSpace = -1;
  std::string askedFreeSpace;
};

class RebuildFileTest : public testing::TempDirTest {
 protected:
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::string rebuilt() const { return path + ".tmp"; }
  RebuildFileSystem files_;
};

TEST_F(RebuildFileTest, TheRebuiltFileIsFlushedThenRenamedOverTheOriginal) {
  Write(path, "old database");
  Write(rebuilt(), "new database");
  platform::FileSystemScope scope(files_);
  ReplaceWithRebuiltFile(rebuilt(), path);
  EXPECT_EQ(Read(path), "new database");
  EXPECT_FALSE(std::filesystem::exists(rebuilt()));
  EXPECT_EQ(files_.Count(FileCall::Flush), 1);
  EXPECT_EQ(files_.renames, 1);
}

TEST_F(RebuildFileTest, AFailureLeavesTheOriginalUntouched) {
  struct Case {
    const char* what;
    FileCall failing;  // Flush or Open; Stat stands for "rename fails" here
    const char* expected;
  };
  for (const Case& c : {Case{"flush", FileCall::Flush, "Cannot write the rebuilt database file"},
                        Case{"open", FileCall::Open, "Cannot write the rebuilt database file"},
                        Case{"rename", FileCall::Stat, "Cannot put the rebuilt database file"}}) {
    SCOPED_TRACE(c.what);
    Write(path, "old database");
    Write(rebuilt(), "new database");
    files_.Reset();
    files_.failRename = c.failing == FileCall::Stat;
    if (!files_.failRename) files_.Fail(c.failing, 1, EIO);
    platform::FileSystemScope scope(files_);
    try {
      ReplaceWithRebuiltFile(rebuilt(), path, "QDXDatabase1");
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
      EXPECT_THAT(e.Message(), HasSubstr("QDXDatabase1: "));
      EXPECT_THAT(e.Message(), HasSubstr(c.expected));
      EXPECT_THAT(e.Message(), HasSubstr(path));
    }
    EXPECT_EQ(Read(path), "old database");
    EXPECT_EQ(Read(rebuilt()), "new database");
  }
}

TEST_F(RebuildFileTest, FreeSpaceIsAskedOfTheTargetsDrive) {
  platform::FileSystemScope scope(files_);
  files_.freeSpace = 999;
  EXPECT_QDX_ERROR(CheckFreeSpaceFor(rebuilt(), 1000), msg::kNotEnoughDiskSpace,
                   "There is not enough free space on drive");
  EXPECT_EQ(files_.askedFreeSpace, dir_.string());
  CheckFreeSpaceFor(rebuilt(), 999);
  // A drive that cannot tell is not refused.
  files_.freeSpace = -1;
  CheckFreeSpaceFor(rebuilt(), 1000);
}

}  // namespace
}  // namespace qdx
