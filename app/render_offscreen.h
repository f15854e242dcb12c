// Renders the program's windows into PNG files: the main window as it shows, then each of the
// seven chart commands run in turn with its chart window drawn after it.
#pragma once

#include <QString>
#include <QStringList>

namespace qdx {

struct TWagenlogProgram;

// Shows the main window, runs the chart commands and writes "wagenlog.png" and one file per
// command ("verbruik.png", "brandstof-ltr.png", ...) into `folder`; answers the files written.
QStringList RenderWindows(TWagenlogProgram& program, const QString& folder);

}  // namespace qdx
