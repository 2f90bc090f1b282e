#include "TdsService.h"

#include "Log.h"

namespace standin::app {

TdsService::TdsService(engine::Engine& engine, const Options& options,
                       service::LoginThrottle* throttle)
    : m_Engine(engine), m_Options(options), m_Throttle(throttle) {}

TdsService::~TdsService() {
  Shutdown();
}

int TdsService::Listen(int port) {
  ServerOptions serverOptions;
  serverOptions.maxConnections = static_cast<std::size_t>(m_Options.maxConnections);
  serverOptions.throttle = m_Throttle;
  auto server = std::make_unique<Server>(m_Engine, serverOptions);
  int bound = server->Listen(m_Options.listenAddress, port);
  m_Server = std::move(server);
  Server* serving = m_Server.get();
  m_Serving = std::thread([serving] {
    try {
      serving->Serve();
    } catch (const std::exception& failure) {
      LogLine(std::string("listener failed: ") + failure.what());
    }
  });
  return bound;
}

void TdsService::Close() {
  if (!m_Server) return;
  m_Server->Stop();
  if (m_Serving.joinable()) m_Serving.join();
  m_Server.reset();
}

int TdsService::Open() {
  std::lock_guard lock(m_Mutex);
  m_Port = Listen(m_Options.port);
  return m_Port;
}

void TdsService::Shutdown() {
  std::lock_guard lock(m_Mutex);
  Close();
}

service::JoinInfo TdsService::Join() {
  return {m_Options.joinStatus, m_Options.workgroup};
}

service::LoginRole TdsService::CheckLogin(const std::string& login, const std::string& password) {
  switch (m_Engine.CheckCredentials(login, password)) {
    case engine::Engine::Credentials::SysAdmin:
      return service::LoginRole::kSysAdmin;
    case engine::Engine::Credentials::ServerAdmin:
      return service::LoginRole::kServerAdmin;
    case engine::Engine::Credentials::Valid:
      return service::LoginRole::kValid;
    default:
      return service::LoginRole::kUnknown;
  }
}

int TdsService::State() {
  std::lock_guard lock(m_Mutex);
  return m_Server ? 4 : 1;  // running : stopped
}

bool TdsService::Start() {
  std::lock_guard lock(m_Mutex);
  if (m_Server) return true;
  try {
    Listen(m_Port);
  } catch (const std::exception& failure) {
    LogLine(std::string("service start failed: ") + failure.what());
    return false;
  }
  LogLine("service MSSQLSERVER started: listening on " + m_Options.listenAddress + ":" +
          std::to_string(m_Port));
  return true;
}

bool TdsService::Stop() {
  std::lock_guard lock(m_Mutex);
  Close();
  LogLine("service MSSQLSERVER stopped: listener closed, sessions ended");
  return true;
}

bool TdsService::InjectFault(const service::FaultRule& rule) {
  m_Engine.InjectFault({rule.pattern, rule.errorNumber, rule.once});
  LogLine("fault injected: error " + std::to_string(rule.errorNumber) +
          (rule.once ? " once" : " always") + " for statements containing \"" + rule.pattern +
          "\"");
  return true;
}

bool TdsService::ClearFaults() {
  m_Engine.ClearFaults();
  LogLine("fault rules cleared");
  return true;
}

service::InstanceInfo TdsService::Instance() {
  std::lock_guard lock(m_Mutex);
  return {m_Engine.ServerName(), m_Engine.ProductVersion(), m_Server ? m_Port : 0};
}

}  // namespace standin::app
