// "bwctl login …" and "bwctl user …" run as a process against a started
// sqlstandin: what the login may do afterwards, the questions, the refusals
// and the exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "StandinFixture.h"
#include "data/DataAccess.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw {
namespace {

constexpr std::int32_t kDenied = 229;

// A message as bwctl prints it: CR and CR LF become LF.
std::string Printed(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

class BwctlSecurity : public testing::StandinSuite {
 protected:
  struct Run {
    int code;
    std::string out, err;
  };

  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-bwctl-security-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
    std::ofstream(Standin().DataDir() / "accounts.txt") << "user SHOP\\carol\n";
    Run added = Bwctl({"server", "add", "--data-source", DataSource(), "--user", "sa",
                       "--password-file", PasswordFile("sa", kSaPassword)});
    ASSERT_EQ(added.code, 0) << added.err;
    m_Admin.SetConnectionString(RegistrationString());
    m_Admin.Open();
  }
  void TearDown() override {
    Bwctl({"--yes", "archive", "delete", "1", "Desk"});
    std::filesystem::remove_all(m_Home);
  }

  std::string PasswordFile(const std::string& name, const std::string& password) {
    const auto path = m_Home / (name + ".pw");
    std::ofstream(path) << password << "\n";
    return path.string();
  }
  void CreateArchive() {
    Run created = Bwctl({"archive", "create", "1", "Desk",
                         "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\Desk.mdf"});
    ASSERT_EQ(created.code, 0) << created.err;
  }

  Run Bwctl(const std::vector<std::string>& arguments) {
    const auto out = m_Home / "out", err = m_Home / "err";
    std::string line = "XDG_CONFIG_HOME='" + m_Home.string() + "' '" BWCTL_BINARY "'";
    for (const std::string& argument : arguments) {
      std::string quoted = "'";
      for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      line += " " + quoted + "'";
    }
    line += " </dev/null >'" + out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(line.c_str());
    auto slurp = [](const std::filesystem::path& path) {
      std::ifstream in(path);
      std::stringstream text;
      text << in.rdbuf();
      return text.str();
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
  }

  std::string Scalar(const std::string& sql) {
    Recordset rs;
    rs.Open(sql, &m_Admin);
    return rs.Eof() ? "" : rs.Value(0).ToText();
  }
  // 0 or the server's error for read, write and structure in the archive;
  // empty when the login cannot reach it at all.
  std::vector<std::int32_t> Abilities(const std::string& login, const std::string& password) {
    Connection connection;
    connection.SetConnectionString(RegistrationString(login, password) +
                                   "Initial Catalog=Brindlewick_Desk;");
    try {
      connection.Open();
    } catch (const DataError&) {
      return {};
    }
    std::vector<std::int32_t> out;
    for (const char* sql : {"SELECT * FROM Document", "DELETE FROM Document WHERE 1 = 0",
                            "DELETE FROM Folder WHERE 1 = 0"}) {
      try {
        connection.Execute(sql);
        out.push_back(0);
      } catch (const DataError& error) {
        out.push_back(error.ServerNumber());
      }
    }
    return out;
  }

  std::filesystem::path m_Home;
  Connection m_Admin;
};

TEST_F(BwctlSecurity, SqlLoginAddedChangedListedAndRemoved) {
  CreateArchive();
  const std::string name = "o'hara";
  const std::string password = "pa'ss; word";
  Run added = Bwctl({"login", "add", "1", name, "--password-file", PasswordFile("a", password),
                     "--role", "dbcreator", "--archive", "desk:reader"});
  ASSERT_EQ(added.code, 0) << added.err;
  EXPECT_NE(added.out.find("The user 'o'hara' has been added."), std::string::npos) << added.out;
  EXPECT_EQ(added.out.find(password), std::string::npos);
  EXPECT_EQ(added.err.find(password), std::string::npos);
  EXPECT_EQ(Abilities(name, password), (std::vector<std::int32_t>{0, kDenied, kDenied}));
  EXPECT_EQ(Scalar("SELECT IS_SRVROLEMEMBER('dbcreator', 'o''hara')"), "1");

  Run list = Bwctl({"login", "list", "1"});
  ASSERT_EQ(list.code, 0) << list.err;
  std::istringstream lines(list.out);
  std::string line, row;
  while (std::getline(lines, line)) {
    if (line.rfind("o'hara ", 0) == 0) row = line;
  }
  EXPECT_NE(row.find("Standard"), std::string::npos) << list.out;
  EXPECT_NE(row.find("dbcreator"), std::string::npos) << row;
  EXPECT_NE(row.find("Desk"), std::string::npos) << row;

  Run set =
      Bwctl({"login", "set", "1", name, "--no-role", "dbcreator", "--archive", "Desk:writer"});
  ASSERT_EQ(set.code, 0) << set.err;
  EXPECT_EQ(Abilities(name, password), (std::vector<std::int32_t>{0, 0, kDenied}));
  EXPECT_EQ(Scalar("SELECT IS_SRVROLEMEMBER('dbcreator', 'o''hara')"), "0");

  // Passwords: 129 characters refused, 128 taken; the old one then fails.
  Run tooLong = Bwctl({"login", "password", "1", name, "--password-file",
                       PasswordFile("long", std::string(129, 'L'))});
  EXPECT_EQ(tooLong.code, 1);
  EXPECT_NE(tooLong.err.find(LoadResString(168)), std::string::npos) << tooLong.err;
  const std::string longest(128, 'L');
  Run changed =
      Bwctl({"login", "password", "1", name, "--password-file", PasswordFile("longest", longest)});
  ASSERT_EQ(changed.code, 0) << changed.err;
  EXPECT_EQ(Abilities(name, longest).size(), 3u);
  EXPECT_TRUE(Abilities(name, password).empty());
  // No terminal to ask on, and no file: nothing is changed.
  EXPECT_EQ(Bwctl({"login", "password", "1", name}).code, 2);

  Run declined = Bwctl({"login", "remove", "1", name});
  EXPECT_EQ(declined.code, 4) << declined.err;
  EXPECT_NE(declined.err.find(FormatResString(60, {name})), std::string::npos) << declined.err;
  Run removed = Bwctl({"--yes", "login", "remove", "1", name});
  ASSERT_EQ(removed.code, 0) << removed.err;
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM master.dbo.syslogins WHERE loginname = 'o''hara'"), "0");
}

TEST_F(BwctlSecurity, WindowsLoginsDeniedGrantedAndAnUnknownAccount) {
  Run denied = Bwctl({"login", "add", "1", "SHOP\\carol", "--windows", "--deny"});
  ASSERT_EQ(denied.code, 0) << denied.err;
  EXPECT_EQ(Scalar("SELECT denylogin FROM master.dbo.syslogins WHERE loginname = 'SHOP\\carol'"),
            "1");
  Run granted = Bwctl({"login", "set", "1", "SHOP\\carol", "--grant"});
  ASSERT_EQ(granted.code, 0) << granted.err;
  EXPECT_EQ(Scalar("SELECT denylogin FROM master.dbo.syslogins WHERE loginname = 'SHOP\\carol'"),
            "0");
  EXPECT_EQ(
      Bwctl({"login", "set", "1", "SHOP\\carol", "--password-file", PasswordFile("w", "x")}).code,
      2);

  Run unknown = Bwctl({"login", "add", "1", "SHOP\\nobody", "--windows"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_EQ(unknown.err.rfind(Printed(LoadResString(120)) + "\n", 0), 0u) << unknown.err;
  EXPECT_NE(
      unknown.err.find("\n\n" + Printed(LoadResString(121)) + "\n" + Printed(LoadResString(122))),
      std::string::npos)
      << unknown.err;
}

TEST_F(BwctlSecurity, WithoutSecurityAdministrationRefusedBeforeAnyQuestion) {
  CreateArchive();
  m_Admin.Execute("EXEC sp_addlogin 'plain', 'Plain-pw-1'");
  m_Admin.Execute("EXEC sp_addlogin 'victim', 'Victim-pw-1'");
  Run registered = Bwctl({"server", "add", "--data-source", DataSource(), "--user", "plain",
                          "--password-file", PasswordFile("plain", "Plain-pw-1")});
  ASSERT_EQ(registered.code, 0) << registered.err;
  const std::string id = "2";

  struct Case {
    std::vector<std::string> arguments;
    std::string refusal;
  } cases[] = {
      {{"login", "add", id, "newcomer"}, "You do not have the permission to add new user"},
      {{"--yes", "login", "remove", id, "victim"},
       "You do not have the permission to remove logins"},
      {{"login", "password", id, "victim"}, Printed(LoadResString(119))},
      {{"login", "set", id, "victim", "--role", "sysadmin"}, Printed(LoadResString(119))},
  };
  for (const Case& c : cases) {
    Run run = Bwctl(c.arguments);
    EXPECT_EQ(run.code, 3) << c.arguments[1] << ": " << run.err;
    EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Do you want"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("password:"), std::string::npos) << run.err;
  }
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM master.dbo.syslogins WHERE loginname = 'victim'"), "1");
  EXPECT_EQ(Scalar("SELECT IS_SRVROLEMEMBER('sysadmin', 'victim')"), "0");
  EXPECT_EQ(Bwctl({"--yes", "server", "remove", id}).code, 0);
}

TEST_F(BwctlSecurity, ArchiveUsersAddedChangedAndRemoved) {
  CreateArchive();
  m_Admin.Execute("EXEC sp_addlogin 'clerk', 'Clerk-pw-1'");
  Run added =
      Bwctl({"user", "add", "1", "Desk", "clerk", "--name", "desk clerk", "--role", "reader"});
  ASSERT_EQ(added.code, 0) << added.err;
  EXPECT_EQ(Abilities("clerk", "Clerk-pw-1"), (std::vector<std::int32_t>{0, kDenied, kDenied}));
  EXPECT_EQ(Bwctl({"user", "add", "1", "Desk", "clerk"}).code, 1) << "already a user";

  Run list = Bwctl({"user", "list", "1", "Desk"});
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_NE(list.out.find("desk clerk"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("bw_reader"), std::string::npos) << list.out;

  ASSERT_EQ(Bwctl({"user", "set", "1", "Desk", "desk clerk", "--role", "structurer"}).code, 0);
  EXPECT_EQ(Abilities("clerk", "Clerk-pw-1"), (std::vector<std::int32_t>{0, 0, 0}));
  ASSERT_EQ(Bwctl({"user", "set", "1", "Desk", "desk clerk", "--no-role", "writer"}).code, 0);
  EXPECT_EQ(Abilities("clerk", "Clerk-pw-1"), (std::vector<std::int32_t>{0, kDenied, kDenied}));

  Run declined = Bwctl({"user", "remove", "1", "Desk", "desk clerk"});
  EXPECT_EQ(declined.code, 4);
  EXPECT_NE(declined.err.find(FormatResString(57, {"desk clerk"})), std::string::npos);
  ASSERT_EQ(Bwctl({"--yes", "user", "remove", "1", "Desk", "desk clerk"}).code, 0);
  EXPECT_TRUE(Abilities("clerk", "Clerk-pw-1").empty());
  EXPECT_EQ(Bwctl({"user", "set", "1", "Desk", "nobody", "--role", "reader"}).code, 1);
}

}  // namespace
}  // namespace bw
