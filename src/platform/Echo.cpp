#include "platform/Echo.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "support/Log.h"

namespace bw::platform {

namespace {

using Clock = std::chrono::steady_clock;

class Socket {
 public:
  explicit Socket(int fd) : m_Fd(fd) {}
  ~Socket() {
    if (m_Fd >= 0) ::close(m_Fd);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int Fd() const { return m_Fd; }
  bool Valid() const { return m_Fd >= 0; }

 private:
  int m_Fd;
};

std::uint16_t Checksum(const std::uint8_t* data, std::size_t length) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < length; i += 2)
    sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  if (length % 2 != 0) sum += static_cast<std::uint32_t>(data[length - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

int RemainingMs(Clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Sends one echo on `socket` and waits for the matching reply. `rawReplies`:
// replies carry the IP header (raw sockets) and foreign replies must be told
// apart by identifier.
int IcmpEcho(const Socket& socket, const sockaddr_in& target, const EchoRequest& request,
             bool rawReplies) {
  // Several servers may be probed at once; each echo gets its own number.
  static std::atomic<std::uint16_t> sequence{0};
  const std::uint16_t id = static_cast<std::uint16_t>(::getpid() & 0xFFFF);
  const std::uint16_t seq = ++sequence;
  std::vector<std::uint8_t> packet(8 + request.data.size());
  packet[0] = ICMP_ECHO;
  packet[1] = 0;
  packet[4] = static_cast<std::uint8_t>(id >> 8);
  packet[5] = static_cast<std::uint8_t>(id & 0xFF);
  packet[6] = static_cast<std::uint8_t>(seq >> 8);
  packet[7] = static_cast<std::uint8_t>(seq & 0xFF);
  std::memcpy(packet.data() + 8, request.data.data(), request.data.size());
  std::uint16_t sum = Checksum(packet.data(), packet.size());
  packet[2] = static_cast<std::uint8_t>(sum >> 8);
  packet[3] = static_cast<std::uint8_t>(sum & 0xFF);
  if (::sendto(socket.Fd(), packet.data(), packet.size(), 0,
               reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0) {
    return errno == ENETUNREACH || errno == EHOSTUNREACH ? kEchoDestinationUnreachable
                                                         : kEchoGeneralFailure;
  }
  // The reply buffer holds a 28-byte header and up to 250 bytes of data.
  std::uint8_t reply[278 + 60];
  auto deadline = Clock::now() + std::chrono::milliseconds(request.timeoutMs);
  for (;;) {
    pollfd pfd{socket.Fd(), POLLIN, 0};
    int ready = ::poll(&pfd, 1, RemainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return kEchoTimedOut;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t got = ::recvfrom(socket.Fd(), reply, sizeof reply, 0,
                             reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got <= 0) continue;
    std::size_t offset = 0;
    if (rawReplies) {
      if (got < 20) continue;
      offset = static_cast<std::size_t>(reply[0] & 0x0F) * 4;
    }
    if (static_cast<std::size_t>(got) < offset + 8) continue;
    const std::uint8_t* icmp = reply + offset;
    if (from.sin_addr.s_addr != target.sin_addr.s_addr) continue;
    if (icmp[0] == ICMP_DEST_UNREACH) return kEchoDestinationUnreachable;
    if (icmp[0] != ICMP_ECHOREPLY) continue;
    std::uint16_t replySeq = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
    std::uint16_t replyId = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
    // A ping socket rewrites the identifier; only raw sockets see others' replies.
    if (replySeq != seq || (rawReplies && replyId != id)) continue;
    std::size_t dataLength = static_cast<std::size_t>(got) - offset - 8;
    if (dataLength != request.data.size() ||
        std::memcmp(icmp + 8, request.data.data(), dataLength) != 0) {
      return kEchoGeneralFailure;
    }
    return kEchoSuccess;
  }
}

int TcpProbe(const sockaddr_in& target, const EchoRequest& request) {
  Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket.Valid()) return kEchoGeneralFailure;
  sockaddr_in address = target;
  address.sin_port = htons(static_cast<std::uint16_t>(request.fallbackPort));
  if (::connect(socket.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    return kEchoSuccess;
  }
  if (errno == ECONNREFUSED) return kEchoDestinationUnreachable;
  if (errno != EINPROGRESS) return kEchoGeneralFailure;
  pollfd pfd{socket.Fd(), POLLOUT, 0};
  int ready = ::poll(&pfd, 1, request.timeoutMs);
  if (ready <= 0) return kEchoTimedOut;
  int error = 0;
  socklen_t length = sizeof error;
  ::getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &error, &length);
  return error == 0 ? kEchoSuccess : kEchoDestinationUnreachable;
}

SystemEcho& DefaultEcho() {
  static SystemEcho echo;
  return echo;
}

EchoService*& CurrentEcho() {
  static EchoService* current = &DefaultEcho();
  return current;
}

}  // namespace

EchoReply SystemEcho::Echo(const EchoRequest& request) {
  EchoReply reply;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  if (request.address.empty() ||
      ::inet_pton(AF_INET, request.address.c_str(), &target.sin_addr) != 1) {
    reply.status = kEchoUnresolved;
    return reply;
  }
  if (!m_ForceTcp) {
    Socket ping(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (ping.Valid()) {
      reply.path = EchoPath::PingSocket;
      reply.status = IcmpEcho(ping, target, request, false);
      Log("echo", request.address + " by ping socket: " + std::to_string(reply.status));
      return reply;
    }
    Socket raw(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (raw.Valid()) {
      reply.path = EchoPath::RawSocket;
      reply.status = IcmpEcho(raw, target, request, true);
      Log("echo", request.address + " by raw socket: " + std::to_string(reply.status));
      return reply;
    }
  }
  reply.path = EchoPath::TcpConnect;
  reply.status = TcpProbe(target, request);
  Log("echo", request.address + " by TCP connect to port " + std::to_string(request.fallbackPort) +
                  " (no ICMP allowed): " + std::to_string(reply.status));
  return reply;
}

EchoService& Echoes() {
  return *CurrentEcho();
}

void SetEchoService(EchoService* service) {
  CurrentEcho() = service != nullptr ? service : &DefaultEcho();
}

std::string ResolveHostAddress(const std::string& host) {
  if (host.empty()) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return {};
  char text[INET_ADDRSTRLEN] = {0};
  const auto* address = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
  ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
  ::freeaddrinfo(result);
  return text;
}

}  // namespace bw::platform
