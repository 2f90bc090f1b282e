#include "platform/ServiceControl.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace bw::platform {
namespace {

// A one-connection-at-a-time fake endpoint: sends `banner`, then answers
// each line with `respond(line)`; remembers the last request.
class FakeEndpoint {
 public:
  FakeEndpoint(std::string banner, std::function<std::string(const std::string&)> respond)
      : m_Banner(std::move(banner)), m_Respond(std::move(respond)) {
    m_Fd = testing::BindLoopback(SOCK_STREAM, m_Port);
    m_Thread = std::thread([this] { Serve(); });
  }
  ~FakeEndpoint() {
    m_Stop = true;
    ::shutdown(m_Fd, SHUT_RDWR);
    ::close(m_Fd);
    m_Thread.join();
  }
  int Port() const { return m_Port; }
  std::string Received() const { return m_Received; }

 private:
  void Serve() {
    while (!m_Stop) {
      int client = ::accept(m_Fd, nullptr, nullptr);
      if (client < 0) return;
      std::string banner = m_Banner + "\n";
      ::send(client, banner.data(), banner.size(), MSG_NOSIGNAL);
      std::string buffer;
      char chunk[256];
      ssize_t got;
      while ((got = ::recv(client, chunk, sizeof chunk, 0)) > 0) {
        buffer.append(chunk, static_cast<std::size_t>(got));
        std::size_t lf;
        while ((lf = buffer.find('\n')) != std::string::npos) {
          std::string line = buffer.substr(0, lf);
          buffer.erase(0, lf + 1);
          if (line == "QUIT") break;
          m_Received += line + "\n";
          std::string answer = m_Respond(line) + "\n";
          ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
        }
      }
      ::close(client);
    }
  }

  std::string m_Banner;
  std::function<std::string(const std::string&)> m_Respond;
  int m_Fd = -1;
  int m_Port = 0;
  std::atomic<bool> m_Stop{false};
  std::string m_Received;
  std::thread m_Thread;
};

TEST(ServiceControlClient, AsksJoinStatusAndServiceState) {
  FakeEndpoint endpoint("BWCTL/1 fake 1.0", [](const std::string& line) -> std::string {
    if (line == "JOIN") return "OK 2 WORK%20GROUP";
    if (line.rfind("STATUS MSSQLSERVER sa ", 0) == 0) return "OK 4";
    if (line.rfind("STOP ", 0) == 0) return "ERR 5 Access is denied.";
    return "ERR 87 The parameter is incorrect.";
  });
  ServiceControlClient client("127.0.0.1", endpoint.Port());
  auto join = client.QueryJoin();
  ASSERT_TRUE(join.has_value());
  EXPECT_EQ(join->status, 2);
  EXPECT_EQ(join->name, "WORK GROUP");

  ControlResult status = client.QueryStatus(kSqlServerService, "sa", "p w;%");
  EXPECT_TRUE(status.ok);
  EXPECT_EQ(status.state, kServiceRunning);
  EXPECT_NE(endpoint.Received().find("STATUS MSSQLSERVER sa p%20w%3B%25\n"), std::string::npos);

  ControlResult stop = client.Stop(kSqlServerService, "nobody", "");
  EXPECT_FALSE(stop.ok);
  EXPECT_EQ(stop.systemError, 5);
  EXPECT_EQ(stop.text, "Access is denied.");
  EXPECT_NE(endpoint.Received().find("STOP MSSQLSERVER nobody -\n"), std::string::npos);
}

TEST(ServiceControlClient, SaysNothingToAStranger) {
  FakeEndpoint stranger("220 mail.example ESMTP", [](const std::string&) { return "250 OK"; });
  ServiceControlClient client("127.0.0.1", stranger.Port(), 500);
  EXPECT_FALSE(client.QueryJoin().has_value());
  EXPECT_FALSE(client.Start(kSqlServerService, "sa", "secret").ok);
  EXPECT_EQ(stranger.Received(), "") << "credentials went to a stranger";
}

TEST(ServiceControlClient, NobodyListeningFailsQuickly) {
  int port = 0;
  ::close(testing::BindLoopback(SOCK_STREAM, port));  // the port is now free and closed
  ServiceControlClient client("127.0.0.1", port, 500);
  ControlResult result = client.QueryStatus(kSqlServerService, "sa", "x");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.state, kServiceUnknown);
}

TEST(ControlArguments, EncodingRoundTripsAndRejectsBadEscapes) {
  for (std::string value : {"", "plain", "DOMAIN\\user", "a b", "100%", "ä;\n\t", "-", "%41"}) {
    std::string encoded = EncodeControlArgument(value);
    EXPECT_EQ(encoded.find_first_of(" \n\r\t"), std::string::npos) << value;
    EXPECT_EQ(DecodeControlArgument(encoded), value) << encoded;
  }
  for (const char* bad : {"%", "%4", "%G0", "abc%"}) {
    EXPECT_FALSE(DecodeControlArgument(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace bw::platform
