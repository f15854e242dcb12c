// One file per vehicle: the main window's commands "Nieuw voertuig...", "Ander voertuig
// openen...", the last five files opened, and "Rapport (PDF)...", on the window's menu (its
// context menu, beside "Importeren..." and "Exporteren..."); the list of recent files in the
// program's settings; and the file the program starts on.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class QAction;
class QWidget;

namespace qdx {

class TForm1;

inline constexpr int kRecentVehicleCount = 5;

// The vehicle files opened last, newest first, at most five.
QStringList RecentVehicleFiles();
// Puts `path` at the head of the list.
void RememberVehicleFile(const QString& path);

// The file the program starts on: the first argument that is not an option, else the file used
// last while it exists; empty for the default database.
QString StartVehicleFile(const QStringList& arguments);

// Asks for a vehicle file or a report file (empty when the user cancelled). Tests answer for
// the user.
enum class TVehicleFileRole { OpenVehicle, NewVehicle, SaveReport };
using TVehicleFileChooser = std::function<QString(QWidget* parent, TVehicleFileRole role)>;
// Replaces the file dialog (an empty chooser restores it); answers the previous one.
TVehicleFileChooser SetVehicleFileChooser(TVehicleFileChooser chooser);

struct TVehicleActions {
  QAction* NewVehicle;
  QAction* OpenVehicle;
  // Hidden while the list is shorter.
  std::array<QAction*, kRecentVehicleCount> Recent;
  QAction* Report;
};

// Adds the commands to the main window's menu and keeps the recent files on it.
TVehicleActions AddVehicleCommands(TForm1& window);

}  // namespace qdx
