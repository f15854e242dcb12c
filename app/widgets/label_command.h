// TLbStaticText: a command shown as a clickable text label.
//
// The caption is centred in black on a silver face with a grey shadow below and to the right;
// the pointer is a hand over it, and while the pointer is over it the face takes the highlight
// colour. A left click runs OnClick. A caption wider than the face in the label's font (a
// substitute font is often wider than the one the window was laid out for) is drawn narrower,
// and smaller if need be, rather than clipped.
#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

namespace qdx {

class TLbStaticText : public QWidget {
 public:
  TLbStaticText(const QString& caption, QWidget* parent = nullptr);

  const QString& Caption() const { return caption_; }
  QColor HighlightColor() const { return highlight_; }
  void SetHighlightColor(QColor colour);
  // The face colour now: the highlight while the pointer is over the label.
  QColor FaceColor() const;
  bool Hovered() const { return hovered_; }
  // The face the caption is drawn on, inside the label, without the shadow.
  QRect Face() const;
  // The font the caption is drawn in: the label's own when the caption fits the face with a
  // pixel to spare on either side, else a narrower face of it, made smaller (down to 6 points)
  // until the caption fits.
  QFont CaptionFont() const;

  std::function<void()> OnClick;
  // Runs the command as a click does.
  void Click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString caption_;
  QColor highlight_{206, 255, 206};
  bool hovered_ = false;
  bool pressed_ = false;
};

}  // namespace qdx
