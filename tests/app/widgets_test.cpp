// The main window's own widgets: the banded gradient, the clickable command labels and the
// calculator of the numeric edits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QValidator>

#include "app/widgets/calculator.h"
#include "app/widgets/gradient.h"
#include "app/widgets/label_command.h"
#include "app/widgets/numeric_edit.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

TEST(GradientTest, BandsRunFromTheStartColourTo254PartsOf255OfTheWay) {
  const QImage image = PaintVerticalGradient(QSize(820, 587), QColor(0, 0, 255), Qt::black);
  EXPECT_EQ(image.pixelColor(10, 0), QColor(0, 0, 255));
  // The last band starts at trunc(254 * 587 / 255) = 584 and has 254/255 of the way: blue 1.
  EXPECT_EQ(image.pixelColor(10, 586), QColor(0, 0, 1));
  EXPECT_EQ(image.pixelColor(10, 584), QColor(0, 0, 1));
  EXPECT_EQ(image.pixelColor(10, 583), QColor(0, 0, 2));
  // Band k starts at trunc(k * 587 / 255): band 1 at row 2, so rows 0 and 1 are band 0.
  EXPECT_EQ(image.pixelColor(10, 1), QColor(0, 0, 255));
  EXPECT_EQ(image.pixelColor(10, 2), QColor(0, 0, 254));
}

TEST(LabelCommandTest, HighlightWhileHoveredAndClickRunsTheCommand) {
  TLbStaticText label(QStringLiteral("Legen tabel"));
  label.resize(81, 23);
  label.SetHighlightColor(Qt::red);
  EXPECT_EQ(label.FaceColor(), QColor(192, 192, 192));
  EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&label, &enter);
  EXPECT_EQ(label.FaceColor(), QColor(Qt::red));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&label, &leave);
  EXPECT_EQ(label.FaceColor(), QColor(192, 192, 192));

  int clicks = 0;
  label.OnClick = [&] { ++clicks; };
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&label, &press);
  QApplication::sendEvent(&label, &release);
  EXPECT_EQ(clicks, 1);
  // A release outside the label is no click.
  QMouseEvent outside(QEvent::MouseButtonRelease, QPointF(200, 5), QPointF(200, 5),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&label, &press);
  QApplication::sendEvent(&label, &outside);
  EXPECT_EQ(clicks, 1);
}

TEST(CalculatorTest, WorksLeftToRightAndReportsDivisionByZero) {
  struct Case {
    const char* Keys;
    const char* Display;
  };
  const Case cases[] = {
      {"12+3*2=", "30"},    {"7/2=", "3.5"},     {"1.5+1.25=", "2.75"}, {"9~+1=", "-8"},
      {"123\b=", "12"},     {"5/0=", "Error"},   {"5/0=C", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Keys);
    TCalculator calculator;
    for (const char* k = c.Keys; *k; ++k) calculator.Key(QLatin1Char(*k));
    EXPECT_EQ(calculator.Display(), QString::fromLatin1(c.Display));
  }
}

TEST(NumericEditTest, AcceptsOnlyNumbersWithItsDecimals) {
  const testing::ScopedUserLocale locale("en_US");
  TNumericEdit whole(0);
  TNumericEdit litres(15);
  for (auto [edit, text, accepted] : {std::tuple<TNumericEdit*, const char*, bool>{&whole, "10500", true},
                                      {&whole, "-3", true},
                                      {&whole, "1.5", false},
                                      {&whole, "abc", false},
                                      {&litres, "40.125", true},
                                      {&litres, "4,0", false}}) {
    SCOPED_TRACE(text);
    QString input = QString::fromLatin1(text);
    int position = 0;
    EXPECT_EQ(edit->Edit().validator()->validate(input, position) == QValidator::Acceptable,
              accepted);
  }
  litres.SetText(QStringLiteral("40.5"));
  EXPECT_EQ(litres.Value(), 40.5);
  EXPECT_EQ(litres.ValueText(12.25), QStringLiteral("12.25"));
  EXPECT_EQ(whole.ValueText(12.6), QStringLiteral("13"));
}

}  // namespace
}  // namespace qdx
