#include "app/data/field_binding.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include "app/error_box.h"
#include "app/widgets/button_edit.h"
#include "dataset/framework/data_set.h"
#include "dataset/framework/field.h"

namespace qdx {

TDBFieldBinding::TDBFieldBinding(QLineEdit& edit, TDataSource* source, std::string fieldName)
    : QObject(&edit), control_(&edit), edit_(&edit) {
  Bind(source, std::move(fieldName));
}

TDBFieldBinding::TDBFieldBinding(TButtonEdit& edit, TDataSource* source, std::string fieldName)
    : QObject(&edit), control_(&edit), edit_(&edit.Edit()) {
  edit.BeforeModify = [this] { return BeginModify(); };
  Bind(source, std::move(fieldName));
}

TDBFieldBinding::TDBFieldBinding(QComboBox& list, TDataSource* source, std::string fieldName)
    : QObject(&list), control_(&list), list_(&list) {
  Bind(source, std::move(fieldName));
}

TDBFieldBinding::~TDBFieldBinding() {
  // The control is being destroyed around the binding: it must not be shown anything more.
  link_.OnDataChange = nullptr;
  link_.OnEditingChange = nullptr;
  link_.OnActiveChange = nullptr;
  link_.OnUpdateData = nullptr;
  link_.SetDataSource(nullptr);
}

void TDBFieldBinding::Bind(TDataSource* source, std::string fieldName) {
  setObjectName(QStringLiteral("FieldBinding"));
  link_.SetFieldName(std::move(fieldName));
  link_.OnDataChange = [this](TFieldDataLink&) { Show(); };
  link_.OnEditingChange = [this](TFieldDataLink&) { Show(); };
  link_.OnActiveChange = [this](TFieldDataLink&) { Show(); };
  link_.OnUpdateData = [this](TFieldDataLink&) { WriteField(); };
  if (edit_) {
    edit_->installEventFilter(this);
    QObject::connect(edit_, &QLineEdit::textEdited, this, [this] {
      if (!showing_) link_.Modified();
    });
  } else {
    list_->installEventFilter(this);
    QObject::connect(list_, &QComboBox::activated, this, [this] {
      if (!showing_) link_.Modified();
    });
  }
  link_.SetDataSource(source);
  Show();
}

bool TDBFieldBinding::BeginModify() {
  return link_.CanModify() && link_.Edit();
}

void TDBFieldBinding::Show() {
  showing_ = true;
  TField* field = link_.Field();
  QString text;
  if (field && link_.Active()) {
    text = QString::fromStdU16String(link_.Editing() ? field->EditText() : field->DisplayText());
  }
  if (edit_) {
    if (edit_->text() != text) edit_->setText(text);
    if (field && edit_->maxLength() != field->Size() && field->DataType() == ftString) {
      edit_->setMaxLength(field->Size());
    }
  } else {
    list_->setCurrentIndex(list_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
  }
  showing_ = false;
}

void TDBFieldBinding::WriteField() {
  TField* field = link_.Field();
  if (!field) return;
  const QString text = edit_ ? edit_->text() : list_->currentText();
  if (text.isEmpty() && field->DataType() != ftString) {
    field->Clear();
  } else {
    field->SetEditText(text.toStdU16String());
  }
}

void TDBFieldBinding::Leave() {
  RunHandler([this] { link_.UpdateRecord(); }, control_->window());
}

bool TDBFieldBinding::IsChangingKey(const QKeyEvent& key) const {
  if (key.matches(QKeySequence::Paste) || key.matches(QKeySequence::Cut) ||
      key.matches(QKeySequence::Undo) || key.matches(QKeySequence::Redo)) {
    return true;
  }
  switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      return list_ != nullptr;
    case Qt::Key_Space:
      // Picks an item in a list; in an edit it is text like any other character.
      if (list_ != nullptr) return true;
      break;
    default:
      break;
  }
  const QString text = key.text();
  return !text.isEmpty() && text.at(0).isPrint() &&
         !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

bool TDBFieldBinding::eventFilter(QObject* /*watched*/, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto& key = static_cast<QKeyEvent&>(*event);
      if (key.key() == Qt::Key_Escape && link_.Editing()) {
        link_.Reset();
        return false;
      }
      if (IsChangingKey(key) && !BeginModify()) return true;
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
      // A drop-down list changes by the mouse too: open it only when the record may change.
      if (list_ && !BeginModify()) return true;
      break;
    case QEvent::FocusOut:
      Leave();
      break;
    default:
      break;
  }
  return false;
}

}  // namespace qdx
