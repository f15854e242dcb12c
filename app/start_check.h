// The start check: `wagenlog --start-and-quit` starts the program as usual and ends it as soon
// as the main window is up, so that a package or an installation can be tried without a person
// at the screen (with QT_QPA_PLATFORM=offscreen, without a display).
//
// During such a start every question is answered Yes (so a first start makes the database in
// the user's data folder) and every error box is written to stderr instead of being shown. The
// exit status is 0 when no error box came up, 1 otherwise.
#pragma once

#include <QStringList>

class QWidget;

namespace qdx {

class TStartCheck {
 public:
  // Reads the command line; without --start-and-quit the check does nothing.
  explicit TStartCheck(const QStringList& arguments);

  bool Enabled() const { return enabled_; }
  // Closes the main window once the event loop has shown it.
  void CloseWhenStarted(QWidget& mainWindow) const;
  // The program's exit status: the event loop's, or the check's result.
  int ExitStatus(int eventLoopStatus) const;

 private:
  bool enabled_ = false;
};

}  // namespace qdx
