#include "app/data/data_set_model.h"

#include "dataset/framework/data_link.h"
#include "dataset/framework/data_set.h"

namespace qdx {

// The grid's link: any notification re-reads the window.
class TGridLink : public TDataLink {
 public:
  explicit TGridLink(TDataSetModel& model) : model_(model) {}

 protected:
  void ActiveChanged() override { model_.Reload(); }
  void DataSetChanged() override { model_.Reload(); }
  void DataSetScrolled(int32_t) override { model_.Reload(); }
  void RecordChanged(TField*) override { model_.Reload(); }
  void EditingChanged() override { model_.Reload(); }
  void LayoutChanged() override { model_.Reload(); }

 private:
  TDataSetModel& model_;
};

namespace {

bool IsNumeric(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftAutoInc:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      return true;
    default:
      return false;
  }
}

}  // namespace

TDataSetModel::TDataSetModel(std::vector<TGridColumn> columns, TDataSource* source,
                             QObject* parent)
    : QAbstractTableModel(parent),
      columns_(std::move(columns)),
      link_(std::make_unique<TGridLink>(*this)),
      rightAligned_(columns_.size(), false) {
  link_->SetDataSource(source);
  Reload();
}

TDataSetModel::~TDataSetModel() {
  destroying_ = true;
  OnReload = nullptr;
  link_->SetDataSource(nullptr);
}

TDataLink& TDataSetModel::Link() {
  return *link_;
}

TDataSet* TDataSetModel::DataSet() const {
  return link_->Active() ? link_->DataSet() : nullptr;
}

TField* TDataSetModel::ColumnField(size_t column) const {
  TDataSet* dataSet = DataSet();
  return dataSet ? dataSet->FindField(columns_[column].FieldName) : nullptr;
}

QStringList TDataSetModel::ReadRow() const {
  QStringList row;
  for (size_t c = 0; c < columns_.size(); ++c) {
    TField* field = ColumnField(c);
    row << (field ? QString::fromStdU16String(field->DisplayText()) : QString());
  }
  return row;
}

void TDataSetModel::Reload() {
  if (destroying_) return;
  std::vector<QStringList> rows;
  int active = -1;
  QString indicator;
  if (TDataSet* dataSet = DataSet()) {
    for (size_t c = 0; c < columns_.size(); ++c) {
      TField* field = ColumnField(c);
      rightAligned_[c] = field && IsNumeric(field->DataType());
    }
    const int count = link_->RecordCount();
    active = count > 0 ? link_->ActiveRecord() : -1;
    const TDataSetState state = dataSet->State();
    if (state == TDataSetState::Browse) {
      rows.reserve(static_cast<size_t>(count));
      const int current = link_->ActiveRecord();
      try {
        for (int i = 0; i < count; ++i) {
          link_->SetActiveRecord(i);
          rows.push_back(ReadRow());
        }
      } catch (...) {
        link_->SetActiveRecord(current);
        throw;
      }
      link_->SetActiveRecord(current);
      indicator = QStringLiteral("\u25b6");
    } else {
      // The other rows keep their texts; a record being inserted takes a new row.
      rows = rows_;
      if (state == TDataSetState::Inserting && static_cast<int>(rows.size()) < count &&
          active >= 0) {
        rows.insert(rows.begin() + std::min<size_t>(static_cast<size_t>(active), rows.size()),
                    QStringList());
      }
      rows.resize(static_cast<size_t>(count));
      if (active >= 0) rows[static_cast<size_t>(active)] = ReadRow();
      indicator = state == TDataSetState::Inserting ? QStringLiteral("*") : QStringLiteral("I");
    }
  }
  const bool sameShape = rows.size() == rows_.size();
  if (!sameShape) beginResetModel();
  rows_ = std::move(rows);
  activeRow_ = active;
  indicator_ = indicator;
  if (!sameShape) {
    endResetModel();
  } else if (!rows_.empty()) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
  }
  if (OnReload) OnReload();
}

int TDataSetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TDataSetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const auto row = static_cast<size_t>(index.row());
  const auto column = static_cast<size_t>(index.column());
  if (role == Qt::DisplayRole) {
    const QStringList& texts = rows_[row];
    return column < static_cast<size_t>(texts.size()) ? texts[static_cast<int>(column)]
                                                       : QString();
  }
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::AlignVCenter |
                               (rightAligned_[column] ? Qt::AlignRight : Qt::AlignLeft));
  }
  return {};
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section == activeRow_ ? indicator_ : QString();
  const TGridColumn& column = columns_.at(static_cast<size_t>(section));
  return column.Title.isEmpty() ? QString::fromStdString(column.FieldName) : column.Title;
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace qdx
