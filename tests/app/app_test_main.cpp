// The app tests' main: a QApplication on the offscreen platform (unless one is chosen), the C
// locale for numbers, and no modal error boxes.
#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>

#include "app/error_box.h"
#include "app/forms/form_placement.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  qdx::TApplication app(argc, argv);
  QLocale::setDefault(QLocale::c());
  // Windows shown by a test keep their placement away from the user's own store.
  QTemporaryDir store;
  qdx::TFormPlacement::SetDefaultIniFileName(store.filePath(QStringLiteral("placement.ini")));
  // A test that forgets to catch an error box fails instead of waiting for a click.
  qdx::SetErrorBoxPresenter([](const QString& title, const QString& text, QWidget*) {
    ADD_FAILURE() << "unexpected error box " << title.toStdString() << ": " << text.toStdString();
  });
  return RUN_ALL_TESTS();
}
