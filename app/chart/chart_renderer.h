// Drawing of a TChart with QPainter, at the places its TChartLayout (chart_layout.h) gives.
// PaintChart draws a chart into any paint device; RenderChartImage and SaveChartImage draw it
// off-screen.
#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include "app/chart/chart_layout.h"
#include "app/chart/chart_model.h"

class QPainter;

namespace qdx {

// Draws `chart` into `bounds` of the painter's device.
void PaintChart(QPainter& painter, const TChart& chart, const QRectF& bounds);

// Draws `chart` into a new image of `size`.
QImage RenderChartImage(const TChart& chart, QSize size);

// Draws `chart` into a PNG file of `size`; false when the file cannot be written.
bool SaveChartImage(const TChart& chart, QSize size, const QString& fileName);

}  // namespace qdx
