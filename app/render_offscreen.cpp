#include "app/render_offscreen.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "app/forms/program.h"
#include "app/widgets/label_command.h"

namespace qdx {

QStringList RenderWindows(TWagenlogProgram& program, const QString& folder) {
  TForm1& form1 = program.Form1;
  TForm2& form2 = program.Form2;
  TForm3& form3 = program.Form3;
  TForm4& form4 = program.Form4;
  QDir().mkpath(folder);
  const QDir directory(folder);
  QStringList written;
  form1.show();
  QApplication::processEvents();
  const QString mainFile = directory.absoluteFilePath(QStringLiteral("wagenlog.png"));
  if (form1.grab().save(mainFile, "PNG")) written << mainFile;

  // The commands by their label (LbStaticText2..9 without 6) and the window each fills.
  struct TCommand {
    size_t Label;
    const char* File;
    TChartForm* Form;
  };
  const TCommand commands[] = {{1, "verbruik.png", &form2},      {2, "brandstof-ltr.png", &form2},
                               {7, "brandstof-prijs.png", &form2}, {3, "kilometers.png", &form2},
                               {4, "verbrltrkm.png", &form3},    {6, "taart.png", &form4},
                               {8, "kost-p-mnd.png", &form2}};
  for (const TCommand& command : commands) {
    command.Form->hide();
    form1.LbStaticText[command.Label]->Click();
    QApplication::processEvents();
    const QString file = directory.absoluteFilePath(QString::fromLatin1(command.File));
    if (command.Form->isVisible() && command.Form->SaveImage(file)) written << file;
  }
  return written;
}

}  // namespace qdx
