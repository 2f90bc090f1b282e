#include "support/Settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/Error.h"

namespace bw {
namespace {

class SettingsLayers : public ::testing::Test {
 protected:
  void TearDown() override {
    Settings::SetStoredLayer({});
    ::unsetenv("BW_ODBC_DRIVER");
    ::unsetenv("BW_BROWSER_PORT");
  }
};

TEST_F(SettingsLayers, EnvironmentOverStoredOverDefault) {
  EXPECT_EQ(Settings::Get(kSettingOdbcDriver), "FreeTDS");
  Settings::SetStoredLayer([](const std::string& name) -> std::optional<std::string> {
    if (name == kSettingOdbcDriver) return "Stored";
    return std::nullopt;
  });
  EXPECT_EQ(Settings::Get(kSettingOdbcDriver), "Stored");
  EXPECT_EQ(Settings::Get(kSettingBrowserPort), "1434");
  ::setenv("BW_ODBC_DRIVER", "FromEnvironment", 1);
  EXPECT_EQ(Settings::Get(kSettingOdbcDriver), "FromEnvironment");
}

TEST_F(SettingsLayers, EmptyValuesFallThrough) {
  Settings::SetStoredLayer([](const std::string&) { return std::optional<std::string>(""); });
  ::setenv("BW_ODBC_DRIVER", "", 1);
  EXPECT_EQ(Settings::Get(kSettingOdbcDriver), "FreeTDS");
}

TEST_F(SettingsLayers, NumbersAreCheckedAndUnknownNamesRejected) {
  EXPECT_EQ(Settings::GetNumber(kSettingBrowserPort), 1434);
  ::setenv("BW_BROWSER_PORT", "14x", 1);
  try {
    Settings::GetNumber(kSettingBrowserPort);
    FAIL() << "accepted a port that is not a number";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), kErrBadSetting);
    EXPECT_NE(e.Description().find("BW_BROWSER_PORT"), std::string::npos);
  }
  EXPECT_THROW(Settings::Get("NoSuchSetting"), std::out_of_range);
}

TEST(SettingsCatalogue, EveryEnvironmentNameIsPrefixed) {
  for (const auto& info : Settings::All()) {
    EXPECT_EQ(info.environment.rfind("BW_", 0), 0u) << info.name;
    EXPECT_FALSE(info.description.empty()) << info.name;
  }
}

}  // namespace
}  // namespace bw
