// Starts sqlstandin for a test on a free loopback port with a temporary data
// directory, and stops it again, so integration tests can run in parallel.
//
// The server is started with --port 0 and the port is read from its
// "listening on ADDR:PORT" line, so two tests never race for a port.
// Everything the server logs is kept and can be printed when a test fails.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace standin::integration {

class StandinProcess {
 public:
  static constexpr const char* kSaPassword = "Standin-Test-1";

  // Creates a fresh data directory; Start() launches the server.
  StandinProcess();
  // Stops the server (SIGTERM) if it runs and removes the data directory.
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  // Launches sqlstandin and waits until it listens; extra arguments are
  // appended. Throws std::runtime_error (with the log) when it does not start.
  void Start(const std::vector<std::string>& extraArguments = {});
  // SIGTERM, then waits; returns the exit status (or -signal).
  int Stop();
  // SIGKILL, then waits: a crash at an arbitrary point.
  void Kill();

  bool Running() const { return m_Pid > 0; }
  int Port() const { return m_Port; }
  // The service-control endpoint (TCP) and browser responder (UDP); 0 when
  // the server did not start them.
  int ControlPort() const { return m_ControlPort; }
  int BrowserPort() const { return m_BrowserPort; }
  const std::filesystem::path& DataDir() const { return m_DataDir; }
  std::string Log() const;
  // One request to the control endpoint as sa ("FAULT <pattern> <number>
  // once|always", "NOFAULTS"; the credentials are appended); returns the
  // answer line. Throws std::runtime_error when the endpoint cannot be reached.
  std::string Control(const std::vector<std::string>& words,
                      const std::string& password = kSaPassword) const;
  // The next statement (once) or every statement whose text contains
  // `pattern` fails with SQL Server error `number`; see standin/service/README.md.
  void InjectFault(const std::string& pattern, int number, bool once = true) const;
  void ClearFaults() const;
  // An ODBC connection string for the FreeTDS driver.
  std::string ConnectionString(const std::string& user = "sa",
                               const std::string& password = kSaPassword,
                               const std::string& database = "") const;

 private:
  int Wait();

  std::filesystem::path m_DataDir;
  pid_t m_Pid = -1;
  int m_Port = 0;
  int m_ControlPort = 0;
  int m_BrowserPort = 0;
  int m_LogFd = -1;
  std::thread m_LogReader;
  mutable std::mutex m_LogMutex;
  std::mutex m_PortMutex;
  std::condition_variable m_PortFound;
  bool m_LogEnded = false;  // guarded by m_PortMutex
  std::string m_Log;
};

// The sqlstandin binary the tests run (set by CMake).
std::string StandinBinary();

}  // namespace standin::integration
