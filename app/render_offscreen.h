// Renders the program's windows into PNG files: the main window as it shows, then each of the
// seven chart commands run in turn with its chart window drawn after it.
#pragma once

#include <QString>
#include <QStringList>

namespace qdx {

class TForm1;
class TForm2;
class TForm3;
class TForm4;

// Shows `form1`, runs the chart commands and writes "wagenlog.png" and one file per command
// ("verbruik.png", "brandstof-ltr.png", ...) into `folder`; answers the files written.
QStringList RenderWindows(TForm1& form1, TForm2& form2, TForm3& form3, TForm4& form4,
                          const QString& folder);

}  // namespace qdx
