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
      {"--data-dir", "/d", "--max-connections", "0"},
      {"--data-dir", "/d", "--login-delay", "-1"},
      {"--data-dir", "/d", "--login-delay", "61000"},
  };
  for (const auto& arguments : refused) {
    parsed = ParseCommandLine(arguments);
    EXPECT_FALSE(parsed.options) << ::testing::PrintToString(arguments);
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_TRUE(ParseCommandLine({"--help"}).help);

  parsed = ParseCommandLine({"--data-dir", "/d", "--max-connections", "3", "--login-delay", "0"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->maxConnections, 3);
  EXPECT_EQ(parsed.options->loginDelayMilliseconds, 0);
  for (const char* option : {"--max-connections", "--login-delay"})
    EXPECT_NE(HelpText().find(option), std::string::npos) << option;
}

TEST(Options, DrivesAndFullTextService) {
  const std::string folder = ::testing::TempDir();
  ParsedCommandLine parsed =
      ParseCommandLine({"--data-dir", "/d", "--drive", "e=" + folder, "--fulltext", "unknown"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  ASSERT_EQ(parsed.options->drives.size(), 1u);
  EXPECT_EQ(parsed.options->drives[0].first, 'E');
  EXPECT_FALSE(parsed.options->fullTextInstalled);
  parsed = ParseCommandLine({"--data-dir", "/d", "--fulltext", "absent"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->fullTextInstalled, 0);
  EXPECT_EQ(ParseCommandLine({"--data-dir", "/d"}).options->fullTextInstalled, 1);

  // C holds master; a drive needs a letter and a folder that exists.
  for (const std::string& drive : {"C=" + folder, "1=" + folder, "E" + folder, std::string("E="),
                                   std::string("E=/no/such/folder/anywhere")}) {
    parsed = ParseCommandLine({"--data-dir", "/d", "--drive", drive});
    EXPECT_FALSE(parsed.options) << drive;
  }
  EXPECT_FALSE(ParseCommandLine({"--data-dir", "/d", "--fulltext", "maybe"}).options);
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
