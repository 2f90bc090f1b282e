#include "servers/cNet.h"

#include <sstream>

#include "platform/Echo.h"
#include "platform/Network.h"
#include "support/Settings.h"

namespace bw {

namespace {

cNet::AccountPicker& Picker() {
  static cNet::AccountPicker picker;
  return picker;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    std::size_t begin = item.find_first_not_of(' ');
    std::size_t end = item.find_last_not_of(' ');
    if (begin != std::string::npos) items.push_back(item.substr(begin, end - begin + 1));
  }
  return items;
}

}  // namespace

long cNet::GetJoinStatus() {
  return platform::LocalJoinInformation().status;
}

std::string cNet::GetPDC(const std::string& domain) {
  m_Domain = domain;
  m_PDC.clear();
  return m_PDC;
}

void cNet::SetAccountPicker(AccountPicker picker) {
  Picker() = std::move(picker);
}

bool cNet::GetBrowserNames(long, const std::string& title, long, std::string& names) {
  if (!Picker()) return false;
  auto chosen = Picker()(title, platform::LocalAccounts());
  if (!chosen) return false;
  std::string joined;
  for (const auto& account : *chosen) {
    if (!joined.empty()) joined += "\r\n";
    joined += account;
  }
  if (chosen->empty()) return false;
  names += joined;
  return true;
}

std::vector<std::string> EnumDomains() {
  platform::JoinInformation join = platform::LocalJoinInformation();
  if ((join.status == 2 || join.status == 3) && !join.name.empty()) return {join.name};
  return {};
}

std::vector<std::string> EnumServers(long& serverType, std::string&) {
  std::vector<std::string> names;
  if ((serverType & kServerTypeSqlServer) == 0) return names;
  try {
    auto addresses = SplitList(Settings::Get(kSettingBrowserAddresses));
    int port = static_cast<int>(Settings::GetNumber(kSettingBrowserPort));
    for (const auto& instance : platform::DiscoverSqlServers(addresses, port)) {
      names.push_back(instance.DataSourceName());
    }
  } catch (const std::exception&) {
    // Enumeration is a convenience; the administrator can type a name.
  }
  return names;
}

std::string ResolveHostAddress(const std::string& host) {
  return platform::ResolveHostAddress(host);
}

long EchoHost(const std::string& host, const std::string& data, int fallbackPort) {
  platform::EchoRequest request;
  request.address = platform::ResolveHostAddress(host);
  request.data = data;
  request.fallbackPort = fallbackPort;
  return platform::Echoes().Echo(request).status;
}

bool StartSockets() {
  return true;
}
void StopSockets() {}

}  // namespace bw
