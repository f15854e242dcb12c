// TImportDialog: "Importeren" of expense records from a CSV file, the program's face of the
// import qdx runs. It shows the first records as they would be stored, each field's column
// headed by the file's column that feeds it, and the options that change the reading (layout,
// decimal separator, date format, --map); every change reads the file again. The report lists
// the lines that could not be read and the duplicates in the words qdx uses. "Importeren" inserts
// in one transaction, with a progress bar, and reports what was imported or why nothing was.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "wagenlog/interchange/data_set_expense_store.h"
#include "wagenlog/interchange/expense_import.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace qdx {

class TImportDialog : public QDialog {
 public:
  // Reads `fileName` at once; `store` (the expense table) outlives the dialog.
  TImportDialog(interchange::DataSetExpenseStore& store, const QString& fileName,
                const QString& tableName, QWidget* parent = nullptr);
  ~TImportDialog() override;

  // Reads the file again with the options shown, filling the preview and the report.
  void Reread();
  // "Importeren": inserts the records. An error of the table shows in an error box.
  void Import();
  // True once records were inserted.
  bool Imported() const { return imported_; }

  static constexpr int kPreviewRows = 20;

  QComboBox* Format;
  QComboBox* Decimal;
  QLineEdit* DateFormat;
  QLineEdit* Map;
  QCheckBox* SkipBad;
  QCheckBox* AllowDuplicates;
  QTableWidget* Preview;
  QPlainTextEdit* Report;
  QProgressBar* Progress;
  QPushButton* ImportButton;

 private:
  // The options shown; false (and the reason in the report) when the date format is no pattern.
  bool ReadOptions(interchange::ImportOptions& options);
  void ShowPreview(const interchange::LayoutResult& read, const interchange::ImportOptions& options);
  void ShowReport(const interchange::ImportReport& report);

  interchange::DataSetExpenseStore& store_;
  std::string fileName_;
  std::string tableName_;
  std::string text_;
  bool imported_ = false;
};

}  // namespace qdx
