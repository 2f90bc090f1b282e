#include "service/ControlEndpoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "FakeHosts.h"
#include "TestClient.h"

namespace standin::service {
namespace {

using namespace std::chrono_literals;
using testing::ExchangeOnce;
using testing::FakeServiceHost;
using testing::LineClient;
using Clock = std::chrono::steady_clock;

constexpr char kInvalid[] = "ERR 87 The parameter is incorrect.";

class ControlEndpointTest : public ::testing::Test {
 protected:
  // Short idle time so the time-out tests stay fast.
  static ControlEndpointOptions FastOptions() {
    ControlEndpointOptions options;
    options.idleTimeout = 300ms;
    return options;
  }

  void StartEndpoint(ControlEndpointOptions options = FastOptions()) {
    options.port = 0;
    options.version = "1.2.3";
    m_Endpoint = std::make_unique<ControlEndpoint>(m_Host, options);
    m_Port = m_Endpoint->Start();
  }

  FakeServiceHost m_Host;
  std::unique_ptr<ControlEndpoint> m_Endpoint;
  int m_Port = 0;
};

TEST_F(ControlEndpointTest, GreetsThenAnswersPipelinedRequestsInOrder) {
  StartEndpoint();
  LineClient client(m_Port);
  EXPECT_EQ(client.ReadLine(), "BWCTL/1 sqlstandin 1.2.3");
  ASSERT_TRUE(client.SendRaw("JOIN\nSTATUS MSSQLSERVER sa secret\r\nQUIT\n"));
  EXPECT_EQ(client.ReadLine(), "OK 2 WORKGROUP");
  EXPECT_EQ(client.ReadLine(), "OK 4");
  EXPECT_EQ(client.ReadLine(), "OK");
  EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(ControlEndpointTest, ClientExchangesDriveTheService) {
  StartEndpoint();
  EXPECT_EQ(ExchangeOnce(m_Port, "STOP MSSQLSERVER operator op%20pass"), "OK 1");
  EXPECT_EQ(ExchangeOnce(m_Port, "STATUS MSSQLSERVER reader -"), "OK 1");
  EXPECT_EQ(ExchangeOnce(m_Port, "STOP MSSQLSERVER sa secret"),
            "ERR 1062 The service has not been started.");
  EXPECT_EQ(ExchangeOnce(m_Port, "START MSSQLSERVER reader -"), "ERR 5 Access is denied.");
  EXPECT_EQ(ExchangeOnce(m_Port, "START mssqlserver sa secret"), "OK 4");
  EXPECT_EQ(m_Host.starts, 1);
  EXPECT_EQ(m_Host.stops, 1);
}

TEST_F(ControlEndpointTest, LineOfTheLimitIsServedOneByteMoreIsRefusedAndClosed) {
  StartEndpoint();
  std::string request = "STATUS MSSQLSERVER sa secret";
  LineClient atLimit(m_Port);
  atLimit.ReadLine();
  atLimit.SendLine(request + std::string(kMaxLineBytes - request.size(), ' '));
  EXPECT_EQ(atLimit.ReadLine(), "OK 4");

  LineClient over(m_Port);
  over.ReadLine();
  over.SendLine(request + std::string(kMaxLineBytes + 1 - request.size(), ' '));
  EXPECT_EQ(over.ReadLine(), kInvalid);
  EXPECT_TRUE(over.ClosedByServer());

  // Without any LF the server must not keep buffering.
  LineClient endless(m_Port);
  endless.ReadLine();
  endless.SendRaw(std::string(std::size_t{64} * 1024, 'A'));
  EXPECT_EQ(endless.ReadLine(), kInvalid);
  EXPECT_TRUE(endless.ClosedByServer());
}

TEST_F(ControlEndpointTest, BinaryGarbageIsRefusedLineByLine) {
  StartEndpoint();
  LineClient client(m_Port);
  client.ReadLine();
  client.SendRaw(std::string("\x00\xFF\x16\x03\x01\n", 6) + "%%%\n");
  EXPECT_EQ(client.ReadLine(), kInvalid);
  EXPECT_EQ(client.ReadLine(), kInvalid);
  client.SendLine("JOIN");
  EXPECT_EQ(client.ReadLine(), "OK 2 WORKGROUP");
}

TEST_F(ControlEndpointTest, SilentClientIsClosedAfterTheIdleTimeWhileOthersAreServed) {
  StartEndpoint();
  LineClient silent(m_Port);
  ASSERT_TRUE(silent.ReadLine());
  EXPECT_EQ(ExchangeOnce(m_Port, "JOIN"), "OK 2 WORKGROUP");
  auto start = Clock::now();
  EXPECT_TRUE(silent.ClosedByServer(2000));
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(ControlEndpointTest, TricklingBytesDoesNotKeepAConnectionOpen) {
  StartEndpoint();
  LineClient trickler(m_Port);
  ASSERT_TRUE(trickler.ReadLine());
  auto start = Clock::now();
  bool closed = false;
  while (!closed && Clock::now() - start < 3s) {
    trickler.SendRaw("S");
    closed = trickler.ClosedByServer(100);
  }
  EXPECT_TRUE(closed);
  EXPECT_LT(Clock::now() - start, 1500ms);
}

TEST_F(ControlEndpointTest, ConnectionsBeyondTheLimitAreToldBusy) {
  ControlEndpointOptions options = FastOptions();
  options.maxConnections = 2;
  options.idleTimeout = 5s;
  StartEndpoint(options);
  auto first = std::make_unique<LineClient>(m_Port);
  LineClient second(m_Port);
  ASSERT_TRUE(first->ReadLine());
  ASSERT_TRUE(second.ReadLine());

  LineClient third(m_Port);
  EXPECT_EQ(third.ReadLine(), "BWCTL/1 sqlstandin 1.2.3");
  EXPECT_EQ(third.ReadLine(), "ERR 170 The requested resource is in use.");

  first.reset();  // frees a slot
  std::optional<std::string> answer;
  for (auto start = Clock::now(); !answer && Clock::now() - start < 2s;) {
    answer = ExchangeOnce(m_Port, "JOIN");
    if (answer && answer->rfind("ERR 170", 0) == 0) answer.reset();
  }
  EXPECT_EQ(answer, "OK 2 WORKGROUP");
}

TEST_F(ControlEndpointTest, ConnectionIsClosedAfterItsLastAllowedRequest) {
  ControlEndpointOptions options = FastOptions();
  options.maxRequestsPerConnection = 3;
  StartEndpoint(options);
  LineClient client(m_Port);
  client.ReadLine();
  client.SendRaw("JOIN\nJOIN\nJOIN\nJOIN\n");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(client.ReadLine(), "OK 2 WORKGROUP");
  EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(ControlEndpointTest, StopEndsIdleConnectionsPromptly) {
  ControlEndpointOptions options;
  options.idleTimeout = 30s;
  StartEndpoint(options);
  LineClient a(m_Port);
  LineClient b(m_Port);
  ASSERT_TRUE(a.ReadLine());
  ASSERT_TRUE(b.ReadLine());
  b.SendRaw("STAT");  // half a request
  auto start = Clock::now();
  m_Endpoint->Stop();
  EXPECT_LT(Clock::now() - start, 500ms);
  EXPECT_TRUE(a.ClosedByServer(500));
  EXPECT_TRUE(b.ClosedByServer(500));
  EXPECT_FALSE(LineClient(m_Port).Connected());
}

TEST_F(ControlEndpointTest, StartFailuresAreReadableAndRestartWorks) {
  StartEndpoint();
  ControlEndpointOptions clash;
  clash.port = m_Port;
  ControlEndpoint second(m_Host, clash);
  try {
    second.Start();
    ADD_FAILURE() << "binding a port in use succeeded";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("127.0.0.1:" + std::to_string(m_Port)), std::string::npos)
        << e.what();
  }
  ControlEndpointOptions badAddress;
  badAddress.address = "localhost.example";
  EXPECT_THROW(ControlEndpoint(m_Host, badAddress).Start(), std::runtime_error);

  EXPECT_THROW(m_Endpoint->Start(), std::logic_error);
  m_Endpoint->Stop();
  m_Endpoint->Stop();
  int port = m_Endpoint->Start();
  EXPECT_EQ(ExchangeOnce(port, "JOIN"), "OK 2 WORKGROUP");
}

}  // namespace
}  // namespace standin::service
