#include "commands/ChangeOwnerChoices.h"

#include "support/Helpers.h"
#include "support/SqlText.h"

namespace bw::commands {

ChangeOwnerChoices ChangeOwnerChoices::Load(Database& archive) {
  ChangeOwnerChoices choices;
  Connection& connection = archive.GetConnection();
  {
    Recordset help;
    help.SetCursorLocation(adUseClient);
    help.Open("sp_helpdb @dbname=" + SqlString(archive.DatabaseName()), &connection, adOpenStatic,
              adLockReadOnly);
    if (help.State() == adStateOpen && !help.Eof()) {
      const Variant& owner = help.Value("owner");
      if (!owner.IsNull()) choices.oldOwner = TrimBlanks(owner.ToText());
    }
  }
  Recordset logins;
  logins.SetCursorLocation(adUseClient);
  logins.Open(
      "SELECT loginname, isntgroup, isntuser, isntname, denylogin, hasaccess FROM "
      "master.dbo.syslogins",
      &connection, adOpenStatic, adLockReadOnly);
  if (logins.State() != adStateOpen) return choices;
  for (; !logins.Eof(); logins.MoveNext()) {
    const Variant& login = logins.Value("loginname");
    if (login.IsNull()) continue;
    std::string name = login.ToText();
    if (name != choices.oldOwner) choices.logins.push_back(name);
  }
  return choices;
}

std::string ChangeOwnerChoices::SameOwnerMessage(const std::string& newOwner,
                                                 const std::string& archiveName) const {
  const std::string typed = TrimBlanks(newOwner);
  if (typed.empty() || LowerAscii(typed) != LowerAscii(oldOwner)) return "";
  return "The login '" + typed + "' already owns the archive '" + archiveName + "'.";
}

}  // namespace bw::commands
