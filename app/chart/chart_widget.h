// TChartWidget: a widget that shows one TChart and repaints whenever the chart changes.
// It takes no mouse input: charts cannot be panned or zoomed.
#pragma once

#include <QWidget>

#include "app/chart/chart_model.h"

namespace qdx {

class TChartWidget : public QWidget {
 public:
  explicit TChartWidget(QWidget* parent = nullptr);

  TChart& Chart() { return chart_; }
  const TChart& Chart() const { return chart_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TChart chart_;
};

}  // namespace qdx
