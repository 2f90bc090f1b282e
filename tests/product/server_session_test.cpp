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
  void SetUp() override { m_Home = EnterProfile("bw-session", &m_Messages); }
  void TearDown() override { LeaveProfile(m_Home); }
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

TEST_F(ServerSession, RolesOfSaAndOfALoginWithoutRoles) {
  Servers servers;
  std::string text = RegistrationString();
  Server* sa = servers.Add(text);
  ASSERT_NE(sa, nullptr);
  sa->GetConnection().Execute("EXEC sp_addlogin 'plain', 'Plain-pw-1'");
  EXPECT_TRUE(sa->IsRolemember("sysadmin"));
  EXPECT_FALSE(sa->IsRolemember("no such role"));
  EXPECT_FALSE(sa->IsRolemember("sysadmin", "plain"));

  std::string plainText = RegistrationString("plain", "Plain-pw-1");
  Server* plain = servers.Add(plainText);
  ASSERT_NE(plain, nullptr) << "a second registration of the same server";
  EXPECT_EQ(plain->CurrentUser(), "plain");
  for (const char* role : {"sysadmin", "dbcreator", "securityadmin"}) {
    EXPECT_FALSE(plain->IsRolemember(role)) << role;
  }
  sa->GetConnection().Execute("EXEC sp_addsrvrolemember 'plain', 'dbcreator'");
  EXPECT_TRUE(plain->IsRolemember("dbcreator"));
  sa->GetConnection().Execute("EXEC sp_dropsrvrolemember 'plain', 'dbcreator'");
}

TEST_F(ServerSession, LoginModeOfBothModes) {
  Servers servers;
  std::string text = RegistrationString();
  Server* mixed = servers.Add(text);
  ASSERT_NE(mixed, nullptr);
  EXPECT_EQ(mixed->LoginMode(), 2);

  standin::integration::StandinProcess windowsOnly;
  windowsOnly.Start({"--login-mode", "windows"});
  // In Windows-only mode a SQL Server login cannot connect at all: the mode
  // is then unknown to the console.
  std::string other = "Provider=SQLOLEDB;Data Source=127.0.0.1," +
                      std::to_string(windowsOnly.Port()) + ";User Id=sa;Password=" + kSaPassword +
                      ";";
  Server* refused = servers.Add(other);
  EXPECT_EQ(refused, nullptr);
}

TEST_F(ServerSession, RevokeLoginKeepsALoginThatOwnsADatabase) {
  Servers servers;
  std::string text = RegistrationString();
  Server* server = servers.Add(text);
  ASSERT_NE(server, nullptr);
  Connection& sa = server->GetConnection();
  sa.Execute("EXEC sp_addlogin 'owner1', 'Owner-pw-1'");
  // Listed first by sp_helpdb, so the refusal comes before any other database.
  sa.Execute("CREATE DATABASE AOwnedByOwner1");
  sa.Execute("USE AOwnedByOwner1 EXEC sp_changedbowner 'owner1' USE master");

  EXPECT_FALSE(server->RevokeLogin("owner1", 1));
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].text, FormatResString(309, {"owner1", "AOwnedByOwner1"}));
  Recordset still;
  still.Open("SELECT COUNT(*) FROM master.dbo.syslogins WHERE name = 'owner1'", &sa);
  EXPECT_EQ(still.Value(0).ToInteger(), 1);
  still.Close();

  sa.Execute("USE master DROP DATABASE AOwnedByOwner1");
}

TEST_F(ServerSession, RevokeLoginRemovesItsUsersEverywhereThenTheLogin) {
  Servers servers;
  std::string text = RegistrationString();
  Server* server = servers.Add(text);
  ASSERT_NE(server, nullptr);
  Connection& sa = server->GetConnection();
  // A Windows account of the server's machine, known to its account directory.
  const std::string accounts = "'" + standin::integration::StandinBinary() +
                               "' accounts add 'BRINDLE\\revokee' --data-dir '" +
                               Standin().DataDir().string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(accounts.c_str()), 0);
  sa.Execute("EXEC sp_addlogin 'clerk2', 'Clerk-pw-2'");
  sa.Execute("EXEC sp_grantlogin 'BRINDLE\\revokee'");
  sa.Execute("CREATE DATABASE RevokeOne");
  sa.Execute("CREATE DATABASE RevokeTwo");
  // Found by SID under whatever user name it has in each database.
  sa.Execute("EXEC RevokeOne..sp_grantdbaccess 'clerk2', 'Clerk Two'");
  sa.Execute("EXEC RevokeTwo..sp_grantdbaccess 'clerk2'");
  sa.Execute("EXEC RevokeTwo..sp_grantdbaccess 'BRINDLE\\revokee'");
  sa.Execute("USE master");

  EXPECT_TRUE(server->RevokeLogin("clerk2", 1));
  EXPECT_TRUE(server->RevokeLogin("BRINDLE\\revokee", 2));
  EXPECT_TRUE(m_Messages.History().empty());

  auto count = [&](const std::string& sql) {
    Recordset rs;
    rs.Open(sql, &sa);
    return rs.Value(0).ToInteger();
  };
  EXPECT_EQ(count("SELECT COUNT(*) FROM master.dbo.syslogins WHERE name IN ('clerk2', "
                  "'BRINDLE\\revokee')"),
            0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM RevokeOne.dbo.sysusers WHERE name = 'Clerk Two'"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM RevokeTwo.dbo.sysusers WHERE name IN ('clerk2', "
                  "'BRINDLE\\revokee')"),
            0);
  sa.Execute("USE master DROP DATABASE RevokeOne DROP DATABASE RevokeTwo");
}

}  // namespace
}  // namespace bw
