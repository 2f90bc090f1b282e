// The context menus and their commands through the headless console: what
// each selection offers, and for a login that may and one that may not, the
// refusal, the question, the action and the update of the tree or list.
#include <gtest/gtest.h>

#include "SnapInFixture.h"
#include "commands/ArchiveCommands.h"
#include "commands/ServerCommands.h"
#include "platform/RegistryHive.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::testing {
namespace {

using Names = std::vector<std::string>;

class SnapInCommands : public SnapInSuite {
 protected:
  // The stand-in registered for `login` as the console's only server, one
  // archive, and the tree open down to the archive's nodes.
  HeadlessConsole& Open(const std::string& login) {
    Register();
    Login("clerk");
    Database* archive = CreateArchive("Ledger");
    EXPECT_NE(archive, nullptr);
    archive->GrantDBAccess("clerk");
    if (login != "sa") {
      // The console's registration is the clerk's; the administrator's own
      // objects keep their sa connection.
      std::string text = RegistrationString("clerk", kLoginPassword);
      RegistryValue value{kRegSz, std::vector<std::uint8_t>(text.begin(), text.end())};
      value.data.push_back(0);
      RegistryHive::ForCurrentUser().SetValue(Servers::ParentKey() + "\\1", "ConnectionString",
                                              value);
    }
    HeadlessConsole& console = OpenConsole();
    console.Expand("Server1");
    console.Expand("Server1.Databases");
    console.Expand("Server1.Database1");
    return console;
  }
  std::string ServerName() const { return DataSource(); }
};

TEST_F(SnapInCommands, EachSelectionOffersItsMenu) {
  HeadlessConsole& console = Open("sa");
  struct Case {
    std::string node;
    Names items;
    std::string caption;
  };
  const Case cases[] = {
      {"StaticNode", {}, ""},
      {"StaticNode.DatabaseServers", {"mnuAddSQLServer"}, "SQL Server Group"},
      {"Server1",
       {"mnuSQLServerProperties", "mnuDetachSQLServer", "mnuStopSQLServer", "mnuStartSQLServer"},
       "SQL Server"},
      {"Server1.Databases", {"mnuAddNewDatabase", "mnuOpenDatabase"}, "Datenbanken"},
      {"Server1.Database1",
       {"mnuDeleteDatabase", "mnuCloseDatabase", "mnuChangeOwner", "mnuShrinkLogfile"},
       "Server Archive"},
      {"Server1.LoginNames", {"mnuGrantLogin"}, "User names"},
      {"Server1.Database1.Users", {"mnuNewDatabaseUser"}, "User"},
      {"Server1.Database1.Properties", {}, ""},
  };
  for (const Case& row : cases) {
    auto menus = console.MenusOfNode(row.node);
    EXPECT_EQ(HeadlessConsole::ItemNames(menus), row.items) << row.node;
    if (!menus.empty()) {
      EXPECT_EQ(menus[0].caption, row.caption) << row.node;
    }
  }
  // Captions and status-bar texts of one menu.
  auto server = console.MenusOfNode("Server1");
  EXPECT_EQ(server[0].children[0].caption, LoadResString(13));
  EXPECT_EQ(server[0].children[0].statusBarText,
            "Shows the properties of the SQL Server registration.");
  // The stand-in's service runs: Stop is offered, Start greyed.
  EXPECT_TRUE(server[0].children[2].enabled);
  EXPECT_FALSE(server[0].children[3].enabled);
  EXPECT_TRUE(server[0].children[3].greyed);

  console.Select("Server1.LoginNames");
  EXPECT_EQ(HeadlessConsole::ItemNames(console.MenusOfRow("Loginclerk")),
            (Names{"mnuRevokeLogin", "mnuLoginProperties"}));
  console.Select("Server1.Database1.Users");
  EXPECT_EQ(HeadlessConsole::ItemNames(console.MenusOfRow("Userclerk")),
            (Names{"mnuRevokeDBAccess", "mnuUserProperties"}));
  // Several rows at once: nothing.
  auto rows = console.Session().View()->List().Items();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_TRUE(console.Session().MenusFor(console.Session().SelectionOf(rows)).empty());
}

TEST_F(SnapInCommands, RefusedLoginChangesNothing) {
  HeadlessConsole& console = Open("clerk");
  struct Case {
    std::string node;
    std::string item;
    std::string message;
  };
  const Case cases[] = {
      {"Server1.Database1", "mnuDeleteDatabase", FormatResString(46, {ServerName()})},
      {"Server1.Database1", "mnuCloseDatabase", FormatResString(43, {ServerName()})},
      {"Server1.Database1", "mnuShrinkLogfile", LoadResString(40)},
      {"Server1.Database1", "mnuChangeOwner", LoadResString(40)},
      {"Server1.Databases", "mnuAddNewDatabase", FormatResString(39, {ServerName()})},
      {"Server1.Databases", "mnuOpenDatabase", FormatResString(55, {ServerName()})},
      {"Server1.LoginNames", "mnuGrantLogin", FormatResString(49, {ServerName()})},
      {"Server1.Database1.Users", "mnuNewDatabaseUser", LoadResString(53)},
  };
  for (const Case& row : cases) {
    std::size_t shown = m_Messages.History().size();
    console.ChooseOnNode(row.node, row.item);
    ASSERT_EQ(m_Messages.History().size(), shown + 1) << row.item;
    EXPECT_EQ(LastMessage(), row.message) << row.item;
    EXPECT_EQ(LastStyle(), MsgStyle::Information) << row.item;
  }
  EXPECT_TRUE(m_Dialogs.shown.empty());
  EXPECT_TRUE(console.Has("Server1.Database1"));

  console.Select("Server1.LoginNames");
  console.ChooseOnRow("Loginclerk", "mnuRevokeLogin");
  EXPECT_EQ(LastMessage(), FormatResString(61, {ServerName()}));
  EXPECT_NE(console.Row("Loginclerk"), nullptr);
  console.Select("Server1.Database1.Users");
  console.ChooseOnRow("Userclerk", "mnuRevokeDBAccess");
  EXPECT_EQ(LastMessage(), FormatResString(58, {"Ledger"}));
  EXPECT_NE(console.Row("Userclerk"), nullptr);

  // A rename the archive's roles refuse leaves the label.
  sdk::ModelItem& archive = console.Select("Server1.Database1");
  console.Session().Rename(archive, "Journal");
  EXPECT_EQ(LastMessage(), LoadResString(40));
  EXPECT_EQ(archive.DisplayName(), "Ledger");
}

TEST_F(SnapInCommands, ArchiveCommandsAskThenActAndUpdateTheTree) {
  HeadlessConsole& console = Open("sa");
  // Delete asks with the exclamation icon and No as the default; No keeps it.
  console.ChooseOnNode("Server1.Database1", "mnuDeleteDatabase");
  EXPECT_EQ(LastMessage(), FormatResString(45, {"Ledger"}));
  EXPECT_EQ(LastStyle(), MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2);
  EXPECT_TRUE(console.Has("Server1.Database1"));

  m_Messages.QueueAnswer(MsgResult::Yes);
  console.ChooseOnNode("Server1.Database1", "mnuShrinkLogfile");
  EXPECT_EQ(m_Messages.History().back().text, FormatResString(354, {"Ledger"}));

  console.ChooseOnNode("Server1.Database1", "mnuChangeOwner");
  EXPECT_EQ(m_Dialogs.shown.back(), "frmChangeOwner");

  // The wizard's OK creates an archive: its node appears below the others.
  m_Dialogs.onNewArchive = [](Databases& archives) {
    commands::AddNewDatabase(archives, "Annex", std::string(kDataFolder) + "Annex.mdf");
  };
  console.ChooseOnNode("Server1.Databases", "mnuAddNewDatabase");
  EXPECT_EQ(console.ChildNames("Server1.Databases"),
            (Names{"Server1.Database1", "Server1.Database2"}));
  EXPECT_EQ(console.Node("Server1.Database2").DisplayName(), "Annex");

  // Close (detach) and delete remove their nodes; the busy pointer shows.
  m_Messages.QueueAnswer(MsgResult::Yes);  // detach?
  m_Messages.QueueAnswer(MsgResult::Yes);  // end the other sessions?
  console.ChooseOnNode("Server1.Database2", "mnuCloseDatabase");
  EXPECT_FALSE(console.Has("Server1.Database2"));
  int busy = console.BusyTimes();
  m_Messages.QueueAnswer(MsgResult::Yes);
  m_Messages.QueueAnswer(MsgResult::Yes);
  console.ChooseOnNode("Server1.Database1", "mnuDeleteDatabase");
  EXPECT_FALSE(console.Has("Server1.Database1"));
  EXPECT_GT(console.BusyTimes(), busy);
  EXPECT_EQ(console.BusyDepth(), 0);
  Recordset left;
  left.Open("SELECT COUNT(*) FROM master..sysdatabases WHERE name LIKE 'Brindlewick[_]%'",
            &AdminServer()->GetConnection());
  EXPECT_EQ(left.Fields(0).Value().ToInteger(), 0);
}

TEST_F(SnapInCommands, LoginAndUserCommandsUpdateTheList) {
  HeadlessConsole& console = Open("sa");
  Login("temp");
  console.Select("Server1.LoginNames");
  ASSERT_NE(console.Row("Logintemp"), nullptr);
  // Asked with No as the default: declining keeps the login.
  console.ChooseOnRow("Logintemp", "mnuRevokeLogin");
  EXPECT_EQ(LastMessage(), FormatResString(60, {"temp"}));
  EXPECT_EQ(LastStyle(), MsgStyle::YesNo | MsgStyle::Question | MsgStyle::DefaultButton2);
  EXPECT_NE(console.Row("Logintemp"), nullptr);
  m_Messages.QueueAnswer(MsgResult::Yes);
  console.ChooseOnRow("Logintemp", "mnuRevokeLogin");
  EXPECT_EQ(console.Row("Logintemp"), nullptr);

  console.ChooseOnNode("Server1.LoginNames", "mnuGrantLogin");
  EXPECT_EQ(m_Dialogs.shown.back(), "frmUserWizard");

  console.Select("Server1.Database1.Users");
  console.ChooseOnRow("Userclerk", "mnuUserProperties");
  EXPECT_EQ(m_Dialogs.shown.back(), "frmUser clerk/clerk");
  m_Messages.QueueAnswer(MsgResult::Yes);
  console.ChooseOnRow("Userclerk", "mnuRevokeDBAccess");
  EXPECT_EQ(m_Messages.History().back().text, FormatResString(57, {"clerk"}));
  EXPECT_EQ(console.Row("Userclerk"), nullptr);
  console.ChooseOnNode("Server1.Database1.Users", "mnuNewDatabaseUser");
  EXPECT_EQ(m_Dialogs.shown.back(), "frmUser /");
}

TEST_F(SnapInCommands, ServerRegistrationsComeAndGo) {
  HeadlessConsole& console = Open("sa");
  // Registering while a server node is selected adds below the group.
  Login("keeper");
  m_Dialogs.onSQLServer = [this](Servers& servers, Server* edited) {
    ASSERT_EQ(edited, nullptr);
    std::string text = RegistrationString("keeper", kLoginPassword);
    servers.Add(text);
  };
  sdk::ModelItem& server = console.Select("Server1");
  console.Session().Click("mnuAddSQLServer", 1, console.Session().SelectionOf(server));
  EXPECT_EQ(m_Dialogs.shown.back(), "frmSQLServer 225");
  EXPECT_EQ(console.ChildNames("StaticNode.DatabaseServers"), (Names{"Server1", "Server2"}));
  EXPECT_EQ(console.Node("Server2").Folder(), 3);

  // A changed registration rebuilds the node in place.
  m_Dialogs.onSQLServer = [this](Servers&, Server* edited) {
    ASSERT_NE(edited, nullptr);
    edited->SetConnectionString(RegistrationString() + "Application Name=console;");
  };
  console.ChooseOnNode("Server1", "mnuSQLServerProperties");
  EXPECT_EQ(m_Dialogs.shown.back(), "frmSQLServer 310");
  EXPECT_EQ(console.ChildNames("StaticNode.DatabaseServers"), (Names{"Server12", "Server2"}));
  EXPECT_EQ(console.Node("Server12").Key(), "Server1");

  m_Messages.QueueAnswer(MsgResult::Yes);
  console.ChooseOnNode("Server2", "mnuDetachSQLServer");
  EXPECT_EQ(m_Messages.History().back().text, FormatResString(48, {DataSource()}));
  EXPECT_EQ(console.ChildNames("StaticNode.DatabaseServers"), Names{"Server12"});
  EXPECT_EQ(Servers().Count(), 1);
}

}  // namespace
}  // namespace bw::testing
