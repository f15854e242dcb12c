// The error box's text and title, and how handlers and events end on an error.
#include "app/error_box.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <new>

#include "engine/foundation/except.h"
#include "qt_printers.h"

namespace qdx {
namespace {

struct Shown {
  QString Title;
  QString Text;
};

// Catches error boxes for the duration of a test.
class ErrorBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetErrorBoxPresenter([this](const QString& title, const QString& text, QWidget*) {
      shown_.push_back({title, text});
    });
  }
  void TearDown() override { SetErrorBoxPresenter(previous_); }

  std::vector<Shown> shown_;

 private:
  TErrorBoxPresenter previous_;
};

TEST(ErrorBoxTextTest, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt) {
  const struct {
    const char* Message;
    const char* Text;
  } cases[] = {
      {"Disk full", "Disk full."},
      {"Already ends.", "Already ends."},
      {"Really?", "Really?."},  // '?' sorts after '.'
      {"Stop!", "Stop!"},
      {"Field (x)", "Field (x)"},
      {"a-", "a-"},
      {"folder/", "folder/."},
      {"Table 'x' not exists. - Native error: 30396",
       "Table 'x' not exists. - Native error: 30396."},
      {"Gebruik ü", "Gebruik ü."},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorBoxText(QString::fromUtf8(c.Message)), QString::fromUtf8(c.Text)) << c.Message;
  }
}

TEST_F(ErrorBoxTest, AnErrorEndsTheHandlerAndTheNextHandlerStillRuns) {
  int steps = 0;
  EXPECT_FALSE(RunHandler([&] {
    ++steps;
    throw EQDXException(30396, "Table 'Brandstofkosten' not exists.");
    ++steps;
  }));
  EXPECT_EQ(steps, 1);
  EXPECT_TRUE(RunHandler([&] { ++steps; }));
  EXPECT_EQ(steps, 2);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].Title, QStringLiteral("Wagenlog"));
  EXPECT_EQ(shown_[0].Text,
            QStringLiteral("Table 'Brandstofkosten' not exists. - Native error: 30396."));
}

TEST_F(ErrorBoxTest, ExceptionsOfEveryKindGiveAMessage) {
  RunHandler([] { throw EFrameworkException("tb6: Field 'start_km-stand' not found"); });
  RunHandler([] { throw std::bad_alloc(); });
  RunHandler([] { throw std::runtime_error("Floating point division by zero"); });
  RunHandler([] { throw 42; });
  ASSERT_EQ(shown_.size(), 4u);
  EXPECT_EQ(shown_[0].Text, QStringLiteral("tb6: Field 'start_km-stand' not found."));
  EXPECT_EQ(shown_[1].Text, QStringLiteral("Out of memory."));
  EXPECT_EQ(shown_[2].Text, QStringLiteral("Floating point division by zero."));
  EXPECT_EQ(shown_[3].Text, QStringLiteral("Unknown exception."));
}

// An object whose event handler fails.
class FailingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User)
      throw EFrameworkException("Invalid floating point operation");
    return QObject::event(event);
  }
};

TEST_F(ErrorBoxTest, AnEventHandlerThatThrowsIsReportedAndTheApplicationCarriesOn) {
  FailingObject object;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].Text, QStringLiteral("Invalid floating point operation."));
  // Posted events take the same road through the loop.
  QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  EXPECT_EQ(shown_.size(), 2u);
}

}  // namespace
}  // namespace qdx
