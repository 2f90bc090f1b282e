// The engine as the protocol layer uses it: data directory, logins, sessions,
// concurrency, cancel, transactions, RPC and crash safety.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "engine/Engine.h"
#include "slt/InProcessBackend.h"

namespace standin::engine {
namespace {

constexpr const char* kPassword = "Engine#Test1";

class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    m_Dir = std::filesystem::temp_directory_path() /
            ("sqlstandin-engine-test-" + std::to_string(getpid()) + "-" + std::to_string(random()));
  }
  void TearDown() override { std::filesystem::remove_all(m_Dir); }

  std::unique_ptr<Engine> Open(std::string password = kPassword) {
    EngineOptions options;
    options.dataDir = m_Dir.string();
    options.saPassword = std::move(password);
    options.serverName = "TESTSERVER";
    return Engine::Open(options);
  }

  static std::unique_ptr<Session> LoginSa(Engine& engine, std::string database = "") {
    LoginRequest request;
    request.userName = "sa";
    request.password = kPassword;
    request.database = std::move(database);
    return engine.Login(request);
  }

  static slt::Outcome Run(Session& session, const std::string& sql) {
    slt::CollectingSink sink;
    session.ExecuteBatch(sql, sink);
    return sink.Result();
  }

  static std::string Scalar(Session& session, const std::string& sql) {
    slt::Outcome outcome = Run(session, sql);
    EXPECT_TRUE(outcome.ok) << sql << ": " << outcome.errorText;
    if (outcome.resultSets.empty() || outcome.resultSets.back().rows.empty()) return "<none>";
    return outcome.resultSets.back().rows[0][0];
  }

  std::filesystem::path m_Dir;
};

TEST_F(EngineTest, NewDataDirectoryNeedsThePassword) {
  EXPECT_THROW(Open(""), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(m_Dir / "C" / "Program Files" / "Microsoft SQL Server" /
                                       "MSSQL" / "Data" / "master.mdf"));
  Open().reset();
  EXPECT_TRUE(std::filesystem::exists(m_Dir / "C" / "Program Files" / "Microsoft SQL Server" /
                                      "MSSQL" / "Data" / "master.mdf"));
  // An existing one opens without it, and keeps the sa password it was made with.
  auto engine = Open("");
  EXPECT_NO_THROW(LoginSa(*engine));
}

TEST_F(EngineTest, PasswordsAreStoredSaltedNotInClearText) {
  auto engine = Open();
  engine->Shutdown();
  engine.reset();
  std::ifstream master(
      m_Dir / "C" / "Program Files" / "Microsoft SQL Server" / "MSSQL" / "Data" / "master.mdf",
      std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(master)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.find(kPassword), std::string::npos);
}

TEST_F(EngineTest, RefusedLoginsCarrySqlServersErrors) {
  auto engine = Open();
  struct Case {
    const char* user;
    const char* password;
    const char* database;
    std::int32_t number;
    const char* text;
  };
  const Case cases[] = {
      {"sa", "wrong", "", 18456, "Login failed for user 'sa'."},
      {"nobody", kPassword, "", 18456, "Login failed for user 'nobody'."},
      {"sa", "", "", 18456, "Login failed for user 'sa'."},
      {"sa", kPassword, "nodb", 4060,
       "Cannot open database requested in login 'nodb'. Login fails."},
  };
  for (const Case& c : cases) {
    LoginRequest request{c.user, c.password, c.database, "host", "app"};
    try {
      engine->Login(request);
      ADD_FAILURE() << c.user << "/" << c.password << " logged in";
    } catch (const SqlError& error) {
      EXPECT_EQ(error.Msg().number, c.number);
      EXPECT_EQ(error.Msg().text, c.text);
      EXPECT_EQ(error.Msg().state, 1);
    }
  }
  // The login name compares without regard to case, the password does not.
  LoginRequest upper{"SA", kPassword, "", "", ""};
  EXPECT_NO_THROW(engine->Login(upper));
}

TEST_F(EngineTest, SpidsStartAt51AndAreUniqueAmongLiveSessions) {
  auto engine = Open();
  auto first = LoginSa(*engine);
  auto second = LoginSa(*engine);
  EXPECT_EQ(first->Spid(), 51);
  EXPECT_EQ(second->Spid(), 52);
  EXPECT_EQ(Scalar(*second, "SELECT @@SPID"), "52");
  first.reset();
  auto third = LoginSa(*engine);
  EXPECT_EQ(third->Spid(), 51);
}

TEST_F(EngineTest, DataSurvivesReopening) {
  {
    auto engine = Open();
    auto session = LoginSa(*engine);
    ASSERT_TRUE(Run(*session, "CREATE DATABASE Archive").ok);
    ASSERT_TRUE(
        Run(*session, "USE Archive CREATE TABLE Doc (id int IDENTITY(1,1), body ntext)").ok);
    ASSERT_TRUE(
        Run(*session, "INSERT Doc (body) VALUES (N'first') INSERT Doc (body) VALUES (N'second')")
            .ok);
  }
  EXPECT_TRUE(std::filesystem::exists(m_Dir / "C" / "Program Files" / "Microsoft SQL Server" /
                                      "MSSQL" / "Data" / "Archive_log.LDF"));
  auto engine = Open("");
  auto session = LoginSa(*engine, "Archive");
  EXPECT_EQ(Scalar(*session, "SELECT body FROM Doc WHERE id = 2"), "second");
  ASSERT_TRUE(Run(*session, "INSERT Doc (body) VALUES (N'third')").ok);
  EXPECT_EQ(Scalar(*session, "SELECT SCOPE_IDENTITY()"), "3");
}

TEST_F(EngineTest, ConcurrentSessionsLoseNoInserts) {
  auto engine = Open();
  {
    auto session = LoginSa(*engine);
    ASSERT_TRUE(
        Run(*session, "CREATE TABLE Hits (id int IDENTITY(1,1) PRIMARY KEY, worker int, n int)")
            .ok);
  }
  constexpr int kWorkers = 20, kInserts = 500;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int worker = 0; worker < kWorkers; ++worker) {
    threads.emplace_back([&, worker] {
      auto session = LoginSa(*engine);
      for (int n = 0; n < kInserts; ++n) {
        slt::Outcome outcome =
            Run(*session, "INSERT Hits (worker, n) VALUES (" + std::to_string(worker) + ", " +
                              std::to_string(n) + ")");
        if (!outcome.ok) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  auto session = LoginSa(*engine);
  EXPECT_EQ(Scalar(*session, "SELECT COUNT(*) FROM Hits"), std::to_string(kWorkers * kInserts));
  EXPECT_EQ(Scalar(*session, "SELECT COUNT(DISTINCT id) FROM Hits"),
            std::to_string(kWorkers * kInserts));
  EXPECT_EQ(Scalar(*session, "SELECT MAX(id) FROM Hits"), std::to_string(kWorkers * kInserts));
}

TEST_F(EngineTest, AWriterWaitsForAnotherSessionsTransaction) {
  auto engine = Open();
  auto holder = LoginSa(*engine);
  auto waiter = LoginSa(*engine);
  ASSERT_TRUE(Run(*holder, "CREATE TABLE t (a int)").ok);
  ASSERT_TRUE(Run(*holder, "BEGIN TRAN INSERT t VALUES (1)").ok);
  std::atomic<bool> done{false};
  slt::Outcome waited;
  std::thread thread([&] {
    waited = Run(*waiter, "INSERT t VALUES (2)");
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(done.load());  // blocked, not failed
  // Readers see only committed data meanwhile.
  auto reader = LoginSa(*engine);
  EXPECT_EQ(Scalar(*reader, "SELECT COUNT(*) FROM t"), "0");
  ASSERT_TRUE(Run(*holder, "COMMIT").ok);
  thread.join();
  EXPECT_TRUE(waited.ok) << waited.errorText;
  EXPECT_EQ(Scalar(*reader, "SELECT COUNT(*) FROM t"), "2");
}

TEST_F(EngineTest, CancelStopsARunningBatch) {
  auto engine = Open();
  auto session = LoginSa(*engine);
  ASSERT_TRUE(Run(*session, "CREATE TABLE n (i int)").ok);
  ASSERT_TRUE(
      Run(*session,
          "DECLARE @i int SET @i = 0 WHILE @i < 300 BEGIN INSERT n VALUES (@i) SET @i = @i + 1 END")
          .ok);
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    session->RequestCancel();
  });
  const auto start = std::chrono::steady_clock::now();
  slt::Outcome outcome = Run(*session, "SELECT COUNT(*) FROM n a, n b, n c, n d SELECT 'after'");
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  for (const slt::ResultSet& set : outcome.resultSets) {
    for (const auto& row : set.rows) EXPECT_NE(row[0], "after");  // the batch stopped
  }
  // The session goes on working afterwards.
  EXPECT_EQ(Scalar(*session, "SELECT COUNT(*) FROM n"), "300");
}

TEST_F(EngineTest, TransactionsReportTheirDescriptors) {
  auto engine = Open();
  auto session = LoginSa(*engine);
  slt::CollectingSink sink;
  session->ExecuteBatch("BEGIN TRAN BEGIN TRAN SELECT @@TRANCOUNT COMMIT COMMIT", sink);
  ASSERT_TRUE(sink.Result().ok);
  ASSERT_EQ(sink.Changes().size(), 2u);  // outermost begin and final commit only
  EXPECT_EQ(sink.Changes()[0].type, EnvChangeType::BeginTransaction);
  EXPECT_EQ(sink.Changes()[0].newValue.size(), 8u);
  EXPECT_EQ(sink.Changes()[1].type, EnvChangeType::CommitTransaction);
  EXPECT_EQ(sink.Changes()[1].oldValue, sink.Changes()[0].newValue);
  EXPECT_EQ(sink.Result().resultSets[0].rows[0][0], "2");
}

TEST_F(EngineTest, SpExecuteSqlRunsAParameterisedStatement) {
  auto engine = Open();
  auto session = LoginSa(*engine);
  ASSERT_TRUE(Run(*session,
                  "CREATE TABLE p (a int, b nvarchar(20)) INSERT p VALUES (1, N'one') INSERT p "
                  "VALUES (2, N'two')")
                  .ok);
  std::vector<Parameter> parameters(4);
  parameters[0].value = std::string("SELECT @out = b FROM p WHERE a = @key");
  parameters[1].value = std::string("@key int, @out nvarchar(20) OUTPUT");
  parameters[2].name = "@key";
  parameters[2].type.id = TypeId::Int;
  parameters[2].value = std::int64_t{2};
  parameters[3].name = "@out";
  parameters[3].type = ColumnType{TypeId::NVarChar, 20, 0, 0};
  parameters[3].output = true;
  slt::CollectingSink sink;
  session->ExecuteRpc("sp_executesql", parameters, sink);
  ASSERT_TRUE(sink.Result().ok) << sink.Result().errorText;
  ASSERT_EQ(sink.Result().resultSets.size(), 1u);  // the RETURNVALUE
  EXPECT_EQ(sink.Result().resultSets[0].rows[0][0], "two");
  ASSERT_FALSE(sink.Dones().empty());
  EXPECT_EQ(sink.Dones().back().kind, Done::Kind::Procedure);
  EXPECT_EQ(sink.Dones().front().kind, Done::Kind::InProcedure);

  slt::CollectingSink missing;
  session->ExecuteRpc("sp_no_such_thing", {}, missing);
  EXPECT_EQ(missing.Result().errorNumber, 50100);
}

TEST_F(EngineTest, LargeValuesRoundTripExactly) {
  auto engine = Open();
  auto session = LoginSa(*engine);
  ASSERT_TRUE(Run(*session, "CREATE TABLE big (id int, doc ntext NULL, img image NULL)").ok);
  std::string text;
  for (int i = 0; text.size() < 6 * 1024 * 1024; ++i)
    text += "Zeile " + std::to_string(i) + " äöü\n";
  Bytes image(3 * 1024 * 1024 + 51);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  image.back() = 0;  // a trailing zero byte stays
  std::vector<Parameter> parameters(4);
  parameters[0].value = std::string("INSERT big VALUES (1, @doc, @img)");
  parameters[1].value = std::string("@doc ntext, @img image");
  parameters[2] = Parameter{"@doc", ColumnType{TypeId::NText, 0, 0, 0}, text, false};
  parameters[3] = Parameter{"@img", ColumnType{TypeId::Image, 0, 0, 0}, image, false};
  slt::CollectingSink insert;
  session->ExecuteRpc("sp_executesql", parameters, insert);
  ASSERT_TRUE(insert.Result().ok) << insert.Result().errorText;

  class Capture : public slt::CollectingSink {
   public:
    void Row(const std::vector<Value>& row) override { rows.push_back(row); }
    std::vector<std::vector<Value>> rows;
  } capture;
  session->ExecuteBatch("SELECT doc, img, DATALENGTH(img) FROM big", capture);
  ASSERT_EQ(capture.rows.size(), 1u);
  EXPECT_EQ(std::get<std::string>(capture.rows[0][0]), text);
  EXPECT_EQ(std::get<Bytes>(capture.rows[0][1]), image);
  EXPECT_EQ(std::get<std::int64_t>(capture.rows[0][2]), static_cast<std::int64_t>(image.size()));
}

TEST_F(EngineTest, RaiserrorFormatsItsMessage) {
  auto engine = Open();
  auto session = LoginSa(*engine);
  slt::CollectingSink sink;
  session->ExecuteBatch(
      "\n\nRAISERROR ('Archive %s has %d documents, 100%%', 15, 3, N'Letters', 42)", sink);
  ASSERT_EQ(sink.Errors().size(), 1u);
  const Message& message = sink.Errors()[0];
  EXPECT_EQ(message.number, 50000);
  EXPECT_EQ(message.severity, 15);
  EXPECT_EQ(message.state, 3);
  EXPECT_EQ(message.line, 3);
  EXPECT_EQ(message.text, "Archive Letters has 42 documents, 100%");
}

TEST_F(EngineTest, ProductVersionSevenLooksLikeSqlServer7) {
  EngineOptions options;
  options.dataDir = m_Dir.string();
  options.saPassword = kPassword;
  options.productVersion = 7;
  auto engine = Engine::Open(options);
  EXPECT_EQ(engine->ProductVersion(), "7.00.1063");
  auto session = LoginSa(*engine);
  const std::string version = Scalar(*session, "SELECT @@VERSION");
  EXPECT_EQ(version.rfind("Microsoft SQL Server  7.00 - 7.00.1063 (Intel X86) \\n\\t", 0), 0u)
      << version;
  EXPECT_NE(version.find("sqlstandin"), std::string::npos);
  options.productVersion = 6;
  EXPECT_THROW(Engine::Open(options), std::runtime_error);
}

TEST_F(EngineTest, ShutdownKillsSessions) {
  auto engine = Open();
  auto session = LoginSa(*engine);
  std::atomic<bool> killed{false};
  session->SetKillHandler([&] { killed = true; });
  std::thread closer([&] {
    while (!killed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    session.reset();
  });
  engine->Shutdown();
  closer.join();
  EXPECT_TRUE(killed.load());
}

TEST_F(EngineTest, KilledProcessLeavesCommittedDataReadable) {
  {
    auto engine = Open();
    auto session = LoginSa(*engine);
    ASSERT_TRUE(Run(*session, "CREATE TABLE k (n int NOT NULL, pad nvarchar(200))").ok);
  }
  int progress[2];
  ASSERT_EQ(pipe(progress), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(progress[0]);
    auto engine = Open("");
    auto session = LoginSa(*engine);
    for (int n = 1;; ++n) {
      slt::Outcome outcome =
          Run(*session, "INSERT k VALUES (" + std::to_string(n) + ", REPLICATE(N'x', 200))");
      if (!outcome.ok) _exit(3);
      if (write(progress[1], &n, sizeof n) != sizeof n) _exit(4);
    }
  }
  close(progress[1]);
  int committed = 0, n = 0;
  while (committed < 200 && read(progress[0], &n, sizeof n) == sizeof n) committed = n;
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  while (read(progress[0], &n, sizeof n) == sizeof n) committed = n;
  close(progress[0]);
  ASSERT_GE(committed, 200);
  auto engine = Open("");
  auto session = LoginSa(*engine);
  const int count = std::stoi(Scalar(*session, "SELECT COUNT(*) FROM k"));
  EXPECT_GE(count, committed);      // every reported commit is there
  EXPECT_LE(count, committed + 1);  // at most the one in flight
  EXPECT_EQ(Scalar(*session, "SELECT MAX(n) FROM k"), std::to_string(count));
}

}  // namespace
}  // namespace standin::engine

namespace standin::engine {
namespace {

// Keeps every error of a batch, where the SQL-logic sink keeps the first.
class AllErrorsSink : public slt::CollectingSink {
 public:
  void Error(const Message& message) override {
    numbers.push_back(message.number);
    slt::CollectingSink::Error(message);
  }
  std::vector<std::int32_t> numbers;
};

TEST_F(EngineTest, SchemaObjectsSurviveReopeningInAnotherSession) {
  {
    auto engine = Open();
    auto session = LoginSa(*engine);
    ASSERT_TRUE(Run(*session, "CREATE DATABASE Archive").ok);
    ASSERT_TRUE(Run(*session,
                    "USE Archive CREATE TABLE Doc (id int NOT NULL, Url nvarchar(4000) NOT NULL) "
                    "INSERT Doc VALUES (1, N'one') CREATE INDEX IDX_Doc ON Doc (Url, id)")
                    .ok);
    ASSERT_TRUE(Run(*session, "CREATE VIEW dbo.Docs AS SELECT Doc.* FROM Doc WHERE id > 0").ok);
    ASSERT_TRUE(Run(*session,
                    "CREATE PROCEDURE DocByID @id int AS SELECT Url FROM Docs WHERE "
                    "id = @id")
                    .ok);
  }
  auto engine = Open("");
  auto session = LoginSa(*engine, "master");
  // Used from another database, so the archive is attached late and by name.
  EXPECT_EQ(Scalar(*session, "SELECT COUNT(*) FROM Archive.dbo.Docs"), "1");
  ASSERT_TRUE(Run(*session, "USE Archive").ok);
  EXPECT_EQ(Scalar(*session, "EXEC DocByID 1"), "one");
  EXPECT_EQ(Run(*session, "INSERT Doc VALUES (2, REPLICATE(N'x', 460))").errorNumber, 1946);

  // Each dependent is named (5074), then the statement fails (4922).
  AllErrorsSink sink;
  session->ExecuteBatch("ALTER TABLE Doc ALTER COLUMN Url varchar(4000)", sink);
  EXPECT_EQ(sink.numbers, (std::vector<std::int32_t>{5074, 4922}));
}

// The service-control endpoint trusts CheckCredentials alone: it must follow
// role changes, password changes and dropped logins at once.
TEST_F(EngineTest, CredentialsFollowLoginsAndServerRoles) {
  auto engine = Open();
  auto sa = LoginSa(*engine);
  EXPECT_EQ(engine->CheckCredentials("sa", kPassword), Engine::Credentials::SysAdmin);
  ASSERT_TRUE(Run(*sa, "EXEC sp_addlogin 'operator', 'Operator#Pw1'").ok);
  EXPECT_EQ(engine->CheckCredentials("operator", "Operator#Pw1"), Engine::Credentials::Valid);
  EXPECT_EQ(engine->CheckCredentials("operator", "operator#pw1"), Engine::Credentials::Unknown);
  ASSERT_TRUE(Run(*sa, "EXEC sp_addsrvrolemember 'operator', 'serveradmin'").ok);
  EXPECT_EQ(engine->CheckCredentials("OPERATOR", "Operator#Pw1"), Engine::Credentials::ServerAdmin);
  ASSERT_TRUE(Run(*sa, "EXEC sp_password NULL, 'Changed#Pw2', 'operator'").ok);
  EXPECT_EQ(engine->CheckCredentials("operator", "Operator#Pw1"), Engine::Credentials::Unknown);
  EXPECT_EQ(engine->CheckCredentials("operator", "Changed#Pw2"), Engine::Credentials::ServerAdmin);
  ASSERT_TRUE(Run(*sa, "EXEC sp_droplogin 'operator'").ok);
  EXPECT_EQ(engine->CheckCredentials("operator", "Changed#Pw2"), Engine::Credentials::Unknown);
}

TEST_F(EngineTest, PasswordsAreNeverStoredInClear) {
  const std::string password = "Clear#Text#Marker42";
  {
    auto engine = Open();
    auto sa = LoginSa(*engine);
    ASSERT_TRUE(Run(*sa, "EXEC sp_addlogin 'someone', '" + password + "'").ok);
    ASSERT_TRUE(Run(*sa, "EXEC sp_password NULL, '" + password + "x', 'someone'").ok);
    EXPECT_EQ(Scalar(*sa, "SELECT COUNT(*) FROM master.dbo.syslogins WHERE password IS NULL"), "2");
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(m_Dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    EXPECT_EQ(bytes.find(password), std::string::npos) << entry.path();
  }
}

TEST_F(EngineTest, InjectedFaultsFailMatchingStatementsInsteadOfRunningThem) {
  auto engine = Open();
  auto session = LoginSa(*engine);
  engine->InjectFault({"create   TABLE dbo.Folder", 1205, true});
  // The statement that matches fails without running; the batch goes on.
  slt::Outcome outcome = Run(*session,
                             "CREATE TABLE dbo.Document (a int)\n"
                             "CREATE TABLE dbo.Folder\n\t(a int)\n"
                             "CREATE TABLE dbo.Category (a int)");
  EXPECT_EQ(outcome.errorNumber, 1205);
  EXPECT_EQ(Scalar(*session,
                   "SELECT COUNT(*) FROM sysobjects WHERE name IN "
                   "('Document', 'Folder', 'Category')"),
            "2");
  // "once" is used up.
  EXPECT_TRUE(Run(*session, "CREATE TABLE dbo.Folder (a int)").ok);

  // "always" holds inside IF blocks and for RPC requests until cleared; a
  // number outside the error table still fails the statement, with a text
  // that says where it came from.
  engine->InjectFault({"sp_helpdb", 77777, false});
  for (int i = 0; i < 2; ++i) {
    outcome = Run(*session, "IF 1 = 1 BEGIN EXEC sp_helpdb END");
    EXPECT_EQ(outcome.errorNumber, 77777);
    EXPECT_EQ(outcome.errorText, "Error 77777 injected by sqlstandin.");
    slt::CollectingSink sink;
    session->ExecuteRpc("master.dbo.sp_helpdb", {}, sink);
    EXPECT_EQ(sink.Result().errorNumber, 77777);
    ASSERT_FALSE(sink.Dones().empty());
    EXPECT_EQ(sink.Dones().back().kind, Done::Kind::Procedure);
  }
  engine->ClearFaults();
  EXPECT_TRUE(Run(*session, "EXEC sp_helpdb").ok);

  EXPECT_THROW(engine->InjectFault({" \t ", 1205, true}), std::invalid_argument);
  EXPECT_THROW(engine->InjectFault({"x", 0, true}), std::invalid_argument);
}

// A server without the full-text service answers 0 (or NULL) and refuses
// the procedures, so a client's "not installed" branch can be tested.
TEST_F(EngineTest, FullTextServiceCanBeAbsentOrSilent) {
  for (const std::optional<int>& installed : {std::optional<int>(0), std::optional<int>()}) {
    EngineOptions options;
    options.dataDir = m_Dir.string();
    options.saPassword = kPassword;
    options.fullTextInstalled = installed;
    std::unique_ptr<Engine> engine = Engine::Open(options);
    std::unique_ptr<Session> session = LoginSa(*engine);
    const std::string expected = installed ? "0" : "NULL";
    EXPECT_EQ(Scalar(*session, "SELECT FULLTEXTSERVICEPROPERTY('IsFulltextInstalled')"), expected);
    EXPECT_EQ(Scalar(*session, "SELECT SERVERPROPERTY('IsFullTextInstalled')"), expected);
    for (const char* procedure :
         {"EXEC sp_fulltext_database 'enable'", "EXEC sp_help_fulltext_catalogs 'Doc_Desc'",
          "EXEC sp_fulltext_catalog 'Doc_Desc', 'create'"}) {
      slt::Outcome outcome = Run(*session, procedure);
      EXPECT_EQ(outcome.errorNumber, 7609) << procedure;
    }
    EXPECT_EQ(Scalar(*session, "SELECT FULLTEXTCATALOGPROPERTY('Doc_Desc', 'ItemCount')"), "NULL");
  }
}

// A drive kept outside the data directory holds databases like C: does, and
// ".." on it still stops at its root.
TEST_F(EngineTest, FurtherDriveLivesInItsOwnFolder) {
  const std::filesystem::path folder = m_Dir.string() + "-drive-d";
  std::filesystem::create_directories(folder / "Archives");
  EngineOptions options;
  options.dataDir = m_Dir.string();
  options.saPassword = kPassword;
  options.drives = {{'D', folder.string()}};
  {
    std::unique_ptr<Engine> engine = Engine::Open(options);
    std::unique_ptr<Session> session = LoginSa(*engine);
    slt::Outcome drives = Run(*session, "EXEC master..xp_fixeddrives");
    ASSERT_TRUE(drives.ok) << drives.errorText;
    std::string letters;
    for (const auto& row : drives.resultSets.at(0).rows) letters += row.at(0);
    EXPECT_EQ(letters, "CD");
    EXPECT_TRUE(Run(*session,
                    "CREATE DATABASE OnD ON (NAME = OnD, FILENAME = "
                    "'D:\\Archives\\..\\..\\..\\Archives\\OnD.mdf')")
                    .ok);
    EXPECT_TRUE(std::filesystem::exists(folder / "Archives" / "OnD.mdf"));
    EXPECT_TRUE(std::filesystem::exists(folder / "Archives" / "OnD_log.LDF"));
    EXPECT_EQ(Scalar(*session,
                     "SELECT COUNT(*) FROM master..sysaltfiles WHERE size > 0 AND "
                     "filename LIKE 'D:\\Archives\\%OnD%'"),
              "2");
    slt::Outcome tree = Run(*session, "EXEC master..xp_dirtree 'D:\\', 1, 1");
    ASSERT_TRUE(tree.ok);
    ASSERT_EQ(tree.resultSets.at(0).rows.size(), 1u);
    EXPECT_EQ(tree.resultSets.at(0).rows[0][0], "Archives");
  }
  std::filesystem::remove_all(folder);
}

TEST_F(EngineTest, RefusedBackupLogReportsThePermissionBeforeTheTermination) {
  auto engine = Open();
  auto sa = LoginSa(*engine);
  ASSERT_TRUE(Run(*sa,
                  "EXEC sp_addlogin 'clerk', 'Clerk#1' CREATE DATABASE Kept USE Kept "
                  "EXEC sp_grantdbaccess 'clerk'")
                  .ok);
  LoginRequest request;
  request.userName = "clerk";
  request.password = "Clerk#1";
  request.database = "Kept";
  auto clerk = engine->Login(request);
  slt::CollectingSink sink;
  clerk->ExecuteBatch("BACKUP LOG Kept WITH TRUNCATE_ONLY", sink);
  EXPECT_EQ(sink.Result().errorNumber, 262);
  EXPECT_EQ(sink.Result().errorText, "BACKUP LOG permission denied in database 'Kept'.");
}

}  // namespace
}  // namespace standin::engine
