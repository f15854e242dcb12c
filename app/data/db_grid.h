// TDBGrid: the record grid. A table view of a TDataSetModel with an indicator column, whole-row
// selection of the current record, no in-place editing, resizable columns, grid lines and a
// title row in white bold on dark blue.
//
// The grid asks the dataset for a window of as many records as it shows rows and scrolls by
// moving the dataset: arrow keys, page keys, Ctrl+Home / Ctrl+End, the mouse wheel, a click on
// a row and the scroll bar (which stands for the position among all records) all move it.
// Ctrl+Delete asks "Delete record?" (Yes / No) and deletes the current record on Yes. Errors
// of a move or delete are shown in an error box.
#pragma once

#include <QFrame>
#include <vector>

#include "app/data/data_set_model.h"

class QScrollBar;
class QTableView;

namespace qdx {

class TDBGrid : public QFrame {
 public:
  TDBGrid(std::vector<TGridColumn> columns, TDataSource* source, QWidget* parent = nullptr);
  ~TDBGrid() override;

  QTableView& View() { return *view_; }
  TDataSetModel& Model() { return *model_; }
  // Rows the grid shows, the size of the dataset window it asks for.
  int VisibleRows() const;
  // Runs a grid key as the keyboard does; true when the grid handled it.
  bool HandleKey(int key, Qt::KeyboardModifiers modifiers);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Move(int distance);
  void AfterReload();
  void ScrollBarAction(int action);
  void UpdateBufferCount();

  TDataSetModel* model_;
  QTableView* view_;
  QScrollBar* scrollBar_;
  bool syncing_ = false;
};

}  // namespace qdx
