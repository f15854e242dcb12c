// `qdx import` killed at random moments: each kill leaves the import whole or absent, and the
// file, opened as the program opens it, holds the records of before or all of the new ones and
// checks clean. The import runs as its own process (the real program), as a user would run it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "tests/disk/disk_test_support.h"
#include "tests/tools/qdx_run.h"
#include "tools/qdx/qdx_expense_table.h"

namespace qdx {
namespace {

using testing::Outcome;
using testing::RunQdxInProcess;

constexpr const char* kTable = "Brandstofkosten";

class QdxImportKillTest : public testing::TempDirTest {
 protected:
  std::string File(const std::string& name) const {
    return (std::filesystem::path(path).parent_path() / name).string();
  }
  // Fuel records with the odometer readings first .. first+count-1, one a day.
  void WriteCsv(const std::string& file, int first, int count) const {
    std::ofstream out(file);
    out << "Datum;Omschrijving;Bedrijf;KMStand;Liters;bedrag\n";
    for (int i = 0; i < count; ++i) {
      const int n = first + i;
      char line[96];
      std::snprintf(line, sizeof line, "%04d-%02d-%02d;Brandstof;Shell;%d;40,5;61,25\n",
                    2001 + n / 336, 1 + n / 28 % 12, 1 + n % 28, n);
      out << line;
    }
  }
  static std::multiset<int> Readings(const std::string& file) {
    // Opened writable, as the program opens it: a commit cut off by the kill is rolled back.
    tools::ExpenseTableAccess program(file, "", kTable, /*readOnly=*/false);
    std::multiset<int> readings;
    for (const auto& record : program.Store().ReadAll()) readings.insert(record.KMStand.value_or(-1));
    return readings;
  }
  static std::multiset<int> Range(int first, int count) {
    std::multiset<int> readings;
    for (int i = 0; i < count; ++i) readings.insert(first + i);
    return readings;
  }
  // Starts `qdx import FILE TABLE CSV` as a process of its own.
  static pid_t StartImport(const std::string& database, const std::string& csv) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl(QDX_TOOL_PATH, "qdx", "import", database.c_str(), kTable, csv.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }
};

TEST_F(QdxImportKillTest, AKilledImportIsWholeOrAbsentAndTheFileChecksClean) {
  constexpr int kBefore = 300, kNew = 4000;
  const std::string base = File("base.qdx"), before = File("before.csv"), csv = File("new.csv");
  ASSERT_EQ(RunQdxInProcess({"create", base, "--schema", "wagenlog"}).Status, 0);
  WriteCsv(before, 0, kBefore);
  WriteCsv(csv, 100000, kNew);
  ASSERT_EQ(RunQdxInProcess({"import", base, kTable, before}).Status, 0);
  const std::multiset<int> absent = Range(0, kBefore);
  std::multiset<int> whole = absent;
  whole.merge(Range(100000, kNew));

  // One import left to finish sets the span the kills fall in.
  std::filesystem::copy_file(base, path);
  const auto start = std::chrono::steady_clock::now();
  const pid_t timed = StartImport(path, csv);
  int status = 0;
  ASSERT_EQ(::waitpid(timed, &status, 0), timed);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(Readings(path), whole);

  const char* trialsText = std::getenv("QDX_IMPORT_KILLS");
  const int trials = trialsText != nullptr ? std::atoi(trialsText) : 12;
  std::mt19937_64 random(20261211);
  int landed = 0, vanished = 0;
  for (int trial = 0; trial < trials; ++trial) {
    // Up to a fifth past the timed run, so that some kills come after the end as well.
    const auto delay = std::chrono::microseconds(random() % static_cast<uint64_t>(span * 6 / 5 + 1));
    SCOPED_TRACE("trial " + std::to_string(trial) + ", kill after " +
                 std::to_string(delay.count()) + " us");
    std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(path + "-journal");
    const pid_t pid = StartImport(path, csv);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);

    const std::multiset<int> found = Readings(path);
    if (found == whole) ++landed;
    else if (found == absent) ++vanished;
    else ADD_FAILURE() << "the import was torn: " << found.size() << " records, not "
                       << absent.size() << " or " << whole.size();
    const Outcome check = RunQdxInProcess({"check", path});
    EXPECT_EQ(check.Status, 0) << check.Err;
    if (HasFailure()) return;
  }
  std::cout << "qdx import killed " << trials << " times over " << span / 1000 << " ms: "
            << landed << " whole, " << vanished << " absent, 0 torn\n";
}

}  // namespace
}  // namespace qdx
