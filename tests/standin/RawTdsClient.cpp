#include "RawTdsClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "../../standin/tds/tests/Login7Builder.h"

namespace standin::integration {
namespace {

std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    std::uint32_t code = byte;
    std::size_t length = 1;
    if (byte >= 0xF0) {
      code = byte & 0x07;
      length = 4;
    } else if (byte >= 0xE0) {
      code = byte & 0x0F;
      length = 3;
    } else if (byte >= 0xC0) {
      code = byte & 0x1F;
      length = 2;
    }
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

}  // namespace

RawTdsClient::RawTdsClient(int port, int receiveBuffer) {
  m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_Fd < 0) throw std::runtime_error("socket failed");
  if (receiveBuffer > 0)
    ::setsockopt(m_Fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("connect failed");
}

RawTdsClient::~RawTdsClient() {
  if (m_Fd >= 0) ::close(m_Fd);
}

bool RawTdsClient::Send(const Bytes& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(m_Fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool RawTdsClient::SendMessage(std::uint8_t packetType, const Bytes& payload) {
  return Send(tds::testing::Packetise(static_cast<tds::PacketType>(packetType), payload, 4096));
}

std::optional<RawTdsClient::Bytes> RawTdsClient::ReadMessage(int timeoutMilliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  Bytes payload;
  while (true) {
    // Whole packets first: header of 8 bytes, length big-endian at 2.
    while (m_Buffer.size() >= 8) {
      const std::size_t length = (std::size_t{m_Buffer[2]} << 8) | m_Buffer[3];
      if (length < 8 || m_Buffer.size() < length) break;
      const bool last = (m_Buffer[1] & 0x01) != 0;
      payload.insert(payload.end(), m_Buffer.begin() + 8,
                     m_Buffer.begin() + static_cast<std::ptrdiff_t>(length));
      m_Buffer.erase(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(length));
      if (last) return payload;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd descriptor{m_Fd, POLLIN, 0};
    if (::poll(&descriptor, 1, static_cast<int>(left)) <= 0) return std::nullopt;
    std::uint8_t chunk[65536];
    ssize_t n = ::recv(m_Fd, chunk, sizeof chunk, 0);
    if (n <= 0) return std::nullopt;
    m_Buffer.insert(m_Buffer.end(), chunk, chunk + n);
  }
}

bool RawTdsClient::ClosedWithin(int timeoutMilliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd descriptor{m_Fd, POLLIN, 0};
    if (::poll(&descriptor, 1, static_cast<int>(left)) <= 0) return false;
    std::uint8_t chunk[65536];
    if (::recv(m_Fd, chunk, sizeof chunk, 0) <= 0) return true;
  }
}

RawTdsClient::Bytes RawTdsClient::PreloginPayload() {
  // VERSION and ENCRYPTION (not supported), then the terminator.
  return {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
          0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02};
}

bool RawTdsClient::LogIn(const std::string& user, const std::string& password) {
  if (!SendMessage(0x12, PreloginPayload()) || !ReadMessage()) return false;
  tds::testing::Login7Fields fields;
  fields.userName = Utf16(user);
  fields.password = Utf16(password);
  if (!SendMessage(0x10, tds::testing::BuildLogin7(fields))) return false;
  std::optional<Bytes> reply = ReadMessage();
  // A refusal starts with its ERROR token (0xAA), an acceptance with the
  // database ENVCHANGE.
  return reply && !reply->empty() && (*reply)[0] != 0xAA;
}

bool RawTdsClient::SendBatch(const std::string& sql) {
  Bytes payload = tds::testing::AllHeaders();
  Bytes text = tds::testing::Utf16Le(Utf16(sql));
  payload.insert(payload.end(), text.begin(), text.end());
  return SendMessage(0x01, payload);
}

}  // namespace standin::integration
