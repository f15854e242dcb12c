#include "app/widgets/calculator.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <cmath>

namespace qdx {

TCalculator::TCalculator(QChar decimalSeparator) : separator_(decimalSeparator) {}

void TCalculator::SetValue(double value) {
  *this = TCalculator(separator_);
  accumulator_ = value;
}

double TCalculator::Value() const {
  if (!entering_) return accumulator_;
  QString plain = entry_;
  plain.replace(separator_, QLatin1Char('.'));
  return plain.toDouble();
}

QString TCalculator::Display() const {
  if (failed_) return QStringLiteral("Error");
  if (entering_) return entry_.isEmpty() ? QStringLiteral("0") : entry_;
  QString text = QString::number(accumulator_, 'g', 15);
  text.replace(QLatin1Char('.'), separator_);
  return text;
}

void TCalculator::Apply() {
  const double operand = Value();
  if (pending_ == QLatin1Char('+')) {
    accumulator_ += operand;
  } else if (pending_ == QLatin1Char('-')) {
    accumulator_ -= operand;
  } else if (pending_ == QLatin1Char('*')) {
    accumulator_ *= operand;
  } else if (pending_ == QLatin1Char('/')) {
    if (operand == 0) {
      failed_ = true;
      return;
    }
    accumulator_ /= operand;
  } else {
    accumulator_ = operand;
  }
  entering_ = false;
  entry_.clear();
}

void TCalculator::Key(QChar key) {
  if (key == QLatin1Char('C')) {
    SetValue(0);
    return;
  }
  if (failed_) return;
  if (key.isDigit()) {
    if (!entering_) entry_.clear();
    entering_ = true;
    if (entry_ == QLatin1String("0")) entry_.clear();
    if (entry_.size() < 17) entry_ += key;
  } else if (key == separator_) {
    if (!entering_) entry_ = QStringLiteral("0");
    entering_ = true;
    if (!entry_.contains(separator_)) entry_ += separator_;
  } else if (key == QLatin1Char('\b')) {
    if (entering_ && !entry_.isEmpty()) entry_.chop(1);
  } else if (key == QLatin1Char('~')) {
    if (entering_) {
      entry_ = entry_.startsWith(QLatin1Char('-')) ? entry_.mid(1) : QLatin1Char('-') + entry_;
    } else {
      accumulator_ = -accumulator_;
    }
  } else if (QStringLiteral("+-*/=").contains(key)) {
    if (entering_ || pending_.isNull()) Apply();
    pending_ = key == QLatin1Char('=') ? QChar() : key;
  }
}

TCalculatorPopup::TCalculatorPopup(double value, QChar decimalSeparator, QWidget* parent)
    : QFrame(parent, Qt::Popup), calculator_(decimalSeparator), separator_(decimalSeparator) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFrameShape(QFrame::Box);
  calculator_.SetValue(value);
  auto* layout = new QGridLayout(this);
  layout->setSpacing(2);
  display_ = new QLabel(calculator_.Display(), this);
  display_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  display_->setFrameShape(QFrame::Panel);
  display_->setFrameShadow(QFrame::Sunken);
  layout->addWidget(display_, 0, 0, 1, 4);
  const QString keys[5][4] = {
      {QStringLiteral("C"), QStringLiteral("\u2190"), QStringLiteral("\u00b1"), QStringLiteral("/")},
      {QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"), QStringLiteral("*")},
      {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("-")},
      {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("+")},
      {QStringLiteral("0"), QString(decimalSeparator), QStringLiteral("="), QStringLiteral("OK")}};
  for (int row = 0; row < 5; ++row) {
    for (int column = 0; column < 4; ++column) {
      const QString caption = keys[row][column];
      auto* button = new QPushButton(caption, this);
      button->setFixedSize(32, 24);
      button->setFocusPolicy(Qt::NoFocus);
      layout->addWidget(button, row + 1, column);
      QChar key = caption.at(0);
      if (caption == QStringLiteral("\u2190")) key = QLatin1Char('\b');
      if (caption == QStringLiteral("\u00b1")) key = QLatin1Char('~');
      if (caption == QStringLiteral("OK")) {
        connect(button, &QPushButton::clicked, this, [this] { Accept(); });
      } else {
        connect(button, &QPushButton::clicked, this, [this, key] { Press(key); });
      }
    }
  }
}

void TCalculatorPopup::Press(QChar key) {
  calculator_.Key(key);
  display_->setText(calculator_.Display());
}

void TCalculatorPopup::Accept() {
  calculator_.Key(QLatin1Char('='));
  if (!calculator_.Failed() && OnAccept) OnAccept(calculator_.Value());
  close();
}

void TCalculatorPopup::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    Accept();
  } else if (event->key() == Qt::Key_Escape) {
    close();
  } else if (event->key() == Qt::Key_Backspace) {
    Press(QLatin1Char('\b'));
  } else if (text.size() == 1 && (text[0].isDigit() || QStringLiteral("+-*/=Cc").contains(text[0]))) {
    Press(text[0].toUpper());
  } else if (text == QLatin1String(".") || text == QLatin1String(",")) {
    Press(separator_);
  } else {
    QFrame::keyPressEvent(event);
  }
}

}  // namespace qdx
