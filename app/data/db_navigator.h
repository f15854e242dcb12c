// TDBNavigator: a bar of buttons that move through and change the records of a data source.
//
// Each button acts on the dataset when it is open: First, Prior, Next, Last move (settling a
// pending change first); Insert starts a new record before the current one; Delete asks
// "Delete record?" (OK / Cancel) and deletes on OK; Edit starts editing; Post stores; Cancel
// drops the pending change; Refresh posts and re-reads. Errors are shown in an error box and
// the dataset keeps its state. After a button's action OnClick runs with the button.
//
// Button states follow the dataset after every change of state or position: First and Prior
// when open and not at the start; Next and Last when open and not at the end; Insert and
// Refresh when open and modifiable; Delete when open, modifiable and not empty; Edit when
// modifiable and not being edited; Post and Cancel only while a record is edited or inserted.
// A disabled navigator disables all its buttons.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <initializer_list>
#include <memory>

class QToolButton;

namespace qdx {

class TDataSource;
class TNavigatorLink;

enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost,
                          nbCancel, nbRefresh };
inline constexpr int kNavigateButtonCount = 10;

class TDBNavigator : public QWidget {
 public:
  // A bar of `buttons` (laid out in the order of TNavigateBtn) over `source`.
  TDBNavigator(std::initializer_list<TNavigateBtn> buttons, TDataSource* source,
               QWidget* parent = nullptr);
  ~TDBNavigator() override;

  // The button, null when the bar does not show it.
  QToolButton* Button(TNavigateBtn button) const;
  // Where the bar puts a button it shows, in its own coordinates, for its current size; the
  // bar is split evenly, the last button taking what is left. Valid before the bar is shown
  // (its buttons get their places only on the first resize event).
  QRect ButtonFace(TNavigateBtn button) const;
  void SetHint(TNavigateBtn button, const QString& hint);
  // Runs a button's action as a click does.
  void BtnClick(TNavigateBtn button);
  // Recomputes the buttons' enabled states from the dataset.
  void UpdateButtons();

  bool ConfirmDelete = true;
  std::function<void(TNavigateBtn)> OnClick;

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Layout();

  std::unique_ptr<TNavigatorLink> link_;
  std::array<QToolButton*, kNavigateButtonCount> buttons_{};
};

}  // namespace qdx
