// TProgramSetup: what the program puts in place before its windows exist and takes away after
// them, so that the user is asked and told what the database layer wants to ask and tell:
//  - Qt's own texts (the standard buttons of message boxes, the edits' context menus) in the
//    user's language, from Qt's translations installed on the system;
//  - the database component's dialogs: the password dialog, the repair and conversion
//    questions, the rebuild's warnings and the wait dialog (dataset/dialogs);
//  - an error box for the errors a dataset cannot hand to a caller: one raised inside a filter
//    event, or a cancel that failed while a table closed.
// The program makes one right after its application object and keeps it to the end.
#pragma once

#include <QTranslator>
#include <memory>

#include "dataset/dialogs/qt_prompts.h"
#include "dataset/prompts.h"

namespace qdx {

class TProgramSetup {
 public:
  TProgramSetup();
  ~TProgramSetup();
  TProgramSetup(const TProgramSetup&) = delete;
  TProgramSetup& operator=(const TProgramSetup&) = delete;

 private:
  QTranslator qtTexts_;
  bool qtTranslated_ = false;
  TQtPrompts prompts_;
  PromptsScope promptsScope_;
};

}  // namespace qdx
