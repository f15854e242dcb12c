#include "app/data/db_navigator.h"

#include <QEvent>
#include <QToolButton>

#include "app/error_box.h"
#include "app/widgets/question_box.h"
#include "dataset/framework/data_link.h"
#include "dataset/framework/data_set.h"

namespace qdx {

// The navigator's link: every notification that can change a button's state updates them.
class TNavigatorLink : public TDataLink {
 public:
  explicit TNavigatorLink(TDBNavigator& navigator) : navigator_(navigator) {}

 protected:
  void ActiveChanged() override { navigator_.UpdateButtons(); }
  void DataSetChanged() override { navigator_.UpdateButtons(); }
  void DataSetScrolled(int32_t) override { navigator_.UpdateButtons(); }
  void EditingChanged() override { navigator_.UpdateButtons(); }

 private:
  TDBNavigator& navigator_;
};

namespace {

// Glyphs of the buttons, in the order of TNavigateBtn.
constexpr const char16_t* kGlyphs[kNavigateButtonCount] = {
    u"|\u25c0", u"\u25c0", u"\u25b6", u"\u25b6|", u"+", u"\u2212", u"\u25b2", u"\u2714",
    u"\u2716", u"\u21bb"};

int Index(TNavigateBtn button) {
  return static_cast<int>(button);
}

}  // namespace

TDBNavigator::TDBNavigator(std::initializer_list<TNavigateBtn> buttons, TDataSource* source,
                           QWidget* parent)
    : QWidget(parent), link_(std::make_unique<TNavigatorLink>(*this)) {
  for (TNavigateBtn kind : buttons) {
    auto* button = new QToolButton(this);
    button->setText(QString::fromUtf16(kGlyphs[Index(kind)]));
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::TabFocus);
    connect(button, &QToolButton::clicked, this, [this, kind] { BtnClick(kind); });
    buttons_[static_cast<size_t>(Index(kind))] = button;
  }
  link_->SetDataSource(source);
  Layout();
  UpdateButtons();
}

TDBNavigator::~TDBNavigator() {
  link_->SetDataSource(nullptr);
}

QToolButton* TDBNavigator::Button(TNavigateBtn button) const {
  return buttons_[static_cast<size_t>(Index(button))];
}

void TDBNavigator::SetHint(TNavigateBtn button, const QString& hint) {
  if (QToolButton* b = Button(button)) b->setToolTip(hint);
}

void TDBNavigator::BtnClick(TNavigateBtn button) {
  TDataSet* dataSet = link_->DataSet();
  if (!dataSet || !link_->Active()) return;
  const bool done = RunHandler(
      [&] {
        switch (button) {
          case TNavigateBtn::nbFirst: dataSet->First(); break;
          case TNavigateBtn::nbPrior: dataSet->Prior(); break;
          case TNavigateBtn::nbNext: dataSet->Next(); break;
          case TNavigateBtn::nbLast: dataSet->Last(); break;
          case TNavigateBtn::nbInsert: dataSet->Insert(); break;
          case TNavigateBtn::nbDelete:
            if (!ConfirmDelete || ConfirmDeleteRecord(window(), false)) dataSet->Delete();
            break;
          case TNavigateBtn::nbEdit: dataSet->Edit(); break;
          case TNavigateBtn::nbPost: dataSet->Post(); break;
          case TNavigateBtn::nbCancel: dataSet->Cancel(); break;
          case TNavigateBtn::nbRefresh: dataSet->Refresh(); break;
        }
      },
      window());
  if (done && OnClick) OnClick(button);
}

void TDBNavigator::UpdateButtons() {
  TDataSet* dataSet = link_->DataSet();
  const bool active = isEnabled() && link_->Active() && dataSet;
  const bool editing = active && link_->Editing();
  const bool canModify = active && dataSet->CanModify();
  const bool atStart = !active || dataSet->Bof();
  const bool atEnd = !active || dataSet->Eof();
  const bool empty = !active || dataSet->IsEmpty();
  const std::array<bool, kNavigateButtonCount> enabled = {
      active && !atStart, active && !atStart, active && !atEnd, active && !atEnd,
      canModify,          canModify && !empty, canModify && !editing, editing,
      editing,            canModify};
  for (size_t i = 0; i < buttons_.size(); ++i) {
    if (buttons_[i]) buttons_[i]->setEnabled(enabled[i]);
  }
}

void TDBNavigator::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) UpdateButtons();
}

void TDBNavigator::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Layout();
}

QRect TDBNavigator::ButtonFace(TNavigateBtn button) const {
  if (!Button(button)) return {};
  int count = 0;
  int index = 0;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    if (!buttons_[i]) continue;
    if (i == static_cast<size_t>(Index(button))) index = count;
    ++count;
  }
  const int w = width() / count;
  const int left = index * w;
  const int right = index + 1 == count ? width() : left + w;
  return {left, 0, right - left, height()};
}

void TDBNavigator::Layout() {
  for (size_t i = 0; i < buttons_.size(); ++i) {
    if (buttons_[i]) buttons_[i]->setGeometry(ButtonFace(static_cast<TNavigateBtn>(i)));
  }
}

}  // namespace qdx
