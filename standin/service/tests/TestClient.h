// A tiny client of both protocols for the tests, written from the protocol
// description alone (the console's client is product code and not linked).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin::service::testing {

// One TCP connection to the control endpoint on 127.0.0.1.
class LineClient {
 public:
  explicit LineClient(int port);
  ~LineClient();
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  bool Connected() const { return m_Fd >= 0; }
  // Sends raw bytes as they are (no LF added).
  bool SendRaw(const std::string& bytes);
  bool SendLine(const std::string& line) { return SendRaw(line + "\n"); }
  // The next line without its LF; nullopt on close or after timeoutMs.
  std::optional<std::string> ReadLine(int timeoutMs = 2000);
  // True when the server closed the connection (end of stream or reset)
  // within timeoutMs and sent no further line.
  bool ClosedByServer(int timeoutMs = 2000);

 private:
  int m_Fd = -1;
  std::string m_Buffer;
};

// What the console's client does for one request: read and check the banner,
// send the request, read the answer, say QUIT. Returns the answer line, or
// nullopt when any step fails.
std::optional<std::string> ExchangeOnce(int port, const std::string& request);

// Sends one datagram to 127.0.0.1:port and waits up to timeoutMs for one
// answer; nullopt when none comes.
std::optional<std::vector<std::uint8_t>> AskBrowser(int port, const std::string& request,
                                                    int timeoutMs = 300);

}  // namespace standin::service::testing
