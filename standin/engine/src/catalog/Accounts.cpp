// The machine's Windows accounts in <data-dir>/accounts.txt.
#include "engine/Accounts.h"
#include "common/Text.h"

#include <cctype>
#include <fstream>
#include <stdexcept>

namespace standin::engine {
namespace {

std::uint64_t Fnv1a(std::string_view text, std::uint64_t seed) {
  std::uint64_t hash = seed;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

}  // namespace

AccountDirectory::AccountDirectory(std::filesystem::path dataDir)
    : m_File(std::move(dataDir) / "accounts.txt") {}

std::vector<WindowsAccount> AccountDirectory::List() const {
  std::vector<WindowsAccount> accounts;
  std::ifstream in(m_File);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string kind = line.substr(0, space);
    if (kind != "user" && kind != "group") continue;
    accounts.push_back(WindowsAccount{line.substr(space + 1), kind == "group"});
  }
  return accounts;
}

std::optional<WindowsAccount> AccountDirectory::Find(std::string_view name) const {
  const std::string wanted = Lower(name);
  for (WindowsAccount& account : List()) {
    if (Lower(account.name) == wanted) return account;
  }
  return std::nullopt;
}

void AccountDirectory::Add(const std::string& name, bool group) {
  const std::size_t slash = name.find('\\');
  if (slash == std::string::npos || slash == 0 || slash + 1 == name.size() ||
      name.find('\\', slash + 1) != std::string::npos || name.size() > 128)
    throw std::invalid_argument("'" + name + "' is not a Windows account name (DOMAIN\\name)");
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      throw std::invalid_argument("an account name may not hold control characters");
  }
  if (Find(name)) throw std::invalid_argument("the account '" + name + "' exists already");
  std::vector<WindowsAccount> accounts = List();
  accounts.push_back(WindowsAccount{name, group});
  Write(accounts);
}

bool AccountDirectory::Remove(std::string_view name) {
  std::vector<WindowsAccount> accounts = List();
  const std::string wanted = Lower(name);
  std::vector<WindowsAccount> kept;
  for (WindowsAccount& account : accounts) {
    if (Lower(account.name) != wanted) kept.push_back(std::move(account));
  }
  if (kept.size() == accounts.size()) return false;
  Write(kept);
  return true;
}

void AccountDirectory::Write(const std::vector<WindowsAccount>& accounts) const {
  // Replaced whole, so a reader never sees half a file.
  const std::filesystem::path next = m_File.string() + ".new";
  {
    std::ofstream out(next, std::ios::trunc);
    for (const WindowsAccount& account : accounts)
      out << (account.group ? "group " : "user ") << account.name << "\n";
    if (!out) throw std::runtime_error("cannot write " + next.string());
  }
  std::filesystem::rename(next, m_File);
}

std::vector<std::uint8_t> WindowsAccountSid(std::string_view name) {
  const std::string lower = Lower(name);
  const std::string domain = lower.substr(0, lower.find('\\'));
  // S-1-5-21-<three domain sub-authorities>-<RID>: the domain part depends on
  // the domain only, as a real domain's accounts share it.
  const std::uint64_t domainHash = Fnv1a(domain, 14695981039346656037ULL);
  const std::uint64_t accountHash = Fnv1a(lower, 1469598103934665603ULL);
  const std::uint32_t parts[] = {21, static_cast<std::uint32_t>(domainHash),
                                 static_cast<std::uint32_t>(domainHash >> 32),
                                 static_cast<std::uint32_t>(domainHash >> 16) ^ 0x5A5A5A5Au,
                                 1000 + static_cast<std::uint32_t>(accountHash % 1000000)};
  std::vector<std::uint8_t> sid{1, 5, 0, 0, 0, 0, 0, 5};
  for (std::uint32_t part : parts) {
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<std::uint8_t>(part >> (8 * i)));
  }
  return sid;
}

}  // namespace standin::engine
