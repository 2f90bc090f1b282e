// Turns one request line of the control protocol into its answer line, by
// asking the host. Knows nothing of sockets, so every answer can be tested
// without a connection. One dispatcher serves all connections of an
// endpoint; Handle() may be called from several threads at once.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/ServiceHost.h"

namespace standin::service {

struct ControlReply {
  std::string line;    // without LF
  bool close = false;  // end the connection after sending it
  // Set when the request's credentials were refused: the login it named.
  std::optional<std::string> failedLogin;
};

class ControlDispatcher {
 public:
  explicit ControlDispatcher(ServiceHost& host) : m_Host(host) {}

  // `line` is one request without its LF (a trailing CR is tolerated). A
  // failure of the host (an exception) becomes ERR 1359, never an escape.
  ControlReply Handle(std::string_view line);

 private:
  using Arguments = std::vector<std::string>;
  // Who may run a command; the credentials are its last two arguments.
  enum class Access { kAnyone, kLogin, kServerAdmin, kSysAdmin };
  struct Command {
    std::string_view verb;
    std::size_t argumentCount;
    Access access;
    bool firstArgumentIsService;
    ControlReply (ControlDispatcher::*run)(const Arguments&);
  };
  static const Command kCommands[];

  ControlReply Dispatch(std::string_view line);
  ControlReply RunJoin(const Arguments& arguments);
  ControlReply RunStatus(const Arguments& arguments);
  ControlReply RunStart(const Arguments& arguments);
  ControlReply RunStop(const Arguments& arguments);
  ControlReply RunQuit(const Arguments& arguments);
  ControlReply RunFault(const Arguments& arguments);
  ControlReply RunNoFaults(const Arguments& arguments);

  ServiceHost& m_Host;
  // Held from the state check to the end of Start()/Stop().
  std::mutex m_ControlMutex;
};

}  // namespace standin::service
