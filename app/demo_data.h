// A year of example expenses for a new database (scripts/run --demo): the vehicle record and,
// over the twelve months before today, fuel every one to three weeks with plausible distances,
// litres and prices, two services, monthly insurance and depreciation, and quarterly road tax.
// The records are the same on every run (a fixed seed), dated relative to `today`.
#pragma once

#include <QDate>

namespace qdx {

class TDataSet;

// Appends the example records to the two open tables.
void FillDemoRecords(TDataSet& expenses, TDataSet& vehicle, QDate today);

}  // namespace qdx
