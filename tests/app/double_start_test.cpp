// The program started twice on one wagenlog.qdx: the second start is a second process whose
// data module finds the file open for writing and opens it read-only. It refuses "Legen tabel"
// and edits with the read-only message, still computes the statistics, and its window says so
// in the caption with "Legen tabel" and the inputs disabled. The first program keeps storing
// records, and the file stays whole.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/data_module.h"
#include "app/forms/main_window.h"
#include "app/forms/program.h"
#include "wagenlog/program_texts.h"
#include "wagenlog/statistics/statistics.h"
#include "app/widgets/label_command.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/date_time.h"
#include "tests/foundation/locale_pin.h"
#include "ui_test_support.h"

namespace qdx {
namespace {

TDateTime Day(int year, int month, int day) {
  int32_t dayNumber = 0;
  TryEncodeDate(year, static_cast<uint32_t>(month), static_cast<uint32_t>(day), dayNumber);
  return DayNumberToDateValue(dayNumber);
}

void OpenLikeTheProgram(TDataModule1& data) {
  data.QDXDatabase1.SetDatabaseFileName(DatabasePath());
  data.tb1.Open();
  data.tb6.Open();
}

void StoreFuel(TDataModule1& data, int day, int32_t kmStand, double litres, double amount) {
  data.tb1.Append();
  data.tb1.FieldByName("Datum").SetAsDateTime(Day(2024, 3, day));
  data.tb1.FieldByName("Omschrijving").SetAsString(u"Brandstof");
  data.tb1.FieldByName("KMStand").SetAsInteger(kmStand);
  data.tb1.FieldByName("Liters").SetAsFloat(litres);
  data.tb1.FieldByName("bedrag").SetAsCurrency(amount);
  data.tb1.Post();
}

// The message of what `action` threw; empty when it threw nothing.
std::string Refusal(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

// A second process that runs `body` and ends with its answer as exit status; the pipe between
// the two lets each wait for the other: the child says when it has the file open, the parent
// says when the child may finish.
class TSecondProcess {
 public:
  explicit TSecondProcess(const std::function<int(TSecondProcess&)>& body) {
    if (::pipe(toParent_) != 0 || ::pipe(toChild_) != 0) ADD_FAILURE() << "pipe";
    pid_ = ::fork();
    if (pid_ == 0) {
      CloseEnd(toParent_[0]);
      CloseEnd(toChild_[1]);
      // Only the data module is used here: no window of the forked program is touched.
      ::_exit(body(*this));
    }
    // A child that ends early closes its ends, and the parent's reads see it.
    CloseEnd(toParent_[1]);
    CloseEnd(toChild_[0]);
  }
  ~TSecondProcess() {
    if (pid_ > 0 && status_ < 0) Finish();
    CloseEnd(toParent_[0]);
    CloseEnd(toChild_[1]);
  }

  // In the child: tells the parent it may go on, then waits for the parent's word.
  void Meet() {
    const char ready = 'r';
    (void)!::write(toParent_[1], &ready, 1);
    char go = 0;
    (void)!::read(toChild_[0], &go, 1);
  }
  // In the parent: waits for the child's next Meet.
  bool WaitForChild() {
    char ready = 0;
    waiting_ = ::read(toParent_[0], &ready, 1) == 1;
    return waiting_;
  }
  // In the parent: lets a child that waits in Meet go on.
  void Go() {
    if (!waiting_) return;
    waiting_ = false;
    const char go = 'g';
    (void)!::write(toChild_[1], &go, 1);
  }
  // In the parent: lets the child go on and waits for its exit status.
  int Finish() {
    Go();
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

 private:
  static void CloseEnd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  int toParent_[2] = {-1, -1};
  int toChild_[2] = {-1, -1};
  pid_t pid_ = -1;
  int status_ = -1;
  bool waiting_ = false;
};

class DoubleStartTest : public ::testing::Test {
 protected:
  DoubleStartTest() : locale_("en_US") { SetDatabaseDirectory(directory_.path()); }
  ~DoubleStartTest() override { SetDatabaseDirectory({}); }

  void SetUp() override {
    const QString file = directory_.filePath(QStringLiteral("wagenlog.qdx"));
    ASSERT_EQ(QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                                {QStringLiteral("create"), file, QStringLiteral("--schema"),
                                 QStringLiteral("wagenlog")}),
              0);
    TDataModule1 data;
    OpenLikeTheProgram(data);
    data.tb6.Append();
    data.tb6.FieldByName("Merk").SetAsString(u"Volvo");
    data.tb6.FieldByName("Start_km-stand").SetAsInteger(10000);
    data.tb6.Post();
    StoreFuel(data, 1, 10500, 40, 60);
    StoreFuel(data, 2, 11000, 35, 56);
  }

  int RecordCount() {
    TDataModule1 data;
    OpenLikeTheProgram(data);
    return static_cast<int>(data.tb1.RecordCount());
  }
  int Check() {
    return QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                             {QStringLiteral("check"),
                              directory_.filePath(QStringLiteral("wagenlog.qdx"))});
  }

  testing::ScopedUserLocale locale_;
  QTemporaryDir directory_;
};

// Whether the window's menu command of this text is there and enabled.
bool CommandEnabled(const QWidget& window, const QString& text) {
  for (const QAction* action : window.actions()) {
    if (action->text() == text) return action->isEnabled();
  }
  ADD_FAILURE() << "no command " << text.toStdString();
  return false;
}

// What the second data module found, one bit a fault; 0 when all was as it should be.
enum SecondStartFault {
  kNotReadOnly = 1,
  kEmptyNotRefused = 2,
  kEditNotRefused = 4,
  kStatisticsFailed = 8,
  kRecordsLost = 16,
};

TEST_F(DoubleStartTest, TheSecondDataModuleOnlyReadsWhileTheFirstKeepsStoring) {
  // The second process is there first, and opens the file once the first program has it.
  TSecondProcess second([](TSecondProcess& self) {
    self.Meet();
    int faults = 0;
    TDataModule1 data;
    OpenLikeTheProgram(data);
    if (!data.QDXDatabase1.ReadOnly) faults |= kNotReadOnly;
    if (Refusal([&] {
          data.tb1.Close();
          data.tb1.EmptyTable();
        }).find(msg::kDatasetIsInReadOnlyMode) == std::string::npos) {
      faults |= kEmptyNotRefused;
    }
    if (!data.tb1.Active()) data.tb1.Open();
    if (Refusal([&] { data.tb1.Edit(); }).find("Cannot modify a read-only dataset") ==
        std::string::npos) {
      faults |= kEditNotRefused;
    }
    int32_t startKmStand = 0;
    try {
      const TStatistics s = ComputeStatistics(data.tb1, data.tb6, startKmStand);
      if (s.TotalCost != 60 + 56) faults |= kStatisticsFailed;
    } catch (...) {
      faults |= kStatisticsFailed;
    }
    if (data.tb1.RecordCount() != 2) faults |= kRecordsLost;
    self.Meet();  // the first program stores a record while this one still has the file open
    return faults;
  });
  {
    ASSERT_TRUE(second.WaitForChild());
    TDataModule1 first;
    OpenLikeTheProgram(first);
    second.Go();
    ASSERT_TRUE(second.WaitForChild());
    StoreFuel(first, 3, 11500, 38, 70);
    EXPECT_EQ(second.Finish(), 0);
    // The first program goes on storing, and what it stored stays.
    StoreFuel(first, 4, 12000, 36, 66);
  }
  EXPECT_EQ(RecordCount(), 4);
  EXPECT_EQ(Check(), 0);
}

TEST_F(DoubleStartTest, TheSecondWindowSaysItOnlyReadsAndOffersNoChange) {
  // The first program is the other process here; this one starts second, with its window.
  TSecondProcess first([](TSecondProcess& self) {
    TDataModule1 data;
    OpenLikeTheProgram(data);
    self.Meet();
    return data.QDXDatabase1.ReadOnly ? 1 : 0;
  });
  ASSERT_TRUE(first.WaitForChild());
  {
    test::ScopedErrorBoxes errors;
    TWagenlogProgram program;
    TForm1& f = program.Form1;
    f.show();
    EXPECT_TRUE(errors.Texts.isEmpty()) << errors.Texts.join(u'\n').toStdString();
    EXPECT_EQ(f.windowTitle().toStdString(), msg::kDatabaseInUseCaption);
    // The statistics are there all the same.
    EXPECT_EQ(f.Label6->text(), "116");
    EXPECT_FALSE(f.LbStaticText[5]->isEnabled());
    for (QWidget* input : {static_cast<QWidget*>(f.DBEditMerk),
                           static_cast<QWidget*>(f.DBComboOmschrijving),
                           static_cast<QWidget*>(f.DBEditBedrijf)}) {
      EXPECT_FALSE(input->isEnabled());
    }
    // Of the menu's commands, those that write the file are off; reading and switching stay.
    for (const char* command : {"Importeren...", msg::kRestoreBackupCommand}) {
      EXPECT_FALSE(CommandEnabled(f, QString::fromUtf8(command))) << command;
    }
    for (const char* command : {"Exporteren...", msg::kNewVehicleCommand,
                                msg::kOpenVehicleCommand, msg::kReportCommand}) {
      EXPECT_TRUE(CommandEnabled(f, QString::fromUtf8(command))) << command;
    }
    // "Legen tabel" does nothing, not even ask.
    f.LbStaticText[5]->Click();
    EXPECT_EQ(program.DataModule1.tb1.RecordCount(), 2);
    EXPECT_TRUE(errors.Texts.isEmpty());
  }
  EXPECT_EQ(first.Finish(), 0);
  EXPECT_EQ(RecordCount(), 2);
  EXPECT_EQ(Check(), 0);
}

// Two programs set to multi-user mode share the file for writing: each stores its own records
// and both add to the same vehicle record, retrying while the other holds it, as a user would.
TEST_F(DoubleStartTest, TwoProgramsInMultiUserModeEditTheSameTable) {
  constexpr int kPrograms = 2;
  constexpr int kChanges = 15;
  auto program = [](int number) {
    return [number](TSecondProcess& self) {
      TDataModule1 data;
      data.QDXDatabase1.MultiUser = true;
      OpenLikeTheProgram(data);
      if (data.QDXDatabase1.ReadOnly) return 1;
      self.Meet();  // both have the file open before either changes it
      for (int i = 0; i < kChanges; ++i) {
        data.tb1.Append();
        data.tb1.FieldByName("Datum").SetAsDateTime(Day(2024, 4, 1 + i));
        data.tb1.FieldByName("Omschrijving").SetAsString(u"Onderhoud");
        data.tb1.FieldByName("Bedrijf").SetAsString(
            number == 0 ? std::u16string(u"Garage A") : std::u16string(u"Garage B"));
        data.tb1.FieldByName("bedrag").SetAsCurrency(10);
        data.tb1.Post();
        bool added = false;
        for (int attempt = 0; attempt < 2000 && !added; ++attempt) {
          try {
            data.tb6.Refresh();
            data.tb6.Edit();
            TField& weight = data.tb6.FieldByName("Gewicht");
            weight.SetAsInteger(weight.AsInteger() + 1);
            data.tb6.Post();
            added = true;
          } catch (const std::exception&) {
            // The other program holds the record: give up this try and come back.
            if (data.tb6.State() != TDataSetState::Browse) data.tb6.Cancel();
            ::usleep(1000);
          }
        }
        if (!added) return 2;
      }
      return 0;
    };
  };
  std::vector<std::unique_ptr<TSecondProcess>> programs;
  for (int i = 0; i < kPrograms; ++i) {
    programs.push_back(std::make_unique<TSecondProcess>(program(i)));
  }
  for (auto& p : programs) ASSERT_TRUE(p->WaitForChild());
  for (auto& p : programs) p->Go();
  for (auto& p : programs) EXPECT_EQ(p->Finish(), 0);

  TDataModule1 data;
  OpenLikeTheProgram(data);
  EXPECT_EQ(data.tb1.RecordCount(), 2 + kPrograms * kChanges);
  EXPECT_EQ(data.tb6.FieldByName("Gewicht").AsInteger(), kPrograms * kChanges);
  data.tb1.Close();
  data.tb6.Close();
  data.QDXDatabase1.Close();
  EXPECT_EQ(Check(), 0);
}

TEST_F(DoubleStartTest, AWindowAloneOnItsFileWritesAsBefore) {
  TWagenlogProgram program;
  program.Form1.show();
  EXPECT_EQ(program.Form1.windowTitle(), "Wagenlog - Volvo");
  EXPECT_TRUE(program.Form1.LbStaticText[5]->isEnabled());
  EXPECT_TRUE(program.DataModule1.tb1.CanModify());
  for (const char* command : {"Importeren...", msg::kRestoreBackupCommand}) {
    EXPECT_TRUE(CommandEnabled(program.Form1, QString::fromUtf8(command))) << command;
  }
}

}  // namespace
}  // namespace qdx
