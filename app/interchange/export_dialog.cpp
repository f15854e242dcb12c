#include "app/interchange/export_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "app/error_box.h"
#include "app/interchange/interchange_menu.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/whole_file.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"

namespace qdx {
namespace {

using interchange::ExportLayout;

struct LayoutChoice {
  const char* Caption;
  ExportLayout Layout;
};
const LayoutChoice kLayouts[] = {
    {"Spreadsheet (CSV, alle velden)", ExportLayout::Generic},
    {"Fuelio-backup", ExportLayout::Fuelio},
    {"LubeLogger tankbeurten (Brandstof)", ExportLayout::LubeLoggerGas},
    {"LubeLogger onderhoud (Onderhoud)", ExportLayout::LubeLoggerService},
    {"LubeLogger belastingen (overige uitgaven)", ExportLayout::LubeLoggerTax},
};

}  // namespace

TExportDialog::TExportDialog(std::vector<interchange::ExpenseRecord> records, QWidget* parent)
    : QDialog(parent), records_(std::move(records)) {
  setObjectName(QStringLiteral("ExportDialog"));
  setWindowTitle(QStringLiteral("Exporteren"));
  resize(640, 420);

  Format = new QComboBox(this);
  for (const LayoutChoice& choice : kLayouts) Format->addItem(QString::fromUtf8(choice.Caption));
  FileName = new QLineEdit(this);
  Browse = new QPushButton(QStringLiteral("Bladeren..."), this);
  Preview = new QPlainTextEdit(this);
  Preview->setReadOnly(true);
  Preview->setLineWrapMode(QPlainTextEdit::NoWrap);

  auto* buttons = new QDialogButtonBox(this);
  ExportButton = buttons->addButton(QStringLiteral("Exporteren"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("Annuleren"), QDialogButtonBox::RejectRole);
  connect(ExportButton, &QPushButton::clicked, this, [this] {
    if (Export()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(Format, &QComboBox::currentIndexChanged, this, [this] { UpdatePreview(); });
  connect(FileName, &QLineEdit::textChanged, this,
          [this] { ExportButton->setEnabled(!FileName->text().trimmed().isEmpty()); });
  connect(Browse, &QPushButton::clicked, this, [this] {
    const QString chosen = ChooseFile(this, TFileRole::Save, windowTitle());
    if (!chosen.isEmpty()) FileName->setText(chosen);
  });

  auto* file = new QHBoxLayout;
  file->addWidget(FileName, 1);
  file->addWidget(Browse);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Indeling:"), Format);
  form->addRow(QStringLiteral("Bestand:"), file);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(Preview, 1);
  layout->addWidget(buttons);

  ExportButton->setEnabled(false);
  UpdatePreview();
}

TExportDialog::~TExportDialog() = default;

ExportLayout TExportDialog::Layout() const {
  return kLayouts[std::max(Format->currentIndex(), 0)].Layout;
}

void TExportDialog::UpdatePreview() {
  const std::string text = interchange::ExpenseFileText(records_, Layout());
  QStringList lines = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                          .split(QStringLiteral("\r\n"));
  if (lines.size() > kPreviewLines) {
    lines = lines.mid(0, kPreviewLines);
    lines << QStringLiteral("...");
  }
  Preview->setPlainText(lines.join(QLatin1Char('\n')).trimmed());
}

bool TExportDialog::Export() {
  const std::string path = FileName->text().trimmed().toStdString();
  return RunHandler(
      [&] {
        const std::string text = interchange::ExpenseFileText(records_, Layout());
        if (!interchange::WriteWholeFile(path, text)) {
          const FormatArg args[] = {path};
          throw std::runtime_error(FormatOrFallback(interchange::kCannotWriteOutputFile, args));
        }
      },
      this);
}

}  // namespace qdx
