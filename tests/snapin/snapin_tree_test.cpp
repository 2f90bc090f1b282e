// The console tree through the headless console: server nodes for reachable
// and unreachable registrations, archives, the automatic nodes, renaming.
#include <gtest/gtest.h>

#include "SnapInFixture.h"
#include "support/Helpers.h"
#include "support/StringTable.h"

namespace bw::testing {
namespace {

using Names = std::vector<std::string>;

class SnapInTree : public SnapInSuite {};

TEST_F(SnapInTree, TheRootAndAnEmptyServerGroup) {
  HeadlessConsole& console = OpenConsole();
  EXPECT_EQ(console.Node("StaticNode").DisplayName(), "Brindlewick Server Manager");
  sdk::ModelItem& group = console.Node("StaticNode.DatabaseServers");
  EXPECT_EQ(group.DisplayName(), "Database Servers");
  EXPECT_EQ(group.ListSubItem("NAME"), "Database Servers");
  EXPECT_FALSE(group.HasChildren());
  EXPECT_TRUE(console.ChildNames("StaticNode.DatabaseServers").empty());
  // The control bar armed the version check's timer for three seconds.
  ASSERT_EQ(console.Timers().size(), 1u);
  EXPECT_EQ(console.Timers().begin()->second.first, 3000);
  console.Fire(console.Timers().begin()->first);
  EXPECT_EQ(console.SnapIn().Timer().Interval(), 0);
  EXPECT_TRUE(console.Timers().empty());
}

TEST_F(SnapInTree, ReachableAndUnreachableServers) {
  ASSERT_NE(Register(), nullptr);
  RegisterUnreachable();
  HeadlessConsole& console = OpenConsole();
  ASSERT_EQ(console.ChildNames("StaticNode.DatabaseServers"), (Names{"Server1", "Server2"}));

  sdk::ModelItem& up = console.Node("Server1");
  EXPECT_EQ(up.NodeTypeName(), "Server");
  EXPECT_EQ(up.Key(), "Server1");
  EXPECT_EQ(up.DisplayName(), DataSource() + " (Windows NT)");
  EXPECT_EQ(up.ListSubItem("NAME"), DataSource());
  EXPECT_EQ(up.Folder(), 3);
  EXPECT_TRUE(up.HasChildren());

  sdk::ModelItem& down = console.Node("Server2");
  EXPECT_EQ(down.NodeTypeName(), "Server");
  EXPECT_EQ(down.DisplayName(), "127.0.0.1,1");
  EXPECT_EQ(down.ListSubItem("NAME"), "127.0.0.1,1");
  EXPECT_EQ(down.Folder(), 13);  // the service state is not 1 (stopped)

  // The connect-error node comes once, however often the event is raised.
  console.Expand("Server2");
  console.SnapIn().ScopeItemsExpand(down);
  ASSERT_EQ(console.ChildNames("Server2"), Names{"2Error"});
  sdk::ScopeItem& error = *down.Children().front();
  EXPECT_EQ(error.DisplayName(), LoadResString(83));
  EXPECT_EQ(error.Folder(), 14);
  EXPECT_FALSE(error.HasChildren());

  console.Expand("Server1");
  ASSERT_EQ(console.ChildNames("Server1"), (Names{"Server1.Databases", "Server1.LoginNames"}));
  EXPECT_EQ(console.Node("Server1.Databases").DisplayName(), "Archives");
  EXPECT_EQ(console.Node("Server1.LoginNames").DisplayName(), "Logins");
  // No archives yet: no expand mark.
  EXPECT_FALSE(console.Node("Server1.Databases").HasChildren());
  EXPECT_TRUE(m_Messages.History().empty());
}

TEST_F(SnapInTree, ArchiveNodesAreNamedByServerAndArchive) {
  ASSERT_NE(Register(), nullptr);
  Login("keeper");
  Sql("EXEC sp_addsrvrolemember 'keeper', 'sysadmin'");
  ASSERT_NE(Register("keeper", kLoginPassword), nullptr);
  ASSERT_NE(CreateArchive("Alpha"), nullptr);
  ASSERT_NE(CreateArchive("Beta"), nullptr);

  HeadlessConsole& console = OpenConsole();
  for (const std::string server : {"Server1", "Server2"}) {
    console.Expand(server);
    ASSERT_TRUE(console.Node(server + ".Databases").HasChildren());
    console.Expand(server + ".Databases");
  }
  EXPECT_EQ(console.ChildNames("Server1.Databases"),
            (Names{"Server1.Database1", "Server1.Database2"}));
  EXPECT_EQ(console.ChildNames("Server2.Databases"),
            (Names{"Server2.Database1", "Server2.Database2"}));
  sdk::ModelItem& alpha = console.Node("Server2.Database1");
  EXPECT_EQ(alpha.DisplayName(), "Alpha");
  EXPECT_EQ(alpha.ListSubItem("NAME"), "Alpha");
  EXPECT_EQ(alpha.Key(), "Server2.Database1");
  EXPECT_EQ(alpha.Folder(), 5);

  console.Expand("Server1.Database2");
  EXPECT_EQ(console.ChildNames("Server1.Database2"),
            (Names{"Server1.Database2.Properties", "Server1.Database2.Users",
                   "Server1.Database2.Catalog"}));
  EXPECT_EQ(console.Node("Server1.Database2.Catalog").DisplayName(), "Fulltext Index");
}

TEST_F(SnapInTree, RenameOnlyWhereTheVerbIsOnAndOnlyWhenTheArchiveAgrees) {
  ASSERT_NE(Register(), nullptr);
  ASSERT_NE(CreateArchive("Gamma"), nullptr);
  HeadlessConsole& console = OpenConsole();
  console.Expand("Server1");
  console.Expand("Server1.Databases");

  // A server node offers no rename.
  sdk::ModelItem& server = console.Select("Server1");
  EXPECT_FALSE(console.Session().Rename(server, "Other"));

  sdk::ModelItem& archive = console.Select("Server1.Database1");
  ASSERT_TRUE(console.Session().RenameEnabled());
  // The same name in another case is refused: the label stays.
  ASSERT_TRUE(console.Session().Rename(archive, "GAMMA"));
  EXPECT_EQ(archive.DisplayName(), "Gamma");

  ASSERT_TRUE(console.Session().Rename(archive, "Delta"));
  EXPECT_EQ(archive.DisplayName(), "Delta");
  EXPECT_EQ(archive.ListSubItem("NAME"), "Delta");
  EXPECT_EQ(AdminServer()->Databases().Item(1L)->Name(), "Gamma");  // another session's copy
  Recordset names;
  names.Open("SELECT name FROM master..sysdatabases WHERE name LIKE 'Brindlewick[_]%'",
             &AdminServer()->GetConnection());
  EXPECT_EQ(names.Value("name").ToText(), "Brindlewick_Delta");
  // Put back so the suite's clean-up finds the archive by its old name.
  ASSERT_TRUE(console.Session().Rename(archive, "Gamma"));
}

TEST_F(SnapInTree, SmallFontsFollowTheScreen) {
  for (int dpi : {96, 120}) {
    HeadlessConsole console;
    console.SetDpi(dpi);
    console.Start();
    EXPECT_EQ(SmallFonts(), dpi < 100) << dpi;
  }
}

}  // namespace
}  // namespace bw::testing
