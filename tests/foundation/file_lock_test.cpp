#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/foundation/platform/file.h"
#include "engine/foundation/platform/system_error.h"

namespace qdx::platform {
namespace {

class FileLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TemporaryDirectory() + "/qdx_lock_" + std::to_string(::getpid()) + ".bin";
    ASSERT_TRUE(a.Create(path_));
    ASSERT_TRUE(b.Open(path_, FileAccess::ReadWrite));
  }
  void TearDown() override {
    a.Close();
    b.Close();
    DeleteFile(path_);
  }

  std::string path_;
  File a;
  File b;
};

TEST_F(FileLockTest, TwoDescriptorsOfOneProcessExcludeEachOther) {
  EXPECT_EQ(a.LockRange(100, 4), LockResult::Done);
  EXPECT_EQ(b.LockRange(103, 1), LockResult::Refused);
  EXPECT_EQ(b.LockRange(104, 1), LockResult::Done);
  EXPECT_EQ(a.UnlockRange(100, 4), LockResult::Done);
  EXPECT_EQ(b.LockRange(100, 4), LockResult::Done);
}

TEST_F(FileLockTest, ADescriptorCannotLockItsOwnBytesTwice) {
  EXPECT_EQ(a.LockRange(100, 4), LockResult::Done);
  EXPECT_EQ(a.LockRange(100, 4), LockResult::Refused);
  EXPECT_EQ(a.LockRange(98, 3), LockResult::Refused);
  EXPECT_TRUE(a.HoldsLock(103, 10));
  EXPECT_FALSE(a.HoldsLock(104, 10));
  // Only the exact range comes off, and only once.
  EXPECT_EQ(a.UnlockRange(100, 2), LockResult::Refused);
  EXPECT_EQ(a.UnlockRange(100, 4), LockResult::Done);
  EXPECT_EQ(a.UnlockRange(100, 4), LockResult::Refused);
  EXPECT_EQ(b.LockRange(100, 4), LockResult::Done);
}

TEST_F(FileLockTest, ClosingOrMovingAFile) {
  EXPECT_EQ(a.LockRange(10, 1), LockResult::Done);
  File moved = std::move(a);
  EXPECT_TRUE(moved.HoldsLock(10, 1));
  EXPECT_EQ(moved.LockRange(10, 1), LockResult::Refused);
  EXPECT_TRUE(moved.Close());
  EXPECT_EQ(b.LockRange(10, 1), LockResult::Done);
}

TEST_F(FileLockTest, EmptyOrNegativeRangesAreRefused) {
  EXPECT_EQ(a.LockRange(10, 0), LockResult::Refused);
  EXPECT_EQ(a.LockRange(-1, 1), LockResult::Refused);
  EXPECT_EQ(File().LockRange(0, 1), LockResult::Unsupported);
}

TEST_F(FileLockTest, ReadOnlyDescriptorsLockExclusivelyToo) {
  File reader;
  File otherReader;
  ASSERT_TRUE(reader.Open(path_, FileAccess::Read));
  ASSERT_TRUE(otherReader.Open(path_, FileAccess::Read));
  EXPECT_EQ(reader.LockRange(7, 1), LockResult::Done);
  EXPECT_EQ(a.LockRange(7, 1), LockResult::Refused);
  EXPECT_EQ(otherReader.LockRange(6, 2), LockResult::Refused);
  EXPECT_EQ(reader.UnlockRange(7, 1), LockResult::Done);

  EXPECT_EQ(otherReader.LockRange(6, 2), LockResult::Done);
  EXPECT_EQ(reader.LockRange(7, 1), LockResult::Refused);
  EXPECT_EQ(otherReader.UnlockRange(6, 2), LockResult::Done);

  EXPECT_EQ(a.LockRange(7, 1), LockResult::Done);
  EXPECT_EQ(reader.LockRange(7, 1), LockResult::Refused);
}

// ---- Share modes ---------------------------------------------------------------------------

struct OpenMode {
  FileAccess access;
  FileShare share;
};

struct ShareCase {
  const char* name;
  OpenMode first;
  OpenMode second;
  bool secondOpens;
};

// As Windows decides them: an open fails when it does what a handle already open denies, or
// denies what that handle does.
const ShareCase kShareCases[] = {
    {"both share everything", {FileAccess::ReadWrite, FileShare::ReadWrite},
     {FileAccess::ReadWrite, FileShare::ReadWrite}, true},
    {"a writer keeps out a probe that denies writing", {FileAccess::ReadWrite, FileShare::ReadWrite},
     {FileAccess::ReadWrite, FileShare::Read}, false},
    {"a writer admits a reader", {FileAccess::ReadWrite, FileShare::ReadWrite},
     {FileAccess::Read, FileShare::ReadWrite}, true},
    {"a writer keeps out an exclusive open", {FileAccess::ReadWrite, FileShare::ReadWrite},
     {FileAccess::ReadWrite, FileShare::None}, false},
    {"deny-write admits a reader", {FileAccess::ReadWrite, FileShare::Read},
     {FileAccess::Read, FileShare::ReadWrite}, true},
    {"deny-write keeps out a writer", {FileAccess::ReadWrite, FileShare::Read},
     {FileAccess::ReadWrite, FileShare::ReadWrite}, false},
    {"deny-all keeps out a reader", {FileAccess::ReadWrite, FileShare::None},
     {FileAccess::Read, FileShare::ReadWrite}, false},
    {"deny-all keeps out a writer", {FileAccess::ReadWrite, FileShare::None},
     {FileAccess::ReadWrite, FileShare::ReadWrite}, false},
    {"a reader admits one that denies writing", {FileAccess::Read, FileShare::ReadWrite},
     {FileAccess::ReadWrite, FileShare::Read}, true},
    {"a reader keeps out an exclusive open", {FileAccess::Read, FileShare::ReadWrite},
     {FileAccess::ReadWrite, FileShare::None}, false},
    {"two readers that deny writing", {FileAccess::Read, FileShare::Read},
     {FileAccess::Read, FileShare::Read}, true},
    {"a reader that denies writing keeps out a writer", {FileAccess::Read, FileShare::Read},
     {FileAccess::ReadWrite, FileShare::ReadWrite}, false},
};

class ShareModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TemporaryDirectory() + "/qdx_share_" + std::to_string(::getpid()) + ".bin";
    File created;
    ASSERT_TRUE(created.Create(path_));
  }
  void TearDown() override { DeleteFile(path_); }

  // Opens the file in a child process: 0 when it opened, 1 on a sharing violation, 2 otherwise.
  int OpenInChild(const OpenMode& mode) const {
    const pid_t pid = ::fork();
    if (pid == 0) {
      File file;
      const bool opened = file.Open(path_, mode.access, mode.share);
      ::_exit(opened ? 0 : LastSystemError() == EBUSY ? 1 : 2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
  }

  std::string path_;
};

TEST_F(ShareModeTest, WithinOneProcess) {
  for (const ShareCase& c : kShareCases) {
    SCOPED_TRACE(c.name);
    File first;
    ASSERT_TRUE(first.Open(path_, c.first.access, c.first.share));
    File second;
    EXPECT_EQ(second.Open(path_, c.second.access, c.second.share), c.secondOpens);
    if (!c.secondOpens) {
      EXPECT_EQ(LastSystemError(), EBUSY);
      EXPECT_FALSE(second.IsOpen());
      // The refused open leaves nothing behind: once the first handle closes, it succeeds.
      first.Close();
      EXPECT_TRUE(second.Open(path_, c.second.access, c.second.share));
    }
  }
}

TEST_F(ShareModeTest, BetweenTwoProcesses) {
  for (const ShareCase& c : kShareCases) {
    SCOPED_TRACE(c.name);
    File first;
    ASSERT_TRUE(first.Open(path_, c.first.access, c.first.share));
    EXPECT_EQ(OpenInChild(c.second), c.secondOpens ? 0 : 1);
  }
}

TEST_F(ShareModeTest, ShareBytesLeaveTheByteRangeLocksAlone) {
  File writer;
  ASSERT_TRUE(writer.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite));
  File reader;
  ASSERT_TRUE(reader.Open(path_, FileAccess::Read, FileShare::ReadWrite));
  // Every byte a database can lock is free, the last one below the share bytes included.
  for (const int64_t offset : {int64_t{0}, int64_t{360}, kShareBytesPosition - 1}) {
    EXPECT_EQ(writer.LockRange(offset, 1), LockResult::Done);
    EXPECT_EQ(reader.LockRange(offset, 1), LockResult::Refused);
    EXPECT_EQ(writer.UnlockRange(offset, 1), LockResult::Done);
    EXPECT_EQ(reader.LockRange(offset, 1), LockResult::Done);
    EXPECT_EQ(reader.UnlockRange(offset, 1), LockResult::Done);
  }
  EXPECT_TRUE(writer.HeldRanges().empty());
}

TEST_F(ShareModeTest, OpenersRacingForOneFileNeverBothWin) {
  // Each child opens denying all, holds the file a moment and says whether it had it; two
  // children that both had it at once would both have written their mark into the same byte.
  constexpr int kChildren = 4;
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<pid_t> children;
    for (int i = 0; i < kChildren; ++i) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        File file;
        if (!file.Open(path_, FileAccess::ReadWrite, FileShare::None)) {
          ::_exit(LastSystemError() == EBUSY ? 1 : 2);
        }
        const char mark = static_cast<char>('a' + i);
        file.WriteAt(0, &mark, 1);
        ::usleep(2000);
        char seen = 0;
        file.ReadAt(0, &seen, 1);
        ::_exit(seen == mark ? 0 : 3);
      }
      children.push_back(pid);
    }
    for (const pid_t pid : children) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_LE(WEXITSTATUS(status), 1) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace qdx::platform
