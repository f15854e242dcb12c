#include "app/widgets/numeric_edit.h"

#include <QRegularExpressionValidator>
#include <QToolButton>

#include "app/widgets/calculator.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {

TNumericEdit::TNumericEdit(int decimals, QWidget* parent)
    : TButtonEdit(parent),
      decimals_(decimals),
      separator_(QChar(platform::UserFormatSettings().DecimalSeparator)) {
  Button().setText(QStringLiteral("="));
  Button().setToolTip(QStringLiteral("Rekenmachine"));
  QString pattern = QStringLiteral("-?\\d*");
  if (decimals_ > 0) {
    pattern += QStringLiteral("(%1\\d{0,%2})?")
                   .arg(QRegularExpression::escape(QString(separator_)))
                   .arg(decimals_);
  }
  Edit().setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
  Edit().setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

std::optional<double> TNumericEdit::Value() const {
  QString plain = Text().trimmed();
  if (plain.isEmpty()) return std::nullopt;
  plain.replace(separator_, QLatin1Char('.'));
  bool ok = false;
  const double value = plain.toDouble(&ok);
  return ok ? std::optional<double>(value) : std::nullopt;
}

QString TNumericEdit::ValueText(double value) const {
  QString text = QString::number(value, 'f', decimals_);
  if (text.contains(QLatin1Char('.'))) {
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
  }
  if (text == QLatin1String("-0")) text = QStringLiteral("0");
  text.replace(QLatin1Char('.'), separator_);
  return text;
}

void TNumericEdit::ShowPopup(QPoint below) {
  auto* popup = new TCalculatorPopup(Value().value_or(0), separator_, this);
  popup->OnAccept = [this](double value) { SetUserText(ValueText(value)); };
  popup->move(below);
  popup->show();
}

}  // namespace qdx
