#include "platform/Network.h"

#include <grp.h>
#include <netdb.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <fstream>
#include <set>

#include "support/Helpers.h"
#include "support/Settings.h"

namespace bw::platform {

namespace {}  // namespace

std::optional<JoinInformation> ReadSambaJoinInformation(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string line, section, workgroup, security;
  int lines = 0;
  while (std::getline(in, line) && ++lines < 100000) {
    line = Trim(line, " \t\r");
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[') {
      section = LowerAscii(Trim(line.substr(1, line.find(']') - 1)));
      continue;
    }
    if (section != "global") continue;
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = LowerAscii(Trim(line.substr(0, equals), " \t\r"));
    std::string value = Trim(line.substr(equals + 1), " \t\r");
    if (key == "workgroup") workgroup = value;
    if (key == "security") security = LowerAscii(value);
  }
  JoinInformation join;
  if (workgroup.empty()) workgroup = "WORKGROUP";  // Samba's own default
  join.name = workgroup;
  join.status = (security == "ads" || security == "domain") ? 3 : 2;
  return join;
}

JoinInformation LocalJoinInformation(const std::string& sambaConfigPath) {
  int port = static_cast<int>(Settings::GetNumber(kSettingServiceControlPort));
  if (auto join = ServiceControlClient("127.0.0.1", port, 500).QueryJoin()) return *join;
  if (auto join = ReadSambaJoinInformation(sambaConfigPath)) return *join;
  return JoinInformation{1, ""};
}

std::string BrowserInstance::DataSourceName() const {
  if (!instanceName.empty() && LowerAscii(instanceName) != "mssqlserver") {
    return serverName + "\\" + instanceName;
  }
  if (tcpPort != 0 && tcpPort != 1433) return serverName + "," + std::to_string(tcpPort);
  return serverName;
}

std::vector<BrowserInstance> ParseBrowserReply(const unsigned char* data, std::size_t length) {
  std::vector<BrowserInstance> instances;
  if (length < 3 || data[0] != 0x05) return instances;
  std::string text(reinterpret_cast<const char*>(data + 3), length - 3);
  // Records end with ";;"; inside, names and values alternate.
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find(";;", pos);
    std::string record = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? text.size() : end + 2;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= record.size()) {
      std::size_t semicolon = record.find(';', start);
      parts.push_back(record.substr(
          start, semicolon == std::string::npos ? std::string::npos : semicolon - start));
      if (semicolon == std::string::npos) break;
      start = semicolon + 1;
    }
    BrowserInstance instance;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
      std::string key = LowerAscii(parts[i]);
      const std::string& value = parts[i + 1];
      if (key == "servername") instance.serverName = value;
      if (key == "instancename") instance.instanceName = value;
      if (key == "isclustered") instance.clustered = LowerAscii(value) == "yes";
      if (key == "version") instance.version = value;
      if (key == "tcp") {
        int port = 0;
        auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
        if (ec == std::errc() && p == value.data() + value.size() && port > 0 && port < 65536) {
          instance.tcpPort = port;
        }
      }
    }
    if (!instance.serverName.empty() && instance.serverName.size() <= 255) {
      instances.push_back(std::move(instance));
    }
  }
  return instances;
}

std::vector<BrowserInstance> DiscoverSqlServers(const std::vector<std::string>& addresses, int port,
                                                int timeoutMs) {
  std::vector<BrowserInstance> found;
  std::vector<int> sockets;
  const unsigned char request = 0x03;  // CLNT_UCAST_EX: every instance
  std::string service = std::to_string(port);
  for (const auto& address : addresses) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(address.c_str(), service.c_str(), &hints, &result) != 0) continue;
    for (addrinfo* a = result; a != nullptr; a = a->ai_next) {
      int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) continue;
      // connect() makes the kernel drop datagrams from anyone but the server asked.
      if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 && ::send(fd, &request, 1, 0) == 1) {
        sockets.push_back(fd);
      } else {
        ::close(fd);
      }
      break;
    }
    ::freeaddrinfo(result);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<bool> answered(sockets.size(), false);
  while (std::count(answered.begin(), answered.end(), false) > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) break;
    std::vector<pollfd> fds;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
      fds.push_back({answered[i] ? -1 : sockets[i], POLLIN, 0});
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(left)) <= 0) break;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if ((fds[i].revents & (POLLIN | POLLERR)) == 0) continue;
      answered[i] = true;
      unsigned char buffer[65535 + 3];
      ssize_t got = ::recv(sockets[i], buffer, sizeof buffer, 0);
      if (got > 0) {
        auto instances = ParseBrowserReply(buffer, static_cast<std::size_t>(got));
        found.insert(found.end(), instances.begin(), instances.end());
      }
    }
  }
  for (int fd : sockets) ::close(fd);
  return found;
}

std::string LocalHostName() {
  char name[256] = {0};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  std::string host = name;
  if (std::size_t dot = host.find('.'); dot != std::string::npos) host.resize(dot);
  for (char& c : host) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return host;
}

std::vector<std::string> LocalAccounts() {
  std::set<std::string> names;
  std::string host = LocalHostName();
  ::setpwent();
  while (passwd* entry = ::getpwent()) {
    std::string shell = entry->pw_shell != nullptr ? entry->pw_shell : "";
    bool interactive = shell.find("nologin") == std::string::npos &&
                       shell.find("/false") == std::string::npos && !shell.empty();
    if (entry->pw_uid == 0 || entry->pw_uid >= 1000 || interactive) {
      if (entry->pw_uid != 65534) names.insert(host + "\\" + entry->pw_name);
    }
  }
  ::endpwent();
  ::setgrent();
  while (group* entry = ::getgrent()) {
    if (entry->gr_gid == 0 || (entry->gr_gid >= 1000 && entry->gr_gid != 65534)) {
      names.insert(host + "\\" + entry->gr_name);
    }
  }
  ::endgrent();
  return {names.begin(), names.end()};
}

}  // namespace bw::platform
