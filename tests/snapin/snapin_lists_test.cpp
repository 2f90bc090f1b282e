// The login and user lists and the property lists, filled from the stand-in
// through the headless console.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SnapInFixture.h"
#include "snapin/PropertyViews.h"
#include "support/Helpers.h"

namespace bw::testing {
namespace {

using Row = std::vector<std::string>;

class SnapInLists : public SnapInSuite {
 protected:
  HeadlessConsole& ConsoleWithArchive(const std::string& name) {
    EXPECT_NE(Register(), nullptr);
    EXPECT_NE(CreateArchive(name), nullptr);
    HeadlessConsole& console = OpenConsole();
    console.Expand("Server1");
    console.Expand("Server1.Databases");
    console.Expand("Server1.Database1");
    return console;
  }
  static bool HasRow(const std::vector<Row>& rows, const Row& row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
  }
  static std::string Value(const std::vector<Row>& rows, const std::string& label) {
    for (const Row& row : rows) {
      if (row.at(0) == label) return row.at(1);
    }
    return "<none>";
  }
};

TEST_F(SnapInLists, LoginsWithoutSaWithTypeAndAccess) {
  ASSERT_NE(Register(), nullptr);
  Login("clerk");
  // The accounts the stand-in's machine knows.
  for (const std::string account :
       {"'BRINDLE\\alice'", "'BRINDLE\\bob'", "'BRINDLE\\Clerks' --group"}) {
    std::string command = standin::integration::StandinBinary() + " accounts add --data-dir '" +
                          Standin().DataDir().string() + "' " + account + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  Sql("IF NOT EXISTS (SELECT * FROM master..syslogins WHERE name = 'BRINDLE\\alice') "
      "EXEC sp_grantlogin 'BRINDLE\\alice'");
  Sql("IF NOT EXISTS (SELECT * FROM master..syslogins WHERE name = 'BRINDLE\\bob') "
      "EXEC sp_denylogin 'BRINDLE\\bob'");
  Sql("IF NOT EXISTS (SELECT * FROM master..syslogins WHERE name = 'BRINDLE\\Clerks') "
      "EXEC sp_grantlogin 'BRINDLE\\Clerks'");
  HeadlessConsole& console = OpenConsole();
  console.Expand("Server1");
  console.Select("Server1.LoginNames");
  EXPECT_EQ(console.Session().View()->Mark(), "LoginNames");
  auto rows = console.Rows();
  for (const Row& row : rows) EXPECT_NE(LowerAscii(row.at(0)), "sa");
  EXPECT_TRUE(HasRow(rows, {"clerk", "Standard", "Grant"}));
  EXPECT_TRUE(HasRow(rows, {"BRINDLE\\alice", "Windows User", "Grant"}));
  EXPECT_TRUE(HasRow(rows, {"BRINDLE\\bob", "Windows User", "Deny"}));
  EXPECT_TRUE(HasRow(rows, {"BRINDLE\\Clerks", "Windows Group", "Grant"}));
  sdk::ListItem* alice = console.Row("LoginBRINDLE\\alice");
  ASSERT_NE(alice, nullptr);
  EXPECT_EQ(alice->Icon(), 6);
  EXPECT_EQ(console.Session().View()->List().ColumnHeader("ACCESS"), "Access");
  EXPECT_GT(console.BusyTimes(), 0);
  EXPECT_EQ(console.BusyDepth(), 0);

  // A double-click opens the login's properties.
  console.Session().DoubleClick(*alice);
  EXPECT_EQ(m_Dialogs.shown, std::vector<std::string>{"frmLogin BRINDLE\\alice"});
}

TEST_F(SnapInLists, UsersOnceEachAndSysadminsByGroupMembership) {
  ASSERT_NE(Register(), nullptr);
  for (const char* login : {"clerk", "chief", "boss"}) Login(login);
  Sql("EXEC sp_addsrvrolemember 'chief', 'sysadmin'");
  Sql("EXEC sp_addsrvrolemember 'boss', 'sysadmin'");
  Database* archive = CreateArchive("Users");
  ASSERT_NE(archive, nullptr);
  ASSERT_TRUE(archive->GrantDBAccess("clerk"));
  ASSERT_TRUE(archive->GrantDBAccess("boss"));
  for (const char* role : {"bw_reader", "db_datareader", "db_datawriter"}) {
    archive->GetConnection().Execute(std::string("EXEC sp_addrolemember '") + role + "', 'clerk'");
  }
  HeadlessConsole& console = OpenConsole();
  console.Expand("Server1");
  console.Expand("Server1.Databases");
  console.Expand("Server1.Database1");
  console.Select("Server1.Database1.Users");
  auto rows = console.Rows();
  EXPECT_EQ(std::count(rows.begin(), rows.end(), Row{"clerk", "clerk", "Grant"}), 1);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), Row{"boss", "boss", "Grant"}), 1);
  EXPECT_TRUE(HasRow(rows, {"chief", "chief", "By group membership"}));
  for (const Row& row : rows) EXPECT_NE(row.at(0), "sa");

  console.Session().DoubleClick(*console.Row("Userclerk"));
  EXPECT_EQ(m_Dialogs.shown, std::vector<std::string>{"frmUser clerk/clerk"});
}

TEST_F(SnapInLists, ServerArchiveAndFullTextProperties) {
  HeadlessConsole& console = ConsoleWithArchive("Props");
  console.Select("Server1");
  auto server = console.Rows();
  ASSERT_GE(server.size(), 3u);
  EXPECT_EQ(server.at(0).at(0), "Engine Edition");
  EXPECT_EQ(server.at(1).at(0), "Authentication mode");
  EXPECT_EQ(server.back().at(0), "Default collation");
  EXPECT_NE(Value(server, "ProductVersion"), "<none>");

  console.Select("Server1.Database1.Properties");
  auto archive = console.Rows();
  EXPECT_EQ(Value(archive, "Database name"), "Brindlewick_Props");
  EXPECT_EQ(Value(archive, "Brindlewick Archive Version"), "1.61");
  EXPECT_NE(Value(archive, "Default collation"), "<none>");
  EXPECT_EQ(Value(archive, "Data file: File size")
                .substr(Value(archive, "Data file: File size").size() - 3),
            " MB");
  EXPECT_NE(Value(archive, "Log file: Logical file name"), "<none>");

  console.Select("Server1.Database1.Catalog");
  EXPECT_EQ(console.Rows(), (std::vector<Row>{{"Status", "Fulltext indexing is not active."}}));
  auto menus = console.MenusOfNode("Server1.Database1.Catalog");
  ASSERT_EQ(HeadlessConsole::ItemNames(menus),
            (std::vector<std::string>{"mnuAddCatalog", "mnuRemoveCatalog"}));
  EXPECT_TRUE(menus[0].children[0].enabled);
  EXPECT_TRUE(menus[0].children[1].greyed);

  m_Messages.QueueAnswer(MsgResult::Yes);
  console.ChooseOnNode("Server1.Database1.Catalog", "mnuAddCatalog");
  EXPECT_EQ(m_Messages.History().back().style, MsgStyle::YesNo);  // no icon
  auto catalog = console.Rows();
  EXPECT_NE(Value(catalog, "Name of fulltext index"), "<none>");
  EXPECT_EQ(Value(catalog, "Status"), "Idle");

  m_Messages.QueueAnswer(MsgResult::Yes);
  console.ChooseOnNode("Server1.Database1.Catalog", "mnuRemoveCatalog");
  EXPECT_EQ(console.Rows(), (std::vector<Row>{{"Status", "Fulltext indexing is not active."}}));
}

TEST_F(SnapInLists, AnUnconnectedServerShowsNoProperties) {
  RegisterUnreachable();
  HeadlessConsole& console = OpenConsole();
  console.Select("Server1");
  EXPECT_TRUE(console.Rows().empty());
}

struct EditionCase {
  std::string version;
  std::string edition;
};

TEST(PropertyValues, EngineEditionIsTheFourthLineOrTheWholeText) {
  const EditionCase cases[] = {
      {"Microsoft SQL Server 2000 - 8.00.760\n\tCopyright\n\tMicrosoft\n\tEnterprise Edition on "
       "Windows NT 5.0",
       "\tEnterprise Edition on Windows NT 5.0"},
      {"one\ntwo\nthree", "one\ntwo\nthree"},
      {"one\r\n\r\ntwo\f\nthree\r\nfour\nfive", "four"},
      {"", ""},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(snapin::PropertyViews::EngineEdition(row.version), row.edition) << row.version;
  }
}

TEST(PropertyValues, SizesInMegabytesAndTheAgeAsADate) {
  EXPECT_EQ(snapin::PropertyViews::PagesAsMegabytes(1), "0.0 MB");
  EXPECT_EQ(snapin::PropertyViews::PagesAsMegabytes(12800), "100.0 MB");
  EXPECT_EQ(snapin::PropertyViews::PagesAsMegabytes(128 * 1536 + 64), "1,536.5 MB");
  EXPECT_EQ(snapin::PropertyViews::AgeAsDate(0), "1/1/1990 00:00:00");
  EXPECT_EQ(snapin::PropertyViews::AgeAsDate(86400 + 3661), "1/2/1990 01:01:01");
}

}  // namespace
}  // namespace bw::testing
