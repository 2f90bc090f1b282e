#include "service/BrowserResponder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "FakeHosts.h"
#include "TestClient.h"

namespace standin::service {
namespace {

using namespace std::chrono_literals;
using testing::AskBrowser;
using testing::FakeBrowserHost;

constexpr char kRecord[] =
    "ServerName;ARCHIVEHOST;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.2039;tcp;1433;;";

std::vector<std::uint8_t> Response(const std::string& record) {
  std::string bytes = "\x05";
  bytes.push_back(static_cast<char>(record.size() & 0xFF));
  bytes.push_back(static_cast<char>(record.size() >> 8));
  bytes += record;
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::string Bytes(std::initializer_list<int> head, const std::string& tail = "") {
  std::string out;
  for (int b : head) out.push_back(static_cast<char>(b));
  return out + tail;
}

// 04 <name> 00: a request for one instance.
std::string InstanceRequest(const std::string& name) {
  return "\x04" + name + std::string(1, '\0');
}

struct DatagramCase {
  const char* name;
  std::string request;
  bool answered;
};

class BrowserReplyTest : public ::testing::TestWithParam<DatagramCase> {};

TEST_P(BrowserReplyTest, AnswersOnlyRequestsForThisInstance) {
  InstanceInfo instance{"ARCHIVEHOST", "8.00.2039", 1433};
  auto reply = BrowserReply(GetParam().request, instance);
  if (GetParam().answered) {
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, Response(kRecord));
  } else {
    EXPECT_FALSE(reply);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BrowserReplyTest,
    ::testing::Values(DatagramCase{"Unicast", Bytes({0x03}), true},
                      DatagramCase{"Broadcast", Bytes({0x02}), true},
                      DatagramCase{"Instance", InstanceRequest("MSSQLSERVER"), true},
                      DatagramCase{"InstanceIgnoresCase", InstanceRequest("MssqlServer"), true},
                      DatagramCase{"OtherInstance", InstanceRequest("SQLEXPRESS"), false},
                      DatagramCase{"PrefixOfInstance", InstanceRequest("MSSQL"), false},
                      DatagramCase{"AdminConnection",
                                   Bytes({0x0F, 0x01}, "MSSQLSERVER") + std::string(1, '\0'),
                                   false}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Malformed, BrowserReplyTest,
    ::testing::Values(
        DatagramCase{"Empty", "", false},
        DatagramCase{"UnicastWithTrailingBytes", Bytes({0x03, 0x00}), false},
        DatagramCase{"InstanceWithoutTerminator", Bytes({0x04}, "MSSQLSERVER"), false},
        DatagramCase{"InstanceEmptyName", Bytes({0x04, 0x00}), false},
        DatagramCase{"InstanceBytesAfterTerminator",
                     InstanceRequest("MSSQLSERVER") + std::string(1, '\0'), false},
        DatagramCase{"InstanceNameTooLong", InstanceRequest(std::string(40, 'A')), false},
        DatagramCase{"ServerResponseEchoed", Bytes({0x05, 0x00, 0x00}), false},
        DatagramCase{"UnknownCode", Bytes({0x01}), false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(BrowserReplyTest, FieldsThatWouldBreakTheRecordAreCleaned) {
  InstanceInfo instance{"ARCHIVE;HOST x", "8.00.2039 (SP4);junk", 1433};
  auto reply = BrowserReply(Bytes({0x03}), instance);
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, Response("ServerName;ARCHIVEHOSTx;InstanceName;MSSQLSERVER;IsClustered;No;"
                             "Version;8.00.20394;tcp;1433;;"));
}

TEST(BrowserReplyTest, SilentWhileNothingListens) {
  InstanceInfo instance{"ARCHIVEHOST", "8.00.2039", 0};
  EXPECT_FALSE(BrowserReply(Bytes({0x03}), instance));
  EXPECT_FALSE(BrowserReply(InstanceRequest("MSSQLSERVER"), instance));
}

class BrowserResponderTest : public ::testing::Test {
 protected:
  int StartResponder(BrowserResponderOptions options = {}) {
    options.port = 0;
    m_Responder = std::make_unique<BrowserResponder>(m_Host, options);
    return m_Responder->Start();
  }

  FakeBrowserHost m_Host;
  std::unique_ptr<BrowserResponder> m_Responder;
};

TEST_F(BrowserResponderTest, AnswersOverUdpWithTheCurrentPort) {
  int port = StartResponder();
  EXPECT_EQ(AskBrowser(port, Bytes({0x03})), Response(kRecord));
  EXPECT_FALSE(AskBrowser(port, InstanceRequest("SQLEXPRESS")));
  EXPECT_FALSE(AskBrowser(port, std::string(600, '\x04')));

  m_Host.SetPort(51433);  // the listener was reopened elsewhere
  auto reply = AskBrowser(port, InstanceRequest("mssqlserver"));
  ASSERT_TRUE(reply);
  std::string text(reply->begin() + 3, reply->end());
  EXPECT_NE(text.find(";tcp;51433;;"), std::string::npos) << text;
}

TEST_F(BrowserResponderTest, RepliesPerSecondAreCapped) {
  BrowserResponderOptions options;
  options.maxRepliesPerSecond = 2;
  int port = StartResponder(options);
  EXPECT_TRUE(AskBrowser(port, Bytes({0x03})));
  EXPECT_TRUE(AskBrowser(port, Bytes({0x02})));
  EXPECT_FALSE(AskBrowser(port, Bytes({0x03})));
}

TEST_F(BrowserResponderTest, StopIsPromptAndBindErrorsAreReadable) {
  int port = StartResponder();
  BrowserResponderOptions clash;
  clash.port = port;
  try {
    BrowserResponder(m_Host, clash).Start();
    ADD_FAILURE() << "binding a port in use succeeded";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(std::to_string(port)), std::string::npos) << e.what();
  }
  auto start = std::chrono::steady_clock::now();
  m_Responder->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_FALSE(AskBrowser(port, Bytes({0x03})));
}

}  // namespace
}  // namespace standin::service
