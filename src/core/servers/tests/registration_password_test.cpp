#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Echo.h"
#include "platform/MemorySecretStore.h"
#include "platform/RegistryHive.h"
#include "servers/RegistrationPassword.h"
#include "servers/Servers.h"
#include "support/MessageService.h"

namespace bw {
namespace {

TEST(RegistrationPasswordSplit, TakesOutTheOnePasswordAndPutsItBackWhereItStood) {
  struct Row {
    std::string text;
    std::string password;
    std::string withReference;
  };
  const Row rows[] = {
      {"Provider=SQLOLEDB;Data Source=H;User Id=sa;Password=x;", "x",
       "Provider=SQLOLEDB;Data Source=H;User Id=sa;Password=R;"},
      // Quoted, with what would end or start a value; case of the keyword kept.
      {"Data Source=H;password=\"a;b\"\"c\";Initial Catalog=D", "a;b\"c",
       "Data Source=H;password=R;Initial Catalog=D"},
      {"Data Source=H; PWD = 'it''s' ;User Id=u", "it's", "Data Source=H; PWD = R ;User Id=u"},
      {"Password=last", "last", "Password=R"},
  };
  for (const Row& row : rows) {
    auto split = RegistrationPassword::Split(row.text);
    ASSERT_TRUE(split.has_value()) << row.text;
    EXPECT_EQ(split->Password(), row.password) << row.text;
    EXPECT_EQ(split->With("R"), row.withReference) << row.text;
    // Put back, the string means what it meant: same password, same rest.
    auto again = RegistrationPassword::Split(split->With(split->Password()));
    ASSERT_TRUE(again.has_value()) << row.text;
    EXPECT_EQ(again->Password(), row.password) << row.text;
    EXPECT_EQ(again->With("R"), row.withReference) << row.text;
  }
}

TEST(RegistrationPasswordSplit, StringsThatStayWholeInTheHive) {
  struct Row {
    std::string text;
    PasswordPlace place;
  };
  const Row rows[] = {
      {"Provider=SQLOLEDB;Data Source=H;Integrated Security=SSPI;", PasswordPlace::None},
      {"Data Source=H;User Id=sa;Password=;", PasswordPlace::None},
      // Two passwords: which one counts is the driver's business, not ours.
      {"Data Source=H;Password=a;Password=b;", PasswordPlace::Hive},
      {"Data Source=H;Password=a;PWD=b;", PasswordPlace::Hive},
      // Unreadable: it may hold a password, so it is counted as one.
      {"Data Source=H;Password=\"open", PasswordPlace::Hive},
      {"Data Source=H;User Id=sa;Password=Secret-A;Secret-B;", PasswordPlace::Hive},
  };
  for (const Row& row : rows) {
    EXPECT_FALSE(RegistrationPassword::Split(row.text).has_value()) << row.text;
    EXPECT_EQ(RegistrationPassword::PlaceOf(row.text), row.place) << row.text;
  }
}

TEST(RegistrationPasswordSplit, ReferencesAreFreshAndRecognised) {
  std::string a = RegistrationPassword::NewReference();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, RegistrationPassword::NewReference());
  EXPECT_EQ(RegistrationPassword::Split("Password=keyring:" + a)->Reference(), a);
  EXPECT_EQ(RegistrationPassword::Split("Password=keyring:")->Reference(), "");
  EXPECT_EQ(RegistrationPassword::Split("Password=secret")->Reference(), "");
}

// Every host is silent: registrations load and stay unconnected, fast.
class SilentNetwork : public platform::EchoService {
 public:
  platform::EchoReply Echo(const platform::EchoRequest&) override {
    return {platform::kEchoTimedOut, platform::EchoPath::PingSocket};
  }
};

class KeyringRegistration : public ::testing::Test {
 protected:
  static constexpr const char* kText =
      "Provider=SQLOLEDB;Data Source=HOST,1433;User Id=sa;Password=\"p;w\";";

  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-keyring-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
    ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
    platform::SetEchoService(&m_Silent);
    platform::SetSecretStore(&m_Keyring);
    SetMessageService(&m_Messages);
  }
  void TearDown() override {
    SetMessageService(nullptr);
    platform::SetSecretStore(nullptr);
    platform::SetEchoService(nullptr);
    std::filesystem::remove_all(m_Home);
  }

  static std::string Key(std::int32_t id) {
    return Servers::ParentKey() + "\\" + std::to_string(id);
  }
  static std::optional<std::string> Stored(std::int32_t id, const std::string& name) {
    auto value = RegistryHive::ForCurrentUser().QueryValue(Key(id), name);
    if (!value) return std::nullopt;
    std::string text(value->data.begin(), value->data.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }
  // A registration as a run before the keyring (or without one) left it.
  static void RegisterInHive(std::int32_t id, const std::string& text) {
    RegistryHive hive = RegistryHive::ForCurrentUser();
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    ASSERT_EQ(hive.SetValue(Key(id), "ConnectionString", {kRegSz, bytes}), 0);
    ASSERT_EQ(hive.SetValue(Key(id), "OrdinalPosition", {kRegDword, {1, 0, 0, 0}}), 0);
  }
  // Registers through the product, as `bwctl server add` does.
  void Register(std::int32_t id, const std::string& text) {
    Server server;
    server.SetServerID(id);
    server.SetConnectionString(text);
  }
  std::string OnlyReference() const {
    EXPECT_EQ(m_Keyring.Secrets().size(), 1u);
    return m_Keyring.Secrets().empty() ? std::string() : m_Keyring.Secrets().begin()->first;
  }

  std::filesystem::path m_Home;
  SilentNetwork m_Silent;
  platform::MemorySecretStore m_Keyring;
  ScriptedMessageService m_Messages;
};

TEST_F(KeyringRegistration, ANewRegistrationKeepsOnlyAReferenceInTheHive) {
  Register(1, kText);
  const std::string reference = OnlyReference();
  EXPECT_EQ(m_Keyring.Secrets().at(reference), "p;w");
  EXPECT_EQ(m_Keyring.Labels().at(reference), "Brindlewick Server Manager: sa on HOST,1433");
  EXPECT_EQ(
      Stored(1, "ConnectionString"),
      "Provider=SQLOLEDB;Data Source=HOST,1433;User Id=sa;Password=keyring:" + reference + ";");
  EXPECT_EQ(Stored(1, "PasswordStore"), "keyring");

  Servers servers(Servers::ConnectMode::OnDemand);
  ASSERT_EQ(servers.Count(), 1);
  EXPECT_EQ(servers.Item(1L)->ConnectionString(), kText) << "the string to connect with is whole";
  EXPECT_EQ(servers.Item(1L)->PasswordLocation(), PasswordPlace::Keyring);
  EXPECT_TRUE(servers.Item(1L)->PasswordProblem().empty());
  EXPECT_TRUE(m_Messages.History().empty());
}

TEST_F(KeyringRegistration, WithoutAKeyringTheHiveKeepsThePasswordAsBefore) {
  m_Keyring.SetAvailable(false);
  Register(1, kText);
  RegisterInHive(2, "Provider=SQLOLEDB;Data Source=B;Integrated Security=SSPI;");
  EXPECT_EQ(Stored(1, "ConnectionString"), kText);
  EXPECT_FALSE(Stored(1, "PasswordStore").has_value());

  Servers servers(Servers::ConnectMode::OnDemand);
  ASSERT_EQ(servers.Count(), 2);
  EXPECT_EQ(servers.Item("1")->ConnectionString(), kText);
  EXPECT_EQ(servers.Item("1")->PasswordLocation(), PasswordPlace::Hive);
  EXPECT_EQ(servers.Item("2")->PasswordLocation(), PasswordPlace::None);
  EXPECT_TRUE(m_Messages.History().empty()) << "no keyring is no news";
}

TEST_F(KeyringRegistration, AnOldRegistrationMovesIntoTheKeyringWhenOneIsThere) {
  RegisterInHive(1, kText);
  {
    Servers servers(Servers::ConnectMode::OnDemand);
    EXPECT_EQ(servers.Item(1L)->ConnectionString(), kText);
    EXPECT_EQ(servers.Item(1L)->PasswordLocation(), PasswordPlace::Keyring);
  }
  const std::string reference = OnlyReference();
  EXPECT_EQ(m_Keyring.Secrets().at(reference), "p;w");
  EXPECT_EQ(
      Stored(1, "ConnectionString"),
      "Provider=SQLOLEDB;Data Source=HOST,1433;User Id=sa;Password=keyring:" + reference + ";");
  EXPECT_EQ(Stored(1, "PasswordStore"), "keyring");

  // Read back from the keyring the next time; moved only once.
  Servers again(Servers::ConnectMode::OnDemand);
  EXPECT_EQ(again.Item(1L)->ConnectionString(), kText);
  EXPECT_EQ(m_Keyring.Secrets().size(), 1u);
}

TEST_F(KeyringRegistration, AKeyringThatFailsLeavesThePasswordInTheHive) {
  struct Row {
    const char* what;
    std::int32_t failure;
    std::optional<std::string> keptInstead;
  };
  const Row rows[] = {
      {"locked", platform::kErrKeyringLocked, std::nullopt},
      {"timed out", platform::kErrKeyringTimeout, std::nullopt},
      {"gives back something else", 0, std::string("not it")},
  };
  std::int32_t id = 0;
  for (const Row& row : rows) {
    m_Keyring.SetFailure(row.failure);
    m_Keyring.SetStoredInstead(row.keptInstead);
    ++id;
    Register(id, kText);
    EXPECT_EQ(Stored(id, "ConnectionString"), kText) << row.what;
    EXPECT_FALSE(Stored(id, "PasswordStore").has_value()) << row.what;
    EXPECT_TRUE(m_Keyring.Secrets().empty()) << row.what << ": nothing half-kept";
    ASSERT_EQ(m_Messages.History().size(), static_cast<std::size_t>(id)) << row.what;
    const std::string& text = m_Messages.History().back().text;
    EXPECT_NE(text.find("stays in the registration file"), std::string::npos) << text;
    EXPECT_NE(text.find("(0x800"), std::string::npos) << text << ": the number is shown";
    EXPECT_EQ(text.find("p;w"), std::string::npos) << text;

    // Loading with the same keyring moves nothing and loses nothing.
    Servers servers(Servers::ConnectMode::OnDemand);
    EXPECT_EQ(servers.Item(std::to_string(id))->ConnectionString(), kText) << row.what;
    EXPECT_EQ(servers.Item(std::to_string(id))->PasswordLocation(), PasswordPlace::Hive);
    EXPECT_EQ(Stored(id, "ConnectionString"), kText) << row.what;
    EXPECT_TRUE(m_Keyring.Secrets().empty()) << row.what;
  }
}

TEST_F(KeyringRegistration, APasswordTheKeyringCannotGiveIsNeverTriedAsAPassword) {
  Register(1, kText);
  const std::string reference = OnlyReference();
  const std::string inHive = *Stored(1, "ConnectionString");
  struct Row {
    const char* what;
    std::int32_t failure;
    bool removed;
    const char* says;
  };
  const Row rows[] = {
      {"locked", platform::kErrKeyringLocked, false, "0x80070005"},
      {"removed there", 0, true, "no longer holds"},
  };
  for (const Row& row : rows) {
    m_Keyring.SetFailure(row.failure);
    if (row.removed) {
      m_Keyring.SetFailure(0);
      m_Keyring.Remove(reference);
    }
    Servers servers(Servers::ConnectMode::OnDemand);
    Server* server = servers.Item(1L);
    EXPECT_EQ(server->PasswordLocation(), PasswordPlace::Keyring) << row.what;
    EXPECT_NE(server->PasswordProblem().find(row.says), std::string::npos)
        << server->PasswordProblem();
    EXPECT_EQ(server->ConnectionString(),
              "Provider=SQLOLEDB;Data Source=HOST,1433;User Id=sa;"
              "Password=;")
        << row.what;
    EXPECT_FALSE(server->Connect());
    EXPECT_EQ(server->Description(), server->PasswordProblem()) << row.what;
    EXPECT_EQ(Stored(1, "ConnectionString"), inHive) << row.what << ": the reference stays";
  }
}

TEST_F(KeyringRegistration, ChangingTheRegistrationReplacesOrRemovesItsSecret) {
  Register(1, kText);
  const std::string reference = OnlyReference();
  Servers servers(Servers::ConnectMode::OnDemand);
  Server* server = servers.Item(1L);

  server->SetConnectionString("Provider=SQLOLEDB;Data Source=HOST,1433;User Id=sa;Password=new;");
  EXPECT_EQ(OnlyReference(), reference) << "the same entry, a new password";
  EXPECT_EQ(m_Keyring.Secrets().at(reference), "new");

  server->SetConnectionString("Provider=SQLOLEDB;Data Source=HOST,1433;Integrated Security=SSPI;");
  EXPECT_TRUE(m_Keyring.Secrets().empty());
  EXPECT_FALSE(Stored(1, "PasswordStore").has_value());
  EXPECT_EQ(server->PasswordLocation(), PasswordPlace::None);
}

TEST_F(KeyringRegistration, RemovingARegistrationRemovesItsSecret) {
  Register(1, kText);
  Register(2, "Provider=SQLOLEDB;Data Source=OTHER;User Id=u;Password=q;");
  ASSERT_EQ(m_Keyring.Secrets().size(), 2u);
  Servers servers(Servers::ConnectMode::OnDemand);
  servers.Remove("1");
  ASSERT_EQ(m_Keyring.Secrets().size(), 1u);
  EXPECT_EQ(m_Keyring.Secrets().begin()->second, "q");
  EXPECT_TRUE(m_Messages.History().empty());

  // A keyring that cannot remove it: the registration goes anyway, and the
  // administrator learns what was left behind.
  m_Keyring.SetFailure(platform::kErrKeyringLocked);
  servers.Remove("2");
  EXPECT_FALSE(RegistryHive::ForCurrentUser().KeyExists(Key(2)));
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_NE(m_Messages.History()[0].text.find("could not remove it"), std::string::npos);
}

// What a second console does while this one moves a password: it changes
// the registration between the keyring's answer and the hive's write.
class RacingKeyring : public platform::MemorySecretStore {
 public:
  explicit RacingKeyring(std::string key) : m_Key(std::move(key)) {}
  void Store(const std::string& reference, const std::string& label,
             const std::string& secret) override {
    MemorySecretStore::Store(reference, label, secret);
    std::string text = "Provider=SQLOLEDB;Data Source=ELSEWHERE;User Id=sa;Password=other;";
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    RegistryHive::ForCurrentUser().SetValue(m_Key, "ConnectionString", {kRegSz, bytes});
  }

 private:
  std::string m_Key;
};

TEST_F(KeyringRegistration, AMoveNeverOverwritesWhatAnotherConsoleWroteMeanwhile) {
  RegisterInHive(1, kText);
  RacingKeyring racing(Key(1));
  platform::SetSecretStore(&racing);
  Servers servers(Servers::ConnectMode::OnDemand);
  EXPECT_EQ(Stored(1, "ConnectionString"),
            "Provider=SQLOLEDB;Data Source=ELSEWHERE;User Id=sa;Password=other;");
  EXPECT_FALSE(Stored(1, "PasswordStore").has_value());
  EXPECT_TRUE(racing.Secrets().empty()) << "the secret of the move is taken back";
  EXPECT_EQ(servers.Item(1L)->PasswordLocation(), PasswordPlace::Hive);
}

TEST_F(KeyringRegistration, EveryStateAnInterruptedWriteLeavesReadsBackWhole) {
  // The marker without a reference (a crash after the marker, before the
  // string): the password is still in the string, and then moves.
  RegisterInHive(1, kText);
  RegistryHive::ForCurrentUser().SetValue(Key(1), "PasswordStore",
                                          {kRegSz, {'k', 'e', 'y', 'r', 'i', 'n', 'g', 0}});
  Servers servers(Servers::ConnectMode::OnDemand);
  EXPECT_EQ(servers.Item(1L)->ConnectionString(), kText);
  EXPECT_EQ(servers.Item(1L)->PasswordLocation(), PasswordPlace::Keyring);
  EXPECT_EQ(m_Keyring.Secrets().begin()->second, "p;w");
}

}  // namespace
}  // namespace bw
