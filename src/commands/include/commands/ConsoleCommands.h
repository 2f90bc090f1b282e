// The console commands that open a dialog or act on a login or an archive
// user: the role test and refusal, the question, the dialog or action, and the
// error report, as the context menus run them. Dialogs are reached through
// Dialogs(); what they changed is read from the objects afterwards.
#pragma once

#include <string>

#include "archives/Database.h"
#include "archives/Databases.h"
#include "commands/CommandRunner.h"
#include "servers/Server.h"
#include "servers/Servers.h"

namespace bw::commands {

// The registration dialog in add mode; Done when a server joined `servers`
// (it is then the last one).
Outcome RegisterSQLServer(Servers& servers);
// The registration dialog for `server`; Done when its connection string
// changed (ignoring case), after which the server has connected again.
Outcome EditSQLServerRegistration(Servers& servers, Server& server);

// The create wizard and the open dialog, after the server roles allow them;
// Done when an archive joined `archives` (the last one).
Outcome NewArchiveWizard(Databases& archives);
Outcome OpenArchiveDialog(Databases& archives);
// The change-owner dialog, after the roles allow it.
Outcome ChangeOwnerDialog(Database& archive);

// Logins: the add wizard, the properties, and the removal (after a question;
// `loginType` is the list's "TYPE" text, "Standard" for a SQL Server login).
Outcome AddLoginWizard(Server& server);
Outcome LoginProperties(Server& server, const std::string& loginName);
Outcome RevokeLogin(Server& server, const std::string& loginName, const std::string& loginType);

// Archive users: a new one, the properties of one, and the removal.
Outcome NewArchiveUser(Database& archive);
Outcome ArchiveUserProperties(Database& archive, const std::string& userName,
                              const std::string& loginName);
Outcome RevokeArchiveUser(Database& archive, const std::string& userName);

}  // namespace bw::commands
