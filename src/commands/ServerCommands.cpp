#include "commands/ServerCommands.h"

#include <cctype>

#include "data/ConnectionString.h"
#include "data/DataAccess.h"
#include "platform/Echo.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::commands {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool HostAnswers(const std::string& dataSource) {
  platform::EchoRequest request;
  request.address = platform::ResolveHostAddress(RegistrationHost(dataSource));
  try {
    DataSource parsed = ParseDataSource(dataSource);
    if (parsed.port != 0) request.fallbackPort = parsed.port;
  } catch (const Error&) {
    // A malformed port: the connection attempt reports it.
  }
  return platform::Echoes().Echo(request).status == platform::kEchoSuccess;
}

}  // namespace

std::string BuildRegistrationString(const std::string& dataSource, bool integrated,
                                    const std::string& login, const std::string& password) {
  std::string text = "Provider=SQLOLEDB;" + OleDbPair("Data Source", Upper(dataSource));
  if (integrated) return text + "Integrated Security=SSPI;";
  text += OleDbPair("User Id", login);
  if (!password.empty()) text += OleDbPair("Password", password);
  return text;
}

std::string RegistrationHost(const std::string& dataSource) {
  std::string host = NormalizedDataSource(dataSource);
  if (std::size_t slash = host.find('\\'); slash != std::string::npos && slash >= 1) {
    host.resize(slash);
  }
  if (std::size_t comma = host.find(','); comma != std::string::npos) host.resize(comma);
  return host;
}

Server* AddSQLServer(Servers& servers, const std::string& dataSource, bool integrated,
                     const std::string& login, const std::string& password, bool* registered) {
  if (registered != nullptr) *registered = false;
  if (dataSource.empty()) {
    MsgBox("Please enter a server name or IP-Address", MsgStyle::OkOnly, kComponentTitle);
    return nullptr;
  }
  std::string upper = Upper(dataSource);
  if (!HostAnswers(upper)) {
    MsgBox(FormatResString(211, {upper}), MsgStyle::Information);
    return nullptr;
  }
  std::string text = BuildRegistrationString(upper, integrated, login, password);
  if (registered != nullptr) *registered = true;
  return servers.Add(text);
}

bool TestSQLServer(const std::string& dataSource, bool integrated, const std::string& login,
                   const std::string& password) {
  if (!HostAnswers(dataSource)) {
    MsgBox(FormatResString(211, {dataSource}), MsgStyle::Information);
    return false;
  }
  return TestConnectionString(BuildRegistrationString(dataSource, integrated, login, password));
}

bool TestConnectionString(const std::string& connectionString) {
  try {
    Connection connection;
    connection.SetConnectionString(connectionString);
    connection.Open();
    if (connection.State() == adStateOpen) {
      MsgBox(LoadResString(212), MsgStyle::Information);
      return true;
    }
  } catch (const Error& error) {
    if (error.Number() == kAdoErrorLoginFailed) {
      MsgBox(FormatResString(214, {error.Description()}), MsgStyle::Information);
    } else {
      MsgBox(ErrorReport(213, error), MsgStyle::Information);
    }
  }
  return false;
}

bool TestRegistration(const std::string& connectionString) {
  std::string dataSource;
  try {
    dataSource = OleDbConnectionString::Parse(connectionString).Get("Data Source").value_or("");
  } catch (const Error& error) {
    MsgBox(ErrorReport(213, error), MsgStyle::Information);
    return false;
  }
  if (!HostAnswers(dataSource)) {
    MsgBox(FormatResString(211, {dataSource}), MsgStyle::Information);
    return false;
  }
  return TestConnectionString(connectionString);
}

Outcome DetachSQLServer(Servers& servers, Server& server) {
  CommandSpec command;
  command.confirmation = Text::Id(48, {server.Name()});
  command.errorLead = Text::Literal(
      "Beim Entfernen der SQL Server-Registrierung ist folgendes Problem aufgetreten:");
  std::string key = std::to_string(server.ServerID());
  return RunCommand(command, [&] {
    servers.Remove(key);
    return true;
  });
}

Outcome StartSQLServer(Server& server) {
  CommandSpec command;
  command.confirmation = Text::Id(64, {server.Name()});
  command.errorLead = Text::Id(65, {server.Name()});
  command.errorStyle = MsgStyle::Critical;
  return RunCommand(command, [&] { return server.StartService(); });
}

Outcome StopSQLServer(Server& server) {
  CommandSpec command;
  command.confirmation = Text::Id(66, {server.Name()});
  command.errorLead = Text::Id(68, {server.Name()});
  command.errorStyle = MsgStyle::Critical;
  std::string name = server.Name();
  return RunCommand(command, [&] {
    if (server.StopService()) return true;
    MsgBox(FormatResString(67, {name}), MsgStyle::Information);
    return false;
  });
}

std::optional<ServiceMenuState> ServiceMenu(int windowsVersion, int serviceState) {
  if (windowsVersion == 0 || windowsVersion == 1 || windowsVersion == 4) {
    return ServiceMenuState{false, false};
  }
  switch (serviceState) {
    case 1:
      return ServiceMenuState{true, false};
    case 4:
    case 7:
      return ServiceMenuState{false, true};
    case 0:
    case 2:
    case 3:
    case 5:
    case 6:
      return ServiceMenuState{false, false};
    default:
      return std::nullopt;
  }
}

}  // namespace bw::commands
