// Multi-process torture through the engine session and cursor, as the program edits records.
//
// Processes in multi-user mode add amounts to the same few records of one table. A change is an
// edit and a post, retried while another process holds the record or the table or changed the
// record meanwhile; some changes go in twos and threes inside a transaction, rolled back and
// tried again when a lock stays refused. Each child reports through a pipe the changes it is
// about to make and then that they were acknowledged (or abandoned with a rollback). The parent
// kills some children with SIGKILL at a random moment and lets the others finish.
//
// Afterwards every record must hold its amount before the round plus the acknowledged changes,
// plus the changes in flight of killed children, each group whole or not at all; and nothing of
// the children may be left: every session slot is free, every record can be edited at once and
// the table can be opened exclusively. A round whose kill fell inside a commit leaves the commit
// marker (the repair's case, see the crash loop): it is counted, and the next round starts from
// a new database. The long form runs with QDX_SOAK set (scripts/soak).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/disk/disk_database_data.h"
#include "engine/foundation/except.h"
#include "tests/dataset/local_engine_support.h"
#include "tests/reliability/engine_session.h"
#include "tests/reliability/reliability_test_support.h"

namespace qdx::reliability {
namespace {

using testing::kAmount;
using testing::TableCursor;

constexpr int32_t kRecords = 4;
constexpr int32_t kStartAmount = 1000;

std::string RecordName(int32_t record) { return "R" + std::to_string(record); }

// What a child writes to its pipe; 16 bytes, so each write arrives whole.
struct TMessage {
  enum Kind : int32_t { Intent = 1, Acknowledged = 2, Abandoned = 3, Refused = 4 };
  int32_t Kind = 0;
  int32_t Record = 0;
  int32_t Delta = 0;
  int32_t Unused = 0;
};

struct TChange {
  int32_t Record = 0;
  int32_t Delta = 0;
};

// The children's lock waits: the record and table locks are tried briefly and the child retries
// on its own, as a user would; the database lock of a commit is waited for long, as the
// program waits for it.
LocalLockTiming ChildLockTiming() {
  LocalLockTiming timing = testing::ShortLockTiming();
  timing.DatabaseRetryCount = 5000;
  timing.DatabaseRetryPauseMs = 1;
  timing.Commit.CommitTries = 500;
  timing.Commit.CommitPauseMs = 2;
  return timing;
}

class TChild {
 public:
  TChild(const std::string& path, uint64_t seed, int fd) : random_(seed), fd_(fd) {
    session_.FileName = path;
    session_.SessionName = "Kind";
    session_.SetMultiUser(true);
    session_.LockTiming = ChildLockTiming();
    session_.SetConnected(true);
    cursor_ = std::make_unique<TableCursor>(session_, "Kosten");
    cursor_->Open();
  }

  // Runs `groups` groups of changes (forever with a negative count); false on a fault.
  bool Run(int64_t groups) {
    for (int64_t done = 0; groups < 0 || done < groups; ++done) {
      const bool transaction = random_() % 3 == 0;
      std::vector<TChange> group(transaction ? 2 + random_() % 2 : 1);
      for (TChange& change : group) {
        change.Record = static_cast<int32_t>(random_() % kRecords);
        change.Delta = static_cast<int32_t>(random_() % 100) - 50;
      }
      if (!Apply(group, transaction)) return false;
    }
    return true;
  }

 private:
  bool Apply(const std::vector<TChange>& group, bool transaction) {
    for (int attempt = 0; attempt < 500; ++attempt) {
      for (const TChange& change : group) Send({TMessage::Intent, change.Record, change.Delta});
      if (!transaction) {
        if (!Change(group.front(), 5000)) return Fault("a change found no way through");
        Send({TMessage::Acknowledged});
        return true;
      }
      session_.StartTransaction();
      bool applied = true;
      for (const TChange& change : group) applied = applied && Change(change, 20);
      if (applied) {
        try {
          session_.Commit(true);
          Send({TMessage::Acknowledged});
          return true;
        } catch (const EQDXException&) {
          // The commit locks stayed taken: rolled back below, and tried again.
        }
      }
      session_.Rollback();
      Send({TMessage::Abandoned});
      Pause();
    }
    return Fault("a transaction found no way through");
  }

  // One edit and post, tried up to `tries` times; false when every try was refused.
  bool Change(const TChange& change, int tries) {
    TableCursor& cursor = *cursor_;
    for (int attempt = 0; attempt < tries; ++attempt) {
      if (!cursor.GoTo(RecordName(change.Record))) return false;
      if (cursor.Edit() == crOK) {
        cursor.SetInt(kAmount, static_cast<int32_t>(cursor.Int(kAmount) + change.Delta));
        if (cursor.Post() == crOK) return true;
        cursor.CancelRecord(false);
      }
      // Another process held the record or the table, or changed the record meanwhile.
      Send({TMessage::Refused});
      Pause();
    }
    return false;
  }

  void Pause() { std::this_thread::sleep_for(std::chrono::microseconds(random_() % 2000)); }

  void Send(const TMessage& message) {
    if (::write(fd_, &message, sizeof message) != sizeof message) std::_Exit(4);
  }

  static bool Fault(const char* text) {
    std::fprintf(stderr, "torture child: %s\n", text);
    return false;
  }

  TQDXLocalSession session_;
  std::unique_ptr<TableCursor> cursor_;
  std::mt19937_64 random_;
  int fd_;
};

// What the parent knows of one child.
struct TChildState {
  pid_t Pid = -1;
  int Fd = -1;
  bool ToKill = false;
  int64_t KillAfter = 0;  // acknowledged groups
  bool Killed = false;
  int64_t Acknowledged = 0;
  std::vector<TChange> Pending;  // the group in flight
};

struct TRoundSettings {
  int Children = 4;
  int Killed = 2;            // the first ones are killed
  int64_t Groups = 40;       // of each child that finishes
  int64_t MaxKillAfter = 30;
};

class CursorTortureTest : public testing::LocalEngineTest {
 protected:
  void SetUp() override {
    LocalEngineTest::SetUp();
    NewTable();
  }

  void NewTable() {
    auto session = Connect(true);
    CreateKosten(*session);
    TableCursor cursor(*session, "Kosten");
    cursor.Open();
    for (int32_t r = 0; r < kRecords; ++r) {
      ASSERT_EQ(cursor.Insert(RecordName(r), kStartAmount), crOK);
    }
    amounts_.assign(kRecords, kStartAmount);
  }

  void NewDatabase() {
    std::remove(path.c_str());
    TQDXLocalSession creator;
    creator.FileName = path;
    creator.CreateDatabase();
    NewTable();
  }

  // Runs one round; answers false when the file was left inside a commit.
  bool Round(const TRoundSettings& settings, uint64_t seed);

  // No session slot, record lock or table lock of a child is left.
  void ExpectNoLockLeft() {
    {
      TQDXDiskDatabaseData data(path);
      TQDXBaseSession session;
      data.AddSession(session);
      EXPECT_TRUE(data.AllSlotsLocked()) << "a session slot is still taken";
      EXPECT_FALSE(data.ReadOnly);
      data.RemoveSession(session);
    }
    auto session = Connect(true);
    {
      TableCursor cursor(*session, "Kosten");
      cursor.Open();
      for (int32_t r = 0; r < kRecords; ++r) {
        ASSERT_TRUE(cursor.GoTo(RecordName(r)));
        EXPECT_EQ(cursor.Edit(), crOK) << RecordName(r) << " is still locked";
        cursor.CancelRecord(false);
      }
    }
    TableCursor exclusive(*session, "Kosten");
    exclusive.Exclusive = true;
    EXPECT_NO_THROW(exclusive.Open()) << "the table is still open elsewhere";
  }

  std::vector<int64_t> ReadAmounts() {
    auto session = Connect(true);
    TableCursor cursor(*session, "Kosten");
    cursor.Open();
    std::vector<int64_t> amounts;
    for (int32_t r = 0; r < kRecords; ++r) {
      EXPECT_TRUE(cursor.GoTo(RecordName(r)));
      amounts.push_back(cursor.Int(kAmount));
    }
    return amounts;
  }

  std::vector<int64_t> amounts_;
  int64_t acknowledged_ = 0;
  int64_t inFlightLanded_ = 0;
  int64_t abandoned_ = 0;
  int64_t refused_ = 0;
};

bool CursorTortureTest::Round(const TRoundSettings& settings, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<TChildState> children(static_cast<size_t>(settings.Children));
  for (int c = 0; c < settings.Children; ++c) {
    TChildState& child = children[c];
    int fds[2];
    if (::pipe(fds) != 0) {
      ADD_FAILURE() << "pipe";
      return true;
    }
    child.ToKill = c < settings.Killed;
    child.KillAfter = static_cast<int64_t>(random() % (settings.MaxKillAfter + 1));
    const uint64_t childSeed = random();
    std::cout.flush();
    std::cerr.flush();
    child.Pid = ::fork();
    if (child.Pid == 0) {
      ::close(fds[0]);
      for (int o = 0; o < c; ++o) ::close(children[o].Fd);
      bool passed = false;
      try {
        TChild body(path, childSeed, fds[1]);
        passed = body.Run(child.ToKill ? -1 : settings.Groups);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "torture child: %s\n", e.what());
      }
      std::_Exit(passed ? 0 : 3);
    }
    ::close(fds[1]);
    child.Fd = fds[0];
  }

  // Reads the children's reports; kills the marked ones once they acknowledged enough.
  std::vector<int64_t> acked(kRecords, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(Soak() ? 600 : 120);
  for (;;) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the children made no end";
      for (TChildState& child : children) ::kill(child.Pid, SIGKILL);
    }
    std::vector<pollfd> polls;
    std::vector<TChildState*> polled;
    for (TChildState& child : children) {
      if (child.Fd < 0) continue;
      polls.push_back({child.Fd, POLLIN, 0});
      polled.push_back(&child);
    }
    if (polls.empty()) break;
    if (::poll(polls.data(), polls.size(), 100) < 0 && errno != EINTR) break;
    for (size_t i = 0; i < polls.size(); ++i) {
      TChildState& child = *polled[i];
      if ((polls[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      TMessage message;
      if (::read(child.Fd, &message, sizeof message) != sizeof message) {
        ::close(child.Fd);
        child.Fd = -1;
        continue;
      }
      switch (message.Kind) {
        case TMessage::Intent:
          child.Pending.push_back({message.Record, message.Delta});
          break;
        case TMessage::Acknowledged:
          for (const TChange& change : child.Pending) acked[change.Record] += change.Delta;
          child.Pending.clear();
          ++child.Acknowledged;
          ++acknowledged_;
          break;
        case TMessage::Abandoned:
          child.Pending.clear();
          ++abandoned_;
          break;
        case TMessage::Refused:
          ++refused_;
          break;
      }
      if (child.ToKill && !child.Killed && child.Acknowledged >= child.KillAfter) {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        ::kill(child.Pid, SIGKILL);
        child.Killed = true;
      }
    }
  }
  for (TChildState& child : children) {
    int status = 0;
    ::waitpid(child.Pid, &status, 0);
    if (child.Killed) {
      EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "a child ended with status " << status;
    }
  }

  if (LeftInCommit(path)) return false;
  ExpectNoLockLeft();
  const std::vector<int64_t> found = ReadAmounts();
  // The groups in flight of killed children: each one landed whole or not at all.
  std::vector<const std::vector<TChange>*> inFlight;
  for (const TChildState& child : children) {
    if (child.Killed && !child.Pending.empty()) inFlight.push_back(&child.Pending);
  }
  bool explained = false;
  for (uint32_t landed = 0; landed < (1u << inFlight.size()) && !explained; ++landed) {
    std::vector<int64_t> expected(kRecords);
    for (int32_t r = 0; r < kRecords; ++r) expected[r] = amounts_[r] + acked[r];
    for (size_t g = 0; g < inFlight.size(); ++g) {
      if ((landed >> g & 1) == 0) continue;
      for (const TChange& change : *inFlight[g]) expected[change.Record] += change.Delta;
    }
    if (expected == found) {
      explained = true;
      inFlightLanded_ += __builtin_popcount(landed);
    }
  }
  EXPECT_TRUE(explained) << "the amounts are not the sum of the acknowledged changes"
                         << ::testing::PrintToString(found) << " from "
                         << ::testing::PrintToString(amounts_) << " + "
                         << ::testing::PrintToString(acked);
  amounts_ = found;
  return true;
}

TEST_F(CursorTortureTest, AmountsAreTheSumOfAcknowledgedChangesAndNoLockIsLeft) {
  TRoundSettings settings;
  int wanted = 2;
  int maxRounds = 8;
  if (Soak()) {
    settings = {6, 3, 200, 150};
    wanted = 20;
    maxRounds = 80;
  }
  int verified = 0;
  int leftInCommit = 0;
  for (int round = 0; round < maxRounds && verified < wanted && !HasFailure(); ++round) {
    if (Round(settings, 20261210 + static_cast<uint64_t>(round))) {
      ++verified;
    } else {
      ++leftInCommit;
      NewDatabase();
    }
  }
  EXPECT_EQ(verified, wanted);
  std::cout << "cursor torture: " << verified << " rounds compared, " << leftInCommit
            << " left in a commit, " << acknowledged_ << " acknowledged groups, "
            << inFlightLanded_ << " groups in flight found whole, " << refused_
            << " edits refused and retried, " << abandoned_
            << " transactions abandoned and retried\n";
}

}  // namespace
}  // namespace qdx::reliability
