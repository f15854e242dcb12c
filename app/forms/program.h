// TWagenlogProgram: the program's objects in the order start-up makes them: the data module,
// the main window (whose create handler opens the database and computes the statistics), and
// the three hidden chart windows, which the main window's chart commands fill. Destroyed in
// reverse: the windows first, then the data module, whose database disconnects last.
#pragma once

#include "app/forms/chart_windows.h"
#include "app/forms/data_module.h"
#include "app/forms/main_window.h"

namespace qdx {

struct TWagenlogProgram {
  TWagenlogProgram() : Form1(DataModule1) { Form1.SetChartWindows(&Form2, &Form3, &Form4); }
  TWagenlogProgram(const TWagenlogProgram&) = delete;
  TWagenlogProgram& operator=(const TWagenlogProgram&) = delete;

  TDataModule1 DataModule1;
  TForm1 Form1;
  TForm2 Form2;
  TForm3 Form3;
  TForm4 Form4;
};

}  // namespace qdx
