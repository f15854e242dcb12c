// wagenlog-render: Wagenlog without a display. Starts the program as usual (the database beside
// the executable), shows the main window offscreen, runs the seven chart commands, writes the
// main window and each chart as a PNG file into the folder given (the current one when none)
// and prints the files' paths, one a line. Error boxes are printed to stderr instead.
#include <QDir>
#include <cstdio>

#include "app/error_box.h"
#include "app/forms/program.h"
#include "app/render_offscreen.h"
#include "wagenlog/startup.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qdx::TApplication application(argc, argv);
  const QStringList arguments = application.arguments();
  const QString folder = arguments.size() > 1 ? arguments[1] : QDir::currentPath();
  qdx::SetErrorBoxPresenter([](const QString& title, const QString& text, QWidget*) {
    std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
  });
  qdx::wagenlog::Startup();
  qdx::TWagenlogProgram program;
  const QStringList files = qdx::RenderWindows(program, folder);
  for (const QString& file : files) {
    std::printf("%s\n", QDir::toNativeSeparators(file).toLocal8Bit().constData());
  }
  program.Form1.close();
  return files.size() == 8 ? 0 : 1;
}
