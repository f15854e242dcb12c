#include "engine/disk/database_file.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/foundation/except.h"
#include "tests/fault_file_system.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;

class DatabaseFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qdx_dbfile_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path = (dir_ / "test.qdx").string();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // A file of `size` bytes, byte i holding i mod 251.
  void CreateWithContent(TQDXDatabaseFile& file, int32_t size) {
    file.CreateFile(path);
    std::vector<uint8_t> bytes(size);
    for (int32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
    file.WriteBuffer(bytes.data(), msg::kWriteFilePage, 0, size);
  }

  std::filesystem::path dir_;
  std::string path;
};

TEST_F(DatabaseFileTest, WritesReadsAndSizes) {
  TQDXDatabaseFile file;
  CreateWithContent(file, 1000);
  EXPECT_EQ(file.GetSize(), 1000);
  EXPECT_EQ(file.GetPosition(), 1000);

  uint8_t buffer[100] = {};
  EXPECT_EQ(file.CheckedReadBuffer(buffer, msg::kReadFileHeader, 500, 4), 4);
  EXPECT_EQ(buffer[3], 503 % 251);
  // A read that meets the end of the file early is not a failure.
  int32_t bytesRead = -1;
  EXPECT_TRUE(file.ReadBuffer(buffer, 990, 100, &bytesRead));
  EXPECT_EQ(bytesRead, 10);
  EXPECT_EQ(buffer[9], 999 % 251);

  file.SetSize(4096);
  EXPECT_EQ(file.GetSize(), 4096);
  EXPECT_EQ(file.GetPosition(), 4096);
  file.SetSize(380);
  EXPECT_EQ(file.GetSize(), 380);
  file.FlushFileBuffers();
  file.CloseFile();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Handle(), -1);

  file.OpenFile(path, TQDXDatabaseFile::kAccessReadOnly, TQDXDatabaseFile::kShareReadWrite);
  EXPECT_EQ(file.GetSize(), 380);
  EXPECT_EQ(file.AccessMode(), 0);
  EXPECT_EQ(file.ShareMode(), 1);
}

TEST_F(DatabaseFileTest, CreateReplacesAReadOnlyFile) {
  {
    TQDXDatabaseFile file;
    CreateWithContent(file, 100);
  }
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  TQDXDatabaseFile file;
  file.CreateFile(path);
  EXPECT_EQ(file.GetSize(), 0);
  EXPECT_EQ(file.AccessMode(), 1);
  EXPECT_EQ(file.ShareMode(), 0);
  const uint8_t byte = 1;
  file.WriteBuffer(&byte, msg::kWriteFilePage, 0, 1);
}

TEST_F(DatabaseFileTest, OpenAndCreateFailures) {
  TQDXDatabaseFile file;
  EXPECT_QDX_ERROR(file.CreateFile(""), 30374, "Cannot create file with blank FileName");
  EXPECT_QDX_ERROR(file.CreateFile((dir_ / "missing" / "x.qdx").string()), 30361,
                   "Cannot create file: '" + (dir_ / "missing" / "x.qdx").string() +
                       "' Error code: 2. ErrorMessage: No such file or directory");
  EXPECT_QDX_ERROR(
      file.OpenFile(path, 1, 0), 30364,
      "Cannot open file:'" + path + "' Error code: 2. ErrorMessage: No such file or directory");
  EXPECT_QDX_ERROR(file.OpenFile(path, 2, 0), 30366, "Unknown Access mode: '2'");
  EXPECT_QDX_ERROR(file.OpenFile(path, 1, 3), 30367, "Unknown Share mode: '3'");
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(DatabaseFileTest, OperationsCheckTheOpenState) {
  TQDXDatabaseFile file;
  uint8_t buffer[4] = {};
  const std::vector<std::pair<std::string, std::function<void()>>> needOpen = {
      {"CloseFile", [&] { file.CloseFile(); }},
      {"Seek", [&] { file.Seek(0); }},
      {"SetPosition", [&] { file.SetPosition(0); }},
      {"GetPosition", [&] { file.GetPosition(); }},
      {"SetSize", [&] { file.SetSize(0); }},
      {"GetSize", [&] { file.GetSize(); }},
      {"ReadBuffer", [&] { file.ReadBuffer(buffer, 0, 4); }},
      {"ReadBuffer", [&] { file.CheckedReadBuffer(buffer, msg::kReadFileHeader, 0, 4); }},
      {"WriteBuffer", [&] { file.WriteBuffer(buffer, msg::kWriteFilePage, 0, 4); }},
      {"FlushFileBuffers", [&] { file.FlushFileBuffers(); }},
      {"LockByte", [&] { file.LockByte(1, 0); }},
      {"UnlockByte", [&] { file.UnlockByte(1, 0); }},
      {"IsRegionLocked", [&] { file.IsRegionLocked(1, 0); }},
  };
  for (const auto& [name, operation] : needOpen) {
    EXPECT_QDX_ERROR(operation(), 30376,
                     "Cannot perform this operation (" + name + ") on a closed file");
  }
  file.CreateFile(path);
  EXPECT_QDX_ERROR(file.CreateFile(path), 30377,
                   "Cannot perform this operation (CreateFile) on a opened file");
  EXPECT_QDX_ERROR(file.OpenFile(path, 1, 1), 30377, "(OpenFile) on a opened file");
}

TEST_F(DatabaseFileTest, FailuresNameFileSizesAndSystemError) {
  TQDXDatabaseFile file;
  CreateWithContent(file, 1000);
  uint8_t buffer[4] = {};
  EXPECT_QDX_ERROR(file.SetPosition(-1), 30372,
                   "Cannot Set File Position to -1. FileName='" + path +
                       "'. FilePosition = 1000, FileSize = 1000");
  EXPECT_QDX_ERROR(file.SetPosition(-1, msg::Message{10442, msg::kCannotSetFilePosition.Text}),
                   10442, "Cannot Set File Position to -1.");
  EXPECT_FALSE(file.Seek(-1));
  EXPECT_QDX_ERROR(file.CheckedReadBuffer(buffer, msg::kReadFileHeader, -5, 4), 10464,
                   "Cannot Read from file: '" + path +
                       "' Position = -5, Count = 4, FilePosition = 1000, FileSize = 1000, "
                       "ErrorCode:22. ErrorMessage: Invalid argument - Native error: 10464");
  EXPECT_QDX_ERROR(file.SetSize(-1), 30370,
                   "Cannot Truncate File '" + path + "' to -1 bytes. ErrorCode:22.");
  file.CloseFile();

  file.OpenFile(path, TQDXDatabaseFile::kAccessReadOnly, TQDXDatabaseFile::kShareReadWrite);
  EXPECT_QDX_ERROR(file.WriteBuffer(buffer, msg::kWriteFilePage, 8, 4), 10469,
                   "Cannot Write to file: '" + path +
                       "' Position = 8, Count = 4, FilePosition = 8, FileSize = 1000, "
                       "ErrorCode:9. ErrorMessage: Bad file descriptor");
}

TEST_F(DatabaseFileTest, ALostHandleIsReopenedAndTheOperationRetried) {
  TQDXDatabaseFile file;
  CreateWithContent(file, 1000);
  TQDXDatabaseFile other;
  other.OpenFile(path, 1, 1);
  ASSERT_TRUE(other.LockByte(1, 361));
  ASSERT_TRUE(file.LockByte(1, 360));

  testing::FaultFileSystem faults;
  platform::FileSystemScope scope(faults);
  faults.Lose(file.Handle());  // the handle drops, as on a broken network connection
  // A lock call on the lost handle fails as on a file system without locks; the handle is
  // reconnected instead of taking every lock for granted from now on.
  EXPECT_FALSE(file.LockByte(1, 361));
  EXPECT_FALSE(file.LocksUnsupported());

  faults.Lose(file.Handle());
  EXPECT_EQ(file.GetSize(), 1000);
  uint8_t byte = 0;
  EXPECT_EQ(file.CheckedReadBuffer(&byte, msg::kReadFileHeader, 252, 1), 1);
  EXPECT_EQ(byte, 1);
  // The reopened handle took back the lock the lost one held: nobody else can have it, and
  // the file still holds it once (a second lock is refused, the unlock succeeds).
  EXPECT_FALSE(other.LockByte(1, 360));
  EXPECT_FALSE(file.LockByte(1, 360));
  EXPECT_TRUE(file.UnlockByte(1, 360));
  EXPECT_TRUE(other.LockByte(1, 360));
  EXPECT_FALSE(file.LocksUnsupported());
}

TEST_F(DatabaseFileTest, AReconnectThatCannotTakeItsLocksBackFails) {
  TQDXDatabaseFile file;
  CreateWithContent(file, 1000);
  ASSERT_TRUE(file.LockByte(1, 360));
  TQDXDatabaseFile other;
  other.OpenFile(path, 1, 1);

  testing::FaultFileSystem faults;
  platform::FileSystemScope scope(faults);
  faults.Lose(file.Handle());
  // While the lost handle is away, another handle takes the byte it held.
  bool taken = false;
  faults.Observe([&](testing::FileCall call) {
    if (call == testing::FileCall::Open && !taken) taken = other.LockByte(1, 360);
  });
  uint8_t byte = 0;
  EXPECT_QDX_ERROR(file.CheckedReadBuffer(&byte, msg::kReadFileHeader, 252, 1), 10464,
                   "Cannot Read from file");
  faults.Observe(nullptr);
  EXPECT_TRUE(taken);
  // The file did not go on as though it held the byte.
  EXPECT_FALSE(file.LockByte(1, 360));
  EXPECT_TRUE(other.UnlockByte(1, 360));
}

TEST_F(DatabaseFileTest, ByteLocksOfOneHandle) {
  TQDXDatabaseFile file;
  file.CreateFile(path);
  TQDXDatabaseFile other;
  other.OpenFile(path, 1, 1);

  EXPECT_FALSE(file.IsByteLocked(359));
  EXPECT_TRUE(other.LockByte(1, 359));  // IsByteLocked left it unlocked
  EXPECT_TRUE(other.UnlockByte(1, 359));

  EXPECT_TRUE(file.LockByte(1, 360));
  EXPECT_FALSE(file.LockByte(1, 360));  // as on Windows, not twice
  EXPECT_TRUE(file.IsByteLocked(360));  // locked by this same handle
  EXPECT_TRUE(file.IsByteLocked(360));  // and still locked afterwards
  EXPECT_TRUE(file.IsRegionLocked(10, 355));
  EXPECT_FALSE(file.IsRegionLocked(10, 361));
  EXPECT_TRUE(file.UnlockByte(1, 360));
  EXPECT_FALSE(file.UnlockByte(1, 360));
  EXPECT_FALSE(file.IsByteLocked(360));
  EXPECT_FALSE(file.LocksUnsupported());
}

TEST_F(DatabaseFileTest, TwoHandlesOfOneProcessExcludeEachOther) {
  TQDXDatabaseFile a;
  a.CreateFile(path);
  TQDXDatabaseFile b;
  b.OpenFile(path, 1, 1);
  TQDXDatabaseFile reader;
  reader.OpenFile(path, 0, 1);

  EXPECT_TRUE(a.LockByte(4, 1000));
  EXPECT_FALSE(b.LockByte(1, 1003));
  EXPECT_TRUE(b.IsByteLocked(1000));
  EXPECT_FALSE(b.UnlockByte(4, 1000));  // not its lock
  EXPECT_FALSE(reader.LockByte(1, 1001));
  EXPECT_TRUE(a.UnlockByte(4, 1000));
  EXPECT_TRUE(b.LockByte(1, 1003));
  a.CloseFile();  // closing drops the handle's locks
  EXPECT_TRUE(b.LockByte(1, 1002));
  EXPECT_FALSE(b.LocksUnsupported());
}

// An unlock that the system fails leaves the byte locked: the handle says so rather than take
// the failure for a file system without locks, after which every lock would seem to succeed,
// ranges held by other handles included.
TEST_F(DatabaseFileTest, AFailedUnlockIsReportedAndLockingStaysOn) {
  TQDXDatabaseFile file;
  file.CreateFile(path);
  TQDXDatabaseFile other;
  other.OpenFile(path, 1, 1);
  ASSERT_TRUE(other.LockByte(1, 1003));
  ASSERT_TRUE(file.LockByte(1, 1000));
  for (const int error : {EIO, ENOLCK, EAGAIN}) {
    SCOPED_TRACE(error);
    {
      testing::FaultFileSystem faults;
      const platform::FileSystemScope scope(faults);
      faults.Fail(testing::FileCall::Unlock, 1, error, 2);  // the call and its retry
      EXPECT_FALSE(file.UnlockByte(1, 1000));
    }
    EXPECT_FALSE(other.LockByte(1, 1000));  // still this handle's
    EXPECT_FALSE(file.LockByte(1, 1003));   // and the other's lock still excludes
    EXPECT_FALSE(file.LocksUnsupported());
  }
  EXPECT_TRUE(file.UnlockByte(1, 1000));
  EXPECT_TRUE(other.LockByte(1, 1000));
}

// A file system that cannot lock at all: every lock succeeds without excluding, and unlocks of
// what was never locked succeed as well.
TEST_F(DatabaseFileTest, WithoutLocksEveryLockAndUnlockSucceeds) {
  TQDXDatabaseFile file;
  file.CreateFile(path);
  testing::FaultFileSystem faults;
  const platform::FileSystemScope scope(faults);
  faults.Fail(testing::FileCall::Lock, 1, ENOLCK, testing::FaultFileSystem::kForever);
  EXPECT_TRUE(file.LockByte(1, 1000));
  EXPECT_TRUE(file.LocksUnsupported());
  EXPECT_TRUE(file.LockByte(1, 1000));
  EXPECT_FALSE(file.IsByteLocked(1001));
  EXPECT_TRUE(file.UnlockByte(1, 1000));
  EXPECT_TRUE(file.UnlockByte(1, 1000));
}

// Reads one byte from `fd` within `timeoutMs`; -1 on timeout or end of input.
int ReadByte(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) != 1) return -1;
  uint8_t byte = 0;
  return ::read(fd, &byte, 1) == 1 ? byte : -1;
}

// Waits up to `timeoutMs` for the child to end; kills it when it does not.
int WaitForChild(pid_t pid, int timeoutMs) {
  int status = 0;
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    ::usleep(10000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return -1;
}

TEST_F(DatabaseFileTest, AnotherProcessIsExcludedAndItsLocksVanishWithIt) {
  TQDXDatabaseFile file;
  file.CreateFile(path);
  ASSERT_TRUE(file.LockByte(1, 359));

  int toChild[2];
  int toParent[2];
  ASSERT_EQ(::pipe(toChild), 0);
  ASSERT_EQ(::pipe(toParent), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    uint8_t report = 'n';
    try {
      TQDXDatabaseFile child;
      child.OpenFile(path, 1, 1);
      const bool excluded = !child.LockByte(1, 359) && child.IsByteLocked(359);
      if (excluded && child.LockByte(1, 360)) report = 'y';
      [[maybe_unused]] ssize_t n = ::write(toParent[1], &report, 1);
      ReadByte(toChild[0], 10000);  // hold the lock until told to end, without unlocking
    } catch (...) {
      [[maybe_unused]] ssize_t n = ::write(toParent[1], &report, 1);
    }
    ::_exit(0);
  }
  ::close(toChild[0]);
  ::close(toParent[1]);

  EXPECT_EQ(ReadByte(toParent[0], 10000), 'y');
  EXPECT_FALSE(file.LockByte(1, 360));
  EXPECT_TRUE(file.IsByteLocked(360));

  const uint8_t go = 'x';
  EXPECT_EQ(::write(toChild[1], &go, 1), 1);
  const int status = WaitForChild(pid, 10000);
  ::close(toChild[1]);
  ::close(toParent[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  EXPECT_TRUE(file.LockByte(1, 360));
  EXPECT_FALSE(file.LocksUnsupported());
}

// Restores design-time mode when a test ends.
class DesignTimeMode {
 public:
  DesignTimeMode() { SetQDXDesignTimeMode(true); }
  ~DesignTimeMode() { SetQDXDesignTimeMode(false); }
};

TEST_F(DatabaseFileTest, DesignTimeAttachAndDetachCountOpens) {
  TQDXDatabaseFile file;
  file.Attach();  // nothing outside design-time mode
  EXPECT_EQ(file.OpenCount(), 0);
  CreateWithContent(file, 10);
  file.CloseFile();

  DesignTimeMode designTime;
  file.Attach();
  EXPECT_TRUE(file.IsOpen());
  file.Attach();
  EXPECT_EQ(file.OpenCount(), 2);
  file.Detach();
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(file.GetSize(), 10);
  // Unlocking reports success in design-time mode, even for a byte not locked.
  EXPECT_TRUE(file.UnlockByte(1, 5));
  file.Detach();
  EXPECT_FALSE(file.IsOpen());
  file.Detach();
  EXPECT_EQ(file.OpenCount(), 0);
  {
    TQDXFileAttachment attachment(file);
    EXPECT_TRUE(file.IsOpen());
  }
  EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace qdx
