#include "Socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace standin::app {

Socket::~Socket() {
  ::close(m_Fd);
}

std::size_t Socket::ReadSome(std::span<std::uint8_t> buffer, int timeoutMilliseconds) {
  while (true) {
    if (timeoutMilliseconds >= 0) {
      pollfd descriptor{m_Fd, POLLIN, 0};
      int ready = ::poll(&descriptor, 1, timeoutMilliseconds);
      if (ready == 0) throw SocketClosed("client sent nothing for too long");
      if (ready < 0 && errno != EINTR)
        throw SocketClosed(std::string("poll: ") + std::strerror(errno));
      if (ready < 0) continue;
    }
    ssize_t received = ::recv(m_Fd, buffer.data(), buffer.size(), 0);
    if (received >= 0) return static_cast<std::size_t>(received);
    if (errno == EINTR) continue;
    if (errno == ECONNRESET || errno == ENOTCONN) return 0;
    throw SocketClosed(std::string("recv: ") + std::strerror(errno));
  }
}

void Socket::WriteAll(std::span<const std::uint8_t> bytes) {
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    ssize_t sent = ::send(m_Fd, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      throw SocketClosed(std::string("send: ") + std::strerror(errno));
    }
    offset += static_cast<std::size_t>(sent);
  }
}

void Socket::ShutDown() {
  ::shutdown(m_Fd, SHUT_RDWR);
}

bool Socket::PeerClosed() const {
  pollfd descriptor{m_Fd, POLLRDHUP, 0};
  return ::poll(&descriptor, 1, 0) == 1 &&
         (descriptor.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace standin::app
