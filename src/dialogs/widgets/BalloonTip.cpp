#include "dialogs/widgets/BalloonTip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace bw {
namespace {

constexpr int kStemHeight = 14;
constexpr int kStemWidth = 16;
constexpr int kStemOffset = 18;  // from the body's left edge to the stem's tip
constexpr int kMargin = 9;
constexpr int kIconSize = 16;
constexpr int kRadius = 8;
constexpr int kMaxTextWidth = 320;

QFont TitleFont(const QFont& base) {
  QFont font = base;
  font.setBold(true);
  return font;
}

}  // namespace

BalloonTip::BalloonTip(QWidget* owner, bool balloonForm)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_BalloonForm(balloonForm) {
  setObjectName("BalloonTip");
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground);
  setFocusPolicy(Qt::NoFocus);
  setAccessibleName("Balloon");
}

void BalloonTip::SetContent(int icon, const QString& title, const QString& text) {
  m_Icon = icon;
  m_Title = title;
  m_Text = text;
  setAccessibleDescription(m_Title.trimmed().isEmpty() ? m_Text : m_Title + "\n" + m_Text);
  Relayout();
}

void BalloonTip::PointAt(const QPoint& anchor) {
  m_Anchor = anchor;
  Relayout();
}

QRect BalloonTip::BodyRect() const {
  const int stem = m_BalloonForm ? kStemHeight : 0;
  return m_StemUp ? QRect(0, stem, width(), height() - stem)
                  : QRect(0, 0, width(), height() - stem);
}

void BalloonTip::Relayout() {
  const QFontMetrics textMetrics(font());
  const QFontMetrics titleMetrics(TitleFont(font()));
  m_TextSize =
      textMetrics
          .boundingRect(QRect(0, 0, kMaxTextWidth, 10000), Qt::TextWordWrap | Qt::AlignLeft, m_Text)
          .size();
  const bool hasTitle = !m_Title.trimmed().isEmpty() || m_Icon != kNoIcon;
  m_TitleSize = hasTitle ? QSize(titleMetrics.horizontalAdvance(m_Title),
                                 std::max(titleMetrics.height(), kIconSize))
                         : QSize(0, 0);
  const int titleWidth = m_TitleSize.width() + (m_Icon != kNoIcon ? kIconSize + 6 : 0);
  const int bodyWidth = std::max({titleWidth, m_TextSize.width(), 60}) + 2 * kMargin;
  const int bodyHeight =
      m_TextSize.height() + (hasTitle ? m_TitleSize.height() + 6 : 0) + 2 * kMargin;
  const int stem = m_BalloonForm ? kStemHeight : 0;
  const QSize total(bodyWidth, bodyHeight + stem);

  // Below the anchor unless that leaves the screen, as the platform's balloons do.
  QRect available(QPoint(0, 0), QSize(100000, 100000));
  if (QScreen* screen = QGuiApplication::screenAt(m_Anchor)) available = screen->geometry();
  m_StemUp = m_Anchor.y() + total.height() <= available.bottom() ||
             m_Anchor.y() - total.height() < available.top();
  int left = m_BalloonForm ? m_Anchor.x() - kStemOffset : m_Anchor.x();
  left = std::clamp(left, available.left(),
                    std::max(available.left(), available.right() - total.width()));
  const int top = m_StemUp ? m_Anchor.y() : m_Anchor.y() - total.height();
  setGeometry(QRect(QPoint(left, top), total));
  update();
}

void BalloonTip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRect body = BodyRect();
  QPainterPath path;
  path.addRoundedRect(QRectF(body).adjusted(0.5, 0.5, -0.5, -0.5), m_BalloonForm ? kRadius : 2,
                      m_BalloonForm ? kRadius : 2);
  if (m_BalloonForm) {
    const qreal tipX = std::clamp(m_Anchor.x() - geometry().left(), 2, width() - 2);
    const qreal baseX = std::clamp<qreal>(tipX, kRadius, width() - kRadius - kStemWidth);
    QPainterPath stem;
    if (m_StemUp) {
      stem.moveTo(baseX, body.top() + 1);
      stem.lineTo(tipX, 0.5);
      stem.lineTo(baseX + kStemWidth, body.top() + 1);
    } else {
      stem.moveTo(baseX, body.bottom() - 1);
      stem.lineTo(tipX, height() - 0.5);
      stem.lineTo(baseX + kStemWidth, body.bottom() - 1);
    }
    stem.closeSubpath();
    path = path.united(stem);
  }
  painter.setPen(QPen(palette().color(QPalette::ToolTipText), 1));
  painter.setBrush(palette().color(QPalette::ToolTipBase));
  painter.drawPath(path);

  int y = body.top() + kMargin;
  int x = body.left() + kMargin;
  if (m_TitleSize.height() > 0) {
    if (m_Icon != kNoIcon) {
      QStyle::StandardPixmap which = m_Icon == kInfoIcon      ? QStyle::SP_MessageBoxInformation
                                     : m_Icon == kWarningIcon ? QStyle::SP_MessageBoxWarning
                                                              : QStyle::SP_MessageBoxCritical;
      style()->standardIcon(which).paint(
          &painter, QRect(x, y + (m_TitleSize.height() - kIconSize) / 2, kIconSize, kIconSize));
      x += kIconSize + 6;
    }
    painter.setFont(TitleFont(font()));
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.drawText(QRect(x, y, m_TitleSize.width() + 1, m_TitleSize.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, m_Title);
    y += m_TitleSize.height() + 6;
  }
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::ToolTipText));
  painter.drawText(QRect(body.left() + kMargin, y, m_TextSize.width() + 1, m_TextSize.height()),
                   Qt::TextWordWrap | Qt::AlignLeft, m_Text);
}

}  // namespace bw
