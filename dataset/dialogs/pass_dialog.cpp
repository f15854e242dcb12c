#include "dataset/dialogs/pass_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>

#include "dataset/dataset_messages.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {

namespace {

// The edit's style: the platform style, but "*" for each character of a password.
class TAsteriskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace

void CentreOnScreen(QWidget& widget) {
  QScreen* screen = widget.screen() != nullptr ? widget.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  widget.move(area.center() - QPoint(widget.width() / 2, widget.height() / 2));
}

TQDXPassDialog::TQDXPassDialog(QWidget* parent)
    : QDialog(parent),
      nameLabel_(new QLabel(this)),
      passwordLabel_(new QLabel(QString::fromLatin1(dsmsg::kPassDialogPasswordLabel), this)),
      passwordEdit_(new QLineEdit(this)),
      okButton_(new QPushButton(QString::fromLatin1(dsmsg::kOKButton), this)),
      cancelButton_(new QPushButton(QString::fromLatin1(dsmsg::kCancelButton), this)) {
  setWindowTitle(QString::fromLatin1(dsmsg::kPassDialogCaption));
  setModal(true);
  setFixedSize(kClientWidth, kClientHeight);

  nameLabel_->setGeometry(8, 8, 200, 16);
  nameLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  passwordLabel_->setGeometry(8, 32, 200, 16);
  passwordEdit_->setGeometry(8, 50, 200, 22);
  auto* style = new TAsteriskStyle();
  style->setParent(passwordEdit_);
  passwordEdit_->setStyle(style);
  passwordEdit_->setEchoMode(QLineEdit::Password);
  passwordLabel_->setBuddy(passwordEdit_);
  okButton_->setGeometry(28, 84, 75, 25);
  cancelButton_->setGeometry(113, 84, 75, 25);
  okButton_->setDefault(true);
  okButton_->setAutoDefault(true);
  cancelButton_->setAutoDefault(false);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
  passwordEdit_->setFocus();
  CentreOnScreen(*this);
}

std::string TQDXPassDialog::Password() const {
  const QString text = passwordEdit_->text();
  return platform::WideToAnsi(std::u16string_view(
      reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

bool TQDXPassDialog::Ask(std::string_view databaseName, std::string& password) {
  TQDXPassDialog dialog;
  const std::u16string name = platform::AnsiToWide(databaseName);
  dialog.NameLabel()->setText(
      QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size())));
  if (dialog.exec() != QDialog::Accepted) return false;
  password = dialog.Password();
  return true;
}

}  // namespace qdx
