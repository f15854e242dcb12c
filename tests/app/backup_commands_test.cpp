// The backups in the program, offscreen: closing after a change makes one and closing without
// one does not; "Backup terugzetten..." lists them newest first with their record counts,
// and restoring one after the question brings its records back into the open window while the
// replaced file is kept as a backup.
#include "app/backup/backup_commands.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDate>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <memory>

#include "app/forms/data_module.h"
#include "app/forms/main_window.h"
#include "app/forms/program.h"
#include "app/interchange/interchange_menu.h"
#include "tests/foundation/locale_pin.h"
#include "ui_test_support.h"
#include "wagenlog/program_texts.h"

namespace qdx {
namespace {

class BackupCommandsTest : public ::testing::Test {
 protected:
  BackupCommandsTest() : locale_("en_US") {
    SetDatabaseDirectory(directory_.path());
    EXPECT_EQ(QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                                {QStringLiteral("create"), QString::fromStdString(File()), QStringLiteral("--schema"),
                                 QStringLiteral("wagenlog")}),
              0);
  }
  ~BackupCommandsTest() override { SetDatabaseDirectory({}); }

  std::string File() const { return directory_.filePath(QStringLiteral("wagenlog.qdx")).toStdString(); }
  std::vector<wagenlog::BackupEntry> Backups() const { return wagenlog::BackupFolder(File()).List(); }

  // Appends insurance records of `amount` each through the window's expense table.
  static void Add(TDataModule1& data, int count, double amount) {
    for (int i = 0; i < count; ++i) {
      data.tb1.Append();
      data.tb1.FieldByName("Omschrijving").SetAsString(u"Verzekering");
      data.tb1.FieldByName("bedrag").SetAsCurrency(amount);
      data.tb1.Post();
    }
  }
  static QAction* RestoreAction(TForm1& form) {
    for (QAction* action : form.actions()) {
      if (action->text() == QString::fromUtf8(msg::kRestoreBackupCommand)) return action;
    }
    return nullptr;
  }

  testing::ScopedUserLocale locale_;
  QTemporaryDir directory_;
};

TEST_F(BackupCommandsTest, ClosingAfterAChangeMakesABackupAndClosingWithoutOneDoesNot) {
  {
    TWagenlogProgram program;
    program.Form1.show();
    program.Form1.close();
  }
  EXPECT_TRUE(Backups().empty());
  {
    TWagenlogProgram program;
    program.Form1.show();
    Add(program.DataModule1, 2, 50);
    program.Form1.close();
  }
  ASSERT_EQ(Backups().size(), 1u);
  EXPECT_EQ(wagenlog::CountExpenseRecords(Backups()[0].Path, ""), 2);
}

TEST_F(BackupCommandsTest, TheListShowsNewestFirstWithRecordCountsAndNothingWithoutBackups) {
  TRestoreDialog none(std::vector<TBackupRow>{});
  EXPECT_TRUE(none.Empty->isVisibleTo(&none));
  EXPECT_FALSE(none.RestoreButton->isEnabled());

  wagenlog::BackupFolder folder(File());
  folder.Make({2024, 3, 9, 18, 30, 5});
  {
    TDataModule1 data;
    data.QDXDatabase1.SetDatabaseFileName(File());
    data.tb1.Open();
    Add(data, 3, 10);
  }
  folder.Make({2024, 3, 10, 8, 0, 0});
  TRestoreDialog dialog(BackupRows(File(), ""));
  ASSERT_EQ(dialog.List->rowCount(), 2);
  const auto date = [](int day) { return QLocale().toString(QDate(2024, 3, day), QLocale::ShortFormat); };
  EXPECT_EQ(dialog.List->item(0, 0)->text(), date(10) + QStringLiteral(" 08:00:00"));
  EXPECT_EQ(dialog.List->item(0, 1)->text(), QStringLiteral("3"));
  EXPECT_EQ(dialog.List->item(1, 0)->text(), date(9) + QStringLiteral(" 18:30:05"));
  EXPECT_EQ(dialog.List->item(1, 1)->text(), QStringLiteral("0"));
  EXPECT_FALSE(dialog.Empty->isVisibleTo(&dialog));
  EXPECT_EQ(dialog.Chosen(), nullptr);  // not accepted yet
}

TEST_F(BackupCommandsTest, RestoringBringsTheRecordsBackAndKeepsTodaysFile) {
  TWagenlogProgram program;
  TForm1& form = program.Form1;
  TDataModule1& data = program.DataModule1;
  form.show();
  Add(data, 1, 100);
  wagenlog::BackupFolder(File()).Make({2024, 3, 9, 18, 30, 5});
  Add(data, 2, 50);
  form.LbStaticText1Click();
  ASSERT_EQ(form.Label6->text(), QStringLiteral("200"));
  QAction* restore = RestoreAction(form);
  ASSERT_NE(restore, nullptr);

  // Declining the question changes nothing.
  const TDialogRunner runner = SetDialogRunner([](QWidget& dialog) {
    auto& list = dynamic_cast<TRestoreDialog&>(dialog);
    list.List->selectRow(list.List->rowCount() - 1);
    list.RestoreButton->click();
  });
  {
    test::ScopedAnswer no(QMessageBox::No);
    restore->trigger();
    ASSERT_EQ(no.Questions.size(), 1);
    EXPECT_TRUE(no.Questions[0].contains(QStringLiteral("1 records")));
  }
  EXPECT_EQ(Backups().size(), 1u);
  EXPECT_EQ(data.tb1.RecordCount(), 3);

  test::ScopedErrorBoxes boxes;
  {
    test::ScopedAnswer yes(QMessageBox::Yes);
    restore->trigger();
  }
  SetDialogRunner(runner);
  EXPECT_TRUE(boxes.Texts.isEmpty()) << boxes.Texts.join('\n').toStdString();
  EXPECT_TRUE(data.tb1.Active());
  EXPECT_EQ(data.tb1.RecordCount(), 1);
  EXPECT_EQ(form.Label6->text(), QStringLiteral("100"));
  const std::vector<wagenlog::BackupEntry> backups = Backups();
  ASSERT_EQ(backups.size(), 2u);
  EXPECT_EQ(wagenlog::CountExpenseRecords(backups.back().Path, ""), 3);

  // The restored file is the program's database again: a change to it is backed up at close.
  Add(data, 1, 25);
  form.close();
  EXPECT_EQ(Backups().size(), 3u);
}

}  // namespace
}  // namespace qdx
