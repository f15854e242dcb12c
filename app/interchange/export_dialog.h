// TExportDialog: "Exporteren" of the expense records to a CSV file in a layout the user picks
// (the generic CSV, a Fuelio backup, one of the LubeLogger files), with the first lines of the
// file it will write. The records are read by whoever opens the dialog.
#pragma once

#include <QDialog>
#include <span>
#include <vector>

#include "wagenlog/interchange/expense_export.h"
#include "wagenlog/interchange/expense_record.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qdx {

class TExportDialog : public QDialog {
 public:
  explicit TExportDialog(std::vector<interchange::ExpenseRecord> records, QWidget* parent = nullptr);
  ~TExportDialog() override;

  // The layout chosen and the file's first lines for it.
  interchange::ExportLayout Layout() const;
  void UpdatePreview();
  // "Exporteren": writes the file named; false (with an error box) when it cannot.
  bool Export();

  static constexpr int kPreviewLines = 12;

  QComboBox* Format;
  QLineEdit* FileName;
  QPushButton* Browse;
  QPlainTextEdit* Preview;
  QPushButton* ExportButton;

 private:
  std::vector<interchange::ExpenseRecord> records_;
};

}  // namespace qdx
