#include "service/LoginThrottle.h"

#include <algorithm>
#include <thread>

namespace standin::service {

LoginThrottle::LoginThrottle(std::chrono::milliseconds maxDelay, std::chrono::seconds forgetAfter,
                             std::size_t maxSources)
    : m_MaxDelay(maxDelay), m_ForgetAfter(forgetAfter), m_MaxSources(maxSources) {}

std::chrono::milliseconds LoginThrottle::DelayAfter(int failures) const {
  std::chrono::milliseconds delay = std::min(kFirstDelay, m_MaxDelay);
  for (int i = 1; i < failures && delay < m_MaxDelay; ++i) delay *= 2;
  return std::min(delay, m_MaxDelay);
}

void LoginThrottle::Forget(Clock::time_point now) {
  std::erase_if(m_Sources, [&](const auto& entry) {
    return now - entry.second.lastFailure >= m_ForgetAfter && now >= entry.second.nextSlot;
  });
}

std::chrono::milliseconds LoginThrottle::Reserve(const std::string& source) {
  if (m_MaxDelay.count() <= 0) return std::chrono::milliseconds(0);
  std::lock_guard lock(m_Mutex);
  const Clock::time_point now = Clock::now();
  auto it = m_Sources.find(source);
  if (it == m_Sources.end()) return std::chrono::milliseconds(0);
  Record& record = it->second;
  if (now - record.lastFailure >= m_ForgetAfter) {
    m_Sources.erase(it);
    return std::chrono::milliseconds(0);
  }
  const Clock::time_point slot = std::max(now, record.nextSlot);
  record.nextSlot = slot + DelayAfter(record.failures);
  return std::chrono::ceil<std::chrono::milliseconds>(slot - now);
}

int LoginThrottle::Failed(const std::string& source) {
  if (m_MaxDelay.count() <= 0) return 0;
  std::lock_guard lock(m_Mutex);
  const Clock::time_point now = Clock::now();
  auto it = m_Sources.find(source);
  if (it == m_Sources.end()) {
    if (m_Sources.size() >= m_MaxSources) Forget(now);
    if (m_Sources.size() >= m_MaxSources) {
      // Still full of active addresses: the one quiet longest makes room.
      auto oldest = std::min_element(m_Sources.begin(), m_Sources.end(), [](auto& a, auto& b) {
        return a.second.lastFailure < b.second.lastFailure;
      });
      m_Sources.erase(oldest);
    }
    it = m_Sources.emplace(source, Record{}).first;
  }
  Record& record = it->second;
  if (now - record.lastFailure >= m_ForgetAfter) record = Record{};
  ++record.failures;
  record.lastFailure = now;
  record.nextSlot = std::max(record.nextSlot, now + DelayAfter(record.failures));
  return record.failures;
}

void LoginThrottle::Wait(const std::string& source) {
  const std::chrono::milliseconds wait = Reserve(source);
  if (wait.count() > 0) std::this_thread::sleep_for(wait);
}

std::string LoginThrottle::SourceOf(const std::string& peer) {
  const std::size_t colon = peer.rfind(':');
  return colon == std::string::npos ? peer : peer.substr(0, colon);
}

}  // namespace standin::service
