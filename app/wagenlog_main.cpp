// The program Wagenlog: puts its dialogs and Qt's texts in the user's language in place, finds
// its database (the vehicle file given on the command line, else the one used last, else the
// default: beside the executable for a portable copy, else in the user's data folder),
// creates the data module, the main window (whose create handler opens the database) and the
// three hidden chart windows, then runs the message loop. Closing the main window ends the
// program; the windows go before the data module, whose database disconnects last.
#include "app/data_location.h"
#include "app/error_box.h"
#include "app/forms/program.h"
#include "app/program_setup.h"
#include "app/start_check.h"
#include "app/forms/data_module.h"
#include "wagenlog/startup.h"

int main(int argc, char** argv) {
  qdx::TApplication application(argc, argv);
  const qdx::TStartCheck startCheck(application.arguments());
  // Before the database opens: it may ask for a password or whether to repair the file.
  qdx::TProgramSetup setup;
  qdx::wagenlog::Startup();
  qdx::SetDatabaseFile(qdx::UseDataLocation(application.arguments()));
  qdx::TWagenlogProgram program;
  // Closing the main window ends the program, whichever chart windows are open.
  for (QWidget* chart : {static_cast<QWidget*>(&program.Form2),
                         static_cast<QWidget*>(&program.Form3),
                         static_cast<QWidget*>(&program.Form4)}) {
    chart->setAttribute(Qt::WA_QuitOnClose, false);
  }
  QObject::connect(&application, &QApplication::lastWindowClosed, &application,
                   &QApplication::quit);
  program.Form1.show();
  startCheck.CloseWhenStarted(program.Form1);
  return startCheck.ExitStatus(application.exec());
}
