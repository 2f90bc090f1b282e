#include "commands/SecurityCommands.h"

#include "commands/DialogService.h"
#include "support/MessageService.h"

namespace bw::commands {

namespace {

std::function<bool()> ServerRole(Server& server, const char* role) {
  return [&server, role] { return server.IsRolemember(role); };
}

std::function<bool()> ArchiveRole(Database& archive, const char* role) {
  return [&archive, role] { return archive.IsRolemember(role); };
}

CommandSpec ArchiveUserCommand(Database& archive) {
  CommandSpec command;
  command.roles = {ArchiveRole(archive, "db_owner"), ArchiveRole(archive, "db_accessadmin"),
                   ServerRole(*archive.GetServer(), "sysadmin")};
  return command;
}

}  // namespace

Outcome GrantLogin(Server& server) {
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

Outcome RevokeLogin(Server& server, const std::string& loginName, bool standard) {
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin"), ServerRole(server, "securityadmin")};
  command.refusal = Text::Id(61, {server.Name()});
  command.confirmation = Text::Id(60, {loginName});
  command.confirmationStyle = MsgStyle::YesNo | MsgStyle::Question | MsgStyle::DefaultButton2;
  command.errorLead = Text::Id(62);
  return RunCommand(command, [&] { return server.RevokeLogin(loginName, standard ? 1 : 0); });
}

Outcome NewDatabaseUser(Database& archive) {
  CommandSpec command = ArchiveUserCommand(archive);
  command.refusal = Text::Id(53);
  command.errorLead = Text::Id(54);
  return RunCommand(command, [&] {
    Dialogs().ShowArchiveUser(archive, "", "");
    return true;
  });
}

Outcome RevokeDBAccess(Database& archive, const std::string& userName) {
  CommandSpec command = ArchiveUserCommand(archive);
  command.refusal = Text::Id(58, {archive.Name()});
  command.confirmation = Text::Id(57, {userName});
  command.errorLead = Text::Id(59);
  return RunCommand(command, [&] { return archive.RevokeDBAccess(userName); });
}

Outcome UserProperties(Database& archive, const std::string& userName,
                       const std::string& loginName) {
  CommandSpec command;
  command.errorLead = Text::Id(69);
  return RunCommand(command, [&] {
    Dialogs().ShowArchiveUser(archive, userName, loginName);
    return true;
  });
}

}  // namespace bw::commands
