#include "commands/ServerCommands.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "data/ConnectionString.h"
#include "platform/Echo.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::commands {
namespace {

TEST(RegistrationString, ThePlainFormsAndSoundQuoting) {
  EXPECT_EQ(BuildRegistrationString("srv1", true, "", ""),
            "Provider=SQLOLEDB;Data Source=SRV1;Integrated Security=SSPI;");
  EXPECT_EQ(BuildRegistrationString("Srv1\\Inst", false, "sa", "secret"),
            "Provider=SQLOLEDB;Data Source=SRV1\\INST;User Id=sa;Password=secret;");
  EXPECT_EQ(BuildRegistrationString("srv1", false, "sa", ""),
            "Provider=SQLOLEDB;Data Source=SRV1;User Id=sa;");
  std::string hostile = BuildRegistrationString("srv1", false, "sa", "a;Integrated Security=SSPI");
  auto parsed = OleDbConnectionString::Parse(hostile);
  EXPECT_EQ(parsed.Get("Password"), "a;Integrated Security=SSPI");
  EXPECT_FALSE(parsed.Get("Integrated Security").has_value());
}

TEST(RegistrationString, HostForTheEcho) {
  EXPECT_EQ(RegistrationHost("SRV\\INST"), "SRV");
  EXPECT_EQ(RegistrationHost("127.0.0.1,1500"), "127.0.0.1");
  EXPECT_EQ(RegistrationHost("\\odd"), "\\odd");
  EXPECT_EQ(RegistrationHost("plain"), "plain");
}

TEST(ServiceMenuStates, ByStateAndConsolePlatform) {
  using S = ServiceMenuState;
  EXPECT_EQ(ServiceMenu(2, 1), (S{true, false}));
  EXPECT_EQ(ServiceMenu(2, 4), (S{false, true}));
  EXPECT_EQ(ServiceMenu(2, 7), (S{false, true}));
  for (int pending : {0, 2, 3, 5, 6}) EXPECT_EQ(ServiceMenu(2, pending), (S{false, false}));
  for (int family95 : {0, 1, 4}) EXPECT_EQ(ServiceMenu(family95, 1), (S{false, false}));
  EXPECT_FALSE(ServiceMenu(5, 8).has_value());
}

class Silent : public platform::EchoService {
 public:
  platform::EchoReply Echo(const platform::EchoRequest& request) override {
    last = request;
    return {platform::kEchoTimedOut, platform::EchoPath::PingSocket};
  }
  platform::EchoRequest last;
};

class ServerCommandFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-commands-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
    platform::SetEchoService(&m_Echo);
    SetMessageService(&m_Messages);
  }
  void TearDown() override {
    platform::SetEchoService(nullptr);
    SetMessageService(nullptr);
    std::filesystem::remove_all(m_Home);
  }
  Silent m_Echo;
  ScriptedMessageService m_Messages;
  std::filesystem::path m_Home;
};

TEST_F(ServerCommandFlow, AddChecksTheNameAndTheHostFirst) {
  Servers servers;
  EXPECT_EQ(AddSQLServer(servers, "", false, "sa", ""), nullptr);
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].text, "Please enter a server name or IP-Address");
  EXPECT_EQ(m_Messages.History()[0].caption, kComponentTitle);

  EXPECT_EQ(AddSQLServer(servers, "127.0.0.1,1500", false, "sa", ""), nullptr);
  EXPECT_EQ(m_Messages.History()[1].text, FormatResString(211, {"127.0.0.1,1500"}));
  EXPECT_EQ(m_Echo.last.address, "127.0.0.1");
  EXPECT_EQ(m_Echo.last.fallbackPort, 1500);
  EXPECT_EQ(servers.Count(), 0);
}

TEST_F(ServerCommandFlow, DetachAsksAndOnlyYesRemoves) {
  {
    Servers servers;
    std::string text = "Provider=SQLOLEDB;Data Source=127.0.0.1,9;User Id=sa;";
    servers.Add(text);  // unreachable: stays registered
  }
  Servers servers;
  ASSERT_EQ(servers.Count(), 1);
  Server& server = *servers.Item(1L);
  m_Messages.QueueAnswer(MsgResult::No);
  EXPECT_EQ(DetachSQLServer(servers, server), Outcome::Declined);
  EXPECT_EQ(servers.Count(), 1);
  EXPECT_EQ(m_Messages.History()[0].text, FormatResString(48, {"127.0.0.1,9"}));
  EXPECT_EQ(m_Messages.History()[0].style, MsgStyle::YesNo | MsgStyle::Question);
  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(DetachSQLServer(servers, *servers.Item(1L)), Outcome::Done);
  EXPECT_EQ(servers.Count(), 0);
  EXPECT_EQ(Servers().Count(), 0);
}

TEST_F(ServerCommandFlow, StopOfAClosedConnectionIsReportedCritically) {
  {
    Servers servers;
    std::string text = "Provider=SQLOLEDB;Data Source=127.0.0.1,9;User Id=sa;";
    servers.Add(text);
  }
  Servers servers;
  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(StopSQLServer(*servers.Item(1L)), Outcome::Error);
  ASSERT_EQ(m_Messages.History().size(), 2u);
  EXPECT_EQ(m_Messages.History()[1].style, MsgStyle::Critical);
  EXPECT_EQ(m_Messages.History()[1].text.rfind(FormatResString(68, {"127.0.0.1,9"}) + "\r", 0), 0u);
}

}  // namespace
}  // namespace bw::commands
