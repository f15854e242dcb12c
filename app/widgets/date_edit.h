// TDateEdit: a date edit with a calendar pop-up. The text is the date in the user's short date
// form; picking a day in the calendar writes that day's text.
#pragma once

#include <QDate>
#include <optional>

#include "app/widgets/button_edit.h"

namespace qdx {

class TDateEdit : public TButtonEdit {
 public:
  explicit TDateEdit(QWidget* parent = nullptr);

  // The date in the edit; none when it is empty or no date.
  std::optional<QDate> Date() const;
  // `date` in the user's short date form.
  static QString DateText(QDate date);

 protected:
  void ShowPopup(QPoint below) override;
};

}  // namespace qdx
