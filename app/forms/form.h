// TForm: the base of the program's windows.
//
// A TForm is a top-level window, hidden at creation, that carries a window placement store
// (TFormPlacement) and the placement rules of the windowing system it stands in for:
//  1. Each time the form is shown (not on a mere restore from the task bar), the stored position
//     is applied before it appears; once it is visible, a centred form is centred and the stored
//     show state (normal, minimised, maximised) is set.
//  2. When a close goes ahead, the placement is saved with "Visible" off; when a form that was
//     shown since its last save is destroyed, it is saved with "Visible" on.
//  3. Sizes given for a form are outer sizes, frame included. The frame is known only once the
//     window manager has framed the window, so an outer size set before that is applied again
//     when the frame first shows up.
//  4. A form told which window's screen it belongs to (KeepOnScreenOf) is fitted into that
//     screen's available area each time it is shown: a position laid out for a larger screen, or
//     stored on one, does not leave it running off the edges. It keeps its size where that fits.
// Errors of the placement store are shown in an error box; they never stop the form.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

namespace qdx {

class TFormPlacement;

enum class TFormPosition { Designed, ScreenCenter, DesktopCenter };

class TForm : public QWidget {
 public:
  // `className` names the window class (the placement store's group), e.g. "TForm2".
  TForm(QString className, QWidget* parent = nullptr);
  ~TForm() override;

  const QString& ClassName() const { return className_; }
  TFormPlacement& Placement() { return *placement_; }

  TFormPosition Position() const { return position_; }
  void SetPosition(TFormPosition position) { position_ = position; }
  // False for a fixed-size form (minimum size equal to maximum size).
  bool Resizable() const;

  // The outer rectangle: the window with its frame.
  QRect OuterGeometry() const;
  void SetOuterGeometry(const QRect& outer);

  // Each showing fits the form into the available area of the screen `window` is on (the form
  // itself may be that window); none, the default, leaves it where it is placed.
  void KeepOnScreenOf(QWidget* window) { screenOwner_ = window; }

  void setVisible(bool visible) override;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Asked before a close; false keeps the form open.
  virtual bool CloseQuery() { return true; }

 private:
  void CentreOnScreen();
  void FitOntoOwnersScreen();
  // The outer rectangle, also before the window manager has framed the form.
  QRect ExpectedOuterGeometry() const;

  QString className_;
  TFormPosition position_ = TFormPosition::Designed;
  std::unique_ptr<TFormPlacement> placement_;
  // An outer size waiting for the frame to be known.
  std::optional<QSize> pendingOuterSize_;
  QPointer<QWidget> screenOwner_;
};

// `outer` moved, as little as it takes, to lie within `area`; a resizable window larger than the
// area also shrinks to it, a fixed one keeps its size with its top-left corner in the area.
QRect FitIntoArea(QRect outer, const QRect& area, bool resizable);

}  // namespace qdx
