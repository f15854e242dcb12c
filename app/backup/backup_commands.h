// The program's backups in the main window: the copy made when the window closes after the
// database changed, and "Backup terugzetten..." on the window's menu (beside "Importeren..." and
// "Exporteren..."), which lists the backups beside the database with their date and record
// count and restores the one chosen after a question. The backups themselves are
// wagenlog/backup.h's.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "wagenlog/backup.h"

class QAction;
class QLabel;
class QPushButton;
class QTableWidget;
class QWidget;

namespace qdx {

class TDataModule1;

// Remembers the database's change counter once the window has opened it, and makes a backup
// when the window closes and the counter has moved on: the session changed the database. A
// database opened read-only (another program writes it) gets no backup from this one.
class TBackupOnClose {
 public:
  void Opened(const std::string& databaseFile, bool readOnly);
  // After the tables closed. Raises the copy's error.
  void Closed();

 private:
  std::string file_;
  int32_t changeCounter_ = 0;
  bool watching_ = false;
};

// One backup as the list shows it.
struct TBackupRow {
  wagenlog::BackupEntry Entry;
  QString Date;     // the user's short date and the time to the second
  QString Records;  // the expense records, "?" when the file cannot be read
};

// The list of backups, newest first; Terugzetten closes it with the row chosen.
class TRestoreDialog : public QDialog {
 public:
  explicit TRestoreDialog(std::vector<TBackupRow> rows, QWidget* parent = nullptr);

  // The row chosen, when the dialog was accepted.
  const TBackupRow* Chosen() const;

  QTableWidget* List;
  QLabel* Empty;
  QPushButton* RestoreButton;

 private:
  std::vector<TBackupRow> rows_;
};

// What the restore asks of the window: whether it may close (the question about a change not
// stored), closing its tables, and opening them again.
struct TRestoreHooks {
  std::function<bool()> MayClose;
  std::function<void()> CloseTables;
  std::function<void()> OpenTables;
};

// The backups of the database, newest first.
std::vector<TBackupRow> BackupRows(const std::string& databaseFile, const std::string& password);

// Adds "Backup terugzetten..." to `window`'s menu, over the database of `data`.
QAction* AddRestoreCommand(QWidget& window, TDataModule1& data, TRestoreHooks hooks);

}  // namespace qdx
