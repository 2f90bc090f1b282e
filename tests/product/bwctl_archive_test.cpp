// "bwctl archive …" run as a process against a started sqlstandin, with its
// own registration hive: output, questions and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "StandinFixture.h"
#include "data/DataAccess.h"
#include "support/StringTable.h"

namespace bw {
namespace {

class BwctlArchive : public testing::StandinSuite {
 protected:
  struct Run {
    int code;
    std::string out, err;
  };

  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-bwctl-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
    std::ofstream(m_Home / "pw") << kSaPassword << "\n";
    Run added = Bwctl("server add --data-source " + DataSource() + " --user sa --password-file " +
                      (m_Home / "pw").string());
    ASSERT_EQ(added.code, 0) << added.err;
    m_Admin.SetConnectionString(RegistrationString());
    m_Admin.Open();
  }
  void TearDown() override { std::filesystem::remove_all(m_Home); }

  Run Bwctl(const std::string& arguments) {
    const auto out = m_Home / "out", err = m_Home / "err";
    std::string line = "XDG_CONFIG_HOME='" + m_Home.string() + "' '" BWCTL_BINARY "' " + arguments +
                       " </dev/null >'" + out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(line.c_str());
    auto slurp = [](const std::filesystem::path& path) {
      std::ifstream in(path);
      std::stringstream text;
      text << in.rdbuf();
      return text.str();
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
  }

  std::filesystem::path m_Home;
  Connection m_Admin;
};

TEST_F(BwctlArchive, ListPropertiesDetachAttachDelete) {
  m_Admin.Execute("CREATE DATABASE Brindlewick_Cli");
  Run list = Bwctl("archive list 1");
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_NE(list.out.find("Cli"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Brindlewick_Cli"), std::string::npos);

  Run properties = Bwctl("archive properties 1 cli");
  ASSERT_EQ(properties.code, 0) << properties.err;
  EXPECT_NE(properties.out.find("Owner:          sa"), std::string::npos) << properties.out;
  EXPECT_NE(properties.out.find("Brindlewick_Cli.mdf"), std::string::npos);

  // Nobody to ask: the question counts as No.
  Run declined = Bwctl("archive detach 1 Cli");
  EXPECT_EQ(declined.code, 4) << declined.err;
  EXPECT_NE(declined.err.find("Do you want to detach the server archive 'Cli'"), std::string::npos)
      << declined.err;

  Run detached = Bwctl("--yes archive detach 1 Cli");
  ASSERT_EQ(detached.code, 0) << detached.err;
  EXPECT_EQ(Bwctl("archive list 1").out.find("Brindlewick_Cli"), std::string::npos);

  const std::string folder = "'C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";
  Run attached = Bwctl("archive attach 1 Cli " + folder + "Brindlewick_Cli.mdf'");
  ASSERT_EQ(attached.code, 0) << attached.err;
  EXPECT_NE(attached.out.find("Attached archive Cli"), std::string::npos);

  Run missing = Bwctl("archive attach 1 Other " + folder + "Nothing.mdf'");
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find(LoadResString(56)), std::string::npos) << missing.err;

  Run deleted = Bwctl("--yes archive delete 1 Cli");
  ASSERT_EQ(deleted.code, 0) << deleted.err;
  EXPECT_EQ(Bwctl("archive list 1").out, "No archives on this server.\n");
}

TEST_F(BwctlArchive, UsageRefusalsAndUnknownNames) {
  EXPECT_EQ(Bwctl("archive --help").code, 0);
  EXPECT_EQ(Bwctl("archive").code, 2);
  EXPECT_EQ(Bwctl("archive list").code, 2);
  EXPECT_EQ(Bwctl("archive fulltext sometimes 1 X").code, 2);
  EXPECT_EQ(Bwctl("archive create 1 \"bad name\" C:\\\\x.mdf").code, 2);
  EXPECT_EQ(Bwctl("archive list 7").code, 1);
  EXPECT_EQ(Bwctl("archive delete 1 NoSuchArchive").code, 1);

  m_Admin.Execute("EXEC sp_addlogin 'viewer', 'Viewer-pw-1'");
  std::ofstream(m_Home / "vpw") << "Viewer-pw-1\n";
  ASSERT_EQ(Bwctl("server add --data-source " + DataSource() + " --user viewer --password-file " +
                  (m_Home / "vpw").string())
                .code,
            0);
  m_Admin.Execute("CREATE DATABASE Brindlewick_Guarded");
  // Filling the catalogue opens every archive, which needs a user there.
  m_Admin.Execute("USE Brindlewick_Guarded EXEC sp_grantdbaccess 'viewer' USE master");
  Run refused = Bwctl("--yes archive delete 2 Guarded");
  EXPECT_EQ(refused.code, 3) << refused.err;
  EXPECT_NE(refused.err.find("You do not have the permission to delete server archives"),
            std::string::npos)
      << refused.err;
  Run created = Bwctl("archive create 2 New 'C:\\New.mdf'");
  EXPECT_EQ(created.code, 3);
  EXPECT_EQ(Bwctl("--yes archive delete 1 Guarded").code, 0);
}

TEST_F(BwctlArchive, CreateIndexShrinkRenameAndAFailedCreate) {
  const std::string folder = "'C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";
  Run created = Bwctl("archive create 1 Made " + folder + "Made.mdf'");
  ASSERT_EQ(created.code, 0) << created.err;
  EXPECT_NE(created.out.find("Created archive Made"), std::string::npos);

  Run status = Bwctl("archive fulltext status 1 Made");
  ASSERT_EQ(status.code, 0) << status.err;
  EXPECT_EQ(status.out, "-1 no full-text index\n");
  EXPECT_EQ(Bwctl("archive fulltext create 1 Made").code, 4) << "asked, nobody answered";
  ASSERT_EQ(Bwctl("--yes archive fulltext create 1 Made").code, 0);
  EXPECT_EQ(Bwctl("archive fulltext status 1 Made").out.rfind("-1", 0), std::string::npos);
  ASSERT_EQ(Bwctl("--yes archive fulltext drop 1 Made").code, 0);
  EXPECT_EQ(Bwctl("archive fulltext status 1 Made").out, "-1 no full-text index\n");

  Run shrunk = Bwctl("--yes archive shrink-log 1 Made");
  EXPECT_EQ(shrunk.code, 0) << shrunk.err;
  Run renamed = Bwctl("archive rename 1 Made Remade");
  ASSERT_EQ(renamed.code, 0) << renamed.err;
  Run properties = Bwctl("archive properties 1 Remade");
  ASSERT_EQ(properties.code, 0) << properties.err;
  EXPECT_NE(properties.out.find("Version:        1.61"), std::string::npos) << properties.out;
  EXPECT_NE(properties.out.find("Plain text:     True"), std::string::npos) << properties.out;

  // A schema statement that fails: message 137, nothing left behind.
  Standin().InjectFault("CREATE VIEW dbo.SearchFolderView", 2714);
  Run broken = Bwctl("archive create 1 Broken " + folder + "Broken.mdf'");
  Standin().ClearFaults();
  EXPECT_EQ(broken.code, 1);
  EXPECT_NE(broken.err.find(LoadResString(137)), std::string::npos) << broken.err;
  Run list = Bwctl("archive list 1");
  EXPECT_EQ(list.out.find("Broken"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Brindlewick_Remade"), std::string::npos) << list.out;
  EXPECT_EQ(Bwctl("--yes archive delete 1 Remade").code, 0);
}

TEST_F(BwctlArchive, AnArchiveThatCannotBeOpenedIsListedWithItsReason) {
  m_Admin.Execute("EXEC sp_addlogin 'partial', 'Partial-pw-1'");
  m_Admin.Execute("CREATE DATABASE Brindlewick_Granted");
  m_Admin.Execute("USE Brindlewick_Granted EXEC sp_grantdbaccess 'partial' USE master");
  m_Admin.Execute("CREATE DATABASE Brindlewick_Closed");
  m_Admin.Execute("CREATE DATABASE [Brindlewick_odd name;x]");
  std::ofstream(m_Home / "ppw") << "Partial-pw-1\n";
  ASSERT_EQ(Bwctl("server add --data-source " + DataSource() + " --user partial --password-file " +
                  (m_Home / "ppw").string())
                .code,
            0);

  Run list = Bwctl("archive list 2");
  EXPECT_EQ(list.code, 0) << list.err;
  EXPECT_NE(list.out.find("Brindlewick_Granted"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Brindlewick_Closed  (cannot be opened: "), std::string::npos)
      << list.out;
  Run granted = Bwctl("archive properties 2 Granted");
  EXPECT_EQ(granted.code, 0) << granted.err;
  Run closed = Bwctl("archive properties 2 Closed");
  EXPECT_EQ(closed.code, 3) << closed.err;
  EXPECT_NE(closed.err.find("cannot be opened"), std::string::npos) << closed.err;

  // sa opens them all, the name that is not an identifier too.
  Run all = Bwctl("archive list 1");
  EXPECT_EQ(all.code, 0) << all.err;
  EXPECT_EQ(all.out.find("cannot be opened"), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("Brindlewick_odd name;x"), std::string::npos) << all.out;
  for (const char* name : {"Granted", "Closed", "'odd name;x'"}) {
    EXPECT_EQ(Bwctl(std::string("--yes archive delete 1 ") + name).code, 0) << name;
  }
  m_Admin.Execute("EXEC sp_droplogin 'partial'");
}

}  // namespace
}  // namespace bw
