#include "service/BrowserResponder.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "Sockets.h"
#include "service/ControlProtocol.h"

namespace standin::service {

namespace {

// Request and reply codes of the resolution protocol.
constexpr std::uint8_t kBroadcastEx = 0x02;
constexpr std::uint8_t kUnicastEx = 0x03;
constexpr std::uint8_t kUnicastInstance = 0x04;
constexpr std::uint8_t kServerResponse = 0x05;
constexpr std::size_t kMaxInstanceNameBytes = 32;
constexpr std::size_t kMaxVersionBytes = 16;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

// Fields are separated by ";", so a host name must not carry one; clients
// read the text as ASCII.
std::string CleanServerName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c > ' ' && c < 0x7F && c != ';') out.push_back(c);
  }
  return out.empty() ? "localhost" : out;
}

std::string CleanVersion(std::string_view version) {
  std::string out;
  for (char c : version) {
    if ((c >= '0' && c <= '9') || c == '.') out.push_back(c);
  }
  out.resize(std::min(out.size(), kMaxVersionBytes));
  return out.empty() ? "0.0" : out;
}

// Key order matters: FreeTDS's listing rejects records in any other order.
std::vector<std::uint8_t> ServerResponse(const InstanceInfo& instance) {
  std::string record = "ServerName;" + CleanServerName(instance.serverName) + ";InstanceName;" +
                       kServiceName + ";IsClustered;No;Version;" + CleanVersion(instance.version) +
                       ";tcp;" + std::to_string(instance.tcpPort) + ";;";
  std::vector<std::uint8_t> reply;
  reply.push_back(kServerResponse);
  reply.push_back(static_cast<std::uint8_t>(record.size() & 0xFF));
  reply.push_back(static_cast<std::uint8_t>(record.size() >> 8));
  reply.insert(reply.end(), record.begin(), record.end());
  return reply;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> BrowserReply(std::string_view request,
                                                      const InstanceInfo& instance) {
  if (request.empty() || instance.tcpPort <= 0 || instance.tcpPort > 65535) return std::nullopt;
  auto code = static_cast<std::uint8_t>(request[0]);
  if (code == kBroadcastEx || code == kUnicastEx) {
    if (request.size() != 1) return std::nullopt;
    return ServerResponse(instance);
  }
  if (code == kUnicastInstance) {
    // 04 <name, 1..32 bytes> 00 and nothing after it.
    if (request.size() < 3 || request.back() != '\0') return std::nullopt;
    std::string_view name = request.substr(1, request.size() - 2);
    if (name.size() > kMaxInstanceNameBytes || name.find('\0') != std::string_view::npos) {
      return std::nullopt;
    }
    if (!EqualsIgnoringCase(name, kServiceName)) return std::nullopt;
    return ServerResponse(instance);
  }
  // The dedicated admin connection (0x0F) is not offered; everything else is
  // not a request at all.
  return std::nullopt;
}

BrowserResponder::BrowserResponder(BrowserHost& host, BrowserResponderOptions options)
    : m_Host(host), m_Options(std::move(options)) {}

BrowserResponder::~BrowserResponder() {
  Stop();
}

int BrowserResponder::Start() {
  if (m_Thread.joinable()) throw std::logic_error("the browser responder is already running");
  BoundSocket bound = BindSocket(m_Options.address, m_Options.port, false);
  m_Wakeup = std::make_unique<Wakeup>();
  m_Socket = std::make_unique<UniqueFd>(std::move(bound.fd));
  m_WindowStart = std::chrono::steady_clock::now();
  m_RepliesInWindow = 0;
  m_Thread = std::thread([this] { Run(); });
  return bound.port;
}

void BrowserResponder::Stop() {
  if (!m_Thread.joinable()) return;
  m_Wakeup->Signal();
  m_Thread.join();
  m_Socket.reset();
  m_Wakeup.reset();
}

bool BrowserResponder::TakeReplyAllowance() {
  if (m_Options.maxRepliesPerSecond <= 0) return true;
  auto now = std::chrono::steady_clock::now();
  if (now - m_WindowStart >= std::chrono::seconds(1)) {
    m_WindowStart = now;
    m_RepliesInWindow = 0;
  }
  if (m_RepliesInWindow >= m_Options.maxRepliesPerSecond) return false;
  ++m_RepliesInWindow;
  return true;
}

void BrowserResponder::Run() {
  for (;;) {
    pollfd fds[2] = {{m_Socket->Get(), POLLIN, 0}, {m_Wakeup->Fd(), POLLIN, 0}};
    int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[1].revents != 0) return;

    // Larger than any valid request; MSG_TRUNC reports the real length, so an
    // oversized datagram is recognised and dropped rather than cut short.
    char buffer[512];
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    ssize_t got = ::recvfrom(m_Socket->Get(), buffer, sizeof buffer, MSG_TRUNC,
                             reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (got <= 0 || static_cast<std::size_t>(got) > sizeof buffer) continue;

    std::optional<std::vector<std::uint8_t>> reply;
    try {
      reply =
          BrowserReply(std::string_view(buffer, static_cast<std::size_t>(got)), m_Host.Instance());
    } catch (const std::exception&) {
      continue;  // a host failure answers nothing, like an unknown instance
    }
    if (!reply || !TakeReplyAllowance()) continue;
    ::sendto(m_Socket->Get(), reply->data(), reply->size(), MSG_NOSIGNAL,
             reinterpret_cast<sockaddr*>(&peer), peerLength);
  }
}

}  // namespace standin::service
