// What a hostile local user or client can try against a running stand-in:
// oversized handshakes, forged log lines, password guessing, and reading the
// files it creates.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "Odbc.h"
#include "RawTdsClient.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The server's log as soon as it holds `text` (it is read from the server's
// stderr on a thread of its own), or after five seconds.
std::string LogWith(const StandinProcess& server, const std::string& text) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  std::string log = server.Log();
  while (log.find(text) == std::string::npos && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    log = server.Log();
  }
  return log;
}

TEST(HostileClient, HandshakeLargerThanAnyLoginIsCut) {
  StandinProcess server;
  server.Start();
  RawTdsClient client(server.Port());
  // PRELOGIN packets without end of message, four times what a LOGIN7 may be.
  RawTdsClient::Bytes packet(4096, 0);
  packet[0] = 0x12;
  packet[2] = 0x10;
  bool refused = false;
  for (int i = 0; i < 128 && !refused; ++i) refused = !client.Send(packet);
  EXPECT_TRUE(refused || client.ClosedWithin(5000)) << server.Log();
  const std::string log = LogWith(server, "malformed handshake");
  EXPECT_NE(log.find("malformed handshake"), std::string::npos) << log;
}

TEST(HostileClient, UserNamesCannotForgeLogLines) {
  StandinProcess server;
  server.Start();
  RawTdsClient client(server.Port());
  EXPECT_FALSE(
      client.LogIn("x'\r\n2099-01-01T00:00:00.000Z sqlstandin: spid 99: login 'sa' from "
                   "10.0.0.1\x1b[2K",
                   "wrong"));
  const std::string log = LogWith(server, "2099-01-01");
  EXPECT_EQ(log.find("\n2099-01-01"), std::string::npos) << log;
  EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
  EXPECT_NE(log.find("x'\\x0d\\x0a2099-01-01"), std::string::npos) << log;
}

// Each failure from an address makes the next attempt from it wait longer,
// on TDS and on the control endpoint alike, and every failure is logged.
TEST(HostileClient, FailedLoginsSlowTheNextAttemptsFromTheSameAddress) {
  StandinProcess server;
  server.Start({"--login-delay", "400"});
  std::vector<long> waited;
  for (int attempt = 0; attempt < 4; ++attempt) {
    RawTdsClient client(server.Port());
    const auto start = Clock::now();
    EXPECT_FALSE(client.LogIn("sa", "guess" + std::to_string(attempt)));
    waited.push_back(static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()));
  }
  // 100 ms after the first failure, doubling, at most 400 ms (the clock here
  // starts a moment after the server's).
  EXPECT_GE(waited[1], 90);
  EXPECT_GE(waited[2], 180);
  EXPECT_GE(waited[3], 360);

  const auto start = Clock::now();
  EXPECT_EQ(server.Control({"STATUS", "MSSQLSERVER"}, "guess").rfind("ERR 1326 ", 0), 0u);
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
            360)
      << "the control endpoint shares the address's delay";
  // The right password still gets in, after its wait.
  RawTdsClient right(server.Port());
  EXPECT_TRUE(right.LogIn("sa", StandinProcess::kSaPassword)) << server.Log();

  const std::string log = LogWith(server, "(failure 5)");
  EXPECT_NE(log.find("failure 4 from 127.0.0.1"), std::string::npos) << log;
  EXPECT_NE(log.find("control logon failed for 'sa' from 127.0.0.1 (failure 5)"), std::string::npos)
      << log;
}

// The data directory holds the password hashes: nothing in it is for other
// users, whatever umask the stand-in was started with.
TEST(HostileClient, DataDirectoryIsPrivateWhateverTheUmask) {
  StandinProcess server;
  const mode_t saved = ::umask(0);
  server.Start();
  const std::string accounts = StandinBinary() + " accounts add --data-dir '" +
                               server.DataDir().string() + "' 'HOST\\bob' >/dev/null 2>&1";
  const int added = std::system(accounts.c_str());
  ::umask(saved);
  EXPECT_EQ(added, 0);
  OdbcConnection admin;
  ASSERT_TRUE(admin.Connect(server.ConnectionString())) << server.Log();
  ASSERT_TRUE(admin.Execute("CREATE DATABASE Private CREATE TABLE Private..t (n int)").ok);
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(server.DataDir())) {
    struct stat status {};
    ASSERT_EQ(::stat(entry.path().c_str(), &status), 0);
    const mode_t mode = status.st_mode & 07777;
    if (entry.is_directory()) {
      EXPECT_EQ(mode, 0700) << entry.path();
    } else {
      ++files;
      EXPECT_EQ(mode, 0600) << entry.path();
    }
  }
  EXPECT_GE(files, 5u) << "master, the new database, its log and accounts.txt";
}

}  // namespace
}  // namespace standin::integration
