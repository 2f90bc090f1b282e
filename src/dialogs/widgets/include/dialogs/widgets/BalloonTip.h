// The window of a balloon tooltip: a rounded box with a stem whose tip sits
// at a screen point, holding an icon, a bold title and the text. Shown
// without taking the focus; cTooltips drives it.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

namespace bw {

class BalloonTip : public QWidget {
 public:
  // Icon numbers of the platform's tooltip titles.
  enum IconKind { kNoIcon = 0, kInfoIcon = 1, kWarningIcon = 2, kErrorIcon = 3 };

  // `owner` is the dialog; the balloon stays above it.
  explicit BalloonTip(QWidget* owner, bool balloonForm);

  void SetContent(int icon, const QString& title, const QString& text);
  // Places the balloon so that its stem points at `anchor` (screen
  // coordinates): below the point, or above it where the screen ends.
  void PointAt(const QPoint& anchor);

  int IconKindShown() const { return m_Icon; }
  const QString& Title() const { return m_Title; }
  const QString& Text() const { return m_Text; }
  QPoint Anchor() const { return m_Anchor; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Relayout();
  QRect BodyRect() const;

  bool m_BalloonForm;
  bool m_StemUp = true;
  int m_Icon = kNoIcon;
  QString m_Title;
  QString m_Text;
  QPoint m_Anchor;
  QSize m_TitleSize;
  QSize m_TextSize;
};

}  // namespace bw
