// TQDXPassDialog: the password dialog a database component shows when the engine refuses the
// password it has ("Database authentication"). A modal dialog of 216 x 118 pixels, centred on
// the screen: a centred name line at the top, the label "Password:", a password edit that shows
// "*" for each character and starts empty, and the buttons "OK" (default) and "Cancel".
//
// Used from the window thread.
#pragma once

#include <QDialog>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qdx {

class TQDXPassDialog : public QDialog {
 public:
  static constexpr int kClientWidth = 216;
  static constexpr int kClientHeight = 118;

  explicit TQDXPassDialog(QWidget* parent = nullptr);

  QLabel* NameLabel() const { return nameLabel_; }
  QLabel* PasswordLabel() const { return passwordLabel_; }
  QLineEdit* PasswordEdit() const { return passwordEdit_; }
  QPushButton* OKButton() const { return okButton_; }
  QPushButton* CancelButton() const { return cancelButton_; }

  // The password typed, in the engine's 8-bit code page.
  std::string Password() const;

  // Shows the dialog modally with `databaseName` on its name line. On OK answers true with the
  // typed text in `password`; on Cancel answers false and leaves `password` alone.
  static bool Ask(std::string_view databaseName, std::string& password);

 private:
  QLabel* nameLabel_;
  QLabel* passwordLabel_;
  QLineEdit* passwordEdit_;
  QPushButton* okButton_;
  QPushButton* cancelButton_;
};

// Moves a top-level widget to the centre of the screen it is on (the primary screen when none).
void CentreOnScreen(QWidget& widget);

}  // namespace qdx
