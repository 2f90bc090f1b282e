// Several processes on one hive: forked children write while the parent
// watches, kills or competes. Every wait is bounded.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "TempConfigHome.h"

namespace bw {
namespace {

using namespace std::chrono_literals;

// Runs `body` in a child process; its result is the exit status.
pid_t Spawn(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int status = 98;
    try {
      status = body();
    } catch (...) {
      status = 99;
    }
    ::_exit(status);
  }
  return pid;
}

// The child's exit status, -2 when a signal ended it (its number in
// `signal`), or -1 when it had to be killed after `limit`.
int WaitBounded(pid_t pid, std::chrono::milliseconds limit, int* signal = nullptr) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(2ms);
  }
  if (WIFSIGNALED(status) && signal != nullptr) *signal = WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

RegistryValue Dword(std::uint32_t n) {
  return {kRegDword,
          {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
           static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
}

using HiveConcurrency = TempConfigHome;

TEST_F(HiveConcurrency, WriterKilledMidWriteLeavesACompleteHive) {
  HiveKey root;
  constexpr int kKeys = 300;
  for (int i = 0; i < kKeys; ++i) {
    root.Create({"Software", "Keys", std::to_string(i)}).SetValue("V", Dword(i));
  }
  WriteHiveFile(SerializeHive(root));
  // A large value makes each write last long enough to be interrupted; the
  // kills land at different moments of the writer's loop.
  constexpr std::size_t kBlobSize = 1 << 20;
  for (int round = 0; round < 8; ++round) {
    pid_t writer = Spawn([round] {
      RegistryHive hive = RegistryHive::ForCurrentUser();
      for (int fill = round;; fill += 8) {
        std::vector<std::uint8_t> blob(kBlobSize, static_cast<std::uint8_t>(fill));
        hive.SetValue("Software", "Blob", {kRegBinary, std::move(blob)});
      }
      return 0;
    });
    ASSERT_GT(writer, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10 + 7 * round));
    ::kill(writer, SIGKILL);
    ASSERT_EQ(WaitBounded(writer, 5s), -2);

    std::unique_ptr<HiveKey> parsed;
    ASSERT_NO_THROW(parsed = ParseHive(ReadHiveFile(HivePath()))) << "round " << round;
    ASSERT_NE(parsed->Find({"Software", "Keys"}), nullptr);
    EXPECT_EQ(parsed->Find({"Software", "Keys"})->subKeys.size(), std::size_t{kKeys});
    if (const RegistryValue* blob = parsed->Find({"Software"})->FindValue("Blob")) {
      ASSERT_EQ(blob->data.size(), kBlobSize);
      EXPECT_EQ(std::count(blob->data.begin(), blob->data.end(), blob->data[0]),
                static_cast<std::ptrdiff_t>(kBlobSize));
    }
  }
  // The dead writers' locks went with them.
  EXPECT_EQ(RegistryHive::ForCurrentUser().SetValue("Software", "After", Dword(1)), kErrorSuccess);
}

// The same, made certain: a file-size limit stops the writer by SIGXFSZ in
// the middle of its write, where a file written in place would be cut short.
TEST_F(HiveConcurrency, WriterStoppedInsideItsWriteChangesNothing) {
  RegistryHive hive = RegistryHive::ForCurrentUser();
  ASSERT_EQ(hive.SetValue("Software", "Kept", Dword(1)), kErrorSuccess);
  std::string before = ReadHiveFile(HivePath());
  pid_t writer = Spawn([&] {
    ::signal(SIGXFSZ, SIG_DFL);
    rlimit limit{before.size() + 1000, before.size() + 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    hive.SetValue("Software", "Big", {kRegBinary, std::vector<std::uint8_t>(100000, 7)});
    return 0;
  });
  ASSERT_GT(writer, 0);
  int signal = 0;
  ASSERT_EQ(WaitBounded(writer, 10s, &signal), -2);
  ASSERT_EQ(signal, SIGXFSZ);
  EXPECT_EQ(ReadHiveFile(HivePath()), before);
  EXPECT_EQ(hive.SetValue("Software", "After", Dword(2)), kErrorSuccess);
  EXPECT_EQ(hive.QueryValue("Software", "Kept"), Dword(1));
}

TEST_F(HiveConcurrency, TwoWritersAtOnceKeepEveryValue) {
  constexpr int kWrites = 40;
  auto writer = [](char name) {
    return [name] {
      RegistryHive hive = RegistryHive::ForCurrentUser();
      for (int i = 0; i < kWrites; ++i) {
        std::string value = std::string(1, name) + std::to_string(i);
        if (hive.SetValue("Software\\Shared", value, Dword(i)) != kErrorSuccess) return 1;
      }
      return 0;
    };
  };
  pid_t first = Spawn(writer('A'));
  pid_t second = Spawn(writer('B'));
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitBounded(first, 20s), 0);
  EXPECT_EQ(WaitBounded(second, 20s), 0);
  RegistryHive hive = RegistryHive::ForCurrentUser();
  for (char name : {'A', 'B'}) {
    for (int i = 0; i < kWrites; ++i) {
      std::string value = std::string(1, name) + std::to_string(i);
      EXPECT_EQ(hive.QueryValue("Software\\Shared", value), Dword(i)) << value;
    }
  }
}

TEST_F(HiveConcurrency, WriterOfAnotherProcessWaitsForATransaction) {
  RegistryHive hive = RegistryHive::ForCurrentUser();
  ASSERT_EQ(hive.CreateKey("Software"), kErrorSuccess);
  pid_t writer;
  {
    RegistryHive::Transaction transaction(hive);
    writer = Spawn([] {
      return RegistryHive::ForCurrentUser().SetValue("Software", "Late", Dword(1)) == kErrorSuccess
                 ? 0
                 : 1;
    });
    ASSERT_GT(writer, 0);
    std::this_thread::sleep_for(100ms);
    int status = 0;
    EXPECT_EQ(::waitpid(writer, &status, WNOHANG), 0) << "wrote while the hive was locked";
    EXPECT_FALSE(hive.QueryValue("Software", "Late").has_value());
  }
  EXPECT_EQ(WaitBounded(writer, 10s), 0);
  EXPECT_EQ(hive.QueryValue("Software", "Late"), Dword(1));
}

}  // namespace
}  // namespace bw
