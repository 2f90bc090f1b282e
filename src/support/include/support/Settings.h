// The few settings this port needs beyond server registrations. A value comes
// from, in rising priority: the built-in default, a layer installed by the
// registry code (values under Software\Brindlewick Server Manager\Settings),
// and the environment variable BW_<NAME>.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bw {

struct SettingInfo {
  std::string name;         // as stored in the hive, e.g. "AnsiCodePage"
  std::string environment;  // e.g. "BW_ANSI_CODE_PAGE"
  std::string defaultValue;
  std::string description;  // one line for --help and the README
};

class Settings {
 public:
  // Every setting the program knows.
  static const std::vector<SettingInfo>& All();

  // The value of a known setting. Throws std::out_of_range for an unknown name.
  static std::string Get(const std::string& name);
  // The value as a whole number. Throws bw::Error (kErrBadSetting) naming the
  // setting when its text is not one.
  static long GetNumber(const std::string& name);

  // Installs the layer between defaults and environment (the hive). Pass an
  // empty function to remove it.
  using Layer = std::function<std::optional<std::string>(const std::string& name)>;
  static void SetStoredLayer(Layer layer);
};

// Raised when a setting's value cannot be used (E_INVALIDARG).
inline constexpr std::int32_t kErrBadSetting = static_cast<std::int32_t>(0x80070057u);

inline constexpr char kSettingAnsiCodePage[] = "AnsiCodePage";
inline constexpr char kSettingOdbcDriver[] = "OdbcDriver";
inline constexpr char kSettingTdsVersion[] = "TdsVersion";
inline constexpr char kSettingCommandTimeout[] = "CommandTimeout";
inline constexpr char kSettingBrowserAddresses[] = "BrowserAddresses";
inline constexpr char kSettingBrowserPort[] = "BrowserPort";
inline constexpr char kSettingServiceControlPort[] = "ServiceControlPort";
inline constexpr char kSettingSqlLog[] = "SqlLog";
inline constexpr char kSettingKeyring[] = "Keyring";

}  // namespace bw
