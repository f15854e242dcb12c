#include "app/report/cost_report_writer.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <string>
#include <vector>

#include "app/chart/chart_renderer.h"
#include "app/chart/chart_widget.h"
#include "app/forms/chart_windows.h"
#include "app/forms/data_module.h"
#include "app/forms/main_window.h"
#include "app/report/report_texts.h"
#include "app/widgets/label_command.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/text_format.h"
#include "wagenlog/program_texts.h"
#include "wagenlog/report/cost_report.h"

namespace qdx {

namespace {

// The page is laid out in points: at 72 dots per inch a point size is its own height on the
// page, and the vector output keeps fractions of a point.
constexpr int kResolution = 72;
constexpr qreal kMargin = 42;
constexpr qreal kBodySize = 9;
constexpr qreal kRowGap = 3;

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}
QString Text(const std::u16string& text) {
  return QString::fromStdU16String(text);
}

QString Amount(double value) {
  return Text(CurrencyToText(value, platform::UserFormatSettings()));
}

QString Number(double value) {
  return Text(FloatToText(value, platform::UserFormatSettings()));
}

// A table: its column titles, right-aligned from the second column on, and its rows.
struct TTable {
  QStringList Columns;
  std::vector<QStringList> Rows;
  // The least share of the text width each column takes.
  std::vector<qreal> Shares;
};

// Writes pages top to bottom and starts a new portrait page when one is full.
class TReportPages {
 public:
  explicit TReportPages(const QString& file) : writer_(file) {
    writer_.setResolution(kResolution);
    writer_.setTitle(Text(msg::kReportTitle));
    writer_.setCreator(Text(msg::kProgramName));
    writer_.setPageLayout(PortraitLayout());
    if (!painter_.begin(&writer_)) {
      throw EFrameworkException(FormatOrFallback(
          msg::kReportNotWritten, {{FormatArg(QDir::toNativeSeparators(file).toStdString())}}));
    }
    StartPage();
  }

  bool Finish() { return painter_.end(); }

  void Title(const QString& text, const QString& subtitle) {
    Write(text, 18, true);
    if (!subtitle.isEmpty()) Write(subtitle, 13, true);
    y_ += 6;
  }

  void Heading(const QString& text) {
    NeedRoom(4 * LineHeight(kBodySize));
    y_ += 8;
    Write(text, 12, true);
    y_ += 2;
  }

  void Line(const QString& text) { Write(text, kBodySize, false); }

  // Pairs of caption and value.
  void Pairs(const std::vector<std::pair<QString, QString>>& pairs) {
    TTable table;
    table.Shares = {0.35, 0.35};
    for (const auto& [caption, value] : pairs) table.Rows.push_back({caption, value});
    Table(table);
  }

  void Table(const TTable& table) {
    const qreal width = painter_.window().width() - 2 * kMargin;
    const qreal height = LineHeight(kBodySize);
    const std::vector<qreal> widths = ColumnWidths(table, width);
    const auto row = [&](const QStringList& cells, bool bold) {
      NeedRoom(height);
      painter_.setFont(Font(kBodySize, bold));
      qreal x = kMargin;
      for (qsizetype i = 0; i < cells.size(); ++i) {
        const qreal cellWidth = widths[static_cast<size_t>(i)];
        const Qt::Alignment align = i == 0 ? Qt::AlignLeft : Qt::AlignRight;
        painter_.drawText(QRectF(x, y_, cellWidth - 6, height), align | Qt::AlignVCenter, cells[i]);
        x += cellWidth;
      }
      y_ += height;
    };
    if (!table.Columns.isEmpty()) {
      row(table.Columns, true);
      painter_.drawLine(QPointF(kMargin, y_), QPointF(kMargin + width, y_));
      y_ += 1;
    }
    for (const QStringList& cells : table.Rows) row(cells, false);
  }

  // A landscape page that holds `chart`, drawn at its window's size and scaled to the page.
  void ChartPage(const TChart& chart, QSize size) {
    writer_.setPageLayout(LandscapeLayout());
    writer_.newPage();
    StartPage();
    const QRectF area(kMargin, kMargin, painter_.window().width() - 2 * kMargin,
                      painter_.window().height() - 2 * kMargin);
    const qreal factor = std::min(area.width() / size.width(), area.height() / size.height());
    const QSizeF drawn = QSizeF(size) * factor;
    painter_.save();
    painter_.translate(area.left() + (area.width() - drawn.width()) / 2,
                       area.top() + (area.height() - drawn.height()) / 2);
    painter_.scale(factor, factor);
    PaintChart(painter_, chart, QRectF(QPointF(0, 0), QSizeF(size)));
    painter_.restore();
  }

 private:
  // The shares of `width`, widened where a title or a value needs more (an amount in another
  // currency, a long month name); then all together stretched to fill the width, or narrowed
  // should the whole not fit.
  std::vector<qreal> ColumnWidths(const TTable& table, qreal width) {
    constexpr qreal kPadding = 8;
    std::vector<qreal> widths;
    for (qreal share : table.Shares) widths.push_back(share * width);
    const auto widen = [&](const QStringList& cells, bool bold) {
      const QFontMetricsF metrics(Font(kBodySize, bold), &writer_);
      for (qsizetype i = 0; i < cells.size() && i < static_cast<qsizetype>(widths.size()); ++i) {
        qreal& column = widths[static_cast<size_t>(i)];
        column = std::max(column, metrics.horizontalAdvance(cells[i]) + kPadding);
      }
    };
    widen(table.Columns, true);
    for (const QStringList& cells : table.Rows) widen(cells, false);
    qreal total = 0;
    for (qreal column : widths) total += column;
    if (table.Columns.isEmpty() && total <= width) return widths;
    for (qreal& column : widths) column *= width / total;
    return widths;
  }

  static QPageLayout PortraitLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF());
  }
  static QPageLayout LandscapeLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF());
  }

  void StartPage() {
    painter_.resetTransform();
    painter_.setPen(Qt::black);
    y_ = kMargin;
    ++page_;
    painter_.setFont(Font(7, false));
    const qreal bottom = painter_.window().height() - kMargin / 2;
    const QString number =
        QString::fromStdString(FormatOrFallback(msg::kReportPage, {{FormatArg(page_)}}));
    painter_.drawText(QRectF(kMargin, bottom - 10, painter_.window().width() - 2 * kMargin, 10),
                      Qt::AlignRight | Qt::AlignVCenter, number);
  }

  void NeedRoom(qreal height) {
    if (y_ + height <= painter_.window().height() - kMargin) return;
    writer_.setPageLayout(PortraitLayout());
    writer_.newPage();
    StartPage();
  }

  static QFont Font(qreal size, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(size);
    font.setBold(bold);
    return font;
  }

  qreal LineHeight(qreal size) const { return size * 1.25 + kRowGap; }

  void Write(const QString& text, qreal size, bool bold) {
    const qreal height = LineHeight(size);
    NeedRoom(height);
    painter_.setFont(Font(size, bold));
    painter_.drawText(QRectF(kMargin, y_, painter_.window().width() - 2 * kMargin, height),
                      Qt::AlignLeft | Qt::AlignVCenter, text);
    y_ += height;
  }

  QPdfWriter writer_;
  QPainter painter_;
  qreal y_ = 0;
  int page_ = 0;
};

std::vector<std::pair<QString, QString>> VehicleData(TDataSet& vehicle) {
  std::vector<std::pair<QString, QString>> pairs;
  const bool present = vehicle.Active() && !vehicle.IsEmpty();
  for (size_t i = 0; i < msg::kReportVehicleFields.size(); ++i) {
    const QString value =
        present ? Text(vehicle.FieldByName(msg::kReportVehicleFields[i]).AsString()) : QString();
    pairs.emplace_back(Text(msg::kReportVehicleCaptions[i]), value);
  }
  return pairs;
}

std::vector<std::pair<QString, QString>> StatisticsShown(const TForm1& window) {
  const QLabel* labels[] = {window.Label6,  window.Label27, window.Label28, window.Label1,
                            window.Label3,  window.Label8,  window.Label29, window.Label30,
                            window.Label31, window.Label12, window.Label9};
  std::vector<std::pair<QString, QString>> pairs;
  for (size_t i = 0; i < msg::kReportStatisticsCaptions.size(); ++i) {
    pairs.emplace_back(Text(msg::kReportStatisticsCaptions[i]), labels[i]->text());
  }
  return pairs;
}

TTable FuelTable(const std::vector<wagenlog::FuelRow>& rows) {
  TTable table;
  for (const char* column : msg::kReportFuelColumns) table.Columns << Text(column);
  table.Shares = {0.2, 0.2, 0.2, 0.2, 0.2};
  const platform::FormatSettings formats = platform::UserFormatSettings();
  for (const wagenlog::FuelRow& row : rows) {
    table.Rows.push_back({row.DayNumber == 0 ? QString() : Text(DateToText(row.DayNumber, formats)),
                          QString::number(row.KmStand), Number(row.Litres), Amount(row.Amount),
                          Number(row.KmPerLitre)});
  }
  return table;
}

TTable CostTable(const char* periodColumn, const std::vector<wagenlog::CostRow>& rows) {
  TTable table;
  table.Columns << Text(periodColumn);
  for (const char16_t* category : kCategories) table.Columns << QString::fromUtf16(category);
  table.Columns << Text(msg::kReportTotal);
  table.Shares = {0.14, 0.12, 0.12, 0.12, 0.12, 0.12, 0.14};
  for (const wagenlog::CostRow& row : rows) {
    QStringList cells;
    cells << (row.Month == 0 ? QString::number(row.Year)
                             : Text(msg::kReportMonthNames[row.Month - 1]) + QLatin1Char(' ') +
                                   QString::number(row.Year));
    for (double sum : row.Categories) cells << Amount(sum);
    cells << Amount(row.Total);
    table.Rows.push_back(cells);
  }
  return table;
}

// Runs the chart command of label `index` on a chart window that stays off the screen when it
// was hidden, and answers the chart it drew.
void RunChartCommand(TForm1& window, size_t index, TChartForm& form) {
  const bool hidden = !form.isVisible();
  if (hidden) form.setAttribute(Qt::WA_DontShowOnScreen, true);
  window.LbStaticText[index]->Click();
  if (hidden) {
    form.hide();
    form.setAttribute(Qt::WA_DontShowOnScreen, false);
  }
}

}  // namespace

void WriteCostReport(TForm1& window, const QString& file) {
  TDataModule1& data = window.Data();
  data.tb1.CheckActive();
  window.LbStaticText1Click();
  const QDate today = QDate::currentDate();
  const wagenlog::CostTables costs =
      wagenlog::SumCostsPerPeriod(data.tb1, today.year(), static_cast<uint32_t>(today.month()));
  const std::vector<wagenlog::FuelRow> fuel = wagenlog::FuelRecords(data.tb1);

  TReportPages pages(file);
  pages.Title(Text(msg::kReportTitle), Text(wagenlog::VehicleName(data.tb6)));
  int32_t todayNumber = 0;
  TryEncodeDate(today.year(), static_cast<uint32_t>(today.month()),
                static_cast<uint32_t>(today.day()), todayNumber);
  pages.Line(Text(msg::kReportFile) + QStringLiteral(": ") + window.VehicleFile());
  pages.Line(Text(msg::kReportDate) + QStringLiteral(": ") +
             Text(DateToText(todayNumber, platform::UserFormatSettings())));
  pages.Heading(Text(msg::kReportVehicle));
  pages.Pairs(VehicleData(data.tb6));
  pages.Heading(Text(msg::kReportStatistics));
  pages.Pairs(StatisticsShown(window));
  pages.Heading(Text(msg::kReportCostsPerYear));
  if (costs.Years.empty())
    pages.Line(Text(msg::kReportNoRecords));
  else
    pages.Table(CostTable(msg::kReportYear, costs.Years));
  pages.Heading(Text(msg::kReportCostsPerMonth));
  pages.Table(CostTable(msg::kReportMonth, costs.Months));
  pages.Heading(Text(msg::kReportFuelRecords));
  if (fuel.empty())
    pages.Line(Text(msg::kReportNoRecords));
  else
    pages.Table(FuelTable(fuel));

  // The charts in the order of their commands on the window.
  struct TChartCommand {
    size_t Label;
    TChartForm* Form;
  };
  const TChartCommand commands[] = {{1, window.ChartWindow2()}, {2, window.ChartWindow2()},
                                    {7, window.ChartWindow2()}, {3, window.ChartWindow2()},
                                    {4, window.ChartWindow3()}, {6, window.ChartWindow4()},
                                    {8, window.ChartWindow2()}};
  for (const TChartCommand& command : commands) {
    if (command.Form == nullptr) continue;
    RunChartCommand(window, command.Label, *command.Form);
    QSize size = command.Form->ChartWidget().size();
    if (size.isEmpty()) size = QSize(640, 400);
    pages.ChartPage(command.Form->Chart(), size);
  }
  if (!pages.Finish()) {
    throw EFrameworkException(FormatOrFallback(
        msg::kReportNotWritten, {{FormatArg(QDir::toNativeSeparators(file).toStdString())}}));
  }
}

}  // namespace qdx
