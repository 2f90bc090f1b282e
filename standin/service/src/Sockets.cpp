#include "Sockets.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace standin::service {

void UniqueFd::Reset() {
  if (m_Fd >= 0) ::close(m_Fd);
  m_Fd = -1;
}

Wakeup::Wakeup() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("cannot create a wake-up pipe: ") + std::strerror(errno));
  }
  m_Read = UniqueFd(fds[0]);
  m_Write = UniqueFd(fds[1]);
}

void Wakeup::Signal() {
  char byte = 1;
  // A full pipe is already readable, so a failed write loses nothing.
  [[maybe_unused]] ssize_t written = ::write(m_Write.Get(), &byte, 1);
}

BoundSocket BindSocket(const std::string& address, int port, bool stream) {
  std::string where = address + ":" + std::to_string(port) + (stream ? " (tcp)" : " (udp)");
  if (port < 0 || port > 65535) throw std::runtime_error("cannot bind " + where + ": bad port");

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = stream ? SOCK_STREAM : SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  if (int rc = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found); rc != 0) {
    throw std::runtime_error("cannot bind " + where + ": '" + address +
                             "' is not a numeric IP address (" + ::gai_strerror(rc) + ")");
  }
  BoundSocket bound;
  int error = 0;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
      error = errno;
      continue;
    }
    if (stream) {
      int yes = 1;
      ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    }
    if (::bind(fd.Get(), a->ai_addr, a->ai_addrlen) != 0 ||
        (stream && ::listen(fd.Get(), 64) != 0)) {
      error = errno;
      continue;
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&local), &length);
    bound.port = local.ss_family == AF_INET6
                     ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                     : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    bound.fd = std::move(fd);
    break;
  }
  ::freeaddrinfo(found);
  if (!bound.fd.Valid()) {
    throw std::runtime_error("cannot bind " + where + ": " + std::strerror(error));
  }
  return bound;
}

}  // namespace standin::service
