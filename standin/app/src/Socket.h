// A connected TCP socket owned by one connection. Reads and writes never raise
// SIGPIPE; a failed write throws SocketClosed so a reply in progress stops.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>

namespace standin::app {

class SocketClosed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Socket {
 public:
  explicit Socket(int fd) : m_Fd(fd) {}
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int Fd() const { return m_Fd; }
  // Reads what is available (blocking until something is); 0 at end of stream.
  // timeoutMilliseconds < 0 waits forever; on time-out throws SocketClosed.
  std::size_t ReadSome(std::span<std::uint8_t> buffer, int timeoutMilliseconds = -1);
  void WriteAll(std::span<const std::uint8_t> bytes);
  // Wakes a blocked reader and fails further writes; safe from any thread.
  void ShutDown();
  // True once the peer has closed its end (or the socket was shut down);
  // does not block, safe from any thread.
  bool PeerClosed() const;

 private:
  int m_Fd;
};

}  // namespace standin::app
