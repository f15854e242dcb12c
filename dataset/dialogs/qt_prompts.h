// TQtPrompts: the prompts of the Qt program (dataset/prompts.h) — the password dialog, message
// boxes for the repair, conversion and warning texts, and the wait dialog for progress. The
// program installs them once, before it opens a database:
//
//   qdx::TQtPrompts prompts;
//   qdx::PromptsScope scope(prompts);
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "dataset/prompts.h"

namespace qdx {

class TQtPrompts final : public TQDXPrompts {
 public:
  bool AskPassword(std::string_view databaseName, std::string& password) override;
  // "Confirm" with Yes and No.
  bool Confirm(std::string_view text) override;
  // "Information" with OK.
  void Inform(std::string_view text) override;
  // "Warning" with OK.
  void Warn(std::string_view text) override;
  // A TfrmWait with the message.
  std::unique_ptr<TQDXProgressDisplay> BeginProgress(std::string_view message) override;
};

}  // namespace qdx
