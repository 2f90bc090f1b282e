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

}  // namespace bw::commands
