#include "dataset/dialogs/qt_prompts.h"

#include <QMessageBox>
#include <QString>

#include "dataset/dataset_messages.h"
#include "dataset/dialogs/pass_dialog.h"
#include "dataset/dialogs/wait_dialog.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {

namespace {

// Engine texts are in the 8-bit code page.
QString FromAnsi(std::string_view text) {
  const std::u16string wide = platform::AnsiToWide(text);
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

// The wait dialog as the dataset core's progress display; finishing frees it.
class TWaitDialogProgress final : public TQDXProgressDisplay {
 public:
  explicit TWaitDialogProgress(std::string_view message) : dialog_(std::make_unique<TfrmWait>()) {
    dialog_->SetMessage(FromAnsi(message));
    dialog_->SetProgress(0);
  }
  ~TWaitDialogProgress() override { dialog_->Finish(); }

  void SetMessage(std::string_view message) override { dialog_->SetMessage(FromAnsi(message)); }
  void SetProgress(int percent) override { dialog_->SetProgress(percent); }
  bool Aborted() const override { return dialog_->Aborted(); }
  void ShowNow() override { dialog_->ShowNow(); }

 private:
  std::unique_ptr<TfrmWait> dialog_;
};

int ShowMessage(QMessageBox::Icon icon, const char* caption, std::string_view text,
                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, QString::fromLatin1(caption), FromAnsi(text), buttons);
  box.setDefaultButton(defaultButton);
  return box.exec();
}

}  // namespace

bool TQtPrompts::AskPassword(std::string_view databaseName, std::string& password) {
  return TQDXPassDialog::Ask(databaseName, password);
}

bool TQtPrompts::Confirm(std::string_view text) {
  return ShowMessage(QMessageBox::Question, dsmsg::kConfirmCaption, text,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void TQtPrompts::Inform(std::string_view text) {
  ShowMessage(QMessageBox::Information, dsmsg::kInformationCaption, text, QMessageBox::Ok,
              QMessageBox::Ok);
}

void TQtPrompts::Warn(std::string_view text) {
  ShowMessage(QMessageBox::Warning, dsmsg::kWarningCaption, text, QMessageBox::Ok, QMessageBox::Ok);
}

std::unique_ptr<TQDXProgressDisplay> TQtPrompts::BeginProgress(std::string_view message) {
  return std::make_unique<TWaitDialogProgress>(message);
}

}  // namespace qdx
