#include "TestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace standin::service::testing {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

LineClient::LineClient(int port) {
  m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(port);
  if (m_Fd >= 0 && ::connect(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(m_Fd);
    m_Fd = -1;
  }
}

LineClient::~LineClient() {
  if (m_Fd >= 0) ::close(m_Fd);
}

bool LineClient::SendRaw(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(m_Fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::string> LineClient::ReadLine(int timeoutMs) {
  for (;;) {
    if (auto lf = m_Buffer.find('\n'); lf != std::string::npos) {
      std::string line = m_Buffer.substr(0, lf);
      m_Buffer.erase(0, lf + 1);
      return line;
    }
    pollfd fd{m_Fd, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) != 1) return std::nullopt;
    char chunk[512];
    ssize_t n = ::recv(m_Fd, chunk, sizeof chunk, 0);
    if (n <= 0) return std::nullopt;
    m_Buffer.append(chunk, static_cast<std::size_t>(n));
  }
}

bool LineClient::ClosedByServer(int timeoutMs) {
  if (!m_Buffer.empty()) return false;
  pollfd fd{m_Fd, POLLIN, 0};
  if (::poll(&fd, 1, timeoutMs) != 1) return false;
  char byte;
  ssize_t n = ::recv(m_Fd, &byte, 1, 0);
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

std::optional<std::string> ExchangeOnce(int port, const std::string& request) {
  LineClient client(port);
  if (!client.Connected()) return std::nullopt;
  auto banner = client.ReadLine();
  if (!banner || banner->rfind("BWCTL/1 ", 0) != 0) return std::nullopt;
  if (!client.SendLine(request)) return std::nullopt;
  auto answer = client.ReadLine();
  client.SendLine("QUIT");
  return answer;
}

std::optional<std::vector<std::uint8_t>> AskBrowser(int port, const std::string& request,
                                                    int timeoutMs) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  sockaddr_in address = Loopback(port);
  std::optional<std::vector<std::uint8_t>> answer;
  if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&address),
               sizeof address) == static_cast<ssize_t>(request.size())) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) == 1) {
      std::vector<std::uint8_t> buffer(65536);
      ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
      if (n >= 0) {
        buffer.resize(static_cast<std::size_t>(n));
        answer = std::move(buffer);
      }
    }
  }
  ::close(fd);
  return answer;
}

}  // namespace standin::service::testing
