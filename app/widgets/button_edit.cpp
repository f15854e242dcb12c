#include "app/widgets/button_edit.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace qdx {

TButtonEdit::TButtonEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  edit_ = new QLineEdit(this);
  button_ = new QToolButton(this);
  button_->setFocusPolicy(Qt::NoFocus);
  button_->setFixedWidth(18);
  layout->addWidget(edit_);
  layout->addWidget(button_);
  setFocusProxy(edit_);
  connect(button_, &QToolButton::clicked, this, [this] { DropDown(); });
  connect(edit_, &QLineEdit::textEdited, this, [this] {
    if (OnUserChange) OnUserChange();
  });
}

bool TButtonEdit::SetUserText(const QString& text) {
  if (BeforeModify && !BeforeModify()) return false;
  edit_->setText(text);
  if (OnUserChange) OnUserChange();
  return true;
}

void TButtonEdit::DropDown() {
  edit_->setFocus();
  ShowPopup(edit_->mapToGlobal(QPoint(0, edit_->height())));
}

}  // namespace qdx
