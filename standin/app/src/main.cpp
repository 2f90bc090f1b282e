// sqlstandin: a SQL Server stand-in serving TDS clients from SQLite files.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include <pthread.h>
#include <sys/stat.h>

#include "Log.h"
#include "Options.h"
#include "TdsService.h"
#include "service/BrowserResponder.h"
#include "service/ControlEndpoint.h"
#include "service/LoginThrottle.h"

namespace {

// How long sessions get to end after SIGTERM/SIGINT. A statement that does
// not notice the cancel (stuck in a long computation) must not keep the
// process alive forever; committed data is safe on disk either way, as after
// a crash.
constexpr auto kShutdownGrace = std::chrono::seconds(20);

void StartShutdownDeadline() {
  std::thread([] {
    std::this_thread::sleep_for(kShutdownGrace);
    standin::app::LogLine("sessions did not end within " + std::to_string(kShutdownGrace.count()) +
                          " s; exiting without waiting for them");
    std::_Exit(1);
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace standin;
  // Everything the stand-in creates is private to its user, whatever umask it
  // was started with: master holds the password hashes, the databases their
  // rows, accounts.txt the machine's accounts. SQLite, the log files and the
  // folders all honour this.
  ::umask(S_IRWXG | S_IRWXO);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 1 && arguments[0] == "--version") {
    std::cout << "sqlstandin " << SQLSTANDIN_VERSION << "\n";
    return 0;
  }
  if (!arguments.empty() && arguments[0] == "accounts")
    return app::RunAccountsCommand(arguments, std::cout, std::cerr);
  app::ParsedCommandLine commandLine = app::ParseCommandLine(arguments);
  if (commandLine.help) {
    std::cout << app::HelpText();
    return 0;
  }
  if (!commandLine.options) {
    std::cerr << "sqlstandin: " << commandLine.error << "\n";
    return 2;
  }
  const app::Options& options = *commandLine.options;

  // Signals are taken by one watcher thread (sigwait), so no handler runs on
  // a connection's thread in the middle of its work.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<engine::Engine> engine;
  try {
    engine::EngineOptions engineOptions;
    engineOptions.dataDir = options.dataDir;
    engineOptions.saPassword = options.saPassword;
    engineOptions.productVersion = options.productVersion;
    engineOptions.windowsLoginMode = options.windowsLoginMode;
    engineOptions.serverName = options.serverName;
    engineOptions.faults = options.faults;
    engineOptions.fullTextInstalled = options.fullTextInstalled;
    engineOptions.drives = options.drives;
    engine = engine::Engine::Open(engineOptions);
  } catch (const std::exception& failure) {
    app::LogLine(std::string("cannot open data directory '") + options.dataDir +
                 "': " + failure.what());
    return 1;
  }

  int exitCode = 0;
  {
    // One throttle for both doors a password can be tried at.
    service::LoginThrottle throttle{std::chrono::milliseconds(options.loginDelayMilliseconds)};
    app::TdsService tds(*engine, options, &throttle);
    int port = 0;
    try {
      port = tds.Open();
    } catch (const std::exception& failure) {
      app::LogLine(failure.what());
      engine->Shutdown();
      return 1;
    }
    // The machine's other services: a stand-in without them still serves
    // TDS (a second stand-in on the same machine finds their ports taken).
    std::unique_ptr<service::ControlEndpoint> control;
    if (options.controlPort >= 0) {
      service::ControlEndpointOptions controlOptions;
      controlOptions.address = options.listenAddress;
      controlOptions.port = options.controlPort;
      controlOptions.version = "1.0";
      controlOptions.log = [](const std::string& line) { app::LogLine(line); };
      controlOptions.throttle = &throttle;
      control = std::make_unique<service::ControlEndpoint>(tds, controlOptions);
      try {
        control->Start();  // it reports "control endpoint listening on ADDR:PORT" itself
      } catch (const std::exception& failure) {
        app::LogLine(std::string("control endpoint not started: ") + failure.what());
        control.reset();
      }
    }
    std::unique_ptr<service::BrowserResponder> browser;
    if (options.browserPort >= 0) {
      service::BrowserResponderOptions browserOptions;
      browserOptions.address = options.listenAddress;
      browserOptions.port = options.browserPort;
      browser = std::make_unique<service::BrowserResponder>(tds, browserOptions);
      try {
        int bound = browser->Start();
        app::LogLine("browser responder on " + options.listenAddress + ":" + std::to_string(bound));
      } catch (const std::exception& failure) {
        app::LogLine(std::string("browser responder not started: ") + failure.what());
        browser.reset();
      }
    }
    app::LogLine("listening on " + options.listenAddress + ":" + std::to_string(port));
    int received = 0;
    sigwait(&signals, &received);
    app::LogLine(std::string("received ") + (received == SIGTERM ? "SIGTERM" : "SIGINT") +
                 ", shutting down");
    StartShutdownDeadline();
    if (browser) browser->Stop();
    if (control) control->Stop();
    tds.Shutdown();
  }
  engine->Shutdown();
  app::LogLine("stopped");
  return exitCode;
}
