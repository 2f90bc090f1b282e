// Engine::Open, logins and session bookkeeping.
#include "exec/EngineImpl.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

#include "common/ScopeGuard.h"
#include "engine/Errors.h"
#include "exec/SessionImpl.h"

namespace standin::engine {
namespace {

std::string HostName() {
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return "localhost";
  std::string name(buffer);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// Lower case, every run of white space one blank, none at either end: a
// pattern copied from a client's source matches however the statement was
// indented.
std::string NormaliseForFault(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool blank = false;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

std::unique_ptr<Engine> Engine::Open(const EngineOptions& options) {
  if (options.dataDir.empty()) throw std::runtime_error("no data directory given");
  if (options.productVersion != 7 && options.productVersion != 8) {
    throw std::runtime_error("the product version must be 7 or 8");
  }
  return std::make_unique<EngineImpl>(options);
}

EngineImpl::EngineImpl(const EngineOptions& options)
    : m_Options(options),
      m_ServerName(options.serverName.empty() ? HostName() : options.serverName),
      m_Data(options.dataDir, options.saPassword) {
  // The sa password is needed only once; do not keep it in memory.
  m_Options.saPassword.clear();
  for (const auto& [letter, folder] : options.drives) m_Data.AddDrive(letter, folder);
  for (const FaultRule& rule : options.faults) InjectFault(rule);
}

void EngineImpl::InjectFault(const FaultRule& rule) {
  FaultRule normalised = rule;
  normalised.pattern = NormaliseForFault(rule.pattern);
  if (normalised.pattern.empty()) throw std::invalid_argument("a fault needs a pattern");
  if (rule.errorNumber < 1)
    throw std::invalid_argument("a fault needs an error number of 1 or more");
  std::lock_guard lock(m_FaultMutex);
  m_Faults.push_back(std::move(normalised));
  m_HasFaults = true;
}

void EngineImpl::ClearFaults() {
  std::lock_guard lock(m_FaultMutex);
  m_Faults.clear();
  m_HasFaults = false;
}

std::optional<Message> EngineImpl::TakeFault(std::string_view statementText) {
  if (!m_HasFaults.load()) return std::nullopt;
  const std::string text = NormaliseForFault(statementText);
  std::lock_guard lock(m_FaultMutex);
  for (auto rule = m_Faults.begin(); rule != m_Faults.end(); ++rule) {
    if (text.find(rule->pattern) == std::string::npos) continue;
    const std::int32_t number = rule->errorNumber;
    if (rule->once) m_Faults.erase(rule);
    m_HasFaults = !m_Faults.empty();
    if (FindError(number) != nullptr) return MakeMessage(number);
    const std::string injected = "Error " + std::to_string(number) + " injected by sqlstandin.";
    return MakeMessage(number, {injected});
  }
  return std::nullopt;
}

EngineImpl::~EngineImpl() {
  Shutdown();
}

std::string EngineImpl::ProductVersion() const {
  return m_Options.productVersion == 7 ? "7.00.1063" : "8.00.2039";
}

std::string EngineImpl::VersionText() const {
  const std::string edition = std::string("\tsqlstandin Edition (SQL Server stand-in on SQLite ") +
                              sqlite3_libversion() + ") on Linux\n";
  if (m_Options.productVersion == 7) {
    return "Microsoft SQL Server  7.00 - 7.00.1063 (Intel X86) \n\tApr  9 2002 14:18:16 \n"
           "\tCopyright (c) 1988-2002 Microsoft Corporation\n" +
           edition;
  }
  return "Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n"
         "\tCopyright (c) 1988-2003 Microsoft Corporation\n" +
         edition;
}

std::unique_ptr<Session> EngineImpl::Login(const LoginRequest& request) {
  {
    std::lock_guard lock(m_Mutex);
    if (m_ShutDown) throw SqlError(MakeMessage(18456, {request.userName}));
  }
  if (m_Options.windowsLoginMode) throw SqlError(MakeMessage(18452));
  std::optional<LoginEntry> login = m_Logins.Check(request.userName, request.password);
  if (!login) throw SqlError(MakeMessage(18456, {request.userName}));
  const std::string wanted = request.database.empty() ? login->defaultDatabase : request.database;
  std::optional<DatabaseEntry> database = m_Databases.Find(wanted);
  if (!database && request.database.empty()) database = m_Databases.Find("master");
  if (!database) throw SqlError(MakeMessage(4060, {wanted}));
  std::unique_lock lock(m_Mutex);
  int spid = 51;
  while (m_Sessions.count(spid)) ++spid;
  auto session = std::make_unique<SessionImpl>(*this, spid, *login, request);
  m_Sessions[spid] = session.get();
  lock.unlock();
  {
    ScopeGuard unregister([&] { session.reset(); });
    session->Start(*database);
    unregister.Dismiss();
  }
  return session;
}

Engine::Credentials EngineImpl::CheckCredentials(const std::string& login,
                                                 const std::string& password) {
  if (m_Options.windowsLoginMode) return Credentials::Unknown;
  std::optional<LoginEntry> entry = m_Logins.Check(login, password);
  if (!entry) return Credentials::Unknown;
  if (entry->sysadmin) return Credentials::SysAdmin;
  return m_Logins.HasServerRole(entry->name, "serveradmin") ? Credentials::ServerAdmin
                                                            : Credentials::Valid;
}

void EngineImpl::Unregister(int spid) {
  std::lock_guard lock(m_Mutex);
  m_Sessions.erase(spid);
  m_SessionsChanged.notify_all();
}

std::vector<ProcessInfo> EngineImpl::Processes() {
  std::lock_guard lock(m_Mutex);
  std::vector<ProcessInfo> out;
  // A killed session, or one whose client has disconnected, is gone even
  // while its connection thread is still closing it.
  for (const auto& [spid, session] : m_Sessions) {
    if (!session->IsKilled() && !session->ClientGone()) out.push_back(session->Process());
  }
  return out;
}

bool EngineImpl::KillSession(int spid) {
  std::lock_guard lock(m_Mutex);
  auto it = m_Sessions.find(spid);
  if (it == m_Sessions.end() || it->second->IsKilled()) return false;
  it->second->Kill();
  return true;
}

bool EngineImpl::DatabaseInUse(const std::string& database, int exceptSpid) {
  for (const ProcessInfo& process : Processes()) {
    if (process.spid == exceptSpid) continue;
    if (process.database.size() == database.size() &&
        std::equal(database.begin(), database.end(), process.database.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        }))
      return true;
  }
  return false;
}

void EngineImpl::ForgetDatabase(const std::string& database, int callerSpid) {
  std::lock_guard lock(m_Mutex);
  for (const auto& [spid, session] : m_Sessions)
    session->ForgetDatabase(database, spid == callerSpid);
}

void EngineImpl::Shutdown() {
  std::unique_lock lock(m_Mutex);
  m_ShutDown = true;
  for (auto& [spid, session] : m_Sessions) session->Kill();
  // The connection threads own their sessions; give them time to close them
  // so every database is closed before master.
  m_SessionsChanged.wait_for(lock, std::chrono::seconds(10), [&] { return m_Sessions.empty(); });
  lock.unlock();
  m_Data.Close();
}

}  // namespace standin::engine
