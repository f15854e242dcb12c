#include "app/backup/backup_commands.h"

#include <QAction>
#include <QDate>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>
#include <algorithm>

#include "app/error_box.h"
#include "app/forms/data_module.h"
#include "app/interchange/interchange_menu.h"
#include "app/widgets/question_box.h"
#include "engine/disk/database_copy.h"
#include "engine/foundation/except.h"
#include "engine/foundation/scope_guard.h"
#include "wagenlog/program_texts.h"

namespace qdx {
namespace {

QString Text(const char* text) { return QString::fromUtf8(text); }

QString DateText(const wagenlog::BackupTime& time) {
  const QDate date(time.Year, time.Month, time.Day);
  const QTime clock(time.Hour, time.Minute, time.Second);
  return QLocale().toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
         clock.toString(QStringLiteral("HH:mm:ss"));
}

bool AskRestore(QWidget& window, const TBackupRow& row) {
  TQuestion question;
  question.Title = Text(msg::kConfirmationCaption);
  question.Text = Text(msg::kRestoreBackupQuestion).arg(row.Date, row.Records);
  question.Icon = QMessageBox::Question;
  question.Parent = &window;
  question.Buttons = {{QMessageBox::Yes, {}}, {QMessageBox::No, {}}};
  question.DefaultButton = QMessageBox::No;
  question.EscapeButton = QMessageBox::No;
  return AskQuestion(question) == QMessageBox::Yes;
}

// Closes the database as closing the program would, puts the backup in its place (keeping the
// file it replaces as a backup) and opens it again.
void Restore(QWidget& window, TDataModule1& data, const TRestoreHooks& hooks,
             const TBackupRow& row) {
  if (!AskRestore(window, row) || !hooks.MayClose()) return;
  const std::string file = data.QDXDatabase1.DatabaseFileName();
  hooks.CloseTables();
  // The file is replaced by a rename: this process must hold no handle to the old one.
  data.QDXDatabase1.Close();
  // The window opens its tables again whatever became of the restore.
  const ScopeExit reopen([&] { hooks.OpenTables(); });
  wagenlog::BackupFolder(file).Restore(row.Entry, wagenlog::BackupTime::Now());
}

}  // namespace

void TBackupOnClose::Opened(const std::string& databaseFile, bool readOnly) {
  watching_ = false;
  if (readOnly) return;
  file_ = databaseFile;
  try {
    changeCounter_ = ReadDatabaseChangeCounter(file_);
  } catch (const EQDXException&) {
    return;  // a file the copy cannot read either (a database stored behind other data)
  }
  watching_ = true;
}

void TBackupOnClose::Closed() {
  if (!watching_) return;
  watching_ = false;
  if (ReadDatabaseChangeCounter(file_) == changeCounter_) return;
  wagenlog::BackupFolder(file_).Make(wagenlog::BackupTime::Now());
}

TRestoreDialog::TRestoreDialog(std::vector<TBackupRow> rows, QWidget* parent)
    : QDialog(parent), rows_(std::move(rows)) {
  setWindowTitle(Text(msg::kRestoreBackupCaption));
  auto* layout = new QVBoxLayout(this);
  Empty = new QLabel(Text(msg::kNoBackups), this);
  Empty->setVisible(rows_.empty());
  layout->addWidget(Empty);

  List = new QTableWidget(static_cast<int>(rows_.size()), 2, this);
  List->setHorizontalHeaderLabels({Text(msg::kBackupDateColumn), Text(msg::kBackupRecordsColumn)});
  List->setSelectionBehavior(QAbstractItemView::SelectRows);
  List->setSelectionMode(QAbstractItemView::SingleSelection);
  List->setEditTriggers(QAbstractItemView::NoEditTriggers);
  List->verticalHeader()->hide();
  List->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    List->setItem(i, 0, new QTableWidgetItem(rows_[static_cast<size_t>(i)].Date));
    auto* records = new QTableWidgetItem(rows_[static_cast<size_t>(i)].Records);
    records->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    List->setItem(i, 1, records);
  }
  layout->addWidget(List);

  auto* buttons = new QDialogButtonBox(this);
  RestoreButton = buttons->addButton(Text(msg::kRestoreButton), QDialogButtonBox::AcceptRole);
  buttons->addButton(Text(msg::kCancelButton), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(List, &QTableWidget::itemSelectionChanged, this,
          [this] { RestoreButton->setEnabled(List->currentRow() >= 0); });
  connect(List, &QTableWidget::cellDoubleClicked, this, [this] { accept(); });
  if (!rows_.empty()) List->selectRow(0);
  RestoreButton->setEnabled(!rows_.empty());
  resize(360, 320);
}

const TBackupRow* TRestoreDialog::Chosen() const {
  const int row = List->currentRow();
  if (result() != QDialog::Accepted || row < 0 || row >= static_cast<int>(rows_.size())) {
    return nullptr;
  }
  return &rows_[static_cast<size_t>(row)];
}

std::vector<TBackupRow> BackupRows(const std::string& databaseFile, const std::string& password) {
  std::vector<TBackupRow> rows;
  for (wagenlog::BackupEntry& entry : wagenlog::BackupFolder(databaseFile).List()) {
    const int64_t records = wagenlog::CountExpenseRecords(entry.Path, password);
    TBackupRow row{std::move(entry), {}, {}};
    row.Date = DateText(row.Entry.Time);
    row.Records = records < 0 ? Text(msg::kBackupRecordsUnknown)
                              : QLocale().toString(static_cast<qlonglong>(records));
    rows.push_back(std::move(row));
  }
  std::reverse(rows.begin(), rows.end());
  return rows;
}

QAction* AddRestoreCommand(QWidget& window, TDataModule1& data, TRestoreHooks hooks) {
  auto* action = new QAction(Text(msg::kRestoreBackupCommand), &window);
  QObject::connect(action, &QAction::triggered, &window, [&window, &data, hooks] {
    RunHandler(
        [&] {
          TRestoreDialog dialog(
              BackupRows(data.QDXDatabase1.DatabaseFileName(), data.QDXDatabase1.Password),
              &window);
          RunDialog(dialog);
          if (const TBackupRow* chosen = dialog.Chosen()) Restore(window, data, hooks, *chosen);
        },
        &window);
  });
  window.addAction(action);
  return action;
}

}  // namespace qdx
