#include <algorithm>
#include <cstdio>

#include "CliDialogs.h"
#include "CliLookup.h"
#include "JsonOutput.h"
#include "SecurityCli.h"
#include "SecurityOptions.h"
#include "commands/SecurityCommands.h"
#include "commands/security/ArchiveUserProperties.h"
#include "support/Error.h"
#include "support/Helpers.h"

namespace bw::cli {

const char kUserHelp[] =
    "Usage: bwctl [--yes] user COMMAND SERVER ARCHIVE [ARGS]\n"
    "\n"
    "The users of an archive; SERVER is a ServerID (bwctl server list), ARCHIVE an archive\n"
    "name without the database prefix (bwctl archive list SERVER).\n"
    "\n"
    "Commands:\n"
    "  list SERVER ARCHIVE               user name, login and database roles of each user\n"
    "  add SERVER ARCHIVE LOGIN [--name USER] [--role ROLE]...\n"
    "                                    make LOGIN a user of the archive, named USER\n"
    "                                    (default: the login's name), with the roles given\n"
    "                                    (default: reader, writer and structurer)\n"
    "  set SERVER ARCHIVE USER [--role ROLE]... [--no-role ROLE]...\n"
    "                                    give or take database roles of a user\n"
    "  remove SERVER ARCHIVE USER        remove a user from the archive (asks; --yes)\n"
    "\n"
    "Roles: reader, writer, structurer (writing implies reading, structure implies\n"
    "writing), db_securityadmin, db_accessadmin, db_owner.\n"
    "Adding and removing users needs the archive role db_owner or db_accessadmin or the\n"
    "server role sysadmin; changing roles needs db_owner or db_securityadmin or the server\n"
    "role sysadmin or securityadmin.\n"
    "Exit codes: 0 done, 1 failed, 2 usage, 3 not permitted, 4 not confirmed.\n";

namespace {

using commands::security::ArchiveUserProperties;
using commands::security::ColumnText;
using commands::security::OpenRows;
using commands::security::SameName;

constexpr char kArea[] = "user";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "bwctl user: %s\n\n%s", problem.c_str(), kUserHelp);
  return kExitUsage;
}

int OkCode(ArchiveUserProperties::OkResult result) {
  switch (result) {
    case ArchiveUserProperties::OkResult::Closed:
      return kExitOk;
    case ArchiveUserProperties::OkResult::Refused:
      return kExitRefused;
    default:
      return kExitFailed;
  }
}

struct UserRow {
  std::string user, login;
  std::vector<std::string> roles;
};

std::vector<UserRow> Users(Database& archive) {
  std::vector<UserRow> rows;
  Recordset users;
  OpenRows(users, "EXEC sp_helpuser", archive.GetConnection());
  for (; users.State() == adStateOpen && !users.Eof(); users.MoveNext()) {
    const std::string user = ColumnText(users, "UserName");
    if (rows.empty() || rows.back().user != user) {
      rows.push_back({user, ColumnText(users, "LoginName"), {}});
    }
  }
  // Roles by their members: sp_helpuser shows a role only where the user is
  // a direct member.
  for (const std::string& role : archive.Roles()) {
    const std::vector<std::string> members = archive.RoleMembers(role);
    for (UserRow& row : rows) {
      if (std::any_of(members.begin(), members.end(),
                      [&](const std::string& m) { return SameName(m, row.user); })) {
        row.roles.push_back(role);
      }
    }
  }
  return rows;
}

int List(Database& archive) {
  if (JsonOutput()) {
    Json list = Json::array();
    for (const UserRow& row : Users(archive)) {
      list.push_back({{"user", row.user},
                      {"login", row.login.empty() ? Json() : Json(row.login)},
                      {"roles", row.roles}});
    }
    PrintJson(Json{{"archive", archive.Name()}, {"users", std::move(list)}});
    return kExitOk;
  }
  std::printf("%-28s %-28s %s\n", "USER", "LOGIN", "ROLES");
  for (const UserRow& row : Users(archive)) {
    std::string roles;
    for (const std::string& role : row.roles) roles += (roles.empty() ? "" : ",") + role;
    std::printf("%-28s %-28s %s\n", row.user.c_str(), row.login.empty() ? "-" : row.login.c_str(),
                roles.empty() ? "-" : roles.c_str());
  }
  return kExitOk;
}

// Applies --role/--no-role in order, each with the nesting of the archive
// roles.
void ApplyRoles(ArchiveUserProperties& user, const SecurityOptions& options) {
  for (const auto& [role, wanted] : options.serverRoles) {
    for (std::size_t i = 0; i < user.Roles().size(); ++i) {
      if (user.Roles()[i].role == role) user.SetRoleChecked(i, wanted);
    }
  }
}

int AddUser(Database& archive, const std::string& login, const SecurityOptions& options) {
  ArchiveUserProperties user(archive);
  user.Load();
  const auto& offered = user.AvailableLogins();
  auto found = std::find_if(offered.begin(), offered.end(),
                            [&](const std::string& name) { return SameName(name, login); });
  if (found == offered.end()) {
    std::fprintf(stderr,
                 "bwctl user: %s is not a login of the server that could become a user of %s "
                 "(unknown, sa, or already a user)\n",
                 login.c_str(), archive.Name().c_str());
    return kExitFailed;
  }
  user.SelectLogin(*found);
  if (!options.userName.empty()) user.SetUserName(options.userName);
  if (!options.serverRoles.empty()) {
    // The roles given are the roles it gets.
    for (std::size_t i : {ArchiveUserProperties::kReader, ArchiveUserProperties::kWriter,
                          ArchiveUserProperties::kStructurer}) {
      user.SetRoleChecked(i, false);
    }
    ApplyRoles(user, options);
  }
  return OkCode(user.Ok());
}

int SetUser(Database& archive, const std::string& userName, const std::string& login,
            const SecurityOptions& options) {
  ArchiveUserProperties user(archive, userName, login);
  user.Load();
  ApplyRoles(user, options);
  return OkCode(user.Ok());
}

}  // namespace

int RunUserCommand(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("missing command");
  const std::string command = args[0];
  SecurityOptions options;
  std::vector<std::string> rest;
  std::string problem;
  if (!ParseSecurityOptions(std::vector<std::string>(args.begin() + 1, args.end()),
                            SecurityArea::User, rest, options, problem)) {
    return Usage(problem);
  }
  std::size_t wanted = 3;
  if (command == "list") {
    wanted = 2;
  } else if (command != "add" && command != "set" && command != "remove") {
    return Usage("unknown command " + command);
  }
  if (rest.size() != wanted) return Usage("wrong number of arguments for " + command);
  if ((command == "list" || command == "remove") && !options.serverRoles.empty()) {
    return Usage(command + " takes no roles");
  }
  if (command != "add" && !options.userName.empty()) return Usage("--name belongs to add");
  if (command == "add") {
    for (const auto& role : options.serverRoles) {
      if (!role.second) return Usage("add takes no --no-role");
    }
  }

  try {
    Servers servers(Servers::ConnectMode::OnDemand);
    Server* server = FindServer(servers, rest[0], kArea);
    if (server == nullptr) return kExitFailed;
    int notFound = kExitFailed;
    Database* archive = FindArchive(server->Databases(), rest[1], kArea, &notFound);
    if (archive == nullptr) return notFound;
    if (command == "list") return List(*archive);
    if (command == "remove") return ExitOf(commands::RevokeDBAccess(*archive, rest[2]));

    CliDialogs dialogs;
    DialogScope scope(dialogs);
    if (command == "add") {
      dialogs.archiveUser = [&](Database& target, const std::string&, const std::string&) {
        return AddUser(target, rest[2], options);
      };
      int code = ExitOf(commands::NewDatabaseUser(*archive));
      return code == kExitOk ? dialogs.Code() : code;
    }
    std::string login;
    bool known = false;
    for (const UserRow& row : Users(*archive)) {
      if (SameName(row.user, rest[2])) {
        known = true;
        login = row.login;
      }
    }
    if (!known) {
      std::fprintf(stderr, "bwctl user: %s is not a user of %s\n", rest[2].c_str(),
                   archive->Name().c_str());
      return kExitFailed;
    }
    dialogs.archiveUser = [&](Database& target, const std::string& user, const std::string& of) {
      return SetUser(target, user, of, options);
    };
    int code = ExitOf(commands::UserProperties(*archive, rest[2], login));
    return code == kExitOk ? dialogs.Code() : code;
  } catch (const Error& error) {
    std::fprintf(stderr, "bwctl user: %s (%s, %s)\n", error.Description().c_str(),
                 FormatErrorNumber(error.Number()).c_str(), error.Source().c_str());
    return kExitFailed;
  }
}

}  // namespace bw::cli
