#include "commands/ArchiveCommands.h"

#include "support/MessageService.h"
#include "support/SqlText.h"
#include "support/StringTable.h"

namespace bw::commands {

namespace {

std::function<bool()> ServerRole(Server& server, const char* role) {
  return [&server, role] { return server.IsRolemember(role); };
}

std::function<bool()> ArchiveRole(Database& archive, const char* role) {
  return [&archive, role] { return archive.IsRolemember(role); };
}

}  // namespace

std::string ArchiveNameTooLongText(const std::string& name) {
  if (NameLength(name) <= kMaxArchiveNameLength) return {};
  return "The archive name has " + std::to_string(NameLength(name)) +
         " characters; it may have at most " + std::to_string(kMaxArchiveNameLength) +
         ", as SQL Server allows " + std::to_string(kMaxDatabaseNameLength) +
         " for the whole database name '" + kArchivePrefix + "' + name.";
}

namespace {

// A name the server would refuse only after the work has begun (as a failed
// login, for creation) is refused before anything is sent.
bool RefuseLongName(const std::string& name, Database** result) {
  if (result != nullptr) *result = nullptr;
  const std::string problem = ArchiveNameTooLongText(name);
  if (problem.empty()) return false;
  MsgBox(problem, MsgStyle::Information);
  return true;
}

std::string RemainsQuestion(const std::string& name, const std::vector<ArchiveRemains>& remains) {
  std::string text = "An earlier creation of the archive '" + name + "' did not finish:";
  for (const ArchiveRemains& left : remains) {
    text += "\r- the database " + left.databaseName + " " + left.reason +
            (left.bareName ? " (it was not yet renamed)" : "");
  }
  return text + "\rRemove what it left and create the archive anew?";
}

}  // namespace

Outcome AddNewDatabase(Databases& catalogue, const std::string& name, const std::string& path,
                       Database** created) {
  if (RefuseLongName(name, created)) return Outcome::Failed;
  Server& server = *catalogue.GetServer();
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin"), ServerRole(server, "dbcreator")};
  command.refusal = Text::Id(39, {server.Name()});
  if (created != nullptr) *created = nullptr;
  // A creation that ended half-way leaves what makes every retry fail.
  const std::vector<ArchiveRemains> remains = catalogue.Remains(name);
  if (!remains.empty()) {
    command.confirmation = Text::Literal(RemainsQuestion(name, remains));
    command.confirmationStyle = MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2;
  }
  return RunCommand(command, [&] {
    for (const ArchiveRemains& left : remains) {
      try {
        if (!catalogue.RemoveRemains(left)) return false;
      } catch (const Error& error) {
        MsgBox(
            "The database " + left.databaseName + " could not be removed:\r" + error.Description(),
            MsgStyle::Information);
        return false;
      }
    }
    Database* archive = catalogue.AddNew(name, path);
    if (created != nullptr) *created = archive;
    return archive != nullptr;
  });
}

Outcome OpenDatabase(Databases& catalogue, const std::string& name, const std::string& mdfPath,
                     const std::string& ldfPath, Database** attached) {
  if (RefuseLongName(name, attached)) return Outcome::Failed;
  Server& server = *catalogue.GetServer();
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin"), ServerRole(server, "dbcreator")};
  command.refusal = Text::Id(55, {server.Name()});
  command.errorLead = Text::Id(56);
  if (attached != nullptr) *attached = nullptr;
  return RunCommand(command, [&] {
    Database* archive = catalogue.Add(name, mdfPath, ldfPath);
    if (attached != nullptr) *attached = archive;
    return archive != nullptr;
  });
}

Outcome CloseDatabase(Databases& catalogue, Database& archive) {
  Server& server = *catalogue.GetServer();
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin")};
  command.refusal = Text::Id(43, {server.Name()});
  command.confirmation = Text::Id(42, {archive.Name(), server.Name()});
  command.errorLead = Text::Id(44);
  const std::string key = std::to_string(archive.ArchiveID());
  return RunCommand(command, [&] { return catalogue.Remove(key); });
}

Outcome DeleteDatabase(Databases& catalogue, Database& archive) {
  Server& server = *catalogue.GetServer();
  CommandSpec command;
  command.roles = {ServerRole(server, "sysadmin"), ServerRole(server, "dbcreator")};
  command.refusal = Text::Id(46, {server.Name()});
  command.confirmation = Text::Id(45, {archive.Name()});
  command.confirmationStyle = MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2;
  command.errorLead = Text::Id(47);
  const std::string key = std::to_string(archive.ArchiveID());
  return RunCommand(command, [&] { return catalogue.Delete(key); });
}

Outcome ChangeOwner(Database& archive, const std::string& newOwner) {
  Server& server = *archive.GetServer();
  CommandSpec command;
  command.roles = {ArchiveRole(archive, "db_owner"), ServerRole(server, "sysadmin")};
  command.refusal = Text::Id(40);
  command.errorLead = Text::Id(41);
  return RunCommand(command, [&] {
    if (newOwner.empty()) {
      MsgBox(LoadResString(92), MsgStyle::Information);
      return false;
    }
    try {
      Connection& connection = archive.GetConnection();
      // The login's user may be named differently from the login; it is the
      // user that goes. The owner's own row (dbo) is not a user to remove.
      std::string userName;
      {
        Recordset users;
        users.SetCursorLocation(adUseClient);
        users.Open("EXEC sp_helpuser", &connection, adOpenForwardOnly, adLockOptimistic);
        for (int step = 0; step < 101 && users.State() != adStateOpen; ++step) {
          users.NextRecordset();
        }
        if (users.State() == adStateOpen) {
          users.SetFilter("LoginName = " + SqlString(newOwner));
          if (!users.Eof()) {
            userName = users.Value("UserName").ToText();
            userName.erase(userName.find_last_not_of(' ') + 1);
          }
        }
      }
      if (!userName.empty() && userName != "dbo" && !archive.RevokeDBAccess(userName)) {
        return false;
      }
      connection.Execute("USE " + SqlName(archive.DatabaseName()));
      connection.Execute("sp_changedbowner " + SqlString(newOwner));
      return true;
    } catch (const Error& error) {
      MsgBox(ErrorReport(93, error), MsgStyle::Information);
      return false;
    }
  });
}

Outcome ShrinkLogfile(Database& archive) {
  CommandSpec command;
  command.roles = {ArchiveRole(archive, "sysadmin"), ArchiveRole(archive, "db_owner")};
  command.refusal = Text::Id(40);
  command.confirmation = Text::Id(354, {archive.Name()});
  command.errorLead = Text::Id(355);
  return RunCommand(command, [&] {
    archive.ShrinkLogfile();
    return true;
  });
}

Outcome RenameDatabase(Database& archive, const std::string& newName) {
  if (RefuseLongName(newName, nullptr)) return Outcome::Failed;
  Server& server = *archive.GetServer();
  CommandSpec command;
  command.roles = {ArchiveRole(archive, "db_owner"), ServerRole(server, "sysadmin")};
  command.refusal = Text::Id(40);
  command.errorLead = Text::Id(355);
  return RunCommand(command, [&] { return archive.Rename(newName); });
}

Outcome AddCatalog(Database& archive) {
  CommandSpec command;
  command.roles = {ArchiveRole(archive, "sysadmin"), ArchiveRole(archive, "db_owner")};
  command.refusal = Text::Id(40);
  command.confirmation = Text::Id(344, {archive.Name()});
  command.confirmationStyle = MsgStyle::YesNo;
  return RunCommand(command, [&] {
    archive.DoFullTextAction("create");
    return true;
  });
}

Outcome RemoveCatalog(Database& archive) {
  CommandSpec command;
  command.roles = {ArchiveRole(archive, "sysadmin"), ArchiveRole(archive, "db_owner")};
  command.refusal = Text::Id(40);
  command.confirmation = Text::Id(345, {archive.Name()});
  command.confirmationStyle = MsgStyle::YesNo;
  return RunCommand(command, [&] {
    archive.DoFullTextAction("drop");
    return true;
  });
}

}  // namespace bw::commands
