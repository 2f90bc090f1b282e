#include "commands/security/LoginProperties.h"

#include <functional>

#include "archives/Database.h"
#include "archives/Databases.h"
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
constexpr RoleText kServerRoles[] = {
    {"sysadmin", 311, 113}, {"securityadmin", 312, 114}, {"dbcreator", 313, 115}};

}  // namespace

LoginProperties::LoginProperties(Server& server) : m_Server(server) {
  for (const RoleText& role : kServerRoles) {
    m_ServerRoles.push_back({role.role, role.textId, role.descriptionId, false, false});
  }
}

void LoginProperties::Load(const std::string& loginName) {
  m_LoginName = loginName;
  m_Found = false;
  m_WindowsLogin = false;
  m_Grant = m_LoadedGrant = true;
  if (!loginName.empty()) {
    Recordset login;
    OpenRows(login,
             "SELECT loginname, isntgroup, isntuser, isntname, denylogin, hasaccess FROM "
             "master.dbo.syslogins WHERE loginname=" +
                 SqlString(loginName),
             m_Server.GetConnection());
    if (login.State() == adStateOpen && !login.Eof()) {
      m_Found = true;
      m_WindowsLogin = login.Value("isntgroup").ToBoolean() || login.Value("isntuser").ToBoolean();
      m_LoadedGrant = !m_WindowsLogin || (!login.Value("denylogin").ToBoolean() &&
                                          login.Value("hasaccess").ToBoolean());
      m_Grant = m_LoadedGrant;
    }
    ListArchiveAccess();
    ListServerRoles();
  }
  m_PasswordChanged = false;
  m_Password.clear();
}

void LoginProperties::ListServerRoles() {
  for (ServerRole& entry : m_ServerRoles) {
    entry.member = false;
    Recordset members;
    OpenRows(members, "EXEC master..sp_helpsrvrolemember " + SqlString(entry.role),
             m_Server.GetConnection());
    for (; members.State() == adStateOpen && !members.Eof(); members.MoveNext()) {
      if (SameName(ColumnText(members, "MemberName"), m_LoginName)) entry.member = true;
    }
    entry.checked = entry.member;
  }
}

void LoginProperties::ListArchiveAccess() {
  m_Archives.clear();
  for (Database* archive : m_Server.Databases().NewEnum()) {
    ArchiveAccess entry;
    entry.archive = archive;
    entry.name = archive->Name();
    entry.databaseName = archive->DatabaseName();
    Connection& connection = archive->GetConnection();
    Recordset users;
    OpenRows(users, "EXEC sp_helpuser", connection);
    for (; users.State() == adStateOpen && !users.Eof(); users.MoveNext()) {
      if (!users.Value("LoginName").IsNull()) {
        if (SameName(ColumnText(users, "LoginName"), m_LoginName)) {
          entry.hadAccess = true;
          entry.userName = ColumnText(users, "UserName");
          break;
        }
        continue;
      }
      // A user without a login of its own (a Windows group's member reaches
      // the archive through the group's role).
      Recordset members;
      OpenRows(members, "EXEC sp_helprolemember " + SqlString(ColumnText(users, "GroupName")),
               connection);
      for (; members.State() == adStateOpen && !members.Eof(); members.MoveNext()) {
        std::string member = ColumnText(members, "MemberName");
        if (SameName(member, m_LoginName)) {
          entry.hadAccess = true;
          entry.userName = member;
          break;
        }
      }
    }
    entry.checked = entry.hadAccess;
    m_Archives.push_back(std::move(entry));
  }
}

void LoginProperties::SetServerRoleChecked(std::size_t index, bool checked) {
  m_ServerRoles.at(index).checked = checked;
}

void LoginProperties::SetArchiveChecked(std::size_t index, bool checked) {
  m_Archives.at(index).checked = checked;
}

void LoginProperties::SetNewPassword(const std::string& password) {
  m_PasswordChanged = true;
  m_Password = password;
}

bool LoginProperties::MayChange() {
  return m_Server.IsRolemember("sysadmin") || m_Server.IsRolemember("securityadmin");
}

std::vector<LoginProperties::Change> LoginProperties::Changes() {
  Connection* server = &m_Server.GetConnection();
  const std::string login = SqlString(m_LoginName);
  std::vector<Change> out;
  if (AccessChanged()) {
    out.push_back(
        {{{server,
           (m_Grant ? "EXEC master..sp_grantlogin " : "EXEC master..sp_denylogin ") + login}},
         [this] { m_LoadedGrant = m_Grant; }});
  }
  for (ServerRole& entry : m_ServerRoles) {
    if (entry.checked == entry.member) continue;
    out.push_back({{{server, (entry.checked ? "EXEC master..sp_addsrvrolemember "
                                            : "EXEC master..sp_dropsrvrolemember ") +
                                 login + ", " + SqlString(entry.role)}},
                   [&entry] { entry.member = entry.checked; }});
  }
  for (ArchiveAccess& entry : m_Archives) {
    if (entry.checked == entry.hadAccess) continue;
    const std::string db = "EXEC " + SqlName(entry.databaseName) + "..";
    Change change;
    if (entry.checked) {
      change.statements.push_back({server, db + "sp_grantdbaccess " + login});
      for (const char* role : {"bw_reader", "bw_writer", "bw_structurer"}) {
        change.statements.push_back({server, db + "sp_addrolemember '" + role + "', " + login});
      }
    } else {
      change.statements.push_back({server, db + "sp_revokedbaccess " + SqlString(entry.userName)});
    }
    change.sent = [this, &entry] {
      entry.hadAccess = entry.checked;
      entry.userName = entry.checked ? m_LoginName : std::string();
    };
    out.push_back(std::move(change));
  }
  if (m_PasswordChanged) {
    out.push_back({{{server, "EXEC master..sp_password @old=NULL, @new=" + SqlString(m_Password) +
                                 " , @loginame=" + login}},
                   [this] {
                     m_PasswordChanged = false;
                     m_Password.clear();
                   }});
  }
  return out;
}

std::vector<Statement> LoginProperties::Statements() {
  std::vector<Statement> out;
  for (Change& change : Changes()) {
    for (Statement& statement : change.statements) out.push_back(std::move(statement));
  }
  return out;
}

LoginProperties::OkResult LoginProperties::Ok() {
  try {
    if (!MayChange()) {
      MsgBox(LoadResString(119), MsgStyle::Information);
      return OkResult::Refused;
    }
    // Each change that went out becomes the loaded state, so OK after a
    // failure sends only what is still missing.
    for (Change& change : Changes()) {
      Execute(change.statements);
      change.sent();
    }
    return OkResult::Closed;
  } catch (const Error& error) {
    std::string appendix;
    if (error.Number() == kAdoErrorStatement && m_WindowsLogin) appendix = LoadResString(121);
    MsgBox(LoginErrorReport(error.Description(), appendix), MsgStyle::Information);
    return OkResult::Failed;
  }
}

}  // namespace bw::commands::security
