// Waits for a warning balloon to be dismissed: once `minimumMs` have passed,
// the next key press or mouse click anywhere in the program dismisses it.
// While it waits, a wizard's Cancel does nothing, and the press that
// dismisses the balloon (a click on Cancel, Escape) is spent on that: the
// wait ends only after that press is released.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace bw {

class BalloonWait : public QObject {
 public:
  // `onDismiss` hides the balloon.
  BalloonWait(std::function<void()> onDismiss, QObject* parent);
  ~BalloonWait() override;

  void Start(int minimumMs = 700);
  // Ends the wait without calling onDismiss.
  void Stop();
  // True from Start until the dismissing press is over (or Stop).
  bool IsWaiting() const { return m_Waiting; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Arm();
  void Disarm();

  std::function<void()> m_OnDismiss;
  QTimer m_Timer;
  bool m_Waiting = false;
  bool m_Armed = false;         // the filter is installed
  bool m_AwaitRelease = false;  // dismissed by a press not yet released
};

}  // namespace bw
