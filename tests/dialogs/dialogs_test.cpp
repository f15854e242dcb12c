// The password and wait dialogs built offscreen: captions, sizes, controls and what the buttons
// do; the Qt prompts answering through them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <functional>

#include "dataset/dialogs/pass_dialog.h"
#include "dataset/dialogs/qt_prompts.h"
#include "dataset/dialogs/wait_dialog.h"

namespace qdx {
namespace {

// Runs `action` on the modal dialog once it is shown (the caller then enters exec()).
void WhenModalShown(std::function<void(QWidget&)> action) {
  auto* timer = new QTimer();
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(*modal);
  });
  timer->start();
}

TEST(PassDialogTest, CaptionSizeAndControls) {
  TQDXPassDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Database authentication");
  EXPECT_EQ(dialog.size(), QSize(216, 118));
  EXPECT_TRUE(dialog.isModal());
  EXPECT_EQ(dialog.NameLabel()->text(), "");
  EXPECT_TRUE(dialog.NameLabel()->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(dialog.PasswordLabel()->text(), "Password:");
  EXPECT_EQ(dialog.PasswordEdit()->text(), "");
  EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
  EXPECT_EQ(dialog.PasswordEdit()->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter),
            '*');
  EXPECT_EQ(dialog.OKButton()->text(), "OK");
  EXPECT_TRUE(dialog.OKButton()->isDefault());
  EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
  // Every control lies inside the client area.
  for (QWidget* control : {static_cast<QWidget*>(dialog.NameLabel()),
                           static_cast<QWidget*>(dialog.PasswordEdit()),
                           static_cast<QWidget*>(dialog.OKButton()),
                           static_cast<QWidget*>(dialog.CancelButton())}) {
    EXPECT_TRUE(dialog.rect().contains(control->geometry())) << control->metaObject()->className();
  }
}

TEST(PassDialogTest, OKGivesTheTypedPasswordAndCancelKeepsTheOldOne) {
  std::string password = "old";
  WhenModalShown([](QWidget& modal) {
    auto& dialog = static_cast<TQDXPassDialog&>(modal);
    EXPECT_EQ(dialog.NameLabel()->text(), "wagenlog");
    dialog.PasswordEdit()->setText(QString::fromUtf8("g\xC3\xA9heim"));  // é: 0xE9 in 1252
    dialog.OKButton()->click();
  });
  EXPECT_TRUE(TQDXPassDialog::Ask("wagenlog", password));
  EXPECT_EQ(password, "g\xE9heim");

  WhenModalShown([](QWidget& modal) {
    auto& dialog = static_cast<TQDXPassDialog&>(modal);
    dialog.PasswordEdit()->setText("typed");
    dialog.CancelButton()->click();
  });
  EXPECT_FALSE(TQDXPassDialog::Ask("", password));
  EXPECT_EQ(password, "g\xE9heim");
}

TEST(WaitDialogTest, CaptionSizeAndControls) {
  TfrmWait dialog;
  EXPECT_EQ(dialog.windowTitle(), "Please Wait...");
  EXPECT_EQ(dialog.size(), QSize(312, 118));
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint);
  EXPECT_EQ(dialog.cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(dialog.MessageLabel()->text(), "Wait...");
  EXPECT_TRUE(dialog.MessageLabel()->wordWrap());
  EXPECT_TRUE(dialog.MessageLabel()->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(dialog.ProgressBar()->minimum(), 0);
  EXPECT_EQ(dialog.ProgressBar()->maximum(), 100);
  EXPECT_EQ(dialog.AbortButton()->text(), "Abort");
  EXPECT_TRUE(dialog.AbortButton()->isDefault());
  EXPECT_EQ(dialog.BackgroundButton()->text(), "Background Mode");
  EXPECT_EQ(dialog.ShowTimer().interval(), 500);
  for (QWidget* control : {static_cast<QWidget*>(dialog.MessageLabel()),
                           static_cast<QWidget*>(dialog.ProgressBar()),
                           static_cast<QWidget*>(dialog.AbortButton()),
                           static_cast<QWidget*>(dialog.BackgroundButton())}) {
    EXPECT_TRUE(dialog.rect().contains(control->geometry())) << control->metaObject()->className();
  }
}

// Fires the dialog's show timer at once.
void FireShowTimer(TfrmWait& dialog) {
  ASSERT_TRUE(dialog.ShowTimer().isActive());
  QMetaObject::invokeMethod(const_cast<QTimer*>(&dialog.ShowTimer()), "timeout",
                            Qt::DirectConnection);
}

TEST(WaitDialogTest, ShowsLateOnlyWhileTheOperationIsFarFromDone) {
  struct Case {
    int progress;
    bool finished;
    bool shown;
  };
  for (const Case& c : {Case{0, false, true}, Case{50, false, true}, Case{51, false, false},
                        Case{10, true, false}}) {
    SCOPED_TRACE(c.progress);
    TfrmWait dialog;
    dialog.SetMessage("Repairing Database...");
    dialog.SetProgress(c.progress);
    if (c.finished) {
      dialog.Finish();
      EXPECT_FALSE(dialog.ShowTimer().isActive());
      continue;
    }
    FireShowTimer(dialog);
    EXPECT_EQ(dialog.isVisible(), c.shown);
  }
}

TEST(WaitDialogTest, AbortIsClearedByANewMessageAndOtherWindowsWaitWhileShown) {
  QWidget mainWindow;
  mainWindow.show();
  TfrmWait dialog;
  dialog.SetMessage("Copy Table...");
  dialog.ShowNow();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(mainWindow.isEnabled());

  dialog.AbortButton()->click();
  EXPECT_TRUE(dialog.Aborted());
  dialog.SetMessage("Restructure Table...");
  EXPECT_FALSE(dialog.Aborted());
  static_cast<QDialog&>(dialog).reject();  // Escape
  EXPECT_TRUE(dialog.Aborted());

  dialog.Finish();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(mainWindow.isEnabled());
}

TEST(WaitDialogTest, BackgroundModeHidesAndRearmsWhenTheApplicationReturns) {
  QWidget mainWindow;
  mainWindow.show();
  TfrmWait dialog;
  dialog.SetMessage("Repairing Database...");
  dialog.ShowNow();
  dialog.BackgroundButton()->click();
  EXPECT_TRUE(dialog.InBackgroundMode());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(mainWindow.isEnabled());
  EXPECT_FALSE(dialog.ShowTimer().isActive());

  dialog.ApplicationRestored();
  EXPECT_FALSE(dialog.InBackgroundMode());
  EXPECT_EQ(dialog.MessageLabel()->text(), "Repairing Database...");
  FireShowTimer(dialog);
  EXPECT_TRUE(dialog.isVisible());
  dialog.Finish();
}

TEST(QtPromptsTest, MessageBoxesAnswerWithTheirButtons) {
  TQtPrompts prompts;
  QString caption, text;
  auto press = [&](QMessageBox::StandardButton button) {
    WhenModalShown([&, button](QWidget& modal) {
      auto& box = static_cast<QMessageBox&>(modal);
      caption = box.windowTitle();
      text = box.text();
      box.button(button)->click();
    });
  };
  press(QMessageBox::Yes);
  EXPECT_TRUE(prompts.Confirm("Repair?"));
  EXPECT_EQ(caption, "Confirm");
  EXPECT_EQ(text, "Repair?");
  press(QMessageBox::No);
  EXPECT_FALSE(prompts.Confirm("Repair?"));
  press(QMessageBox::Ok);
  prompts.Inform("Old format");
  EXPECT_EQ(caption, "Information");
  press(QMessageBox::Ok);
  prompts.Warn("Record #1 was not imported");
  EXPECT_EQ(caption, "Warning");
  EXPECT_EQ(text, "Record #1 was not imported");
}

TfrmWait* ShownWaitDialog() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* dialog = dynamic_cast<TfrmWait*>(window);
    if (dialog != nullptr && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

TEST(QtPromptsTest, ProgressGoesToAWaitDialogThatFinishesWithTheDisplay) {
  TQtPrompts prompts;
  auto display = prompts.BeginProgress("Repairing Database...");
  display->ShowNow();
  TfrmWait* dialog = ShownWaitDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->MessageLabel()->text(), "Repairing Database...");
  display->SetProgress(40);
  EXPECT_EQ(dialog->Progress(), 40);
  dialog->AbortButton()->click();
  EXPECT_TRUE(display->Aborted());
  display.reset();
  EXPECT_EQ(ShownWaitDialog(), nullptr);
}

}  // namespace
}  // namespace qdx
