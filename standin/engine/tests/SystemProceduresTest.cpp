// System procedures whose answers depend on the host or the product version:
// xp_msver, xp_fixeddrives, sp_helpdb's shapes for 7.0 and 2000, and the
// RPC path.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/Engine.h"
#include "slt/InProcessBackend.h"

namespace standin::engine {
namespace {

constexpr const char* kPassword = "Procs#Test1";

class SystemProceduresTest : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    m_Dir = std::filesystem::temp_directory_path() /
            ("sqlstandin-procs-test-" + std::to_string(getpid()) + "-" + std::to_string(random()));
  }
  void TearDown() override { std::filesystem::remove_all(m_Dir); }

  std::unique_ptr<Session> Start(int productVersion = 8) {
    EngineOptions options;
    options.dataDir = m_Dir.string();
    options.saPassword = kPassword;
    options.serverName = "PROCSERVER";
    options.productVersion = productVersion;
    m_Engine = Engine::Open(options);
    LoginRequest request;
    request.userName = "sa";
    request.password = kPassword;
    return m_Engine->Login(request);
  }

  static slt::Outcome Run(Session& session, const std::string& sql) {
    slt::CollectingSink sink;
    session.ExecuteBatch(sql, sink);
    return sink.Result();
  }

  static std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }

  std::filesystem::path m_Dir;
  std::unique_ptr<Engine> m_Engine;
};

TEST_F(SystemProceduresTest, MsverListsTwentyRowsInOrderWithTheHostsProcessors) {
  auto session = Start();
  slt::Outcome outcome = Run(*session, "EXEC master..xp_msver");
  ASSERT_TRUE(outcome.ok) << outcome.errorText;
  ASSERT_EQ(outcome.resultSets.size(), 1u);
  const auto& rows = outcome.resultSets[0].rows;
  ASSERT_EQ(rows.size(), 20u);
  const char* names[] = {
      "ProductName",     "ProductVersion",      "Language",      "Platform",       "Comments",
      "CompanyName",     "FileDescription",     "FileVersion",   "InternalName",   "LegalCopyright",
      "LegalTrademarks", "OriginalFilename",    "PrivateBuild",  "SpecialBuild",   "WindowsVersion",
      "ProcessorCount",  "ProcessorActiveMask", "ProcessorType", "PhysicalMemory", "Product ID"};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][0], std::to_string(i + 1));
    EXPECT_EQ(rows[i][1], names[i]);
  }
  EXPECT_EQ(rows[15][2], rows[15][3]);  // ProcessorCount: the same number twice
  EXPECT_GE(std::stoi(rows[15][2]), 1);
  EXPECT_EQ(rows[16][3].size(), 8u);  // the active mask as eight hex digits
  EXPECT_NE(rows[18][3].find(rows[18][2] + " ("), std::string::npos);  // "MB (bytes)"
}

TEST_F(SystemProceduresTest, SevenAnswersAsSevenPointZero) {
  auto session = Start(7);
  slt::Outcome version = Run(*session, "EXEC xp_msver 'ProductVersion'");
  ASSERT_TRUE(version.ok) << version.errorText;
  EXPECT_EQ(version.resultSets[0].rows[0][2], "458752");  // 7 << 16
  EXPECT_EQ(version.resultSets[0].rows[0][3], "7.00.1063");

  ASSERT_TRUE(Run(*session, "CREATE DATABASE Old").ok);
  EXPECT_EQ(Run(*session, "ALTER DATABASE Old SET AUTO_SHRINK ON").errorNumber, 156);
  ASSERT_TRUE(Run(*session, "EXEC sp_dboption 'Old', 'autoshrink', 'true'").ok);

  // 7.0 has neither property function.
  EXPECT_EQ(Run(*session, "SELECT SERVERPROPERTY('Edition')").errorNumber, 195);
  EXPECT_EQ(Run(*session, "SELECT DATABASEPROPERTYEX('master', 'Status')").errorNumber, 195);
  EXPECT_EQ(Run(*session, "SELECT @@VERSION")
                .resultSets.at(0)
                .rows.at(0)
                .at(0)
                .rfind("Microsoft SQL Server  7.00 - 7.00.1063", 0),
            0u);

  // 7.0's sp_helpdb has no compatibility_level and lists options by name.
  slt::Outcome help = Run(*session, "EXEC sp_helpdb");
  ASSERT_TRUE(help.ok) << help.errorText;
  ASSERT_EQ(help.resultSets.size(), 1u);
  EXPECT_EQ(help.resultSets[0].names,
            (std::vector<std::string>{"name", "db_size", "owner", "dbid", "created", "status"}));
  EXPECT_EQ(help.resultSets[0].rows.at(3).at(0), "Old");
  EXPECT_EQ(help.resultSets[0].rows.at(3).at(5), "torn page detection, autoshrink");
}

TEST_F(SystemProceduresTest, FixeddrivesReportsTheMappedDrivesFreeSpace) {
  auto session = Start();
  std::filesystem::create_directories(m_Dir / "E");
  slt::Outcome outcome = Run(*session, "EXEC master..xp_fixeddrives");
  ASSERT_TRUE(outcome.ok) << outcome.errorText;
  const slt::ResultSet& drives = outcome.resultSets.at(0);
  EXPECT_EQ(drives.names, (std::vector<std::string>{"drive", "MB free"}));
  EXPECT_EQ(drives.types, (std::vector<std::string>{"char(1)", "int"}));
  ASSERT_EQ(drives.rows.size(), 2u);
  EXPECT_EQ(drives.rows[0][0], "C");
  EXPECT_EQ(drives.rows[1][0], "E");
  EXPECT_GT(std::stoll(drives.rows[0][1]), 0);
}

TEST_F(SystemProceduresTest, HelpdbDescribesEveryDatabaseAndTheFilesOfOne) {
  auto session = Start();
  slt::Outcome created = Run(*session, "CREATE DATABASE Archive1");
  ASSERT_TRUE(created.ok) << created.errorText;
  ASSERT_EQ(created.messages.size(), 2u);  // 1805 for each file
  EXPECT_EQ(created.messages[0].rfind("The CREATE DATABASE process is allocating 0.", 0), 0u);
  EXPECT_NE(created.messages[0].find(" MB on disk 'Archive1'."), std::string::npos);
  EXPECT_NE(created.messages[1].find(" MB on disk 'Archive1_log'."), std::string::npos);
  slt::Outcome all = Run(*session, "EXEC sp_helpdb");
  ASSERT_TRUE(all.ok) << all.errorText;
  ASSERT_EQ(all.resultSets.size(), 1u);
  const slt::ResultSet& list = all.resultSets[0];
  EXPECT_EQ(list.names, (std::vector<std::string>{"name", "db_size", "owner", "dbid", "created",
                                                  "status", "compatibility_level"}));
  ASSERT_EQ(list.rows.size(), 5u);  // Archive1, master, model, msdb, tempdb by name
  EXPECT_EQ(list.rows[0][0], "Archive1");
  EXPECT_EQ(list.rows[4][0], "tempdb");
  const auto& archive = list.rows[0];
  EXPECT_EQ(archive[1].size(), 13u);  // "      1.12 MB"
  EXPECT_EQ(archive[1].substr(10), " MB");
  EXPECT_EQ(archive[2], "sa");
  EXPECT_EQ(archive[4].size(), 11u);  // "Dec  6 2026"
  EXPECT_EQ(archive[5].rfind("Status=ONLINE, Updateability=READ_WRITE, UserAccess=MULTI_USER", 0),
            0u);
  EXPECT_EQ(archive[6], "80");

  slt::Outcome one = Run(*session, "EXEC sp_helpdb @dbname = 'archive1'");
  ASSERT_TRUE(one.ok) << one.errorText;
  ASSERT_EQ(one.resultSets.size(), 2u);
  ASSERT_EQ(one.resultSets[0].rows.size(), 1u);
  const slt::ResultSet& files = one.resultSets[1];
  EXPECT_EQ(files.names, (std::vector<std::string>{"name", "fileid", "filename", "filegroup",
                                                   "size", "maxsize", "growth", "usage"}));
  EXPECT_EQ(files.types[0], "nchar(128)");
  ASSERT_EQ(files.rows.size(), 2u);
  EXPECT_EQ(files.rows[0][0].size(), 128u);
  EXPECT_EQ(Trimmed(files.rows[0][0]), "Archive1");
  EXPECT_EQ(Trimmed(files.rows[0][2]),
            "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\Archive1.mdf");
  EXPECT_EQ(files.rows[0][3], "PRIMARY");
  EXPECT_EQ(files.rows[0][7], "data only");
  EXPECT_EQ(Trimmed(files.rows[1][0]), "Archive1_log");
  EXPECT_EQ(files.rows[1][1], "2");
  EXPECT_EQ(files.rows[1][3], "NULL");
  EXPECT_EQ(files.rows[1][7], "log only");
  // Sizes are whole 8-KB pages of the real files.
  const std::string size = files.rows[0][4];
  ASSERT_GT(size.size(), 3u);
  EXPECT_EQ(std::stoll(size) % 8, 0);
  const auto bytes = std::filesystem::file_size(
      m_Dir / "C/Program Files/Microsoft SQL Server/MSSQL/Data/Archive1.mdf");
  EXPECT_EQ(std::stoll(size), static_cast<long long>((bytes + 8191) / 8192 * 8));
}

TEST_F(SystemProceduresTest, RpcRunsSystemProceduresWithReturnStatus) {
  auto session = Start();
  std::vector<Parameter> parameters(1);
  parameters[0].name = "@optname";
  parameters[0].type = ColumnType{TypeId::NVarChar, 30, 0, 0};
  parameters[0].value = std::string("ProductVersion");
  slt::CollectingSink sink;
  session->ExecuteRpc("master.dbo.xp_msver", parameters, sink);
  ASSERT_TRUE(sink.Result().ok) << sink.Result().errorText;
  ASSERT_EQ(sink.Result().resultSets.at(0).rows.size(), 1u);
  EXPECT_EQ(sink.Dones().front().kind, Done::Kind::InProcedure);
  EXPECT_EQ(sink.Dones().back().kind, Done::Kind::Procedure);
  EXPECT_EQ(sink.Dones().size(), 2u);

  slt::CollectingSink missing;
  session->ExecuteRpc("sp_helpdb",
                      {Parameter{"", parameters[0].type, std::string("nosuch"), false}}, missing);
  EXPECT_EQ(missing.Result().errorNumber, 15010);
  EXPECT_TRUE(missing.Dones().back().error);
}

TEST_F(SystemProceduresTest, WhoListsEverySessionUntilItIsKilled) {
  auto session = Start();
  ASSERT_TRUE(Run(*session, "CREATE DATABASE Shared").ok);
  LoginRequest request;
  request.userName = "sa";
  request.password = kPassword;
  request.hostName = "WORKSTATION7";
  request.database = "Shared";
  auto other = m_Engine->Login(request);

  slt::Outcome who = Run(*session, "EXEC sp_who");
  ASSERT_TRUE(who.ok) << who.errorText;
  const slt::ResultSet& list = who.resultSets.at(0);
  EXPECT_EQ(list.names, (std::vector<std::string>{"spid", "ecid", "status", "loginame", "hostname",
                                                  "blk", "dbname", "cmd"}));
  EXPECT_EQ(list.types,
            (std::vector<std::string>{"smallint", "smallint", "nchar(30)", "nchar(128)",
                                      "nchar(128)", "char(5)", "nchar(128)", "nchar(16)"}));
  ASSERT_EQ(list.rows.size(), 2u);
  EXPECT_EQ(list.rows[0][0], std::to_string(session->Spid()));
  EXPECT_EQ(Trimmed(list.rows[0][2]), "runnable");
  EXPECT_EQ(Trimmed(list.rows[0][6]), "master");
  EXPECT_EQ(list.rows[1][0], std::to_string(other->Spid()));
  EXPECT_EQ(Trimmed(list.rows[1][2]), "sleeping");
  EXPECT_EQ(Trimmed(list.rows[1][4]), "WORKSTATION7");
  EXPECT_EQ(Trimmed(list.rows[1][6]), "Shared");
  EXPECT_EQ(Trimmed(list.rows[1][7]), "AWAITING COMMAND");

  // USE in the other session shows once its batch is done.
  ASSERT_TRUE(Run(*other, "USE master").ok);
  slt::Outcome one = Run(*session, "EXEC sp_who " + std::to_string(other->Spid()));
  ASSERT_EQ(one.resultSets.at(0).rows.size(), 1u);
  EXPECT_EQ(Trimmed(one.resultSets[0].rows[0][6]), "master");
  EXPECT_EQ(Run(*session, "EXEC sp_who 'nobody'").resultSets.at(0).rows.size(), 0u);

  bool closed = false;
  other->SetKillHandler([&] { closed = true; });
  ASSERT_TRUE(Run(*session, "KILL " + std::to_string(other->Spid())).ok);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(other->IsKilled());
  EXPECT_EQ(Run(*session, "EXEC sp_who").resultSets.at(0).rows.size(), 1u);
}

// A client that disconnects and goes on must not meet its old session: once
// the protocol layer reports the client gone, the session no longer holds
// its database or its login, before its connection thread has ended it.
TEST_F(SystemProceduresTest, SessionWhoseClientIsGoneHoldsNothing) {
  auto session = Start();
  ASSERT_TRUE(Run(*session,
                  "CREATE DATABASE Shared EXEC sp_addlogin 'leaver', 'Leaver#1', 'Shared' "
                  "EXEC Shared..sp_grantdbaccess 'leaver'")
                  .ok);
  LoginRequest request;
  request.userName = "leaver";
  request.password = "Leaver#1";
  auto other = m_Engine->Login(request);
  ASSERT_EQ(other->CurrentDatabase(), "Shared");
  std::atomic<bool> gone{false};
  other->SetClientGoneProbe([&] { return gone.load(); });

  EXPECT_EQ(Run(*session, "EXEC sp_detach_db 'Shared'").errorNumber, 3703);
  EXPECT_EQ(Run(*session, "EXEC sp_droplogin 'leaver'").errorNumber, 15434);
  EXPECT_EQ(Run(*session, "EXEC sp_who 'leaver'").resultSets.at(0).rows.size(), 1u);

  gone = true;
  EXPECT_EQ(Run(*session, "EXEC sp_who 'leaver'").resultSets.at(0).rows.size(), 0u);
  slt::Outcome dropped = Run(*session,
                             "EXEC Shared..sp_revokedbaccess 'leaver' "
                             "EXEC sp_droplogin 'leaver'");
  EXPECT_TRUE(dropped.ok) << dropped.errorText;
  slt::Outcome detached = Run(*session, "EXEC sp_detach_db 'Shared'");
  EXPECT_TRUE(detached.ok) << detached.errorText;
}

// A detached data file copied elsewhere holds every committed row, and its
// owner travels with it: an owner without a login here makes SQL Server
// 2000's sp_helpdb fail with 515 until sp_changedbowner repairs it.
TEST_F(SystemProceduresTest, CopiedDataFileAttachesWithItsRowsAndOwner) {
  auto session = Start();
  ASSERT_TRUE(Run(*session,
                  "CREATE DATABASE Source CREATE TABLE Source..t (n int) "
                  "DECLARE @i int SET @i = 0 WHILE @i < 500 BEGIN INSERT Source..t VALUES (@i) "
                  "SET @i = @i + 1 END")
                  .ok);
  slt::Outcome detached = Run(*session, "EXEC sp_detach_db 'Source'");
  ASSERT_TRUE(detached.ok) << detached.errorText;
  const auto data = m_Dir / "C/Program Files/Microsoft SQL Server/MSSQL/Data";
  // Once the session has let go, only the .mdf and the .LDF are left.
  ASSERT_TRUE(Run(*session, "SELECT 1").ok);
  std::vector<std::string> left;
  for (const auto& file : std::filesystem::directory_iterator(data)) {
    const std::string name = file.path().filename().string();
    if (name.rfind("Source", 0) == 0) left.push_back(name);
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Source.mdf", "Source_log.LDF"}));
  std::filesystem::create_directories(m_Dir / "C/Elsewhere");
  std::filesystem::copy_file(data / "Source.mdf", m_Dir / "C/Elsewhere/Copy.mdf");
  {
    // The owner recorded in the file becomes a SID no login here has.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open((m_Dir / "C/Elsewhere/Copy.mdf").c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "UPDATE \"sqlstandin$database\" SET owner_sid = X'0105DEAD'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
  }
  slt::Outcome attached =
      Run(*session, "EXEC sp_attach_single_file_db 'Copy', 'C:\\Elsewhere\\Copy.mdf'");
  ASSERT_TRUE(attached.ok) << attached.errorText;
  EXPECT_EQ(attached.messages,
            (std::vector<std::string>{"New log file 'C:\\Elsewhere\\Copy_log.LDF' was created."}));
  EXPECT_TRUE(std::filesystem::exists(m_Dir / "C/Elsewhere/Copy_log.LDF"));
  slt::Outcome rows = Run(*session, "SELECT COUNT(*), SUM(n) FROM Copy..t");
  ASSERT_TRUE(rows.ok) << rows.errorText;
  EXPECT_EQ(rows.resultSets.at(0).rows.at(0), (std::vector<std::string>{"500", "124750"}));

  EXPECT_EQ(Run(*session, "EXEC sp_helpdb").errorNumber, 515);
  EXPECT_EQ(Run(*session, "EXEC sp_helpdb 'Copy'").errorNumber, 515);
  ASSERT_TRUE(Run(*session, "USE Copy EXEC sp_changedbowner 'sa' USE master").ok);
  slt::Outcome repaired = Run(*session, "EXEC sp_helpdb");
  ASSERT_TRUE(repaired.ok) << repaired.errorText;
  EXPECT_EQ(repaired.resultSets.at(0).rows.at(0).at(0), "Copy");
  EXPECT_EQ(repaired.resultSets.at(0).rows.at(0).at(2), "sa");

  // The original still attaches where it was, under its own name.
  slt::Outcome back = Run(*session,
                          "EXEC sp_attach_db 'Source', 'C:\\Program Files\\Microsoft SQL "
                          "Server\\MSSQL\\Data\\Source.mdf' SELECT COUNT(*) FROM Source..t");
  ASSERT_TRUE(back.ok) << back.errorText;
  EXPECT_EQ(back.resultSets.at(0).rows.at(0).at(0), "500");
}

}  // namespace
}  // namespace standin::engine
