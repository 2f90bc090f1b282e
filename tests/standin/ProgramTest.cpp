// The program around the protocol: command line, start-up, log lines and a
// clean shutdown on SIGTERM that keeps committed data.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "Odbc.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

std::pair<int, std::string> RunProgram(const std::string& arguments) {
  std::string command = StandinBinary() + " " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(Program, HelpAndCommandLineErrors) {
  auto [helpStatus, help] = RunProgram("--help");
  EXPECT_EQ(helpStatus, 0);
  for (const char* option :
       {"--data-dir", "--listen", "--port", "--sa-password", "--product-version", "--login-mode"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  auto [badStatus, bad] = RunProgram("--data-dir /nonexistent --port nine");
  EXPECT_NE(badStatus, 0);
  EXPECT_NE(bad.find("--port"), std::string::npos) << bad;
}

TEST(Program, RefusesToInitialiseWithoutAnSaPassword) {
  std::string directory =
      (std::filesystem::temp_directory_path() / "sqlstandin-nopw-XXXXXX").string();
  ASSERT_TRUE(::mkdtemp(directory.data()));
  auto [status, output] = RunProgram("--data-dir " + directory + "/new --port 0");
  EXPECT_NE(status, 0);
  EXPECT_FALSE(output.empty());
  std::filesystem::remove_all(directory);
}

TEST(Program, SigtermEndsSessionsAndKeepsCommittedData) {
  StandinProcess server;
  server.Start();
  {
    OdbcConnection connection;
    ASSERT_TRUE(connection.Connect(server.ConnectionString())) << server.Log();
    ASSERT_TRUE(connection.Execute("CREATE TABLE Kept (id int NOT NULL PRIMARY KEY)").ok)
        << server.Log();
    ASSERT_TRUE(connection.Execute("INSERT INTO Kept (id) VALUES (1)").ok);
    // The connection stays open while the server is told to stop.
    EXPECT_EQ(server.Stop(), 0) << server.Log();
  }
  std::string log = server.Log();
  EXPECT_NE(log.find("listening on 127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("login 'sa'"), std::string::npos) << log;

  server.Start();
  OdbcConnection again;
  ASSERT_TRUE(again.Connect(server.ConnectionString())) << server.Log();
  OdbcOutcome outcome = again.Execute("SELECT id FROM Kept");
  ASSERT_EQ(outcome.resultSets.size(), 1u) << server.Log();
  ASSERT_EQ(outcome.resultSets[0].rows.size(), 1u);
  EXPECT_EQ(outcome.resultSets[0].rows[0][0].text, "1");
}

TEST(Program, LoginFailuresReachTheClient) {
  StandinProcess server;
  server.Start();
  struct Case {
    std::string user;
    std::string password;
    std::int32_t nativeError;
    const char* textPart;
  };
  const Case cases[] = {
      {"sa", "wrong", 18456, "Login failed for user 'sa'."},
      {"nobody", "x", 18456, "Login failed for user 'nobody'."},
      // A DOMAIN\user name makes the driver attempt an integrated login.
      {"WORKGROUP\\someone", "x", 18456, "SQL Server authentication only"},
  };
  for (const Case& c : cases) {
    OdbcConnection connection;
    std::vector<OdbcDiagnostic> diagnostics;
    EXPECT_FALSE(connection.Connect(server.ConnectionString(c.user, c.password), &diagnostics))
        << c.user;
    std::string all;
    bool sawNumber = false;
    for (const OdbcDiagnostic& diagnostic : diagnostics) {
      all += diagnostic.text + "\n";
      sawNumber |= diagnostic.nativeError == c.nativeError;
    }
    EXPECT_TRUE(sawNumber) << c.user << ": " << all;
    EXPECT_NE(all.find(c.textPart), std::string::npos) << c.user << ": " << all;
  }
  // The server is unharmed.
  OdbcConnection connection;
  EXPECT_TRUE(connection.Connect(server.ConnectionString())) << server.Log();
}

}  // namespace
}  // namespace standin::integration
