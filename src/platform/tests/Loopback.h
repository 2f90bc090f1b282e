// Sockets bound to a free port of the loopback address, for tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bw::platform::testing {

// Opens a socket of `type` bound to 127.0.0.1 on a port the kernel picks
// (listening, for streams); returns the descriptor and sets `port`.
inline int BindLoopback(int type, int& port) {
  int fd = ::socket(AF_INET, type, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (type == SOCK_STREAM) ::listen(fd, 4);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace bw::platform::testing
