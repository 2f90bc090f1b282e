// An archive creation that ended half-way (the program killed, the server
// lost): what it left is listed as incomplete, the next creation of the same
// archive offers to remove it, and nothing else is ever taken for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "BwctlRun.h"
#include "FakeListener.h"
#include "StandinFixture.h"
#include "archives/ArchiveSchema.h"
#include "data/ConnectionString.h"
#include "data/DataAccess.h"
#include "servers/Server.h"

namespace bw {
namespace {

using testing::BwctlResult;
using testing::FakeListener;

constexpr char kDataFolder[] = "C:\\\\Program Files\\\\Microsoft SQL Server\\\\MSSQL\\\\Data\\\\";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The line of `list` output that names `database`.
std::string LineOf(const std::string& list, const std::string& database) {
  const std::size_t at = list.find(" " + database);
  if (at == std::string::npos) return {};
  const std::size_t begin = list.rfind('\n', at);
  const std::size_t end = list.find('\n', at);
  return list.substr(begin == std::string::npos ? 0 : begin + 1,
                     end == std::string::npos ? std::string::npos
                                              : end - (begin == std::string::npos ? 0 : begin + 1));
}

class ArchiveRemains : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-remains", &m_Messages);
    std::filesystem::create_directories(m_Home);
    std::ofstream(m_Home / "pw") << kSaPassword << "\n";
    m_Admin.SetConnectionString(RegistrationString());
    m_Admin.Open();
  }
  void TearDown() override { LeaveProfile(m_Home); }

  BwctlResult Bwctl(const std::string& arguments) { return testing::RunBwctl(m_Home, arguments); }
  std::string AddArguments(int port) {
    return "server add --data-source 127.0.0.1," + std::to_string(port) +
           " --user sa --password-file '" + (m_Home / "pw").string() + "'";
  }
  std::string CreateArguments(const std::string& server, const std::string& name) {
    return "archive create " + server + " " + name + " '" + kDataFolder + name + ".mdf'";
  }
  // An archive database with the first `count` schema statements run in it,
  // as a creation interrupted there leaves it.
  void MakeHalfArchive(const std::string& name, std::size_t count) {
    const std::string database = std::string(kArchivePrefix) + name;
    m_Admin.Execute("CREATE DATABASE " + database);
    Connection archive;
    archive.SetConnectionString(NewArchiveConnectionString(RegistrationString(), database));
    archive.Open();
    const auto statements = ArchiveSchemaStatements(name, 8, "{x}", 40000);
    for (std::size_t i = 0; i < count && i < statements.size(); ++i) archive.Execute(statements[i]);
  }
  bool DatabaseExists(const std::string& name) {
    Recordset rs;
    rs.Open("SELECT COUNT(*) FROM master..sysdatabases WHERE name = '" + name + "'", &m_Admin);
    return rs.Value(0).ToInteger() == 1;
  }

  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
  Connection m_Admin;
};

TEST_F(ArchiveRemains, IncompleteArchivesAreMarkedAndRemovedByTheNextCreation) {
  ASSERT_EQ(Bwctl(AddArguments(Standin().Port())).code, 0);
  const std::size_t all = ArchiveSchemaStatements("x", 8, "{x}", 40000).size();
  struct Row {
    const char* name;
    std::size_t statements;  // run of the schema; 0: a bare-named empty database
    const char* listed;      // what list and properties say it lacks
  };
  const Row rows[] = {
      {"NoTables", 4, "has none of the archive's tables"},
      {"SomeTables", 12, "lacks the tables Folder, SubFolder, Category"},
      {"NoVersion", 60, "has no archive version"},
      {"NoTemplate", all, "has no template document"},
      {"Bare", 0, nullptr},
  };
  for (const Row& row : rows) {
    if (row.statements == 0) {
      m_Admin.Execute(std::string("CREATE DATABASE ") + row.name);
    } else {
      MakeHalfArchive(row.name, row.statements);
    }
  }
  ASSERT_EQ(Bwctl(CreateArguments("1", "Whole")).code, 0);

  BwctlResult list = Bwctl("archive list 1");
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_FALSE(Has(LineOf(list.out, "Brindlewick_Whole"), "incomplete")) << list.out;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.listed == nullptr) continue;
    const std::string database = std::string(kArchivePrefix) + row.name;
    EXPECT_TRUE(
        Has(LineOf(list.out, database), std::string("(incomplete: the database ") + row.listed))
        << list.out;
    BwctlResult properties = Bwctl(std::string("archive properties 1 ") + row.name);
    EXPECT_EQ(properties.code, 0) << properties.err;
    EXPECT_TRUE(Has(properties.out, std::string("Incomplete:     the database ") + row.listed))
        << properties.out;
  }
  EXPECT_FALSE(Has(Bwctl("archive properties 1 Whole").out, "Incomplete:"));

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string left =
        row.statements == 0 ? row.name : kArchivePrefix + std::string(row.name);
    // Nobody answers the question: nothing is touched.
    BwctlResult asked = Bwctl(CreateArguments("1", row.name));
    EXPECT_EQ(asked.code, 4) << asked.err;
    EXPECT_TRUE(Has(asked.err, "An earlier creation of the archive '" + std::string(row.name) +
                                   "' did not finish"))
        << asked.err;
    EXPECT_TRUE(Has(asked.err, "the database " + left)) << asked.err;
    EXPECT_TRUE(DatabaseExists(left));

    BwctlResult created = Bwctl("--yes " + CreateArguments("1", row.name));
    EXPECT_EQ(created.code, 0) << created.err;
    EXPECT_TRUE(Has(created.out, std::string("Created archive ") + row.name)) << created.out;
    if (row.statements == 0) {
      EXPECT_FALSE(DatabaseExists(row.name));
    }
  }
  list = Bwctl("archive list 1");
  EXPECT_FALSE(Has(list.out, "incomplete")) << list.out;
  for (const Row& row : rows)
    EXPECT_EQ(Bwctl(std::string("--yes archive delete 1 ") + row.name).code, 0);
  EXPECT_EQ(Bwctl("--yes archive delete 1 Whole").code, 0);
}

TEST_F(ArchiveRemains, WhatHoldsDataIsNeverTakenForRemains) {
  ASSERT_EQ(Bwctl(AddArguments(Standin().Port())).code, 0);
  // Incomplete, but somebody's: a table no archive has, a document.
  MakeHalfArchive("Foreign", 4);
  m_Admin.Execute(
      "USE Brindlewick_Foreign CREATE TABLE Keep (x int) INSERT Keep VALUES (7) USE master");
  MakeHalfArchive("WithDocument", 20);
  m_Admin.Execute(
      "USE Brindlewick_WithDocument INSERT INTO Document (Url, CreationTime, FileModifiedDate) "
      "VALUES ('http://kept', GETDATE(), GETDATE()) USE master");
  // A bare-named database with something in it, and the server's own.
  m_Admin.Execute("CREATE DATABASE Occupied");
  m_Admin.Execute("USE Occupied CREATE TABLE Keep (x int) USE master");

  for (const char* name : {"Foreign", "WithDocument", "Occupied", "master"}) {
    SCOPED_TRACE(name);
    BwctlResult created = Bwctl("--yes " + CreateArguments("1", name));
    EXPECT_EQ(created.code, 1) << created.err;
    EXPECT_FALSE(Has(created.err, "did not finish")) << created.err;
  }
  Recordset kept;
  kept.Open("SELECT x FROM Brindlewick_Foreign..Keep", &m_Admin);
  ASSERT_FALSE(kept.Eof());
  EXPECT_EQ(kept.Value(0).ToInteger(), 7);
  kept.Close();
  kept.Open("SELECT COUNT(*) FROM Brindlewick_WithDocument..Document", &m_Admin);
  EXPECT_EQ(kept.Value(0).ToInteger(), 1);
  kept.Close();
  EXPECT_TRUE(DatabaseExists("Occupied"));
  EXPECT_TRUE(DatabaseExists("master"));
  m_Admin.Execute("DROP DATABASE Occupied");
  EXPECT_EQ(Bwctl("--yes archive delete 1 Foreign").code, 0);
  EXPECT_EQ(Bwctl("--yes archive delete 1 WithDocument").code, 0);
}

TEST_F(ArchiveRemains, ALostServerIsNamedAndItsHalfArchiveRemovedOnceItIsBack) {
  standin::integration::StandinProcess standin;
  standin.Start();
  FakeListener relay(FakeListener::Mode::Relay, standin.Port());
  // The server goes away while the archive's schema is being made.
  relay.CutAt("CREATE VIEW dbo.SearchFolderView", [&] { standin.Kill(); });
  ASSERT_EQ(Bwctl(AddArguments(relay.Port())).code, 0);

  BwctlResult lost = Bwctl(CreateArguments("1", "Cut"));
  EXPECT_TRUE(relay.Cut());
  EXPECT_EQ(lost.code, 1) << lost.err;
  EXPECT_FALSE(Has(lost.err, "The statement failed.")) << lost.err;
  EXPECT_FALSE(Has(lost.err, "Unknown error")) << lost.err;
  EXPECT_TRUE(Has(lost.err, "connection to the server was lost")) << lost.err;

  standin.Start();
  ASSERT_EQ(Bwctl(AddArguments(standin.Port())).code, 0);
  BwctlResult list = Bwctl("archive list 2");
  EXPECT_TRUE(Has(LineOf(list.out, "Brindlewick_Cut"),
                  "(incomplete: the database lacks the tables Category"))
      << list.out << list.err;
  BwctlResult created = Bwctl("--yes " + CreateArguments("2", "Cut"));
  EXPECT_EQ(created.code, 0) << created.err << standin.Log();
  EXPECT_FALSE(Has(Bwctl("archive list 2").out, "incomplete"));
}

TEST_F(ArchiveRemains, ALostServerIsNamedWhateverTheCommandWasDoing) {
  struct Row {
    const char* cutAt;
    const char* command;
  };
  const Row rows[] = {
      {"sp_helpdb", "archive list 1"},
      {"sp_helpdb", "archive properties 1 Kept"},
      {"sp_who", "--yes archive delete 1 Kept"},
      {"Brindlewick_Kept", "archive list 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.cutAt) + " / " + row.command);
    // A registration of its own: ServerID 1 each time.
    const std::filesystem::path home = m_Home / std::to_string(&row - rows);
    std::filesystem::create_directories(home);
    standin::integration::StandinProcess standin;
    standin.Start();
    {
      Connection admin;
      admin.SetConnectionString("Provider=SQLOLEDB;Data Source=127.0.0.1," +
                                std::to_string(standin.Port()) +
                                ";User Id=sa;Password=" + kSaPassword + ";");
      admin.Open();
      admin.Execute("CREATE DATABASE Brindlewick_Kept");
    }
    FakeListener relay(FakeListener::Mode::Relay, standin.Port());
    relay.CutAt(row.cutAt, [&] { standin.Kill(); });
    ASSERT_EQ(testing::RunBwctl(home, AddArguments(relay.Port())).code, 0);
    BwctlResult lost = testing::RunBwctl(home, row.command);
    EXPECT_TRUE(relay.Cut());
    EXPECT_NE(lost.code, 0) << lost.out;
    EXPECT_TRUE(Has(lost.err, "connection to the server was lost")) << lost.err;
  }
}

}  // namespace
}  // namespace bw
