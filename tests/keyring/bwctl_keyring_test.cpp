#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "BwctlProcess.h"
#include "KeyringSession.h"
#include "StandinProcess.h"
#include "platform/RegistryHive.h"
#include "servers/RegistrationPassword.h"
#include "servers/Servers.h"

namespace bw {
namespace {

using nlohmann::json;
using standin::integration::StandinProcess;
using Clock = std::chrono::steady_clock;

constexpr const char* kPassword = StandinProcess::kSaPassword;

// bwctl against a started stand-in, with a configuration home of the test's
// own that this process reads too.
class KeyringBwctl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_Standin = std::make_unique<StandinProcess>();
    s_Standin->Start();
  }
  static void TearDownTestSuite() { s_Standin.reset(); }

  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-keyring-bwctl-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
    ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
    std::ofstream(m_Home / "password") << kPassword << "\n";
  }
  void TearDown() override { std::filesystem::remove_all(m_Home); }

  static std::string DataSource() { return "127.0.0.1," + std::to_string(s_Standin->Port()); }

  testing::BwctlRun Bwctl(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment = {}) {
    auto start = Clock::now();
    testing::BwctlRun run = testing::RunBwctl(m_Home, arguments, environment);
    m_Elapsed = Clock::now() - start;
    return run;
  }
  testing::BwctlRun Add(const std::vector<std::string>& environment = {}) {
    return Bwctl({"server", "add", "--data-source", DataSource(), "--user", "sa", "--password-file",
                  (m_Home / "password").string()},
                 environment);
  }
  json List(const std::vector<std::string>& environment = {}) {
    testing::BwctlRun run = Bwctl({"--json", "server", "list"}, environment);
    EXPECT_EQ(run.code, 0) << run.err;
    return json::parse(run.out);
  }
  // What the hive file holds, as text: whatever a reader of it would see.
  std::string HiveText() const {
    std::ifstream in(m_Home / "brindlewick" / "registry.hive");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::string ReferenceOf(std::int32_t id) {
    auto value = RegistryHive::ForCurrentUser().QueryValue(
        Servers::ParentKey() + "\\" + std::to_string(id), "ConnectionString");
    if (!value) return {};
    std::string text(value->data.begin(), value->data.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    auto split = RegistrationPassword::Split(text);
    return split ? split->Reference() : std::string();
  }
  // An address where no bus listens: a session without a Secret Service.
  std::vector<std::string> NoBus() const {
    return {"BW_KEYRING=auto",
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (m_Home / "no-bus").string()};
  }

  static std::unique_ptr<StandinProcess> s_Standin;
  std::filesystem::path m_Home;
  Clock::duration m_Elapsed{};
};

std::unique_ptr<StandinProcess> KeyringBwctl::s_Standin;

using PrivateKeyringBwctl = KeyringBwctl;
using LockedKeyringBwctl = KeyringBwctl;
using StuckKeyringBwctl = KeyringBwctl;
using NoSecretService = KeyringBwctl;

TEST_F(PrivateKeyringBwctl, ANewRegistrationKeepsItsPasswordInTheKeyringAndStillConnects) {
  BW_REQUIRE_PRIVATE_SESSION("yes");
  testing::BwctlRun add = Add();
  ASSERT_EQ(add.code, 0) << add.out << add.err;
  EXPECT_NE(add.out.find("The password is kept in the keyring."), std::string::npos) << add.out;
  EXPECT_EQ(HiveText().find(kPassword), std::string::npos) << HiveText();
  const std::string reference = ReferenceOf(1);
  ASSERT_FALSE(reference.empty()) << HiveText();
  EXPECT_EQ(testing::KeyringSecret(reference), kPassword);
  EXPECT_EQ(testing::KeyringLabels(),
            std::vector<std::string>{"Brindlewick Server Manager: sa on " + DataSource()});

  // Another process reads the password from the keyring and connects with it.
  json listed = List();
  ASSERT_EQ(listed["servers"].size(), 1u) << listed.dump();
  EXPECT_EQ(listed["servers"][0]["passwordStore"], "keyring");
  EXPECT_EQ(listed["servers"][0]["connected"], true) << listed.dump();
  testing::BwctlRun table = Bwctl({"server", "list"});
  EXPECT_NE(table.out.find("PASSWORD"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find(" keyring "), std::string::npos) << table.out;
  EXPECT_EQ((table.out + table.err).find(kPassword), std::string::npos);

  testing::BwctlRun removed = Bwctl({"server", "remove", "1", "--yes"});
  EXPECT_EQ(removed.code, 0) << removed.err;
  EXPECT_EQ(testing::KeyringSecret(reference), std::nullopt) << "removed with its registration";
  EXPECT_TRUE(testing::KeyringLabels().empty());
}

TEST_F(PrivateKeyringBwctl, ARegistrationMadeWithoutAKeyringMovesIntoItTheFirstTimeOneIsThere) {
  BW_REQUIRE_PRIVATE_SESSION("yes");
  testing::BwctlRun add = Add(NoBus());
  ASSERT_EQ(add.code, 0) << add.out << add.err;
  EXPECT_NE(add.out.find("kept in the registration file"), std::string::npos) << add.out;
  EXPECT_NE(HiveText().find(kPassword), std::string::npos) << "the hive, as before";
  EXPECT_EQ(List(NoBus())["servers"][0]["passwordStore"], "hive");

  json moved = List();
  EXPECT_EQ(moved["servers"][0]["passwordStore"], "keyring") << moved.dump();
  EXPECT_EQ(moved["servers"][0]["connected"], true) << moved.dump();
  EXPECT_EQ(HiveText().find(kPassword), std::string::npos) << HiveText();
  EXPECT_EQ(testing::KeyringSecret(ReferenceOf(1)), kPassword);

  // From now on read from there; moved once, so one entry.
  EXPECT_EQ(List()["servers"][0]["connected"], true);
  EXPECT_EQ(testing::KeyringLabels().size(), 1u);
}

TEST_F(LockedKeyringBwctl, NothingWaitsForItAndNothingIsLost) {
  BW_REQUIRE_PRIVATE_SESSION("yes");
  ASSERT_EQ(Add().code, 0);
  testing::LockDefaultKeyring();

  // The registration in the keyring cannot be read: said so, not tried
  // with a wrong password.
  json listed = List();
  EXPECT_LT(m_Elapsed, std::chrono::seconds(20));
  ASSERT_EQ(listed["servers"].size(), 1u);
  EXPECT_EQ(listed["servers"][0]["passwordStore"], "keyring");
  EXPECT_EQ(listed["servers"][0]["connected"], false);
  EXPECT_NE(listed["servers"][0]["error"].get<std::string>().find("locked"), std::string::npos)
      << listed.dump();

  // A new one goes into the hive, with a message that says why.
  std::ofstream(m_Home / "password") << "Other-Secret-2\n";
  testing::BwctlRun add = Bwctl({"server", "add", "--data-source", "127.0.0.1,1", "--user", "clerk",
                                 "--password-file", (m_Home / "password").string()});
  EXPECT_LT(m_Elapsed, std::chrono::seconds(20));
  EXPECT_NE(add.err.find("could not be kept in the keyring"), std::string::npos) << add.err;
  EXPECT_NE(add.err.find("0x80070005"), std::string::npos) << add.err;
  EXPECT_EQ((add.out + add.err).find("Other-Secret-2"), std::string::npos);
  EXPECT_NE(HiveText().find("Other-Secret-2"), std::string::npos) << "kept, in the hive";
  EXPECT_EQ(List()["servers"][1]["passwordStore"], "hive");
}

TEST_F(StuckKeyringBwctl, AKeyringThatNeverAnswersCostsBwctlOneTimeOut) {
  BW_REQUIRE_PRIVATE_SESSION("no");
  testing::StuckSecretService stuck;
  testing::BwctlRun add = Add();
  EXPECT_EQ(add.code, 0) << add.out << add.err;
  EXPECT_LT(m_Elapsed, std::chrono::seconds(20));
  EXPECT_NE(add.out.find("did not answer"), std::string::npos) << add.out;
  EXPECT_NE(HiveText().find(kPassword), std::string::npos);
  EXPECT_EQ(List()["servers"][0]["connected"], true);
  EXPECT_LT(m_Elapsed, std::chrono::seconds(20));
}

TEST_F(NoSecretService, BwctlKeepsThePasswordInTheHiveAndConnectsWithIt) {
  struct Row {
    const char* what;
    std::vector<std::string> environment;
  };
  std::filesystem::create_directories(m_Home / "runtime");
  const Row rows[] = {
      {"an address where nothing listens", NoBus()},
      {"no address and no bus socket",
       {"BW_KEYRING=auto", "DBUS_SESSION_BUS_ADDRESS=",
        "XDG_RUNTIME_DIR=" + (m_Home / "runtime").string(), "DISPLAY=:99"}},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all(m_Home / "brindlewick");
    testing::BwctlRun add = Add(row.environment);
    ASSERT_EQ(add.code, 0) << row.what << ": " << add.out << add.err;
    EXPECT_LT(m_Elapsed, std::chrono::seconds(20)) << row.what;
    EXPECT_NE(add.out.find("kept in the registration file, readable only by you"),
              std::string::npos)
        << row.what << ": " << add.out;
    EXPECT_EQ(add.err, "") << row.what << ": no keyring is no error";
    EXPECT_NE(HiveText().find(kPassword), std::string::npos) << row.what;
    EXPECT_EQ(HiveText().find("PasswordStore"), std::string::npos) << row.what;
    EXPECT_EQ(std::filesystem::status(m_Home / "brindlewick" / "registry.hive").permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    json listed = List(row.environment);
    EXPECT_EQ(listed["servers"][0]["passwordStore"], "hive") << row.what;
    EXPECT_EQ(listed["servers"][0]["connected"], true) << row.what << ": " << listed.dump();
  }
}

}  // namespace
}  // namespace bw
