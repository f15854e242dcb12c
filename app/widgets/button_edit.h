// TButtonEdit: a line edit with a small button at its right that opens a pop-up (the numeric
// edit's calculator, the date edit's calendar).
//
// A value the pop-up hands back goes through SetUserText, which asks BeforeModify first (a
// data link answers whether the record may change, starting an edit when its source does so),
// then sets the text and runs OnUserChange, as typing would.
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <functional>

class QToolButton;

namespace qdx {

class TButtonEdit : public QWidget {
 public:
  explicit TButtonEdit(QWidget* parent = nullptr);

  QLineEdit& Edit() { return *edit_; }
  const QLineEdit& Edit() const { return *edit_; }
  QToolButton& Button() { return *button_; }
  QString Text() const { return edit_->text(); }
  void SetText(const QString& text) { edit_->setText(text); }

  // Sets the text as the user's own change; false when BeforeModify refused it.
  bool SetUserText(const QString& text);
  std::function<bool()> BeforeModify;
  std::function<void()> OnUserChange;

  // Opens the pop-up under the edit.
  void DropDown();

 protected:
  // Shows the pop-up at `below` (global position of the edit's bottom-left corner).
  virtual void ShowPopup(QPoint below) = 0;

 private:
  QLineEdit* edit_;
  QToolButton* button_;
};

}  // namespace qdx
