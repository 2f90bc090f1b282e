// The state and work of the Add Login wizard (frmUserWizard) without any UI:
// five pages — welcome, authentication type, login details, archives,
// result. Next checks the page and moves on; on the archives page it creates
// the login (granting or denying a Windows account, or a SQL Server login
// with its password) and makes it a user with the three archive roles of each
// archive checked.
//
// One thread: the console's. Next reports through the message service
// (245, 246, the 120 report) or leaves a warning for the page's balloon.
#pragma once

#include <string>
#include <vector>

#include "commands/security/SecurityStatements.h"
#include "servers/Server.h"

namespace bw::commands::security {

class AddLoginWizard {
 public:
  enum class Page { Welcome = 1, AuthenticationType, LoginDetails, Archives, Result };
  // The text box a balloon warning points at.
  enum class Field { None, LoginName, Password };
  struct Warning {
    Field field = Field::None;
    int textId = 0;  // 253 or 254
  };
  // Access and three roles.
  static constexpr std::size_t kArchiveStatements = 4;
  struct ArchiveChoice {
    std::string name;
    bool checked = false;
    std::size_t sent = 0;  // how many of its statements went out
  };

  explicit AddLoginWizard(Server& server);

  Page CurrentPage() const { return m_Page; }

  // Page 2.
  bool WindowsAuthentication() const { return m_Windows; }
  void SelectWindowsAuthentication(bool windows) { m_Windows = windows; }
  // Whether the dialog offers SQL Server authentication at all (decides
  // whether a rejected Windows account also suggests it, text 122).
  void SetSqlAuthenticationOffered(bool offered) { m_SqlOffered = offered; }

  // Page 3.
  const std::string& LoginName() const { return m_LoginName; }
  void SetLoginName(const std::string& name) { m_LoginName = name; }
  void SetPassword(const std::string& password) { m_Password = password; }
  void SetConfirmation(const std::string& password) { m_Confirmation = password; }
  bool GrantSelected() const { return m_Grant; }
  void SelectGrant(bool grant) { m_Grant = grant; }

  // Page 4: the archives of the server, in catalogue order.
  const std::vector<ArchiveChoice>& Archives() const { return m_Archives; }
  void SetArchiveChecked(std::size_t index, bool checked);

  // The warning Next left on page 3 (None when it moved on).
  const Warning& LastWarning() const { return m_Warning; }

  // Next on the current page. True when the page changed — or, on the
  // result page, when the wizard is finished and closes.
  bool Next();
  // Back to the previous input page (not from the welcome or result page).
  void Back();

  // Texts of page 3, by the authentication chosen: heading, explanation,
  // hint, access label (0: hidden).
  struct DetailTexts {
    int heading, explanation, hint, access;
  };
  DetailTexts LoginDetailTexts() const;
  // The result page: 258 and 259 with the login and the server's name.
  std::string ResultTitle() const;
  std::string ResultText() const;

  // The statements the archives page sends, in order.
  std::vector<Statement> Statements() const;

 private:
  // The statements of the login or of one archive's user.
  struct Group {
    static constexpr std::size_t kLogin = static_cast<std::size_t>(-1);
    std::size_t archive = kLogin;
    std::vector<Statement> statements;
  };
  std::vector<Group> Groups() const;
  bool CreateLogin();

  Server& m_Server;
  Page m_Page = Page::Welcome;
  bool m_Windows = true;
  bool m_SqlOffered = true;
  bool m_Grant = true;
  bool m_LoginCreated = false;
  std::string m_LoginName;
  std::string m_Password;
  std::string m_Confirmation;
  std::vector<ArchiveChoice> m_Archives;
  Warning m_Warning;
};

}  // namespace bw::commands::security
