// The service-control endpoint: a TCP server speaking "BWCTL/1" (see
// README.md) on its own threads, one per connection, answering through a
// ServiceHost. The host must outlive the endpoint.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "service/ControlDispatcher.h"
#include "service/ControlProtocol.h"
#include "service/ServiceHost.h"

namespace standin::service {

class LoginThrottle;
class UniqueFd;
class Wakeup;

struct ControlEndpointOptions {
  std::string address = "127.0.0.1";
  int port = kDefaultControlPort;  // 0 lets the system choose
  std::string version = "0.0";     // shown in the banner
  // A connection that completes no request for this long is closed.
  std::chrono::milliseconds idleTimeout{10000};
  // Connections beyond this many are told ERR 170 and closed at once.
  std::size_t maxConnections = 16;
  // After this many answered requests the connection is closed.
  std::size_t maxRequestsPerConnection = 8;
  // Optional; called from the endpoint's threads, so it must be thread-safe.
  std::function<void(const std::string&)> log;
  // Optional; slows requests from addresses whose logons failed.
  LoginThrottle* throttle = nullptr;
};

class ControlEndpoint {
 public:
  ControlEndpoint(ServiceHost& host, ControlEndpointOptions options);
  ~ControlEndpoint();
  ControlEndpoint(const ControlEndpoint&) = delete;
  ControlEndpoint& operator=(const ControlEndpoint&) = delete;

  // Binds, listens and starts accepting on a thread of its own. Returns the
  // port bound. Throws std::runtime_error when the address cannot be bound
  // and std::logic_error when already started.
  int Start();
  // Closes the listener, ends every connection (a host call in progress is
  // waited for) and joins all threads. Idempotent; Start() may follow.
  void Stop();

 private:
  struct Session {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };

  void AcceptLoop();
  void Refuse(int fd);
  void ServeConnection(int fd, const std::string& source);
  void ReapSessions(bool all);
  void Log(const std::string& text) const;

  ControlEndpointOptions m_Options;
  std::string m_Banner;
  ControlDispatcher m_Dispatcher;
  std::unique_ptr<UniqueFd> m_Listener;
  std::unique_ptr<Wakeup> m_Wakeup;
  std::thread m_Acceptor;
  std::mutex m_SessionsMutex;
  std::list<Session> m_Sessions;
};

}  // namespace standin::service
