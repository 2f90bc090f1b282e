// What the product does with names a server hands out and with a server that
// stops answering: a database name never redirects the login elsewhere, and
// every connect and statement ends within its time-out.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include "BwctlRun.h"
#include "FakeListener.h"
#include "StandinFixture.h"
#include "archives/Databases.h"
#include "data/ConnectionString.h"
#include "servers/Servers.h"

namespace bw {
namespace {

using testing::FakeListener;
using namespace std::chrono_literals;

constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";

class UntrustedServer : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-untrusted", &m_Messages);
    std::filesystem::create_directories(m_Home);
    std::ofstream(m_Home / "pw") << kSaPassword << "\n";
    m_Admin.SetConnectionString(RegistrationString());
    m_Admin.Open();
  }
  void TearDown() override { LeaveProfile(m_Home); }

  testing::BwctlResult Bwctl(const std::string& arguments, int guardSeconds = 60) {
    return testing::RunBwctl(m_Home, arguments, guardSeconds);
  }
  std::string AddArguments(int port) {
    return "server add --data-source 127.0.0.1," + std::to_string(port) +
           " --user sa --password-file '" + (m_Home / "pw").string() + "'";
  }

  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
  Connection m_Admin;
};

TEST_F(UntrustedServer, DatabaseNamesNeverRedirectTheLogin) {
  FakeListener elsewhere(FakeListener::Mode::CloseAtOnce);
  const std::string redirect = ";Data Source=127.0.0.1," + std::to_string(elsewhere.Port());
  // What a dbcreator can create, and what a new archive's name can hold.
  const std::string listed = "Listed" + redirect;
  const std::string created = "Made\"" + redirect;
  m_Admin.Execute("CREATE DATABASE [Brindlewick_" + listed + "]");
  // The ODBC driver ends a braced value at "};": such a name is not opened.
  const std::string braced = "Braced};SERVER=127.0.0.1;PORT=" + std::to_string(elsewhere.Port());
  m_Admin.Execute("CREATE DATABASE [Brindlewick_" + braced + "]");

  Servers servers;
  std::string registration = RegistrationString();
  Server* server = servers.Add(registration);
  ASSERT_NE(server, nullptr);
  Databases& catalogue = server->Databases();
  Database* made = catalogue.AddNew(created, std::string(kDataFolder) + "Made.mdf");

  EXPECT_EQ(elsewhere.Accepted(), 0) << "sa's login went to the name's Data Source";
  std::vector<std::string> names;
  for (Database* archive : catalogue.NewEnum()) names.push_back(archive->Name());
  EXPECT_NE(std::find(names.begin(), names.end(), listed), names.end());
  ASSERT_EQ(catalogue.Unopened().size(), 1u);
  EXPECT_EQ(catalogue.Unopened()[0].name, braced);
  ASSERT_NE(made, nullptr) << (m_Messages.History().empty() ? "" : m_Messages.History()[0].text);
  EXPECT_EQ(made->Name(), created);
  EXPECT_TRUE(made->IsConnected());
  for (Database* archive : catalogue.NewEnum()) {
    EXPECT_TRUE(catalogue.Delete(std::to_string(archive->ArchiveID()))) << archive->Name();
  }
  m_Admin.Execute("DROP DATABASE [Brindlewick_" + braced + "]");
}

TEST_F(UntrustedServer, AFrozenServerEndsWithinTheConnectTimeOut) {
  FakeListener frozen(FakeListener::Mode::NeverAnswer);
  ASSERT_EQ(Bwctl(AddArguments(Standin().Port())).code, 0);
  // The echo answers, the login never does: the registration is kept.
  testing::BwctlResult added = Bwctl(AddArguments(frozen.Port()));
  EXPECT_EQ(added.code, 1) << added.err;
  EXPECT_LT(added.elapsed, 30s) << "the login time-out is 5 s";
  const int attempts = frozen.Accepted();
  EXPECT_GE(attempts, 1);

  // Commands for the other registration do not touch the frozen one.
  testing::BwctlResult list = Bwctl("archive list 1");
  EXPECT_EQ(list.code, 0) << list.err;
  testing::BwctlResult moved = Bwctl("server move 2 1");
  EXPECT_EQ(moved.code, 0) << moved.err;
  EXPECT_EQ(frozen.Accepted(), attempts) << "bwctl connected a registration it did not need";

  // A list needs them all; the frozen one is marked, the other connected.
  testing::BwctlResult servers = Bwctl("server list");
  EXPECT_EQ(servers.code, 0) << servers.err;
  EXPECT_LT(servers.elapsed, 30s);
  EXPECT_NE(servers.out.find("connected\n"), std::string::npos) << servers.out;
  EXPECT_NE(servers.out.find("not connected"), std::string::npos) << servers.out;
}

TEST_F(UntrustedServer, AStatementOnAFrozenServerEndsWithinItsTimeOut) {
  FakeListener relay(FakeListener::Mode::Relay, Standin().Port());
  Connection connection;
  connection.SetConnectionString(
      "Provider=SQLOLEDB;" + OleDbPair("Data Source", "127.0.0.1," + std::to_string(relay.Port())) +
      "User Id=sa;" + OleDbPair("Password", kSaPassword));
  connection.Open();
  connection.SetCommandTimeout(2);
  EXPECT_EQ(connection.Execute("SELECT 1"), -1);
  relay.Freeze();
  auto run = std::async(std::launch::async, [&] {
    try {
      connection.Execute("SELECT 2");
      return std::string("no error");
    } catch (const Error& error) {
      return error.Description();
    }
  });
  if (run.wait_for(60s) != std::future_status::ready) {
    ADD_FAILURE() << "the statement did not end within a minute";
    std::abort();  // the driver holds the thread; nothing else can end it
  }
  EXPECT_NE(run.get(), "no error");
}

}  // namespace
}  // namespace bw
