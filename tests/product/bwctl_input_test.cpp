// bwctl with input that is unusual but legitimate (non-ASCII passwords and
// names, data sources written the way SQL Server clients accept them) or
// plainly wrong (names too long, an empty path, a registration that does not
// parse): it works, or says clearly what is wrong, and never shows a password.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "BwctlRun.h"
#include "StandinFixture.h"
#include "servers/Servers.h"

namespace bw {
namespace {

class BwctlInput : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-input", &m_Messages);
    std::filesystem::create_directories(m_Home);
    m_Admin.SetConnectionString(RegistrationString());
    m_Admin.Open();
  }
  void TearDown() override { LeaveProfile(m_Home); }

  testing::BwctlResult Bwctl(const std::string& arguments) {
    return testing::RunBwctl(m_Home, arguments);
  }
  // Registers the stand-in with `dataSource` (shell-quoted here).
  testing::BwctlResult Add(const std::string& dataSource, const std::string& login = "sa",
                           const std::string& password = kSaPassword) {
    std::ofstream(m_Home / "pw") << password << "\n";
    return Bwctl("server add --data-source '" + dataSource + "' --user " + login +
                 " --password-file '" + (m_Home / "pw").string() + "'");
  }

  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
  Connection m_Admin;
};

TEST_F(BwctlInput, NonAsciiPasswordAndArchiveName) {
  m_Admin.Execute("EXEC sp_addlogin 'accent', '\xC3\xBC\xC3\xA9\xE2\x82\xAC'");  // üé€
  m_Admin.Execute("EXEC sp_addsrvrolemember 'accent', 'sysadmin'");
  m_Admin.Execute("CREATE DATABASE [Brindlewick_M\xC3\xBCller]");
  testing::BwctlResult added = Add(DataSource(), "accent", "\xC3\xBC\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(added.code, 0) << added.err;
  testing::BwctlResult list = Bwctl("archive list 1");
  EXPECT_EQ(list.code, 0) << list.err;
  EXPECT_NE(list.out.find("Brindlewick_M\xC3\xBCller"), std::string::npos) << list.out;
  testing::BwctlResult properties = Bwctl("archive properties 1 'M\xC3\xBCller'");
  EXPECT_EQ(properties.code, 0) << properties.err;
  EXPECT_NE(properties.out.find("Owner:          sa"), std::string::npos) << properties.out;
  m_Admin.Execute("DROP DATABASE [Brindlewick_M\xC3\xBCller]");
  m_Admin.Execute("EXEC sp_droplogin 'accent'");
}

TEST_F(BwctlInput, DataSourcesWithABlankOrTcpPrefixAreReachable) {
  for (const std::string prefix : {" ", "tcp:", "TCP: "}) {
    SCOPED_TRACE("'" + prefix + "'");
    testing::BwctlResult added = Add(prefix + DataSource());
    EXPECT_EQ(added.code, 0) << added.err;
    // The registration connects again, through the same reachability step.
    testing::BwctlResult list = Bwctl("archive list 1");
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(Bwctl("--yes server remove 1").code, 0);
    std::filesystem::remove_all(m_Home / "brindlewick");
  }
}

TEST_F(BwctlInput, NamesTooLongAndEmptyPathsAreUsageErrors) {
  ASSERT_EQ(Add(DataSource()).code, 0);
  const std::string longest(116, 'a'), tooLong(117, 'a'), hundreds(200, 'b');
  struct Row {
    std::string arguments;
    std::string message;
  };
  for (const Row& r : {
           Row{"archive create 1 " + hundreds + " 'C:\\x.mdf'", "at most 116"},
           Row{"archive create 1 " + tooLong + " 'C:\\x.mdf'", "has 117 characters"},
           Row{"archive attach 1 " + tooLong + " 'C:\\x.mdf'", "at most 116"},
           Row{"archive create 1 Fine ''", "PATH"},
           Row{"archive create 1 Fine '  '", "PATH"},
           Row{"archive attach 1 Fine ''", "MDF"},
       }) {
    testing::BwctlResult run = Bwctl(r.arguments);
    EXPECT_EQ(run.code, 2) << r.arguments << "\n" << run.err;
    EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
  }
  Recordset rs;
  rs.Open(
      "SELECT COUNT(*) FROM master..sysdatabases WHERE name LIKE '%aaaa%' OR name LIKE "
      "'%bbbb%' OR name LIKE '%Fine%'",
      &m_Admin);
  EXPECT_EQ(rs.Value(0).ToInteger(), 0) << "nothing reached the server";

  // The longest name that fits works end to end.
  testing::BwctlResult created =
      Bwctl("archive create 1 " + longest +
            " 'C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\Longest.mdf'");
  EXPECT_EQ(created.code, 0) << created.err;
  EXPECT_EQ(Bwctl("--yes archive delete 1 " + longest).code, 0);
}

TEST_F(BwctlInput, AnUnreadableRegistrationNeverShowsItsPassword) {
  {
    Servers servers;
    std::string broken =
        "Provider=SQLOLEDB;Data Source=" + DataSource() + ";User Id=sa;Password=Secret-A;Secret-B;";
    EXPECT_EQ(servers.Add(broken), nullptr) << "stored, but it does not connect";
  }
  testing::BwctlResult list = Bwctl("server list");
  EXPECT_EQ(list.code, 0) << list.err;
  EXPECT_NE(list.out.find("(unreadable registration)"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Invalid connection string"), std::string::npos) << list.out;
  EXPECT_EQ((list.out + list.err).find("Secret"), std::string::npos) << list.out << list.err;
  testing::BwctlResult test = Bwctl("server test 1");
  EXPECT_EQ(test.code, 1);
  EXPECT_EQ((test.out + test.err).find("Secret"), std::string::npos) << test.out << test.err;
}

}  // namespace
}  // namespace bw
