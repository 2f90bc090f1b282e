// Command-line options of sqlstandin.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"

namespace standin::app {

struct Options {
  std::string dataDir;
  std::string listenAddress = "127.0.0.1";
  int port = 1433;
  std::string saPassword;
  int productVersion = 8;
  bool windowsLoginMode = false;
  std::string serverName;
  // FULLTEXTSERVICEPROPERTY('IsFulltextInstalled'): 1, 0 or nullopt (NULL).
  std::optional<int> fullTextInstalled = 1;
  // --drive D=FOLDER: further drives kept outside the data directory.
  std::vector<std::pair<char, std::string>> drives;
  // The machine's service-control endpoint and SQL Server Browser responder;
  // -1 turns one off, 0 lets the system pick a port.
  int controlPort = 14330;
  int browserPort = 1434;
  // What the machine reports as its join information.
  int joinStatus = 2;
  std::string workgroup = "WORKGROUP";
  // Statements made to fail from the start (--fault).
  std::vector<engine::FaultRule> faults;
  // TDS connections served at once (--max-connections).
  int maxConnections = 256;
  // The longest wait after failed logins from one address, in milliseconds
  // (--login-delay); 0 turns the throttle off.
  int loginDelayMilliseconds = 2000;
};

// What the command line asks for: run with options, print help, or fail with
// a message for stderr.
struct ParsedCommandLine {
  std::optional<Options> options;
  bool help = false;
  std::string error;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);
std::string HelpText();

// `sqlstandin accounts add|remove|list --data-dir DIR ['DOMAIN\name'] [--group]`:
// manages the machine's Windows accounts; the result is the exit status.
int RunAccountsCommand(const std::vector<std::string>& arguments, std::ostream& out,
                       std::ostream& err);

}  // namespace standin::app
