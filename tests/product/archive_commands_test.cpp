// The archive commands that check the caller's role in the archive (shrink
// log, full text, rename, owner) against a started sqlstandin, for a login
// that may run them and one that may not.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "StandinFixture.h"
#include "commands/ArchiveCommands.h"
#include "servers/Servers.h"
#include "support/MessageService.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::commands {
namespace {

constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";
constexpr char kPassword[] = "Guard-pw-1";

class ArchiveCommandRoles : public bw::testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-archive-commands", &m_Messages);
    // The archive and two logins: a clerk who only reads in it, and a keeper
    // whom each test gives its place.
    Server& admin = Register(m_AdminServers, "sa", kSaPassword);
    ASSERT_NE(admin.Databases().AddNew("Guard", std::string(kDataFolder) + "Guard.mdf"), nullptr);
    Database& archive = *Archive(admin);
    for (const char* login : {"keeper", "clerk"}) {
      // Kept for the suite's next test: a login that just closed its
      // sessions may not be dropped at once.
      admin.GetConnection().Execute(
          std::string("IF NOT EXISTS (SELECT * FROM master..syslogins WHERE name = '") + login +
          "') EXEC sp_addlogin '" + login + "', '" + kPassword + "'");
    }
    ASSERT_TRUE(archive.GrantDBAccess("clerk"));
    archive.GetConnection().Execute("EXEC sp_addrolemember 'bw_reader', 'clerk'");
    ASSERT_TRUE(m_Messages.History().empty());
  }

  Database& AdminArchive() { return *Archive(*m_AdminServers.Item(1)); }
  void TearDown() override {
    if (Server* admin = m_AdminServers.Item(1)) {
      for (Database* archive : admin->Databases().NewEnum()) {
        m_Messages.QueueAnswer(MsgResult::Yes);
        EXPECT_TRUE(admin->Databases().Delete(std::to_string(archive->ArchiveID())));
      }
    }
    LeaveProfile(m_Home);
  }

  Server& Register(Servers& servers, const std::string& login, const std::string& password) {
    std::string text = RegistrationString(login, password);
    Server* server = servers.Add(text);
    if (server == nullptr) throw std::runtime_error("the stand-in did not connect " + login);
    return *server;
  }
  static Database* Archive(Server& server) {
    for (Database* archive : server.Databases().NewEnum()) {
      if (archive->DatabaseName().rfind("Brindlewick_", 0) == 0) return archive;
    }
    return nullptr;
  }
  std::string LastMessage() const {
    return m_Messages.History().empty() ? "" : m_Messages.History().back().text;
  }
  std::string Owner() {
    Connection admin;
    admin.SetConnectionString(RegistrationString());
    admin.Open();
    Recordset rs;
    rs.Open("SELECT SUSER_SNAME(sid) FROM master..sysdatabases WHERE name LIKE 'Brindlewick[_]%'",
            &admin);
    return rs.Eof() ? "" : rs.Value(0).ToText();
  }

  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
  Servers m_AdminServers;
};

TEST_F(ArchiveCommandRoles, AReaderIsRefusedBeforeAnythingIsAsked) {
  Servers servers;
  Database* archive = Archive(Register(servers, "clerk", kPassword));
  ASSERT_NE(archive, nullptr);
  const std::string refusal = LoadResString(40);
  const auto refused = [&](Outcome outcome) {
    EXPECT_EQ(outcome, Outcome::Refused);
    EXPECT_EQ(LastMessage(), refusal);
  };
  refused(ShrinkLogfile(*archive));
  refused(AddCatalog(*archive));
  refused(RemoveCatalog(*archive));
  refused(RenameDatabase(*archive, "Taken"));
  refused(ChangeOwner(*archive, "clerk"));
  EXPECT_EQ(m_Messages.History().size(), 5u) << "one refusal each, no question";
  EXPECT_EQ(archive->Name(), "Guard");
  EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNoCatalog);
  EXPECT_EQ(Owner(), "sa");
}

TEST_F(ArchiveCommandRoles, TheOwnerShrinksAndIndexesAfterTheQuestion) {
  AdminArchive().GetConnection().Execute("EXEC sp_changedbowner 'keeper'");
  Servers servers;
  Database* archive = Archive(Register(servers, "keeper", kPassword));
  ASSERT_NE(archive, nullptr);

  m_Messages.QueueAnswer(MsgResult::No);
  EXPECT_EQ(ShrinkLogfile(*archive), Outcome::Declined);
  EXPECT_EQ(LastMessage(), FormatResString(354, {Variant("Guard")}));
  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(ShrinkLogfile(*archive), Outcome::Done) << LastMessage();

  m_Messages.QueueAnswer(MsgResult::No);
  EXPECT_EQ(AddCatalog(*archive), Outcome::Declined);
  EXPECT_EQ(LastMessage(), FormatResString(344, {Variant("Guard")}));
  EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNoCatalog);
  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(AddCatalog(*archive), Outcome::Done);
  EXPECT_GE(archive->GetFullTextStatus(), 0);

  m_Messages.QueueAnswer(MsgResult::No);
  EXPECT_EQ(RemoveCatalog(*archive), Outcome::Declined);
  EXPECT_EQ(LastMessage(), FormatResString(345, {Variant("Guard")}));
  EXPECT_GE(archive->GetFullTextStatus(), 0);
  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(RemoveCatalog(*archive), Outcome::Done);
  EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNoCatalog);
  EXPECT_EQ(m_Messages.History().size(), 6u);
}

TEST_F(ArchiveCommandRoles, RenameAndOwnerPassTheRoleCheckButNeedTheServersConsent) {
  // A db_owner passes the command's check; renaming and changing the owner
  // are the server roles' business, and the server's refusal is reported.
  ASSERT_TRUE(AdminArchive().GrantDBAccess("keeper", "deputy"));
  AdminArchive().GetConnection().Execute("EXEC sp_addrolemember 'db_owner', 'deputy'");
  {
    Servers servers;
    Database* archive = Archive(Register(servers, "keeper", kPassword));
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(RenameDatabase(*archive, "Elsewhere"), Outcome::Error);
    EXPECT_EQ(LastMessage().rfind(LoadResString(355) + "\r", 0), 0u) << LastMessage();
    EXPECT_EQ(archive->Name(), "Guard");
    EXPECT_NO_THROW(archive->GetConnection().Execute("SELECT 1"));
    // The log and the full-text index are a db_owner's own business.
    m_Messages.QueueAnswer(MsgResult::Yes);
    EXPECT_EQ(ShrinkLogfile(*archive), Outcome::Done) << LastMessage();
    m_Messages.QueueAnswer(MsgResult::Yes);
    EXPECT_EQ(AddCatalog(*archive), Outcome::Done);
    EXPECT_GE(archive->GetFullTextStatus(), 0);
    m_Messages.QueueAnswer(MsgResult::Yes);
    EXPECT_EQ(RemoveCatalog(*archive), Outcome::Done);
    EXPECT_EQ(archive->GetFullTextStatus(), kFullTextNoCatalog);
  }

  // sa renames, then makes the keeper the owner: the keeper's user (named
  // otherwise) goes first.
  Database* archive = &AdminArchive();
  const std::size_t before = m_Messages.History().size();
  m_Messages.QueueAnswer(MsgResult::Yes);  // should the keeper's session still linger
  EXPECT_EQ(RenameDatabase(*archive, "Brindlewick_Moved"), Outcome::Done) << LastMessage();
  EXPECT_EQ(archive->DatabaseName(), "Brindlewick_Moved");

  EXPECT_EQ(ChangeOwner(*archive, ""), Outcome::Failed);
  EXPECT_EQ(LastMessage(), LoadResString(92));
  EXPECT_EQ(ChangeOwner(*archive, "keeper"), Outcome::Done) << LastMessage();
  EXPECT_EQ(Owner(), "keeper");
  auto users = archive->RoleMembers("db_owner");
  EXPECT_EQ(std::find(users.begin(), users.end(), "deputy"), users.end())
      << "the keeper is dbo now, no longer a user of its own";
  // Naming the present owner again removes no user: dbo is not one to revoke.
  const Outcome again = ChangeOwner(*archive, "keeper");
  EXPECT_EQ(LastMessage().find("Beim Entfernen"), std::string::npos) << LastMessage();
  EXPECT_EQ(Owner(), "keeper");
  EXPECT_EQ(again, Outcome::Done) << LastMessage();
  EXPECT_LE(m_Messages.History().size(), before + 2);

  // A login the server does not know: the error is reported, the owner stays.
  EXPECT_EQ(ChangeOwner(*archive, "nobody"), Outcome::Failed);
  EXPECT_EQ(LastMessage().rfind(LoadResString(93), 0), 0u) << LastMessage();
  EXPECT_EQ(Owner(), "keeper");
}

}  // namespace
}  // namespace bw::commands
