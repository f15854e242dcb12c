#include "app/forms/form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "app/forms/form_placement.h"

namespace qdx {

TForm::TForm(QString className, QWidget* parent)
    : QWidget(parent, Qt::Window), className_(std::move(className)) {
  placement_ = std::make_unique<TFormPlacement>(*this, className_);
}

TForm::~TForm() {
  placement_->FormDestroying();
}

bool TForm::Resizable() const {
  return minimumSize() != maximumSize();
}

QRect TForm::OuterGeometry() const {
  return frameGeometry();
}

void TForm::SetOuterGeometry(const QRect& outer) {
  const QSize frame = frameGeometry().size() - geometry().size();
  move(outer.topLeft());
  resize(outer.size() - frame);
  if (frame.isNull()) {
    pendingOuterSize_ = outer.size();
  } else {
    pendingOuterSize_.reset();
  }
}

void TForm::setVisible(bool visible) {
  const bool showing = visible && !isVisible();
  if (showing) placement_->FormShowing();
  QWidget::setVisible(visible);
  if (showing) {
    // Once shown, the frame is known where the platform frames at once.
    if (position_ != TFormPosition::Designed) CentreOnScreen();
    placement_->FormShown();
  }
  if (!visible) pendingOuterSize_.reset();
}

bool TForm::event(QEvent* event) {
  const bool result = QWidget::event(event);
  if (pendingOuterSize_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
    const QSize frame = frameGeometry().size() - geometry().size();
    if (!frame.isNull()) {
      const QSize outer = *pendingOuterSize_;
      pendingOuterSize_.reset();
      resize(outer - frame);
    }
  }
  return result;
}

void TForm::closeEvent(QCloseEvent* event) {
  if (!CloseQuery()) {
    event->ignore();
    return;
  }
  event->accept();
  placement_->FormClosing();
}

void TForm::CentreOnScreen() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = position_ == TFormPosition::DesktopCenter ? screen->virtualGeometry()
                                                               : screen->availableGeometry();
  QRect outer = OuterGeometry();
  outer.moveCenter(area.center());
  move(outer.topLeft());
}

}  // namespace qdx
