#include "commands/security/ArchiveUserProperties.h"

#include "servers/Server.h"
#include "support/MessageService.h"
#include "support/SqlText.h"
#include "support/StringTable.h"

namespace bw::commands::security {

namespace {

struct RoleText {
  const char* role;
  int textId;
  int descriptionId;
};
constexpr RoleText kDatabaseRoles[] = {{"bw_reader", 235, 234},      {"bw_writer", 236, 233},
                                       {"bw_structurer", 237, 232},  {"db_securityadmin", 238, 231},
                                       {"db_accessadmin", 239, 230}, {"db_owner", 240, 229}};

}  // namespace

ArchiveUserProperties::ArchiveUserProperties(Database& archive, const std::string& userName,
                                             const std::string& loginName)
    : m_Archive(archive),
      m_NewUser(userName.empty()),
      m_UserName(userName),
      m_LoginName(loginName) {}

void ArchiveUserProperties::Load() {
  Connection& connection = m_Archive.GetConnection();
  m_AvailableLogins.clear();
  std::vector<std::string> userLogins;
  {
    Recordset users;
    OpenRows(users, "EXEC sp_helpuser", connection);
    for (; users.State() == adStateOpen && !users.Eof(); users.MoveNext()) {
      userLogins.push_back(ColumnText(users, "LoginName"));
    }
  }
  {
    Recordset logins;
    OpenRows(logins,
             "SELECT loginname, isntgroup, isntuser, isntname, denylogin, hasaccess FROM "
             "master.dbo.syslogins",
             connection);
    for (; logins.State() == adStateOpen && !logins.Eof(); logins.MoveNext()) {
      std::string login = ColumnText(logins, "loginname");
      if (SameName(login, "sa")) continue;
      bool isUser = false;
      for (const std::string& taken : userLogins) isUser = isUser || SameName(taken, login);
      if (!isUser) m_AvailableLogins.push_back(login);
    }
  }
  m_Roles.clear();
  for (const RoleText& role : kDatabaseRoles) {
    m_Roles.push_back({role.role, role.textId, role.descriptionId, false, false});
  }
  if (m_NewUser) {
    for (std::size_t i : {kReader, kWriter, kStructurer}) m_Roles[i].checked = true;
    return;
  }
  for (DatabaseRole& entry : m_Roles) {
    Recordset members;
    OpenRows(members, "EXEC sp_helprolemember " + SqlString(entry.role), connection);
    for (; members.State() == adStateOpen && !members.Eof(); members.MoveNext()) {
      std::string member = ColumnText(members, "MemberName");
      if (SameName(member, m_UserName) || (!m_LoginName.empty() && SameName(member, m_LoginName))) {
        entry.member = true;
      }
    }
    entry.checked = entry.member;
  }
}

void ArchiveUserProperties::SelectLogin(const std::string& login) {
  m_LoginName = login;
  m_UserName = login;
}

void ArchiveUserProperties::SetRoleChecked(std::size_t index, bool checked) {
  m_Roles.at(index).checked = checked;
  if (index == kReader && !checked) {
    m_Roles[kWriter].checked = m_Roles[kStructurer].checked = false;
  } else if (index == kWriter) {
    if (checked) {
      m_Roles[kReader].checked = true;
    } else {
      m_Roles[kStructurer].checked = false;
    }
  } else if (index == kStructurer && checked) {
    m_Roles[kWriter].checked = m_Roles[kReader].checked = true;
  }
}

bool ArchiveUserProperties::MayChange() {
  Server& server = *m_Archive.GetServer();
  return server.IsRolemember("sysadmin") || server.IsRolemember("securityadmin") ||
         m_Archive.IsRolemember("db_securityadmin") || m_Archive.IsRolemember("db_owner");
}

Statement ArchiveUserProperties::RoleStatement(const DatabaseRole& entry) const {
  return {&m_Archive.GetConnection(),
          (entry.checked ? "EXEC sp_addrolemember " : "EXEC sp_droprolemember ") +
              SqlString(entry.role) + ", " + SqlString(m_UserName)};
}

std::vector<Statement> ArchiveUserProperties::RoleStatements() const {
  std::vector<Statement> out;
  for (const DatabaseRole& entry : m_Roles) {
    if (entry.checked != entry.member) out.push_back(RoleStatement(entry));
  }
  return out;
}

ArchiveUserProperties::OkResult ArchiveUserProperties::Ok() {
  try {
    if (!MayChange()) {
      MsgBox(LoadResString(243), MsgStyle::Information);
      return OkResult::Refused;
    }
    // A second OK after a failed role statement must not ask for the access
    // again: the user exists by then.
    if (m_NewUser && !m_AccessGranted) {
      if (!m_Archive.GrantDBAccess(m_LoginName, m_UserName)) return OkResult::Failed;
      m_AccessGranted = true;
    }
    // Each change that went out becomes the loaded state, so OK after a
    // failure sends only what is still missing.
    for (DatabaseRole& entry : m_Roles) {
      if (entry.checked == entry.member) continue;
      Execute({RoleStatement(entry)});
      entry.member = entry.checked;
    }
    return OkResult::Closed;
  } catch (const Error& error) {
    MsgBox(LoadResString(244) + "\r" + error.Description(), MsgStyle::Information);
    return OkResult::Failed;
  }
}

}  // namespace bw::commands::security
