#include "support/Settings.h"

#include <charconv>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "support/Error.h"

namespace bw {

namespace {

std::mutex& LayerMutex() {
  static std::mutex mutex;
  return mutex;
}

Settings::Layer& StoredLayer() {
  static Settings::Layer layer;
  return layer;
}

const SettingInfo& Find(const std::string& name) {
  for (const auto& info : Settings::All()) {
    if (info.name == name) return info;
  }
  throw std::out_of_range("unknown setting " + name);
}

}  // namespace

const std::vector<SettingInfo>& Settings::All() {
  static const std::vector<SettingInfo> all = {
      {kSettingAnsiCodePage, "BW_ANSI_CODE_PAGE", "1252",
       "Windows code page used as the ANSI code page (text files, template documents)"},
      {kSettingOdbcDriver, "BW_ODBC_DRIVER", "FreeTDS",
       "ODBC driver that stands for the SQLOLEDB provider"},
      {kSettingTdsVersion, "BW_TDS_VERSION", "7.1",
       "TDS protocol version the driver speaks (7.0 for SQL Server 7.0, 7.1 for 2000); fixed, "
       "so a server that never answers cannot make the driver fall back to an older protocol "
       "whose login never times out"},
      {kSettingCommandTimeout, "BW_COMMAND_TIMEOUT", "30",
       "seconds a statement may take where the caller sets no time-out (0: no limit)"},
      {kSettingBrowserAddresses, "BW_BROWSER_ADDRESSES", "127.0.0.1",
       "addresses (comma-separated) asked for SQL Servers with the SQL Server Browser protocol"},
      {kSettingBrowserPort, "BW_BROWSER_PORT", "1434", "UDP port of the SQL Server Browser"},
      {kSettingServiceControlPort, "BW_SERVICE_CONTROL_PORT", "14330",
       "TCP port of the service-control endpoint on a SQL Server's machine"},
      {kSettingSqlLog, "BW_SQL_LOG", "",
       "file that every statement sent to a server is appended to (empty: none)"},
      {kSettingKeyring, "BW_KEYRING", "auto",
       "where registrations keep their passwords: auto (the desktop's keyring when one answers, "
       "else the registration hive) or off (always the hive)"},
  };
  return all;
}

std::string Settings::Get(const std::string& name) {
  const SettingInfo& info = Find(name);
  if (const char* fromEnvironment = std::getenv(info.environment.c_str());
      fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  {
    std::lock_guard lock(LayerMutex());
    if (StoredLayer()) {
      if (auto stored = StoredLayer()(name); stored && !stored->empty()) return *stored;
    }
  }
  return info.defaultValue;
}

long Settings::GetNumber(const std::string& name) {
  std::string text = Get(name);
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size()) return value;
  const SettingInfo& info = Find(name);
  throw Error(kErrBadSetting, "Settings",
              "The setting " + info.name + " (" + info.environment +
                  ") must be a whole number, not '" + text + "'.");
}

void Settings::SetStoredLayer(Layer layer) {
  std::lock_guard lock(LayerMutex());
  StoredLayer() = std::move(layer);
}

}  // namespace bw
