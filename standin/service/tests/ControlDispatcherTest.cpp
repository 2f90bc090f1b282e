#include "service/ControlDispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "FakeHosts.h"
#include "service/ControlProtocol.h"

namespace standin::service {
namespace {

using testing::FakeServiceHost;

struct RequestCase {
  const char* name;
  int stateBefore;
  std::string line;
  std::string reply;
  int stateAfter;
  int hostCalls = 0;  // Start() plus Stop() calls expected
};

class RequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestTest, AnswersAndChangesStateOnlyWhenAllowed) {
  const RequestCase& c = GetParam();
  FakeServiceHost host;
  host.state = c.stateBefore;
  ControlDispatcher dispatcher(host);
  ControlReply reply = dispatcher.Handle(c.line);
  EXPECT_EQ(reply.line, c.reply);
  EXPECT_FALSE(reply.close);
  EXPECT_EQ(host.state, c.stateAfter);
  EXPECT_EQ(host.starts + host.stops, c.hostCalls);
}

constexpr char kInvalid[] = "ERR 87 The parameter is incorrect.";
constexpr int kStopped = kStateStopped;
constexpr int kRunning = kStateRunning;

INSTANTIATE_TEST_SUITE_P(
    Status, RequestTest,
    ::testing::Values(
        RequestCase{"Join", kRunning, "JOIN", "OK 2 WORKGROUP", kRunning},
        RequestCase{"Running", kRunning, "STATUS MSSQLSERVER sa secret", "OK 4", kRunning},
        RequestCase{"ServiceNameIgnoresCase", kStopped, "STATUS mssqlServer reader -", "OK 1",
                    kStopped},
        RequestCase{"VerbIgnoresCase", kRunning, "status MSSQLSERVER sa secret", "OK 4", kRunning},
        RequestCase{"EncodedLogin", kRunning, "STATUS MSSQLSERVER %73%61 secret", "OK 4", kRunning},
        RequestCase{"WrongPassword", kRunning, "STATUS MSSQLSERVER sa Secret",
                    "ERR 1326 Logon failure: unknown user name or bad password.", kRunning},
        RequestCase{"UnknownLogin", kRunning, "STATUS MSSQLSERVER nobody secret",
                    "ERR 1326 Logon failure: unknown user name or bad password.", kRunning},
        RequestCase{"EmptyPasswordIsNotAnyPassword", kRunning, "STATUS MSSQLSERVER sa -",
                    "ERR 1326 Logon failure: unknown user name or bad password.", kRunning},
        RequestCase{"StrangerLearnsNothingAboutServices", kRunning, "STATUS OTHER sa wrong",
                    "ERR 1326 Logon failure: unknown user name or bad password.", kRunning},
        RequestCase{"UnknownService", kRunning, "STATUS MSSQLSERVER2 reader -",
                    "ERR 1060 The specified service does not exist as an installed service.",
                    kRunning}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    StartStop, RequestTest,
    ::testing::Values(
        RequestCase{"StartStopped", kStopped, "START MSSQLSERVER operator op%20pass", "OK 4",
                    kRunning, 1},
        RequestCase{"StopRunning", kRunning, "STOP MSSQLSERVER sa secret", "OK 1", kStopped, 1},
        RequestCase{"StartRunning", kRunning, "START MSSQLSERVER sa secret",
                    "ERR 1056 An instance of the service is already running.", kRunning},
        RequestCase{"StartWhileStarting", kStateStartPending, "START MSSQLSERVER sa secret",
                    "ERR 1056 An instance of the service is already running.", kStateStartPending},
        RequestCase{"StartWhileStopping", kStateStopPending, "START MSSQLSERVER sa secret",
                    "ERR 1061 The service cannot accept control messages at this time.",
                    kStateStopPending},
        RequestCase{"StopStopped", kStopped, "STOP MSSQLSERVER sa secret",
                    "ERR 1062 The service has not been started.", kStopped},
        RequestCase{"StopWhileStarting", kStateStartPending, "STOP MSSQLSERVER sa secret",
                    "ERR 1061 The service cannot accept control messages at this time.",
                    kStateStartPending},
        RequestCase{"StartWithoutRole", kStopped, "START MSSQLSERVER reader -",
                    "ERR 5 Access is denied.", kStopped},
        RequestCase{"StopWithoutRole", kRunning, "STOP MSSQLSERVER reader -",
                    "ERR 5 Access is denied.", kRunning}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Malformed, RequestTest,
    ::testing::Values(
        RequestCase{"Empty", kRunning, "", kInvalid, kRunning},
        RequestCase{"UnknownVerb", kRunning, "RESTART MSSQLSERVER sa secret", kInvalid, kRunning},
        RequestCase{"JoinWithArgument", kRunning, "JOIN x", kInvalid, kRunning},
        RequestCase{"MissingPassword", kRunning, "STOP MSSQLSERVER sa", kInvalid, kRunning},
        RequestCase{"ExtraArgument", kRunning, "STOP MSSQLSERVER sa secret now", kInvalid,
                    kRunning},
        RequestCase{"BadEscape", kRunning, "STOP MSSQLSERVER sa secre%t", kInvalid, kRunning},
        RequestCase{"NulCannotShortenALogin", kRunning, "STOP MSSQLSERVER sa%00x secret", kInvalid,
                    kRunning}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Faults, RequestTest,
    ::testing::Values(
        RequestCase{"SysAdminInjects", kRunning, "FAULT sp_helpdb 1205 always sa secret", "OK",
                    kRunning},
        RequestCase{"ServerAdminMayNot", kRunning, "FAULT sp_helpdb 1205 once operator op%20pass",
                    "ERR 5 Access is denied.", kRunning},
        RequestCase{"NumberWithJunk", kRunning, "FAULT sp_helpdb 12x once sa secret", kInvalid,
                    kRunning},
        RequestCase{"NumberNegative", kRunning, "FAULT sp_helpdb -5 once sa secret", kInvalid,
                    kRunning},
        RequestCase{"NumberTooLarge", kRunning, "FAULT sp_helpdb 99999999999 once sa secret",
                    kInvalid, kRunning},
        RequestCase{"UnknownMode", kRunning, "FAULT sp_helpdb 1205 twice sa secret", kInvalid,
                    kRunning},
        RequestCase{"EmptyPattern", kRunning, "FAULT - 1205 once sa secret", kInvalid, kRunning}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ControlDispatcherTest, FaultRuleReachesTheHostDecoded) {
  FakeServiceHost host;
  ControlDispatcher dispatcher(host);
  EXPECT_EQ(dispatcher.Handle("FAULT SELECT%20%2A%20FROM%20sysdatabases 8114 Once sa secret").line,
            "OK");
  EXPECT_EQ(host.lastFault.pattern, "SELECT * FROM sysdatabases");
  EXPECT_EQ(host.lastFault.errorNumber, 8114);
  EXPECT_TRUE(host.lastFault.once);
  EXPECT_EQ(dispatcher.Handle("NOFAULTS operator op%20pass").line, "ERR 5 Access is denied.");
  EXPECT_EQ(dispatcher.Handle("nofaults sa secret").line, "OK");
  EXPECT_EQ(host.clears, 1);
  host.supportsFaults = false;
  EXPECT_EQ(dispatcher.Handle("FAULT x 8114 always sa secret").line,
            "ERR 50 The request is not supported.");
  EXPECT_EQ(dispatcher.Handle("NOFAULTS sa secret").line, "ERR 50 The request is not supported.");
}

TEST(ControlDispatcherTest, QuitClosesTheConnection) {
  FakeServiceHost host;
  ControlDispatcher dispatcher(host);
  ControlReply reply = dispatcher.Handle("QUIT");
  EXPECT_EQ(reply.line, "OK");
  EXPECT_TRUE(reply.close);
}

TEST(ControlDispatcherTest, HostFailuresAreReportedNotSwallowedOrThrown) {
  FakeServiceHost host;
  ControlDispatcher dispatcher(host);
  host.state = kStateStopped;
  host.failControl = true;
  EXPECT_EQ(dispatcher.Handle("START MSSQLSERVER sa secret").line,
            "ERR 1053 The service did not respond to the start or control request in a timely "
            "fashion.");
  host.throwing = true;
  ControlReply reply = dispatcher.Handle("STATUS MSSQLSERVER sa secret");
  EXPECT_EQ(reply.line, "ERR 1359 An internal error occurred.");
  EXPECT_TRUE(reply.close);
}

TEST(ControlDispatcherTest, JoinNamesAreEncodedAndKeptWithinOneLine) {
  FakeServiceHost host;
  ControlDispatcher dispatcher(host);
  host.join = {3, ""};
  EXPECT_EQ(dispatcher.Handle("JOIN").line, "OK 3 -");
  host.join = {2, "MY GROUP"};
  EXPECT_EQ(dispatcher.Handle("JOIN").line, "OK 2 MY%20GROUP");
  host.join = {9, "X"};
  EXPECT_EQ(dispatcher.Handle("JOIN").line, "OK 0 X") << "out-of-range status means unknown";

  std::string longName;
  for (int i = 0; i < 500; ++i) longName += "\xC3\xA9";  // "é", 6 bytes once encoded
  host.join = {2, longName};
  std::string line = dispatcher.Handle("JOIN").line;
  EXPECT_LE(line.size(), kMaxLineBytes);
  EXPECT_GT(line.size(), kMaxLineBytes - 6) << "shortened by more than one character";
  auto name = DecodeArgument(line.substr(5));
  ASSERT_TRUE(name);
  EXPECT_FALSE(name->empty());
  EXPECT_EQ(name->size() % 2, 0u) << "a UTF-8 sequence was cut";
  EXPECT_EQ(longName.compare(0, name->size(), *name), 0);
}

TEST(ControlDispatcherTest, ConcurrentStartsStartTheServiceOnce) {
  FakeServiceHost host;
  host.state = kStateStopped;
  host.controlDelayMs = 100;
  ControlDispatcher dispatcher(host);
  std::string first, second;
  std::thread a([&] { first = dispatcher.Handle("START MSSQLSERVER sa secret").line; });
  std::thread b([&] { second = dispatcher.Handle("START MSSQLSERVER operator op%20pass").line; });
  a.join();
  b.join();
  EXPECT_EQ(host.starts, 1);
  EXPECT_NE(first, second);
  EXPECT_TRUE(first == "OK 4" || second == "OK 4");
}

}  // namespace
}  // namespace standin::service
