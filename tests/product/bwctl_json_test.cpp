// "bwctl --json": every listing or showing command's document parsed as
// JSON, with names that need escaping, and nothing but the document on
// standard output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "BwctlProcess.h"
#include "StandinFixture.h"
#include "data/DataAccess.h"

namespace bw {
namespace {

using nlohmann::json;
using testing::BwctlRun;

class BwctlJson : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-bwctl-json-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
    BwctlRun added = Bwctl({"server", "add", "--data-source", DataSource(), "--user", "sa",
                            "--password-file", PasswordFile("sa", kSaPassword)});
    ASSERT_EQ(added.code, 0) << added.err;
    m_Admin.SetConnectionString(RegistrationString());
    m_Admin.Open();
  }
  void TearDown() override { std::filesystem::remove_all(m_Home); }

  BwctlRun Bwctl(const std::vector<std::string>& arguments) {
    return testing::RunBwctl(m_Home, arguments);
  }
  std::string PasswordFile(const std::string& name, const std::string& password) {
    const auto path = m_Home / (name + ".pw");
    std::ofstream(path) << password << "\n";
    return path.string();
  }
  // The document bwctl printed; fails the test when it is not exactly one.
  static json Parsed(const BwctlRun& run) {
    EXPECT_EQ(run.code, 0) << run.err;
    try {
      return json::parse(run.out);
    } catch (const json::exception& error) {
      ADD_FAILURE() << error.what() << "\n" << run.out;
      return json();
    }
  }

  std::filesystem::path m_Home;
  Connection m_Admin;
};

TEST_F(BwctlJson, ServerListShowsEachRegistrationWithoutItsPassword) {
  // Nothing listens on port 1: stored, listed as not connected.
  const std::string otherPassword = "never \"shown\"; 'at all'";
  Bwctl({"server", "add", "--data-source", "127.0.0.1,1", "--user", "clerk", "--password-file",
         PasswordFile("other", otherPassword)});

  BwctlRun run = Bwctl({"--json", "server", "list"});
  json document = Parsed(run);
  ASSERT_TRUE(document["servers"].is_array()) << run.out;
  ASSERT_EQ(document["servers"].size(), 2u) << run.out;
  const json& first = document["servers"][0];
  EXPECT_EQ(first["position"], 1);
  EXPECT_EQ(first["serverId"], 1);
  EXPECT_EQ(first["dataSource"], DataSource());
  EXPECT_EQ(first["authentication"], "sql");
  EXPECT_EQ(first["login"], "sa");
  EXPECT_EQ(first["connected"], true);
  EXPECT_EQ(first["state"], "connected");
  EXPECT_TRUE(first["error"].is_null());
  const json& second = document["servers"][1];
  EXPECT_EQ(second["position"], 2);
  EXPECT_EQ(second["dataSource"], "127.0.0.1,1");
  EXPECT_EQ(second["login"], "clerk");
  EXPECT_EQ(second["connected"], false);
  EXPECT_EQ(second["state"], "not connected");
  EXPECT_TRUE(second["error"].is_string());

  // Neither form ever shows a stored password, even where no name was read.
  for (const BwctlRun& listing : {run, Bwctl({"server", "list"})}) {
    EXPECT_EQ(listing.out.find(otherPassword), std::string::npos) << listing.out;
    EXPECT_EQ(listing.out.find(kSaPassword), std::string::npos) << listing.out;
  }

  // Without connecting: both as stored, neither checked.
  json offline = Parsed(Bwctl({"--json", "server", "list", "--offline"}));
  ASSERT_EQ(offline["servers"].size(), 2u) << offline.dump();
  EXPECT_EQ(offline["servers"][1]["dataSource"], "127.0.0.1,1");
  EXPECT_EQ(offline["servers"][1]["state"], "not checked");
  EXPECT_TRUE(offline["servers"][0]["connected"].is_null());

  json status = Parsed(Bwctl({"server", "status", "1", "--json"}));
  EXPECT_EQ(status["serverId"], 1);
  ASSERT_TRUE(status["state"].is_number_integer());
  EXPECT_TRUE(status["stateName"].is_string());
}

TEST_F(BwctlJson, ArchivesLoginsAndUsersWithNamesThatNeedEscaping) {
  ASSERT_EQ(Bwctl({"archive", "create", "1", "Ledger",
                   "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\Ledger.mdf"})
                .code,
            0);
  // Quotes and letters beyond ASCII in a login name travel unchanged.
  const std::string login = "clerk \"q\" o'neil Zo\u00eb";
  const std::string quoted = "N'clerk \"q\" o''neil Zo\u00eb'";
  m_Admin.Execute("EXEC sp_addlogin " + quoted + ", 'Pw-1'");
  m_Admin.Execute("USE Brindlewick_Ledger EXEC sp_grantdbaccess " + quoted +
                  ", 'bookkeeper' USE master");

  json archives = Parsed(Bwctl({"--json", "archive", "list", "1"}));
  EXPECT_EQ(archives["serverId"], 1);
  ASSERT_EQ(archives["archives"].size(), 1u);
  EXPECT_EQ(archives["archives"][0]["name"], "Ledger");
  EXPECT_EQ(archives["archives"][0]["database"], "Brindlewick_Ledger");
  EXPECT_TRUE(archives["archives"][0]["archiveId"].is_number_integer());
  EXPECT_TRUE(archives["archives"][0]["error"].is_null());

  json properties = Parsed(Bwctl({"--json", "archive", "properties", "1", "ledger"}));
  EXPECT_EQ(properties["name"], "Ledger");
  EXPECT_EQ(properties["owner"], "sa");
  EXPECT_EQ(properties["plainText"], true);  // new archives search their plain text
  EXPECT_TRUE(properties["version"].is_string());
  ASSERT_TRUE(properties["files"].is_array());
  ASSERT_FALSE(properties["files"].empty());
  EXPECT_NE(properties["files"][0]["fileName"].get<std::string>().find("Ledger.mdf"),
            std::string::npos);

  json fullText = Parsed(Bwctl({"--json", "archive", "fulltext", "status", "1", "Ledger"}));
  EXPECT_EQ(fullText["archive"], "Ledger");
  EXPECT_TRUE(fullText["status"].is_number_integer());
  EXPECT_TRUE(fullText["stateName"].is_string());

  json logins = Parsed(Bwctl({"--json", "login", "list", "1"}));
  const json* found = nullptr;
  for (const json& entry : logins["logins"]) {
    if (entry["name"] == login) found = &entry;
  }
  ASSERT_NE(found, nullptr) << logins.dump();
  EXPECT_EQ((*found)["type"], "standard");
  EXPECT_EQ((*found)["access"], "grant");
  EXPECT_EQ((*found)["archives"], json::array({"Ledger"}));
  EXPECT_TRUE((*found)["serverRoles"].is_array());

  json users = Parsed(Bwctl({"--json", "user", "list", "1", "Ledger"}));
  EXPECT_EQ(users["archive"], "Ledger");
  bool listed = false;
  for (const json& entry : users["users"]) {
    if (entry["user"] == "bookkeeper") {
      listed = true;
      EXPECT_EQ(entry["login"], login);
      EXPECT_TRUE(entry["roles"].is_array());
    }
  }
  EXPECT_TRUE(listed) << users.dump();
  Bwctl({"--yes", "archive", "delete", "1", "Ledger"});
}

TEST_F(BwctlJson, FailuresAndOtherCommandsPrintNoDocument) {
  struct Case {
    std::vector<std::string> arguments;
    int code;
  };
  const Case cases[] = {
      {{"--json", "archive", "list", "9"}, 1},                   // no such registration
      {{"--json", "archive", "properties", "1", "Missing"}, 1},  // no such archive
      {{"--json", "server", "remove", "1"}, 2},                  // changes have no document
      {{"--json", "text", "extract", "x.html"}, 2},
      {{"--json", "archive", "fulltext", "create", "1", "X"}, 2},
  };
  for (const Case& c : cases) {
    BwctlRun run = Bwctl(c.arguments);
    EXPECT_EQ(run.code, c.code) << c.arguments[2] << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.arguments[2];
    EXPECT_NE(run.err, "") << c.arguments[2];
  }
  // The refused remove left the registration alone.
  EXPECT_EQ(Parsed(Bwctl({"--json", "server", "list"}))["servers"].size(), 1u);
}

}  // namespace
}  // namespace bw
