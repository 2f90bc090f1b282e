#include "SecurityOptions.h"

#include <algorithm>

#include "ExitCodes.h"
#include "commands/security/ArchiveUserProperties.h"
#include "support/Helpers.h"

namespace bw::cli {

namespace {

using commands::security::ArchiveUserProperties;

constexpr const char* kServerRoles[] = {"sysadmin", "securityadmin", "dbcreator"};
constexpr const char* kDatabaseRoles[] = {"db_securityadmin", "db_accessadmin", "db_owner"};

std::string RoleName(const std::string& text, SecurityArea area) {
  const std::string lower = LowerAscii(text);
  if (area == SecurityArea::Login) {
    for (const char* role : kServerRoles) {
      if (lower == role) return role;
    }
    return {};
  }
  if (std::string archiveRole = ArchiveRoleName(lower); !archiveRole.empty()) return archiveRole;
  for (const char* role : kDatabaseRoles) {
    if (lower == role) return role;
  }
  return {};
}

bool ParseArchive(const std::string& text, ArchiveOption& archive, std::string& problem) {
  const std::size_t colon = text.find(':');
  archive.name = text.substr(0, colon);
  if (archive.name.empty()) {
    problem = "--archive needs an archive name";
    return false;
  }
  if (colon == std::string::npos) return true;
  archive.rolesGiven = true;
  std::string list = text.substr(colon + 1);
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = std::min(list.find(',', start), list.size());
    std::string role = ArchiveRoleName(list.substr(start, comma - start));
    if (role.empty()) {
      problem = "archive roles are reader, writer and structurer: " + text;
      return false;
    }
    archive.roles.push_back(role);
    start = comma + 1;
  }
  return true;
}

}  // namespace

std::string ArchiveRoleName(const std::string& text) {
  const std::string lower = LowerAscii(text);
  for (const char* role : {"reader", "writer", "structurer"}) {
    if (lower == role || lower == std::string("bw_") + role) return std::string("bw_") + role;
  }
  return {};
}

bool ParseSecurityOptions(const std::vector<std::string>& args, SecurityArea area,
                          std::vector<std::string>& rest, SecurityOptions& options,
                          std::string& problem) {
  const bool login = area == SecurityArea::Login;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        problem = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string text;
    if (login && a == "--windows") {
      options.windows = true;
    } else if (login && a == "--grant") {
      options.grant = true;
    } else if (login && a == "--deny") {
      options.deny = true;
    } else if (login && a == "--password-file") {
      if (!value(options.passwordFile)) return false;
    } else if (a == "--role" || a == "--no-role") {
      if (!value(text)) return false;
      std::string role = RoleName(text, area);
      if (role.empty()) {
        problem = login ? "server roles are sysadmin, securityadmin and dbcreator: " + text
                        : "unknown archive role " + text;
        return false;
      }
      options.serverRoles.emplace_back(role, a == "--role");
    } else if (login && (a == "--archive" || a == "--no-archive")) {
      if (!value(text)) return false;
      ArchiveOption archive;
      if (a == "--no-archive") {
        archive.name = text;
        archive.access = false;
      } else if (!ParseArchive(text, archive, problem)) {
        return false;
      }
      options.archives.push_back(std::move(archive));
    } else if (!login && a == "--name") {
      if (!value(options.userName)) return false;
    } else if (a.size() > 1 && a[0] == '-') {
      problem = "unknown option " + a;
      return false;
    } else {
      rest.push_back(a);
    }
  }
  return true;
}

int SetArchiveRoles(Database& archive, const std::string& userName, const std::string& loginName,
                    const std::vector<std::string>& roles) {
  ArchiveUserProperties user(archive, userName, loginName);
  user.Load();
  for (std::size_t i : {ArchiveUserProperties::kReader, ArchiveUserProperties::kWriter,
                        ArchiveUserProperties::kStructurer}) {
    const std::string& role = user.Roles()[i].role;
    user.SetRoleChecked(i, std::find(roles.begin(), roles.end(), role) != roles.end());
  }
  switch (user.Ok()) {
    case ArchiveUserProperties::OkResult::Closed:
      return kExitOk;
    case ArchiveUserProperties::OkResult::Refused:
      return kExitRefused;
    default:
      return kExitFailed;
  }
}

}  // namespace bw::cli
