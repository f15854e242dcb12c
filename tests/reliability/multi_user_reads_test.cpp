// Work in multi-user mode while another process holds the database lock for a commit: it waits
// for the commit, as the commit's own lock waits do, instead of failing at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "engine/core/base_session.h"
#include "engine/disk/disk_database_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/platform/critical_section.h"
#include "tests/disk/disk_test_support.h"
#include "tests/reliability/workload.h"

namespace qdx::reliability {
namespace {

class MultiUserReadsTest : public testing::TempDirTest {};

// While another process holds the database lock, a worker changes and reads records whose memo
// and binary values span several pages each: replacing, deleting and reading such a value reads
// its page list, which is bounded by the file's page count, read under the database lock.
TEST_F(MultiUserReadsTest, BlobValuesAreChangedAndReadWhileAnotherProcessCommits) {
  constexpr uint64_t kSeed = 7;
  constexpr int64_t kSteps = 12;
  const std::unique_ptr<TWorkload> workload = MakeRecordsWorkload();
  workload->Durable = false;
  workload->CreateDatabase(path);
  {
    auto writer = workload->Connect(path, false, 0, kSeed, 0);
    for (int64_t i = 0; i < kSteps; ++i) writer->Step();
  }
  workload->LockRetryCount = 2000;
  workload->LockRetryPause = 2;
  auto worker = workload->Connect(path, true, 0, kSeed, kSteps);
  TQDXDiskDatabaseData other(path);
  TQDXBaseSession otherSession;
  otherSession.SetMultiUser(true);
  other.AddSession(otherSession);
  // Runs `work` while the other process is in the middle of a commit for 20 ms.
  const auto whileCommitting = [&](const auto& work) {
    {
      const platform::CriticalSectionGuard held(other.Lock());
      ASSERT_TRUE(other.PageManager()->LockDatabase());
    }
    std::thread commit([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const platform::CriticalSectionGuard held(other.Lock());
      other.PageManager()->UnlockDatabase();
    });
    try {
      work();
    } catch (const EQDXException& e) {
      ADD_FAILURE() << e.ErrorCode() << " " << e.Message();
    }
    commit.join();
  };
  constexpr int64_t kMoreSteps = 8;
  for (int64_t i = 0; i < kMoreSteps; ++i) whileCommitting([&] { worker->Step(); });
  const TState expected = workload->Expected(kSeed, 0, kSteps + kMoreSteps);
  ASSERT_TRUE(std::any_of(expected.begin(), expected.end(), [](const auto& record) {
    return record.second.find(" bytes ") != std::string::npos;
  }));
  TState found;
  whileCommitting([&] { found = worker->Read(0); });
  EXPECT_EQ(found, expected);
  worker.reset();
  other.RemoveSession(otherSession);
}

}  // namespace
}  // namespace qdx::reliability
