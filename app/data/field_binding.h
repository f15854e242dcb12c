// TDBFieldBinding: binds one input control (a line edit, a numeric or date edit, a drop-down
// list) to one field through a TFieldDataLink.
//
// - The control shows the field of the current record: its display text while browsing, its
//   edit text while the record is being changed; nothing while the dataset is closed.
// - A key that would change the text, and a value picked in a pop-up or list, first ask the link
//   to edit: with AutoEdit on the source that starts an edit; otherwise, or on a dataset that
//   cannot be modified, the key is swallowed and nothing changes.
// - The link's UpdateData writes the control's text into the field (an empty text clears it);
//   leaving the control writes it at once so a bad value is reported where it was typed, and
//   Escape takes the field's value back.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "dataset/framework/field_data_link.h"

class QComboBox;
class QKeyEvent;
class QLineEdit;
class QWidget;

namespace qdx {

class TButtonEdit;
class TDataSource;

class TDBFieldBinding : public QObject {
 public:
  // A plain line edit.
  TDBFieldBinding(QLineEdit& edit, TDataSource* source, std::string fieldName);
  // A numeric or date edit with its pop-up.
  TDBFieldBinding(TButtonEdit& edit, TDataSource* source, std::string fieldName);
  // A drop-down list whose chosen item's text is stored; a value not in the list shows blank.
  TDBFieldBinding(QComboBox& list, TDataSource* source, std::string fieldName);
  ~TDBFieldBinding() override;

  TFieldDataLink& Link() { return link_; }
  // Asks for a change of the control's value; false when it may not change now.
  bool BeginModify();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Bind(TDataSource* source, std::string fieldName);
  void Show();
  void WriteField();
  void Leave();
  bool IsChangingKey(const QKeyEvent& key) const;

  TFieldDataLink link_;
  QWidget* control_;
  QLineEdit* edit_ = nullptr;
  QComboBox* list_ = nullptr;
  bool showing_ = false;
};

}  // namespace qdx
