#include "app/interchange/import_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <optional>

#include "app/error_box.h"
#include "wagenlog/interchange/column_mapping.h"
#include "wagenlog/interchange/csv_reader.h"
#include "wagenlog/interchange/csv_writer.h"
#include "wagenlog/interchange/interchange_error.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/number_text.h"
#include "wagenlog/interchange/whole_file.h"
#include "engine/foundation/format.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {
namespace {

using namespace interchange;

struct FormatChoice {
  const char* Caption;
  ImportLayout Layout;
  std::optional<LubeLoggerKind> Kind;
};
const FormatChoice kFormats[] = {
    {"Spreadsheet (CSV)", ImportLayout::Generic, std::nullopt},
    {"Fuelio-backup", ImportLayout::Fuelio, std::nullopt},
    {"LubeLogger (soort uit de kolommen)", ImportLayout::LubeLogger, std::nullopt},
    {"LubeLogger tankbeurten", ImportLayout::LubeLogger, LubeLoggerKind::Gas},
    {"LubeLogger onderhoud en reparaties", ImportLayout::LubeLogger, LubeLoggerKind::Service},
    {"LubeLogger belastingen", ImportLayout::LubeLogger, LubeLoggerKind::Tax},
};

// The layout a file looks like: a Fuelio backup opens with a section line, a LubeLogger export
// has its own column names.
int GuessFormat(std::string_view text) {
  const CsvDocument document = CsvReader::Read(text);
  if (document.Records.empty() || document.Records.front().Fields.empty()) return 0;
  const std::vector<std::string>& header = document.Records.front().Fields;
  if (header.front().starts_with("## ")) return 1;
  return DetectLubeLoggerKind(header) ? 2 : 0;
}

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A field's value as the preview shows it (the texts of the table, converted to UTF-8).
QString CellText(const ExpenseRecord& r, ExpenseField field) {
  const auto number = [](const auto& value) {
    return value ? FromUtf8(WriteDecimal(static_cast<double>(*value))) : QString();
  };
  switch (field) {
    case ExpenseField::Datum: return r.Datum ? FromUtf8(FormatCsvDate(*r.Datum)) : QString();
    case ExpenseField::Omschrijving: return FromUtf8(AnsiToUtf8(r.Omschrijving));
    case ExpenseField::Bedrijf: return FromUtf8(AnsiToUtf8(r.Bedrijf));
    case ExpenseField::KMStand: return number(r.KMStand);
    case ExpenseField::Liters: return number(r.Liters);
    case ExpenseField::bedrag: return number(r.bedrag);
    case ExpenseField::verbruik: return number(r.verbruik);
  }
  return {};
}

}  // namespace

TImportDialog::TImportDialog(DataSetExpenseStore& store, const QString& fileName,
                             const QString& tableName, QWidget* parent)
    : QDialog(parent),
      store_(store),
      fileName_(fileName.toStdString()),
      tableName_(tableName.toStdString()) {
  setObjectName(QStringLiteral("ImportDialog"));
  setWindowTitle(QStringLiteral("Importeren"));
  resize(760, 560);

  Format = new QComboBox(this);
  for (const FormatChoice& choice : kFormats) Format->addItem(QString::fromUtf8(choice.Caption));
  Decimal = new QComboBox(this);
  Decimal->addItems({QStringLiteral("Automatisch (, bij ; als scheidingsteken)"),
                     QStringLiteral("Komma (1.249,50)"), QStringLiteral("Punt (1,249.50)")});
  DateFormat = new QLineEdit(this);
  DateFormat->setPlaceholderText(QStringLiteral("automatisch, of bijvoorbeeld dd-MM-yyyy"));
  Map = new QLineEdit(this);
  Map->setPlaceholderText(QStringLiteral("Datum=Date,bedrag=Total Cost"));
  SkipBad = new QCheckBox(QStringLiteral("Regels met fouten overslaan"), this);
  AllowDuplicates = new QCheckBox(QStringLiteral("Dubbele uitgaven toch invoegen"), this);
  Preview = new QTableWidget(this);
  Preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Preview->verticalHeader()->setVisible(false);
  Report = new QPlainTextEdit(this);
  Report->setReadOnly(true);
  Progress = new QProgressBar(this);
  Progress->setValue(0);

  auto* buttons = new QDialogButtonBox(this);
  ImportButton = buttons->addButton(QStringLiteral("Importeren"), QDialogButtonBox::ActionRole);
  buttons->addButton(QStringLiteral("Sluiten"), QDialogButtonBox::RejectRole);
  connect(ImportButton, &QPushButton::clicked, this, [this] { Import(); });
  connect(buttons, &QDialogButtonBox::rejected, this, [this] { imported_ ? accept() : reject(); });

  auto* options = new QFormLayout;
  options->addRow(QStringLiteral("Bestand:"), new QLabel(fileName, this));
  options->addRow(QStringLiteral("Indeling:"), Format);
  options->addRow(QStringLiteral("Decimaalteken:"), Decimal);
  options->addRow(QStringLiteral("Datumnotatie:"), DateFormat);
  options->addRow(QStringLiteral("Kolommen (--map):"), Map);
  options->addRow(SkipBad);
  options->addRow(AllowDuplicates);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(options);
  layout->addWidget(new QLabel(QStringLiteral("De eerste uitgaven zoals ze worden opgeslagen:"), this));
  layout->addWidget(Preview, 3);
  layout->addWidget(new QLabel(QStringLiteral("Verslag:"), this));
  layout->addWidget(Report, 2);
  layout->addWidget(Progress);
  layout->addWidget(buttons);

  if (!ReadWholeFile(fileName_, text_)) {
    Report->setPlainText(FromUtf8(FormatOrFallback(kQdxCannotReadInput,
                                                   std::array<FormatArg, 1>{fileName_})));
    ImportButton->setEnabled(false);
    return;
  }
  Format->setCurrentIndex(GuessFormat(text_));
  for (QComboBox* box : {Format, Decimal}) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] { Reread(); });
  }
  for (QLineEdit* edit : {DateFormat, Map}) {
    connect(edit, &QLineEdit::editingFinished, this, [this] { Reread(); });
  }
  for (QCheckBox* box : {SkipBad, AllowDuplicates}) {
    connect(box, &QCheckBox::toggled, this, [this] { Reread(); });
  }
  Reread();
}

TImportDialog::~TImportDialog() = default;

bool TImportDialog::ReadOptions(ImportOptions& options) {
  const FormatChoice& choice = kFormats[std::max(Format->currentIndex(), 0)];
  options.Layout = choice.Layout;
  options.Kind = choice.Kind;
  if (options.Layout == ImportLayout::LubeLogger && !options.Kind) {
    options.Kind = LubeLoggerKindFromFileName(fileName_);
  }
  options.Read.Formats = platform::UserFormatSettings();
  options.Read.PivotYear = CurrentYear();
  options.Read.DecimalSeparator = Decimal->currentIndex() == 1   ? ','
                                  : Decimal->currentIndex() == 2 ? '.'
                                                                 : 0;
  options.Read.Map = Map->text().toStdString();
  options.SkipBad = SkipBad->isChecked();
  options.AllowDuplicates = AllowDuplicates->isChecked();
  const std::string pattern = DateFormat->text().trimmed().toStdString();
  if (!pattern.empty()) {
    options.Read.DateFormat = DatePattern::Parse(pattern);
    if (!options.Read.DateFormat) {
      Report->setPlainText(FromUtf8(FormatOrFallback(kDateFormatBad,
                                                     std::array<FormatArg, 1>{pattern})));
      return false;
    }
  }
  return true;
}

void TImportDialog::Reread() {
  Preview->clear();
  Preview->setRowCount(0);
  ImportButton->setEnabled(false);
  ImportOptions options;
  if (!ReadOptions(options)) return;
  try {
    ShowPreview(ReadExpenseFile(text_, options), options);
    // What the import would do, duplicates of the table's records included.
    options.DryRun = true;
    const ImportOutcome outcome = ImportExpenses(text_, store_, options);
    ShowReport(DescribeImport(outcome, fileName_, tableName_, true));
    ImportButton->setEnabled(!outcome.Refused && !outcome.Accepted.empty() && !imported_);
  } catch (const EInterchangeError& e) {
    Report->setPlainText(FromUtf8(e.what()));
  } catch (...) {
    ShowException(std::current_exception(), this);
  }
}

void TImportDialog::ShowPreview(const LayoutResult& read, const ImportOptions& options) {
  // The generic layout names the file's column of each field under the field.
  std::optional<ColumnMapping> mapping;
  std::vector<std::string> header;
  if (options.Layout == ImportLayout::Generic) {
    const CsvDocument document = CsvReader::Read(text_);
    header = document.Records.front().Fields;
    mapping = ColumnMapping::Build(header, options.Read.Map);
  }
  Preview->setColumnCount(static_cast<int>(kExpenseFieldCount) + 1);
  QStringList captions{QStringLiteral("Regel")};
  for (size_t f = 0; f < kExpenseFieldCount; ++f) {
    QString caption = FromUtf8(std::string(kExpenseFieldNames[f]));
    if (mapping) {
      const auto column = mapping->ColumnOf(static_cast<ExpenseField>(f));
      caption += QStringLiteral("\n") + (column ? QStringLiteral("\u2190 ") + FromUtf8(header[*column])
                                                : QStringLiteral("(leeg)"));
    }
    captions << caption;
  }
  Preview->setHorizontalHeaderLabels(captions);
  const int rows = std::min<int>(kPreviewRows, static_cast<int>(read.Records.size()));
  Preview->setRowCount(rows);
  for (int row = 0; row < rows; ++row) {
    const ReadRecord& r = read.Records[static_cast<size_t>(row)];
    Preview->setItem(row, 0, new QTableWidgetItem(QString::number(r.Line)));
    for (size_t f = 0; f < kExpenseFieldCount; ++f) {
      Preview->setItem(row, static_cast<int>(f) + 1,
                       new QTableWidgetItem(CellText(r.Record, static_cast<ExpenseField>(f))));
    }
  }
  Preview->resizeColumnsToContents();
}

void TImportDialog::ShowReport(const ImportReport& report) {
  QStringList lines;
  for (const std::string& line : report.Problems) lines << FromUtf8(line);
  if (!report.Refusal.empty()) lines << FromUtf8(report.Refusal);
  for (const std::string& line : report.Summary) lines << FromUtf8(line);
  Report->setPlainText(lines.join(QLatin1Char('\n')));
}

void TImportDialog::Import() {
  ImportOptions options;
  if (!ReadOptions(options)) return;
  Progress->setValue(0);
  store_.OnProgress = [this](size_t done, size_t total) {
    Progress->setMaximum(static_cast<int>(total));
    Progress->setValue(static_cast<int>(done));
    // Keep the window painted during a long insert; the dialog is modal, so no input is lost.
    if (done % 64 == 0) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  ImportOutcome outcome;
  const bool ran = RunHandler([&] { outcome = ImportExpenses(text_, store_, options); }, this);
  store_.OnProgress = nullptr;
  if (!ran) return;
  ShowReport(DescribeImport(outcome, fileName_, tableName_, false));
  if (outcome.Inserted) {
    imported_ = true;
    ImportButton->setEnabled(false);
  }
}

}  // namespace qdx
