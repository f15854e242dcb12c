// TNumericEdit: a number edit with a calculator pop-up.
//
// `Decimals` limits what can be typed: 0 allows whole numbers only, n up to n decimals after
// the user's decimal separator. The calculator starts from the edit's number and writes its
// result back with at most `Decimals` decimals.
#pragma once

#include <optional>

#include "app/widgets/button_edit.h"

namespace qdx {

class TNumericEdit : public TButtonEdit {
 public:
  explicit TNumericEdit(int decimals, QWidget* parent = nullptr);

  int Decimals() const { return decimals_; }
  QChar DecimalSeparator() const { return separator_; }
  // The number in the edit; none when it is empty or not a number.
  std::optional<double> Value() const;
  // The text of `value` as the edit shows it.
  QString ValueText(double value) const;

 protected:
  void ShowPopup(QPoint below) override;

 private:
  int decimals_;
  QChar separator_;
};

}  // namespace qdx
