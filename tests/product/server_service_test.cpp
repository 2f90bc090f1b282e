#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "StandinFixture.h"
#include "data/DataAccess.h"
#include "platform/ServiceControl.h"
#include "servers/Servers.h"
#include "servers/cNet.h"
#include "support/MessageService.h"

namespace bw {
namespace {

bool TdsPortOpen(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return open;
}

// The stand-in plays the SQL Server's machine: its control endpoint answers
// for the service, its browser responder for discovery.
class ServerService : public testing::StandinSuite {
 protected:
  void SetUp() override {
    ASSERT_NE(Standin().ControlPort(), 0) << Standin().Log();
    m_Home = EnterProfile("bw-service", &m_Messages);
    ::setenv("BW_SERVICE_CONTROL_PORT", std::to_string(Standin().ControlPort()).c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("BW_SERVICE_CONTROL_PORT");
    LeaveProfile(m_Home);
  }
  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
};

TEST_F(ServerService, StopClosesTheListenerAndStartOpensItAgain) {
  Servers servers;
  std::string text = RegistrationString();
  Server* server = servers.Add(text);
  ASSERT_NE(server, nullptr);
  EXPECT_TRUE(server->HostJoined());
  EXPECT_EQ(server->Status(), platform::kServiceRunning);

  EXPECT_TRUE(server->StopService());
  EXPECT_FALSE(TdsPortOpen(Standin().Port()));
  EXPECT_EQ(server->Status(), platform::kServiceStopped);
  EXPECT_FALSE(server->Connect());

  EXPECT_TRUE(server->StartService());
  EXPECT_TRUE(TdsPortOpen(Standin().Port()));
  EXPECT_TRUE(server->IsConnected()) << server->Description();
  EXPECT_EQ(server->CurrentUser(), "sa");
}

TEST_F(ServerService, WrongCredentialsKnowNoState) {
  platform::ServiceControlClient client("127.0.0.1", Standin().ControlPort());
  auto refused = client.Stop(platform::kSqlServerService, "sa", "wrong");
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.systemError, 1326);
  EXPECT_TRUE(TdsPortOpen(Standin().Port()));
  auto join = client.QueryJoin();
  ASSERT_TRUE(join.has_value());
  EXPECT_EQ(join->status, 2);
  EXPECT_EQ(join->name, "WORKGROUP");
}

TEST_F(ServerService, BrowserDiscoveryFindsTheStandin) {
  ::setenv("BW_BROWSER_ADDRESSES", "127.0.0.1", 1);
  ::setenv("BW_BROWSER_PORT", std::to_string(Standin().BrowserPort()).c_str(), 1);
  long type = kServerTypeSqlServer;
  std::string domain;
  auto names = EnumServers(type, domain);
  ::unsetenv("BW_BROWSER_ADDRESSES");
  ::unsetenv("BW_BROWSER_PORT");
  ASSERT_EQ(names.size(), 1u);
  std::string suffix = "," + std::to_string(Standin().Port());
  EXPECT_EQ(names[0].substr(names[0].size() - suffix.size()), suffix) << names[0];
}

// Starting and stopping are for serveradmin members, not for every login;
// the role is looked up when the request comes, not when the login was made.
TEST_F(ServerService, StartAndStopNeedServerAdmin) {
  {
    Connection admin;
    admin.SetConnectionString(RegistrationString());
    admin.Open();
    admin.Execute("EXEC master..sp_addlogin 'svc_operator', 'Operator#Pw1'");
    admin.Execute("EXEC master..sp_addlogin 'svc_watcher', 'Watcher#Pw1'");
    admin.Execute("EXEC master..sp_addsrvrolemember 'svc_operator', 'serveradmin'");
  }
  platform::ServiceControlClient client("127.0.0.1", Standin().ControlPort());
  EXPECT_TRUE(client.QueryStatus(platform::kSqlServerService, "svc_watcher", "Watcher#Pw1").ok);
  EXPECT_FALSE(client.Stop(platform::kSqlServerService, "svc_watcher", "Watcher#Pw1").ok);
  EXPECT_TRUE(TdsPortOpen(Standin().Port()));

  EXPECT_TRUE(client.Stop(platform::kSqlServerService, "svc_operator", "Operator#Pw1").ok);
  EXPECT_FALSE(TdsPortOpen(Standin().Port()));
  EXPECT_TRUE(client.Start(platform::kSqlServerService, "svc_operator", "Operator#Pw1").ok);
  EXPECT_TRUE(TdsPortOpen(Standin().Port()));
}

}  // namespace
}  // namespace bw
