#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "platform/Echo.h"
#include "platform/RegistryHive.h"
#include "servers/Servers.h"

namespace bw {
namespace {

// Every host is silent: registrations load and stay unconnected, fast.
class SilentNetwork : public platform::EchoService {
 public:
  platform::EchoReply Echo(const platform::EchoRequest&) override {
    return {platform::kEchoTimedOut, platform::EchoPath::PingSocket};
  }
};

class ServersCollection : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-servers-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
    ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
    platform::SetEchoService(&m_Silent);
  }
  void TearDown() override {
    platform::SetEchoService(nullptr);
    std::filesystem::remove_all(m_Home);
  }

  RegistryHive Hive() const { return RegistryHive::ForCurrentUser(); }
  static std::string Key(std::int32_t id) {
    return Servers::ParentKey() + "\\" + std::to_string(id);
  }

  // A registration as an earlier run would have left it.
  void Register(std::int32_t id, long position, const std::string& connection = "") {
    std::string text = connection.empty() ? "Provider=SQLOLEDB;Data Source=srv" +
                                                std::to_string(id) + ";User Id=sa;Password=x;"
                                          : connection;
    Write(Key(id), "ConnectionString", kRegSz, Variant(text));
    if (position >= 0)
      Write(Key(id), "OrdinalPosition", kRegDword, Variant(static_cast<std::int64_t>(position)));
  }
  static void Write(const std::string& key, const std::string& name, long type,
                    const Variant& value) {
    cRegistry registry;
    registry.SetSectionKey(key);
    registry.SetValueKey(name);
    registry.SetValueType(type);
    registry.SetValue(value);
  }
  static long Read(const std::string& key, const std::string& name) {
    cRegistry registry;
    registry.SetSectionKey(key);
    registry.SetValueKey(name);
    registry.SetDefault(Variant(0));
    return static_cast<long>(registry.Value().ToInteger());
  }
  long StoredPosition(std::int32_t id) { return Read(Key(id), "OrdinalPosition"); }
  static long LastServerId() { return Read(Servers::ParentKey(), "LastServerID"); }
  std::vector<std::int32_t> Order(Servers& servers) {
    std::vector<std::int32_t> ids;
    for (Server* server : servers.NewEnum()) ids.push_back(server->ServerID());
    return ids;
  }

  std::filesystem::path m_Home;
  SilentNetwork m_Silent;
};

TEST_F(ServersCollection, FirstStartCreatesNothing) {
  Servers servers;
  EXPECT_EQ(servers.Count(), 0);
  EXPECT_FALSE(Hive().KeyExists(Servers::ParentKey()));
}

TEST_F(ServersCollection, LoadsInStoredOrderAndRenumbers) {
  Register(4, 3);
  Register(7, -1);  // no stored position: takes its enumeration index, 2
  Register(9, 3);
  Servers servers;
  ASSERT_EQ(servers.Count(), 3);
  EXPECT_EQ(servers.Item(1)->ServerID(), 7);
  std::set<long> positions = {StoredPosition(4), StoredPosition(7), StoredPosition(9)};
  EXPECT_EQ(positions, (std::set<long>{1, 2, 3}));
  EXPECT_EQ(StoredPosition(7), 1);
  for (Server* server : servers.NewEnum()) {
    EXPECT_FALSE(server->IsConnected()) << "unreachable servers stay listed, unconnected";
  }
}

TEST_F(ServersCollection, SkipsSubKeysThatAreNotServerIds) {
  Register(2, 1);
  Hive().CreateKey(Servers::ParentKey() + "\\notes");
  Hive().CreateKey(Servers::ParentKey() + "\\-1x");
  Servers servers;
  ASSERT_EQ(servers.Count(), 1);
  EXPECT_EQ(servers.Item(1)->ServerID(), 2);
}

TEST_F(ServersCollection, AddOfAPrefixReturnsTheExistingServer) {
  Register(5, 1, "Provider=SQLOLEDB;Data Source=SRV;User Id=sa;Password=x;");
  Write(Servers::ParentKey(), "LastServerID", kRegDword, Variant(5));
  Servers servers;
  std::string prefix = "provider=sqloledb;data source=srv;";
  EXPECT_EQ(servers.Add(prefix), servers.Item("5"));
  EXPECT_EQ(LastServerId(), 5);
}

TEST_F(ServersCollection, UnreachableAddKeepsItsRegistrationForNextStart) {
  Register(1, 1);
  Write(Servers::ParentKey(), "LastServerID", kRegDword, Variant(1));
  {
    Servers servers;
    std::string text = "Provider=SQLOLEDB;Data Source=other;Integrated Security=SSPI;";
    EXPECT_EQ(servers.Add(text), nullptr);
    EXPECT_EQ(servers.Count(), 1);
  }
  EXPECT_EQ(LastServerId(), 2);
  EXPECT_EQ(StoredPosition(2), 2);
  Servers again;
  EXPECT_EQ(Order(again), (std::vector<std::int32_t>{1, 2}));
}

TEST_F(ServersCollection, EmptyStringAsksThePromptAndCancelAddsNothing) {
  Servers servers;
  std::string text;
  EXPECT_EQ(servers.Add(text), nullptr);  // no prompt installed
  Servers::SetDataLinkPrompt([] { return std::nullopt; });
  EXPECT_EQ(servers.Add(text), nullptr);
  Servers::SetDataLinkPrompt({});
  EXPECT_FALSE(Hive().KeyExists(Servers::ParentKey()));
}

TEST_F(ServersCollection, MovingPositions) {
  struct Row {
    long from, to;
    std::vector<long> expected;  // positions of ServerIDs 1-5 afterwards
  };
  for (Row row :
       {Row{4, 2, {1, 3, 4, 2, 5}}, Row{2, 9, {1, 5, 2, 3, 4}}, Row{3, 3, {1, 2, 3, 4, 5}}}) {
    std::filesystem::remove_all(m_Home);
    for (int id = 1; id <= 5; ++id) Register(id, id);
    Servers servers;
    long to = row.to;
    servers.Item(static_cast<long>(row.from))->SetOrdinalPosition(to);
    std::vector<long> positions;
    for (int id = 1; id <= 5; ++id) positions.push_back(StoredPosition(id));
    EXPECT_EQ(positions, row.expected) << row.from << "→" << row.to;
    EXPECT_LE(to, 5);
  }
}

TEST_F(ServersCollection, RemoveDeletesTheRegistrationAndItsKeyLookupIsQuiet) {
  Register(3, 1);
  Register(8, 2);
  Servers servers;
  servers.Remove("3");
  EXPECT_EQ(servers.Item("3"), nullptr);
  EXPECT_EQ(servers.Count(), 1);
  EXPECT_FALSE(Hive().KeyExists(Key(3)));
  EXPECT_THROW(servers.Item(2L), Error);
}

TEST(SortByPosition, OrdersAnyMixIncludingTies) {
  std::vector<std::vector<long>> inputs = {
      {3, 2, 3}, {1}, {5, 4, 3, 2, 1}, {2, 2, 2, 2}, {9, 1, 9, 1, 5}};
  for (const auto& input : inputs) {
    std::vector<Servers::PositionPair> pairs;
    for (std::size_t i = 0; i < input.size(); ++i)
      pairs.push_back({static_cast<std::int32_t>(i), input[i]});
    Servers::SortByPosition(pairs, 0, static_cast<long>(pairs.size()) - 1);
    for (std::size_t i = 1; i < pairs.size(); ++i)
      EXPECT_LE(pairs[i - 1].position, pairs[i].position);
  }
}

TEST_F(ServersCollection, TwoProcessesAddingAtOnceGetDistinctIds) {
  constexpr int kPerProcess = 10;
  pid_t child = ::fork();
  if (child == 0) {
    Servers servers;
    for (int i = 0; i < kPerProcess; ++i) {
      std::string text = "Provider=SQLOLEDB;Data Source=child" + std::to_string(i) + ";User Id=a;";
      servers.Add(text);
    }
    ::_exit(0);
  }
  Servers servers;
  for (int i = 0; i < kPerProcess; ++i) {
    std::string text = "Provider=SQLOLEDB;Data Source=parent" + std::to_string(i) + ";User Id=a;";
    servers.Add(text);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  auto keys = Hive().EnumerateSubKeys(Servers::ParentKey());
  ASSERT_TRUE(keys.has_value());
  EXPECT_EQ(keys->size(), 2u * kPerProcess);
  EXPECT_EQ(LastServerId(), 2 * kPerProcess);
}

}  // namespace
}  // namespace bw
