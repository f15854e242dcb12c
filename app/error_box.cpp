#include "app/error_box.h"

#include <QMessageBox>
#include <new>

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "wagenlog/program_texts.h"

namespace qdx {

namespace {

TErrorBoxPresenter& Presenter() {
  static TErrorBoxPresenter presenter;
  return presenter;
}

void ShowModalBox(const QString& title, const QString& text, QWidget* parent) {
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                  parent ? parent : QApplication::activeWindow());
  box.exec();
}

}  // namespace

QString ErrorBoxText(QString message) {
  // Compared as code units, so any letter, digit or non-ASCII character earns the full stop.
  if (!message.isEmpty() && message.back().unicode() > u'.') message += QLatin1Char('.');
  return message;
}

QString ErrorBoxTitle() {
  return QString::fromUtf8(msg::kProgramName);
}

QString ExceptionMessage(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const EFrameworkException& e) {
    return QString::fromStdString(e.Message());
  } catch (const std::bad_alloc&) {
    return QString::fromUtf8(msg::kOutOfMemory);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return QString::fromUtf8(msg::kUnknownException);
}

void ShowErrorBox(const QString& message, QWidget* parent) {
  const QString text = ErrorBoxText(message);
  if (Presenter()) {
    Presenter()(ErrorBoxTitle(), text, parent);
  } else {
    ShowModalBox(ErrorBoxTitle(), text, parent);
  }
}

void ShowException(std::exception_ptr error, QWidget* parent) noexcept {
  try {
    ShowErrorBox(ExceptionMessage(error), parent);
  } catch (...) {
    // Nothing is left to report with: the error box itself failed (out of memory).
  }
}

TErrorBoxPresenter SetErrorBoxPresenter(TErrorBoxPresenter presenter) {
  TErrorBoxPresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  return previous;
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowException(std::current_exception());
    return false;
  }
}

}  // namespace qdx
