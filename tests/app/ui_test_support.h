// Helpers for tests that drive windows: answering question boxes, collecting error boxes, and
// typing into a widget.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>

#include "app/error_box.h"
#include "app/widgets/question_box.h"

namespace qdx::test {

// Answers every question box with `answer` and keeps the questions' texts.
class ScopedAnswer {
 public:
  explicit ScopedAnswer(QMessageBox::StandardButton answer)
      : previous_(SetQuestionPresenter([this, answer](const TQuestion& q) {
          Questions.push_back(q.Text);
          Titles.push_back(q.Title);
          return answer;
        })) {}
  ~ScopedAnswer() { SetQuestionPresenter(previous_); }
  ScopedAnswer(const ScopedAnswer&) = delete;
  ScopedAnswer& operator=(const ScopedAnswer&) = delete;
  QStringList Questions;
  QStringList Titles;

 private:
  TQuestionPresenter previous_;
};

// Keeps the texts of the error boxes shown instead of failing the test.
class ScopedErrorBoxes {
 public:
  ScopedErrorBoxes()
      : previous_(SetErrorBoxPresenter([this](const QString&, const QString& text, QWidget*) {
          Texts.push_back(text);
        })) {}
  ~ScopedErrorBoxes() { SetErrorBoxPresenter(previous_); }
  ScopedErrorBoxes(const ScopedErrorBoxes&) = delete;
  ScopedErrorBoxes& operator=(const ScopedErrorBoxes&) = delete;
  QStringList Texts;

 private:
  TErrorBoxPresenter previous_;
};

// Sends the characters of `text` as key presses.
inline void Type(QWidget& widget, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(&widget, &press);
  }
}

}  // namespace qdx::test
