#include "Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

#include "Connection.h"
#include "Log.h"

namespace standin::app {

Server::Server(engine::Engine& engine, ServerOptions options)
    : m_Engine(engine), m_Options(std::move(options)) {
  if (!m_Options.startThread) {
    m_Options.startThread = [](std::function<void()> body) { return std::thread(std::move(body)); };
  }
}

Server::~Server() {
  Stop();
  if (m_ListenFd >= 0) ::close(m_ListenFd);
  for (int fd : m_WakePipe) {
    if (fd >= 0) ::close(fd);
  }
}

int Server::Listen(const std::string& address, int port) {
  sockaddr_in socketAddress{};
  socketAddress.sin_family = AF_INET;
  socketAddress.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr) != 1) {
    throw std::runtime_error("'" + address + "' is not an IPv4 address");
  }
  m_ListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_ListenFd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  int yes = 1;
  ::setsockopt(m_ListenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(m_ListenFd, reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress) != 0) {
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " +
                             std::strerror(errno));
  }
  if (::listen(m_ListenFd, 64) != 0)
    throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
  socklen_t length = sizeof socketAddress;
  ::getsockname(m_ListenFd, reinterpret_cast<sockaddr*>(&socketAddress), &length);
  if (::pipe2(m_WakePipe, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  return ntohs(socketAddress.sin_port);
}

void Server::ReapFinished() {
  std::lock_guard lock(m_Mutex);
  for (auto it = m_Slots.begin(); it != m_Slots.end();) {
    if (*it->finished) {
      it->thread.join();
      it = m_Slots.erase(it);
    } else {
      ++it;
    }
  }
}

void Server::Pause(int milliseconds) {
  pollfd wake{m_WakePipe[0], POLLIN, 0};
  ::poll(&wake, 1, milliseconds);
}

bool Server::AcceptFailed(int error) {
  // Out of descriptors or memory the listener stays readable, so accepting
  // again at once would spin: pause, and let finished connections give
  // theirs back.
  if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
    if (!m_OutOfResources) {
      std::size_t open = 0;
      {
        std::lock_guard lock(m_Mutex);
        open = m_Slots.size();
      }
      LogLine(std::string("cannot accept connections: ") + std::strerror(error) + " (" +
              std::to_string(open) + " open); pausing until some end");
      m_OutOfResources = true;
    }
    Pause(100);
  }
  // Anything else: the client is already gone; keep serving the others.
  std::lock_guard lock(m_Mutex);
  return !m_Stopping;
}

bool Server::Start(int fd, const std::string& peer) {
  auto connection = std::make_shared<Connection>(fd, peer, m_Engine, m_Options.handshakeTimeout,
                                                 m_Options.throttle);
  auto finished = std::make_shared<bool>(false);
  std::lock_guard lock(m_Mutex);
  if (m_Stopping) return false;
  if (m_Slots.size() >= m_Options.maxConnections) {
    if (!m_AtLimit) {
      LogLine("connection limit of " + std::to_string(m_Options.maxConnections) +
              " reached: refusing new connections until one ends (--max-connections)");
    }
    m_AtLimit = true;
    ++m_RefusedAtLimit;
    return true;  // the connection closes its socket as it goes
  }
  if (m_AtLimit) {
    LogLine("below the connection limit again; " + std::to_string(m_RefusedAtLimit) +
            " connection(s) refused meanwhile");
    m_AtLimit = false;
    m_RefusedAtLimit = 0;
  }
  Slot& slot = m_Slots.emplace_back();
  slot.connection = connection;
  slot.finished = finished;
  try {
    slot.thread = m_Options.startThread([this, connection, finished] {
      connection->Run();
      std::lock_guard threadLock(m_Mutex);
      *finished = true;
    });
  } catch (const std::exception& failure) {
    // Out of threads or memory: this client is refused, the next may be luckier.
    m_Slots.pop_back();
    LogLine("connection from " + peer + " refused: cannot start its thread: " + failure.what());
  }
  return true;
}

void Server::Serve() {
  while (true) {
    pollfd descriptors[2] = {{m_ListenFd, POLLIN, 0}, {m_WakePipe[0], POLLIN, 0}};
    int ready = ::poll(descriptors, 2, 1000);
    if (ready < 0 && errno != EINTR)
      throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    if (descriptors[1].revents != 0) return;
    ReapFinished();
    if (ready <= 0 || !(descriptors[0].revents & POLLIN)) continue;

    sockaddr_in peerAddress{};
    socklen_t length = sizeof peerAddress;
    int fd =
        ::accept4(m_ListenFd, reinterpret_cast<sockaddr*>(&peerAddress), &length, SOCK_CLOEXEC);
    if (fd < 0) {
      if (!AcceptFailed(errno)) return;
      continue;
    }
    if (m_OutOfResources) {
      LogLine("accepting connections again");
      m_OutOfResources = false;
    }
    int yes = 1;
    // Replies are written whole; waiting for ACKs would cost a round trip each.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peerAddress.sin_addr, text, sizeof text);
    std::string peer = std::string(text) + ":" + std::to_string(ntohs(peerAddress.sin_port));
    try {
      if (!Start(fd, peer)) return;
    } catch (const std::bad_alloc&) {
      LogLine("connection from " + peer + " refused: out of memory");
    }
  }
}

void Server::Stop() {
  std::list<Slot> slots;
  {
    std::lock_guard lock(m_Mutex);
    if (!m_Stopping && m_WakePipe[1] >= 0) {
      char byte = 1;
      [[maybe_unused]] auto written = ::write(m_WakePipe[1], &byte, 1);
    }
    m_Stopping = true;
    for (Slot& slot : m_Slots) slot.connection->Close();
    slots.swap(m_Slots);
  }
  for (Slot& slot : slots) slot.thread.join();
}

}  // namespace standin::app
