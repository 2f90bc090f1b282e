// The Engine: the data directory and master's catalogues of databases and
// logins, session ids and the live sessions (for Shutdown). Sessions must be
// destroyed before their Engine.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/DatabaseCatalog.h"
#include "catalog/LoginCatalog.h"
#include "engine/Engine.h"
#include "storage/DataDirectory.h"

namespace standin::engine {

class SessionImpl;

// One session as sp_who shows it.
struct ProcessInfo {
  int spid = 0;
  std::string loginName;
  std::string hostName;
  std::string database;
  bool running = false;  // a batch is executing
};

class EngineImpl final : public Engine {
 public:
  explicit EngineImpl(const EngineOptions& options);
  ~EngineImpl() override;

  std::unique_ptr<Session> Login(const LoginRequest& request) override;
  Credentials CheckCredentials(const std::string& login, const std::string& password) override;
  void InjectFault(const FaultRule& rule) override;
  void ClearFaults() override;
  // The error a statement with this text must fail with instead of running,
  // if a fault rule matches it (a "once" rule is used up).
  std::optional<Message> TakeFault(std::string_view statementText);
  const EngineOptions& Options() const override { return m_Options; }
  std::string ServerName() const override { return m_ServerName; }
  std::string ProductVersion() const override;
  void Shutdown() override;

  DataDirectory& Data() { return m_Data; }
  DatabaseCatalog& Databases() { return m_Databases; }
  LoginCatalog& Logins() { return m_Logins; }
  std::string VersionText() const;  // @@VERSION
  std::uint64_t NextTransactionDescriptor() { return ++m_TransactionCounter; }
  void Unregister(int spid);
  // Every live session, by spid.
  std::vector<ProcessInfo> Processes();
  // Ends session `spid` at once (KILL); false when there is none.
  bool KillSession(int spid);
  // True when a session other than `exceptSpid` has `database` as its
  // current database.
  bool DatabaseInUse(const std::string& database, int exceptSpid);
  // Tells every session that `database` no longer names its old files (or is
  // about to stop naming them); `callerSpid` is the session asking, if any.
  void ForgetDatabase(const std::string& database, int callerSpid = 0);

 private:
  EngineOptions m_Options;
  std::string m_ServerName;
  DataDirectory m_Data;
  DatabaseCatalog m_Databases{m_Data};
  LoginCatalog m_Logins{m_Data};
  std::mutex m_Mutex;
  std::condition_variable m_SessionsChanged;
  std::map<int, SessionImpl*> m_Sessions;
  bool m_ShutDown = false;
  std::atomic<std::uint64_t> m_TransactionCounter{0};
  std::mutex m_FaultMutex;
  std::vector<FaultRule> m_Faults;  // patterns normalised
  std::atomic<bool> m_HasFaults{false};
};

}  // namespace standin::engine
