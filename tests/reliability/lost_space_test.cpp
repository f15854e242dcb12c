// Pages are marked in use when a transaction adds them, long before its commit writes them. A
// process that dies in between leaves them in use and reached by nothing: space lost until a
// repair, which `qdx check` must not take for damage (a new page of a grown file, and a freed
// page handed out again, both still hold what they held before).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

#include "engine/core/page_handle.h"
#include "engine/disk/disk_database_data.h"
#include "tests/disk/disk_test_support.h"
#include "tools/qdx/qdx_commands.h"

namespace qdx {
namespace {

class LostSpaceTest : public testing::TempDirTest {
 protected:
  void Open(TQDXDiskPageManager& pm) {
    bool multiUser = false, repair = false, readOnly = false;
    pm.OpenDatabaseFile(path, {}, multiUser, /*exclusive=*/false, repair, readOnly);
  }

  // A child process adds `count` pages and dies without committing; answers the first page.
  int32_t AddPagesAndDie(int count) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      testing::THeldDiskPageManager pm;
      Open(pm);
      int32_t first = -1;
      for (int i = 0; i < count; ++i) {
        TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, ptTableRecord);
        page->Dirty = true;
        if (i == 0) first = page->PageNo;
        page.Release();
      }
      if (::write(fds[1], &first, sizeof first) != sizeof first) ::_exit(2);
      ::_exit(0);
    }
    ::close(fds[1]);
    int32_t first = -1;
    EXPECT_EQ(::read(fds[0], &first, sizeof first), static_cast<ssize_t>(sizeof first));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return first;
  }
};

TEST_F(LostSpaceTest, PagesOfATransactionThatDiedAreLostSpaceNotDamage) {
  TQDXDiskDatabaseData data(path);
  data.CreateDatabase();
  // A page that was written and freed, so the next allocation hands it out again.
  int32_t freed = -1;
  {
    testing::THeldDiskPageManager pm;
    Open(pm);
    TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, ptTableMetaData);
    page->Dirty = true;
    freed = page->PageNo;
    page.Release();
    pm.ApplyChanges(0);
    pm.RemovePage(0, freed);
    pm.ApplyChanges(0);
  }
  EXPECT_EQ(AddPagesAndDie(1), freed);
  EXPECT_NO_THROW(tools::CheckDatabase(path, ""));
  // Enough new pages that the file grows under them.
  const int64_t size = FileSize();
  AddPagesAndDie(12);
  EXPECT_GT(FileSize(), size);
  EXPECT_NO_THROW(tools::CheckDatabase(path, ""));
}

}  // namespace
}  // namespace qdx
