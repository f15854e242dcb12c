#include "app/forms/form_placement.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <array>
#include <cmath>
#include <optional>

#include "app/error_box.h"
#include "app/forms/form.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

const char* const kFormVersionValue = "FormVersion";
const char* const kFlagsValue = "Flags";
const char* const kShowCmdValue = "ShowCmd";
const char* const kPixelsValue = "PixelsPerInch";
const char* const kMinMaxPosValue = "MinMaxPos";
const char* const kNormPosValue = "NormPos";
const char* const kVisibleValue = "Visible";

QString& DefaultFileOverride() {
  static QString fileName;
  return fileName;
}

[[noreturn]] void Raise(const char* format, const QString& argument) {
  const std::string text = argument.toStdString();
  throw EFrameworkException(FormatOrFallback(format, {{FormatArg(text)}}));
}

// Opens the store and checks that it could be read.
class TStore {
 public:
  explicit TStore(const QString& fileName)
      : fileName_(fileName), settings_(fileName, QSettings::IniFormat) {}

  QSettings& Settings() { return settings_; }

  void CheckReadable() {
    const QFileInfo info(fileName_);
    if (info.exists() && (!info.isFile() || !info.isReadable())) {
      Raise(msg::kPlacementStoreUnreadable, fileName_);
    }
    switch (settings_.status()) {
      case QSettings::NoError:
        return;
      case QSettings::AccessError:
        Raise(msg::kPlacementStoreUnreadable, fileName_);
      case QSettings::FormatError:
        Raise(msg::kPlacementStoreDamaged, fileName_);
    }
  }

  std::optional<int> ReadInteger(const char* name) {
    const QVariant value = settings_.value(QLatin1String(name));
    if (!value.isValid()) return std::nullopt;
    bool ok = false;
    const int result = value.toString().trimmed().toInt(&ok);
    if (!ok) Raise(msg::kInvalidRegType, QLatin1String(name));
    return result;
  }

  // A "%d,%d,%d,%d" text; none when missing or empty.
  std::optional<std::array<int, 4>> ReadQuad(const char* name) {
    const QVariant value = settings_.value(QLatin1String(name));
    if (!value.isValid()) return std::nullopt;
    // QSettings hands a comma-separated INI value back as a list of texts.
    const QString text = value.typeId() == QMetaType::QStringList
                             ? value.toStringList().join(QLatin1Char(','))
                             : value.toString();
    if (text.trimmed().isEmpty()) return std::nullopt;
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) Raise(msg::kInvalidRegType, QLatin1String(name));
    std::array<int, 4> result{};
    for (int i = 0; i < 4; ++i) {
      bool ok = false;
      result[i] = parts[i].trimmed().toInt(&ok);
      if (!ok) Raise(msg::kInvalidRegType, QLatin1String(name));
    }
    return result;
  }

 private:
  QString fileName_;
  QSettings settings_;
};

QString Quad(int a, int b, int c, int d) {
  return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

// A rectangle that lies on no screen is moved onto the primary one, as the system does.
QRect KeepOnScreen(QRect outer) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  for (const QScreen* screen : screens) {
    if (screen->availableGeometry().intersects(outer)) return outer;
  }
  if (const QScreen* primary = QGuiApplication::primaryScreen()) {
    outer.moveTopLeft(primary->availableGeometry().topLeft());
  }
  return outer;
}

}  // namespace

int ScreenPixelsPerInch() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? static_cast<int>(std::lround(screen->logicalDotsPerInch())) : 96;
}

TFormPlacement::TFormPlacement(TForm& form, QString windowClassName)
    : form_(form),
      windowClassName_(std::move(windowClassName)),
      iniFileName_(DefaultIniFileName()) {}

QString TFormPlacement::ExecutableName() {
  QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty() && QCoreApplication::instance()) {
    const QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty()) path = args.front();
  }
  return QFileInfo(path).completeBaseName();
}

QString TFormPlacement::DefaultIniFileName() {
  if (!DefaultFileOverride().isEmpty()) return DefaultFileOverride();
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return folder + QLatin1Char('/') + ExecutableName() + QStringLiteral("/placement.ini");
}

void TFormPlacement::SetDefaultIniFileName(QString fileName) {
  DefaultFileOverride() = std::move(fileName);
}

QString TFormPlacement::IniSection() const {
  return QStringLiteral("Software\\") + ExecutableName() + QLatin1Char('\\') + windowClassName_;
}

QString TFormPlacement::SettingsGroup() const {
  // QSettings separates keys with "/", which its registry format writes as "\".
  return QString(IniSection()).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

TWindowPlacement TFormPlacement::CurrentPlacement() const {
  TWindowPlacement placement;
  const Qt::WindowStates state = form_.windowState();
  if (state & Qt::WindowMinimized) {
    placement.ShowCmd = kShowMinimized;
    if (state & Qt::WindowMaximized) placement.Flags |= kFlagRestoreToMaximized;
  } else if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
    placement.ShowCmd = kShowMaximized;
  }
  // The frame's margins, applied to the normal (restored) geometry.
  const QRect client = form_.geometry();
  const QRect outer = form_.frameGeometry();
  QRect normal = client;
  if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
    const QRect restored = form_.normalGeometry();
    if (restored.isValid()) normal = restored;
  }
  normal.adjust(outer.left() - client.left(), outer.top() - client.top(),
                outer.right() - client.right(), outer.bottom() - client.bottom());
  placement.NormLeft = normal.left();
  placement.NormTop = normal.top();
  placement.NormRight = normal.left() + normal.width();
  placement.NormBottom = normal.top() + normal.height();
  return placement;
}

void TFormPlacement::SaveFormPlacement(bool visible) {
  const TWindowPlacement placement = CurrentPlacement();
  const QFileInfo info(iniFileName_);
  QDir().mkpath(info.absolutePath());
  {
    // A damaged store was reported when it was read; saving starts it afresh.
    QSettings probe(iniFileName_, QSettings::IniFormat);
    if (probe.status() == QSettings::FormatError) QFile::remove(iniFileName_);
  }
  QSettings settings(iniFileName_, QSettings::IniFormat);
  settings.beginGroup(SettingsGroup());
  settings.setValue(kFormVersionValue, kFormVersion);
  settings.setValue(kFlagsValue, placement.Flags);
  settings.setValue(kShowCmdValue, placement.ShowCmd);
  settings.setValue(kPixelsValue, ScreenPixelsPerInch());
  settings.setValue(kMinMaxPosValue, Quad(placement.MinPosition.x(), placement.MinPosition.y(),
                                          placement.MaxPosition.x(), placement.MaxPosition.y()));
  settings.setValue(kNormPosValue, Quad(placement.NormLeft, placement.NormTop, placement.NormRight,
                                        placement.NormBottom));
  settings.setValue(kVisibleValue, visible);
  settings.endGroup();
  settings.sync();
  if (settings.status() != QSettings::NoError) Raise(msg::kPlacementStoreUnwritable, iniFileName_);
}

void TFormPlacement::RestoreFormPlacement() {
  TStore store(iniFileName_);
  store.CheckReadable();
  store.Settings().beginGroup(SettingsGroup());
  if (store.ReadInteger(kFormVersionValue).value_or(0) < kFormVersion) return;
  const int flags = store.ReadInteger(kFlagsValue).value_or(0);
  store.ReadQuad(kMinMaxPosValue);  // checked only: a top-level window has no use for it
  const std::optional<std::array<int, 4>> norm = store.ReadQuad(kNormPosValue);
  const std::optional<int> pixels = store.ReadInteger(kPixelsValue);
  const std::optional<int> showCmd = store.ReadInteger(kShowCmdValue);

  if (norm && pixels.value_or(ScreenPixelsPerInch()) == ScreenPixelsPerInch()) {
    const auto [left, top, right, bottom] = *norm;
    if (right > left && bottom > top) {
      QRect outer(left, top, right - left, bottom - top);
      if (!form_.Resizable()) outer.setSize(form_.OuterGeometry().size());
      form_.SetPosition(TFormPosition::Designed);
      form_.SetOuterGeometry(KeepOnScreen(outer));
    }
  }
  Qt::WindowStates state = Qt::WindowNoState;
  switch (showCmd.value_or(kShowNormal)) {
    case 2:
    case 6:
    case 7:
      state = Qt::WindowMinimized;
      if (flags & kFlagRestoreToMaximized) state |= Qt::WindowMaximized;
      break;
    case 3:
      state = Qt::WindowMaximized;
      break;
    default:
      break;
  }
  restoredState_ = state;
}

void TFormPlacement::ApplyShowState() {
  if (!restoredState_) return;
  const Qt::WindowStates keep =
      form_.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
  form_.setWindowState(keep | *restoredState_);
  restoredState_.reset();
}

void TFormPlacement::FormShowing() {
  shownSinceSave_ = true;
  restoredState_.reset();
  RunHandler([this] { RestoreFormPlacement(); }, &form_);
}

void TFormPlacement::FormShown() {
  ApplyShowState();
}

void TFormPlacement::FormClosing() {
  Save(false);
}

void TFormPlacement::FormDestroying() noexcept {
  Save(true);
}

void TFormPlacement::Save(bool visible) noexcept {
  if (!shownSinceSave_) return;
  shownSinceSave_ = false;
  // A form being destroyed is no parent for a box any more.
  RunHandler([this, visible] { SaveFormPlacement(visible); }, visible ? nullptr : &form_);
}

}  // namespace qdx
