// The console's own services for snap-ins, in Qt: the busy pointer, message
// boxes with the buttons, icon and default button asked for, timers on the
// event loop, and the screen's logical resolution.
#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "sdk/ConsoleSession.h"

class QWidget;

namespace bw::console {

class QtHostPlatform : public QObject, public sdk::HostPlatform {
  Q_OBJECT

 public:
  explicit QtHostPlatform(QWidget* window);
  ~QtHostPlatform() override;

  void SetBusy(bool busy) override;
  void ProcessEvents() override;
  int LogicalDpiX() override;
  int ShowMessage(const std::string& text, int style, const std::string& caption) override;
  int SetTimer(int intervalMs, std::function<void()> tick) override;
  void KillTimer(int id) override;

  bool Busy() const { return m_Busy > 0; }

 signals:
  // Raised after a snap-in's timer tick, so the window redraws what changed.
  void TimerTicked();

 private:
  QWidget* m_Window;
  int m_Busy = 0;
  int m_NextTimer = 0;
  std::map<int, std::unique_ptr<QTimer>> m_Timers;
};

}  // namespace bw::console
