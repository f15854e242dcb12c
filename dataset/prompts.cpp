#include "dataset/prompts.h"

namespace qdx {

namespace {

class TQDXHiddenProgress final : public TQDXProgressDisplay {
 public:
  void SetMessage(std::string_view) override {}
  void SetProgress(int) override {}
  bool Aborted() const override { return false; }
  void ShowNow() override {}
};

TQDXQuietPrompts quietPrompts;
TQDXPrompts* currentPrompts = &quietPrompts;

}  // namespace

bool TQDXQuietPrompts::AskPassword(std::string_view, std::string&) {
  return false;
}

bool TQDXQuietPrompts::Confirm(std::string_view) {
  return false;
}

void TQDXQuietPrompts::Inform(std::string_view) {}

void TQDXQuietPrompts::Warn(std::string_view) {}

std::unique_ptr<TQDXProgressDisplay> TQDXQuietPrompts::BeginProgress(std::string_view) {
  return std::make_unique<TQDXHiddenProgress>();
}

TQDXPrompts& Prompts() {
  return *currentPrompts;
}

PromptsScope::PromptsScope(TQDXPrompts& prompts) : previous_(currentPrompts) {
  currentPrompts = &prompts;
}

PromptsScope::~PromptsScope() {
  currentPrompts = previous_;
}

}  // namespace qdx
