#include "servers/cRegistry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <numeric>
#include <thread>

#include "platform/RegistryHive.h"
#include "support/Error.h"

namespace bw {
namespace {

using namespace std::string_literals;

constexpr char kServers[] = "Software\\Brindlewick Server Manager\\Database Servers";

class cRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "bw-creg-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_Folder = pattern;
    ::setenv("XDG_CONFIG_HOME", m_Folder.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    RegistryHive::TakeDamageNotice();
    std::filesystem::remove_all(m_Folder);
  }

  static cRegistry Registry(const std::string& section, const std::string& value, long type) {
    cRegistry registry;
    registry.SetSectionKey(section);
    registry.SetValueKey(value);
    registry.SetValueType(type);
    return registry;
  }

  std::filesystem::path m_Folder;
};

// The error a call raised, or number 0 when it raised none.
Error RaisedBy(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "", "");
}

TEST_F(cRegistryTest, ValuesTravelAsWindowsStoresThem) {
  ::setenv("BW_TEST_ROOT", "/srv", 1);
  struct Case {
    long type;
    Variant written;
    Variant read;
    std::vector<std::uint8_t> stored;
  };
  const Case cases[] = {
      {kRegSz,
       "Provider=SQLOLEDB",
       "Provider=SQLOLEDB",
       {'P', 'r', 'o', 'v', 'i', 'd', 'e', 'r', '=', 'S', 'Q', 'L', 'O', 'L', 'E', 'D', 'B', 0}},
      {kRegSz, "", "", {0}},
      {kRegSz, 42, "42", {'4', '2', 0}},
      {kRegMultiSz, "a\0b\0"s, "a\0b\0"s, {'a', 0, 'b', 0, 0}},
      {kRegExpandSz,
       "%BW_TEST_ROOT%/x",
       "/srv/x",
       {'%', 'B', 'W', '_', 'T', 'E', 'S', 'T', '_', 'R', 'O', 'O', 'T', '%', '/', 'x', 0}},
      {kRegDword, 42, 42, {42, 0, 0, 0}},
      {kRegDword, -1, -1, {0xff, 0xff, 0xff, 0xff}},
      {kRegDword,
       std::numeric_limits<std::int32_t>::min(),
       std::numeric_limits<std::int32_t>::min(),
       {0, 0, 0, 0x80}},
      {kRegDwordBigEndian, 0x01020304, 0x01020304, {1, 2, 3, 4}},
      {kRegBinary,
       std::vector<std::uint8_t>{0, 1, 0},
       std::vector<std::uint8_t>{0, 1, 0},
       {0, 1, 0}},
      {kRegBinary, std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + ", value " + c.written.ToText());
    cRegistry writer = Registry(std::string(kServers) + "\\1", "V", c.type);
    writer.SetValue(c.written);
    EXPECT_EQ(RegistryHive::ForCurrentUser().QueryValue(std::string(kServers) + "\\1", "V"),
              (RegistryValue{static_cast<std::uint32_t>(c.type), c.stored}));
    cRegistry reader = Registry(std::string(kServers) + "\\1", "v", kRegBinary);
    EXPECT_EQ(reader.Value(), c.read);
    EXPECT_EQ(reader.ValueType(), c.type);
  }
  ::unsetenv("BW_TEST_ROOT");
}

TEST_F(cRegistryTest, UnreadableValuesGiveTheDefault) {
  RegistryHive::ForCurrentUser().SetValue(kServers, "Odd", {kRegDword, {1, 2}});
  cRegistry registry = Registry(kServers, "LastServerID", kRegDword);
  registry.SetDefault(0);
  EXPECT_EQ(registry.Value(), Variant(0));
  EXPECT_EQ(registry.ValueType(), kRegDword);
  registry.SetSectionKey("Software\\Missing");
  EXPECT_EQ(registry.Value(), Variant(0));
  registry.SetClassKey(static_cast<std::int32_t>(0x80000002u));  // HKEY_LOCAL_MACHINE
  registry.SetSectionKey(kServers);
  registry.SetValueKey("Odd");
  EXPECT_EQ(registry.Value(), Variant(0));
  // A DWORD of the wrong length is handed over as the bytes it holds.
  registry.SetClassKey(kHKeyCurrentUser);
  EXPECT_EQ(registry.Value(), Variant(std::vector<std::uint8_t>{1, 2}));
}

TEST_F(cRegistryTest, FailedWritesRaise26001WithTheirContext) {
  struct Case {
    std::int32_t root;
    long type;
    Variant value;
    long systemError;
  };
  const Case cases[] = {
      {kHKeyCurrentUser, kRegDword, "12", kErrorInvalidParameter},
      {kHKeyCurrentUser, kRegDword, 2.0, kErrorInvalidParameter},
      {kHKeyCurrentUser, kRegDword, std::int64_t{1} << 31, kErrorInvalidParameter},
      {kHKeyCurrentUser, kRegBinary, "text", kErrorInvalidParameter},
      {static_cast<std::int32_t>(0x80000002u), kRegSz, "x", kErrorInvalidHandle},
  };
  for (const auto& c : cases) {
    cRegistry registry = Registry(kServers, "LastServerID", c.type);
    registry.SetClassKey(c.root);
    Error error = RaisedBy([&] { registry.SetValue(c.value); });
    EXPECT_EQ(error.Number(), kErrRegistry) << c.value.ToText();
    EXPECT_EQ(error.Source(), "BWAdmin.cRegistry");
    EXPECT_EQ(error.Description(), "Failed to set registry value: root " +
                                       FormatErrorNumber(c.root) + ", key '" + kServers +
                                       "', value 'LastServerID' = '" + c.value.ToText() +
                                       "', system error " + std::to_string(c.systemError) + ".");
  }
  EXPECT_FALSE(RegistryHive::ForCurrentUser().KeyExists(kServers));
}

TEST_F(cRegistryTest, PasswordsNeverReachAnErrorReport) {
  cRegistry registry = Registry(kServers, "ConnectionString", kRegSz);
  registry.SetClassKey(0);
  Error error = RaisedBy([&] {
    registry.SetValue("Provider=SQLOLEDB;Password=se cret;User Id=sa; pwd = \"a;b\";Data Source=x");
  });
  EXPECT_NE(
      error.Description().find("'Provider=SQLOLEDB;Password=********;User Id=sa; pwd =********;"
                               "Data Source=x'"),
      std::string::npos)
      << error.Description();
}

TEST_F(cRegistryTest, CreateKeyFailureNamesTheSection) {
  struct Case {
    std::int32_t root;
    const char* section;
  };
  for (const Case& c : {Case{0, kServers}, Case{kHKeyCurrentUser, "Software\\\\Empty"}}) {
    cRegistry registry = Registry(c.section, "", kRegSz);
    registry.SetClassKey(c.root);
    Error error = RaisedBy([&] { registry.CreateKey(); });
    EXPECT_EQ(error.Number(), kErrRegistry);
    EXPECT_EQ(error.Source(), "BWAdmin.cRegistry");
    EXPECT_EQ(error.Description(), "Failed to create registry Key: '"s + c.section);
  }
}

TEST_F(cRegistryTest, KeysAndSections) {
  cRegistry registry = Registry(kServers, "", kRegSz);
  std::vector<std::string> sections{"stale"};
  long count = -1;
  EXPECT_TRUE(registry.EnumerateSections(sections, count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(sections, std::vector<std::string>{""});
  EXPECT_FALSE(registry.KeyExists());

  for (const char* id : {"4", "12", "7"}) {
    registry.SetSectionKey(std::string(kServers) + "\\" + id);
    EXPECT_TRUE(registry.CreateKey());
  }
  registry.SetSectionKey("software\\brindlewick server manager\\database servers");
  EXPECT_TRUE(registry.KeyExists());
  EXPECT_TRUE(registry.EnumerateSections(sections, count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(sections, (std::vector<std::string>{"", "12", "4", "7"}));
  EXPECT_FALSE(registry.DeleteKey());
  EXPECT_TRUE(registry.KeyExists());
  registry.SetSectionKey(std::string(kServers) + "\\4");
  EXPECT_TRUE(registry.DeleteKey());
  EXPECT_FALSE(registry.DeleteKey());
  EXPECT_FALSE(registry.KeyExists());

  registry.SetClassKey(0);
  registry.SetSectionKey(kServers);
  EXPECT_FALSE(registry.KeyExists());
  EXPECT_FALSE(registry.EnumerateSections(sections, count));
  EXPECT_EQ(count, 0);
}

TEST_F(cRegistryTest, DamagedHiveIsNotTakenForMissingValues) {
  std::filesystem::create_directories(m_Folder / "brindlewick");
  std::ofstream(m_Folder / "brindlewick/registry.hive") << "not a hive";
  cRegistry registry = Registry(kServers, "LastServerID", kRegDword);
  registry.SetDefault(0);
  Error error = RaisedBy([&] { registry.Value(); });
  EXPECT_EQ(HiveErrorCode(error), kErrorRegistryCorrupt);
  EXPECT_NE(error.Description().find("registry.hive.damaged-"), std::string::npos);
  EXPECT_EQ(registry.Value(), Variant(0));
}

// Two consoles adding servers at once: "LastServerID" is read and written
// back under one transaction, so no ServerID is issued twice.
TEST_F(cRegistryTest, ConcurrentAddsIssueDistinctServerIds) {
  constexpr int kAddsEach = 50;
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    pid_t pid = ::fork();
    if (pid == 0) {
      ::close(channel[0]);
      int status = 0;
      try {
        for (int i = 0; i < kAddsEach; ++i) {
          RegistryHive::Transaction transaction(RegistryHive::ForCurrentUser());
          cRegistry registry = Registry(kServers, "LastServerID", kRegDword);
          registry.SetDefault(0);
          auto id = static_cast<std::int32_t>(registry.Value().ToInteger() + 1);
          registry.SetValueType(kRegDword);
          registry.SetValue(static_cast<std::int64_t>(id));
          if (::write(channel[1], &id, sizeof id) != sizeof id) status = 2;
        }
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    ASSERT_GT(pid, 0);
    children.push_back(pid);
  }
  ::close(channel[1]);
  // The pipe holds every id, so the children never wait for the reader.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (pid_t pid : children) {
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) ::kill(pid, SIGKILL);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  std::vector<std::int32_t> issued;
  std::int32_t id = 0;
  while (::read(channel[0], &id, sizeof id) == sizeof id) issued.push_back(id);
  ::close(channel[0]);
  std::sort(issued.begin(), issued.end());
  std::vector<std::int32_t> expected(2 * kAddsEach);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(issued, expected);
  cRegistry registry = Registry(kServers, "LastServerID", kRegDword);
  EXPECT_EQ(registry.Value(), Variant(2 * kAddsEach));
}

}  // namespace
}  // namespace bw
