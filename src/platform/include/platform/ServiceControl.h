// The service control manager and workstation join information of a SQL
// Server's machine, asked of the control endpoint that runs there (the
// stand-in serves one). A machine without an endpoint answers nothing, and
// every question then fails: the callers turn that into state 0 / "unknown".
//
// Wire protocol "BWCTL/1" (TCP, lines ending in LF, at most 1024 bytes):
//   server greets:  BWCTL/1 <implementation> <version>
//   JOIN                              → OK <join status 0-3> <workgroup or domain>
//   STATUS <service> <login> <pass>   → OK <state 1-7>
//   START  <service> <login> <pass>   → OK <state>
//   STOP   <service> <login> <pass>   → OK <state>
//   QUIT                              → OK
//   any failure                       → ERR <system error number> <text>
// Arguments are percent-encoded (at least space, "%", control characters and
// non-ASCII bytes). Credentials are a SQL Server login of that server.
#pragma once

#include <optional>
#include <string>

namespace bw::platform {

inline constexpr char kControlBanner[] = "BWCTL/1 ";
inline constexpr char kSqlServerService[] = "MSSQLSERVER";

// Service states, as the service control manager numbers them.
enum ServiceState {
  kServiceUnknown = 0,
  kServiceStopped = 1,
  kServiceStartPending = 2,
  kServiceStopPending = 3,
  kServiceRunning = 4,
  kServiceContinuePending = 5,
  kServicePausePending = 6,
  kServicePaused = 7,
};

struct JoinInformation {
  int status = 0;  // 0 unknown, 1 not joined, 2 workgroup, 3 domain
  std::string name;
};

struct ControlResult {
  bool ok = false;
  int state = kServiceUnknown;
  int systemError = 0;  // when !ok: the endpoint's error number, or errno-style local failure
  std::string text;
};

class ServiceControlClient {
 public:
  // `host` is a name or address; `port` the control endpoint's port.
  ServiceControlClient(std::string host, int port, int timeoutMs = 2000);

  std::optional<JoinInformation> QueryJoin();
  ControlResult QueryStatus(const std::string& service, const std::string& login,
                            const std::string& password);
  ControlResult Start(const std::string& service, const std::string& login,
                      const std::string& password);
  ControlResult Stop(const std::string& service, const std::string& login,
                     const std::string& password);

 private:
  ControlResult Exchange(const std::string& request);
  std::string m_Host;
  int m_Port;
  int m_TimeoutMs;
};

// Percent-encoding of one protocol argument, and its inverse (nullopt for a
// malformed escape).
std::string EncodeControlArgument(const std::string& value);
std::optional<std::string> DecodeControlArgument(const std::string& value);

}  // namespace bw::platform
