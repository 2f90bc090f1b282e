// The listener under pressure: a connection whose thread cannot start, the
// process out of descriptors, more clients than the connection limit. Each
// time the listener must keep serving, log what happened and not spin.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "FakeEngine.h"
#include "Log.h"
#include "Server.h"
#include "TestClient.h"

namespace standin::app {
namespace {

using testing::Bytes;
using testing::FakeEngine;
using testing::TestClient;

const Bytes kPrelogin = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                         0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CaptureLog([this](const std::string& line) {
      std::lock_guard lock(m_LogMutex);
      m_Log += line + "\n";
    });
  }
  void TearDown() override {
    if (m_Server) m_Server->Stop();
    if (m_Serving.joinable()) m_Serving.join();
    CaptureLog({});
  }

  void Start(ServerOptions options) {
    m_Server = std::make_unique<Server>(m_Engine, std::move(options));
    m_Port = m_Server->Listen("127.0.0.1", 0);
    std::promise<pid_t> tid;
    m_Serving = std::thread([this, &tid] {
      tid.set_value(::gettid());
      m_Server->Serve();
    });
    m_ServingTid = tid.get_future().get();
  }

  std::unique_ptr<TestClient> Connect(int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(m_Port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return std::make_unique<TestClient>(fd);
  }

  // True when the server answers a PRELOGIN on this connection.
  static bool Served(TestClient& client) {
    client.SendMessage(tds::PacketType::Prelogin, kPrelogin);
    pollfd descriptor{client.Fd(), POLLIN, 0};
    if (::poll(&descriptor, 1, 5000) != 1) return false;
    return client.ReadReply().has_value();
  }

  // True when the server closes the connection within a few seconds.
  static bool Closed(TestClient& client) {
    pollfd descriptor{client.Fd(), POLLIN, 0};
    return ::poll(&descriptor, 1, 5000) == 1 && client.ServerClosed();
  }

  std::string Log() {
    std::lock_guard lock(m_LogMutex);
    return m_Log;
  }

  FakeEngine m_Engine;
  std::unique_ptr<Server> m_Server;
  std::thread m_Serving;
  pid_t m_ServingTid = 0;
  int m_Port = 0;
  std::mutex m_LogMutex;
  std::string m_Log;
};

TEST_F(ServerTest, ThreadThatCannotStartRefusesOnlyItsConnection) {
  ServerOptions options;
  auto calls = std::make_shared<std::atomic<int>>(0);
  options.startThread = [calls](std::function<void()> body) {
    if (++*calls == 1)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
  };
  Start(options);
  auto refused = Connect();
  EXPECT_TRUE(Closed(*refused));
  auto next = Connect();
  EXPECT_TRUE(Served(*next)) << "the listener must keep accepting\n" << Log();
  EXPECT_NE(Log().find("refused: cannot start its thread"), std::string::npos) << Log();
}

TEST_F(ServerTest, ConnectionsBeyondTheLimitAreClosedAndLogged) {
  ServerOptions options;
  options.maxConnections = 2;
  Start(options);
  auto first = Connect();
  auto second = Connect();
  ASSERT_TRUE(Served(*first));
  ASSERT_TRUE(Served(*second));
  auto third = Connect();
  EXPECT_TRUE(Closed(*third));
  EXPECT_NE(Log().find("connection limit of 2 reached"), std::string::npos) << Log();

  first.reset();
  // Once the first connection's thread has ended there is room again.
  bool servedAgain = false;
  for (int attempt = 0; attempt < 50 && !servedAgain; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto another = Connect();
    servedAgain = Served(*another);
  }
  EXPECT_TRUE(servedAgain) << Log();
  EXPECT_NE(Log().find("below the connection limit again"), std::string::npos) << Log();
}

// Takes every free descriptor below a limit a little above those open now,
// as copies of `model`; returns them (to close) with the limit in force.
std::vector<int> UseUpDescriptors(int model) {
  std::size_t open = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++open;
  rlimit tight{};
  ::getrlimit(RLIMIT_NOFILE, &tight);
  tight.rlim_cur = open + 8;
  ::setrlimit(RLIMIT_NOFILE, &tight);
  std::vector<int> taken;
  for (int fd = ::dup(model); fd >= 0; fd = ::dup(model)) taken.push_back(fd);
  return taken;
}

// How often a thread went to sleep of its own accord. A thread that spins
// on a descriptor that stays ready never does, however busy the machine.
long VoluntarySwitches(pid_t tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  }
  return -1;
}

// Out of descriptors, a pending connection keeps the listener readable: the
// listener must pause (not use a core polling) and say why, then serve the
// client once descriptors are free again.
TEST_F(ServerTest, OutOfDescriptorsPausesLogsAndRecovers) {
  Start({});
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const long sleepsBefore = VoluntarySwitches(m_ServingTid);
  std::vector<int> taken = UseUpDescriptors(socket);
  ASSERT_EQ(errno, EMFILE);
  // Connecting needs no new descriptor here; accepting it does.
  auto waiting = Connect(socket);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (int fd : taken) ::close(fd);
  const long sleeps = VoluntarySwitches(m_ServingTid) - sleepsBefore;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_GE(sleeps, 5) << "the listener spun while it could not accept";
  EXPECT_NE(Log().find("cannot accept connections"), std::string::npos) << Log();
  EXPECT_TRUE(Served(*waiting)) << Log();
  EXPECT_NE(Log().find("accepting connections again"), std::string::npos) << Log();
}

}  // namespace
}  // namespace standin::app
