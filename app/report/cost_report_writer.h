// The cost report as a PDF document (QPdfWriter): a first part with the vehicle data, the
// statistics as the main window shows them, the fuel records with their consumption and the
// costs per category per year and per month of the last twelve months; then the seven charts,
// one per landscape page, drawn as their chart windows draw them. Numbers, amounts and dates
// are in the user's formats.
#pragma once

#include <QString>

namespace qdx {

class TForm1;

// Runs "Berekenen" and the seven chart commands of `window` (chart windows that were hidden
// stay off the screen) and writes the report to `file`. Raises EFrameworkException when the
// file cannot be written; the commands' own errors pass through.
void WriteCostReport(TForm1& window, const QString& file);

}  // namespace qdx
