// Where the program keeps its database: beside a portable copy that holds one, else in the
// user's data folder, made there on the first start after one question.
#include "app/data_location.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <string>
#include <vector>

#include "app/error_box.h"
#include "app/forms/data_module.h"
#include "app/forms/form_placement.h"
#include "app/widgets/question_box.h"
#include "dataset/qdx_database.h"
#include "engine/foundation/except.h"
#include "qt_printers.h"
#include "tests/fault_file_system.h"
#include "wagenlog/schema.h"

namespace qdx {
namespace {

class DataLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    folders_.Executable = root_.filePath(QStringLiteral("bin"));
    folders_.UserData = root_.filePath(QStringLiteral("home/.local/share/Wagenlog"));
    ASSERT_TRUE(QDir().mkpath(folders_.Executable));
    previousQuestion_ = SetQuestionPresenter([this](const TQuestion& question) {
      questions_.push_back(question);
      return answer_;
    });
    previousErrorBox_ = SetErrorBoxPresenter(
        [this](const QString&, const QString& text, QWidget*) { errors_.push_back(text); });
  }
  void TearDown() override {
    SetQuestionPresenter(previousQuestion_);
    SetErrorBoxPresenter(previousErrorBox_);
  }

  QString PortableDatabase() const {
    return QDir(folders_.Executable).filePath(QStringLiteral("wagenlog.qdx"));
  }
  QString UserDatabase() const {
    return QDir(folders_.UserData).filePath(QStringLiteral("wagenlog.qdx"));
  }
  static void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  }
  // A maker that records its calls and leaves a file, as the real one does.
  TDatabaseMaker RecordingMaker() {
    return [this](const QString& path) {
      made_.push_back(path);
      Touch(path);
    };
  }

  QTemporaryDir root_;
  TDataFolders folders_;
  QMessageBox::StandardButton answer_ = QMessageBox::Yes;
  std::vector<TQuestion> questions_;
  std::vector<QString> errors_;
  std::vector<QString> made_;

 private:
  TQuestionPresenter previousQuestion_;
  TErrorBoxPresenter previousErrorBox_;
};

TEST_F(DataLocationTest, APortableCopyKeepsItsDatabaseAndPlacementBesideIt) {
  Touch(PortableDatabase());
  const TDataLocation location = PrepareDataLocation(folders_, RecordingMaker());
  EXPECT_TRUE(location.Portable);
  EXPECT_EQ(location.DatabasePath(), PortableDatabase());
  EXPECT_EQ(location.PlacementFile,
            QDir(folders_.Executable).filePath(TFormPlacement::ExecutableName() + ".ini"));
  EXPECT_TRUE(questions_.empty());
  EXPECT_TRUE(made_.empty());
  EXPECT_FALSE(QFileInfo::exists(folders_.UserData));
}

// Anything but a database file beside the executable leaves the database to the user's folder.
TEST_F(DataLocationTest, WithoutAPortableDatabaseTheUserDataFolderHoldsIt) {
  struct Case {
    const char* name;
    void (*arrange)(const QString& executable, const QString& portable);
  };
  const Case cases[] = {
      {"no database beside", [](const QString&, const QString&) {}},
      {"a folder of that name", [](const QString&, const QString& p) { QDir().mkpath(p); }},
      {"no executable folder",
       [](const QString& e, const QString&) { QDir(e).removeRecursively(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(folders_.Executable).removeRecursively();
    QDir().mkpath(folders_.Executable);
    c.arrange(folders_.Executable, PortableDatabase());
    const TDataLocation location = ChooseDataLocation(folders_);
    EXPECT_FALSE(location.Portable);
    EXPECT_EQ(location.DatabasePath(), UserDatabase());
    EXPECT_TRUE(location.PlacementFile.isEmpty());
  }
}

TEST_F(DataLocationTest, AReadOnlyProgramFolderIsNotPortable) {
  Touch(PortableDatabase());
  QFile::setPermissions(folders_.Executable, QFile::ReadOwner | QFile::ExeOwner);
  const bool stillWritable = QFileInfo(folders_.Executable).isWritable();
  const TDataLocation location = ChooseDataLocation(folders_);
  QFile::setPermissions(folders_.Executable,
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  if (stillWritable) GTEST_SKIP() << "this user may write into any folder";
  EXPECT_FALSE(location.Portable);
  EXPECT_EQ(location.DatabasePath(), UserDatabase());
}

TEST_F(DataLocationTest, TheFirstStartAsksOnceAndMakesTheDatabaseOnYes) {
  struct Case {
    const char* name;
    bool databaseExists;
    QMessageBox::StandardButton answer;
    size_t questions;
    bool made;
  };
  const Case cases[] = {
      {"first start, yes", false, QMessageBox::Yes, 1, true},
      {"first start, no", false, QMessageBox::No, 1, false},
      {"first start, box closed", false, QMessageBox::Cancel, 1, false},
      {"database there", true, QMessageBox::Yes, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(root_.filePath(QStringLiteral("home"))).removeRecursively();
    questions_.clear();
    made_.clear();
    if (c.databaseExists) Touch(UserDatabase());
    answer_ = c.answer;
    const TDataLocation location = PrepareDataLocation(folders_, RecordingMaker());
    EXPECT_EQ(location.DatabasePath(), UserDatabase());
    ASSERT_EQ(questions_.size(), c.questions);
    if (c.questions > 0) {
      const TQuestion& question = questions_.front();
      EXPECT_EQ(question.Title, QStringLiteral("Wagenlog"));
      EXPECT_EQ(question.Text, QStringLiteral("Er is nog geen database. Een nieuwe, lege database "
                                              "maken in '%1'?")
                                   .arg(QDir::toNativeSeparators(UserDatabase())));
      EXPECT_EQ(question.DefaultButton, QMessageBox::Yes);
      EXPECT_EQ(question.EscapeButton, QMessageBox::No);
    }
    EXPECT_EQ(made_, c.made ? std::vector<QString>{UserDatabase()} : std::vector<QString>{});
    // On no, nothing is left on disk, not even the folder.
    EXPECT_EQ(QFileInfo::exists(folders_.UserData), c.made || c.databaseExists);
    EXPECT_TRUE(errors_.empty());
  }
}

// The question belongs to a start on the default database only: a start on a file given on the
// command line, or on the file used last, asks nothing and makes nothing.
TEST_F(DataLocationTest, OnlyAStartOnTheDefaultDatabaseOffersToMakeIt) {
  const QString previousStore = TFormPlacement::DefaultIniFileName();
  TFormPlacement::SetDefaultIniFileName(root_.filePath(QStringLiteral("placement.ini")));
  const QString given = root_.filePath(QStringLiteral("auto.qdx"));
  const struct {
    const char* name;
    QStringList arguments;
    QString start;
    size_t questions;
  } cases[] = {
      {"a given file", {QStringLiteral("wagenlog"), given}, given, 0},
      {"an option, then a given file",
       {QStringLiteral("wagenlog"), QStringLiteral("--demo"), given},
       given,
       0},
      {"no file", {QStringLiteral("wagenlog")}, QString(), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    questions_.clear();
    made_.clear();
    answer_ = QMessageBox::No;
    EXPECT_EQ(PrepareStart(folders_, c.arguments, RecordingMaker()), c.start);
    EXPECT_EQ(questions_.size(), c.questions);
    EXPECT_TRUE(made_.empty());
  }
  SetDatabaseDirectory(QString());
  TFormPlacement::SetDefaultIniFileName(previousStore);
}

// A database that appeared between the question and the make (another start made it) is kept.
TEST_F(DataLocationTest, AFailedMakeIsShownAndTheStartGoesOn) {
  const TDataLocation location = PrepareDataLocation(folders_, [](const QString& path) {
    Touch(path);
    MakeProgramDatabase(path);
  });
  EXPECT_EQ(location.DatabasePath(), UserDatabase());
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], QStringLiteral("De database '%1' kon niet worden gemaakt: het bestand "
                                       "bestaat al.")
                            .arg(QDir::toNativeSeparators(UserDatabase())));
  EXPECT_EQ(QFileInfo(UserDatabase()).size(), 0);
}

TEST_F(DataLocationTest, AUserDataFolderThatCannotBeMadeIsShown) {
  Touch(root_.filePath(QStringLiteral("home")));  // a file where a folder must go
  PrepareDataLocation(folders_, RecordingMaker());
  EXPECT_TRUE(made_.empty());
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_TRUE(errors_[0].endsWith(QStringLiteral("de map kon niet worden gemaakt.")))
      << errors_[0].toStdString();
}

TEST_F(DataLocationTest, TheMadeDatabaseHoldsTheProgramsTables) {
  ASSERT_TRUE(QDir().mkpath(folders_.UserData));
  MakeProgramDatabase(UserDatabase());
  {
    TQDXDatabase database("check");
    database.SetDatabaseName("data_location_check");
    database.SetDatabaseFileName(UserDatabase().toStdString());
    std::vector<std::string> names;
    database.GetTableNames(names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{wagenlog::kVehicleTable.Name,
                                               wagenlog::kExpenseTable.Name}));
  }

  // A second make refuses the file and leaves the first database as it was.
  const qint64 size = QFileInfo(UserDatabase()).size();
  EXPECT_THROW(MakeProgramDatabase(UserDatabase()), EFrameworkException);
  EXPECT_EQ(QFileInfo(UserDatabase()).size(), size);
}

// Whichever write fails, the make reports it and leaves no file that would be taken for the
// user's database on the next start.
TEST_F(DataLocationTest, AMakeThatFailsPartWayLeavesNothingBehind) {
  ASSERT_TRUE(QDir().mkpath(folders_.UserData));
  testing::FaultFileSystem faults;
  int64_t writes = 0;
  {
    const platform::FileSystemScope scope(faults);
    MakeProgramDatabase(UserDatabase());
    writes = faults.Count(testing::FileCall::Write);
  }
  ASSERT_GT(writes, 0);
  for (int64_t n = 1; n <= writes; ++n) {
    SCOPED_TRACE(n);
    ASSERT_TRUE(QDir(folders_.UserData).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(folders_.UserData));
    faults.Reset();
    faults.Fail(testing::FileCall::Write, n, ENOSPC, testing::FaultFileSystem::kForever);
    if (n == writes) {
      // The last write gives the last commit's journal up, after that commit is on the disk:
      // the make stands.
      {
        const platform::FileSystemScope scope(faults);
        EXPECT_NO_THROW(MakeProgramDatabase(UserDatabase()));
      }
      EXPECT_TRUE(QFileInfo::exists(UserDatabase()));
      continue;
    }
    try {
      const platform::FileSystemScope scope(faults);
      MakeProgramDatabase(UserDatabase());
      ADD_FAILURE() << "no error";
    } catch (const EFrameworkException& e) {
      EXPECT_NE(e.Message().find("kon niet worden gemaakt: "), std::string::npos) << e.Message();
    }
    EXPECT_EQ(QDir(folders_.UserData).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
  }
}

}  // namespace
}  // namespace qdx
