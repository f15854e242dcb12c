#include "app/data_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <string>

#include "app/error_box.h"
#include "app/forms/data_module.h"
#include "app/forms/form_placement.h"
#include "app/widgets/question_box.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "wagenlog/program_texts.h"

namespace qdx {

namespace {

// The texts of the first start in the user's data folder.
constexpr const char* kCreateDatabaseQuestion =
    "Er is nog geen database. Een nieuwe, lege database maken in '%s'?";
constexpr const char* kCreateDatabaseFailed = "De database '%s' kon niet worden gemaakt: %s";
constexpr const char* kQdxNotFound = "het programma qdx is niet gevonden";
constexpr const char* kFolderNotMade = "de map kon niet worden gemaakt";

// Making a database takes well under a second; this only keeps a hung child from hanging the
// start for ever.
constexpr int kMakeTimeoutMs = 60'000;

[[noreturn]] void RaiseMakeFailed(const QString& path, const QString& reason) {
  const std::string pathText = QDir::toNativeSeparators(path).toStdString();
  const std::string reasonText = reason.trimmed().toStdString();
  throw EFrameworkException(
      FormatOrFallback(kCreateDatabaseFailed, {{FormatArg(pathText), FormatArg(reasonText)}}));
}

// qdx beside the executable (an installed or unpacked program), in the tools folder of a build
// tree (build/app/wagenlog beside build/tools/qdx), or else on the PATH.
QString FindQdx() {
  const QDir executable(QCoreApplication::applicationDirPath());
  for (const QString& candidate : {executable.filePath(QStringLiteral("qdx")),
                                   executable.filePath(QStringLiteral("../tools/qdx"))}) {
    if (QFileInfo(candidate).isExecutable()) return QDir::cleanPath(candidate);
  }
  return QStandardPaths::findExecutable(QStringLiteral("qdx"));
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

void MakeProgramDatabaseWith(const QString& qdxProgram, const QString& path) {
  if (qdxProgram.isEmpty()) RaiseMakeFailed(path, QString::fromUtf8(kQdxNotFound));
  QProcess qdx;
  qdx.setProcessChannelMode(QProcess::MergedChannels);
  qdx.start(qdxProgram, {QStringLiteral("create"), path, QStringLiteral("--schema"),
                         QStringLiteral("wagenlog")});
  if (!qdx.waitForFinished(kMakeTimeoutMs)) {
    qdx.kill();
    qdx.waitForFinished();
    RaiseMakeFailed(path, qdx.errorString());
  }
  if (qdx.exitStatus() != QProcess::NormalExit || qdx.exitCode() != 0) {
    RaiseMakeFailed(path, QString::fromLocal8Bit(qdx.readAll()));
  }
}

void MakeProgramDatabase(const QString& path) {
  MakeProgramDatabaseWith(FindQdx(), path);
}

TDataLocation PrepareDataLocation(const TDataFolders& folders, const TDatabaseMaker& make) {
  const TDataLocation location = ChooseDataLocation(folders);
  const QString path = location.DatabasePath();
  if (location.Portable || QFileInfo::exists(path) || !AskToMakeDatabase(path)) return location;
  RunHandler([&] {
    if (!QDir().mkpath(location.DatabaseDirectory)) {
      RaiseMakeFailed(path, QString::fromUtf8(kFolderNotMade));
    }
    make(path);
  });
  return location;
}

void UseDataLocation() {
  // The user's folders are named after the program ("~/.local/share/Wagenlog"), not after the
  // executable's file name.
  QCoreApplication::setApplicationName(QString::fromUtf8(msg::kProgramName));
  const TDataLocation location = PrepareDataLocation(ProcessDataFolders());
  SetDatabaseDirectory(location.DatabaseDirectory);
  if (!location.PlacementFile.isEmpty())
    TFormPlacement::SetDefaultIniFileName(location.PlacementFile);
}

}  // namespace qdx
