// The questions a database component puts to its user and the progress it shows while it
// works, behind one small interface, so that the dataset core never depends on a window system.
//
// The dataset core asks through Prompts(): the quiet prompts until a program installs others.
// The Qt program installs the dialogs of dataset/dialogs (the password dialog, message boxes,
// the wait dialog); tests install scripted answers with PromptsScope.
//
// Prompts are used from the thread that runs the dataset layer (the window thread in the
// program); installing them is not synchronised with their use.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qdx {

// The display of one long operation (the wait dialog): a message, a percentage and an abort
// request. Destroying it finishes the operation: the display goes away.
class TQDXProgressDisplay {
 public:
  virtual ~TQDXProgressDisplay() = default;

  // A new message; clears an earlier abort request.
  virtual void SetMessage(std::string_view message) = 0;
  // 0 to 100.
  virtual void SetProgress(int percent) = 0;
  // Whether the user asked the operation to stop.
  virtual bool Aborted() const = 0;
  // Shows the display at once instead of after its delay.
  virtual void ShowNow() = 0;
};

class TQDXPrompts {
 public:
  virtual ~TQDXPrompts() = default;

  // The password dialog. `databaseName` fills its name line (may be empty). Answers true to
  // continue, with `password` holding the text typed; false to stop (`password` unchanged).
  virtual bool AskPassword(std::string_view databaseName, std::string& password) = 0;
  // A confirmation with Yes and No; true on Yes.
  virtual bool Confirm(std::string_view text) = 0;
  // An information with OK.
  virtual void Inform(std::string_view text) = 0;
  // A warning with OK.
  virtual void Warn(std::string_view text) = 0;
  // A progress display for an operation starting now, at 0 percent with `message`. Displays
  // that show themselves wait a moment first, so that short operations never show.
  virtual std::unique_ptr<TQDXProgressDisplay> BeginProgress(std::string_view message) = 0;
};

// The prompts of a program without a window system: a password is not given, a confirmation is
// answered No, informations and warnings go nowhere, and progress is not shown (never aborted).
class TQDXQuietPrompts final : public TQDXPrompts {
 public:
  bool AskPassword(std::string_view databaseName, std::string& password) override;
  bool Confirm(std::string_view text) override;
  void Inform(std::string_view text) override;
  void Warn(std::string_view text) override;
  std::unique_ptr<TQDXProgressDisplay> BeginProgress(std::string_view message) override;
};

// The prompts in use now.
TQDXPrompts& Prompts();

// Makes `prompts` the ones in use for the scope's lifetime. Scopes nest and end in reverse
// order.
class PromptsScope {
 public:
  explicit PromptsScope(TQDXPrompts& prompts);
  ~PromptsScope();
  PromptsScope(const PromptsScope&) = delete;
  PromptsScope& operator=(const PromptsScope&) = delete;

 private:
  TQDXPrompts* previous_;
};

}  // namespace qdx
