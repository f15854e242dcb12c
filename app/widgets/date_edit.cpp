#include "app/widgets/date_edit.h"

#include <QCalendarWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/text_format.h"

namespace qdx {

namespace {

// Days from 0001-01-01 (day 1) as the engine counts them, and Qt's Julian day numbers.
constexpr int64_t kJulianDayOfDay1 = 1721426 - 1;

}  // namespace

TDateEdit::TDateEdit(QWidget* parent) : TButtonEdit(parent) {
  Button().setText(QStringLiteral("\u25bc"));
  Button().setToolTip(QStringLiteral("Kalender"));
}

QString TDateEdit::DateText(QDate date) {
  const auto dayNumber = static_cast<int32_t>(date.toJulianDay() - kJulianDayOfDay1);
  return QString::fromStdU16String(DateToText(dayNumber, platform::UserFormatSettings()));
}

std::optional<QDate> TDateEdit::Date() const {
  const std::u16string text = Text().trimmed().toStdU16String();
  int32_t dayNumber = 0;
  if (text.empty() || !TryTextToDate(text, dayNumber, platform::UserFormatSettings())) {
    return std::nullopt;
  }
  return QDate::fromJulianDay(dayNumber + kJulianDayOfDay1);
}

void TDateEdit::ShowPopup(QPoint below) {
  auto* popup = new QFrame(this, Qt::Popup);
  popup->setAttribute(Qt::WA_DeleteOnClose);
  popup->setFrameShape(QFrame::Box);
  auto* layout = new QVBoxLayout(popup);
  layout->setContentsMargins(1, 1, 1, 1);
  auto* calendar = new QCalendarWidget(popup);
  calendar->setGridVisible(true);
  calendar->setSelectedDate(Date().value_or(QDate::currentDate()));
  layout->addWidget(calendar);
  const auto pick = [this, popup](QDate date) {
    popup->close();
    SetUserText(DateText(date));
  };
  connect(calendar, &QCalendarWidget::clicked, popup, pick);
  connect(calendar, &QCalendarWidget::activated, popup, pick);
  popup->move(below);
  popup->show();
  calendar->setFocus();
}

}  // namespace qdx
