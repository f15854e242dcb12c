// The crash loop: a child process runs a workload and reports each acknowledged step through a
// pipe; the parent kills it with SIGKILL at a random moment, reopens the file as the program
// would (a commit cut off by the kill is rolled back from its journal by the open; a file that
// still asks for a repair is a fault), checks it as `qdx check` does and compares each worker's
// part with the model: every acknowledged step must be there, and the step in flight either
// whole or not at all.
//
//   qdx_crash_loop [--trials N] [--workload NAME] [--workers W] [--seed S] [--dir DIR]
//                  [--max-acks K] [--fresh-after STEPS]
//
// Trials go on with the file the previous trial left, so damage would pile up; a new database
// is made when a worker passed --fresh-after steps.
// With more than one worker the children share the file in multi-user mode. Exit status 0 when
// every trial passed; on a fault the file is kept beside the database as failed-TRIAL.qdx.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/foundation/except.h"
#include "tests/reliability/engine_session.h"
#include "tests/reliability/workload.h"
#include "tools/qdx/qdx_commands.h"

namespace qdx::reliability {
namespace {

struct TOptions {
  int64_t Trials = 200;
  std::string Workload = "files";
  int Workers = 1;
  uint64_t Seed = 0;
  std::string Dir;
  int MaxAcks = 40;
  int64_t FreshAfter = 150;
};

struct TTotals {
  int64_t Trials = 0;
  int64_t Acknowledged = 0;
  int64_t InFlightLanded = 0;  // the step in flight was found whole
  int64_t RolledBack = 0;      // kills inside a commit, rolled back from the journal by the open
  int64_t FreshDatabases = 0;
};

[[noreturn]] void Usage() {
  std::cerr << "usage: qdx_crash_loop [--trials N] [--workload NAME] [--workers W] [--seed S]"
               " [--dir DIR] [--max-acks K] [--fresh-after STEPS]\n";
  std::exit(2);
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions options;
  options.Seed = static_cast<uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) Usage();
    const std::string value = argv[++i];
    if (arg == "--trials") {
      options.Trials = std::stoll(value);
    } else if (arg == "--workload") {
      options.Workload = value;
    } else if (arg == "--workers") {
      options.Workers = std::stoi(value);
    } else if (arg == "--seed") {
      options.Seed = std::stoull(value);
    } else if (arg == "--dir") {
      options.Dir = value;
    } else if (arg == "--max-acks") {
      options.MaxAcks = std::stoi(value);
    } else if (arg == "--fresh-after") {
      options.FreshAfter = std::stoll(value);
    } else {
      Usage();
    }
  }
  if (options.Workers < 1 || options.Trials < 0 || options.MaxAcks < 0) Usage();
  return options;
}

// The child: runs steps until killed, writing each acknowledged step count to `fd`.
[[noreturn]] void RunChild(const TWorkload& workload, const std::string& path, bool multiUser,
                           int worker, uint64_t seed, int64_t stepsDone, int fd) {
  try {
    auto session = workload.Connect(path, multiUser, worker, seed, stepsDone);
    for (;;) {
      session->Step();
      const int64_t done = session->StepsDone();
      if (::write(fd, &done, sizeof done) != sizeof done) ::_exit(4);
    }
  } catch (const EQDXException& e) {
    std::fprintf(stderr, "worker %d: engine error %d: %s\n", worker, e.ErrorCode(),
                 e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "worker %d: %s\n", worker, e.what());
  }
  ::_exit(3);
}

class TCrashLoop {
 public:
  TCrashLoop(const TOptions& options, const TWorkload& workload)
      : options_(options), workload_(workload), random_(options.Seed) {
    path_ = (std::filesystem::path(options.Dir) / "crash.qdx").string();
    steps_.assign(static_cast<size_t>(options.Workers), 0);
  }

  // Answers false after printing the fault.
  bool Run() {
    const auto start = std::chrono::steady_clock::now();
    bool fresh = true;
    for (int64_t trial = 1; trial <= options_.Trials; ++trial) {
      if (fresh) NewDatabase();
      std::string fault;
      if (!Trial(fault, fresh)) {
        const std::string kept =
            (std::filesystem::path(options_.Dir) / ("failed-" + std::to_string(trial) + ".qdx"))
                .string();
        std::filesystem::copy_file(path_, kept,
                                   std::filesystem::copy_options::overwrite_existing);
        std::cerr << "qdx_crash_loop: trial " << trial << " (seed " << options_.Seed
                  << ", database seed " << databaseSeed_ << "): " << fault << "\n  file kept as "
                  << kept << "\n";
        return false;
      }
      ++totals_.Trials;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "qdx_crash_loop: workload " << workload_.Name() << ", " << options_.Workers
              << " worker(s), seed " << options_.Seed << ": " << totals_.Trials << " trials, "
              << totals_.Acknowledged << " acknowledged steps, " << totals_.InFlightLanded
              << " steps in flight found whole, " << totals_.RolledBack
              << " left inside a commit and rolled back, 0 repairs needed, "
              << totals_.FreshDatabases << " databases, " << seconds << " s, no fault\n";
    return true;
  }

 private:
  void NewDatabase() {
    databaseSeed_ = random_();
    workload_.CreateDatabase(path_);
    std::fill(steps_.begin(), steps_.end(), 0);
    ++totals_.FreshDatabases;
  }

  bool Trial(std::string& fault, bool& fresh) {
    fresh = false;
    const bool multiUser = options_.Workers > 1;
    std::vector<pid_t> children;
    std::vector<int> pipes;
    for (int w = 0; w < options_.Workers; ++w) {
      int fds[2];
      if (::pipe(fds) != 0) return Fail(fault, "pipe: " + std::string(std::strerror(errno)));
      std::cout.flush();
      std::cerr.flush();
      const pid_t pid = ::fork();
      if (pid < 0) return Fail(fault, "fork: " + std::string(std::strerror(errno)));
      if (pid == 0) {
        ::close(fds[0]);
        for (int fd : pipes) ::close(fd);
        RunChild(workload_, path_, multiUser, w, databaseSeed_, steps_[w], fds[1]);
      }
      ::close(fds[1]);
      children.push_back(pid);
      pipes.push_back(fds[0]);
    }

    // Let the children acknowledge a random number of steps, then wait a random moment more.
    std::vector<int64_t> acknowledged = steps_;
    const int target = static_cast<int>(random_() % (options_.MaxAcks + 1));
    const auto pause = std::chrono::microseconds(random_() % 3000);
    std::string childFault;
    int seen = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (seen < target && childFault.empty()) {
      if (std::chrono::steady_clock::now() > deadline) childFault = "no step for 60 s";
      std::vector<pollfd> polls;
      for (int fd : pipes) polls.push_back({fd, POLLIN, 0});
      if (::poll(polls.data(), polls.size(), 100) < 0 && errno != EINTR) break;
      for (size_t w = 0; w < polls.size(); ++w) {
        if ((polls[w].revents & (POLLIN | POLLHUP)) == 0) continue;
        int64_t done = 0;
        const ssize_t got = ::read(pipes[w], &done, sizeof done);
        if (got == sizeof done) {
          acknowledged[w] = done;
          ++seen;
        } else {
          childFault = "worker " + std::to_string(w) + " stopped on its own";
        }
      }
    }
    if (childFault.empty()) std::this_thread::sleep_for(pause);
    for (pid_t pid : children) ::kill(pid, SIGKILL);
    for (size_t w = 0; w < children.size(); ++w) {
      int status = 0;
      ::waitpid(children[w], &status, 0);
      if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)) {
        childFault = "worker " + std::to_string(w) + " ended with status " +
                     std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                     " before it was killed";
      }
      // Steps acknowledged just before the kill are still in the pipe.
      int64_t done = 0;
      while (::read(pipes[w], &done, sizeof done) == sizeof done) acknowledged[w] = done;
      ::close(pipes[w]);
    }
    if (!childFault.empty()) return Fail(fault, childFault);
    for (size_t w = 0; w < acknowledged.size(); ++w) {
      totals_.Acknowledged += acknowledged[w] - steps_[w];
    }
    return Verify(acknowledged, fault, fresh);
  }

  // Reopens the file as the program would and compares it with the model.
  bool Verify(const std::vector<int64_t>& acknowledged, std::string& fault, bool& fresh) {
    try {
      // A read-only look shows the marker the kill left; the program's open rolls it back.
      if (LeftInCommit(path_)) ++totals_.RolledBack;
      {
        auto session = workload_.Connect(path_, false, 0, databaseSeed_, 0);
        if (session->RepairNeeded()) return Fail(fault, "the open asks for a repair");
      }
      if (LeftInCommit(path_)) return Fail(fault, "the commit marker is still there after the open");
      tools::CheckDatabase(path_, "");
      auto reader = workload_.Connect(path_, false, 0, databaseSeed_, 0);
      for (int w = 0; w < options_.Workers; ++w) {
        const TState found = reader->Read(w);
        const int64_t acked = acknowledged[w];
        if (found == workload_.Expected(databaseSeed_, w, acked)) {
          steps_[w] = acked;
        } else if (found == workload_.Expected(databaseSeed_, w, acked + 1)) {
          steps_[w] = acked + 1;
          ++totals_.InFlightLanded;
        } else {
          return Fail(fault, "worker " + std::to_string(w) + ": " +
                                 Difference(found, workload_.Expected(databaseSeed_, w, acked),
                                            acked));
        }
      }
    } catch (const EQDXException& e) {
      return Fail(fault, "engine error " + std::to_string(e.ErrorCode()) + ": " + e.Message());
    } catch (const std::exception& e) {
      return Fail(fault, e.what());
    }
    for (int64_t steps : steps_) fresh = fresh || steps > options_.FreshAfter;
    return true;
  }

  static std::string Difference(const TState& found, const TState& expected, int64_t acked) {
    for (const auto& [key, value] : expected) {
      auto it = found.find(key);
      if (it == found.end()) {
        return "after " + std::to_string(acked) + " acknowledged steps, " + key + " is missing";
      }
      if (it->second != value) {
        return "after " + std::to_string(acked) + " acknowledged steps, " + key + " holds '" +
               it->second + "', expected '" + value + "'";
      }
    }
    for (const auto& [key, value] : found) {
      if (!expected.contains(key)) {
        return "after " + std::to_string(acked) + " acknowledged steps, " + key +
               " is there but was never acknowledged";
      }
    }
    return "states differ";
  }

  static bool Fail(std::string& fault, const std::string& text) {
    fault = text;
    return false;
  }

  const TOptions& options_;
  const TWorkload& workload_;
  std::mt19937_64 random_;
  std::string path_;
  uint64_t databaseSeed_ = 0;
  std::vector<int64_t> steps_;
  TTotals totals_;
};

}  // namespace
}  // namespace qdx::reliability

int main(int argc, char** argv) {
  using namespace qdx::reliability;
  TOptions options = ParseOptions(argc, argv);
  const std::unique_ptr<TWorkload> workload = MakeWorkload(options.Workload);
  if (workload == nullptr) Usage();
  bool ownDir = false;
  if (options.Dir.empty()) {
    options.Dir = (std::filesystem::temp_directory_path() /
                   ("qdx_crash_" + std::to_string(::getpid())))
                      .string();
    ownDir = true;
  }
  std::filesystem::create_directories(options.Dir);
  const bool passed = TCrashLoop(options, *workload).Run();
  if (passed && ownDir) std::filesystem::remove_all(options.Dir);
  return passed ? 0 : 1;
}
