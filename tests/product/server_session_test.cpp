#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "StandinFixture.h"
#include "commands/ServerCommands.h"
#include "servers/Servers.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw {
namespace {

class ServerSession : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-session-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
    SetMessageService(&m_Messages);
  }
  void TearDown() override {
    SetMessageService(nullptr);
    std::filesystem::remove_all(m_Home);
  }
  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
};

TEST_F(ServerSession, RegisteredServerConnectsAndKnowsItsLogin) {
  Servers servers;
  std::string text = RegistrationString();
  Server* server = servers.Add(text);
  ASSERT_NE(server, nullptr) << servers.Count();
  EXPECT_TRUE(server->IsConnected());
  EXPECT_EQ(server->ServerID(), 1);
  EXPECT_EQ(server->Name(), DataSource());
  EXPECT_EQ(server->HostName(), "127.0.0.1");
  EXPECT_EQ(server->Location(), DataSource());
  EXPECT_EQ(server->CurrentUser(), "sa");
  EXPECT_EQ(server->ConnectionString(), text) << "the time-out is never stored";

  Servers again;
  ASSERT_EQ(again.Count(), 1);
  EXPECT_TRUE(again.Item(1L)->IsConnected());
}

TEST_F(ServerSession, WrongPasswordIsListedWithTheServersText) {
  {
    Servers servers;
    std::string text = RegistrationString("sa", "wrong");
    EXPECT_EQ(servers.Add(text), nullptr);
  }
  Servers servers;
  ASSERT_EQ(servers.Count(), 1);
  Server* server = servers.Item(1L);
  EXPECT_FALSE(server->IsConnected());
  EXPECT_EQ(server->Description(), "Login failed for user 'sa'.");
  EXPECT_EQ(server->CurrentUser(), "");
}

TEST_F(ServerSession, TestConnectionReportsLikeTheDialog) {
  EXPECT_TRUE(commands::TestSQLServer(DataSource(), false, "sa", kSaPassword));
  EXPECT_FALSE(commands::TestSQLServer(DataSource(), false, "sa", "wrong"));
  ASSERT_EQ(m_Messages.History().size(), 2u);
  EXPECT_EQ(m_Messages.History()[0].text, LoadResString(212));
  EXPECT_EQ(m_Messages.History()[1].text, FormatResString(214, {"Login failed for user 'sa'."}));
}

TEST_F(ServerSession, ProductVersionAndPlatformOfBothVersions) {
  for (const char* version : {"7", "8"}) {
    standin::integration::StandinProcess standin;
    standin.Start({"--product-version", version});
    std::filesystem::remove_all(m_Home);
    Servers servers;
    std::string text = "Provider=SQLOLEDB;Data Source=127.0.0.1," + std::to_string(standin.Port()) +
                       ";User Id=sa;Password=" + kSaPassword + ";";
    Server* server = servers.Add(text);
    ASSERT_NE(server, nullptr) << standin.Log();
    EXPECT_EQ(server->ProductVersion(), version[0] - '0');
    EXPECT_EQ(server->Version("ProductVersion").substr(0, 2), std::string(version) + ".");
    EXPECT_FALSE(server->Version("Platform").empty());
    EXPECT_EQ(server->Version("NoSuchRow"), "");
  }
}

}  // namespace
}  // namespace bw
