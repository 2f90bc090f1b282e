// The console commands that open the registration and archive dialogs: the
// role test and refusal, the dialog, and the error report, as the context
// menus run them (the login and user commands are in SecurityCommands.h). Dialogs are reached
// through Dialogs(); what they changed is read from the objects afterwards.
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

}  // namespace bw::commands
