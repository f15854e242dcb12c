// TDataSetModel: a Qt table model over the window of records a dataset keeps for a grid.
//
// The model's rows are the records of the dataset's buffer window (as many as the grid shows),
// not the whole table: the grid scrolls by moving the dataset, and the model follows through its
// data link. Row texts are read once per notification (each window row made the active record
// in turn) and kept, so painting never touches the dataset. While a record is being edited or
// inserted only its own row is re-read; the others keep what they showed.
//
// Columns name a field, a title and a width; a column whose field the dataset lacks stays empty.
// The vertical header is the indicator column: an arrow on the current record, "I" while it is
// edited, "*" while it is being inserted.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qdx {

class TDataSource;
class TDataSet;
class TDataLink;
class TGridLink;
class TField;

struct TGridColumn {
  std::string FieldName;
  // Empty: the field name.
  QString Title;
  // Pixels; 0: from the field's display width.
  int Width = 0;
};

class TDataSetModel : public QAbstractTableModel {
 public:
  TDataSetModel(std::vector<TGridColumn> columns, TDataSource* source, QObject* parent = nullptr);
  ~TDataSetModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  const std::vector<TGridColumn>& Columns() const { return columns_; }
  TDataLink& Link();
  TDataSet* DataSet() const;
  // The window row of the current record; -1 when none.
  int ActiveRow() const { return activeRow_; }
  // Re-reads the window.
  void Reload();

  // Called after every reload (the grid moves its selection and scroll bar).
  std::function<void()> OnReload;

 private:
  QStringList ReadRow() const;
  TField* ColumnField(size_t column) const;

  std::vector<TGridColumn> columns_;
  std::unique_ptr<TGridLink> link_;
  std::vector<QStringList> rows_;
  std::vector<bool> rightAligned_;
  int activeRow_ = -1;
  QString indicator_;
  bool destroying_ = false;
};

}  // namespace qdx
