#include "snapin/HostServices.h"

namespace bw::snapin {

MsgResult HostMessageService::Show(const std::string& text, int style, const std::string& caption) {
  int answer = m_Host.ShowMessage(text, style, caption);
  switch (answer) {
    case static_cast<int>(MsgResult::Ok):
    case static_cast<int>(MsgResult::Cancel):
    case static_cast<int>(MsgResult::Abort):
    case static_cast<int>(MsgResult::Retry):
    case static_cast<int>(MsgResult::Ignore):
    case static_cast<int>(MsgResult::Yes):
    case static_cast<int>(MsgResult::No):
      return static_cast<MsgResult>(answer);
    default:
      // A box closed without a button counts as its cancel.
      return (style & MsgStyle::ButtonMask) == MsgStyle::YesNo ? MsgResult::No : MsgResult::Cancel;
  }
}

int HostTimerSystem::SetTimer(int intervalMs, std::function<void(int)> tick) {
  auto id = std::make_shared<int>(0);
  *id = m_Host.SetTimer(intervalMs, [tick, id] { tick(*id); });
  return *id;
}

}  // namespace bw::snapin
