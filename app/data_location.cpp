#include "app/data_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <string>

#include "app/error_box.h"
#include "app/forms/data_module.h"
#include "app/forms/form_placement.h"
#include "app/vehicle_files.h"
#include "app/widgets/question_box.h"
#include "dataset/qdx_database.h"
#include "engine/disk/commit_journal.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "wagenlog/program_texts.h"
#include "wagenlog/schema.h"

namespace qdx {

namespace {

// The texts of the first start in the user's data folder.
constexpr const char* kCreateDatabaseQuestion =
    "Er is nog geen database. Een nieuwe, lege database maken in '%s'?";
constexpr const char* kCreateDatabaseFailed = "De database '%s' kon niet worden gemaakt: %s";
constexpr const char* kFolderNotMade = "de map kon niet worden gemaakt";
constexpr const char* kFileExists = "het bestand bestaat al";

// The database component of the make; the data module's own comes later, under its own name.
constexpr const char* kMakerDatabaseName = "wagenlog_first_start";

[[noreturn]] void RaiseMakeFailed(const QString& path, const QString& reason) {
  const std::string pathText = QDir::toNativeSeparators(path).toStdString();
  const std::string reasonText = reason.trimmed().toStdString();
  throw EFrameworkException(
      FormatOrFallback(kCreateDatabaseFailed, {{FormatArg(pathText), FormatArg(reasonText)}}));
}

// Creates the file and fills it with the program's tables.
void CreateFilledDatabase(const std::string& fileName) {
  TQDXDatabase database(kMakerDatabaseName);
  database.SetDatabaseName(kMakerDatabaseName);
  database.SetDatabaseFileName(fileName);
  database.SilentMode = true;
  database.CreateDatabase();
  database.Open();
  wagenlog::CreateTables(database);
  database.Close();
}

// CreateFilledDatabase; a file it made but could not fill is removed once its database component
// is gone, as a half-made database would be taken for the user's, and so is the journal a failed
// commit left beside it, which would otherwise wait for the next database of that name.
void CreateFilledDatabaseOrNothing(const std::string& fileName) {
  try {
    CreateFilledDatabase(fileName);
  } catch (...) {
    platform::DeleteFile(fileName);
    platform::DeleteFile(TQDXCommitJournal::PathFor(fileName));
    throw;
  }
}

bool AskToMakeDatabase(const QString& path) {
  const std::string pathText = QDir::toNativeSeparators(path).toStdString();
  TQuestion question;
  question.Title = ErrorBoxTitle();
  question.Text =
      QString::fromStdString(FormatOrFallback(kCreateDatabaseQuestion, {{FormatArg(pathText)}}));
  question.Buttons = {{QMessageBox::Yes, {}}, {QMessageBox::No, {}}};
  question.DefaultButton = QMessageBox::Yes;
  question.EscapeButton = QMessageBox::No;
  return AskQuestion(question) == QMessageBox::Yes;
}

}  // namespace

QString TDataLocation::DatabasePath() const {
  return QDir(DatabaseDirectory).filePath(QString::fromUtf8(msg::kDatabaseFileName));
}

TDataFolders ProcessDataFolders() {
  return {QCoreApplication::applicationDirPath(),
          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)};
}

TDataLocation ChooseDataLocation(const TDataFolders& folders) {
  const QFileInfo folder(folders.Executable);
  const QFileInfo portable(
      QDir(folders.Executable).filePath(QString::fromUtf8(msg::kDatabaseFileName)));
  if (folder.isDir() && folder.isWritable() && portable.isFile()) {
    const QString placement =
        QDir(folders.Executable)
            .filePath(TFormPlacement::ExecutableName() + QStringLiteral(".ini"));
    return {folders.Executable, placement, true};
  }
  return {folders.UserData, QString(), false};
}

void MakeProgramDatabase(const QString& path) {
  const std::string fileName = QDir::toNativeSeparators(path).toStdString();
  // Creating truncates; a file that appeared since the question is someone's database.
  if (platform::FileExists(fileName)) RaiseMakeFailed(path, QString::fromUtf8(kFileExists));
  try {
    CreateFilledDatabaseOrNothing(fileName);
  } catch (...) {
    RaiseMakeFailed(path, ExceptionMessage(std::current_exception()));
  }
}

void OfferDefaultDatabase(const TDataLocation& location, const TDatabaseMaker& make) {
  const QString path = location.DatabasePath();
  if (location.Portable || QFileInfo::exists(path) || !AskToMakeDatabase(path)) return;
  RunHandler([&] {
    if (!QDir().mkpath(location.DatabaseDirectory)) {
      RaiseMakeFailed(path, QString::fromUtf8(kFolderNotMade));
    }
    make(path);
  });
}

TDataLocation PrepareDataLocation(const TDataFolders& folders, const TDatabaseMaker& make) {
  const TDataLocation location = ChooseDataLocation(folders);
  OfferDefaultDatabase(location, make);
  return location;
}

QString PrepareStart(const TDataFolders& folders, const QStringList& arguments,
                     const TDatabaseMaker& make) {
  const TDataLocation location = ChooseDataLocation(folders);
  SetDatabaseDirectory(location.DatabaseDirectory);
  if (!location.PlacementFile.isEmpty())
    TFormPlacement::SetDefaultIniFileName(location.PlacementFile);
  // The recent files live in the placement store, so the start file is asked for only now.
  const QString start = StartVehicleFile(arguments);
  if (start.isEmpty()) OfferDefaultDatabase(location, make);
  return start;
}

QString UseDataLocation(const QStringList& arguments) {
  // The user's folders are named after the program ("~/.local/share/Wagenlog"), not after the
  // executable's file name.
  QCoreApplication::setApplicationName(QString::fromUtf8(msg::kProgramName));
  return PrepareStart(ProcessDataFolders(), arguments);
}

}  // namespace qdx
