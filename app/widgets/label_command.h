// TLbStaticText: a command shown as a clickable text label.
//
// The caption is centred in black on a silver face with a grey shadow below and to the right;
// the pointer is a hand over it, and while the pointer is over it the face takes the highlight
// colour. A left click runs OnClick.
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
