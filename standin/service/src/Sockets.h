// Small socket helpers shared by the control endpoint and the browser
// responder: an owning descriptor, a wake-up signal for threads that poll,
// and binding with a readable error.
#pragma once

#include <string>

namespace standin::service {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_Fd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_Fd(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      m_Fd = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return m_Fd; }
  bool Valid() const { return m_Fd >= 0; }
  int Release() {
    int fd = m_Fd;
    m_Fd = -1;
    return fd;
  }
  void Reset();

 private:
  int m_Fd = -1;
};

// Once signalled, stays readable for every poller (it is never drained), so
// one Signal() wakes all threads of a server.
class Wakeup {
 public:
  Wakeup();  // throws std::runtime_error
  int Fd() const { return m_Read.Get(); }
  void Signal();

 private:
  UniqueFd m_Read;
  UniqueFd m_Write;
};

struct BoundSocket {
  UniqueFd fd;
  int port = 0;  // the port actually bound (the one chosen when 0 was asked)
};

// A non-blocking socket bound to a numeric IPv4 or IPv6 address; a stream
// socket is also listening. Throws std::runtime_error naming the address,
// port and reason.
BoundSocket BindSocket(const std::string& address, int port, bool stream);

}  // namespace standin::service
