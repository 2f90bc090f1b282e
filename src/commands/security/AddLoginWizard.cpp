#include "commands/security/AddLoginWizard.h"

#include "archives/Database.h"
#include "archives/Databases.h"
#include "support/MessageService.h"
#include "support/Placeholders.h"
#include "support/SqlText.h"
#include "support/StringTable.h"

namespace bw::commands::security {

AddLoginWizard::AddLoginWizard(Server& server) : m_Server(server) {}

void AddLoginWizard::SetArchiveChecked(std::size_t index, bool checked) {
  m_Archives.at(index).checked = checked;
}

bool AddLoginWizard::Next() {
  m_Warning = {};
  switch (m_Page) {
    case Page::Welcome:
      m_Page = Page::AuthenticationType;
      return true;
    case Page::AuthenticationType: {
      const int mode = m_Server.LoginMode();
      // Only a sysadmin may read the mode, so for anybody else 0 means "not
      // told", not a server without Windows authentication; refusing them
      // would lock securityadmins out of Windows logins with a false reason.
      if (m_Windows && mode == 0 && m_Server.IsRolemember("sysadmin")) {
        MsgBox(FormatResString(245, {m_Server.Name()}), MsgStyle::Information);
        return false;
      }
      if (!m_Windows && mode == 1) {
        MsgBox(FormatResString(246, {m_Server.Name()}), MsgStyle::Information);
        return false;
      }
      m_LoginName.clear();
      m_Page = Page::LoginDetails;
      return true;
    }
    case Page::LoginDetails:
      if (m_LoginName.empty()) {
        m_Warning = {Field::LoginName, 253};
        return false;
      }
      if (!m_Windows && (m_Password.empty() || m_Password != m_Confirmation)) {
        m_Warning = {Field::Password, 254};
        return false;
      }
      m_Archives.clear();
      m_LoginCreated = false;
      for (Database* archive : m_Server.Databases().NewEnum()) {
        m_Archives.push_back({archive->Name(), false, 0});
      }
      m_Page = Page::Archives;
      return true;
    case Page::Archives:
      if (!CreateLogin()) return false;
      m_Page = Page::Result;
      return true;
    case Page::Result:
      return true;
  }
  return false;
}

void AddLoginWizard::Back() {
  switch (m_Page) {
    case Page::AuthenticationType:
      m_Page = Page::Welcome;
      break;
    case Page::LoginDetails:
      m_Page = Page::AuthenticationType;
      break;
    case Page::Archives:
      m_Page = Page::LoginDetails;
      break;
    default:
      break;
  }
}

AddLoginWizard::DetailTexts AddLoginWizard::LoginDetailTexts() const {
  if (m_Windows) return {247, 286, 248, 249};
  return {250, 287, 251, 0};
}

std::string AddLoginWizard::ResultTitle() const {
  return LoadResString(258);
}

std::string AddLoginWizard::ResultText() const {
  return FormatResString(259, {m_LoginName, m_Server.Name()});
}

std::vector<Statement> AddLoginWizard::Statements() const {
  std::vector<Statement> out;
  for (const Group& group : Groups()) {
    out.insert(out.end(), group.statements.begin(), group.statements.end());
  }
  return out;
}

std::vector<AddLoginWizard::Group> AddLoginWizard::Groups() const {
  Connection* server = &m_Server.GetConnection();
  const std::string name = SqlString(m_LoginName);
  std::vector<Group> out;
  // Once the login exists, Next after a failure sends only what is missing.
  if (!m_LoginCreated) {
    Group login;
    if (!m_Windows) {
      login.statements.push_back(
          {server, "EXEC master..sp_addlogin " + name + ", " + SqlString(m_Password)});
    } else {
      login.statements.push_back(
          {server,
           (m_Grant ? "EXEC master..sp_grantlogin " : "EXEC master..sp_denylogin ") + name});
    }
    out.push_back(std::move(login));
  }
  const std::vector<Database*> archives = m_Server.Databases().NewEnum();
  for (std::size_t i = 0; i < m_Archives.size(); ++i) {
    const ArchiveChoice& choice = m_Archives[i];
    if (!choice.checked || choice.sent == kArchiveStatements) continue;
    Database* found = nullptr;
    for (Database* archive : archives) {
      if (archive->Name() == choice.name) {
        found = archive;
        break;
      }
    }
    if (found == nullptr) continue;
    Connection* connection = &found->GetConnection();
    Group group{i, {}};
    group.statements.push_back({connection, "EXEC sp_grantdbaccess " + name + ", " + name});
    for (const char* role : {"bw_reader", "bw_writer", "bw_structurer"}) {
      group.statements.push_back(
          {connection, std::string("EXEC sp_addrolemember '") + role + "', " + name});
    }
    group.statements.erase(group.statements.begin(),
                           group.statements.begin() + static_cast<std::ptrdiff_t>(choice.sent));
    out.push_back(std::move(group));
  }
  return out;
}

bool AddLoginWizard::CreateLogin() {
  try {
    for (const Group& group : Groups()) {
      for (const Statement& statement : group.statements) {
        Execute({statement});
        if (group.archive == Group::kLogin) {
          m_LoginCreated = true;
        } else {
          ++m_Archives[group.archive].sent;
        }
      }
    }
    return true;
  } catch (const Error& error) {
    std::string appendix;
    if (error.Number() == kAdoErrorStatement && m_Windows) {
      appendix = LoadResString(121);
      if (m_SqlOffered) appendix += "\r" + LoadResString(122);
    }
    MsgBox(LoginErrorReport(error.Description(), appendix), MsgStyle::Information);
    return false;
  }
}

}  // namespace bw::commands::security
