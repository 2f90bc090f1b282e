// The SQL Server Browser responder (UDP, normally port 1434): tells clients
// that look for instances where the default instance "MSSQLSERVER" listens.
// Runs on a thread of its own; the host must outlive the responder.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace standin::service {

class UniqueFd;
class Wakeup;

inline constexpr int kDefaultBrowserPort = 1434;

struct InstanceInfo {
  std::string serverName;  // the machine's name
  std::string version;     // product version, digits and dots, e.g. "8.00.2039"
  int tcpPort = 0;         // where TDS is served now; 0 while nothing listens
};

class BrowserHost {
 public:
  virtual ~BrowserHost() = default;
  // Asked at every request, since the TDS port changes when the listener is
  // reopened. May be called from the responder's thread at any time.
  virtual InstanceInfo Instance() = 0;
};

// The answer to one request datagram, or nullopt where the responder stays
// silent: unknown or malformed requests, other instances, the dedicated admin
// connection, and any request while the instance has no TCP port.
std::optional<std::vector<std::uint8_t>> BrowserReply(std::string_view request,
                                                      const InstanceInfo& instance);

struct BrowserResponderOptions {
  std::string address = "127.0.0.1";
  int port = kDefaultBrowserPort;  // 0 lets the system choose
  // Replies are ~100 times larger than requests and go wherever the (possibly
  // forged) source address says; this caps what the responder can be made to
  // send. 0 means no cap.
  int maxRepliesPerSecond = 100;
};

class BrowserResponder {
 public:
  BrowserResponder(BrowserHost& host, BrowserResponderOptions options);
  ~BrowserResponder();
  BrowserResponder(const BrowserResponder&) = delete;
  BrowserResponder& operator=(const BrowserResponder&) = delete;

  // Binds and starts answering; returns the port bound. Throws
  // std::runtime_error when the address cannot be bound and std::logic_error
  // when already started.
  int Start();
  // Stops answering and joins the thread. Idempotent; Start() may follow.
  void Stop();

 private:
  void Run();
  bool TakeReplyAllowance();

  BrowserHost& m_Host;
  BrowserResponderOptions m_Options;
  std::unique_ptr<UniqueFd> m_Socket;
  std::unique_ptr<Wakeup> m_Wakeup;
  std::thread m_Thread;
  std::chrono::steady_clock::time_point m_WindowStart;
  int m_RepliesInWindow = 0;
};

}  // namespace standin::service
