// SQL Server logins and fixed server roles, kept in master
// ("sqlstandin$logins", shown as syslogins). Errors as the security
// procedures raise them: 15025 exists, 15007 missing, 15010 default database
// missing, 15174 owns a database, 15405 sa.
//
// Thread-safe: every call holds master's lock (DataDirectory::LockMaster)
// while it uses master; password hashing happens outside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/DataDirectory.h"

namespace standin::engine {

struct LoginEntry {
  std::string name;
  std::string defaultDatabase;
  bool sysadmin = false;
};

// A login as the database security procedures need it.
struct LoginDetails {
  std::string name;  // as stored
  std::vector<std::uint8_t> sid;
  std::string defaultDatabase;
  bool windows = false;  // isntname
  bool group = false;    // isntgroup
  bool denied = false;   // denylogin
};

// SQL Server 2000's fixed server roles, in sp_helpsrvrole's order; each is a
// column of the logins table.
inline constexpr std::string_view kServerRoles[] = {"sysadmin",   "securityadmin", "serveradmin",
                                                    "setupadmin", "processadmin",  "diskadmin",
                                                    "dbcreator",  "bulkadmin"};

// The canonical (lower-case) fixed server role a written name means, or
// nullopt for anything else.
std::optional<std::string_view> FixedServerRole(std::string_view written);

// A member of a fixed server role, for sp_helpsrvrolemember.
struct RoleMember {
  std::string role;
  std::string login;
  std::vector<std::uint8_t> sid;
};

class LoginCatalog {
 public:
  explicit LoginCatalog(DataDirectory& data) : m_Data(data) {}

  // Checks a password: the login, or nullopt when the name or password is wrong.
  std::optional<LoginEntry> Check(const std::string& name, const std::string& password);
  std::optional<LoginDetails> Find(const std::string& name);
  std::optional<std::vector<std::uint8_t>> SidOf(const std::string& name);
  std::optional<std::string> NameOfSid(const std::vector<std::uint8_t>& sid);

  void Add(const std::string& name, const std::string& password,
           const std::string& defaultDatabase);
  void Drop(const std::string& name);
  // sp_grantlogin / sp_denylogin: adds the Windows login or changes its
  // access. 15407 when `name` names a SQL Server login.
  void SetWindowsLogin(const std::string& name, bool group, bool deny,
                       const std::vector<std::uint8_t>& sid);
  // sp_revokelogin: false when there was no such Windows login. 15174 while
  // it owns a database.
  bool RevokeWindowsLogin(const std::string& name);
  void SetPassword(const std::string& name, const std::string& password);
  // Whether the login's password is `password`; 15007 for an unknown login.
  bool PasswordMatches(const std::string& name, const std::string& password);

  // `role` must be one of kServerRoles. 15007 for an unknown login.
  void SetServerRole(const std::string& login, std::string_view role, bool member);
  // nullopt: no such login (Windows accounts without a login included).
  std::optional<bool> IsServerRoleMember(const std::string& login, std::string_view role);
  // Whether the login may act as a member of the fixed server role: sysadmins
  // may act as any. Read from master at each check, so a change reaches
  // sessions that are already open.
  bool HasServerRole(const std::string& login, std::string_view role);
  // Members of one role, or of every role when `role` is empty.
  std::vector<RoleMember> ServerRoleMembers(std::string_view role);

 private:
  DataDirectory& m_Data;
};

}  // namespace standin::engine
