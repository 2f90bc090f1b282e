// The state and work of the login properties dialog (frmLogin) without any
// UI: one existing login of a server — how it authenticates, whether a
// Windows login is granted or denied, its fixed server roles, the archives it
// may use, and a new password. Load reads it; the setters record what the
// administrator changed; Ok sends exactly the statements those changes need,
// in a fixed order, and nothing when nothing changed.
//
// One thread: the console's. Load raises provider errors; Ok reports its own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commands/security/SecurityStatements.h"
#include "servers/Server.h"

namespace bw {
class Database;
}

namespace bw::commands::security {

class LoginProperties {
 public:
  struct ServerRole {
    std::string role;  // sysadmin, securityadmin, dbcreator
    int textId = 0;    // the list item's text
    int descriptionId = 0;
    bool member = false;  // when the list was filled
    bool checked = false;
  };
  struct ArchiveAccess {
    Database* archive = nullptr;
    std::string name;          // the list item: the archive's name
    std::string databaseName;  // what the statements name
    std::string userName;      // the login's user there, as found at loading
    bool hadAccess = false;
    bool checked = false;
  };
  enum class OkResult {
    Closed,   // the statements went out (or none were needed)
    Refused,  // message 119; the dialog closes unchanged
    Failed,   // an error was reported (120); the dialog stays open
  };

  explicit LoginProperties(Server& server);

  // Loads `loginName`: its row of syslogins, then the archive access and the
  // server roles. An empty name loads nothing.
  void Load(const std::string& loginName);

  const std::string& LoginName() const { return m_LoginName; }
  // Whether syslogins had the login.
  bool Found() const { return m_Found; }
  bool IsWindowsLogin() const { return m_WindowsLogin; }

  // Grant (true) or deny (false) for a Windows login. Choosing the option the
  // login was loaded with again means no access statement.
  bool GrantSelected() const { return m_Grant; }
  void SelectGrant(bool grant) { m_Grant = grant; }
  bool AccessChanged() const { return m_WindowsLogin && m_Grant != m_LoadedGrant; }

  const std::vector<ServerRole>& ServerRoles() const { return m_ServerRoles; }
  void SetServerRoleChecked(std::size_t index, bool checked);
  // Fills the server roles anew (from sp_helpsrvrolemember).
  void ListServerRoles();

  const std::vector<ArchiveAccess>& Archives() const { return m_Archives; }
  void SetArchiveChecked(std::size_t index, bool checked);

  // What the password dialog hands over when a new password was confirmed.
  void SetNewPassword(const std::string& password);
  bool PasswordChanged() const { return m_PasswordChanged; }

  // Whether the current login may change logins (sysadmin or securityadmin).
  bool MayChange();

  // The statements Ok sends, in order: grant or deny, server roles, archive
  // access, password.
  std::vector<Statement> Statements();

  // The dialog's OK: the permission (119), then Statements. An error stops
  // the rest (what went out stays) and is reported with 120 (and 121 for a
  // rejected statement while a Windows login is shown).
  OkResult Ok();

 private:
  // The statements of one change, and what marks it as done.
  struct Change {
    std::vector<Statement> statements;
    std::function<void()> sent;
  };
  std::vector<Change> Changes();
  void ListArchiveAccess();

  Server& m_Server;
  std::string m_LoginName;
  bool m_Found = false;
  bool m_WindowsLogin = false;
  bool m_Grant = true;
  bool m_LoadedGrant = true;
  std::vector<ServerRole> m_ServerRoles;
  std::vector<ArchiveAccess> m_Archives;
  bool m_PasswordChanged = false;
  std::string m_Password;
};

}  // namespace bw::commands::security
