#include <gtest/gtest.h>

#include "Options.h"

namespace standin::app {
namespace {

TEST(Options, DefaultsAndRefusals) {
  ParsedCommandLine parsed = ParseCommandLine({"--data-dir", "/d"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->listenAddress, "127.0.0.1");
  EXPECT_EQ(parsed.options->port, 1433);
  EXPECT_EQ(parsed.options->productVersion, 8);
  EXPECT_FALSE(parsed.options->windowsLoginMode);

  parsed = ParseCommandLine(
      {"--data-dir", "/d", "--port", "0", "--product-version", "7", "--login-mode", "windows"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->port, 0);
  EXPECT_EQ(parsed.options->productVersion, 7);
  EXPECT_TRUE(parsed.options->windowsLoginMode);

  const std::vector<std::vector<std::string>> refused = {
      {},
      {"--port", "1433"},
      {"--data-dir"},
      {"--data-dir", "/d", "--port", "70000"},
      {"--data-dir", "/d", "--port", "12x"},
      {"--data-dir", "/d", "--product-version", "9"},
      {"--data-dir", "/d", "--login-mode", "sspi"},
      {"--data-dir", "/d", "--verbose"},
  };
  for (const auto& arguments : refused) {
    parsed = ParseCommandLine(arguments);
    EXPECT_FALSE(parsed.options) << ::testing::PrintToString(arguments);
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_TRUE(ParseCommandLine({"--help"}).help);
}

TEST(Options, FaultRules) {
  ParsedCommandLine parsed = ParseCommandLine(
      {"--data-dir", "/d", "--fault", "137:once:CREATE VIEW dbo.X", "--fault", "1205:always:a:b"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  ASSERT_EQ(parsed.options->faults.size(), 2u);
  EXPECT_EQ(parsed.options->faults[0].errorNumber, 137);
  EXPECT_TRUE(parsed.options->faults[0].once);
  EXPECT_EQ(parsed.options->faults[0].pattern, "CREATE VIEW dbo.X");
  EXPECT_FALSE(parsed.options->faults[1].once);
  EXPECT_EQ(parsed.options->faults[1].pattern, "a:b");
  for (const char* bad : {"137", "137:once", "0:once:x", "x:once:y", "137:twice:x", "137:once: "}) {
    parsed = ParseCommandLine({"--data-dir", "/d", "--fault", bad});
    EXPECT_FALSE(parsed.options) << bad;
    EXPECT_NE(parsed.error.find("--fault"), std::string::npos);
  }
}

TEST(Options, SaPasswordFromTheEnvironmentOnlyWhenNotGiven) {
  ::setenv("SQLSTANDIN_SA_PASSWORD", "from-env", 1);
  EXPECT_EQ(ParseCommandLine({"--data-dir", "/d"}).options->saPassword, "from-env");
  EXPECT_EQ(ParseCommandLine({"--data-dir", "/d", "--sa-password", "given"}).options->saPassword,
            "given");
  ::unsetenv("SQLSTANDIN_SA_PASSWORD");
  EXPECT_EQ(ParseCommandLine({"--data-dir", "/d"}).options->saPassword, "");
}

}  // namespace
}  // namespace standin::app
