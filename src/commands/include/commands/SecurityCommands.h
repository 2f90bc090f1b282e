// The login and archive-user commands of the console: new login, login
// properties, remove login, new archive user, user properties, remove archive
// user — with the same role checks, questions and error reports whether the
// console or bwctl runs them. The dialogs open through the dialog service.
#pragma once

#include <string>

#include "archives/Database.h"
#include "commands/CommandRunner.h"
#include "servers/Server.h"

namespace bw::commands {

// The Add Login wizard, for a sysadmin or securityadmin (else 49).
Outcome GrantLogin(Server& server);
// The login properties dialog; its OK checks the roles itself.
Outcome LoginProperties(Server& server, const std::string& loginName);
// Removes a login after the question (60, No by default), for a sysadmin or
// securityadmin (else 61). `standard`: a SQL Server login, else a Windows one.
Outcome RevokeLogin(Server& server, const std::string& loginName, bool standard);

// The archive user dialog in new-user mode, for an archive's db_owner or
// db_accessadmin or a sysadmin (else 53).
Outcome NewDatabaseUser(Database& archive);
// Removes an archive user after the question (57), same roles (else 58).
Outcome RevokeDBAccess(Database& archive, const std::string& userName);
// The archive user dialog for an existing user.
Outcome UserProperties(Database& archive, const std::string& userName,
                       const std::string& loginName);

}  // namespace bw::commands
