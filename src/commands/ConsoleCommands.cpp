#include "commands/ConsoleCommands.h"

#include "commands/DialogService.h"
#include "support/Helpers.h"

namespace bw::commands {

namespace {

std::function<bool()> ServerRole(Server& server, const char* role) {
  return [&server, role] { return server.IsRolemember(role); };
}

std::function<bool()> ArchiveRole(Database& archive, const char* role) {
  return [&archive, role] { return archive.IsRolemember(role); };
}

std::vector<std::function<bool()>> ArchiveUserRoles(Database& archive) {
  return {ArchiveRole(archive, "db_owner"), ArchiveRole(archive, "db_accessadmin"),
          ServerRole(*archive.GetServer(), "sysadmin")};
}

}  // namespace

Outcome RegisterSQLServer(Servers& servers) {
  long before = servers.Count();
  Dialogs().ShowSQLServer(servers, nullptr, 225);
  return servers.Count() > before ? Outcome::Done : Outcome::Failed;
}

Outcome EditSQLServerRegistration(Servers& servers, Server& server) {
  CommandSpec command;
  command.errorLead = Text::Id(63);
  return RunCommand(command, [&] {
    std::string before = LowerAscii(server.ConnectionString());
    Dialogs().ShowSQLServer(servers, &server, 310);
    if (LowerAscii(server.ConnectionString()) == before) return false;
    server.Connect();
    return true;
  });
}

Outcome NewArchiveWizard(Databases& archives) {
  Server& server = *archives.GetServer();
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin"), ServerRole(server, "dbcreator")};
  command.refusal = Text::Id(39, {server.Name()});
  return RunCommand(command, [&] {
    long before = archives.Count();
    Dialogs().ShowNewArchiveWizard(archives);
    return archives.Count() > before;
  });
}

Outcome OpenArchiveDialog(Databases& archives) {
  Server& server = *archives.GetServer();
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin"), ServerRole(server, "dbcreator")};
  command.refusal = Text::Id(55, {server.Name()});
  command.errorLead = Text::Id(56);
  return RunCommand(command, [&] {
    long before = archives.Count();
    Dialogs().ShowOpenArchive(archives);
    return archives.Count() > before;
  });
}

Outcome ChangeOwnerDialog(Database& archive) {
  CommandSpec command;
  command.roles = {ArchiveRole(archive, "db_owner"), ServerRole(*archive.GetServer(), "sysadmin")};
  command.refusal = Text::Id(40);
  command.errorLead = Text::Id(41);
  return RunCommand(command, [&] {
    Dialogs().ShowChangeOwner(archive);
    return true;
  });
}

Outcome AddLoginWizard(Server& server) {
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin"), ServerRole(server, "securityadmin")};
  command.refusal = Text::Id(49, {server.Name()});
  command.errorLead = Text::Id(50);
  return RunCommand(command, [&] {
    Dialogs().ShowAddLoginWizard(server);
    return true;
  });
}

Outcome LoginProperties(Server& server, const std::string& loginName) {
  CommandSpec command;
  command.errorLead = Text::Id(51);
  return RunCommand(command, [&] {
    Dialogs().ShowLoginProperties(server, loginName);
    return true;
  });
}

Outcome RevokeLogin(Server& server, const std::string& loginName, const std::string& loginType) {
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin"), ServerRole(server, "securityadmin")};
  command.refusal = Text::Id(61, {server.Name()});
  command.confirmation = Text::Id(60, {loginName});
  command.confirmationStyle = MsgStyle::YesNo | MsgStyle::Question | MsgStyle::DefaultButton2;
  command.errorLead = Text::Id(62);
  return RunCommand(command,
                    [&] { return server.RevokeLogin(loginName, loginType == "Standard" ? 1 : 0); });
}

Outcome NewArchiveUser(Database& archive) {
  CommandSpec command;
  command.roles = ArchiveUserRoles(archive);
  command.refusal = Text::Id(53);
  command.errorLead = Text::Id(54);
  return RunCommand(command, [&] {
    Dialogs().ShowArchiveUser(archive, "", "");
    return true;
  });
}

Outcome ArchiveUserProperties(Database& archive, const std::string& userName,
                              const std::string& loginName) {
  CommandSpec command;
  command.errorLead = Text::Id(69);
  return RunCommand(command, [&] {
    Dialogs().ShowArchiveUser(archive, userName, loginName);
    return true;
  });
}

Outcome RevokeArchiveUser(Database& archive, const std::string& userName) {
  CommandSpec command;
  command.roles = ArchiveUserRoles(archive);
  command.refusal = Text::Id(58, {archive.Name()});
  command.confirmation = Text::Id(57, {userName});
  command.errorLead = Text::Id(59);
  return RunCommand(command, [&] { return archive.RevokeDBAccess(userName); });
}

}  // namespace bw::commands
