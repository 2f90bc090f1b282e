// The state and work of the archive user properties dialog (frmUser) without
// any UI: adds a login as a user of one archive (new-user mode) or changes an
// existing user's database roles. The three archive roles stay nested:
// writing implies reading, structuring implies writing.
//
// One thread: the console's. Load raises provider errors; Ok reports its own.
#pragma once

#include <string>
#include <vector>

#include "archives/Database.h"
#include "commands/security/SecurityStatements.h"

namespace bw::commands::security {

class ArchiveUserProperties {
 public:
  struct DatabaseRole {
    std::string role;
    int textId = 0;
    int descriptionId = 0;
    bool member = false;  // when the list was filled
    bool checked = false;
  };
  enum class OkResult {
    Closed,   // done (or nothing to do)
    Refused,  // message 243; the dialog stays open
    Failed,   // the access was not granted, or an error was reported (244)
  };
  // Indexes of the role list.
  static constexpr std::size_t kReader = 0, kWriter = 1, kStructurer = 2;

  // New-user mode when `userName` is empty; else the properties of that user,
  // who belongs to `loginName`.
  ArchiveUserProperties(Database& archive, const std::string& userName = "",
                        const std::string& loginName = "");

  bool NewUserMode() const { return m_NewUser; }

  // Reads the logins on offer (new-user mode) and the role memberships.
  void Load();

  // The logins that are not yet users of the archive, sa never among them.
  const std::vector<std::string>& AvailableLogins() const { return m_AvailableLogins; }
  // Choosing a login also makes it the user name, which may then be edited.
  void SelectLogin(const std::string& login);
  const std::string& LoginName() const { return m_LoginName; }
  const std::string& UserName() const { return m_UserName; }
  void SetUserName(const std::string& name) { m_UserName = name; }

  const std::vector<DatabaseRole>& Roles() const { return m_Roles; }
  // Checks or unchecks one role, keeping the archive roles nested.
  void SetRoleChecked(std::size_t index, bool checked);

  // Whether the current login may change users: server role sysadmin or
  // securityadmin, or archive role db_securityadmin or db_owner.
  bool MayChange();

  // The role statements Ok sends after granting access, in list order.
  std::vector<Statement> RoleStatements() const;

  // The dialog's OK: the permission (243), in new-user mode the access
  // (GrantDBAccess reports its own failure), then RoleStatements. An error
  // stops the rest and is reported with 244.
  OkResult Ok();

 private:
  Statement RoleStatement(const DatabaseRole& entry) const;

  Database& m_Archive;
  bool m_NewUser;
  bool m_AccessGranted = false;
  std::string m_UserName;
  std::string m_LoginName;
  std::vector<std::string> m_AvailableLogins;
  std::vector<DatabaseRole> m_Roles;
};

}  // namespace bw::commands::security
