#include "ServerCli.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "JsonOutput.h"
#include "commands/ServerCommands.h"
#include "data/ConnectionString.h"
#include "platform/SecretStore.h"
#include "servers/Servers.h"
#include "support/Error.h"
#include "support/Helpers.h"

namespace bw::cli {

const char kServerHelp[] =
    "Usage: bwctl server COMMAND [ARGS] [--yes]\n"
    "\n"
    "Registered SQL Servers of the current user (the same list the console shows).\n"
    "\n"
    "Commands:\n"
    "  list [--offline]             position, ServerID, data source, where the password is\n"
    "                               kept (keyring, hive or none) and whether it connects;\n"
    "                               --offline: the registrations as stored, not connecting\n"
    "  add --data-source SOURCE (--integrated | --user LOGIN [--password-file FILE])\n"
    "                               register a server (SOURCE: HOST, HOST\\INSTANCE or "
    "HOST,PORT);\n"
    "                               FILE holds the password on its first line, '-' reads stdin\n"
    "  remove ID                    delete a registration (asks; --yes to confirm)\n"
    "  test ID                      open a connection with the registration and report\n"
    "  move ID POSITION             move a registration to a 1-based position\n"
    "  start ID | stop ID           start or stop the SQL Server service (asks; --yes)\n"
    "  status ID                    the service state (0 unknown, 1 stopped, … 4 running)\n"
    "\n"
    "Exit codes: 0 done, 1 failed, 2 usage, 3 not permitted, 4 not confirmed.\n";

namespace {

const char* StateName(int state) {
  static const char* const kNames[] = {"unknown",       "stopped", "start pending",
                                       "stop pending",  "running", "continue pending",
                                       "pause pending", "paused"};
  return state >= 0 && state <= 7 ? kNames[state] : "unknown";
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "bwctl server: %s\n\n%s", problem.c_str(), kServerHelp);
  return kExitUsage;
}

// The registration named by a ServerID argument, or nullptr (reported).
Server* Find(Servers& servers, const std::string& id) {
  Server* server = servers.Item(id);
  if (server == nullptr)
    std::fprintf(stderr, "bwctl server: no registration with ServerID %s\n", id.c_str());
  return server;
}

bool ReadPassword(const std::string& file, std::string& password) {
  std::string line;
  if (file == "-") {
    std::getline(std::cin, line);
  } else {
    std::ifstream in(file);
    if (!in) {
      std::fprintf(stderr, "bwctl server: cannot read the password file %s\n", file.c_str());
      return false;
    }
    std::getline(in, line);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  password = line;
  return true;
}

// The registration's data source and login as stored (never its password).
void Describe(const std::string& connectionString, std::string& dataSource, std::string& login,
              bool& integrated) {
  try {
    OleDbConnectionString stored = OleDbConnectionString::Parse(connectionString);
    dataSource = stored.Get("Data Source").value_or("");
    login = stored.Get("User Id").value_or("");
    integrated = LowerAscii(stored.Get("Integrated Security").value_or("")) == "sspi";
  } catch (const Error&) {
    // A damaged registration still lists, with what Connect said about it.
  }
}

std::string StateText(Server& server) {
  return server.IsConnected()           ? "connected"
         : server.Description().empty() ? "not reachable"
                                        : "not connected: " + server.Description();
}

// The registrations as stored, without connecting: quick, for completion
// and scripts that only need the ServerIDs.
int ListOffline() {
  Servers servers(Servers::ConnectMode::OnDemand);
  Json list = Json::array();
  if (!JsonOutput() && servers.Count() > 0) {
    std::printf("%-4s %-8s %-32s %-9s %s\n", "POS", "ID", "DATA SOURCE", "PASSWORD", "STATE");
  }
  long position = 0;
  for (Server* server : servers.NewEnum()) {
    std::string dataSource, login;
    bool integrated = false;
    Describe(server->ConnectionString(), dataSource, login, integrated);
    ++position;
    if (!JsonOutput()) {
      std::printf("%-4ld %-8d %-32s %-9s %s\n", position, server->ServerID(),
                  dataSource.empty() ? "(unreadable registration)" : dataSource.c_str(),
                  PasswordPlaceName(server->PasswordLocation()),
                  server->PasswordProblem().empty()
                      ? "not checked"
                      : ("not checked: " + server->PasswordProblem()).c_str());
      continue;
    }
    list.push_back(
        {{"position", position},
         {"serverId", server->ServerID()},
         {"dataSource", dataSource},
         {"name", nullptr},
         {"authentication", integrated ? "windows" : "sql"},
         {"login", integrated ? Json() : Json(login)},
         {"passwordStore", PasswordPlaceName(server->PasswordLocation())},
         {"connected", nullptr},
         {"state", "not checked"},
         {"error", server->PasswordProblem().empty() ? Json() : Json(server->PasswordProblem())}});
  }
  if (JsonOutput()) {
    PrintJson(Json{{"servers", std::move(list)}});
  } else if (servers.Count() == 0) {
    std::printf("No SQL Servers are registered. Add one with: bwctl server add --help\n");
  }
  return kExitOk;
}

int List() {
  Servers servers(Servers::ConnectMode::OnDemand);
  servers.ConnectPending();
  if (JsonOutput()) {
    Json list = Json::array();
    long position = 0;
    for (Server* server : servers.NewEnum()) {
      std::string dataSource, login;
      bool integrated = false;
      Describe(server->ConnectionString(), dataSource, login, integrated);
      Json entry;
      entry["position"] = ++position;
      entry["serverId"] = server->ServerID();
      entry["dataSource"] = dataSource;
      entry["name"] = server->Name();
      entry["authentication"] = integrated ? "windows" : "sql";
      entry["login"] = integrated ? Json() : Json(login);
      entry["passwordStore"] = PasswordPlaceName(server->PasswordLocation());
      entry["connected"] = server->IsConnected();
      entry["state"] = server->IsConnected()           ? "connected"
                       : server->Description().empty() ? "not reachable"
                                                       : "not connected";
      entry["error"] = server->Description().empty() ? Json() : Json(server->Description());
      list.push_back(std::move(entry));
    }
    PrintJson(Json{{"servers", std::move(list)}});
    return kExitOk;
  }
  if (servers.Count() == 0) {
    std::printf("No SQL Servers are registered. Add one with: bwctl server add --help\n");
    return kExitOk;
  }
  std::printf("%-4s %-8s %-32s %-9s %s\n", "POS", "ID", "DATA SOURCE", "PASSWORD", "STATE");
  long position = 0;
  for (Server* server : servers.NewEnum()) {
    std::string dataSource, login;
    bool integrated = false;
    Describe(server->ConnectionString(), dataSource, login, integrated);
    // The stored string holds the password: only its data source is shown.
    const std::string shown = !server->Name().empty() ? server->Name()
                              : !dataSource.empty()   ? dataSource
                                                      : "(unreadable registration)";
    std::printf("%-4ld %-8d %-32s %-9s %s\n", ++position, server->ServerID(), shown.c_str(),
                PasswordPlaceName(server->PasswordLocation()), StateText(*server).c_str());
  }
  return kExitOk;
}

int Add(const std::vector<std::string>& args) {
  std::string dataSource, user, passwordFile;
  bool integrated = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    if (a == "--data-source") {
      if (!value(dataSource)) return Usage("--data-source needs a value");
    } else if (a == "--user") {
      if (!value(user)) return Usage("--user needs a value");
    } else if (a == "--password-file") {
      if (!value(passwordFile)) return Usage("--password-file needs a value");
    } else if (a == "--integrated") {
      integrated = true;
    } else {
      return Usage("unknown option " + a);
    }
  }
  if (dataSource.empty()) return Usage("add needs --data-source");
  if (integrated == !user.empty()) return Usage("add needs either --integrated or --user");
  if (integrated && !passwordFile.empty()) return Usage("--integrated takes no password");
  std::string password;
  if (!passwordFile.empty() && !ReadPassword(passwordFile, password)) return kExitFailed;

  Servers servers(Servers::ConnectMode::OnDemand);
  long before = servers.Count();
  Server* server = commands::AddSQLServer(servers, dataSource, integrated, user, password);
  if (server == nullptr) {
    if (servers.Count() == before) {
      std::fprintf(stderr,
                   "bwctl server: the server did not connect; if it answered the echo, the "
                   "registration is stored and listed as not connected.\n");
    }
    return kExitFailed;
  }
  if (servers.Count() == before) {
    std::printf("Already registered as ServerID %d (%s)\n", server->ServerID(),
                server->Name().c_str());
  } else {
    std::printf("Registered as ServerID %d (%s)\n", server->ServerID(), server->Name().c_str());
    if (server->PasswordLocation() == PasswordPlace::Keyring) {
      std::printf("The password is kept in the keyring.\n");
    } else if (server->PasswordLocation() == PasswordPlace::Hive) {
      const std::string why = platform::Secrets().WhyUnavailable();
      std::printf("The password is kept in the registration file, readable only by you%s\n",
                  why.empty() ? "." : (" (" + why + ")").c_str());
    }
  }
  return kExitOk;
}

}  // namespace

int RunServerCommand(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("missing command");
  const std::string& command = args[0];
  auto needId = [&](std::size_t count) { return args.size() == count; };
  try {
    if (command == "list") {
      if (needId(1)) return List();
      return needId(2) && args[1] == "--offline" ? ListOffline()
                                                 : Usage("list takes no arguments but --offline");
    }
    if (command == "add") return Add(args);
    if (command == "remove" || command == "test" || command == "start" || command == "stop" ||
        command == "status") {
      if (!needId(2)) return Usage(command + " needs one ServerID");
      Servers servers(Servers::ConnectMode::OnDemand);
      Server* server = Find(servers, args[1]);
      if (server == nullptr) return kExitFailed;
      // Only the service commands talk to the server through its connection.
      if (command == "stop" || command == "status") server->Connect();
      if (command == "remove") return ExitOf(commands::DetachSQLServer(servers, *server));
      if (command == "test") {
        return commands::TestRegistration(server->ConnectionString()) ? kExitOk : kExitFailed;
      }
      if (command == "start") return ExitOf(commands::StartSQLServer(*server));
      if (command == "stop") return ExitOf(commands::StopSQLServer(*server));
      int state = server->Status();
      if (JsonOutput()) {
        PrintJson(Json{
            {"serverId", server->ServerID()}, {"state", state}, {"stateName", StateName(state)}});
      } else {
        std::printf("%d %s\n", state, StateName(state));
      }
      return kExitOk;
    }
    if (command == "move") {
      if (args.size() != 3) return Usage("move needs a ServerID and a position");
      long position = 0;
      try {
        position = std::stol(args[2]);
      } catch (const std::exception&) {
        return Usage("the position must be a whole number");
      }
      if (position < 1) return Usage("positions start at 1");
      Servers servers(Servers::ConnectMode::OnDemand);
      Server* server = Find(servers, args[1]);
      if (server == nullptr) return kExitFailed;
      server->SetOrdinalPosition(position);
      std::printf("ServerID %s is now at position %ld\n", args[1].c_str(), position);
      return kExitOk;
    }
  } catch (const Error& error) {
    std::fprintf(stderr, "bwctl server: %s (%s, %s)\n", error.Description().c_str(),
                 FormatErrorNumber(error.Number()).c_str(), error.Source().c_str());
    return kExitFailed;
  }
  return Usage("unknown command " + command);
}

}  // namespace bw::cli
