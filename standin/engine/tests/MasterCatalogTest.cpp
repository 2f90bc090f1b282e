// The two catalogues of master — databases and logins — over one data
// directory: what one writes the other sees, and both fail cleanly once
// master is closed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>

#include "catalog/DatabaseCatalog.h"
#include "catalog/LoginCatalog.h"
#include "engine/Errors.h"
#include "storage/DataDirectory.h"

namespace standin::engine {
namespace {

class MasterCatalog : public testing::Test {
 protected:
  MasterCatalog()
      : m_Root(std::filesystem::temp_directory_path() /
               ("sqlstandin-master-test-" + std::to_string(getpid()) + "-" +
                std::to_string(std::random_device()()))),
        m_Data(m_Root, "Sa#Secret1") {}
  ~MasterCatalog() override {
    m_Data.Close();
    std::filesystem::remove_all(m_Root);
  }

  static int ErrorOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const SqlError& error) {
      return error.Msg().number;
    }
    return 0;
  }

  std::filesystem::path m_Root;
  DataDirectory m_Data;
  DatabaseCatalog m_Databases{m_Data};
  LoginCatalog m_Logins{m_Data};
};

TEST_F(MasterCatalog, OwnersLinkDatabasesAndLogins) {
  m_Logins.Add("ann", "Ann#Secret1", "master");
  const std::optional<std::vector<std::uint8_t>> sid = m_Logins.SidOf("ANN");
  ASSERT_TRUE(sid);
  const DatabaseEntry created = m_Databases.Create("Archive", "", *sid);
  EXPECT_TRUE(std::filesystem::exists(created.hostPath));
  EXPECT_EQ(m_Databases.OwnerSid("archive"), sid);

  std::optional<std::string> owner;
  for (const DatabaseDetails& details : m_Databases.Catalogue())
    if (details.entry.name == "Archive") owner = details.owner;
  EXPECT_EQ(owner, "ann");

  EXPECT_EQ(ErrorOf([&] { m_Logins.Drop("ann"); }), 15174);  // still owns Archive
  m_Databases.ChangeOwner("Archive", "sa");
  m_Logins.Drop("ann");
  EXPECT_EQ(m_Logins.NameOfSid(*sid), std::nullopt);
  EXPECT_EQ(ErrorOf([&] { m_Databases.ChangeOwner("Archive", "ann"); }), 15007);
}

TEST_F(MasterCatalog, ClosedMasterAnswersNothingAndRefusesChanges) {
  ASSERT_TRUE(m_Databases.Find("master"));
  ASSERT_TRUE(m_Logins.Check("sa", "Sa#Secret1"));
  m_Data.Close();

  EXPECT_FALSE(m_Databases.Find("master"));
  EXPECT_TRUE(m_Databases.List().empty());
  EXPECT_TRUE(m_Databases.Catalogue().empty());
  EXPECT_FALSE(m_Logins.Check("sa", "Sa#Secret1"));
  EXPECT_EQ(m_Logins.IsServerRoleMember("sa", "sysadmin"), std::nullopt);
  EXPECT_FALSE(m_Logins.HasServerRole("sa", "dbcreator"));

  const std::pair<const char*, std::function<void()>> changes[] = {
      {"add login", [&] { m_Logins.Add("bob", "Bob#Secret1", "master"); }},
      {"set password", [&] { m_Logins.SetPassword("sa", "Other#1"); }},
      {"server role", [&] { m_Logins.SetServerRole("sa", "dbcreator", true); }},
      {"login sid", [&] { m_Logins.SidOf("sa"); }},
      {"owner sid", [&] { m_Databases.OwnerSid("master"); }},
      {"create database", [&] { m_Databases.Create("late"); }},
      {"drop database", [&] { m_Databases.Drop("model"); }},
      {"database status", [&] { m_Databases.SetStatus("model", 1, true); }},
      {"rename database", [&] { m_Databases.Rename("model", "other"); }},
      {"change owner", [&] { m_Databases.ChangeOwner("model", "sa"); }},
      {"detach database", [&] { m_Databases.Detach("model"); }},
      {"attach database", [&] { m_Databases.Attach("late", "C:\\late.mdf"); }},
  };
  for (const auto& [what, call] : changes) EXPECT_EQ(ErrorOf(call), kErrorStorage) << what;
}

}  // namespace
}  // namespace standin::engine
