// Console start to a filled tree: 50 registered servers, 25 on a started
// stand-in and 25 on hosts that never answer the echo (each silent echo
// costs its whole 500 ms time-out, as a host that is switched off does). The
// console window runs on the offscreen platform with the real snap-in code;
// the figure is from creating the window to the server group's children
// being drawn. Prints each run and the median.
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "ConsoleWindow.h"
#include "StandinProcess.h"
#include "data/ConnectionString.h"
#include "platform/Echo.h"
#include "platform/RegistryHive.h"
#include "servers/Servers.h"
#include "snapin/HostServices.h"
#include "snapin/SnapIn1.h"

namespace {

constexpr int kServers = 50;

// Hosts other than 127.0.0.1 stay silent for the request's whole time-out;
// 127.0.0.1 gets the real echo.
class SilentHosts : public bw::platform::EchoService {
 public:
  bw::platform::EchoReply Echo(const bw::platform::EchoRequest& request) override {
    if (request.address == "127.0.0.1") return m_Real.Echo(request);
    std::this_thread::sleep_for(std::chrono::milliseconds(request.timeoutMs));
    return {bw::platform::kEchoTimedOut, bw::platform::EchoPath::PingSocket};
  }

 private:
  bw::platform::SystemEcho m_Real;
};

class BenchSnapIn : public bw::snapin::SnapIn1 {
 public:
  ~BenchSnapIn() override {
    Timer().SetInterval(0);
    bw::SetTimerSystem(nullptr);
  }
  void Initialize(bw::sdk::Host& host) override {
    m_Timers = std::make_unique<bw::snapin::HostTimerSystem>(host);
    bw::SetTimerSystem(m_Timers.get());
    SnapIn1::Initialize(host);
  }

 private:
  std::unique_ptr<bw::snapin::HostTimerSystem> m_Timers;
};

void Register(int id, const std::string& connectionString) {
  auto text = [](const std::string& value) {
    bw::RegistryValue v{bw::kRegSz, std::vector<std::uint8_t>(value.begin(), value.end())};
    v.data.push_back(0);
    return v;
  };
  std::string key = bw::Servers::ParentKey() + "\\" + std::to_string(id);
  bw::RegistryHive hive = bw::RegistryHive::ForCurrentUser();
  hive.SetValue(key, "ConnectionString", text(connectionString));
  bw::RegistryValue position{bw::kRegDword, {static_cast<std::uint8_t>(id), 0, 0, 0}};
  hive.SetValue(key, "OrdinalPosition", position);
}

double OneRun() {
  auto start = std::chrono::steady_clock::now();
  bw::console::ConsoleWindow window;
  window.show();
  window.AddSnapIn(nullptr, std::make_unique<BenchSnapIn>());
  window.ScopeItemNamed("StaticNode")->setExpanded(true);
  QTreeWidgetItem* group = window.ScopeItemNamed("StaticNode.DatabaseServers");
  group->setExpanded(true);
  QApplication::processEvents();
  int nodes = window.ScopeItemNamed("StaticNode.DatabaseServers")->childCount();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (nodes != kServers) {
    std::fprintf(stderr, "console_bench: %d server nodes instead of %d\n", nodes, kServers);
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  standin::integration::StandinProcess standin;
  standin.Start();
  std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("bw-console-bench-" + std::to_string(::getpid()));
  std::filesystem::remove_all(home);
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  ::setenv("BW_SERVICE_CONTROL_PORT", std::to_string(standin.ControlPort()).c_str(), 1);
  for (int id = 1; id <= kServers; ++id) {
    bool silent = id % 2 == 0;
    std::string source = silent ? "10.255.255." + std::to_string(id) + ",1433"
                                : "127.0.0.1," + std::to_string(standin.Port());
    Register(id, "Provider=SQLOLEDB;" + bw::OleDbPair("Data Source", source) +
                     bw::OleDbPair("User Id", "sa") +
                     bw::OleDbPair("Password", standin::integration::StandinProcess::kSaPassword));
  }
  SilentHosts echo;
  bw::platform::SetEchoService(&echo);

  QApplication app(argc, argv);
  std::vector<double> runs;
  for (int run = 0; run < 5; ++run) {
    runs.push_back(OneRun());
    std::printf("run %d: %.3f s\n", run + 1, runs.back());
  }
  std::sort(runs.begin(), runs.end());
  std::printf("console start to a filled tree, %d servers (%d silent): median %.3f s\n", kServers,
              kServers / 2, runs[runs.size() / 2]);
  bw::platform::SetEchoService(nullptr);
  std::filesystem::remove_all(home);
  return 0;
}
