// The archive commands of the console: create, attach, detach, delete,
// change owner, shrink log, rename and the full-text index — with the same
// role checks, questions and error reports whether the console or bwctl
// runs them.
#pragma once

#include <string>

#include "archives/Database.h"
#include "archives/Databases.h"
#include "commands/CommandRunner.h"
#include "servers/Server.h"

namespace bw::commands {

// Why `name` is too long for an archive, or "" when it is not. Create,
// attach and rename show this (information icon) and fail before they send
// anything.
std::string ArchiveNameTooLongText(const std::string& name);

// Creating and attaching (the wizard's and the open dialog's work once the
// roles allow it). `created` receives the new archive, or nullptr.
Outcome AddNewDatabase(Databases& catalogue, const std::string& name, const std::string& path,
                       Database** created = nullptr);
Outcome OpenDatabase(Databases& catalogue, const std::string& name, const std::string& mdfPath,
                     const std::string& ldfPath, Database** attached = nullptr);

Outcome CloseDatabase(Databases& catalogue, Database& archive);
Outcome DeleteDatabase(Databases& catalogue, Database& archive);
// Makes `newOwner` the owner of the archive: the login's own user of the
// archive goes first, then the owner changes.
Outcome ChangeOwner(Database& archive, const std::string& newOwner);
Outcome ShrinkLogfile(Database& archive);
Outcome RenameDatabase(Database& archive, const std::string& newName);
Outcome AddCatalog(Database& archive);
Outcome RemoveCatalog(Database& archive);

}  // namespace bw::commands
