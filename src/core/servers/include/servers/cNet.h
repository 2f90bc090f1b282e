// Network browsing for the dialogs and for Server: this machine's join
// status, domain controllers, the account picker, domains and SQL Servers of
// the network, host resolution and the echo.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bw {

// The bit of a server-type mask that asks for SQL Servers.
inline constexpr long kServerTypeSqlServer = 4;

class cNet {
 public:
  // 0 unknown, 1 not joined, 2 workgroup, 3 domain — of this machine.
  long GetJoinStatus();
  // The primary domain controller of `domain`: there are none on this
  // network, so the result is "" (and is kept, with the domain).
  std::string GetPDC(const std::string& domain);
  // Opens the account picker. False when cancelled or nothing was chosen
  // (`names` unchanged); else one "DOMAIN\account" per selection, joined by
  // CR LF, is appended to `names`.
  bool GetBrowserNames(long ownerWindow, const std::string& title, long flags, std::string& names);

  const std::string& Domain() const { return m_Domain; }
  const std::string& PDC() const { return m_PDC; }

  // Stands in for the platform's account picker: given the title and the
  // accounts on offer, returns the chosen ones, or nothing when cancelled.
  using AccountPicker = std::function<std::optional<std::vector<std::string>>(
      const std::string& title, const std::vector<std::string>& accounts)>;
  static void SetAccountPicker(AccountPicker picker);

 private:
  std::string m_Domain;
  std::string m_PDC;
};

// The domains and workgroups of the network: the one this machine belongs
// to (none when it is not joined).
std::vector<std::string> EnumDomains();

// SQL Servers that answer the SQL Server Browser protocol at the configured
// addresses (BrowserAddresses, BrowserPort settings), as registrations name
// them. Only kServerTypeSqlServer is served; `domain` is not a filter here:
// the browser protocol knows no domains. Errors give an empty list.
std::vector<std::string> EnumServers(long& serverType, std::string& domain);

// Dotted IPv4 of a host name, or "".
std::string ResolveHostAddress(const std::string& host);

// One echo of `data` to `host`: 0 on success, -1 when the host cannot be
// resolved, else the platform's failure status.
long EchoHost(const std::string& host, const std::string& data, int fallbackPort = 1433);

// The socket layer needs no start-up here: always true, nothing to stop.
bool StartSockets();
void StopSockets();

}  // namespace bw
