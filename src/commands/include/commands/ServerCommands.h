// The server commands of the console, and the registration logic the
// registration dialog and bwctl share.
#pragma once

#include <optional>
#include <string>

#include "commands/CommandRunner.h"
#include "servers/Server.h"
#include "servers/Servers.h"

namespace bw::commands {

// The registration string the dialog builds: the data source upper-cased,
// then Windows authentication or the SQL login (the password only when not
// empty). Values are quoted when they would otherwise break the string.
std::string BuildRegistrationString(const std::string& dataSource, bool integrated,
                                    const std::string& login, const std::string& password);

// The host the echo goes to: up to a backslash at position 2 or later (and
// up to a port's comma).
std::string RegistrationHost(const std::string& dataSource);

// The registration dialog's OK in add mode: checks the name (literal
// message), tests reachability (message 211) and adds the registration.
// Returns the new or existing server, or nullptr. `registered`, when given,
// tells whether the registration was stored (also when it cannot connect).
Server* AddSQLServer(Servers& servers, const std::string& dataSource, bool integrated,
                     const std::string& login, const std::string& password,
                     bool* registered = nullptr);

// The registration dialog's Test: 211 (unreachable), 212 (opened), 214
// (login failed, with the description) or 213's report. True when opened.
bool TestSQLServer(const std::string& dataSource, bool integrated, const std::string& login,
                   const std::string& password);

// Opens a fresh connection with `connectionString` and reports as Test does
// (212, 214 or 213's report). True when it opened.
bool TestConnectionString(const std::string& connectionString);

// Test of a stored registration: the echo to its data source's host (211
// when silent), then TestConnectionString.
bool TestRegistration(const std::string& connectionString);

Outcome DetachSQLServer(Servers& servers, Server& server);
Outcome StartSQLServer(Server& server);
Outcome StopSQLServer(Server& server);

// Which of Start and Stop the server's menu offers (enabled), by the service
// state: stopped → Start; running or paused → Stop; no state or a change
// pending → neither; a 95-family console → neither. Nothing (keep the states
// as they were) for a state above 7.
struct ServiceMenuState {
  bool startEnabled = false;
  bool stopEnabled = false;
  bool operator==(const ServiceMenuState&) const = default;
};
std::optional<ServiceMenuState> ServiceMenu(int windowsVersion, int serviceState);

}  // namespace bw::commands
