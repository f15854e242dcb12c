// TGradient: a background area painted as a two-colour gradient in 255 bands.
//
// With h the area's height, band k (0..254) starts at trunc(k * h / 255) from the top, is
// trunc(h / 255 + 1) pixels high and has, per channel, start + round(k * (end - start) / 255)
// (ties to even), so the last band carries 254/255 of the way to the end colour. The bands are
// drawn once per size into an off-screen image, which each repaint copies to the screen.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace qdx {

// The banded gradient of `size`, top to bottom from `start` towards `end`.
QImage PaintVerticalGradient(QSize size, QColor start, QColor end);

class TGradient : public QWidget {
 public:
  TGradient(QColor start, QColor end, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor start_;
  QColor end_;
  QImage image_;
};

}  // namespace qdx
