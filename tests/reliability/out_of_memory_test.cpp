// The out-of-memory sweep: the memory manager's limit is set a little above what the engine
// holds before the scripted workload, then raised step by step until the script runs through.
// Every run must end in an engine error or succeed, give back every block it took, and leave a
// file that opens, checks clean and holds every acknowledged step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>

#include "engine/foundation/memory.h"
#include "tests/reliability/reliability_test_support.h"

namespace qdx::reliability {
namespace {

class OutOfMemoryTest : public ScriptedWorkloadTest {
 protected:
  void Sweep(int64_t steps);
};

// Sets the limit for its lifetime, so that a failing expectation cannot leave it set.
class MemoryLimitScope {
 public:
  explicit MemoryLimitScope(int64_t limit) { QDXMemoryManager().SetLimit(limit); }
  ~MemoryLimitScope() { QDXMemoryManager().SetLimit(0); }
  MemoryLimitScope(const MemoryLimitScope&) = delete;
  MemoryLimitScope& operator=(const MemoryLimitScope&) = delete;
};

TEST_F(OutOfMemoryTest, EveryLimitEndsInAnErrorAndAFileThatRecovers) {
  for (const std::string& workload : Workloads()) {
    SCOPED_TRACE(workload);
    Start(workload);
    if (HasFailure()) return;
    Sweep(Soak() ? 30 : 5);
    if (HasFailure()) return;
  }
}

void OutOfMemoryTest::Sweep(int64_t steps) {
  Tally tally;
  int64_t limitErrors = 0;
  bool ranThrough = false;
  const int64_t divisor = Soak() ? 40 : 8;
  for (int64_t budget = 1; !ranThrough; budget += std::max<int64_t>(64, budget / divisor)) {
    SCOPED_TRACE("budget " + std::to_string(budget));
    Restore();
    const int64_t allocated = QDXMemoryManager().Allocated();
    Outcome outcome;
    {
      MemoryLimitScope limit(allocated + budget);
      outcome = RunScript(steps);
    }
    EXPECT_EQ(QDXMemoryManager().Allocated(), allocated) << "engine memory left behind";
    if (outcome.ErrorCode == msg::kMemoryLimitExceeded.Code) ++limitErrors;
    ranThrough = outcome.ErrorCode == 0;
    ExpectRecovered(outcome, tally);
    if (::testing::Test::HasFailure()) return;
    ASSERT_LT(budget, int64_t{1} << 30) << "the script never ran through";
  }
  std::cout << "[ memory   ] " << workload_->Name() << ", " << steps << " steps: " << tally.Runs << " limits, " << tally.Failed
            << " engine errors (" << limitErrors << " the limit's own), "
            << tally.LeftInCommit << " left in a commit\n";
  EXPECT_GT(limitErrors, 0);
}

}  // namespace
}  // namespace qdx::reliability
