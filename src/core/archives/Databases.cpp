#include "archives/Databases.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "archives/ArchiveSchema.h"
#include "servers/Server.h"
#include "support/CodePage.h"
#include "support/Helpers.h"
#include "support/Log.h"
#include "support/MessageService.h"
#include "support/SqlText.h"
#include "support/StringTable.h"

namespace bw {

namespace {

// The local date and time as an OLE date.
DateValue Now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec);
}

// Refusals of the login: no login, or no user in the database (SQL Server
// 18456, 4060 and 916).
bool IsRightsRefusal(const Error& error) {
  if (error.Number() == kAdoErrorLoginFailed) return true;
  const auto* data = dynamic_cast<const DataError*>(&error);
  if (data == nullptr) return false;
  for (const ProviderMessage& message : data->Messages()) {
    if (message.serverNumber == 18456 || message.serverNumber == 4060 ||
        message.serverNumber == 916) {
      return true;
    }
  }
  return false;
}

// The server went away (the data layer names it so): an empty list would
// then say there are no archives, which nobody knows.
bool IsConnectionLost(const Error& error) {
  const auto* data = dynamic_cast<const DataError*>(&error);
  return data != nullptr && !data->Messages().empty() &&
         data->Messages().front().sqlState == "08S01";
}

}  // namespace

std::size_t NameLength(const std::string& name) {
  return static_cast<std::size_t>(std::count_if(name.begin(), name.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

Databases::Databases() {
  m_Command.SetCommandType(adCmdText);
}

Databases::~Databases() = default;

void Databases::SetServer(Server* server) {
  m_Server = server;
  m_ServerConnection = &server->GetConnection();
  if (m_ServerConnection->State() == adStateClosed &&
      !m_ServerConnection->ConnectionString().empty()) {
    try {
      m_ServerConnection->Open();
    } catch (const Error& error) {
      // An unreachable server has an empty catalogue; its node says why.
      Log("archives", "server connection did not open: " + error.Description());
    }
  }
  m_Command.SetActiveConnection(m_ServerConnection);
}

bool Databases::OpenDatabaseList(Recordset& list) {
  try {
    list.SetCursorLocation(adUseClient);
    list.Open("EXEC master..sp_helpdb", m_ServerConnection, adOpenForwardOnly, adLockOptimistic,
              adCmdText);
    for (int step = 0; step < 101 && list.State() != adStateOpen; ++step) list.NextRecordset();
    return true;
  } catch (const Error& error) {
    Log("archives", "sp_helpdb failed: " + error.Description());
    if (IsConnectionLost(error)) throw;
    if (list.State() == adStateOpen) list.Close();
    return false;
  }
}

void Databases::GiveOrphanedDatabasesToSa() {
  std::vector<std::string> orphans;
  {
    Recordset rs;
    rs.SetCursorLocation(adUseClient);
    rs.Open("SELECT name FROM master..sysdatabases Where SUSER_SNAME(sid) Is Null",
            m_ServerConnection, adOpenForwardOnly, adLockOptimistic, adCmdText);
    for (; rs.State() == adStateOpen && !rs.Eof(); rs.MoveNext()) {
      orphans.push_back(rs.Value("name").ToText());
    }
  }
  for (const std::string& name : orphans) {
    m_ServerConnection->Execute("USE " + SqlName(name));
    m_ServerConnection->Execute("EXEC sp_changedbowner 'sa'");
  }
}

void Databases::Fill() {
  if (m_ServerConnection == nullptr || m_ServerConnection->State() != adStateOpen) return;
  m_ServerConnection->Execute("SET NOCOUNT ON");
  m_ServerConnection->Execute("SET ANSI_NULL_DFLT_ON ON");
  Recordset list;
  if (!OpenDatabaseList(list)) {
    try {
      GiveOrphanedDatabasesToSa();
    } catch (const Error& error) {
      Log("archives", "giving databases without owner to sa failed: " + error.Description());
    }
    try {
      m_ServerConnection->Execute("USE master");
    } catch (const Error& error) {
      Log("archives", "USE master failed: " + error.Description());
    }
    if (!OpenDatabaseList(list)) return;
  }
  if (list.State() != adStateOpen) return;
  std::vector<std::string> names;
  for (; !list.Eof(); list.MoveNext()) {
    if (auto name = ArchiveNameOf(TrimBlanks(list.Value("name").ToText()))) names.push_back(*name);
  }
  list.Close();
  for (const std::string& name : names) LoadArchive(name);
}

void Databases::LoadArchive(const std::string& name) {
  auto archive = std::make_unique<Database>();
  archive->SetArchiveID(static_cast<std::int32_t>(Count() + 1));
  archive->SetServer(m_Server);
  archive->SetParent(this);
  archive->SetName(name);
  // A login names its database in a field of at most 128 characters.
  if (NameLength(archive->DatabaseName()) > kMaxDatabaseNameLength) {
    m_Unopened.push_back({name,
                          "The database name is longer than the " +
                              std::to_string(kMaxDatabaseNameLength) +
                              " characters a login can name.",
                          false});
    return;
  }
  // One archive the login cannot open must not hide the others.
  try {
    if (archive->Connect()) {
      m_Items.push_back(std::move(archive));
    } else {
      m_Unopened.push_back({name, "The connection did not open.", false});
    }
  } catch (const Error& error) {
    Log("archives", "archive " + name + " cannot be opened: " + error.Description());
    // A login that fails because the server went away says nothing about
    // this archive; the lost server is the news.
    if (!IsRightsRefusal(error)) {
      try {
        m_ServerConnection->Execute("SELECT 1");
      } catch (const Error& probe) {
        if (IsConnectionLost(probe)) throw;
      }
    }
    m_Unopened.push_back({name, error.Description(), IsRightsRefusal(error)});
  }
}

std::unique_ptr<Database> Databases::Prepare(const std::string& name) {
  auto archive = std::make_unique<Database>();
  archive->SetServer(m_Server);
  archive->SetParent(this);
  archive->SetName(name);
  archive->SetArchiveID(static_cast<std::int32_t>(Count() + 1 + m_RemovedCount));
  return archive;
}

Database* Databases::Keep(std::unique_ptr<Database> archive) {
  m_Items.push_back(std::move(archive));
  return m_Items.back().get();
}

Database* Databases::Add(const std::string& name, const std::string& mdfPath,
                         const std::string& ldfPath) {
  auto archive = Prepare(name);
  const std::string database = SqlStringBody(archive->DatabaseName());
  m_Command.SetActiveConnection(m_ServerConnection);
  if (!ldfPath.empty()) {
    m_Command.SetCommandText("EXEC sp_attach_db '" + database + "', '" + SqlStringBody(mdfPath) +
                             "', '" + SqlStringBody(ldfPath) + "'");
  } else {
    m_Command.SetCommandText("EXEC sp_attach_single_file_db '" + database + "', '" +
                             SqlStringBody(mdfPath) + "'");
  }
  m_Command.Execute();
  if (!archive->Connect()) return nullptr;
  return Keep(std::move(archive));
}

Database* Databases::AddNew(const std::string& name, const std::string& path) {
  auto archive = Prepare(name);
  // A failed creation has been reported; connecting now could reach another
  // archive whose name differs only in case.
  if (!CreateArchiveDatabase(name, path)) return nullptr;
  if (!archive->Connect()) return nullptr;
  return Keep(std::move(archive));
}

bool Databases::CreateArchiveDatabase(const std::string& name, const std::string& path) {
  const std::string database = std::string(kArchivePrefix) + name;
  enum class Made { Nothing, BareName, Renamed } made = Made::Nothing;
  std::unique_ptr<Connection> archive;
  auto run = [this](const std::string& sql) {
    m_Command.SetCommandText(sql);
    m_Command.Execute();
  };
  try {
    const int productVersion = m_Server->ProductVersion();
    m_Command.SetActiveConnection(m_ServerConnection);
    run(CreateDatabaseStatement(name, path));
    made = Made::BareName;
    if (productVersion == 7) run(SingleUserStatement(name, true));
    run(RenameDatabaseStatement(name, database));
    made = Made::Renamed;
    if (productVersion == 7) run(SingleUserStatement(database, false));

    archive = std::make_unique<Connection>();
    archive->SetConnectionString(
        NewArchiveConnectionString(m_ServerConnection->ConnectionString(), database));
    archive->Open();
    m_Command.SetActiveConnection(archive.get());
    for (const std::string& sql :
         ArchiveSchemaStatements(name, productVersion, NewGUIDString(), TodayDayNumber())) {
      run(sql);
    }

    Recordset document;
    document.Open("Document", archive.get(), adOpenStatic, adLockOptimistic, adCmdTable);
    document.AddNew();
    const DateValue now = Now();
    document.SetValue("Url", Variant(kTemplateUrl));
    document.SetValue("TypeID", Variant(kTemplateTypeID));
    document.SetValue("FolderID", Variant(0));
    document.SetValue("Filename", Variant(kTemplateFilename));
    document.SetValue("FileModifiedDate", Variant(now));
    document.SetValue("CreationTime", Variant(now));
    document.SetValue("Title", Variant(kTemplateTitle));
    document.SetValue("Comment", Variant(kTemplateTitle));
    document.SetValue("Importance", Variant(2));
    document.SetValue("CodePage", Variant(GetAnsiCodePage()));
    document.AppendChunk("BinaryContent", TemplateImage());
    document.SetValue("BinaryData", Variant(true));
    document.SetValue("Content", Variant(""));
    document.SetValue("FileSize", Variant(static_cast<int>(TemplateImage().size())));
    document.Update();
    document.Close();

    m_Command.SetActiveConnection(m_ServerConnection);
    archive->Close();
    return true;
  } catch (const Error& error) {
    MsgBox(LoadResString(137) + '\r' + error.Description(), MsgStyle::Information);
    // The server refuses to drop a database that a session still uses.
    if (archive && archive->State() == adStateOpen) {
      try {
        archive->Close();
      } catch (const Error&) {
      }
    }
    m_Command.SetActiveConnection(m_ServerConnection);
    if (made != Made::Nothing) {
      // Before the rename the half-made database has the bare name; the
      // prefixed name may then belong to an existing archive.
      try {
        const std::string halfMade = made == Made::Renamed ? database : name;
        // A closed connection may linger on the server for a moment; the
        // drop is refused while any session still uses the database.
        CloseArchiveSessions(*m_ServerConnection, halfMade);
        run("DROP DATABASE " + SqlName(halfMade));
      } catch (const Error& dropError) {
        Log("archives", "dropping the half-made archive failed: " + dropError.Description());
      }
    }
    return false;
  }
}

std::vector<ArchiveRemains> Databases::Remains(const std::string& name) {
  std::vector<ArchiveRemains> found;
  for (Database* archive : NewEnum()) {
    if (LowerAscii(archive->Name()) != LowerAscii(name) || !archive->IsConnected()) continue;
    const ArchiveContents contents = InspectArchive(archive->GetConnection());
    if (IsCreationRemains(contents)) {
      found.push_back({archive->DatabaseName(), false, IncompleteReason(contents)});
    }
  }
  // The server's own databases are never anybody's remains.
  for (const char* system : {"master", "model", "msdb", "tempdb"}) {
    if (LowerAscii(name) == system) return found;
  }
  if (m_ServerConnection == nullptr || m_ServerConnection->State() != adStateOpen) return found;
  try {
    std::string bare;
    {
      Recordset rs;
      rs.Open("SELECT name FROM master..sysdatabases WHERE name = " + SqlString(name),
              m_ServerConnection, adOpenForwardOnly, adLockReadOnly, adCmdText);
      if (rs.State() == adStateOpen && !rs.Eof()) bare = TrimBlanks(rs.Value(0).ToText());
    }
    if (bare.empty()) return found;
    Connection database;
    database.SetConnectionString(
        NewArchiveConnectionString(m_ServerConnection->ConnectionString(), bare));
    database.Open();
    long objects = 0;
    {
      Recordset rs;
      rs.Open(
          "SELECT COUNT(*) FROM sysobjects WHERE type IN ('U', 'V', 'P') AND name <> "
          "'dtproperties'",
          &database, adOpenForwardOnly, adLockReadOnly, adCmdText);
      objects =
          rs.State() == adStateOpen && !rs.Eof() ? static_cast<long>(rs.Value(0).ToInteger()) : 1;
    }
    database.Close();
    if (objects == 0) found.push_back({bare, true, "is empty"});
  } catch (const Error& error) {
    Log("archives", "looking for a bare-named database " + name + ": " + error.Description());
  }
  return found;
}

bool Databases::RemoveRemains(const ArchiveRemains& remains) {
  if (!remains.bareName) {
    for (Database* archive : NewEnum()) {
      if (archive->DatabaseName() == remains.databaseName) {
        return Delete(std::to_string(archive->ArchiveID()));
      }
    }
    return true;
  }
  if (!CloseArchiveSessions(*m_ServerConnection, remains.databaseName)) return false;
  m_Command.SetActiveConnection(m_ServerConnection);
  m_Command.SetCommandText("DROP DATABASE " + SqlName(remains.databaseName));
  m_Command.Execute();
  return true;
}

Database* Databases::Item(const std::string& key) const {
  for (const auto& archive : m_Items) {
    if (std::to_string(archive->ArchiveID()) == key) return archive.get();
  }
  return nullptr;
}

Database* Databases::Item(long position) const {
  if (position < 1 || position > Count()) return nullptr;
  return m_Items[static_cast<std::size_t>(position - 1)].get();
}

std::vector<Database*> Databases::NewEnum() const {
  std::vector<Database*> result;
  for (const auto& archive : m_Items) result.push_back(archive.get());
  return result;
}

bool Databases::Take(const std::string& key, const std::string& statementHead, bool detach) {
  auto it = std::find_if(m_Items.begin(), m_Items.end(), [&](const auto& archive) {
    return std::to_string(archive->ArchiveID()) == key;
  });
  if (it == m_Items.end()) {
    throw Error(5, "Databases", "Invalid procedure call or argument");
  }
  const std::string database = (*it)->DatabaseName();
  if (!CloseArchiveSessions((*it)->GetConnection(), database)) return false;
  m_Command.SetActiveConnection(m_ServerConnection);
  m_Command.SetCommandText(detach ? statementHead + SqlStringBody(database) + "';"
                                  : statementHead + SqlName(database));
  m_Command.Execute();
  m_Items.erase(it);
  ++m_RemovedCount;
  return true;
}

bool Databases::Remove(const std::string& key) {
  return Take(key, "sp_detach_db @dbname='", true);
}

bool Databases::Delete(const std::string& key) {
  return Take(key, "DROP DATABASE ", false);
}

bool Databases::CloseArchiveSessions(Connection& connection, const std::string& databaseName) {
  std::string currentLogin;
  {
    Recordset rs;
    rs.Open("SELECT SYSTEM_USER;", &connection, adOpenForwardOnly, adLockReadOnly, adCmdText);
    if (rs.State() == adStateOpen && !rs.Eof()) currentLogin = rs.Value(0).ToText();
  }
  struct Session {
    std::string spid;
    std::string login;
  };
  std::vector<Session> sessions;
  std::string users;
  {
    Recordset rs;
    rs.SetCursorLocation(adUseClient);
    rs.Open("sp_who", &connection, adOpenForwardOnly, adLockOptimistic, adCmdText);
    for (int step = 0; step < 101 && rs.State() != adStateOpen; ++step) rs.NextRecordset();
    for (; rs.State() == adStateOpen && !rs.Eof(); rs.MoveNext()) {
      if (LowerAscii(TrimBlanks(rs.Value("dbname").ToText())) != LowerAscii(databaseName)) continue;
      const std::string login = TrimBlanks(rs.Value("loginame").ToText());
      sessions.push_back({TrimBlanks(rs.Value("spid").ToText()), login});
      if (LowerAscii(login) != LowerAscii(currentLogin) &&
          LowerAscii(users).find(LowerAscii(login)) == std::string::npos) {
        users += (users.empty() ? "- " : "\r- ") + login;
      }
    }
  }
  if (!users.empty()) {
    const std::string question =
        std::string("Die folgenden Benutzer greifen noch auf das Server-Archiv zu:") + '\r' +
        users + '\r' + "Sollen diese Nutzer jetzt gewaltsam von der Datenbank getrennt werden?" +
        '\r' + "Dies kann zu Datenverlusten führen.";
    if (MsgBox(question, MsgStyle::YesNo) != MsgResult::Yes) return false;
  }
  for (const Session& session : sessions) {
    // Only a number may follow KILL; anything else is not a session.
    if (session.spid.empty() || !std::all_of(session.spid.begin(), session.spid.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c));
        })) {
      continue;
    }
    try {
      m_ServerConnection->Execute("KILL " + session.spid);
    } catch (const Error& error) {
      // A session that ended meanwhile is fine; anything else still does not
      // stop the operation, as the server refuses it if it matters.
      Log("archives", "KILL " + session.spid + ": " + error.Description());
    }
  }
  return true;
}

}  // namespace bw
