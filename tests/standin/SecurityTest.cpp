// Logins and database users through the FreeTDS ODBC driver, as the console
// manages them: a SQL Server login and a Windows login (added to the
// machine's accounts with `sqlstandin accounts`) get server and database
// roles, the role tests answer for each, a login without rights is refused,
// a password changes, and a Windows login is denied and granted again.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Odbc.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

std::string Scalar(OdbcConnection& connection, const std::string& sql) {
  OdbcOutcome outcome = connection.Execute(sql);
  EXPECT_TRUE(outcome.ok) << sql;
  if (outcome.resultSets.empty() || outcome.resultSets[0].rows.empty()) return "<none>";
  const OdbcValue& value = outcome.resultSets[0].rows[0][0];
  return value.isNull ? "NULL" : value.text;
}

int RunAccounts(const StandinProcess& server, const std::string& arguments) {
  const std::string command = "'" + StandinBinary() + "' accounts " + arguments + " --data-dir '" +
                              server.DataDir().string() + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) {
  }
  return WEXITSTATUS(::pclose(pipe));
}

class Security : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Server.Start();
    ASSERT_TRUE(m_Sa.Connect(m_Server.ConnectionString()));
  }

  StandinProcess m_Server;
  OdbcConnection m_Sa;
};

TEST_F(Security, RolesRefusalsPasswordsAndWindowsLogins) {
  // The machine's accounts: the running server sees them at once.
  ASSERT_EQ(RunAccounts(m_Server, "add 'BRINDLE\\alice'"), 0);
  EXPECT_NE(RunAccounts(m_Server, "add 'alice'"), 0);
  EXPECT_EQ(m_Sa.Execute("EXEC master..sp_grantlogin 'BRINDLE\\bob'").FirstError(), 15401);

  for (const char* sql :
       {"EXEC master..sp_addlogin 'clerk', 'Clerk#1'",
        "EXEC master..sp_addlogin 'plain', 'Plain#1'",
        "EXEC master..sp_grantlogin 'BRINDLE\\alice'",
        "EXEC master..sp_addsrvrolemember 'clerk', 'securityadmin'",
        "EXEC master..sp_addsrvrolemember 'BRINDLE\\alice', 'dbcreator'",
        "CREATE DATABASE Brindlewick_Test", "USE Brindlewick_Test",
        "EXEC sp_addrole @rolename = 'bw_reader'",
        "CREATE TABLE dbo.Folder (FolderID SMALLINT NOT NULL)",
        "GRANT SELECT ON dbo.Folder TO bw_reader",
        "EXEC Brindlewick_Test..sp_grantdbaccess 'clerk'",
        "EXEC Brindlewick_Test..sp_addrolemember 'bw_reader', 'clerk'",
        "EXEC Brindlewick_Test..sp_addrolemember 'db_securityadmin', 'clerk'",
        "EXEC sp_grantdbaccess 'BRINDLE\\alice', 'BRINDLE\\alice'",
        "EXEC sp_addrolemember 'db_owner', 'BRINDLE\\alice'", "EXEC sp_grantdbaccess 'plain'"}) {
    ASSERT_TRUE(m_Sa.Execute(sql).ok) << sql;
  }

  EXPECT_EQ(Scalar(m_Sa, "SELECT IS_SRVROLEMEMBER ('securityadmin','clerk')"), "1");
  EXPECT_EQ(Scalar(m_Sa, "SELECT IS_SRVROLEMEMBER ('dbcreator','BRINDLE\\alice')"), "1");
  EXPECT_EQ(Scalar(m_Sa, "SELECT IS_SRVROLEMEMBER ('sysadmin','BRINDLE\\alice')"), "0");
  EXPECT_EQ(Scalar(m_Sa, "SELECT IS_SRVROLEMEMBER ('sysadmin','BRINDLE\\nobody')"), "NULL");
  EXPECT_EQ(Scalar(m_Sa, "SELECT IS_MEMBER ('db_owner')"), "1");
  EXPECT_EQ(Scalar(m_Sa, "SELECT IS_MEMBER ('no_such_role')"), "NULL");

  OdbcConnection clerk;
  ASSERT_TRUE(clerk.Connect(m_Server.ConnectionString("clerk", "Clerk#1")));
  EXPECT_TRUE(clerk.Execute("USE Brindlewick_Test").ok);
  EXPECT_EQ(Scalar(clerk, "SELECT IS_SRVROLEMEMBER ('securityadmin')"), "1");
  EXPECT_EQ(Scalar(clerk, "SELECT IS_SRVROLEMEMBER ('sysadmin')"), "0");
  EXPECT_EQ(Scalar(clerk, "SELECT IS_MEMBER ('bw_reader')"), "1");
  EXPECT_EQ(Scalar(clerk, "SELECT IS_MEMBER ('db_securityadmin')"), "1");
  EXPECT_EQ(Scalar(clerk, "SELECT IS_MEMBER ('db_owner')"), "0");
  EXPECT_EQ(Scalar(clerk, "SELECT USER_NAME()"), "clerk");
  EXPECT_EQ(Scalar(clerk, "SELECT COUNT(*) FROM dbo.Folder"), "0");
  // A securityadmin manages logins; db_securityadmin manages role members.
  EXPECT_TRUE(clerk.Execute("EXEC master..sp_denylogin 'BRINDLE\\alice'").ok);
  EXPECT_EQ(Scalar(m_Sa,
                   "SELECT denylogin FROM master.dbo.syslogins WHERE loginname = "
                   "'BRINDLE\\alice'"),
            "1");
  EXPECT_TRUE(clerk.Execute("EXEC master..sp_grantlogin 'BRINDLE\\alice'").ok);
  EXPECT_EQ(Scalar(m_Sa,
                   "SELECT hasaccess FROM master.dbo.syslogins WHERE loginname = "
                   "'BRINDLE\\alice'"),
            "1");
  EXPECT_TRUE(clerk.Execute("EXEC sp_addrolemember 'bw_reader', 'plain'").ok);

  // A login without rights is refused everywhere it tries.
  OdbcConnection plain;
  ASSERT_TRUE(plain.Connect(m_Server.ConnectionString("plain", "Plain#1")));
  EXPECT_EQ(Scalar(plain, "SELECT IS_SRVROLEMEMBER ('securityadmin')"), "0");
  EXPECT_EQ(plain.Execute("EXEC master..sp_addlogin 'x', 'y'").FirstError(), 15247);
  EXPECT_EQ(plain.Execute("EXEC master..sp_grantlogin 'BRINDLE\\alice'").FirstError(), 15247);
  EXPECT_EQ(plain.Execute("CREATE DATABASE Stolen").FirstError(), 262);
  EXPECT_TRUE(plain.Execute("USE Brindlewick_Test").ok);
  EXPECT_EQ(plain.Execute("INSERT INTO dbo.Folder VALUES (1)").FirstError(), 229);
  EXPECT_EQ(plain.Execute("EXEC sp_addrolemember 'db_owner', 'plain'").FirstError(), 15247);
  EXPECT_EQ(plain.Execute("GRANT INSERT ON dbo.Folder TO bw_reader").FirstError(), 4613);
  EXPECT_EQ(Scalar(plain, "SELECT COUNT(*) FROM dbo.Folder"), "0");

  // A password changes; the old one stops working.
  EXPECT_TRUE(m_Sa.Execute("EXEC master..sp_password @old=NULL, @new='Plain#2' , "
                           "@loginame='plain'")
                  .ok);
  OdbcConnection again;
  EXPECT_FALSE(again.Connect(m_Server.ConnectionString("plain", "Plain#1")));
  EXPECT_TRUE(again.Connect(m_Server.ConnectionString("plain", "Plain#2")));
}

}  // namespace
}  // namespace standin::integration
