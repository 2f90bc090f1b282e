// What the control endpoint asks of the program that embeds it: the machine's
// join information, login checks, and the state of the one service it
// controls (the TDS listener, presented as "MSSQLSERVER").
//
// Threading: every method may be called from several connection threads at
// once, so an implementation must be thread-safe. The endpoint does serialise
// Start() and Stop() (together with the state check before them), so two
// clients never start the service twice.
#pragma once

#include <string>

namespace standin::service {

struct JoinInfo {
  int status = 0;    // 0 unknown, 1 not joined, 2 workgroup, 3 domain
  std::string name;  // workgroup or domain name
};

// What a login may do, lowest first: each level includes the ones below.
// A sysadmin may do whatever a serveradmin may.
enum class LoginRole {
  kUnknown,      // no such login, wrong password, or disabled
  kValid,        // may ask for the state
  kServerAdmin,  // member of sysadmin or serveradmin: may start and stop
  kSysAdmin,     // member of sysadmin
};

// Makes statements fail on purpose, for tests of a client's error paths.
struct FaultRule {
  std::string pattern;  // which statements; the host defines the matching
  int errorNumber = 0;  // the SQL Server error to raise, 1 or more
  bool once = true;     // false: every matching statement until reset
};

class ServiceHost {
 public:
  virtual ~ServiceHost() = default;

  virtual JoinInfo Join() = 0;
  // The password is compared as the server would for a SQL Server login.
  virtual LoginRole CheckLogin(const std::string& login, const std::string& password) = 0;
  // The service state with the service control manager's numbers (1 stopped,
  // 2 start pending, 3 stop pending, 4 running, ...).
  virtual int State() = 0;
  // Called only while State() is 1; returns once the service runs (true) or
  // could not be started (false). The process keeps running either way.
  virtual bool Start() = 0;
  // Called only while State() is 4 or 7; ends the sessions and closes the
  // listener. Returns false if that failed.
  virtual bool Stop() = 0;
  // Installs a fault rule; false when this host does not inject faults.
  virtual bool InjectFault(const FaultRule&) { return false; }
  // Removes every fault rule; false when this host does not inject faults.
  virtual bool ClearFaults() { return false; }
};

}  // namespace standin::service
