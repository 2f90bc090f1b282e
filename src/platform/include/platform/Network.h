// The network neighbourhood as the console sees it: this machine's join
// status, SQL Servers that announce themselves, and the local accounts an
// administrator can pick for a Windows login.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ServiceControl.h"

namespace bw::platform {

// This machine's join status and workgroup: from the control endpoint on the
// loopback address when one answers, else from Samba's configuration
// (security = ads/domain → domain, else workgroup), else not joined.
JoinInformation LocalJoinInformation(const std::string& sambaConfigPath = "/etc/samba/smb.conf");

// Reads "workgroup" and "security" from the [global] section of a Samba
// configuration; nullopt when the file cannot be read.
std::optional<JoinInformation> ReadSambaJoinInformation(const std::string& path);

// One SQL Server instance as the SQL Server Browser describes it.
struct BrowserInstance {
  std::string serverName;
  std::string instanceName;
  bool clustered = false;
  std::string version;
  int tcpPort = 0;

  // How a registration names it: HOST for the default instance on 1433,
  // HOST\INSTANCE for a named instance, HOST,PORT for a default instance on
  // another port.
  std::string DataSourceName() const;
};

// Parses a browser reply (0x05, size, records); malformed records are
// skipped, the text is bounded by the datagram.
std::vector<BrowserInstance> ParseBrowserReply(const unsigned char* data, std::size_t length);

// Asks each address (IPv4/IPv6 literal or name) on `port` for its instances
// with one unicast request, waiting at most `timeoutMs` in all.
std::vector<BrowserInstance> DiscoverSqlServers(const std::vector<std::string>& addresses, int port,
                                                int timeoutMs = 1000);

// Local users (with a login shell or a uid of 1000 and above, and root) and
// groups, as "HOST\name", sorted.
std::vector<std::string> LocalAccounts();

// This machine's name, as accounts and servers are qualified with it.
std::string LocalHostName();

}  // namespace bw::platform
