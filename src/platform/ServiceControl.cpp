#include "platform/ServiceControl.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <sstream>

#include "support/Log.h"

namespace bw::platform {

namespace {

constexpr std::size_t kMaxLine = 1024;
using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

class Connection {
 public:
  ~Connection() {
    if (m_Fd >= 0) ::close(m_Fd);
  }

  bool Open(const std::string& host, int port, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &result) != 0) return false;
    for (addrinfo* a = result; a != nullptr && m_Fd < 0; a = a->ai_next) {
      int fd =
          ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
      if (fd < 0) continue;
      if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS) {
        pollfd pfd{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (::poll(&pfd, 1, RemainingMs(deadline)) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
          m_Fd = fd;
          continue;
        }
      }
      ::close(fd);
    }
    ::freeaddrinfo(result);
    return m_Fd >= 0;
  }

  // One line without its LF; nullopt on time-out, close or an over-long line.
  std::optional<std::string> ReadLine(Clock::time_point deadline) {
    for (;;) {
      if (std::size_t lf = m_Buffer.find('\n'); lf != std::string::npos) {
        std::string line = m_Buffer.substr(0, lf);
        m_Buffer.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      if (m_Buffer.size() > kMaxLine) return std::nullopt;
      pollfd pfd{m_Fd, POLLIN, 0};
      if (::poll(&pfd, 1, RemainingMs(deadline)) != 1) return std::nullopt;
      char chunk[512];
      ssize_t got = ::recv(m_Fd, chunk, sizeof chunk, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return std::nullopt;
      m_Buffer.append(chunk, static_cast<std::size_t>(got));
    }
  }

  bool WriteLine(const std::string& line, Clock::time_point deadline) {
    std::string data = line + "\n";
    std::size_t sent = 0;
    while (sent < data.size()) {
      pollfd pfd{m_Fd, POLLOUT, 0};
      if (::poll(&pfd, 1, RemainingMs(deadline)) != 1) return false;
      ssize_t n = ::send(m_Fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int m_Fd = -1;
  std::string m_Buffer;
};

ControlResult LocalFailure(const std::string& text) {
  ControlResult result;
  result.systemError = 1722;  // RPC_S_SERVER_UNAVAILABLE: nobody to ask
  result.text = text;
  return result;
}

bool ParseInt(const std::string& text, int& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string EncodeControlArgument(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  // A lone "-" stands for the empty text, so every argument is a word.
  if (value.empty()) return "-";
  std::string out;
  for (unsigned char c : value) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '~' || c == '\\';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::optional<std::string> DecodeControlArgument(const std::string& value) {
  if (value == "-") return std::string();
  auto hexDigit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      out.push_back(value[i]);
      continue;
    }
    if (i + 2 >= value.size()) return std::nullopt;
    int high = hexDigit(value[i + 1]);
    int low = hexDigit(value[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

ServiceControlClient::ServiceControlClient(std::string host, int port, int timeoutMs)
    : m_Host(std::move(host)), m_Port(port), m_TimeoutMs(timeoutMs) {}

ControlResult ServiceControlClient::Exchange(const std::string& request) {
  auto deadline = Clock::now() + std::chrono::milliseconds(m_TimeoutMs);
  Connection connection;
  if (!connection.Open(m_Host, m_Port, deadline)) {
    return LocalFailure("No service-control endpoint answers on " + m_Host + ":" +
                        std::to_string(m_Port) + ".");
  }
  auto banner = connection.ReadLine(deadline);
  if (!banner || banner->rfind(kControlBanner, 0) != 0) {
    // Something else listens there: say nothing to it.
    return LocalFailure("The program on " + m_Host + ":" + std::to_string(m_Port) +
                        " is not a service-control endpoint.");
  }
  if (!connection.WriteLine(request, deadline))
    return LocalFailure("The request could not be sent.");
  auto answer = connection.ReadLine(deadline);
  if (!answer) return LocalFailure("The service-control endpoint did not answer.");
  connection.WriteLine("QUIT", deadline);

  ControlResult result;
  std::istringstream words(*answer);
  std::string verdict;
  words >> verdict;
  if (verdict == "OK") {
    result.ok = true;
    std::string state;
    words >> state;
    if (!state.empty() && !ParseInt(state, result.state)) result.state = kServiceUnknown;
    std::getline(words >> std::ws, result.text);
  } else if (verdict == "ERR") {
    std::string code;
    words >> code;
    if (!ParseInt(code, result.systemError)) result.systemError = 13;  // ERROR_INVALID_DATA
    std::getline(words >> std::ws, result.text);
  } else {
    result.systemError = 13;
    result.text = "Unexpected answer from the service-control endpoint.";
  }
  Log("service-control", m_Host + ":" + std::to_string(m_Port) + " " +
                             request.substr(0, request.find(' ')) + " → " + *answer);
  return result;
}

std::optional<JoinInformation> ServiceControlClient::QueryJoin() {
  ControlResult result = Exchange("JOIN");
  if (!result.ok || result.state < 0 || result.state > 3) return std::nullopt;
  JoinInformation join;
  join.status = result.state;
  join.name = DecodeControlArgument(result.text).value_or("");
  return join;
}

ControlResult ServiceControlClient::QueryStatus(const std::string& service,
                                                const std::string& login,
                                                const std::string& password) {
  return Exchange("STATUS " + EncodeControlArgument(service) + " " + EncodeControlArgument(login) +
                  " " + EncodeControlArgument(password));
}

ControlResult ServiceControlClient::Start(const std::string& service, const std::string& login,
                                          const std::string& password) {
  return Exchange("START " + EncodeControlArgument(service) + " " + EncodeControlArgument(login) +
                  " " + EncodeControlArgument(password));
}

ControlResult ServiceControlClient::Stop(const std::string& service, const std::string& login,
                                         const std::string& password) {
  return Exchange("STOP " + EncodeControlArgument(service) + " " + EncodeControlArgument(login) +
                  " " + EncodeControlArgument(password));
}

}  // namespace bw::platform
