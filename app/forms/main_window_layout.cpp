// The main window's controls: positions, sizes, captions, colours and bindings, as the window
// was laid out, and the tab order.
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>
#include <string>

#include "app/data/db_grid.h"
#include "app/data/field_binding.h"
#include "app/forms/data_module.h"
#include "app/forms/main_window.h"
#include "wagenlog/statistics/statistics.h"
#include "app/widgets/date_edit.h"
#include "app/widgets/label_command.h"
#include "app/widgets/numeric_edit.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {

namespace {

const QColor kPanelColour(228, 228, 241);
const QColor kCommandHighlight(206, 255, 206);
const QString kLabelFont = QStringLiteral("Microsoft Sans Serif");

// A transparent caption at (x, y), white unless given.
QLabel* Caption(QWidget* parent, const QString& text, int x, int y, QColor colour = Qt::white,
                int pointSize = 8, bool bold = false) {
  auto* label = new QLabel(text, parent);
  QFont font(kLabelFont, pointSize);
  font.setBold(bold);
  label->setFont(font);
  label->setAttribute(Qt::WA_TranslucentBackground);
  // Captions and values only show text: a click goes through to what lies beneath.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
  label->adjustSize();
  label->move(x, y);
  return label;
}

// A statistics value: right-aligned, bold, 9 pt, ending just before the captions at x 636 and
// reaching left up to `left`, clear of what stands to its left. One pixel less high than the
// 15 pixels between the rows of "Kosten", "Liters" and "Kilometers".
QLabel* ValueLabel(QWidget* parent, const char* name, int top, int left) {
  constexpr int kRight = 630;
  QLabel* label = Caption(parent, QStringLiteral("0"), 0, 0, Qt::white, 9, true);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setGeometry(left, top - 1, kRight - left, 15);
  return label;
}

// Width of the grid's date column: the widest date of the user's short date form, with the
// cell's margins, and never narrower than `least`.
int DateColumnWidth(const QFontMetrics& metrics, int least) {
  QString widest;
  const std::u16string& pattern = platform::UserFormatSettings().ShortDateFormat;
  for (size_t i = 0; i < pattern.size();) {
    const char16_t c = pattern[i];
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    if (c == u'd' || c == u'M' || c == u'y') {
      widest += QString(static_cast<qsizetype>(std::max<size_t>(run, 2)), QLatin1Char('0'));
    } else {
      widest += QString(static_cast<qsizetype>(run), QChar(c));
    }
    i += run;
  }
  constexpr int kCellMargins = 12;
  return std::max(least, metrics.horizontalAdvance(widest) + kCellMargins);
}

TLbStaticText* Command(QWidget* parent, const QString& caption, QRect geometry) {
  auto* command = new TLbStaticText(caption, parent);
  command->setGeometry(geometry);
  command->SetHighlightColor(kCommandHighlight);
  return command;
}

// Captions centred above the buttons of a navigator bar.
void NavigatorCaptions(QWidget* parent, TDBNavigator& navigator, std::initializer_list<TNavigateBtn> buttons,
                       std::initializer_list<const char*> captions, int top) {
  auto caption = captions.begin();
  for (TNavigateBtn button : buttons) {
    const QString text = QString::fromUtf8(*caption++);
    navigator.SetHint(button, text);
    QLabel* label = Caption(parent, text, 0, top);
    const QRect face = navigator.ButtonFace(button).translated(navigator.pos());
    label->move(face.center().x() - label->width() / 2, top);
  }
}

}  // namespace

void TForm1::BuildVehiclePanel() {
  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::Panel);
  bevel->setFrameShadow(QFrame::Raised);
  bevel->setGeometry(8, 8, 473, 153);
  bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
  Caption(this, QStringLiteral("VOERTUIG GEGEVENS"), 176, 13, Qt::yellow, 10, true);
  TDataSource* source = &data_.autogegevens;

  Caption(this, QStringLiteral("Merk"), 24, 29);
  DBEditMerk = new QLineEdit(this);
  DBEditMerk->setGeometry(24, 45, 121, 21);
  new TDBFieldBinding(*DBEditMerk, source, "Merk");

  Caption(this, QStringLiteral("Type"), 160, 29);
  DBEditType = new QLineEdit(this);
  DBEditType->setGeometry(160, 45, 121, 21);
  new TDBFieldBinding(*DBEditType, source, "Type");

  Caption(this, QStringLiteral("Start KM stand"), 24, 72);
  DBEditStartKm = new TNumericEdit(0, this);
  DBEditStartKm->setGeometry(24, 87, 121, 21);
  new TDBFieldBinding(*DBEditStartKm, source, "Start_km-stand");

  Caption(this, QStringLiteral("Afgifte datum deel 1"), 160, 72);
  DBDateDeel1 = new TDateEdit(this);
  DBDateDeel1->setGeometry(160, 87, 121, 21);
  new TDBFieldBinding(*DBDateDeel1, source, "Datum_deel_1");

  Caption(this, QStringLiteral("Kenteken"), 24, 112);
  DBEditKenteken = new QLineEdit(this);
  DBEditKenteken->setGeometry(24, 128, 121, 21);
  new TDBFieldBinding(*DBEditKenteken, source, "Kenteken");

  Caption(this, QStringLiteral("Gewicht"), 160, 112);
  DBEditGewicht = new TNumericEdit(0, this);
  DBEditGewicht->setGeometry(160, 128, 121, 21);
  new TDBFieldBinding(*DBEditGewicht, source, "Gewicht");

  DBNavigator2 = new TDBNavigator(
      {TNavigateBtn::nbEdit, TNavigateBtn::nbCancel, TNavigateBtn::nbRefresh}, source, this);
  DBNavigator2->setObjectName(QStringLiteral("DBNavigator2"));
  DBNavigator2->setGeometry(288, 87, 180, 25);
  const std::pair<const char*, int> captions[] = {{"Wijzig", 300}, {"Cancel", 358}, {"Ververs", 417}};
  const TNavigateBtn buttons[] = {TNavigateBtn::nbEdit, TNavigateBtn::nbCancel,
                                  TNavigateBtn::nbRefresh};
  for (size_t i = 0; i < 3; ++i) {
    Caption(this, QString::fromUtf8(captions[i].first), captions[i].second, 70);
    DBNavigator2->SetHint(buttons[i], QString::fromUtf8(captions[i].first));
  }
}

void TForm1::BuildStatistics() {
  LbStaticText[0] = Command(this, QStringLiteral("Berekenen"), QRect(488, 16, 81, 41));
  const std::pair<const char*, int> perKm[] = {
      {"KM prijs totaal", 12},      {"KM prijs brandstof", 28},
      {"KM prijs onderhoud", 44},   {"KM prijs verzekering", 60},
      {"KM prijs wegenbelasting", 76}, {"KM prijs afschrijving", 92},
      {"EUROs", 115}};
  for (const auto& [text, top] : perKm) Caption(this, QString::fromUtf8(text), 636, top);
  int totalsLeft = 0;  // right of the widest of "Kosten", "Liters" and "Kilometers"
  for (const auto& [text, top] : {std::pair<const char*, int>{"Kosten", 114}, {"Liters", 129},
                                  {"Kilometers", 144}}) {
    totalsLeft = std::max(totalsLeft, Caption(this, QString::fromUtf8(text), 501, top)->geometry().right() + 4);
  }
  Caption(this, QStringLiteral("Ltr per 100 km"), 637, 161);
  Caption(this, QStringLiteral("Km per liter"), 637, 179);
  // The prices per kilometre beside "Berekenen" stand right of it, the others reach to the
  // vehicle panel; the two consumption figures have the width of the totals above them.
  const QRect command = LbStaticText[0]->geometry();
  const auto pricesLeft = [&command](int top) {
    return top + 14 >= command.top() && top - 1 <= command.bottom() ? command.right() + 3 : 490;
  };
  Label1 = ValueLabel(this, "Label1", 12, pricesLeft(12));
  Label3 = ValueLabel(this, "Label3", 28, pricesLeft(28));
  Label8 = ValueLabel(this, "Label8", 44, pricesLeft(44));
  Label29 = ValueLabel(this, "Label29", 60, pricesLeft(60));
  Label30 = ValueLabel(this, "Label30", 76, pricesLeft(76));
  Label31 = ValueLabel(this, "Label31", 92, pricesLeft(92));
  Label6 = ValueLabel(this, "Label6", 114, totalsLeft);
  Label27 = ValueLabel(this, "Label27", 129, totalsLeft);
  Label28 = ValueLabel(this, "Label28", 144, totalsLeft);
  Label9 = ValueLabel(this, "Label9", 161, totalsLeft);
  Label12 = ValueLabel(this, "Label12", 179, totalsLeft);
}

void TForm1::BuildEntryPanel() {
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setGeometry(8, 204, 737, 81);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, kPanelColour);
  panel->setPalette(palette);
  Caption(panel,
          QStringLiteral("INVOER  Brandstof/Onderhoud/Verzekering/Wegenbelasting/Afschrijving"),
          14, 4, QColor(0, 0, 128), 10);
  TDataSource* source = &data_.brandstof;

  Caption(panel, QStringLiteral("Datum"), 17, 30, Qt::black);
  DBDateDatum = new TDateEdit(panel);
  DBDateDatum->setGeometry(17, 46, 97, 21);
  new TDBFieldBinding(*DBDateDatum, source, "Datum");

  Caption(panel, QStringLiteral("Omschrijving"), 121, 30, Qt::black);
  DBComboOmschrijving = new QComboBox(panel);
  DBComboOmschrijving->setEditable(false);
  for (const char16_t* category : kCategories) {
    DBComboOmschrijving->addItem(QString::fromUtf16(category));
  }
  DBComboOmschrijving->setGeometry(120, 47, 145, 21);
  new TDBFieldBinding(*DBComboOmschrijving, source, "Omschrijving");

  Caption(panel, QStringLiteral("Bedrijf"), 281, 30, Qt::black);
  DBEditBedrijf = new QLineEdit(panel);
  DBEditBedrijf->setGeometry(281, 48, 153, 21);
  new TDBFieldBinding(*DBEditBedrijf, source, "Bedrijf");

  Caption(panel, QStringLiteral("KM stand"), 441, 30, Qt::black);
  DBEditKMStand = new TNumericEdit(0, panel);
  DBEditKMStand->setGeometry(441, 46, 81, 21);
  new TDBFieldBinding(*DBEditKMStand, source, "KMStand");

  Caption(panel, QStringLiteral("Ltrs getankt"), 537, 30, Qt::black);
  DBEditLiters = new TNumericEdit(15, panel);
  DBEditLiters->setGeometry(537, 46, 73, 21);
  new TDBFieldBinding(*DBEditLiters, source, "Liters");

  Caption(panel, QStringLiteral("Bedrag"), 625, 30, Qt::black);
  DBEditBedrag = new TNumericEdit(15, panel);
  DBEditBedrag->setGeometry(625, 46, 89, 21);
  new TDBFieldBinding(*DBEditBedrag, source, "bedrag");
}

void TForm1::BuildNavigationAndGrid() {
  TDataSource* source = &data_.brandstof;
  DBNavigator1 = new TDBNavigator({TNavigateBtn::nbFirst, TNavigateBtn::nbPrior,
                                   TNavigateBtn::nbNext, TNavigateBtn::nbLast},
                                  source, this);
  DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
  DBNavigator1->setGeometry(24, 312, 232, 25);
  NavigatorCaptions(this, *DBNavigator1,
                    {TNavigateBtn::nbFirst, TNavigateBtn::nbPrior, TNavigateBtn::nbNext,
                     TNavigateBtn::nbLast},
                    {"Eerste", "Vorig", "Volgend", "Laatste"}, 293);

  DBNavigator3 = new TDBNavigator({TNavigateBtn::nbInsert, TNavigateBtn::nbDelete,
                                   TNavigateBtn::nbEdit, TNavigateBtn::nbCancel,
                                   TNavigateBtn::nbRefresh},
                                  source, this);
  DBNavigator3->setObjectName(QStringLiteral("DBNavigator3"));
  DBNavigator3->setGeometry(296, 312, 260, 25);
  NavigatorCaptions(this, *DBNavigator3,
                    {TNavigateBtn::nbInsert, TNavigateBtn::nbDelete, TNavigateBtn::nbEdit,
                     TNavigateBtn::nbCancel, TNavigateBtn::nbRefresh},
                    {"Nieuw", "Wis", "Wijzig", "Cancel", "Ververs"}, 293);
  DBNavigator3->OnClick = [this](TNavigateBtn button) { DBNavigator3Click(button); };

  LbStaticText[5] = Command(this, QStringLiteral("Legen tabel"), QRect(584, 312, 81, 23));
  LbStaticText[5]->SetHighlightColor(Qt::red);

  DBGrid1 = new TDBGrid({{"Datum", {}, DateColumnWidth(fontMetrics(), 70)},
                         {"Omschrijving", {}, 110},
                         {"Bedrijf", {}, 150},
                         {"KMStand", {}, 64},
                         {"Liters", {}, 64},
                         {"bedrag", {}, 80},
                         {"verbruik", QStringLiteral("KM/ltr"), 50}},
                        source, this);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setGeometry(8, 346, 715, 225);
}

void TForm1::BuildChartCommands() {
  Caption(this, QStringLiteral("Grafieken"), 738, 328);
  // LbStaticText2..9 without 6, from the top.
  const std::pair<size_t, const char*> commands[] = {
      {1, "Verbruik"},   {2, "Brandstof Ltr"}, {7, "Brandstof Prijs"}, {3, "Kilometers"},
      {4, "VerbrLtrKm"}, {6, "Taart"},         {8, "Kost p mnd"}};
  int top = 352;
  for (const auto& [index, caption] : commands) {
    LbStaticText[index] = Command(this, QString::fromUtf8(caption), QRect(734, top, 77, 23));
    top += 24;
  }
}

void TForm1::SetTabOrder() {
  QWidget* const order[] = {DBEditStartKm, DBEditGewicht, DBDateDeel1,   DBEditKenteken,
                            DBEditMerk,    DBEditType,    DBGrid1,       DBDateDatum,
                            DBEditKMStand, DBEditLiters,  DBEditBedrag,  DBEditBedrijf,
                            DBComboOmschrijving, DBNavigator1, DBNavigator2, DBNavigator3};
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    setTabOrder(order[i], order[i + 1]);
  }
}

}  // namespace qdx
