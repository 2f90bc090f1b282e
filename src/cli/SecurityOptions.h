// The options of "bwctl login" and "bwctl user", parsed once, and the
// archive-role change both groups make.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "archives/Database.h"

namespace bw::cli {

enum class SecurityArea { Login, User };

struct ArchiveOption {
  std::string name;
  bool access = true;  // false: --no-archive
  bool rolesGiven = false;
  std::vector<std::string> roles;  // bw_reader, bw_writer, bw_structurer
};

struct SecurityOptions {
  bool windows = false;
  bool grant = false;
  bool deny = false;
  std::string passwordFile;
  // Login: server roles; user: database roles. Each with true for --role,
  // false for --no-role, in the order given.
  std::vector<std::pair<std::string, bool>> serverRoles;
  std::vector<ArchiveOption> archives;
  std::string userName;  // user add --name
};

// Splits `args` into positional arguments (`rest`) and options. False with
// `problem` set for an unknown option, a missing value or an unknown role.
bool ParseSecurityOptions(const std::vector<std::string>& args, SecurityArea area,
                          std::vector<std::string>& rest, SecurityOptions& options,
                          std::string& problem);

// The archive role of a short or full name ("reader", "bw_reader"), or "".
std::string ArchiveRoleName(const std::string& text);

// Gives the user exactly `roles` of the three archive roles (the others stay)
// through the archive user properties; an exit code.
int SetArchiveRoles(Database& archive, const std::string& userName, const std::string& loginName,
                    const std::vector<std::string>& roles);

}  // namespace bw::cli
