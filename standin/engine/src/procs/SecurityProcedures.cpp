// Logins and fixed server roles: sp_addlogin, sp_droplogin, sp_password,
// sp_addsrvrolemember, sp_dropsrvrolemember, sp_helpsrvrolemember,
// xp_loginconfig.
//
// Role membership is read from master at each call, not from the session's
// login, so a change takes effect for sessions that are already open.
#include <cctype>

#include "catalog/LoginCatalog.h"
#include "engine/Accounts.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "procs/SystemProcedures.h"

namespace standin::engine {
namespace {

std::string Required(const ProcedureCall& call, std::size_t index, std::string_view procedure,
                     std::string_view parameter) {
  std::optional<std::string> value = call.Text(index);
  if (!value) RaiseError(201, {procedure, parameter});
  return *value;
}

bool HasServerRole(const ProcedureCall& call, std::string_view role) {
  return call.engine.Logins().HasServerRole(call.loginName, role);
}

void RequireServerRole(const ProcedureCall& call, std::string_view role) {
  if (!HasServerRole(call, role)) RaiseError(15247);
}

std::int32_t SpAddlogin(ProcedureCall& call) {
  RequireServerRole(call, "securityadmin");
  const std::string name = Required(call, 0, "sp_addlogin", "@loginame");
  // A backslash marks a Windows account, which sp_grantlogin adds.
  if (name.empty() || name.find('\\') != std::string::npos) RaiseError(15006, {name});
  if (call.Text(4) || call.Text(5)) RaiseUnsupported("sp_addlogin with @sid or @encryptopt");
  const std::optional<std::string> language = call.Text(3);
  if (language && !EqualsNoCase(*language, "us_english"))
    RaiseUnsupported("sp_addlogin with a language other than us_english");
  // A NULL password is an empty one, as SQL Server 2000 treats it.
  call.engine.Logins().Add(name, call.Text(1).value_or(""), call.Text(2).value_or("master"));
  call.Info(15298);
  return 0;
}

std::int32_t SpDroplogin(ProcedureCall& call) {
  RequireServerRole(call, "securityadmin");
  const std::string name = Required(call, 0, "sp_droplogin", "@loginame");
  if (EqualsNoCase(name, "sa")) RaiseError(15405, {name});
  for (const ProcessInfo& process : call.engine.Processes()) {
    if (EqualsNoCase(process.loginName, name)) RaiseError(15434, {name});
  }
  // The console's way of removing a login drops its users first; a login
  // dropped under them would leave them orphaned.
  const std::optional<std::vector<std::uint8_t>> sid = call.engine.Logins().SidOf(name);
  if (sid && call.engine.Databases().HasUserWithSid(*sid)) RaiseError(15175, {name});
  call.engine.Logins().Drop(name);
  call.Info(15479);
  return 0;
}

std::int32_t SpPassword(ProcedureCall& call) {
  const std::optional<std::string> old = call.Text(0);
  const std::string newPassword = call.Text(1).value_or("");
  // Naming a login, even one's own, is the administrators' form of the call:
  // they need no old password.
  bool self = !call.Text(2);
  const std::string login = call.Text(2).value_or(call.loginName);
  if (!self && !HasServerRole(call, "securityadmin")) RaiseError(15210);
  LoginCatalog& logins = call.engine.Logins();
  // A securityadmin may not take over a sysadmin by resetting its password.
  if (!self && !HasServerRole(call, "sysadmin") &&
      logins.IsServerRoleMember(login, "sysadmin").value_or(false))
    self = true;
  if ((self || old) && !logins.PasswordMatches(login, old.value_or(""))) RaiseError(15211);
  logins.SetPassword(login, newPassword);
  call.Info(15478);
  return 0;
}

// Members of a fixed role may add and remove members of it; sysadmin is a
// member of every role in that sense.
std::int32_t ChangeServerRole(ProcedureCall& call, bool member) {
  const std::string_view procedure = member ? "sp_addsrvrolemember" : "sp_dropsrvrolemember";
  const std::string login = Required(call, 0, procedure, "@loginame");
  const std::string written = Required(call, 1, procedure, "@rolename");
  const std::optional<std::string_view> role = FixedServerRole(written);
  if (!role) RaiseError(15402, {written});
  RequireServerRole(call, *role);
  if (!member && EqualsNoCase(login, "sa")) RaiseError(15405, {login});
  call.engine.Logins().SetServerRole(login, *role, member);
  call.Info(member ? 15488 : 15489, {login, *role});
  return 0;
}

std::int32_t SpAddsrvrolemember(ProcedureCall& call) {
  return ChangeServerRole(call, true);
}

std::int32_t SpDropsrvrolemember(ProcedureCall& call) {
  return ChangeServerRole(call, false);
}

std::int32_t SpHelpsrvrolemember(ProcedureCall& call) {
  std::string_view role;
  if (const std::optional<std::string> written = call.Text(0)) {
    const std::optional<std::string_view> found = FixedServerRole(*written);
    if (!found) RaiseError(15412, {*written});
    role = *found;
  }
  std::vector<std::vector<Value>> rows;
  for (RoleMember& member : call.engine.Logins().ServerRoleMembers(role))
    rows.push_back({member.role, member.login, Bytes(std::move(member.sid))});
  call.ResultSet({MakeColumn("ServerRole", TypeId::NVarChar, 128, false),
                  MakeColumn("MemberName", TypeId::NVarChar, 128, false),
                  MakeColumn("MemberSID", TypeId::VarBinary, 85)},
                 rows);
  return 0;
}

// A Windows login names an account of the machine's account directory.
std::string WindowsName(const ProcedureCall& call, std::string_view procedure,
                        std::optional<WindowsAccount>* account) {
  const std::string name = Required(call, 0, procedure, "@loginame");
  if (name.find('\\') == std::string::npos) RaiseError(15407, {name});
  if (account) {
    *account = AccountDirectory(call.engine.Data().Root()).Find(name);
    if (!*account) RaiseError(15401, {name});
  }
  return name;
}

std::int32_t ChangeWindowsLogin(ProcedureCall& call, bool deny) {
  RequireServerRole(call, "securityadmin");
  std::optional<WindowsAccount> account;
  const std::string name = WindowsName(call, deny ? "sp_denylogin" : "sp_grantlogin", &account);
  // The login keeps the name as Windows spells it.
  call.engine.Logins().SetWindowsLogin(account->name, account->group, deny,
                                       WindowsAccountSid(account->name));
  call.Info(deny ? 15483 : 15481, {name});
  return 0;
}

std::int32_t SpGrantlogin(ProcedureCall& call) {
  return ChangeWindowsLogin(call, false);
}

std::int32_t SpDenylogin(ProcedureCall& call) {
  return ChangeWindowsLogin(call, true);
}

std::int32_t SpRevokelogin(ProcedureCall& call) {
  RequireServerRole(call, "securityadmin");
  const std::string name = WindowsName(call, "sp_revokelogin", nullptr);
  // An account the directory no longer knows may still have a login to revoke.
  if (!call.engine.Logins().RevokeWindowsLogin(name) &&
      !AccountDirectory(call.engine.Data().Root()).Find(name))
    RaiseError(15401, {name});
  call.Info(15485, {name});
  return 0;
}

std::int32_t XpLoginconfig(ProcedureCall& call) {
  if (!HasServerRole(call, "sysadmin"))
    RaiseError(229, {"EXECUTE", "xp_loginconfig", "master", "dbo"});
  const bool windowsOnly = call.engine.Options().windowsLoginMode;
  const std::vector<std::pair<std::string, Value>> all = {
      {"login mode", std::string(windowsOnly ? "Windows NT Authentication" : "Mixed")},
      {"default login", std::string("guest")},
      {"default domain", std::string("WORKGROUP")},
      {"audit level", std::string("failure")},
      {"set hostname", std::string("false")},
      {"map _", std::string("domain separator")},
      {"map $", std::monostate{}},
      {"map #", std::string("-")}};
  const std::optional<std::string> wanted = call.Text(0);
  std::vector<std::vector<Value>> rows;
  for (const auto& [name, value] : all) {
    if (!wanted || EqualsNoCase(*wanted, name)) rows.push_back({name, value});
  }
  call.ResultSet({MakeColumn("name", TypeId::NVarChar, 128, false),
                  MakeColumn("config_value", TypeId::NVarChar, 128)},
                 rows);
  return 0;
}

constexpr std::string_view kAddloginParameters[] = {"@loginame",    "@passwd", "@defdb",
                                                    "@deflanguage", "@sid",    "@encryptopt"};
constexpr std::string_view kLoginParameters[] = {"@loginame"};
constexpr std::string_view kPasswordParameters[] = {"@old", "@new", "@loginame"};
constexpr std::string_view kRoleMemberParameters[] = {"@loginame", "@rolename"};
constexpr std::string_view kHelpRoleParameters[] = {"@srvrolename"};
constexpr std::string_view kConfigParameters[] = {"@configname"};

const SystemProcedure kProcedures[] = {
    {"sp_addlogin", kAddloginParameters, SpAddlogin},
    {"sp_droplogin", kLoginParameters, SpDroplogin},
    {"sp_grantlogin", kLoginParameters, SpGrantlogin},
    {"sp_denylogin", kLoginParameters, SpDenylogin},
    {"sp_revokelogin", kLoginParameters, SpRevokelogin},
    {"sp_password", kPasswordParameters, SpPassword},
    {"sp_addsrvrolemember", kRoleMemberParameters, SpAddsrvrolemember},
    {"sp_dropsrvrolemember", kRoleMemberParameters, SpDropsrvrolemember},
    {"sp_helpsrvrolemember", kHelpRoleParameters, SpHelpsrvrolemember},
    {"xp_loginconfig", kConfigParameters, XpLoginconfig},
};

}  // namespace

std::span<const SystemProcedure> SecurityProcedures() {
  return kProcedures;
}

}  // namespace standin::engine
