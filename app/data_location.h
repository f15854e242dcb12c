// Where the program keeps its database and its window placement store.
//
// A portable copy keeps wagenlog.qdx beside its executable. While that folder is writable and
// holds the file, the program uses it there and keeps the window placement beside it as well
// ("<executable>.ini"), so the whole copy can move to another machine or a USB stick.
// Otherwise, as for a program installed under /usr, the database is the user's:
// "<user's data folder>/wagenlog.qdx" (QStandardPaths::AppDataLocation, for example
// ~/.local/share/Wagenlog/wagenlog.qdx), and the placement store stays in the user's
// configuration folder. When the program starts on that database (no file given, none used
// last) and it does not exist yet, the program asks once, on that start, whether to make it; on
// yes it makes an empty one with the program's two tables, on no it starts without (and reports
// the missing file as usual).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace qdx {

// The folders the choice looks at.
struct TDataFolders {
  QString Executable;  // the executable's directory
  QString UserData;    // the user's data folder of the program
};

struct TDataLocation {
  QString DatabaseDirectory;
  // The window placement store; empty for the placement store's own default in the user's
  // configuration folder.
  QString PlacementFile;
  bool Portable = false;

  QString DatabasePath() const;
};

// The folders of this process.
TDataFolders ProcessDataFolders();

// The location for these folders; looks at the file system only.
TDataLocation ChooseDataLocation(const TDataFolders& folders);

// Makes an empty database with the program's tables at `path` (its folder must exist). Raises
// EFrameworkException when it cannot.
using TDatabaseMaker = std::function<void(const QString& path)>;

// The program's database maker: creates the file and the program's tables (wagenlog/schema) in
// this process. Refuses a file that exists; a file it created but could not fill is removed.
void MakeProgramDatabase(const QString& path);

// The first start in the user's data folder: when the location's database is missing, asks the
// user (AskQuestion) and, on yes, creates the folder and makes the database. A failure is shown
// in an error box and the start goes on. A portable location is left as it is.
void OfferDefaultDatabase(const TDataLocation& location,
                          const TDatabaseMaker& make = MakeProgramDatabase);

// ChooseDataLocation, then OfferDefaultDatabase.
TDataLocation PrepareDataLocation(const TDataFolders& folders,
                                  const TDatabaseMaker& make = MakeProgramDatabase);

// The start-up's choice, before the data module is made: points the database path and the window
// placement store at the location of `folders`, and answers the vehicle file to start on
// (StartVehicleFile of `arguments`; empty for the default database). Only a start on the default
// database offers to make it: a start on a given or recent file asks nothing.
QString PrepareStart(const TDataFolders& folders, const QStringList& arguments,
                     const TDatabaseMaker& make = MakeProgramDatabase);

// PrepareStart for this process, under the program's name.
QString UseDataLocation(const QStringList& arguments);

}  // namespace qdx
