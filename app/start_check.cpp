#include "app/start_check.h"

#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "app/error_box.h"
#include "app/widgets/question_box.h"

namespace qdx {

namespace {

int& ErrorBoxCount() {
  static int count = 0;
  return count;
}

}  // namespace

TStartCheck::TStartCheck(const QStringList& arguments)
    : enabled_(arguments.contains(QStringLiteral("--start-and-quit"))) {
  if (!enabled_) return;
  SetQuestionPresenter([](const TQuestion& question) {
    std::fprintf(stderr, "%s: %s [Yes]\n", question.Title.toLocal8Bit().constData(),
                 question.Text.toLocal8Bit().constData());
    return QMessageBox::Yes;
  });
  SetErrorBoxPresenter([](const QString& title, const QString& text, QWidget*) {
    ++ErrorBoxCount();
    std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
  });
}

void TStartCheck::CloseWhenStarted(QWidget& mainWindow) const {
  if (enabled_) QTimer::singleShot(0, &mainWindow, &QWidget::close);
}

int TStartCheck::ExitStatus(int eventLoopStatus) const {
  if (!enabled_) return eventLoopStatus;
  return eventLoopStatus == 0 && ErrorBoxCount() == 0 ? 0 : 1;
}

}  // namespace qdx
