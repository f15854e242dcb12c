// The program Wagenlog: creates the data module, the main window (whose create handler opens the
// database beside the executable) and the three hidden chart windows, then runs the message
// loop. Closing the main window ends the program; the windows go before the data module, whose
// database disconnects last.
#include "app/error_box.h"
#include "app/forms/chart_windows.h"
#include "app/forms/data_module.h"
#include "app/forms/main_window.h"
#include "engine/core/expr/expression.h"

int main(int argc, char** argv) {
  qdx::TApplication application(argc, argv);
  qdx::RegisterExpressionDefaults();
  qdx::TDataModule1 dataModule1;
  qdx::TForm1 form1(dataModule1);
  qdx::TForm2 form2;
  qdx::TForm3 form3;
  qdx::TForm4 form4;
  form1.SetChartWindows(&form2, &form3, &form4);
  // Closing the main window ends the program, whichever chart windows are open.
  for (QWidget* chart : {static_cast<QWidget*>(&form2), static_cast<QWidget*>(&form3),
                         static_cast<QWidget*>(&form4)}) {
    chart->setAttribute(Qt::WA_QuitOnClose, false);
  }
  QObject::connect(&application, &QApplication::lastWindowClosed, &application,
                   &QApplication::quit);
  form1.show();
  return application.exec();
}
