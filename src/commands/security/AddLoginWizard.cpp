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
      if (m_Windows && mode == 0) {
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
      for (Database* archive : m_Server.Databases().NewEnum()) {
        m_Archives.push_back({archive->Name(), false});
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
  Connection* server = &m_Server.GetConnection();
  const std::string name = SqlString(m_LoginName);
  std::vector<Statement> out;
  if (!m_Windows) {
    out.push_back({server, "EXEC master..sp_addlogin " + name + ", " + SqlString(m_Password)});
  } else {
    out.push_back(
        {server, (m_Grant ? "EXEC master..sp_grantlogin " : "EXEC master..sp_denylogin ") + name});
  }
  const std::vector<Database*> archives = m_Server.Databases().NewEnum();
  for (const ArchiveChoice& choice : m_Archives) {
    if (!choice.checked) continue;
    Database* found = nullptr;
    for (Database* archive : archives) {
      if (archive->Name() == choice.name) {
        found = archive;
        break;
      }
    }
    if (found == nullptr) continue;
    Connection* connection = &found->GetConnection();
    out.push_back({connection, "EXEC sp_grantdbaccess " + name + ", " + name});
    for (const char* role : {"bw_reader", "bw_writer", "bw_structurer"}) {
      out.push_back({connection, std::string("EXEC sp_addrolemember '") + role + "', " + name});
    }
  }
  return out;
}

bool AddLoginWizard::CreateLogin() {
  try {
    Execute(Statements());
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
