#include "app/program_setup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <exception>

#include "app/error_box.h"
#include "dataset/framework/data_set.h"

namespace qdx {

namespace {

// An error the dataset could not pass to a caller. One abandoned on purpose stays silent.
void ShowDataSetError(const std::exception& error) {
  if (dynamic_cast<const EAbort*>(&error) != nullptr) return;
  ShowErrorBox(QString::fromUtf8(error.what()));
}

}  // namespace

TProgramSetup::TProgramSetup() : promptsScope_(prompts_) {
  // QLocale() is the user's language for texts (LANGUAGE, LC_MESSAGES, LANG) unless the program
  // chose another. Qt's base catalogue holds every text Qt Widgets shows by itself.
  qtTranslated_ = qtTexts_.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                  QCoreApplication::installTranslator(&qtTexts_);
  SetDataSetExceptionHandler(ShowDataSetError);
}

TProgramSetup::~TProgramSetup() {
  SetDataSetExceptionHandler({});
  if (qtTranslated_) QCoreApplication::removeTranslator(&qtTexts_);
}

}  // namespace qdx
