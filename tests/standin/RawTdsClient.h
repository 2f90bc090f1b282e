// A TDS client on a bare socket, for tests that must misbehave the way no
// driver does: trickle bytes, send oversized handshakes, hold a reply unread,
// or log in with names a driver would not pass on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin::integration {

class RawTdsClient {
 public:
  using Bytes = std::vector<std::uint8_t>;

  // Connects to 127.0.0.1:port; receiveBuffer > 0 shrinks the socket's
  // receive buffer (set before connecting, so the window stays small).
  // Throws std::runtime_error when the connection fails.
  explicit RawTdsClient(int port, int receiveBuffer = 0);
  ~RawTdsClient();
  RawTdsClient(const RawTdsClient&) = delete;
  RawTdsClient& operator=(const RawTdsClient&) = delete;

  // Sends bytes as they are; false when the server has closed the connection.
  bool Send(const Bytes& bytes);
  // One message in packets of 4096 bytes with EOM on the last.
  bool SendMessage(std::uint8_t packetType, const Bytes& payload);
  // The payload of the next whole reply message; nullopt when the
  // connection closes or nothing complete arrives within the time-out.
  std::optional<Bytes> ReadMessage(int timeoutMilliseconds = 5000);
  // True when the server closes (or resets) the connection within the time-
  // out; what it sends meanwhile is read and dropped.
  bool ClosedWithin(int timeoutMilliseconds);

  // PRELOGIN, then LOGIN7 with these credentials (UTF-8; any bytes);
  // true when the server acknowledged the login.
  bool LogIn(const std::string& user, const std::string& password);
  // Sends a SQL batch without reading its reply.
  bool SendBatch(const std::string& sql);

  static Bytes PreloginPayload();

 private:
  int m_Fd = -1;
  Bytes m_Buffer;
};

}  // namespace standin::integration
