// The fault sweep: a scripted workload runs once to count the file-system calls of each kind,
// then once for every N with the N-th call of a kind failing (and every call after it, as on a
// disk that went away, or only that one, as on a passing fault), and with the N-th write cut
// short. Each run must end in an engine error or succeed, leak nothing, and leave a file that
// opens, checks clean and holds every step acknowledged before the fault. A second sweep runs
// the records workload as the program runs its changes: no rollback of its own after a failed
// change, the next step on the same table.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "engine/disk/database_header.h"
#include "engine/foundation/memory.h"
#include "tests/fault_file_system.h"
#include "tests/reliability/reliability_test_support.h"

namespace qdx::reliability {
namespace {

using testing::FaultFileSystem;
using testing::FileCall;

struct FaultMode {
  const char* Name;
  FileCall Call;
  int64_t Times;  // calls that fail from the N-th on
  int Error;
  bool ShortWrite;
};

constexpr int64_t kForever = FaultFileSystem::kForever;

class FaultSweepTest : public ScriptedWorkloadTest {
 protected:
  void Sweep(int64_t steps);
  void SweepCarryingOn(int64_t steps);
  // Runs the script on one connection that goes on after a failed step, as the program does,
  // with the checks after each failure. Answers the steps done, or -1 when a failure left the
  // file inside a commit (the repair's case) or the open failed.
  int64_t RunCarryingOn(int64_t steps, int64_t& failures);
};

TEST_F(FaultSweepTest, EveryFailingCallEndsInAnErrorAndAFileThatRecovers) {
  for (const std::string& workload : Workloads()) {
    SCOPED_TRACE(workload);
    Start(workload);
    if (HasFailure()) return;
    Sweep(Soak() ? 40 : 5);
    if (HasFailure()) return;
  }
}

// The records workload without its own rollback: after every passing fault the failed step is
// whole or absent in what the same connection reads, the connection carries on with the next
// steps, and the file it leaves opens, checks clean and holds exactly the steps done.
TEST_F(FaultSweepTest, AWorkloadThatCarriesOnAfterAFailureKeepsEveryCheck) {
  Start("records");
  if (HasFailure()) return;
  workload_->SelfRollback = false;
  SweepCarryingOn(Soak() ? 40 : 8);
}

int64_t FaultSweepTest::RunCarryingOn(int64_t steps, int64_t& failures) {
  std::unique_ptr<TWorkloadSession> session;
  try {
    session = workload_->Connect(path, false, 0, kSeed, 0);
  } catch (const EQDXException&) {
    ++failures;
    return -1;
  }
  for (int64_t i = 0; i < steps; ++i) {
    try {
      session->Step();
      continue;
    } catch (const EQDXException& e) {
      EXPECT_NE(e.ErrorCode(), 0);
    } catch (const EQdxWorkloadRefused& e) {
      ADD_FAILURE() << "a refusal without its cause: " << e.what();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "not an engine error: " << e.what();
      return -1;
    }
    ++failures;
    if (ReadAt(42, 1).at(0) == kFileStateWriting) return -1;
    const int64_t done = session->StepsDone();
    try {
      const TState found = session->Read(0);
      if (found == workload_->Expected(kSeed, 0, done + 1)) {
        session->Resume(done + 1);
      } else {
        EXPECT_EQ(found, workload_->Expected(kSeed, 0, done))
            << "step " << done + 1 << " failed and left part of itself behind";
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the connection cannot read after a failed step: " << e.what();
    }
    if (::testing::Test::HasFailure()) return -1;
  }
  return session->StepsDone();
}

void FaultSweepTest::SweepCarryingOn(int64_t steps) {
  FaultFileSystem counters[2];
  for (const bool durable : {false, true}) {
    workload_->Durable = durable;
    Restore();
    platform::FileSystemScope scope(counters[durable]);
    int64_t failures = 0;
    ASSERT_EQ(RunCarryingOn(steps, failures), steps);
  }
  // Each fault lasts two calls, so that it outlasts the file layer's one retry and reaches the
  // step, and then passes.
  const FaultMode modes[] = {
      {"read fails twice", FileCall::Read, 2, EIO, false},
      {"write fails twice", FileCall::Write, 2, EIO, false},
      {"short write, then room", FileCall::Write, 2, ENOSPC, true},
      {"size change fails twice", FileCall::Truncate, 2, ENOSPC, false},
      {"flush fails twice", FileCall::Flush, 2, EIO, false},
  };
  for (const FaultMode& mode : modes) {
    workload_->Durable = mode.Call == FileCall::Flush;
    const int64_t calls = counters[workload_->Durable].Count(mode.Call);
    int64_t failures = 0;
    int64_t leftInCommit = 0;
    for (int64_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE(std::string(mode.Name) + " at call " + std::to_string(n));
      Restore();
      const int64_t allocated = QDXMemoryManager().Allocated();
      int64_t done = 0;
      {
        FaultFileSystem faults;
        platform::FileSystemScope scope(faults);
        if (mode.ShortWrite) {
          faults.ShortWrite(n, mode.Error, mode.Times);
        } else {
          faults.Fail(mode.Call, n, mode.Error, mode.Times);
        }
        done = RunCarryingOn(steps, failures);
      }
      EXPECT_EQ(QDXMemoryManager().Allocated(), allocated) << "engine memory left behind";
      if (::testing::Test::HasFailure()) return;
      if (done < 0) {
        ++leftInCommit;
        continue;
      }
      try {
        tools::CheckDatabase(path, "");
        auto reader = workload_->Connect(path, false, 0, kSeed, 0);
        EXPECT_EQ(reader->Read(0), workload_->Expected(kSeed, 0, done)) << "after " << done << " steps";
      } catch (const std::exception& e) {
        ADD_FAILURE() << "the file does not recover: " << e.what();
      }
      if (::testing::Test::HasFailure()) return;
    }
    std::cout << "[ sweep    ] records carrying on, " << mode.Name << ": " << calls << " runs, "
              << failures << " failed steps, " << leftInCommit << " left in a commit or unopened\n";
  }
}

void FaultSweepTest::Sweep(int64_t steps) {
  // The calls of the script with and without flushes; only the flush modes need the flushes,
  // which take most of the time on a real disk.
  FaultFileSystem counters[2];
  for (const bool durable : {false, true}) {
    workload_->Durable = durable;
    Restore();
    platform::FileSystemScope scope(counters[durable]);
    ASSERT_EQ(RunScript(steps).ErrorCode, 0);
  }
  const FaultMode modes[] = {
      {"read fails for good", FileCall::Read, kForever, EIO, false},
      {"read fails once", FileCall::Read, 1, EIO, false},
      {"write fails for good", FileCall::Write, kForever, EIO, false},
      {"write fails once", FileCall::Write, 1, EIO, false},
      {"short write, disk full", FileCall::Write, kForever, ENOSPC, true},
      {"short write, then room", FileCall::Write, 1, ENOSPC, true},
      {"lock refused", FileCall::Lock, kForever, EAGAIN, false},
      {"unlock fails", FileCall::Unlock, kForever, EIO, false},
      {"size change fails", FileCall::Truncate, kForever, ENOSPC, false},
      {"flush fails for good", FileCall::Flush, kForever, EIO, false},
      {"flush fails once", FileCall::Flush, 1, EIO, false},
      {"open fails", FileCall::Open, kForever, EMFILE, false},
  };
  Tally total;
  for (const FaultMode& mode : modes) {
    workload_->Durable = mode.Call == FileCall::Flush;
    const int64_t calls = counters[workload_->Durable].Count(mode.Call);
    Tally tally;
    for (int64_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE(std::string(mode.Name) + " at call " + std::to_string(n));
      Restore();
      const int64_t allocated = QDXMemoryManager().Allocated();
      Outcome outcome;
      {
        FaultFileSystem faults;
        platform::FileSystemScope scope(faults);
        if (mode.ShortWrite) {
          faults.ShortWrite(n, mode.Error, mode.Times);
        } else {
          faults.Fail(mode.Call, n, mode.Error, mode.Times);
        }
        outcome = RunScript(steps);
      }
      EXPECT_EQ(QDXMemoryManager().Allocated(), allocated) << "engine memory left behind";
      ExpectRecovered(outcome, tally);
      if (::testing::Test::HasFailure()) return;
    }
    std::cout << "[ sweep    ] " << workload_->Name() << ", " << mode.Name << ": " << tally.Runs << " runs, " << tally.Failed
              << " engine errors, " << tally.InFlightLanded << " failing steps found whole, "
              << tally.LeftInCommit << " left in a commit\n";
    total.Runs += tally.Runs;
    total.Failed += tally.Failed;
    total.LeftInCommit += tally.LeftInCommit;
  }
  std::cout << "[ sweep    ] " << workload_->Name() << ", " << steps << " steps: " << total.Runs << " faults injected, "
            << total.Failed << " engine errors, " << total.LeftInCommit
            << " files left in a commit\n";
  EXPECT_GT(total.Failed, 0);
}

}  // namespace
}  // namespace qdx::reliability
