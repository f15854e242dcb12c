#include "dataset/dialogs/wait_dialog.h"

#include <QApplication>
#include <algorithm>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "dataset/dataset_messages.h"
#include "dataset/dialogs/pass_dialog.h"

namespace qdx {

TfrmWait::TfrmWait(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      messageLabel_(new QLabel(QString::fromLatin1(dsmsg::kWaitDialogDefaultMessage), this)),
      progressBar_(new QProgressBar(this)),
      abortButton_(new QPushButton(QString::fromLatin1(dsmsg::kAbortButton), this)),
      backgroundButton_(new QPushButton(QString::fromLatin1(dsmsg::kBackgroundModeButton), this)),
      message_(QString::fromLatin1(dsmsg::kWaitDialogDefaultMessage)) {
  setWindowTitle(QString::fromLatin1(dsmsg::kWaitDialogCaption));
  setFixedSize(kClientWidth, kClientHeight);
  setCursor(Qt::WaitCursor);

  messageLabel_->setGeometry(8, 8, 296, 36);
  messageLabel_->setAlignment(Qt::AlignCenter);
  messageLabel_->setWordWrap(true);
  progressBar_->setGeometry(8, 50, 296, 18);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  abortButton_->setGeometry(48, 82, 100, 25);
  backgroundButton_->setGeometry(164, 82, 100, 25);
  abortButton_->setDefault(true);
  abortButton_->setAutoDefault(true);
  backgroundButton_->setAutoDefault(false);
  connect(abortButton_, &QPushButton::clicked, this, [this] { aborted_ = true; });
  connect(backgroundButton_, &QPushButton::clicked, this, [this] { EnterBackgroundMode(); });

  showTimer_.setSingleShot(true);
  showTimer_.setInterval(kShowDelayMs);
  connect(&showTimer_, &QTimer::timeout, this, [this] { ShowIfStillBusy(); });
  CentreOnScreen(*this);
}

TfrmWait::~TfrmWait() {
  QObject::disconnect(restoreWatch_);
  EnableOtherWindows();
}

void TfrmWait::SetMessage(const QString& message) {
  message_ = message;
  messageLabel_->setText(message);
  aborted_ = false;
  abortButton_->setFocus();
  if (!restoreWatch_) {
    restoreWatch_ = connect(qApp, &QGuiApplication::applicationStateChanged, this,
                            [this](Qt::ApplicationState state) {
                              if (state == Qt::ApplicationActive) ApplicationRestored();
                            });
  }
  showTimer_.start();
}

void TfrmWait::SetProgress(int percent) {
  progressBar_->setValue(std::clamp(percent, 0, 100));
  QCoreApplication::processEvents();
}

int TfrmWait::Progress() const {
  return progressBar_->value();
}

void TfrmWait::ShowNow() {
  if (finished_) return;
  showTimer_.stop();
  show();
  raise();
}

void TfrmWait::ShowIfStillBusy() {
  if (!finished_ && !backgroundMode_ && Progress() <= kLateShowLimit) ShowNow();
}

void TfrmWait::Finish() {
  finished_ = true;
  showTimer_.stop();
  QObject::disconnect(restoreWatch_);
  restoreWatch_ = {};
  hide();
  for (const QPointer<QWidget>& window : minimisedWindows_) {
    if (window != nullptr) window->showNormal();
  }
  minimisedWindows_.clear();
  backgroundMode_ = false;
}

void TfrmWait::EnterBackgroundMode() {
  backgroundMode_ = true;
  showTimer_.stop();
  hide();
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window == this || !window->isVisible()) continue;
    window->showMinimized();
    minimisedWindows_.emplace_back(window);
  }
}

void TfrmWait::ApplicationRestored() {
  if (!backgroundMode_ || finished_) return;
  backgroundMode_ = false;
  minimisedWindows_.clear();
  SetMessage(message_);
}

void TfrmWait::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  DisableOtherWindows();
}

void TfrmWait::hideEvent(QHideEvent* event) {
  EnableOtherWindows();
  QDialog::hideEvent(event);
}

void TfrmWait::reject() {
  aborted_ = true;
}

void TfrmWait::DisableOtherWindows() {
  if (!disabledWindows_.empty()) return;
  previousActive_ = QApplication::activeWindow();
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window == this || !window->isEnabled()) continue;
    window->setEnabled(false);
    disabledWindows_.emplace_back(window);
  }
}

void TfrmWait::EnableOtherWindows() {
  for (const QPointer<QWidget>& window : disabledWindows_) {
    if (window != nullptr) window->setEnabled(true);
  }
  disabledWindows_.clear();
  if (previousActive_ != nullptr && previousActive_ != this) previousActive_->activateWindow();
  previousActive_ = nullptr;
}

}  // namespace qdx
