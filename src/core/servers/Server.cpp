#include "servers/Server.h"

#include <algorithm>
#include <cctype>

#include "archives/Databases.h"
#include "data/ConnectionString.h"
#include "platform/Echo.h"
#include "platform/HiveFormat.h"
#include "platform/RegistryHive.h"
#include "platform/SecretStore.h"
#include "platform/ServiceControl.h"
#include "servers/Servers.h"
#include "support/Helpers.h"
#include "support/Log.h"
#include "support/MessageService.h"
#include "support/Placeholders.h"
#include "support/Settings.h"
#include "support/SqlText.h"

namespace bw {

namespace {

// The host of a data source: up to a backslash at position 2 or later, and
// up to a port's comma.
std::string HostOf(const std::string& name) {
  std::string host = NormalizedDataSource(name);
  if (std::size_t slash = host.find('\\'); slash != std::string::npos && slash >= 1) {
    host.resize(slash);
  }
  if (std::size_t comma = host.find(','); comma != std::string::npos) host.resize(comma);
  while (!host.empty() && host.back() == ' ') host.pop_back();
  return host;
}

bool HasInstance(const std::string& name) {
  std::size_t slash = name.find('\\');
  return slash != std::string::npos && slash >= 1;
}

int ControlPort() {
  return static_cast<int>(Settings::GetNumber(kSettingServiceControlPort));
}

}  // namespace

Server::Server(Servers* owner) : m_Owner(owner), m_Connection(std::make_unique<Connection>()) {
  m_Registry.SetClassKey(kHKeyCurrentUser);
}

Server::~Server() {
  // Archives hold their own connections; they go before the server's.
  m_Databases.reset();
  if (m_Connection && m_Connection->State() == adStateOpen) m_Connection->Close();
}

std::string Server::RegistryKey() const {
  return std::string(kRegistryBasePath) + kServersKeyName + "\\" + std::to_string(m_ServerID);
}

void Server::SetConnectionString(const std::string& text) {
  m_ConnectionString = text;
  if (m_Connection && m_Connection->State() == adStateOpen) m_Connection->Close();
  // The same connection object, closed: the catalogue keeps using it and
  // must not be left pointing at a deleted one. Connect opens it anew.
  if (!m_Connection) m_Connection = std::make_unique<Connection>();
  m_Command.SetActiveConnection(nullptr);
  m_Registry.SetSectionKey(RegistryKey());
  if (!m_Registry.KeyExists()) m_Registry.CreateKey();
  m_PasswordProblem.clear();

  const std::string previous = m_KeyringReference;
  std::string reference = previous.empty() ? RegistrationPassword::NewReference() : previous;
  std::string stored = text;
  PasswordPlace place = RegistrationPassword::PlaceOf(text);
  auto split = RegistrationPassword::Split(text);
  if (split && platform::Secrets().Available()) {
    try {
      split->StoreIn(platform::Secrets(), reference);
      stored = split->With(kKeyringReferencePrefix + reference);
      place = PasswordPlace::Keyring;
    } catch (const Error& error) {
      MsgBox(RegistrationPassword::Report("The password could not be kept in the keyring; it "
                                          "stays in the registration file, readable only by you.",
                                          error),
             MsgStyle::Exclamation);
    }
  }
  // The marker goes first and away last: whatever a crash in between
  // leaves, the string reads back whole.
  if (place == PasswordPlace::Keyring) {
    m_Registry.SetValueKey(kPasswordStoreValueName);
    m_Registry.SetValueType(kRegSz);
    m_Registry.SetValue(Variant(std::string(kPasswordStoreKeyring)));
  }
  m_Registry.SetValueKey("ConnectionString");
  m_Registry.SetValueType(kRegSz);
  m_Registry.SetValue(Variant(stored));
  if (place != PasswordPlace::Keyring) {
    RegistryHive::ForCurrentUser().DeleteValue(RegistryKey(), kPasswordStoreValueName);
  }
  m_PasswordPlace = place;
  m_KeyringReference = place == PasswordPlace::Keyring ? reference : std::string();
  if (!previous.empty() && place != PasswordPlace::Keyring) ForgetSecret(previous);
}

void Server::ReadRegistration() {
  m_Registry.SetSectionKey(RegistryKey());
  m_Registry.SetValueKey("ConnectionString");
  m_Registry.SetDefault(Variant(""));
  m_StoredString = m_Registry.Value().ToText();
  m_Registry.SetValueKey(kPasswordStoreValueName);
  m_StoredMarker = m_Registry.Value().ToText();
  m_ConnectionString = m_StoredString;
  m_PasswordProblem.clear();
  m_KeyringReference.clear();
  m_PasswordPlace = RegistrationPassword::PlaceOf(m_StoredString);
}

void Server::ResolvePassword() {
  const std::string stored = m_StoredString;
  auto split = RegistrationPassword::Split(stored);
  if (split && m_StoredMarker == kPasswordStoreKeyring && !split->Reference().empty()) {
    m_PasswordPlace = PasswordPlace::Keyring;
    m_KeyringReference = split->Reference();
    try {
      std::optional<std::string> secret = platform::Secrets().Lookup(m_KeyringReference);
      if (!secret) {
        throw Error(platform::kErrKeyringNoSecret, platform::kKeyringSource,
                    "The keyring no longer holds this registration's password; enter it again.");
      }
      m_ConnectionString = split->With(*secret);
    } catch (const Error& error) {
      m_PasswordProblem = RegistrationPassword::Report(
          "The password of this registration could not be read from the keyring.", error);
      // Never the reference as a password: a server would count it as a
      // failed login.
      m_ConnectionString = split->With("");
    }
    return;
  }
  if (split && platform::Secrets().Available()) MoveIntoKeyring(*split, stored);
}

void Server::MoveIntoKeyring(const RegistrationPassword& split, const std::string& stored) {
  const std::string reference = RegistrationPassword::NewReference();
  try {
    split.StoreIn(platform::Secrets(), reference);
  } catch (const Error& error) {
    Log("keyring", "ServerID " + std::to_string(m_ServerID) +
                       ": the password stays in the hive: " + error.Description());
    return;
  }
  try {
    // Another console may have changed the registration meanwhile: only
    // what was read is replaced.
    RegistryHive::Transaction transaction(RegistryHive::ForCurrentUser());
    m_Registry.SetSectionKey(RegistryKey());
    m_Registry.SetValueKey("ConnectionString");
    m_Registry.SetDefault(Variant(""));
    if (m_Registry.Value().ToText() == stored) {
      m_Registry.SetValueKey(kPasswordStoreValueName);
      m_Registry.SetValueType(kRegSz);
      m_Registry.SetValue(Variant(std::string(kPasswordStoreKeyring)));
      m_Registry.SetValueKey("ConnectionString");
      m_Registry.SetValue(Variant(split.With(kKeyringReferencePrefix + reference)));
      m_PasswordPlace = PasswordPlace::Keyring;
      m_KeyringReference = reference;
      return;
    }
  } catch (const Error& error) {
    Log("keyring", "ServerID " + std::to_string(m_ServerID) +
                       ": the hive kept its copy of the password: " + error.Description());
  }
  try {
    platform::Secrets().Remove(reference);
  } catch (const Error&) {
    // An unreferenced secret is harmless; the registration is whole.
  }
}

void Server::ForgetSecret(const std::string& reference) {
  try {
    platform::Secrets().Remove(reference);
  } catch (const Error& error) {
    MsgBox(RegistrationPassword::Report(
               "The registration no longer needs its password in the keyring, but the keyring "
               "could not remove it; its entry there is labelled \"Brindlewick Server Manager: "
               "…\".",
               error),
           MsgStyle::Exclamation);
  }
}

void Server::PrepareConnection() {
  m_Connection->SetCursorLocation(adUseServer);
  if (m_Connection->State() == adStateOpen) m_Connection->Close();
  m_Connection->SetConnectionString(m_ConnectionString + ";Connect Timeout=5;");
  m_Connection->SetProperty("Persist Security Info", Variant(true));
  m_Name = m_Connection->Property("Data Source").ToText();
  m_HostName = HostOf(m_Name);
}

void Server::ReadName() {
  try {
    PrepareConnection();
  } catch (const Error& error) {
    m_Description = error.Description();
  }
}

bool Server::Connect() {
  try {
    PrepareConnection();
    if (!m_PasswordProblem.empty()) {
      m_Connected = false;
      m_Description = m_PasswordProblem;
      return false;
    }
    if (!IsReachable(m_HostName)) return false;
    m_Connection->Open();
    if (m_Connection->State() == adStateOpen) {
      m_Command.SetActiveConnection(m_Connection.get());
      m_Connected = true;
      return true;
    }
    return false;
  } catch (const Error& error) {
    m_Connected = false;
    m_Description = error.Description();
    return false;
  }
}

bw::Databases& Server::Databases() {
  if (!m_Databases) {
    m_Databases = std::make_unique<bw::Databases>();
    m_Databases->SetServer(this);
    m_Databases->Fill();
  }
  return *m_Databases;
}

std::string Server::Location() const {
  return m_Connection->Property("Data Source").ToText();
}

int Server::DataSourcePort() const {
  try {
    DataSource source = ParseDataSource(m_Name);
    return source.port != 0 ? source.port : 1433;
  } catch (const Error&) {
    return 1433;
  }
}

bool Server::IsReachable(const std::string& hostName) {
  std::string address = platform::ResolveHostAddress(hostName);
  bool reachable = false;
  if (m_Probed && m_ProbedHost == hostName) {
    reachable = *m_Probed;
  } else {
    platform::EchoRequest request;
    request.address = address;
    request.fallbackPort = DataSourcePort();
    reachable = platform::Echoes().Echo(request).status == platform::kEchoSuccess;
  }
  m_Probed.reset();
  if (reachable) {
    // Join information is a courtesy of the host: its absence only means the
    // service state cannot be asked.
    if (auto join = platform::ServiceControlClient(address, ControlPort(), 1000).QueryJoin()) {
      if (join->status == 2 || join->status == 3) m_HostJoined = true;
    }
  }
  return reachable;
}

void Server::ProbeReachability() {
  m_Probed.reset();
  try {
    std::string name =
        OleDbConnectionString::Parse(m_ConnectionString).Get("Data Source").value_or("");
    platform::EchoRequest request;
    request.address = platform::ResolveHostAddress(HostOf(name));
    try {
      DataSource parsed = ParseDataSource(name);
      if (parsed.port != 0) request.fallbackPort = parsed.port;
    } catch (const Error&) {
      // A malformed port: Connect reports it.
    }
    m_ProbedHost = HostOf(name);
    m_Probed = platform::Echoes().Echo(request).status == platform::kEchoSuccess;
  } catch (const Error&) {
    // Connect tries again and keeps the reason.
    m_Probed.reset();
  }
}

long Server::OrdinalPosition() {
  m_Registry.SetSectionKey(RegistryKey());
  m_Registry.SetValueKey("OrdinalPosition");
  m_Registry.SetDefault(Variant(0));
  return static_cast<long>(m_Registry.Value().ToInteger());
}

void Server::SetOrdinalPosition(long& position) {
  long old = OrdinalPosition();
  if (m_Owner != nullptr) {
    m_Owner->MoveOrdinalPosition(old, position);
  } else {
    m_Registry.SetSectionKey(RegistryKey());
    m_Registry.SetValueKey("OrdinalPosition");
    m_Registry.SetValueType(kRegDword);
    m_Registry.SetValue(Variant(static_cast<std::int64_t>(position)));
  }
}

std::string Server::CurrentUser() {
  if (m_Connection->State() != adStateOpen) return {};
  Recordset rs;
  rs.Open("SELECT SUSER_SNAME()", m_Connection.get());
  return rs.Eof() ? std::string() : rs.Value(0).ToText();
}

std::vector<std::string> Server::UserRoles(const std::string& userName) {
  std::vector<std::string> roles;
  Recordset rs;
  rs.Open("EXEC master..sp_helpuser " + SqlString(userName), m_Connection.get());
  while (rs.State() == adStateOpen && !rs.Eof()) {
    std::string role = rs.Value("GroupName").ToText();
    // A keyed collection: each role once.
    if (std::find(roles.begin(), roles.end(), role) == roles.end()) roles.push_back(role);
    rs.MoveNext();
  }
  return roles;
}

bool Server::IsRolemember(const std::string& serverRole, const std::string& loginName) {
  m_Command.SetActiveConnection(m_Connection.get());
  m_Command.SetCommandType(adCmdText);
  if (loginName.empty()) {
    m_Command.SetCommandText("SELECT IS_SRVROLEMEMBER (" + SqlString(serverRole) + ")");
  } else {
    m_Command.SetCommandText("SELECT IS_SRVROLEMEMBER (" + SqlString(serverRole) + "," +
                             SqlString(loginName) + ")");
  }
  Recordset rs;
  rs.Open(m_Command);
  if (rs.State() != adStateOpen || rs.Eof()) return false;
  const Variant& value = rs.Value(0);
  return !value.IsNull() && value.ToBoolean();
}

bool Server::RevokeLogin(const std::string& loginName, int loginType) {
  if (m_Connection->State() != adStateOpen) return false;
  Recordset databases;
  databases.SetCursorLocation(adUseClient);
  databases.Open("SET NOCOUNT ON", m_Connection.get(), adOpenForwardOnly, adLockOptimistic);
  databases.Close();
  databases.Open("EXEC master..sp_helpdb", m_Connection.get(), adOpenForwardOnly, adLockOptimistic);
  for (int step = 0; step < 101 && databases.State() != adStateOpen; ++step) {
    databases.NextRecordset();
  }
  if (databases.State() != adStateOpen) return false;
  // Every database is asked about its owner before any user goes: a login
  // refused for owning one keeps its access to all the others.
  for (; !databases.Eof(); databases.MoveNext()) {
    if (EqualsIgnoreCase(TrimBlanks(databases.Value("owner").ToText()), loginName)) {
      MsgBox(FormatResString(309, {loginName, TrimBlanks(databases.Value("name").ToText())}),
             MsgStyle::Information);
      return false;
    }
  }
  if (databases.RecordCount() > 0) databases.MoveFirst();
  for (; !databases.Eof(); databases.MoveNext()) {
    std::string database = databases.Value("name").ToText();
    Recordset users;
    users.SetCursorLocation(adUseClient);
    m_Connection->Execute("USE " + SqlName(database));
    users.Open(
        "SELECT db_name(), name FROM sysusers WHERE sid=suser_sid(" + SqlString(loginName) + ")",
        m_Connection.get(), adOpenForwardOnly, adLockOptimistic);
    if (users.State() == adStateOpen && !users.Eof()) {
      std::string name = users.Value("name").ToText();
      if (!EqualsIgnoreCase(name, "dbo")) {
        m_Command.SetActiveConnection(m_Connection.get());
        m_Command.SetCommandText("EXEC sp_revokedbaccess " + SqlString(name));
        m_Command.Execute();
      }
    }
  }
  m_Command.SetActiveConnection(m_Connection.get());
  m_Command.SetCommandText(loginType == 1 ? "EXEC master..sp_droplogin " + SqlString(loginName)
                                          : "EXEC master..sp_revokelogin " + SqlString(loginName));
  m_Command.Execute();
  return true;
}

void Server::ServiceCredentials(std::string& login, std::string& password) const {
  try {
    auto parsed = OleDbConnectionString::Parse(m_ConnectionString);
    login = parsed.Get("User Id").value_or("");
    password = parsed.Get("Password").value_or("");
  } catch (const Error&) {
    login.clear();
    password.clear();
  }
}

int Server::Status() {
  if (!m_HostJoined || HasInstance(m_Name)) return platform::kServiceUnknown;
  std::string login, password;
  ServiceCredentials(login, password);
  auto result = platform::ServiceControlClient(m_HostName, ControlPort())
                    .QueryStatus(platform::kSqlServerService, login, password);
  return result.ok ? result.state : platform::kServiceUnknown;
}

bool Server::StartService() {
  bool started = false;
  if (!HasInstance(m_Name)) {
    std::string login, password;
    ServiceCredentials(login, password);
    started = platform::ServiceControlClient(m_HostName, ControlPort())
                  .Start(platform::kSqlServerService, login, password)
                  .ok;
  }
  Connect();
  return started;
}

bool Server::StopService() {
  m_Connection->Close();
  if (HasInstance(m_Name)) return false;
  std::string login, password;
  ServiceCredentials(login, password);
  return platform::ServiceControlClient(m_HostName, ControlPort())
      .Stop(platform::kSqlServerService, login, password)
      .ok;
}

std::string Server::Version(const std::string& parameter) {
  try {
    Recordset rs;
    rs.Open("EXEC master..xp_msver " + SqlString(parameter), m_Connection.get(), adOpenForwardOnly,
            adLockReadOnly);
    if (rs.State() == adStateOpen && !rs.Eof()) return rs.Value("Character_Value").ToText();
  } catch (const Error&) {
    // The version is informational; an unanswered question reads as empty.
  }
  return {};
}

int Server::ProductVersion() {
  if (m_ProductVersion == 0) {
    std::string text = Version("ProductVersion");
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
      m_ProductVersion = text[0] - '0';
    }
  }
  return m_ProductVersion;
}

int Server::LoginMode() {
  try {
    Recordset rs;
    rs.Open("EXEC master..xp_loginconfig 'login mode'", m_Connection.get(), adOpenForwardOnly,
            adLockReadOnly);
    if (rs.State() != adStateOpen || rs.Eof()) return 0;
    std::string mode = LowerAscii(rs.Value("config_value").ToText());
    if (mode == "mixed") return 2;
    if (mode == "windows nt authentication") return 1;
  } catch (const Error&) {
    // Unknown mode: the caller shows it as such.
  }
  return 0;
}

void Server::DeleteRegistration() {
  if (m_Connection->State() == adStateOpen) m_Connection->Close();
  m_Registry.SetSectionKey(RegistryKey());
  if (m_Registry.KeyExists()) m_Registry.DeleteKey();
  if (!m_KeyringReference.empty()) ForgetSecret(m_KeyringReference);
  m_KeyringReference.clear();
}

}  // namespace bw
