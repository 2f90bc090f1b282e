// The SQL log against a started sqlstandin: what each statement's entry
// says, that passwords never reach it, and that a refused command sent
// nothing — in process (counting entries at the question) and through
// bwctl's --sql-log and BW_SQL_LOG.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "BwctlProcess.h"
#include "StandinFixture.h"
#include "commands/ArchiveCommands.h"
#include "commands/security/AddLoginWizard.h"
#include "data/DataAccess.h"
#include "data/SqlLog.h"
#include "servers/Servers.h"

namespace bw {
namespace {

using testing::BwctlRun;

constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";

// Every entry the log receives while it lives.
class Recorder {
 public:
  Recorder() : m_Id(SqlLog::Subscribe([this](const SqlLogEntry& e) { m_Entries.push_back(e); })) {}
  ~Recorder() { SqlLog::Unsubscribe(m_Id); }
  const std::vector<SqlLogEntry>& Entries() const { return m_Entries; }
  bool Sent(const std::string& fragment) const {
    for (const SqlLogEntry& entry : m_Entries) {
      if (entry.text.find(fragment) != std::string::npos) return true;
    }
    return false;
  }

 private:
  int m_Id;
  std::vector<SqlLogEntry> m_Entries;
};

// Answers every question No and notes how many entries the log had then.
class CountingNo : public MessageService {
 public:
  explicit CountingNo(const Recorder& recorder) : m_Recorder(recorder) {}
  MsgResult Show(const std::string&, int, const std::string&) override {
    m_AtQuestion.push_back(m_Recorder.Entries().size());
    return MsgResult::No;
  }
  std::vector<std::size_t> m_AtQuestion;

 private:
  const Recorder& m_Recorder;
};

// One entry of the log file, as a reader would take it apart.
struct FileEntry {
  std::string server, database, login, outcome, text;
};

std::vector<FileEntry> ReadLog(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<FileEntry> entries;
  const std::regex header(
      R"(-- \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z server=(\S+) database=(\S+) login=(\S+) )"
      R"(duration=\d+\.\d{3}ms (ok|rows=-?\d+|error=[0-9A-Fx,]+))");
  std::string line;
  while (std::getline(in, line)) {
    std::smatch match;
    if (std::regex_match(line, match, header)) {
      entries.push_back({match[1], match[2], match[3], match[4], ""});
    } else if (!entries.empty() && line != "GO") {
      entries.back().text += (entries.back().text.empty() ? "" : "\n") + line;
    } else if (entries.empty()) {
      ADD_FAILURE() << "not an entry's header: " << line;
    }
  }
  return entries;
}

class SqlLogAgainstStandin : public bw::testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-sql-log", &m_Messages);
    std::filesystem::create_directories(m_Home);
  }
  void TearDown() override { LeaveProfile(m_Home); }

  ScriptedMessageService m_Messages;
  std::filesystem::path m_Home;
};

TEST_F(SqlLogAgainstStandin, EntriesSayWhereWhoAndHowItEnded) {
  Recorder recorder;
  Connection connection;
  connection.SetConnectionString(RegistrationString());
  connection.Open();
  connection.Execute("CREATE TABLE #t (a int) INSERT #t VALUES (1) INSERT #t VALUES (2)");
  EXPECT_THROW(connection.Execute("SELECT * FROM no_such_table"), DataError);
  {
    Recordset rows;
    rows.Open("SELECT a FROM #t", &connection);
  }
  connection.Execute("USE tempdb");
  connection.Execute("SELECT 1");

  const auto& entries = recorder.Entries();
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_TRUE(entries[0].connect);
  EXPECT_EQ(entries[0].text.find(kSaPassword), std::string::npos) << entries[0].text;
  EXPECT_NE(entries[0].text.find("PWD=********"), std::string::npos) << entries[0].text;
  for (const SqlLogEntry& entry : entries) {
    EXPECT_EQ(entry.server, DataSource());
    EXPECT_EQ(entry.login, "sa");
  }
  EXPECT_FALSE(entries[1].failed);
  EXPECT_EQ(entries[1].rowsAffected, 1);  // the last count of the batch
  EXPECT_EQ(entries[1].database, "master");
  EXPECT_TRUE(entries[2].failed);
  EXPECT_EQ(entries[2].errors, std::vector<std::int32_t>{208});
  EXPECT_EQ(entries[3].text, "SELECT a FROM #t");
  EXPECT_FALSE(entries[3].failed);
  EXPECT_EQ(entries[4].database, "master");  // where USE was sent
  EXPECT_EQ(entries[5].database, "tempdb");
}

TEST_F(SqlLogAgainstStandin, RefusedCommandsSendNothing) {
  Servers servers;
  std::string registration = RegistrationString();
  Server* server = servers.Add(registration);
  ASSERT_NE(server, nullptr);
  ASSERT_NE(server->Databases().AddNew("Kept", std::string(kDataFolder) + "Kept.mdf"), nullptr);
  Database* archive = nullptr;
  for (Database* candidate : server->Databases().NewEnum()) archive = candidate;
  ASSERT_NE(archive, nullptr);

  Recorder recorder;
  CountingNo no(recorder);
  SetMessageService(&no);
  // Answered No: nothing after the question.
  EXPECT_EQ(commands::DeleteDatabase(server->Databases(), *archive), commands::Outcome::Declined);
  ASSERT_EQ(no.m_AtQuestion.size(), 1u);
  EXPECT_EQ(recorder.Entries().size(), no.m_AtQuestion[0]);
  EXPECT_FALSE(recorder.Sent("DROP DATABASE"));

  // Refused by validation: the confirmation differs, so nothing at all.
  commands::security::AddLoginWizard wizard(*server);
  wizard.Next();
  wizard.SelectWindowsAuthentication(false);
  ASSERT_TRUE(wizard.Next());
  wizard.SetLoginName("clerk");
  wizard.SetPassword("one");
  wizard.SetConfirmation("two");
  const std::size_t before = recorder.Entries().size();
  EXPECT_FALSE(wizard.Next());
  EXPECT_EQ(recorder.Entries().size(), before);
  SetMessageService(&m_Messages);

  // The same archive deleted for real is in the log: the check can fail.
  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(commands::DeleteDatabase(server->Databases(), *archive), commands::Outcome::Done);
  EXPECT_TRUE(recorder.Sent("DROP DATABASE"));
}

TEST_F(SqlLogAgainstStandin, BwctlWritesTheFileWithPasswordsMasked) {
  const auto log = m_Home / "statements.sql";
  std::ofstream(m_Home / "sa.pw") << kSaPassword << "\n";
  // Quotes, semicolons and a connection-string keyword in the password.
  const std::string password = "pa'ss;\"PWD=x; y";
  std::ofstream(m_Home / "clerk.pw") << password << "\n";
  auto bwctl = [&](std::vector<std::string> arguments, std::vector<std::string> environment = {}) {
    return testing::RunBwctl(m_Home, arguments, environment);
  };
  BwctlRun added = bwctl({"--sql-log", log.string(), "server", "add", "--data-source", DataSource(),
                          "--user", "sa", "--password-file", (m_Home / "sa.pw").string()});
  ASSERT_EQ(added.code, 0) << added.err;
  ASSERT_EQ(bwctl({"--sql-log=" + log.string(), "login", "add", "1", "log'clerk", "--password-file",
                   (m_Home / "clerk.pw").string()})
                .code,
            0);
  ASSERT_EQ(bwctl({"login", "password", "1", "log'clerk", "--password-file",
                   (m_Home / "clerk.pw").string()},
                  {"BW_SQL_LOG=" + log.string()})
                .code,
            0);
  ASSERT_EQ(
      bwctl({"--yes", "login", "remove", "1", "log'clerk"}, {"BW_SQL_LOG=" + log.string()}).code,
      0);

  std::ifstream in(log);
  std::stringstream whole;
  whole << in.rdbuf();
  EXPECT_EQ(whole.str().find(kSaPassword), std::string::npos);
  EXPECT_EQ(whole.str().find("pa'ss"), std::string::npos);
  EXPECT_EQ(whole.str().find("pa''ss"), std::string::npos);
  EXPECT_EQ(whole.str().find("x; y"), std::string::npos);

  bool addLogin = false, newPassword = false, connected = false;
  for (const FileEntry& entry : ReadLog(log)) {
    EXPECT_EQ(entry.server, DataSource());
    EXPECT_EQ(entry.login, "sa");
    if (entry.text.find("sp_addlogin") != std::string::npos) {
      addLogin = true;
      EXPECT_NE(entry.text.find("'********'"), std::string::npos) << entry.text;
      EXPECT_EQ(entry.outcome.rfind("error", 0), std::string::npos) << entry.outcome;
    }
    if (entry.text.find("sp_password") != std::string::npos) {
      newPassword = true;
      EXPECT_NE(entry.text.find("@new='********'"), std::string::npos) << entry.text;
    }
    if (entry.text.rfind("-- connect ", 0) == 0) connected = true;
  }
  EXPECT_TRUE(addLogin && newPassword && connected) << whole.str();

  // A log that cannot be written stops bwctl before it sends anything.
  BwctlRun unwritable =
      bwctl({"--sql-log", (m_Home / "no/such/folder.sql").string(), "server", "list"});
  EXPECT_EQ(unwritable.code, 1);
  EXPECT_NE(unwritable.err.find("SQL log"), std::string::npos) << unwritable.err;
}

TEST_F(SqlLogAgainstStandin, BwctlDeclinedQuestionLeavesNoChangeInTheFile) {
  const auto declined = m_Home / "declined.sql", confirmed = m_Home / "confirmed.sql";
  std::ofstream(m_Home / "sa.pw") << kSaPassword << "\n";
  auto bwctl = [&](std::vector<std::string> arguments) {
    return testing::RunBwctl(m_Home, arguments);
  };
  ASSERT_EQ(bwctl({"server", "add", "--data-source", DataSource(), "--user", "sa",
                   "--password-file", (m_Home / "sa.pw").string()})
                .code,
            0);
  ASSERT_EQ(bwctl({"archive", "create", "1", "Asked", std::string(kDataFolder) + "Asked.mdf"}).code,
            0);
  // Nobody on the terminal: the question counts as No.
  EXPECT_EQ(bwctl({"--sql-log", declined.string(), "archive", "delete", "1", "Asked"}).code, 4);
  EXPECT_EQ(
      bwctl({"--sql-log", confirmed.string(), "--yes", "archive", "delete", "1", "Asked"}).code, 0);
  auto dropped = [](const std::vector<FileEntry>& entries) {
    for (const FileEntry& entry : entries) {
      if (entry.text.find("DROP DATABASE") != std::string::npos) return true;
    }
    return false;
  };
  const std::vector<FileEntry> asked = ReadLog(declined);
  EXPECT_FALSE(asked.empty());  // the look-ups before the question are there
  EXPECT_FALSE(dropped(asked));
  EXPECT_TRUE(dropped(ReadLog(confirmed)));
}

}  // namespace
}  // namespace bw
