#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "engine/foundation/platform/file.h"

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

}  // namespace
}  // namespace qdx::platform
