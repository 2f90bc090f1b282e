#include "archives/Database.h"

#include <algorithm>
#include <cctype>

#include "archives/ArchiveRemains.h"
#include "archives/ArchiveSchema.h"
#include "archives/Databases.h"
#include "data/ConnectionString.h"
#include "servers/Server.h"
#include "support/Helpers.h"
#include "support/Log.h"
#include "support/MessageService.h"
#include "support/SqlText.h"

namespace bw {

Database::Database() : m_Connection(std::make_unique<Connection>()) {
  m_Command.SetCommandType(adCmdText);
}

Database::~Database() {
  if (m_Connection && m_Connection->State() == adStateOpen) {
    try {
      m_Connection->Close();
    } catch (const Error&) {
      // Ending a connection the server already ended changes nothing.
    }
  }
}

void Database::SetServer(Server* server) {
  m_Server = server;
  m_ServerConnectionString = server != nullptr ? server->ConnectionString() : std::string();
}

void Database::SetName(const std::string& name) {
  m_Name = name;
  m_DatabaseName = std::string(kArchivePrefix) + name;
}

std::string Database::Location() const {
  return m_Connection->Property("Data Source").ToText();
}

bool Database::Connect(const std::string& /*path*/) {
  if (m_Connection->State() == adStateOpen) {
    try {
      m_Connection->Close();
    } catch (const Error&) {
      // A session the server ended closes without complaint here.
    }
  }
  m_Connected = false;
  m_Connection->SetConnectionString(
      m_ServerConnectionString +
      ";Persist Security Info=True;Initial Catalog=" + OleDbValue(m_DatabaseName));
  m_Connection->Open();
  if (m_Connection->State() == adStateOpen) {
    m_Connected = true;
    m_Command.SetActiveConnection(m_Connection.get());
  }
  return m_Connected;
}

std::string Database::Incompleteness() {
  if (!m_Connected) return {};
  return IncompleteReason(InspectArchive(*m_Connection));
}

std::vector<std::string> Database::NameList(const std::string& sql, const std::string& column) {
  std::vector<std::string> names;
  m_Command.SetCommandText(sql);
  Recordset rs;
  rs.Open(m_Command);
  for (int step = 0; step < 101 && rs.State() != adStateOpen; ++step) rs.NextRecordset();
  for (; rs.State() == adStateOpen && !rs.Eof(); rs.MoveNext()) {
    std::string name = TrimBlanks(rs.Value(column).ToText());
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

std::vector<std::string> Database::Roles() {
  return NameList("EXEC sp_helprole", "RoleName");
}

std::vector<std::string> Database::RoleMembers(const std::string& roleName) {
  return NameList("EXEC sp_helprolemember " + SqlString(roleName), "MemberName");
}

std::vector<std::string> Database::UserRoles(const std::string& userName) {
  return NameList("EXEC sp_helpuser " + SqlString(userName), "GroupName");
}

bool Database::IsRolemember(const std::string& databaseRole) {
  m_Command.SetCommandText("SELECT IS_MEMBER (" + SqlString(databaseRole) + ")");
  Recordset rs;
  rs.Open(m_Command);
  if (rs.State() != adStateOpen || rs.Eof()) return false;
  const Variant& value = rs.Value(0);
  return !value.IsNull() && value.ToBoolean();
}

bool Database::AccessChange(const std::string& sql, const std::string& lead) {
  try {
    m_Command.SetCommandText(sql);
    m_Command.Execute();
    return true;
  } catch (const Error& error) {
    MsgBox(lead + "\r\n" + error.Description(), MsgStyle::Information, kComponentTitle);
    return false;
  }
}

bool Database::GrantDBAccess(const std::string& login, const std::string& name) {
  return AccessChange("EXEC sp_grantdbaccess " + SqlString(login) + ", " + SqlString(name),
                      "Beim Hinzufügen eines neuen Benutzers ist folgendes Problem aufgetreten:");
}

bool Database::RevokeDBAccess(const std::string& login) {
  return AccessChange("EXEC sp_revokedbaccess " + SqlString(login),
                      "Beim Entfernen eines neuen Benutzers ist folgendes Problem aufgetreten:");
}

void Database::ShrinkLogfile() {
  struct LogFile {
    std::string name;
    double pages;
  };
  std::vector<LogFile> files;
  {
    Recordset rs;
    rs.SetCursorLocation(adUseClient);
    rs.Open(
        "SELECT sysaltfiles.* FROM sysdatabases INNER JOIN sysaltfiles ON sysdatabases.dbid = "
        "sysaltfiles.dbid WHERE sysaltfiles.filename LIKE '%.LDF%' AND sysdatabases.name='" +
            SqlStringBody(m_DatabaseName) + "'",
        &m_Server->GetConnection(), adOpenForwardOnly, adLockOptimistic, adCmdText);
    for (; rs.State() == adStateOpen && !rs.Eof(); rs.MoveNext()) {
      files.push_back({TrimBlanks(rs.Value("name").ToText()), rs.Value("size").ToDouble()});
    }
  }
  if (files.empty()) return;
  Command command;
  command.SetActiveConnection(m_Connection.get());
  command.SetCommandType(adCmdText);
  command.SetCommandTimeout(0);
  command.SetCommandText("BACKUP LOG " + SqlName(m_DatabaseName) + " WITH TRUNCATE_ONLY");
  command.Execute();
  for (const LogFile& file : files) {
    command.SetCommandText("DBCC SHRINKFILE(" + SqlName(file.name) + ", " +
                           std::to_string(LogShrinkTarget(file.pages)) + ")");
    command.Execute();
  }
}

bool Database::Rename(std::string newName) {
  if (LowerAscii(newName).rfind(LowerAscii(kArchivePrefix), 0) == 0) {
    // Every occurrence goes, not only the leading one.
    std::string stripped;
    const std::string prefix = LowerAscii(kArchivePrefix);
    for (std::size_t i = 0; i < newName.size();) {
      if (LowerAscii(newName.substr(i, prefix.size())) == prefix) {
        i += prefix.size();
      } else {
        stripped += newName[i++];
      }
    }
    newName = stripped;
  }
  if (LowerAscii(newName) == LowerAscii(m_Name)) return false;
  if (m_Parent == nullptr || !m_Parent->CloseArchiveSessions(*m_Connection, m_DatabaseName)) {
    return false;
  }
  try {
    m_Server->GetConnection().Execute(
        RenameDatabaseStatement(m_DatabaseName, kArchivePrefix + newName));
  } catch (const Error&) {
    // The sessions were ended for nothing: the archive keeps its name and
    // gets its connection back before the caller hears of the failure.
    try {
      Connect();
    } catch (const Error& reconnect) {
      Log("archives", "reconnecting after a failed rename: " + reconnect.Description());
    }
    throw;
  }
  SetName(newName);
  Connect();
  return true;
}

void Database::Move(const std::string& /*path*/) {
  throw Error(kErrNotSupported, "Database",
              "Moving an archive's files is not supported: the files are on the server's disk, "
              "which SQL statements cannot reach. Detach the archive, move its files on the "
              "server and attach them again.");
}

void Database::SetExtendedValue(const std::string& value, std::int32_t entryId,
                                std::int32_t& extFieldId, const std::string& fieldName,
                                int fieldType, bool userProperty, bool visible) {
  if (extFieldId == 0 && fieldName.empty()) return;
  try {
    if (extFieldId == 0) {
      const std::string select = "SELECT * FROM ExtendedField WHERE FieldName='" +
                                 SqlStringBody(fieldName) +
                                 "' AND FieldType=" + std::to_string(fieldType) + ";";
      Recordset rs;
      rs.Open(select, m_Connection.get(), adOpenStatic, adLockOptimistic, adCmdText);
      // One insert at most: a field that still does not show is an error,
      // not a reason to insert again.
      if (rs.Eof()) {
        rs.Close();
        m_Command.SetCommandText(
            "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName, Visible, UserProperty) "
            "SELECT Max(ExtFieldID)+1, " +
            std::to_string(fieldType) + ", '" + SqlStringBody(fieldName) + "', " +
            (visible ? "-1" : "0") + ", " + (userProperty ? "-1" : "0") + " FROM ExtendedField;");
        m_Command.Execute();
        rs.Open(select, m_Connection.get(), adOpenStatic, adLockOptimistic, adCmdText);
        if (rs.Eof()) return;
      }
      rs.SetValue("Visible", Variant(visible));
      rs.SetValue("UserProperty", Variant(userProperty));
      rs.Update();
      extFieldId = static_cast<std::int32_t>(rs.Value("ExtFieldID").ToInteger());
    }
    m_Command.SetCommandText("UPDATE ExtendedData SET FieldValue='" + SqlStringBody(value) +
                             "' WHERE EntryID=" + std::to_string(entryId) +
                             " And ExtFieldID=" + std::to_string(extFieldId));
    if (m_Command.Execute() == 0) {
      m_Command.SetCommandText(
          "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (" +
          std::to_string(entryId) + ", " + std::to_string(extFieldId) + ", '" +
          SqlStringBody(value) + "');");
      m_Command.Execute();
    }
  } catch (const Error& error) {
    Log("archives", "SetExtendedValue: " + error.Description());
  }
}

std::string Database::GetExtendedValue(std::int32_t entryId, std::int32_t extFieldId, int fieldType,
                                       const std::string& fieldName) {
  std::string sql =
      "SELECT ExtendedData.FieldValue FROM ExtendedData INNER JOIN ExtendedField ON "
      "ExtendedData.ExtFieldID = ExtendedField.ExtFieldID WHERE (((ExtendedData.EntryID)=" +
      std::to_string(entryId);
  if (extFieldId != 0) {
    sql += ") AND ((ExtendedField.ExtFieldID)=" + std::to_string(extFieldId) + "));";
  } else {
    sql += ") AND ((ExtendedField.FieldType)=" + std::to_string(fieldType) +
           ") AND ((ExtendedField.FieldName)='" + SqlStringBody(fieldName) + "'));";
  }
  try {
    Recordset rs;
    rs.Open(sql, m_Connection.get(), adOpenForwardOnly, adLockReadOnly, adCmdText);
    if (rs.State() != adStateOpen || rs.Eof()) return {};
    return rs.Value("FieldValue").ToText();
  } catch (const Error& error) {
    Log("archives", "GetExtendedValue: " + error.Description());
    return {};
  }
}

std::int32_t Database::GetFullTextStatus() {
  Variant installed;
  {
    Recordset rs;
    rs.Open("SELECT FULLTEXTSERVICEPROPERTY('IsFulltextInstalled')", m_Connection.get(),
            adOpenForwardOnly, adLockReadOnly, adCmdText);
    if (rs.State() == adStateOpen && !rs.Eof()) installed = rs.Value(0);
  }
  if (installed.IsNull() || installed.IsEmpty()) return kFullTextNotInstalled;
  if (!installed.IsNumeric() || installed.ToInteger() != 1) return kFullTextNotInstalled;
  try {
    Recordset rs;
    rs.Open("EXEC sp_help_fulltext_catalogs 'Doc_Desc'", m_Connection.get(), adOpenForwardOnly,
            adLockReadOnly, adCmdText);
    for (int step = 0; step < 101 && rs.State() != adStateOpen; ++step) rs.NextRecordset();
    if (rs.State() == adStateOpen && !rs.Eof()) {
      return static_cast<std::int32_t>(rs.Value("status").ToInteger());
    }
  } catch (const Error&) {
    // No catalog of that name: indexing is not active.
  }
  return kFullTextNoCatalog;
}

void Database::DoFullTextAction(const std::string& action) {
  const std::string what = LowerAscii(action);
  if (what == "create") {
    if (GetFullTextStatus() != kFullTextNoCatalog) return;
    for (const char* sql :
         {"EXEC sp_fulltext_database 'enable'", "EXEC sp_fulltext_catalog 'Doc_Desc', 'create'",
          "EXEC sp_fulltext_table 'Document', 'create', 'Doc_Desc', 'PK_Document'",
          "EXEC sp_fulltext_column 'Document','Title','add'",
          "EXEC sp_fulltext_column 'Document','PlainText','add'",
          "EXEC sp_fulltext_column 'Document','Comment','add'",
          "Exec sp_fulltext_table 'Document','activate'",
          "EXEC sp_fulltext_table Document, 'Start_change_tracking'",
          "EXEC sp_fulltext_table Document, 'Start_background_updateindex'"}) {
      m_Connection->Execute(sql);
    }
  } else if (what == "drop") {
    if (GetFullTextStatus() < 0) return;
    m_Connection->SetCommandTimeout(0);
    for (const char* sql :
         {"EXEC sp_fulltext_table Document, 'Stop_background_updateindex'",
          "EXEC sp_fulltext_table Document, 'stop_change_tracking'",
          "EXEC sp_fulltext_table 'Document', 'stop'", "EXEC sp_fulltext_table 'Document', 'drop'",
          "EXEC sp_fulltext_catalog 'Doc_Desc', 'drop'", "EXEC sp_fulltext_database 'disable'"}) {
      m_Connection->Execute(sql);
    }
  }
}

}  // namespace bw
