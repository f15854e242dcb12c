// The error box: how an error that reaches a window handler is shown.
//
// Every window handler runs its work through RunHandler (or lets an exception reach
// TApplication::notify): an exception ends the handler at the step that raised it, its message
// is shown in a modal box with an error icon and OK, titled with the program's name, and the
// program carries on. The box's text is the message with "." appended when its last character
// sorts after "." (so "Disk full" gains a full stop and "Done!" or "(x)" do not).
//
// Tests and non-interactive runs replace the modal box with SetErrorBoxPresenter.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>
#include <string_view>

class QWidget;

namespace qdx {

// The text an error box shows for `message`.
QString ErrorBoxText(QString message);
// The error box's title: the program's name.
QString ErrorBoxTitle();
// The message of the exception being handled (call inside a catch block), or of `error`.
QString ExceptionMessage(std::exception_ptr error);

// Shows an error box for `message` over `parent` (nullptr: the active window).
void ShowErrorBox(const QString& message, QWidget* parent = nullptr);
// Shows an error box for `error`; never throws.
void ShowException(std::exception_ptr error, QWidget* parent = nullptr) noexcept;

// What shows an error box: the title, the final text and the parent window.
using TErrorBoxPresenter =
    std::function<void(const QString& title, const QString& text, QWidget* parent)>;
// Replaces the modal message box (an empty presenter restores it); returns the previous one.
TErrorBoxPresenter SetErrorBoxPresenter(TErrorBoxPresenter presenter);

// Runs a window handler; an exception ends it and is shown in an error box. True when the
// handler ran to its end.
template <typename Handler>
bool RunHandler(Handler&& handler, QWidget* parent = nullptr) noexcept {
  try {
    std::forward<Handler>(handler)();
    return true;
  } catch (...) {
    ShowException(std::current_exception(), parent);
    return false;
  }
}

// The application object: an exception thrown by an event handler is shown in an error box
// instead of ending the program.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace qdx
