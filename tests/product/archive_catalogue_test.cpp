// The archive catalogue and the archive object against a started sqlstandin:
// filling, identities, attach/detach/drop, ending other sessions, rename,
// creation and its failures, extended properties and full-text state.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "StandinFixture.h"
#include "archives/ArchiveSchema.h"
#include "archives/Databases.h"
#include "servers/Servers.h"
#include "support/CodePage.h"
#include "support/MessageService.h"
#include "support/StringTable.h"

namespace bw {
namespace {

constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";

class ArchiveCatalogue : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-archives", &m_Messages);
    m_Admin.SetConnectionString(RegistrationString());
    m_Admin.Open();
  }
  void TearDown() override { LeaveProfile(m_Home); }

  // A fresh registration's server (its catalogue not yet read).
  Server& NewServer(Servers& servers) {
    std::string text = RegistrationString();
    Server* server = servers.Add(text);
    if (server == nullptr) throw std::runtime_error("the stand-in did not connect");
    return *server;
  }

  std::vector<std::string> DatabaseNames() {
    std::vector<std::string> names;
    Recordset rs;
    rs.Open("SELECT name FROM master..sysdatabases ORDER BY name", &m_Admin);
    for (; !rs.Eof(); rs.MoveNext()) names.push_back(rs.Value(0).ToText());
    return names;
  }
  bool DatabaseExists(const std::string& name) {
    for (const auto& existing : DatabaseNames()) {
      if (existing == name) return true;
    }
    return false;
  }
  static Database* Find(const Databases& catalogue, const std::string& name) {
    for (Database* archive : catalogue.NewEnum()) {
      if (archive->Name() == name) return archive;
    }
    return nullptr;
  }
  static void DeleteArchive(Databases& catalogue, const std::string& name) {
    Database* archive = Find(catalogue, name);
    ASSERT_NE(archive, nullptr) << name;
    EXPECT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID())));
  }
  static std::vector<std::string> ArchiveNames(const Databases& catalogue) {
    std::vector<std::string> names;
    for (Database* archive : catalogue.NewEnum()) names.push_back(archive->Name());
    return names;
  }

  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
  Connection m_Admin;
};

TEST_F(ArchiveCatalogue, ListsDatabasesThatStartWithThePrefixInAnyCase) {
  m_Admin.Execute("CREATE DATABASE Brindlewick_ListA");
  m_Admin.Execute("CREATE DATABASE brindlewick_ListB");
  m_Admin.Execute("CREATE DATABASE Old_Brindlewick_ListC");
  m_Admin.Execute("CREATE DATABASE ListD");
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  auto names = ArchiveNames(catalogue);
  EXPECT_NE(std::find(names.begin(), names.end(), "ListA"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "ListB"), names.end());
  for (const auto& name : names) {
    EXPECT_EQ(name.find("ListC"), std::string::npos) << "only a leading prefix counts";
    EXPECT_NE(name, "ListD");
  }
  for (long i = 1; i <= catalogue.Count(); ++i) {
    Database* archive = catalogue.Item(i);
    EXPECT_EQ(archive->ArchiveID(), i) << "filling numbers 1, 2, 3 …";
    EXPECT_EQ(catalogue.Item(std::to_string(i)), archive);
    EXPECT_TRUE(archive->IsConnected());
    EXPECT_EQ(archive->Location(), DataSource());
  }
  EXPECT_EQ(catalogue.Item("999"), nullptr);
  EXPECT_EQ(&server.Databases(), &catalogue) << "filled once, then kept";

  for (Database* archive : catalogue.NewEnum()) {
    ASSERT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID())));
  }
  EXPECT_EQ(catalogue.Count(), 0);
  m_Admin.Execute("DROP DATABASE Old_Brindlewick_ListC");
  m_Admin.Execute("DROP DATABASE ListD");
  EXPECT_TRUE(m_Messages.History().empty()) << "no other sessions, nothing asked";
}

TEST_F(ArchiveCatalogue, DatabasesWithoutOwnerAreGivenToSaAndListed) {
  m_Admin.Execute("EXEC sp_addlogin 'gone', 'Gone-pw-1'");
  m_Admin.Execute("EXEC sp_addsrvrolemember 'gone', 'dbcreator'");
  {
    Connection gone;
    gone.SetConnectionString(RegistrationString("gone", "Gone-pw-1"));
    gone.Open();
    gone.Execute("CREATE DATABASE Brindlewick_Orphan");
  }
  const std::string mdf = std::string(kDataFolder) + "Brindlewick_Orphan.mdf";
  m_Admin.Execute("EXEC sp_detach_db 'Brindlewick_Orphan'");
  m_Admin.Execute("EXEC sp_droplogin 'gone'");
  m_Admin.Execute("EXEC sp_attach_single_file_db 'Brindlewick_Orphan', '" + mdf + "'");

  Servers servers;
  Server& server = NewServer(servers);
  auto names = ArchiveNames(server.Databases());
  EXPECT_NE(std::find(names.begin(), names.end(), "Orphan"), names.end());
  Recordset owner;
  owner.Open("SELECT SUSER_SNAME(sid) FROM master..sysdatabases WHERE name = 'Brindlewick_Orphan'",
             &m_Admin);
  EXPECT_EQ(owner.Value(0).ToText(), "sa");
  owner.Close();
  Database* orphan = nullptr;
  for (Database* archive : server.Databases().NewEnum()) {
    if (archive->Name() == "Orphan") orphan = archive;
  }
  ASSERT_NE(orphan, nullptr);
  EXPECT_TRUE(server.Databases().Delete(std::to_string(orphan->ArchiveID())));
}

TEST_F(ArchiveCatalogue, DetachAttachAndIdentitiesNeverRepeat) {
  m_Admin.Execute("CREATE DATABASE Brindlewick_Id1");
  m_Admin.Execute("CREATE DATABASE Brindlewick_Id2");
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  const long before = catalogue.Count();
  Database* first = nullptr;
  for (Database* archive : catalogue.NewEnum()) {
    if (archive->Name() == "Id1") first = archive;
  }
  ASSERT_NE(first, nullptr);

  ASSERT_TRUE(catalogue.Remove(std::to_string(first->ArchiveID())));
  EXPECT_EQ(catalogue.Count(), before - 1);
  EXPECT_FALSE(DatabaseExists("Brindlewick_Id1"));
  EXPECT_THROW(catalogue.Remove("999"), Error);

  // Attached again from its data file alone: the identity is count + 1 + removed.
  Database* again = catalogue.Add("Id1", std::string(kDataFolder) + "Brindlewick_Id1.mdf");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ArchiveID(), before + 1);
  EXPECT_EQ(again->DatabaseName(), "Brindlewick_Id1");
  EXPECT_TRUE(again->IsConnected());

  // And detached and attached with its log file.
  ASSERT_TRUE(catalogue.Remove(std::to_string(again->ArchiveID())));
  Database* withLog = catalogue.Add("Id1", std::string(kDataFolder) + "Brindlewick_Id1.mdf",
                                    std::string(kDataFolder) + "Brindlewick_Id1_log.LDF");
  ASSERT_NE(withLog, nullptr);
  EXPECT_EQ(withLog->ArchiveID(), before + 2);

  // A failing attach raises and adds nothing.
  const long count = catalogue.Count();
  EXPECT_THROW(catalogue.Add("Missing", std::string(kDataFolder) + "NoSuchFile.mdf"), DataError);
  EXPECT_EQ(catalogue.Count(), count);

  for (Database* archive : catalogue.NewEnum()) {
    if (archive->Name().rfind("Id", 0) == 0) {
      EXPECT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID())));
    }
  }
  EXPECT_FALSE(DatabaseExists("Brindlewick_Id1"));
  EXPECT_FALSE(DatabaseExists("Brindlewick_Id2"));
}

TEST_F(ArchiveCatalogue, OtherSessionsAreEndedOnlyAfterYes) {
  m_Admin.Execute("CREATE DATABASE Brindlewick_Busy");
  m_Admin.Execute("EXEC sp_addlogin 'clerk', 'Clerk-pw-1'");
  m_Admin.Execute("USE Brindlewick_Busy EXEC sp_grantdbaccess 'clerk' USE master");
  Connection clerk1, clerk2;
  for (Connection* clerk : {&clerk1, &clerk2}) {
    clerk->SetConnectionString(RegistrationString("clerk", "Clerk-pw-1") +
                               "Initial Catalog=Brindlewick_Busy;");
    clerk->Open();
  }
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  Database* busy = nullptr;
  for (Database* archive : catalogue.NewEnum()) {
    if (archive->Name() == "Busy") busy = archive;
  }
  ASSERT_NE(busy, nullptr);
  const std::string key = std::to_string(busy->ArchiveID());

  m_Messages.QueueAnswer(MsgResult::No);
  EXPECT_FALSE(catalogue.Delete(key));
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].text,
            "Die folgenden Benutzer greifen noch auf das Server-Archiv zu:\r- clerk\rSollen diese "
            "Nutzer jetzt gewaltsam von der Datenbank getrennt werden?\rDies kann zu "
            "Datenverlusten führen.");
  EXPECT_EQ(m_Messages.History()[0].style, MsgStyle::YesNo);
  EXPECT_EQ(m_Messages.History()[0].caption, kMessageCaption);
  EXPECT_EQ(catalogue.Item(key), busy) << "No leaves the archive where it was";
  EXPECT_TRUE(DatabaseExists("Brindlewick_Busy"));
  EXPECT_NO_THROW(clerk1.Execute("SELECT 1"));
  EXPECT_NO_THROW(busy->GetConnection().Execute("SELECT 1"));

  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_TRUE(catalogue.Delete(key));
  EXPECT_EQ(catalogue.Item(key), nullptr);
  EXPECT_FALSE(DatabaseExists("Brindlewick_Busy"));
  EXPECT_THROW(clerk1.Execute("SELECT 1"), Error);
  EXPECT_THROW(clerk2.Execute("SELECT 1"), Error);
  m_Admin.Execute("EXEC sp_droplogin 'clerk'");
}

TEST_F(ArchiveCatalogue, RenameStripsThePrefixAndReconnects) {
  m_Admin.Execute("CREATE DATABASE Brindlewick_Before");
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  Database* archive = nullptr;
  for (Database* item : catalogue.NewEnum()) {
    if (item->Name() == "Before") archive = item;
  }
  ASSERT_NE(archive, nullptr);
  EXPECT_FALSE(archive->Rename("BEFORE")) << "the same name in other letters";
  EXPECT_FALSE(archive->Rename("brindlewick_before"));
  EXPECT_TRUE(DatabaseExists("Brindlewick_Before"));

  EXPECT_TRUE(archive->Rename("Brindlewick_After"));
  EXPECT_EQ(archive->Name(), "After");
  EXPECT_EQ(archive->DatabaseName(), "Brindlewick_After");
  EXPECT_TRUE(DatabaseExists("Brindlewick_After"));
  EXPECT_FALSE(DatabaseExists("Brindlewick_Before"));
  Recordset current;
  current.Open("SELECT DB_NAME()", &archive->GetConnection());
  EXPECT_EQ(current.Value(0).ToText(), "Brindlewick_After");
  current.Close();

  // A rename the server refuses leaves the archive usable under its name.
  m_Admin.Execute("CREATE DATABASE Brindlewick_Taken");
  EXPECT_THROW(archive->Rename("Taken"), DataError);
  EXPECT_EQ(archive->Name(), "After");
  EXPECT_NO_THROW(archive->GetConnection().Execute("SELECT 1"));

  EXPECT_THROW(archive->Move("C:\\Elsewhere"), Error);
  EXPECT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID())));
  m_Admin.Execute("DROP DATABASE Brindlewick_Taken");
}

TEST_F(ArchiveCatalogue, ExtendedValuesAreReadAndWritten) {
  m_Admin.Execute("CREATE DATABASE Brindlewick_Props");
  m_Admin.Execute(
      "USE Brindlewick_Props "
      "CREATE TABLE dbo.ExtendedField ( ExtFieldID SMALLINT NOT NULL , FieldType TINYINT NOT "
      "NULL, FieldName NVARCHAR(100) NOT NULL , Visible BIT, UserProperty BIT ) "
      "CREATE TABLE dbo.ExtendedData (EntryID INTEGER NOT NULL, ExtFieldID SMALLINT NOT NULL, "
      "FieldValue NTEXT NULL DEFAULT '') "
      "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (3, 1, 'Brindlewick: "
      "Archive Version') "
      "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 3, '1.61') "
      "CREATE TABLE dbo.Document (EntryID INTEGER IDENTITY (1,1) NOT NULL CONSTRAINT "
      "PK_Document PRIMARY KEY, Title NVARCHAR(255) NULL, PlainText NTEXT, Comment "
      "NVARCHAR(4000) NULL) "
      "USE master");
  Servers servers;
  Server& server = NewServer(servers);
  Database* archive = nullptr;
  for (Database* item : server.Databases().NewEnum()) {
    if (item->Name() == "Props") archive = item;
  }
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->GetExtendedValue(0, 3, 0, ""), "1.61");
  EXPECT_EQ(archive->GetExtendedValue(0, 0, 1, "Brindlewick: Archive Version"), "1.61");
  EXPECT_EQ(archive->GetExtendedValue(0, 0, 1, "No such field"), "");

  std::int32_t id = 0;
  archive->SetExtendedValue("O'Hara", 0, id, "Owner's note", 1, true, false);
  EXPECT_EQ(id, 4) << "the next free id";
  EXPECT_EQ(archive->GetExtendedValue(0, 4, 0, ""), "O'Hara");
  archive->SetExtendedValue("second", 0, id, "", 1, true, false);
  EXPECT_EQ(archive->GetExtendedValue(0, 0, 1, "Owner's note"), "second");
  std::int32_t none = 0;
  archive->SetExtendedValue("x", 0, none, "", 1, false, false);
  EXPECT_EQ(none, 0);

  // The stand-in has full-text search: the index is made and removed again.
  EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNoCatalog);
  archive->DoFullTextAction("CREATE");
  EXPECT_EQ(archive->GetFullTextStatus(), 0);
  archive->DoFullTextAction("CREATE");  // nothing to do with a catalog
  archive->DoFullTextAction("drop");
  EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNoCatalog);
  EXPECT_TRUE(server.Databases().Delete(std::to_string(archive->ArchiveID())));
}

TEST_F(ArchiveCatalogue, WithoutFullTextSearchNothingIsSent) {
  // "absent" answers the installation question with 0, "unknown" with NULL.
  for (const char* service : {"absent", "unknown"}) {
    SCOPED_TRACE(service);
    standin::integration::StandinProcess standin;
    standin.Start({"--fulltext", service});
    std::filesystem::remove_all(m_Home);
    Servers servers;
    std::string text = "Provider=SQLOLEDB;Data Source=127.0.0.1," + std::to_string(standin.Port()) +
                       ";User Id=sa;Password=" + kSaPassword + ";";
    Server* server = servers.Add(text);
    ASSERT_NE(server, nullptr) << standin.Log();
    server->GetConnection().Execute("CREATE DATABASE Brindlewick_Plain");
    Databases& catalogue = server->Databases();
    Database* archive = Find(catalogue, "Plain");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNotInstalled);
    // No Document table: a statement sent would fail.
    EXPECT_NO_THROW(archive->DoFullTextAction("create"));
    EXPECT_NO_THROW(archive->DoFullTextAction("Drop"));
    EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNotInstalled);
    EXPECT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID())));
  }
}

TEST_F(ArchiveCatalogue, FailedCreateReportsAndLeavesNoDatabase) {
  for (const char* version : {"8", "7"}) {
    SCOPED_TRACE(version);
    // A schema statement half-way through fails once.
    standin::integration::StandinProcess standin;
    standin.Start(
        {"--product-version", version, "--fault", "2714:once:CREATE VIEW dbo.SearchFolderView"});
    std::filesystem::remove_all(m_Home);
    m_Messages = ScriptedMessageService();
    Servers servers;
    std::string text = "Provider=SQLOLEDB;Data Source=127.0.0.1," + std::to_string(standin.Port()) +
                       ";User Id=sa;Password=" + kSaPassword + ";";
    Server* server = servers.Add(text);
    ASSERT_NE(server, nullptr) << standin.Log();
    Databases& catalogue = server->Databases();
    EXPECT_EQ(catalogue.AddNew("Half", std::string(kDataFolder) + "Half.mdf"), nullptr);
    ASSERT_EQ(m_Messages.History().size(), 1u);
    EXPECT_EQ(m_Messages.History()[0].text.rfind(LoadResString(137) + "\r", 0), 0u)
        << m_Messages.History()[0].text;
    EXPECT_EQ(m_Messages.History()[0].style, MsgStyle::Information);
    EXPECT_EQ(m_Messages.History()[0].caption, kMessageCaption);
    EXPECT_EQ(catalogue.Count(), 0);
    Recordset names;
    names.Open("SELECT COUNT(*) FROM master..sysdatabases WHERE name LIKE '%Half%'",
               &server->GetConnection());
    EXPECT_EQ(names.Value(0).ToInteger(), 0);
    names.Close();
    EXPECT_FALSE(std::filesystem::exists(
        standin.DataDir() / "C/Program Files/Microsoft SQL Server/MSSQL/Data/Half.mdf"));
  }
}

TEST_F(ArchiveCatalogue, CreateWithTheNameOfAnArchiveInOtherCapitalsTouchesNothing) {
  m_Admin.Execute("CREATE DATABASE Brindlewick_Twin");
  m_Admin.Execute(
      "USE Brindlewick_Twin CREATE TABLE Keep (x int) INSERT INTO Keep VALUES (7) "
      "USE master");
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  const long count = catalogue.Count();
  EXPECT_EQ(catalogue.AddNew("TWIN", std::string(kDataFolder) + "TWIN.mdf"), nullptr);
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].text.rfind(LoadResString(137) + "\r", 0), 0u);
  EXPECT_EQ(catalogue.Count(), count) << "the existing archive is not listed twice";
  EXPECT_FALSE(DatabaseExists("TWIN")) << "the bare-named database is dropped";
  Recordset kept;
  kept.Open("SELECT x FROM Brindlewick_Twin..Keep", &m_Admin);
  ASSERT_FALSE(kept.Eof());
  EXPECT_EQ(kept.Value(0).ToInteger(), 7);
  kept.Close();
  DeleteArchive(catalogue, "Twin");
}

TEST_F(ArchiveCatalogue, CreateDatabaseThatFailsDropsNothing) {
  m_Admin.Execute("CREATE DATABASE Brindlewick_Owner ON ( NAME = x, FILENAME = '" +
                  std::string(kDataFolder) + "Occupied.mdf')");
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  // The file belongs to another database: CREATE DATABASE itself fails.
  EXPECT_EQ(catalogue.AddNew("Occupied", std::string(kDataFolder) + "Occupied.mdf"), nullptr);
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_NE(m_Messages.History()[0].text.find("Occupied.mdf"), std::string::npos)
      << m_Messages.History()[0].text;
  EXPECT_TRUE(DatabaseExists("Brindlewick_Owner"));
  DeleteArchive(catalogue, "Owner");
}

// The text sent for a procedure, as the server keeps it.
std::string ProcedureText(Connection& archive, const std::string& name) {
  Recordset rs;
  rs.Open("SELECT text FROM syscomments WHERE id = OBJECT_ID('" + name + "') ORDER BY colid",
          &archive);
  std::string text;
  for (; !rs.Eof(); rs.MoveNext()) text += rs.Value(0).ToText();
  return text;
}

long Scalar(Connection& connection, const std::string& sql) {
  Recordset rs;
  rs.Open(sql, &connection);
  return static_cast<long>(rs.Value(0).ToInteger());
}

// The server's error number for a statement, 0 when it ran.
std::int32_t ServerError(Connection& connection, const std::string& sql) {
  try {
    connection.Execute(sql);
    return 0;
  } catch (const DataError& error) {
    return error.ServerNumber();
  }
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(ArchiveCatalogue, NewArchiveHasTheWholeSchemaAndLivesThroughEveryOperation) {
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  const long count = catalogue.Count();
  Database* archive = catalogue.AddNew("Full", std::string(kDataFolder) + "Full.mdf");
  ASSERT_NE(archive, nullptr) << (m_Messages.History().empty() ? "" : m_Messages.History()[0].text);
  EXPECT_TRUE(m_Messages.History().empty());
  EXPECT_EQ(archive->ArchiveID(), count + 1);
  EXPECT_EQ(archive->DatabaseName(), "Brindlewick_Full");
  Connection& db = archive->GetConnection();

  Recordset doc;
  doc.Open(
      "SELECT EntryID, TypeID, FolderID, BinaryData, FileSize, BinaryContent, Url, Title, "
      "CodePage FROM Document",
      &db);
  ASSERT_FALSE(doc.Eof());
  EXPECT_EQ(doc.Value("EntryID").ToInteger(), 1);
  EXPECT_EQ(doc.Value("TypeID").ToInteger(), 110);
  EXPECT_EQ(doc.Value("FolderID").ToInteger(), 0);
  EXPECT_TRUE(doc.Value("BinaryData").ToBoolean());
  EXPECT_EQ(doc.Value("FileSize").ToInteger(), 51);
  ASSERT_NE(doc.Value("BinaryContent").Bytes(), nullptr);
  EXPECT_EQ(*doc.Value("BinaryContent").Bytes(), TemplateImage());
  EXPECT_EQ(doc.Value("Url").ToText(), kTemplateUrl);
  EXPECT_EQ(doc.Value("Title").ToText(), kTemplateTitle);
  EXPECT_EQ(doc.Value("CodePage").ToInteger(), GetAnsiCodePage());
  doc.MoveNext();
  EXPECT_TRUE(doc.Eof()) << "exactly one document";
  doc.Close();
  EXPECT_EQ(Scalar(db, "SELECT COUNT(*) FROM Folder"), 11);
  EXPECT_EQ(Scalar(db, "SELECT COUNT(*) FROM SubFolder"), 10);
  EXPECT_EQ(Scalar(db, "SELECT COUNT(*) FROM Category"), 1);
  EXPECT_EQ(Scalar(db, "SELECT COUNT(*) FROM ExtendedField"), 9);
  EXPECT_EQ(Scalar(db, "SELECT SUM(ExtFieldID) FROM ExtendedField"), 46) << "ids 1-8 and 10";
  EXPECT_EQ(Scalar(db, "SELECT COUNT(*) FROM ExtendedData"), 6);
  EXPECT_EQ(archive->GetExtendedValue(0, 3, 0, ""), kArchiveVersion);
  EXPECT_EQ(archive->GetExtendedValue(0, 7, 0, "").size(), 38u);
  EXPECT_EQ(archive->GetExtendedValue(0, 8, 0, ""), std::to_string(TodayDayNumber()));
  EXPECT_EQ(archive->GetExtendedValue(0, 10, 0, ""), "True");
  auto roles = archive->Roles();
  for (const char* role : {"bw_reader", "bw_writer", "bw_structurer"}) {
    EXPECT_TRUE(Contains(roles, role)) << role;
  }
  EXPECT_EQ(Scalar(m_Admin, "SELECT DATABASEPROPERTYEX('Brindlewick_Full', 'IsAutoShrink')"), 1);
  // Every procedure exactly as sent.
  for (const std::string& sql : ArchiveSchemaStatements("Full", 8, "", 0)) {
    for (const char* head : {"CREATE PROCEDURE dbo.", "CREATE Procedure ", "CREATE PROCEDURE "}) {
      if (sql.rfind(head, 0) != 0) continue;
      std::string name = sql.substr(std::string(head).size());
      name = name.substr(0, name.find_first_of(" \n("));
      EXPECT_EQ(ProcedureText(db, name), sql) << name;
      break;
    }
  }

  // A new catalogue lists it; renamed, detached, attached again, dropped.
  Servers again;
  Server& second = NewServer(again);
  Database* listed = Find(second.Databases(), "Full");
  ASSERT_NE(listed, nullptr);
  ASSERT_TRUE(listed->Rename("Renamed"));
  ASSERT_TRUE(second.Databases().Remove(std::to_string(listed->ArchiveID())));
  Database* attached = second.Databases().Add("Renamed", std::string(kDataFolder) + "Full.mdf",
                                              std::string(kDataFolder) + "Full_log.LDF");
  ASSERT_NE(attached, nullptr);
  EXPECT_EQ(attached->GetExtendedValue(0, 3, 0, ""), kArchiveVersion);

  // Work grows the log; the shrink gives the space back.
  const auto log =
      Standin().DataDir() / "C/Program Files/Microsoft SQL Server/MSSQL/Data/Full_log.LDF";
  attached->GetConnection().Execute(
      "CREATE TABLE Growth (n int, body nvarchar(2000)) "
      "DECLARE @i int SET @i = 0 "
      "WHILE @i < 300 BEGIN INSERT INTO Growth VALUES (@i, REPLICATE(N'x', 1500)) "
      "SET @i = @i + 1 END");
  const auto grown = std::filesystem::file_size(log);
  EXPECT_GT(grown, 100u * 8192u);
  attached->ShrinkLogfile();
  EXPECT_LT(std::filesystem::file_size(log), grown / 2);
  EXPECT_EQ(Scalar(attached->GetConnection(), "SELECT COUNT(*) FROM Growth"), 300);

  EXPECT_TRUE(second.Databases().Delete(std::to_string(attached->ArchiveID())));
  EXPECT_FALSE(DatabaseExists("Brindlewick_Renamed"));
  EXPECT_FALSE(std::filesystem::exists(log));
}

TEST_F(ArchiveCatalogue, EachArchiveRoleMayDoItsShareAndNoMore) {
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  Database* archive = catalogue.AddNew("Roles", std::string(kDataFolder) + "Roles.mdf");
  ASSERT_NE(archive, nullptr);
  struct Member {
    const char* login;
    const char* role;
    Connection connection;
  } members[] = {{"reader", "bw_reader", {}},
                 {"writer", "bw_writer", {}},
                 {"structurer", "bw_structurer", {}}};
  for (Member& member : members) {
    m_Admin.Execute(std::string("EXEC sp_addlogin '") + member.login + "', 'Role-pw-1'");
    ASSERT_TRUE(archive->GrantDBAccess(member.login));
    archive->GetConnection().Execute(std::string("EXEC sp_addrolemember '") + member.role + "', '" +
                                     member.login + "'");
    EXPECT_TRUE(Contains(archive->RoleMembers(member.role), member.login));
    EXPECT_TRUE(Contains(archive->UserRoles(member.login), member.role));
    member.connection.SetConnectionString(RegistrationString(member.login, "Role-pw-1") +
                                          "Initial Catalog=Brindlewick_Roles;");
    member.connection.Open();
  }
  EXPECT_TRUE(m_Messages.History().empty());
  Connection& reader = members[0].connection;
  Connection& writer = members[1].connection;
  Connection& structurer = members[2].connection;
  constexpr std::int32_t kDenied = 229;

  // Readers read everything and keep their own notes, searches and properties.
  EXPECT_EQ(ServerError(reader, "SELECT * FROM Document"), 0);
  EXPECT_EQ(ServerError(reader, "SELECT * FROM Folder"), 0);
  EXPECT_EQ(ServerError(reader, "SELECT * FROM SearchFolderView"), 0);
  EXPECT_EQ(ServerError(reader, "EXEC DocCount"), 0);
  EXPECT_EQ(ServerError(reader, "EXEC FoldersRoot"), 0);
  EXPECT_EQ(ServerError(reader, "DELETE FROM DocLink WHERE 1 = 0"), 0);
  EXPECT_EQ(ServerError(reader, "UPDATE ExtendedData SET FieldValue = N'' WHERE 1 = 0"), 0);
  EXPECT_EQ(ServerError(reader, "CREATE TABLE ReaderNotes (x int)"), 0);
  EXPECT_EQ(ServerError(reader, "DELETE FROM Document WHERE 1 = 0"), kDenied);
  EXPECT_EQ(ServerError(reader, "DELETE FROM Folder WHERE 1 = 0"), kDenied);
  EXPECT_EQ(ServerError(reader, "EXEC DeleteDoc 0"), kDenied);
  EXPECT_EQ(ServerError(reader, "EXEC DeleteFolder 0"), kDenied);

  // Writers change documents, not the folder structure; they read nothing alone.
  EXPECT_EQ(ServerError(writer, "DELETE FROM Document WHERE 1 = 0"), 0);
  EXPECT_EQ(ServerError(writer, "UPDATE SubDocument SET ChildEntryID = 0 WHERE 1 = 0"), 0);
  EXPECT_NE(ServerError(writer, "EXEC DeleteDoc 0"), kDenied);
  EXPECT_EQ(ServerError(writer, "SELECT * FROM Document"), kDenied);
  EXPECT_EQ(ServerError(writer, "DELETE FROM Folder WHERE 1 = 0"), kDenied);
  EXPECT_EQ(ServerError(writer, "EXEC DeleteFolder 0"), kDenied);
  EXPECT_EQ(ServerError(writer, "EXEC DocCount"), kDenied);

  // Structurers change folders and categories, not documents.
  EXPECT_EQ(ServerError(structurer, "DELETE FROM Folder WHERE 1 = 0"), 0);
  EXPECT_EQ(ServerError(structurer, "DELETE FROM SubFolder WHERE 1 = 0"), 0);
  EXPECT_EQ(ServerError(structurer, "DELETE FROM Category WHERE 1 = 0"), 0);
  EXPECT_NE(ServerError(structurer, "EXEC DeleteFolder 0"), kDenied);
  EXPECT_EQ(ServerError(structurer, "DELETE FROM Document WHERE 1 = 0"), kDenied);
  EXPECT_EQ(ServerError(structurer, "EXEC DeleteDoc 0"), kDenied);
  EXPECT_EQ(ServerError(structurer, "CREATE TABLE StructurerNotes (x int)"), 262);

  for (Member& member : members) member.connection.Close();
  m_Messages.QueueAnswer(MsgResult::Yes);  // should a closed session still linger
  EXPECT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID())));
  for (Member& member : members) {
    m_Admin.Execute(std::string("EXEC sp_droplogin '") + member.login + "'");
  }
}

TEST_F(ArchiveCatalogue, FullTextIndexIsCreatedAndDroppedOnlyFromTheRightState) {
  Servers servers;
  Server& server = NewServer(servers);
  Databases& catalogue = server.Databases();
  Database* archive = catalogue.AddNew("Indexed", std::string(kDataFolder) + "Indexed.mdf");
  ASSERT_NE(archive, nullptr);
  const std::string enabled =
      "SELECT DATABASEPROPERTYEX('Brindlewick_Indexed', 'IsFulltextEnabled')";
  EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNoCatalog);

  // Any full-text statement sent now would fail: the wrong states send none.
  Standin().InjectFault("sp_fulltext", 7609, false);
  EXPECT_NO_THROW(archive->DoFullTextAction("drop"));
  Standin().ClearFaults();

  archive->DoFullTextAction("CREATE");
  const std::int32_t status = archive->GetFullTextStatus();
  EXPECT_GE(status, 0);
  EXPECT_LE(status, 9);
  EXPECT_EQ(Scalar(m_Admin, enabled), 1);
  {
    Recordset catalogs;
    catalogs.Open("EXEC sp_help_fulltext_catalogs 'Doc_Desc'", &archive->GetConnection());
    ASSERT_FALSE(catalogs.Eof());
    EXPECT_EQ(catalogs.Value("status").ToInteger(), status);
  }
  Standin().InjectFault("sp_fulltext", 7609, false);
  EXPECT_NO_THROW(archive->DoFullTextAction("create"));
  Standin().ClearFaults();

  archive->DoFullTextAction("Drop");
  EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNoCatalog);
  EXPECT_EQ(Scalar(m_Admin, enabled), 0);

  // A statement that fails stops the action; what ran before stays.
  Standin().InjectFault("'Document','PlainText','add'", 7609, true);
  EXPECT_THROW(archive->DoFullTextAction("create"), DataError);
  Standin().ClearFaults();
  EXPECT_EQ(Scalar(m_Admin, enabled), 1);
  EXPECT_GE(archive->GetFullTextStatus(), 0) << "the catalog was made before the failure";
  EXPECT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID())));
}

TEST_F(ArchiveCatalogue, On70TheArchiveIsMadeWithItsOwnStatements) {
  standin::integration::StandinProcess standin;
  // Only 7.0 sends the single-user switch, so only there this fault can strike.
  standin.Start({"--product-version", "7", "--fault",
                 "50000:once:@optname = 'single user', @optvalue = 'true'"});
  std::filesystem::remove_all(m_Home);
  Servers servers;
  std::string text = "Provider=SQLOLEDB;Data Source=127.0.0.1," + std::to_string(standin.Port()) +
                     ";User Id=sa;Password=" + kSaPassword + ";";
  Server* server = servers.Add(text);
  ASSERT_NE(server, nullptr) << standin.Log();
  EXPECT_EQ(server->ProductVersion(), 7);
  Databases& catalogue = server->Databases();
  EXPECT_EQ(catalogue.AddNew("Single", std::string(kDataFolder) + "Single.mdf"), nullptr);
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].text.rfind(LoadResString(137) + "\r", 0), 0u);
  Connection& master = server->GetConnection();
  EXPECT_EQ(Scalar(master, "SELECT COUNT(*) FROM master..sysdatabases WHERE name LIKE '%Single%'"),
            0);

  Database* archive = catalogue.AddNew("Seven", std::string(kDataFolder) + "Seven.mdf");
  ASSERT_NE(archive, nullptr) << m_Messages.History().back().text;
  EXPECT_EQ(m_Messages.History().size(), 1u);
  Connection& db = archive->GetConnection();
  EXPECT_EQ(Scalar(db, "SELECT COUNT(*) FROM Document"), 1);
  EXPECT_EQ(Scalar(db, "SELECT COUNT(*) FROM Folder"), 11);
  for (const std::string& sql : ArchiveSchemaStatements("Seven", 7, "", 0)) {
    if (sql.rfind("CREATE PROCEDURE dbo.DocByID", 0) == 0) {
      EXPECT_EQ(ProcedureText(db, "DocByID"), sql);
    }
  }
  // sp_dboption switched automatic shrinking on; single-user is off again.
  Recordset help;
  help.SetCursorLocation(adUseClient);
  help.Open("EXEC sp_helpdb 'Brindlewick_Seven'", &master, adOpenForwardOnly, adLockOptimistic);
  ASSERT_FALSE(help.Eof());
  const std::string status = help.Value("status").ToText();
  help.Close();
  EXPECT_NE(status.find("autoshrink"), std::string::npos) << status;
  EXPECT_EQ(status.find("single user"), std::string::npos) << status;
  EXPECT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID())));
}

}  // namespace
}  // namespace bw
