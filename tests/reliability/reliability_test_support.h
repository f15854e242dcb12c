// The fixture of the fault and out-of-memory sweeps: a database at the start of a scripted
// workload, the script run under whatever the test arranged, and the check that the file, once
// the trouble is gone, opens, passes the checks of `qdx check` and holds every step the script
// saw acknowledged (and the step that failed either whole or not at all).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/memory.h"
#include "tests/disk/disk_test_support.h"
#include "tests/reliability/engine_session.h"
#include "tests/reliability/workload.h"
#include "tools/qdx/qdx_commands.h"

namespace qdx::reliability {

// Long forms of the sweeps run with QDX_SOAK set (scripts/soak).
inline bool Soak() { return std::getenv("QDX_SOAK") != nullptr; }

class ScriptedWorkloadTest : public testing::TempDirTest {
 protected:
  static constexpr uint64_t kSeed = 20261210;
  static constexpr int kStepsAfterRecovery = 3;
  static constexpr int32_t kRefused = -1;

  // How one run of the script ended.
  struct Outcome {
    int64_t Acknowledged = 0;
    int32_t ErrorCode = 0;  // 0: every step ran; kRefused: a record change answered false
    std::string Message;
  };

  // What the recovered files showed over a sweep.
  struct Tally {
    int64_t Runs = 0;
    int64_t Failed = 0;          // the script met an engine error
    int64_t InFlightLanded = 0;  // the failing step was found whole
    int64_t LeftInCommit = 0;    // the file carries the commit marker (repair's case)
  };

  // The workloads every sweep runs, one after the other.
  static std::vector<std::string> Workloads() { return WorkloadNames(); }

  // Makes the database that `workload`'s script starts from.
  void Start(const std::string& workload) {
    workload_ = MakeWorkload(workload);
    ASSERT_NE(workload_, nullptr);
    workload_->LockRetryCount = 2;
    workload_->LockRetryPause = 1;
    workload_->CreateDatabase(path);
    start_ = ReadAll();
  }

  void Restore() { WriteAll(start_); }

  // Connects (in multi-user mode when `multiUser`) and runs `steps` steps; an engine error ends
  // the run. Anything else is a fault.
  Outcome RunScript(int64_t steps, bool multiUser = false) {
    Outcome outcome;
    try {
      auto session = workload_->Connect(path, multiUser, 0, kSeed, 0);
      for (int64_t i = 0; i < steps; ++i) {
        session->Step();
        ++outcome.Acknowledged;
      }
    } catch (const EQDXException& e) {
      outcome.ErrorCode = e.ErrorCode();
      outcome.Message = e.Message();
      EXPECT_NE(e.ErrorCode(), 0);
      EXPECT_FALSE(e.Message().empty());
    } catch (const EQdxWorkloadRefused& e) {
      outcome.ErrorCode = kRefused;
      outcome.Message = e.what();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "not an engine error: " << e.what();
    }
    return outcome;
  }

  // With the trouble gone: the file opens as the program would, checks clean and holds the
  // acknowledged steps. A file that carries the commit marker is left to the repair.
  void ExpectRecovered(const Outcome& outcome, Tally& tally) {
    ++tally.Runs;
    if (outcome.ErrorCode != 0) ++tally.Failed;
    if (LeftInCommit(path)) {
      ++tally.LeftInCommit;
      return;
    }
    try {
      tools::CheckDatabase(path, "");
      int64_t done = outcome.Acknowledged;
      {
        auto reader = workload_->Connect(path, false, 0, kSeed, 0);
        const TState found = reader->Read(0);
        if (found == workload_->Expected(kSeed, 0, done + 1)) {
          ++tally.InFlightLanded;
          ++done;
        } else {
          EXPECT_EQ(found, workload_->Expected(kSeed, 0, done))
              << "after " << done << " acknowledged steps";
        }
      }
      // The file stays usable: the script goes on from where the fault stopped it.
      auto session = workload_->Connect(path, false, 0, kSeed, done);
      for (int i = 0; i < kStepsAfterRecovery; ++i) session->Step();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the file does not recover: " << e.what();
    }
  }

  std::unique_ptr<TWorkload> workload_;
  std::vector<uint8_t> start_;
};

}  // namespace qdx::reliability
