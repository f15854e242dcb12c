#include "app/chart/chart_widget.h"

#include <QPainter>

#include "app/chart/chart_renderer.h"

namespace qdx {

TChartWidget::TChartWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
  chart_.SetOnChange([this] { update(); });
}

void TChartWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  PaintChart(painter, chart_, QRectF(rect()));
}

}  // namespace qdx
