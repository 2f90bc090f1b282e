#include "platform/RegistryHive.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "TempConfigHome.h"
#include "support/Settings.h"

namespace bw {
namespace {

using Names = std::vector<std::string>;
constexpr char kServers[] = "Software\\Brindlewick Server Manager\\Database Servers";

RegistryValue Dword(std::uint32_t n) {
  return {kRegDword,
          {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
           static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
}

long CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    EXPECT_EQ(e.Source(), kHiveErrorSource);
    return HiveErrorCode(e);
  }
  return kErrorSuccess;
}

class RegistryHiveTest : public TempConfigHome {
 protected:
  RegistryHive Hive() const { return RegistryHive::ForCurrentUser(); }
};

TEST_F(RegistryHiveTest, PathFollowsXdgConfigHomeOrFallsBackToHome) {
  EXPECT_EQ(RegistryHive::DefaultPath(), HivePath());
  std::string oldHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  ::setenv("HOME", "/home/someone", 1);
  for (const char* ignored : {"", "relative/config"}) {
    ::setenv("XDG_CONFIG_HOME", ignored, 1);
    EXPECT_EQ(RegistryHive::DefaultPath(), "/home/someone/.config/brindlewick/registry.hive");
  }
  ::setenv("HOME", oldHome.c_str(), 1);
}

TEST_F(RegistryHiveTest, KeysAndValuesIgnoreCaseAndKeepTheirSpelling) {
  EXPECT_EQ(Hive().CreateKey(std::string(kServers) + "\\3"), kErrorSuccess);
  EXPECT_TRUE(Hive().KeyExists("SOFTWARE\\brindlewick server manager\\DATABASE servers\\3"));
  EXPECT_EQ(Hive().EnumerateSubKeys("software\\BRINDLEWICK SERVER MANAGER"),
            Names{"Database Servers"});
  EXPECT_EQ(Hive().SetValue(kServers, "LastServerID", Dword(3)), kErrorSuccess);
  EXPECT_EQ(Hive().SetValue("software\\brindlewick server manager\\database servers",
                            "lastserverid", Dword(4)),
            kErrorSuccess);
  EXPECT_EQ(Hive().QueryValue(kServers, "LASTSERVERID"), Dword(4));
  std::string text = ReadHiveFile(HivePath());
  EXPECT_NE(text.find("[Software\\Brindlewick Server Manager\\Database Servers\\3]"),
            std::string::npos);
  EXPECT_NE(text.find("\"LastServerID\"=dword:00000004"), std::string::npos);

  EXPECT_FALSE(Hive().QueryValue(kServers, "Missing").has_value());
  EXPECT_FALSE(Hive().QueryValue("Software\\Missing", "LastServerID").has_value());
  EXPECT_EQ(Hive().DeleteValue(kServers, "lastServerId"), kErrorSuccess);
  EXPECT_EQ(Hive().DeleteValue(kServers, "LastServerID"), kErrorFileNotFound);
}

TEST_F(RegistryHiveTest, DeleteKeyRefusesKeysWithSubKeys) {
  std::string parent = kServers;
  ASSERT_EQ(Hive().CreateKey(parent + "\\3"), kErrorSuccess);
  ASSERT_EQ(Hive().SetValue(parent + "\\3", "ConnectionString", {kRegSz, {'x', 0}}), kErrorSuccess);
  EXPECT_EQ(Hive().DeleteKey(parent), kErrorKeyHasChildren);
  EXPECT_TRUE(Hive().KeyExists(parent + "\\3"));
  EXPECT_EQ(Hive().DeleteKey(parent + "\\4"), kErrorFileNotFound);
  EXPECT_EQ(Hive().DeleteKey("No\\Such\\Key"), kErrorFileNotFound);
  EXPECT_EQ(Hive().DeleteKey(""), kErrorInvalidParameter);
  EXPECT_EQ(Hive().DeleteKey(parent + "\\3"), kErrorSuccess);
  EXPECT_FALSE(Hive().KeyExists(parent + "\\3"));
  EXPECT_TRUE(Hive().KeyExists(parent));
  // A key created again starts without the values of the deleted one.
  ASSERT_EQ(Hive().CreateKey(parent + "\\3"), kErrorSuccess);
  EXPECT_FALSE(Hive().QueryValue(parent + "\\3", "ConnectionString").has_value());
}

TEST_F(RegistryHiveTest, EnumerationIsSortedAndMissingKeysAreDistinct) {
  EXPECT_FALSE(Hive().EnumerateSubKeys(kServers).has_value());
  ASSERT_EQ(Hive().CreateKey(kServers), kErrorSuccess);
  EXPECT_EQ(Hive().EnumerateSubKeys(kServers), Names{});
  // The registry's order: ignoring case, folded to upper case ("_" after letters).
  for (const char* id : {"9", "b", "_x", "A", "10", "C"}) {
    Hive().CreateKey(std::string(kServers) + "\\" + id);
  }
  EXPECT_EQ(Hive().EnumerateSubKeys(kServers), (Names{"10", "9", "A", "b", "C", "_x"}));
  EXPECT_EQ(Hive().EnumerateSubKeys(""), Names{"Software"});
}

TEST_F(RegistryHiveTest, InvalidPathsAreRefused) {
  for (const char* bad : {"A\\\\B", "\\A", "A\x01"}) {
    EXPECT_EQ(Hive().CreateKey(bad), kErrorInvalidParameter) << bad;
    EXPECT_EQ(Hive().SetValue(bad, "v", Dword(1)), kErrorInvalidParameter) << bad;
    EXPECT_FALSE(Hive().KeyExists(bad)) << bad;
  }
}

TEST_F(RegistryHiveTest, FilesArePrivateWhateverTheUmask) {
  mode_t oldMask = ::umask(0);
  WriteHiveFile("Brindlewick registry hive 1\n");
  std::filesystem::permissions(HivePath(), std::filesystem::perms::all);
  std::filesystem::remove(HivePath().parent_path() / "registry.hive.lock");
  ASSERT_EQ(Hive().SetValue("Software", "Password", {kRegSz, {'s', 0}}), kErrorSuccess);
  ::umask(oldMask);
  auto modeOf = [](const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
  };
  EXPECT_EQ(modeOf(HivePath()), 0600u);
  EXPECT_EQ(modeOf(HivePath().string() + ".lock"), 0600u);

  // A folder created by the hive itself is owner-only, parents included.
  ::umask(0);
  ::setenv("XDG_CONFIG_HOME", (Folder() / "fresh/config").c_str(), 1);
  ASSERT_EQ(Hive().CreateKey("Software"), kErrorSuccess);
  ::umask(oldMask);
  EXPECT_EQ(modeOf(Folder() / "fresh/config"), 0700u);
  EXPECT_EQ(modeOf(Folder() / "fresh/config/brindlewick"), 0700u);
  EXPECT_EQ(modeOf(Folder() / "fresh/config/brindlewick/registry.hive"), 0600u);
}

TEST_F(RegistryHiveTest, DamagedHiveIsMovedAsideAndReported) {
  const std::string damaged[] = {"garbage\n", "Brindlewick registry hive 1\n[A]\n\"v\"=sz:\"cut"};
  std::vector<std::string> reports;
  for (const auto& text : damaged) {
    WriteHiveFile(text);
    try {
      Hive().KeyExists("A");
      ADD_FAILURE() << "a damaged hive was read";
    } catch (const Error& e) {
      EXPECT_EQ(HiveErrorCode(e), kErrorRegistryCorrupt);
      reports.push_back(e.Description());
    }
    EXPECT_FALSE(std::filesystem::exists(HivePath()));
    // Later operations start from an empty hive; the notice is kept for the console.
    EXPECT_FALSE(Hive().KeyExists("A"));
    EXPECT_EQ(RegistryHive::TakeDamageNotice(), reports.back());
    EXPECT_FALSE(RegistryHive::TakeDamageNotice().has_value());
  }
  // Both damaged files are kept, even when moved aside within the same second.
  std::vector<std::string> kept;
  for (const auto& entry : std::filesystem::directory_iterator(HivePath().parent_path())) {
    std::string name = entry.path().filename().string();
    if (name.rfind("registry.hive.damaged-", 0) == 0) kept.push_back(ReadHiveFile(entry.path()));
  }
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<std::string>{damaged[1], damaged[0]}));
  for (const auto& report : reports) {
    EXPECT_NE(report.find(HivePath().string() + " was damaged"), std::string::npos) << report;
    EXPECT_NE(report.find("moved to " + HivePath().string() + ".damaged-"), std::string::npos)
        << report;
  }
}

TEST_F(RegistryHiveTest, HiveOfANewerVersionIsLeftAlone) {
  const std::string newer = "Brindlewick registry hive 7\n[A]\n\"v\"=qword:1\n";
  WriteHiveFile(newer);
  EXPECT_EQ(CodeOf([&] { Hive().SetValue("A", "w", Dword(1)); }), kErrorBadDb);
  EXPECT_EQ(ReadHiveFile(HivePath()), newer);
  EXPECT_FALSE(RegistryHive::TakeDamageNotice().has_value());
}

TEST_F(RegistryHiveTest, FailedWriteKeepsTheLastCompleteState) {
  ASSERT_EQ(Hive().SetValue("Software", "Kept", Dword(1)), kErrorSuccess);
  // The temporary file's name taken by a folder: the write cannot happen.
  std::filesystem::create_directory(HivePath().string() + ".tmp");
  {
    RegistryHive::Transaction transaction(Hive());
    EXPECT_EQ(CodeOf([&] { Hive().SetValue("Software", "Lost", Dword(2)); }),
              kErrorRegistryIoFailed);
    // Within the same transaction the failed change is not visible either.
    EXPECT_FALSE(Hive().QueryValue("Software", "Lost").has_value());
  }
  std::filesystem::remove(HivePath().string() + ".tmp");
  EXPECT_EQ(Hive().QueryValue("Software", "Kept"), Dword(1));
  EXPECT_FALSE(Hive().QueryValue("Software", "Lost").has_value());
}

TEST_F(RegistryHiveTest, TransactionsNestAndJoinAcrossHiveObjects) {
  RegistryHive byRelativeName(std::filesystem::relative(HivePath()));
  {
    RegistryHive::Transaction outer(Hive());
    RegistryHive::Transaction inner(byRelativeName);
    EXPECT_EQ(byRelativeName.SetValue("Software", "N", Dword(7)), kErrorSuccess);
    EXPECT_EQ(Hive().QueryValue("Software", "N"), Dword(7));
  }
  EXPECT_EQ(RegistryHive(HivePath()).QueryValue("Software", "N"), Dword(7));
}

TEST_F(RegistryHiveTest, SettingsComeFromTheSettingsKey) {
  ::unsetenv("BW_ODBC_DRIVER");
  ::unsetenv("BW_BROWSER_PORT");
  ::unsetenv("BW_ANSI_CODE_PAGE");
  Hive().SetValue(kSettingsKeyPath, kSettingOdbcDriver, {kRegSz, {'T', 'D', 'S', 0}});
  Hive().SetValue(kSettingsKeyPath, kSettingBrowserPort, Dword(1500));
  Hive().SetValue(kSettingsKeyPath, kSettingAnsiCodePage, {kRegBinary, {1, 2}});
  InstallHiveSettingsLayer();
  EXPECT_EQ(Settings::Get(kSettingOdbcDriver), "TDS");
  EXPECT_EQ(Settings::GetNumber(kSettingBrowserPort), 1500);
  EXPECT_EQ(Settings::Get(kSettingAnsiCodePage), "1252");  // other types are ignored

  WriteHiveFile("damaged");
  EXPECT_EQ(Settings::Get(kSettingOdbcDriver), "FreeTDS");
  EXPECT_TRUE(RegistryHive::TakeDamageNotice().has_value());
  Settings::SetStoredLayer({});
}

}  // namespace
}  // namespace bw
