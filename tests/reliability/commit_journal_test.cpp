// The commit's rollback journal, driven through the reliability workloads: a crash at every write
// and flush of a script's commits, a power cut at any write with the unflushed sectors lost at
// random, hot journals that are damaged or belong to another commit, and a reader in another
// process while commits run and die.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/disk/commit_journal.h"
#include "engine/foundation/crc32.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "tests/fault_file_system.h"
#include "tests/reliability/reliability_test_support.h"

namespace qdx::reliability {
namespace {

using testing::FaultFileSystem;
using testing::FileCall;
using testing::PowerCutFileSystem;

class CommitJournalTest : public ScriptedWorkloadTest {
 protected:
  static constexpr int64_t kScriptSteps = 3;

  std::string JournalPath() const { return TQDXCommitJournal::PathFor(path); }

  void RestoreStart() {
    Restore();
    std::filesystem::remove(JournalPath());
  }

  std::vector<uint8_t> ReadJournal() const {
    std::ifstream in(JournalPath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteJournal(const std::vector<uint8_t>& bytes) const {
    std::ofstream out(JournalPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  // The file, opened as the program opens it (the first open in multi-user mode when
  // `multiUser`), asks for no repair, checks clean and holds every acknowledged step, the step
  // in flight whole or not at all. Answers whether it landed.
  bool ExpectWholeOrAbsent(int64_t acknowledged, bool multiUser = false) {
    try {
      {
        auto session = workload_->Connect(path, multiUser, 0, kSeed, 0);
        EXPECT_FALSE(session->RepairNeeded()) << "after " << acknowledged << " steps";
        if (session->RepairNeeded()) return false;
      }
      EXPECT_FALSE(LeftInCommit(path));
      tools::CheckDatabase(path, "");
      auto reader = workload_->Connect(path, false, 0, kSeed, 0);
      const TState found = reader->Read(0);
      if (found == workload_->Expected(kSeed, 0, acknowledged + 1)) return true;
      EXPECT_EQ(found, workload_->Expected(kSeed, 0, acknowledged))
          << "after " << acknowledged << " acknowledged steps";
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the file does not reopen whole: " << e.what();
    }
    return false;
  }
  // The power goes at a random write of the script, run in single-user or multi-user mode; the
  // writes since each file's last flush reach the disk in part, sector by sector at random.
  void RunPowerCuts(bool multiUser) {
    const char* trialsText = std::getenv("QDX_POWER_CUTS");
    const int64_t trials = trialsText != nullptr ? std::atoll(trialsText) : (Soak() ? 500 : 20);
    const char* mode = multiUser ? "multi-user" : "single-user";
    for (const std::string& workload : Workloads()) {
      SCOPED_TRACE(workload);
      Start(workload);
      PowerCutFileSystem counter(1);
      {
        platform::FileSystemScope scope(counter);
        ASSERT_EQ(RunScript(kScriptSteps, multiUser).ErrorCode, 0);
      }
      const int64_t writes = counter.Writes();
      ASSERT_GT(writes, 0);
      std::mt19937_64 random(kSeed);
      int64_t acknowledged = 0, landed = 0, sectorsLost = 0, leftInCommit = 0;
      for (int64_t trial = 0; trial < trials; ++trial) {
        const uint64_t seed = random();
        SCOPED_TRACE("trial " + std::to_string(trial) + ", seed " + std::to_string(seed));
        RestoreStart();
        PowerCutFileSystem power(seed);
        power.CutAfterWrites(1 + static_cast<int64_t>(seed % static_cast<uint64_t>(writes)));
        Outcome outcome;
        {
          platform::FileSystemScope scope(power);
          outcome = RunScript(kScriptSteps, multiUser);
        }
        sectorsLost += power.Settle();
        if (LeftInCommit(path)) ++leftInCommit;
        acknowledged += outcome.Acknowledged;
        if (ExpectWholeOrAbsent(outcome.Acknowledged, multiUser)) ++landed;
        if (HasFailure()) return;
      }
      std::cout << "power cuts, " << mode << ", " << workload << ": " << trials << " trials, "
                << acknowledged << " acknowledged steps, " << landed
                << " steps in flight found whole, " << leftInCommit
                << " left inside a commit and rolled back, " << sectorsLost
                << " unflushed sectors lost, 0 repairs needed\n";
    }
  }
};

// Nothing acknowledged is lost and nothing is torn: the free-space maps an allocation changes
// land or vanish with the commit that uses the pages.
TEST_F(CommitJournalTest, APowerCutLosesNoAcknowledgedStepAndTearsNone) {
  RunPowerCuts(/*multiUser=*/false);
}

// In multi-user mode an allocation writes the maps and the header's page counts at once, for
// the other processes, outside any commit: a cut before the transaction's commit must leave
// them in an order the checks accept (no extent marked full over a free page, no page count
// past the pages written), and the acknowledged steps whole.
TEST_F(CommitJournalTest, APowerCutInMultiUserModeLeavesTheMapsSound) {
  RunPowerCuts(/*multiUser=*/true);
}

// Every write, flush and size change of the script fails in turn, for good (the program can
// write nothing more: its commit's own rollback fails too and the next open finds the journal)
// or once (the commit rolls the file back itself).
TEST_F(CommitJournalTest, AFailureAtAnyWriteOrFlushLeavesTheStepWholeOrAbsent) {
  struct Mode {
    const char* Name;
    FileCall Call;
    int64_t Times;
  };
  const Mode modes[] = {
      {"write fails for good", FileCall::Write, FaultFileSystem::kForever},
      {"write fails once", FileCall::Write, 1},
      {"flush fails for good", FileCall::Flush, FaultFileSystem::kForever},
      {"flush fails once", FileCall::Flush, 1},
      {"size change fails for good", FileCall::Truncate, FaultFileSystem::kForever},
  };
  for (const std::string& workload : Workloads()) {
    SCOPED_TRACE(workload);
    Start(workload);
    FaultFileSystem counter;
    {
      platform::FileSystemScope scope(counter);
      ASSERT_EQ(RunScript(kScriptSteps).ErrorCode, 0);
    }
    for (const Mode& mode : modes) {
      SCOPED_TRACE(mode.Name);
      int64_t leftHot = 0;
      for (int64_t n = 1; n <= counter.Count(mode.Call); ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        RestoreStart();
        FaultFileSystem faults;
        faults.Fail(mode.Call, n, EIO, mode.Times);
        Outcome outcome;
        {
          platform::FileSystemScope scope(faults);
          outcome = RunScript(kScriptSteps);
        }
        if (LeftInCommit(path)) ++leftHot;
        ExpectWholeOrAbsent(outcome.Acknowledged);
        if (HasFailure()) return;
      }
      // Failures for good inside a commit must have left journals for the open to roll back.
      if (mode.Times == FaultFileSystem::kForever && mode.Call == FileCall::Write) {
        EXPECT_GT(leftHot, 0);
      }
    }
  }
}

// A hot journal the open cannot trust is left alone: the file still asks for a repair, and no
// commit writes over its marker.
TEST_F(CommitJournalTest, ADamagedOrForeignJournalIsNotRolledBack) {
  Start("files");
  FaultFileSystem counter;
  {
    platform::FileSystemScope scope(counter);
    ASSERT_EQ(RunScript(1).ErrorCode, 0);
  }
  // The first write of the second step's commit that leaves the marker and a journal behind.
  std::vector<uint8_t> database, journal;
  int64_t acknowledged = 0;
  for (int64_t n = counter.Count(FileCall::Write) + 1; database.empty(); ++n) {
    ASSERT_LT(n, counter.Count(FileCall::Write) * 4) << "no write left a hot journal";
    RestoreStart();
    FaultFileSystem faults;
    faults.Fail(FileCall::Write, n, EIO, FaultFileSystem::kForever);
    {
      platform::FileSystemScope scope(faults);
      acknowledged = RunScript(2).Acknowledged;
    }
    if (LeftInCommit(path) && std::filesystem::exists(JournalPath()) &&
        std::filesystem::file_size(JournalPath()) > 0) {
      database = ReadAll();
      journal = ReadJournal();
    }
  }
  const auto resealed = [](std::vector<uint8_t> bytes, size_t offset, int32_t value) {
    le::Store(bytes.data() + offset, value);
    le::Store(bytes.data() + 116, RawCRC32(std::span<const uint8_t>(bytes).first(116)));
    return bytes;
  };
  const int32_t counterInJournal = le::Load<int32_t>(journal.data() + 16);
  const uint16_t pageSize = le::Load<uint16_t>(journal.data() + 10);
  const int64_t fileSize = le::Load<int64_t>(journal.data() + 24);
  const size_t recordSize = 12 + size_t{pageSize};
  ASSERT_GE(le::Load<int32_t>(journal.data() + 20), 2) << "a journal of one page has no middle";
  std::vector<uint8_t> flipped = journal;
  flipped[12] ^= 0x40;
  const auto resealedSize = [&](int64_t size) {
    std::vector<uint8_t> bytes = journal;
    le::Store(bytes.data() + 24, size);
    return resealed(bytes, 20, le::Load<int32_t>(journal.data() + 20));
  };
  std::vector<uint8_t> otherPageSize = journal;
  le::Store(otherPageSize.data() + 10, static_cast<uint16_t>(pageSize * 2));
  otherPageSize = resealed(otherPageSize, 20, le::Load<int32_t>(journal.data() + 20));
  // The second record: its image damaged, or the journal cut inside it.
  std::vector<uint8_t> damagedRecord = journal;
  damagedRecord[TQDXCommitJournal::kRecordsOffset + recordSize + 8 + 100] ^= 0x01;
  const std::vector<uint8_t> cutRecord(
      journal.begin(), journal.begin() + TQDXCommitJournal::kRecordsOffset + recordSize + 100);
  struct Case {
    const char* Name;
    std::vector<uint8_t> Journal;
    bool Present;
    bool RolledBack;
  };
  const Case cases[] = {
      {"the journal as the crash left it", journal, true, true},
      {"a byte of its header changed", flipped, true, false},
      {"another ChangeCounter", resealed(journal, 16, counterInJournal + 1), true, false},
      {"another header position", resealed(journal, 32, 4096), true, false},
      {"another page size", otherPageSize, true, false},
      {"a file size that cuts pages the old header counts", resealedSize(fileSize / 2), true,
       false},
      // Restoring must not grow the file to whatever the journal names.
      {"a file size far past the file", resealedSize(int64_t{1} << 40), true, true},
      {"a damaged record in the middle", damagedRecord, true, false},
      {"cut inside a record in the middle", cutRecord, true, false},
      {"cut to nothing", {}, true, false},
      {"missing", {}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteAll(database);
    std::filesystem::remove(JournalPath());
    if (c.Present) WriteJournal(c.Journal);
    auto session = workload_->Connect(path, false, 0, kSeed, acknowledged);
    EXPECT_EQ(session->RepairNeeded(), !c.RolledBack);
    EXPECT_LE(std::filesystem::file_size(path), std::max<size_t>(database.size(), fileSize));
    if (c.RolledBack) continue;
    EXPECT_TRUE(LeftInCommit(path));
    // A journal the open would not use is kept as it was, for whoever repairs the file.
    if (c.Present) {
      EXPECT_EQ(ReadJournal(), c.Journal);
    }
    try {
      session->Step();
      ADD_FAILURE() << "a commit wrote over the marker of an unfinished one";
    } catch (const EQDXException& e) {
      EXPECT_EQ(e.ErrorCode(), msg::kCommitOverUnfinishedCommit.Code) << e.Message();
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
    EXPECT_TRUE(LeftInCommit(path));
  }
}

// A reader in another process, in multi-user mode, while a writer commits: every read shows the
// writer's table after a whole number of steps. Then the writer is killed, inside a commit or
// not, and the reader's own process rolls the dead commit back before it reads again. The
// workload's read holds one table lock over the table and each index.
TEST_F(CommitJournalTest, AReaderInAnotherProcessSeesOnlyWholeCommits) {
  Start("records");
  workload_->LockRetryCount = 500;
  workload_->LockRetryPause = 2;
  std::map<int64_t, TState> expected;
  const auto expectedAt = [&](int64_t steps) -> const TState& {
    auto it = expected.find(steps);
    if (it == expected.end()) it = expected.emplace(steps, workload_->Expected(kSeed, 1, steps)).first;
    return it->second;
  };
  auto reader = workload_->Connect(path, true, 0, kSeed, 0);
  int64_t steps = 0;
  std::mt19937_64 random(kSeed);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::cout.flush();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      // The writer waits longer than the reader: on a loaded machine a read under the
      // sanitizers can hold its lock for well over a second, and only the reader may give up.
      workload_->LockRetryCount = 5000;
      try {
        auto writer = workload_->Connect(path, true, 1, kSeed, steps);
        for (;;) {
          writer->Step();
          const int64_t done = writer->StepsDone();
          if (::write(fds[1], &done, sizeof done) != sizeof done) ::_exit(4);
        }
      } catch (const std::exception& e) {
        std::fprintf(stderr, "the writer stopped: %s\n", e.what());
      } catch (...) {
      }
      ::_exit(3);
    }
    ::close(fds[1]);
    int64_t acknowledged = steps;
    const auto drain = [&](int timeoutMs) {
      pollfd poll{fds[0], POLLIN, 0};
      while (::poll(&poll, 1, timeoutMs) > 0 && (poll.revents & (POLLIN | POLLHUP)) != 0) {
        int64_t done = 0;
        if (::read(fds[0], &done, sizeof done) != sizeof done) return;
        acknowledged = done;
        timeoutMs = 0;
      }
    };
    drain(5000);
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(300 + static_cast<int>(random() % 400));
    int64_t reads = 0;
    while (std::chrono::steady_clock::now() < until && !HasFailure()) {
      drain(0);
      const int64_t before = acknowledged;
      TState found;
      try {
        found = reader->Read(1);
      } catch (const EQDXException&) {  // a lock wait ran out while the writer held the table
        continue;
      }
      drain(0);
      bool whole = false;
      for (int64_t k = before; k <= acknowledged + 1 && !whole; ++k) whole = found == expectedAt(k);
      EXPECT_TRUE(whole) << "a read between " << before << " and " << acknowledged
                         << " acknowledged steps saw a state of no step" << [&] {
                              std::string text;
                              for (int64_t k = before; k <= acknowledged + 1; ++k) {
                                const TState& want = expectedAt(k);
                                text += "\n step " + std::to_string(k) + ":";
                                for (const auto& [key, value] : found) {
                                  auto it = want.find(key);
                                  if (it == want.end()) text += " extra " + key;
                                  else if (it->second != value) text += " differs " + key;
                                }
                                for (const auto& [key, value] : want) {
                                  if (!found.contains(key)) text += " missing " + key;
                                }
                              }
                              return text;
                            }();
      ++reads;
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own";
    int64_t done = 0;
    while (::read(fds[0], &done, sizeof done) == sizeof done) acknowledged = done;
    ::close(fds[0]);
    EXPECT_GT(reads, 0);
    const TState found = reader->Read(1);
    if (found == expectedAt(acknowledged + 1)) {
      steps = acknowledged + 1;
    } else {
      ASSERT_EQ(found, expectedAt(acknowledged)) << "after the kill";
      steps = acknowledged;
    }
  }
  reader.reset();
  auto session = workload_->Connect(path, false, 0, kSeed, 0);
  EXPECT_FALSE(session->RepairNeeded());
  session.reset();
  tools::CheckDatabase(path, "");
}

}  // namespace
}  // namespace qdx::reliability
