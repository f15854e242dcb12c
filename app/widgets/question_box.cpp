#include "app/widgets/question_box.h"

#include <QAbstractButton>
#include <QApplication>

#include "app/error_box.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

TQuestionPresenter& Presenter() {
  static TQuestionPresenter presenter;
  return presenter;
}

QMessageBox::StandardButton ShowModal(const TQuestion& question) {
  QMessageBox box(question.Icon, question.Title, question.Text, QMessageBox::NoButton,
                  question.Parent);
  for (const auto& [button, caption] : question.Buttons) {
    box.addButton(button);
    if (!caption.isEmpty()) box.button(button)->setText(caption);
  }
  if (question.DefaultButton != QMessageBox::NoButton) box.setDefaultButton(question.DefaultButton);
  if (question.EscapeButton != QMessageBox::NoButton) box.setEscapeButton(question.EscapeButton);
  box.exec();
  const auto chosen = box.standardButton(box.clickedButton());
  return chosen == QMessageBox::NoButton ? QMessageBox::Cancel : chosen;
}

}  // namespace

QMessageBox::StandardButton AskQuestion(const TQuestion& question) {
  return Presenter() ? Presenter()(question) : ShowModal(question);
}

TQuestionPresenter SetQuestionPresenter(TQuestionPresenter presenter) {
  TQuestionPresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  return previous;
}

bool ConfirmDeleteRecord(QWidget* parent, bool yesNo) {
  TQuestion question;
  question.Title = ErrorBoxTitle();
  question.Text = QString::fromUtf8(msg::kDeleteRecordQuestion);
  question.Icon = QMessageBox::Question;
  question.Parent = parent;
  const auto agree = yesNo ? QMessageBox::Yes : QMessageBox::Ok;
  const auto refuse = yesNo ? QMessageBox::No : QMessageBox::Cancel;
  question.Buttons = {{agree, {}}, {refuse, {}}};
  question.DefaultButton = agree;
  question.EscapeButton = refuse;
  return AskQuestion(question) == agree;
}

}  // namespace qdx
