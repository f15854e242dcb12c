// TfrmWait: the wait dialog of long database operations (a rebuild, copying or restructuring a
// table): caption "Please Wait...", 312 x 118 pixels, centred on the screen, always on top, a
// dialog border without title-bar buttons and the hourglass cursor. It holds a centred,
// word-wrapped message line ("Wait..." until one is set), a smooth progress bar from 0 to 100,
// "Abort" (default and cancel button) and "Background Mode".
//
// The dialog stays hidden for short operations: setting a message starts a 500 ms timer, and
// when it fires the dialog shows itself only if the operation has not finished and its progress
// is at most 50. While shown it disables the application's other windows; hiding re-enables them
// and reactivates the window that was active. Abort sets the flag that progress callbacks read.
// Background Mode hides the dialog and minimises the application; when the application is
// active again, the dialog re-arms with its message. Finish ends it all and restores the
// application.
//
// Used from the window thread. SetProgress lets pending window events run, so that the buttons
// work while the operation keeps the thread busy.
#pragma once

#include <QDialog>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qdx {

class TfrmWait : public QDialog {
 public:
  static constexpr int kClientWidth = 312;
  static constexpr int kClientHeight = 118;
  static constexpr int kShowDelayMs = 500;
  // The dialog shows itself late only while the progress is at most this.
  static constexpr int kLateShowLimit = 50;

  explicit TfrmWait(QWidget* parent = nullptr);
  ~TfrmWait() override;

  // Clears the abort flag, focuses Abort, starts watching for the application's return from the
  // background and starts the show timer.
  void SetMessage(const QString& message);
  QString Message() const { return message_; }
  // 0 to 100; runs the pending window events.
  void SetProgress(int percent);
  int Progress() const;
  bool Aborted() const { return aborted_; }
  // Shows the dialog at once.
  void ShowNow();
  // The operation is over: stops watching the application, hides the dialog and restores the
  // application's windows.
  void Finish();
  // Background Mode: hides the dialog and minimises the application's other windows.
  void EnterBackgroundMode();
  // The application came back from the background: the dialog re-arms with its message.
  void ApplicationRestored();
  bool InBackgroundMode() const { return backgroundMode_; }

  QLabel* MessageLabel() const { return messageLabel_; }
  QProgressBar* ProgressBar() const { return progressBar_; }
  QPushButton* AbortButton() const { return abortButton_; }
  QPushButton* BackgroundButton() const { return backgroundButton_; }
  const QTimer& ShowTimer() const { return showTimer_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Escape and the window system's close request mean Abort.
  void reject() override;

 private:
  void ShowIfStillBusy();
  void DisableOtherWindows();
  void EnableOtherWindows();

  QLabel* messageLabel_;
  QProgressBar* progressBar_;
  QPushButton* abortButton_;
  QPushButton* backgroundButton_;
  QTimer showTimer_;
  QString message_;
  bool aborted_ = false;
  bool finished_ = false;
  bool backgroundMode_ = false;
  QMetaObject::Connection restoreWatch_;
  QPointer<QWidget> previousActive_;
  std::vector<QPointer<QWidget>> disabledWindows_;
  std::vector<QPointer<QWidget>> minimisedWindows_;
};

}  // namespace qdx
