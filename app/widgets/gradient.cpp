#include "app/widgets/gradient.h"

#include <QPainter>
#include <cmath>

namespace qdx {

namespace {

constexpr int kBands = 255;

int BandChannel(int k, int start, int end) {
  return start + static_cast<int>(std::nearbyint(k * (end - start) / 255.0));
}

}  // namespace

QImage PaintVerticalGradient(QSize size, QColor start, QColor end) {
  QImage image(size, QImage::Format_RGB32);
  if (size.isEmpty()) return image;
  QPainter painter(&image);
  const int h = size.height();
  const int bandHeight = h / 255 + 1;
  for (int k = 0; k < kBands; ++k) {
    const QColor colour(BandChannel(k, start.red(), end.red()),
                        BandChannel(k, start.green(), end.green()),
                        BandChannel(k, start.blue(), end.blue()));
    const int top = static_cast<int>(static_cast<int64_t>(k) * h / 255);
    painter.fillRect(QRect(0, top, size.width(), bandHeight), colour);
  }
  return image;
}

TGradient::TGradient(QColor start, QColor end, QWidget* parent)
    : QWidget(parent), start_(start), end_(end) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGradient::paintEvent(QPaintEvent* /*event*/) {
  if (image_.size() != size()) image_ = PaintVerticalGradient(size(), start_, end_);
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
}

}  // namespace qdx
