// The texts of the statistics labels: the figures of one run (wagenlog/statistics/statistics.h)
// in the user's number and currency formats (number_formats.h).
#pragma once

#include <QString>

#include "wagenlog/statistics/statistics.h"

namespace qdx {

// The texts of the eleven statistics labels, in the order they are written.
struct TStatisticsLabels {
  QString Label6;   // total cost, general
  QString Label27;  // total litres, general
  QString Label28;  // kilometres driven, general
  QString Label1;   // total per km, currency 3
  QString Label3;   // fuel per km
  QString Label8;   // maintenance per km
  QString Label29;  // insurance per km
  QString Label30;  // road tax per km
  QString Label31;  // depreciation per km
  QString Label12;  // km per litre, fixed 3
  QString Label9;   // litres per 100 km, fixed 3
};

// The label texts of a run, in the user's formats.
TStatisticsLabels StatisticsLabels(const TStatistics& statistics);

}  // namespace qdx
