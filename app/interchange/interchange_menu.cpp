#include "app/interchange/interchange_menu.h"

#include <QAction>
#include <QFileDialog>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>

#include "app/error_box.h"
#include "app/forms/data_module.h"
#include "app/interchange/export_dialog.h"
#include "app/interchange/import_dialog.h"
#include "wagenlog/interchange/data_set_expense_store.h"
#include "wagenlog/interchange/database_transaction.h"

namespace qdx {
namespace {

TFileChooser& Chooser() {
  static TFileChooser chooser;
  return chooser;
}

TDialogRunner& Runner() {
  static TDialogRunner runner;
  return runner;
}

const QString kCsvFilter = QStringLiteral("CSV-bestanden (*.csv);;Alle bestanden (*)");

}  // namespace

QString ChooseFile(QWidget* parent, TFileRole role, const QString& caption) {
  if (Chooser()) return Chooser()(parent, role, caption);
  return role == TFileRole::Open ? QFileDialog::getOpenFileName(parent, caption, {}, kCsvFilter)
                                 : QFileDialog::getSaveFileName(parent, caption, {}, kCsvFilter);
}

TFileChooser SetFileChooser(TFileChooser chooser) {
  return std::exchange(Chooser(), std::move(chooser));
}

void RunDialog(QDialog& dialog) {
  if (Runner()) {
    Runner()(dialog);
  } else {
    dialog.exec();
  }
}

TDialogRunner SetDialogRunner(TDialogRunner runner) {
  return std::exchange(Runner(), std::move(runner));
}

TInterchangeActions AddInterchangeCommands(QWidget& window, TDataModule1& data,
                                           std::function<void()> afterImport) {
  TInterchangeActions actions{new QAction(QStringLiteral("Importeren..."), &window),
                              new QAction(QStringLiteral("Exporteren..."), &window)};
  QObject::connect(actions.Import, &QAction::triggered, &window, [&window, &data, afterImport] {
    RunHandler(
        [&] {
          const QString file = ChooseFile(&window, TFileRole::Open, QStringLiteral("Importeren"));
          if (file.isEmpty()) return;
          interchange::DatabaseTransaction transaction(data.QDXDatabase1);
          interchange::DataSetExpenseStore store(data.tb1, transaction);
          data.tb1.CheckActive();
          TImportDialog dialog(store, file, QString::fromStdString(data.tb1.TableName()), &window);
          RunDialog(dialog);
          // The walks of the import leave the table at its end; show it from the start.
          data.tb1.First();
          if (dialog.Imported() && afterImport) afterImport();
        },
        &window);
  });
  QObject::connect(actions.Export, &QAction::triggered, &window, [&window, &data] {
    RunHandler(
        [&] {
          data.tb1.CheckActive();
          interchange::DatabaseTransaction transaction(data.QDXDatabase1);
          interchange::DataSetExpenseStore store(data.tb1, transaction);
          TExportDialog dialog(store.ReadAll(), &window);
          data.tb1.First();
          RunDialog(dialog);
        },
        &window);
  });
  window.addAction(actions.Import);
  window.addAction(actions.Export);
  window.setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), &window);
  QObject::connect(shortcut, &QShortcut::activated, &window, [&window] {
    QMenu::exec(window.actions(), window.mapToGlobal(QPoint(0, 0)), nullptr, &window);
  });
  return actions;
}

}  // namespace qdx
