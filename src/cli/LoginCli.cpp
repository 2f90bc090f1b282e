#include <cstdio>

#include "CliDialogs.h"
#include "CliLookup.h"
#include "JsonOutput.h"
#include "SecurityCli.h"
#include "SecurityOptions.h"
#include "Terminal.h"
#include "commands/SecurityCommands.h"
#include "commands/security/AddLoginWizard.h"
#include "commands/security/ChangePassword.h"
#include "commands/security/LoginProperties.h"
#include "support/Error.h"
#include "support/Helpers.h"
#include "support/MessageService.h"
#include "support/SqlText.h"
#include "support/StringTable.h"

namespace bw::cli {

const char kLoginHelp[] =
    "Usage: bwctl [--yes] login COMMAND SERVER [ARGS]\n"
    "\n"
    "The logins of a registered SQL Server; SERVER is its ServerID (bwctl server list).\n"
    "Changing logins needs the server role sysadmin or securityadmin.\n"
    "\n"
    "Commands:\n"
    "  list SERVER                  name, type, access, server roles and archives of each login\n"
    "  add SERVER NAME (--windows [--deny] | [--password-file FILE]) [OPTIONS]\n"
    "                               a Windows account (DOMAIN\\name) granted or denied access,\n"
    "                               or a new SQL Server login with a password\n"
    "  set SERVER NAME [--grant | --deny] [--password-file FILE] [OPTIONS]\n"
    "                               change a login as its properties dialog does\n"
    "  password SERVER NAME [--password-file FILE]\n"
    "                               a new password for a SQL Server login\n"
    "  remove SERVER NAME           remove a login and its archive users (asks; --yes)\n"
    "\n"
    "Options of add and set:\n"
    "  --role ROLE                  make it a member of sysadmin, securityadmin or dbcreator\n"
    "  --no-role ROLE               (set) take that server role away\n"
    "  --archive NAME[:ROLES]       access to the archive NAME; ROLES is a comma list of\n"
    "                               reader, writer, structurer (default all three; writing\n"
    "                               implies reading, structure implies writing)\n"
    "  --no-archive NAME            (set) take the access to archive NAME away\n"
    "\n"
    "A password is never taken from the command line: FILE holds it on its first line\n"
    "('-' reads standard input); without --password-file it is asked twice on the terminal.\n"
    "Exit codes: 0 done, 1 failed, 2 usage, 3 not permitted, 4 not confirmed.\n";

namespace {

using commands::security::AddLoginWizard;
using commands::security::ChangePassword;
using commands::security::ColumnText;
using commands::security::LoginProperties;
using commands::security::OpenRows;

constexpr char kArea[] = "login";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "bwctl login: %s\n\n%s", problem.c_str(), kLoginHelp);
  return kExitUsage;
}

int OkCode(LoginProperties::OkResult result) {
  switch (result) {
    case LoginProperties::OkResult::Closed:
      return kExitOk;
    case LoginProperties::OkResult::Refused:
      return kExitRefused;
    default:
      return kExitFailed;
  }
}

// Checks the server roles and archives the options name, before anything is
// sent; prints what is wrong.
bool ApplyProperties(LoginProperties& login, const SecurityOptions& options) {
  for (const auto& [role, wanted] : options.serverRoles) {
    bool found = false;
    for (std::size_t i = 0; i < login.ServerRoles().size(); ++i) {
      if (login.ServerRoles()[i].role == role) {
        login.SetServerRoleChecked(i, wanted);
        found = true;
      }
    }
    if (!found) return false;
  }
  for (const ArchiveOption& archive : options.archives) {
    bool found = false;
    for (std::size_t i = 0; i < login.Archives().size(); ++i) {
      if (LowerAscii(login.Archives()[i].name) == LowerAscii(archive.name)) {
        login.SetArchiveChecked(i, archive.access);
        found = true;
      }
    }
    if (!found) {
      std::fprintf(stderr, "bwctl login: no archive named %s\n", archive.name.c_str());
      return false;
    }
  }
  return true;
}

// Where archive roles were named, the user of the login gets exactly those.
int ApplyArchiveRoles(Server& server, const std::string& loginName,
                      const SecurityOptions& options) {
  LoginProperties login(server);
  login.Load(loginName);
  for (const ArchiveOption& wanted : options.archives) {
    if (!wanted.access || !wanted.rolesGiven) continue;
    for (const auto& entry : login.Archives()) {
      if (LowerAscii(entry.name) != LowerAscii(wanted.name) || !entry.hadAccess) continue;
      int code = SetArchiveRoles(*entry.archive, entry.userName, loginName, wanted.roles);
      if (code != kExitOk) return code;
    }
  }
  return kExitOk;
}

int List(Server& server) {
  struct Row {
    std::string name, type, access;
    std::vector<std::string> roles, archives;
  };
  std::vector<Row> rows;
  Recordset logins;
  OpenRows(logins,
           "SELECT loginname, isntgroup, isntuser, denylogin, hasaccess FROM master.dbo.syslogins "
           "ORDER BY loginname",
           server.GetConnection());
  for (; logins.State() == adStateOpen && !logins.Eof(); logins.MoveNext()) {
    Row row;
    row.name = ColumnText(logins, "loginname");
    const bool group = logins.Value("isntgroup").ToBoolean();
    const bool user = logins.Value("isntuser").ToBoolean();
    row.type = group ? "Windows group" : user ? "Windows user" : "Standard";
    row.access = (group || user) && (logins.Value("denylogin").ToBoolean() ||
                                     !logins.Value("hasaccess").ToBoolean())
                     ? "deny"
                     : "grant";
    rows.push_back(std::move(row));
  }
  auto find = [&rows](const std::string& name) -> Row* {
    for (Row& row : rows) {
      if (commands::security::SameName(row.name, name)) return &row;
    }
    return nullptr;
  };
  for (const char* role : {"sysadmin", "securityadmin", "dbcreator"}) {
    Recordset members;
    OpenRows(members, std::string("EXEC master..sp_helpsrvrolemember '") + role + "'",
             server.GetConnection());
    for (; members.State() == adStateOpen && !members.Eof(); members.MoveNext()) {
      if (Row* row = find(ColumnText(members, "MemberName"))) row->roles.push_back(role);
    }
  }
  for (Database* archive : server.Databases().NewEnum()) {
    Recordset users;
    OpenRows(users, "EXEC sp_helpuser", archive->GetConnection());
    std::vector<std::string> seen;
    for (; users.State() == adStateOpen && !users.Eof(); users.MoveNext()) {
      Row* row = find(ColumnText(users, "LoginName"));
      if (row != nullptr && (row->archives.empty() || row->archives.back() != archive->Name())) {
        row->archives.push_back(archive->Name());
      }
    }
  }
  if (JsonOutput()) {
    Json list = Json::array();
    for (const Row& row : rows) {
      list.push_back({{"name", row.name},
                      {"type", row.type == "Standard"       ? "standard"
                               : row.type == "Windows user" ? "windowsUser"
                                                            : "windowsGroup"},
                      {"access", row.access},
                      {"serverRoles", row.roles},
                      {"archives", row.archives}});
    }
    PrintJson(Json{{"serverId", server.ServerID()}, {"logins", std::move(list)}});
    return kExitOk;
  }
  auto joined = [](const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
    return text.empty() ? std::string("-") : text;
  };
  std::printf("%-28s %-14s %-6s %-36s %s\n", "NAME", "TYPE", "ACCESS", "SERVER ROLES", "ARCHIVES");
  for (const Row& row : rows) {
    std::printf("%-28s %-14s %-6s %-36s %s\n", row.name.c_str(), row.type.c_str(),
                row.access.c_str(), joined(row.roles).c_str(), joined(row.archives).c_str());
  }
  return kExitOk;
}

// The wizard, walked with what the command line said.
int AddLogin(Server& server, const std::string& name, const SecurityOptions& options,
             const std::string& password, const std::string& confirmation) {
  AddLoginWizard wizard(server);
  wizard.Next();
  wizard.SelectWindowsAuthentication(options.windows);
  if (!wizard.Next()) return kExitFailed;  // 245 or 246 was shown
  wizard.SetLoginName(name);
  wizard.SelectGrant(!options.deny);
  wizard.SetPassword(password);
  wizard.SetConfirmation(confirmation);
  if (!wizard.Next()) {
    std::fprintf(stderr, "%s\n", TerminalText(LoadResString(wizard.LastWarning().textId)).c_str());
    return kExitFailed;
  }
  for (const ArchiveOption& archive : options.archives) {
    bool found = false;
    for (std::size_t i = 0; i < wizard.Archives().size(); ++i) {
      if (LowerAscii(wizard.Archives()[i].name) == LowerAscii(archive.name)) {
        wizard.SetArchiveChecked(i, true);
        found = true;
      }
    }
    if (!found) {
      std::fprintf(stderr, "bwctl login: no archive named %s\n", archive.name.c_str());
      return kExitFailed;
    }
  }
  if (!wizard.Next()) return kExitFailed;  // the 120 report was shown
  std::printf("%s\n", TerminalText(wizard.ResultText()).c_str());
  if (!options.serverRoles.empty()) {
    LoginProperties login(server);
    login.Load(name);
    SecurityOptions roles;
    roles.serverRoles = options.serverRoles;
    ApplyProperties(login, roles);
    int code = OkCode(login.Ok());
    if (code != kExitOk) return code;
  }
  return ApplyArchiveRoles(server, name, options);
}

int SetLogin(Server& server, const std::string& name, const SecurityOptions& options,
             const std::string* password) {
  LoginProperties login(server);
  login.Load(name);
  if (!login.Found()) {
    std::fprintf(stderr, "bwctl login: no login named %s\n", name.c_str());
    return kExitFailed;
  }
  if (options.grant || options.deny) {
    if (!login.IsWindowsLogin()) {
      std::fprintf(stderr, "bwctl login: %s is a SQL Server login: it has no grant or deny\n",
                   name.c_str());
      return kExitUsage;
    }
    login.SelectGrant(options.grant);
  }
  if (password != nullptr) {
    if (login.IsWindowsLogin()) {
      std::fprintf(stderr, "bwctl login: %s is a Windows login: it has no password here\n",
                   name.c_str());
      return kExitUsage;
    }
    login.SetNewPassword(*password);
  }
  if (!ApplyProperties(login, options)) return kExitFailed;
  int code = OkCode(login.Ok());
  if (code != kExitOk) return code;
  return ApplyArchiveRoles(server, login.LoginName(), options);
}

bool LoginType(Server& server, const std::string& name, bool& standard) {
  Recordset login;
  OpenRows(login, "SELECT isntname FROM master.dbo.syslogins WHERE loginname=" + SqlString(name),
           server.GetConnection());
  if (login.State() != adStateOpen || login.Eof()) {
    std::fprintf(stderr, "bwctl login: no login named %s\n", name.c_str());
    return false;
  }
  standard = !login.Value("isntname").ToBoolean();
  return true;
}

}  // namespace

int RunLoginCommand(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("missing command");
  const std::string command = args[0];
  SecurityOptions options;
  std::vector<std::string> rest;
  std::string problem;
  if (!ParseSecurityOptions(std::vector<std::string>(args.begin() + 1, args.end()),
                            SecurityArea::Login, rest, options, problem)) {
    return Usage(problem);
  }
  const bool changes = options.grant || options.deny || options.windows ||
                       !options.serverRoles.empty() || !options.archives.empty();
  if (command == "list" || command == "remove" || command == "password") {
    if (changes || (command != "password" && !options.passwordFile.empty())) {
      return Usage(command + " takes no options but --password-file (password)");
    }
  } else if (command == "add") {
    if (options.grant) return Usage("add grants unless --deny is given");
    if (options.deny && !options.windows) return Usage("--deny needs --windows");
    if (options.windows && !options.passwordFile.empty()) {
      return Usage("a Windows login has no password");
    }
    for (const auto& role : options.serverRoles) {
      if (!role.second) return Usage("add takes no --no-role");
    }
    for (const ArchiveOption& archive : options.archives) {
      if (!archive.access) return Usage("add takes no --no-archive");
    }
  } else if (command == "set") {
    if (options.windows) return Usage("a login's kind does not change");
    if (options.grant && options.deny) return Usage("--grant or --deny, not both");
  } else {
    return Usage("unknown command " + command);
  }
  const std::size_t wanted = command == "list" ? 1 : 2;
  if (rest.size() != wanted) return Usage("wrong number of arguments for " + command);

  try {
    Servers servers(Servers::ConnectMode::OnDemand);
    Server* server = FindServer(servers, rest[0], kArea);
    if (server == nullptr) return kExitFailed;
    if (command == "list") return List(*server);
    const std::string& name = rest[1];
    if (command == "remove") {
      bool standard = true;
      if (!LoginType(*server, name, standard)) return kExitFailed;
      return ExitOf(commands::RevokeLogin(*server, name, standard));
    }

    CliDialogs dialogs;
    DialogScope scope(dialogs);
    if (command == "add") {
      std::string password, confirmation;
      dialogs.addLogin = [&](Server& target) {
        return AddLogin(target, name, options, password, confirmation);
      };
      // Nobody is asked for a password the server would refuse to take.
      if (!server->IsRolemember("sysadmin") && !server->IsRolemember("securityadmin")) {
        return ExitOf(commands::GrantLogin(*server));
      }
      if (!options.windows) {
        if (!options.passwordFile.empty()) {
          if (!ReadPasswordFile(options.passwordFile, password, kArea)) return kExitFailed;
          confirmation = password;
        } else if (!AskNewPassword(password, confirmation, kArea)) {
          return kExitUsage;
        }
      }
      int code = ExitOf(commands::GrantLogin(*server));
      return code == kExitOk ? dialogs.Code() : code;
    }

    // The dialog would refuse at its OK; here nothing is read or asked first.
    if (!LoginProperties(*server).MayChange()) {
      MsgBox(LoadResString(119), MsgStyle::Information);
      return kExitRefused;
    }
    std::string password, confirmation;
    bool newPassword = command == "password" || !options.passwordFile.empty();
    if (newPassword) {
      if (!options.passwordFile.empty()) {
        if (!ReadPasswordFile(options.passwordFile, password, kArea)) return kExitFailed;
        confirmation = password;
      } else if (!AskNewPassword(password, confirmation, kArea)) {
        return kExitUsage;
      }
      if (!ChangePassword::Accept(password, confirmation)) return kExitFailed;
    }
    dialogs.loginProperties = [&](Server& target, const std::string& login) {
      return SetLogin(target, login, options, newPassword ? &password : nullptr);
    };
    int code = ExitOf(commands::LoginProperties(*server, name));
    return code == kExitOk ? dialogs.Code() : code;
  } catch (const Error& error) {
    std::fprintf(stderr, "bwctl login: %s (%s, %s)\n", error.Description().c_str(),
                 FormatErrorNumber(error.Number()).c_str(), error.Source().c_str());
    return kExitFailed;
  }
}

}  // namespace bw::cli
