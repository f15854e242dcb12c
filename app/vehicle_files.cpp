#include "app/vehicle_files.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <string>
#include <utility>

#include "app/error_box.h"
#include "app/forms/form_placement.h"
#include "app/forms/main_window.h"
#include "app/report/cost_report_writer.h"
#include "dataset/qdx_database.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/platform/file.h"
#include "wagenlog/program_texts.h"
#include "wagenlog/schema.h"

namespace qdx {

namespace {

TVehicleFileChooser& Chooser() {
  static TVehicleFileChooser chooser;
  return chooser;
}

// The list lives beside the window placement, in the program's own settings file.
QSettings RecentStore() {
  return QSettings(TFormPlacement::DefaultIniFileName(), QSettings::IniFormat);
}

QString RecentKey() {
  return QStringLiteral("Software/") + TFormPlacement::ExecutableName() +
         QStringLiteral("/RecentFiles/Files");
}

QString WithSuffix(QString file, const char* suffix) {
  if (!file.isEmpty() && QFileInfo(file).suffix().isEmpty()) file += QString::fromUtf8(suffix);
  return file;
}

QString ChooseVehicleFile(QWidget* parent, TVehicleFileRole role) {
  if (Chooser()) return Chooser()(parent, role);
  switch (role) {
    case TVehicleFileRole::OpenVehicle:
      return QFileDialog::getOpenFileName(parent, QString::fromUtf8(msg::kOpenVehicleCaption), {},
                                          QString::fromUtf8(msg::kVehicleFileFilter));
    case TVehicleFileRole::NewVehicle:
      // An existing file is refused afterwards rather than confirmed and overwritten.
      return QFileDialog::getSaveFileName(parent, QString::fromUtf8(msg::kNewVehicleCaption), {},
                                          QString::fromUtf8(msg::kVehicleFileFilter), nullptr,
                                          QFileDialog::DontConfirmOverwrite);
    case TVehicleFileRole::SaveReport:
      return QFileDialog::getSaveFileName(parent, QString::fromUtf8(msg::kReportCaption), {},
                                          QString::fromUtf8(msg::kReportFileFilter));
  }
  return {};
}

QString Formatted(const char* format, const QString& path) {
  const std::string text = QDir::toNativeSeparators(path).toStdString();
  return QString::fromStdString(FormatOrFallback(format, {{FormatArg(text)}}));
}

// An empty database with the program's two tables; nothing is left behind when it fails.
void MakeVehicleFile(const std::string& file) {
  TQDXDatabase database("NieuwVoertuig");
  database.SetDatabaseName("wagenlog_nieuw_voertuig");
  database.SetDatabaseFileName(file);
  database.SilentMode = true;
  database.CreateDatabase();
  try {
    database.Open();
    wagenlog::CreateTables(database);
    database.Close();
  } catch (...) {
    database.Close();
    platform::DeleteFile(file);
    throw;
  }
}

void NewVehicle(TForm1& window) {
  const QString file =
      WithSuffix(ChooseVehicleFile(&window, TVehicleFileRole::NewVehicle), msg::kVehicleFileSuffix);
  if (file.isEmpty()) return;
  if (QFileInfo::exists(file)) {
    ShowErrorBox(Formatted(msg::kVehicleFileExists, file), &window);
    return;
  }
  // Made before the current file closes: a file that cannot be made leaves the user where he was.
  const std::string path =
      QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()).toStdString();
  if (!RunHandler([&] { MakeVehicleFile(path); }, &window)) return;
  window.OpenVehicleFile(file);
}

void OpenVehicle(TForm1& window) {
  const QString file = ChooseVehicleFile(&window, TVehicleFileRole::OpenVehicle);
  if (!file.isEmpty()) window.OpenVehicleFile(file);
}

void SaveReport(TForm1& window) {
  const QString file =
      WithSuffix(ChooseVehicleFile(&window, TVehicleFileRole::SaveReport), msg::kReportFileSuffix);
  if (!file.isEmpty()) RunHandler([&] { WriteCostReport(window, file); }, &window);
}

void ShowRecentFiles(const std::array<QAction*, kRecentVehicleCount>& actions) {
  const QStringList files = RecentVehicleFiles();
  for (int i = 0; i < kRecentVehicleCount; ++i) {
    QAction* action = actions[static_cast<size_t>(i)];
    const bool shown = i < files.size();
    action->setVisible(shown);
    if (!shown) continue;
    // "&1 volvo.qdx": the file's name with its number as the accelerator; the path as the tip.
    // Two files of one name in different folders ("wagenlog.qdx" beside two portable copies)
    // also show their folders, or the entries could not be told apart.
    const QFileInfo file(files[i]);
    QString name = file.fileName();
    const auto sameName = [&](const QString& other) {
      return QFileInfo(other).fileName() == file.fileName();
    };
    if (std::count_if(files.begin(), files.end(), sameName) > 1)
      name += QStringLiteral(" (%1)").arg(QDir::toNativeSeparators(file.absolutePath()));
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
    action->setData(files[i]);
    action->setToolTip(QDir::toNativeSeparators(files[i]));
  }
}

QAction* Separator(QWidget& window) {
  auto* separator = new QAction(&window);
  separator->setSeparator(true);
  return separator;
}

}  // namespace

QStringList RecentVehicleFiles() {
  QStringList files = RecentStore().value(RecentKey()).toStringList();
  files.removeAll(QString());
  while (files.size() > kRecentVehicleCount) files.removeLast();
  return files;
}

void RememberVehicleFile(const QString& path) {
  const QString file = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  QStringList files = RecentVehicleFiles();
  files.removeAll(file);
  files.prepend(file);
  while (files.size() > kRecentVehicleCount) files.removeLast();
  QSettings store = RecentStore();
  store.setValue(RecentKey(), files);
}

QString StartVehicleFile(const QStringList& arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (!arguments[i].startsWith(QLatin1Char('-')))
      return QFileInfo(arguments[i]).absoluteFilePath();
  }
  const QStringList recent = RecentVehicleFiles();
  if (!recent.isEmpty() && QFileInfo(recent.front()).isFile()) return recent.front();
  return {};
}

TVehicleFileChooser SetVehicleFileChooser(TVehicleFileChooser chooser) {
  return std::exchange(Chooser(), std::move(chooser));
}

TVehicleActions AddVehicleCommands(TForm1& window) {
  TVehicleActions actions{};
  actions.NewVehicle = new QAction(QString::fromUtf8(msg::kNewVehicleCommand), &window);
  actions.OpenVehicle = new QAction(QString::fromUtf8(msg::kOpenVehicleCommand), &window);
  actions.Report = new QAction(QString::fromUtf8(msg::kReportCommand), &window);
  for (QAction*& recent : actions.Recent) {
    recent = new QAction(&window);
    QObject::connect(recent, &QAction::triggered, &window,
                     [&window, recent] { window.OpenVehicleFile(recent->data().toString()); });
  }
  QObject::connect(actions.NewVehicle, &QAction::triggered, &window,
                   [&window] { NewVehicle(window); });
  QObject::connect(actions.OpenVehicle, &QAction::triggered, &window,
                   [&window] { OpenVehicle(window); });
  QObject::connect(actions.Report, &QAction::triggered, &window, [&window] { SaveReport(window); });

  window.addAction(Separator(window));
  window.addAction(actions.NewVehicle);
  window.addAction(actions.OpenVehicle);
  for (QAction* recent : actions.Recent) window.addAction(recent);
  window.addAction(Separator(window));
  window.addAction(actions.Report);
  ShowRecentFiles(actions.Recent);
  window.OnVehicleOpened = [recent = actions.Recent](const QString& path) {
    RememberVehicleFile(path);
    ShowRecentFiles(recent);
  };
  return actions;
}

}  // namespace qdx
