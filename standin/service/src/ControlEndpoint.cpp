#include "service/ControlEndpoint.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "Sockets.h"
#include "service/LoginThrottle.h"

namespace standin::service {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Keeps the banner one word, whatever the program passes as its version.
std::string BannerVersion(const std::string& version) {
  std::string out;
  for (char c : version) out.push_back(c > ' ' && c < 0x7F ? c : '_');
  return out.empty() ? "-" : out.substr(0, 64);
}

// One connection's socket, with reads and writes that give up on Stop() or
// when the deadline passes.
class Channel {
 public:
  Channel(int fd, int wakeFd) : m_Fd(fd), m_WakeFd(wakeFd) {}
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Closing with unread input makes the kernel send a reset, which can
  // destroy our last answer (an ERR 87, say) before the client reads it. So
  // the write side is shut first and what the client still sends is read
  // and dropped, for a short while and up to a bound.
  ~Channel() {
    ::shutdown(m_Fd.Get(), SHUT_WR);
    auto deadline = Clock::now() + std::chrono::milliseconds(500);
    std::string discarded;
    while (discarded.size() < std::size_t{64} * 1024 && Receive(discarded, deadline)) {
    }
  }

  bool Send(const std::string& line, Clock::time_point deadline) {
    std::string data = line + "\n";
    std::size_t sent = 0;
    while (sent < data.size()) {
      ssize_t n = ::send(m_Fd.Get(), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
      if (!Wait(POLLOUT, deadline)) return false;
    }
    return true;
  }

  // Appends what arrives to `buffer`; false on close, error, time-out or Stop().
  bool Receive(std::string& buffer, Clock::time_point deadline) {
    for (;;) {
      char chunk[1024];
      ssize_t n = ::recv(m_Fd.Get(), chunk, sizeof chunk, 0);
      if (n > 0) {
        buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
      }
      if (n == 0) return false;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (!Wait(POLLIN, deadline)) return false;
    }
  }

 private:
  bool Wait(short events, Clock::time_point deadline) {
    for (;;) {
      pollfd fds[2] = {{m_Fd.Get(), events, 0}, {m_WakeFd, POLLIN, 0}};
      int ready = ::poll(fds, 2, RemainingMs(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0 || fds[1].revents != 0) return false;
      return true;  // readable, writable, or an error the next call reports
    }
  }

  UniqueFd m_Fd;
  int m_WakeFd;
};

}  // namespace

ControlEndpoint::ControlEndpoint(ServiceHost& host, ControlEndpointOptions options)
    : m_Options(std::move(options)),
      m_Banner(std::string(kProtocolName) + " " + kImplementationName + " " +
               BannerVersion(m_Options.version)),
      m_Dispatcher(host) {}

ControlEndpoint::~ControlEndpoint() {
  Stop();
}

int ControlEndpoint::Start() {
  if (m_Acceptor.joinable()) throw std::logic_error("the control endpoint is already running");
  BoundSocket bound = BindSocket(m_Options.address, m_Options.port, true);
  m_Wakeup = std::make_unique<Wakeup>();
  m_Listener = std::make_unique<UniqueFd>(std::move(bound.fd));
  m_Acceptor = std::thread([this] { AcceptLoop(); });
  Log("control endpoint listening on " + m_Options.address + ":" + std::to_string(bound.port));
  return bound.port;
}

void ControlEndpoint::Stop() {
  if (!m_Acceptor.joinable()) return;
  m_Wakeup->Signal();
  m_Acceptor.join();
  ReapSessions(true);
  m_Listener.reset();
  m_Wakeup.reset();
}

void ControlEndpoint::AcceptLoop() {
  bool pausing = false;  // logged once per episode
  for (;;) {
    pollfd fds[2] = {{m_Listener->Get(), POLLIN, 0}, {m_Wakeup->Fd(), POLLIN, 0}};
    // The time-out only bounds how long finished threads wait to be joined.
    int ready = ::poll(fds, 2, 1000);
    if (ready > 0 && fds[1].revents != 0) return;
    ReapSessions(false);
    if (ready <= 0 || (fds[0].revents & POLLIN) == 0) continue;

    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    int fd = ::accept4(m_Listener->Get(), reinterpret_cast<sockaddr*>(&peer), &peerLength,
                       SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      // Out of descriptors or memory, the listener stays readable: pause
      // rather than spin, and let finished sessions give theirs back.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        if (!pausing) Log(std::string("control endpoint cannot accept: ") + std::strerror(errno));
        pausing = true;
        pollfd wake{m_Wakeup->Fd(), POLLIN, 0};
        ::poll(&wake, 1, 100);
      }
      continue;  // otherwise the client is already gone
    }
    pausing = false;
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
    std::string source = address;
    // Answers to pipelined requests go out as separate small writes; without
    // this each would wait for the client's delayed acknowledgement.
    int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);

    std::lock_guard lock(m_SessionsMutex);
    if (m_Sessions.size() >= m_Options.maxConnections) {
      Refuse(fd);
      continue;
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    try {
      std::thread thread([this, fd, finished, source] {
        ServeConnection(fd, source);
        *finished = true;
      });
      m_Sessions.push_back({std::move(thread), finished});
    } catch (const std::system_error&) {
      Refuse(fd);
    }
  }
}

// Answers a connection that exceeds the limit on the accepting thread: the
// banner and the refusal go out in one write, so a client reading the banner
// also gets the reason rather than a bare close.
void ControlEndpoint::Refuse(int fd) {
  UniqueFd owned(fd);
  std::string data = m_Banner + "\n" + ErrorLine(ControlError::kBusy) + "\n";
  [[maybe_unused]] ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
  ::shutdown(fd, SHUT_WR);
  Log("control connection refused: too many connections");
}

void ControlEndpoint::ServeConnection(int fd, const std::string& source) {
  Channel channel(fd, m_Wakeup->Fd());
  try {
    auto deadline = Clock::now() + m_Options.idleTimeout;
    if (!channel.Send(m_Banner, deadline)) return;
    std::string buffer;
    std::size_t requests = 0;
    for (;;) {
      for (std::size_t lf = buffer.find('\n'); lf != std::string::npos; lf = buffer.find('\n')) {
        if (lf > kMaxLineBytes) {
          channel.Send(ErrorLine(ControlError::kInvalidParameter), deadline);
          return;
        }
        if (m_Options.throttle) {
          // An address that failed to log on waits its turn; Stop() ends the wait.
          const auto wait = m_Options.throttle->Reserve(source);
          pollfd wake{m_Wakeup->Fd(), POLLIN, 0};
          if (wait.count() > 0 && ::poll(&wake, 1, static_cast<int>(wait.count())) != 0) return;
        }
        ControlReply reply = m_Dispatcher.Handle(std::string_view(buffer).substr(0, lf));
        if (reply.failedLogin) {
          std::string count;
          if (m_Options.throttle)
            count = " (failure " + std::to_string(m_Options.throttle->Failed(source)) + ")";
          Log("control logon failed for '" + *reply.failedLogin + "' from " + source + count);
        }
        buffer.erase(0, lf + 1);
        // The idle clock restarts only with a whole request, so a client
        // trickling bytes cannot hold a connection open for ever.
        deadline = Clock::now() + m_Options.idleTimeout;
        if (!channel.Send(reply.line, deadline) || reply.close) return;
        if (++requests >= m_Options.maxRequestsPerConnection) return;
      }
      if (buffer.size() > kMaxLineBytes) {
        channel.Send(ErrorLine(ControlError::kInvalidParameter), deadline);
        return;
      }
      if (!channel.Receive(buffer, deadline)) return;
    }
  } catch (const std::exception& e) {
    Log(std::string("control connection ended: ") + e.what());
  }
}

void ControlEndpoint::ReapSessions(bool all) {
  std::list<Session> done;
  {
    std::lock_guard lock(m_SessionsMutex);
    for (auto it = m_Sessions.begin(); it != m_Sessions.end();) {
      auto next = std::next(it);
      if (all || *it->finished) done.splice(done.end(), m_Sessions, it);
      it = next;
    }
  }
  for (Session& session : done) session.thread.join();
}

void ControlEndpoint::Log(const std::string& text) const {
  if (m_Options.log) m_Options.log(text);
}

}  // namespace standin::service
