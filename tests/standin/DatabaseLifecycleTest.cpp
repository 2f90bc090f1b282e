// An archive database's life as an administrator's console drives it over
// the FreeTDS driver: created in a data folder, listed, its log grown,
// truncated and shrunk on disk, its sessions listed and killed, detached,
// copied, attached under another name with every committed row, renamed,
// given a new owner and dropped.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "Odbc.h"
#include "RawTdsClient.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

namespace fs = std::filesystem;

std::string Text(const OdbcOutcome& outcome, std::size_t set = 0, std::size_t row = 0,
                 std::size_t column = 0) {
  if (set >= outcome.resultSets.size() || row >= outcome.resultSets[set].rows.size() ||
      column >= outcome.resultSets[set].rows[row].size())
    return "<none>";
  return outcome.resultSets[set].rows[row][column].text;
}

std::int64_t Size(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? -1 : static_cast<std::int64_t>(size);
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(DatabaseLifecycle, CreateGrowShrinkDetachAttachRenameReownDrop) {
  StandinProcess server;
  const fs::path archives = server.DataDir() / "C" / "Archives";
  fs::create_directories(archives);
  server.Start();
  OdbcConnection admin;
  ASSERT_TRUE(admin.Connect(server.ConnectionString())) << server.Log();
  ASSERT_TRUE(admin
                  .Execute("CREATE DATABASE Life ON ( NAME = Life, FILENAME = "
                           "'C:\\Archives\\Brindlewick_Life.mdf')")
                  .ok)
      << server.Log();
  ASSERT_TRUE(admin.Execute("sp_renamedb @dbname ='Life' , @newname = 'Brindlewick_Life'").ok);

  OdbcOutcome listed = admin.Execute("EXEC master..sp_helpdb");
  ASSERT_TRUE(listed.ok);
  bool found = false;
  for (const auto& row : listed.resultSets.at(0).rows)
    found = found || row[0].text == "Brindlewick_Life";
  EXPECT_TRUE(found);

  const std::string logFiles =
      "SELECT sysaltfiles.* FROM sysdatabases INNER JOIN sysaltfiles ON sysdatabases.dbid = "
      "sysaltfiles.dbid WHERE sysaltfiles.filename LIKE '%.LDF%' AND "
      "sysdatabases.name='Brindlewick_Life'";
  OdbcOutcome files = admin.Execute(logFiles);
  ASSERT_TRUE(files.ok) << (files.diagnostics.empty() ? "" : files.diagnostics[0].text);
  ASSERT_EQ(files.resultSets.at(0).rows.size(), 1u);
  const fs::path ldf = archives / "Brindlewick_Life_log.LDF";
  const fs::path mdf = archives / "Brindlewick_Life.mdf";
  const std::int64_t emptyLog = Size(ldf);
  EXPECT_GT(emptyLog, 0);

  // Committed work grows the log file.
  OdbcConnection archive;
  ASSERT_TRUE(archive.Connect(
      server.ConnectionString("sa", StandinProcess::kSaPassword, "Brindlewick_Life")));
  ASSERT_TRUE(archive
                  .Execute("CREATE TABLE Document (EntryID int IDENTITY(1,1) PRIMARY KEY, "
                           "Title nvarchar(1000))")
                  .ok);
  ASSERT_TRUE(archive
                  .Execute("DECLARE @i int SET @i = 0 WHILE @i < 1000 BEGIN INSERT Document "
                           "(Title) VALUES (REPLICATE(N'w', 900)) SET @i = @i + 1 END")
                  .ok);
  const std::int64_t grownLog = Size(ldf);
  EXPECT_GT(grownLog, 2 * 1024 * 1024) << "the log keeps every committed change";

  // The console's log shrink: truncate, then shrink by logical name.
  archive.SetQueryTimeout(0);
  ASSERT_TRUE(archive.Execute("BACKUP LOG Brindlewick_Life WITH TRUNCATE_ONLY").ok);
  EXPECT_EQ(Size(ldf), grownLog) << "truncation only marks the space reusable";
  OdbcOutcome shrink = archive.Execute("DBCC SHRINKFILE(Brindlewick_Life_log, 0)");
  ASSERT_TRUE(shrink.ok);
  ASSERT_EQ(shrink.resultSets.size(), 1u);
  ASSERT_EQ(shrink.resultSets[0].columns.size(), 6u);
  EXPECT_EQ(shrink.resultSets[0].columns[5].name, "EstimatedPages");
  EXPECT_EQ(Text(shrink, 0, 0, 1), "2");
  EXPECT_LT(Size(ldf), grownLog / 10);
  EXPECT_EQ(Text(archive.Execute("SELECT COUNT(*) FROM Document")), "1000");
  ASSERT_TRUE(archive.Execute("EXEC sp_fulltext_database 'enable'").ok);

  // Two sessions on the archive: sp_who shows both, KILL ends the other.
  OdbcConnection other;
  ASSERT_TRUE(other.Connect(
      server.ConnectionString("sa", StandinProcess::kSaPassword, "Brindlewick_Life")));
  const std::string otherSpid = Text(other.Execute("SELECT @@SPID"));
  const std::string archiveSpid = Text(archive.Execute("SELECT @@SPID"));
  OdbcOutcome who = admin.Execute("sp_who");
  ASSERT_TRUE(who.ok);
  int onArchive = 0;
  for (const auto& row : who.resultSets.at(0).rows) {
    std::string database = row.at(6).text;
    database.erase(database.find_last_not_of(' ') + 1);
    if (database == "Brindlewick_Life") ++onArchive;
  }
  EXPECT_EQ(onArchive, 2);
  ASSERT_TRUE(admin.Execute("KILL " + otherSpid).ok);
  EXPECT_FALSE(other.Execute("SELECT 1").ok) << "a killed session is gone";
  // As the console does before a detach: end the archive's remaining
  // session too (a disconnect alone may still be on its way).
  ASSERT_TRUE(admin.Execute("KILL " + archiveSpid).ok);

  // Detached, the database is exactly its two files.
  ASSERT_TRUE(admin.Execute("sp_detach_db @dbname='Brindlewick_Life';").ok) << server.Log();
  EXPECT_EQ(FilesIn(archives),
            (std::vector<std::string>{"Brindlewick_Life.mdf", "Brindlewick_Life_log.LDF"}));
  const fs::path copies = server.DataDir() / "C" / "Copies";
  fs::create_directories(copies);
  fs::copy_file(mdf, copies / "Copy.mdf");
  fs::copy_file(ldf, copies / "Copy_log.LDF");
  ASSERT_TRUE(admin
                  .Execute("EXEC sp_attach_db 'Brindlewick_Copy', 'C:\\Copies\\Copy.mdf', "
                           "'C:\\Copies\\Copy_log.LDF'")
                  .ok)
      << server.Log();
  EXPECT_EQ(Text(admin.Execute("SELECT COUNT(*) FROM Brindlewick_Copy..Document")), "1000");

  ASSERT_TRUE(
      admin.Execute("sp_renamedb @dbname ='Brindlewick_Copy' , @newname = 'Brindlewick_Renamed'")
          .ok);
  ASSERT_TRUE(admin.Execute("EXEC sp_addlogin 'archivist', 'Archivist#1'").ok);
  ASSERT_TRUE(
      admin.Execute("USE Brindlewick_Renamed EXEC sp_changedbowner 'archivist' USE master").ok);
  OdbcOutcome helpdb = admin.Execute("sp_helpdb @dbname='Brindlewick_Renamed'");
  ASSERT_TRUE(helpdb.ok);
  EXPECT_EQ(Text(helpdb, 0, 0, 2), "archivist");
  EXPECT_NE(Text(helpdb, 0, 0, 5).find(", IsFulltextEnabled"), std::string::npos)
      << "full-text settings travel in the file";

  ASSERT_TRUE(admin.Execute("DROP DATABASE Brindlewick_Renamed").ok);
  EXPECT_TRUE(FilesIn(copies).empty());
  EXPECT_EQ(Text(admin.Execute(
                "SELECT COUNT(*) FROM master..sysdatabases WHERE name LIKE 'Brindlewick%'")),
            "0");
}

// A detach while another session still reads the database must not leave
// committed rows behind in SQLite's write-ahead file: it fails as in use and
// changes nothing, and once the reader is done it leaves exactly the two
// files, the .mdf alone holding every row and the owner.
TEST(DatabaseLifecycle, DetachWhileAnotherSessionReadsFailsAndChangesNothing) {
  StandinProcess server;
  const fs::path archives = server.DataDir() / "C" / "Busy";
  fs::create_directories(archives);
  server.Start();
  OdbcConnection admin;
  ASSERT_TRUE(admin.Connect(server.ConnectionString())) << server.Log();
  ASSERT_TRUE(admin.Execute("EXEC sp_addlogin 'keeper', 'Keeper#1'").ok);
  ASSERT_TRUE(admin
                  .Execute("CREATE DATABASE Busy ON (NAME = Busy, FILENAME = 'C:\\Busy\\Busy.mdf')"
                           " USE Busy EXEC sp_changedbowner 'keeper'"
                           " CREATE TABLE Busy..t (n int)"
                           " DECLARE @i int SET @i = 0 WHILE @i < 200 BEGIN"
                           " INSERT Busy..t VALUES (@i) SET @i = @i + 1 END USE master")
                  .ok)
      << server.Log();

  struct Reader {
    const char* what;
    std::function<void(StandinProcess&, std::unique_ptr<OdbcConnection>&,
                       std::unique_ptr<RawTdsClient>&)>
        start;
  };
  const std::vector<Reader> readers = {
      {"a transaction that read it",
       [](StandinProcess& standin, std::unique_ptr<OdbcConnection>& odbc,
          std::unique_ptr<RawTdsClient>&) {
         odbc = std::make_unique<OdbcConnection>();
         ASSERT_TRUE(odbc->Connect(standin.ConnectionString()));
         ASSERT_TRUE(odbc->Execute("SELECT COUNT(*) FROM Busy..t").ok);
         ASSERT_TRUE(odbc->Execute("BEGIN TRANSACTION SELECT COUNT(*) FROM Busy..t").ok);
       }},
      {"a SELECT whose rows the client does not read",
       [](StandinProcess& standin, std::unique_ptr<OdbcConnection>&,
          std::unique_ptr<RawTdsClient>& raw) {
         raw = std::make_unique<RawTdsClient>(standin.Port(), 4096);
         ASSERT_TRUE(raw->LogIn("sa", StandinProcess::kSaPassword));
         // Far more than the socket buffers hold: the server stops mid-SELECT.
         ASSERT_TRUE(raw->SendBatch(
             "SELECT a.n, b.n, c.n FROM Busy..t a CROSS JOIN Busy..t b CROSS JOIN Busy..t c"));
         std::this_thread::sleep_for(std::chrono::milliseconds(300));
       }},
  };
  for (const Reader& reader : readers) {
    SCOPED_TRACE(reader.what);
    std::unique_ptr<OdbcConnection> odbc;
    std::unique_ptr<RawTdsClient> raw;
    reader.start(server, odbc, raw);
    if (HasFatalFailure()) return;
    OdbcOutcome refused = admin.Execute("EXEC sp_detach_db 'Busy'");
    EXPECT_EQ(refused.FirstError(), 3703) << server.Log();
    EXPECT_EQ(Text(admin.Execute("SELECT COUNT(*) FROM master..sysdatabases WHERE name = 'Busy'")),
              "1");
    EXPECT_EQ(Text(admin.Execute("SELECT COUNT(*) FROM Busy..t")), "200");
  }

  // The readers are gone (their sessions end with their connections).
  for (int attempt = 0; attempt < 50; ++attempt) {
    OdbcOutcome detached = admin.Execute("EXEC sp_detach_db 'Busy'");
    if (detached.ok) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_EQ(Text(admin.Execute("SELECT COUNT(*) FROM master..sysdatabases WHERE name = 'Busy'")),
            "0")
      << server.Log();
  EXPECT_EQ(FilesIn(archives), (std::vector<std::string>{"Busy.mdf", "Busy_log.LDF"}));
  const fs::path copies = server.DataDir() / "C" / "Copies";
  fs::create_directories(copies);
  fs::copy_file(archives / "Busy.mdf", copies / "Alone.mdf");
  ASSERT_TRUE(admin.Execute("EXEC sp_attach_single_file_db 'Alone', 'C:\\Copies\\Alone.mdf'").ok)
      << server.Log();
  EXPECT_EQ(Text(admin.Execute("SELECT COUNT(*), MAX(n) FROM Alone..t")), "200");
  OdbcOutcome helpdb = admin.Execute("sp_helpdb @dbname='Alone'");
  ASSERT_TRUE(helpdb.ok);
  EXPECT_EQ(Text(helpdb, 0, 0, 2), "keeper") << "the owner travels in the .mdf";
}

}  // namespace
}  // namespace standin::integration
