// The TDS listener presented as the Windows service "MSSQLSERVER": the
// control endpoint starts and stops it (the process keeps running), and the
// SQL Server Browser responder reports where it listens.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Options.h"
#include "Server.h"
#include "service/BrowserResponder.h"
#include "service/ServiceHost.h"
#include "tds/EngineTypes.h"

namespace standin::app {

class TdsService : public service::ServiceHost, public service::BrowserHost {
 public:
  // `throttle` (may be null) must outlive the service.
  TdsService(engine::Engine& engine, const Options& options,
             service::LoginThrottle* throttle = nullptr);
  ~TdsService() override;

  // Opens the listener the first time; returns the port bound (the same
  // port is reused by every later start). Throws std::runtime_error.
  int Open();
  // Ends every session and closes the listener for good.
  void Shutdown();

  service::JoinInfo Join() override;
  service::LoginRole CheckLogin(const std::string& login, const std::string& password) override;
  int State() override;
  bool Start() override;
  bool Stop() override;
  bool InjectFault(const service::FaultRule& rule) override;
  bool ClearFaults() override;
  service::InstanceInfo Instance() override;

 private:
  // Both with m_Mutex held.
  int Listen(int port);
  void Close();

  engine::Engine& m_Engine;
  Options m_Options;
  service::LoginThrottle* m_Throttle;
  std::mutex m_Mutex;
  std::unique_ptr<Server> m_Server;
  std::thread m_Serving;
  int m_Port = 0;
};

}  // namespace standin::app
