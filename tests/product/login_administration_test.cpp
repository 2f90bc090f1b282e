// Logins and archive users against a started sqlstandin: the Add Login
// wizard, the login properties, the archive user properties and the
// commands around them, each checked by the statements it sends and by what
// the login may do afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "StandinFixture.h"
#include "archives/Databases.h"
#include "commands/DialogService.h"
#include "commands/SecurityCommands.h"
#include "commands/security/AddLoginWizard.h"
#include "commands/security/ArchiveUserProperties.h"
#include "commands/security/LoginProperties.h"
#include "servers/Servers.h"
#include "support/Placeholders.h"
#include "support/SqlText.h"
#include "support/StringTable.h"

namespace bw::commands::security {
namespace {

constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";
constexpr char kPassword[] = "Vault-pw-1";
constexpr std::int32_t kDenied = 229;

std::vector<std::string> Texts(const std::vector<Statement>& statements) {
  std::vector<std::string> out;
  for (const Statement& statement : statements) out.push_back(statement.sql);
  return out;
}

std::int32_t ServerError(Connection& connection, const std::string& sql) {
  try {
    connection.Execute(sql);
    return 0;
  } catch (const DataError& error) {
    return error.ServerNumber();
  }
}

class LoginAdministration : public bw::testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-logins", &m_Messages);
    std::ofstream(Standin().DataDir() / "accounts.txt")
        << "user SHOP\\alice\nuser SHOP\\bob\ngroup SHOP\\staff\n";
    std::string registration = RegistrationString();
    m_Server = m_Servers.Add(registration);
    ASSERT_NE(m_Server, nullptr);
    m_Archive = m_Server->Databases().AddNew("Vault", std::string(kDataFolder) + "Vault.mdf");
    ASSERT_NE(m_Archive, nullptr);
    m_Admin.SetConnectionString(RegistrationString());
    m_Admin.Open();
    ASSERT_TRUE(m_Messages.History().empty());
  }
  void TearDown() override {
    for (Database* archive : m_Server->Databases().NewEnum()) {
      m_Messages.QueueAnswer(MsgResult::Yes);
      EXPECT_TRUE(m_Server->Databases().Delete(std::to_string(archive->ArchiveID())));
    }
    LeaveProfile(m_Home);
  }

  void AddSqlLogin(const std::string& name, const std::string& password = kPassword) {
    m_Admin.Execute("EXEC sp_addlogin " + SqlString(name) + ", " + SqlString(password));
  }
  std::string Scalar(const std::string& sql) {
    Recordset rs;
    rs.Open(sql, &m_Admin);
    return rs.Eof() ? "" : rs.Value(0).ToText();
  }
  // A connection of `login` to the archive; throws when it may not log in.
  std::unique_ptr<Connection> OpenAs(const std::string& login,
                                     const std::string& password = kPassword,
                                     const std::string& database = "Brindlewick_Vault") {
    auto connection = std::make_unique<Connection>();
    connection->SetConnectionString(RegistrationString(login, password) +
                                    (database.empty() ? "" : "Initial Catalog=" + database + ";"));
    connection->Open();
    return connection;
  }
  // Which of read, write and structure `login` may do in the archive: 0 for
  // allowed, else the server's error.
  std::vector<std::int32_t> Abilities(const std::string& login) {
    auto connection = OpenAs(login);
    return {ServerError(*connection, "SELECT * FROM Document"),
            ServerError(*connection, "DELETE FROM Document WHERE 1 = 0"),
            ServerError(*connection, "DELETE FROM Folder WHERE 1 = 0")};
  }
  std::string LastMessage() const {
    return m_Messages.History().empty() ? "" : m_Messages.History().back().text;
  }
  // Walks the wizard to its archives page.
  void ToArchivesPage(AddLoginWizard& wizard, bool windows, const std::string& name,
                      const std::string& password = "") {
    ASSERT_TRUE(wizard.Next());
    wizard.SelectWindowsAuthentication(windows);
    ASSERT_TRUE(wizard.Next()) << LastMessage();
    wizard.SetLoginName(name);
    wizard.SetPassword(password);
    wizard.SetConfirmation(password);
    ASSERT_TRUE(wizard.Next());
    ASSERT_EQ(wizard.CurrentPage(), AddLoginWizard::Page::Archives);
  }

  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
  Servers m_Servers;
  Server* m_Server = nullptr;
  Database* m_Archive = nullptr;
  Connection m_Admin;
};

TEST_F(LoginAdministration, WindowsLoginGrantedDeniedAndAToggleTwiceSendsNothing) {
  AddLoginWizard wizard(*m_Server);
  ToArchivesPage(wizard, true, "SHOP\\alice");
  ASSERT_EQ(wizard.Archives().size(), 1u);
  wizard.SetArchiveChecked(0, true);
  const auto statements = wizard.Statements();
  EXPECT_EQ(Texts(statements),
            (std::vector<std::string>{"EXEC master..sp_grantlogin 'SHOP\\alice'",
                                      "EXEC sp_grantdbaccess 'SHOP\\alice', 'SHOP\\alice'",
                                      "EXEC sp_addrolemember 'bw_reader', 'SHOP\\alice'",
                                      "EXEC sp_addrolemember 'bw_writer', 'SHOP\\alice'",
                                      "EXEC sp_addrolemember 'bw_structurer', 'SHOP\\alice'"}));
  EXPECT_EQ(statements[0].connection, &m_Server->GetConnection());
  EXPECT_EQ(statements[1].connection, &m_Archive->GetConnection()) << "the archive's own";
  ASSERT_TRUE(wizard.Next()) << LastMessage();
  EXPECT_EQ(wizard.CurrentPage(), AddLoginWizard::Page::Result);
  EXPECT_EQ(wizard.ResultText(), FormatResString(259, {"SHOP\\alice", m_Server->Name()}));
  EXPECT_EQ(Scalar("SELECT hasaccess FROM master.dbo.syslogins WHERE loginname = 'SHOP\\alice'"),
            "1");

  LoginProperties login(*m_Server);
  login.Load("SHOP\\alice");
  EXPECT_TRUE(login.Found());
  EXPECT_TRUE(login.IsWindowsLogin());
  EXPECT_TRUE(login.GrantSelected());
  ASSERT_EQ(login.Archives().size(), 1u);
  EXPECT_TRUE(login.Archives()[0].hadAccess);
  EXPECT_EQ(login.Archives()[0].userName, "SHOP\\alice");

  login.SelectGrant(false);
  EXPECT_EQ(Texts(login.Statements()),
            (std::vector<std::string>{"EXEC master..sp_denylogin 'SHOP\\alice'"}));
  EXPECT_EQ(login.Ok(), LoginProperties::OkResult::Closed) << LastMessage();
  LoginProperties denied(*m_Server);
  denied.Load("SHOP\\alice");
  EXPECT_FALSE(denied.GrantSelected());

  // Grant then deny again on the denied login: no access statement at all —
  // any statement to master would fail now.
  denied.SelectGrant(true);
  denied.SelectGrant(false);
  EXPECT_TRUE(denied.Statements().empty());
  Standin().InjectFault("master..", 50000, false);
  EXPECT_EQ(denied.Ok(), LoginProperties::OkResult::Closed) << LastMessage();
  Standin().ClearFaults();

  denied.SelectGrant(true);
  EXPECT_EQ(denied.Ok(), LoginProperties::OkResult::Closed) << LastMessage();
  EXPECT_EQ(Scalar("SELECT denylogin FROM master.dbo.syslogins WHERE loginname = 'SHOP\\alice'"),
            "0");
  EXPECT_TRUE(m_Messages.History().empty()) << LastMessage();
}

TEST_F(LoginAdministration, SqlLoginWithQuotesLogsInWithItsPasswordAndANewOne) {
  const std::string name = "o'neil;[x]";
  const std::string password = "it's; DROP LOGIN sa --";
  AddLoginWizard wizard(*m_Server);
  ToArchivesPage(wizard, false, name, password);
  EXPECT_EQ(Texts(wizard.Statements()),
            (std::vector<std::string>{
                "EXEC master..sp_addlogin 'o''neil;[x]', 'it''s; DROP LOGIN sa --'"}))
      << "no archive checked: only the login";
  ASSERT_TRUE(wizard.Next()) << LastMessage();
  EXPECT_NO_THROW(OpenAs(name, password, ""));

  LoginProperties login(*m_Server);
  login.Load(name);
  EXPECT_FALSE(login.IsWindowsLogin());
  EXPECT_TRUE(login.Statements().empty());
  const std::string changed(128, 'Q');
  login.SetNewPassword(changed);
  EXPECT_EQ(Texts(login.Statements()),
            (std::vector<std::string>{"EXEC master..sp_password @old=NULL, @new='" + changed +
                                      "' , @loginame='o''neil;[x]'"}));
  EXPECT_EQ(login.Ok(), LoginProperties::OkResult::Closed) << LastMessage();
  EXPECT_NO_THROW(OpenAs(name, changed, ""));
  EXPECT_THROW(OpenAs(name, password, ""), DataError);
  EXPECT_TRUE(login.Statements().empty()) << "sent once";
}

TEST_F(LoginAdministration, ServerRolesAddedAndRemoved) {
  AddSqlLogin("roleplayer");
  LoginProperties login(*m_Server);
  login.Load("roleplayer");
  ASSERT_EQ(login.ServerRoles().size(), 3u);
  for (const auto& role : login.ServerRoles()) EXPECT_FALSE(role.member) << role.role;
  login.SetServerRoleChecked(1, true);
  login.SetServerRoleChecked(2, true);
  EXPECT_EQ(
      Texts(login.Statements()),
      (std::vector<std::string>{"EXEC master..sp_addsrvrolemember 'roleplayer', 'securityadmin'",
                                "EXEC master..sp_addsrvrolemember 'roleplayer', 'dbcreator'"}));
  EXPECT_EQ(login.Ok(), LoginProperties::OkResult::Closed) << LastMessage();
  EXPECT_EQ(Scalar("SELECT IS_SRVROLEMEMBER('securityadmin', 'roleplayer')"), "1");
  EXPECT_EQ(Scalar("SELECT IS_SRVROLEMEMBER('dbcreator', 'roleplayer')"), "1");

  LoginProperties again(*m_Server);
  again.Load("roleplayer");
  EXPECT_TRUE(again.ServerRoles()[1].member);
  EXPECT_TRUE(again.ServerRoles()[2].member);
  again.SetServerRoleChecked(2, false);
  EXPECT_EQ(
      Texts(again.Statements()),
      (std::vector<std::string>{"EXEC master..sp_dropsrvrolemember 'roleplayer', 'dbcreator'"}));
  EXPECT_EQ(again.Ok(), LoginProperties::OkResult::Closed) << LastMessage();
  EXPECT_EQ(Scalar("SELECT IS_SRVROLEMEMBER('dbcreator', 'roleplayer')"), "0");
  EXPECT_EQ(Scalar("SELECT IS_SRVROLEMEMBER('securityadmin', 'roleplayer')"), "1");
}

TEST_F(LoginAdministration, ArchiveAccessByRoleCheckedByWhatTheLoginMayDo) {
  AddSqlLogin("clerk");
  LoginProperties login(*m_Server);
  login.Load("clerk");
  ASSERT_EQ(login.Archives().size(), 1u);
  EXPECT_FALSE(login.Archives()[0].hadAccess);
  EXPECT_THROW(OpenAs("clerk"), DataError) << "no access yet";
  login.SetArchiveChecked(0, true);
  EXPECT_EQ(Texts(login.Statements()),
            (std::vector<std::string>{
                "EXEC Brindlewick_Vault..sp_grantdbaccess 'clerk'",
                "EXEC Brindlewick_Vault..sp_addrolemember 'bw_reader', 'clerk'",
                "EXEC Brindlewick_Vault..sp_addrolemember 'bw_writer', 'clerk'",
                "EXEC Brindlewick_Vault..sp_addrolemember 'bw_structurer', 'clerk'"}));
  ASSERT_EQ(login.Ok(), LoginProperties::OkResult::Closed) << LastMessage();
  EXPECT_EQ(Abilities("clerk"), (std::vector<std::int32_t>{0, 0, 0}));

  // Taking the roles away one by one, from the top.
  struct Step {
    std::size_t uncheck;
    std::vector<std::string> sent;
    std::vector<std::int32_t> abilities;
  } steps[] = {
      {ArchiveUserProperties::kStructurer,
       {"EXEC sp_droprolemember 'bw_structurer', 'clerk'"},
       {0, 0, kDenied}},
      {ArchiveUserProperties::kWriter,
       {"EXEC sp_droprolemember 'bw_writer', 'clerk'"},
       {0, kDenied, kDenied}},
      {ArchiveUserProperties::kReader,
       {"EXEC sp_droprolemember 'bw_reader', 'clerk'"},
       {kDenied, kDenied, kDenied}},
  };
  for (const Step& step : steps) {
    ArchiveUserProperties user(*m_Archive, "clerk", "clerk");
    user.Load();
    user.SetRoleChecked(step.uncheck, false);
    EXPECT_EQ(Texts(user.RoleStatements()), step.sent);
    EXPECT_EQ(user.Ok(), ArchiveUserProperties::OkResult::Closed) << LastMessage();
    EXPECT_EQ(Abilities("clerk"), step.abilities) << step.sent[0];
  }
  // Checking the structure role alone brings the two below it.
  ArchiveUserProperties user(*m_Archive, "clerk", "clerk");
  user.Load();
  user.SetRoleChecked(ArchiveUserProperties::kStructurer, true);
  EXPECT_EQ(user.RoleStatements().size(), 3u);
  EXPECT_EQ(user.Ok(), ArchiveUserProperties::OkResult::Closed) << LastMessage();
  EXPECT_EQ(Abilities("clerk"), (std::vector<std::int32_t>{0, 0, 0}));

  // Access taken away by the login's properties: the revoke names the user.
  LoginProperties gone(*m_Server);
  gone.Load("clerk");
  ASSERT_TRUE(gone.Archives()[0].hadAccess);
  gone.SetArchiveChecked(0, false);
  EXPECT_EQ(Texts(gone.Statements()),
            (std::vector<std::string>{"EXEC Brindlewick_Vault..sp_revokedbaccess 'clerk'"}));
  EXPECT_EQ(gone.Ok(), LoginProperties::OkResult::Closed) << LastMessage();
  EXPECT_THROW(OpenAs("clerk"), DataError);
  EXPECT_TRUE(m_Messages.History().empty()) << LastMessage();
}

TEST_F(LoginAdministration, NewArchiveUserUnderAnotherNameAndTheNestedUncheck) {
  AddSqlLogin("scribe");
  ArchiveUserProperties fresh(*m_Archive);
  fresh.Load();
  const auto& offered = fresh.AvailableLogins();
  EXPECT_EQ(std::find(offered.begin(), offered.end(), "sa"), offered.end());
  ASSERT_NE(std::find(offered.begin(), offered.end(), "scribe"), offered.end());
  fresh.SelectLogin("scribe");
  EXPECT_EQ(fresh.UserName(), "scribe");
  fresh.SetUserName("Scribe's desk");
  EXPECT_EQ(Texts(fresh.RoleStatements()),
            (std::vector<std::string>{"EXEC sp_addrolemember 'bw_reader', 'Scribe''s desk'",
                                      "EXEC sp_addrolemember 'bw_writer', 'Scribe''s desk'",
                                      "EXEC sp_addrolemember 'bw_structurer', 'Scribe''s desk'"}));
  ASSERT_EQ(fresh.Ok(), ArchiveUserProperties::OkResult::Closed) << LastMessage();
  EXPECT_EQ(Abilities("scribe"), (std::vector<std::int32_t>{0, 0, 0}));

  ArchiveUserProperties listed(*m_Archive);
  listed.Load();
  const auto& now = listed.AvailableLogins();
  EXPECT_EQ(std::find(now.begin(), now.end(), "scribe"), now.end()) << "already a user";

  // The login properties find the user by its own name.
  LoginProperties login(*m_Server);
  login.Load("scribe");
  EXPECT_EQ(login.Archives()[0].userName, "Scribe's desk");
  login.SetArchiveChecked(0, false);
  EXPECT_EQ(
      Texts(login.Statements()),
      (std::vector<std::string>{"EXEC Brindlewick_Vault..sp_revokedbaccess 'Scribe''s desk'"}));

  ArchiveUserProperties user(*m_Archive, "Scribe's desk", "scribe");
  user.Load();
  user.SetRoleChecked(ArchiveUserProperties::kReader, false);
  EXPECT_EQ(Texts(user.RoleStatements()),
            (std::vector<std::string>{"EXEC sp_droprolemember 'bw_reader', 'Scribe''s desk'",
                                      "EXEC sp_droprolemember 'bw_writer', 'Scribe''s desk'",
                                      "EXEC sp_droprolemember 'bw_structurer', 'Scribe''s desk'"}));
  EXPECT_EQ(user.Ok(), ArchiveUserProperties::OkResult::Closed) << LastMessage();
  EXPECT_EQ(Abilities("scribe"), (std::vector<std::int32_t>{kDenied, kDenied, kDenied}));
  EXPECT_TRUE(user.RoleStatements().empty());
  EXPECT_TRUE(m_Messages.History().empty()) << LastMessage();
}

TEST_F(LoginAdministration, RevokingAnArchiveOwnerIsRefusedAndNothingChanges) {
  AddSqlLogin("founder");
  ASSERT_TRUE(m_Archive->GrantDBAccess("founder"));
  // Owner of a database that comes after the archive in the server's list.
  m_Admin.Execute("CREATE DATABASE Zfounded");
  m_Admin.Execute("USE Zfounded");
  m_Admin.Execute("EXEC sp_changedbowner 'founder'");
  m_Admin.Execute("USE master");

  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(commands::RevokeLogin(*m_Server, "founder", true), Outcome::Failed);
  ASSERT_EQ(m_Messages.History().size(), 2u);
  EXPECT_EQ(m_Messages.History()[0].text, FormatResString(60, {"founder"}));
  EXPECT_EQ(m_Messages.History()[0].style & MsgStyle::DefaultButton2, MsgStyle::DefaultButton2);
  EXPECT_EQ(LastMessage(), FormatResString(309, {"founder", "Zfounded"}));
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM master.dbo.syslogins WHERE loginname = 'founder'"), "1");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Brindlewick_Vault..sysusers WHERE name = 'founder'"), "1")
      << "its user in the other archive stays";

  m_Admin.Execute("DROP DATABASE Zfounded");
  m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(commands::RevokeLogin(*m_Server, "founder", true), Outcome::Done) << LastMessage();
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM master.dbo.syslogins WHERE loginname = 'founder'"), "0");
}

TEST_F(LoginAdministration, WithoutSecurityAdministrationRefusedBeforeAnyQuestion) {
  AddSqlLogin("maker");
  m_Admin.Execute("EXEC sp_addsrvrolemember 'maker', 'dbcreator'");
  ASSERT_TRUE(m_Archive->GrantDBAccess("maker"));
  m_Archive->GetConnection().Execute("EXEC sp_addrolemember 'bw_reader', 'maker'");
  AddSqlLogin("victim");
  Servers servers;
  std::string registration = RegistrationString("maker", kPassword);
  Server* server = servers.Add(registration);
  ASSERT_NE(server, nullptr);
  Database* archive = server->Databases().Item(1L);
  ASSERT_NE(archive, nullptr);

  struct Case {
    std::function<Outcome()> run;
    std::string refusal;
  } cases[] = {
      {[&] { return commands::GrantLogin(*server); }, FormatResString(49, {server->Name()})},
      {[&] { return commands::RevokeLogin(*server, "victim", true); },
       FormatResString(61, {server->Name()})},
      {[&] { return commands::NewDatabaseUser(*archive); }, LoadResString(53)},
      {[&] { return commands::RevokeDBAccess(*archive, "maker"); },
       FormatResString(58, {archive->Name()})},
  };
  for (const Case& c : cases) {
    const std::size_t before = m_Messages.History().size();
    EXPECT_EQ(c.run(), Outcome::Refused);
    ASSERT_EQ(m_Messages.History().size(), before + 1) << "one refusal, no question";
    EXPECT_EQ(LastMessage(), c.refusal);
    EXPECT_EQ(m_Messages.History().back().style, MsgStyle::Information);
  }

  LoginProperties login(*server);
  login.Load("victim");
  login.SetServerRoleChecked(0, true);
  EXPECT_EQ(login.Ok(), LoginProperties::OkResult::Refused);
  EXPECT_EQ(LastMessage(), LoadResString(119));
  ArchiveUserProperties user(*archive, "maker", "maker");
  user.Load();
  user.SetRoleChecked(ArchiveUserProperties::kWriter, true);
  EXPECT_EQ(user.Ok(), ArchiveUserProperties::OkResult::Refused);
  EXPECT_EQ(LastMessage(), LoadResString(243));
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM master.dbo.syslogins WHERE loginname = 'victim'"), "1");
  EXPECT_EQ(Scalar("SELECT IS_SRVROLEMEMBER('sysadmin', 'victim')"), "0");

  // A db_owner of the archive without any server role may change roles.
  m_Archive->GetConnection().Execute("EXEC sp_addrolemember 'db_owner', 'maker'");
  ArchiveUserProperties owner(*archive, "maker", "maker");
  owner.Load();
  owner.SetRoleChecked(ArchiveUserProperties::kWriter, true);
  EXPECT_EQ(owner.Ok(), ArchiveUserProperties::OkResult::Closed) << LastMessage();
}

TEST_F(LoginAdministration, WizardPagesWarningsAndTheRejectedWindowsAccount) {
  AddLoginWizard wizard(*m_Server);
  ASSERT_TRUE(wizard.Next());
  wizard.SelectWindowsAuthentication(false);
  ASSERT_TRUE(wizard.Next());
  EXPECT_EQ(wizard.LoginDetailTexts().heading, 250);
  EXPECT_EQ(wizard.LoginDetailTexts().access, 0);
  EXPECT_FALSE(wizard.Next());
  EXPECT_EQ(wizard.LastWarning().textId, 253);
  wizard.SetLoginName("newbie");
  EXPECT_FALSE(wizard.Next()) << "both password boxes empty";
  EXPECT_EQ(wizard.LastWarning().textId, 254);
  EXPECT_EQ(wizard.LastWarning().field, AddLoginWizard::Field::Password);
  wizard.SetPassword("Secret");
  wizard.SetConfirmation("secret");
  EXPECT_FALSE(wizard.Next()) << "differs in case";
  EXPECT_EQ(wizard.LastWarning().textId, 254);
  EXPECT_EQ(wizard.CurrentPage(), AddLoginWizard::Page::LoginDetails);

  // Back to the authentication page and forward again empties the name.
  wizard.Back();
  EXPECT_EQ(wizard.CurrentPage(), AddLoginWizard::Page::AuthenticationType);
  wizard.SelectWindowsAuthentication(true);
  ASSERT_TRUE(wizard.Next());
  EXPECT_EQ(wizard.LoginName(), "");
  EXPECT_EQ(wizard.LoginDetailTexts().heading, 247);
  EXPECT_EQ(wizard.LoginDetailTexts().access, 249);
  wizard.SetLoginName("SHOP\\ghost");
  ASSERT_TRUE(wizard.Next());
  wizard.SetArchiveChecked(0, true);
  EXPECT_FALSE(wizard.Next());
  EXPECT_EQ(wizard.CurrentPage(), AddLoginWizard::Page::Archives);
  const std::string shown = LastMessage();
  const std::string head = LoadResString(120) + "\r\n";
  const std::string tail = "\r\r" + LoadResString(121) + "\r" + LoadResString(122);
  ASSERT_EQ(shown.rfind(head, 0), 0u) << shown;
  ASSERT_GT(shown.size(), head.size() + tail.size());
  EXPECT_EQ(shown.substr(shown.size() - tail.size()), tail) << shown;
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM master.dbo.syslogins WHERE loginname = 'SHOP\\ghost'"),
            "0");

  // Without SQL Server authentication on offer, no suggestion of it.
  wizard.SetSqlAuthenticationOffered(false);
  EXPECT_FALSE(wizard.Next());
  EXPECT_EQ(LastMessage().substr(LastMessage().size() - 2 - LoadResString(121).size()),
            "\r\r" + LoadResString(121));
}

TEST_F(LoginAdministration, UnknownLoginModeRefusesWindowsLoginsOnlyToASysadmin) {
  // A sysadmin whose server gives no mode: Windows authentication is refused
  // with 245, SQL Server authentication goes on.
  Standin().InjectFault("xp_loginconfig", 50000, false);
  AddLoginWizard wizard(*m_Server);
  ASSERT_TRUE(wizard.Next());
  wizard.SelectWindowsAuthentication(true);
  EXPECT_FALSE(wizard.Next());
  EXPECT_EQ(wizard.CurrentPage(), AddLoginWizard::Page::AuthenticationType);
  EXPECT_EQ(LastMessage(), FormatResString(245, {m_Server->Name()}));
  EXPECT_EQ(m_Messages.History().back().style, MsgStyle::Information);
  wizard.SelectWindowsAuthentication(false);
  EXPECT_TRUE(wizard.Next());
  EXPECT_EQ(wizard.CurrentPage(), AddLoginWizard::Page::LoginDetails);
  Standin().ClearFaults();

  // A securityadmin may not read the mode at all; that is no reason to
  // refuse it the Windows login it is there to grant. Its archives page
  // offers only the archives it may open.
  AddSqlLogin("keeper");
  m_Admin.Execute("EXEC sp_addsrvrolemember 'keeper', 'securityadmin'");
  Servers servers;
  std::string registration = RegistrationString("keeper", kPassword);
  Server* server = servers.Add(registration);
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->LoginMode(), 0);
  AddLoginWizard keepers(*server);
  const std::size_t before = m_Messages.History().size();
  ToArchivesPage(keepers, true, "SHOP\\alice");
  EXPECT_EQ(m_Messages.History().size(), before) << LastMessage();
  EXPECT_TRUE(keepers.Archives().empty());
  ASSERT_EQ(server->Databases().Unopened().size(), 1u);
  EXPECT_TRUE(server->Databases().Unopened()[0].refused);
  ASSERT_TRUE(keepers.Next()) << LastMessage();
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM master.dbo.syslogins WHERE loginname = 'SHOP\\alice'"),
            "1");
}

TEST_F(LoginAdministration, WizardNextAfterAFailureSendsOnlyWhatIsMissing) {
  AddLoginWizard wizard(*m_Server);
  ToArchivesPage(wizard, false, "retrier", kPassword);
  wizard.SetArchiveChecked(0, true);
  Standin().InjectFault("'bw_writer'", 50000, true);
  EXPECT_FALSE(wizard.Next());
  EXPECT_EQ(wizard.CurrentPage(), AddLoginWizard::Page::Archives);
  EXPECT_EQ(LastMessage().rfind(LoadResString(120) + "\r\n", 0), 0u) << LastMessage();
  EXPECT_EQ(Texts(wizard.Statements()),
            (std::vector<std::string>{"EXEC sp_addrolemember 'bw_writer', 'retrier'",
                                      "EXEC sp_addrolemember 'bw_structurer', 'retrier'"}));
  ASSERT_TRUE(wizard.Next()) << LastMessage();
  EXPECT_EQ(Abilities("retrier"), (std::vector<std::int32_t>{0, 0, 0}));
}

// Records which dialog a command opened, with what.
class RecordingDialogs : public DialogService {
 public:
  std::vector<std::string> opened;
  void ShowSQLServer(Servers&, Server*, int) override { opened.push_back("frmSQLServer"); }
  void ShowNewArchiveWizard(Databases&) override { opened.push_back("frmNewArchiveWizard"); }
  void ShowOpenArchive(Databases&) override { opened.push_back("frmOpenArchive"); }
  void ShowChangeOwner(Database&) override { opened.push_back("frmChangeOwner"); }
  void ShowLoginProperties(Server&, const std::string& login) override {
    opened.push_back("frmLogin " + login);
  }
  void ShowAddLoginWizard(Server&) override { opened.push_back("frmUserWizard"); }
  void ShowArchiveUser(Database& archive, const std::string& user,
                       const std::string& login) override {
    opened.push_back("frmUser " + archive.Name() + " [" + user + "] [" + login + "]");
  }
  bool ShowChangePassword(std::string&) override { return false; }
  void ShowProgress(Database&, ProgressTask, std::int32_t) override {}
};

TEST_F(LoginAdministration, CommandsOpenTheirDialogsThroughTheService) {
  RecordingDialogs dialogs;
  SetDialogService(&dialogs);
  EXPECT_EQ(commands::GrantLogin(*m_Server), Outcome::Done);
  EXPECT_EQ(commands::LoginProperties(*m_Server, "SHOP\\staff"), Outcome::Done);
  EXPECT_EQ(commands::NewDatabaseUser(*m_Archive), Outcome::Done);
  EXPECT_EQ(commands::UserProperties(*m_Archive, "desk", "clerk"), Outcome::Done);
  SetDialogService(nullptr);
  EXPECT_EQ(dialogs.opened,
            (std::vector<std::string>{"frmUserWizard", "frmLogin SHOP\\staff",
                                      "frmUser Vault [] []", "frmUser Vault [desk] [clerk]"}));
  EXPECT_TRUE(m_Messages.History().empty()) << LastMessage();

  // A Windows group is a Windows login too.
  m_Admin.Execute("EXEC sp_grantlogin 'SHOP\\staff'");
  LoginProperties group(*m_Server);
  group.Load("SHOP\\staff");
  EXPECT_TRUE(group.IsWindowsLogin());
  EXPECT_TRUE(group.GrantSelected());
}

}  // namespace
}  // namespace bw::commands::security
