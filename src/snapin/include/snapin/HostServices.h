// The product's message boxes and system timers, served by the console host:
// installed when the snap-in starts, so commands and dialogs reach the host
// through the usual services.
#pragma once

#include <memory>

#include "sdk/Host.h"
#include "support/CTimer.h"
#include "support/MessageService.h"

namespace bw::snapin {

class HostMessageService : public MessageService {
 public:
  explicit HostMessageService(sdk::Host& host) : m_Host(host) {}
  MsgResult Show(const std::string& text, int style, const std::string& caption) override;

 private:
  sdk::Host& m_Host;
};

class HostTimerSystem : public TimerSystem {
 public:
  explicit HostTimerSystem(sdk::Host& host) : m_Host(host) {}
  int SetTimer(int intervalMs, std::function<void(int)> tick) override;
  void KillTimer(int id) override { m_Host.KillTimer(id); }

 private:
  sdk::Host& m_Host;
};

}  // namespace bw::snapin
