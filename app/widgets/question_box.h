// Questions to the user: the modal message boxes of the navigators, the grid and the main
// window ("Delete record?", "Legen tabel", saving a change before closing).
//
// AskQuestion shows a modal box and answers the button chosen (Cancel, or the escape button,
// when the box is closed otherwise). Tests and non-interactive runs answer for the user with
// SetQuestionPresenter.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <vector>

namespace qdx {

struct TQuestion {
  QString Title;
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::Question;
  // The buttons, each with its caption (empty: the standard one).
  std::vector<std::pair<QMessageBox::StandardButton, QString>> Buttons;
  QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;
  QMessageBox::StandardButton EscapeButton = QMessageBox::NoButton;
  // The owner window; none for a box without owner.
  QWidget* Parent = nullptr;
};

using TQuestionPresenter = std::function<QMessageBox::StandardButton(const TQuestion&)>;

QMessageBox::StandardButton AskQuestion(const TQuestion& question);
// Replaces the modal box (an empty presenter restores it); answers the previous presenter.
TQuestionPresenter SetQuestionPresenter(TQuestionPresenter presenter);

// The confirmation of the navigators (OK / Cancel) and the grid (Yes / No) before a record is
// deleted; true when the user agreed.
bool ConfirmDeleteRecord(QWidget* parent, bool yesNo);

}  // namespace qdx
