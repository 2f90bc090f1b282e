// The Windows accounts the stand-in's machine knows: what sp_grantlogin,
// sp_denylogin and IS_MEMBER('DOMAIN\group') check a name against. They are
// kept in <data-dir>/accounts.txt, one "user DOMAIN\name" or
// "group DOMAIN\name" per line, and read at every check, so `sqlstandin
// accounts add` reaches a running server.
//
// Threading: every call reads or replaces the file whole; concurrent writers
// are not coordinated (the file is managed by hand).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin::engine {

struct WindowsAccount {
  std::string name;  // DOMAIN\name, as added
  bool group = false;
};

class AccountDirectory {
 public:
  explicit AccountDirectory(std::filesystem::path dataDir);

  std::vector<WindowsAccount> List() const;
  // Names compare without regard to ASCII case, as Windows compares them.
  std::optional<WindowsAccount> Find(std::string_view name) const;
  // Throws std::invalid_argument for a name that is not DOMAIN\name (or is
  // longer than 128 bytes, or holds control characters) and for one already
  // there.
  void Add(const std::string& name, bool group);
  // False when there was no such account.
  bool Remove(std::string_view name);

 private:
  void Write(const std::vector<WindowsAccount>& accounts) const;
  std::filesystem::path m_File;
};

// The SID Windows would give the account: a domain SID (S-1-5-21-…) derived
// from the name, so one name always has the same SID.
std::vector<std::uint8_t> WindowsAccountSid(std::string_view name);

}  // namespace standin::engine
