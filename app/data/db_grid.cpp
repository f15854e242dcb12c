#include "app/data/db_grid.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>

#include "app/error_box.h"
#include "app/widgets/question_box.h"
#include "dataset/framework/data_link.h"
#include "dataset/framework/data_set.h"

namespace qdx {

namespace {

constexpr int kRowHeight = 17;
constexpr int kIndicatorWidth = 12;

}  // namespace

TDBGrid::TDBGrid(std::vector<TGridColumn> columns, TDataSource* source, QWidget* parent)
    : QFrame(parent) {
  setFrameShape(QFrame::Box);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);
  model_ = new TDataSetModel(std::move(columns), source, this);
  view_ = new QTableView(this);
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setShowGrid(true);
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  view_->setFrameShape(QFrame::NoFrame);
  view_->setWordWrap(false);
  QHeaderView* titles = view_->horizontalHeader();
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->setHighlightSections(false);
  titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  titles->setStyleSheet(QStringLiteral(
      "QHeaderView::section { background-color: rgb(0, 0, 160); color: white; font-weight: bold;"
      " border: 1px solid gray; padding-left: 2px; }"));
  QHeaderView* indicator = view_->verticalHeader();
  indicator->setSectionResizeMode(QHeaderView::Fixed);
  indicator->setDefaultSectionSize(kRowHeight);
  indicator->setMinimumSectionSize(kRowHeight);
  indicator->setFixedWidth(kIndicatorWidth);
  indicator->setDefaultAlignment(Qt::AlignCenter);
  indicator->setHighlightSections(false);
  const QFontMetrics metrics(font());
  for (size_t c = 0; c < model_->Columns().size(); ++c) {
    const TGridColumn& column = model_->Columns()[c];
    const int width = column.Width > 0 ? column.Width : 64;
    view_->setColumnWidth(static_cast<int>(c), width);
  }
  scrollBar_ = new QScrollBar(Qt::Vertical, this);
  layout->addWidget(view_);
  layout->addWidget(scrollBar_);
  view_->installEventFilter(this);
  view_->viewport()->installEventFilter(this);
  setFocusProxy(view_);
  connect(scrollBar_, &QScrollBar::actionTriggered, this,
          [this](int action) { ScrollBarAction(action); });
  model_->OnReload = [this] { AfterReload(); };
  AfterReload();
}

TDBGrid::~TDBGrid() {
  model_->OnReload = nullptr;
}

int TDBGrid::VisibleRows() const {
  // From the grid's own height, so that it is right before the view is laid out: the frame,
  // the title row and a horizontal scroll bar's worth of room come off.
  const int height = this->height() - 2 * frameWidth() - kRowHeight - 4;
  return std::max(1, height / kRowHeight);
}

void TDBGrid::UpdateBufferCount() {
  RunHandler([this] { model_->Link().SetBufferCount(VisibleRows()); }, window());
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  UpdateBufferCount();
}

void TDBGrid::Move(int distance) {
  if (!model_->DataSet() || distance == 0) return;
  RunHandler([&] { model_->DataSet()->MoveBy(distance); }, window());
}

bool TDBGrid::HandleKey(int key, Qt::KeyboardModifiers modifiers) {
  TDataSet* dataSet = model_->DataSet();
  if (!dataSet) return false;
  const bool control = modifiers & Qt::ControlModifier;
  switch (key) {
    case Qt::Key_Up: Move(-1); return true;
    case Qt::Key_Down: Move(1); return true;
    case Qt::Key_PageUp: Move(-VisibleRows()); return true;
    case Qt::Key_PageDown: Move(VisibleRows()); return true;
    case Qt::Key_Home:
    case Qt::Key_End:
      if (!control) return false;
      RunHandler([&] { key == Qt::Key_Home ? dataSet->First() : dataSet->Last(); }, window());
      return true;
    case Qt::Key_Delete:
      if (!control) return false;
      if (!dataSet->IsEmpty() && ConfirmDeleteRecord(window(), true)) {
        RunHandler([&] { dataSet->Delete(); }, window());
      }
      return true;
    default:
      return false;
  }
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    auto& key = static_cast<QKeyEvent&>(*event);
    return HandleKey(key.key(), key.modifiers());
  }
  if (watched == view_->viewport()) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      const auto& mouse = static_cast<QMouseEvent&>(*event);
      const QModelIndex index = view_->indexAt(mouse.position().toPoint());
      if (index.isValid()) Move(index.row() - model_->ActiveRow());
      view_->setFocus();
      return true;
    }
    if (event->type() == QEvent::Wheel) {
      const auto& wheel = static_cast<QWheelEvent&>(*event);
      Move(wheel.angleDelta().y() > 0 ? -1 : 1);
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

void TDBGrid::AfterReload() {
  syncing_ = true;
  const int row = model_->ActiveRow();
  if (row >= 0) {
    view_->selectRow(row);
  } else {
    view_->clearSelection();
  }
  TDataSet* dataSet = model_->DataSet();
  if (dataSet && dataSet->State() == TDataSetState::Browse) {
    const int count = dataSet->RecordCount();
    scrollBar_->setRange(0, std::max(0, count - 1));
    scrollBar_->setPageStep(VisibleRows());
    scrollBar_->setValue(std::max(0, dataSet->RecNo() - 1));
    scrollBar_->setEnabled(count > 1);
  } else if (!dataSet) {
    scrollBar_->setRange(0, 0);
    scrollBar_->setEnabled(false);
  }
  syncing_ = false;
}

void TDBGrid::ScrollBarAction(int action) {
  TDataSet* dataSet = model_->DataSet();
  if (syncing_ || !dataSet) return;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: Move(1); break;
    case QAbstractSlider::SliderSingleStepSub: Move(-1); break;
    case QAbstractSlider::SliderPageStepAdd: Move(VisibleRows()); break;
    case QAbstractSlider::SliderPageStepSub: Move(-VisibleRows()); break;
    case QAbstractSlider::SliderToMinimum: RunHandler([&] { dataSet->First(); }, window()); break;
    case QAbstractSlider::SliderToMaximum: RunHandler([&] { dataSet->Last(); }, window()); break;
    case QAbstractSlider::SliderMove:
      RunHandler([&] { Move(scrollBar_->sliderPosition() + 1 - dataSet->RecNo()); }, window());
      break;
    default:
      break;
  }
}

}  // namespace qdx
