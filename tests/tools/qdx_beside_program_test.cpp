// The qdx program run beside another program that has the database open for writing, and
// several qdx imports at once on one file. A command that would change the database says that
// the database is in use and leaves the file as it was; the reading commands work beside it;
// of imports racing for one file, each stores all its records or is refused and stores none.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/disk/disk_test_support.h"
#include "tests/tools/qdx_run.h"
#include "tools/qdx/qdx_expense_table.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;
using testing::Outcome;

constexpr const char* kTable = "Brandstofkosten";
constexpr const char* kInUse = "is in use by another program; nothing was changed";

class QdxBesideProgramTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    // The database is made and read by qdx processes: this process stays out of the file
    // except where it plays the program.
    ASSERT_EQ(Qdx({"create", path, "--schema", "wagenlog"}).Status, 0);
  }

  std::string File(const std::string& name) const {
    return (std::filesystem::path(path).parent_path() / name).string();
  }
  // A sheet of `count` fuel records whose company names start with `company`, their odometer
  // readings from `reading` on (the import takes equal readings on equal days for duplicates).
  std::string Sheet(const std::string& name, const std::string& company, int count,
                    int reading) const {
    std::ofstream out(File(name), std::ios::binary);
    out << "Datum;Omschrijving;Bedrijf;KMStand;Liters;bedrag\n";
    for (int i = 0; i < count; ++i) {
      const int month = 1 + i / 28 % 12;
      const int day = 1 + i % 28;
      out << "2024-" << (month < 10 ? "0" : "") << month << "-" << (day < 10 ? "0" : "") << day
          << ";Brandstof;" << company << i << ";" << reading + i << ";40;60\n";
    }
    return File(name);
  }
  std::string Bytes() const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // Starts the built qdx program with `args`; its output goes to `<log>.out` and `<log>.err`.
  pid_t Start(const std::vector<std::string>& args, const std::string& log) const {
    const std::string out = File(log + ".out");
    const std::string err = File(log + ".err");
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(outFd, 1);
      ::dup2(errFd, 2);
      std::vector<char*> argv{const_cast<char*>(QDX_TOOL_PATH)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(QDX_TOOL_PATH, argv.data());
      ::_exit(127);
    }
    return pid;
  }
  Outcome Finish(pid_t pid, const std::string& log) const {
    int status = 0;
    ::waitpid(pid, &status, 0);
    auto slurp = [&](const std::string& name) {
      std::ifstream in(File(name), std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), slurp(log + ".out"),
            slurp(log + ".err")};
  }
  Outcome Qdx(const std::vector<std::string>& args) const { return Finish(Start(args, "qdx"), "qdx"); }

  // The stored records whose company starts with `company`, as `qdx export` lists them.
  int StoredFrom(const std::string& company) const {
    const Outcome exported = Qdx({"export", path, kTable});
    EXPECT_EQ(exported.Status, 0) << exported.Err;
    int count = 0;
    for (size_t at = exported.Out.find("," + company); at != std::string::npos;
         at = exported.Out.find("," + company, at + 1)) {
      ++count;
    }
    return count;
  }
};

TEST_F(QdxBesideProgramTest, ChangingCommandsAreRefusedAndReadingCommandsWork) {
  const std::string sheet = Sheet("kosten.csv", "Tango", 3, 100000);
  ASSERT_EQ(Qdx({"import", path, kTable, sheet}).Status, 0);
  const std::string before = Bytes();
  {
    // The program: the expense table open for writing, as the window has it.
    tools::ExpenseTableAccess program(path, "", kTable, /*readOnly=*/false);
    const std::string second = Sheet("meer.csv", "Shell", 3, 200000);
    const Outcome import = Qdx({"import", path, kTable, second});
    EXPECT_EQ(import.Status, 1);
    EXPECT_THAT(import.Err, HasSubstr("qdx: The database '" + path + "' " + kInUse));
    EXPECT_THAT(import.Err, ::testing::Not(HasSubstr("read-only dataset")));
    EXPECT_EQ(import.Out, "");

    // Compacting and rebuilding the file need it alone.
    const std::pair<const char*, std::string> needAlone[] = {
        {"compact", kInUse},
        {"repair", "Cannot open file:'" + path + "' Error code: 16. ErrorMessage: Device or resource busy"},
    };
    for (const auto& [command, refusal] : needAlone) {
      SCOPED_TRACE(command);
      const Outcome refused = Qdx({command, path});
      EXPECT_EQ(refused.Status, 1);
      EXPECT_THAT(refused.Err, HasSubstr(refusal));
    }

    const std::vector<std::vector<std::string>> readers = {
        {"check", path},
        {"info", path},
        {"tables", path},
        {"schema", path, kTable},
        {"export", path, kTable},
        {"import", path, kTable, second, "--dry-run"},
    };
    for (const auto& args : readers) {
      SCOPED_TRACE(args[0]);
      const Outcome read = Qdx(args);
      EXPECT_EQ(read.Status, 0) << read.Err;
    }
  }
  EXPECT_EQ(Bytes(), before);
  EXPECT_EQ(StoredFrom("Shell"), 0);
  EXPECT_EQ(Qdx({"import", path, kTable, File("meer.csv")}).Status, 0);
  EXPECT_EQ(StoredFrom("Shell"), 3);
}

TEST_F(QdxBesideProgramTest, ImportsRacingForOneFileStoreAllOrNothing) {
  constexpr int kImports = 4;
  constexpr int kRecords = 40;
  constexpr int kRounds = 3;
  int imported = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> companies;
    std::vector<pid_t> pids;
    for (int i = 0; i < kImports; ++i) {
      // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "R" + std::to_string.
      std::string company(1, 'R');
      company += std::to_string(round);
      company += 'I';
      company += std::to_string(i);
      company += '-';
      companies.push_back(company);
      const std::string sheet = Sheet(companies.back() + ".csv", companies.back(), kRecords,
                                      100000 * (1 + round * kImports + i));
      pids.push_back(Start({"import", path, kTable, sheet}, companies.back()));
    }
    for (int i = 0; i < kImports; ++i) {
      SCOPED_TRACE(companies[i]);
      const Outcome outcome = Finish(pids[i], companies[i]);
      const int stored = StoredFrom(companies[i]);
      if (outcome.Status == 0) {
        EXPECT_EQ(outcome.Err, "");
        EXPECT_THAT(outcome.Out, HasSubstr(std::to_string(kRecords) + " record(s) imported"));
        ++imported;
        EXPECT_EQ(stored, kRecords);
      } else {
        EXPECT_EQ(outcome.Status, 1);
        EXPECT_THAT(outcome.Err, HasSubstr(kInUse));
        EXPECT_EQ(stored, 0);
      }
    }
  }
  // Whoever has the file first imports; two that open it at the same moment may both be sent
  // away, but not every import of every round.
  EXPECT_GT(imported, 0);
  EXPECT_EQ(Qdx({"check", path}).Status, 0);
}

}  // namespace
}  // namespace qdx
