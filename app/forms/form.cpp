#include "app/forms/form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

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
  const bool wasVisible = isVisible();
  const bool showing = visible && !wasVisible;
  if (showing) {
    placement_->FormShowing();
    FitOntoOwnersScreen();
  }
  QWidget::setVisible(visible);
  if (showing) {
    // Once shown, the frame is known where the platform frames at once.
    if (position_ != TFormPosition::Designed) CentreOnScreen();
    placement_->FormShown();
  }
  // Hiding a form that was never shown leaves the outer size it waits to be framed with.
  if (!visible && wasVisible) pendingOuterSize_.reset();
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

namespace {

QMargins FrameOf(const QWidget& window) {
  const QRect outer = window.frameGeometry();
  const QRect inner = window.geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

}  // namespace

QRect TForm::ExpectedOuterGeometry() const {
  if (!FrameOf(*this).isNull()) return frameGeometry();
  // Not framed yet: the position given is the frame's, and the size the outer size waiting for
  // the frame, or the client area in a frame like the owner's.
  QRect outer = geometry();
  if (pendingOuterSize_) {
    outer.setSize(*pendingOuterSize_);
  } else if (screenOwner_ != nullptr && screenOwner_ != this) {
    const QMargins frame = FrameOf(*screenOwner_);
    outer.setSize(outer.size().grownBy(frame));
  }
  return outer;
}

void TForm::FitOntoOwnersScreen() {
  if (screenOwner_ == nullptr) return;
  const QScreen* screen = screenOwner_->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect outer = ExpectedOuterGeometry();
  const QRect fitted = FitIntoArea(outer, screen->availableGeometry(), Resizable());
  if (fitted != outer) SetOuterGeometry(fitted);
}

QRect FitIntoArea(QRect outer, const QRect& area, bool resizable) {
  if (area.isEmpty()) return outer;
  if (resizable) outer.setSize(outer.size().boundedTo(area.size()));
  const int left =
      std::max(area.left(), std::min(outer.left(), area.left() + area.width() - outer.width()));
  const int top =
      std::max(area.top(), std::min(outer.top(), area.top() + area.height() - outer.height()));
  outer.moveTopLeft(QPoint(left, top));
  return outer;
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
