#include "dialogs/widgets/BalloonWait.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

namespace bw {

BalloonWait::BalloonWait(std::function<void()> onDismiss, QObject* parent)
    : QObject(parent), m_OnDismiss(std::move(onDismiss)) {
  m_Timer.setObjectName("tmrTooltipRemoveCheck");
  m_Timer.setSingleShot(true);
  QObject::connect(&m_Timer, &QTimer::timeout, this, [this] { Arm(); });
}

BalloonWait::~BalloonWait() {
  Disarm();
}

void BalloonWait::Start(int minimumMs) {
  Disarm();
  m_Waiting = true;
  m_AwaitRelease = false;
  m_Timer.start(minimumMs);
}

void BalloonWait::Stop() {
  m_Timer.stop();
  Disarm();
  m_Waiting = false;
  m_AwaitRelease = false;
}

void BalloonWait::Arm() {
  if (!m_Armed) QCoreApplication::instance()->installEventFilter(this);
  m_Armed = true;
}

void BalloonWait::Disarm() {
  if (m_Armed) QCoreApplication::instance()->removeEventFilter(this);
  m_Armed = false;
}

bool BalloonWait::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
      if (!m_AwaitRelease) {
        m_AwaitRelease = true;
        if (m_OnDismiss) m_OnDismiss();
      }
      break;
    case QEvent::KeyRelease:
    case QEvent::MouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonRelease:
      if (m_AwaitRelease) {
        // The released widget acts on this event after the filter; the wait
        // ends once it has.
        Disarm();
        QTimer::singleShot(0, this, [this] {
          if (m_AwaitRelease) {
            m_AwaitRelease = false;
            m_Waiting = false;
          }
        });
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace bw
