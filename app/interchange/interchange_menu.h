// The main window's import and export commands: "Importeren..." and "Exporteren..." on its
// system menu. The window manager's own system menu cannot be extended from here, so the window's
// menu is its context menu (a right click on the background) and Alt+Space opens it at the
// window's top left corner, where the system menu sits; nothing is added to the fixed layout.
#pragma once

#include <QString>
#include <functional>

class QAction;
class QDialog;
class QWidget;

namespace qdx {

class TDataModule1;

enum class TFileRole { Open, Save };

// Asks for a file name (empty when the user cancelled). Tests answer for the user.
using TFileChooser = std::function<QString(QWidget* parent, TFileRole role, const QString& caption)>;
QString ChooseFile(QWidget* parent, TFileRole role, const QString& caption);
// Replaces the file dialog (an empty chooser restores it); answers the previous one.
TFileChooser SetFileChooser(TFileChooser chooser);

// Runs a dialog the commands open; tests replace it to drive the dialog instead of exec().
using TDialogRunner = std::function<void(QWidget& dialog)>;
TDialogRunner SetDialogRunner(TDialogRunner runner);
// Runs `dialog` modally, or through the runner a test set.
void RunDialog(QDialog& dialog);

struct TInterchangeActions {
  QAction* Import;
  QAction* Export;
};

// Adds the two commands to `window`'s system menu. They work on the expense table tb1 of `data`
// and the transaction of its database; `afterImport` runs once records were inserted (the window
// computes its statistics again).
TInterchangeActions AddInterchangeCommands(QWidget& window, TDataModule1& data,
                                           std::function<void()> afterImport);

}  // namespace qdx
