// wagenlog-render: Wagenlog without a display. Starts the program as usual (the database beside
// the executable), shows the main window offscreen, runs the seven chart commands, writes the
// main window and each chart as a PNG file into the folder given (the current one when none)
// and prints the files' paths, one a line. Error boxes are printed to stderr instead.
//
// `wagenlog-render --report OUT.pdf [FILE]` writes the cost report of FILE (else of the
// database beside the executable) into OUT.pdf instead and prints its path.
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "app/error_box.h"
#include "app/forms/program.h"
#include "app/render_offscreen.h"
#include "app/report/cost_report_writer.h"
#include "wagenlog/startup.h"

namespace {

int WriteReport(qdx::TWagenlogProgram& program, const QString& file) {
  program.Form1.show();
  if (!program.DataModule1.tb1.Active()) return 1;
  const bool written =
      qdx::RunHandler([&] { qdx::WriteCostReport(program.Form1, file); }, &program.Form1);
  if (written) std::printf("%s\n", QDir::toNativeSeparators(file).toLocal8Bit().constData());
  return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qdx::TApplication application(argc, argv);
  const QStringList arguments = application.arguments();
  const bool report = arguments.size() > 1 && arguments[1] == QStringLiteral("--report");
  if (report && arguments.size() < 3) {
    std::fprintf(stderr, "wagenlog-render --report OUT.pdf [FILE]\n");
    return 2;
  }
  if (report && arguments.size() > 3)
    qdx::SetDatabaseFile(QFileInfo(arguments[3]).absoluteFilePath());
  const QString folder = arguments.size() > 1 ? arguments[1] : QDir::currentPath();
  qdx::SetErrorBoxPresenter([](const QString& title, const QString& text, QWidget*) {
    std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
  });
  qdx::wagenlog::Startup();
  qdx::TWagenlogProgram program;
  int status = 0;
  if (report) {
    status = WriteReport(program, QFileInfo(arguments[2]).absoluteFilePath());
  } else {
    const QStringList files = qdx::RenderWindows(program, folder);
    for (const QString& file : files) {
      std::printf("%s\n", QDir::toNativeSeparators(file).toLocal8Bit().constData());
    }
    status = files.size() == 8 ? 0 : 1;
  }
  program.Form1.close();
  return status;
}
