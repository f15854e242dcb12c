#include "app/widgets/label_command.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace qdx {

namespace {

const QColor kFace(192, 192, 192);
const QColor kShadow(128, 128, 128);
constexpr int kShadowOffset = 2;
constexpr int kCaptionMargin = 1;  // on either side of the caption
constexpr qreal kSmallestPointSize = 6;

}  // namespace

TLbStaticText::TLbStaticText(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover);
  setAccessibleName(caption);
}

void TLbStaticText::SetHighlightColor(QColor colour) {
  highlight_ = colour;
  update();
}

QColor TLbStaticText::FaceColor() const {
  return hovered_ ? highlight_ : kFace;
}

QRect TLbStaticText::Face() const {
  return rect().adjusted(0, 0, -kShadowOffset, -kShadowOffset);
}

QFont TLbStaticText::CaptionFont() const {
  QFont captionFont = font();
  const int room = Face().width() - 2 * kCaptionMargin;
  const auto fits = [&] { return QFontMetrics(captionFont).horizontalAdvance(caption_) <= room; };
  if (fits()) return captionFont;
  // A narrower face of the same family first, which keeps the height of the other captions.
  captionFont.setStretch(QFont::SemiCondensed);
  qreal size = captionFont.pointSizeF();
  while (!fits() && size > kSmallestPointSize) {
    size = std::max(kSmallestPointSize, size - 0.5);
    captionFont.setPointSizeF(size);
  }
  return captionFont;
}

void TLbStaticText::Click() {
  if (OnClick) OnClick();
}

void TLbStaticText::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect face = Face();
  painter.fillRect(face.translated(kShadowOffset, kShadowOffset), kShadow);
  painter.fillRect(face, FaceColor());
  // A command that cannot be used (on a database opened read-only) shows a grey caption.
  painter.setPen(isEnabled() ? QColor(Qt::black) : QColor(Qt::gray));
  painter.setFont(CaptionFont());
  painter.drawText(face, Qt::AlignCenter, caption_);
}

void TLbStaticText::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QWidget::enterEvent(event);
}

void TLbStaticText::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QWidget::leaveEvent(event);
}

void TLbStaticText::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
}

void TLbStaticText::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->pos());
  pressed_ = false;
  if (click) Click();
}

}  // namespace qdx
