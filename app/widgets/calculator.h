// TCalculator: the arithmetic of the numeric edit's calculator pop-up, and the pop-up itself.
//
// The calculator works as a pocket calculator: digits build the entry, an operator applies the
// pending one to the accumulator (left to right, no precedence), "=" finishes. Division by zero
// shows "Error" until cleared. Texts use the decimal separator given at construction.
#pragma once

#include <QFrame>
#include <QString>
#include <functional>

class QLabel;

namespace qdx {

class TCalculator {
 public:
  explicit TCalculator(QChar decimalSeparator = QLatin1Char('.'));

  // Starts from a value (the edit's current number).
  void SetValue(double value);
  // One key: '0'..'9', the separator, '+', '-', '*', '/', '=', 'C' (clear), '~' (change sign),
  // '\b' (remove the last digit).
  void Key(QChar key);
  QString Display() const;
  double Value() const;
  bool Failed() const { return failed_; }

 private:
  void Apply();

  QChar separator_;
  double accumulator_ = 0;
  QChar pending_;
  QString entry_;
  bool entering_ = false;
  bool failed_ = false;
};

// The pop-up: a display and the keys; OK (or Enter, or "=" twice) hands the value back.
class TCalculatorPopup : public QFrame {
 public:
  TCalculatorPopup(double value, QChar decimalSeparator, QWidget* parent = nullptr);

  TCalculator& Calculator() { return calculator_; }
  std::function<void(double)> OnAccept;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Press(QChar key);
  void Accept();

  TCalculator calculator_;
  QChar separator_;
  QLabel* display_;
};

}  // namespace qdx
