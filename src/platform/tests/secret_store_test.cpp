#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "platform/MemorySecretStore.h"
#include "platform/SecretServiceStore.h"
#include "support/Error.h"

namespace bw::platform {
namespace {

// Sets environment variables for one test and puts them back after it.
class ScopedEnvironment {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    m_Saved.push_back({name, old != nullptr ? std::optional<std::string>(old) : std::nullopt});
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    for (auto it = m_Saved.rbegin(); it != m_Saved.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_Saved;
};

TEST(SecretServiceStore, NoBusIsKnownAtOnceAndNothingIsAutolaunched) {
  const auto runtime =
      std::filesystem::temp_directory_path() / ("bw-secret-store-" + std::to_string(::getpid()));
  std::filesystem::create_directories(runtime);
  const std::string nowhere = "unix:path=" + (runtime / "no-bus").string();
  struct Row {
    const char* address;  // nullptr: unset
    const char* says;
  };
  const Row rows[] = {
      // A display would let GLib autolaunch a bus through X11: never.
      {nullptr, "there is no session bus"},
      {"", "there is no session bus"},
      {nowhere.c_str(), "No keyring answers: "},
      {"not-an-address", "No keyring answers: "},
  };
  for (const Row& row : rows) {
    ScopedEnvironment environment;
    environment.Set("DBUS_SESSION_BUS_ADDRESS", row.address);
    environment.Set("XDG_RUNTIME_DIR", runtime.c_str());
    environment.Set("DISPLAY", ":99");
    const char* what = row.address != nullptr ? row.address : "(unset)";
    SecretServiceStore store(2000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(store.Available()) << what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << what;
    EXPECT_NE(store.WhyUnavailable().find(row.says), std::string::npos)
        << what << ": " << store.WhyUnavailable();
    try {
      store.Store("r", "label", "secret");
      ADD_FAILURE() << what << ": stored without a keyring";
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), kErrKeyringUnavailable) << what;
      EXPECT_EQ(error.Source(), kKeyringSource);
    }
  }
  std::filesystem::remove_all(runtime);
}

TEST(Secrets, TheSettingAndAnInstalledStoreDecide) {
  ScopedEnvironment environment;
  environment.Set("BW_KEYRING", "OFF");
  EXPECT_FALSE(Secrets().Available());
  EXPECT_NE(Secrets().WhyUnavailable().find("setting Keyring is off"), std::string::npos);
  EXPECT_THROW(Secrets().Lookup("r"), Error);

  MemorySecretStore memory;
  SetSecretStore(&memory);
  EXPECT_TRUE(Secrets().Available()) << "a test's store wins over the setting";
  Secrets().Store("r", "label", "secret");
  EXPECT_EQ(memory.Secrets().at("r"), "secret");
  SetSecretStore(nullptr);
  EXPECT_FALSE(Secrets().Available());
}

}  // namespace
}  // namespace bw::platform
