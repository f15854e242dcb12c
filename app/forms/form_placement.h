// TFormPlacement: the window placement store of one form.
//
// The placement lives where the system registry would keep it under the current user: key
// "Software\" + the executable's name without extension, one group per window class ("TForm2"),
// with these values. Here the store is an INI file (QSettings) in the user's configuration
// folder, with the same key and value names.
//
//   Value           Type     Content
//   "FormVersion"   integer  the placement version, 0
//   "Flags"         integer  placement flags: 2 = restore to maximised (set while minimised
//                            from the maximised state); bit 0 is for minimised child windows
//   "ShowCmd"       integer  show state: 1 normal, 2 minimised, 3 maximised
//   "PixelsPerInch" integer  the screen's logical resolution when saved
//   "MinMaxPos"     text     "%d,%d,%d,%d": minimised x, y and maximised x, y (-1: system's)
//   "NormPos"       text     "%d,%d,%d,%d": normal outer position left, top, right, bottom
//   "Visible"       boolean  on when saved because the form was being destroyed
//
// Reading maps "ShowCmd" 1, 5, 9 to normal, 2, 6, 7 to minimised, 3 to maximised and anything
// else to normal. A stored position is applied only when the resolution is unchanged; a
// fixed-size form keeps its own size; a centred form stops centring; a position that lies on no
// screen is moved onto the primary screen. A store that cannot be read or written, or holds a
// value of the wrong kind, raises EFrameworkException from Save/RestoreFormPlacement; the form's
// hooks (FormShowing, FormClosing, FormDestroying) show it in an error box instead.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

namespace qdx {

class TForm;

// The placement as the store keeps it.
struct TWindowPlacement {
  int Flags = 0;
  int ShowCmd = 1;
  QPoint MinPosition{-1, -1};
  QPoint MaxPosition{-1, -1};
  // Left, top, right, bottom with right and bottom exclusive.
  int NormLeft = 0, NormTop = 0, NormRight = 0, NormBottom = 0;
};

class TFormPlacement {
 public:
  static constexpr int kFormVersion = 0;
  static constexpr int kFlagRestoreToMaximized = 2;
  static constexpr int kShowNormal = 1;
  static constexpr int kShowMinimized = 2;
  static constexpr int kShowMaximized = 3;

  TFormPlacement(TForm& form, QString windowClassName);

  // The executable's file name without its extension.
  static QString ExecutableName();
  // The store file used when none is set: "<configuration folder>/<executable>/placement.ini".
  static QString DefaultIniFileName();
  // The store file of every placement created afterwards (empty: the default); for tests.
  static void SetDefaultIniFileName(QString fileName);

  const QString& IniFileName() const { return iniFileName_; }
  void SetIniFileName(QString fileName) { iniFileName_ = std::move(fileName); }
  // The registry key of this form's values: "Software\<executable>\<class>".
  QString IniSection() const;

  // The form's current placement as it would be saved.
  TWindowPlacement CurrentPlacement() const;
  // Writes the placement; raises EFrameworkException when the store cannot be written.
  void SaveFormPlacement(bool visible);
  // Reads the stored placement, if any, and applies its position; the show state is kept for
  // ApplyShowState, which follows once the form is visible. Raises EFrameworkException when the
  // store cannot be read or holds a damaged value (the form is then left as it was).
  void RestoreFormPlacement();
  void ApplyShowState();

  // The form's hooks. Each reports a store error in an error box and carries on.
  void FormShowing();
  void FormShown();
  void FormClosing();
  void FormDestroying() noexcept;

 private:
  void Save(bool visible) noexcept;
  QString SettingsGroup() const;

  TForm& form_;
  QString windowClassName_;
  QString iniFileName_;
  bool shownSinceSave_ = false;
  std::optional<Qt::WindowStates> restoredState_;
};

// The screen's logical resolution in dots per inch, as the store keeps it.
int ScreenPixelsPerInch();

}  // namespace qdx
