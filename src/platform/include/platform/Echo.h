// Reachability: one ICMP echo, the fast test made before every connection
// attempt. Where the system allows no ICMP at all (no ping socket for this
// group, no raw-socket privilege) a TCP connect to the server's port decides
// instead; BW_LOG shows which path was taken.
#pragma once

#include <string>

namespace bw::platform {

// Reply statuses, with the numbers of the platform's echo API.
inline constexpr int kEchoSuccess = 0;
inline constexpr int kEchoUnresolved = -1;
inline constexpr int kEchoDestinationUnreachable = 11003;
inline constexpr int kEchoTimedOut = 11010;
inline constexpr int kEchoGeneralFailure = 11050;

enum class EchoPath { PingSocket, RawSocket, TcpConnect };

struct EchoRequest {
  std::string address;  // dotted IPv4
  std::string data = "Echo this";
  int timeoutMs = 500;
  int fallbackPort = 1433;  // for the TCP path
};

struct EchoReply {
  int status = kEchoGeneralFailure;
  EchoPath path = EchoPath::PingSocket;
};

// The seam: tests install a twin; the product uses SystemEcho.
class EchoService {
 public:
  virtual ~EchoService() = default;
  virtual EchoReply Echo(const EchoRequest& request) = 0;
};

// Real echo: an unprivileged ping socket, else a raw socket, else (or when
// forced) a TCP connect. The data comes back and is compared.
class SystemEcho : public EchoService {
 public:
  // `forceTcp` skips ICMP (used by tests of the fallback and when ICMP is
  // known to be filtered).
  explicit SystemEcho(bool forceTcp = false) : m_ForceTcp(forceTcp) {}
  EchoReply Echo(const EchoRequest& request) override;

 private:
  bool m_ForceTcp;
};

EchoService& Echoes();
void SetEchoService(EchoService* service);  // nullptr restores SystemEcho

// The host's first IPv4 address in dotted form, or "" when it has none.
std::string ResolveHostAddress(const std::string& host);

}  // namespace bw::platform
